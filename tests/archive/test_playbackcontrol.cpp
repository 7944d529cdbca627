#include "archive/playbackcontrol.h"
#include "support/manualclock.h"

#include <gtest/gtest.h>

#include <memory>
#include <utility>
#include <vector>

namespace {

struct FakeClient : IPlaybackClient {
    uint8_t nVersion = VERSION_CODE_12;
    std::vector<std::pair<PayloadWords, bool>> sent; // words, armed
    std::vector<uint8_t> skips;
    std::vector<bool> arms;
    int nHeld = 0; // HoldReads(true) minus HoldReads(false)

    uint8_t VersionCode() const override { return nVersion; }
    void SendPlayback(const PayloadWords &words, bool bArm) override
    {
        sent.emplace_back(words, bArm);
    }
    void SetSkipCounter(uint8_t by) override { skips.push_back(by); }
    void ArmResponseTimer(bool bOn) override { arms.push_back(bOn); }
    void HoldReads(bool bHold) override { nHeld += bHold ? 1 : -1; }
};

struct FakeDisplay : IPlaybackDisplay {
    std::vector<QString> notices;
    int nButtonDown = -1;
    std::vector<DvrDateTime> pickerDates;
    std::vector<uint32_t> playTimes;
    int nTimeBlocks = 0;
    std::vector<uint8_t> layouts;
    int nLive = 0;

    void ShowNotice(const QString &text) override { notices.push_back(text); }
    void ShowPlayButtons(int nDown) override { nButtonDown = nDown; }
    void ShowPickerDate(const DvrDateTime &date) override { pickerDates.push_back(date); }
    void ShowPlayTime(uint32_t t) override { playTimes.push_back(t); }
    void RedrawTimeBlock() override { ++nTimeBlocks; }
    void ShowLayout(uint8_t by) override { layouts.push_back(by); }
    void SwitchToLive() override { ++nLive; }
};

DvrDateTime At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0)
{
    return DvrDateTime{y, mo, d, h, mi, s};
}

constexpr uint32_t kFwd = 0x00010000;  // speed 1 forwards
constexpr uint32_t kRev = 0x01010000;  // speed 1 reverse
constexpr uint32_t kFast = 0x00040000; // request speed 4
constexpr uint32_t kStart = 0x100, kChange = 0x200;

class PlaybackTest : public ::testing::Test {
  protected:
    ManualClock clock;
    std::unique_ptr<ManualTimerHost> timers = clock.CreateHost();
    FakeClient client;
    FakeDisplay display;
    CPlaybackControl control{&client, display, *timers};

    // Recording range 2008-02-10 12:00:00 .. 2008-03-01 08:00:00, the archive shown.
    void SetUp() override
    {
        control.SetRequestSpeed(4);
        control.SetTimeRange(MakeDateWord(2008, 2, 10), MakeTimeWord(12, 0, 0),
                             MakeDateWord(2008, 3, 1), MakeTimeWord(8, 0, 0));
        control.EnterArchive();
    }
    void Want(const DvrDateTime &dt)
    {
        control.OnDatePicked(dt);
        control.OnSliderMoved(dt.nHour * 3600 + dt.nMinute * 60 + dt.nSecond);
    }
    uint32_t LastControl() const { return client.sent.back().first[3]; }
    uint32_t LastChannelWord() const { return client.sent.back().first[0]; }
};

// ---- request dates --------------------------------------------------------------------------

struct DateRow {
    const char *name;
    DvrDateTime request;
    bool bForwards;
    bool bValid;
};

class RequestDates : public PlaybackTest, public ::testing::WithParamInterface<DateRow> {};

TEST_P(RequestDates, AreCheckedAgainstTheRecordingRange)
{
    const DateRow row = GetParam();
    Want(row.request);
    control.OnImagePlay(row.bForwards ? CPlaybackControl::PLAY_FORWARD
                                      : CPlaybackControl::PLAY_REVERSE);
    if (row.bValid) {
        ASSERT_EQ(client.sent.size(), 1u);
        EXPECT_TRUE(client.sent[0].second);
        EXPECT_EQ(client.sent[0].first[1], MakeDateWord(row.request));
        EXPECT_EQ(client.sent[0].first[2], MakeTimeWord(row.request));
        EXPECT_TRUE(control.IsPlaying());
        EXPECT_EQ(display.notices.back(), CPlaybackControl::NOTICE_SEARCHING);
    } else {
        EXPECT_TRUE(client.sent.empty()); // stopped: only the text
        EXPECT_FALSE(control.IsPlaying());
        EXPECT_EQ(display.notices.back(), QStringLiteral("## Invalid Date ##"));
        EXPECT_EQ(display.nButtonDown, CPlaybackControl::PLAY_STOP);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Range, RequestDates,
    ::testing::Values(DateRow{"start_day_forwards_early", At(2008, 2, 10, 6), true, true},
                      DateRow{"start_day_reverse_early", At(2008, 2, 10, 6), false, false},
                      DateRow{"start_day_reverse_at_start", At(2008, 2, 10, 12), false, false},
                      DateRow{"start_day_reverse_later", At(2008, 2, 10, 12, 0, 1), false, true},
                      DateRow{"leap_day_inside", At(2008, 2, 29, 23, 59, 59), false, true},
                      DateRow{"end_day_after_end_time", At(2008, 3, 1, 23), true, true},
                      DateRow{"after_end_day", At(2008, 3, 2), true, false},
                      DateRow{"before_start_day", At(2008, 2, 9, 23), true, false}),
    [](const auto &info) { return std::string(info.param.name); });

// An end at hour 24 is the end of its own day: kept so (END TIME shows it), and that
// day is the last a request may name.
TEST_F(PlaybackTest, AnEndAtHour24EndsItsOwnDay)
{
    control.SetTimeRange(MakeDateWord(2008, 2, 10), MakeTimeWord(12, 0, 0),
                         MakeDateWord(2008, 2, 29), MakeTimeWord(24, 0, 0));
    EXPECT_EQ(control.End(), At(2008, 2, 29, 24));
    Want(At(2008, 3, 1));
    control.OnImagePlay(CPlaybackControl::PLAY_FORWARD);
    EXPECT_TRUE(client.sent.empty());
    Want(At(2008, 2, 29, 23, 59, 59));
    control.OnImagePlay(CPlaybackControl::PLAY_FORWARD);
    ASSERT_EQ(client.sent.size(), 1u);
    EXPECT_EQ(client.sent[0].first[1], MakeDateWord(2008, 2, 29));
}

TEST_F(PlaybackTest, VersionOneSendsCalendarSecondsOfRequestAndEnd)
{
    client.nVersion = VERSION_CODE_10;
    control.SetTimeRange(CalendarSecondsOf(At(2008, 2, 10, 12)),
                         CalendarSecondsOf(At(2008, 3, 1, 8)), 0, 0);
    Want(At(2008, 2, 20, 7, 8, 9));
    control.OnImagePlay(CPlaybackControl::PLAY_FORWARD);
    ASSERT_EQ(client.sent.size(), 1u);
    EXPECT_EQ(client.sent[0].first[1], CalendarSecondsOf(At(2008, 2, 20, 7, 8, 9)));
    EXPECT_EQ(client.sent[0].first[2], CalendarSecondsOf(At(2008, 3, 1, 8)));
    // Calendar seconds carry years outside the date words' 1995-2095.
    control.SetTimeRange(CalendarSecondsOf(At(1990, 1, 1, 0)), CalendarSecondsOf(At(1990, 2, 1, 0)),
                         0, 0);
    Want(At(1990, 1, 15, 1, 2, 3));
    control.OnImagePlay(CPlaybackControl::PLAY_FORWARD);
    ASSERT_EQ(client.sent.size(), 2u);
    EXPECT_EQ(client.sent[1].first[1], CalendarSecondsOf(At(1990, 1, 15, 1, 2, 3)));
}

// ---- play buttons ---------------------------------------------------------------------------

TEST_F(PlaybackTest, PlayButtonsComposeTheControlWordAndMoveTheState)
{
    Want(At(2008, 2, 20, 10));
    struct Step {
        int nButton;
        uint32_t dwControl;
        bool bArmed;
        uint16_t wState;
        int nDirection;
    };
    // From stopped the first press starts (state 1); later presses change (state 2).
    const Step steps[] = {
        {CPlaybackControl::PLAY_FORWARD, kStart | kFwd, true, 0x0001, 1},
        {CPlaybackControl::PLAY_FAST, kChange | kFast, true, 0x0001, 1},
        {CPlaybackControl::PLAY_REVERSE, kChange | kRev, true, 0x0101, 2},
        {CPlaybackControl::PLAY_FAST_REVERSE, kChange | kFast | 0x01000000, true, 0x0101, 2},
        {CPlaybackControl::PLAY_STOP, 0, false, 0x0000, 0},
        {CPlaybackControl::PLAY_FAST_REVERSE, kStart | kFast | 0x01000000, true, 0x0101, 2},
    };
    for (const Step &s : steps) {
        const size_t nBefore = client.sent.size();
        control.OnImagePlay(s.nButton);
        ASSERT_EQ(client.sent.size(), nBefore + 1) << "button " << s.nButton;
        EXPECT_EQ(LastControl(), s.dwControl) << "button " << s.nButton;
        EXPECT_EQ(client.sent.back().second, s.bArmed) << "button " << s.nButton;
        EXPECT_EQ(control.PlayState(), s.wState) << "button " << s.nButton;
        EXPECT_EQ(control.Direction(), s.nDirection) << "button " << s.nButton;
        EXPECT_EQ(display.nButtonDown, s.nButton) << "button " << s.nButton;
    }
    EXPECT_EQ(client.skips, std::vector<uint8_t>{1}); // the stop
    // Indices next to the five buttons are no buttons: nothing is sent or changed.
    const size_t nSent = client.sent.size();
    for (int nButton : {CPlaybackControl::PLAY_FAST_REVERSE - 1, CPlaybackControl::PLAY_FAST + 1})
        control.OnImagePlay(nButton);
    EXPECT_EQ(client.sent.size(), nSent);
    EXPECT_EQ(control.PlayState(), 0x0101);
}

TEST_F(PlaybackTest, AnInvalidDateWhilePlayingStopsThePlayback)
{
    Want(At(2008, 2, 20, 10));
    control.OnImagePlay(CPlaybackControl::PLAY_FORWARD);
    Want(At(2008, 3, 5, 10));
    control.OnImagePlay(CPlaybackControl::PLAY_FAST);
    ASSERT_EQ(client.sent.size(), 2u);
    EXPECT_EQ(LastControl(), 0u);
    EXPECT_FALSE(client.sent.back().second);
    EXPECT_EQ(control.PlayState(), 0);
    EXPECT_EQ(display.notices.back(), QStringLiteral("## Invalid Date ##"));
    EXPECT_EQ(client.arms, std::vector<bool>{false});
}

TEST_F(PlaybackTest, QuadAsksForChannelZeroAndASingleChannelForItsNumber)
{
    Want(At(2008, 2, 20, 10));
    control.OnImagePlay(CPlaybackControl::PLAY_FORWARD);
    EXPECT_EQ(LastChannelWord(), 0u);
    // While playing, every change of channel asks again with the same control word.
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(control.OnChannelButton(k), CPlaybackControl::CHANNEL_SELECTED);
        EXPECT_EQ(LastChannelWord(), uint32_t(k + 1));
        EXPECT_EQ(LastControl(), kStart | kFwd);
        EXPECT_TRUE(client.sent.back().second);
    }
    const size_t nSent = client.sent.size();
    EXPECT_EQ(control.OnChannelButton(3), CPlaybackControl::CHANNEL_UNCHANGED);
    EXPECT_EQ(control.OnChannelButton(4), CPlaybackControl::CHANNEL_BEEP);
    control.OnSingleButton(); // already single
    EXPECT_EQ(client.sent.size(), nSent);
    control.OnQuadButton();
    EXPECT_EQ(LastChannelWord(), 0u);
    EXPECT_EQ(display.layouts, (std::vector<uint8_t>{0, 1, 2, 3, 255}));
}

// ---- jump buttons ---------------------------------------------------------------------------

struct JumpRow {
    const char *name;
    DvrDateTime from; // calendar date and slider time
    CPlaybackControl::JumpButton button;
    DvrDateTime to;
};

class Jumps : public PlaybackTest, public ::testing::WithParamInterface<JumpRow> {};

TEST_P(Jumps, MoveByTheCalendar)
{
    const JumpRow row = GetParam();
    Want(row.from);
    control.OnJump(row.button);
    EXPECT_EQ(control.Request(), row.to);
    EXPECT_EQ(control.PickerDate(), At(row.to.nYear, row.to.nMonth, row.to.nDay));
    EXPECT_EQ(control.PlayTime(), MakeTimeWord(row.to));
    EXPECT_EQ(display.playTimes.back(), MakeTimeWord(row.to));
    EXPECT_TRUE(client.sent.empty()); // the operator presses play next
}

INSTANTIATE_TEST_SUITE_P(
    Calendar, Jumps,
    ::testing::Values(
        JumpRow{"back_same_day", At(2008, 5, 10, 15, 45), CPlaybackControl::JUMP_HOUR_BACK,
                At(2008, 5, 10, 14)},
        JumpRow{"back_to_leap_day", At(2008, 3, 1, 0, 30), CPlaybackControl::JUMP_HOUR_BACK,
                At(2008, 2, 29, 23)},
        JumpRow{"back_common_year", At(2007, 3, 1, 0, 10), CPlaybackControl::JUMP_HOUR_BACK,
                At(2007, 2, 28, 23)},
        JumpRow{"back_to_30_april", At(2008, 5, 1, 0), CPlaybackControl::JUMP_HOUR_BACK,
                At(2008, 4, 30, 23)},
        JumpRow{"back_over_new_year", At(2009, 1, 1, 0), CPlaybackControl::JUMP_HOUR_BACK,
                At(2008, 12, 31, 23)},
        JumpRow{"forward_same_day", At(2008, 5, 10, 10, 20), CPlaybackControl::JUMP_HOUR_FORWARD,
                At(2008, 5, 10, 11)},
        JumpRow{"forward_to_leap_day", At(2008, 2, 28, 23, 10), CPlaybackControl::JUMP_HOUR_FORWARD,
                At(2008, 2, 29, 0)},
        JumpRow{"forward_from_leap_day", At(2008, 2, 29, 23, 59, 59),
                CPlaybackControl::JUMP_HOUR_FORWARD, At(2008, 3, 1, 0)},
        JumpRow{"forward_over_new_year", At(2008, 12, 31, 23), CPlaybackControl::JUMP_HOUR_FORWARD,
                At(2009, 1, 1, 0)},
        JumpRow{"begin", At(2008, 5, 10, 1), CPlaybackControl::JUMP_BEGIN, At(2008, 2, 10, 12)},
        JumpRow{"end", At(2008, 5, 10, 1), CPlaybackControl::JUMP_END, At(2008, 3, 1, 8)}),
    [](const auto &info) { return std::string(info.param.name); });

// ---- play from an event ---------------------------------------------------------------------

TEST_F(PlaybackTest, PlayFromAnEventInQuadStopsPausesAndKeepsQuad)
{
    Want(At(2008, 2, 20, 10));
    control.OnImagePlay(CPlaybackControl::PLAY_REVERSE);
    const PackedTime event = MakeTimeCost(2008, 2, 29, 9, 8, 7);
    ASSERT_TRUE(control.PlayFromEvent(event, 2));
    ASSERT_EQ(client.sent.size(), 2u);
    EXPECT_EQ(LastControl(), 0u); // the stop goes out at once
    EXPECT_EQ(client.nHeld, 1);   // what arrives now waits behind the next request
    clock.Advance(999);           // the pause before the event's playback: one second
    EXPECT_EQ(client.sent.size(), 2u);
    clock.Advance(1);
    ASSERT_EQ(client.sent.size(), 3u);
    EXPECT_EQ(client.sent.back().first,
              (PayloadWords{0, MakeDateWord(2008, 2, 29), MakeTimeWord(9, 8, 7), 0x00010100}));
    EXPECT_TRUE(client.sent.back().second);
    EXPECT_EQ(client.nHeld, 0);
    EXPECT_TRUE(control.IsQuad());
    EXPECT_EQ(control.PlayState(), 0x0001);
    EXPECT_EQ(control.Direction(), 1);
    EXPECT_EQ(display.nButtonDown, CPlaybackControl::PLAY_FORWARD);
}

TEST_F(PlaybackTest, PlayFromAnEventInSingleLayoutTakesItsChannelAtOnce)
{
    control.OnChannelButton(0);
    ASSERT_TRUE(control.PlayFromEvent(MakeTimeCost(2008, 2, 12, 1, 2, 3), 2));
    ASSERT_EQ(client.sent.size(), 1u); // stopped: no stop and no pause
    EXPECT_EQ(LastChannelWord(), 3u);
    EXPECT_EQ(control.Channel(), 2);
    EXPECT_EQ(client.nHeld, 0);
}

TEST_F(PlaybackTest, EventsThatNameNoRealDayOrCellAreNeverPlayed)
{
    const std::pair<PackedTime, int> bad[] = {
        {MakeTimeCost(2008, 4, 31, 1, 0, 0), 0}, // 31 April
        {MakeTimeCost(2007, 2, 29, 1, 0, 0), 0}, // no leap day in 2007
        {MakeTimeCost(2008, 0, 0, 0, 0, 0), 0},  // month and day 0
        {MakeTimeCost(2008, 3, 1, 1, 60, 0), 0}, // minute 60
        {MakeTimeCost(2008, 3, 1, 1, 0, 0), 4},  // channel 5
        {MakeTimeCost(2008, 3, 1, 1, 0, 0), -1}, // channel 0
    };
    for (const auto &[packed, ch] : bad) {
        EXPECT_FALSE(control.PlayFromEvent(packed, ch)) << std::hex << packed << " ch " << ch;
    }
    EXPECT_TRUE(client.sent.empty());
    // Each bad day is told to the operator; a bad cell is only refused.
    EXPECT_EQ(display.notices, std::vector<QString>(4, QStringLiteral("## Invalid Date ##")));
    EXPECT_TRUE(control.IsQuad());
}

TEST_F(PlaybackTest, APressDuringThePauseCancelsTheEventAndFreesTheReads)
{
    Want(At(2008, 2, 20, 10));
    control.OnImagePlay(CPlaybackControl::PLAY_FORWARD);
    control.PlayFromEvent(MakeTimeCost(2008, 2, 29, 9, 8, 7), 1);
    control.OnImagePlay(CPlaybackControl::PLAY_STOP);
    EXPECT_EQ(client.nHeld, 0);
    const size_t nSent = client.sent.size();
    clock.Advance(5000);
    EXPECT_EQ(client.sent.size(), nSent);
    EXPECT_FALSE(control.IsPlaying());
}

TEST_F(PlaybackTest, ViewerStopsThenHandsOverAfterThePause)
{
    Want(At(2008, 2, 20, 10));
    control.OnImagePlay(CPlaybackControl::PLAY_FORWARD);
    control.LeaveForLive();
    EXPECT_EQ(LastControl(), 0u);
    EXPECT_FALSE(client.sent.back().second);
    EXPECT_EQ(client.nHeld, 1);
    clock.Advance(CPlaybackControl::LIVE_PAUSE_MS - 1);
    EXPECT_EQ(display.nLive, 0);
    EXPECT_TRUE(control.IsActive());
    clock.Advance(1);
    EXPECT_EQ(display.nLive, 1);
    EXPECT_FALSE(control.IsActive());
    EXPECT_EQ(client.nHeld, 0);
}

// ---- from the receive path ------------------------------------------------------------------

TEST_F(PlaybackTest, PictureTimesThatNameNoRealDayAreIgnored)
{
    auto words = [](int y, int mo, int d, int h, int mi, int s) {
        return std::pair<uint32_t, uint32_t>(uint32_t(2) << 24 | uint32_t(y) << 8 | uint32_t(mo),
                                             uint32_t(d) << 24 | uint32_t(h) << 16 |
                                                 uint32_t(mi) << 8 | uint32_t(s));
    };
    EXPECT_EQ(control.PictureTime(), (DvrDateTime{0, 0, 0, 0, 0, 0})); // none yet
    auto [w0, w1] = words(2008, 2, 29, 10, 11, 12);
    ASSERT_TRUE(control.SetPictureTime(w0, w1));
    EXPECT_EQ(control.PictureTime(), At(2008, 2, 29, 10, 11, 12));
    EXPECT_EQ(display.pickerDates.back(), At(2008, 2, 29));
    EXPECT_EQ(control.PlayTime(), MakeTimeWord(10, 11, 12));

    const DvrDateTime kept = control.PictureTime();
    const size_t nPicks = display.pickerDates.size();
    for (auto [b0, b1] :
         {words(2007, 2, 29, 1, 0, 0), words(2008, 4, 31, 1, 0, 0), words(2008, 0, 5, 1, 0, 0),
          words(2008, 5, 0, 1, 0, 0), words(1995, 5, 5, 1, 0, 0)}) {
        EXPECT_FALSE(control.SetPictureTime(b0, b1));
    }
    EXPECT_EQ(control.PictureTime(), kept);
    EXPECT_EQ(display.pickerDates.size(), nPicks);
}

TEST_F(PlaybackTest, TheRecorderEndingPlaybackStopsWithoutAStopRequest)
{
    Want(At(2008, 2, 20, 10));
    control.OnImagePlay(CPlaybackControl::PLAY_FORWARD);
    control.ShowEndStatus(PLAY_END_END_OF_RECORDING);
    EXPECT_EQ(display.notices.back(), QStringLiteral("## Play End ##"));
    EXPECT_EQ(client.sent.size(), 1u);
    EXPECT_EQ(client.arms, std::vector<bool>{false});
    // Stopped now: the next press starts again (state 1), it does not change (2).
    control.OnImagePlay(CPlaybackControl::PLAY_FORWARD);
    EXPECT_EQ(LastControl(), kStart | kFwd);
}

} // namespace
