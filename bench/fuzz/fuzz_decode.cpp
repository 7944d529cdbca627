// Fuzzes CJpegImage::Decode with one decoder kept across inputs, as the client keeps
// it: the first byte picks noCheck and the field-row selector, the rest is the block.

#include "imaging/cjpegimage.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static CJpegImage decoder;
    static CJpegImage record;
    if (size < 1)
        return 0;
    const uint8_t control = data[0];
    decoder.SetFieldRow(control & 2);
    const uint8_t result = decoder.Decode(data + 1, size - 1, control & 1);
    if (result != CJpegImage::DECODE_FAILED) {
        if (result > 3)
            std::abort();
        const BitmapInfoHeader &h = decoder.Header();
        if (!decoder.Pixels() || h.biWidth < 1 || h.biHeight < 1 ||
            uint64_t(h.biWidth) * uint64_t(h.biHeight) > CJpegImage::MAX_PIXELS ||
            decoder.RowStride() * size_t(h.biHeight) != decoder.PixelBytes())
            std::abort();
        if (decoder.FieldFlag() > 1)
            std::abort();
        if (!record.TakeFrom(decoder)) // the client files the picture under its channel
            std::abort();
    }
    return 0;
}
