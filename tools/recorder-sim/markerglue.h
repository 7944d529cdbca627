#pragma once
// Puts the recorder's marker patterns into a picture: the channel marker on picture
// row 1 and the field index pattern on row 2 or 3, drawn into the top 16 rows of a
// bottom-up blue-green-red buffer as an 8-row-aligned black band with white blocks,
// so that the patterns survive JPEG coding (whole luma blocks, neutral chroma).

#include <cstdint>

namespace sim {

// Height of the band at the top of each picture that belongs to the markers.
constexpr int MARKER_BAND_ROWS = 16;

// bits: bottom-up BGR rows of the given stride; channelIndex 0..3; oddField: draw the
// index pattern (field flag 0 on the client), otherwise leave it out (field flag 1);
// fieldRowSelector 0: the pattern lies on picture row 2, other values: row 3 (the
// other of the two rows is kept black so that only the selected row passes).
void DrawMarkers(std::uint8_t *bits, int width, int height, int stride, int channelIndex,
                 bool oddField, int fieldRowSelector);

} // namespace sim
