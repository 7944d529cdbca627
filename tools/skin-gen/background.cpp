// The main view's background (877 x 685): picture bezel, right-hand column with the
// clock and status wells, receive lamp socket, system buttons, PTZ pad, and the lower
// deck with brand, link buttons, screen modes and channels. Captions of buttons that
// share one bitmap are printed here, beside the buttons.

#include "mainlayout.h"
#include "skinpaint.h"
#include "ui/controls/skinids.h"

#include <QLinearGradient>
#include <QPainter>
#include <QRadialGradient>
#include <QRandomGenerator>

namespace skin {

void PaintBase(QPainter &p, const QRect &rc)
{
    QLinearGradient base(rc.topLeft(), rc.bottomLeft());
    base.setColorAt(0.0, kBaseTop);
    base.setColorAt(1.0, kBaseBottom);
    p.fillRect(rc, base);
    // Brushed metal: faint horizontal streaks, reproducible.
    QRandomGenerator rng(0x7e1a);
    for (int y = rc.top(); y <= rc.bottom(); ++y) {
        const int nAlpha = static_cast<int>(rng.bounded(9));
        const bool bLight = rng.bounded(2) == 0;
        p.setPen(QColor(bLight ? 255 : 0, bLight ? 255 : 0, bLight ? 255 : 0, nAlpha));
        const int x0 = rc.left() + static_cast<int>(rng.bounded(200));
        p.drawLine(x0, y, rc.right() - static_cast<int>(rng.bounded(200)), y);
    }
    // Window edge: light top-left, dark bottom-right, three pixels.
    for (int i = 0; i < 3; ++i) {
        p.setPen(i == 1 ? QColor(0x4a, 0x54, 0x60) : kEdgeDark);
        p.drawLine(rc.left() + i, rc.top() + i, rc.right() - i, rc.top() + i);
        p.drawLine(rc.left() + i, rc.top() + i, rc.left() + i, rc.bottom() - i);
        p.setPen(i == 1 ? QColor(0x0e, 0x11, 0x14) : kEdgeDark);
        p.drawLine(rc.left() + i, rc.bottom() - i, rc.right() - i, rc.bottom() - i);
        p.drawLine(rc.right() - i, rc.top() + i, rc.right() - i, rc.bottom() - i);
    }
}

namespace {

void PaintCaption(QPainter &p, const QRect &rc, const QString &text, Align align,
                  const QColor &color = kCaption, int nSize = 9)
{
    PaintText(p, rc, text, UiFont(nSize), color, align);
}

void PaintPictureBezel(QPainter &p)
{
    PaintPanel(p, QRect(50, 10, 664, 506), 6);
    PaintWell(p, QRect(58, 18, 648, 490), QColor(0, 0, 0));
    PaintCaption(p, QRect(62, 520, 200, 12), QStringLiteral("LIVE MONITORING"), Align::Left);
    PaintCaption(p, QRect(560, 520, 142, 12), QStringLiteral("640 x 480  /  16 CHANNEL"),
                 Align::Right);
    PaintScrew(p, QPointF(27.5, 27.5));
    PaintScrew(p, QPointF(27.5, 497.5));
}

void PaintRightColumn(QPainter &p)
{
    // Exit sits on the header panel.
    PaintPanel(p, QRect(718, 8, 153, 38));

    PaintPanel(p, QRect(718, 50, 153, 166));
    PaintCaption(p, QRect(736, 52, 110, 11), QStringLiteral("DATE / TIME"), Align::Left);
    PaintWell(p, QRect(734, 64, 113, 71));
    PaintCaption(p, QRect(736, 141, 110, 11), QStringLiteral("LINK STATUS"), Align::Left);
    PaintWell(p, QRect(734, 154, 113, 56));

    // Receive lamp socket and its caption.
    PaintPanel(p, QRect(718, 220, 153, 64));
    p.save();
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(QPen(QColor(0x4a, 0x54, 0x60), 1.0));
    p.setBrush(QColor(0x0b, 0x0d, 0x10));
    p.drawEllipse(QPointF(760.0, 250.0), 22.5, 22.5);
    p.restore();
    PaintText(p, QRect(790, 237, 76, 13), QStringLiteral("RECEIVE"), UiFont(11), kText,
              Align::Left);
    PaintCaption(p, QRect(790, 252, 76, 11), QStringLiteral("PICTURE DATA"), Align::Left);

    // Circular monitoring, Setting and Archive share one small bitmap: captions here.
    PaintPanel(p, QRect(718, 296, 153, 66));
    const struct {
        int y;
        const char *pszText;
    } aRow[] = {{312, "CIRCULAR"}, {329, "SETTING"}, {345, "ARCHIVE"}};
    for (const auto &row : aRow) {
        PaintText(p, QRect(722, row.y - 1, 80, 13), QString::fromLatin1(row.pszText), UiFont(10),
                  kText, Align::Right);
    }
}

} // namespace

QPainterPath PadKey(const QRect &rcButton)
{
    QPainterPath ring;
    ring.addEllipse(kPadCentre, kPadOuter, kPadOuter);
    QPainterPath hub;
    hub.addEllipse(kPadCentre, kPadInner, kPadInner);
    QPainterPath clip;
    clip.addRect(QRectF(rcButton).adjusted(1, 1, -1, -1));
    return ring.subtracted(hub).intersected(clip);
}

namespace {

void PaintPtzPanel(QPainter &p)
{
    PaintPanel(p, QRect(718, 366, 154, 212));
    PaintCaption(p, QRect(737, 372, 50, 12), QStringLiteral("ZOOM"), Align::Center, kText);
    PaintCaption(p, QRect(813, 372, 49, 12), QStringLiteral("FOCUS"), Align::Center, kText);
    PaintCaption(p, QRect(787, 389, 26, 12), QStringLiteral("PTZ"), Align::Center);
    PaintCaption(p, QRect(737, 415, 121, 11), QStringLiteral("PAN / TILT"), Align::Center);

    // The pad: a bezel disc with a dark well, four raised keys and a hub.
    p.save();
    p.setRenderHint(QPainter::Antialiasing, true);
    QLinearGradient bezel(kPadCentre - QPointF(0, 63), kPadCentre + QPointF(0, 63));
    bezel.setColorAt(0.0, QColor(0x5a, 0x64, 0x70));
    bezel.setColorAt(1.0, QColor(0x15, 0x19, 0x1d));
    p.setPen(QPen(kEdgeDark, 1.0));
    p.setBrush(bezel);
    p.drawEllipse(kPadCentre, 63.0, 63.0);
    p.setBrush(QColor(0x0a, 0x0c, 0x0f));
    p.drawEllipse(kPadCentre, 61.0, 61.0);
    p.restore();
    for (int nAction : {0, 2, 4, 6}) {
        const int nId = kPtzNormalId[nAction];
        PaintKey(p, PadKey(QRect(PlacementOf(nId), RoleSize(nId))), Face::Raised);
    }
    PaintKey(p, RoundedRect(QRectF(kPadHub).adjusted(0.5, 0.5, -0.5, -0.5), 9), Face::Raised);
    PaintText(p, QRect(kPadHub.left(), 477, kPadHub.width(), 12), QStringLiteral("SPEED"),
              UiFont(9), kCaption);
    PaintWell(p, kSpeedText.adjusted(-3, -3, 3, 3));

    PaintCaption(p, QRect(719, 560, 31, 11), QStringLiteral("SPD"), Align::Center);
    PaintCaption(p, QRect(844, 560, 31, 11), QStringLiteral("SPD"), Align::Center);
}

void PaintBrand(QPainter &p)
{
    // Double-clicking here opens the About box.
    PaintPanel(p, QRect(14, 562, 136, 114), 6);
    p.save();
    p.setRenderHint(QPainter::Antialiasing, true);
    // Camera-lens emblem.
    const QPointF c(82.0, 588.0);
    QRadialGradient lens(c - QPointF(3, 3), 14.0);
    lens.setColorAt(0.0, QColor(0x6c, 0xc8, 0xff));
    lens.setColorAt(0.35, QColor(0x1a, 0x4a, 0x78));
    lens.setColorAt(1.0, QColor(0x04, 0x08, 0x10));
    p.setPen(QPen(QColor(0x8a, 0x96, 0xa4), 2.0));
    p.setBrush(lens);
    p.drawEllipse(c, 12.0, 12.0);
    p.setPen(QPen(kAmber, 1.2));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(c, 15.5, 15.5);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 170));
    p.drawEllipse(c - QPointF(4, 4), 2.5, 2.0);
    p.restore();
    PaintText(p, QRect(16, 608, 132, 24), QStringLiteral("TELVANE"), UiFont(21), kText);
    p.fillRect(QRect(34, 634, 96, 1), kAmber);
    PaintCaption(p, QRect(16, 639, 132, 12), QStringLiteral("NETWORK DVR CLIENT"), Align::Center);
    PaintCaption(p, QRect(16, 653, 132, 12), QStringLiteral("4 CHANNEL LIVE / PTZ"), Align::Center,
                 QColor(0x66, 0x74, 0x82), 9);
}

void PaintLinkPanel(QPainter &p)
{
    // Connect and Disconnect share one bitmap: captions left of them.
    PaintPanel(p, QRect(154, 562, 114, 104));
    PaintCaption(p, QRect(161, 567, 100, 11), QStringLiteral("LINK"), Align::Left);
    PaintText(p, QRect(156, 584, 68, 13), QStringLiteral("CONNECT"), UiFont(10), kText,
              Align::Right);
    PaintText(p, QRect(156, 634, 68, 13), QStringLiteral("DISCONNECT"), UiFont(10), kText,
              Align::Right);
}

void PaintDeck(QPainter &p)
{
    PaintPanel(p, QRect(272, 586, 599, 90));
    PaintText(p, QRect(276, 604, 87, 13), QStringLiteral("SCREEN"), UiFont(10), kText,
              Align::Right);
    PaintCaption(p, QRect(311, 627, 80, 11), QStringLiteral("CHANNEL"), Align::Left);
    // Engraved maker's mark on the free end of the deck.
    PaintText(p, QRect(776, 606, 88, 16), QStringLiteral("TELVANE"), UiFont(13),
              QColor(0x4a, 0x55, 0x60));
    PaintCaption(p, QRect(776, 624, 88, 11), QStringLiteral("DVR CLIENT 4"), Align::Center,
                 QColor(0x4a, 0x55, 0x60));
    PaintScrew(p, QPointF(858.5, 663.5));
    PaintScrew(p, QPointF(784.5, 663.5));
}

} // namespace

QImage DrawMainBackground()
{
    QImage image(877, 685, QImage::Format_RGB32);
    QPainter p(&image);
    PaintBase(p, image.rect());
    PaintPictureBezel(p);
    PaintRightColumn(p);
    PaintPtzPanel(p);
    PaintBrand(p);
    PaintLinkPanel(p);
    PaintDeck(p);
    return image;
}

} // namespace skin
