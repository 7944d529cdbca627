#include "media/packeddib.h"

#include <QImage>
#include <QtEndian>

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <new>

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#include <emmintrin.h>
#define TELVANE_STREAM_STORES 1
#endif

namespace {
constexpr int MAX_SIDE = 8192;
}

CPackedDib CPackedDib::MakePackedDib(const uint8_t *pBottomUpBgr, int nWidth, int nHeight,
                                     int nStride)
{
    if (!pBottomUpBgr || std::abs(nStride) < nWidth * 3)
        return CPackedDib();
    CPackedDib dib = Allocate(nWidth, nHeight);
    if (dib.IsNull())
        return dib;
    const uint64_t nRow = BitmapRowBytes(nWidth, 24);
    for (int y = 0; y < nHeight; ++y) {
        uint8_t *pDst = dib.m_pPixels.get() + nRow * uint64_t(y);
        std::memcpy(pDst, pBottomUpBgr + std::ptrdiff_t(nStride) * y, size_t(nWidth) * 3);
    }
    return dib;
}

CPackedDib CPackedDib::Allocate(int nWidth, int nHeight)
{
    CPackedDib dib;
    if (nWidth <= 0 || nHeight <= 0 || nWidth > MAX_SIDE || nHeight > MAX_SIDE)
        return dib;
    const uint64_t nRow = BitmapRowBytes(nWidth, 24);
    const uint64_t nSize = nRow * uint64_t(nHeight);
    // Zeroed, so the padding at the end of each row is defined.
    dib.m_pPixels.reset(new (std::nothrow) uint8_t[nSize]());
    if (!dib.m_pPixels)
        return dib;
    dib.m_header.biWidth = nWidth;
    dib.m_header.biHeight = nHeight;
    dib.m_header.biBitCount = 24;
    dib.m_header.biCompression = BITMAP_BI_RGB;
    dib.m_header.biSizeImage = uint32_t(nSize);
    return dib;
}

namespace {

bool IsRgb32(QImage::Format format)
{
    return format == QImage::Format_RGB32 || format == QImage::Format_ARGB32 ||
           format == QImage::Format_ARGB32_Premultiplied;
}

} // namespace

void CPackedDib::FillFromRgb32(const QImage &image)
{
    // One pass, no intermediate image: this runs on the user-interface thread for
    // every picture recorded. Four pixels (blue, green, red, unused in memory) go
    // out as three 32-bit words of blue, green, red bytes. The rows are bound for
    // another thread and are not read here again: where the processor allows it
    // they are written past the caches, which spares reading each line of the
    // buffer in before writing it (more than half the time of the copy).
    const int nWidth = image.width();
    const int nHeight = image.height();
    const int nRow = RowBytes();
    for (int y = 0; y < nHeight; ++y) {
        const auto *pSrc = reinterpret_cast<const QRgb *>(image.constScanLine(nHeight - 1 - y));
        uint8_t *pDst = m_pPixels.get() + std::ptrdiff_t(nRow) * y;
        int x = 0;
        for (; x + 4 <= nWidth; x += 4, pDst += 12) {
            const uint32_t p0 = pSrc[x] & 0xFFFFFFu, p1 = pSrc[x + 1] & 0xFFFFFFu,
                           p2 = pSrc[x + 2] & 0xFFFFFFu, p3 = pSrc[x + 3] & 0xFFFFFFu;
            const uint32_t words[3] = {p0 | p1 << 24, p1 >> 8 | p2 << 16, p2 >> 16 | p3 << 8};
#ifdef TELVANE_STREAM_STORES
            // Rows start on 4-byte boundaries, so every word is aligned.
            for (int i = 0; i < 3; ++i)
                _mm_stream_si32(reinterpret_cast<int *>(pDst + 4 * i), int(words[i]));
#else
            const uint32_t le[3] = {qToLittleEndian(words[0]), qToLittleEndian(words[1]),
                                    qToLittleEndian(words[2])};
            std::memcpy(pDst, le, sizeof le);
#endif
        }
        for (; x < nWidth; ++x, pDst += 3) {
            const QRgb c = pSrc[x];
            pDst[0] = uint8_t(c);
            pDst[1] = uint8_t(c >> 8);
            pDst[2] = uint8_t(c >> 16);
        }
    }
#ifdef TELVANE_STREAM_STORES
    _mm_sfence(); // the rows are in memory before the buffer is handed over
#endif
}

CPackedDib CPackedDib::FromImage(const QImage &image)
{
    if (image.isNull())
        return CPackedDib();
    const QImage::Format format = image.format();
    if (IsRgb32(format)) {
        CPackedDib dib = Allocate(image.width(), image.height());
        if (!dib.IsNull())
            dib.FillFromRgb32(image);
        return dib;
    }
    const QImage bgr =
        format == QImage::Format_BGR888 ? image : image.convertToFormat(QImage::Format_BGR888);
    if (bgr.isNull())
        return CPackedDib();
    // The last row of the image is the first of the bottom-up picture.
    const int nHeight = bgr.height();
    return MakePackedDib(bgr.constScanLine(nHeight - 1), bgr.width(), nHeight,
                         -int(bgr.bytesPerLine()));
}

bool CPackedDib::CopyFrom(const QImage &image)
{
    if (!IsNull() && IsRgb32(image.format()) && image.width() == Width() &&
        image.height() == Height()) {
        FillFromRgb32(image); // every byte of every row but the padding, which stays zero
        return true;
    }
    CPackedDib fresh = FromImage(image);
    if (fresh.IsNull())
        return false; // this picture stays as it was
    *this = std::move(fresh);
    return true;
}
