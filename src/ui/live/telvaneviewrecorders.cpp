// CTelvaneView: several recorders. Which channels the screen shows, which channel
// buttons are accepted, the link state of each recorder in the status panel and on
// its tiles. With recorder 1 alone the view behaves as it always has: its own
// m_byConnectState is recorder 1's state and its channel indexes pass unchanged.

#include "ui/live/telvaneview.h"

#include "ui/controls/skinbutton.h"
#include "ui/live/statuspanel.h"

#include <QPainter>

using namespace viewlayout;

bool CTelvaneView::SeveralRecorders() const
{
    return m_pRecorders && m_pRecorders->ConfiguredCount() > 1;
}

uint8_t CTelvaneView::RecorderState(int nRecorder) const
{
    if (!SeveralRecorders())
        return nRecorder == 0 ? m_byConnectState : 0;
    return m_pRecorders->State(nRecorder);
}

bool CTelvaneView::IsChannelAccepted(int nChannel) const
{
    if (nChannel < 0 || nChannel >= 16)
        return false;
    if (!SeveralRecorders())
        return nChannel < CRecorderSet::kChannels;
    const int r = CRecorderSet::RecorderOf(nChannel);
    return m_pRecorders->IsConfigured(r) &&
           nChannel % CRecorderSet::kChannels < m_pRecorders->ChannelCount(r);
}

std::array<bool, 16> CTelvaneView::ChannelsOnScreen() const
{
    std::array<bool, 16> abOn{};
    const int nTiles = TileCount();
    if (nTiles == 1) {
        abOn[std::size_t(m_wRequestChannel & 0x0F)] = true;
    } else if (nTiles == 4) {
        for (int i = 0; i < 4; ++i)
            abOn[std::size_t(m_nSelRecorder * CRecorderSet::kChannels + i)] = true;
    } else {
        for (int i = 0; i < nTiles && i < 16; ++i)
            abOn[std::size_t(i)] = true;
    }
    return abOn;
}

void CTelvaneView::OnRecorderState(int nRecorder)
{
    m_byConnectState = SeveralRecorders() ? m_pRecorders->CombinedState() : m_pRecorders->State(0);
    for (int c = 0; c < CRecorderSet::kChannels; ++c)
        update(m_arcTile[std::size_t(nRecorder * CRecorderSet::kChannels + c)]);
}

void CTelvaneView::OnRecorderStatus(int nRecorder, uint8_t byCode)
{
    if (!SeveralRecorders()) {
        ShowStatus(byCode);
        return;
    }
    for (int c = 0; c < CRecorderSet::kChannels; ++c)
        update(m_arcTile[std::size_t(nRecorder * CRecorderSet::kChannels + c)]);
    // Link states are those of the selected recorder; an event is shown whoever sent it.
    if (nRecorder == m_nSelRecorder || byCode == STATUS_EVENT_REPORT)
        ShowRecorderStatus(nRecorder, byCode);
}

void CTelvaneView::ShowSelectedStatus()
{
    ShowRecorderStatus(m_nSelRecorder, m_pRecorders ? m_pRecorders->LastStatus(m_nSelRecorder)
                                                    : uint8_t(STATUS_WAITING));
}

void CTelvaneView::ShowRecorderStatus(int r, uint8_t byCode)
{
    ILiveClient *pClient = m_pRecorders ? m_pRecorders->Client(r) : nullptr;
    const uint8_t byRetry = pClient ? pClient->RetryCount() : 0;
    uint32_t dwAlert = pClient ? pClient->LastAlertWord() : 0;
    // The event names its channel by its global number.
    const uint32_t nChannel = dwAlert & 0xFF;
    if (nChannel >= 1 && nChannel <= uint32_t(CRecorderSet::kChannels))
        dwAlert = (dwAlert & ~0xFFu) | (nChannel + uint32_t(r * CRecorderSet::kChannels));
    if (m_pArchive && m_pArchive->IsActive() && r == m_nSelRecorder)
        m_pArchive->ShowLinkStatus(byCode, byRetry, dwAlert);
    m_pStatus->SetRecorderName(SeveralRecorders() ? m_pRecorders->Name(r) : QString());
    m_pStatus->ShowStatus(byCode, byRetry, dwAlert);
}

void CTelvaneView::OnRecorderChannelCount(int nRecorder, uint8_t byCount)
{
    if (nRecorder == 0)
        m_byChannelCount = byCount;
}

void CTelvaneView::OnRecorderLost(int nRecorder)
{
    if (!SeveralRecorders()) {
        OnLinkLost();
        return;
    }
    if (m_pRecorders->State(nRecorder) != 0) {
        m_pRecorders->SetState(nRecorder, 0);
        if (ILiveClient *pClient = m_pRecorders->Client(nRecorder))
            pClient->Disconnect(true);
        ClearRecorderPictures(nRecorder);
        InvalidatePicture();
    }
    m_byConnectState = m_pRecorders->CombinedState();
    if (m_byConnectState == 0) {
        OnLinkLost(); // the last link: the buttons show the window disconnected
        return;
    }
    if (nRecorder == m_nSelRecorder)
        ShowSelectedStatus();
}

void CTelvaneView::ClearRecorderPictures(int nRecorder)
{
    for (int c = 0; c < CRecorderSet::kChannels; ++c) {
        const int g = nRecorder * CRecorderSet::kChannels + c;
        m_canvas.SetPicture(g, ChannelPicture());
        m_abChannelSeen[std::size_t(g)] = false;
    }
}

QString CTelvaneView::RecorderTileText(int nRecorder) const
{
    if (!SeveralRecorders() || nRecorder < 0 || nRecorder >= CRecorderSet::kRecorders)
        return QString();
    if (!m_pRecorders->IsConfigured(nRecorder)) {
        if (nRecorder == 0)
            return QString();
        return QString::fromLocal8Bit(m_settings.m_aszRecorderFault[nRecorder - 1]);
    }
    // The link's own word while it tries again, nothing while it stands.
    const uint8_t byCode = m_pRecorders->LastStatus(nRecorder);
    if (byCode == STATUS_RECONNECTING)
        return ::StatusText(STATUS_RECONNECTING);
    if (m_pRecorders->State(nRecorder) == 2)
        return ::StatusText(STATUS_CONNECTING);
    if (m_pRecorders->State(nRecorder) == 1)
        return QString();
    return QStringLiteral("NO LINK");
}

void CTelvaneView::PaintRecorderMarks(QPainter &painter, const QRegion &region)
{
    if (!SeveralRecorders())
        return;
    for (int g = 0; g < 16; ++g) {
        const QRect tile = m_arcTile[std::size_t(g)];
        if (tile.isEmpty() || !region.intersects(tile))
            continue;
        const QString text = RecorderTileText(CRecorderSet::RecorderOf(g));
        if (text.isEmpty())
            continue;
        painter.save();
        painter.setClipRect(tile);
        painter.setFont(tile.width() < kPictureRect.width() / 3 ? m_fontMarkSmall : m_fontMark);
        const QString lines = QStringLiteral("CH%1\n").arg(g + 1) + text;
        const int nFlags = Qt::AlignCenter | Qt::TextWordWrap;
        const QRect rcText = painter.boundingRect(tile.adjusted(4, 4, -4, -4), nFlags, lines);
        painter.fillRect(rcText.adjusted(-4, -2, 4, 2), QColor(0, 0, 0, 170));
        painter.setPen(Qt::white);
        painter.drawText(tile.adjusted(4, 4, -4, -4), nFlags, lines);
        painter.restore();
    }
}
