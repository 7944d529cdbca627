#include "app/shell/statslog.h"

#include "protocol/netclientwnd.h"
#include "ui/live/liveclient.h"
#include "ui/live/recorderset.h"
#include "ui/live/telvaneview.h"

#include <QDateTime>

#include <chrono>

namespace {

template <typename Counts> QByteArray JoinFirstFour(const Counts &counts)
{
    QByteArray text;
    for (std::size_t i = 0; i < 4; ++i) {
        if (i > 0)
            text += ',';
        text += QByteArray::number(qulonglong(counts[i]));
    }
    return text;
}

qint64 SteadyNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

CStatsLog::CStatsLog(CTelvaneView *pView) : m_pView(pView)
{
    connect(&m_timer, &QTimer::timeout, this, &CStatsLog::WriteLine);
}

bool CStatsLog::Start()
{
    const QString paintPath = qEnvironmentVariable("TELVANE_PAINT_LOG");
    if (!paintPath.isEmpty()) {
        m_paintLog.setFileName(paintPath);
        if (m_paintLog.open(QIODevice::WriteOnly | QIODevice::Append)) {
            m_pView->SetPaintProbe({[this](int nSlot) { OnShown(nSlot); },
                                    [this](const QRegion &region) { OnPainted(region); }});
            m_timer.start(1000);
        }
    }
    const QString path = qEnvironmentVariable("TELVANE_STATS");
    if (path.isEmpty())
        return false;
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text))
        return false;
    m_timer.start(1000);
    return true;
}

void CStatsLog::OnShown(int nSlot)
{
    const CRecorderSet *pSet = m_pView->Recorders();
    if (!pSet || nSlot < 0 || nSlot >= 16)
        return;
    ILiveClient *pClient = pSet->Client(GlobalChannel::FromIndex(nSlot).nRecorder);
    CNetClientWnd *pNet = pClient ? pClient->NetClient() : nullptr;
    if (!pNet)
        return;
    m_adwShown[std::size_t(nSlot)] = pNet->Session().dwLiveWord1;
    m_anShownNs[std::size_t(nSlot)] = SteadyNs();
}

void CStatsLog::OnPainted(const QRegion &region)
{
    const qint64 ns = SteadyNs();
    for (std::size_t i = 0; i < 16; ++i) {
        if (m_adwShown[i] == m_adwPainted[i] || !region.intersects(m_pView->TileArea(int(i))))
            continue;
        m_adwPainted[i] = m_adwShown[i];
        m_paintLog.write(QByteArray::number(ns) + ' ' + QByteArray::number(qulonglong(i)) + ' ' +
                         QByteArray::number(m_adwShown[i]) + ' ' +
                         QByteArray::number(m_anShownNs[i]) + '\n');
    }
}

void CStatsLog::WriteLine()
{
    if (m_paintLog.isOpen())
        m_paintLog.flush();
    if (!m_file.isOpen())
        return;
    CNetClientWnd *pClient = m_pView->Client() ? m_pView->Client()->NetClient() : nullptr;
    const bool bArchive = m_pView->Archive() && m_pView->Archive()->IsActive();
    QByteArray line = QByteArray::number(QDateTime::currentMSecsSinceEpoch());
    line += " state=" + QByteArray::number(m_pView->GetConnectState());
    line += " archive=" + QByteArray::number(bArchive ? 1 : 0);
    if (pClient) {
        const CReceivePath::PictureCounts &counts = pClient->Receiver().Counts();
        line += " link=" + QByteArray::number(int(pClient->Link()));
        line += " attempts=" + QByteArray::number(qulonglong(pClient->ConnectAttempts()));
        line += " logins=" + QByteArray::number(qulonglong(pClient->Logins()));
        line += " live=" + JoinFirstFour(counts.live);
        line += " playback=" + JoinFirstFour(counts.playback);
    }
    if (m_pView->Archive()) {
        const IArchiveWindow::RecordCounts rec = m_pView->Archive()->GetRecordCounts();
        line += " recorded=" + QByteArray::number(rec.nCaptured) + ',' +
                QByteArray::number(rec.nDropped) + ',' + QByteArray::number(rec.bSaving ? 1 : 0);
    }
    if (const CRecorderSet *pSet = m_pView->Recorders()) {
        line += " recorders=";
        for (int r = 0; r < CRecorderSet::kRecorders; ++r)
            line +=
                (r ? "," : "") + QByteArray::number(pSet->IsConfigured(r) ? pSet->ConnectState(r) : -1);
    }
    line += '\n';
    m_file.write(line);
    m_file.flush();
}
