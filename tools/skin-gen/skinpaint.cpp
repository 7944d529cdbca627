#include "skinpaint.h"

#include <QFile>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPathStroker>
#include <QRadialGradient>

#include <cmath>

namespace skin {

namespace {
QString g_family;
}

void LoadFonts()
{
    const char *apszFiles[] = {"/usr/share/wine/fonts/tahoma.ttf",
                               "/usr/share/wine/fonts/tahomabd.ttf"};
    for (const char *pszFile : apszFiles) {
        if (!QFile::exists(pszFile))
            continue;
        const int nFont = QFontDatabase::addApplicationFont(pszFile);
        const QStringList families = QFontDatabase::applicationFontFamilies(nFont);
        if (!families.isEmpty())
            g_family = families.first();
    }
    if (QFontDatabase::families().contains(QStringLiteral("Tahoma")))
        g_family = QStringLiteral("Tahoma");
}

QFont UiFont(int nPixelSize, bool bBold)
{
    QFont font(g_family.isEmpty() ? QStringLiteral("DejaVu Sans") : g_family);
    if (g_family.isEmpty())
        font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(nPixelSize);
    font.setBold(bBold);
    font.setHintingPreference(QFont::PreferFullHinting);
    return font;
}

QPainterPath RoundedRect(const QRectF &rc, qreal r)
{
    QPainterPath path;
    path.addRoundedRect(rc, r, r);
    return path;
}

void PaintKey(QPainter &p, const QPainterPath &shape, Face face)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing, true);
    const QRectF box = shape.boundingRect();
    QLinearGradient fill(box.topLeft(), box.bottomLeft());
    QColor outline = kEdgeDark;
    QColor highlight(255, 255, 255, 60);
    QColor lowlight(0, 0, 0, 0);
    switch (face) {
    case Face::Raised:
        fill.setColorAt(0.0, QColor(0x56, 0x60, 0x6c));
        fill.setColorAt(0.45, QColor(0x3a, 0x42, 0x4c));
        fill.setColorAt(1.0, QColor(0x24, 0x29, 0x30));
        break;
    case Face::Sunken:
        fill.setColorAt(0.0, QColor(0x12, 0x15, 0x19));
        fill.setColorAt(1.0, QColor(0x27, 0x2d, 0x34));
        highlight = QColor(0, 0, 0, 140);
        lowlight = QColor(255, 255, 255, 25);
        break;
    case Face::Lit:
        fill.setColorAt(0.0, QColor(0xff, 0xd8, 0x86));
        fill.setColorAt(0.5, QColor(0xff, 0xae, 0x2a));
        fill.setColorAt(1.0, QColor(0xc8, 0x6c, 0x00));
        outline = QColor(0x2e, 0x18, 0x00);
        highlight = QColor(255, 255, 255, 120);
        break;
    }
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawPath(shape);

    // Bevel: a light (or dark, when sunken) edge along the top of the inner rim.
    QPainterPathStroker stroker;
    stroker.setWidth(2.0);
    const QPainterPath rim = stroker.createStroke(shape).intersected(shape);
    QLinearGradient bevel(box.topLeft(), box.bottomLeft());
    bevel.setColorAt(0.0, highlight);
    bevel.setColorAt(0.5, QColor(highlight.red(), highlight.green(), highlight.blue(), 0));
    bevel.setColorAt(0.51, QColor(lowlight.red(), lowlight.green(), lowlight.blue(), 0));
    bevel.setColorAt(1.0, lowlight);
    p.setBrush(bevel);
    p.drawPath(rim);

    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(outline, 1.0));
    p.drawPath(shape);
    p.restore();
}

void PaintPanel(QPainter &p, const QRect &rc, int nRadius)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing, true);
    const QRectF r = QRectF(rc).adjusted(0.5, 0.5, -0.5, -0.5);
    p.setPen(QPen(kEdgeDark, 1.0));
    p.setBrush(kPanel);
    p.drawRoundedRect(r, nRadius, nRadius);
    // Top-left light edge inside the dark outline.
    QPainterPath inner;
    inner.addRoundedRect(r.adjusted(1, 1, -1, -1), nRadius - 1, nRadius - 1);
    QLinearGradient edge(r.topLeft(), r.bottomRight());
    edge.setColorAt(0.0, kEdgeLight);
    edge.setColorAt(0.6, QColor(kEdgeLight.red(), kEdgeLight.green(), kEdgeLight.blue(), 40));
    edge.setColorAt(1.0, QColor(0, 0, 0, 60));
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QBrush(edge), 1.0));
    p.drawPath(inner);
    p.restore();
}

void PaintWell(QPainter &p, const QRect &rc, const QColor &fill)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    // Sunken frame: dark top-left, light bottom-right, then the fill.
    p.setPen(QColor(0x0a, 0x0c, 0x0e));
    p.drawLine(rc.topLeft(), rc.topRight());
    p.drawLine(rc.topLeft(), rc.bottomLeft());
    p.setPen(kEdgeLight);
    p.drawLine(rc.bottomLeft(), rc.bottomRight());
    p.drawLine(rc.topRight(), rc.bottomRight());
    p.fillRect(rc.adjusted(1, 1, -1, -1), fill);
    p.restore();
}

void PaintText(QPainter &p, const QRectF &rc, const QString &text, const QFont &font,
               const QColor &color, Align align, bool bEmboss)
{
    // Glyph outlines, filled and lightly stroked: the available bold face is light at
    // small sizes, and the stroke gives the labels the weight of a console's legends.
    const QFontMetricsF metrics(font);
    const qreal w = metrics.horizontalAdvance(text);
    qreal x = rc.left() + (rc.width() - w) / 2;
    if (align == Align::Left)
        x = rc.left();
    else if (align == Align::Right)
        x = rc.right() - w;
    const qreal baseline =
        std::round(rc.top() + (rc.height() + metrics.ascent() - metrics.descent()) / 2);
    QPainterPath path;
    path.addText(QPointF(std::round(x), baseline), font, text);
    const qreal stroke = font.pixelSize() >= 11 ? 0.55 : 0.35;

    p.save();
    p.setRenderHint(QPainter::Antialiasing, true);
    const QColor shadow = bEmboss ? QColor(255, 255, 255, 90) : QColor(0, 0, 0, 190);
    p.setPen(QPen(shadow, stroke));
    p.setBrush(shadow);
    p.drawPath(path.translated(0, 1));
    p.setPen(QPen(color, stroke));
    p.setBrush(color);
    p.drawPath(path);
    p.restore();
}

void PaintGlow(QPainter &p, const QPainterPath &path, const QColor &color, int nRadius)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing, true);
    for (int i = nRadius; i >= 1; --i) {
        QPainterPathStroker stroker;
        stroker.setWidth(2.0 * i);
        stroker.setJoinStyle(Qt::RoundJoin);
        QColor c = color;
        c.setAlpha(18);
        p.setPen(Qt::NoPen);
        p.setBrush(c);
        p.drawPath(stroker.createStroke(path).united(path));
    }
    p.restore();
}

void PaintScrew(QPainter &p, QPointF c)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing, true);
    QRadialGradient head(c - QPointF(1, 1), 4.0);
    head.setColorAt(0.0, QColor(0x7a, 0x84, 0x90));
    head.setColorAt(1.0, QColor(0x2a, 0x30, 0x36));
    p.setPen(QPen(kEdgeDark, 0.8));
    p.setBrush(head);
    p.drawEllipse(c, 3.2, 3.2);
    p.setPen(QPen(QColor(0x14, 0x17, 0x1b), 1.0));
    p.drawLine(c + QPointF(-1.8, -1.8), c + QPointF(1.8, 1.8));
    p.drawLine(c + QPointF(-1.8, 1.8), c + QPointF(1.8, -1.8));
    p.restore();
}

} // namespace skin
