#pragma once

// Palette and drawing primitives shared by the background and the button artwork.

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPainterPath>
#include <QPoint>
#include <QRectF>
#include <QString>

class QPainter;

namespace skin {

// Dark console palette.
inline const QColor kBaseTop(0x23, 0x29, 0x30);
inline const QColor kBaseBottom(0x15, 0x19, 0x1e);
inline const QColor kPanel(0x1d, 0x22, 0x28); // flat sub-panels (buttons sit on these)
inline const QColor kWell(0x05, 0x06, 0x07);  // recessed black wells
inline const QColor kEdgeLight(0x3d, 0x46, 0x51);
inline const QColor kEdgeDark(0x08, 0x0a, 0x0c);
inline const QColor kText(0xd8, 0xde, 0xe5);
inline const QColor kCaption(0x8e, 0xa6, 0xbe);
inline const QColor kAmber(0xff, 0xb0, 0x30);
inline const QColor kGreen(0x48, 0xe8, 0x7c);
inline const QColor kCyan(0x5c, 0xdc, 0xff);
inline const QColor kRed(0xf0, 0x4a, 0x3c);

enum class Face {
    Raised, // released key, dark metal
    Sunken, // momentary key held down
    Lit,    // latched key, backlit amber
};

// "Tahoma" when available (loaded from the wine fonts folder), else a bold sans.
void LoadFonts();
QFont UiFont(int nPixelSize, bool bBold = true);

// Face of a key of any shape, with outline and bevel.
void PaintKey(QPainter &p, const QPainterPath &shape, Face face);
QPainterPath RoundedRect(const QRectF &rc, qreal r);

// Raised flat panel with a one-pixel bevel; inset well (black) with a sunken bevel.
void PaintPanel(QPainter &p, const QRect &rc, int nRadius = 4);
void PaintWell(QPainter &p, const QRect &rc, const QColor &fill = kWell);

// Text with a one-pixel shadow (or emboss on lit faces).
enum class Align { Left, Center, Right };
void PaintText(QPainter &p, const QRectF &rc, const QString &text, const QFont &font,
               const QColor &color, Align align = Align::Center, bool bEmboss = false);

// A soft glow: concentric translucent fills of a path.
void PaintGlow(QPainter &p, const QPainterPath &path, const QColor &color, int nRadius);

// Brushed-metal window base with its three-pixel edge, over rc.
void PaintBase(QPainter &p, const QRect &rc);

// A numbered channel key: raised, or lit amber when latched.
void PaintChannelKey(QPainter &p, const QSize &size, int nChannel, bool bLatched);

// Small Phillips screw head for panel corners.
void PaintScrew(QPainter &p, QPointF c);

} // namespace skin
