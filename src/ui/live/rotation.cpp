#include "ui/live/rotation.h"

int NextSeenChannel(int current, const std::array<bool, 16> &seen)
{
    const int c = current & 0x0F;
    for (int step = 1; step <= 16; ++step) {
        const int k = (c + step) % 16;
        if (seen[std::size_t(k)])
            return k;
    }
    return c;
}

bool CRotation::Tick()
{
    if (!IsRunning())
        return false;
    if (m_byRotateTick == Interval()) {
        m_byRotateTick = 0;
        return true;
    }
    ++m_byRotateTick;
    return false;
}
