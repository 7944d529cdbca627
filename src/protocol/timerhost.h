#pragma once
// Timers with ids, as a window owns them: each owner gets its own host, starts and
// kills periodic timers by id and receives every tick through one handler. The
// protocol client and the views are handed a host, so the same code runs on Qt's
// event loop in the program and on a manual clock in the tests.
//
// Semantics (those of window timers): a timer is periodic until killed; starting an
// id that is already running restarts it with the new period; killing an id that is
// not running does nothing. The handler may start and kill timers, its own included.

#include <chrono>
#include <cstdint>
#include <functional>
#include <utility>

class ITimerHost {
  public:
    using Handler = std::function<void(int nId)>;

    virtual ~ITimerHost() = default;

    // Starts (or restarts) timer nId with the given period in milliseconds.
    virtual void StartTimer(int nId, int nPeriodMs) = 0;
    // Stops timer nId; nothing happens when it is not running.
    virtual void KillTimer(int nId) = 0;
    virtual bool IsTimerRunning(int nId) const = 0;
    // Milliseconds on the clock that drives these timers (any fixed origin).
    virtual int64_t NowMs() const
    {
        using namespace std::chrono;
        return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    }

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
