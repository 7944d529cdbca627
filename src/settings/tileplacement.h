#pragma once
// TilePlacement: the order the operator gave the tiles of each layout of 4 to 16
// tiles by hand. A layout without one shows its channels in the default order.
//
// Stored under "Setting" as "Tile Placement": one entry per placed layout, separated
// by ";", each "<tiles>:<channel> <channel> ..." with one channel number per tile,
// 1 to 16 as the window names them ("CH n"), 0 for a tile left empty. A channel is
// in a layout once at most. An entry that is not exactly that (an unknown layout, a
// number too many or too few, a number out of range) is left out and its layout
// keeps the default order; a channel given twice keeps its first tile.

#include <QString>

#include <array>
#include <cstdint>

class TilePlacement {
  public:
    static constexpr int kMaxTiles = 16; // four recorders of four channels
    // What each position of a layout shows: a global channel index, -1 for none.
    using Order = std::array<int8_t, kMaxTiles>;

    // The layouts that may be placed by hand.
    static bool IsPlaceable(int nTiles);

    bool IsPlaced(int nTiles) const { return Slot(nTiles) >= 0 && m_abPlaced[Slot(nTiles)]; }
    // The layout's order; meaningful only when it is placed. Positions past the
    // layout's tile count are -1.
    const Order &OrderOf(int nTiles) const;
    // Keeps the order of a placeable layout; a channel given again after its first
    // position is dropped there. Nothing for a layout that cannot be placed.
    void Set(int nTiles, const Order &order);
    // The layout goes back to its default order.
    void Reset(int nTiles);

    QString ToText() const;
    static TilePlacement FromText(const QString &text);

    bool operator==(const TilePlacement &o) const;
    bool operator!=(const TilePlacement &o) const { return !(*this == o); }

  private:
    static constexpr int kLayouts = 6; // 4, 7, 9, 10, 13, 16
    static int Slot(int nTiles);
    std::array<Order, kLayouts> m_aOrder{};
    std::array<bool, kLayouts> m_abPlaced{};
};
