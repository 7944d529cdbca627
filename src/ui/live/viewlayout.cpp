#include "ui/live/viewlayout.h"

namespace viewlayout {

namespace {

constexpr int kScreenModeY = 598;
constexpr int kScreenModeX[7] = {368, 419, 470, 521, 572, 623, 674};
constexpr unsigned kScreenModeNormal[7] = {165, 167, 169, 171, 173, 175, 177};
constexpr unsigned kScreenModeLatched[7] = {166, 168, 170, 172, 174, 176, 178};

constexpr int kChannelY = 640;
constexpr int kChannelX[16] = {311, 343, 371, 398, 426, 455, 482, 510,
                               538, 566, 594, 622, 650, 678, 706, 735};
constexpr unsigned kChannelNormal[16] = {310, 318, 319, 320, 325, 326, 327, 328,
                                         329, 311, 312, 313, 314, 315, 316, 317};
constexpr unsigned kChannelLatched[16] = {330, 338, 339, 340, 341, 342, 343, 344,
                                          345, 331, 332, 333, 334, 335, 336, 337};

std::array<ControlPlace, CTRL_COUNT> BuildTable()
{
    using K = ControlKind;
    std::array<ControlPlace, CTRL_COUNT> t{};
    // clang-format off
    //   control                        x    y    w   h  normal active behaviour
    t[CTRL_EXIT]         = {CTRL_EXIT,         735,  16, 114, 22, 261, 262, K::Push};
    t[CTRL_SETTING]      = {CTRL_SETTING,      807, 329,  51, 11, 217, 216, K::Push};
    t[CTRL_ARCHIVE]      = {CTRL_ARCHIVE,      807, 345,  51, 11, 217, 216, K::Push};
    t[CTRL_ROTATE]       = {CTRL_ROTATE,       807, 312,  51, 11, 217, 216, K::Latching};
    t[CTRL_RECEIVE_LAMP] = {CTRL_RECEIVE_LAMP, 740, 230,  40, 40, 220, 221, K::Indicator};
    t[CTRL_CONNECT]      = {CTRL_CONNECT,      228, 574,  33, 32, 163, 164, K::Latching};
    t[CTRL_DISCONNECT]   = {CTRL_DISCONNECT,   228, 624,  33, 32, 163, 164, K::Latching};
    for (int i = 0; i < 7; ++i) {
        const auto id = static_cast<ControlId>(CTRL_SCREEN_MODE_1 + i);
        t[id] = {id, kScreenModeX[i], kScreenModeY, 40, 25,
                 kScreenModeNormal[i], kScreenModeLatched[i], K::Latching};
    }
    for (int i = 0; i < 16; ++i) {
        const auto id = static_cast<ControlId>(CTRL_CHANNEL_1 + i);
        const int w = (i == 0 || i == 15) ? 31 : 28;
        t[id] = {id, kChannelX[i], kChannelY, w, 30,
                 kChannelNormal[i], kChannelLatched[i], K::Latching};
    }
    // clang-format on
    return t;
}

} // namespace

const std::array<ControlPlace, CTRL_COUNT> &Controls()
{
    static const std::array<ControlPlace, CTRL_COUNT> table = BuildTable();
    return table;
}

const ControlPlace &Control(ControlId id)
{
    return Controls()[id];
}

QRect TileRect(int position, int tileCount)
{
    const int n = tileCount == 1 ? 1 : (tileCount == 16 ? 4 : 2);
    if (position < 0 || position >= n * n)
        return QRect();
    const int cellW = kPictureRect.width() / n;
    const int cellH = kPictureRect.height() / n;
    const int column = position % n;
    const int row = position / n;
    const int left = kPictureRect.left() + cellW * column + 1;
    const int right = kPictureRect.left() + cellW * (column + 1) - 1; // exclusive
    const int top = kPictureRect.top() + cellH * row + 1;
    const int bottom = kPictureRect.top() + cellH * (row + 1) - 1; // exclusive
    return QRect(left, top, right - left, bottom - top);
}

} // namespace viewlayout

QRect LiveCropRect(int width, int height, bool fieldFlag, bool widthFlag)
{
    const int m = height == 240 ? 6 : 10;
    int x = m;
    int y = m + 2;
    int w = width - m - 18;
    const int h = height - (m + 2) - 1;
    if (!widthFlag)
        w += 2;
    if (!fieldFlag)
        y += 1;
    if (w <= 0 || h <= 0)
        return QRect();
    return QRect(x, y, w, h).intersected(QRect(0, 0, width, height));
}
