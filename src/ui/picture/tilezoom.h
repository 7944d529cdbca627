#pragma once
// TileZoom: the digital zoom of one tile, and CTileZoomMouse: the mouse gestures
// both picture windows share for it.
//
// Theory of operation. A zoomed tile shows a part of its picture's crop, 1/factor of
// it each way, stretched into the whole tile: a smaller source rectangle for the
// canvas's stretch, read from the picture as received, not from the tile's pixels.
// The factor is 1.25 to the power of the wheel steps taken, from 1x to 8x (the last
// step clamped to 8x). Where the view stands is kept as its centre in fractions of
// the crop, so a crop that moves a little between pictures (the width flag) does
// not move it; the view never reaches outside the crop. The wheel zooms about the
// pointer: the picture point under it stays under it. A drag with the left button
// pans a zoomed tile; a press that moves less than the platform's drag distance
// stays a click. The right button resets the tile to 1x. The zoom itself is the
// canvas's, per tile (CPictureCanvas::SetZoom); the windows say which tile is under
// the pointer and what a changed zoom means beyond its repaint (the live view asks
// for pictures decoded at the size the tile now draws at).

#include <QPointF>
#include <QRect>
#include <QSizeF>
#include <QString>

#include <functional>

class CPictureCanvas;
class QFont;
class QMouseEvent;
class QPainter;
class QRegion;
class QWheelEvent;

struct TileZoom {
    static constexpr double kStep = 1.25;
    static constexpr double kMaxFactor = 8.0;
    static constexpr int kMaxSteps = 10; // 1.25^10 > 8: the last step stops at 8x

    int nSteps = 0;           // wheel steps in, 0 = 1x
    double dCentreX = 0.5;    // the centre of the view, in fractions of the crop
    double dCentreY = 0.5;

    bool IsZoomed() const { return nSteps > 0; }
    double Factor() const;
    // nDelta more wheel steps (in > 0, out < 0) with the pointer at ptInTile of a
    // tile of sizeTile: the picture point under the pointer stays where it is.
    // Back at 1x the zoom is the plain one.
    TileZoom Wheeled(int nDelta, const QPointF &ptInTile, const QSizeF &sizeTile) const;
    // The picture dragged by delta pixels of a tile of sizeTile, as far as the crop
    // allows.
    TileZoom Panned(const QPointF &delta, const QSizeF &sizeTile) const;
    // The part of crop shown: crop itself at 1x.
    QRect Source(const QRect &crop) const;

    bool operator==(const TileZoom &o) const
    {
        return nSteps == o.nSteps && dCentreX == o.dCentreX && dCentreY == o.dCentreY;
    }
    bool operator!=(const TileZoom &o) const { return !(*this == o); }
};

// The factor after nSteps wheel steps in: 1.25^nSteps, within 1x .. 8x.
double ZoomFactor(int nSteps);
// "×2.4": the mark a zoomed tile carries.
QString ZoomMarkText(double dFactor);
// The marks of the zoomed tiles among arcTiles (slot i shown in arcTiles[i]) inside
// region, in each tile's top right corner, over the canvas's pictures.
void PaintZoomMarks(const CPictureCanvas &canvas, QPainter &painter, const QRegion &region,
                    const QRect *arcTiles, int nTiles, const QFont &font);

class CTileZoomMouse {
  public:
    // Told of every change of a tile's zoom, after the canvas has it.
    std::function<void(const QRect &rcTile)> fnZoomed;

    // Each takes the event, or not (false: the window handles it as it would
    // without a zoom). rcTile: the tile under the pointer, empty for none; tiles
    // that show no picture are left alone.
    bool Wheel(CPictureCanvas &canvas, const QRect &rcTile, const QWheelEvent &event);
    bool Press(CPictureCanvas &canvas, const QRect &rcTile, const QMouseEvent &event);
    bool Move(CPictureCanvas &canvas, const QMouseEvent &event);
    bool Release(const QMouseEvent &event);

  private:
    void Set(CPictureCanvas &canvas, const QRect &rcTile, int nSlot, const TileZoom &zoom);

    int m_nWheelRest = 0; // eighths of a degree not yet a whole step
    // The left button's press on a zoomed tile, while it is held.
    bool m_bPressed = false;
    bool m_bPanning = false; // it moved past the drag distance
    QRect m_rcPressTile;
    int m_nPressSlot = -1;
    QPointF m_ptPress;
    TileZoom m_zoomAtPress;
};
