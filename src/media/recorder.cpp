#include "media/recorder.h"

#include "media/mediafiles.h"
#include "media/segmentwriter.h"
#include "protocol/timerhost.h"
#include "settings/clientsettings.h"
#include "settings/settingsmapping.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <algorithm>

CRecorder::CRecorder(IRecordView &view, ITimerHost &timers, const ClientSettings &settings,
                     QObject *parent)
    : QObject(parent), m_view(view), m_timers(timers), m_settings(settings)
{
    // The writer thread only posts: every notice and the next step of the
    // recording run here, on the thread that owns the window and its timers.
    m_pWriter = std::make_unique<CSegmentWriter>(
        [this](const SegmentJob &job) {
            if (job.frames.empty())
                return;
            QMetaObject::invokeMethod(
                this, [this] { m_view.ShowNotice(QString::fromLatin1(NOTICE_SAVING)); },
                Qt::QueuedConnection);
        },
        [this](uint64_t nSeq, const AviSaveResult &result) {
            QMetaObject::invokeMethod(
                this, [this, nSeq, result] { OnSegmentSaved(nSeq, result); }, Qt::QueuedConnection);
        });
}

CRecorder::~CRecorder()
{
    // Writes what is queued; the window and its timers may be gone, so nothing is
    // asked of them here (the window calls Finish while it still stands).
    m_pWriter.reset();
}

int CRecorder::SegmentLengthMs() const
{
    return RecordDurationToMs(m_settings.m_byRecordDuration);
}

int64_t CRecorder::HeldBytes() const
{
    return m_nListBytes[0] + m_nListBytes[1] + (m_pWriter ? m_pWriter->QueuedBytes() : 0);
}

void CRecorder::OnRecordButton()
{
    if (m_bRecording && m_view.PlayState() == PLAY_FORWARDS)
        StopRecord();
    else
        StartRecord();
}

void CRecorder::StartRecord()
{
    if (m_view.PlayState() != PLAY_FORWARDS || m_bRecording)
        return;
    m_nRecordRemain = RECORD_TOTAL_MS;
    m_bRecording = true;
    m_bFullShown = false;
    ++m_nRecordingId;
    m_view.SetRecordButtonDown(true);
    CaptureFrame();
    m_timers.StartTimer(RECORD_TIMER_ID, SegmentLengthMs());
}

void CRecorder::StopRecord()
{
    if (!m_bRecording)
        return;
    m_timers.KillTimer(RECORD_TIMER_ID);
    m_bRecording = false;
    WriteSegment(false);
    m_view.SetRecordButtonDown(false);
}

void CRecorder::OnTimer(int nId)
{
    if (nId != RECORD_TIMER_ID)
        return;
    m_timers.KillTimer(RECORD_TIMER_ID);
    if (!m_bRecording)
        return;
    m_nRecordRemain -= SegmentLengthMs();
    if (m_nRecordRemain <= 0) {
        m_bRecording = false;
        WriteSegment(false);
        m_view.SetRecordButtonDown(false);
        return;
    }
    WriteSegment(true);
    CaptureFrame(); // the first picture of the next segment
}

void CRecorder::OnPictureDrawn()
{
    if (m_bRecording)
        CaptureFrame();
}

void CRecorder::CaptureFrame()
{
    if (!m_bRecording || m_view.PlayState() != PLAY_FORWARDS)
        return;
    m_view.ShowNotice(QString::fromLatin1(NOTICE_RECORDING));
    const QImage area = m_view.GrabPictureArea();
    if (area.isNull())
        return;
    const int64_t nSize = int64_t(BitmapRowBytes(area.width(), 24)) * area.height();
    const auto &list = m_frameLists[m_saveRock];
    // Test the bound before copying, so a full memory costs no allocation.
    if (int(list.size()) >= MAX_FRAMES_PER_LIST || HeldBytes() + nSize > m_nMemoryLimit) {
        if (!m_bFullShown) {
            m_bFullShown = true; // once per recording; the recording goes on
            m_view.ShowRecordMessage(QString::fromLatin1(MSG_RECORD_FULL));
        }
        return;
    }
    StoreFrame(CPackedDib::FromImage(area));
}

void CRecorder::StoreFrame(CPackedDib dib)
{
    if (dib.IsNull())
        return; // no memory for it: the picture is lost, as a null entry would be
    m_nListBytes[m_saveRock] += dib.ImageSize();
    m_frameLists[m_saveRock].push_back(std::move(dib));
}

std::vector<CPackedDib> CRecorder::SwapFrameLists(int64_t &nBytes)
{
    const int nTaken = m_saveRock;
    m_saveRock = 1 - m_saveRock;
    std::vector<CPackedDib> taken;
    taken.swap(m_frameLists[nTaken]);
    nBytes = m_nListBytes[nTaken];
    m_nListBytes[nTaken] = 0;
    return taken;
}

void CRecorder::WriteSegment(bool bContinues)
{
    SegmentJob job;
    job.nSeq = ++m_nNextSeq;
    job.frames = SwapFrameLists(job.nBytes);
    // Named after the picture shown last; the folder is built, never entered.
    job.szFileName = FileInFolder(RecordFolder(FieldText(m_settings.m_szRecordPath)),
                                  m_view.PictureTimeText() + QStringLiteral(".avi"));
    if (!job.frames.empty()) {
        job.nByteLimit = m_nNextFault;
        m_nNextFault = -1;
    }
    if (bContinues) {
        m_nContinueSeq = job.nSeq;
        m_nContinueRecording = m_nRecordingId;
    }
    ++m_nJobsOut;
    m_pWriter->Submit(std::move(job));
}

void CRecorder::OnSegmentSaved(uint64_t nSeq, const AviSaveResult &result)
{
    --m_nJobsOut;
    ++m_nSegmentsDone;
    m_lastResult = result;
    if (result.bError)
        m_view.ShowNotice(QString::fromLatin1(NOTICE_SAVING_FAILED));
    else if (!result.szFileName.isEmpty())
        m_view.ShowNotice(QString::fromLatin1(NOTICE_SAVING_OK));

    // Only the segment ended by timer 31 carries its own recording on.
    if (nSeq != m_nContinueSeq)
        return;
    m_nContinueSeq = 0;
    if (!m_bRecording || m_nContinueRecording != m_nRecordingId)
        return;
    if (m_nRecordRemain <= 0) {
        m_bRecording = false;
        m_view.SetRecordButtonDown(false);
        return;
    }
    CaptureFrame();
    m_timers.StartTimer(RECORD_TIMER_ID, std::min(SegmentLengthMs(), m_nRecordRemain));
}

void CRecorder::Finish()
{
    StopRecord();
    m_pWriter->WaitIdle();
    // Hand over the results still on their way, so nothing is reported after exit.
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
}
