// The timer hosts the client runs on: the manual clock's ordering and window-timer
// semantics, and the Qt host delivering ticks through the event loop.

#include "protocol/timerhost.h"

#include "clientfakes.h"
#include "net/qttimerhost.h"
#include "support/manualclock.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

using Tick = std::pair<int64_t, int>;

TEST(ManualClock, PeriodicTimersFireInTimeOrderThenSchedulingOrder)
{
    ManualClock clock;
    auto a = clock.CreateHost();
    auto b = clock.CreateHost();
    std::vector<std::pair<char, int>> order;
    a->SetHandler([&](int id) { order.emplace_back('a', id); });
    b->SetHandler([&](int id) { order.emplace_back('b', id); });
    a->StartTimer(1, 300);
    b->StartTimer(2, 200);
    a->StartTimer(3, 600);
    clock.Advance(600);
    // At 600 all three are due: timer 3 was scheduled first (at 0), timer 1 for its
    // second tick at 300, timer 2 for its third at 400.
    const std::vector<std::pair<char, int>> expected = {{'b', 2}, {'a', 1}, {'b', 2},
                                                        {'a', 3}, {'a', 1}, {'b', 2}};
    EXPECT_EQ(order, expected);
    EXPECT_EQ(a->Ticks(), (std::vector<Tick>{{300, 1}, {600, 3}, {600, 1}}));
    EXPECT_EQ(clock.Now(), 600);
}

TEST(ManualClock, RestartKillAndSelfKill)
{
    ManualClock clock;
    auto host = clock.CreateHost();
    host->SetHandler([&](int id) {
        if (id == 7)
            host->KillTimer(7); // one-shot made from a periodic timer
    });
    host->StartTimer(5, 1000);
    clock.Advance(900);
    host->StartTimer(5, 1000); // restarts from now
    host->StartTimer(7, 50);
    clock.Advance(1000);
    EXPECT_EQ(host->Ticks(), (std::vector<Tick>{{950, 7}, {1900, 5}}));
    EXPECT_FALSE(host->IsTimerRunning(7));
    EXPECT_TRUE(host->IsTimerRunning(5));
    host->KillTimer(5);
    host->KillTimer(42); // not running: nothing happens
    EXPECT_EQ(clock.NextDueIn(), -1);
    EXPECT_FALSE(clock.AdvanceToNext());
}

TEST(ManualClock, DestroyedHostLeavesTheClock)
{
    ManualClock clock;
    auto host = clock.CreateHost();
    host->StartTimer(1, 10);
    host.reset();
    EXPECT_EQ(clock.NextDueIn(), -1);
    clock.Advance(100);
}

TEST(QtTimerHost, TicksArriveThroughTheEventLoop)
{
    clienttest::EnsureApp();
    QtTimerHost host;
    std::vector<int> ticks;
    host.SetHandler([&](int id) {
        ticks.push_back(id);
        if (id == 2)
            host.KillTimer(2);
    });
    host.StartTimer(1, 10);
    host.StartTimer(2, 5);
    EXPECT_TRUE(host.IsTimerRunning(1));
    QElapsedTimer clock;
    clock.start();
    while (std::count(ticks.begin(), ticks.end(), 1) < 3 && clock.elapsed() < 5000) {
        QEventLoop loop;
        QTimer::singleShot(2, &loop, &QEventLoop::quit);
        loop.exec();
    }
    EXPECT_GE(std::count(ticks.begin(), ticks.end(), 1), 3);
    EXPECT_EQ(std::count(ticks.begin(), ticks.end(), 2), 1);
    EXPECT_FALSE(host.IsTimerRunning(2));
}

} // namespace
