#include "imaging/bitmapinfo.h"

namespace {

void Put16(uint8_t *p, uint16_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}

void Put32(uint8_t *p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = uint8_t(v >> (8 * i));
}

uint16_t Get16(const uint8_t *p)
{
    return uint16_t(p[0] | (p[1] << 8));
}

uint32_t Get32(const uint8_t *p)
{
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

} // namespace

uint64_t BitmapRowBytes(int64_t nWidth, uint32_t nBitCount)
{
    if (nWidth <= 0)
        return 0;
    return ((uint64_t(nWidth) * nBitCount + 31) / 32) * 4;
}

void StoreInfoHeader(const BitmapInfoHeader &h, uint8_t out[40])
{
    Put32(out + 0, h.biSize);
    Put32(out + 4, uint32_t(h.biWidth));
    Put32(out + 8, uint32_t(h.biHeight));
    Put16(out + 12, h.biPlanes);
    Put16(out + 14, h.biBitCount);
    Put32(out + 16, h.biCompression);
    Put32(out + 20, h.biSizeImage);
    Put32(out + 24, uint32_t(h.biXPelsPerMeter));
    Put32(out + 28, uint32_t(h.biYPelsPerMeter));
    Put32(out + 32, h.biClrUsed);
    Put32(out + 36, h.biClrImportant);
}

BitmapInfoHeader LoadInfoHeader(const uint8_t in[40])
{
    BitmapInfoHeader h;
    h.biSize = Get32(in + 0);
    h.biWidth = int32_t(Get32(in + 4));
    h.biHeight = int32_t(Get32(in + 8));
    h.biPlanes = Get16(in + 12);
    h.biBitCount = Get16(in + 14);
    h.biCompression = Get32(in + 16);
    h.biSizeImage = Get32(in + 20);
    h.biXPelsPerMeter = int32_t(Get32(in + 24));
    h.biYPelsPerMeter = int32_t(Get32(in + 28));
    h.biClrUsed = Get32(in + 32);
    h.biClrImportant = Get32(in + 36);
    return h;
}
