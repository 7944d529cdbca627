// The recorder simulator end to end, without the client: a raw socket logs in,
// asks for every kind of reply and checks the bytes against the protocol codec and
// the pictures against the JPEG decoder and marker check of the image pipeline.

#include "simharness.h"

#include "imaging/cjpegimage.h"
#include "protocol/timecodec.h"

#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <turbojpeg.h>

#include <map>
#include <set>

using namespace simtest;

namespace {

const QString RANGE_START = QStringLiteral("2026-03-14T10:00:00");
const QString RANGE_END = QStringLiteral("2026-03-14T10:00:30");

QDateTime Local(const QString &iso)
{
    return QDateTime::fromString(iso, Qt::ISODate);
}

// Mean red, green, blue of the picture below the marker band.
std::array<double, 3> MeanColour(const CJpegImage &img)
{
    const auto &h = img.Header();
    const std::size_t stride = img.RowStride();
    double sum[3] = {0, 0, 0};
    long n = 0;
    for (int row = 16; row < h.biHeight; row += 4) {
        const std::uint8_t *p = img.Pixels() + std::size_t(h.biHeight - 1 - row) * stride;
        for (int x = 0; x < h.biWidth; x += 4) {
            sum[2] += p[3 * x];
            sum[1] += p[3 * x + 1];
            sum[0] += p[3 * x + 2];
            ++n;
        }
    }
    return {sum[0] / n, sum[1] / n, sum[2] / n};
}

// Which channel's tint a colour is: 0 red, 1 green, 2 blue, 3 yellow.
int TintOf(const std::array<double, 3> &c)
{
    const double r = c[0], g = c[1], b = c[2];
    if (r > 1.5 * b && g > 1.5 * b && std::abs(r - g) < 0.3 * r)
        return 3;
    if (r > g && r > b)
        return 0;
    if (g > r && g > b)
        return 1;
    return 2;
}

} // namespace

// ---- login ----------------------------------------------------------------------------

struct LoginRow {
    const char *versionText;
    int versionCode;
};

class SimLogin : public ::testing::TestWithParam<LoginRow> {};

TEST_P(SimLogin, ReplyCarriesVersionTextFieldsAndRangeInTheVersionsEncoding)
{
    const LoginRow row = GetParam();
    SimProcess sim({"--version-text", row.versionText, "--channel-info", "4", "--field-row", "1",
                    "--channel-num", "16", "--range-start", RANGE_START, "--range-end", RANGE_END});
    ASSERT_NE(sim.Port(), 0);
    Link link(sim.Port());
    ASSERT_TRUE(link.Connected());
    link.Login();
    auto r = link.Next();
    ASSERT_TRUE(r);
    EXPECT_EQ(r->header.nCommand, COMMAND_R_LOGIN);
    EXPECT_EQ(r->header.nPacketSize, 60u);
    EXPECT_EQ(r->header.nPacketType, 1u);
    EXPECT_EQ(r->Version(), row.versionText);
    EXPECT_EQ(VersionCodeOf(r->header.szVersion), row.versionCode);
    const LoginReply login = ParseLoginReply(r->words);
    EXPECT_TRUE(login.bAccepted);
    EXPECT_EQ(login.nChannelInfo, 4);
    EXPECT_EQ(login.byFieldRowSelector, 1);
    EXPECT_EQ(login.nChannelNum, 16);

    const QDateTime start = Local(RANGE_START), end = Local(RANGE_END);
    if (row.versionCode == VERSION_CODE_10) {
        EXPECT_EQ(r->words[2], std::uint32_t(start.toSecsSinceEpoch()));
        EXPECT_EQ(r->words[3], std::uint32_t(end.toSecsSinceEpoch()));
        EXPECT_EQ(r->words[4], 0u);
    } else {
        EXPECT_EQ(r->words[2], MakeDateWord(2026, 3, 14));
        EXPECT_EQ(r->words[3], MakeTimeWord(10, 0, 0));
        EXPECT_EQ(r->words[4], MakeDateWord(2026, 3, 14));
        EXPECT_EQ(r->words[5], MakeTimeWord(10, 0, 30));
    }
}

INSTANTIATE_TEST_SUITE_P(Versions, SimLogin,
                         ::testing::Values(LoginRow{"DVR PACKET1.0", 1},
                                           LoginRow{"DVR PACKET1.2", 2},
                                           LoginRow{"dvr packet1.0", 1},
                                           LoginRow{"DVR PACKET2.0", 3}));

struct CredentialRow {
    std::vector<QString> options;
    std::string user;
    std::string password;
    bool accepted;
};

class SimCredentials : public ::testing::TestWithParam<CredentialRow> {};

TEST_P(SimCredentials, LoginIsAcceptedOrRefusedAsConfigured)
{
    const CredentialRow row = GetParam();
    SimProcess sim(QStringList(row.options.begin(), row.options.end()));
    ASSERT_NE(sim.Port(), 0);
    Link link(sim.Port());
    link.Login(row.user, row.password);
    auto r = link.Next();
    ASSERT_TRUE(r);
    EXPECT_EQ(r->header.nCommand, COMMAND_R_LOGIN);
    EXPECT_EQ(r->words[0], row.accepted ? 1u : 0u);
    // A refused session streams nothing.
    link.SendRequest(KIND_LIVE, Words({1, 1}));
    link.SendRequest(KIND_START_TIME, Words({}));
    if (!row.accepted) {
        EXPECT_FALSE(link.Next(500));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SimCredentials,
    ::testing::Values(CredentialRow{{}, "admin", "1", true},
                      CredentialRow{{}, "Admin", "1", true}, // the view-less client's ID
                      CredentialRow{{}, "admin", "2", false}, CredentialRow{{}, "root", "1", false},
                      CredentialRow{{"--user", "op", "--password", "secret"}, "op", "secret", true},
                      CredentialRow{{"--refuse-login"}, "admin", "1", false},
                      CredentialRow{{"--any-login"}, "x", "y", true}));

// ---- live ---------------------------------------------------------------------------------

TEST(SimLive, AllChannelStreamRotatesChannelsAlternatesFieldsAndDecodesWithMarkers)
{
    SimProcess sim({"--fps", "120"});
    ASSERT_NE(sim.Port(), 0);
    Link link(sim.Port());
    ASSERT_TRUE(link.LoginOk());
    link.SendRequest(KIND_LIVE, Words({1, 1}));

    CJpegImage decoder;
    std::map<int, std::vector<int>> fields;
    for (int i = 0; i < 16; ++i) {
        auto r = link.Next();
        ASSERT_TRUE(r);
        ASSERT_EQ(r->header.nCommand, COMMAND_R_LIVE);
        const int announced = int(r->words[3]);
        EXPECT_EQ(announced, i % 4 + 1) << "channels take turns";
        EXPECT_EQ(r->header.nPacketSize, std::uint32_t(r->raw.size()));
        EXPECT_GE(r->data.size(), 3072);
        const auto *jpeg = reinterpret_cast<const std::uint8_t *>(r->data.constData());
        EXPECT_EQ(r->data.left(5), QByteArray("\xFF\xD8\xFF\xE0\x00", 5));
        const std::uint8_t channel = decoder.Decode(jpeg, std::size_t(r->data.size()), false);
        ASSERT_NE(channel, CJpegImage::DECODE_FAILED);
        EXPECT_EQ(channel, announced - 1) << "the marker names the announced channel";
        EXPECT_EQ(decoder.Header().biWidth, 704);
        EXPECT_EQ(decoder.Header().biHeight, 240);
        EXPECT_EQ(TintOf(MeanColour(decoder)), announced - 1) << "each channel has its tint";
        fields[announced].push_back(decoder.FieldFlag());
    }
    for (const auto &[channel, flags] : fields) {
        ASSERT_EQ(flags.size(), 4u);
        EXPECT_EQ(flags, (std::vector<int>{0, 1, 0, 1})) << "channel " << channel;
    }
}

// A simulator standing for another recorder of a site (--scene) keeps the markers of
// its channels 1-4 but draws them in colours of its own, so tiles of different
// recorders never look alike.
TEST(SimLive, AnotherSceneKeepsTheMarkersAndChangesTheColours)
{
    std::array<std::array<double, 3>, 4> colours[2];
    for (int s = 0; s < 2; ++s) {
        SimProcess sim({"--fps", "120", "--scene", s == 0 ? "1" : "3"});
        Link link(sim.Port());
        ASSERT_TRUE(link.LoginOk());
        link.SendRequest(KIND_LIVE, Words({1, 1}));
        CJpegImage decoder;
        for (int i = 0; i < 4; ++i) {
            auto r = link.Next();
            ASSERT_TRUE(r);
            const int announced = int(r->words[3]);
            const auto *jpeg = reinterpret_cast<const std::uint8_t *>(r->data.constData());
            EXPECT_EQ(decoder.Decode(jpeg, std::size_t(r->data.size()), false), announced - 1);
            colours[s][announced - 1] = MeanColour(decoder);
        }
    }
    // The hue of a picture's mean colour is its tint's, wherever the scene has panned.
    auto hue = [](const std::array<double, 3> &c) { // 0..1 round the colour wheel
        const double r = c[0], g = c[1], b = c[2];
        const double hi = std::max({r, g, b}), span = hi - std::min({r, g, b});
        if (span <= 0)
            return 0.0;
        const double h = hi == r   ? (g - b) / span
                         : hi == g ? 2 + (b - r) / span
                                   : 4 + (r - g) / span;
        return (h < 0 ? h + 6 : h) / 6;
    };
    for (int c = 0; c < 4; ++c) {
        const double turn = std::abs(hue(colours[0][c]) - hue(colours[1][c]));
        EXPECT_GT(std::min(turn, 1 - turn), 0.06) << "channel " << c + 1;
    }
}

struct SelectorRow {
    int simulatorSelector;
    int decoderSelector;
    bool fieldsAlternate; // otherwise every picture reads as the even field
};

class SimFieldRow : public ::testing::TestWithParam<SelectorRow> {};

TEST_P(SimFieldRow, IndexPatternLiesOnTheRowTheLoginReplyNames)
{
    const SelectorRow row = GetParam();
    SimProcess sim({"--field-row", QString::number(row.simulatorSelector)});
    Link link(sim.Port());
    ASSERT_TRUE(link.LoginOk());
    link.SendRequest(KIND_LIVE, Words({0, 2}));
    CJpegImage decoder;
    decoder.SetFieldRow(std::uint32_t(row.decoderSelector));
    std::vector<int> flags;
    for (int i = 0; i < 4; ++i) {
        auto r = link.Next();
        ASSERT_TRUE(r);
        EXPECT_EQ(r->words[3], 2u);
        ASSERT_EQ(decoder.Decode(reinterpret_cast<const std::uint8_t *>(r->data.constData()),
                                 std::size_t(r->data.size()), false),
                  1);
        flags.push_back(decoder.FieldFlag());
    }
    const std::vector<int> expected =
        row.fieldsAlternate ? std::vector<int>{0, 1, 0, 1} : std::vector<int>{1, 1, 1, 1};
    EXPECT_EQ(flags, expected);
}

INSTANTIATE_TEST_SUITE_P(Rows, SimFieldRow,
                         ::testing::Values(SelectorRow{0, 0, true}, SelectorRow{1, 1, true},
                                           SelectorRow{0, 1, false}, SelectorRow{1, 0, false}));

TEST(SimLive, OneChannelAloneAndAChannelThatDoesNotExist)
{
    SimProcess sim({});
    Link link(sim.Port());
    ASSERT_TRUE(link.LoginOk());
    link.SendRequest(KIND_LIVE, Words({0, 3}));
    for (int i = 0; i < 5; ++i) {
        auto r = link.Next();
        ASSERT_TRUE(r);
        EXPECT_EQ(r->words[3], 3u);
    }
    // Channel 9: nothing is streamed; the next reply is the start time asked for.
    link.SendRequest(KIND_LIVE, Words({0, 9}));
    link.SendRequest(KIND_START_TIME, Words({}));
    auto r = link.NextWithCode(COMMAND_R_START_TIME);
    ASSERT_TRUE(r);
    link.SendRequest(KIND_START_TIME, Words({}));
    r = link.Next();
    ASSERT_TRUE(r);
    EXPECT_EQ(r->header.nCommand, COMMAND_R_START_TIME);
}

TEST(SimLive, FramesOptionSendsFullFramesThatTheClientRefuses)
{
    SimProcess sim({"--frames"});
    Link link(sim.Port());
    ASSERT_TRUE(link.LoginOk());
    link.SendRequest(KIND_LIVE, Words({1, 1}));
    auto r = link.Next();
    ASSERT_TRUE(r);
    // 704 x 480 is beyond the client's 220000-pixel limit.
    CJpegImage decoder;
    EXPECT_EQ(decoder.Decode(reinterpret_cast<const std::uint8_t *>(r->data.constData()),
                             std::size_t(r->data.size()), false),
              CJpegImage::DECODE_FAILED);
    tjhandle tj = tjInitDecompress();
    int width = 0, height = 0, subsampling = 0, colourspace = 0;
    ASSERT_EQ(tjDecompressHeader3(tj, reinterpret_cast<const unsigned char *>(r->data.constData()),
                                  static_cast<unsigned long>(r->data.size()), &width, &height,
                                  &subsampling, &colourspace),
              0);
    tjDestroy(tj);
    EXPECT_EQ(width, 704);
    EXPECT_EQ(height, 480);
}

// ---- stop, playback ------------------------------------------------------------------------

TEST(SimStop, StopIsConfirmedAndNoPictureFollows)
{
    SimProcess sim({"--fps", "200"});
    Link link(sim.Port());
    ASSERT_TRUE(link.LoginOk());
    link.SendRequest(KIND_LIVE, Words({1, 1}));
    ASSERT_TRUE(link.NextWithCode(COMMAND_R_LIVE));
    link.SendRequest(KIND_STOP, Words({1}));
    auto stop = link.NextWithCode(COMMAND_R_STOP);
    ASSERT_TRUE(stop);
    EXPECT_TRUE(IsStopConfirmed(stop->words));
    link.SendRequest(KIND_START_TIME, Words({}));
    auto next = link.Next();
    ASSERT_TRUE(next);
    EXPECT_EQ(next->header.nCommand, COMMAND_R_START_TIME);
}

struct PlaybackRow {
    const char *versionText;
    bool reverse;
    int speed;
    QDateTime wanted;
};

class SimPlayback : public ::testing::TestWithParam<PlaybackRow> {};

TEST_P(SimPlayback, PictureTimesRunFromTheWantedStartToTheEndOfTheRange)
{
    const PlaybackRow row = GetParam();
    SimProcess sim({"--version-text", row.versionText, "--range-start", RANGE_START, "--range-end",
                    RANGE_END, "--fps", "60"});
    Link link(sim.Port());
    link.SetVersion(row.versionText);
    ASSERT_TRUE(link.LoginOk());
    const std::uint8_t code = VersionCodeOf(MakeVersionText(row.versionText).data());
    std::uint32_t w1, w2;
    if (code == VERSION_CODE_10) {
        w1 = std::uint32_t(row.wanted.toSecsSinceEpoch());
        w2 = std::uint32_t(Local(RANGE_END).toSecsSinceEpoch());
    } else {
        w1 = MakeDateWord(2026, 3, 14);
        w2 = MakeTimeWord(row.wanted.time().hour(), row.wanted.time().minute(),
                          row.wanted.time().second());
    }
    link.SendRequest(
        KIND_RECORDER,
        RecorderPayload(1, w1, w2, MakePlayControlWord(1, std::uint8_t(row.speed), row.reverse)));
    std::vector<qint64> times;
    std::optional<Reply> r;
    CJpegImage decoder;
    for (int i = 0; i < 2000; ++i) {
        r = link.Next();
        ASSERT_TRUE(r);
        ASSERT_EQ(r->header.nCommand, COMMAND_R_RECORDER);
        const RecorderReply rec = ParseRecorderReply(r->words, code);
        if (!rec.bPicture)
            break;
        EXPECT_EQ(rec.nChannel, 1) << "playback replies name the channel index";
        ASSERT_EQ(decoder.Decode(reinterpret_cast<const std::uint8_t *>(r->data.constData()),
                                 std::size_t(r->data.size()), false),
                  1);
        QDateTime t = rec.bCalendarSeconds ? QDateTime::fromSecsSinceEpoch(rec.dwSeconds)
                                           : QDateTime(QDate(rec.nYear, rec.nMonth, rec.nDay),
                                                       QTime(rec.nHour, rec.nMinute, rec.nSecond));
        times.push_back(t.toSecsSinceEpoch());
    }
    ASSERT_TRUE(r);
    EXPECT_EQ(r->words[3], 3u) << "end of recording";
    EXPECT_EQ(r->header.nPacketSize, 60u);
    ASSERT_GE(times.size(), 2u);
    EXPECT_EQ(times.front(), row.wanted.toSecsSinceEpoch());
    const qint64 last =
        row.reverse ? Local(RANGE_START).toSecsSinceEpoch() : Local(RANGE_END).toSecsSinceEpoch();
    EXPECT_LE(std::abs(times.back() - last), 1);
    for (std::size_t i = 1; i < times.size(); ++i) {
        if (row.reverse)
            EXPECT_LE(times[i], times[i - 1]);
        else
            EXPECT_GE(times[i], times[i - 1]);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Directions, SimPlayback,
    ::testing::Values(PlaybackRow{"DVR PACKET1.2", false, 7, Local("2026-03-14T10:00:20")},
                      PlaybackRow{"DVR PACKET1.0", false, 6, Local("2026-03-14T10:00:25")},
                      PlaybackRow{"DVR PACKET1.2", true, 7, Local("2026-03-14T10:00:10")},
                      PlaybackRow{"DVR PACKET9.9", false, 1, Local("2026-03-14T10:00:28")}));

struct StatusRow {
    const char *name;
    std::vector<QString> options;
    std::uint32_t channel, word1, word2, control;
    std::uint32_t status;
};

class SimPlaybackStatus : public ::testing::TestWithParam<StatusRow> {};

TEST_P(SimPlaybackStatus, RefusedStartsAnswerWithOneStatusReply)
{
    const StatusRow row = GetParam();
    QStringList args = {"--range-start", RANGE_START, "--range-end", RANGE_END};
    for (const QString &o : row.options)
        args << o;
    SimProcess sim(args);
    Link link(sim.Port());
    ASSERT_TRUE(link.LoginOk());
    link.SendRequest(KIND_RECORDER, RecorderPayload(std::uint8_t(row.channel - 1), row.word1,
                                                    row.word2, row.control));
    auto r = link.Next();
    ASSERT_TRUE(r);
    EXPECT_EQ(r->header.nCommand, COMMAND_R_RECORDER);
    EXPECT_EQ(r->words[3], row.status) << row.name;
    EXPECT_EQ(r->header.nPacketSize, 60u);
    link.SendRequest(KIND_START_TIME, Words({}));
    r = link.Next();
    ASSERT_TRUE(r);
    EXPECT_EQ(r->header.nCommand, COMMAND_R_START_TIME) << "no picture follows a refusal";
}

const std::uint32_t PLAY = MakePlayControlWord(1, 1, false);
const std::uint32_t PLAY_REVERSE = MakePlayControlWord(1, 1, true);
INSTANTIATE_TEST_SUITE_P(
    Statuses, SimPlaybackStatus,
    ::testing::Values(
        StatusRow{"month 13", {}, 1, MakeDateWord(2026, 13, 14), MakeTimeWord(10, 0, 5), PLAY, 4},
        StatusRow{"minute 60", {}, 1, MakeDateWord(2026, 3, 14), MakeTimeWord(10, 60, 0), PLAY, 4},
        StatusRow{"day before", {}, 1, MakeDateWord(2026, 3, 13), MakeTimeWord(10, 0, 5), PLAY, 2},
        StatusRow{"day after", {}, 1, MakeDateWord(2026, 3, 15), MakeTimeWord(10, 0, 5), PLAY, 2},
        StatusRow{
            "forwards at end", {}, 1, MakeDateWord(2026, 3, 14), MakeTimeWord(11, 0, 0), PLAY, 3},
        StatusRow{"reverse at start",
                  {},
                  1,
                  MakeDateWord(2026, 3, 14),
                  MakeTimeWord(9, 0, 0),
                  PLAY_REVERSE,
                  3},
        StatusRow{"channel 7", {}, 7, MakeDateWord(2026, 3, 14), MakeTimeWord(10, 0, 5), PLAY, 2},
        StatusRow{"error option",
                  {"--playback-error"},
                  1,
                  MakeDateWord(2026, 3, 14),
                  MakeTimeWord(10, 0, 5),
                  PLAY,
                  0}));

TEST(SimPlayback, QuadPlaybackRotatesChannelsAndPlayStateZeroStops)
{
    SimProcess sim({"--range-start", RANGE_START, "--range-end", RANGE_END, "--fps", "100"});
    Link link(sim.Port());
    ASSERT_TRUE(link.LoginOk());
    // Channel index 255 = quad: word 0 is 0.
    link.SendRequest(KIND_RECORDER,
                     RecorderPayload(255, MakeDateWord(2026, 3, 14), MakeTimeWord(10, 0, 1), PLAY));
    std::set<int> channels;
    for (int i = 0; i < 8; ++i) {
        auto r = link.Next();
        ASSERT_TRUE(r);
        ASSERT_EQ(r->words[3], 1u);
        channels.insert(int(r->words[0] >> 24));
    }
    EXPECT_EQ(channels, (std::set<int>{0, 1, 2, 3}));
    link.SendRequest(KIND_RECORDER, RecorderPayload(255, 0, 0, MakePlayControlWord(0, 0, false)));
    link.SendRequest(KIND_START_TIME, Words({}));
    ASSERT_TRUE(link.NextWithCode(COMMAND_R_START_TIME));
    link.SendRequest(KIND_START_TIME, Words({}));
    auto r = link.Next();
    ASSERT_TRUE(r);
    EXPECT_EQ(r->header.nCommand, COMMAND_R_START_TIME);
}

// ---- events, alerts, start time, PTZ, keep-alive, log -------------------------------------------

TEST(SimEvents, EventListCoversEveryBitChannelsZeroToFiveAndBadRecords)
{
    SimProcess sim({"--events", "60", "--range-start", RANGE_START, "--range-end", RANGE_END});
    Link link(sim.Port());
    ASSERT_TRUE(link.LoginOk());
    link.SendRequest(KIND_EVENT, EventPayload());
    auto r = link.Next();
    ASSERT_TRUE(r);
    ASSERT_EQ(r->header.nCommand, COMMAND_R_EVENT);
    ASSERT_EQ(r->data.size(), 600);
    std::set<int> channels, masks;
    int bits = 0, invalid = 0, hour24 = 0;
    for (int i = 0; i < 60; ++i) {
        const auto *rec = reinterpret_cast<const std::uint8_t *>(r->data.constData()) + 10 * i;
        channels.insert(rec[0]);
        masks.insert(rec[1]);
        bits |= rec[1];
        if (rec[0] > 4 || rec[2] > 100 || rec[3] > 12 || rec[4] > 31 || rec[5] > 24 ||
            rec[6] > 59 || rec[7] > 59)
            ++invalid;
        else if (rec[5] == 24)
            ++hour24;
        else if (rec[0] >= 1) {
            // Valid records lie in the recording range.
            const QDateTime t(QDate(1996 + rec[2], rec[3], rec[4]), QTime(rec[5], rec[6], rec[7]));
            EXPECT_GE(t, Local(RANGE_START));
            EXPECT_LE(t, Local(RANGE_END));
        }
    }
    EXPECT_EQ(channels, (std::set<int>{0, 1, 2, 3, 4, 5}));
    EXPECT_EQ(bits, 0xFF);
    EXPECT_TRUE(masks.count(0) && masks.count(0xFF));
    EXPECT_GT(invalid, 0);
    EXPECT_GT(hour24, 0);
}

TEST(SimAlerts, ReportsRunWhileSwitchedOnAndChange)
{
    SimProcess sim({"--alert-interval", "20"});
    Link link(sim.Port());
    ASSERT_TRUE(link.LoginOk());
    link.SendRequest(KIND_ALERT, AlertPayload(0x0501));
    std::set<int> channels;
    std::set<std::uint32_t> states;
    for (int i = 0; i < 24; ++i) {
        auto r = link.Next();
        ASSERT_TRUE(r);
        ASSERT_EQ(r->header.nCommand, COMMAND_R_ALERT);
        const AlertReply a = ParseAlertReply(r->words);
        EXPECT_TRUE(a.bValid);
        channels.insert(a.byChannel);
        states.insert(r->words[1]);
    }
    EXPECT_EQ(channels, (std::set<int>{1, 2, 3, 4}));
    EXPECT_GT(states.size(), 2u);
    link.SendRequest(KIND_ALERT, AlertPayload(0x0500));
    link.SendRequest(KIND_START_TIME, Words({}));
    ASSERT_TRUE(link.NextWithCode(COMMAND_R_START_TIME));
    EXPECT_FALSE(link.Next(300)) << "no report after switching off";
}

TEST(SimAlerts, BadChannelOptionAddsChannelsTheClientIgnores)
{
    SimProcess sim({"--alert-interval", "10", "--alert-bad-channels"});
    Link link(sim.Port());
    ASSERT_TRUE(link.LoginOk());
    link.SendRequest(KIND_ALERT, AlertPayload(0x0501));
    std::set<int> channels;
    for (int i = 0; i < 12; ++i) {
        auto r = link.Next();
        ASSERT_TRUE(r);
        channels.insert(WordByte(r->words[0], 0));
    }
    EXPECT_EQ(channels, (std::set<int>{0, 1, 2, 3, 4, 5}));
}

TEST(SimStartTime, SentOnRequestAndUnaskedWithTheOption)
{
    SimProcess sim(
        {"--push-start-time", "50", "--range-start", RANGE_START, "--range-end", RANGE_END});
    Link link(sim.Port());
    ASSERT_TRUE(link.LoginOk());
    for (int i = 0; i < 2; ++i) { // unasked
        auto r = link.Next();
        ASSERT_TRUE(r);
        EXPECT_EQ(r->header.nCommand, COMMAND_R_START_TIME);
        EXPECT_EQ(r->words[2], MakeDateWord(2026, 3, 14));
        EXPECT_EQ(r->words[5], MakeTimeWord(10, 0, 30));
    }
}

TEST(SimLog, EveryRequestIsLoggedWithItsBytesAndWhatWasDone)
{
    QTemporaryDir dir;
    const QString logFile = dir.filePath("requests.jsonl");
    SimProcess sim({"--log", logFile, "--events", "3"});
    Link link(sim.Port());
    ASSERT_TRUE(link.LoginOk());
    // One request of every kind; a PTZ move while channel 2 is shown alone.
    std::vector<std::pair<int, PayloadWords>> sent = {
        {KIND_LIVE, Words({0, 2})},
        {KIND_PTZ, PtzPayload(0x0100, 3, 4)}, // pan, direction 1
        {KIND_PTZ, PtzPayload(0x0200, 3, 4)}, // pan stop
        {KIND_ALERT, AlertPayload(0x0500)},
        {KIND_EVENT, EventPayload()},
        {KIND_START_TIME, Words({})},
        {KIND_WATCHDOG, Words({})},
        {KIND_RECORDER, RecorderPayload(0, MakeDateWord(1990, 1, 1), 0, PLAY)},
        {KIND_STOP, StopPayload()},
    };
    std::vector<QByteArray> hex;
    for (const auto &[kind, words] : sent) {
        const auto bytes = BuildRequestWords(kind, MakeVersionText(PACKET_VERSION_12), words);
        hex.push_back(
            QByteArray(reinterpret_cast<const char *>(bytes.data()), int(bytes.size())).toHex());
        link.SendBytes(bytes);
    }
    ASSERT_TRUE(link.NextWithCode(COMMAND_R_STOP));

    QFile f(logFile);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    std::vector<QJsonObject> requests;
    for (const QByteArray &line : f.readAll().split('\n')) {
        if (line.isEmpty())
            continue;
        QJsonParseError err;
        const QJsonDocument doc = QJsonDocument::fromJson(line, &err);
        ASSERT_EQ(err.error, QJsonParseError::NoError) << line.constData();
        if (doc.object().contains("code"))
            requests.push_back(doc.object());
    }
    ASSERT_EQ(requests.size(), sent.size() + 1); // + the login
    EXPECT_EQ(requests[0]["name"].toString(), "COMMAND_LOGIN");
    EXPECT_EQ(requests[0]["user"].toString(), "admin");
    EXPECT_EQ(requests[0]["action"].toString(), "login accepted");
    for (std::size_t i = 0; i < sent.size(); ++i) {
        const QJsonObject &o = requests[i + 1];
        EXPECT_EQ(o["bytes"].toString().toLatin1(), hex[i]) << i;
        EXPECT_EQ(
            o["code"].toString(),
            QStringLiteral("0x%1").arg(RequestCommandCode(sent[i].first), 4, 16, QLatin1Char('0')));
        const QJsonArray words = o["words"].toArray();
        ASSERT_EQ(words.size(), 8);
        for (int w = 0; w < 8; ++w)
            EXPECT_EQ(std::uint32_t(words[w].toDouble()), sent[i].second[std::size_t(w)]);
        EXPECT_FALSE(o["time"].toString().isEmpty());
    }
    EXPECT_EQ(requests[1]["action"].toString(), "live: channel 2");
    EXPECT_TRUE(requests[2]["action"].toString().startsWith("ptz: channel 2 pan direction 1"));
    EXPECT_TRUE(requests[3]["action"].toString().startsWith("ptz: channel 2 pan stop"));
    EXPECT_EQ(requests[7]["action"].toString(), "keep-alive");
    EXPECT_EQ(requests[8]["action"].toString(), "playback: status 4");
    EXPECT_EQ(requests[9]["action"].toString(), "stop confirmed");
}

namespace {

// Pixels of the building rows (below the text boxes, above the road) that differ
// clearly between two pictures of one channel.
long DifferingBuildingPixels(const Reply &first, const Reply &second)
{
    CJpegImage a, b;
    if (a.Decode(reinterpret_cast<const std::uint8_t *>(first.data.constData()),
                 std::size_t(first.data.size()), false) == CJpegImage::DECODE_FAILED ||
        b.Decode(reinterpret_cast<const std::uint8_t *>(second.data.constData()),
                 std::size_t(second.data.size()), false) == CJpegImage::DECODE_FAILED)
        return -1;
    long differing = 0;
    const std::size_t stride = a.RowStride();
    for (int row = 80; row < 125; ++row)
        for (int x = 0; x < 704; ++x) {
            const std::size_t at = std::size_t(239 - row) * stride + 3 * std::size_t(x);
            differing += std::abs(int(a.Pixels()[at]) - int(b.Pixels()[at])) > 40;
        }
    return differing;
}

std::optional<Reply> SkipPictures(Link &link, int n)
{
    std::optional<Reply> r;
    for (int i = 0; i < n; ++i)
        if (!(r = link.NextWithCode(COMMAND_R_LIVE)))
            break;
    return r;
}

} // namespace

TEST(SimPtz, PanMovesTheSceneOfTheChannelShownAlone)
{
    SimProcess sim({"--fps", "60"});
    Link link(sim.Port());
    ASSERT_TRUE(link.LoginOk());
    link.SendRequest(KIND_LIVE, Words({0, 3}));
    // Without PTZ only the small moving objects change.
    auto still1 = link.Next();
    auto still2 = SkipPictures(link, 30);
    ASSERT_TRUE(still1 && still2);
    EXPECT_LT(DifferingBuildingPixels(*still1, *still2), 2000);

    link.SendRequest(KIND_PTZ, PtzPayload(0x0100, 5, 4)); // pan, direction 1, fast
    auto moving = SkipPictures(link, 30);
    link.SendRequest(KIND_PTZ, PtzPayload(0x0200, 5, 4)); // stop
    auto moved = SkipPictures(link, 3);
    ASSERT_TRUE(moving && moved);
    EXPECT_EQ(moved->words[3], 3u);
    EXPECT_GT(DifferingBuildingPixels(*still2, *moved), 5000);
    // Stopped: the framing holds.
    auto later = SkipPictures(link, 30);
    ASSERT_TRUE(later);
    EXPECT_LT(DifferingBuildingPixels(*moved, *later), 2000);
}

// ---- options
// -------------------------------------------------------------------------------------

TEST(SimOptions, HelpListsEveryOption)
{
    EnsureApp();
    QProcess p;
    p.start(testsupport::simulatorPath(), {"--help"});
    ASSERT_TRUE(p.waitForFinished(WAIT_MS));
    const QByteArray help = p.readAllStandardOutput();
    for (const char *name : {"--listen",
                             "--port",
                             "--version-text",
                             "--user",
                             "--password",
                             "--any-login",
                             "--channel-info",
                             "--field-row",
                             "--channel-num",
                             "--range-start",
                             "--range-end",
                             "--fps",
                             "--frames",
                             "--size",
                             "--quality",
                             "--gap-ms",
                             "--alert-interval",
                             "--alert-bad-channels",
                             "--push-start-time",
                             "--events",
                             "--log",
                             "--verbose",
                             "--stats",
                             "--never-answer",
                             "--silent-after",
                             "--refuse-login",
                             "--close-after",
                             "--refuse-connections",
                             "--garbage",
                             "--oversize",
                             "--oversize-size",
                             "--split-header",
                             "--coalesce",
                             "--trickle",
                             "--playback-error",
                             "--scene"})
        EXPECT_TRUE(help.contains(name)) << name;
}

TEST(SimOptions, RefusesAddressesBeyondLoopbackAndBadValues)
{
    EnsureApp();
    for (const QStringList &args :
         {QStringList{"--listen", "0.0.0.0"}, QStringList{"--listen", "192.168.1.150"},
          QStringList{"--fps", "0"}, QStringList{"--range-start", "yesterday"},
          QStringList{"--range-start", "2026-03-14T10:00:00", "--range-end", "2026-03-13T10:00:00"},
          QStringList{"--size", "320x240"}, QStringList{"--coalesce", "1"},
          QStringList{"--scene", "5"}}) {
        QProcess p;
        p.start(testsupport::simulatorPath(), args + QStringList{"--port", "0"});
        ASSERT_TRUE(p.waitForFinished(WAIT_MS)) << args.join(' ').toStdString();
        EXPECT_EQ(p.exitCode(), 2) << args.join(' ').toStdString();
        EXPECT_FALSE(p.readAllStandardOutput().contains("LISTENING"));
    }
}

// ---- robustness
// -----------------------------------------------------------------------------------

TEST(SimRequests, RequestsSplitAnywhereAndGarbageBetweenThemAreHandled)
{
    QTemporaryDir dir;
    SimProcess sim({"--log", dir.filePath("log.jsonl")});
    Link link(sim.Port());
    RequestValues v;
    const auto login = BuildRequest(KIND_LOGIN, VersionText{}, v);
    for (std::uint8_t byte : login) { // one byte per write
        link.Socket().write(reinterpret_cast<const char *>(&byte), 1);
        link.Socket().flush();
    }
    auto r = link.Next();
    ASSERT_TRUE(r);
    EXPECT_EQ(r->words[0], 1u);
    std::vector<std::uint8_t> junk(97, 0xA5);
    junk[20] = 0x3C; // looks like a size, but not a plausible header
    link.SendBytes(junk);
    const auto start = BuildRequestWords(KIND_START_TIME, MakeVersionText(PACKET_VERSION_12), {});
    std::vector<std::uint8_t> two(start);
    two.insert(two.end(), start.begin(), start.end()); // two requests in one write
    link.SendBytes(two);
    for (int i = 0; i < 2; ++i) {
        r = link.Next();
        ASSERT_TRUE(r);
        EXPECT_EQ(r->header.nCommand, COMMAND_R_START_TIME);
    }
    QFile f(dir.filePath("log.jsonl"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray log = f.readAll();
    EXPECT_TRUE(log.contains("\"event\":\"garbage\""));
    EXPECT_EQ(log.count("COMMAND_START_TIME"), 2);
}

TEST(SimPictures, SmallPicturesArePaddedToTheClientsMinimum)
{
    SimProcess sim({"--size", "640x16", "--quality", "50"});
    Link link(sim.Port());
    ASSERT_TRUE(link.LoginOk());
    link.SendRequest(KIND_LIVE, Words({0, 4}));
    auto r = link.Next();
    ASSERT_TRUE(r);
    EXPECT_EQ(r->data.size(), 3072);
    EXPECT_EQ(r->data.left(5), QByteArray("\xFF\xD8\xFF\xE0\x00", 5));
    CJpegImage decoder;
    EXPECT_EQ(decoder.Decode(reinterpret_cast<const std::uint8_t *>(r->data.constData()),
                             std::size_t(r->data.size()), false),
              3);
    EXPECT_EQ(decoder.Header().biWidth, 640);
    EXPECT_EQ(decoder.Header().biHeight, 16);
}
