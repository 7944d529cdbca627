#include "protocol/packet.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

std::vector<std::uint8_t> Bytes(const char *text, std::size_t n)
{
    std::vector<std::uint8_t> out(n, 0);
    std::memcpy(out.data(), text, std::min(n, std::strlen(text)));
    return out;
}

std::vector<std::uint8_t> Slice(const std::vector<std::uint8_t> &v, std::size_t from, std::size_t n)
{
    return std::vector<std::uint8_t>(v.begin() + from, v.begin() + from + n);
}

// A reply header whose first 16 bytes are the given text (up to 16 bytes, rest zero).
PacketHeader ReplyHeader(const std::string &text)
{
    PacketHeader h;
    std::memcpy(h.szVersion, text.data(), std::min<std::size_t>(text.size(), 16));
    return h;
}

} // namespace

// ---- requests ---------------------------------------------------------------------------

TEST(PacketRequest, LoginBeforeAnyReplyIsExact)
{
    const VersionText none{}; // nothing kept yet
    RequestValues v;
    v.userId = "operator";
    v.password = "secret";
    const auto p = BuildRequest(KIND_LOGIN, none, v);

    ASSERT_EQ(p.size(), 300u);
    EXPECT_EQ(Slice(p, 0, 16), Bytes("DVR PACKET1.0", 16));
    EXPECT_EQ(ReadLE32(p.data() + 16), 300u);
    EXPECT_EQ(ReadLE32(p.data() + 20), 2u);
    EXPECT_EQ(ReadLE32(p.data() + 24), 0x1001u);
    EXPECT_EQ(Slice(p, 28, 128), Bytes("operator", 128));
    EXPECT_EQ(Slice(p, 28 + 128, 144), Bytes("secret", 144));
}

TEST(PacketRequest, LoginIgnoresKeptVersionAndCutsLongTexts)
{
    RequestValues v;
    v.userId = std::string(200, 'u');
    v.password = std::string(200, 'p');
    const auto p = BuildRequest(KIND_LOGIN, MakeVersionText("DVR PACKET1.2"), v);

    ASSERT_EQ(p.size(), 300u);
    EXPECT_EQ(Slice(p, 0, 16), Bytes("DVR PACKET1.0", 16));
    // 63 and 31 characters, each slot keeps its terminating zero and the rest is zero.
    EXPECT_EQ(Slice(p, 28, 128), Bytes(std::string(63, 'u').c_str(), 128));
    EXPECT_EQ(Slice(p, 156, 144), Bytes(std::string(31, 'p').c_str(), 144));
}

TEST(PacketRequest, DefaultLoginWithoutView)
{
    const auto p = BuildRequest(KIND_LOGIN, VersionText{}, RequestValues{});
    EXPECT_EQ(Slice(p, 28, 128), Bytes("Admin", 128));
    EXPECT_EQ(std::strlen(reinterpret_cast<const char *>(p.data() + 156)), 1u);
}

struct RequestRow {
    const char *name;
    int kind;
    RequestValues values;
    std::uint32_t code;
    PayloadWords words;
};

class PacketRequestTable : public ::testing::TestWithParam<RequestRow> {};

TEST_P(PacketRequestTable, SixtyByteRequestIsExact)
{
    const RequestRow &row = GetParam();
    // Kept from a "DVR PACKET1.2" login reply.
    const VersionText kept = KeepVersionText(ReplyHeader("DVR PACKET1.2").szVersion);
    const auto p = BuildRequest(row.kind, kept, row.values);

    ASSERT_EQ(p.size(), 60u);
    EXPECT_EQ(Slice(p, 0, 16), Bytes("DVR PACKET1.2", 16));
    EXPECT_EQ(ReadLE32(p.data() + 16), 60u);
    EXPECT_EQ(ReadLE32(p.data() + 20), 1u);
    EXPECT_EQ(ReadLE32(p.data() + 24), row.code);
    EXPECT_EQ(ReadPayloadWords(p.data() + 28), row.words);
}

RequestValues Live(std::uint16_t w)
{
    RequestValues v;
    v.wRequestChannel = w;
    return v;
}

RequestValues Play(std::uint8_t ch, std::uint32_t w1, std::uint32_t w2, std::uint32_t pc)
{
    RequestValues v;
    v.bySelectedChannel = ch;
    v.dwPlayWord1 = w1;
    v.dwPlayWord2 = w2;
    v.dwPlayControl = pc;
    return v;
}

RequestValues Ptz(std::uint16_t info, std::uint32_t speed, std::uint8_t code)
{
    RequestValues v;
    v.wPtzCommandInfo = info;
    v.dwPtzSpeedWord = speed;
    v.byPtzProtocol = code;
    return v;
}

RequestValues Alert(std::uint16_t w)
{
    RequestValues v;
    v.wAlertRequest = w;
    return v;
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, PacketRequestTable,
    ::testing::Values(RequestRow{"LiveQuadChannel1", KIND_LIVE, Live(0x0100), 0x1011, {1, 1}},
                      RequestRow{"LiveChannel3Alone", KIND_LIVE, Live(0x0002), 0x1011, {0, 3}},
                      RequestRow{"LiveNoView", KIND_LIVE, RequestValues{}, 0x1011, {1, 1}},
                      RequestRow{"PlayChannel2",
                                 KIND_RECORDER,
                                 Play(1, 0x07D5030F, 0x0A141E00, 0x00010100),
                                 0x1015,
                                 {2, 0x07D5030F, 0x0A141E00, 0x00010100}},
                      RequestRow{
                          "PlayNoChannel", KIND_RECORDER, Play(255, 7, 8, 0), 0x1015, {0, 7, 8, 0}},
                      RequestRow{"Event", KIND_EVENT, RequestValues{}, 0x1041, {1}},
                      RequestRow{"Ptz", KIND_PTZ, Ptz(0x0201, 3, 5), 0x1031, {1, 2, 3, 5}},
                      RequestRow{"AlertOn", KIND_ALERT, Alert(0x0501), 0x1035, {5, 1}},
                      RequestRow{"AlertOff", KIND_ALERT, Alert(0x0500), 0x1035, {5, 0}},
                      RequestRow{"Stop", KIND_STOP, RequestValues{}, 0x1013, {1}},
                      RequestRow{"StartTime", KIND_START_TIME, RequestValues{}, 0x1061, {}},
                      RequestRow{"Watchdog", KIND_WATCHDOG, RequestValues{}, 0x2000, {}}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(PacketRequest, UnknownKindBuildsNothing)
{
    for (int kind : {0, 7, 10, 99, 101, -1})
        EXPECT_TRUE(BuildRequest(kind, VersionText{}, RequestValues{}).empty()) << kind;
}

TEST(PacketRequest, EmptyKeptTextGivesZeroVersion)
{
    const auto p = BuildRequest(KIND_WATCHDOG, VersionText{}, RequestValues{});
    ASSERT_EQ(p.size(), 60u);
    EXPECT_EQ(Slice(p, 0, 16), std::vector<std::uint8_t>(16, 0));
}

// ---- version text and code -----------------------------------------------------------------

struct VersionRow {
    std::string header; // first 16 bytes of the reply header
    std::uint8_t code;
    std::string kept; // text echoed in later requests
};

class PacketVersion : public ::testing::TestWithParam<VersionRow> {};

TEST_P(PacketVersion, CodeAndKeptText)
{
    const VersionRow &row = GetParam();
    const PacketHeader h = ReplyHeader(row.header);
    EXPECT_EQ(VersionCodeOf(h.szVersion), row.code) << row.header;
    const VersionText kept = KeepVersionText(h.szVersion);
    EXPECT_EQ(std::string(kept.data()), row.kept);
    EXPECT_EQ(kept[15], '\0');
}

INSTANTIATE_TEST_SUITE_P(Texts, PacketVersion,
                         ::testing::Values(VersionRow{"DVR PACKET1.0", 1, "DVR PACKET1.0"},
                                           VersionRow{"dvr packet1.0", 1, "dvr packet1.0"},
                                           VersionRow{"DVR PACKET1.2", 2, "DVR PACKET1.2"},
                                           VersionRow{"Dvr Packet1.2", 2, "Dvr Packet1.2"},
                                           VersionRow{"DVR PACKET1.1", 3, "DVR PACKET1.1"},
                                           VersionRow{"DVR PACKET1.0 ", 3, "DVR PACKET1.0 "},
                                           VersionRow{"", 3, ""},
                                           VersionRow{std::string("DVR\0PACKET1.0", 13), 3, "DVR"},
                                           // 16 characters without a zero: the code sees all 16,
                                           // the kept text is cut to 15.
                                           VersionRow{"DVR PACKET1.2XYZ", 3, "DVR PACKET1.2XY"}));

// ---- header and receive-path helpers ---------------------------------------------------------

TEST(PacketHeader, RoundTripAndTruncation)
{
    PacketHeader h = ReplyHeader("DVR PACKET1.2");
    h.nPacketSize = 0x12345678;
    h.nPacketType = 3;
    h.nCommand = COMMAND_R_LIVE;
    const auto bytes = h.ToBytes();
    EXPECT_EQ(bytes[16], 0x78);
    EXPECT_EQ(bytes[19], 0x12);

    PacketHeader back;
    ASSERT_TRUE(back.Parse(bytes.data(), bytes.size()));
    EXPECT_EQ(std::memcmp(back.szVersion, h.szVersion, 16), 0);
    EXPECT_EQ(back.nPacketSize, h.nPacketSize);
    EXPECT_EQ(back.nPacketType, 3u);
    EXPECT_EQ(back.nCommand, COMMAND_R_LIVE);

    PacketHeader untouched;
    EXPECT_FALSE(untouched.Parse(bytes.data(), 27));
    EXPECT_EQ(untouched.nPacketSize, 0u);
}

TEST(PacketHeader, TypeValidityAndDataLength)
{
    PacketHeader h;
    for (std::uint32_t t : {0u, 4u, 0xFFFFFFFFu}) {
        h.nPacketType = t;
        EXPECT_FALSE(h.IsValidType()) << t;
    }
    for (std::uint32_t t : {1u, 2u, 3u}) {
        h.nPacketType = t;
        EXPECT_TRUE(h.IsValidType()) << t;
    }
    const std::pair<std::uint32_t, std::uint32_t> sizes[] = {
        {0, 0}, {59, 0}, {60, 0}, {61, 1}, {20060, 20000}, {0xFFFFFFFF, 0xFFFFFFFF - 60}};
    for (auto [size, block] : sizes) {
        h.nPacketSize = size;
        EXPECT_EQ(h.DataBlockLength(), block) << size;
    }
}

TEST(PacketHeader, StartsPacketLooksAtTextOfFirst28Bytes)
{
    struct Row {
        std::string bytes;
        bool starts;
    } rows[] = {
        {std::string("DVR PACKET1.0\0\0\0", 16) + std::string(44, '\x01'), true},
        {"xxDVR PACKET1.2", true},
        {"DVR PACKET", true},
        {"DVR PACKE", false},
        {"dvr packet1.0", false},                        // the search is case-sensitive
        {std::string("\0DVR PACKET1.0", 14), false},     // stops at the zero
        {std::string(19, 'x') + "DVR PACKET1.0", false}, // runs past byte 28
        {std::string(18, 'x') + "DVR PACKET", true},     // ends at byte 28
        {"", false},
    };
    for (const Row &row : rows) {
        const auto *data = reinterpret_cast<const std::uint8_t *>(row.bytes.data());
        EXPECT_EQ(StartsPacket(data, row.bytes.size()), row.starts) << row.bytes;
    }
}

TEST(PacketWords, LittleEndianPayload)
{
    const PayloadWords words{0x04030201, 0, 0xA0B0C0D0, 3, 4, 5, 6, 0xFFFFFFFF};
    std::uint8_t buf[32] = {};
    WritePayloadWords(words, buf);
    EXPECT_EQ(buf[0], 0x01);
    EXPECT_EQ(buf[3], 0x04);
    EXPECT_EQ(buf[8], 0xD0);
    EXPECT_EQ(buf[31], 0xFF);
    EXPECT_EQ(ReadPayloadWords(buf), words);
}

TEST(PacketReply, BuildAndParseRoundTrip)
{
    const std::uint8_t jpeg[5] = {0xFF, 0xD8, 1, 2, 3};
    const PayloadWords words{1, 2, 3, 4, 5, 6, 7, 8};
    const auto p = BuildReply("DVR PACKET1.2", COMMAND_R_LIVE, words, jpeg, sizeof jpeg);
    ASSERT_EQ(p.size(), 65u);
    EXPECT_TRUE(StartsPacket(p.data(), p.size()));

    PacketHeader h;
    PayloadWords back{};
    ASSERT_TRUE(ParsePacket(p.data(), p.size(), h, back));
    EXPECT_EQ(h.nPacketSize, 65u);
    EXPECT_EQ(h.nPacketType, 1u);
    EXPECT_EQ(h.nCommand, COMMAND_R_LIVE);
    EXPECT_EQ(h.DataBlockLength(), 5u);
    EXPECT_EQ(back, words);
    EXPECT_EQ(p[60], 0xFF);
    EXPECT_FALSE(ParsePacket(p.data(), 59, h, back));
}

// ---- replies ------------------------------------------------------------------------------------

TEST(PacketReply, LoginReplyFields)
{
    const PayloadWords w{1, 0x04000104, 11, 12, 13, 14, 0, 0};
    const LoginReply r = ParseLoginReply(w);
    EXPECT_TRUE(r.bAccepted);
    EXPECT_EQ(r.nChannelInfo, 4);
    EXPECT_EQ(r.byFieldRowSelector, 1);
    EXPECT_EQ(r.nChannelNum, 4);
    EXPECT_FALSE(r.bNoCheckJpeg);
    EXPECT_EQ(r.range.a, 11u);
    EXPECT_EQ(r.range.b, 12u);
    EXPECT_EQ(r.range.c, 13u);
    EXPECT_EQ(r.range.d, 14u);

    struct Row {
        std::uint32_t word0, word1;
        bool accepted, noCheck;
    } rows[] = {{1, 0, true, false},     {1, 4, true, false},  {1, 1, true, true},
                {1, 16, true, true},     {0, 4, false, false}, {2, 4, false, false},
                {0x101, 4, false, false}};
    for (const Row &row : rows) {
        const LoginReply x = ParseLoginReply({row.word0, row.word1});
        EXPECT_EQ(x.bAccepted, row.accepted) << row.word0;
        EXPECT_EQ(x.bNoCheckJpeg, row.noCheck) << row.word1;
    }
}

TEST(PacketReply, LiveReplyChannel)
{
    const std::pair<std::uint32_t, int> rows[] = {
        {0, 0}, {1, 0}, {3, 2}, {16, 15}, {17, 16}, {256, 255}, {257, 255}, {0xFFFFFFFF, 255}};
    for (auto [word3, channel] : rows) {
        const LiveReply r = ParseLiveReply({0, 21, 22, word3});
        EXPECT_EQ(r.nChannel, channel) << word3;
        EXPECT_EQ(r.dwWord1, 21u);
        EXPECT_EQ(r.dwWord2, 22u);
    }
}

TEST(PacketReply, StopConfirm)
{
    EXPECT_TRUE(IsStopConfirmed({1}));
    EXPECT_FALSE(IsStopConfirmed({0}));
    EXPECT_FALSE(IsStopConfirmed({0x101}));
}

TEST(PacketReply, RecorderReplyWithPictureByVersion)
{
    // Version 1.0: channel in byte 0 of word 0, calendar seconds in word 1.
    RecorderReply r = ParseRecorderReply({0xAABBCC02, 1110878430, 0, 1}, 1);
    EXPECT_TRUE(r.bPicture);
    EXPECT_EQ(r.nChannel, 2);
    EXPECT_TRUE(r.bCalendarSeconds);
    EXPECT_EQ(r.dwSeconds, 1110878430u);

    // Versions 1.2 and others: channel << 24 | year << 8 | month; day, hour, min, sec.
    const std::uint32_t w0 = 3u << 24 | 2005u << 8 | 3u;
    const std::uint32_t w1 = 15u << 24 | 10u << 16 | 20u << 8 | 30u;
    for (std::uint8_t code : {2, 3}) {
        r = ParseRecorderReply({w0, w1, 0, 1}, code);
        EXPECT_TRUE(r.bPicture);
        EXPECT_FALSE(r.bCalendarSeconds);
        EXPECT_EQ(r.nChannel, 3);
        EXPECT_EQ(r.dwDateWord, w0);
        EXPECT_EQ(r.dwTimeWord, w1);
        EXPECT_EQ(r.nYear, 2005);
        EXPECT_EQ(r.nMonth, 3);
        EXPECT_EQ(r.nDay, 15);
        EXPECT_EQ(r.nHour, 10);
        EXPECT_EQ(r.nMinute, 20);
        EXPECT_EQ(r.nSecond, 30);
    }
}

TEST(PacketReply, RecorderReplyWithoutPicture)
{
    const std::pair<std::uint32_t, std::uint8_t> rows[] = {{0, PLAY_END_ERROR},
                                                           {2, PLAY_END_NO_PICTURE},
                                                           {3, PLAY_END_END_OF_RECORDING},
                                                           {4, PLAY_END_INVALID_DATE},
                                                           {0x104, 4},
                                                           {0x101, 1}};
    for (auto [word3, status] : rows) {
        for (std::uint8_t code : {1, 2, 3}) {
            const RecorderReply r = ParseRecorderReply({0x03000000, 5, 0, word3}, code);
            EXPECT_FALSE(r.bPicture) << word3;
            EXPECT_EQ(r.byEndStatus, status) << word3;
        }
    }
}

TEST(PacketReply, AlertReplyBytes)
{
    const AlertReply r = ParseAlertReply({0xFFFFFF03, 0x01020304});
    EXPECT_TRUE(r.bValid);
    EXPECT_EQ(r.byChannel, 3);
    EXPECT_EQ(r.byMotion, 0x03);
    EXPECT_EQ(r.byVideoLoss, 0x02);
    EXPECT_EQ(r.byAlarm, 0x01);
    EXPECT_EQ(r.dwAlertWord, 0x01020303u);

    for (std::uint32_t channel : {0u, 5u, 255u, 0x100u})
        EXPECT_FALSE(ParseAlertReply({channel, 0x01010100}).bValid) << channel;
    for (std::uint32_t channel : {1u, 4u})
        EXPECT_TRUE(ParseAlertReply({channel, 0}).bValid) << channel;
}

TEST(PacketPlayControl, Composition)
{
    EXPECT_EQ(MakePlayControlWord(PLAY_STATE_START, 1, false), 0x00010100u);
    EXPECT_EQ(MakePlayControlWord(PLAY_STATE_CHANGE, 3, true), 0x01030200u);
    EXPECT_EQ(MakePlayControlWord(PLAY_STATE_STOP, 0, false), 0u);
    const std::uint32_t w = MakePlayControlWord(2, 4, true);
    EXPECT_EQ(PlayStateOf(w), 2);
    EXPECT_EQ(PlaySpeedOf(w), 4);
    EXPECT_TRUE(PlayReverseOf(w));
}
