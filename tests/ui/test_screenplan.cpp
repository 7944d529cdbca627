// The screen plan as one table: every layout with one to four recorders, recorders
// with gaps between them and recorders with fewer than four channels. Each row gives
// the channels the tile positions show ("-": an empty tile) and what each recorder
// is asked for (A all channels, S a stop, a digit: that channel alone, 0-based).

#include "ui/live/screenplan.h"
#include "ui/live/viewlayout.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct Row {
    int nTiles;
    int nSelected; // single: the selected channel; quad: the selected recorder
    const char *szRecorders; // per recorder: its channel count, '.' = not configured
    const char *szTiles;
    const char *szRequests;
    bool bOffered;
    const char *szPlaced = ""; // the operator's order, as the settings keep it
};

// clang-format off
const Row kRows[] = {
    // one recorder
    {1, 2, "4...", "3", "2SSS", true},
    {4, 0, "4...", "1 2 3 4", "ASSS", true},
    {7, 0, "4...", "1 2 3 4 - - -", "ASSS", false},
    {9, 0, "4...", "1 2 3 4 - - - - -", "ASSS", false},
    {10, 0, "4...", "1 2 3 4 - - - - - -", "ASSS", false},
    {13, 0, "4...", "1 2 3 4 - - - - - - - - -", "ASSS", false},
    {16, 0, "4...", "1 2 3 4 - - - - - - - - - - - -", "ASSS", false},
    {1, 5, "4...", "-", "SSSS", true}, // a channel of no configured recorder
    // two recorders
    {1, 6, "44..", "7", "S2SS", true},
    {4, 1, "44..", "5 6 7 8", "SASS", true},
    {7, 0, "44..", "1 2 3 4 5 6 7", "AASS", true},
    {9, 0, "44..", "1 2 3 4 5 6 7 8 -", "AASS", true},
    {10, 0, "44..", "1 2 3 4 5 6 7 8 - -", "AASS", true},
    {13, 0, "44..", "1 2 3 4 5 6 7 8 - - - - -", "AASS", true},
    {16, 0, "44..", "1 2 3 4 5 6 7 8 - - - - - - - -", "AASS", true},
    // three recorders
    {1, 9, "444.", "10", "SS1S", true},
    {4, 2, "444.", "9 10 11 12", "SSAS", true},
    {7, 0, "444.", "1 2 3 4 5 6 7", "AASS", true},
    {9, 0, "444.", "1 2 3 4 5 6 7 8 9", "AA0S", true},
    {10, 0, "444.", "1 2 3 4 5 6 7 8 9 10", "AAAS", true},
    {13, 0, "444.", "1 2 3 4 5 6 7 8 9 10 11 12 -", "AAAS", true},
    {16, 0, "444.", "1 2 3 4 5 6 7 8 9 10 11 12 - - - -", "AAAS", true},
    // four recorders
    {1, 15, "4444", "16", "SSS3", true},
    {4, 3, "4444", "13 14 15 16", "SSSA", true},
    {7, 0, "4444", "1 2 3 4 5 6 7", "AASS", true},
    {9, 0, "4444", "1 2 3 4 5 6 7 8 9", "AA0S", true},
    {10, 0, "4444", "1 2 3 4 5 6 7 8 9 10", "AAAS", true},
    {13, 0, "4444", "1 2 3 4 5 6 7 8 9 10 11 12 13", "AAA0", true},
    {16, 0, "4444", "1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16", "AAAA", true},
    // recorders 1 and 3 only: no blank tile where a configured channel could be
    {1, 10, "4.4.", "11", "SS2S", true},
    {4, 2, "4.4.", "9 10 11 12", "SSAS", true},
    {7, 0, "4.4.", "1 2 3 4 9 10 11", "ASAS", true},
    {16, 0, "4.4.", "1 2 3 4 9 10 11 12 - - - - - - - -", "ASAS", true},
    // fewer channels: the wide layouts skip what a recorder does not have; quad
    // keeps the recorder's four tiles
    {4, 0, "2434", "1 2 3 4", "ASSS", true},
    {7, 0, "2434", "1 2 5 6 7 8 9", "AA0S", true},
    {9, 0, "2434", "1 2 5 6 7 8 9 10 11", "AAAS", true},
    {16, 0, "2434", "1 2 5 6 7 8 9 10 11 13 14 15 16 - - -", "AAAA", true},
    {16, 0, "1.1.", "1 9 - - - - - - - - - - - - - -", "0S0S", true},
    // placed by hand: the operator's order, quad whatever recorder is selected; a
    // channel its recorder cannot show leaves an empty tile; another layout's order
    // changes nothing
    {4, 0, "4...", "2 1 4 3", "ASSS", true, "4:2 1 4 3"},
    {4, 0, "44..", "7 2 - 1", "A2SS", true, "4:7 2 0 1"},
    {7, 0, "424.", "- - 1 2 5 6 -", "AASS", true, "7:13 7 1 2 5 6 8"},
    {16, 0, "4444", "9 2 3 4 5 6 7 8 1 10 11 12 13 14 15 16", "AAAA", true,
     "16:9 2 3 4 5 6 7 8 1 10 11 12 13 14 15 16"},
    {9, 0, "4444", "1 2 3 4 5 6 7 8 9", "AA0S", true, "4:4 3 2 1;16:16 15 14 13 12 11 10 9 8 7 6 5 4 3 2 1"},
};
// clang-format on

std::string Tiles(const screenplan::Plan &plan)
{
    std::string out;
    for (const screenplan::Tile &t : plan.tiles)
        out += (out.empty() ? "" : " ") +
               (t.channel.IsValid() ? std::to_string(t.channel.Number()) : std::string("-"));
    return out;
}

std::string Requests(const screenplan::Plan &plan)
{
    std::string out;
    for (const screenplan::Request &r : plan.requests)
        out += r.kind == screenplan::Request::Kind::All   ? 'A'
               : r.kind == screenplan::Request::Kind::One ? char('0' + r.nChannel)
                                                          : 'S';
    return out;
}

TEST(ScreenPlan, TilesAndRequestsOfEveryLayout)
{
    for (const Row &row : kRows) {
        screenplan::Input in;
        in.nTiles = row.nTiles;
        in.nSelected = row.nTiles == 1 ? row.nSelected : 0;
        in.nSelRecorder = row.nTiles == 4 ? row.nSelected : 0;
        for (int r = 0; r < MAX_RECORDERS; ++r) {
            const char c = row.szRecorders[r];
            in.recorders[std::size_t(r)] = {c != '.', c == '.' ? 0 : c - '0'};
        }
        in.placement = TilePlacement::FromText(QString::fromLatin1(row.szPlaced));
        const screenplan::Plan plan = screenplan::Make(in);
        const std::string where = std::to_string(row.nTiles) + " tiles, " + row.szRecorders;
        EXPECT_EQ(Tiles(plan), row.szTiles) << where;
        EXPECT_EQ(Requests(plan), row.szRequests) << where;
        EXPECT_EQ(screenplan::IsLayoutOffered(row.nTiles, in.recorders), row.bOffered) << where;
        // Each position has its layout's rectangle, and a shown channel's tile is its
        // position's: the size its pictures are decoded for.
        for (std::size_t i = 0; i < plan.tiles.size(); ++i) {
            EXPECT_EQ(plan.tiles[i].rect, viewlayout::TileRect(int(i), row.nTiles)) << where;
            if (plan.tiles[i].channel.IsValid())
                EXPECT_EQ(plan.channelTile[std::size_t(plan.tiles[i].channel.Index())],
                          plan.tiles[i].rect)
                    << where;
        }
        // Single: the recorder's first channel keeps the whole area too, unasked.
        const GlobalChannel sel = GlobalChannel::FromIndex(row.nSelected);
        if (row.nTiles == 1 && in.recorders[std::size_t(sel.nRecorder)].bConfigured)
            EXPECT_EQ(plan.channelTile[std::size_t(GlobalChannel::Of(sel.nRecorder, 0).Index())],
                      viewlayout::TileRect(0, 1))
                << where;
    }
}

// A channel put on a tile leaves the tile it was on to that tile's channel (one
// not shown before takes the tile's place); two tiles swap.
TEST(ScreenPlan, ChannelsPlacedAndTilesSwappedByHand)
{
    screenplan::Input in;
    in.nTiles = 7;
    for (auto &r : in.recorders)
        r = {true, 4};
    const screenplan::Plan plan = screenplan::Make(in);
    const auto text = [](const TilePlacement::Order &order) {
        std::string out;
        for (int i = 0; i < 7; ++i)
            out += (i ? " " : "") + std::to_string(order[std::size_t(i)] + 1);
        return out;
    };
    EXPECT_EQ(text(screenplan::WithChannelAt(plan, 1, GlobalChannel::FromIndex(5))), "1 6 3 4 5 2 7");
    EXPECT_EQ(text(screenplan::WithChannelAt(plan, 6, GlobalChannel::FromIndex(11))), "1 2 3 4 5 6 12");
    EXPECT_EQ(text(screenplan::WithChannelAt(plan, 2, GlobalChannel::FromIndex(2))), "1 2 3 4 5 6 7");
    EXPECT_EQ(text(screenplan::WithSwapped(plan, 0, 4)), "5 2 3 4 1 6 7");
    EXPECT_EQ(text(screenplan::WithSwapped(plan, 0, 7)), "1 2 3 4 5 6 7"); // no such tile
}

TEST(ScreenPlan, QuadOfTheSmallTileBenchmarksUsesTheFirstCells)
{
    screenplan::Input in;
    in.recorders[0] = {true, 4};
    in.bSmallTiles = true;
    const screenplan::Plan plan = screenplan::Make(in);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(plan.channelTile[std::size_t(i)], viewlayout::TileRect(i, 16)) << i;
}

} // namespace
