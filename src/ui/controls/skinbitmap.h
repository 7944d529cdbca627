#pragma once

// CSkinBitmap: a skin bitmap that knows its size and draws itself either opaquely or with
// one colour transparent. The transparent (key) colour is the colour of the bitmap's
// top-left pixel; the mask of the key-coloured pixels is made once, on the first
// transparent draw, and kept until MakeMask is called again.

#include <QImage>

class QPainter;

class CSkinBitmap {
  public:
    CSkinBitmap() = default;

    // Loads the artwork of a skin bitmap id; false when the id has none.
    bool LoadBitmap(int nId);
    // Takes a ready image as the bitmap (any previous mask is dropped).
    void SetImage(const QImage &image);
    bool IsNull() const { return m_image.isNull(); }

    int Width() const;
    int Height() const;

    // Copies the whole bitmap to (x, y) unscaled; the painter's target clips it.
    void Draw(QPainter &p, int x, int y) const;
    // Builds the mask: 1 where a pixel has the key colour. Replaces any previous mask.
    void MakeMask();
    // Draws the bitmap at (x, y), leaving the target unchanged under key-coloured pixels.
    void DrawTransparent(QPainter &p, int x, int y);

    bool HasMask() const { return !m_mask.isNull(); }

  private:
    QImage m_image;
    mutable int m_nWidth = 0; // read from the image when first asked for
    mutable int m_nHeight = 0;
    QImage m_mask;  // Format_Mono, 1 = key colour
    QImage m_keyed; // the bitmap with the masked pixels fully transparent
};
