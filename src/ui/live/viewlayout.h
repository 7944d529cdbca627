#pragma once
// Fixed pixel layout of the main view: one table of control positions, sizes and
// skin bitmap ids, in the order the controls are listed in the layout of the
// form. The PTZ pad is placed by its own panel.

#include <QRect>
#include <array>

namespace viewlayout {

constexpr int kViewWidth = 877;
constexpr int kViewHeight = 685;

// Picture area (right and bottom exclusive).
constexpr QRect kPictureRect(62, 22, 640, 480);

// Small logo, drawn only when "./logo/slogo.bmp" could be loaded.
constexpr QRect kLogoRect(705, 15, 85, 55);

// Double-clicks in this rectangle open the About box.
constexpr QRect kAboutHotRect(30, 570, 160, 110);

enum class ControlKind { Push, Latching, Indicator };

enum ControlId {
    CTRL_EXIT,
    CTRL_SETTING,
    CTRL_ARCHIVE,
    CTRL_ROTATE,
    CTRL_RECEIVE_LAMP,
    CTRL_CONNECT,
    CTRL_DISCONNECT,
    CTRL_SCREEN_MODE_1,                      // ... 7 screen-mode buttons
    CTRL_CHANNEL_1 = CTRL_SCREEN_MODE_1 + 7, // ... 16 channel buttons
    CTRL_COUNT = CTRL_CHANNEL_1 + 16
};

struct ControlPlace {
    ControlId id;
    int x, y, w, h;
    unsigned normalBitmap; // released / up / off
    unsigned activeBitmap; // latched / down / on
    ControlKind kind;
};

// The whole table, row for row (screen-mode and channel rows expanded).
const std::array<ControlPlace, CTRL_COUNT> &Controls();
const ControlPlace &Control(ControlId id);

inline QRect ControlRect(ControlId id)
{
    const ControlPlace &c = Control(id);
    return QRect(c.x, c.y, c.w, c.h);
}

// Screen-mode words of the seven screen-mode buttons, left to right.
constexpr std::array<unsigned short, 7> kScreenModeWords = {0x0100, 0x0401, 0x0702, 0x0903,
                                                            0x0A04, 0x0D05, 0x1006};

// Tile of channel position i (0..15) for the given tile count (1, 4 or 16): the
// cell of a 1 x 1, 2 x 2 or 4 x 4 grid over the picture area, shrunk by one pixel on
// every side. Positions outside the grid get an empty rectangle.
QRect TileRect(int position, int tileCount);

// The frame of a tile: the rectangle one pixel larger on every side.
inline QRect TileFrameRect(const QRect &tile)
{
    return tile.adjusted(-1, -1, 1, 1);
}

} // namespace viewlayout

// Source rectangle of a live picture in top-down picture coordinates.
// m = 6 for 240-row fields and 10 otherwise; the rectangle starts at (m, m + 2)
// and is W - m - 18 wide and H - (m + 2) - 1 high. A width flag of 0 widens it by
// 2; a field flag of 0 starts it one row lower so both fields land on the same
// screen lines. The result is clipped to the picture (empty if nothing is left).
QRect LiveCropRect(int width, int height, bool fieldFlag, bool widthFlag);
