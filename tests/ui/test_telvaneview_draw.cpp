// Picture crop, stretch, tile geometry and the rotation counter of the live view (the
// tiles' frames are seen in the view's reference pictures).

#include "ui/picture/dibstretch.h"
#include "ui/live/rotation.h"
#include "ui/live/viewlayout.h"

#include <gtest/gtest.h>

#include <vector>

using namespace viewlayout;

namespace {

// A bottom-up 24-bit picture whose pixel at top-down (x, y) encodes its
// coordinates: blue = x & 0xFF, green = y & 0xFF, red = (x >> 8) | (y >> 8) << 4.
struct CoordPicture {
    int width, height;
    std::vector<std::uint8_t> bits;
    CoordPicture(int w, int h) : width(w), height(h)
    {
        const int stride = ((w * 3) + 3) & ~3;
        bits.assign(std::size_t(stride) * h, 0);
        for (int y = 0; y < h; ++y) {
            std::uint8_t *row = bits.data() + std::size_t(h - 1 - y) * stride;
            for (int x = 0; x < w; ++x) {
                row[x * 3 + 0] = std::uint8_t(x & 0xFF);
                row[x * 3 + 1] = std::uint8_t(y & 0xFF);
                row[x * 3 + 2] = std::uint8_t((x >> 8) | ((y >> 8) << 4));
            }
        }
    }
    DibPicture Dib() const
    {
        DibPicture d;
        d.bits = bits.data();
        d.width = width;
        d.height = height;
        d.bitCount = 24;
        d.imageSize = std::uint32_t(bits.size());
        return d;
    }
};

int PixelX(QRgb p)
{
    return qBlue(p) | ((qRed(p) & 0x0F) << 8);
}
int PixelY(QRgb p)
{
    return qGreen(p) | ((qRed(p) >> 4) << 8);
}

} // namespace

TEST(ViewLayout, TilesMatchTheGridRules)
{
    struct Row {
        int position, tiles;
        QRect expected;
    };
    const Row rows[] = {
        {0, 1, QRect(63, 23, 638, 478)},
        {1, 1, QRect()},
        {0, 4, QRect(63, 23, 318, 238)},
        {1, 4, QRect(383, 23, 318, 238)},
        {2, 4, QRect(63, 263, 318, 238)},
        {3, 4, QRect(383, 263, 318, 238)},
        {4, 4, QRect()},
    };
    for (const Row &r : rows)
        EXPECT_EQ(TileRect(r.position, r.tiles), r.expected) << r.position << "/" << r.tiles;
    // The frames of neighbouring quad tiles lie side by side in the two-pixel gap.
    EXPECT_EQ(TileFrameRect(TileRect(0, 4)).right() + 1, TileFrameRect(TileRect(1, 4)).left());
}

TEST(ViewLayout, TableRowsHaveTheirPlaces)
{
    struct Row {
        ControlId id;
        QRect rect;
        unsigned normal, active;
    };
    const Row rows[] = {
        {CTRL_EXIT, QRect(735, 16, 114, 22), 261, 262},
        {CTRL_SETTING, QRect(807, 329, 51, 11), 217, 216},
        {CTRL_ARCHIVE, QRect(807, 345, 51, 11), 217, 216},
        {CTRL_ROTATE, QRect(807, 312, 51, 11), 217, 216},
        {CTRL_RECEIVE_LAMP, QRect(740, 230, 40, 40), 220, 221},
        {CTRL_CONNECT, QRect(228, 574, 33, 32), 163, 164},
        {CTRL_DISCONNECT, QRect(228, 624, 33, 32), 163, 164},
        {ControlId(CTRL_SCREEN_MODE_1 + 6), QRect(674, 598, 40, 25), 177, 178},
        {CTRL_CHANNEL_1, QRect(311, 640, 31, 30), 310, 330},
        {ControlId(CTRL_CHANNEL_1 + 1), QRect(343, 640, 28, 30), 318, 338},
        {ControlId(CTRL_CHANNEL_1 + 9), QRect(566, 640, 28, 30), 311, 331},
        {ControlId(CTRL_CHANNEL_1 + 15), QRect(735, 640, 31, 30), 317, 337},
    };
    for (const Row &r : rows) {
        EXPECT_EQ(ControlRect(r.id), r.rect) << r.id;
        EXPECT_EQ(Control(r.id).normalBitmap, r.normal) << r.id;
        EXPECT_EQ(Control(r.id).activeBitmap, r.active) << r.id;
    }
    for (const ControlPlace &c : Controls())
        EXPECT_TRUE(QRect(0, 0, kViewWidth, kViewHeight).contains(QRect(c.x, c.y, c.w, c.h)))
            << c.id;
}

// Every screen-mode and channel button, against the form's rows written out here.
TEST(ViewLayout, ScreenModeAndChannelRowsInFull)
{
    const int modeX[7] = {368, 419, 470, 521, 572, 623, 674};
    const unsigned modeNormal[7] = {165, 167, 169, 171, 173, 175, 177};
    for (int i = 0; i < 7; ++i) {
        const ControlId id = ControlId(CTRL_SCREEN_MODE_1 + i);
        EXPECT_EQ(ControlRect(id), QRect(modeX[i], 598, 40, 25)) << "mode " << i;
        EXPECT_EQ(Control(id).normalBitmap, modeNormal[i]) << "mode " << i;
        EXPECT_EQ(Control(id).activeBitmap, modeNormal[i] + 1) << "mode " << i;
        EXPECT_EQ(Control(id).kind, ControlKind::Latching);
    }
    const int chX[16] = {311, 343, 371, 398, 426, 455, 482, 510,
                         538, 566, 594, 622, 650, 678, 706, 735};
    const unsigned chNormal[16] = {310, 318, 319, 320, 325, 326, 327, 328,
                                   329, 311, 312, 313, 314, 315, 316, 317};
    const unsigned chLatched[16] = {330, 338, 339, 340, 341, 342, 343, 344,
                                    345, 331, 332, 333, 334, 335, 336, 337};
    for (int k = 0; k < 16; ++k) {
        const ControlId id = ControlId(CTRL_CHANNEL_1 + k);
        const int w = (k == 0 || k == 15) ? 31 : 28;
        EXPECT_EQ(ControlRect(id), QRect(chX[k], 640, w, 30)) << "channel " << k;
        EXPECT_EQ(Control(id).normalBitmap, chNormal[k]) << "channel " << k;
        EXPECT_EQ(Control(id).activeBitmap, chLatched[k]) << "channel " << k;
        EXPECT_EQ(Control(id).kind, ControlKind::Latching);
    }
    EXPECT_EQ(Control(CTRL_EXIT).kind, ControlKind::Push);
    EXPECT_EQ(Control(CTRL_SETTING).kind, ControlKind::Push);
    EXPECT_EQ(Control(CTRL_ARCHIVE).kind, ControlKind::Push);
    EXPECT_EQ(Control(CTRL_ROTATE).kind, ControlKind::Latching);
    EXPECT_EQ(Control(CTRL_CONNECT).kind, ControlKind::Latching);
    EXPECT_EQ(Control(CTRL_DISCONNECT).kind, ControlKind::Latching);
}

TEST(LiveCrop, MarginsFollowHeightFieldAndWidth)
{
    struct Row {
        int w, h;
        bool field, widthFlag;
        QRect expected;
    };
    const Row rows[] = {
        // 240-row field: 6 px left, 8 rows top; field flag 0 cuts one row more.
        {704, 240, true, false, QRect(6, 8, 704 - 6 - 18 + 2, 240 - 8 - 1)},
        {704, 240, false, false, QRect(6, 9, 704 - 6 - 18 + 2, 231)},
        // any other height: 10 px left, 12 rows top (13 for field flag 0).
        {704, 480, true, false, QRect(10, 12, 704 - 10 - 18 + 2, 480 - 12 - 1)},
        {704, 480, false, false, QRect(10, 13, 678, 467)},
        {720, 288, true, false, QRect(10, 12, 694, 275)},
        // width flag 1 (at most 240 wide) keeps the narrower source.
        {240, 240, true, true, QRect(6, 8, 216, 231)},
        // pictures too small for the margins leave nothing to draw.
        {20, 20, true, true, QRect()},
    };
    for (const Row &r : rows) {
        const QRect got = LiveCropRect(r.w, r.h, r.field, r.widthFlag);
        EXPECT_EQ(got.isEmpty() ? QRect() : got, r.expected) << r.w << "x" << r.h;
    }
}

TEST(Stretch, NearestNeighbourMapsTheSourceRectangleOntoTheTarget)
{
    CoordPicture pic(704, 240);
    QImage dst(kViewWidth, kViewHeight, QImage::Format_RGB32);
    dst.fill(Qt::black);
    CDibStretcher stretcher;
    const QRect src = LiveCropRect(704, 240, false, false); // (6, 9) 682 x 231
    for (const QRect tile : {TileRect(0, 1), TileRect(3, 4)}) {
        dst.fill(Qt::black);
        ASSERT_TRUE(stretcher.Stretch(pic.Dib(), src, dst, tile));
        // Corners come from the source rectangle's corners.
        const QRgb tl = dst.pixel(tile.topLeft());
        EXPECT_EQ(PixelX(tl), src.left());
        EXPECT_EQ(PixelY(tl), src.top());
        const QRgb br = dst.pixel(tile.bottomRight());
        EXPECT_LE(PixelX(br), src.right());
        EXPECT_GE(PixelX(br), src.right() - 3);
        EXPECT_LE(PixelY(br), src.bottom());
        EXPECT_GE(PixelY(br), src.bottom() - 1);
        // Monotonic along a row and a column: rows are not flipped.
        for (int x = tile.left() + 1; x <= tile.right(); ++x)
            ASSERT_GE(PixelX(dst.pixel(x, tile.top())), PixelX(dst.pixel(x - 1, tile.top())));
        for (int y = tile.top() + 1; y <= tile.bottom(); ++y)
            ASSERT_GE(PixelY(dst.pixel(tile.left(), y)), PixelY(dst.pixel(tile.left(), y - 1)));
        // Nothing outside the tile was touched.
        EXPECT_EQ(dst.pixel(tile.left() - 1, tile.top()), qRgb(0, 0, 0));
        EXPECT_EQ(dst.pixel(tile.right(), tile.bottom() + 1), qRgb(0, 0, 0));
    }
    // Neither a crop moved sideways nor a repaint in two equal halves reuses a column table.
    const QRect tile = TileRect(2, 4), half(tile.topLeft(), QSize(tile.width() / 2, tile.height()));
    QImage whole = dst, parts = dst;
    ASSERT_TRUE(stretcher.Stretch(pic.Dib(), src.translated(2, 0), whole, tile));
    for (const QRect part : {half, half.translated(half.width(), 0)})
        ASSERT_TRUE(stretcher.Stretch(pic.Dib(), src.translated(2, 0), parts, tile, part));
    EXPECT_EQ(parts, whole);
}

// A picture decoded at 4/8 (here 352 x 120 standing for 704 x 240) is cropped and
// stretched in the full picture's coordinates: every target pixel comes from the
// half-size pixel under the one a full-size picture would give it.
TEST(Stretch, ScaledPictureMapsThroughTheFullSize)
{
    const CoordPicture full(704, 240), half(352, 120);
    DibPicture scaled = half.Dib();
    scaled.scale = 4;
    scaled.fullWidth = 704;
    scaled.fullHeight = 240;
    const QRect tile(1, 1, 158, 118);
    CDibStretcher stretcher;
    for (const bool bFieldFlag : {false, true}) {
        const QRect src = LiveCropRect(704, 240, bFieldFlag, false);
        QImage fromFull(160, 120, QImage::Format_RGB32), fromHalf(160, 120, QImage::Format_RGB32);
        ASSERT_TRUE(stretcher.Stretch(full.Dib(), src, fromFull, tile));
        ASSERT_TRUE(stretcher.Stretch(scaled, src, fromHalf, tile));
        for (int y = tile.top(); y <= tile.bottom(); ++y)
            for (int x = tile.left(); x <= tile.right(); ++x) {
                ASSERT_EQ(PixelX(fromHalf.pixel(x, y)), PixelX(fromFull.pixel(x, y)) / 2) << x;
                ASSERT_EQ(PixelY(fromHalf.pixel(x, y)), PixelY(fromFull.pixel(x, y)) / 2) << y;
            }
    }
    // A scaled picture too small for the size it claims is refused.
    scaled.fullWidth = 706;
    QImage dst(50, 50, QImage::Format_RGB32);
    EXPECT_FALSE(stretcher.Stretch(scaled, QRect(0, 0, 10, 10), dst, QRect(0, 0, 50, 50)));
}

TEST(Stretch, RefusesUnusablePictures)
{
    CoordPicture pic(64, 48);
    QImage dst(100, 100, QImage::Format_RGB32);
    CDibStretcher stretcher;
    DibPicture d = pic.Dib();
    EXPECT_FALSE(stretcher.Stretch(d, QRect(0, 0, 65, 48), dst, QRect(0, 0, 50, 50))); // outside
    d.imageSize = 100; // buffer smaller than the header says
    EXPECT_FALSE(stretcher.Stretch(d, QRect(0, 0, 10, 10), dst, QRect(0, 0, 50, 50)));
    d = pic.Dib();
    d.bits = nullptr;
    EXPECT_FALSE(stretcher.Stretch(d, QRect(0, 0, 10, 10), dst, QRect(0, 0, 50, 50)));
    QImage rgb888(100, 100, QImage::Format_RGB888);
    EXPECT_FALSE(stretcher.Stretch(pic.Dib(), QRect(0, 0, 10, 10), rgb888, QRect(0, 0, 50, 50)));
    // A target partly outside the image is clipped, not overrun.
    EXPECT_TRUE(stretcher.Stretch(pic.Dib(), QRect(0, 0, 64, 48), dst, QRect(80, 80, 64, 48)));
    // The top row's last pixel ends the buffer, so it is read byte by byte.
    ASSERT_TRUE(stretcher.Stretch(pic.Dib(), QRect(0, 0, 64, 48), dst, QRect(0, 0, 64, 48)));
    EXPECT_EQ(dst.pixel(63, 0), qRgb(0, 0, 63));
    EXPECT_EQ(PixelX(dst.pixel(99, 99)), 19);
}

TEST(Rotation, NextSeenChannelWrapsAndSkipsUnseen)
{
    std::array<bool, 16> seen{};
    EXPECT_EQ(NextSeenChannel(2, seen), 2); // nothing seen: stays
    seen[0] = seen[1] = seen[3] = true;
    struct Row {
        int current, next;
    };
    for (const Row r : {Row{0, 1}, Row{1, 3}, Row{3, 0}, Row{2, 3}, Row{15, 0}})
        EXPECT_EQ(NextSeenChannel(r.current, seen), r.next) << r.current;
    std::array<bool, 16> only{};
    only[5] = true;
    EXPECT_EQ(NextSeenChannel(5, only), 5);
}

TEST(Rotation, EachChannelShownIntervalPlusOneTicks)
{
    for (std::uint8_t interval : {1, 2, 3, 4, 5, 10}) {
        CRotation r;
        EXPECT_FALSE(r.Tick()); // not running
        r.Start(interval);
        EXPECT_EQ(r.m_wRotate, 0x0100 + interval);
        int ticks = 0;
        int steps = 0;
        std::vector<int> stepAt;
        while (steps < 3) {
            ++ticks;
            if (r.Tick()) {
                ++steps;
                stepAt.push_back(ticks);
            }
        }
        EXPECT_EQ(stepAt[0], interval + 1);
        EXPECT_EQ(stepAt[1] - stepAt[0], interval + 1);
        r.Stop();
        EXPECT_FALSE(r.IsRunning());
    }
}
