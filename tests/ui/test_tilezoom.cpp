// The zoom of one tile: wheel steps and their clamps, the picture point kept under
// the pointer, the pan held inside the crop, and the part of the crop each shows.

#include "ui/picture/tilezoom.h"

#include <gtest/gtest.h>

namespace {

const QRect kCrop(10, 13, 683, 227);
const QSizeF kTile(318, 238);

struct Row {
    const char *name;
    TileZoom start;
    bool bWheel;   // else a pan
    int nDelta;    // wheel steps
    QPointF pt;    // the pointer in the tile, or the pan's move
    int nSteps;    // after
    QRect source;  // after
    bool bFixed;   // the picture point under the pointer stays
    const char *mark;
};

TEST(TileZoom, WheelPanAndSourceRectangle)
{
    const Row rows[] = {
        {"four in, centre", {}, true, 4, {159, 119}, 4, {212, 80, 280, 93}, true, "×2.4"},
        {"one in, off centre", {}, true, 1, {41, 187}, 1, {28, 49, 546, 182}, true, nullptr},
        {"last step stops at 8x", {9}, true, 3, {300, 20}, 10, {312, 111, 85, 28}, true, "×8.0"},
        {"corner to 8x", {}, true, 12, {0, 0}, 10, {10, 13, 85, 28}, true, "×8.0"},
        {"out past 1x", {2, 0.3, 0.7}, true, -5, {10, 10}, 0, kCrop, false, nullptr},
        {"out at 1x", {}, true, -1, {50, 50}, 0, kCrop, false, nullptr},
        {"out, held in the crop", {6, 0.2, 0.8}, true, -2, {250, 30}, 4, {10, 147, 280, 93},
         false, nullptr},
        {"pan", {4}, false, 0, {30, -20}, 4, {185, 88, 280, 93}, false, nullptr},
        {"pan past the edges", {4}, false, 0, {-5000, 5000}, 4, {413, 13, 280, 93}, false,
         nullptr},
        {"pan back from past the edges", TileZoom{4}.Panned({-5000, 5000}, kTile), false, 0,
         {30, -20}, 4, {387, 21, 280, 93}, false, nullptr},
        {"no pan at 1x", {}, false, 0, {40, 40}, 0, kCrop, false, nullptr},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        const TileZoom after =
            row.bWheel ? row.start.Wheeled(row.nDelta, row.pt, kTile) : row.start.Panned(row.pt, kTile);
        EXPECT_EQ(after.nSteps, row.nSteps);
        EXPECT_EQ(after.Source(kCrop), row.source);
        if (row.nSteps == 0) {
            EXPECT_EQ(after, TileZoom{});
        }
        if (row.mark) {
            EXPECT_EQ(ZoomMarkText(after.Factor()), QString::fromUtf8(row.mark));
        }
        if (row.bFixed) {
            const QRect a = row.start.Source(kCrop), b = after.Source(kCrop);
            EXPECT_NEAR(a.left() + row.pt.x() * a.width() / kTile.width(),
                        b.left() + row.pt.x() * b.width() / kTile.width(), 1.0);
            EXPECT_NEAR(a.top() + row.pt.y() * a.height() / kTile.height(),
                        b.top() + row.pt.y() * b.height() / kTile.height(), 1.0);
        }
    }
}

} // namespace
