#include "markerglue.h"

#include <algorithm>
#include <cstring>

namespace sim {

namespace {

// Columns of the five 30-pixel windows of the channel marker (a, b, c, d, sel).
constexpr int MARKER_WINDOW[5] = {90, 218, 346, 474, 602};
constexpr int MARKER_WINDOW_WIDTH = 30;

void FillRow(std::uint8_t *bits, int width, int height, int stride, int pictureRow, int x0,
             int x1, std::uint8_t value)
{
    if (pictureRow < 0 || pictureRow >= height)
        return;
    x0 = std::max(x0, 0);
    x1 = std::min(x1, width);
    if (x1 <= x0)
        return;
    std::uint8_t *row = bits + std::size_t(height - 1 - pictureRow) * std::size_t(stride);
    std::memset(row + 3 * x0, value, std::size_t(3 * (x1 - x0)));
}

// Paints columns [x0, x1) of picture rows [r0, r1).
void FillRect(std::uint8_t *bits, int width, int height, int stride, int r0, int r1, int x0,
              int x1, std::uint8_t value)
{
    for (int r = r0; r < r1; ++r)
        FillRow(bits, width, height, stride, r, x0, x1, value);
}

} // namespace

void DrawMarkers(std::uint8_t *bits, int width, int height, int stride, int channelIndex,
                 bool oddField, int fieldRowSelector)
{
    const int band = std::min(MARKER_BAND_ROWS, height);
    FillRect(bits, width, height, stride, 0, band, 0, width, 0);

    // Channel marker: a = b = sel = 0, c and d carry the channel index. The white
    // block of a lit window covers whole 8 x 8 luma blocks around the window.
    const bool lit[5] = {false, false, (channelIndex & 2) != 0, (channelIndex & 1) != 0, false};
    for (int i = 0; i < 5; ++i) {
        if (!lit[i])
            continue;
        int x0 = MARKER_WINDOW[i] / 8 * 8;
        int x1 = (MARKER_WINDOW[i] + MARKER_WINDOW_WIDTH + 7) / 8 * 8;
        FillRect(bits, width, height, stride, 0, 8, x0, x1, 255);
    }

    // Index pattern: black 0-15, white 16-46, black 47-77 on the selected row and its
    // neighbours away from the other candidate row.
    if (oddField) {
        int r0 = fieldRowSelector == 0 ? 0 : 3;
        int r1 = fieldRowSelector == 0 ? 3 : 8;
        FillRect(bits, width, height, stride, r0, r1, 16, 47, 255);
    }
}

} // namespace sim
