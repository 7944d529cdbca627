#include "imaging/markers.h"

#include <algorithm>
#include <cstring>

PictureRows PictureRows::FromHeader(const BitmapInfoHeader &header, const uint8_t *pBits,
                                    size_t nBytes)
{
    PictureRows rows;
    rows.pBits = pBits;
    rows.nBytes = pBits ? nBytes : 0;
    rows.nWidth = std::max(header.biWidth, 0);
    rows.nHeight = std::max(header.biHeight, 0);
    rows.nStride = rows.nHeight > 0 ? header.biSizeImage / uint32_t(rows.nHeight) : 0;
    rows.nRowBytes = std::min<size_t>(size_t(rows.nWidth) * header.biBitCount / 8, rows.nStride);
    return rows;
}

int PixelBrightness(const PictureRows &pic, int nRow, int nX)
{
    if (!pic.pBits || nRow < 0 || nRow >= pic.nHeight || nX < 0)
        return -1;
    const size_t offset = size_t(nX) * 3;
    if (offset + 3 > pic.nRowBytes)
        return -1;
    const size_t rowStart = size_t(pic.nHeight - 1 - nRow) * pic.nStride;
    if (rowStart + offset + 3 > pic.nBytes)
        return -1;
    const uint8_t *p = pic.pBits + rowStart + offset;
    return (p[0] + p[1] + p[2]) / 3;
}

namespace {

// Missing pixels count as black (brightness 0).
int Brightness(const PictureRows &pic, int nRow, int nX)
{
    return std::max(PixelBrightness(pic, nRow, nX), 0);
}

int CountBrighter(const PictureRows &pic, int nRow, int nX0, int nX1, int nLimit)
{
    int count = 0;
    for (int x = nX0; x < nX1; ++x)
        if (Brightness(pic, nRow, x) > nLimit)
            ++count;
    return count;
}

int CountDarker(const PictureRows &pic, int nRow, int nX0, int nX1, int nLimit)
{
    int count = 0;
    for (int x = nX0; x < nX1; ++x)
        if (Brightness(pic, nRow, x) < nLimit)
            ++count;
    return count;
}

} // namespace

uint8_t CheckChannelMarker(const PictureRows &pic)
{
    int lit[CHANNEL_WINDOW_COUNT];
    for (int i = 0; i < CHANNEL_WINDOW_COUNT; ++i) {
        const int start = CHANNEL_WINDOW_STARTS[i];
        lit[i] = CountBrighter(pic, CHANNEL_MARKER_ROW, start, start + CHANNEL_WINDOW_WIDTH,
                               CHANNEL_BRIGHT_ABOVE) > CHANNEL_LIT_ABOVE;
    }
    if (lit[4])
        for (int i = 0; i < 4; ++i)
            lit[i] = !lit[i];
    const int sum = 8 * lit[0] + 4 * lit[1] + 2 * lit[2] + lit[3];
    return uint8_t(sum % 4);
}

bool CheckIndexMarker(const PictureRows &pic, int nRow)
{
    if (CountBrighter(pic, nRow, 0, INDEX_BLACK_END, INDEX_BLACK_ABOVE) > INDEX_FAULTS_ALLOWED)
        return false;
    if (CountDarker(pic, nRow, INDEX_BLACK_END, INDEX_WHITE_END, INDEX_WHITE_BELOW) >
        INDEX_FAULTS_ALLOWED)
        return false;
    if (CountBrighter(pic, nRow, INDEX_WHITE_END, INDEX_PATTERN_END, INDEX_BLACK_ABOVE) >
        INDEX_FAULTS_ALLOWED)
        return false;
    return true;
}

size_t BgrStride(int nWidth)
{
    return nWidth > 0 ? (size_t(nWidth) * 3 + 3) & ~size_t(3) : 0;
}

void FillRowSpan(const BgrCanvas &canvas, int nRow, int nX0, int nX1, uint8_t byValue)
{
    if (!canvas.pBits || nRow < 0 || nRow >= canvas.nHeight)
        return;
    nX0 = std::max(nX0, 0);
    nX1 = std::min(nX1, canvas.nWidth);
    if (nX1 <= nX0)
        return;
    const size_t rowStart = size_t(canvas.nHeight - 1 - nRow) * canvas.nStride;
    const size_t begin = rowStart + size_t(nX0) * 3;
    const size_t end = rowStart + size_t(nX1) * 3;
    if (end > canvas.nBytes)
        return;
    std::memset(canvas.pBits + begin, byValue, end - begin);
}

namespace {

// Data windows a, b, c, d as drawn: only c and d carry the channel; with sel lit the
// reader inverts them, so they are drawn inverted.
void ChannelWindowStates(uint8_t byChannel, bool bSel, bool lit[CHANNEL_WINDOW_COUNT])
{
    const bool c = (byChannel >> 1) & 1;
    const bool d = byChannel & 1;
    lit[0] = bSel;
    lit[1] = bSel;
    lit[2] = bSel ? !c : c;
    lit[3] = bSel ? !d : d;
    lit[4] = bSel;
}

constexpr int JPEG_BLOCK = 16;

int BlockFloor(int x)
{
    return x / JPEG_BLOCK * JPEG_BLOCK;
}
int BlockCeil(int x)
{
    return (x + JPEG_BLOCK - 1) / JPEG_BLOCK * JPEG_BLOCK;
}

} // namespace

void DrawChannelMarkerRow(const BgrCanvas &canvas, int nRow, uint8_t byChannel, bool bSel)
{
    bool lit[CHANNEL_WINDOW_COUNT];
    ChannelWindowStates(byChannel, bSel, lit);
    for (int i = 0; i < CHANNEL_WINDOW_COUNT; ++i) {
        const int start = CHANNEL_WINDOW_STARTS[i];
        FillRowSpan(canvas, nRow, start, start + CHANNEL_WINDOW_WIDTH, lit[i] ? 255 : 0);
    }
}

void DrawIndexPatternRow(const BgrCanvas &canvas, int nRow, bool bPresent)
{
    FillRowSpan(canvas, nRow, 0, INDEX_PATTERN_END, 0);
    if (bPresent)
        FillRowSpan(canvas, nRow, INDEX_BLACK_END, INDEX_WHITE_END, 255);
}

void DrawMarkersForJpeg(const BgrCanvas &canvas, uint8_t byChannel, bool bIndexPattern, bool bSel)
{
    bool lit[CHANNEL_WINDOW_COUNT];
    ChannelWindowStates(byChannel, bSel, lit);
    for (int row = 0; row < JPEG_BLOCK; ++row) {
        FillRowSpan(canvas, row, 0, canvas.nWidth, 0);
        for (int i = 0; i < CHANNEL_WINDOW_COUNT; ++i) {
            const int start = CHANNEL_WINDOW_STARTS[i];
            if (lit[i])
                FillRowSpan(canvas, row, BlockFloor(start), BlockCeil(start + CHANNEL_WINDOW_WIDTH),
                            255);
        }
        if (bIndexPattern)
            FillRowSpan(canvas, row, INDEX_BLACK_END, INDEX_WHITE_END, 255);
    }
}
