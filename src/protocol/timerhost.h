#pragma once
// Timers with ids, as a window owns them: each owner gets its own host, starts and
// kills periodic timers by id and receives every tick through one handler. The
// protocol client and the views are handed a host, so the same code runs on Qt's
// event loop in the program and on a manual clock in the tests.
//
// Semantics (those of window timers): a timer is periodic until killed; starting an
// id that is already running restarts it with the new period; killing an id that is
// not running does nothing. The handler may start and kill timers, its own included.

#include <QObject>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <vector>

class ITimerHost {
  public:
    using Handler = std::function<void(int nId)>;

    virtual ~ITimerHost() = default;

    // Starts (or restarts) timer nId with the given period in milliseconds.
    virtual void StartTimer(int nId, int nPeriodMs) = 0;
    // Stops timer nId; nothing happens when it is not running.
    virtual void KillTimer(int nId) = 0;
    virtual bool IsTimerRunning(int nId) const = 0;

    // The owner's tick handler; called with the id of the timer that fired.
    void SetHandler(Handler handler) { m_handler = std::move(handler); }

  protected:
    void Fire(int nId)
    {
        if (m_handler)
            m_handler(nId);
    }

  private:
    Handler m_handler;
};

// Production host: one QObject timer per id on the thread of the host.
class QtTimerHost : public QObject, public ITimerHost {
    Q_OBJECT
  public:
    explicit QtTimerHost(QObject *parent = nullptr);
    ~QtTimerHost() override;

    void StartTimer(int nId, int nPeriodMs) override;
    void KillTimer(int nId) override;
    bool IsTimerRunning(int nId) const override;

  protected:
    void timerEvent(QTimerEvent *event) override;

  private:
    std::map<int, int> m_qtIdById; // our id -> QObject timer id
};

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
