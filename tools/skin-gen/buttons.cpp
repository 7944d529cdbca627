// The button, lamp and key bitmaps of the main view. Each starts as the piece of the
// background it covers, so its corners blend into the panel around it.

#include "mainlayout.h"
#include "skinpaint.h"
#include "ui/controls/skinids.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPolygonF>
#include <QRadialGradient>

#include <cmath>

namespace skin {

const std::vector<Placement> &MainPlacements()
{
    static const std::vector<Placement> placements = [] {
        std::vector<Placement> v = {
            {IDB_MAIN_BACKGROUND, {0, 0}},   {IDB_EXIT_UP, {735, 16}},
            {IDB_EXIT_DOWN, {735, 16}},      {IDB_SMALL_UP, {807, 312}},
            {IDB_SMALL_DOWN, {807, 312}},    {IDB_RECEIVE_OFF, {740, 230}},
            {IDB_RECEIVE_ON, {740, 230}},    {IDB_LINK_NORMAL, {228, 574}},
            {IDB_LINK_LATCHED, {228, 574}},  {IDB_PTZ_UP, {773, 437}},
            {IDB_PTZ_UPLEFT, {679, 487}},    {IDB_PTZ_LEFT, {737, 471}},
            {IDB_PTZ_DOWNLEFT, {678, 547}},  {IDB_PTZ_DOWN, {773, 521}},
            {IDB_PTZ_DOWNRIGHT, {740, 547}}, {IDB_PTZ_RIGHT, {823, 471}},
            {IDB_PTZ_UPRIGHT, {737, 488}},   {IDB_PTZ_PLUS, {737, 386}},
            {IDB_PTZ_MINUS, {762, 386}},     {IDB_SPEED_UP, {724, 538}},
            {IDB_SPEED_DOWN, {849, 538}},
        };
        // Held images sit where their normal ones do.
        const size_t nBase = v.size();
        for (size_t i = 0; i < nBase; ++i) {
            const int nId = v[i].nId;
            if ((nId >= IDB_PTZ_UP && nId <= IDB_PTZ_UPRIGHT_HELD) || nId == IDB_PTZ_PLUS ||
                nId == IDB_PTZ_MINUS || nId == IDB_SPEED_UP || nId == IDB_SPEED_DOWN)
                v.push_back({nId + 1, v[i].pos});
        }
        for (int i = 0; i < 7; ++i) {
            v.push_back({kScreenNormalId[i], {kScreenX[i], 598}});
            v.push_back({kScreenLatchedId[i], {kScreenX[i], 598}});
        }
        for (int k = 0; k < 16; ++k) {
            v.push_back({kChannelNormalId[k], {kChannelX[k], 640}});
            v.push_back({kChannelLatchedId[k], {kChannelX[k], 640}});
        }
        return v;
    }();
    return placements;
}

QPoint PlacementOf(int nId)
{
    for (const Placement &placement : MainPlacements())
        if (placement.nId == nId)
            return placement.pos;
    return QPoint(0, 0);
}

QSize RoleSize(int nId)
{
    for (const SkinRole &role : kSkinRoles)
        if (role.nId == nId)
            return QSize(role.nWidth, role.nHeight);
    return QSize();
}

namespace {

QPainterPath KeyRect(const QSize &size, qreal r = 3.0)
{
    return RoundedRect(QRectF(0.5, 0.5, size.width() - 1.0, size.height() - 1.0), r);
}

// Triangle pointing along (dx, dy) with its centre at c.
QPainterPath Arrow(QPointF c, qreal dx, qreal dy, qreal length, qreal width)
{
    const qreal n = std::hypot(dx, dy);
    dx /= n;
    dy /= n;
    const QPointF tip = c + QPointF(dx, dy) * (length / 2);
    const QPointF back = c - QPointF(dx, dy) * (length / 2);
    const QPointF side(-dy * width / 2, dx * width / 2);
    QPainterPath path;
    path.addPolygon(QPolygonF({tip, back + side, back - side, tip}));
    path.closeSubpath();
    return path;
}

// An icon or arrow: grey-white on a released key, glowing cyan on a held one.
void PaintSymbol(QPainter &p, const QPainterPath &symbol, bool bHeld)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing, true);
    if (bHeld) {
        PaintGlow(p, symbol, kCyan, 3);
        p.setPen(QPen(QColor(0xd8, 0xf6, 0xff), 0.8));
        p.setBrush(kCyan);
    } else {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0, 0, 0, 170));
        p.drawPath(symbol.translated(0, 1));
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0xc6, 0xcf, 0xd8));
    }
    p.drawPath(symbol);
    p.restore();
}

QPainterPath PlusMinus(QPointF c, bool bPlus, qreal arm = 4.5, qreal thick = 2.0)
{
    QPainterPath path;
    path.addRect(QRectF(c.x() - arm, c.y() - thick / 2, 2 * arm, thick));
    if (bPlus) {
        QPainterPath bar;
        bar.addRect(QRectF(c.x() - thick / 2, c.y() - arm, thick, 2 * arm));
        path = path.united(bar);
    }
    return path;
}

void DrawExit(QPainter &p, const QSize &size, bool bDown)
{
    PaintKey(p, KeyRect(size, 4), bDown ? Face::Sunken : Face::Raised);
    const QPointF shift = bDown ? QPointF(1, 1) : QPointF(0, 0);
    // Power symbol.
    const QPointF c = QPointF(22.5, 11.0) + shift;
    QPainterPath power;
    // Open at the top (90 degrees), where the stem goes.
    power.arcMoveTo(QRectF(c.x() - 5.5, c.y() - 5.5, 11, 11), 125);
    power.arcTo(QRectF(c.x() - 5.5, c.y() - 5.5, 11, 11), 125, 290);
    power.moveTo(c.x(), c.y() - 7.0);
    power.lineTo(c.x(), c.y() - 1.0);
    p.save();
    p.setRenderHint(QPainter::Antialiasing, true);
    QPainterPathStroker stroker;
    stroker.setWidth(2.0);
    stroker.setCapStyle(Qt::RoundCap);
    const QPainterPath icon = stroker.createStroke(power);
    if (bDown)
        PaintGlow(p, icon, kRed, 3);
    p.setPen(Qt::NoPen);
    p.setBrush(bDown ? QColor(0xff, 0x7a, 0x6a) : kRed);
    p.drawPath(icon);
    p.restore();
    PaintText(p, QRectF(30, 0, 70, size.height()).translated(shift), QStringLiteral("EXIT"),
              UiFont(12), bDown ? QColor(0xff, 0xd2, 0xcc) : kText);
}

void DrawSmall(QPainter &p, const QSize &size, bool bDown)
{
    PaintKey(p, RoundedRect(QRectF(0.5, 0.5, size.width() - 1.0, size.height() - 1.0), 5),
             bDown ? Face::Lit : Face::Raised);
    p.save();
    p.setRenderHint(QPainter::Antialiasing, true);
    const QRectF slot(15.5, 3.5, 20, 4);
    p.setPen(QPen(bDown ? QColor(0x5a, 0x30, 0x00) : kEdgeDark, 1.0));
    p.setBrush(bDown ? QColor(0xff, 0xf4, 0xd0) : QColor(0x12, 0x15, 0x18));
    p.drawRoundedRect(slot, 2, 2);
    p.restore();
}

void DrawLamp(QPainter &p, const QSize &size, bool bOn)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing, true);
    const QPointF c(size.width() / 2.0, size.height() / 2.0);
    QLinearGradient bezel(c - QPointF(0, 19), c + QPointF(0, 19));
    bezel.setColorAt(0.0, QColor(0xa0, 0xaa, 0xb4));
    bezel.setColorAt(0.5, QColor(0x4a, 0x52, 0x5c));
    bezel.setColorAt(1.0, QColor(0x1a, 0x1e, 0x22));
    p.setPen(QPen(kEdgeDark, 1.0));
    p.setBrush(bezel);
    p.drawEllipse(c, 18.5, 18.5);
    p.setBrush(QColor(0x08, 0x0a, 0x0c));
    p.drawEllipse(c, 14.5, 14.5);
    QRadialGradient glass(c - QPointF(2, 3), 14.0);
    if (bOn) {
        glass.setColorAt(0.0, QColor(0xe8, 0xff, 0xee));
        glass.setColorAt(0.35, QColor(0x5c, 0xff, 0x8e));
        glass.setColorAt(0.8, QColor(0x10, 0xb0, 0x48));
        glass.setColorAt(1.0, QColor(0x05, 0x50, 0x20));
    } else {
        glass.setColorAt(0.0, QColor(0x2a, 0x4a, 0x34));
        glass.setColorAt(0.7, QColor(0x0c, 0x24, 0x14));
        glass.setColorAt(1.0, QColor(0x04, 0x0e, 0x08));
    }
    p.setPen(Qt::NoPen);
    p.setBrush(glass);
    p.drawEllipse(c, 13.0, 13.0);
    p.setBrush(QColor(255, 255, 255, bOn ? 190 : 70));
    p.drawEllipse(QRectF(c.x() - 8, c.y() - 10, 9, 5));
    p.restore();
}

void DrawLink(QPainter &p, const QSize &size, bool bLatched)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing, true);
    const QPointF c(size.width() / 2.0, size.height() / 2.0);
    QLinearGradient bezel(c - QPointF(0, 15), c + QPointF(0, 15));
    bezel.setColorAt(0.0, QColor(0x8c, 0x96, 0xa2));
    bezel.setColorAt(1.0, QColor(0x1a, 0x1e, 0x22));
    p.setPen(QPen(kEdgeDark, 1.0));
    p.setBrush(bezel);
    p.drawEllipse(c, 15.0, 15.0);
    p.setBrush(QColor(0x06, 0x07, 0x08));
    p.drawEllipse(c, 12.5, 12.5);
    p.restore();
    QPainterPath cap;
    cap.addEllipse(c + (bLatched ? QPointF(0.5, 0.5) : QPointF(0, 0)), 10.5, 10.5);
    PaintKey(p, cap, bLatched ? Face::Lit : Face::Raised);
    // Centre indicator: a ring that is dark when released and bright when latched.
    p.save();
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(bLatched ? QColor(0xff, 0xf6, 0xd8) : QColor(0x14, 0x17, 0x1b), 2.0));
    p.drawEllipse(c + (bLatched ? QPointF(0.5, 0.5) : QPointF(0, 0)), 4.5, 4.5);
    p.restore();
}

// Screen layouts on a 4 x 4 cell icon: each tile is (column, row, span).
struct Tile {
    int col, row, span;
};

std::vector<Tile> LayoutTiles(int nTiles)
{
    std::vector<Tile> tiles;
    auto grid = [&](int n) {
        for (int r = 0; r < n; ++r)
            for (int c = 0; c < n; ++c)
                tiles.push_back({c * 12 / n, r * 12 / n, 12 / n});
    };
    switch (nTiles) {
    case 1:
        grid(1);
        break;
    case 4:
        grid(2);
        break;
    case 9:
        grid(3);
        break;
    case 16:
        grid(4);
        break;
    case 7: // three large, the fourth quarter split in four
        for (const Tile &t : {Tile{0, 0, 6}, Tile{6, 0, 6}, Tile{0, 6, 6}, Tile{6, 6, 3},
                              Tile{9, 6, 3}, Tile{6, 9, 3}, Tile{9, 9, 3}})
            tiles.push_back(t);
        break;
    case 10: // two large on top, eight small below
        tiles.push_back({0, 0, 6});
        tiles.push_back({6, 0, 6});
        for (int r = 6; r < 12; r += 3)
            for (int c = 0; c < 12; c += 3)
                tiles.push_back({c, r, 3});
        break;
    case 13: // one large in the middle, twelve around
        tiles.push_back({3, 3, 6});
        for (int r = 0; r < 12; r += 3)
            for (int c = 0; c < 12; c += 3)
                if (!(r >= 3 && r < 9 && c >= 3 && c < 9))
                    tiles.push_back({c, r, 3});
        break;
    }
    return tiles;
}

void DrawScreenMode(QPainter &p, const QSize &size, int nTiles, bool bLatched)
{
    PaintKey(p, KeyRect(size), bLatched ? Face::Lit : Face::Raised);
    // 24 x 15 icon, units of 2 x 1.25 pixels on a 12 x 12 grid.
    const QRectF icon(8, 5, 24, 15);
    const QColor ink = bLatched ? QColor(0x3a, 0x20, 0x00) : QColor(0xcf, 0xd6, 0xde);
    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    p.fillRect(icon, bLatched ? QColor(0x3a, 0x20, 0x00, 60) : QColor(0x05, 0x07, 0x09, 200));
    for (const Tile &t : LayoutTiles(nTiles)) {
        const int x0 = static_cast<int>(icon.left() + t.col * 2);
        const int x1 = static_cast<int>(icon.left() + (t.col + t.span) * 2);
        const int y0 = static_cast<int>(icon.top() + std::lround(t.row * 1.25));
        const int y1 = static_cast<int>(icon.top() + std::lround((t.row + t.span) * 1.25));
        p.setPen(ink);
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRect(QPoint(x0, y0), QPoint(x1, y1)));
    }
    p.restore();
}

} // namespace

void PaintChannelKey(QPainter &p, const QSize &size, int nChannel, bool bLatched)
{
    PaintKey(p, KeyRect(size), bLatched ? Face::Lit : Face::Raised);
    const QFont font = UiFont(nChannel >= 10 ? 12 : 13);
    PaintText(p, QRectF(0, 0, size.width(), size.height() - 1), QString::number(nChannel), font,
              bLatched ? QColor(0x30, 0x1a, 0x00) : kText, Align::Center, bLatched);
}

namespace {

void DrawPadKey(QPainter &p, int nAction, const QPoint &pos, const QSize &size, bool bHeld)
{
    static const QPointF aDirection[8] = {{0, -1}, {-1, -1}, {-1, 0}, {-1, 1},
                                          {0, 1},  {1, 1},   {1, 0},  {1, -1}};
    const QPointF dir = aDirection[nAction];
    QPainterPath key;
    QPointF centre;
    if (nAction % 2 == 0) {
        key = PadKey(QRect(pos, size)).translated(-pos);
        centre = kPadCentre + dir * 44.0 - QPointF(pos);
    } else {
        // The diagonals are hidden on the view; drawn as round keys for completeness.
        const qreal r = std::min(size.width(), size.height()) / 2.0 - 2.0;
        centre = QPointF(size.width() / 2.0, size.height() / 2.0);
        key.addEllipse(centre, r, r);
    }
    PaintKey(p, key, bHeld ? Face::Sunken : Face::Raised);
    const QPointF shift = bHeld ? QPointF(0.5, 0.5) : QPointF(0, 0);
    PaintSymbol(p, Arrow(centre + shift, dir.x(), dir.y(), 9.0, 14.0), bHeld);
}

void DrawSmallKey(QPainter &p, const QSize &size, bool bPlus, bool bHeld)
{
    PaintKey(p, KeyRect(size), bHeld ? Face::Sunken : Face::Raised);
    const QPointF c = QPointF(size.width() / 2.0, size.height() / 2.0) +
                      (bHeld ? QPointF(0.5, 0.5) : QPointF(0, 0));
    PaintSymbol(p, PlusMinus(c, bPlus), bHeld);
}

} // namespace

QImage DrawRole(int nId, const QImage &background)
{
    if (nId == IDB_MAIN_BACKGROUND)
        return background;
    const QSize size = RoleSize(nId);
    QImage image = background.copy(QRect(PlacementOf(nId), size));
    QPainter p(&image);
    switch (nId) {
    case IDB_EXIT_UP:
    case IDB_EXIT_DOWN:
        DrawExit(p, size, nId == IDB_EXIT_DOWN);
        return image;
    case IDB_SMALL_UP:
    case IDB_SMALL_DOWN:
        DrawSmall(p, size, nId == IDB_SMALL_DOWN);
        return image;
    case IDB_RECEIVE_OFF:
    case IDB_RECEIVE_ON:
        DrawLamp(p, size, nId == IDB_RECEIVE_ON);
        return image;
    case IDB_LINK_NORMAL:
    case IDB_LINK_LATCHED:
        DrawLink(p, size, nId == IDB_LINK_LATCHED);
        return image;
    case IDB_PTZ_PLUS:
    case IDB_PTZ_PLUS_HELD:
    case IDB_SPEED_UP:
    case IDB_SPEED_UP_HELD:
        DrawSmallKey(p, size, true, nId == IDB_PTZ_PLUS_HELD || nId == IDB_SPEED_UP_HELD);
        return image;
    case IDB_PTZ_MINUS:
    case IDB_PTZ_MINUS_HELD:
    case IDB_SPEED_DOWN:
    case IDB_SPEED_DOWN_HELD:
        DrawSmallKey(p, size, false, nId == IDB_PTZ_MINUS_HELD || nId == IDB_SPEED_DOWN_HELD);
        return image;
    default:
        break;
    }
    if (nId >= IDB_PTZ_UP && nId <= IDB_PTZ_UPRIGHT_HELD) {
        const int nAction = (nId - IDB_PTZ_UP) / 2;
        DrawPadKey(p, nAction, PlacementOf(nId), size, (nId - IDB_PTZ_UP) % 2 == 1);
        return image;
    }
    static const int aTiles[7] = {1, 4, 7, 9, 10, 13, 16};
    for (int i = 0; i < 7; ++i) {
        if (nId == kScreenNormalId[i] || nId == kScreenLatchedId[i]) {
            DrawScreenMode(p, size, aTiles[i], nId == kScreenLatchedId[i]);
            return image;
        }
    }
    for (int k = 0; k < 16; ++k) {
        if (nId == kChannelNormalId[k] || nId == kChannelLatchedId[k]) {
            PaintChannelKey(p, size, k + 1, nId == kChannelLatchedId[k]);
            return image;
        }
    }
    return image;
}

} // namespace skin
