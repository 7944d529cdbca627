// CArchiveDlg: marks on cells whose picture no longer changes while playback runs.

#include "ui/archive/archivedlg.h"

#include <QPainter>

ITimerHost &CArchiveDlg::WindowTimers()
{
    return m_env.pRecordTimers ? *m_env.pRecordTimers : *m_pOwnRecordTimers;
}

void CArchiveDlg::OnStaleCheck()
{
    // Pictures are due only while playing: not stopped, paused or at the end.
    const bool bStream = m_control.IsActive() && m_control.IsPlaying();
    const int64_t nNow = WindowTimers().NowMs();
    if (bStream && !m_bStreamExpected)
        m_staleWatch.Restart(nNow);
    m_bStreamExpected = bStream;
    for (int i = 0; i < 4; ++i) {
        const QRect cell = m_arcCell[std::size_t(i)];
        const bool bShown = !cell.isEmpty() && m_canvas.ShownSlot(cell) == i;
        if (m_staleWatch.Update(i, bStream && bShown, nNow) && bShown)
            m_canvas.SchedulePaint(cell);
    }
}

void CArchiveDlg::PaintStaleMarks(QPainter &painter, const QRegion &region)
{
    if (!m_staleWatch.AnyMark())
        return;
    for (int i = 0; i < 4; ++i) {
        const QRect cell = m_arcCell[std::size_t(i)];
        const int nSeconds = m_staleWatch.MarkSeconds(i);
        if (nSeconds >= 0 && region.intersects(cell) && m_canvas.ShownSlot(cell) == i)
            PaintStaleMark(painter, cell, nSeconds, m_fontLarge);
    }
}
