// A link closed by the recorder or the network, on a manual clock: noticed at once,
// reconnected within a second, and never given up before the reply timer's path
// would have given up.

#include "netclienttestutil.h"
#include "receivetestutil.h"

#include <gtest/gtest.h>

using namespace clienttest;

namespace {

constexpr uint8_t kPlaying = 1;

struct CloseRow {
    const char *name;
    bool bLoggedIn;    // closed online (else during the login)
    bool bArchivePlay; // the archive plays when the link closes
    uint32_t nResent;  // what the new link asks for after its login
};

class LinkClosedTest : public ::testing::TestWithParam<CloseRow> {};

TEST_P(LinkClosedTest, ShownLostAtOnceAndReconnectedWithinASecond)
{
    const CloseRow &row = GetParam();
    ClientRig rig;
    rig.client.SetArchive(&rig.archive);
    if (row.bArchivePlay) {
        rig.archive.bActive = true;
        rig.archive.wPlayState = kPlaying;
        rig.archive.byChannel = 2;
        rig.client.SetPlaybackWords(0x07D50301, 0x0A000000, 0x00030001);
    }
    if (row.bLoggedIn)
        rig.Online();
    else
        rig.ConnectUp();
    FakeClientSocket *first = &rig.Sock();
    rig.view.statuses.clear();

    first->DeliverClose();
    RunPosted();
    if (row.bArchivePlay)
        rig.client.StopReconnect(); // a play button, as the operator presses one now
    EXPECT_EQ(rig.view.Codes(), std::vector<int>{STATUS_RECONNECTING});
    EXPECT_TRUE(first->m_bClosed);
    EXPECT_FALSE(rig.ResponseTimerRunning());
    EXPECT_FALSE(rig.timers->IsTimerRunning(CNetClientWnd::TIMER_WATCHDOG));
    EXPECT_EQ(rig.view.byConnectState, 1); // until the attempt starts, as on the timer's path

    rig.clock.Advance(CNetClientWnd::RECONNECT_FIRST_MS - 1);
    EXPECT_EQ(rig.sockets.size(), 1u);
    rig.clock.Advance(1);
    ASSERT_EQ(rig.sockets.size(), 2u);
    EXPECT_EQ(rig.view.Codes(), (std::vector<int>{4, 4, 2}));
    EXPECT_EQ(rig.view.byConnectState, 2);

    rig.Sock().CompleteConnect(0);
    rig.Deliver(LoginPacket(true));
    rig.clock.Advance(CNetClientWnd::LOGIN_PAUSE_MS);
    const auto sent = rig.Sent();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].nCommand, COMMAND_LOGIN);
    EXPECT_EQ(sent[1].nCommand, row.nResent);
    if (row.bArchivePlay) { // the last play request, word for word
        EXPECT_EQ(sent[1].words[0], 3u);
        EXPECT_EQ(sent[1].words[1], 0x07D50301u);
        EXPECT_EQ(sent[1].words[3], 0x00030001u);
    }
    EXPECT_EQ(rig.view.nLinkLost, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Closes, LinkClosedTest,
    ::testing::Values(CloseRow{"PeerCloseOnline", true, false, COMMAND_LIVE},
                      CloseRow{"ResetDuringLogin", false, false, COMMAND_LIVE},
                      CloseRow{"CloseDuringPlayback", true, true, COMMAND_RECORDER}),
    [](const ::testing::TestParamInfo<CloseRow> &info) { return std::string(info.param.name); });

struct RefusedRow {
    const char *name;
    uint8_t byCount;
    int64_t nBackAtMs; // the recorder accepts again from this time; -1 never
    std::vector<int64_t> attempts;
    int64_t nLostAtMs; // the view's disconnect; -1 none
    bool bPlayEachWait = false; // a play button after each refusal (stops reconnecting)
};

class RefusedAfterCloseTest : public ::testing::TestWithParam<RefusedRow> {};

TEST_P(RefusedAfterCloseTest, AttemptsLastAsLongAsTheReplyTimersPath)
{
    const RefusedRow &row = GetParam();
    ClientRig rig;
    rig.view.settings.m_byReconnectCount = row.byCount;
    rig.Online();
    const int64_t t0 = rig.clock.Now();
    rig.Sock().DeliverClose();
    RunPosted();

    std::vector<int64_t> attempts;
    int64_t nLostAt = -1;
    while (rig.clock.Now() - t0 < 60000) {
        const size_t nBefore = rig.sockets.size();
        if (!rig.clock.AdvanceToNext())
            break; // given up: no timer runs
        if (rig.view.nLinkLost > 0 && nLostAt < 0)
            nLostAt = rig.clock.Now() - t0;
        if (rig.sockets.size() == nBefore)
            continue;
        attempts.push_back(rig.clock.Now() - t0);
        if (row.nBackAtMs >= 0 && rig.clock.Now() - t0 >= row.nBackAtMs) {
            rig.Sock().CompleteConnect(0);
            rig.Deliver(LoginPacket(true));
            rig.clock.Advance(CNetClientWnd::LOGIN_PAUSE_MS);
            rig.Sock().DeliverStream(LivePacket(MarkedPicture(1), 2));
            break;
        }
        rig.Sock().CompleteConnect(111); // refused
        RunPosted();
        if (row.bPlayEachWait)
            rig.client.StopReconnect();
    }
    EXPECT_EQ(attempts, row.attempts);
    EXPECT_EQ(nLostAt, row.nLostAtMs);
    if (row.nBackAtMs >= 0) {
        EXPECT_EQ(rig.view.shown, std::vector<int>{1}); // pictures again, nobody pressed Connect
        EXPECT_EQ(rig.view.byConnectState, 1);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Counts, RefusedAfterCloseTest,
    ::testing::Values(
        // The reply timer's path: give up 15 s after the last reply, attempts at
        // 20, 25 and 30 s, the view's disconnect at 35 s.
        RefusedRow{
            "BackAfterThirtySeconds", 3, 30000, {900, 5900, 10900, 15900, 20900, 25900, 30900}, -1},
        RefusedRow{"NeverBack", 3, -1, {900, 5900, 10900, 15900, 20900, 25900, 30900}, 35900},
        RefusedRow{"CountZero", 0, -1, {900, 5900, 10900, 15900}, 20900},
        RefusedRow{"PlayPressedAfterEachRefusal",
                   3,
                   30000,
                   {900, 5900, 10900, 15900, 20900, 25900, 30900},
                   -1,
                   true}),
    [](const ::testing::TestParamInfo<RefusedRow> &info) { return std::string(info.param.name); });

TEST(LinkClosed, LinkOfTheQuickAttemptClosedBeforeALoginWaitsTheFullPeriod)
{
    // A recorder that accepts every connection and drops it is tried every 5 s,
    // not every second.
    ClientRig rig;
    rig.Online();
    rig.Sock().DeliverClose();
    RunPosted();
    rig.clock.Advance(CNetClientWnd::RECONNECT_FIRST_MS);
    rig.Sock().CompleteConnect(0);
    rig.Sock().DeliverClose();
    RunPosted();
    const size_t nSockets = rig.sockets.size();
    rig.clock.Advance(CNetClientWnd::RECONNECT_NORMAL_MS - 1);
    EXPECT_EQ(rig.sockets.size(), nSockets);
    rig.clock.Advance(1);
    EXPECT_EQ(rig.sockets.size(), nSockets + 1);
}

TEST(LinkClosed, CloseOfALinkTheProgramDroppedItselfChangesNothing)
{
    ClientRig rig;
    rig.Online();
    rig.Sock().DeliverClose();
    rig.view.OnLinkLost(); // the operator's disconnect comes first
    rig.view.statuses.clear();
    RunPosted();
    rig.clock.Advance(60000);
    EXPECT_TRUE(rig.view.statuses.empty());
    EXPECT_EQ(rig.sockets.size(), 1u);
}

} // namespace
