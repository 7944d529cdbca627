#include "media/packeddib.h"

#include <QImage>

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {
constexpr int MAX_SIDE = 8192;
}

CPackedDib CPackedDib::MakePackedDib(const uint8_t *pBottomUpBgr, int nWidth, int nHeight,
                                     int nStride)
{
    CPackedDib dib;
    if (!pBottomUpBgr || nWidth <= 0 || nHeight <= 0 || nWidth > MAX_SIDE || nHeight > MAX_SIDE ||
        std::abs(nStride) < nWidth * 3)
        return dib;
    const uint64_t nRow = BitmapRowBytes(nWidth, 24);
    const uint64_t nSize = nRow * uint64_t(nHeight);
    dib.m_pPixels.reset(new (std::nothrow) uint8_t[nSize]);
    if (!dib.m_pPixels)
        return dib;
    for (int y = 0; y < nHeight; ++y) {
        uint8_t *pDst = dib.m_pPixels.get() + nRow * uint64_t(y);
        std::memcpy(pDst, pBottomUpBgr + std::ptrdiff_t(nStride) * y, size_t(nWidth) * 3);
        std::memset(pDst + nWidth * 3, 0, size_t(nRow) - size_t(nWidth) * 3);
    }
    dib.m_header.biWidth = nWidth;
    dib.m_header.biHeight = nHeight;
    dib.m_header.biBitCount = 24;
    dib.m_header.biCompression = BITMAP_BI_RGB;
    dib.m_header.biSizeImage = uint32_t(nSize);
    return dib;
}

CPackedDib CPackedDib::FromImage(const QImage &image)
{
    if (image.isNull())
        return CPackedDib();
    const QImage bgr = image.format() == QImage::Format_BGR888
                           ? image
                           : image.convertToFormat(QImage::Format_BGR888);
    if (bgr.isNull())
        return CPackedDib();
    // The last row of the image is the first of the bottom-up picture.
    const int nHeight = bgr.height();
    return MakePackedDib(bgr.constScanLine(nHeight - 1), bgr.width(), nHeight,
                         -int(bgr.bytesPerLine()));
}
