// Channel marker and index test: thresholds, sel inversion, row selection, and
// pictures too small for the patterns (read without leaving the buffer).

#include "imaging/markers.h"
#include "imagingtestutil.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

using imagingtest::BgrPicture;

namespace {

PictureRows RowsOf(const BgrPicture &pic)
{
    BitmapInfoHeader h;
    h.biWidth = pic.nWidth;
    h.biHeight = pic.nHeight;
    h.biBitCount = 24;
    h.biSizeImage = uint32_t(pic.nStride * size_t(pic.nHeight));
    return PictureRows::FromHeader(h, pic.bits.data(), pic.bits.size());
}

void SetGrey(BgrPicture &pic, int row, int x, uint8_t v)
{
    pic.SetPixel(row, x, v, v, v);
}

// Lights window i by giving nBright of its pixels the grey level byBright.
void LightWindow(BgrPicture &pic, int window, int nBright, uint8_t byBright = 255)
{
    const int start = CHANNEL_WINDOW_STARTS[window];
    for (int x = start; x < start + nBright; ++x)
        SetGrey(pic, CHANNEL_MARKER_ROW, x, byBright);
}

} // namespace

struct WindowCase {
    bool a, b, c, d, sel;
    uint8_t channel;
};

TEST(ChannelMarker, WindowCombinations)
{
    const WindowCase cases[] = {
        {0, 0, 0, 0, 0, 0}, {0, 0, 0, 1, 0, 1}, {0, 0, 1, 0, 0, 2}, {0, 0, 1, 1, 0, 3},
        {1, 1, 0, 0, 0, 0},                                         // a and b do not count
        {1, 0, 1, 0, 0, 2}, {0, 1, 0, 1, 0, 1}, {0, 0, 0, 0, 1, 3}, // sel inverts all: c = d = 1
        {0, 0, 1, 1, 1, 0}, {0, 0, 1, 0, 1, 1}, {1, 1, 0, 1, 1, 2}, {1, 1, 1, 1, 1, 0},
    };
    for (const WindowCase &c : cases) {
        SCOPED_TRACE(testing::Message() << c.a << c.b << c.c << c.d << " sel " << c.sel);
        BgrPicture pic(704, 8);
        const bool lit[5] = {c.a, c.b, c.c, c.d, c.sel};
        for (int i = 0; i < 5; ++i)
            if (lit[i])
                LightWindow(pic, i, CHANNEL_WINDOW_WIDTH);
        EXPECT_EQ(CheckChannelMarker(RowsOf(pic)), c.channel);
    }
}

struct ThresholdCase {
    int nBright;
    uint8_t byLevel;
    uint8_t channel; // window d carries the result
};

TEST(ChannelMarker, LitThresholdAndBrightness)
{
    const ThresholdCase cases[] = {
        {25, 255, 0}, {26, 255, 1}, {30, 255, 1},
        {30, 200, 0}, // exactly 200 is not brighter than 200
        {30, 201, 1}, {26, 201, 1}, {25, 201, 0},
    };
    for (const ThresholdCase &c : cases) {
        SCOPED_TRACE(testing::Message() << c.nBright << " pixels at " << int(c.byLevel));
        BgrPicture pic(704, 4);
        LightWindow(pic, 3, c.nBright, c.byLevel);
        EXPECT_EQ(CheckChannelMarker(RowsOf(pic)), c.channel);
    }
}

TEST(ChannelMarker, BrightnessIsTheMeanOfThreeBytes)
{
    struct {
        uint8_t b, g, r;
        bool bright;
    } cases[] = {{255, 255, 100, true},
                 {200, 200, 202, false},
                 {200, 201, 203, true},
                 {255, 255, 91, false}};
    for (const auto &c : cases) {
        BgrPicture pic(704, 4);
        for (int x = CHANNEL_WINDOW_STARTS[3]; x < CHANNEL_WINDOW_STARTS[3] + 30; ++x)
            pic.SetPixel(CHANNEL_MARKER_ROW, x, c.b, c.g, c.r);
        EXPECT_EQ(CheckChannelMarker(RowsOf(pic)), c.bright ? 1 : 0)
            << int(c.b) << "," << int(c.g) << "," << int(c.r);
    }
}

TEST(ChannelMarker, OnlyRowOneCounts)
{
    BgrPicture pic(704, 8);
    for (int row : {0, 2, 3})
        FillRowSpan(pic.Canvas(), row, 0, 704, 255);
    EXPECT_EQ(CheckChannelMarker(RowsOf(pic)), 0);
    FillRowSpan(pic.Canvas(), 1, 0, 704, 255); // everything lit: inverted to 0
    EXPECT_EQ(CheckChannelMarker(RowsOf(pic)), 0);
}

struct IndexCase {
    const char *name;
    int x0, x1; // span given the grey level
    uint8_t byLevel;
    bool found;
};

TEST(IndexTest, RunThresholds)
{
    const IndexCase cases[] = {
        {"clean pattern", 0, 0, 0, true},
        {"5 grey in first black run", 0, 5, 51, true},
        {"6 grey in first black run", 0, 6, 51, false},
        {"16 at 50 in first black run", 0, 16, 50, true},
        {"5 grey in second black run", 60, 65, 51, true},
        {"6 grey in second black run", 60, 66, 51, false},
        {"5 dark in white run", 20, 25, 199, true},
        {"6 dark in white run", 20, 26, 199, false},
        {"white run all at 200", 16, 47, 200, true},
        {"column 15 white", 15, 16, 255, true},
        {"columns 10..15 white", 10, 16, 255, false},
        {"columns 47..52 white", 47, 53, 255, false},
        {"columns 78..200 white", 78, 200, 255, true},
    };
    for (const IndexCase &c : cases) {
        SCOPED_TRACE(c.name);
        BgrPicture pic(704, 8, 0);
        DrawIndexPatternRow(pic.Canvas(), 2, true);
        FillRowSpan(pic.Canvas(), 2, c.x0, c.x1, c.byLevel);
        EXPECT_EQ(CheckIndexMarker(RowsOf(pic), 2), c.found);
    }
}

TEST(IndexTest, SelectorPicksRowTwoOrThree)
{
    EXPECT_EQ(IndexTestRow(0), 2);
    EXPECT_EQ(IndexTestRow(1), 3);
    EXPECT_EQ(IndexTestRow(0x80), 3);
    struct {
        int patternRow;
        uint32_t selector;
        bool found;
    } cases[] = {{2, 0, true}, {2, 1, false}, {3, 0, false},
                 {3, 1, true}, {1, 0, false}, {4, 1, false}};
    for (const auto &c : cases) {
        BgrPicture pic(704, 8, 0);
        DrawIndexPatternRow(pic.Canvas(), c.patternRow, true);
        EXPECT_EQ(CheckIndexMarker(RowsOf(pic), IndexTestRow(c.selector)), c.found)
            << "pattern in row " << c.patternRow << ", selector " << c.selector;
    }
}

TEST(Markers, DrawnRowsReadBack)
{
    for (uint8_t channel = 0; channel < 4; ++channel)
        for (bool sel : {false, true})
            for (bool index : {false, true}) {
                BgrPicture pic(720, 6, 90);
                DrawChannelMarkerRow(pic.Canvas(), 1, channel, sel);
                DrawIndexPatternRow(pic.Canvas(), 3, index);
                EXPECT_EQ(CheckChannelMarker(RowsOf(pic)), channel);
                EXPECT_EQ(CheckIndexMarker(RowsOf(pic), 3), index);
                EXPECT_FALSE(CheckIndexMarker(RowsOf(pic), 2)); // grey 90: not black
            }
}

// Narrow and short pictures: each buffer is allocated to its exact size on the heap,
// so a read past the end is caught by the sanitizer build; columns and rows the
// picture lacks count as black.
struct SmallCase {
    int width, height;
    uint8_t channel; // channel 3 drawn in row 1; windows cut off by the edge go dark
    bool index;      // index pattern drawn in row 2
};

TEST(Markers, SmallPicturesStayInsideTheBuffer)
{
    const SmallCase cases[] = {
        {1, 1, 0, false},  {1, 3, 0, false},  {10, 2, 0, false},  {40, 4, 0, false},
        {60, 4, 0, true},  {77, 4, 0, true},  {78, 4, 0, true},   {100, 4, 0, true},
        {371, 4, 0, true}, {372, 4, 2, true}, {499, 4, 2, true},  {500, 4, 3, true},
        {631, 4, 3, true}, {632, 4, 3, true}, {704, 2, 3, false},
    };
    for (const SmallCase &c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height);
        const size_t stride = BgrStride(c.width);
        const size_t bytes = stride * size_t(c.height);
        std::unique_ptr<uint8_t[]> bits(new uint8_t[bytes]);
        BitmapInfoHeader h;
        h.biWidth = c.width;
        h.biHeight = c.height;
        h.biBitCount = 24;
        h.biSizeImage = uint32_t(bytes);
        const PictureRows rows = PictureRows::FromHeader(h, bits.get(), bytes);

        std::fill(bits.get(), bits.get() + bytes, uint8_t(255));
        CheckChannelMarker(rows);
        EXPECT_FALSE(CheckIndexMarker(rows, 2)); // all white: the black run fails
        EXPECT_FALSE(CheckIndexMarker(rows, 3));

        std::fill(bits.get(), bits.get() + bytes, uint8_t(0));
        const BgrCanvas canvas{bits.get(), bytes, c.width, c.height, stride};
        DrawIndexPatternRow(canvas, 2, true);
        DrawChannelMarkerRow(canvas, 1, 3, false);
        DrawMarkersForJpeg(canvas, 2, true, true); // must clip as well
        DrawIndexPatternRow(canvas, 2, true);
        DrawChannelMarkerRow(canvas, 1, 3, false);
        EXPECT_EQ(CheckIndexMarker(rows, 2), c.index);
        EXPECT_EQ(CheckChannelMarker(rows), c.channel);
    }
}

TEST(Markers, HeaderLargerThanBufferIsNotTrusted)
{
    std::unique_ptr<uint8_t[]> bits(new uint8_t[100]);
    std::fill(bits.get(), bits.get() + 100, uint8_t(255));
    BitmapInfoHeader h;
    h.biWidth = 704;
    h.biHeight = 240;
    h.biBitCount = 24;
    h.biSizeImage = 704 * 3 * 240;
    const PictureRows rows = PictureRows::FromHeader(h, bits.get(), 100);
    EXPECT_EQ(CheckChannelMarker(rows), 0);
    EXPECT_FALSE(CheckIndexMarker(rows, 2));
    EXPECT_EQ(PixelBrightness(rows, 1, 0), -1);
    const PictureRows none = PictureRows::FromHeader(h, nullptr, 0);
    EXPECT_EQ(CheckChannelMarker(none), 0);
    EXPECT_FALSE(CheckIndexMarker(none, 3));
}

TEST(Markers, ThreeBytesPerPixelWhateverTheBitCount)
{
    // A 32-bit row is read at offsets 3 x, as the 24-bit rows are.
    const int width = 704, height = 4;
    std::vector<uint8_t> bits(size_t(width) * 4 * height, 0);
    const size_t stride = size_t(width) * 4;
    uint8_t *row1 = bits.data() + size_t(height - 2) * stride;
    for (int x = CHANNEL_WINDOW_STARTS[2]; x < CHANNEL_WINDOW_STARTS[2] + 30; ++x)
        std::fill(row1 + 3 * x, row1 + 3 * x + 3, uint8_t(255));
    BitmapInfoHeader h;
    h.biWidth = width;
    h.biHeight = height;
    h.biBitCount = 32;
    h.biSizeImage = uint32_t(bits.size());
    EXPECT_EQ(CheckChannelMarker(PictureRows::FromHeader(h, bits.data(), bits.size())), 2);
}
