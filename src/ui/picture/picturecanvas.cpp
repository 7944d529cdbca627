#include "ui/picture/picturecanvas.h"

#include "imaging/cjpegimage.h"

#include <QPaintEngine>
#include <QPainter>

#include <cmath>
#include <cstring>

CPictureCanvas::CPictureCanvas(QSize size, CropRule crop,
                               std::function<void(const QRegion &)> fnUpdate,
                               std::function<void()> fnFlush)
    : m_crop(std::move(crop)), m_fnUpdate(std::move(fnUpdate)), m_fnFlush(std::move(fnFlush)),
      m_imgBackground(size, QImage::Format_RGB32), m_imgBacking(size, QImage::Format_RGB32)
{
    m_imgBackground.fill(Qt::black);
    m_imgBacking.fill(Qt::black);
    m_paintPacer.setSingleShot(true);
    m_paintPacer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_paintPacer, &QTimer::timeout, [this] { FlushPaint(); });
}

// ---- backing image -----------------------------------------------------------------------

void CPictureCanvas::SetBackground(const QImage &background)
{
    const QSize size = m_imgBacking.size();
    if (background.size() == size) {
        m_imgBackground = background.convertToFormat(QImage::Format_RGB32);
    } else {
        m_imgBackground = QImage(size, QImage::Format_RGB32);
        m_imgBackground.fill(Qt::black);
    }
    m_imgBacking = m_imgBackground.copy();
    m_nShown = 0;
    m_nZoomed = 0;
    Changed(m_imgBacking.rect());
}

void CPictureCanvas::EraseArea(const QRect &rcArea)
{
    const QRect area = rcArea.intersected(m_imgBacking.rect());
    for (int k = 0; k < m_nShown;) {
        if (area.contains(m_shown[std::size_t(k)].rcTile))
            m_shown[std::size_t(k)] = m_shown[std::size_t(--m_nShown)];
        else
            ++k;
    }
    for (int y = area.top(); y <= area.bottom(); ++y)
        std::memcpy(m_imgBacking.scanLine(y) + area.left() * 4,
                    m_imgBackground.constScanLine(y) + area.left() * 4,
                    std::size_t(area.width()) * 4);
    Changed(area);
}

void CPictureCanvas::DrawFrame(const QRect &rcTile)
{
    DrawTileFrame(m_imgBacking, rcTile, kFrameColour);
    Changed(rcTile.adjusted(-1, -1, 1, 1));
}

// ---- slots -------------------------------------------------------------------------------

void CPictureCanvas::SetPicture(int nSlot, const ChannelPicture &picture)
{
    if (nSlot < 0 || nSlot >= kSlots)
        return;
    DibPicture dib;
    if (picture.pHeader) {
        const BitmapInfoHeader &h = *picture.pHeader;
        dib.bits = picture.pBits;
        dib.width = h.biWidth;
        dib.height = h.biHeight;
        dib.bitCount = h.biBitCount;
        dib.imageSize = h.biSizeImage;
    }
    // A picture whose header and buffer disagree is not kept: drawing it would read
    // outside the buffer.
    const bool bUsable = dib.IsValid() && dib.imageSize != 0;
    Slot &slot = m_slots[std::size_t(nSlot)];
    slot.dib = bUsable ? dib : DibPicture();
    slot.pRecord = bUsable ? picture.pRecord : nullptr;
    slot.byFieldFlag = picture.byFieldFlag;
    // The width flag is every slot's: it moves the crop of every tile.
    ShownChanged(m_bWidthFlag == (picture.byWidthFlag != 0) ? nSlot : -1);
    m_bWidthFlag = picture.byWidthFlag != 0;
}

void CPictureCanvas::ClearPictures()
{
    ShownChanged(-1);
    m_nShown = 0;
    m_nZoomed = 0;
    for (Slot &slot : m_slots) {
        slot.dib = DibPicture();
        slot.pRecord = nullptr;
    }
}

bool CPictureCanvas::HasPicture(int nSlot) const
{
    return nSlot >= 0 && nSlot < kSlots && m_slots[std::size_t(nSlot)].dib.bits;
}

DibPicture CPictureCanvas::PictureOf(int nSlot) const
{
    if (!HasPicture(nSlot))
        return DibPicture();
    const Slot &slot = m_slots[std::size_t(nSlot)];
    // The record's own buffer and header are read at paint time: a borrowed pointer
    // could outlive the buffer when the record takes over another decoder's pixels.
    if (const CJpegImage *pRecord = slot.pRecord) {
        DibPicture dib;
        dib.bits = pRecord->Pixels();
        dib.width = pRecord->Header().biWidth;
        dib.height = pRecord->Header().biHeight;
        dib.bitCount = pRecord->Header().biBitCount;
        dib.imageSize = std::uint32_t(pRecord->PixelBytes());
        dib.scale = pRecord->Scale();
        dib.fullWidth = pRecord->FullWidth();
        dib.fullHeight = pRecord->FullHeight();
        return dib.IsValid() && dib.imageSize != 0 ? dib : DibPicture();
    }
    return slot.dib;
}

QRect CPictureCanvas::CropOf(int nSlot) const
{
    const DibPicture pic = PictureOf(nSlot);
    if (!pic.bits || !m_crop)
        return QRect();
    // The crop is the full picture's, whatever scale it was decoded at.
    const QRect src = m_crop(pic.FullWidth(), pic.FullHeight(),
                             m_slots[std::size_t(nSlot)].byFieldFlag != 0, m_bWidthFlag);
    // A crop rule never reaches outside the picture, whatever its margins.
    return src.intersected(QRect(0, 0, pic.FullWidth(), pic.FullHeight()));
}

// ---- tiles -------------------------------------------------------------------------------

void CPictureCanvas::Show(const QRect &rcTile, int nSlot)
{
    Changed(rcTile);
    for (int k = 0; k < m_nZoomed; ++k) {
        if (m_zoomed[std::size_t(k)].rcTile == rcTile && m_zoomed[std::size_t(k)].nSlot != nSlot) {
            m_zoomed[std::size_t(k)] = m_zoomed[std::size_t(--m_nZoomed)];
            break;
        }
    }
    for (int k = 0; k < m_nShown; ++k) {
        if (m_shown[std::size_t(k)].rcTile == rcTile) {
            m_shown[std::size_t(k)].nSlot = nSlot;
            return;
        }
    }
    if (m_nShown < int(m_shown.size()))
        m_shown[std::size_t(m_nShown++)] = Shown{rcTile, nSlot};
}

int CPictureCanvas::ShownSlot(const QRect &rcTile) const
{
    for (int k = 0; k < m_nShown; ++k)
        if (m_shown[std::size_t(k)].rcTile == rcTile)
            return m_shown[std::size_t(k)].nSlot;
    return -1;
}

void CPictureCanvas::SetZoom(const QRect &rcTile, int nSlot, const TileZoom &zoom)
{
    int k = 0;
    while (k < m_nZoomed && m_zoomed[std::size_t(k)].rcTile != rcTile)
        ++k;
    if (!zoom.IsZoomed()) {
        if (k < m_nZoomed)
            m_zoomed[std::size_t(k)] = m_zoomed[std::size_t(--m_nZoomed)];
    } else if (k < m_nZoomed) {
        m_zoomed[std::size_t(k)] = Zoomed{rcTile, nSlot, zoom};
    } else if (m_nZoomed < int(m_zoomed.size())) {
        m_zoomed[std::size_t(m_nZoomed++)] = Zoomed{rcTile, nSlot, zoom};
    }
    // A capture must paint the tile again too.
    SchedulePaint(rcTile);
}

TileZoom CPictureCanvas::ZoomOf(const QRect &rcTile, int nSlot) const
{
    for (int k = 0; k < m_nZoomed; ++k) {
        const Zoomed &z = m_zoomed[std::size_t(k)];
        if (z.rcTile == rcTile && z.nSlot == nSlot)
            return z.zoom;
    }
    return TileZoom{};
}

void CPictureCanvas::KeepZooms(const QRect *arcTiles, int nTiles)
{
    for (int k = 0; k < m_nZoomed;) {
        const Zoomed &z = m_zoomed[std::size_t(k)];
        if (z.nSlot >= 0 && z.nSlot < nTiles && arcTiles[z.nSlot] == z.rcTile) {
            ++k;
        } else {
            Changed(z.rcTile);
            m_zoomed[std::size_t(k)] = m_zoomed[std::size_t(--m_nZoomed)];
        }
    }
}

// ---- painting ----------------------------------------------------------------------------

void CPictureCanvas::SchedulePaint(const QRect &rc)
{
    m_rgnPendingPaint += rc;
    Changed(rc);
    if (m_paintPacer.isActive())
        return;
    // When a frame is due, the flush waits only for the rest of the current batch of
    // reads (a zero timer runs before the event loop sleeps again), so every picture of
    // the batch reaches the screen in one paint.
    const qint64 nSince = m_lastPaint.isValid() ? m_lastPaint.elapsed() : kPaintPeriodMs;
    m_paintPacer.start(nSince >= kPaintMinGapMs ? 0 : int(kPaintPeriodMs - nSince));
}

void CPictureCanvas::FlushPaint()
{
    m_lastPaint.start();
    if (m_fnFlush)
        m_fnFlush();
    if (!m_rgnPendingPaint.isEmpty()) {
        const QRegion region = m_rgnPendingPaint;
        m_rgnPendingPaint = QRegion();
        if (m_fnUpdate)
            m_fnUpdate(region);
    }
}

namespace {
// The 32-bit image a painter draws on when pixels may be written into it directly:
// the raster engine on a QImage (the window's backing store, or a render into an
// image) with no transform but a whole-pixel offset. Null for anything else.
QImage *DirectTarget(QPainter &painter, QPoint *pOffset)
{
    QPaintEngine *pEngine = painter.paintEngine();
    if (!pEngine || pEngine->type() != QPaintEngine::Raster)
        return nullptr;
    QPaintDevice *pDevice = pEngine->paintDevice();
    if (!pDevice || pDevice->devType() != QInternal::Image)
        return nullptr;
    auto *pImage = static_cast<QImage *>(pDevice);
    switch (pImage->format()) {
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
    case QImage::Format_ARGB32_Premultiplied:
        break;
    default:
        return nullptr;
    }
    // Writing into a shared image would detach it and draw into a private copy.
    if (!pImage->isDetached())
        return nullptr;
    const QTransform t = painter.deviceTransform();
    if (t.type() > QTransform::TxTranslate || t.dx() != std::floor(t.dx()) ||
        t.dy() != std::floor(t.dy()))
        return nullptr;
    *pOffset = QPoint(int(t.dx()), int(t.dy()));
    return pImage;
}
} // namespace

void CPictureCanvas::PaintPicture(QPainter &painter, QImage *pTarget, const QPoint &offset,
                                  const Shown &shown, const QRegion &part)
{
    const DibPicture pic = PictureOf(shown.nSlot);
    // A zoomed tile shows a part of the crop, from the picture as received.
    const QRect src = ZoomOf(shown.rcTile, shown.nSlot).Source(CropOf(shown.nSlot));
    for (const QRect &rc : part) {
        if (pTarget && CopyCaptured(*pTarget, offset, rc))
            continue;
        if (pTarget && !src.isEmpty()) {
            m_stretcher.Stretch(pic, src, *pTarget, shown.rcTile.translated(offset),
                                rc.translated(offset));
            continue;
        }
        // Any other device (a grab into a pixmap, a scaled screen), or no usable
        // picture: through a 32-bit image of the part, drawn by the painter.
        QImage part32 = m_imgBacking.copy(rc);
        if (!src.isEmpty())
            m_stretcher.Stretch(pic, src, part32, shown.rcTile.translated(-rc.topLeft()));
        painter.drawImage(rc.topLeft(), part32);
    }
}

void CPictureCanvas::Paint(QPainter &painter, const QRegion &region)
{
    QRegion pictures;
    for (int k = 0; k < m_nShown; ++k)
        pictures += m_shown[std::size_t(k)].rcTile;
    // Around the pictures (tile frames, the form) the backing image is copied; on a
    // direct target row by row, since QPainter hands even thin strips to its
    // worker threads.
    QPoint offset;
    QImage *pTarget = DirectTarget(painter, &offset);
    for (const QRect &rcPart : region.subtracted(pictures)) {
        const QRect rcSource = rcPart.intersected(m_imgBacking.rect());
        const QRect rcTarget = pTarget ? rcSource.translated(offset) : QRect();
        if (pTarget && pTarget->rect().contains(rcTarget)) {
            uchar *pOut = pTarget->bits();
            const qsizetype nOutStride = pTarget->bytesPerLine();
            for (int y = 0; y < rcSource.height(); ++y)
                std::memcpy(pOut + (rcTarget.top() + y) * nOutStride + rcTarget.left() * 4,
                            m_imgBacking.constScanLine(rcSource.top() + y) + rcSource.left() * 4,
                            std::size_t(rcSource.width()) * 4);
        } else {
            painter.drawImage(rcPart.topLeft(), m_imgBacking, rcPart);
        }
    }
    for (int k = 0; k < m_nShown; ++k) {
        const QRegion part = region.intersected(m_shown[std::size_t(k)].rcTile);
        if (!part.isEmpty())
            PaintPicture(painter, pTarget, offset, m_shown[std::size_t(k)], part);
    }
}

// ---- capture -----------------------------------------------------------------------------

void CPictureCanvas::ShownChanged(int nSlot)
{
    for (int k = 0; k < m_nShown; ++k)
        if (nSlot < 0 || m_shown[std::size_t(k)].nSlot == nSlot)
            Changed(m_shown[std::size_t(k)].rcTile);
}

const QImage &CPictureCanvas::Capture(const QRect &rcArea, bool bWhole, const Overlay &fnOverlay)
{
    QRegion region(rcArea);
    if (!bWhole && rcArea == m_rcCapture && !m_imgCapture.isNull())
        region = m_rgnChanged.intersected(rcArea);
    else
        m_imgCapture = QImage(rcArea.size(), QImage::Format_RGB32);
    // What changed comes from the pictures, not from the capture being made.
    m_rcCapture = QRect();
    if (!region.isEmpty() && !m_imgCapture.isNull()) {
        QPainter painter(&m_imgCapture);
        painter.translate(-rcArea.topLeft());
        Paint(painter, region);
        if (fnOverlay) {
            painter.setClipRegion(region);
            fnOverlay(painter, region);
        }
    }
    m_rcCapture = rcArea;
    m_rgnChanged = QRegion();
    return m_imgCapture;
}

bool CPictureCanvas::CopyCaptured(QImage &target, const QPoint &offset, const QRect &rc) const
{
    // The capture holds the owner's overlay too, which the window paints again over
    // the tiles anyway.
    if (m_imgCapture.isNull() || !m_rcCapture.contains(rc) || m_rgnChanged.intersects(rc))
        return false;
    const QRect rcTarget = rc.translated(offset);
    if (!target.rect().contains(rcTarget))
        return false;
    uchar *pOut = target.bits();
    const qsizetype nOutStride = target.bytesPerLine();
    for (int y = 0; y < rc.height(); ++y)
        std::memcpy(pOut + (rcTarget.top() + y) * nOutStride + rcTarget.left() * 4,
                    m_imgCapture.constScanLine(rc.top() - m_rcCapture.top() + y) +
                        (rc.left() - m_rcCapture.left()) * 4,
                    std::size_t(rc.width()) * 4);
    return true;
}
