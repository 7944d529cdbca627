// Session of the protocol client on a manual clock: connect, login, the response
// timer, reconnection, keep-alive, the stop handshake, request bookkeeping.

#include "netclienttestutil.h"
#include "support/fakesocket.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace clienttest;

namespace {

using Pair = std::pair<int, int>;

TEST(NetClientSession, ConnectEventLogsInAndShowsTheLinkUp)
{
    ClientRig rig;
    SetFieldText(rig.view.settings.m_szUserID, QStringLiteral("warden"));
    SetFieldText(rig.view.settings.m_szPassword, QStringLiteral("pw6"));
    ASSERT_NO_FATAL_FAILURE(rig.ConnectUp());
    EXPECT_EQ(rig.view.byConnectState, 1);
    EXPECT_EQ(rig.view.Codes(), std::vector<int>{STATUS_ESTABLISHED});
    EXPECT_EQ(rig.Sock().m_nNoDelayCalls, 1);
    const auto sent = rig.Sent();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].nCommand, COMMAND_LOGIN);
    EXPECT_EQ(sent[0].nBytes, 300u);
    EXPECT_EQ(sent[0].version, "DVR PACKET1.0");
    // The settings' user ID and password in their slots of the login (after the header).
    const char *login = reinterpret_cast<const char *>(rig.Sock().m_sent[0].data());
    EXPECT_STREQ(login + 28, "warden");
    EXPECT_STREQ(login + 28 + 128, "pw6");
    EXPECT_TRUE(rig.ResponseTimerRunning());
}

TEST(NetClientSession, UnansweredLoginIsRepeatedThenTheLinkIsRenewed)
{
    ClientRig rig;
    ASSERT_NO_FATAL_FAILURE(rig.ConnectUp());
    FakeClientSocket *first = &rig.Sock();
    rig.clock.Advance(5000);
    EXPECT_EQ(rig.view.statuses, (std::vector<Pair>{{1, 0}, {6, 1}}));
    EXPECT_EQ(rig.CountSent(COMMAND_LOGIN), 2u);
    rig.clock.Advance(5000);
    EXPECT_EQ(rig.view.statuses.back(), Pair(6, 2));
    EXPECT_EQ(rig.CountSent(COMMAND_LOGIN), 3u);
    rig.clock.Advance(4999);
    EXPECT_EQ(rig.view.statuses.size(), 3u);
    rig.clock.Advance(1); // 15 s
    EXPECT_EQ(rig.view.statuses.back().first, STATUS_RECONNECTING);
    EXPECT_FALSE(rig.ResponseTimerRunning());
    EXPECT_EQ(rig.sockets.size(), 1u);
    const std::shared_ptr<bool> pFreed = first->m_pFreed;
    rig.clock.Advance(5000); // 20 s: first attempt
    EXPECT_TRUE(first->m_bClosed);
    QCoreApplication::processEvents(); // the closed socket is freed on the next turn
    EXPECT_TRUE(*pFreed);
    ASSERT_EQ(rig.sockets.size(), 2u);
    EXPECT_EQ(rig.view.Codes(), (std::vector<int>{1, 6, 6, 4, 4, 2}));
    EXPECT_EQ(rig.view.byConnectState, 2);
    EXPECT_EQ(rig.Sock().m_host, QStringLiteral("127.0.0.1"));
    EXPECT_EQ(rig.client.ReconnectAttempts(), 1);
}

TEST(NetClientSession, RefusedReconnectionsEndInTheViewsDisconnect)
{
    ClientRig rig;
    ASSERT_NO_FATAL_FAILURE(rig.ConnectUp());
    rig.client.ArmResponseTimer(false); // as when the response timer gives up
    rig.client.StartReconnect(false);
    rig.view.statuses.clear();
    for (int attempt = 1; attempt <= 3; ++attempt) {
        rig.clock.Advance(5000);
        ASSERT_EQ(rig.sockets.size(), size_t(attempt + 1));
        if (attempt == 2)
            rig.Sock().DeliverClose(); // closed before its connect event: failed as well
        else
            rig.Sock().CompleteConnect(111); // refused
        RunPosted();
        EXPECT_EQ(rig.view.Codes(), (std::vector<int>{4, 2, 5})) << "attempt " << attempt;
        rig.view.statuses.clear();
    }
    EXPECT_EQ(rig.view.nLinkLost, 0);
    rig.clock.Advance(5000);
    EXPECT_EQ(rig.view.Codes(), std::vector<int>{4});
    EXPECT_EQ(rig.view.nLinkLost, 1);
    EXPECT_EQ(rig.view.byConnectState, 0);
    EXPECT_EQ(rig.client.Status().kind, LinkStatus::Kind::GivenUp);
    EXPECT_FALSE(rig.client.HasSocket());
    EXPECT_FALSE(rig.timers->IsTimerRunning(CNetClientWnd::TIMER_RECONNECT));
    rig.clock.Advance(60000);
    EXPECT_EQ(rig.sockets.size(), 4u); // no further attempts
}

// "ALWAYS": an attempt every 5 s for the first minute after the loss, then every
// 30 s, and never a give-up; the status tells how long the recorder has been away.
TEST(NetClientSession, AlwaysReconnectsForEverAndSlowsDownAfterAMinute)
{
    ClientRig rig;
    rig.view.settings.m_byReconnectCount = RECONNECT_ALWAYS;
    ASSERT_NO_FATAL_FAILURE(rig.ConnectUp());
    const int64_t nLostAt = rig.clock.Now();
    rig.client.ArmResponseTimer(false);
    rig.client.StartReconnect(false);
    // Each attempt comes at its time to the millisecond, refused: the recorder is
    // still down.
    std::vector<int64_t> expected;
    for (int64_t t = 5000; t <= 60000; t += 5000)
        expected.push_back(t);
    for (int64_t t = 90000; t <= 180000; t += 30000)
        expected.push_back(t);
    for (const int64_t t : expected) {
        const std::size_t nBefore = rig.sockets.size();
        rig.clock.Advance(nLostAt + t - 1 - rig.clock.Now());
        ASSERT_EQ(rig.sockets.size(), nBefore) << "attempt before " << t;
        rig.clock.Advance(1);
        ASSERT_EQ(rig.sockets.size(), nBefore + 1) << "no attempt at " << t;
        rig.Sock().CompleteConnect(111);
        RunPosted();
    }
    EXPECT_EQ(rig.view.nLinkLost, 0);
    const LinkStatus status = rig.client.Status();
    EXPECT_TRUE(status.IsRebuilding());
    EXPECT_EQ(status.nLostAtMs, nLostAt);
    EXPECT_EQ(status.nAttempts, int(expected.size()));
}

TEST(NetClientSession, ReconnectCountZeroGivesUpAtTheFirstTick)
{
    ClientRig rig;
    rig.view.settings.m_byReconnectCount = 0;
    ASSERT_NO_FATAL_FAILURE(rig.ConnectUp());
    rig.client.StartReconnect(true);
    rig.clock.Advance(2000);
    EXPECT_EQ(rig.view.nLinkLost, 1);
    EXPECT_EQ(rig.sockets.size(), 1u);
}

TEST(NetClientSession, FailedConnectWithoutReconnectionDropsTheLink)
{
    for (const bool bClosed : {false, true}) { // refused, or closed before the connect event
        SCOPED_TRACE(bClosed);
        ClientRig rig;
        ASSERT_TRUE(rig.client.Connect("127.0.0.1", 8000));
        rig.view.byConnectState = 2;
        if (bClosed)
            rig.Sock().DeliverClose();
        else
            rig.Sock().CompleteConnect(111);
        EXPECT_EQ(rig.view.nLinkLost, 0); // posted, not called inside the socket event
        RunPosted();
        EXPECT_EQ(rig.view.nLinkLost, 1);
        EXPECT_FALSE(rig.client.HasSocket());
        rig.clock.Advance(60000);
        EXPECT_EQ(rig.sockets.size(), 1u); // and no attempt of its own
    }
}

TEST(NetClientSession, LoginDuringReconnectionResetsTheAttempts)
{
    ClientRig rig;
    ASSERT_NO_FATAL_FAILURE(rig.ConnectUp());
    rig.client.ArmResponseTimer(false); // as when the response timer gives up
    rig.client.StartReconnect(false);
    rig.clock.Advance(5000);
    rig.Sock().CompleteConnect(111);
    RunPosted();
    rig.clock.Advance(5000); // second attempt comes up
    EXPECT_EQ(rig.client.ReconnectAttempts(), 2);
    rig.Sock().CompleteConnect(0);
    EXPECT_EQ(rig.client.ReconnectAttempts(), 2); // counted until a login is accepted
    EXPECT_FALSE(rig.timers->IsTimerRunning(CNetClientWnd::TIMER_RECONNECT));
    EXPECT_EQ(rig.view.byConnectState, 1);
    rig.Deliver(LoginPacket(true));
    EXPECT_EQ(rig.client.ReconnectAttempts(), 0);
    // A later loss gets the full three attempts again.
    rig.clock.Advance(15000 + CNetClientWnd::LOGIN_PAUSE_MS);
    const size_t nBefore = rig.sockets.size();
    for (int i = 0; i < 3; ++i) {
        rig.clock.Advance(5000);
        rig.Sock().CompleteConnect(111);
        RunPosted();
    }
    EXPECT_EQ(rig.sockets.size(), nBefore + 3);
    EXPECT_EQ(rig.view.nLinkLost, 0);
    rig.clock.Advance(5000);
    EXPECT_EQ(rig.view.nLinkLost, 1);
}

struct AtOnceRow {
    const char *name;
    int nOutcome;      // what the socket reports from inside Connect
    bool bFailConnect; // and whether Connect then says it could not start
    bool bConnectReturns;
    std::vector<int> statuses; // after the event loop has run
    int nLinkLost;
    uint8_t byState;
};

class ConnectAtOnceTest : public ::testing::TestWithParam<AtOnceRow> {};

TEST_P(ConnectAtOnceTest, ConnectReportedInsideConnectIsHandledAfterIt)
{
    const AtOnceRow &row = GetParam();
    ClientRig rig;
    rig.nConnectAtOnce = row.nOutcome;
    rig.bFailConnect = row.bFailConnect;
    const bool bStarted = rig.client.Connect("127.0.0.1", 8000);
    ASSERT_EQ(bStarted, row.bConnectReturns);
    if (bStarted) {
        rig.view.byConnectState = 2; // the connect button's own step
        EXPECT_TRUE(rig.Sock().m_sent.empty());
    } // otherwise the socket is gone already
    EXPECT_TRUE(rig.view.statuses.empty());
    RunPosted();
    RunPosted(); // a failure goes on as the posted link message
    EXPECT_EQ(rig.view.Codes(), row.statuses);
    EXPECT_EQ(rig.view.nLinkLost, row.nLinkLost);
    EXPECT_EQ(rig.view.byConnectState, row.byState);
    if (row.byState == 1) {
        EXPECT_EQ(rig.Commands(), std::vector<uint32_t>{COMMAND_LOGIN});
    }
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, ConnectAtOnceTest,
    ::testing::Values(AtOnceRow{"Connected", 0, false, true, {STATUS_ESTABLISHED}, 0, 1},
                      AtOnceRow{"FailedButStarted", 111, false, true, {}, 1, 0},
                      AtOnceRow{"RefusedAtOnce", 111, true, false, {}, 0, 0}),
    [](const ::testing::TestParamInfo<AtOnceRow> &info) { return std::string(info.param.name); });

TEST(NetClientSession, ConnectWithASocketPresentChangesNothing)
{
    ClientRig rig;
    ASSERT_TRUE(rig.client.Connect("127.0.0.1", 8000));
    EXPECT_FALSE(rig.client.Connect("127.0.0.1", 8001));
    EXPECT_EQ(rig.sockets.size(), 1u);
    EXPECT_EQ(rig.Sock().m_nPort, 8000);
}

TEST(NetClientSession, ConnectThatCannotStartLeavesNoSocket)
{
    ClientRig rig;
    rig.bFailConnect = true;
    EXPECT_FALSE(rig.client.Connect("127.0.0.1", 8000));
    EXPECT_FALSE(rig.client.HasSocket());
    EXPECT_FALSE(rig.client.Connect("127.0.0.1", 0));
}

TEST(NetClientSession, NothingIsSentBeforeTheConnectionIsUp)
{
    ClientRig rig;
    ASSERT_TRUE(rig.client.Connect("127.0.0.1", 8000));
    rig.client.SendCommand(KIND_LIVE, true);
    EXPECT_TRUE(rig.Sock().m_sent.empty());
    EXPECT_FALSE(rig.ResponseTimerRunning());
}

// ---- login reply -------------------------------------------------------------------------

TEST(NetClientLogin, FirstRequestFollowsTheLoginAfterTheShortPause)
{
    ClientRig rig;
    ASSERT_NO_FATAL_FAILURE(rig.ConnectUp());
    rig.Deliver(LoginPacket(true, 4, 1, "DVR PACKET1.2"));
    EXPECT_EQ(rig.Commands(), std::vector<uint32_t>{COMMAND_LOGIN});
    rig.clock.Advance(199);
    EXPECT_EQ(rig.Commands().size(), 1u);
    rig.clock.Advance(1);
    ASSERT_EQ(rig.Commands(), (std::vector<uint32_t>{COMMAND_LOGIN, COMMAND_LIVE}));
    const SentRequest live = rig.Sent()[1];
    EXPECT_EQ(live.version, "DVR PACKET1.2");
    EXPECT_EQ(live.nSize, 60u);
    EXPECT_EQ(live.words[0], 1u);
    EXPECT_EQ(live.words[1], 1u);
    EXPECT_EQ(rig.client.VersionCode(), VERSION_CODE_12);
    EXPECT_EQ(rig.client.Receiver().FieldRow(), 1u);
    EXPECT_TRUE(rig.timers->IsTimerRunning(CNetClientWnd::TIMER_WATCHDOG));
    EXPECT_EQ(rig.client.CurrentKind(), KIND_LIVE);
}

TEST(NetClientLogin, ResponseTimerDoesNotRepeatTheLoginDuringThePause)
{
    ClientRig rig;
    ASSERT_NO_FATAL_FAILURE(rig.ConnectUp());
    rig.clock.Advance(4900);
    rig.Deliver(LoginPacket());
    rig.clock.Advance(200); // the login's 5 s pass inside the pause
    EXPECT_EQ(rig.CountSent(COMMAND_LOGIN), 1u);
    EXPECT_EQ(rig.CountSent(COMMAND_LIVE), 1u);
    EXPECT_EQ(rig.view.Codes(), std::vector<int>{STATUS_ESTABLISHED});
}

TEST(NetClientLogin, BytesBehindTheLoginReplyWaitForTheFirstRequest)
{
    ClientRig rig;
    rig.view.settings.m_bUseAlertMode = 1;
    ASSERT_NO_FATAL_FAILURE(rig.ConnectUp());
    rig.Deliver(Concat({LoginPacket(), Reply(COMMAND_R_ALERT, Words({2, 0x01000000u}))}));
    rig.Deliver(Reply(COMMAND_R_ALERT, Words({3, 0x00010000u})));
    EXPECT_EQ(rig.view.Codes(), std::vector<int>{STATUS_ESTABLISHED});
    EXPECT_EQ(rig.Commands(), (std::vector<uint32_t>{COMMAND_LOGIN, COMMAND_ALERT}));
    rig.clock.Advance(200);
    EXPECT_EQ(rig.Commands(), (std::vector<uint32_t>{COMMAND_LOGIN, COMMAND_ALERT, COMMAND_LIVE}));
    EXPECT_EQ(rig.view.Codes(), (std::vector<int>{1, 7, 7}));
    EXPECT_EQ(rig.client.LastAlertWord(), 0x00010003u);
}

TEST(NetClientLogin, SecondLoginReplyPausesAgain)
{
    ClientRig rig;
    ASSERT_NO_FATAL_FAILURE(rig.ConnectUp());
    rig.Deliver(Concat({LoginPacket(), LoginPacket()}));
    rig.clock.Advance(200);
    EXPECT_EQ(rig.CountSent(COMMAND_LIVE), 1u);
    rig.clock.Advance(199);
    EXPECT_EQ(rig.CountSent(COMMAND_LIVE), 1u);
    rig.clock.Advance(1);
    EXPECT_EQ(rig.CountSent(COMMAND_LIVE), 2u);
}

TEST(NetClientLogin, AlertModeSendsTheAlertRequestBeforeTheLiveRequest)
{
    ClientRig rig;
    rig.view.settings.m_bUseAlertMode = 1;
    ASSERT_NO_FATAL_FAILURE(rig.Online());
    ASSERT_EQ(rig.Commands(), (std::vector<uint32_t>{COMMAND_LOGIN, COMMAND_ALERT, COMMAND_LIVE}));
    EXPECT_EQ(rig.Sent()[1].words[0], 5u);
    EXPECT_EQ(rig.Sent()[1].words[1], 1u);
}

TEST(NetClientLogin, RefusedLoginDropsTheLink)
{
    ClientRig rig;
    ASSERT_NO_FATAL_FAILURE(rig.ConnectUp());
    rig.Deliver(LoginPacket(false));
    EXPECT_EQ(rig.view.nLinkLost, 1);
    EXPECT_EQ(rig.client.Status().kind, LinkStatus::Kind::LoginRefused);
    EXPECT_FALSE(rig.client.HasSocket());
    EXPECT_FALSE(rig.client.HasBuffers());
    rig.clock.Advance(60000);
    EXPECT_EQ(rig.sockets.size(), 1u);
    // The operator's next link forgets how the last one ended.
    ASSERT_TRUE(rig.client.Connect("127.0.0.1", 8000));
    rig.client.Disconnect(true);
    EXPECT_EQ(rig.client.Status().kind, LinkStatus::Kind::Idle);
}

TEST(NetClientLogin, NothingBehindARefusedLoginInTheSameReadIsHandled)
{
    ClientRig rig;
    rig.view.settings.m_bUseAlertMode = 1;
    ASSERT_NO_FATAL_FAILURE(rig.ConnectUp());
    // The link is dropped (and the socket closed) from inside the socket's read.
    rig.Deliver(Concat(
        {LoginPacket(false), Reply(COMMAND_R_ALERT, Words({2, 0x01000000u})), LivePacket({}, 1)}));
    EXPECT_EQ(rig.view.nLinkLost, 1);
    EXPECT_EQ(rig.view.Codes(), std::vector<int>{STATUS_ESTABLISHED});
    EXPECT_EQ(rig.client.LastAlertWord(), 0u);
    EXPECT_FALSE(rig.ResponseTimerRunning());
    EXPECT_EQ(rig.Sock().m_nCloseCalls, 1);
    RunPosted(); // the closed socket is freed once its event is over
    EXPECT_EQ(rig.clock.NextDueIn(), -1);
}

struct VersionRow {
    const char *text;
    uint8_t code;
    uint8_t channelCount; // the view's count after a login with nChannelInfo 8
};

class LoginVersionTest : public ::testing::TestWithParam<VersionRow> {};

TEST_P(LoginVersionTest, VersionTextIsKeptAndEchoed)
{
    ClientRig rig;
    ASSERT_NO_FATAL_FAILURE(rig.ConnectUp());
    rig.Deliver(LoginPacket(true, 8, 0, GetParam().text));
    rig.clock.Advance(200);
    EXPECT_EQ(rig.client.VersionCode(), GetParam().code);
    EXPECT_EQ(rig.view.byChannelCount, GetParam().channelCount);
    EXPECT_TRUE(rig.client.NoCheckJpeg()); // nChannelInfo neither 0 nor 4
    EXPECT_EQ(rig.Sent().back().version, GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Versions, LoginVersionTest,
                         ::testing::Values(VersionRow{"DVR PACKET1.0", 1, 4},
                                           VersionRow{"DVR PACKET1.2b", 3, 8},
                                           VersionRow{"DVR PACKET1.2", 2, 8},
                                           VersionRow{"DVR PACKET2.0", 3, 8}));

struct FirstRequestRow {
    bool bActive;
    uint16_t wPlayState;
    uint32_t nCommand;
};

class FirstRequestTest : public ::testing::TestWithParam<FirstRequestRow> {};

TEST_P(FirstRequestTest, ArchiveStateChoosesTheFirstRequest)
{
    ClientRig rig;
    rig.client.SetArchive(&rig.archive);
    rig.archive.bActive = GetParam().bActive;
    rig.archive.wPlayState = GetParam().wPlayState;
    ASSERT_NO_FATAL_FAILURE(rig.Online());
    EXPECT_EQ(rig.Commands().back(), GetParam().nCommand);
    EXPECT_EQ(rig.archive.timeRanges.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Archive, FirstRequestTest,
                         ::testing::Values(FirstRequestRow{false, 0x0001, COMMAND_LIVE},
                                           FirstRequestRow{true, 0x0001, COMMAND_RECORDER},
                                           FirstRequestRow{true, 0x0101, COMMAND_RECORDER},
                                           FirstRequestRow{true, 0x0000, COMMAND_STOP}));

// ---- timers --------------------------------------------------------------------------------

TEST(NetClientTimers, KeepAliveEveryTwentySeconds)
{
    ClientRig rig;
    ASSERT_NO_FATAL_FAILURE(rig.Online());
    const int64_t nStart = rig.clock.Now();
    std::vector<int64_t> watchdogs;
    size_t nSeen = rig.Sock().m_sent.size();
    for (int64_t t = 0; t < 65000; t += 1000) {
        if (t % 4000 == 0)
            rig.Deliver(LivePacket({}, 1)); // the stream keeps the response timer quiet
        rig.clock.Advance(1000);
        for (; nSeen < rig.Sock().m_sent.size(); ++nSeen)
            if (ParseSent(rig.Sock().m_sent[nSeen]).nCommand == COMMAND_WATCHDOG)
                watchdogs.push_back(rig.clock.Now() - nStart);
    }
    EXPECT_EQ(watchdogs, (std::vector<int64_t>{20000, 40000, 60000}));
    EXPECT_EQ(rig.CountSent(COMMAND_LIVE), 1u);
    EXPECT_EQ(rig.view.byConnectState, 1);
}

TEST(NetClientTimers, SilenceAfterTheKeepAliveRepeatsTheKeepAlive)
{
    ClientRig rig;
    ASSERT_NO_FATAL_FAILURE(rig.Online());
    for (int i = 0; i < 5; ++i) {
        rig.Deliver(LivePacket({}, 1));
        rig.clock.Advance(4000);
    }
    rig.clock.Advance(200); // keep-alive at 20.2 s re-arms the response timer with kind 100
    ASSERT_EQ(rig.Commands().back(), COMMAND_WATCHDOG);
    EXPECT_EQ(rig.client.CurrentKind(), KIND_WATCHDOG);
    rig.clock.Advance(5000);
    EXPECT_EQ(rig.view.statuses.back(), Pair(STATUS_TRY_REQUEST, 1));
    EXPECT_EQ(rig.CountSent(COMMAND_WATCHDOG), 2u);
    EXPECT_EQ(rig.Commands().back(), COMMAND_WATCHDOG);
}

// With the archive open and playback stopped (or paused) no stream answers the
// keep-alive: two minutes bring keep-alives only, no repeat and no new link. A silent
// playing archive still gets its repeats.
TEST(NetClientTimers, KeepAliveArmsOnlyWhileAStreamIsExpected)
{
    for (uint16_t wPlayState : {uint16_t(0x0000), uint16_t(0x0001)}) {
        SCOPED_TRACE(wPlayState);
        ClientRig rig;
        rig.client.SetArchive(&rig.archive);
        rig.archive.bActive = true;
        rig.archive.wPlayState = wPlayState;
        ASSERT_NO_FATAL_FAILURE(rig.Online());
        rig.clock.Advance(120000);
        const bool bPlaying = wPlayState == 0x0001;
        const bool bRepeated =
            std::any_of(rig.view.statuses.begin(), rig.view.statuses.end(),
                        [](const auto &status) { return status.first == STATUS_TRY_REQUEST; });
        EXPECT_EQ(bRepeated, bPlaying);
        EXPECT_EQ(rig.sockets.size() > 1, bPlaying); // a new link was tried
        if (!bPlaying) {
            EXPECT_EQ(rig.Commands(),
                      std::vector<uint32_t>(
                          {COMMAND_LOGIN, COMMAND_STOP, COMMAND_STOP, // unconfirmed: resent once
                           COMMAND_WATCHDOG, COMMAND_WATCHDOG, COMMAND_WATCHDOG, COMMAND_WATCHDOG,
                           COMMAND_WATCHDOG, COMMAND_WATCHDOG}));
            EXPECT_EQ(rig.view.byConnectState, 1);
        }
    }
}

TEST(NetClientTimers, ArmedStopIsResentOnceAndPicturesFlowAgain)
{
    ClientRig rig;
    ASSERT_NO_FATAL_FAILURE(rig.Online());
    rig.client.SendCommand(KIND_STOP, true);
    EXPECT_TRUE(rig.client.IsStopPending());
    EXPECT_FALSE(rig.ResponseTimerRunning());
    rig.Deliver(LivePacket({}, 1));
    EXPECT_FALSE(rig.ResponseTimerRunning()); // dropped: not re-armed
    rig.clock.Advance(299);
    EXPECT_EQ(rig.CountSent(COMMAND_STOP), 1u);
    rig.clock.Advance(1);
    EXPECT_EQ(rig.CountSent(COMMAND_STOP), 2u);
    EXPECT_FALSE(rig.client.IsStopPending());
    EXPECT_FALSE(rig.timers->IsTimerRunning(CNetClientWnd::TIMER_STOP));
    rig.Deliver(LivePacket({}, 1));
    EXPECT_TRUE(rig.ResponseTimerRunning()); // accepted again
    rig.clock.Advance(10000);
    EXPECT_EQ(rig.CountSent(COMMAND_STOP), 2u);
}

// A confirmed stop ends its handshake; an unarmed one has none. Either is sent once.
TEST(NetClientTimers, ConfirmedAndUnarmedStopsAreSentOnce)
{
    for (const bool bArmed : {true, false}) {
        ClientRig rig;
        ASSERT_NO_FATAL_FAILURE(rig.Online());
        rig.client.SendCommand(KIND_STOP, bArmed);
        if (bArmed)
            rig.Deliver(Reply(COMMAND_R_STOP, Words({1})));
        EXPECT_FALSE(rig.client.IsStopPending()) << bArmed;
        EXPECT_FALSE(rig.ResponseTimerRunning() ||
                     rig.timers->IsTimerRunning(CNetClientWnd::TIMER_STOP))
            << bArmed;
        rig.clock.Advance(1000);
        EXPECT_EQ(rig.CountSent(COMMAND_STOP), 1u) << bArmed;
    }
}

TEST(NetClientTimers, PauseRequestStartsTheReplyCounterAndTheTwentiethReplyReconnects)
{
    ClientRig rig;
    rig.client.SetArchive(&rig.archive);
    ASSERT_NO_FATAL_FAILURE(rig.Online());
    rig.archive.bActive = true;
    rig.client.SetPlaybackWords(0, 0, 0); // play state 0: pause
    rig.client.SendCommand(KIND_RECORDER, false);
    EXPECT_EQ(rig.client.PlaybackCounter(), 0x0101);
    const auto end = Reply(COMMAND_R_RECORDER, Words({0, 0, 0, 2}));
    for (int i = 0; i < 19; ++i)
        rig.Deliver(end);
    EXPECT_FALSE(rig.timers->IsTimerRunning(CNetClientWnd::TIMER_RECONNECT));
    rig.Deliver(end);
    EXPECT_EQ(rig.client.PlaybackCounter(), 0);
    EXPECT_EQ(rig.view.statuses.back().first, STATUS_RECONNECTING);
    EXPECT_EQ(rig.clock.NextDueIn(), 2000); // fast reconnection
    // A playing request does not count.
    rig.client.SetPlaybackWords(0, 0, MakePlayControlWord(PLAY_STATE_START, 1, false));
    rig.client.SendCommand(KIND_RECORDER, true);
    EXPECT_EQ(rig.client.PlaybackCounter(), 0);
}

// ---- request bookkeeping ---------------------------------------------------------------------

TEST(NetClientRequests, EventRequestSavesTheCurrentKind)
{
    ClientRig rig;
    ASSERT_NO_FATAL_FAILURE(rig.Online());
    rig.client.SendCommand(KIND_EVENT, true);
    EXPECT_EQ(rig.client.CurrentKind(), KIND_EVENT);
    EXPECT_EQ(rig.client.SavedKind(), KIND_LIVE);
    rig.client.SendCommand(KIND_PTZ, true);
    rig.client.SendCommand(KIND_ALERT, false);
    EXPECT_EQ(rig.client.CurrentKind(), KIND_EVENT);
    // Requests that expect replies of their own drop a block half received; the alert keeps it.
    const std::vector<uint8_t> live = LivePacket(std::vector<uint8_t>(100, 1), 1);
    for (const int k : {KIND_LIVE, KIND_RECORDER, KIND_EVENT, KIND_PTZ, KIND_STOP, KIND_ALERT}) {
        rig.Deliver({live.begin(), live.begin() + 80});
        rig.client.SendCommand(k, false);
        EXPECT_EQ(rig.client.Receiver().IsReassemblyClear(), k != KIND_ALERT) << k;
    }
}

TEST(NetClientRequests, PlaybackRequestCarriesTheArchiveChannelAndWords)
{
    ClientRig rig;
    rig.client.SetArchive(&rig.archive);
    ASSERT_NO_FATAL_FAILURE(rig.Online());
    rig.archive.byChannel = 2;
    rig.client.SetPlaybackWords(0x07D5030F, 0x0A141E00, MakePlayControlWord(1, 1, false));
    rig.client.SendCommand(KIND_RECORDER, true);
    const SentRequest r = rig.Sent().back();
    EXPECT_EQ(r.nCommand, COMMAND_RECORDER);
    EXPECT_EQ(r.words[0], 3u);
    EXPECT_EQ(r.words[1], 0x07D5030Fu);
    EXPECT_EQ(r.words[2], 0x0A141E00u);
    EXPECT_EQ(r.words[3], 0x00010100u);
}

TEST(NetClientRequests, RequestsReArmTheResponseTimerOnlyAfterAReply)
{
    // With replies coming, a PTZ request restarts the 5 s count ...
    ClientRig rig;
    ASSERT_NO_FATAL_FAILURE(rig.Online());
    rig.clock.Advance(4000);
    rig.Deliver(Reply(COMMAND_R_LIVE, Words({0, 1, 0, 1})));
    rig.clock.Advance(4000);
    rig.client.SendCommand(KIND_PTZ, true);
    EXPECT_EQ(rig.clock.NextDueIn(), 5000);
    rig.clock.Advance(4999);
    EXPECT_TRUE(rig.view.statuses.size() == 1u); // still only "established"

    // ... but requests into a silent link do not put its end off: a rotation's live
    // request every 4 s still meets the repeats at 5 and 10 s and the end at 15 s.
    ClientRig dead;
    ASSERT_NO_FATAL_FAILURE(dead.Online());
    for (int i = 0; i < 4; ++i) {
        dead.clock.Advance(4000);
        dead.client.SendCommand(KIND_LIVE, true);
    }
    EXPECT_EQ(dead.view.statuses, (std::vector<Pair>{{1, 0}, {6, 1}, {6, 2}, {4, 0}}));
}

struct PtzRow {
    const char *name;
    const char *version;
    uint8_t byType;
    int nAction;
    bool bPressed;
    std::vector<std::array<uint32_t, 4>> requests; // words 0..3
};

class PtzTest : public ::testing::TestWithParam<PtzRow> {};

TEST_P(PtzTest, PanelActionsBecomeRequests)
{
    const PtzRow &row = GetParam();
    ClientRig rig;
    rig.view.byPtzSpeed = 3;
    if (row.version) // else logging in: no reply yet
        ASSERT_NO_FATAL_FAILURE(rig.Online(row.version));
    else
        ASSERT_NO_FATAL_FAILURE(rig.ConnectUp());
    const size_t nBefore = rig.Sock().m_sent.size();
    rig.client.SendPtz(row.byType, 3, row.nAction, row.bPressed);
    const auto sent = rig.Sent();
    std::vector<std::array<uint32_t, 4>> got;
    for (size_t i = nBefore; i < sent.size(); ++i) {
        EXPECT_EQ(sent[i].nCommand, COMMAND_PTZ);
        got.push_back({sent[i].words[0], sent[i].words[1], sent[i].words[2], sent[i].words[3]});
    }
    EXPECT_EQ(got, row.requests);
    EXPECT_EQ(rig.clock.NextDueIn(), 5000);
}

INSTANTIATE_TEST_SUITE_P(
    Actions, PtzTest,
    ::testing::Values(PtzRow{"PelcoPressed", "DVR PACKET1.2", 4, 6, true, {{0, 1, 4, 4}}},
                      PtzRow{"PelcoReleased", "DVR PACKET1.2", 4, 6, false, {{0, 2, 4, 4}}},
                      PtzRow{"Hmc250OnVersion10",
                             "DVR PACKET1.0",
                             3,
                             1,
                             true,
                             {{1, 0, 4, 3}, {0, 0, 4, 3}, {1, 0, 4, 4}, {0, 0, 4, 4}}},
                      PtzRow{"Scc641OtherVersion", "DVR PACKET9.9", 5, 8, true, {{2, 1, 4, 6}}},
                      PtzRow{"Scc641BeforeTheLoginReply", nullptr, 5, 8, true, {{2, 1, 4, 5}}}),
    [](const ::testing::TestParamInfo<PtzRow> &info) { return std::string(info.param.name); });

TEST(NetClientRequests, PtzActionAboveElevenRepeatsTheLastCommandWord)
{
    ClientRig rig;
    ASSERT_NO_FATAL_FAILURE(rig.Online());
    rig.client.SendPtz(1, 2, 9, true); // zoom, direction 0
    rig.client.SendPtz(1, 2, 12, false);
    const SentRequest r = rig.Sent().back();
    EXPECT_EQ(r.words[0], 2u);
    EXPECT_EQ(r.words[1], 2u);
}

TEST(NetClientRequests, WithoutAViewTheDefaultsAreUsed)
{
    ClientRig rig(false);
    ASSERT_TRUE(rig.client.Connect("127.0.0.1", 8000));
    rig.Sock().CompleteConnect(0);
    rig.Deliver(LoginPacket());
    // No view: no pause, the live request follows at once with request word 0x0100.
    ASSERT_EQ(rig.Commands(), (std::vector<uint32_t>{COMMAND_LOGIN, COMMAND_LIVE}));
    EXPECT_EQ(rig.Sent()[1].words[0], 1u);
    EXPECT_EQ(rig.Sent()[1].words[1], 1u);
}

TEST(NetClientRequests, DisconnectStopsEverything)
{
    ClientRig rig;
    ASSERT_NO_FATAL_FAILURE(rig.Online());
    rig.client.Disconnect(true);
    EXPECT_FALSE(rig.client.HasSocket());
    EXPECT_FALSE(rig.client.HasBuffers());
    EXPECT_EQ(rig.clock.NextDueIn(), -1);
    EXPECT_EQ(rig.Sock().m_nCloseCalls, 1);
}

} // namespace
