// CTelvaneView: tiles placed by hand. A channel button dragged onto a tile puts its
// channel there; a tile dragged onto another swaps them. Only the layouts of 4 to
// 16 tiles are placed; the order is the settings' and the screen plan shows it.
//
// A skin button completes its click when the pointer leaves it while pressed. In a
// placeable layout a channel button's press that leaves the button, or moves the
// drag distance, becomes a drag instead: the press is cancelled, and the release
// decides. Over a tile it places the channel; anywhere else it is the click the
// button would have given, so a slip off a button still selects its channel.

#include "ui/live/telvaneview.h"

#include "ui/controls/skinbutton.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>

using namespace viewlayout;

namespace {
// The outline of the tile a drag would land on: the latched buttons' amber.
constexpr QRgb kDropColour = 0xFFF0A030u;

bool FarEnough(const QPoint &from, const QPoint &to)
{
    return (to - from).manhattanLength() >= QApplication::startDragDistance();
}
} // namespace

int CTelvaneView::TileAt(const QPoint &pt) const
{
    for (std::size_t i = 0; i < m_plan.tiles.size(); ++i)
        if (m_plan.tiles[i].rect.contains(pt))
            return int(i);
    return -1;
}

void CTelvaneView::PlaceByHand(const TilePlacement::Order &order)
{
    if (!TilePlacement::IsPlaceable(TileCount()))
        return;
    m_settings.m_tilePlacement.Set(TileCount(), order);
    ApplyPlan(false);
}

void CTelvaneView::ResetPlacement()
{
    if (!m_settings.m_tilePlacement.IsPlaced(TileCount()))
        return;
    m_settings.m_tilePlacement.Reset(TileCount());
    ApplyPlan(false);
}

void CTelvaneView::ShowDropTarget(const QPoint &ptGlobal)
{
    const int nPos = ptGlobal.isNull() ? -1 : TileAt(mapFromGlobal(ptGlobal));
    if (nPos == m_nDropPos)
        return;
    for (int n : {m_nDropPos, nPos})
        if (n >= 0 && n < int(m_plan.tiles.size()))
            update(m_plan.tiles[std::size_t(n)].rect);
    m_nDropPos = nPos;
}

void CTelvaneView::PaintDropTarget(QPainter &painter, const QRegion &region)
{
    if (m_nDropPos < 0 || m_nDropPos >= int(m_plan.tiles.size()))
        return;
    const QRect rc = m_plan.tiles[std::size_t(m_nDropPos)].rect;
    if (!region.intersects(rc))
        return;
    painter.save();
    painter.setPen(QPen(QColor::fromRgb(kDropColour), 3));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(rc.adjusted(1, 1, -2, -2));
    painter.restore();
}

bool CTelvaneView::TileDragPress(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || !TilePlacement::IsPlaceable(TileCount()))
        return false;
    const int nPos = TileAt(event->position().toPoint());
    if (nPos < 0)
        return false;
    m_handDrag = HandDrag{nPos, -1, event->globalPosition().toPoint(), false};
    return true;
}

bool CTelvaneView::TileDragMove(QMouseEvent *event)
{
    if (m_handDrag.nFromPos < 0)
        return false;
    if (!m_handDrag.bMoving && (event->buttons() & Qt::LeftButton) &&
        FarEnough(m_handDrag.ptStart, event->globalPosition().toPoint())) {
        m_handDrag.bMoving = true;
        setCursor(Qt::ClosedHandCursor);
    }
    if (m_handDrag.bMoving)
        ShowDropTarget(event->globalPosition().toPoint());
    return true;
}

bool CTelvaneView::TileDragRelease(QMouseEvent *event)
{
    if (m_handDrag.nFromPos < 0)
        return false;
    const HandDrag drag = m_handDrag;
    m_handDrag = HandDrag{};
    unsetCursor();
    ShowDropTarget(QPoint());
    const int nTo = TileAt(event->position().toPoint());
    if (drag.bMoving && nTo >= 0 && nTo != drag.nFromPos)
        PlaceByHand(screenplan::WithSwapped(m_plan, drag.nFromPos, nTo));
    return true;
}

bool CTelvaneView::eventFilter(QObject *pWatched, QEvent *pEvent)
{
    int nButton = -1;
    for (int k = 0; k < GlobalChannel::kCount && nButton < 0; ++k)
        if (pWatched == m_apButtons[CTRL_CHANNEL_1 + k])
            nButton = k;
    if (nButton < 0)
        return QWidget::eventFilter(pWatched, pEvent);
    CSkinButton *pButton = m_apButtons[CTRL_CHANNEL_1 + nButton];
    const QEvent::Type type = pEvent->type();

    if (type == QEvent::MouseButtonPress) {
        auto *pMouse = static_cast<QMouseEvent *>(pEvent);
        m_handDrag = HandDrag{};
        if (pMouse->button() == Qt::LeftButton && TilePlacement::IsPlaceable(TileCount()))
            m_handDrag = HandDrag{-1, nButton, pMouse->globalPosition().toPoint(), false};
        return false; // the button shows its press
    }
    if (m_handDrag.nButton != nButton)
        return false;

    const auto startDrag = [&] {
        m_handDrag.bMoving = true;
        pButton->CancelPress();
        pButton->setCursor(Qt::ClosedHandCursor);
    };
    if (type == QEvent::MouseMove) {
        auto *pMouse = static_cast<QMouseEvent *>(pEvent);
        if (!(pMouse->buttons() & Qt::LeftButton)) {
            // The release went elsewhere (the window lost the pointer): no drag.
            if (m_handDrag.bMoving) {
                pButton->unsetCursor();
                ShowDropTarget(QPoint());
            }
            m_handDrag = HandDrag{};
            return false;
        }
        if (!m_handDrag.bMoving && pButton->rect().contains(pMouse->position().toPoint()) &&
            !FarEnough(m_handDrag.ptStart, pMouse->globalPosition().toPoint()))
            return false;
        if (!m_handDrag.bMoving)
            startDrag();
        ShowDropTarget(pMouse->globalPosition().toPoint());
        return true;
    }
    if (type == QEvent::Leave) {
        if (!m_handDrag.bMoving && pButton->IsPressPending())
            startDrag();
        return m_handDrag.bMoving;
    }
    if (type == QEvent::MouseButtonRelease) {
        auto *pMouse = static_cast<QMouseEvent *>(pEvent);
        const bool bMoving = m_handDrag.bMoving;
        m_handDrag = HandDrag{};
        if (!bMoving || pMouse->button() != Qt::LeftButton)
            return false; // a click: the button completes it
        pButton->unsetCursor();
        ShowDropTarget(QPoint());
        const int nPos = TileAt(mapFromGlobal(pMouse->globalPosition().toPoint()));
        if (nPos < 0)
            OnChannelButton(nButton);
        else if (m_pRecorders && screenplan::IsLatchable(nButton, m_pRecorders->Recorders()))
            PlaceByHand(screenplan::WithChannelAt(m_plan, nPos, GlobalChannel::FromIndex(nButton)));
        else
            Beep();
        return true;
    }
    return false;
}
