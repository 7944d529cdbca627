#pragma once
// Circular monitoring: the single-channel display steps through the channels that
// have delivered pictures, each shown for the interval plus one second (the
// counter runs 0..interval on the view's 1000 ms timer and steps when it equals
// the interval).

#include <array>
#include <cstdint>

// The channel after `current` (0..15) whose seen flag is set, searching
// current + 1 ... current + 16 modulo 16; `current` when none is set.
int NextSeenChannel(int current, const std::array<bool, 16> &seen);

class CRotation {
  public:
    bool IsRunning() const { return (m_wRotate >> 8) == 1; }
    std::uint8_t Interval() const { return std::uint8_t(m_wRotate & 0xFF); }

    // Starts with the interval taken now; later changes of the setting apply from
    // the next start.
    void Start(std::uint8_t intervalSeconds)
    {
        m_byRotateTick = 0;
        m_wRotate = std::uint16_t(0x0100 + intervalSeconds);
    }
    void Stop() { m_wRotate = 0; }

    // One tick of the 1000 ms timer; true when the next channel is due.
    bool Tick();

    std::uint16_t m_wRotate = 0;     // 0 = off, else 0x0100 + interval in seconds
    std::uint8_t m_byRotateTick = 0; // seconds the current channel has been shown
};
