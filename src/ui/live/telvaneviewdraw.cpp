// CTelvaneView: which tile shows which channel, tile frames, painting and the mouse
// on the form. The pictures themselves are drawn by the view's picture canvas.

#include "ui/live/telvaneview.h"

#include "imaging/cjpegimage.h"
#include "ui/live/ptzpanel.h"
#include "ui/live/statuspanel.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

using namespace viewlayout;

bool CTelvaneView::IsChannelSeen(int nChannel) const
{
    return nChannel >= 0 && nChannel < 16 && m_abChannelSeen[std::size_t(nChannel)];
}

bool CTelvaneView::HasPicture(int nChannel) const
{
    return m_canvas.HasPicture(nChannel);
}

QRect CTelvaneView::Tile(int nChannel) const
{
    return nChannel >= 0 && nChannel < 16 ? m_plan.channelTile[std::size_t(nChannel)] : QRect();
}

int CTelvaneView::ShownChannel(const QRect &rcTile) const
{
    return m_canvas.ShownSlot(rcTile);
}

void CTelvaneView::SetChannelPicture(GlobalChannel channel, const ChannelPicture &picture)
{
    m_canvas.SetPicture(channel.Index(), picture);
    m_staleWatch.OnPicture(channel.Index(), m_pTimerHost->NowMs()); // the repaint drops a mark
}

void CTelvaneView::OnStaleCheck()
{
    // Live pictures are due while the tile's link stands and the archive has not
    // taken over.
    const bool bLive = !(m_pArchive && m_pArchive->IsActive());
    CheckStaleTiles(
        m_staleWatch, m_canvas, m_plan.channelTile.data(), int(m_plan.channelTile.size()),
        [this, bLive](int nSlot) {
            return bLive &&
                   m_pRecorders->ConnectState(GlobalChannel::FromIndex(nSlot).nRecorder) != 0;
        },
        m_pTimerHost->NowMs());
}

void CTelvaneView::ShowLiveFrame(GlobalChannel channel)
{
    DrawBmp(channel.Index());
    if (m_probe.fnShown)
        m_probe.fnShown(channel.Index());
}

void CTelvaneView::DrawBmp(int nChannel)
{
    if (nChannel < 0 || nChannel >= 16)
        return;
    const bool bFrameDrawn = DrawBmpInto(nChannel);
    const QRect tile = m_plan.channelTile[std::size_t(nChannel)];
    if (HasPicture(nChannel) && m_bDibReady && !tile.isEmpty())
        m_canvas.SchedulePaint(bFrameDrawn ? TileFrameRect(tile) : tile);
}

void CTelvaneView::FlushLamp()
{
    if (m_bLampPending) {
        m_bLampPending = false;
        SetButtonChecked(CTRL_RECEIVE_LAMP, m_bReceiveLampOn);
    }
}

bool CTelvaneView::DrawBmpInto(int nChannel)
{
    const auto i = std::size_t(nChannel);
    m_abChannelSeen[i] = true;
    if (!m_bDibReady || !HasPicture(nChannel))
        return false;
    const QRect tile = m_plan.channelTile[i];
    if (tile.isEmpty())
        return false;
    // A tile already showing a picture has its frame; pictures never cover it.
    const bool bFramed = m_canvas.ShownSlot(tile) >= 0;
    if (!m_canvas.CropOf(nChannel).isEmpty())
        m_canvas.Show(tile, nChannel); // painting stretches it
    if (bFramed)
        return false;
    m_canvas.DrawFrame(tile);
    return true;
}

void CTelvaneView::InvalidatePicture()
{
    // Erase the picture area to the background.
    m_canvas.ForgetShown();
    m_canvas.EraseArea(m_rcPicture);
    // Each tile position shows its channel's picture or its empty frame. In single
    // mode the one position shows the selected channel, so a stale picture of
    // another channel never fills the area.
    for (const screenplan::Tile &t : m_plan.tiles) {
        const int nChannel = t.channel.Index();
        if (t.channel.IsValid() && HasPicture(nChannel) &&
            !m_plan.channelTile[std::size_t(nChannel)].isEmpty())
            DrawBmpInto(nChannel);
        else
            m_canvas.DrawFrame(t.rect);
    }
    update(m_rcPicture.adjusted(0, 0, 1, 1));
}

void CTelvaneView::DrawLogo()
{
    if (m_imgLogo.isNull())
        return;
    QPainter painter(&m_canvas.Backing());
    painter.drawImage(kLogoRect.topLeft(), m_imgLogo,
                      QRect(0, 0, kLogoRect.width(), kLogoRect.height()));
}

void CTelvaneView::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    const QRegion region = event->region();
    m_canvas.Paint(painter, region);
    PaintStaleTiles(m_staleWatch, m_canvas, painter, region, m_plan.channelTile.data(),
                    int(m_plan.channelTile.size()), m_fontMark, m_fontMarkSmall, kPictureRect.width() / 3);
    PaintZoomMarks(m_canvas, painter, region, m_plan.channelTile.data(),
                   int(m_plan.channelTile.size()), m_fontMarkSmall);
    PaintRecorderMarks(painter, region);
    PaintDropTarget(painter, region);
    const QRect rc = region.boundingRect();
    if (rc.intersects(statusrect::kPanel))
        m_pStatus->paint(painter);
    if (m_pPtzPanel && rc.intersects(ptzlayout::kSpeedRect))
        m_pPtzPanel->paint(painter);
    if (m_probe.fnPainted)
        m_probe.fnPainted(region);
}

void CTelvaneView::ToggleReceiveLamp()
{
    m_bReceiveLampOn = !m_bReceiveLampOn;
    if (m_apButtons[CTRL_RECEIVE_LAMP]) {
        m_bLampPending = true;
        m_canvas.SchedulePaint(QRect());
    }
}

void CTelvaneView::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton &&
        statusrect::kPanel.contains(event->position().toPoint())) {
        OpenAlarmList(); // the status panel opens the alarm list
        return;
    }
    if (m_zoomMouse.Press(m_canvas, TileRectAt(event->position().toPoint()), *event))
        return; // a zoomed tile: its pan, or the right button's reset
    if (TileDragPress(event))
        return; // a tile on its way to another
    if (event->button() != Qt::LeftButton || m_settings.m_bUseFullScreen) {
        QWidget::mousePressEvent(event);
        return;
    }
    // A press on the bare form moves the whole window, as a press on a caption would.
    m_bDragging = true;
    m_ptDragOffset = event->globalPosition().toPoint() - window()->frameGeometry().topLeft();
}

void CTelvaneView::mouseMoveEvent(QMouseEvent *event)
{
    if (m_zoomMouse.Move(m_canvas, *event) || TileDragMove(event))
        return;
    if (m_bDragging && (event->buttons() & Qt::LeftButton))
        window()->move(event->globalPosition().toPoint() - m_ptDragOffset);
    else
        QWidget::mouseMoveEvent(event);
}

void CTelvaneView::mouseReleaseEvent(QMouseEvent *event)
{
    if (m_zoomMouse.Release(*event))
        return;
    m_bDragging = false;
    if (TileDragRelease(event))
        return;
    QWidget::mouseReleaseEvent(event);
}

void CTelvaneView::mouseDoubleClickEvent(QMouseEvent *event)
{
    m_bDragging = false;
    m_handDrag = HandDrag{};
    if (event->button() != Qt::LeftButton)
        return;
    const QPoint pt = event->position().toPoint();
    if (kAboutHotRect.contains(pt) && m_env.fnAbout)
        m_env.fnAbout();
    if (IsSingleMode()) {
        if (m_rcPicture.contains(pt))
            SetScreenMode(kQuadMode);
        return;
    }
    for (const screenplan::Tile &t : m_plan.tiles) {
        if (t.rect.contains(pt)) {
            if (t.channel.IsValid() && m_abChannelSeen[std::size_t(t.channel.Index())]) {
                m_wRequestChannel = uint16_t(t.channel.Index());
                SetScreenMode(kSingleMode);
            }
            return;
        }
    }
}
