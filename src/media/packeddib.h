#pragma once
// One captured picture as the recording queues it for the writer thread: the
// 40-byte bitmap information header and the 24-bit pixel rows, bottom-up, each row
// padded to a multiple of 4 bytes (1920 x 480 = 921,600 bytes for the picture area).

#include "imaging/bitmapinfo.h"

#include <cstdint>
#include <memory>

class QImage;

class CPackedDib {
  public:
    CPackedDib() = default;
    CPackedDib(CPackedDib &&) noexcept = default;
    CPackedDib &operator=(CPackedDib &&) noexcept = default;
    CPackedDib(const CPackedDib &) = delete;
    CPackedDib &operator=(const CPackedDib &) = delete;

    // Copies a 24-bit bottom-up picture whose rows are nStride bytes apart (negative:
    // the rows lie in memory top row first, pBottomUpBgr pointing at the bottom one). Returns
    // an empty picture when the sizes are out of range or memory runs out.
    static CPackedDib MakePackedDib(const uint8_t *pBottomUpBgr, int nWidth, int nHeight,
                                    int nStride);

    // The picture of an image of any format (a window's picture area), rows turned
    // bottom-up. Empty for a null image.
    static CPackedDib FromImage(const QImage &image);
    // The same into this picture's memory when it has the image's size (a buffer
    // used again), else into new memory. False, and this picture unchanged, when
    // the image is null or memory runs out.
    bool CopyFrom(const QImage &image);

    bool IsNull() const { return !m_pPixels; }
    const BitmapInfoHeader &Header() const { return m_header; }
    int Width() const { return m_header.biWidth; }
    int Height() const { return m_header.biHeight; }
    int RowBytes() const { return int(BitmapRowBytes(m_header.biWidth, 24)); }
    uint32_t ImageSize() const { return m_header.biSizeImage; }
    const uint8_t *Pixels() const { return m_pPixels.get(); }
    uint8_t *Pixels() { return m_pPixels.get(); }

    // A zeroed picture of that size; empty when out of range or out of memory.
    static CPackedDib Allocate(int nWidth, int nHeight);

  private:
    void FillFromRgb32(const QImage &image);

    BitmapInfoHeader m_header;
    std::unique_ptr<uint8_t[]> m_pPixels;
};
