#pragma once
// CPictureCanvas: the picture area of a window that shows the recorder's pictures
// (the live view, the archive window).
//
// Theory of operation. The canvas keeps a 32-bit backing image of the whole window:
// the background artwork with what the window drew over it (tile frames, logo,
// texts). Pictures are never drawn into it. Each of 16 slots holds the newest picture
// of one channel, borrowed from the protocol client's frame record, with its field
// and width flags; a tile (a rectangle of the window) shows one slot. The owner says
// which slot a tile shows (Show) and asks for repaints (SchedulePaint); repaints
// gather and reach the window at most once per display frame. When the window
// paints, Paint copies the backing image around the shown tiles and stretches each
// shown picture, cropped by the owner's crop rule, nearest-neighbour into its tile:
// straight into the window's backing store when the painter allows it, through the
// painter otherwise (a grab, a scaled screen). The record's pixels are read at
// paint time, so a tile always shows the newest picture of its slot. A recording
// keeps a copy of the picture area up to date through Capture, which paints again
// only what changed since its last call; tiles unchanged since then are copied
// from that copy when the window paints, not stretched a second time. A tile may be
// zoomed (tilezoom.h): it then shows a part of its crop, still read from the
// picture as received; the zoom belongs to the tile and the slot it shows, and goes
// when the tile shows another slot or the owner's layout no longer has the pair.
//
// Everything runs on the user-interface thread.

#include "protocol/clientviews.h"
#include "ui/picture/dibstretch.h"
#include "ui/picture/tilezoom.h"

#include <QElapsedTimer>
#include <QImage>
#include <QRect>
#include <QRegion>
#include <QTimer>

#include <array>
#include <cstdint>
#include <functional>

class CJpegImage;
class QPainter;

class CPictureCanvas {
  public:
    static constexpr int kSlots = 16;
    static constexpr int kPaintPeriodMs = 16; // one frame of a 60 Hz display
    // Pictures come in batches, one batch of reads at a time. A batch that finds the
    // last frame at least this old is painted at once, in the same wake-up as its
    // decode, so paints fall into step with the reads; closer arrivals wait for the
    // next frame.
    static constexpr int kPaintMinGapMs = 10;
    // Tile frames are drawn with the default brush of a window's drawing context.
    static constexpr QRgb kFrameColour = 0xFFFFFFFFu;

    // The source rectangle of a picture in top-down picture coordinates, from its
    // size and flags; empty when nothing of it is to be shown.
    using CropRule =
        std::function<QRect(int nWidth, int nHeight, bool bFieldFlag, bool bWidthFlag)>;

    // fnUpdate asks the window to repaint a region; fnFlush (may be empty) runs at
    // every paced flush before it, for what the owner gathers itself.
    CPictureCanvas(QSize size, CropRule crop, std::function<void(const QRegion &)> fnUpdate,
                   std::function<void()> fnFlush = {});
    CPictureCanvas(const CPictureCanvas &) = delete;
    CPictureCanvas &operator=(const CPictureCanvas &) = delete;

    // --- backing image ------------------------------------------------------
    // The artwork under everything; another size gives a black background. The
    // backing image starts over as a copy of it.
    void SetBackground(const QImage &background);
    const QImage &Backing() const { return m_imgBacking; }
    QImage &Backing() { return m_imgBacking; }
    // Copies the background over the area of the backing image and forgets the
    // pictures shown there.
    void EraseArea(const QRect &area);
    // The one-pixel frame around a tile, into the backing image.
    void DrawFrame(const QRect &rcTile);

    // --- slots --------------------------------------------------------------
    // Keeps a picture for a slot (0..15); a picture whose header and buffer
    // disagree is not kept. The width flag is the canvas's, set by every picture.
    void SetPicture(int nSlot, const ChannelPicture &picture);
    // Forgets every picture, the tiles that showed them and their zooms.
    void ClearPictures();
    bool HasPicture(int nSlot) const;
    // The slot's current pixels, read from its frame record when there is one.
    DibPicture PictureOf(int nSlot) const;
    // The crop of the slot's current picture (empty when there is none).
    QRect CropOf(int nSlot) const;

    // --- tiles --------------------------------------------------------------
    // Tile rcTile shows slot nSlot from now on (one entry per tile rectangle).
    void Show(const QRect &rcTile, int nSlot);
    // The slot shown in the tile at rcTile, -1 for none.
    int ShownSlot(const QRect &rcTile) const;
    void ForgetShown()
    {
        ShownChanged(-1);
        m_nShown = 0;
    }
    // The zoom of the tile at rcTile while it shows slot nSlot (1x when it has none);
    // setting it repaints the tile. Show with another slot forgets it.
    void SetZoom(const QRect &rcTile, int nSlot, const TileZoom &zoom);
    TileZoom ZoomOf(const QRect &rcTile, int nSlot) const;
    // A new layout: keeps only the zooms of slots still shown in the same tile
    // (slot i in arcTiles[i]).
    void KeepZooms(const QRect *arcTiles, int nTiles);

    // --- painting -----------------------------------------------------------
    // Asks for a repaint of rc (an empty rectangle only runs the flush) at the next
    // display frame.
    void SchedulePaint(const QRect &rc);
    void FlushPaint();
    // Paints the region of the window: the backing image, and the shown pictures.
    void Paint(QPainter &painter, const QRegion &region);

    // --- capture ------------------------------------------------------------
    // Draws over the pictures what the owner adds to them (a time stamp).
    using Overlay = std::function<void(QPainter &painter, const QRegion &region)>;
    // The area rcArea of the window as Paint and fnOverlay draw it, kept until the
    // next call. Only what changed since the last call is painted again: pictures
    // set or shown, areas erased, framed or asked to be repainted; all of it when
    // bWhole or rcArea moved. Drawing into Backing() is seen where a repaint is asked
    // for. One caller at a time. Until a tile changes again, Paint copies it from
    // here rather than stretching its picture once more.
    const QImage &Capture(const QRect &rcArea, bool bWhole, const Overlay &fnOverlay);
    void ReleaseCapture()
    {
        m_imgCapture = QImage();
        m_rcCapture = QRect();
        m_rgnChanged = QRegion();
    }

  private:
    struct Slot {
        DibPicture dib;                      // pixels as handed over
        const CJpegImage *pRecord = nullptr; // the frame record they live in
        uint8_t byFieldFlag = 0;
    };
    struct Shown {
        QRect rcTile;
        int nSlot = -1;
    };
    struct Zoomed {
        QRect rcTile;
        int nSlot = -1;
        TileZoom zoom;
    };
    void PaintPicture(QPainter &painter, QImage *pTarget, const QPoint &offset, const Shown &shown,
                      const QRegion &part);
    void Changed(const QRegion &region) // noted only while a capture is kept
    {
        if (!m_imgCapture.isNull())
            m_rgnChanged += region;
    }
    void ShownChanged(int nSlot); // the tiles showing nSlot, or every tile for -1
    // Copies rc of the window from the last capture into the target at offset, when
    // nothing there changed since; false otherwise.
    bool CopyCaptured(QImage &target, const QPoint &offset, const QRect &rc) const;

    CropRule m_crop;
    std::function<void(const QRegion &)> m_fnUpdate;
    std::function<void()> m_fnFlush;
    QImage m_imgBackground;
    QImage m_imgBacking;
    std::array<Slot, kSlots> m_slots{};
    bool m_bWidthFlag = true;
    std::array<Shown, kSlots> m_shown{};
    int m_nShown = 0;
    std::array<Zoomed, kSlots> m_zoomed{}; // zoomed tiles only
    int m_nZoomed = 0;
    CDibStretcher m_stretcher;
    QRegion m_rgnPendingPaint;
    QRegion m_rgnChanged; // since the last capture
    QImage m_imgCapture;  // the last capture, of m_rcCapture
    QRect m_rcCapture;
    QTimer m_paintPacer;       // single shot: the next display frame
    QElapsedTimer m_lastPaint; // since the last frame was asked for
};
