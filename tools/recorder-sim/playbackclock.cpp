#include "playbackclock.h"

#include "wire.h"

namespace sim {

int PlaybackClock::RateOfSpeed(int speed)
{
    if (speed <= 1)
        return 1;
    if (speed >= 7)
        return 64;
    return 1 << (speed - 1);
}

int PlaybackClock::Start(std::uint32_t word1, std::uint32_t word2, std::uint32_t playControl,
                         int versionCode)
{
    m_reverse = (playControl >> 24 & 1u) != 0;
    m_rate = RateOfSpeed(int(playControl >> 16 & 0xFF));
    QDateTime wanted;
    if (versionCode == VERSION_CODE_10) {
        // word 2 carries the client's idea of the range end; the recording decides.
        if (word1 != 0)
            wanted = FromCalendarSeconds(word1);
    } else {
        wanted = FromDateTimeWords(word1, word2);
    }
    if (!wanted.isValid())
        return PLAYBACK_INVALID_DATE;
    // A day without any recording has no picture to show.
    if (wanted.date() < m_rangeStart.date() || wanted.date() > m_rangeEnd.date())
        return PLAYBACK_NO_PICTURE;
    // Within the recorded days, playback starts at the nearest recorded time in its
    // direction; nothing is left when that lies beyond the end of the recording.
    if (!m_reverse) {
        if (wanted >= m_rangeEnd)
            return PLAYBACK_END;
        m_start = wanted < m_rangeStart ? m_rangeStart : wanted;
    } else {
        if (wanted <= m_rangeStart)
            return PLAYBACK_END;
        m_start = wanted > m_rangeEnd ? m_rangeEnd : wanted;
    }
    return PLAYBACK_PICTURE;
}

QDateTime PlaybackClock::At(qint64 elapsedMs, bool *ended) const
{
    const qint64 delta = elapsedMs * m_rate;
    QDateTime t = m_start.addMSecs(m_reverse ? -delta : delta);
    *ended = false;
    if (!m_reverse && t > m_rangeEnd) {
        *ended = true;
        t = m_rangeEnd;
    } else if (m_reverse && t < m_rangeStart) {
        *ended = true;
        t = m_rangeStart;
    }
    return t;
}

} // namespace sim
