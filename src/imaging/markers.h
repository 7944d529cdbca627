#pragma once
// The black-and-white patterns the recorder draws into the top rows of every
// picture: the channel marker (picture row 1) tells which camera a picture shows,
// the index pattern (picture row 2 or 3) tells which field of an interlaced frame it
// is. Reading works on a bottom-up picture as CJpegImage holds it; the drawing
// functions put the same patterns into a bottom-up BGR buffer (recorder simulator,
// tests).
//
// Picture row k (counted from the top) is stored row height - 1 - k; the stride is
// image size / height. Brightness of pixel x is the sum of the three bytes at offset
// 3 x of the row divided by 3, whatever the bit count. Columns beyond what the row
// holds (pictures narrower than the patterns) and rows the picture does not have
// count as black: nothing outside the row is read.

#include "imaging/bitmapinfo.h"

#include <cstddef>
#include <cstdint>

// A read-only view of a bottom-up picture.
struct PictureRows {
    const uint8_t *pBits = nullptr;
    size_t nBytes = 0; // length of the buffer at pBits
    int nWidth = 0;
    int nHeight = 0;
    size_t nStride = 0;   // bytes from one stored row to the next
    size_t nRowBytes = 0; // bytes of pixel data in a row (width x bit count / 8)

    static PictureRows FromHeader(const BitmapInfoHeader &header, const uint8_t *pBits,
                                  size_t nBytes);
};

// Pattern geometry and thresholds.
constexpr int CHANNEL_MARKER_ROW = 1;
constexpr int CHANNEL_WINDOW_COUNT = 5; // four data windows, then sel
constexpr int CHANNEL_WINDOW_STARTS[CHANNEL_WINDOW_COUNT] = {90, 218, 346, 474, 602};
constexpr int CHANNEL_WINDOW_WIDTH = 30;
constexpr int CHANNEL_BRIGHT_ABOVE = 200; // a pixel brighter than this is bright
constexpr int CHANNEL_LIT_ABOVE = 25;     // a window with more bright pixels is lit
constexpr int INDEX_BLACK_END = 16;       // columns 0..15 black
constexpr int INDEX_WHITE_END = 47;       // columns 16..46 white
constexpr int INDEX_PATTERN_END = 78;     // columns 47..77 black
constexpr int INDEX_BLACK_ABOVE = 50;     // brighter than this breaks a black run
constexpr int INDEX_WHITE_BELOW = 200;    // darker than this breaks the white run
constexpr int INDEX_FAULTS_ALLOWED = 5;   // more than this many fails the run

// Brightness 0..255 of pixel x in picture row nRow; -1 when the pixel is not in the row.
int PixelBrightness(const PictureRows &picture, int nRow, int nX);

// The channel 0..3 of the channel marker in picture row 1.
uint8_t CheckChannelMarker(const PictureRows &picture);
// Whether the index pattern is present in picture row nRow.
bool CheckIndexMarker(const PictureRows &picture, int nRow);
// The picture row the index test reads for a field-row selector: 2 for 0, else 3.
inline int IndexTestRow(uint32_t dwSelector)
{
    return dwSelector == 0 ? 2 : 3;
}

// A writable bottom-up BGR (3 bytes per pixel) buffer for the drawing functions.
struct BgrCanvas {
    uint8_t *pBits = nullptr;
    size_t nBytes = 0;
    int nWidth = 0;
    int nHeight = 0;
    size_t nStride = 0;
};
// Row size of a 24-bit bottom-up picture: width x 3 padded to a multiple of 4.
size_t BgrStride(int nWidth);

// Sets pixels x0 .. x1-1 of picture row nRow to grey level byValue (clipped to the canvas).
void FillRowSpan(const BgrCanvas &canvas, int nRow, int nX0, int nX1, uint8_t byValue);

// Exact single-row drawing, no margins: the channel marker in row nRow (lit windows
// fully white, dark ones fully black; bSel sets the fifth window and inverts the
// data windows so that the marker still reads byChannel), and the index pattern
// (bPresent) or an all-black run of the same columns (!bPresent) in row nRow.
void DrawChannelMarkerRow(const BgrCanvas &canvas, int nRow, uint8_t byChannel, bool bSel = false);
void DrawIndexPatternRow(const BgrCanvas &canvas, int nRow, bool bPresent);

// Both patterns drawn so that they survive JPEG coding at ordinary qualities and any
// chroma subsampling: the whole top 16 picture rows become a black band, and every
// lit window and the index pattern's white run are painted as solid blocks covering
// whole 16 x 16 coding blocks (the white run's right edge is the one edge that falls
// inside a block; the thresholds tolerate its ringing). Rows 1, 2 and 3 then all read
// the same, whatever the field-row selector.
void DrawMarkersForJpeg(const BgrCanvas &canvas, uint8_t byChannel, bool bIndexPattern,
                        bool bSel = false);
