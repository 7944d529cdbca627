#include "ui/controls/skinbitmap.h"

#include "ui/controls/skinids.h"

#include <QPainter>

bool CSkinBitmap::LoadBitmap(int nId)
{
    SetImage(SkinImage(nId));
    return !m_image.isNull();
}

void CSkinBitmap::SetImage(const QImage &image)
{
    m_image = image;
    m_nWidth = m_nHeight = 0;
    m_mask = QImage();
    m_keyed = QImage();
}

int CSkinBitmap::Width() const
{
    if (m_nWidth == 0 || m_nHeight == 0) {
        m_nWidth = m_image.width();
        m_nHeight = m_image.height();
    }
    return m_nWidth;
}

int CSkinBitmap::Height() const
{
    Width();
    return m_nHeight;
}

void CSkinBitmap::Draw(QPainter &p, int x, int y) const
{
    if (m_image.isNull())
        return;
    p.save();
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.drawImage(QPoint(x, y), m_image);
    p.restore();
}

void CSkinBitmap::MakeMask()
{
    m_mask = QImage();
    m_keyed = QImage();
    if (m_image.isNull())
        return;
    const QRgb key = m_image.pixel(0, 0);
    m_mask = m_image.createMaskFromColor(key, Qt::MaskInColor);
    // The image to blend: every masked pixel fully transparent, every other one opaque.
    m_keyed = m_image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < m_keyed.height(); ++y) {
        auto *pLine = reinterpret_cast<QRgb *>(m_keyed.scanLine(y));
        for (int x = 0; x < m_keyed.width(); ++x)
            pLine[x] = m_mask.pixelIndex(x, y) ? 0u : (pLine[x] | 0xFF000000u);
    }
}

void CSkinBitmap::DrawTransparent(QPainter &p, int x, int y)
{
    if (m_image.isNull())
        return;
    if (m_mask.isNull())
        MakeMask();
    p.save();
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    p.drawImage(QPoint(x, y), m_keyed);
    p.restore();
}
