#include "ui/picture/tilezoom.h"

#include "ui/picture/picturecanvas.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleHints>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace {

// The centre of a view 1/dFactor of the crop wide, kept inside the crop.
double ClampCentre(double dCentre, double dFactor)
{
    const double dHalf = 0.5 / dFactor;
    return std::clamp(dCentre, dHalf, 1.0 - dHalf);
}

// The new centre that keeps the crop fraction under the pointer (dAt: the pointer's
// fraction of the tile) in place from factor f to g.
double KeptCentre(double dCentre, double dAt, double f, double g)
{
    const double dUnder = dCentre - 0.5 / f + dAt / f;
    return ClampCentre(dUnder - dAt / g + 0.5 / g, g);
}

// Where in the crop (in pixels) the view of nShown pixels starts.
int SourceStart(double dCentre, double dFactor, int nCrop, int nShown)
{
    const int nStart = int(std::lround((dCentre - 0.5 / dFactor) * nCrop));
    return std::clamp(nStart, 0, nCrop - nShown);
}

} // namespace

double ZoomFactor(int nSteps)
{
    nSteps = std::clamp(nSteps, 0, TileZoom::kMaxSteps);
    return std::min(std::pow(TileZoom::kStep, nSteps), TileZoom::kMaxFactor);
}

double TileZoom::Factor() const
{
    return ZoomFactor(nSteps);
}

TileZoom TileZoom::Wheeled(int nDelta, const QPointF &ptInTile, const QSizeF &sizeTile) const
{
    TileZoom out;
    out.nSteps = std::clamp(nSteps + nDelta, 0, kMaxSteps);
    if (!out.IsZoomed())
        return TileZoom{};
    if (sizeTile.isEmpty())
        return *this;
    const double f = Factor(), g = out.Factor();
    out.dCentreX = KeptCentre(dCentreX, ptInTile.x() / sizeTile.width(), f, g);
    out.dCentreY = KeptCentre(dCentreY, ptInTile.y() / sizeTile.height(), f, g);
    return out;
}

TileZoom TileZoom::Panned(const QPointF &delta, const QSizeF &sizeTile) const
{
    if (!IsZoomed() || sizeTile.isEmpty())
        return *this;
    const double f = Factor();
    TileZoom out = *this;
    out.dCentreX = ClampCentre(dCentreX - delta.x() / (sizeTile.width() * f), f);
    out.dCentreY = ClampCentre(dCentreY - delta.y() / (sizeTile.height() * f), f);
    return out;
}

QRect TileZoom::Source(const QRect &crop) const
{
    if (!IsZoomed() || crop.isEmpty())
        return crop;
    const double f = Factor();
    const int w = std::max(1, int(std::lround(crop.width() / f)));
    const int h = std::max(1, int(std::lround(crop.height() / f)));
    return QRect(crop.left() + SourceStart(dCentreX, f, crop.width(), w),
                 crop.top() + SourceStart(dCentreY, f, crop.height(), h), w, h);
}

QString ZoomMarkText(double dFactor)
{
    return QStringLiteral("\u00D7") + QString::number(dFactor, 'f', 1);
}

void PaintZoomMarks(const CPictureCanvas &canvas, QPainter &painter, const QRegion &region,
                    const QRect *arcTiles, int nTiles, const QFont &font)
{
    for (int nSlot = 0; nSlot < nTiles; ++nSlot) {
        const QRect &tile = arcTiles[nSlot];
        if (tile.isEmpty() || !region.intersects(tile) || canvas.ShownSlot(tile) != nSlot)
            continue;
        const TileZoom zoom = canvas.ZoomOf(tile, nSlot);
        if (!zoom.IsZoomed())
            continue;
        const QString text = ZoomMarkText(zoom.Factor());
        const QFontMetrics fm(font);
        const QSize size(fm.horizontalAdvance(text) + 8, fm.height() + 2);
        const QRect mark(tile.right() - 2 - size.width(), tile.top() + 3, size.width(),
                         size.height());
        painter.save();
        painter.setClipRect(tile, Qt::IntersectClip);
        painter.fillRect(mark, Qt::black);
        painter.setPen(Qt::white);
        painter.setFont(font);
        painter.drawText(mark, Qt::AlignCenter | Qt::TextSingleLine, text);
        painter.restore();
    }
}

// ---- the mouse ---------------------------------------------------------------------------

void CTileZoomMouse::Set(CPictureCanvas &canvas, const QRect &rcTile, int nSlot,
                         const TileZoom &zoom)
{
    if (canvas.ZoomOf(rcTile, nSlot) == zoom)
        return;
    canvas.SetZoom(rcTile, nSlot, zoom);
    if (fnZoomed)
        fnZoomed(rcTile);
}

bool CTileZoomMouse::Wheel(CPictureCanvas &canvas, const QRect &rcTile, const QWheelEvent &event)
{
    const int nSlot = rcTile.isEmpty() ? -1 : canvas.ShownSlot(rcTile);
    if (nSlot < 0 || m_bPressed)
        return false;
    // A wheel of 15-degree notches sends 120 a notch; finer wheels add up to one.
    m_nWheelRest += event.angleDelta().y();
    const int nSteps = m_nWheelRest / 120;
    m_nWheelRest -= nSteps * 120;
    if (nSteps != 0) {
        const TileZoom zoom = canvas.ZoomOf(rcTile, nSlot);
        Set(canvas, rcTile, nSlot,
            zoom.Wheeled(nSteps, event.position() - QPointF(rcTile.topLeft()),
                         QSizeF(rcTile.size())));
    }
    return true;
}

bool CTileZoomMouse::Press(CPictureCanvas &canvas, const QRect &rcTile, const QMouseEvent &event)
{
    const int nSlot = rcTile.isEmpty() ? -1 : canvas.ShownSlot(rcTile);
    if (nSlot < 0 || !canvas.ZoomOf(rcTile, nSlot).IsZoomed())
        return false; // an unzoomed tile: the window's own press
    if (event.button() == Qt::RightButton) {
        m_bPressed = false;
        Set(canvas, rcTile, nSlot, TileZoom{});
        return true;
    }
    if (event.button() != Qt::LeftButton)
        return false;
    m_bPressed = true;
    m_bPanning = false;
    m_rcPressTile = rcTile;
    m_nPressSlot = nSlot;
    m_ptPress = event.position();
    m_zoomAtPress = canvas.ZoomOf(rcTile, nSlot);
    return true;
}

bool CTileZoomMouse::Move(CPictureCanvas &canvas, const QMouseEvent &event)
{
    if (!m_bPressed)
        return false;
    if (!(event.buttons() & Qt::LeftButton)) {
        m_bPressed = false; // the release went elsewhere
        return false;
    }
    const QPointF delta = event.position() - m_ptPress;
    // Until it moves the drag distance (the one QApplication uses) it is a click.
    if (!m_bPanning &&
        delta.manhattanLength() < QGuiApplication::styleHints()->startDragDistance())
        return true;
    m_bPanning = true;
    // The tile may have been taken over meanwhile (a new layout): the pan ends.
    if (canvas.ShownSlot(m_rcPressTile) != m_nPressSlot) {
        m_bPressed = false;
        return true;
    }
    Set(canvas, m_rcPressTile, m_nPressSlot,
        m_zoomAtPress.Panned(delta, QSizeF(m_rcPressTile.size())));
    return true;
}

bool CTileZoomMouse::Release(const QMouseEvent &event)
{
    if (!m_bPressed || event.button() != Qt::LeftButton)
        return false;
    m_bPressed = false;
    return true;
}
