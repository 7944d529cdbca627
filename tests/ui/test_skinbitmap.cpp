// CSkinBitmap: the key colour is the top-left pixel wherever else it occurs, a bitmap of
// one colour draws nothing transparently, and an opaque draw is clipped, never scaled.

#include "ui/controls/skinbitmap.h"

#include <gtest/gtest.h>

#include <QPainter>

namespace {

const QColor kTarget(90, 90, 90);

QImage Target(int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(kTarget);
    return image;
}

// A w x h bitmap whose every pixel has its own colour.
QImage Distinct(int w, int h)
{
    QImage image(w, h, QImage::Format_RGB888);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixelColor(x, y, QColor(10 + 20 * x, 10 + 20 * y, 200));
    return image;
}

} // namespace

TEST(SkinBitmap, KeyColourShowsTheTargetWhereverItOccurs)
{
    const QColor key(255, 0, 0);
    QImage source = Distinct(4, 3);
    source.setPixelColor(0, 0, key);
    source.setPixelColor(2, 1, key);
    source.setPixelColor(3, 2, key);
    CSkinBitmap bitmap;
    bitmap.SetImage(source);
    EXPECT_EQ(bitmap.Width(), 4);
    EXPECT_EQ(bitmap.Height(), 3);

    QImage target = Target(6, 5);
    {
        QPainter p(&target);
        bitmap.DrawTransparent(p, 1, 1);
    }
    for (int y = 0; y < 5; ++y) {
        for (int x = 0; x < 6; ++x) {
            const bool bInside = x >= 1 && x < 5 && y >= 1 && y < 4;
            const QColor expect = bInside && source.pixelColor(x - 1, y - 1) != key
                                      ? source.pixelColor(x - 1, y - 1)
                                      : kTarget;
            EXPECT_EQ(target.pixelColor(x, y), expect) << x << "," << y;
        }
    }
}

TEST(SkinBitmap, SingleColourBitmapDrawsNothingTransparently)
{
    QImage source(5, 4, QImage::Format_RGB888);
    source.fill(QColor(0, 128, 0));
    CSkinBitmap bitmap;
    bitmap.SetImage(source);
    QImage target = Target(8, 8);
    {
        QPainter p(&target);
        bitmap.DrawTransparent(p, 2, 2);
    }
    EXPECT_EQ(target, Target(8, 8));
}

TEST(SkinBitmap, OpaqueDrawIsClippedNotScaled)
{
    const QImage source = Distinct(10, 10);
    CSkinBitmap bitmap;
    bitmap.SetImage(source);
    QImage target = Target(4, 4);
    {
        QPainter p(&target);
        bitmap.Draw(p, 0, 0);
    }
    EXPECT_EQ(target, source.copy(0, 0, 4, 4).convertToFormat(QImage::Format_RGB32));
    // Drawn part off the target: only the overlap lands, pixel for pixel.
    target = Target(4, 4);
    {
        QPainter p(&target);
        bitmap.Draw(p, 2, -1);
    }
    EXPECT_EQ(target.pixelColor(1, 1), kTarget);
    EXPECT_EQ(target.pixelColor(2, 0), source.pixelColor(0, 1));
    EXPECT_EQ(target.pixelColor(3, 3), source.pixelColor(1, 4));
}
