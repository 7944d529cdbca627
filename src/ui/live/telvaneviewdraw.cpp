// CTelvaneView: the backing image, live pictures, tile frames, painting and the
// mouse on the form.

#include "ui/live/telvaneview.h"

#include "app/shell/aboutdlg.h"
#include "imaging/cjpegimage.h"
#include "ui/live/ptzpanel.h"
#include "ui/live/statuspanel.h"

#include <QMouseEvent>
#include <QPaintEngine>
#include <QPaintEvent>
#include <QPainter>
#include <QWindow>

#include <cmath>
#include <cstring>

using namespace viewlayout;

namespace {
// Tile frames are drawn with the default brush of a window's drawing context.
constexpr QRgb kFrameColour = 0xFFFFFFFFu;
} // namespace

bool CTelvaneView::IsChannelSeen(int nChannel) const
{
    return nChannel >= 0 && nChannel < 16 && m_abChannelSeen[std::size_t(nChannel)];
}

bool CTelvaneView::HasPicture(int nChannel) const
{
    return nChannel >= 0 && nChannel < 16 && m_apChannelBits[std::size_t(nChannel)].bits;
}

QRect CTelvaneView::Tile(int nChannel) const
{
    return nChannel >= 0 && nChannel < 16 ? m_arcTile[std::size_t(nChannel)] : QRect();
}

void CTelvaneView::SetChannelPicture(int nIndex, const ChannelPicture &picture)
{
    if (nIndex < 0 || nIndex >= 16)
        return;
    const auto i = std::size_t(nIndex);
    DibPicture dib;
    if (picture.pHeader) {
        const BitmapInfoHeader &h = *picture.pHeader;
        m_aChannelHeader[i] = h;
        dib.bits = picture.pBits;
        dib.width = h.biWidth;
        dib.height = h.biHeight;
        dib.bitCount = h.biBitCount;
        dib.imageSize = h.biSizeImage;
    }
    // A picture whose header and buffer disagree is not kept: drawing it would read
    // outside the buffer.
    const bool bUsable = dib.IsValid() && dib.imageSize != 0;
    m_apChannelBits[i] = bUsable ? dib : DibPicture();
    m_apChannelRecord[i] = bUsable ? picture.pRecord : nullptr;
    m_abFieldFlag[i] = picture.byFieldFlag;
    m_bWidthFlag = picture.byWidthFlag;
}

void CTelvaneView::ShowLiveFrame(int nIndex)
{
    DrawBmp(nIndex);
}

void CTelvaneView::DrawBmp(int nChannel)
{
    if (nChannel < 0 || nChannel >= 16)
        return;
    const bool bFrameDrawn = DrawBmpInto(nChannel);
    const QRect tile = m_arcTile[std::size_t(nChannel)];
    if (HasPicture(nChannel) && m_bDibReady && !tile.isEmpty())
        SchedulePaint(bFrameDrawn ? TileFrameRect(tile) : tile);
}

void CTelvaneView::SchedulePaint(const QRect &rc)
{
    m_rgnPendingPaint += rc;
    if (m_paintPacer.isActive())
        return;
    // When a frame is due, the flush waits only for the rest of the current batch of
    // reads (a zero timer runs before the event loop sleeps again), so every picture of
    // the batch reaches the screen in one paint.
    const qint64 nSince = m_lastPaint.isValid() ? m_lastPaint.elapsed() : kPaintPeriodMs;
    m_paintPacer.start(nSince >= kPaintMinGapMs ? 0 : int(kPaintPeriodMs - nSince));
}

void CTelvaneView::FlushPaint()
{
    m_lastPaint.start();
    if (m_bLampPending) {
        m_bLampPending = false;
        SetButtonChecked(CTRL_RECEIVE_LAMP, m_bReceiveLampOn);
    }
    if (!m_rgnPendingPaint.isEmpty()) {
        update(m_rgnPendingPaint);
        m_rgnPendingPaint = QRegion();
    }
}

bool CTelvaneView::DrawBmpInto(int nChannel)
{
    const auto i = std::size_t(nChannel);
    m_abChannelSeen[i] = true;
    if (!m_bDibReady || !HasPicture(nChannel))
        return false;
    const QRect tile = m_arcTile[i];
    if (tile.isEmpty())
        return false;
    const DibPicture &pic = m_apChannelBits[i];
    const QRect src = LiveCropRect(pic.width, pic.height, m_abFieldFlag[i] != 0, m_bWidthFlag != 0);
    // A tile already showing a picture has its frame; pictures never cover it.
    const bool bFramed = ShownChannel(tile) >= 0;
    if (!src.isEmpty())
        MarkShown(tile, nChannel); // paintEvent stretches it
    if (bFramed)
        return false;
    DrawTileFrame(m_imgBacking, tile, kFrameColour);
    return true;
}

void CTelvaneView::MarkShown(const QRect &rcTile, int nChannel)
{
    for (int k = 0; k < m_nShown; ++k) {
        if (m_aShown[std::size_t(k)].rcTile == rcTile) {
            m_aShown[std::size_t(k)].nChannel = nChannel;
            return;
        }
    }
    if (m_nShown < int(m_aShown.size()))
        m_aShown[std::size_t(m_nShown++)] = ShownPicture{rcTile, nChannel};
}

int CTelvaneView::ShownChannel(const QRect &rcTile) const
{
    for (int k = 0; k < m_nShown; ++k)
        if (m_aShown[std::size_t(k)].rcTile == rcTile)
            return m_aShown[std::size_t(k)].nChannel;
    return -1;
}

DibPicture CTelvaneView::PictureOf(int nChannel) const
{
    if (!HasPicture(nChannel))
        return DibPicture();
    const auto i = std::size_t(nChannel);
    // The record's own buffer and header are read at paint time: a borrowed pointer
    // could outlive the buffer when the record takes over another decoder's pixels.
    if (const CJpegImage *pRecord = m_apChannelRecord[i]) {
        DibPicture dib;
        dib.bits = pRecord->Pixels();
        dib.width = pRecord->Header().biWidth;
        dib.height = pRecord->Header().biHeight;
        dib.bitCount = pRecord->Header().biBitCount;
        dib.imageSize = std::uint32_t(pRecord->PixelBytes());
        return dib.IsValid() && dib.imageSize != 0 ? dib : DibPicture();
    }
    return m_apChannelBits[i];
}

void CTelvaneView::InvalidatePicture()
{
    // Erase the picture area to the background.
    const QRect area = m_rcPicture.intersected(m_imgBacking.rect());
    m_nShown = 0;
    if (!m_imgBackground.isNull()) {
        for (int y = area.top(); y <= area.bottom(); ++y)
            std::memcpy(m_imgBacking.scanLine(y) + area.left() * 4,
                        m_imgBackground.constScanLine(y) + area.left() * 4,
                        std::size_t(area.width()) * 4);
    }
    // Each tile position shows its channel's picture or its empty frame. In single
    // mode the one position shows the selected channel, so a stale picture of
    // another channel never fills the area.
    const int nTiles = TileCount();
    for (int pos = 0; pos < nTiles && pos < 16; ++pos) {
        const int nChannel = nTiles == 1 ? (m_wRequestChannel & 0xFF) : pos;
        const QRect tile = nTiles == 1 ? TileRect(0, 1) : m_arcTile[std::size_t(pos)];
        if (HasPicture(nChannel) && !m_arcTile[std::size_t(nChannel & 0x0F)].isEmpty())
            DrawBmpInto(nChannel);
        else
            DrawTileFrame(m_imgBacking, tile, kFrameColour);
    }
    update(m_rcPicture.adjusted(0, 0, 1, 1));
}

void CTelvaneView::DrawLogo()
{
    if (m_imgLogo.isNull())
        return;
    QPainter painter(&m_imgBacking);
    painter.drawImage(kLogoRect.topLeft(), m_imgLogo,
                      QRect(0, 0, kLogoRect.width(), kLogoRect.height()));
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

void CTelvaneView::PaintPicture(QPainter &painter, QImage *pTarget, const QPoint &offset,
                                const ShownPicture &shown, const QRegion &part)
{
    const DibPicture pic = PictureOf(shown.nChannel);
    const auto i = std::size_t(shown.nChannel);
    const QRect src =
        pic.bits ? LiveCropRect(pic.width, pic.height, m_abFieldFlag[i] != 0, m_bWidthFlag != 0)
                 : QRect();
    for (const QRect &rc : part) {
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

void CTelvaneView::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    const QRegion region = event->region();
    QRegion pictures;
    for (int k = 0; k < m_nShown; ++k)
        pictures += m_aShown[std::size_t(k)].rcTile;
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
        const QRegion part = region.intersected(m_aShown[std::size_t(k)].rcTile);
        if (!part.isEmpty())
            PaintPicture(painter, pTarget, offset, m_aShown[std::size_t(k)], part);
    }
    const QRect rc = region.boundingRect();
    if (rc.intersects(statusrect::kAll))
        m_pStatus->paint(painter);
    if (m_pPtzPanel && rc.intersects(ptzlayout::kSpeedRect))
        m_pPtzPanel->paint(painter);
}

void CTelvaneView::ToggleReceiveLamp()
{
    m_bReceiveLampOn = !m_bReceiveLampOn;
    if (m_apButtons[CTRL_RECEIVE_LAMP]) {
        m_bLampPending = true;
        SchedulePaint(QRect());
    }
}

void CTelvaneView::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || m_settings.m_bUseFullScreen) {
        QWidget::mousePressEvent(event);
        return;
    }
    // A press on the bare form moves the whole window, as a press on a caption would.
    m_bDragging = true;
    m_ptDragOffset = event->globalPosition().toPoint() - window()->frameGeometry().topLeft();
}

void CTelvaneView::mouseMoveEvent(QMouseEvent *event)
{
    if (m_bDragging && (event->buttons() & Qt::LeftButton))
        window()->move(event->globalPosition().toPoint() - m_ptDragOffset);
    else
        QWidget::mouseMoveEvent(event);
}

void CTelvaneView::mouseReleaseEvent(QMouseEvent *event)
{
    m_bDragging = false;
    QWidget::mouseReleaseEvent(event);
}

void CTelvaneView::mouseDoubleClickEvent(QMouseEvent *event)
{
    m_bDragging = false;
    if (event->button() != Qt::LeftButton)
        return;
    const QPoint pt = event->position().toPoint();
    if (kAboutHotRect.contains(pt)) {
        if (m_env.fnAbout) {
            m_env.fnAbout();
        } else {
            CAboutDlg about(this);
            about.exec();
        }
    }
    if (IsSingleMode()) {
        if (m_rcPicture.contains(pt))
            SetScreenMode(kQuadMode);
        return;
    }
    for (int i = 0; i < 16; ++i) {
        if (m_arcTile[std::size_t(i)].contains(pt)) {
            if (m_abChannelSeen[std::size_t(i)]) {
                m_wRequestChannel = uint16_t(i);
                SetScreenMode(kSingleMode);
            }
            return;
        }
    }
}
