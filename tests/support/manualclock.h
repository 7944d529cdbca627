#pragma once
// Timers of the tests: a clock that stands still until the test moves it.

#include "protocol/timerhost.h"

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

class ManualTimerHost;

// Test clock: time stands still until Advance() moves it. Several hosts (one per
// owner) may share one clock; due timers fire in time order, and timers due at the
// same moment in the order they were scheduled for it (a periodic timer is scheduled
// anew at each of its ticks).
class ManualClock {
  public:
    ManualClock() = default;
    ManualClock(const ManualClock &) = delete;
    ManualClock &operator=(const ManualClock &) = delete;

    // Milliseconds since the clock was made.
    int64_t Now() const { return m_nNow; }
    // Moves time forward by nMs, firing every timer that falls due on the way (a
    // timer with period p started at t fires at t + p, t + 2p, ...).
    void Advance(int64_t nMs);
    // Moves time to the next due timer and fires it; false when no timer runs.
    bool AdvanceToNext();
    // Milliseconds until the next timer fires, or -1 when none runs.
    int64_t NextDueIn() const;

    std::unique_ptr<ManualTimerHost> CreateHost();

  private:
    friend class ManualTimerHost;
    struct Entry {
        ManualTimerHost *pHost;
        int nId;
        int nPeriodMs;
        int64_t nDue;
        uint64_t nSeq; // start order, breaks ties
    };
    void Start(ManualTimerHost *pHost, int nId, int nPeriodMs);
    void Kill(ManualTimerHost *pHost, int nId);
    bool IsRunning(const ManualTimerHost *pHost, int nId) const;
    void Forget(ManualTimerHost *pHost);
    int FindNext() const; // index into m_entries, -1 when empty

    int64_t m_nNow = 0;
    uint64_t m_nSeq = 0;
    std::vector<Entry> m_entries;
};

class ManualTimerHost : public ITimerHost {
  public:
    explicit ManualTimerHost(ManualClock &clock) : m_clock(clock) {}
    ~ManualTimerHost() override { m_clock.Forget(this); }

    void StartTimer(int nId, int nPeriodMs) override { m_clock.Start(this, nId, nPeriodMs); }
    void KillTimer(int nId) override { m_clock.Kill(this, nId); }
    bool IsTimerRunning(int nId) const override { return m_clock.IsRunning(this, nId); }
    int64_t NowMs() const override { return m_clock.Now(); }

    // Every tick this host has fired, in order: (time in ms, id).
    const std::vector<std::pair<int64_t, int>> &Ticks() const { return m_ticks; }

  private:
    friend class ManualClock;
    void Tick(int nId)
    {
        m_ticks.emplace_back(m_clock.Now(), nId);
        Fire(nId);
    }

    ManualClock &m_clock;
    std::vector<std::pair<int64_t, int>> m_ticks;
};
