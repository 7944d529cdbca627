// CTelvaneView: the recorders' links as the window shows them. Every state here is
// read from the recorder set (each link's client); the view keeps none of it.

#include "ui/live/telvaneview.h"

#include "ui/controls/skinbutton.h"
#include "ui/live/statuspanel.h"

#include <QPainter>

using namespace viewlayout;

void CTelvaneView::OnRecorderChanged(int nRecorder)
{
    if (!m_pRecorders || !m_apButtons[CTRL_CONNECT])
        return; // before the controls exist: the initial update draws the state
    // A recorder without a link shows no pictures: they are its client's, and its
    // seen flags start again with the next link.
    if (m_pRecorders->ConnectState(nRecorder) == 0 && ClearRecorderPictures(nRecorder))
        InvalidatePicture();
    // The buttons show whether the window has any link.
    const uint8_t byState = GetConnectState();
    if (byState == 0 && m_bShownConnected) {
        SetButtonChecked(CTRL_CONNECT, false);
        SetButtonChecked(CTRL_DISCONNECT, true);
        m_bShownConnected = false;
    } else if (byState != 0 && !m_bShownConnected) {
        m_apButtons[CTRL_CONNECT]->setEnabled(true);
        SetButtonChecked(CTRL_CONNECT, true);
        SetButtonChecked(CTRL_DISCONNECT, false);
        m_bShownConnected = true;
    }
    UpdateRecorderTiles(nRecorder);
    if (nRecorder == m_nSelRecorder || nRecorder == m_pRecorders->ArchiveRecorder())
        ShowRecorderStatus(nRecorder, m_pRecorders->Status(nRecorder).StatusCode());
}

void CTelvaneView::OnRecorderEvent(int nRecorder, uint8_t byCode)
{
    if (byCode == STATUS_EVENT_REPORT)
        AddAlarm(nRecorder);
    // The selected recorder's events are shown; an event report whoever sent it.
    if (nRecorder == m_nSelRecorder || nRecorder == m_pRecorders->ArchiveRecorder() ||
        byCode == STATUS_EVENT_REPORT)
        ShowRecorderStatus(nRecorder, byCode);
}

void CTelvaneView::OnRecorderChannelCount(int nRecorder)
{
    (void)nRecorder;
    // The wide layouts place channels by the recorders' counts; the link logging in
    // reads its request when its first request goes out.
    if (!m_apButtons[CTRL_CONNECT])
        return;
    const screenplan::Plan plan = MakePlan();
    if (plan.channelTile != m_plan.channelTile || plan.onScreen != m_plan.onScreen)
        ApplyPlan(false);
}

void CTelvaneView::OnRecorderRemoved(int nRecorder)
{
    // The client and its frame records go next: nothing may point into them.
    ClearRecorderPictures(nRecorder);
    if (m_pArchive)
        m_pArchive->ForgetPictures();
}

void CTelvaneView::ShowSelectedStatus()
{
    if (m_pRecorders)
        ShowRecorderStatus(m_nSelRecorder, m_pRecorders->Status(m_nSelRecorder).StatusCode());
}

void CTelvaneView::ShowRecorderStatus(int r, uint8_t byCode)
{
    ILiveClient *pClient = m_pRecorders ? m_pRecorders->Client(r) : nullptr;
    const uint8_t byRetry = pClient ? pClient->RetryCount() : 0;
    uint32_t dwAlert = pClient ? pClient->LastAlertWord() : 0;
    // The event names its channel by its global number.
    const uint32_t nChannel = dwAlert & 0xFF;
    if (nChannel >= 1 && nChannel <= uint32_t(CRecorderSet::kChannels))
        dwAlert = (dwAlert & ~0xFFu) | uint32_t(GlobalChannel::Of(r, int(nChannel) - 1).Number());
    // The archive window shows its own recorder's link.
    if (m_pArchive && m_pArchive->IsActive() &&
        r == (m_pRecorders->ArchiveRecorder() >= 0 ? m_pRecorders->ArchiveRecorder() : m_nSelRecorder))
        m_pArchive->ShowLinkStatus(byCode, byRetry, dwAlert);
    m_pStatus->SetRecorderName(ShownName(r));
    m_pStatus->ShowStatus(byCode, byRetry, dwAlert);
}

QString CTelvaneView::ShownName(int nRecorder) const
{
    // A recorder is named where there are others to tell it from.
    return m_pRecorders && m_pRecorders->ConfiguredCount() > 1 ? m_pRecorders->Name(nRecorder)
                                                               : QString();
}

bool CTelvaneView::ClearRecorderPictures(int nRecorder)
{
    bool bHad = false;
    for (int c = 0; c < CRecorderSet::kChannels; ++c) {
        const auto g = std::size_t(GlobalChannel::Of(nRecorder, c).Index());
        bHad = bHad || m_canvas.HasPicture(int(g)) || m_abChannelSeen[g];
        m_canvas.SetPicture(int(g), ChannelPicture());
        m_abChannelSeen[g] = false;
    }
    return bHad;
}

void CTelvaneView::UpdateRecorderTiles(int nRecorder)
{
    for (int c = 0; c < CRecorderSet::kChannels; ++c)
        update(m_plan.channelTile[std::size_t(GlobalChannel::Of(nRecorder, c).Index())]);
}

QString CTelvaneView::RecorderTileText(int nRecorder) const
{
    // With one recorder the status panel says it all, and its tiles stay clean.
    if (!m_pRecorders || m_pRecorders->ConfiguredCount() < 2 || nRecorder < 0 ||
        nRecorder >= CRecorderSet::kRecorders)
        return QString();
    if (!m_pRecorders->IsConfigured(nRecorder)) {
        if (nRecorder == 0)
            return QString();
        return QString::fromLocal8Bit(m_settings.m_aszRecorderFault[nRecorder - 1]);
    }
    const LinkStatus status = m_pRecorders->Status(nRecorder);
    switch (status.kind) {
    case LinkStatus::Kind::LoggingIn:
    case LinkStatus::Kind::Online:
    case LinkStatus::Kind::RetryLoggingIn:
        return QString();
    case LinkStatus::Kind::Connecting:
        return ::StatusText(STATUS_CONNECTING);
    case LinkStatus::Kind::RetryWait:
    case LinkStatus::Kind::RetryConnecting: {
        // How long the recorder has been away, as mm:ss (hours past 99 minutes).
        const int64_t nSeconds =
            std::max<int64_t>(0, m_pTimerHost->NowMs() - status.nLostAtMs) / 1000;
        return ::StatusText(STATUS_RECONNECTING) +
               QString::asprintf(" %02lld:%02lld", static_cast<long long>(nSeconds / 60),
                                 static_cast<long long>(nSeconds % 60));
    }
    case LinkStatus::Kind::LoginRefused:
        return QStringLiteral("LOGIN REFUSED");
    default:
        return QStringLiteral("NO LINK");
    }
}

void CTelvaneView::PaintRecorderMarks(QPainter &painter, const QRegion &region)
{
    for (const screenplan::Tile &t : m_plan.tiles) {
        if (!t.channel.IsValid() || t.rect.isEmpty() || !region.intersects(t.rect))
            continue;
        const QString text = RecorderTileText(t.channel.nRecorder);
        if (text.isEmpty())
            continue;
        painter.save();
        painter.setClipRect(t.rect);
        painter.setFont(t.rect.width() < kPictureRect.width() / 3 ? m_fontMarkSmall : m_fontMark);
        const QString lines = t.channel.Text() + QLatin1Char('\n') + text;
        const int nFlags = Qt::AlignCenter | Qt::TextWordWrap;
        const QRect rcText = painter.boundingRect(t.rect.adjusted(4, 4, -4, -4), nFlags, lines);
        painter.fillRect(rcText.adjusted(-4, -2, 4, 2), QColor(0, 0, 0, 170));
        painter.setPen(Qt::white);
        painter.drawText(t.rect.adjusted(4, 4, -4, -4), nFlags, lines);
        painter.restore();
    }
}
