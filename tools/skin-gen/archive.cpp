// The archive window's background and buttons, in the finish of the main view: brushed
// base, raised panels, black wells, dark keys that light amber when latched.

#include "archivelayout.h"
#include "skinpaint.h"
#include "ui/controls/skinids.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPolygonF>
#include <QRadialGradient>

#include <vector>

namespace skin {

namespace {

struct Placement {
    int nId;
    QPoint pos;
};

const std::vector<Placement> &ArchivePlacements()
{
    static const std::vector<Placement> placements = [] {
        std::vector<Placement> v = {
            {IDB_VIEWER_UP, {732, 16}},
            {IDB_SAVE_UP, {808, 574}},
            {IDB_PRINT_UP, {877, 574}},
            {IDB_EVENT_UP, {808, 629}},
            {IDB_RECORD_UP, {877, 629}},
            {IDB_ARCHIVE_RECEIVE_OFF, {730, 200}},
            {IDB_SINGLE_UP, {57, 525}},
            {IDB_QUAD_UP, {86, 525}},
            {IDB_SLIDER_TRACK, {kSliderX, kSliderY}},
        };
        for (int i = 0; i < 5; ++i)
            v.push_back({kPlayUpId[i], {kPlayX[i], 255}});
        for (int j = 0; j < 4; ++j)
            v.push_back({kJumpUpId[j], {kJumpX[j], 306}});
        for (int k = 0; k < 16; ++k)
            v.push_back({ArchiveChannelUpId(k), {kArchiveChannelX[k], 636}});
        // Second images sit where their first ones do.
        const size_t nBase = v.size();
        for (size_t i = 0; i < nBase; ++i) {
            const int nId = v[i].nId;
            if (nId >= IDB_ARCHIVE_CH1_UP && nId < IDB_ARCHIVE_CH1_LATCHED)
                v.push_back({nId + 16, v[i].pos});
            else if (nId != IDB_SLIDER_TRACK)
                v.push_back({nId + 1, v[i].pos});
        }
        return v;
    }();
    return placements;
}

QPoint ArchivePlacementOf(int nId)
{
    for (const Placement &placement : ArchivePlacements())
        if (placement.nId == nId)
            return placement.pos;
    return QPoint(0, 0);
}

QSize SizeOf(int nId)
{
    for (const SkinRole &role : kSkinRoles)
        if (role.nId == nId)
            return QSize(role.nWidth, role.nHeight);
    return QSize();
}

void Caption(QPainter &p, const QRect &rc, const QString &text, Align align = Align::Left)
{
    PaintText(p, rc, text, UiFont(9), kCaption, align);
}

// Thumb left edge of the time slider at seconds s of the day, in window pixels.
int SliderThumbX(int nSeconds)
{
    return kSliderX + 4 + (kSliderWidth - 16) * nSeconds / 86399;
}

void PaintRightColumn(QPainter &p)
{
    PaintPanel(p, QRect(718, 8, 229, 38));
    PaintText(p, QRect(856, 16, 84, 23), QStringLiteral("ARCHIVE"), UiFont(12), kText);

    PaintPanel(p, QRect(718, 50, 229, 106));
    Caption(p, QRect(736, 52, 150, 11), QStringLiteral("RECORDED RANGE"));
    PaintWell(p, QRect(734, 64, 202, 89));

    PaintPanel(p, QRect(718, 160, 229, 84));
    Caption(p, QRect(722, 184, 49, 11), QStringLiteral("DATA"), Align::Center);
    Caption(p, QRect(770, 186, 100, 11), QStringLiteral("NOTICE"));
    p.save();
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(QPen(QColor(0x4a, 0x54, 0x60), 1.0));
    p.setBrush(QColor(0x0b, 0x0d, 0x10));
    p.drawEllipse(QPointF(746.5, 216.5), 18.5, 18.5);
    p.restore();
    PaintWell(p, QRect(767, 201, 107, 38));

    PaintPanel(p, QRect(718, 248, 229, 104));

    PaintPanel(p, QRect(718, 356, 229, 198));
    Caption(p, QRect(726, 361, 150, 11), QStringLiteral("SEARCH DATE"));

    PaintPanel(p, QRect(802, 566, 144, 115));
}

void PaintDeck(QPainter &p)
{
    // Layout selectors under the picture.
    PaintPanel(p, QRect(50, 519, 70, 38));
    Caption(p, QRect(126, 532, 120, 11), QStringLiteral("SINGLE  /  QUAD"));

    PaintPanel(p, QRect(196, 566, 602, 115));
    Caption(p, QRect(206, 571, 200, 11), QStringLiteral("PLAYBACK TIME"));
    // Hour scale above the slider, its marks centred on the thumb's positions.
    for (int h = 0; h <= 24; h += 3) {
        const int x = SliderThumbX(qMin(h * 3600, 86399)) + 2;
        PaintText(p, QRect(x - 12, 587, 24, 11), QString::asprintf("%02d", h), UiFont(9),
                  h % 6 == 0 ? kText : kCaption);
    }
    PaintWell(p, QRect(211, 637, 108, 27)); // the slider time is drawn here
    Caption(p, QRect(342, 622, 120, 11), QStringLiteral("CHANNEL"));

    PaintPanel(p, QRect(14, 566, 178, 115), 6);
    PaintText(p, QRect(16, 586, 174, 26), QStringLiteral("TELVANE"), UiFont(21), kText);
    p.fillRect(QRect(48, 614, 110, 1), kAmber);
    Caption(p, QRect(16, 620, 174, 12), QStringLiteral("ARCHIVE PLAYBACK"), Align::Center);
    PaintScrew(p, QPointF(24.5, 670.5));
    PaintScrew(p, QPointF(181.5, 670.5));
}

QPainterPath KeyShape(const QSize &size, qreal r = 3.0)
{
    return RoundedRect(QRectF(0.5, 0.5, size.width() - 1.0, size.height() - 1.0), r);
}

QPainterPath Triangle(QPointF c, qreal dir, qreal w, qreal h)
{
    QPainterPath path;
    path.addPolygon(QPolygonF({c + QPointF(dir * w / 2, 0), c + QPointF(-dir * w / 2, -h / 2),
                               c + QPointF(-dir * w / 2, h / 2), c + QPointF(dir * w / 2, 0)}));
    return path;
}

// Icon of play button i or jump button 5 + j, centred at c.
QPainterPath TransportIcon(int nIcon, QPointF c)
{
    QPainterPath path;
    switch (nIcon) {
    case 0: // fast reverse
        path =
            Triangle(c + QPointF(-4, 0), -1, 9, 12).united(Triangle(c + QPointF(4, 0), -1, 9, 12));
        break;
    case 1:
        path = Triangle(c, -1, 10, 13);
        break;
    case 2:
        path.addRect(QRectF(c.x() - 5, c.y() - 5, 10, 10));
        break;
    case 3:
        path = Triangle(c, 1, 10, 13);
        break;
    case 4:
        path = Triangle(c + QPointF(-4, 0), 1, 9, 12).united(Triangle(c + QPointF(4, 0), 1, 9, 12));
        break;
    case 5: // begin: bar then two triangles
        path.addRect(QRectF(c.x() - 9, c.y() - 6, 2, 12));
        path = path.united(Triangle(c + QPointF(-2, 0), -1, 8, 12))
                   .united(Triangle(c + QPointF(5, 0), -1, 8, 12));
        break;
    case 8: // end
        path.addRect(QRectF(c.x() + 7, c.y() - 6, 2, 12));
        path = path.united(Triangle(c + QPointF(2, 0), 1, 8, 12))
                   .united(Triangle(c + QPointF(-5, 0), 1, 8, 12));
        break;
    }
    return path;
}

void DrawTransport(QPainter &p, const QSize &size, int nIcon, Face face)
{
    PaintKey(p, KeyShape(size, 4), face);
    const bool bLit = face == Face::Lit;
    const QPointF shift = face == Face::Sunken ? QPointF(1, 1) : QPointF(0, 0);
    const QPointF c = QPointF(size.width() / 2.0, size.height() / 2.0) + shift;
    const QColor ink = bLit ? QColor(0x30, 0x1a, 0x00) : face == Face::Sunken ? kCyan : kText;
    if (nIcon == 6 || nIcon == 7) { // one hour back / on
        PaintText(p, QRectF(0, 7, size.width(), 14).translated(shift),
                  nIcon == 6 ? QStringLiteral("-1H") : QStringLiteral("+1H"), UiFont(11), ink);
        p.save();
        p.setRenderHint(QPainter::Antialiasing, true);
        p.setPen(Qt::NoPen);
        p.setBrush(ink);
        p.drawPath(Triangle(c + QPointF(0, 9), nIcon == 6 ? -1 : 1, 8, 7));
        p.restore();
        return;
    }
    p.save();
    p.setRenderHint(QPainter::Antialiasing, true);
    const QPainterPath icon = TransportIcon(nIcon, c);
    if (face == Face::Sunken)
        PaintGlow(p, icon, kCyan, 2);
    p.setPen(Qt::NoPen);
    p.setBrush(bLit ? QColor(255, 255, 255, 110) : QColor(0, 0, 0, 170));
    p.drawPath(icon.translated(0, 1));
    p.setBrush(ink);
    p.drawPath(icon);
    p.restore();
}

// Save, print, event and record: a legend under a small emblem.
void DrawCommand(QPainter &p, const QSize &size, int nId)
{
    const bool bDown = (nId - IDB_SAVE_UP) % 2 == 1;
    const bool bRecord = nId >= IDB_RECORD_UP;
    PaintKey(p, KeyShape(size, 5), bDown ? Face::Sunken : Face::Raised);
    const QPointF shift = bDown ? QPointF(1, 1) : QPointF(0, 0);
    const QPointF c = QPointF(31, 19) + shift;
    p.save();
    p.setRenderHint(QPainter::Antialiasing, true);
    const QColor ink = bDown ? kCyan : QColor(0xc6, 0xcf, 0xd8);
    p.setPen(QPen(ink, 1.6));
    p.setBrush(Qt::NoBrush);
    QString legend;
    if (nId <= IDB_SAVE_DOWN) { // camera
        legend = QStringLiteral("SAVE");
        p.drawRoundedRect(QRectF(c.x() - 10, c.y() - 6, 20, 13), 2, 2);
        p.drawEllipse(c + QPointF(0, 0.5), 4, 4);
        p.drawLine(c + QPointF(-4, -6), c + QPointF(-2, -9));
        p.drawLine(c + QPointF(-2, -9), c + QPointF(3, -9));
        p.drawLine(c + QPointF(3, -9), c + QPointF(5, -6));
    } else if (nId <= IDB_PRINT_DOWN) { // printer
        legend = QStringLiteral("PRINT");
        p.drawRect(QRectF(c.x() - 6, c.y() - 10, 12, 6));
        p.drawRoundedRect(QRectF(c.x() - 11, c.y() - 4, 22, 9), 2, 2);
        p.drawRect(QRectF(c.x() - 6, c.y() + 2, 12, 6));
    } else if (!bRecord) { // list
        legend = QStringLiteral("EVENT");
        for (int i = 0; i < 3; ++i) {
            p.drawEllipse(c + QPointF(-8, -6 + 6 * i), 1, 1);
            p.drawLine(c + QPointF(-4, -6 + 6 * i), c + QPointF(10, -6 + 6 * i));
        }
    } else { // recording lamp
        legend = QStringLiteral("REC");
        if (bDown) {
            QPainterPath dot;
            dot.addEllipse(c, 6.5, 6.5);
            PaintGlow(p, dot, kRed, 4);
        }
        QRadialGradient lamp(c - QPointF(2, 2), 8);
        lamp.setColorAt(0.0, bDown ? QColor(0xff, 0xc0, 0xb0) : QColor(0xa0, 0x40, 0x38));
        lamp.setColorAt(1.0, bDown ? kRed : QColor(0x50, 0x14, 0x10));
        p.setPen(QPen(kEdgeDark, 1.0));
        p.setBrush(lamp);
        p.drawEllipse(c, 6.5, 6.5);
    }
    p.restore();
    PaintText(p, QRectF(0, 32, size.width(), 14).translated(shift), legend, UiFont(11),
              bRecord && bDown ? QColor(0xff, 0xd2, 0xcc) : kText);
}

void DrawViewer(QPainter &p, const QSize &size, bool bDown)
{
    PaintKey(p, KeyShape(size, 4), bDown ? Face::Sunken : Face::Raised);
    const QPointF shift = bDown ? QPointF(1, 1) : QPointF(0, 0);
    p.save();
    p.setRenderHint(QPainter::Antialiasing, true);
    // A small monitor: back to the live view.
    p.setPen(QPen(bDown ? kCyan : kGreen, 1.4));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(15, 5, 15, 10).translated(shift), 1.5, 1.5);
    p.drawLine(QPointF(19, 18) + shift, QPointF(26, 18) + shift);
    p.restore();
    PaintText(p, QRectF(34, 0, 76, size.height()).translated(shift), QStringLiteral("VIEWER"),
              UiFont(12), bDown ? QColor(0xd8, 0xf6, 0xff) : kText);
}

void DrawLayoutKey(QPainter &p, const QSize &size, bool bQuad, bool bDown)
{
    PaintKey(p, KeyShape(size), bDown ? Face::Lit : Face::Raised);
    const QColor ink = bDown ? QColor(0x3a, 0x20, 0x00) : QColor(0xcf, 0xd6, 0xde);
    const QRect icon(6, 7, size.width() - 12, size.height() - 14);
    p.setPen(ink);
    p.setBrush(Qt::NoBrush);
    p.drawRect(icon.adjusted(0, 0, -1, -1));
    if (bQuad) {
        p.drawLine(icon.center().x(), icon.top(), icon.center().x(), icon.bottom());
        p.drawLine(icon.left(), icon.center().y(), icon.right(), icon.center().y());
    }
}

void DrawSmallLamp(QPainter &p, const QSize &size, bool bOn)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing, true);
    const QPointF c(size.width() / 2.0, size.height() / 2.0);
    QLinearGradient bezel(c - QPointF(0, 16), c + QPointF(0, 16));
    bezel.setColorAt(0.0, QColor(0xa0, 0xaa, 0xb4));
    bezel.setColorAt(1.0, QColor(0x1a, 0x1e, 0x22));
    p.setPen(QPen(kEdgeDark, 1.0));
    p.setBrush(bezel);
    p.drawEllipse(c, 15.5, 15.5);
    QRadialGradient glass(c - QPointF(2, 2), 12.0);
    glass.setColorAt(0.0, bOn ? QColor(0xe8, 0xff, 0xee) : QColor(0x2a, 0x4a, 0x34));
    glass.setColorAt(0.5, bOn ? QColor(0x3c, 0xe8, 0x70) : QColor(0x0c, 0x24, 0x14));
    glass.setColorAt(1.0, bOn ? QColor(0x05, 0x50, 0x20) : QColor(0x04, 0x0e, 0x08));
    p.setBrush(glass);
    p.drawEllipse(c, 12.0, 12.0);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, bOn ? 190 : 70));
    p.drawEllipse(QRectF(c.x() - 7, c.y() - 9, 8, 4));
    p.restore();
}

void DrawTrack(QPainter &p, const QSize &size)
{
    // A black groove along the travel with a tick at every hour, longer every six.
    const int nLeft = 4, nRight = size.width() - 5;
    PaintWell(p, QRect(nLeft - 2, 5, nRight - nLeft + 5, 7));
    for (int h = 0; h <= 24; ++h) {
        const int x = 4 + (size.width() - 16) * qMin(h * 3600, 86399) / 86399 + 2;
        const bool bMajor = h % 6 == 0;
        p.fillRect(QRect(x, bMajor ? 12 : 13, 1, bMajor ? 4 : 2),
                   bMajor ? QColor(0x8e, 0xa6, 0xbe) : QColor(0x4a, 0x55, 0x60));
        p.fillRect(QRect(x, bMajor ? 0 : 2, 1, bMajor ? 4 : 2),
                   bMajor ? QColor(0x8e, 0xa6, 0xbe) : QColor(0x4a, 0x55, 0x60));
    }
}

QImage DrawThumb()
{
    // An amber needle, magenta where the track shows through (the top-left pixel is the
    // key colour); the control is 16 pixels high, so rows 16..25 are never seen.
    const QColor key(255, 0, 255);
    QImage image(4, 26, QImage::Format_RGB32);
    image.fill(key);
    const QColor aColumn[4] = {QColor(0xff, 0xe8, 0xb0), QColor(0xff, 0xb0, 0x30),
                               QColor(0xe0, 0x8a, 0x10), QColor(0x60, 0x30, 0x00)};
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 4; ++x)
            if (!((y == 0 || y == 15) && (x == 0 || x == 3)))
                image.setPixelColor(x, y, aColumn[x]);
    return image;
}

} // namespace

bool IsArchiveRole(int nId)
{
    return nId >= IDB_ARCHIVE_BACKGROUND && nId <= IDB_SLIDER_THUMB;
}

QImage DrawArchiveBackground()
{
    QImage image(1024, 768, QImage::Format_RGB32);
    QPainter p(&image);
    p.fillRect(image.rect(), kBaseBottom);
    PaintBase(p, QRect(0, 0, 951, 684));
    PaintPanel(p, QRect(50, 10, 664, 506), 6);
    PaintWell(p, QRect(58, 18, 648, 490), QColor(0, 0, 0));
    Caption(p, QRect(560, 520, 142, 12), QStringLiteral("640 x 480  /  4 CHANNEL"), Align::Right);
    PaintScrew(p, QPointF(27.5, 27.5));
    PaintScrew(p, QPointF(27.5, 497.5));
    PaintRightColumn(p);
    PaintDeck(p);
    return image;
}

QImage DrawArchiveRole(int nId, const QImage &background)
{
    if (nId == IDB_ARCHIVE_BACKGROUND)
        return background;
    if (nId == IDB_SLIDER_THUMB)
        return DrawThumb();
    const QSize size = SizeOf(nId);
    QImage image = background.copy(QRect(ArchivePlacementOf(nId), size));
    QPainter p(&image);
    if (nId == IDB_VIEWER_UP || nId == IDB_VIEWER_DOWN)
        DrawViewer(p, size, nId == IDB_VIEWER_DOWN);
    else if (nId >= kPlayUpId[0] && nId <= kPlayDownId[4])
        DrawTransport(p, size, (nId - kPlayUpId[0]) / 2,
                      (nId - kPlayUpId[0]) % 2 ? Face::Lit : Face::Raised);
    else if (nId >= kJumpUpId[0] && nId <= kJumpDownId[3])
        DrawTransport(p, size, 5 + (nId - kJumpUpId[0]) / 2,
                      (nId - kJumpUpId[0]) % 2 ? Face::Sunken : Face::Raised);
    else if (nId >= IDB_SAVE_UP && nId <= IDB_RECORD_DOWN)
        DrawCommand(p, size, nId);
    else if (nId == IDB_ARCHIVE_RECEIVE_OFF || nId == IDB_ARCHIVE_RECEIVE_ON)
        DrawSmallLamp(p, size, nId == IDB_ARCHIVE_RECEIVE_ON);
    else if (nId >= IDB_SINGLE_UP && nId <= IDB_QUAD_DOWN)
        DrawLayoutKey(p, size, nId >= IDB_QUAD_UP, (nId - IDB_SINGLE_UP) % 2 == 1);
    else if (nId >= IDB_ARCHIVE_CH1_UP && nId < IDB_ARCHIVE_CH1_LATCHED + 16)
        PaintChannelKey(p, size, (nId - IDB_ARCHIVE_CH1_UP) % 16 + 1,
                        nId >= IDB_ARCHIVE_CH1_LATCHED);
    else if (nId == IDB_SLIDER_TRACK)
        DrawTrack(p, size);
    return image;
}

QImage ArchivePreview(const std::map<int, QImage> &images)
{
    QImage view = images.at(IDB_ARCHIVE_BACKGROUND).copy(0, 0, 951, 684);
    QPainter p(&view);
    auto put = [&](int nId, QPoint pos) { p.drawImage(pos, images.at(nId)); };
    put(IDB_VIEWER_UP, {732, 16});
    for (int i = 0; i < 5; ++i)
        put(i == 3 ? kPlayDownId[i] : kPlayUpId[i], {kPlayX[i], 255});
    for (int j = 0; j < 4; ++j)
        put(j == 1 ? kJumpDownId[j] : kJumpUpId[j], {kJumpX[j], 306});
    put(IDB_SAVE_UP, {808, 574});
    put(IDB_PRINT_DOWN, {877, 574});
    put(IDB_EVENT_UP, {808, 629});
    put(IDB_RECORD_DOWN, {877, 629});
    put(IDB_ARCHIVE_RECEIVE_ON, {730, 200});
    put(IDB_SINGLE_UP, {57, 525});
    put(IDB_QUAD_DOWN, {86, 525});
    for (int k = 0; k < 16; ++k)
        put(k < 4 ? ArchiveChannelLatchedId(k) : ArchiveChannelUpId(k), {kArchiveChannelX[k], 636});
    put(IDB_SLIDER_TRACK, {kSliderX, kSliderY});
    // The thumb at 13:30, its key colour left out as the slider draws it.
    const QImage thumb = images.at(IDB_SLIDER_THUMB);
    const int xThumb = SliderThumbX(13 * 3600 + 1800);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < thumb.width(); ++x)
            if (thumb.pixel(x, y) != thumb.pixel(0, 0))
                view.setPixel(xThumb + x, kSliderY + y, thumb.pixel(x, y));
    // What the window draws itself: the time block, the notice, the slider time.
    QFont small = UiFont(10);
    p.setFont(small);
    p.setPen(QColor(0, 255, 0));
    p.fillRect(QRect(770, 205, 100, 25), Qt::black);
    p.drawText(QRect(770, 205, 100, 25), Qt::AlignCenter, QStringLiteral("SEARCHING"));
    const struct {
        QRect rc;
        const char *psz;
        int nFlags;
    } aText[] = {
        {QRect(740, 69, 180, 10), "START TIME :", Qt::AlignVCenter},
        {QRect(740, 79, 190, 15), "2026/12/01  00:00:00", Qt::AlignCenter},
        {QRect(740, 94, 190, 15), "END TIME :", Qt::AlignVCenter},
        {QRect(740, 109, 190, 15), "2026/12/07  16:20:00", Qt::AlignCenter},
        {QRect(740, 124, 190, 15), "REQUEST TIME :", Qt::AlignVCenter},
        {QRect(740, 139, 190, 10), "2026/12/07  13:30:00", Qt::AlignCenter},
        {QRect(215, 640, 100, 20), "13:30:00", Qt::AlignCenter},
    };
    for (const auto &t : aText)
        p.drawText(t.rc, t.nFlags, QString::fromLatin1(t.psz));
    // Where the calendar goes.
    p.fillRect(QRect(722, 376, 223, 174), QColor(32, 32, 32));
    return view;
}

} // namespace skin
