// CTelvaneView: the backing image, live pictures, tile frames, painting and the
// mouse on the form.

#include "ui/live/telvaneview.h"

#include "app/shell/aboutdlg.h"
#include "ui/live/ptzpanel.h"
#include "ui/live/statuspanel.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QWindow>

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
    m_apChannelBits[i] = dib.IsValid() && dib.imageSize != 0 ? dib : DibPicture();
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
    DrawBmpInto(nChannel);
    const QRect tile = m_arcTile[std::size_t(nChannel)];
    if (HasPicture(nChannel) && m_bDibReady && !tile.isEmpty())
        update(TileFrameRect(tile));
}

void CTelvaneView::DrawBmpInto(int nChannel)
{
    const auto i = std::size_t(nChannel);
    m_abChannelSeen[i] = true;
    if (!m_bDibReady || !HasPicture(nChannel))
        return;
    const QRect tile = m_arcTile[i];
    if (tile.isEmpty())
        return;
    const DibPicture &pic = m_apChannelBits[i];
    const QRect src = LiveCropRect(pic.width, pic.height, m_abFieldFlag[i] != 0, m_bWidthFlag != 0);
    if (!src.isEmpty())
        m_stretcher.Stretch(pic, src, m_imgBacking, tile);
    DrawTileFrame(m_imgBacking, tile, kFrameColour);
}

void CTelvaneView::InvalidatePicture()
{
    // Erase the picture area to the background.
    const QRect area = m_rcPicture.intersected(m_imgBacking.rect());
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

void CTelvaneView::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    const QRect rc = event->rect();
    painter.drawImage(rc.topLeft(), m_imgBacking, rc);
    if (rc.intersects(statusrect::kAll))
        m_pStatus->paint(painter);
    if (m_pPtzPanel && rc.intersects(ptzlayout::kSpeedRect))
        m_pPtzPanel->paint(painter);
}

void CTelvaneView::ToggleReceiveLamp()
{
    CSkinButton *pLamp = m_apButtons[CTRL_RECEIVE_LAMP];
    m_bReceiveLampOn = !m_bReceiveLampOn;
    if (pLamp)
        SetButtonChecked(CTRL_RECEIVE_LAMP, m_bReceiveLampOn);
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
