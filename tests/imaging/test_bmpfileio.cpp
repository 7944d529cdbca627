// BmpFileIo: files built byte by byte for the reader, refusals of broken files,
// writer round trips, and files written here opened by an independent reader.

#include "imaging/bmpfileio.h"

#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <climits>
#include <random>
#include <vector>

namespace {

// Builds a BMP file image field by field.
struct BmpBuilder {
    int32_t width = 2, height = 2;
    uint16_t bits = 24;
    uint32_t compression = 0;
    uint32_t clrUsed = 0;
    uint32_t infoSize = 40;
    int64_t offsetOverride = -1;
    std::vector<uint32_t> palette; // 0x00RRGGBB
    QByteArray pixels;             // stored rows, padding included

    QByteArray Bytes() const
    {
        QByteArray info;
        Put32(info, infoSize);
        Put32(info, uint32_t(width));
        Put32(info, uint32_t(height));
        Put16(info, 1);
        Put16(info, bits);
        Put32(info, compression);
        Put32(info, uint32_t(pixels.size()));
        Put32(info, 0);
        Put32(info, 0);
        Put32(info, clrUsed);
        Put32(info, 0);
        while (uint32_t(info.size()) < infoSize)
            info.append('\0');
        QByteArray pal;
        for (uint32_t c : palette)
            Put32(pal, c);
        const uint32_t offset = offsetOverride >= 0 ? uint32_t(offsetOverride)
                                                    : uint32_t(14 + info.size() + pal.size());
        QByteArray out("BM");
        Put32(out, uint32_t(14 + info.size() + pal.size() + pixels.size()));
        Put32(out, 0);
        Put32(out, offset);
        return out + info + pal + pixels;
    }
    static void Put16(QByteArray &b, uint32_t v)
    {
        b.append(char(v & 0xFF));
        b.append(char((v >> 8) & 0xFF));
    }
    static void Put32(QByteArray &b, uint32_t v)
    {
        Put16(b, v & 0xFFFF);
        Put16(b, v >> 16);
    }
};

class BmpTest : public testing::Test {
  protected:
    QString Write(const QByteArray &bytes, const char *name = "in.bmp")
    {
        const QString path = m_dir.filePath(QString::fromLatin1(name));
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return path;
    }
    std::vector<uint8_t> Read(const QByteArray &bytes, int &w, int &h)
    {
        auto rgb = m_io.ReadBmpAsRgb(Write(bytes), w, h);
        if (!rgb)
            return {};
        return std::vector<uint8_t>(rgb.get(), rgb.get() + size_t(w) * 3 * size_t(h));
    }
    QByteArray FileBytes(const QString &path)
    {
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        return f.readAll();
    }
    QTemporaryDir m_dir;
    BmpFileIo m_io;
};

} // namespace

TEST_F(BmpTest, TwoByTwo24BitIsTopRowFirstRgb)
{
    BmpBuilder b;
    // stored bottom row first, B G R per pixel, 6 bytes + 2 padding a row
    b.pixels = QByteArray::fromHex("010203 040506 0000"
                                   "0a0b0c 0d0e0f 0000");
    int w = 0, h = 0;
    const std::vector<uint8_t> rgb = Read(b.Bytes(), w, h);
    EXPECT_EQ(m_io.LastMessage(), "OK");
    ASSERT_EQ(rgb.size(), 12u);
    EXPECT_EQ(w, 2);
    EXPECT_EQ(h, 2);
    const std::vector<uint8_t> expected = {0x0c, 0x0b, 0x0a, 0x0f, 0x0e, 0x0d,
                                           0x03, 0x02, 0x01, 0x06, 0x05, 0x04};
    EXPECT_EQ(rgb, expected);
    EXPECT_EQ(m_io.BytesRead(), uint64_t(b.Bytes().size()));
}

TEST_F(BmpTest, TopDownFileIsReadInOrder)
{
    BmpBuilder b;
    b.height = -2;
    b.pixels = QByteArray::fromHex("010203 040506 0000"
                                   "0a0b0c 0d0e0f 0000");
    int w = 0, h = 0;
    const std::vector<uint8_t> rgb = Read(b.Bytes(), w, h);
    ASSERT_EQ(rgb.size(), 12u) << m_io.LastMessage().toStdString();
    EXPECT_EQ(h, 2);
    EXPECT_EQ(rgb[0], 0x03);
    EXPECT_EQ(rgb[6], 0x0c);
}

TEST_F(BmpTest, FourBitWidthThreeHasFourByteRows)
{
    BmpBuilder b;
    b.width = 3;
    b.bits = 4;
    for (uint32_t i = 0; i < 16; ++i)
        b.palette.push_back(i * 0x100000 + i * 0x10 + 1); // R = i * 16, B = i * 16 + 1
    b.pixels = QByteArray::fromHex("12300000"   // bottom: 1 2 3, 2 bytes of pixels + padding
                                   "fe700000"); // top: 15 14 7
    int w = 0, h = 0;
    const std::vector<uint8_t> rgb = Read(b.Bytes(), w, h);
    ASSERT_EQ(rgb.size(), 18u) << m_io.LastMessage().toStdString();
    const int top[3] = {15, 14, 7}, bottom[3] = {1, 2, 3};
    for (int x = 0; x < 3; ++x) {
        EXPECT_EQ(rgb[3 * x], top[x] * 16);
        EXPECT_EQ(rgb[3 * x + 2], top[x] * 16 + 1);
        EXPECT_EQ(rgb[9 + 3 * x], bottom[x] * 16);
    }
}

TEST_F(BmpTest, EightBitWithColoursUsedZeroReads256Entries)
{
    BmpBuilder b;
    b.width = 2;
    b.height = 1;
    b.bits = 8;
    for (uint32_t i = 0; i < 256; ++i)
        b.palette.push_back((i << 16) | ((255 - i) << 8) | 7);
    b.pixels = QByteArray::fromHex("ff800000");
    int w = 0, h = 0;
    const std::vector<uint8_t> rgb = Read(b.Bytes(), w, h);
    ASSERT_EQ(rgb.size(), 6u) << m_io.LastMessage().toStdString();
    EXPECT_EQ(rgb, (std::vector<uint8_t>{255, 0, 7, 128, 127, 7}));
}

TEST_F(BmpTest, OneBitAndIndicesPastThePalette)
{
    BmpBuilder b;
    b.width = 10;
    b.height = 1;
    b.bits = 1;
    b.palette = {0x000000, 0xFFFFFF};
    b.pixels = QByteArray::fromHex("a5c00000"); // 1010 0101 11
    int w = 0, h = 0;
    std::vector<uint8_t> rgb = Read(b.Bytes(), w, h);
    ASSERT_EQ(rgb.size(), 30u);
    const int bitsSet[10] = {1, 0, 1, 0, 0, 1, 0, 1, 1, 1};
    for (int x = 0; x < 10; ++x)
        EXPECT_EQ(rgb[3 * x], bitsSet[x] * 255) << x;

    // An 8-bit file with two colours whose pixels name entry 200: black, no stray read.
    BmpBuilder c;
    c.width = 1;
    c.height = 1;
    c.bits = 8;
    c.clrUsed = 2;
    c.palette = {0x112233, 0x445566};
    c.pixels = QByteArray::fromHex("c8000000");
    rgb = Read(c.Bytes(), w, h);
    EXPECT_EQ(rgb, (std::vector<uint8_t>{0, 0, 0}));
}

TEST_F(BmpTest, LongerInfoHeaderKeepsPaletteInPlace)
{
    BmpBuilder b;
    b.infoSize = 124; // a V5 header
    b.width = 1;
    b.height = 1;
    b.bits = 8;
    b.clrUsed = 2;
    b.palette = {0x102030, 0x405060};
    b.pixels = QByteArray::fromHex("01000000");
    int w = 0, h = 0;
    EXPECT_EQ(Read(b.Bytes(), w, h), (std::vector<uint8_t>{0x40, 0x50, 0x60}))
        << m_io.LastMessage().toStdString();
}

struct RefusalCase {
    const char *name;
    BmpBuilder file;
    const char *message;
};

TEST_F(BmpTest, BrokenFilesAreRefused)
{
    auto make = [](auto change) {
        BmpBuilder b;
        b.pixels = QByteArray(16, '\0');
        change(b);
        return b;
    };
    const RefusalCase cases[] = {
        {"RLE", make([](BmpBuilder &b) {
             b.compression = 1;
             b.bits = 8;
         }),
         "This is a compressed file."},
        {"bitfields", make([](BmpBuilder &b) {
             b.compression = 3;
             b.bits = 32;
         }),
         "This is a compressed file."},
        {"width 0", make([](BmpBuilder &b) { b.width = 0; }), "Invalid image size"},
        {"height 0", make([](BmpBuilder &b) { b.height = 0; }), "Invalid image size"},
        {"negative width", make([](BmpBuilder &b) { b.width = -2; }), "Invalid image size"},
        {"height INT_MIN", make([](BmpBuilder &b) { b.height = INT_MIN; }), "Image too large"},
        {"width INT_MAX", make([](BmpBuilder &b) {
             b.width = INT_MAX;
             b.height = 1;
         }),
         "Image too large"},
        {"65536 square", make([](BmpBuilder &b) {
             b.width = 65536;
             b.height = 65536;
         }),
         "Image too large"},
        {"1-bit huge", make([](BmpBuilder &b) {
             b.bits = 1;
             b.palette = {0, 0xFFFFFF};
             b.width = 8000;
             b.height = 8000;
         }),
         "Image data exceeds the file"},
        {"more rows than data", make([](BmpBuilder &b) { b.height = 3; }),
         "Image data exceeds the file"},
        {"offset past the end", make([](BmpBuilder &b) { b.offsetOverride = 4000; }),
         "Image data exceeds the file"},
        {"0 bits", make([](BmpBuilder &b) { b.bits = 0; }),
         "Only 1, 4, 8 and 24-bit files are supported"},
        {"2 bits", make([](BmpBuilder &b) { b.bits = 2; }),
         "Only 1, 4, 8 and 24-bit files are supported"},
        {"16 bits", make([](BmpBuilder &b) { b.bits = 16; }),
         "Only 1, 4, 8 and 24-bit files are supported"},
        {"32 bits", make([](BmpBuilder &b) { b.bits = 32; }),
         "Only 1, 4, 8 and 24-bit files are supported"},
        {"core header", make([](BmpBuilder &b) { b.infoSize = 12; }), "Not a valid BMP File"},
        {"huge palette", make([](BmpBuilder &b) {
             b.bits = 8;
             b.clrUsed = 0xFFFFFFFF;
         }),
         "Corrupt palette"},
        {"palette past offset", make([](BmpBuilder &b) {
             b.bits = 8;
             b.clrUsed = 2;
             b.palette = {1, 2};
             b.offsetOverride = 56;
         }),
         "Corrupt palette"},
        {"palette cut short", make([](BmpBuilder &b) {
             b.bits = 8;
             b.clrUsed = 200;
             b.pixels.clear();
         }),
         "Read Error!"},
    };
    for (const RefusalCase &c : cases) {
        SCOPED_TRACE(c.name);
        int w = -1, h = -1;
        auto rgb = m_io.ReadBmpAsRgb(Write(c.file.Bytes()), w, h);
        EXPECT_EQ(rgb, nullptr);
        EXPECT_EQ(w, 0);
        EXPECT_EQ(h, 0);
        EXPECT_EQ(m_io.LastMessage().toStdString(), c.message);
    }
}

TEST_F(BmpTest, TruncatedAndForeignFiles)
{
    BmpBuilder b;
    b.pixels = QByteArray(16, '\x40');
    const QByteArray whole = b.Bytes();
    for (int len = 0; len < whole.size(); ++len) {
        int w = -1, h = -1;
        EXPECT_EQ(m_io.ReadBmpAsRgb(Write(whole.left(len)), w, h), nullptr) << len;
        const std::string expected = len < 2    ? "Not a valid BMP File"
                                     : len < 54 ? "Read Error!"
                                                : "Image data exceeds the file";
        EXPECT_EQ(m_io.LastMessage().toStdString(), expected) << len;
    }
    int w = 0, h = 0;
    EXPECT_EQ(m_io.ReadBmpAsRgb(
                  Write("GIF89a........................................................"), w, h),
              nullptr);
    EXPECT_EQ(m_io.LastMessage(), "Not a valid BMP File");
    const QString missing = m_dir.filePath("missing.bmp");
    EXPECT_EQ(m_io.ReadBmpAsRgb(missing, w, h), nullptr);
    EXPECT_EQ(m_io.LastMessage(), "Can't open file for reading :\n" + missing);
}

TEST_F(BmpTest, Write24ReadsBack)
{
    std::mt19937 rng(5);
    for (auto [w, h] :
         std::vector<std::pair<int, int>>{{1, 1}, {2, 2}, {3, 2}, {5, 7}, {640, 3}, {4, -3}}) {
        SCOPED_TRACE(testing::Message() << w << "x" << h);
        const int rows = std::abs(h);
        std::vector<uint8_t> data(size_t(w) * 3 * rows);
        for (auto &v : data)
            v = uint8_t(rng());
        BitmapInfoHeader info;
        info.biWidth = w;
        info.biHeight = h;
        info.biBitCount = 24;
        const QString path = m_dir.filePath("out24.bmp");
        ASSERT_TRUE(m_io.WriteBmp24(path, data.data(), data.size(), w, h, info));
        EXPECT_EQ(m_io.LastMessage(), "OK");
        const size_t rowSize = (size_t(w) * 3 + 3) / 4 * 4;
        EXPECT_EQ(size_t(FileBytes(path).size()), 54 + rowSize * rows);
        int rw = 0, rh = 0;
        auto rgb = m_io.ReadBmpAsRgb(path, rw, rh);
        ASSERT_NE(rgb, nullptr) << m_io.LastMessage().toStdString();
        ASSERT_EQ(rw, w);
        ASSERT_EQ(rh, rows);
        for (int r = 0; r < rows; ++r) {
            const int outRow = h > 0 ? rows - 1 - r : r; // file row r lands here
            for (int x = 0; x < w; ++x)
                for (int k = 0; k < 3; ++k)
                    ASSERT_EQ(rgb[(size_t(outRow) * w + x) * 3 + k],
                              data[(size_t(r) * w + x) * 3 + 2 - k]);
        }
    }
}

TEST_F(BmpTest, Write24Refusals)
{
    std::vector<uint8_t> data(100);
    BitmapInfoHeader info;
    info.biWidth = 3;
    info.biHeight = 2;
    info.biBitCount = 24;
    const QString path = m_dir.filePath("bad.bmp");
    EXPECT_FALSE(
        m_io.WriteBmp24(path, data.data(), data.size(), 4, 2, info)); // differs from header
    EXPECT_EQ(m_io.LastMessage(), "Invalid image size");
    EXPECT_FALSE(m_io.WriteBmp24(path, data.data(), 17, 3, 2, info)); // too little data
    info.biWidth = 0;
    EXPECT_FALSE(m_io.WriteBmp24(path, data.data(), data.size(), 0, 2, info)); // no width
    info.biWidth = 3;
    EXPECT_FALSE(
        m_io.WriteBmp24(m_dir.filePath("no/such/dir/x.bmp"), data.data(), data.size(), 3, 2, info));
    EXPECT_EQ(m_io.LastMessage(), "Can't open file for writing");
    if (QFile::exists("/dev/full")) {
        EXPECT_FALSE(m_io.WriteBmp24("/dev/full", data.data(), data.size(), 3, 2, info));
        EXPECT_EQ(m_io.LastMessage(), "fwrite error\nGiving up");
    }
}

TEST_F(BmpTest, WriteIndexedReadsBack)
{
    std::mt19937 rng(9);
    for (int bits : {1, 4, 8})
        for (int w : {1, 2, 3, 5, 8, 9, 33}) {
            SCOPED_TRACE(testing::Message() << bits << " bits, width " << w);
            const int h = 3, colours = 1 << bits;
            std::vector<uint8_t> palette(size_t(colours) * 4);
            for (auto &v : palette)
                v = uint8_t(rng());
            std::vector<uint8_t> index(size_t(w) * h);
            for (auto &v : index)
                v = uint8_t(rng() % colours);
            const QString path = m_dir.filePath("idx.bmp");
            ASSERT_TRUE(m_io.WriteBmpIndexed(path, index.data(), index.size(), w, h, bits, colours,
                                             palette.data()))
                << m_io.LastMessage().toStdString();
            const size_t rowSize = (size_t(w) * bits + 31) / 32 * 4;
            EXPECT_EQ(size_t(FileBytes(path).size()), 54 + 4 * size_t(colours) + rowSize * h);
            int rw = 0, rh = 0;
            auto rgb = m_io.ReadBmpAsRgb(path, rw, rh);
            ASSERT_NE(rgb, nullptr) << m_io.LastMessage().toStdString();
            for (int r = 0; r < h; ++r)
                for (int x = 0; x < w; ++x) {
                    const uint8_t *entry = &palette[size_t(index[size_t(r) * w + x]) * 4];
                    const uint8_t *px = &rgb[(size_t(h - 1 - r) * w + x) * 3];
                    ASSERT_EQ(px[0], entry[0]);
                    ASSERT_EQ(px[1], entry[1]);
                    ASSERT_EQ(px[2], entry[2]);
                }
        }
}

TEST_F(BmpTest, WriteIndexedFourBitWidthThreeLayout)
{
    const uint8_t index[6] = {1, 2, 3, 0xF, 0xE, 0x7};
    std::vector<uint8_t> palette(16 * 4, 0);
    const QString path = m_dir.filePath("w3.bmp");
    ASSERT_TRUE(m_io.WriteBmpIndexed(path, index, 6, 3, 2, 4, 16, palette.data()));
    const QByteArray bytes = FileBytes(path);
    ASSERT_EQ(bytes.size(), 54 + 64 + 8);
    EXPECT_EQ(bytes.mid(54 + 64).toHex(), "12300000fe700000");
    EXPECT_EQ(bytes.mid(46, 4).toHex(), "10000000"); // colours used
}

TEST_F(BmpTest, WriteIndexedRefusals)
{
    const uint8_t index[9] = {0};
    const uint8_t palette[8 * 4] = {0};
    EXPECT_FALSE(m_io.WriteBmpIndexed(m_dir.filePath("a.bmp"), index, 9, 3, 3, 24, 2, palette));
    EXPECT_EQ(m_io.LastMessage(), "We don't do 24-bit files in here, sorry");
    EXPECT_FALSE(m_io.WriteBmpIndexed(m_dir.filePath("c.bmp"), index, 9, 3, 3, 0, 2, palette));
    EXPECT_EQ(m_io.LastMessage(), "Unsupported bit count");
    EXPECT_FALSE(m_io.WriteBmpIndexed(m_dir.filePath("d.bmp"), index, 4, 3, 3, 8, 2, palette));
    EXPECT_EQ(m_io.LastMessage(), "Invalid image size");
    EXPECT_FALSE(
        m_io.WriteBmpIndexed(m_dir.filePath("no/dir/e.bmp"), index, 9, 3, 3, 8, 2, palette));
    EXPECT_EQ(m_io.LastMessage(), "Can't Open");
    if (QFile::exists("/dev/full")) {
        EXPECT_FALSE(m_io.WriteBmpIndexed("/dev/full", index, 9, 3, 3, 8, 2, palette));
        EXPECT_EQ(m_io.LastMessage(), "byteswritten != filesize");
    }
}

// Bit counts that do not divide a byte overflow the packed byte once more than 8 bits
// are pending; that happens on the first pixel for counts above 8. The headers and
// the palette are written by then.
TEST_F(BmpTest, WriteIndexedBitCountsThatDoNotDivideAByte)
{
    const uint8_t index[9] = {1, 0, 1, 0, 1, 0, 1, 0, 1};
    const uint8_t palette[2 * 4] = {0};
    struct {
        int bits, width;
        const char *message;
    } cases[] = {
        {3, 2, "OK"}, // 6 bits pending at the row's end: one partly filled byte
        {3, 3, "Error : nBits > 8????"},
        {5, 1, "OK"},
        {5, 2, "Error : nBits > 8????"},
        {7, 2, "Error : nBits > 8????"},
        {2, 3, "OK"},
        {16, 1, "Error : nBits > 8????"},
        {32, 1, "Error : nBits > 8????"},
        {9, 1, "Error : nBits > 8????"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.bits << " bits, width " << c.width);
        const QString path = m_dir.filePath("odd.bmp");
        const bool ok = m_io.WriteBmpIndexed(path, index, 9, c.width, 3, c.bits, 2, palette);
        EXPECT_EQ(m_io.LastMessage().toStdString(), c.message);
        EXPECT_EQ(ok, std::string(c.message) == "OK");
        const QByteArray bytes = FileBytes(path);
        ASSERT_GE(bytes.size(), 54 + 8);
        EXPECT_EQ(uint8_t(bytes[28]), c.bits); // bit count in the info header
        const size_t rowSize = (size_t(c.width) * c.bits + 31) / 32 * 4;
        if (ok) {
            EXPECT_EQ(size_t(bytes.size()), 54 + 8 + rowSize * 3);
        }
    }
}

// Files written here must open in a reader that is not ours, with the same pixels.
TEST_F(BmpTest, IndependentReaderAgrees)
{
    QString python;
    for (const QString &candidate :
         {QStringLiteral("/usr/bin/python3"), QStringLiteral("python3")}) {
        QProcess probe;
        probe.start(candidate, {"-c", "import PIL"});
        if (probe.waitForFinished(20000) && probe.exitStatus() == QProcess::NormalExit &&
            probe.exitCode() == 0) {
            python = candidate;
            break;
        }
    }
    const QString identify = QStandardPaths::findExecutable("identify");
    if (python.isEmpty() && identify.isEmpty())
        GTEST_SKIP() << "neither python3 with PIL nor ImageMagick identify is installed";

    // A 24-bit file and a 4-bit file, each 5 x 3.
    std::vector<uint8_t> data(5 * 3 * 3);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = uint8_t(i * 17);
    BitmapInfoHeader info;
    info.biWidth = 5;
    info.biHeight = 3;
    info.biBitCount = 24;
    const QString file24 = m_dir.filePath("ind24.bmp");
    ASSERT_TRUE(m_io.WriteBmp24(file24, data.data(), data.size(), 5, 3, info));
    const uint8_t index[15] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14};
    std::vector<uint8_t> palette(16 * 4);
    for (size_t i = 0; i < palette.size(); ++i)
        palette[i] = uint8_t(i * 5);
    const QString file4 = m_dir.filePath("ind4.bmp");
    ASSERT_TRUE(m_io.WriteBmpIndexed(file4, index, 15, 5, 3, 4, 16, palette.data()));

    for (const QString &path : {file24, file4}) {
        SCOPED_TRACE(path.toStdString());
        int w = 0, h = 0;
        auto ours = m_io.ReadBmpAsRgb(path, w, h);
        ASSERT_NE(ours, nullptr);
        QString theirs;
        QProcess p;
        if (!python.isEmpty()) {
            p.start(
                python,
                {"-c",
                 "import sys\nfrom PIL import Image\nim=Image.open(sys.argv[1]).convert('RGB')\n"
                 "print(im.size[0], im.size[1], im.tobytes().hex())",
                 path});
        } else {
            p.start(identify, {"-format", "%w %h", path});
        }
        ASSERT_TRUE(p.waitForFinished(30000));
        ASSERT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
        theirs = QString::fromLatin1(p.readAllStandardOutput()).trimmed();
        QString expected = QStringLiteral("5 3");
        if (!python.isEmpty())
            expected += " " + QByteArray(reinterpret_cast<const char *>(ours.get()), 45).toHex();
        EXPECT_EQ(theirs.toStdString(), expected.toStdString());
    }
}
