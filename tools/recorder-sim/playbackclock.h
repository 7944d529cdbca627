#pragma once
// Time of the recorded pictures during a playback: where a playback request starts
// within the recording time range, how fast and in which direction the picture time
// runs, and when the recording ends. Pure arithmetic: elapsed time is handed in.

#include <QDateTime>

#include <array>
#include <cstdint>

namespace sim {

// End-of-playback status codes of COMMAND_R_RECORDER (word 3).
constexpr int PLAYBACK_PICTURE = 1;
constexpr int PLAYBACK_ERROR = 0;
constexpr int PLAYBACK_NO_PICTURE = 2;
constexpr int PLAYBACK_END = 3;
constexpr int PLAYBACK_INVALID_DATE = 4;

class PlaybackClock {
  public:
    PlaybackClock() = default;
    PlaybackClock(const QDateTime &rangeStart, const QDateTime &rangeEnd)
        : m_rangeStart(rangeStart), m_rangeEnd(rangeEnd)
    {
    }

    // Reads words 1..3 of a COMMAND_RECORDER request whose play state is 1 or 2.
    // Returns PLAYBACK_PICTURE when pictures can follow, otherwise the status code
    // for a single refusing reply.
    int Start(std::uint32_t word1, std::uint32_t word2, std::uint32_t playControl, int versionCode);

    // Picture time after elapsedMs of real time, clamped to the range; *ended is set
    // once the time has run past the end (forwards) or the start (reverse).
    QDateTime At(qint64 elapsedMs, bool *ended) const;
    qint64 MsecsIntoRange(const QDateTime &t) const { return m_rangeStart.msecsTo(t); }

    bool Reverse() const { return m_reverse; }
    int Rate() const { return m_rate; }
    QDateTime StartTime() const { return m_start; }

    // Speed byte of the PlayControlWord as a rate: 1 normal, step s = 2^(s-1) up to 64.
    static int RateOfSpeed(int speed);

  private:
    QDateTime m_rangeStart, m_rangeEnd;
    QDateTime m_start;
    bool m_reverse = false;
    int m_rate = 1;
};

} // namespace sim
