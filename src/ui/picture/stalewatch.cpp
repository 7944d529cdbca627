#include "ui/picture/stalewatch.h"

#include "ui/picture/picturecanvas.h"

#include <QFontMetrics>
#include <QPainter>

#include <algorithm>

namespace {
bool ValidSlot(int nSlot)
{
    return nSlot >= 0 && nSlot < CStaleWatch::kSlots;
}
const QColor kMarkColour(255, 0, 0);
constexpr int kFrameWidth = 3;
} // namespace

bool CStaleWatch::OnPicture(int nSlot, int64_t nNowMs)
{
    if (!ValidSlot(nSlot))
        return false;
    Slot &slot = m_slots[std::size_t(nSlot)];
    if (slot.bSeen) {
        const int64_t nGap = std::max<int64_t>(0, nNowMs - slot.nLast);
        // A quarter of each new gap: a long gap lifts the average, a few pictures at
        // the usual rate bring it back.
        slot.nInterval = slot.nInterval == 0 ? nGap : slot.nInterval + (nGap - slot.nInterval) / 4;
    }
    slot.nLast = nNowMs;
    slot.bSeen = true;
    if (slot.nMarkSeconds < 0)
        return false;
    slot.nMarkSeconds = -1;
    --m_nMarks;
    return true;
}

void CStaleWatch::Restart(int64_t nNowMs)
{
    m_nQuietUntil = nNowMs + kStaleMs;
}

int64_t CStaleWatch::StaleAfterMs(int nSlot) const
{
    if (!ValidSlot(nSlot))
        return kStaleMs;
    const int64_t nInterval = m_slots[std::size_t(nSlot)].nInterval;
    return nInterval > kSlowIntervalMs ? kSlowFactor * nInterval : kStaleMs;
}

bool CStaleWatch::Update(int nSlot, bool bExpected, int64_t nNowMs)
{
    if (!ValidSlot(nSlot))
        return false;
    Slot &slot = m_slots[std::size_t(nSlot)];
    int nSeconds = -1;
    const int64_t nAge = nNowMs - slot.nLast;
    if (bExpected && slot.bSeen && nAge >= StaleAfterMs(nSlot) &&
        (slot.nMarkSeconds >= 0 || nNowMs >= m_nQuietUntil))
        nSeconds = int(std::min<int64_t>(nAge / 1000, INT32_MAX));
    if (nSeconds == slot.nMarkSeconds)
        return false;
    m_nMarks += (nSeconds >= 0) - (slot.nMarkSeconds >= 0);
    slot.nMarkSeconds = nSeconds;
    return true;
}

int CStaleWatch::MarkSeconds(int nSlot) const
{
    return ValidSlot(nSlot) ? m_slots[std::size_t(nSlot)].nMarkSeconds : -1;
}

void CStaleWatch::Clear()
{
    m_slots.fill(Slot{});
    m_nMarks = 0;
}

QString StaleMarkText(int nSeconds)
{
    const int h = nSeconds / 3600, m = nSeconds / 60 % 60, s = nSeconds % 60;
    if (h > 0)
        return QString::asprintf("NO NEW PICTURE %d:%02d:%02d", h, m, s);
    return QString::asprintf("NO NEW PICTURE %02d:%02d", m, s);
}

void PaintStaleMark(QPainter &painter, const QRect &rcTile, int nSeconds, const QFont &font)
{
    if (rcTile.isEmpty())
        return;
    painter.save();
    painter.setClipRect(rcTile, Qt::IntersectClip);
    const QRect inner = rcTile.adjusted(0, 0, -1, -1);
    painter.setPen(QPen(kMarkColour, kFrameWidth, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(inner.adjusted(1, 1, -1, -1));
    painter.setFont(font);
    const QFontMetrics fm(font);
    const int nBand = fm.height() + 6;
    const QRect band(rcTile.left(), rcTile.bottom() + 1 - nBand, rcTile.width(), nBand);
    painter.fillRect(band, kMarkColour);
    painter.setPen(Qt::white);
    painter.drawText(band, Qt::AlignCenter | Qt::TextSingleLine, StaleMarkText(nSeconds));
    painter.restore();
}

void CheckStaleTiles(CStaleWatch &watch, CPictureCanvas &canvas, const QRect *arcTiles, int nTiles,
                     const std::function<bool(int)> &fnStream, int64_t nNowMs)
{
    for (int nSlot = 0; nSlot < nTiles; ++nSlot) {
        const QRect &tile = arcTiles[nSlot];
        const bool bShown = !tile.isEmpty() && canvas.ShownSlot(tile) == nSlot;
        if (watch.Update(nSlot, bShown && fnStream(nSlot), nNowMs) && bShown)
            canvas.SchedulePaint(tile);
    }
}

void CheckStaleTiles(CStaleWatch &watch, CPictureCanvas &canvas, const QRect *arcTiles, int nTiles,
                     bool bStream, int64_t nNowMs)
{
    CheckStaleTiles(
        watch, canvas, arcTiles, nTiles, [bStream](int) { return bStream; }, nNowMs);
}

void PaintStaleTiles(const CStaleWatch &watch, const CPictureCanvas &canvas, QPainter &painter,
                     const QRegion &region, const QRect *arcTiles, int nTiles, const QFont &font,
                     const QFont &fontSmall, int nSmallBelow)
{
    if (!watch.AnyMark())
        return;
    for (int nSlot = 0; nSlot < nTiles; ++nSlot) {
        const QRect &tile = arcTiles[nSlot];
        const int nSeconds = watch.MarkSeconds(nSlot);
        if (nSeconds >= 0 && region.intersects(tile) && canvas.ShownSlot(tile) == nSlot)
            PaintStaleMark(painter, tile, nSeconds, tile.width() < nSmallBelow ? fontSmall : font);
    }
}
