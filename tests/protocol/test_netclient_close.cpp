// A link closed by the recorder or the network, on a manual clock: noticed at once,
// reconnected within a second, and never given up before the reply timer's path
// would have given up. The archive's buttons while a lost link is rebuilt.

#include "archive/netplaybackclient.h"
#include "archive/playbackcontrol.h"
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
    int64_t nLostAtMs;      // the view's disconnect; -1 none
    bool bDropEach = false; // each connection is accepted and closed at once
};

class RefusedAfterCloseTest : public ::testing::TestWithParam<RefusedRow> {};

TEST_P(RefusedAfterCloseTest, AttemptsLastAsLongAsTheReplyTimersPath)
{
    const RefusedRow &row = GetParam();
    ClientRig rig;
    rig.view.settings.m_byReconnectCount = row.byCount;
    rig.Online();
    rig.client.SetDrawnSize(1, 158, 118); // a 160 x 120 tile: half-size pictures
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
        if (row.bDropEach) {
            rig.Sock().CompleteConnect(0);
            rig.Sock().DeliverClose();
        } else {
            rig.Sock().CompleteConnect(111); // refused
        }
        RunPosted();
    }
    EXPECT_EQ(attempts, row.attempts);
    EXPECT_EQ(nLostAt, row.nLostAtMs);
    if (row.nBackAtMs >= 0) {
        EXPECT_EQ(rig.view.shown, std::vector<int>{1}); // pictures again, nobody pressed Connect
        EXPECT_EQ(rig.view.pictures[1].pHeader->biWidth, 352); // the tile's size kept
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
        // Accepted and dropped at once: the count runs until a login is accepted.
        RefusedRow{"AcceptedAndClosedEachTime",
                   3,
                   -1,
                   {900, 5900, 10900, 15900, 20900, 25900, 30900},
                   35900,
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

// ---- the archive's buttons while the link is rebuilt -------------------------------------

// The archive window as the client sees it: the playback control, wired as the window
// wires it; "Viewer" ends in the view's live request.
struct ArchiveRig : FakeArchive, IPlaybackDisplay {
    ClientRig rig;
    std::unique_ptr<ManualTimerHost> controlTimers = rig.clock.CreateHost();
    CNetPlaybackClient playback{rig.client};
    CPlaybackControl control{&playback, *this, *controlTimers};

    ArchiveRig() { rig.client.SetArchive(this); }
    bool IsActive() const override { return control.IsActive(); }
    uint16_t GetPlayState() const override { return control.PlayState(); }
    uint8_t GetSelectedChannel() const override { return control.Channel(); }
    void SetTimeRange(uint32_t a, uint32_t b, uint32_t c, uint32_t d) override
    {
        control.SetTimeRange(a, b, c, d);
    }
    void ShowNotice(const QString &) override {}
    void ShowPlayButtons(int) override {}
    void ShowPickerDate(const DvrDateTime &) override {}
    void ShowPlayTime(uint32_t) override {}
    void ShowLayout(uint8_t) override {}
    void RedrawTimeBlock() override {}
    void SwitchToLive() override { rig.client.SendCommand(KIND_LIVE, true); }
};

enum class Button { None, Stop, Play, StopThenPlay, Record, Viewer };

struct ButtonRow {
    Button button;
    uint32_t nAfterLogin; // the first request on the new link
};

struct CycleRow {
    const char *name;
    int64_t nPressAtMs; // after the reply timer's give-up
    int64_t nBackAtMs;  // the recorder accepts from then on (connects take 100 ms)
    int64_t nLoginAtMs; // the new link's login goes out
};

std::string CycleRowName(const ::testing::TestParamInfo<std::tuple<CycleRow, ButtonRow>> &info)
{
    static const char *const kButtons[] = {"Nothing",  "Stop",   "Play",
                                           "StopPlay", "Record", "Viewer"};
    return std::string(std::get<0>(info.param).name) +
           kButtons[int(std::get<1>(info.param).button)];
}

std::vector<SentRequest> NoRequests()
{
    return {};
}

class ButtonsWhileRebuildingTest
    : public ::testing::TestWithParam<std::tuple<CycleRow, ButtonRow>> {};

TEST_P(ButtonsWhileRebuildingTest, TakeEffectAfterTheNextLogin)
{
    const auto &[cycle, press] = GetParam();
    ArchiveRig a;
    ClientRig &rig = a.rig;
    ASSERT_NO_FATAL_FAILURE(rig.Online());
    a.control.EnterArchive();
    a.control.OnDatePicked(DvrDateTime{2005, 3, 5, 0, 0, 0});
    a.control.OnImagePlay(CPlaybackControl::PLAY_FORWARD);
    ASSERT_EQ(rig.Sent().back().nCommand, COMMAND_RECORDER);
    while (rig.view.Codes().back() != STATUS_RECONNECTING) // silence: the reply timer gives up
        ASSERT_TRUE(rig.clock.AdvanceToNext());
    EXPECT_FALSE(rig.client.HasSocket()); // no socket counts as up
    const int64_t t0 = rig.clock.Now();

    size_t nSockets = rig.sockets.size();
    int64_t nMadeAt = -1, nLoginAt = -1;
    bool bPressed = press.button == Button::None;
    while (rig.clock.Now() - t0 < 30000 && nLoginAt < 0) {
        rig.clock.Advance(100);
        const int64_t t = rig.clock.Now() - t0;
        if (rig.sockets.size() > nSockets) {
            nSockets = rig.sockets.size();
            nMadeAt = t;
        } else if (nMadeAt >= 0 && t == nMadeAt + 100) { // the attempt's connect event
            rig.Sock().CompleteConnect(nMadeAt >= cycle.nBackAtMs ? 0 : 111);
            RunPosted();
        }
        if (!bPressed && t >= cycle.nPressAtMs) {
            bPressed = true;
            if (press.button == Button::Stop || press.button == Button::StopThenPlay)
                a.control.OnImagePlay(CPlaybackControl::PLAY_STOP);
            if (press.button == Button::Play || press.button == Button::StopThenPlay)
                a.control.OnImagePlay(CPlaybackControl::PLAY_FORWARD);
            if (press.button == Button::Record)
                a.control.OnRecordButton();
            if (press.button == Button::Viewer)
                a.control.LeaveForLive();
            EXPECT_TRUE(rig.client.IsRebuilding());
            for (const SentRequest &request : rig.client.HasSocket() ? rig.Sent() : NoRequests())
                EXPECT_EQ(request.nCommand, COMMAND_LOGIN); // nothing else before the login
            if (rig.client.Link() != CNetClientWnd::LinkState::RetryLoggingIn) {
                EXPECT_FALSE(rig.ResponseTimerRunning()); // no request re-armed it
            }
        }
        if (nMadeAt >= 0 && t == nMadeAt + 200 && !rig.Sent().empty()) {
            nLoginAt = t - 100;
            rig.Deliver(LoginPacket(true));
        }
    }
    rig.clock.Advance(1000); // the login pause, and the pause after "Viewer"
    RunPosted();
    EXPECT_EQ(nLoginAt, cycle.nLoginAtMs);
    const auto sent = rig.Sent(); // a stop is repeated once, unconfirmed
    ASSERT_EQ(sent.size(), press.nAfterLogin == COMMAND_STOP ? 3u : 2u);
    EXPECT_EQ(sent[0].nCommand, COMMAND_LOGIN);
    EXPECT_EQ(sent[1].nCommand, press.nAfterLogin);
    if (press.nAfterLogin == COMMAND_RECORDER) { // the play request last chosen
        EXPECT_EQ(sent[1].words[3], a.control.PlayControlWord());
    }
}

INSTANTIATE_TEST_SUITE_P(Cycle, ButtonsWhileRebuildingTest,
                         ::testing::Combine(
                             // Attempts at 5 and 10 s; back at 7 s: the login at 10.1 s.
                             ::testing::Values(CycleRow{"BeforeTheFirstAttempt", 1000, 7000, 10100},
                                               CycleRow{"WhileAnAttemptConnects", 5000, 7000,
                                                        10100},
                                               CycleRow{"AfterARefusal", 6000, 7000, 10100},
                                               CycleRow{"WhileTheLoginIsOut", 5100, 5000, 5100}),
                             ::testing::Values(ButtonRow{Button::None, COMMAND_RECORDER},
                                               ButtonRow{Button::Stop, COMMAND_STOP},
                                               ButtonRow{Button::Play, COMMAND_RECORDER},
                                               ButtonRow{Button::StopThenPlay, COMMAND_RECORDER},
                                               ButtonRow{Button::Record, COMMAND_RECORDER},
                                               ButtonRow{Button::Viewer, COMMAND_LIVE})),
                         CycleRowName);

} // namespace
