#include "imaging/bmpfileio.h"

#include <QFile>

#include <cstdlib>
#include <cstring>
#include <new>

namespace {

constexpr uint32_t FILE_HEADER_SIZE = 14;
constexpr uint32_t HEADERS_SIZE = FILE_HEADER_SIZE + BITMAP_INFO_HEADER_SIZE; // 54

// Reads little-endian fields one at a time; a short read sticks until checked.
class FieldReader {
  public:
    explicit FieldReader(QFile &file) : m_file(file) {}
    uint32_t Get(int nBytes)
    {
        uint8_t b[4] = {0, 0, 0, 0};
        if (m_bShort || m_file.read(reinterpret_cast<char *>(b), nBytes) != nBytes) {
            m_bShort = true;
            return 0;
        }
        return uint32_t(b[0]) | (uint32_t(b[1]) << 8) | (uint32_t(b[2]) << 16) |
               (uint32_t(b[3]) << 24);
    }
    bool Short() const { return m_bShort; }

  private:
    QFile &m_file;
    bool m_bShort = false;
};

void Put16(QByteArray &out, uint32_t v)
{
    out.append(char(v & 0xFF));
    out.append(char((v >> 8) & 0xFF));
}

void Put32(QByteArray &out, uint32_t v)
{
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

QByteArray FileHeader(uint32_t nFileSize, uint32_t nPixelOffset)
{
    QByteArray out("BM");
    Put32(out, nFileSize);
    Put16(out, 0);
    Put16(out, 0);
    Put32(out, nPixelOffset);
    return out;
}

QByteArray InfoHeaderBytes(const BitmapInfoHeader &info)
{
    uint8_t bytes[BITMAP_INFO_HEADER_SIZE];
    StoreInfoHeader(info, bytes);
    return QByteArray(reinterpret_cast<const char *>(bytes), BITMAP_INFO_HEADER_SIZE);
}

bool SupportedBitCount(uint32_t nBits)
{
    return nBits == 1 || nBits == 4 || nBits == 8 || nBits == 24;
}

} // namespace

std::unique_ptr<uint8_t[]> BmpFileIo::ReadBmpAsRgb(const QString &strFileName, int &nWidth,
                                                   int &nHeight)
{
    m_strMessage = QStringLiteral("OK");
    m_nBytesRead = 0;
    nWidth = 0;
    nHeight = 0;
    QFile file(strFileName);
    if (!file.open(QIODevice::ReadOnly)) {
        m_strMessage = QStringLiteral("Can't open file for reading :\n") + strFileName;
        return nullptr;
    }
    const auto fail = [&](const char *text) {
        m_strMessage = QString::fromLatin1(text);
        m_nBytesRead = uint64_t(file.pos());
        return nullptr;
    };
    char magic[2] = {0, 0};
    if (file.read(magic, 2) != 2 || magic[0] != 'B' || magic[1] != 'M')
        return fail("Not a valid BMP File");

    FieldReader in(file);
    in.Get(4); // file size: not trusted, the real length is used below
    in.Get(2);
    in.Get(2);
    const uint32_t pixelOffset = in.Get(4);
    BitmapInfoHeader info;
    info.biSize = in.Get(4);
    info.biWidth = int32_t(in.Get(4));
    info.biHeight = int32_t(in.Get(4));
    info.biPlanes = uint16_t(in.Get(2));
    info.biBitCount = uint16_t(in.Get(2));
    info.biCompression = in.Get(4);
    info.biSizeImage = in.Get(4);
    info.biXPelsPerMeter = int32_t(in.Get(4));
    info.biYPelsPerMeter = int32_t(in.Get(4));
    info.biClrUsed = in.Get(4);
    info.biClrImportant = in.Get(4);
    if (in.Short())
        return fail("Read Error!");
    if (info.biCompression != 0)
        return fail("This is a compressed file.");
    if (info.biSize < BITMAP_INFO_HEADER_SIZE)
        return fail("Not a valid BMP File"); // the 12-byte core header has other fields
    if (!SupportedBitCount(info.biBitCount))
        return fail("Only 1, 4, 8 and 24-bit files are supported");
    const int64_t width = info.biWidth;
    const bool bTopDown = info.biHeight < 0;
    const int64_t height = bTopDown ? -int64_t(info.biHeight) : int64_t(info.biHeight);
    if (width <= 0 || height <= 0)
        return fail("Invalid image size");
    const uint64_t rgbBytes = uint64_t(width) * 3 * uint64_t(height);
    if (rgbBytes > MAX_RGB_BYTES)
        return fail("Image too large");

    // A longer (V4, V5) info header comes before the palette.
    if (info.biSize > BITMAP_INFO_HEADER_SIZE && !file.seek(qint64(FILE_HEADER_SIZE) + info.biSize))
        return fail("Read Error!");

    uint8_t palette[256][3] = {}; // R, G, B; indices past the file's palette give black
    if (info.biBitCount <= 8) {
        const uint32_t colours = info.biClrUsed ? info.biClrUsed : (1u << info.biBitCount);
        if (colours > 256)
            return fail("Corrupt palette");
        for (uint32_t i = 0; i < colours; ++i) {
            uint8_t entry[4];
            if (file.read(reinterpret_cast<char *>(entry), 4) != 4)
                return fail("Read Error!");
            palette[i][0] = entry[2];
            palette[i][1] = entry[1];
            palette[i][2] = entry[0];
        }
    }
    if (qint64(pixelOffset) < file.pos())
        return fail("Corrupt palette");
    const uint64_t rowBytes = BitmapRowBytes(width, info.biBitCount);
    if (uint64_t(pixelOffset) + rowBytes * uint64_t(height) > uint64_t(file.size()))
        return fail("Image data exceeds the file");
    if (!file.seek(pixelOffset))
        return fail("Read Error");

    std::unique_ptr<uint8_t[]> rgb(new (std::nothrow) uint8_t[rgbBytes]);
    std::unique_ptr<uint8_t[]> row(new (std::nothrow) uint8_t[rowBytes]);
    if (!rgb || !row)
        return fail("Memory alloc Failed");

    const int bits = info.biBitCount;
    for (int64_t stored = 0; stored < height; ++stored) {
        if (file.read(reinterpret_cast<char *>(row.get()), qint64(rowBytes)) != qint64(rowBytes))
            return fail("Read Error");
        const int64_t outRow = bTopDown ? stored : height - 1 - stored;
        uint8_t *out = rgb.get() + uint64_t(outRow) * uint64_t(width) * 3;
        if (bits == 24) {
            for (int64_t x = 0; x < width; ++x) {
                out[3 * x + 0] = row[3 * x + 2];
                out[3 * x + 1] = row[3 * x + 1];
                out[3 * x + 2] = row[3 * x + 0];
            }
            continue;
        }
        const int perByte = 8 / bits;
        const uint32_t mask = (1u << bits) - 1;
        for (int64_t x = 0; x < width; ++x) {
            const int shift = 8 - bits * int(x % perByte + 1); // most significant bits first
            const uint32_t index = (row[x / perByte] >> shift) & mask;
            std::memcpy(out + 3 * x, palette[index], 3);
        }
    }
    m_nBytesRead = uint64_t(file.pos());
    nWidth = int(width);
    nHeight = int(height);
    return rgb;
}

bool BmpFileIo::WriteBmp24(const QString &strFileName, const uint8_t *pData, size_t nDataBytes,
                           int nWidth, int nHeight, const BitmapInfoHeader &info)
{
    m_strMessage = QStringLiteral("OK");
    const uint64_t rows = uint64_t(std::llabs(int64_t(nHeight)));
    const uint64_t dataRow = uint64_t(nWidth > 0 ? nWidth : 0) * 3;
    const uint64_t rowSize = BitmapRowBytes(nWidth, 24);
    const uint64_t fileSize = rowSize * rows + HEADERS_SIZE;
    if (nWidth <= 0 || nHeight == 0 || info.biWidth != nWidth || info.biHeight != nHeight ||
        !pData || nDataBytes < dataRow * rows || fileSize > UINT32_MAX) {
        m_strMessage = QStringLiteral("Invalid image size");
        return false;
    }
    QFile file(strFileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        m_strMessage = QStringLiteral("Can't open file for writing");
        return false;
    }
    const auto put = [&](const char *p, qint64 n) { return file.write(p, n) == n; };
    QByteArray head = FileHeader(uint32_t(fileSize), HEADERS_SIZE) + InfoHeaderBytes(info);
    bool ok = put(head.constData(), head.size());
    const char zeros[4] = {0, 0, 0, 0};
    for (uint64_t r = 0; ok && r < rows; ++r) {
        ok = put(reinterpret_cast<const char *>(pData + r * dataRow), qint64(dataRow)) &&
             put(zeros, qint64(rowSize - dataRow));
    }
    ok = ok && file.flush();
    file.close();
    if (!ok || file.error() != QFileDevice::NoError) {
        m_strMessage = QStringLiteral("fwrite error\nGiving up");
        return false;
    }
    return true;
}

bool BmpFileIo::WriteBmpIndexed(const QString &strFileName, const uint8_t *pIndex,
                                size_t nIndexBytes, int nWidth, int nHeight, int nBitsPerPixel,
                                int nColours, const uint8_t *pPalette)
{
    m_strMessage = QStringLiteral("OK");
    if (nBitsPerPixel == 24) {
        m_strMessage = QStringLiteral("We don't do 24-bit files in here, sorry");
        return false;
    }
    const uint64_t rows = uint64_t(std::llabs(int64_t(nHeight)));
    const uint64_t pixelsPerRow = uint64_t(nWidth > 0 ? nWidth : 0);
    // Bit counts above 8 get as far as the pixels, where the first one overflows the
    // byte being packed; only counts the header cannot hold are refused here.
    if (nBitsPerPixel < 1 || nBitsPerPixel > UINT16_MAX) {
        m_strMessage = QStringLiteral("Unsupported bit count");
        return false;
    }
    if (nWidth <= 0 || nHeight == 0 || !pIndex || nIndexBytes < pixelsPerRow * rows ||
        nColours < 0 || nColours > 256 || (nColours > 0 && !pPalette)) {
        m_strMessage = QStringLiteral("Invalid image size");
        return false;
    }
    const uint64_t paletteSize = uint64_t(nColours) * 4;
    const uint64_t rowSize = BitmapRowBytes(nWidth, uint32_t(nBitsPerPixel));
    const uint64_t imageSize = rowSize * rows;
    const uint64_t pixelOffset = paletteSize + HEADERS_SIZE;
    const uint64_t fileSize = pixelOffset + imageSize;
    if (fileSize > UINT32_MAX) {
        m_strMessage = QStringLiteral("Invalid image size");
        return false;
    }
    QFile file(strFileName);
    // Unbuffered, so that every write reports what really reached the file.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        m_strMessage = QStringLiteral("Can't Open");
        return false;
    }
    uint64_t written = 0;
    const auto put = [&](const QByteArray &bytes) {
        const qint64 n = file.write(bytes);
        if (n > 0)
            written += uint64_t(n);
    };
    BitmapInfoHeader info;
    info.biWidth = nWidth;
    info.biHeight = nHeight;
    info.biBitCount = uint16_t(nBitsPerPixel);
    info.biSizeImage = uint32_t(imageSize);
    info.biClrUsed = uint32_t(nColours);
    info.biClrImportant = uint32_t(nColours);
    put(FileHeader(uint32_t(fileSize), uint32_t(pixelOffset)) + InfoHeaderBytes(info));

    QByteArray paletteBytes;
    for (int i = 0; i < nColours; ++i) {
        const uint8_t *e = pPalette + 4 * i;
        paletteBytes.append(char(e[2])).append(char(e[1])).append(char(e[0])).append('\0');
    }
    put(paletteBytes);

    const uint32_t mask = nBitsPerPixel >= 8 ? 0xFFu : (1u << nBitsPerPixel) - 1;
    QByteArray row;
    if (nBitsPerPixel <= 8) // a larger count never gets past the first pixel
        row.reserve(qsizetype(rowSize));
    bool ok = true;
    for (uint64_t r = 0; ok && r < rows; ++r) {
        row.clear();
        uint32_t pending = 0;
        int nBits = 0;
        const uint8_t *src = pIndex + r * pixelsPerRow;
        for (uint64_t x = 0; x < pixelsPerRow; ++x) {
            // More than 8 bits pending: the bit count does not divide a byte.
            if (nBits + nBitsPerPixel > 8) {
                m_strMessage = QStringLiteral("Error : nBits > 8????");
                ok = false;
                break;
            }
            pending = (pending << nBitsPerPixel) | (src[x] & mask);
            nBits += nBitsPerPixel;
            if (nBits == 8) {
                row.append(char(pending));
                pending = 0;
                nBits = 0;
            }
        }
        if (!ok)
            break;
        if (nBits > 0)
            row.append(char(pending << (8 - nBits)));
        while (uint64_t(row.size()) % 4 != 0)
            row.append('\0');
        put(row);
    }
    file.flush();
    file.close();
    if (!ok)
        return false;
    if (written != fileSize) {
        m_strMessage = QStringLiteral("byteswritten != filesize");
        return false;
    }
    return true;
}
