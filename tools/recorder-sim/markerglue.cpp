#include "markerglue.h"

#include "imaging/markers.h"

#include <algorithm>

namespace sim {

namespace {

// Paints columns [x0, x1) of picture rows [r0, r1) with a grey level.
void FillRect(const BgrCanvas &canvas, int r0, int r1, int x0, int x1, std::uint8_t value)
{
    for (int r = r0; r < r1; ++r)
        FillRowSpan(canvas, r, x0, x1, value);
}

} // namespace

void DrawMarkers(std::uint8_t *bits, int width, int height, int stride, int channelIndex,
                 bool oddField, int fieldRowSelector)
{
    BgrCanvas canvas;
    canvas.pBits = bits;
    canvas.nBytes = std::size_t(stride) * std::size_t(height);
    canvas.nWidth = width;
    canvas.nHeight = height;
    canvas.nStride = std::size_t(stride);

    const int band = std::min(MARKER_BAND_ROWS, height);
    FillRect(canvas, 0, band, 0, width, 0);

    // Channel marker: a = b = sel = 0, c and d carry the channel index. The white
    // block of a lit window covers whole 8 x 8 luma blocks around the window, in
    // rows 0..7, so coding leaves row 1 of the window fully bright.
    const bool lit[CHANNEL_WINDOW_COUNT] = {false, false, (channelIndex & 2) != 0,
                                            (channelIndex & 1) != 0, false};
    for (int i = 0; i < CHANNEL_WINDOW_COUNT; ++i) {
        if (!lit[i])
            continue;
        const int x0 = CHANNEL_WINDOW_STARTS[i] / 8 * 8;
        const int x1 = (CHANNEL_WINDOW_STARTS[i] + CHANNEL_WINDOW_WIDTH + 7) / 8 * 8;
        FillRect(canvas, 0, 8, x0, x1, 255);
    }

    // Index pattern (white run over columns 16..46 on black) on the selected row and
    // its neighbours on the side away from the other candidate row, which stays
    // black: a client that reads the wrong row sees every field as the even one.
    if (oddField) {
        const int selected = IndexTestRow(std::uint32_t(fieldRowSelector));
        const int r0 = selected == 2 ? 0 : 3;
        const int r1 = selected == 2 ? 3 : 8;
        FillRect(canvas, r0, r1, INDEX_BLACK_END, INDEX_WHITE_END, 255);
    }
}

} // namespace sim
