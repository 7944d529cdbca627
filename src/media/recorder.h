#pragma once
// Recording of forward playback into AVI files, one file per segment.
//
// Theory of operation. The archive window owns one CRecorder and calls it on the
// user-interface thread only. The record button starts a recording while playing
// forwards: 20 minutes at most, cut into segments of the "Record Duration" length
// by the window's timer 31 (one-shot in use). Every picture the window draws while
// recording is captured right away (OnPictureDrawn: one copy of the 640 x 480 area
// into the frame list being filled). At a segment end the lists are swapped: the
// filled one moves, whole, into a job for the one writer thread, which writes the
// file and frees the pictures; meanwhile capture goes on into the other list. When
// the writer is done its result comes back to this thread as a queued call; only
// then is timer 31 armed again, with the segment length or the time left when that
// is smaller, so a segment spans its length plus the time its predecessor took to
// be written. Stopping (stop button, "Viewer", a lost link, the record button)
// writes the current segment at once. Once playback has ended or reversed nothing
// is captured, so later segments are empty and an empty segment makes no file.
//
// Files go into the record folder (see RecordFolder), named after the time of the
// last picture shown, "2005-03-01 12-00-05.avi"; a name that exists gets "_2", "_3"
// ... and no file is ever replaced. Pictures held in memory are bounded (see
// SetMemoryLimit); past the bound pictures are dropped and the window shows
// "Can Not Record Images Any More!" once per recording.

#include "media/aviwriter.h"
#include "media/packeddib.h"

#include <QImage>
#include <QObject>
#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

class ITimerHost;
class CSegmentWriter;
struct ClientSettings;
struct SegmentJob;

// What the recording needs from the archive window.
class IRecordView {
  public:
    virtual ~IRecordView() = default;
    // m_wPlayState: 0x0001 playing forwards, 0x0101 in reverse, 0 stopped.
    virtual uint16_t PlayState() const = 0;
    // FormatPictureTime of m_tmPicture, "%04d-%02d-%02d %02d-%02d-%02d".
    virtual QString PictureTimeText() const = 0;
    // The picture area as shown (640 x 480, any format); a null image when none.
    virtual QImage GrabPictureArea() = 0;
    // The notice area: "Recording", "Saving", "Saving OK", "Saving Failed".
    virtual void ShowNotice(const QString &szText) = 0;
    // A message box ("Can Not Record Images Any More!").
    virtual void ShowRecordMessage(const QString &szText) = 0;
    // The record button: down while recording.
    virtual void SetRecordButtonDown(bool bDown) = 0;
};

inline constexpr int RECORD_TIMER_ID = 31;
inline constexpr int RECORD_TOTAL_MS = 1200000; // 20 minutes
inline constexpr int MAX_FRAMES_PER_LIST = 9999;
inline constexpr int64_t DEFAULT_RECORD_MEMORY = 512LL << 20; // pictures held, all lists
inline constexpr uint16_t PLAY_FORWARDS = 0x0001;

inline constexpr char NOTICE_RECORDING[] = "Recording";
inline constexpr char NOTICE_SAVING[] = "Saving";
inline constexpr char NOTICE_SAVING_OK[] = "Saving OK";
inline constexpr char NOTICE_SAVING_FAILED[] = "Saving Failed";
inline constexpr char MSG_RECORD_FULL[] = "Can Not Record Images Any More!";

class CRecorder : public QObject {
    Q_OBJECT
  public:
    // The settings are read again each time the record path or the segment length
    // is needed. The window's timer handler passes timer 31 to OnTimer.
    CRecorder(IRecordView &view, ITimerHost &timers, const ClientSettings &settings,
              QObject *parent = nullptr);
    // Waits for the files queued; call Finish first, while the window stands.
    ~CRecorder() override;

    // Record button: stops a recording while playing forwards, else StartRecord.
    void OnRecordButton();
    // Starts a recording when playing forwards and none runs.
    void StartRecord();
    // Ends the recording and writes the current segment at once (stop button,
    // "Viewer", link status 6). Nothing happens when none runs.
    void StopRecord();
    // Timer tick of the window; acts on RECORD_TIMER_ID only.
    void OnTimer(int nId);
    // The window drew a picture: captures the picture area while recording.
    void OnPictureDrawn();
    // At exit: ends the recording and blocks until every file is written.
    void Finish();

    bool IsRecording() const { return m_bRecording; }
    // A segment is queued or being written (the window refuses to close).
    bool IsSaving() const { return m_nJobsOut > 0; }
    int RecordRemain() const { return m_nRecordRemain; }
    // Segments whose writing has finished (results handed back to this thread).
    int SegmentsDone() const { return m_nSegmentsDone; }
    const AviSaveResult &LastResult() const { return m_lastResult; }

    // Bound on the pixel bytes held by all lists together, queued ones included.
    void SetMemoryLimit(int64_t nBytes) { m_nMemoryLimit = nBytes; }
    int64_t HeldBytes() const;
    // Fault injection for tests: the next segment's file fails after nBytes.
    void FailNextSegmentAfter(int64_t nBytes) { m_nNextFault = nBytes; }

  private:
    void CaptureFrame();
    void StoreFrame(CPackedDib dib);
    std::vector<CPackedDib> SwapFrameLists(int64_t &nBytes);
    void WriteSegment(bool bContinues);
    void OnSegmentSaved(uint64_t nSeq, const AviSaveResult &result);
    int SegmentLengthMs() const;

    IRecordView &m_view;
    ITimerHost &m_timers;
    const ClientSettings &m_settings;
    std::unique_ptr<CSegmentWriter> m_pWriter;

    bool m_bRecording = false;
    int m_nRecordRemain = 0;
    std::vector<CPackedDib> m_frameLists[2];
    int64_t m_nListBytes[2] = {0, 0};
    int m_saveRock = 0; // the list being filled
    uint64_t m_nRecordingId = 0;
    bool m_bFullShown = false;

    // Segments in flight; the one ended by timer 31 carries on the recording.
    uint64_t m_nNextSeq = 0;
    uint64_t m_nContinueSeq = 0; // 0: none
    uint64_t m_nContinueRecording = 0;
    int m_nJobsOut = 0;
    int m_nSegmentsDone = 0;
    AviSaveResult m_lastResult;
    int64_t m_nMemoryLimit = DEFAULT_RECORD_MEMORY;
    int64_t m_nNextFault = -1;
};
