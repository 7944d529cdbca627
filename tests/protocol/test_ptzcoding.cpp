#include "protocol/ptzcoding.h"

#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <vector>

void PrintTo(const PtzRequest &r, std::ostream *os)
{
    *os << "(axis " << int(r.byAxis) << ", dir " << int(r.byDirection) << ", speed "
        << r.dwSpeedWord << ", code " << int(r.byProtocol) << ")";
}

namespace {

// (axis, direction, speed word, protocol code), i.e. payload words 0..3.
PtzRequest Req(int axis, int direction, int speed, int code)
{
    PtzRequest r;
    r.byAxis = static_cast<std::uint8_t>(axis);
    r.byDirection = static_cast<std::uint8_t>(direction);
    r.dwSpeedWord = static_cast<std::uint32_t>(speed);
    r.byProtocol = static_cast<std::uint8_t>(code);
    return r;
}

} // namespace

struct PtzRow {
    const char *name;
    std::uint8_t type;
    std::uint8_t panel;
    int action;
    bool pressed;
    std::uint8_t version;
    std::uint16_t previous;
    std::optional<std::uint8_t> viewSpeed;
    std::vector<PtzRequest> requests;
    std::uint16_t commandInfo;  // new m_wPtzCommandInfo
    std::uint16_t protocolWord; // new protocol word
};

class PtzCodingTable : public ::testing::TestWithParam<PtzRow> {};

TEST_P(PtzCodingTable, Requests)
{
    const PtzRow &row = GetParam();
    const PtzCoding c = CodePtz(row.type, row.panel, row.action, row.pressed, row.version,
                                row.previous, row.viewSpeed);
    EXPECT_EQ(c.requests, row.requests);
    EXPECT_EQ(c.wPtzCommandInfo, row.commandInfo) << std::hex << c.wPtzCommandInfo;
    EXPECT_EQ(c.wProtocolWord, row.protocolWord) << std::hex << c.wProtocolWord;
}

const std::optional<std::uint8_t> kNoView;

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Cases, PtzCodingTable,
    ::testing::Values(
        PtzRow{"PelcoD12Pressed", PTZ_TYPE_PELCO_D, 2, 6, true, 2, 0, 2,
               {Req(0, 1, 3, 4)}, 0x0100, 0x0204},
        PtzRow{"PelcoD12Released", PTZ_TYPE_PELCO_D, 2, 6, false, 2, 0x0100, 2,
               {Req(0, 2, 3, 4)}, 0x0200, 0x0204},
        PtzRow{"Hmc250On10FourRequests", PTZ_TYPE_HMC250, 1, 1, true, 1, 0, 1,
               {Req(1, 0, 2, 3), Req(0, 0, 2, 3), Req(1, 0, 2, 4), Req(0, 0, 2, 4)}, 0x0000,
               0x0104},
        PtzRow{"Hmc250On12Single", PTZ_TYPE_HMC250, 1, 4, true, 2, 0, 1, {Req(1, 1, 2, 3)},
               0x0101, 0x0103},
        PtzRow{"Scc641UnknownVersion", PTZ_TYPE_SCC641, 3, 2, true, 3, 0, 3,
               {Req(0, 0, 4, 6)}, 0x0000, 0x0306},
        PtzRow{"Scc641On10", PTZ_TYPE_SCC641, 3, 2, true, 1, 0, 3, {Req(0, 0, 4, 5)}, 0x0000,
               0x0305},
        PtzRow{"PelcoDUnknownVersion", PTZ_TYPE_PELCO_D, 1, 8, true, 3, 0, 1,
               {Req(2, 1, 2, 5)}, 0x0102, 0x0105},
        PtzRow{"UserDefineOn10Repeats", PTZ_TYPE_USER_DEFINE, 4, 9, true, 1, 0, 4,
               {Req(2, 0, 5, 3), Req(2, 0, 5, 4)}, 0x0002, 0x0404},
        PtzRow{"UserDefineOn12", PTZ_TYPE_USER_DEFINE, 4, 10, true, 2, 0, 4,
               {Req(3, 1, 5, 4)}, 0x0103, 0x0404},
        PtzRow{"UserDefineUnknownVersion", PTZ_TYPE_USER_DEFINE, 4, 11, true, 3, 0, 4,
               {Req(3, 0, 5, 0)}, 0x0003, 0x0400},
        PtzRow{"Drx502aUnknownVersion", PTZ_TYPE_DRX502A, 1, 0, true, 3, 0, 1,
               {Req(1, 0, 2, 1)}, 0x0001, 0x0101},
        PtzRow{"Aecd2000UnknownVersion", PTZ_TYPE_AECD2000, 1, 0, true, 3, 0, 1,
               {Req(1, 0, 2, 2)}, 0x0001, 0x0102},
        // The odd ring actions move both neighbouring axes.
        PtzRow{"Action3", PTZ_TYPE_PELCO_D, 1, 3, true, 2, 0, 1,
               {Req(1, 1, 2, 4), Req(0, 0, 2, 4)}, 0x0000, 0x0104},
        PtzRow{"Action5", PTZ_TYPE_PELCO_D, 1, 5, true, 2, 0, 1,
               {Req(1, 1, 2, 4), Req(0, 1, 2, 4)}, 0x0100, 0x0104},
        PtzRow{"Action7Released", PTZ_TYPE_PELCO_D, 1, 7, false, 2, 0, 1,
               {Req(1, 2, 2, 4), Req(0, 2, 2, 4)}, 0x0200, 0x0104},
        PtzRow{"Hmc250On10Released", PTZ_TYPE_HMC250, 1, 7, false, 1, 0, 1,
               {Req(1, 2, 2, 3), Req(0, 2, 2, 3), Req(1, 2, 2, 4), Req(0, 2, 2, 4)}, 0x0200,
               0x0104},
        // Action 12 repeats the previous command word, in stop form on release.
        PtzRow{"Action12KeepsPrevious", PTZ_TYPE_PELCO_D, 1, 12, true, 2, 0x0103, 1,
               {Req(3, 1, 2, 4)}, 0x0103, 0x0104},
        PtzRow{"Action12ReleasedStopForm", PTZ_TYPE_PELCO_D, 1, 12, false, 2, 0x0103, 1,
               {Req(3, 2, 2, 4)}, 0x0203, 0x0104},
        PtzRow{"Action12On10Repeats", PTZ_TYPE_HMC250, 2, 12, true, 1, 0x0002, 2,
               {Req(2, 0, 3, 3), Req(2, 0, 3, 4)}, 0x0002, 0x0204},
        PtzRow{"NegativeActionKeepsPrevious", PTZ_TYPE_PELCO_D, 1, -1, true, 2, 0x0001, 1,
               {Req(1, 0, 2, 4)}, 0x0001, 0x0104},
        // Without a view word 2 is the limited panel value + 1; with one, the view's speed + 1.
        PtzRow{"PanelZeroNoView", PTZ_TYPE_USER_DEFINE, 0, 2, true, 2, 0, kNoView,
               {Req(0, 0, 5, 4)}, 0x0000, 0x0404},
        PtzRow{"PanelZeroWithView", PTZ_TYPE_USER_DEFINE, 0, 2, true, 2, 0, 0,
               {Req(0, 0, 1, 4)}, 0x0000, 0x0404},
        PtzRow{"PanelThreeNoView", PTZ_TYPE_PELCO_D, 3, 2, true, 2, 0, kNoView,
               {Req(0, 0, 4, 4)}, 0x0000, 0x0304},
        PtzRow{"PanelNineWithView", PTZ_TYPE_PELCO_D, 9, 2, true, 2, 0, 9,
               {Req(0, 0, 10, 4)}, 0x0000, 0x0404}),
    [](const auto &info) { return std::string(info.param.name); });
// clang-format on

TEST(PtzCoding, RequestPayloadWords)
{
    const PtzRequest r = Req(1, 2, 3, 4);
    const PayloadWords w = r.Payload();
    EXPECT_EQ(w, (PayloadWords{1, 2, 3, 4, 0, 0, 0, 0}));
    EXPECT_EQ(r.CommandInfo(), 0x0201);
}

TEST(PtzCoding, ProtocolCodeTable)
{
    // Rows: PTZ types 0..5; columns: version codes 1, 2, 3 (before the 1.0 repeat).
    const int expected[6][3] = {{3, 4, 0}, {1, 1, 1}, {2, 2, 2}, {3, 3, 3}, {4, 4, 5}, {5, 5, 6}};
    for (int type = 0; type < 6; ++type) {
        for (int version = 1; version <= 3; ++version) {
            EXPECT_EQ(PtzProtocolCode(static_cast<std::uint8_t>(type),
                                      static_cast<std::uint8_t>(version)),
                      expected[type][version - 1])
                << "type " << type << " version " << version;
        }
    }
}

// Every PTZ type x version code x action x pressed/released against the tables as
// they are laid down: the ring and zoom/focus moves, the protocol code per type and
// version, the version-1.0 repeat with code 4 and the word-2 value without a view.
TEST(PtzCoding, EveryTypeVersionActionAndPress)
{
    struct Move {
        int direction, axis;
    };
    const std::vector<Move> actions[PTZ_ACTION_COUNT] = {
        {{0, 1}}, {{0, 1}, {0, 0}}, {{0, 0}}, {{1, 1}, {0, 0}}, {{1, 1}}, {{1, 1}, {1, 0}},
        {{1, 0}}, {{0, 1}, {1, 0}}, {{1, 2}}, {{0, 2}},         {{1, 3}}, {{0, 3}},
    };
    const int codes[6][3] = {{3, 4, 0}, {1, 1, 1}, {2, 2, 2}, {3, 3, 3}, {4, 4, 5}, {5, 5, 6}};

    for (int type = 0; type < 6; ++type)
        for (int version = 1; version <= 3; ++version)
            for (int action = 0; action < PTZ_ACTION_COUNT; ++action)
                for (bool pressed : {true, false})
                    for (int panel : {0, 2, 5}) {
                        const int limited = panel >= 1 && panel <= 4 ? panel : 4;
                        const int code = codes[type][version - 1];
                        const bool repeat = code == 3 && version == 1;
                        std::vector<PtzRequest> expected;
                        for (int pass = 0; pass < (repeat ? 2 : 1); ++pass)
                            for (const Move &m : actions[action])
                                expected.push_back(Req(m.axis, pressed ? m.direction : 2,
                                                       limited + 1, pass == 0 ? code : 4));

                        const PtzCoding c =
                            CodePtz(std::uint8_t(type), std::uint8_t(panel), action, pressed,
                                    std::uint8_t(version), 0x0103, kNoView);
                        const std::string where = "type " + std::to_string(type) + " version " +
                                                  std::to_string(version) + " action " +
                                                  std::to_string(action) +
                                                  (pressed ? " pressed" : " released") + " panel " +
                                                  std::to_string(panel);
                        ASSERT_EQ(c.requests, expected) << where;
                        // The word left for a following action 12 is the last one sent.
                        EXPECT_EQ(c.wPtzCommandInfo, expected.back().CommandInfo()) << where;
                        EXPECT_EQ(c.wProtocolWord, limited << 8 | (repeat ? 4 : code)) << where;
                    }
}
