// CTelvaneView: the digital zoom of a tile. The wheel zooms the tile under the
// pointer, a left drag pans a zoomed tile, the right button resets it (tilezoom.h);
// a zoomed tile asks its recorder for pictures decoded at the size it draws at.

#include "ui/live/telvaneview.h"

#include <QWheelEvent>

#include <cmath>

QRect CTelvaneView::TileRectAt(const QPoint &pt) const
{
    const int nPos = TileAt(pt);
    return nPos >= 0 ? m_plan.tiles[std::size_t(nPos)].rect : QRect();
}

void CTelvaneView::SendDrawnSize(int nChannel)
{
    const GlobalChannel ch = GlobalChannel::FromIndex(nChannel);
    ILiveClient *pClient = m_pRecorders ? m_pRecorders->Client(ch.nRecorder) : nullptr;
    if (!pClient)
        return;
    const QRect &tile = m_plan.channelTile[std::size_t(nChannel)];
    const double dFactor = m_canvas.ZoomOf(tile, nChannel).Factor();
    pClient->SetDrawnSize(ch.nChannel, int(std::ceil(tile.width() * dFactor)),
                          int(std::ceil(tile.height() * dFactor)));
}

void CTelvaneView::wheelEvent(QWheelEvent *event)
{
    if (!m_zoomMouse.Wheel(m_canvas, TileRectAt(event->position().toPoint()), *event))
        QWidget::wheelEvent(event);
}
