#include "media/recorder.h"

#include "media/mediafiles.h"
#include "protocol/timerhost.h"
#include "settings/clientsettings.h"
#include "settings/settingsmapping.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QtGlobal>

#include <algorithm>

CRecorder::CRecorder(IRecordView &view, ITimerHost &timers, const ClientSettings &settings,
                     QObject *parent)
    : QObject(parent), m_view(view), m_timers(timers), m_settings(settings)
{
    m_pWriter = MakeWriter();
    m_nSegSeq = ++m_nNextSeq;
}

std::unique_ptr<CSegmentWriter> CRecorder::MakeWriter()
{
    // The writer thread only posts: every notice and the next step of the
    // recording run here, on the thread that owns the window and its timers. A
    // writer abandoned at exit posts nothing more once its token is cleared.
    m_pWriterAlive = std::make_shared<std::atomic<bool>>(true);
    std::shared_ptr<std::atomic<bool>> pAlive = m_pWriterAlive;
    auto pWriter = std::make_unique<CSegmentWriter>(
        [this, pAlive](uint64_t) {
            if (!*pAlive)
                return;
            QMetaObject::invokeMethod(
                this, [this] { m_view.ShowNotice(QString::fromLatin1(NOTICE_SAVING)); },
                Qt::QueuedConnection);
        },
        [this, pAlive](uint64_t nSeq, const QString &szError) {
            if (!*pAlive)
                return;
            QMetaObject::invokeMethod(
                this, [this, nSeq, szError] { OnSegmentFailed(nSeq, szError); },
                Qt::QueuedConnection);
        },
        [this, pAlive](const SegmentResult &result) {
            if (!*pAlive)
                return;
            QMetaObject::invokeMethod(
                this, [this, result] { OnSegmentSaved(result); }, Qt::QueuedConnection);
        });
    pWriter->SetByteLimit(DEFAULT_RECORD_QUEUE);
    return pWriter;
}

CRecorder::~CRecorder()
{
    // Writes what is queued, and finishes a segment still open under its fallback
    // name; the window and its timers may be gone, so nothing is asked of them here
    // (the window calls Finish while it still stands).
    FlushHeldPicture();
    m_pWriter.reset();
}

int CRecorder::SegmentLengthMs() const
{
    return RecordDurationToMs(m_settings.m_byRecordDuration);
}

void CRecorder::SetQueueLimit(int64_t nBytes)
{
    m_pWriter->SetByteLimit(nBytes);
}

int64_t CRecorder::QueuedBytes() const
{
    return m_pWriter->BytesInUse();
}

int64_t CRecorder::PeakQueuedBytes() const
{
    return m_pWriter->PeakBytesInUse();
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
    m_nCaptured = 0;
    m_nDropped = 0;
    ++m_nRecordingId;
    m_pWriter->ResetPeak();
    m_view.SetRecordButtonDown(true);
    CaptureFrame(-1);
    m_timers.StartTimer(RECORD_TIMER_ID, SegmentLengthMs());
}

void CRecorder::StopRecord()
{
    if (!m_bRecording)
        return;
    m_timers.KillTimer(RECORD_TIMER_ID);
    EndRecording();
}

void CRecorder::EndRecording()
{
    m_bRecording = false;
    if (m_nDropped > 0)
        m_dropReports.emplace_back(m_nSegSeq, m_nDropped);
    EndSegment(false);
    m_pArea = nullptr;
    m_view.ReleaseCapture();
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
        EndRecording();
        return;
    }
    EndSegment(true);
    CaptureFrame(-1); // the first picture of the next segment
}

void CRecorder::OnPictureDrawn(int nChannel)
{
    if (m_bRecording)
        CaptureFrame(nChannel);
}

void CRecorder::CaptureFrame(int nChannel)
{
    if (!m_bRecording || m_view.PlayState() != PLAY_FORWARDS)
        return;
    m_view.ShowNotice(QString::fromLatin1(m_nSegDropped > 0 ? MSG_RECORD_FULL : NOTICE_RECORDING));
    const int64_t nNow = m_timers.NowMs();
    int64_t nSample = m_bSegBegun ? AviSampleAt(nNow - m_nSegStartMs) : 0;
    const uint32_t nChannelBit = nChannel >= 0 && nChannel < 32 ? 1u << nChannel : 0;
    if (!m_held.IsNull() && nSample <= m_nHeldSample) {
        if (!(m_nHeldChannels & nChannelBit)) {
            // The later capture of one sample replaces the earlier: the held picture
            // takes the area as it is at the sample's last capture.
            m_pArea = &m_view.CapturePictureArea(false);
            m_nHeldChannels |= nChannelBit;
            return;
        }
        // A second picture of a channel within one sample (pictures that came in a
        // burst): the first keeps its sample, this one goes into the next.
        nSample = m_nHeldSample + 1;
    }
    // The held picture's sample is over: it gets its pixels before the area moves on.
    FillHeldPicture();
    m_pArea = &m_view.CapturePictureArea(!m_bSegBegun); // whole at a segment's first picture
    if (m_pArea->isNull())
        return;
    if (m_nSegPictures >= MAX_PICTURES_PER_SEGMENT) {
        DropPicture();
        return;
    }
    QueuedPicture picture = m_pWriter->TakeBuffer(m_pArea->width(), m_pArea->height());
    if (picture.IsNull()) {
        DropPicture(); // the disk is behind: the queue is full
        return;
    }
    if (!m_bSegBegun) {
        // The folder is chosen at the segment's first picture; the file is made there.
        // Should the segment never be ended (the recorder destroyed while recording),
        // the file is named after this picture.
        m_bSegBegun = true;
        m_nSegStartMs = nNow;
        m_szSegFolder = RecordFolder(FieldText(m_settings.m_szRecordPath));
        m_pWriter->BeginSegment(
            m_nSegSeq, m_szSegFolder,
            FileInFolder(m_szSegFolder, m_view.RecordNamePrefix() + m_view.PictureTimeText() +
                                            QStringLiteral(".avi")),
            m_settings.m_byRecordFormat == RECORD_FORMAT_MJPEG ? AviCodec::MJPEG : AviCodec::RAW,
            m_nNextFault);
        m_nNextFault = -1;
    }
    FlushHeldPicture();
    ++m_nSegPictures;
    ++m_nCaptured;
    m_held = std::move(picture);
    m_nHeldSample = nSample;
    m_nHeldChannels = nChannelBit;
    m_bHeldFilled = false;
}

void CRecorder::FillHeldPicture()
{
    if (m_held.IsNull() || m_bHeldFilled)
        return;
    m_bHeldFilled = true;
    if (m_pArea && m_held.dib.CopyFrom(*m_pArea))
        return;
    // No pixels for it (the area went away): the picture is not placed.
    m_pWriter->ReturnBuffer(std::move(m_held));
    m_held = QueuedPicture();
    m_nHeldSample = -1;
    --m_nSegPictures;
    --m_nCaptured;
}

void CRecorder::FlushHeldPicture()
{
    FillHeldPicture();
    if (m_held.IsNull())
        return;
    m_pWriter->AddPicture(m_nSegSeq, std::move(m_held), m_nHeldSample);
    m_held = QueuedPicture();
    m_nHeldSample = -1;
}

void CRecorder::DropPicture()
{
    ++m_nDropped;
    ++m_nSegDropped;
    m_view.ShowNotice(QString::fromLatin1(MSG_RECORD_FULL));
    if (!m_bFullShown) {
        m_bFullShown = true; // once per recording; the recording goes on
        m_view.ShowRecordMessage(QString::fromLatin1(MSG_RECORD_FULL));
    }
}

void CRecorder::EndSegment(bool bContinues)
{
    FlushHeldPicture();
    // Named after the picture shown last.
    m_pWriter->EndSegment(m_nSegSeq, FileInFolder(m_szSegFolder, m_view.RecordNamePrefix() +
                                                                     m_view.PictureTimeText() +
                                                                     QStringLiteral(".avi")));
    if (bContinues) {
        m_nContinueSeq = m_nSegSeq;
        m_nContinueRecording = m_nRecordingId;
    }
    ++m_nSegmentsSaving;
    m_nSegSeq = ++m_nNextSeq;
    m_bSegBegun = false;
    m_nSegPictures = 0;
    m_nSegDropped = 0;
}

void CRecorder::StopOnError(const QString &szError)
{
    if (!m_bRecording)
        return;
    qWarning().noquote() << "Recording stopped:" << szError;
    m_view.ShowRecordMessage(QString::fromLatin1(MSG_RECORD_WRITE_FAILED) + QLatin1Char('\n') +
                             szError);
    StopRecord();
}

void CRecorder::OnSegmentFailed(uint64_t nSeq, const QString &szError)
{
    // Only the segment still filling: its file keeps what came before the error.
    if (nSeq == m_nSegSeq) {
        m_view.ShowNotice(QString::fromLatin1(NOTICE_SAVING_FAILED));
        StopOnError(szError);
    }
}

void CRecorder::OnSegmentSaved(const SegmentResult &result)
{
    --m_nSegmentsSaving;
    ++m_nSegmentsDone;
    m_lastResult = result.save;
    if (result.save.bError)
        m_view.ShowNotice(QString::fromLatin1(NOTICE_SAVING_FAILED));
    else if (!result.save.szFileName.isEmpty())
        m_view.ShowNotice(QString::fromLatin1(NOTICE_SAVING_OK));
    if (result.save.bError)
        StopOnError(result.save.szError);

    // A recording whose last segment is done tells its dropped pictures, also when
    // a new recording has started meanwhile (whose notices then own the notice
    // area, so the count comes as a message that does not wait).
    while (!m_dropReports.empty() && m_dropReports.front().first <= result.nSeq) {
        const QString szText =
            QStringLiteral("Dropped %1 Pictures").arg(m_dropReports.front().second);
        qWarning().noquote() << "Recording ended:" << m_dropReports.front().second
                             << "pictures dropped";
        m_dropReports.pop_front();
        if (m_bRecording)
            m_view.ShowRecordMessage(szText);
        else
            m_view.ShowNotice(szText);
    }
    if (!m_bRecording && m_nSegmentsSaving == 0)
        m_pWriter->ReleasePool(); // the recording is over and every picture is on the disk

    // Only the segment ended by timer 31 carries its own recording on.
    if (result.nSeq != m_nContinueSeq)
        return;
    m_nContinueSeq = 0;
    if (!m_bRecording || m_nContinueRecording != m_nRecordingId)
        return;
    if (m_nRecordRemain <= 0) {
        m_bRecording = false;
        m_view.SetRecordButtonDown(false);
        return;
    }
    CaptureFrame(-1);
    m_timers.StartTimer(RECORD_TIMER_ID, std::min(SegmentLengthMs(), m_nRecordRemain));
}

bool CRecorder::Finish(int nWaitMs)
{
    StopRecord();
    bool bDone = m_pWriter->WaitIdle(nWaitMs);
    if (!bDone) {
        // A disk that slow would hold the exit for minutes: the files end with the
        // pictures already written.
        const int nGivenUp = m_pWriter->DropQueuedPictures();
        qWarning().noquote() << "Recording: the disk did not take the pictures within" << nWaitMs
                             << "ms;" << nGivenUp << "pictures not written";
        // What is being written when the queue is dropped gets as long again, no
        // more: a disk that hangs must not hold the window for ever. The writer is
        // then left to the end of the process, and the file it writes may lack its
        // last pictures and its index.
        if (!m_pWriter->WaitIdle(nWaitMs)) {
            qWarning().noquote()
                << "Recording: the disk did not finish the file being written within"
                << 2 * nWaitMs << "ms; its end, and the pictures still being written, are not"
                << "written (the file keeps a hidden .part name in" << m_szSegFolder << ")";
            *m_pWriterAlive = false;
            m_pWriter.release()->Abandon();
            m_pWriter = MakeWriter(); // for what the window still asks of it
        }
    }
    // Hand over the results still on their way, so nothing is reported after exit.
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    return bDone;
}
