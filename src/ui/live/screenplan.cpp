#include "ui/live/screenplan.h"

#include "ui/live/viewlayout.h"

#include <utility>

namespace screenplan {

namespace {

bool IsConfigured(const Recorders &recorders, int r)
{
    return r >= 0 && r < MAX_RECORDERS && recorders[std::size_t(r)].bConfigured;
}

int ChannelCount(const Recorders &recorders, int r)
{
    const int n = recorders[std::size_t(r)].nChannels;
    return n < 0 ? 0 : n > CHANNELS_PER_RECORDER ? CHANNELS_PER_RECORDER : n;
}

void Place(Plan &plan, const QRect &rect, GlobalChannel channel)
{
    plan.tiles.push_back({rect, channel});
    if (!channel.IsValid())
        return;
    plan.channelTile[std::size_t(channel.Index())] = rect;
    plan.onScreen[std::size_t(channel.Index())] = true;
}

} // namespace

int ConfiguredCount(const Recorders &recorders)
{
    int n = 0;
    for (const RecorderInfo &r : recorders)
        n += r.bConfigured ? 1 : 0;
    return n;
}

bool IsLayoutOffered(int nTiles, const Recorders &recorders)
{
    return nTiles <= 4 || ConfiguredCount(recorders) > 1;
}

bool IsSelectable(int nGlobal, const Recorders &recorders)
{
    const GlobalChannel ch = GlobalChannel::FromIndex(nGlobal);
    return ch.IsValid() && IsConfigured(recorders, ch.nRecorder);
}

bool IsLatchable(int nGlobal, const Recorders &recorders)
{
    const GlobalChannel ch = GlobalChannel::FromIndex(nGlobal);
    return IsSelectable(nGlobal, recorders) && ch.nChannel < ChannelCount(recorders, ch.nRecorder);
}

Plan Make(const Input &in)
{
    using viewlayout::TileRect;
    Plan plan;
    if (in.placement.IsPlaced(in.nTiles)) {
        const TilePlacement::Order &order = in.placement.OrderOf(in.nTiles);
        const int nGrid = in.nTiles == 4 && in.bSmallTiles ? 16 : in.nTiles;
        for (int i = 0; i < in.nTiles; ++i) {
            const int c = order[std::size_t(i)];
            Place(plan, TileRect(i, nGrid),
                  GlobalChannel::FromIndex(IsLatchable(c, in.recorders) ? c : -1));
        }
    } else if (in.nTiles == 1) {
        const GlobalChannel sel = GlobalChannel::FromIndex(in.nSelected);
        if (sel.IsValid() && IsConfigured(in.recorders, sel.nRecorder)) {
            // The recorder's first channel keeps the whole area as well (not shown,
            // not asked for): the repaint before the selected one's first picture.
            plan.channelTile[std::size_t(GlobalChannel::Of(sel.nRecorder, 0).Index())] =
                TileRect(0, 1);
            Place(plan, TileRect(0, 1), sel);
        } else {
            Place(plan, TileRect(0, 1), GlobalChannel::FromIndex(-1));
        }
    } else if (in.nTiles == 4) {
        const bool bShown = IsConfigured(in.recorders, in.nSelRecorder);
        for (int i = 0; i < 4; ++i)
            Place(plan, TileRect(i, in.bSmallTiles ? 16 : 4),
                  bShown ? GlobalChannel::Of(in.nSelRecorder, i) : GlobalChannel::FromIndex(-1));
    } else {
        int nPos = 0;
        for (int r = 0; r < MAX_RECORDERS; ++r) {
            if (!IsConfigured(in.recorders, r))
                continue;
            for (int c = 0; c < ChannelCount(in.recorders, r) && nPos < in.nTiles; ++c)
                Place(plan, TileRect(nPos++, in.nTiles), GlobalChannel::Of(r, c));
        }
        for (; nPos < in.nTiles; ++nPos)
            Place(plan, TileRect(nPos, in.nTiles), GlobalChannel::FromIndex(-1));
    }
    for (int r = 0; r < MAX_RECORDERS; ++r) {
        int nShown = 0;
        int nOnly = 0;
        for (int c = 0; c < CHANNELS_PER_RECORDER; ++c)
            if (plan.onScreen[std::size_t(GlobalChannel::Of(r, c).Index())]) {
                ++nShown;
                nOnly = c;
            }
        Request &req = plan.requests[std::size_t(r)];
        req.kind = nShown >= 2 ? Request::Kind::All
                   : nShown == 1 ? Request::Kind::One
                                 : Request::Kind::Stop;
        req.nChannel = nShown == 1 ? nOnly : 0;
    }
    return plan;
}

TilePlacement::Order OrderOf(const Plan &plan)
{
    TilePlacement::Order order;
    order.fill(-1);
    for (std::size_t i = 0; i < plan.tiles.size() && i < order.size(); ++i)
        order[i] = int8_t(plan.tiles[i].channel.IsValid() ? plan.tiles[i].channel.Index() : -1);
    return order;
}

TilePlacement::Order WithChannelAt(const Plan &plan, int nPos, GlobalChannel channel)
{
    TilePlacement::Order order = OrderOf(plan);
    if (nPos < 0 || nPos >= int(plan.tiles.size()) || !channel.IsValid())
        return order;
    for (int8_t &c : order)
        if (c == channel.Index())
            c = order[std::size_t(nPos)];
    order[std::size_t(nPos)] = int8_t(channel.Index());
    return order;
}

TilePlacement::Order WithSwapped(const Plan &plan, int nPosA, int nPosB)
{
    TilePlacement::Order order = OrderOf(plan);
    const int n = int(plan.tiles.size());
    if (nPosA >= 0 && nPosA < n && nPosB >= 0 && nPosB < n)
        std::swap(order[std::size_t(nPosA)], order[std::size_t(nPosB)]);
    return order;
}

} // namespace screenplan
