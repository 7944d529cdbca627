#pragma once
// One client connection of the simulator: reads requests, answers them and runs the
// picture stream the client asked for.
//
// Theory of operation: requests are framed by RequestFramer and handled one by one;
// every reply goes through the PacketPacer. A picture request (COMMAND_LIVE or a
// starting COMMAND_RECORDER) replaces the running stream; COMMAND_STOP or a playback
// request with play state 0 ends it. The stream is paced by a due time: whenever the
// pacer is idle and the due time has come, one picture is made and queued and the due
// time moves on by 1/fps, so a slow reader gets fewer pictures rather than a growing
// queue. Alert reports and unasked start-time replies run on their own timers.
// Fault options act on the counts of pictures queued and written.

#include "packetpacer.h"
#include "playbackclock.h"
#include "requestframer.h"
#include "scenerenderer.h"
#include "simoptions.h"
#include "wire.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <array>

class QTcpSocket;

namespace sim {

class PictureFactory;
class RequestLog;

class SimSession : public QObject {
    Q_OBJECT
  public:
    SimSession(QTcpSocket *socket, int connectionId, const SimOptions &options,
               PictureFactory *factory, RequestLog *log, QObject *parent = nullptr);

    qint64 PicturesWritten() const { return m_picturesWritten; }

  signals:
    void Finished();
    void PictureSent();

  private:
    enum class Stream { None, Live, Playback };

    struct PtzAxis {
        double position = 0;
        double velocity = 0; // units per second
    };
    struct PtzState {
        std::array<PtzAxis, 4> axis; // pan, tilt, zoom, focus
    };

    void OnReadyRead();
    QString Handle(const Request &request);
    QString OnLogin(const Request &request);
    QString OnLive(const Request &request);
    QString OnRecorder(const Request &request);
    QString OnStop();
    QString OnEvent();
    QString OnPtz(const Request &request);
    QString OnAlert(const Request &request);
    void Send(std::uint32_t command, const Words &words, const QByteArray &data = QByteArray());
    void SendPacket(const QByteArray &packet);
    void StopStream();
    void StartStream(Stream stream);
    void PumpPictures();
    void ScheduleDue();
    void PreparePicture();
    void SendPrepared();
    void SendPlaybackStatus(int status);
    void OnPictureWritten(quint32 tag);
    void SendAlert();
    void SendStartTime();
    void SendGarbage();
    int PtzChannel() const;
    ScenePose PoseOf(int channelIndex);

    QTcpSocket *m_socket;
    int m_conn;
    const SimOptions &m_options;
    PictureFactory *m_factory;
    RequestLog *m_log;
    PacketPacer *m_pacer;
    RequestFramer m_framer;
    int m_versionCode;
    bool m_loggedIn = false;
    bool m_silent = false;

    Stream m_stream = Stream::None;
    bool m_allChannels = true;
    int m_channelIndex = 0; // the one channel when not all
    int m_rotation = 0;     // next channel of an all-channel stream
    std::array<bool, 4> m_nextOdd{{true, true, true, true}};
    std::uint32_t m_sequence = 0;
    PlaybackClock m_playClock;
    QElapsedTimer m_streamClock;
    qint64 m_nextDueNs = 0;
    QTimer m_pictureTimer;
    struct Prepared {
        bool ready = false;
        bool endOfRecording = false; // playback ran out: status 3 instead of a picture
        QByteArray packet;
        quint32 tag = 0; // live: channel 1-4 in bits 24-31, the sequence word below
    };
    Prepared m_prepared;

    qint64 m_picturesQueued = 0;
    qint64 m_picturesWritten = 0;
    int m_garbageTurn = 0;

    QByteArray m_eventReply; // made at the first request, shared by every later reply

    QTimer m_alertTimer;
    int m_alertTick = 0;
    QTimer m_startTimeTimer;

    std::array<PtzState, 4> m_ptz;
    QElapsedTimer m_ptzClock;
    qint64 m_ptzUpdatedMs = 0;

    QElapsedTimer m_sceneClock;
};

} // namespace sim
