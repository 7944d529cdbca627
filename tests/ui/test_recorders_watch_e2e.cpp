// A recorder with nothing on screen is still watched: its peer gone silent without
// closing (the cable pulled: loopback down in a network namespace of this test's
// own) is found within 30 s by the link's TCP keep-alive, and with "ALWAYS" the
// link comes back by itself once the cable is back. The client's timers run ten
// times faster here; the keep-alive runs on the system's clock.

#include "recorderse2e.h"

#include <QElapsedTimer>
#include <QSettings>

#include <sched.h>

namespace {

using namespace viewe2e;

bool Loopback(bool bUp)
{
    return QProcess::execute(QStringLiteral("ip"),
                             {QStringLiteral("link"), QStringLiteral("set"), QStringLiteral("lo"),
                              bUp ? QStringLiteral("up") : QStringLiteral("down")}) == 0;
}

TEST_F(RecordersE2E, SilentRecorderOffScreenIsFoundAndAlwaysBringsItBack)
{
    // Only a namespace of this process's own may lose its loopback.
    if (::unshare(CLONE_NEWNET) != 0 || !Loopback(true))
        GTEST_SKIP() << "SKIPPED: no network namespace of the test's own (needs "
                        "CAP_SYS_ADMIN and the ip tool); the silent-peer check did not run";
    {
        QSettings store(QString::fromLatin1(SETTINGS_ORGANIZATION),
                        QString::fromLatin1(SETTINGS_APPLICATION));
        store.setValue(QStringLiteral("Setting/Reconnect Count"), int(RECONNECT_ALWAYS));
    }
    ASSERT_NO_FATAL_FAILURE(StartRecorders(2));
    ASSERT_NO_FATAL_FAILURE(CreateView());
    ASSERT_EQ(m_pView->Settings().m_byReconnectCount, RECONNECT_ALWAYS);
    m_pView->OnConnect();
    const CRecorderSet &set = *m_pView->Recorders();
    ASSERT_TRUE(WaitFor([&] { return set.Client(1)->NetClient()->Logins() == 1; }, 8000));
    // Quad of recorder 1: recorder 2 has nothing on screen and is asked for nothing.
    ASSERT_TRUE(WaitFor([&] { return TilesShowTheirChannels(0, 4); }, 8000));
    ASSERT_FALSE(set.WantsLive(1));

    QElapsedTimer away;
    away.start();
    ASSERT_TRUE(Loopback(false));
    ASSERT_TRUE(WaitFor([&] { return set.Status(1).IsRebuilding(); }, 40000));
    EXPECT_LE(away.elapsed(), 30000);

    Spin(3000); // attempts meanwhile fail: the cable is still out
    EXPECT_TRUE(set.Status(1).IsRebuilding());
    ASSERT_TRUE(Loopback(true));
    EXPECT_TRUE(WaitFor([&] { return set.Client(1)->NetClient()->Logins() == 2; }, 15000));
    EXPECT_EQ(set.Status(1).kind, LinkStatus::Kind::Online);
}

} // namespace
