#pragma once
// Test pictures: bottom-up BGR buffers drawn in memory and encoded with TurboJPEG.

#include "imaging/markers.h"

#include <turbojpeg.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

namespace imagingtest {

struct BgrPicture {
    int nWidth = 0;
    int nHeight = 0;
    size_t nStride = 0;
    std::vector<uint8_t> bits;

    BgrPicture(int w, int h, uint8_t fill = 0)
        : nWidth(w), nHeight(h), nStride(BgrStride(w)), bits(BgrStride(w) * size_t(h), fill)
    {
    }
    BgrCanvas Canvas() { return BgrCanvas{bits.data(), bits.size(), nWidth, nHeight, nStride}; }
    uint8_t *Pixel(int row, int x)
    {
        return bits.data() + size_t(nHeight - 1 - row) * nStride + 3 * size_t(x);
    }
    void SetPixel(int row, int x, uint8_t b, uint8_t g, uint8_t r)
    {
        uint8_t *p = Pixel(row, x);
        p[0] = b;
        p[1] = g;
        p[2] = r;
    }
    // Something photo-like below the marker band: smooth gradients plus noise in colour.
    void FillScene(unsigned seed)
    {
        std::mt19937 rng(seed);
        std::uniform_int_distribution<int> noise(-20, 20);
        for (int row = 0; row < nHeight; ++row)
            for (int x = 0; x < nWidth; ++x) {
                const int base = (x * 255 / std::max(nWidth, 1) + row) & 0xFF;
                SetPixel(row, x, uint8_t(std::clamp(base + noise(rng), 0, 255)),
                         uint8_t(std::clamp(255 - base + noise(rng), 0, 255)),
                         uint8_t(std::clamp((row * 3) % 256 + noise(rng), 0, 255)));
            }
    }
};

// Encodes a bottom-up BGR picture; subsamp TJSAMP_GRAY gives a one-component JPEG.
inline std::vector<uint8_t> Encode(const BgrPicture &pic, int subsamp = TJSAMP_420,
                                   int quality = 80)
{
    tjhandle h = tjInitCompress();
    unsigned char *out = nullptr;
    unsigned long size = 0;
    std::vector<uint8_t> result;
    if (tjCompress2(h, pic.bits.data(), pic.nWidth, int(pic.nStride), pic.nHeight, TJPF_BGR, &out,
                    &size, subsamp, quality, TJFLAG_BOTTOMUP) == 0)
        result.assign(out, out + size);
    tjFree(out);
    tjDestroy(h);
    return result;
}

// Encodes packed 4-byte pixels (C, M, Y, K) top-down; TurboJPEG stores them as YCCK.
inline std::vector<uint8_t> EncodeCmyk(const std::vector<uint8_t> &cmyk, int w, int h)
{
    tjhandle hc = tjInitCompress();
    unsigned char *out = nullptr;
    unsigned long size = 0;
    std::vector<uint8_t> result;
    if (tjCompress2(hc, cmyk.data(), w, w * 4, h, TJPF_CMYK, &out, &size, TJSAMP_444, 95, 0) == 0)
        result.assign(out, out + size);
    tjFree(out);
    tjDestroy(hc);
    return result;
}

// A plain picture of the given size with markers drawn to survive coding.
inline std::vector<uint8_t> MarkedJpeg(int w, int h, uint8_t channel, bool index, bool sel = false,
                                       int subsamp = TJSAMP_420, int quality = 80)
{
    BgrPicture pic(w, h);
    pic.FillScene(unsigned(w * 31 + h + channel));
    DrawMarkersForJpeg(pic.Canvas(), channel, index, sel);
    return Encode(pic, subsamp, quality);
}

} // namespace imagingtest
