// Fuzzes the channel marker, the index test and the drawing functions with any
// header against a buffer of exactly the input's size, so any read or write outside
// the buffer is caught.
//
// Input: width (2 bytes), height (2), bit count (1), image-size fudge (2), row (1),
// then the pixel bytes.

#include "imaging/markers.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 8)
        return 0;
    BitmapInfoHeader h;
    h.biWidth = int16_t(data[0] | (data[1] << 8)); // negative widths too
    h.biHeight = int16_t(data[2] | (data[3] << 8));
    h.biBitCount = data[4];
    const int fudge = int16_t(data[5] | (data[6] << 8));
    const int row = int8_t(data[7]);
    const size_t nBytes = size - 8;
    // An image size near the buffer's length, sometimes claiming more than is there.
    h.biSizeImage = uint32_t(int64_t(nBytes) + fudge < 0 ? 0 : int64_t(nBytes) + fudge);

    std::unique_ptr<uint8_t[]> bits(new uint8_t[nBytes ? nBytes : 1]);
    if (nBytes)
        std::memcpy(bits.get(), data + 8, nBytes);
    const PictureRows rows = PictureRows::FromHeader(h, nBytes ? bits.get() : nullptr, nBytes);
    if (CheckChannelMarker(rows) > 3)
        std::abort();
    for (int r : {row, 2, 3})
        (void)CheckIndexMarker(rows, r);
    (void)PixelBrightness(rows, row, data[5]);

    // Drawing with the same geometry; the stride may disagree with the width.
    const BgrCanvas canvas{bits.get(), nBytes, h.biWidth, h.biHeight, rows.nStride};
    FillRowSpan(canvas, row, -fudge, fudge, data[4]);
    DrawChannelMarkerRow(canvas, row, data[4] & 3, data[4] & 4);
    DrawIndexPatternRow(canvas, row, data[4] & 8);
    DrawMarkersForJpeg(canvas, data[4] & 3, data[4] & 16, data[4] & 32);
    return 0;
}
