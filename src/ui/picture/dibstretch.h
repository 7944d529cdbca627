#pragma once
// Drawing of a decoded picture (bottom-up rows, 24-bit blue-green-red, each row
// padded to 4 bytes) into a 32-bit image: a nearest-neighbour stretch without
// smoothing, and the frame around a tile.
//
// Windows stretch pictures straight into the 32-bit image they paint on (the
// window's backing store) while they paint; QPainter with a 24-bit source would be
// several times slower than the decode of the picture itself.

#include <QImage>
#include <QRect>
#include <cstdint>
#include <vector>

// A borrowed view of one picture: the pixels stay owned by the image pipeline.
struct DibPicture {
    const std::uint8_t *bits = nullptr;
    int width = 0;               // pixels
    int height = 0;              // rows (positive: bottom-up)
    int bitCount = 24;           // bits per pixel
    std::uint32_t imageSize = 0; // bytes of the pixel buffer; 0 = computed from the format
    // A picture decoded at scale / 8 of the size it stands for: pixel (x, y) of the full
    // picture is pixel (x * scale / 8, y * scale / 8) here.
    int scale = 8;
    int fullWidth = 0; // the full size when scale is below 8
    int fullHeight = 0;

    bool IsValid() const;
    int Stride() const; // bytes per row, padded to a multiple of 4
    // The size rectangles of this picture are given in (the full picture's).
    int FullWidth() const { return scale < 8 ? fullWidth : width; }
    int FullHeight() const { return scale < 8 ? fullHeight : height; }
};

// Nearest-neighbour stretch of a source rectangle (top-down coordinates of the full
// picture, whatever scale it was decoded at) into a rectangle of a Format_RGB32 / ARGB32 image.
// Keeps its index tables between calls, so a stream of same-sized pictures computes them once.
class CDibStretcher {
  public:
    // Only the pixels of dstRect inside clip (null = everywhere) and inside dst are
    // written; each keeps the source pixel it has in the whole stretch, so a tile
    // repainted in parts matches one drawn at once. Returns false (and draws
    // nothing) when the picture or rectangles are unusable.
    bool Stretch(const DibPicture &pic, const QRect &src, QImage &dst, const QRect &dstRect,
                 const QRect &clip = QRect());

  private:
    void PrepareColumns(int srcX, int srcW, int dstW, int bytesPerPixel, int scale, int clipLeft,
                        int clipWidth);
    std::vector<std::uint32_t> m_xOffset; // byte offset in a source row per target column
    int m_keySrcX = -1, m_keySrcW = -1, m_keyDstW = -1, m_keyBpp = -1;
    int m_keyClipLeft = -1, m_keyClipWidth = -1, m_keyScale = -1;
};

// Draws the one-pixel frame around a tile (the rectangle one pixel larger).
void DrawTileFrame(QImage &dst, const QRect &tile, QRgb colour);
