#pragma once
// Recording of forward playback into AVI files, one file per segment.
//
// Theory of operation. The archive window owns one CRecorder and calls it on the
// user-interface thread only. The record button starts a recording while playing
// forwards: 20 minutes at most, cut into segments of the "Record Duration" length
// by the window's timer 31 (one-shot in use). Every picture the window draws while
// recording is captured right away (OnPictureDrawn: the 640 x 480 area, of which
// the window paints again only what changed since the last capture, is copied into
// the picture of its sample when the next sample begins) and streamed to the one
// writer thread (CSegmentWriter), which opens the segment's file at its first
// picture and appends each picture as it comes. A picture goes at the sample of its
// capture time, counted on the steady clock of the timers from the segment's first
// picture, so the files play in real time; a capture that falls in the same 1/60 s
// as the one before replaces it (it holds that one's tiles too, the area being
// captured whole), unless both drew the same channel: then the later goes into the
// next sample, so that no channel's picture is lost in a burst. The last capture is
// held back here until the next one
// shows its sample is done. "Record Format" is read at a segment's first picture:
// uncompressed rows, or MJPEG encoded off this thread. At a segment end
// the segment is ended on the writer, which names and closes the file; meanwhile
// capture goes on into the next segment. When the writer is done its result comes
// back to this thread as a queued call; only then is timer 31 armed again, with the
// segment length or the time left when that is smaller, so a segment spans its
// length plus the time its predecessor took to be finished. Stopping (stop button,
// "Viewer", a lost link, the record button, a write error) ends the current segment
// at once. Once playback has ended or reversed nothing is captured, so later
// segments are empty and an empty segment makes no file.
//
// Files go into the record folder (see RecordFolder) chosen at a segment's first
// picture, named after the time of the last picture shown at its end,
// "2005-03-01 12-00-05.avi"; a name that exists gets "_2", "_3" ... and no file is
// ever replaced. The pictures on their way to the disk are bounded (see
// SetQueueLimit), whatever the segment length; when the disk falls behind, or a
// segment reaches 9999 pictures, pictures are dropped and counted, and the window
// is told once per recording ("Can Not Record Images Any More!", never a box that
// waits) and, at the end, how many were dropped.

#include "media/aviwriter.h"
#include "media/segmentwriter.h"

#include <QImage>
#include <QObject>
#include <QString>

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <utility>
#include <vector>

class ITimerHost;
struct ClientSettings;

// What the recording needs from the archive window.
class IRecordView {
  public:
    virtual ~IRecordView() = default;
    // m_wPlayState: 0x0001 playing forwards, 0x0101 in reverse, 0 stopped.
    virtual uint16_t PlayState() const = 0;
    // FormatPictureTime of m_tmPicture, "%04d-%02d-%02d %02d-%02d-%02d".
    virtual QString PictureTimeText() const = 0;
    // Put before the picture time in a recording's file name, so that recorders of
    // one window never share a name ("REC2_"); empty for the first recorder.
    virtual QString RecordNamePrefix() const { return QString(); }
    // The picture area as shown (640 x 480, any format); a null image when none.
    virtual QImage GrabPictureArea() = 0;
    // The same, kept by the window until the next call: a window may paint again
    // only what changed since the last call, unless bWhole.
    virtual const QImage &CapturePictureArea(bool bWhole) = 0;
    // The recording is over: what CapturePictureArea kept may go.
    virtual void ReleaseCapture() {}
    // The notice area: "Recording", "Saving", "Saving OK", "Saving Failed", the
    // dropped pictures.
    virtual void ShowNotice(const QString &szText) = 0;
    // A message that must not hold up playback or the buttons: it never waits
    // ("Can Not Record Images Any More!", a write error).
    virtual void ShowRecordMessage(const QString &szText) = 0;
    // The record button: down while recording.
    virtual void SetRecordButtonDown(bool bDown) = 0;
};

inline constexpr int RECORD_TIMER_ID = 31;
inline constexpr int RECORD_TOTAL_MS = 1200000; // 20 minutes
inline constexpr int MAX_PICTURES_PER_SEGMENT = 9999;
// How long Finish waits for the files being written before it gives up the pictures
// still queued.
inline constexpr int FINISH_WAIT_MS = 10000;
inline constexpr int64_t DEFAULT_RECORD_QUEUE = 48LL << 20; // pictures on their way to the disk
inline constexpr uint16_t PLAY_FORWARDS = 0x0001;

inline constexpr char NOTICE_RECORDING[] = "Recording";
inline constexpr char NOTICE_SAVING[] = "Saving";
inline constexpr char NOTICE_SAVING_OK[] = "Saving OK";
inline constexpr char NOTICE_SAVING_FAILED[] = "Saving Failed";
inline constexpr char MSG_RECORD_FULL[] = "Can Not Record Images Any More!";
inline constexpr char MSG_RECORD_WRITE_FAILED[] = "Can Not Write AVI File! Recording Stopped.";

class CRecorder : public QObject {
    Q_OBJECT
  public:
    // The settings are read again each time the record path or the segment length
    // is needed. The window's timer handler passes timer 31 to OnTimer.
    CRecorder(IRecordView &view, ITimerHost &timers, const ClientSettings &settings,
              QObject *parent = nullptr);
    // Writes what is queued and finishes a segment still open (named after its first
    // picture); call Finish first, while the window stands.
    ~CRecorder() override;

    // Record button: stops a recording while playing forwards, else StartRecord.
    void OnRecordButton();
    // Starts a recording when playing forwards and none runs.
    void StartRecord();
    // Ends the recording and its current segment at once (stop button, "Viewer",
    // link status 6). Nothing happens when none runs.
    void StopRecord();
    // Timer tick of the window; acts on RECORD_TIMER_ID only.
    void OnTimer(int nId);
    // The window drew a picture of channel nChannel (0..31; -1: not known): captures
    // the picture area while recording.
    void OnPictureDrawn(int nChannel = -1);
    // At exit: ends the recording and blocks until every file is written, at most
    // FINISH_WAIT_MS; then the pictures still queued are given up (the files keep
    // what was written), which is logged, and false is returned.
    bool Finish(int nWaitMs = FINISH_WAIT_MS);

    bool IsRecording() const { return m_bRecording; }
    // A segment has ended and its file is not finished yet (the window refuses to
    // close).
    bool IsSaving() const { return m_nSegmentsSaving > 0; }
    int RecordRemain() const { return m_nRecordRemain; }
    // Segments whose writing has finished (results handed back to this thread).
    int SegmentsDone() const { return m_nSegmentsDone; }
    const AviSaveResult &LastResult() const { return m_lastResult; }
    // Pictures placed in the files (a capture replaced by a later one in the same
    // sample is not counted), and dropped, in the current (or last) recording.
    int CapturedPictures() const { return m_nCaptured; }
    int DroppedPictures() const { return m_nDropped; }

    // Bound on the pixel bytes of the pictures on their way to the disk.
    void SetQueueLimit(int64_t nBytes);
    int64_t QueuedBytes() const;
    int64_t PeakQueuedBytes() const;
    // Fault injection for tests: the next segment's file fails after nBytes.
    void FailNextSegmentAfter(int64_t nBytes) { m_nNextFault = nBytes; }

  private:
    void CaptureFrame(int nChannel);
    void FillHeldPicture();
    void FlushHeldPicture();
    void DropPicture();
    void EndSegment(bool bContinues);
    void EndRecording();
    void OnSegmentFailed(uint64_t nSeq, const QString &szError);
    void OnSegmentSaved(const SegmentResult &result);
    void StopOnError(const QString &szError);
    int SegmentLengthMs() const;

    IRecordView &m_view;
    ITimerHost &m_timers;
    const ClientSettings &m_settings;
    std::unique_ptr<CSegmentWriter> MakeWriter();
    std::shared_ptr<std::atomic<bool>> m_pWriterAlive; // cleared when a writer is abandoned
    std::unique_ptr<CSegmentWriter> m_pWriter;

    bool m_bRecording = false;
    int m_nRecordRemain = 0;
    uint64_t m_nRecordingId = 0;
    int m_nCaptured = 0;
    int m_nDropped = 0;
    bool m_bFullShown = false;
    // Recordings with dropped pictures, told when their last segment is done:
    // (that segment, the count).
    std::deque<std::pair<uint64_t, int>> m_dropReports;

    // The segment being filled.
    uint64_t m_nSegSeq = 0;
    bool m_bSegBegun = false;
    QString m_szSegFolder;
    int64_t m_nSegStartMs = 0; // the first picture's capture, on the timers' clock
    QueuedPicture m_held;      // the last capture, not handed over yet
    int64_t m_nHeldSample = -1;
    uint32_t m_nHeldChannels = 0;    // bit c: channel c drawn since the held picture began
    bool m_bHeldFilled = false;      // else its pixels are still those of *m_pArea
    const QImage *m_pArea = nullptr; // the picture area at the last capture (the view's)
    int m_nSegPictures = 0;
    int m_nSegDropped = 0;

    // Segments ended and not finished; the one ended by timer 31 carries on the
    // recording.
    uint64_t m_nNextSeq = 0;
    uint64_t m_nContinueSeq = 0; // 0: none
    uint64_t m_nContinueRecording = 0;
    int m_nSegmentsSaving = 0;
    int m_nSegmentsDone = 0;
    AviSaveResult m_lastResult;
    int64_t m_nNextFault = -1;
};
