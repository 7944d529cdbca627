#include "support/manualclock.h"

#include <algorithm>
#include <cassert>

std::unique_ptr<ManualTimerHost> ManualClock::CreateHost()
{
    return std::make_unique<ManualTimerHost>(*this);
}

void ManualClock::Start(ManualTimerHost *pHost, int nId, int nPeriodMs)
{
    assert(nPeriodMs > 0);
    Kill(pHost, nId);
    m_entries.push_back(
        {pHost, nId, std::max(1, nPeriodMs), m_nNow + std::max(1, nPeriodMs), m_nSeq++});
}

void ManualClock::Kill(ManualTimerHost *pHost, int nId)
{
    m_entries.erase(
        std::remove_if(m_entries.begin(), m_entries.end(),
                       [&](const Entry &e) { return e.pHost == pHost && e.nId == nId; }),
        m_entries.end());
}

bool ManualClock::IsRunning(const ManualTimerHost *pHost, int nId) const
{
    return std::any_of(m_entries.begin(), m_entries.end(),
                       [&](const Entry &e) { return e.pHost == pHost && e.nId == nId; });
}

void ManualClock::Forget(ManualTimerHost *pHost)
{
    m_entries.erase(std::remove_if(m_entries.begin(), m_entries.end(),
                                   [&](const Entry &e) { return e.pHost == pHost; }),
                    m_entries.end());
}

int ManualClock::FindNext() const
{
    int nBest = -1;
    for (int i = 0; i < static_cast<int>(m_entries.size()); ++i) {
        const Entry &e = m_entries[i];
        if (nBest < 0 || e.nDue < m_entries[nBest].nDue ||
            (e.nDue == m_entries[nBest].nDue && e.nSeq < m_entries[nBest].nSeq))
            nBest = i;
    }
    return nBest;
}

int64_t ManualClock::NextDueIn() const
{
    const int n = FindNext();
    return n < 0 ? -1 : m_entries[n].nDue - m_nNow;
}

bool ManualClock::AdvanceToNext()
{
    const int n = FindNext();
    if (n < 0)
        return false;
    Entry &e = m_entries[n];
    m_nNow = std::max(m_nNow, e.nDue);
    e.nDue += e.nPeriodMs;
    e.nSeq = m_nSeq++; // a re-armed tick queues behind timers already due at the same time
    ManualTimerHost *pHost = e.pHost;
    const int nId = e.nId;
    pHost->Tick(nId); // may start or kill timers: e is not used after this
    return true;
}

void ManualClock::Advance(int64_t nMs)
{
    const int64_t nTarget = m_nNow + std::max<int64_t>(0, nMs);
    for (;;) {
        const int n = FindNext();
        if (n < 0 || m_entries[n].nDue > nTarget)
            break;
        AdvanceToNext();
    }
    m_nNow = nTarget;
}
