#pragma once
// The screen plan: what the picture area shows and what each recorder is asked for,
// as a pure function of the layout, the selection and the configured recorders.
// The view and the recorder set only carry it out.
//
//   single (1 tile)   the selected channel fills the area. The first channel of its
//                     recorder keeps the whole area too, so that a repaint before the
//                     selected channel's first picture shows that channel's last one.
//   quad (4 tiles)    the four channels of the selected recorder, 2 x 2 (or the first
//                     cells of the 4 x 4 grid for the small-tile benchmarks).
//   7 to 16 tiles     tile i shows the i-th channel of the configured recorders, in
//                     order, each up to its channel count: recorders left out or with
//                     fewer channels leave no blank tile where a channel could be shown.
//   placed by hand    a layout of 4 to 16 tiles with an order of the operator's shows
//                     that order instead (quad too, whatever recorder is selected); a
//                     channel its recorder cannot show (not configured, past its channel
//                     count) leaves its tile empty.
//
// Each recorder is asked for all its channels when two or more are shown, for one
// channel when exactly one is, and for nothing (a stop) otherwise.

#include "settings/globalchannel.h"
#include "settings/tileplacement.h"

#include <QRect>
#include <QSize>

#include <array>
#include <cstdint>
#include <vector>

namespace screenplan {

struct RecorderInfo {
    bool bConfigured = false;
    int nChannels = CHANNELS_PER_RECORDER; // the channel count of its login
};
using Recorders = std::array<RecorderInfo, MAX_RECORDERS>;

struct Input {
    int nTiles = 4;        // 1, 4, 7, 9, 10, 13 or 16
    int nSelected = 0;     // single: the selected channel (global index)
    int nSelRecorder = 0;  // quad: the recorder whose channels are shown
    Recorders recorders{};
    bool bSmallTiles = false; // quad in the first cells of the 4 x 4 grid
    TilePlacement placement;  // the layouts the operator placed
};

struct Tile {
    QRect rect;
    GlobalChannel channel;
};

struct Request {
    enum class Kind : uint8_t { Stop, One, All };
    Kind kind = Kind::Stop;
    int nChannel = 0; // One: the recorder's channel (0-based)
    // The live request word: 0x0100 for all channels, else the channel.
    uint16_t Word() const { return kind == Kind::All ? 0x0100 : uint16_t(nChannel); }
    bool WantsLive() const { return kind != Kind::Stop; }
    bool operator==(const Request &o) const { return kind == o.kind && nChannel == o.nChannel; }
    bool operator!=(const Request &o) const { return !(*this == o); }
};

struct Plan {
    // The tiles in position order: what each position shows.
    std::vector<Tile> tiles;
    // The tile of each global channel (empty: not drawn); its size is the size the
    // channel's pictures are drawn at.
    std::array<QRect, GlobalChannel::kCount> channelTile{};
    // The channels the positions show (the buttons latched, the stale watch).
    std::array<bool, GlobalChannel::kCount> onScreen{};
    std::array<Request, MAX_RECORDERS> requests{};
};

Plan Make(const Input &in);

// The order of positions a plan shows, and that order with a change by hand: the
// channel put at a position (where it was before, the position's channel goes), or
// two positions swapped.
TilePlacement::Order OrderOf(const Plan &plan);
TilePlacement::Order WithChannelAt(const Plan &plan, int nPos, GlobalChannel channel);
TilePlacement::Order WithSwapped(const Plan &plan, int nPosA, int nPosB);

int ConfiguredCount(const Recorders &recorders);
// The layouts past four tiles need more than one recorder.
bool IsLayoutOffered(int nTiles, const Recorders &recorders);
// A channel button may select its channel: its recorder is configured.
bool IsSelectable(int nGlobal, const Recorders &recorders);
// A channel's button may be shown latched: the recorder has that channel.
bool IsLatchable(int nGlobal, const Recorders &recorders);

} // namespace screenplan
