#pragma once
// CStaleWatch: which shown pictures are frozen, so that a window can mark them.
//
// Theory of operation. A picture counts as frozen when a stream is expected for its
// channel and no new picture has come for 2 s, or, for a channel whose own pictures
// come slower than one a second, for 3 x its recent picture interval (a running
// average that a burst of normal pictures quickly pulls back after a gap). The
// window calls OnPicture for every picture (a subtraction and a shift: nothing to
// measure next to a decode) and Update for each shown slot from a timer of
// kCheckPeriodMs; the mark shows the whole seconds since the slot's last picture,
// so it counts up once a second, and the next picture clears it. Restart gives
// every slot whose mark is not showing a fresh grace of 2 s: a stream was asked for
// again (other channels, a new position), and its first pictures are on their way.
// Times are milliseconds on the window's timer host, so tests run on a manual clock.

#include <QRect>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>

class CPictureCanvas;
class QFont;
class QPainter;
class QRegion;

class CStaleWatch {
  public:
    static constexpr int kSlots = 16;
    static constexpr int kStaleMs = 2000;
    static constexpr int kSlowIntervalMs = 1000; // slower than one picture a second
    static constexpr int kSlowFactor = 3;
    static constexpr int kCheckPeriodMs = 250;

    // A picture of the slot arrived. True when its mark was showing (it is gone).
    bool OnPicture(int nSlot, int64_t nNowMs);
    // Marks not showing now wait kStaleMs from here before they may appear.
    void Restart(int64_t nNowMs);
    // How long the slot may go without a picture before it counts as frozen.
    int64_t StaleAfterMs(int nSlot) const;
    // The periodic check of one slot; bExpected: the slot is shown in a tile and a
    // stream is expected for it. True when the slot's mark appeared, counted up or went.
    bool Update(int nSlot, bool bExpected, int64_t nNowMs);
    // Seconds shown by the slot's mark, -1 while it has none.
    int MarkSeconds(int nSlot) const;
    bool AnyMark() const { return m_nMarks > 0; }
    // Forgets every picture time and mark (the pictures themselves were forgotten).
    void Clear();

  private:
    struct Slot {
        int64_t nLast = 0;     // time of the last picture
        int64_t nInterval = 0; // running average of the picture interval, 0 = unknown
        bool bSeen = false;    // nLast is set
        int nMarkSeconds = -1;
    };
    std::array<Slot, kSlots> m_slots{};
    int64_t m_nQuietUntil = 0;
    int m_nMarks = 0;
};

// "NO NEW PICTURE 00:07" (minutes:seconds; hours in front past an hour).
QString StaleMarkText(int nSeconds);
// The mark over a tile: a red frame inside its edge and a band with the text at its
// foot (the archive's time stamp stands at the top). Paints only inside rcTile.
void PaintStaleMark(QPainter &painter, const QRect &rcTile, int nSeconds, const QFont &font);

// What both windows do with their tiles (slot i shown in arcTiles[i], an empty rect:
// not shown): the periodic check, which asks the canvas to repaint a tile whose mark
// changed, and the paint of the marks inside region over the canvas's pictures.
// fnStream tells per slot whether its pictures are due (the live view's tiles belong
// to several recorders); tiles narrower than nSmallBelow get fontSmall.
void CheckStaleTiles(CStaleWatch &watch, CPictureCanvas &canvas, const QRect *arcTiles, int nTiles,
                     const std::function<bool(int)> &fnStream, int64_t nNowMs);
void CheckStaleTiles(CStaleWatch &watch, CPictureCanvas &canvas, const QRect *arcTiles, int nTiles,
                     bool bStream, int64_t nNowMs);
void PaintStaleTiles(const CStaleWatch &watch, const CPictureCanvas &canvas, QPainter &painter,
                     const QRegion &region, const QRect *arcTiles, int nTiles, const QFont &font,
                     const QFont &fontSmall, int nSmallBelow = 0);
