// CJpegImage: start repair, end marker, size limits, output formats, marker reading
// through real JPEG coding, and refusal of broken streams.

#include "imaging/cjpegimage.h"
#include "imaging/markers.h"
#include "imagingtestutil.h"
#include "support/testsupport.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <cstring>
#include <utility>
#include <vector>

using imagingtest::BgrPicture;
using imagingtest::Encode;
using imagingtest::MarkedJpeg;

namespace {

std::vector<uint8_t> Pixels(const CJpegImage &image)
{
    return std::vector<uint8_t>(image.Pixels(), image.Pixels() + image.PixelBytes());
}

std::vector<uint8_t> Bytes(std::initializer_list<int> prefix, const std::vector<uint8_t> &rest,
                           size_t dropFront = 0)
{
    std::vector<uint8_t> out;
    for (int b : prefix)
        out.push_back(uint8_t(b));
    out.insert(out.end(), rest.begin() + long(dropFront), rest.end());
    return out;
}

// TurboJPEG writes a JFIF start only for YCbCr/grey, so give a four-component
// stream the recorder's start.
std::vector<uint8_t> WithJfifStart(const std::vector<uint8_t> &jpeg)
{
    std::vector<uint8_t> block = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F',
                                  0,    1,    1,    0,    0,    1,    0,   1,   0,   0};
    block.insert(block.end(), jpeg.begin() + 2, jpeg.end());
    return block;
}

// Drops the Adobe (APP14) segment: the four stored components then read as plain
// YCbCr plus alpha.
std::vector<uint8_t> WithoutAdobeSegment(const std::vector<uint8_t> &block)
{
    std::vector<uint8_t> plain;
    for (size_t i = 0; i < block.size();) {
        if (i + 3 < block.size() && block[i] == 0xFF && block[i + 1] == 0xEE) {
            i += 2 + ((size_t(block[i + 2]) << 8) | block[i + 3]);
            continue;
        }
        plain.push_back(block[i++]);
    }
    return plain;
}

} // namespace

TEST(CJpegImage, InitialHeaderAndFlags)
{
    CJpegImage image;
    const BitmapInfoHeader &h = image.Header();
    EXPECT_EQ(h.biSize, 40u);
    EXPECT_EQ(h.biWidth, 320);
    EXPECT_EQ(h.biHeight, 240);
    EXPECT_EQ(h.biPlanes, 1);
    EXPECT_EQ(h.biBitCount, 24);
    EXPECT_EQ(h.biSizeImage, 0u);
    EXPECT_EQ(image.Pixels(), nullptr);
    EXPECT_EQ(image.FieldFlag(), 0);
    EXPECT_EQ(image.WidthFlag(), 1);
    EXPECT_EQ(sizeof(BitmapInfo), 44u);
}

struct FormatCase {
    int bits, width, height;
    bool changes;
    int expWidth, expHeight;
    uint32_t imageSize;
};

TEST(CJpegImage, SetFormatArithmetic)
{
    const FormatCase cases[] = {
        {24, 3, 2, true, 3, 2, 24}, // 9 bytes a row, padded to 12
        {24, 4, 2, true, 4, 2, 24}, // 12 bytes, no padding
        {32, 5, 2, true, 5, 2, 40},
        {8, 5, 1, true, 5, 1, 8},
        {24, 704, 240, true, 704, 240, 704 * 3 * 240},
        {24, 0, 10, false, 320, 240, 0}, // width 0: nothing changes
        {24, 10, 0, false, 320, 240, 0},
        {24, 65536, 4, false, 320, 240, 0}, // widths are taken as 16 bits: 65536 -> 0
        {24, 65536 + 3, 2, true, 3, 2, 24},
        {32, 65535, 65535, false, 320, 240, 0}, // image size past 32 bits: refused
    };
    for (const FormatCase &c : cases) {
        SCOPED_TRACE(testing::Message() << c.bits << " " << c.width << "x" << c.height);
        CJpegImage image;
        image.SetFormat(c.bits, c.width, c.height);
        EXPECT_EQ(image.Header().biWidth, c.expWidth);
        EXPECT_EQ(image.Header().biHeight, c.expHeight);
        EXPECT_EQ(image.Header().biSizeImage, c.imageSize);
        EXPECT_EQ(image.PixelBytes(), c.changes ? c.imageSize : 0u);
        EXPECT_EQ(image.Pixels() != nullptr, c.changes);
        if (c.changes) {
            EXPECT_EQ(image.RowStride() * size_t(c.expHeight), c.imageSize);
            EXPECT_EQ(image.Header().biBitCount, c.bits);
        }
    }
}

struct StartCase {
    const char *name;
    std::initializer_list<int> prefix;
    size_t dropFront;
    bool decodes;
};

TEST(CJpegImage, StartOfBlockIsRepairedOrRefused)
{
    BgrPicture pic(64, 32);
    pic.FillScene(1);
    const std::vector<uint8_t> jpeg = Encode(pic);
    ASSERT_GT(jpeg.size(), 100u);
    ASSERT_EQ(jpeg[3], 0xE0); // JFIF APP0, as the recorder sends

    CJpegImage reference;
    ASSERT_EQ(reference.Decode(jpeg.data(), jpeg.size(), false), 0);
    const std::vector<uint8_t> expected = Pixels(reference);

    const StartCase cases[] = {
        {"clean", {}, 0, true},
        {"stray FF in front", {0xFF}, 0, true},
        {"leading FF missing", {}, 1, true},
        {"two stray bytes", {0x12, 0x34}, 0, true},
        {"two stray FF bytes", {0xFF, 0xFF}, 0, true},
        {"stray 00 in front", {0x00}, 0, false}, // bytes 2..6 do not match
        {"three stray bytes", {0x01, 0x02, 0x03}, 0, false},
        {"two bytes missing", {}, 2, false},
    };
    for (const StartCase &c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<uint8_t> block = Bytes(c.prefix, jpeg, c.dropFront);
        CJpegImage image;
        const uint8_t result = image.Decode(block.data(), block.size(), false);
        if (c.decodes) {
            EXPECT_EQ(result, 0);
            EXPECT_EQ(Pixels(image), expected);
        } else {
            EXPECT_EQ(result, CJpegImage::DECODE_FAILED);
        }
    }
}

TEST(CJpegImage, OtherStartsAndTinyBlocksAreNotPictures)
{
    const std::vector<std::vector<uint8_t>> blocks = {
        {},
        {0xFF},
        {0xFF, 0xD8},
        {0xD8, 0xFF, 0xE0},
        {0xFF, 0xD8, 0xFF, 0xE0},
        {0xFF, 0xD8, 0xFF, 0xE1, 0x00, 0x10}, // Exif start
        {0xFF, 0xD8, 0xFF, 0xE0, 0x00},       // start only
        {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0},
    };
    for (const auto &block : blocks) {
        CJpegImage image;
        EXPECT_EQ(image.Decode(block.data(), block.size(), false), CJpegImage::DECODE_FAILED)
            << block.size() << " bytes";
    }
    CJpegImage image;
    EXPECT_EQ(image.Decode(nullptr, 100, false), CJpegImage::DECODE_FAILED);
}

TEST(CJpegImage, MissingEndMarkerIsAppended)
{
    BgrPicture pic(48, 40);
    pic.FillScene(2);
    const std::vector<uint8_t> jpeg = Encode(pic);
    ASSERT_EQ(jpeg[jpeg.size() - 2], 0xFF);
    ASSERT_EQ(jpeg[jpeg.size() - 1], 0xD9);
    const std::vector<uint8_t> cut(jpeg.begin(), jpeg.end() - 2);

    CJpegImage whole, noEnd;
    ASSERT_EQ(whole.Decode(jpeg.data(), jpeg.size(), true), 0);
    ASSERT_EQ(noEnd.Decode(cut.data(), cut.size(), true), 0);
    EXPECT_EQ(Pixels(whole), Pixels(noEnd));
    EXPECT_EQ(noEnd.Normalise(cut.data(), cut.size()), jpeg.size());
    EXPECT_EQ(0, std::memcmp(noEnd.WorkBuffer(), jpeg.data(), jpeg.size()));
}

struct SizeCase {
    int width, height;
    bool decodes;
    uint8_t widthFlag;
};

TEST(CJpegImage, PixelLimitAndWidthFlag)
{
    const SizeCase cases[] = {
        {720, 288, true, 0},                         // 207360 pixels
        {704, 480, false, 0},                        // 337920: too many
        {704, 240, true, 0},   {1000, 220, true, 0}, // exactly 220000
        {1000, 221, false, 0}, {240, 120, true, 1},  {241, 120, true, 0},
        {1, 1, true, 1},       {3, 5, true, 1},
    };
    for (const SizeCase &c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height);
        BgrPicture pic(c.width, c.height, 128);
        const std::vector<uint8_t> jpeg = Encode(pic);
        CJpegImage image;
        const uint8_t result = image.Decode(jpeg.data(), jpeg.size(), false);
        EXPECT_EQ(result != CJpegImage::DECODE_FAILED, c.decodes);
        EXPECT_EQ(image.WidthFlag(), c.widthFlag);
        if (c.decodes) {
            EXPECT_EQ(image.Header().biWidth, c.width);
            EXPECT_EQ(image.Header().biHeight, c.height);
            EXPECT_EQ(image.Header().biBitCount, 24);
            EXPECT_EQ(image.RowStride(), BgrStride(c.width));
            EXPECT_EQ(image.PixelBytes(), BgrStride(c.width) * size_t(c.height));
        }
    }
}

TEST(CJpegImage, PixelsAreBottomUpBgr)
{
    BgrPicture pic(32, 32);
    for (int row = 0; row < 32; ++row)
        for (int x = 0; x < 32; ++x)
            pic.SetPixel(row, x, row < 16 ? 200 : 10, 40,
                         row < 16 ? 10 : 220); // top blue, bottom red
    const std::vector<uint8_t> jpeg = Encode(pic, TJSAMP_444, 95);
    CJpegImage image;
    ASSERT_NE(image.Decode(jpeg.data(), jpeg.size(), true), CJpegImage::DECODE_FAILED);
    const uint8_t *bottom = image.Pixels() + 2 * 3;                       // stored row 0
    const uint8_t *top = image.Pixels() + 31 * image.RowStride() + 2 * 3; // stored last
    EXPECT_NEAR(top[0], 200, 6);
    EXPECT_NEAR(top[2], 10, 6);
    EXPECT_NEAR(bottom[0], 10, 6);
    EXPECT_NEAR(bottom[2], 220, 6);
}

TEST(CJpegImage, GreyscaleGivesEqualBlueGreenRed)
{
    BgrPicture pic(50, 30);
    pic.FillScene(3);
    const std::vector<uint8_t> jpeg = Encode(pic, TJSAMP_GRAY);
    CJpegImage image;
    ASSERT_EQ(image.Decode(jpeg.data(), jpeg.size(), true), 0);
    ASSERT_EQ(image.Header().biBitCount, 24);
    bool varied = false;
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 50; ++x) {
            const uint8_t *p = image.Pixels() + size_t(y) * image.RowStride() + 3 * size_t(x);
            ASSERT_EQ(p[0], p[1]);
            ASSERT_EQ(p[1], p[2]);
            varied |= p[0] != image.Pixels()[0];
        }
    EXPECT_TRUE(varied);
}

TEST(CJpegImage, FourComponentsBecomePremultipliedBgra)
{
    const int w = 16, h = 16;
    std::vector<uint8_t> cmyk(size_t(w) * h * 4);
    for (size_t i = 0; i < cmyk.size(); i += 4) {
        cmyk[i + 0] = 55;  // C: red 200
        cmyk[i + 1] = 155; // M: green 100
        cmyk[i + 2] = 205; // Y: blue 50
        cmyk[i + 3] = 128; // K: alpha
    }
    const std::vector<uint8_t> jpeg = imagingtest::EncodeCmyk(cmyk, w, h);
    ASSERT_FALSE(jpeg.empty());
    // TurboJPEG writes a JFIF start only for YCbCr/grey, so give it the recorder's start.
    const std::vector<uint8_t> block = WithJfifStart(jpeg);
    CJpegImage image;
    ASSERT_EQ(image.Decode(block.data(), block.size(), true), 0);
    EXPECT_EQ(image.Header().biBitCount, 32);
    EXPECT_EQ(image.RowStride(), size_t(w) * 4);
    const uint8_t *p = image.Pixels() + 5 * image.RowStride() + 4 * 5;
    EXPECT_NEAR(p[0], (50 * 128 + 1) >> 8, 3);
    EXPECT_NEAR(p[1], (100 * 128 + 1) >> 8, 3);
    EXPECT_NEAR(p[2], (200 * 128 + 1) >> 8, 3);
    EXPECT_NEAR(p[3], 128, 3);

    // Without the Adobe segment the same four components are plain YCbCr plus alpha
    // (the stored components of a YCCK stream): the same colours come out.
    const std::vector<uint8_t> plain = WithoutAdobeSegment(block);
    ASSERT_LT(plain.size(), block.size());
    CJpegImage plainImage;
    ASSERT_EQ(plainImage.Decode(plain.data(), plain.size(), true), 0);
    const uint8_t *q = plainImage.Pixels() + 5 * plainImage.RowStride() + 4 * 5;
    for (int k = 0; k < 4; ++k)
        EXPECT_NEAR(q[k], p[k], 2) << k;
}

// A grey four-component picture (Cb = Cr = 128) must stay grey: blue, green and red
// come out equal, and each is the component premultiplied by alpha.
TEST(CJpegImage, FourComponentGreyStaysGrey)
{
    const int w = 16, h = 16;
    for (int level : {0, 1, 55, 128, 200, 254, 255})
        for (int alpha : {255, 128, 1}) {
            SCOPED_TRACE(testing::Message() << "grey " << level << " alpha " << alpha);
            std::vector<uint8_t> cmyk(size_t(w) * h * 4);
            for (size_t i = 0; i < cmyk.size(); i += 4) {
                cmyk[i + 0] = cmyk[i + 1] = cmyk[i + 2] = uint8_t(255 - level);
                cmyk[i + 3] = uint8_t(alpha);
            }
            const std::vector<uint8_t> plain =
                WithoutAdobeSegment(WithJfifStart(imagingtest::EncodeCmyk(cmyk, w, h)));
            CJpegImage image;
            ASSERT_EQ(image.Decode(plain.data(), plain.size(), true), 0);
            ASSERT_EQ(image.Header().biBitCount, 32);
            for (int y = 0; y < h; y += 5)
                for (int x = 0; x < w; x += 5) {
                    const uint8_t *p = image.Pixels() + size_t(y) * image.RowStride() + 4 * x;
                    EXPECT_EQ(p[0], p[1]);
                    EXPECT_EQ(p[1], p[2]);
                    EXPECT_NEAR(p[3], alpha, 1);
                    EXPECT_NEAR(p[1], (level * p[3] + 1) >> 8, 1);
                }
        }
}

namespace {

// An 8 x 8 grey progressive JPEG written by hand: one DC scan, then every AC
// coefficient in its own scans, nScansPerCoefficient successive-approximation steps
// each. Every block is empty, so each scan's data is one end-of-band code.
std::vector<uint8_t> ManyScanJpeg(int nScansPerCoefficient)
{
    std::vector<uint8_t> j = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F',
                              0,    1,    1,    0,    0,    1,    0,   1,   0,   0};
    j.insert(j.end(), {0xFF, 0xDB, 0x00, 0x43, 0x00});
    j.insert(j.end(), 64, uint8_t(1));
    j.insert(j.end(), {0xFF, 0xC2, 0x00, 0x0B, 8, 0, 8, 0, 8, 1, 1, 0x11, 0}); // SOF2
    for (uint8_t tableClass : {uint8_t(0x00), uint8_t(0x10)}) { // DC, AC: one symbol 0
        j.insert(j.end(), {0xFF, 0xC4, 0x00, 0x14, tableClass, 1});
        j.insert(j.end(), 15, uint8_t(0));
        j.push_back(0);
    }
    const auto scan = [&j](uint8_t ss, uint8_t se, uint8_t ah, uint8_t al) {
        j.insert(j.end(), {0xFF, 0xDA, 0x00, 0x08, 1, 1, 0x00, ss, se, uint8_t(ah << 4 | al)});
        j.push_back(0x7F); // code "0", padded with ones
    };
    scan(0, 0, 0, 0);
    for (uint8_t k = 1; k < 64; ++k) {
        const int top = nScansPerCoefficient - 1;
        scan(k, k, 0, uint8_t(top));
        for (int al = top - 1; al >= 0; --al)
            scan(k, k, uint8_t(al + 1), uint8_t(al));
    }
    j.insert(j.end(), {0xFF, 0xD9});
    return j;
}

} // namespace

TEST(CJpegImage, ProgressiveStreamsWithHundredsOfScansAreRefused)
{
    struct {
        int perCoefficient; // scans in all: 1 + 63 x perCoefficient
        bool decodes;
    } cases[] = {{1, true}, {7, true}, {8, false}, {14, false}}; // 442, 505 scans
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.perCoefficient << " scans per coefficient");
        const std::vector<uint8_t> jpeg = ManyScanJpeg(c.perCoefficient);
        CJpegImage image;
        const uint8_t result = image.Decode(jpeg.data(), jpeg.size(), true);
        EXPECT_EQ(result != CJpegImage::DECODE_FAILED, c.decodes);
        if (c.decodes) {
            ASSERT_EQ(image.Header().biWidth, 8);
            EXPECT_EQ(image.Pixels()[0], image.Pixels()[1]);
        }
    }
}

struct MarkerCase {
    int width, height;
    uint8_t channel;
    bool index, sel;
    uint32_t fieldRow;
    int subsamp, quality;
};

TEST(CJpegImage, MarkersSurviveJpegCoding)
{
    std::vector<MarkerCase> cases;
    for (uint8_t channel = 0; channel < 4; ++channel)
        for (bool index : {false, true})
            for (bool sel : {false, true})
                cases.push_back(
                    {704, 240, channel, index, sel, uint32_t(channel & 1), TJSAMP_420, 80});
    for (int subsamp : {TJSAMP_444, TJSAMP_422, TJSAMP_420, TJSAMP_GRAY})
        for (int quality : {40, 60, 95})
            cases.push_back(
                {720, 288, uint8_t(quality % 4), quality != 60, false, 0, subsamp, quality});
    cases.push_back({640, 16, 3, true, true, 1, TJSAMP_420, 50});
    for (const MarkerCase &c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.width << "x" << c.height << " ch " << int(c.channel) << " index "
                     << c.index << " sel " << c.sel << " samp " << c.subsamp << " q " << c.quality);
        const std::vector<uint8_t> jpeg =
            MarkedJpeg(c.width, c.height, c.channel, c.index, c.sel, c.subsamp, c.quality);
        CJpegImage image;
        image.SetFieldRow(c.fieldRow);
        image.SetFieldFlag(c.index ? 1 : 0); // the opposite of what the picture says
        EXPECT_EQ(image.Decode(jpeg.data(), jpeg.size(), false), c.channel);
        EXPECT_EQ(image.FieldFlag(), c.index ? 0 : 1);
        // Drawn at a quarter of its size, the picture is decoded smaller, and its
        // markers are still read from the full-size rows.
        CJpegImage scaled;
        scaled.SetFieldRow(c.fieldRow);
        scaled.SetFieldFlag(c.index ? 1 : 0);
        CJpegImage::DrawnSizes quarter;
        quarter.size.fill({c.width / 4, c.height / 4});
        EXPECT_EQ(scaled.Decode(jpeg.data(), jpeg.size(), false, &quarter), c.channel);
        EXPECT_EQ(scaled.FieldFlag(), c.index ? 0 : 1);
        EXPECT_EQ(scaled.Scale(), 2);
    }
}

struct ScaleCase {
    int width, height;
    CJpegImage::DrawnSize drawn;
    int scale;
};

// The smallest of 1/8, 2/8 and 4/8 that covers the drawn size, and the picture decoded
// at it is the library's own decode at that scale, pixel for pixel.
TEST(CJpegImage, DrawnSizeChoosesTheScale)
{
    const ScaleCase cases[] = {
        {704, 240, {158, 118}, 4}, // a 160 x 120 cell of a 4 x 4 grid
        {704, 240, {160, 120}, 4},
        {704, 240, {318, 238}, 8}, // a quad tile
        {704, 240, {638, 478}, 8}, // the single tile
        {704, 240, {0, 0}, 8},     // not drawn / not known
        {704, 240, {80, 60}, 2},
        {704, 240, {88, 31}, 2},   // 704 / 8 = 88 wide is enough, 240 / 8 = 30 rows not
        {720, 288, {158, 118}, 4}, // 3/8 gives 108 rows
        {720, 288, {318, 238}, 8}, // 7/8 would cover it, at twice the cost
        {704, 240, {240, 90}, 4},  // so would 3/8, at the cost of 8/8
        {704, 480, {158, 118}, 2},
        {705, 241, {89, 31}, 1}, // sizes round up: 89 x 31 at 1/8
        {7, 240, {1, 1}, 8},     // under 8 pixels: whole
    };
    for (const ScaleCase &c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " in " << c.drawn.nWidth
                                        << "x" << c.drawn.nHeight);
        EXPECT_EQ(CJpegImage::ScaleFor(c.width, c.height, c.drawn), c.scale);
        if (c.width * c.height > int(CJpegImage::MAX_PIXELS) || c.width < 8)
            continue;
        const std::vector<uint8_t> jpeg = MarkedJpeg(c.width, c.height, 1, true);
        CJpegImage image;
        CJpegImage::DrawnSizes drawn;
        drawn.size[1] = c.drawn; // only the marked channel's tile counts
        ASSERT_EQ(image.Decode(jpeg.data(), jpeg.size(), false, &drawn), 1);
        const int w = (c.width * c.scale + 7) / 8, h = (c.height * c.scale + 7) / 8;
        EXPECT_EQ(image.Scale(), c.scale);
        EXPECT_EQ(image.Header().biWidth, w);
        EXPECT_EQ(image.Header().biHeight, h);
        EXPECT_EQ(image.FullWidth(), c.width);
        EXPECT_EQ(image.FullHeight(), c.height);
        tjhandle handle = tjInitDecompress();
        std::vector<uint8_t> expected(BgrStride(w) * size_t(h));
        ASSERT_EQ(tjDecompress2(handle, jpeg.data(), jpeg.size(), expected.data(), w,
                                int(BgrStride(w)), h, TJPF_BGR, TJFLAG_BOTTOMUP),
                  0);
        tjDestroy(handle);
        ASSERT_EQ(image.PixelBytes(), expected.size());
        for (int row = 0; row < h; ++row) // the padding of a row is never written
            ASSERT_EQ(std::memcmp(image.Pixels() + row * BgrStride(w),
                                  expected.data() + row * BgrStride(w), size_t(w) * 3),
                      0)
                << row;
        // Filing the picture keeps what it stands for.
        CJpegImage record;
        ASSERT_TRUE(record.TakeFrom(image));
        EXPECT_EQ(record.Scale(), c.scale);
        EXPECT_EQ(record.FullWidth(), c.width);
    }
}

TEST(CJpegImage, NoCheckReturnsZeroAndKeepsFieldFlag)
{
    const std::vector<uint8_t> noIndex = MarkedJpeg(704, 240, 3, false);
    const std::vector<uint8_t> withIndex = MarkedJpeg(704, 240, 3, true);
    CJpegImage image;
    ASSERT_EQ(image.Decode(noIndex.data(), noIndex.size(), false), 3);
    ASSERT_EQ(image.FieldFlag(), 1);
    EXPECT_EQ(image.Decode(withIndex.data(), withIndex.size(), true), 0);
    EXPECT_EQ(image.FieldFlag(), 1);
    EXPECT_EQ(image.Decode(withIndex.data(), withIndex.size(), false), 3);
    EXPECT_EQ(image.FieldFlag(), 0);
    EXPECT_EQ(image.Decode(noIndex.data(), noIndex.size(), true), 0);
    EXPECT_EQ(image.FieldFlag(), 0);

    // Unchecked, the scale is the one drawn for nNoCheckIndex; an index outside the
    // table is drawn whole (the sizes behind the table are small, so a read past its
    // end would show).
    CJpegImage::DrawnSizes drawn[2];
    drawn[0].size[15] = {88, 30};
    drawn[1].size.fill({88, 30});
    for (const auto &[nIndex, nScale] : {std::pair{15, 1}, {16, 8}, {-1, 8}}) {
        drawn[0].nNoCheckIndex = nIndex;
        EXPECT_EQ(image.Decode(withIndex.data(), withIndex.size(), true, &drawn[0]), 0);
        EXPECT_EQ(image.Scale(), nScale) << nIndex;
    }
}

size_t ScanStart(const std::vector<uint8_t> &jpeg)
{
    for (size_t i = 2; i + 1 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xDA)
            return i;
    return 0;
}

// What the library only warns about still gives the picture and its marked channel:
// stray bytes between two markers, and a scan cut short (the rows it could not
// reach are filled in).
TEST(CJpegImage, WarningsStillGiveThePicture)
{
    const std::vector<uint8_t> jpeg = MarkedJpeg(704, 240, 2, true);
    const size_t sos = ScanStart(jpeg);
    ASSERT_GT(sos, 20u);
    std::vector<uint8_t> padded = jpeg;
    padded.insert(padded.begin() + long(sos), {0x00, 0x11, 0x22, 0x33});
    const std::vector<uint8_t> cut(jpeg.begin(),
                                   jpeg.begin() + long(sos + (jpeg.size() - sos) / 2));
    CJpegImage clean;
    ASSERT_EQ(clean.Decode(jpeg.data(), jpeg.size(), false), 2);
    for (const auto &damaged : {padded, cut}) {
        CJpegImage image;
        EXPECT_EQ(image.Decode(damaged.data(), damaged.size(), false), 2);
        EXPECT_EQ(image.Header().biWidth, clean.Header().biWidth);
    }
}

TEST(CJpegImage, BrokenStreamsReturn255)
{
    BgrPicture pic(176, 120);
    pic.FillScene(4);
    const std::vector<uint8_t> jpeg = Encode(pic);
    const size_t sos = ScanStart(jpeg);
    ASSERT_GT(sos, 20u);
    // Cut anywhere in the headers.
    for (size_t len = 5; len < sos; len += 7) {
        CJpegImage image;
        EXPECT_EQ(image.Decode(jpeg.data(), len, false), CJpegImage::DECODE_FAILED) << len;
    }
    // Corrupt each byte of the headers after the valid start, one at a time.
    int refused = 0;
    CJpegImage reused; // one decoder through all of it, as the client keeps it
    for (size_t i = 6; i < sos; ++i) {
        for (uint8_t value : {uint8_t(0x00), uint8_t(0xFF), uint8_t(jpeg[i] ^ 0x5A)}) {
            std::vector<uint8_t> bad = jpeg;
            bad[i] = value;
            const uint8_t result = reused.Decode(bad.data(), bad.size(), false);
            EXPECT_TRUE(result == CJpegImage::DECODE_FAILED || result < 4);
            refused += result == CJpegImage::DECODE_FAILED;
        }
    }
    EXPECT_GT(refused, 0);
    // Garbage where the scan should be: a picture of noise or a refusal, never more.
    std::vector<uint8_t> noise = jpeg;
    for (size_t i = sos + 20; i < noise.size() - 2; ++i)
        noise[i] = uint8_t(i * 7919 >> 3);
    const uint8_t noisy = reused.Decode(noise.data(), noise.size(), false);
    EXPECT_TRUE(noisy == CJpegImage::DECODE_FAILED || noisy < 16);
    // And the decoder still works afterwards.
    EXPECT_EQ(reused.Decode(jpeg.data(), jpeg.size(), true), 0);
}

TEST(CJpegImage, SteadyStreamReusesBuffers)
{
    const std::vector<uint8_t> a = MarkedJpeg(704, 240, 1, true);
    const std::vector<uint8_t> b = MarkedJpeg(704, 240, 2, false);
    CJpegImage image;
    ASSERT_EQ(image.Decode(a.data(), a.size(), false), 1);
    const uint8_t *pixels = image.Pixels();
    const uint8_t *work = image.WorkBuffer();
    const size_t capacity = image.WorkCapacity();
    EXPECT_EQ(capacity, a.size() + 4);
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(image.Decode(a.data(), a.size(), false), 1); // exactly the same length
        EXPECT_EQ(image.Decode(b.data(), std::min(b.size(), a.size()), false) < 4 ||
                      b.size() > a.size(),
                  true);
        EXPECT_EQ(image.Pixels(), pixels);
    }
    EXPECT_EQ(image.WorkBuffer(), work);
    EXPECT_EQ(image.WorkCapacity(), capacity);
}

TEST(CJpegImage, CopyFromFilesThePicture)
{
    const std::vector<uint8_t> jpeg = MarkedJpeg(640, 240, 2, true);
    CJpegImage decoder, record;
    EXPECT_FALSE(record.CopyFrom(decoder)); // no pixels yet
    ASSERT_EQ(decoder.Decode(jpeg.data(), jpeg.size(), false), 2);
    ASSERT_TRUE(record.CopyFrom(decoder));
    EXPECT_EQ(record.Header().biWidth, 640);
    EXPECT_EQ(record.Header().biSizeImage, decoder.Header().biSizeImage);
    EXPECT_EQ(Pixels(record), Pixels(decoder));
    EXPECT_NE(record.Pixels(), decoder.Pixels());
    EXPECT_EQ(record.FieldFlag(), 0);
}

TEST(CJpegImage, BenchPicturesDecode)
{
    const QDir dir(testsupport::benchPicturesDir());
    const QStringList files = dir.entryList({"*.jpg"}, QDir::Files, QDir::Name);
    if (files.isEmpty())
        GTEST_SKIP() << "no bench pictures";
    CJpegImage image;
    for (const QString &name : files) {
        QFile file(dir.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        const uint8_t result = image.Decode(reinterpret_cast<const uint8_t *>(bytes.constData()),
                                            size_t(bytes.size()), false);
        if (name.startsWith("704x480"))
            EXPECT_EQ(result, CJpegImage::DECODE_FAILED) << name.toStdString();
        else
            EXPECT_LT(result, 4) << name.toStdString();
    }
}
