#include "ui/picture/dibstretch.h"

#include <algorithm>
#include <cstring>

#include <QtGlobal>

namespace {
constexpr bool kLittleEndian = Q_BYTE_ORDER == Q_LITTLE_ENDIAN;
}

bool DibPicture::IsValid() const
{
    if (!bits || width <= 0 || height <= 0 || bitCount < 8 || bitCount > 32 || bitCount % 8)
        return false;
    // A scaled picture must cover its full size at its scale (no row or column of the
    // full picture may map beyond it).
    if (scale < 1 || scale > 8 ||
        (scale < 8 && (std::int64_t(fullWidth) * scale > std::int64_t(width) * 8 ||
                       std::int64_t(fullHeight) * scale > std::int64_t(height) * 8 ||
                       fullWidth <= 0 || fullHeight <= 0)))
        return false;
    const std::uint64_t needed = std::uint64_t(Stride()) * std::uint64_t(height);
    return imageSize == 0 || needed <= imageSize;
}

int DibPicture::Stride() const
{
    return ((width * bitCount / 8) + 3) & ~3;
}

void CDibStretcher::PrepareColumns(int srcX, int srcW, int dstW, int bytesPerPixel, int scale,
                                   int clipLeft, int clipWidth)
{
    if (srcX == m_keySrcX && srcW == m_keySrcW && dstW == m_keyDstW && bytesPerPixel == m_keyBpp &&
        scale == m_keyScale && clipLeft == m_keyClipLeft && clipWidth == m_keyClipWidth)
        return;
    m_xOffset.resize(std::size_t(clipWidth));
    for (int i = 0; i < clipWidth; ++i) {
        const int column = clipLeft + i; // target column within the full rectangle
        const int sx = (srcX + int(std::int64_t(column) * srcW / dstW)) * scale / 8;
        m_xOffset[std::size_t(i)] = std::uint32_t(sx * bytesPerPixel);
    }
    m_keyScale = scale;
    m_keySrcX = srcX;
    m_keySrcW = srcW;
    m_keyDstW = dstW;
    m_keyBpp = bytesPerPixel;
    m_keyClipLeft = clipLeft;
    m_keyClipWidth = clipWidth;
}

bool CDibStretcher::Stretch(const DibPicture &pic, const QRect &srcIn, QImage &dst,
                            const QRect &dstRect, const QRect &clip)
{
    if (!pic.IsValid() || dst.isNull() || dst.depth() != 32 || dstRect.isEmpty())
        return false;
    const QRect src = srcIn.intersected(QRect(0, 0, pic.FullWidth(), pic.FullHeight()));
    if (src.isEmpty() || src != srcIn)
        return false;
    QRect clipped = dstRect.intersected(dst.rect());
    if (!clip.isNull())
        clipped = clipped.intersected(clip);
    if (clipped.isEmpty())
        return false;

    const int bpp = pic.bitCount / 8;
    const int stride = pic.Stride();
    const int clipLeft = clipped.left() - dstRect.left();
    const int clipTop = clipped.top() - dstRect.top();
    const int outW = clipped.width();
    PrepareColumns(src.left(), src.width(), dstRect.width(), bpp, pic.scale, clipLeft, outW);

    const std::uint32_t *xo = m_xOffset.data();
    // A 4-byte load per pixel is safe while the widest offset leaves 4 bytes in the
    // buffer; the top picture row is the last one in memory.
    const std::uint64_t bufferBytes = std::uint64_t(stride) * std::uint64_t(pic.height);
    std::uint8_t *const dstBits = dst.bits(); // detaches once, not per row
    const std::size_t dstStride = std::size_t(dst.bytesPerLine());
    int previousSrcRow = -1;
    std::uint32_t *previousOut = nullptr;
    for (int j = 0; j < clipped.height(); ++j) {
        const int row = clipTop + j;
        const int srcRow =
            (src.top() + int(std::int64_t(row) * src.height() / dstRect.height())) * pic.scale / 8;
        auto *out = reinterpret_cast<std::uint32_t *>(dstBits +
                                                      std::size_t(clipped.top() + j) * dstStride) +
                    clipped.left();
        if (srcRow == previousSrcRow) {
            std::memcpy(out, previousOut, std::size_t(outW) * 4);
            continue;
        }
        const std::size_t rowStart = std::size_t(pic.height - 1 - srcRow) * std::size_t(stride);
        const std::uint8_t *in = pic.bits + rowStart;
        const bool wideLoad =
            kLittleEndian && bpp >= 3 && rowStart + xo[outW - 1] + 4 <= bufferBytes;
        if (wideLoad) {
            for (int i = 0; i < outW; ++i) {
                std::uint32_t v;
                std::memcpy(&v, in + xo[i], 4);
                out[i] = 0xFF000000u | (v & 0x00FFFFFFu);
            }
        } else if (bpp >= 3) {
            for (int i = 0; i < outW; ++i) {
                const std::uint8_t *p = in + xo[i];
                out[i] =
                    0xFF000000u | (std::uint32_t(p[2]) << 16) | (std::uint32_t(p[1]) << 8) | p[0];
            }
        } else {
            for (int i = 0; i < outW; ++i) {
                const std::uint32_t g = in[xo[i]];
                out[i] = 0xFF000000u | (g << 16) | (g << 8) | g;
            }
        }
        previousSrcRow = srcRow;
        previousOut = out;
    }
    return true;
}

void DrawTileFrame(QImage &dst, const QRect &tile, QRgb colour)
{
    if (tile.isEmpty() || dst.depth() != 32)
        return;
    const QRect frame = tile.adjusted(-1, -1, 1, 1);
    const QRect bounds = dst.rect();
    std::uint8_t *const bits = dst.bits(); // detaches once, not per pixel
    const std::size_t stride = std::size_t(dst.bytesPerLine());
    auto put = [&](int x, int y) {
        if (bounds.contains(x, y))
            reinterpret_cast<QRgb *>(bits + std::size_t(y) * stride)[x] = colour;
    };
    for (int x = frame.left(); x <= frame.right(); ++x) {
        put(x, frame.top());
        put(x, frame.bottom());
    }
    for (int y = frame.top(); y <= frame.bottom(); ++y) {
        put(frame.left(), y);
        put(frame.right(), y);
    }
}
