#pragma once
// The 40-byte bitmap information header (Windows BITMAPINFOHEADER layout) that
// describes every picture buffer in the program, and its little-endian byte form.

#include <cstddef>
#include <cstdint>

struct BitmapInfoHeader {
    uint32_t biSize = 40;
    int32_t biWidth = 0;
    int32_t biHeight = 0; // positive: rows stored bottom-up
    uint16_t biPlanes = 1;
    uint16_t biBitCount = 0;
    uint32_t biCompression = 0; // 0 = uncompressed RGB
    uint32_t biSizeImage = 0;
    int32_t biXPelsPerMeter = 0;
    int32_t biYPelsPerMeter = 0;
    uint32_t biClrUsed = 0;
    uint32_t biClrImportant = 0;
};
static_assert(sizeof(BitmapInfoHeader) == 40, "bitmap info header must be 40 bytes");

// The header followed by one zeroed 4-byte colour entry, as handed to drawing code.
struct BitmapInfo {
    BitmapInfoHeader bmiHeader;
    uint8_t bmiColors[4] = {0, 0, 0, 0};
};

constexpr uint32_t BITMAP_INFO_HEADER_SIZE = 40;
constexpr uint32_t BITMAP_BI_RGB = 0;

// Bytes of one stored row, padded to a multiple of 4. 0 for a negative width.
uint64_t BitmapRowBytes(int64_t nWidth, uint32_t nBitCount);

// Little-endian serialisation of the 40 bytes.
void StoreInfoHeader(const BitmapInfoHeader &header, uint8_t out[40]);
BitmapInfoHeader LoadInfoHeader(const uint8_t in[40]);
