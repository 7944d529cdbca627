#include "imaging/cjpegimage.h"

#include "imaging/markers.h"

#include <turbojpeg.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio> // jpeglib.h needs FILE
#include <cstring>
#include <new>

#include <jpeglib.h>

namespace {

const uint8_t JPEG_START[5] = {0xFF, 0xD8, 0xFF, 0xE0, 0x00}; // SOI + APP0 (JFIF)

uint8_t Clamp255(int v)
{
    return uint8_t(v < 0 ? 0 : (v > 255 ? 255 : v));
}

// Decoded size of nSize pixels at scale nScale / 8, rounded up as the library does.
int ScaledSize(int nSize, int nScale)
{
    return int((int64_t(nSize) * nScale + CJpegImage::FULL_SCALE - 1) / CJpegImage::FULL_SCALE);
}

// The library's errors end a decode by a jump back; its warnings are not shown.
struct JumpingErrors {
    jpeg_error_mgr mgr;
    std::jmp_buf jump;
};

void JumpOnError(j_common_ptr pInfo)
{
    std::longjmp(reinterpret_cast<JumpingErrors *>(pInfo->err)->jump, 1);
}

void IgnoreMessage(j_common_ptr, int) {}

// Decodes the top nRows picture rows at full size into BGR rows, stored bottom-up
// (picture row k at stored row nRows - 1 - k) nStride bytes apart, with the same
// settings as tjDecompress2 without flags (accurate integer transform, smooth
// upsampling), so the rows equal those of a full decode. The rest of the picture is
// not decoded.
bool DecodeTopRows(const uint8_t *pJpeg, size_t nLength, int nRows, uint8_t *pOut, size_t nStride)
{
    jpeg_decompress_struct info;
    JumpingErrors errors;
    info.err = jpeg_std_error(&errors.mgr);
    errors.mgr.error_exit = JumpOnError;
    errors.mgr.emit_message = IgnoreMessage;
    if (setjmp(errors.jump)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, pJpeg, static_cast<unsigned long>(nLength));
    jpeg_read_header(&info, TRUE);
    // A progressive picture is decoded whole before its first row comes out, without
    // the limit on scans of the full decode: such pictures are not scaled.
    if (jpeg_has_multiple_scans(&info)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    info.out_color_space = JCS_EXT_BGR;
    jpeg_start_decompress(&info);
    if (info.output_components != 3 || int(info.output_height) < nRows) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    while (int(info.output_scanline) < nRows) {
        JSAMPROW row = pOut + size_t(nRows - 1 - int(info.output_scanline)) * nStride;
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_destroy_decompress(&info); // also abandons the rest of the picture
    return true;
}

} // namespace

CJpegImage::CJpegImage()
{
    BitmapInfoHeader &h = m_bmi.bmiHeader;
    h.biSize = BITMAP_INFO_HEADER_SIZE;
    h.biWidth = 320;
    h.biHeight = 240;
    h.biPlanes = 1;
    h.biBitCount = 24;
}

CJpegImage::~CJpegImage()
{
    if (m_hDecoder)
        tjDestroy(static_cast<tjhandle>(m_hDecoder));
}

int CJpegImage::ScaleFor(int nWidth, int nHeight, DrawnSize drawn)
{
    // Below 8 pixels two scales can give the same size; such pictures stay whole.
    if (drawn.nWidth <= 0 || drawn.nHeight <= 0 || nWidth < FULL_SCALE || nHeight < FULL_SCALE)
        return FULL_SCALE;
    // Only the halvings are cheaper than the whole picture: the library's 3/8 costs
    // about as much, and 5/8 to 7/8 up to twice as much (measured on 704 x 240 and
    // 720 x 288 pictures, docs/architecture.md). A tile that 3/8 covers gets 4/8.
    for (int nScale = 1; nScale < FULL_SCALE; nScale *= 2)
        if (ScaledSize(nWidth, nScale) >= drawn.nWidth &&
            ScaledSize(nHeight, nScale) >= drawn.nHeight)
            return nScale;
    return FULL_SCALE;
}

size_t CJpegImage::RowStride() const
{
    const BitmapInfoHeader &h = m_bmi.bmiHeader;
    return h.biHeight > 0 ? h.biSizeImage / uint32_t(h.biHeight) : 0;
}

bool CJpegImage::EnsurePixelCapacity(size_t nBytes)
{
    if (nBytes == 0) {
        m_nPixelBytes = 0;
        return true;
    }
    if (nBytes > m_nPixelCapacity) {
        m_pPixels.reset();
        m_nPixelCapacity = 0;
        m_nPixelBytes = 0;
        uint8_t *p = new (std::nothrow) uint8_t[nBytes];
        if (!p)
            return false;
        m_pPixels.reset(p);
        m_nPixelCapacity = nBytes;
    }
    m_nPixelBytes = nBytes;
    return true;
}

void CJpegImage::SetFormat(int nBitCount, int nWidth, int nHeight)
{
    const uint32_t width = uint16_t(nWidth);
    const uint32_t height = uint16_t(nHeight);
    if (width * height == 0)
        return;
    // The header holds the image size in 32 bits; a format whose size does not fit
    // would describe rows longer than the buffer.
    const uint64_t imageSize = BitmapRowBytes(width, uint16_t(nBitCount)) * height;
    if (imageSize > UINT32_MAX)
        return;
    BitmapInfoHeader &h = m_bmi.bmiHeader;
    h.biWidth = int32_t(width);
    h.biHeight = int32_t(height);
    h.biBitCount = uint16_t(nBitCount);
    h.biSizeImage = uint32_t(imageSize);
    h.biCompression = BITMAP_BI_RGB;
    AllocPixels();
}

void CJpegImage::AllocPixels()
{
    if (!EnsurePixelCapacity(m_bmi.bmiHeader.biSizeImage))
        m_nPixelBytes = 0;
}

bool CJpegImage::CopyFrom(const CJpegImage &other)
{
    if (&other == this)
        return true;
    if (!other.Pixels())
        return false;
    m_bmi = other.m_bmi;
    AllocPixels();
    if (!Pixels() || m_nPixelBytes != other.m_nPixelBytes)
        return false;
    std::memcpy(m_pPixels.get(), other.m_pPixels.get(), m_nPixelBytes);
    m_byFieldFlag = other.m_byFieldFlag;
    m_byWidthFlag = other.m_byWidthFlag;
    m_nScale = other.m_nScale;
    m_nFullWidth = other.m_nFullWidth;
    m_nFullHeight = other.m_nFullHeight;
    return true;
}

bool CJpegImage::TakeFrom(CJpegImage &decoder)
{
    if (&decoder == this)
        return true;
    if (!decoder.Pixels())
        return false;
    m_bmi = decoder.m_bmi;
    std::swap(m_pPixels, decoder.m_pPixels);
    std::swap(m_nPixelCapacity, decoder.m_nPixelCapacity);
    std::swap(m_nPixelBytes, decoder.m_nPixelBytes);
    m_byFieldFlag = decoder.m_byFieldFlag;
    m_byWidthFlag = decoder.m_byWidthFlag;
    m_nScale = decoder.m_nScale;
    m_nFullWidth = decoder.m_nFullWidth;
    m_nFullHeight = decoder.m_nFullHeight;
    // The decoder's header no longer describes its buffer: its next Decode sets both.
    decoder.m_nPixelBytes = 0;
    return true;
}

size_t CJpegImage::Normalise(const uint8_t *pJpeg, size_t nLength)
{
    if (!pJpeg || nLength == 0 || nLength > SIZE_MAX - 4)
        return 0;
    // The work buffer only grows; an equal-sized block reuses it.
    if (m_nJpegBufCapacity < nLength + 4) {
        m_pJpegBuf.reset();
        m_nJpegBufCapacity = 0;
        uint8_t *p = new (std::nothrow) uint8_t[nLength + 4]();
        if (!p)
            return 0;
        m_pJpegBuf.reset(p);
        m_nJpegBufCapacity = nLength + 4;
    }
    uint8_t *out = m_pJpegBuf.get();
    size_t n = 0;
    if (nLength >= 5 && std::memcmp(pJpeg, JPEG_START, 5) == 0) {
        std::memcpy(out, pJpeg, nLength);
        n = nLength;
    } else if (nLength >= 6 && pJpeg[0] == 0xFF && std::memcmp(pJpeg + 1, JPEG_START, 5) == 0) {
        std::memcpy(out, pJpeg + 1, nLength - 1); // one stray FF in front
        n = nLength - 1;
    } else if (nLength >= 4 && std::memcmp(pJpeg, JPEG_START + 1, 4) == 0) {
        out[0] = 0xFF; // the leading FF went missing
        std::memcpy(out + 1, pJpeg, nLength);
        n = nLength + 1;
    } else if (nLength >= 7 && std::memcmp(pJpeg + 2, JPEG_START, 5) == 0) {
        std::memcpy(out, pJpeg + 2, nLength - 2); // two stray bytes in front
        n = nLength - 2;
    } else {
        return 0;
    }
    if (out[n - 2] != 0xFF || out[n - 1] != 0xD9) {
        out[n++] = 0xFF;
        out[n++] = 0xD9;
    }
    return n;
}

// The four-component output holds the raw components (TJPF_CMYK). A plain
// four-component stream is taken as YCbCr plus alpha; an Adobe YCCK stream comes
// out of the library as inverted RGB plus K, K serving as alpha. Either way the
// result is alpha-premultiplied blue-green-red-alpha.
void CJpegImage::ConvertFourChannels(int nColorspace)
{
    const BitmapInfoHeader &h = m_bmi.bmiHeader;
    const size_t stride = RowStride();
    for (int y = 0; y < h.biHeight; ++y) {
        uint8_t *p = m_pPixels.get() + size_t(y) * stride;
        for (int x = 0; x < h.biWidth; ++x, p += 4) {
            int r, g, b;
            if (nColorspace == TJCS_YCCK) {
                r = 255 - p[0];
                g = 255 - p[1];
                b = 255 - p[2];
            } else {
                // Fixed-point ITU-R BT.601 with 16 fraction bits, each term rounded to
                // nearest (+0.5, then floor), as the library does for three components.
                const int yy = p[0], cb = p[1] - 128, cr = p[2] - 128;
                r = Clamp255(yy + ((91881 * cr + 32768) >> 16));
                g = Clamp255(yy + ((-22554 * cb - 46802 * cr + 32768) >> 16));
                b = Clamp255(yy + ((116130 * cb + 32768) >> 16));
            }
            const int a = p[3];
            p[0] = uint8_t((b * a + 1) >> 8);
            p[1] = uint8_t((g * a + 1) >> 8);
            p[2] = uint8_t((r * a + 1) >> 8);
        }
    }
}

bool CJpegImage::ReadMarkersFromTop(size_t nJpeg, int nWidth, int nHeight, uint8_t *pChannel,
                                    uint8_t *pFieldFlag)
{
    // Rows 0..3 hold both patterns (the index test reads row 2 or 3).
    const int nRows = std::min(nHeight, IndexTestRow(1) + 1);
    const size_t nStride = size_t(BitmapRowBytes(nWidth, 24));
    const size_t nBytes = nStride * size_t(nRows);
    if (m_nTopRowsCapacity < nBytes) {
        m_pTopRows.reset(new (std::nothrow) uint8_t[nBytes]);
        m_nTopRowsCapacity = m_pTopRows ? nBytes : 0;
        if (!m_pTopRows)
            return false;
    }
    if (!DecodeTopRows(m_pJpegBuf.get(), nJpeg, nRows, m_pTopRows.get(), nStride))
        return false;
    PictureRows rows;
    rows.pBits = m_pTopRows.get();
    rows.nBytes = nBytes;
    rows.nWidth = nWidth;
    rows.nHeight = nRows;
    rows.nStride = nStride;
    rows.nRowBytes = size_t(nWidth) * 3;
    *pChannel = CheckChannelMarker(rows);
    *pFieldFlag = CheckIndexMarker(rows, IndexTestRow(m_dwFieldRow)) ? 0 : 1;
    return true;
}

uint8_t CJpegImage::Decode(const uint8_t *pJpeg, size_t nLength, bool bNoCheck)
{
    return Decode(pJpeg, nLength, bNoCheck, nullptr);
}

uint8_t CJpegImage::Decode(const uint8_t *pJpeg, size_t nLength, bool bNoCheck,
                           const DrawnSizes *pDrawn)
{
    const size_t nJpeg = Normalise(pJpeg, nLength);
    if (nJpeg == 0)
        return DECODE_FAILED;
    if (!m_hDecoder)
        m_hDecoder = tjInitDecompress();
    tjhandle handle = static_cast<tjhandle>(m_hDecoder);
    if (!handle)
        return DECODE_FAILED;

    // A failed stream can leave the library's instance in a state where the next
    // good stream fails too, so a failure closes the instance; the next picture opens
    // a fresh one.
    const auto fail = [this]() {
        tjDestroy(static_cast<tjhandle>(m_hDecoder));
        m_hDecoder = nullptr;
        return DECODE_FAILED;
    };
    int width = 0, height = 0, subsamp = 0, colorspace = 0;
    // The header read reports a warning (stray bytes before a marker) as a failure
    // too, with the header complete.
    if (tjDecompressHeader3(handle, m_pJpegBuf.get(), static_cast<unsigned long>(nJpeg), &width,
                            &height, &subsamp, &colorspace) != 0 &&
        tjGetErrorCode(handle) != TJERR_WARNING)
        return fail();
    m_byWidthFlag = width <= 240 ? 1 : 0;
    const int64_t pixels = int64_t(width) * height;
    if (pixels < 1 || pixels > MAX_PIXELS)
        return fail();

    int channels = 3;
    int pixelFormat = TJPF_BGR;
    if (colorspace == TJCS_CMYK || colorspace == TJCS_YCCK) {
        channels = 4;
        pixelFormat = TJPF_CMYK;
    }
    // A picture drawn smaller: its markers first, from the top rows at full size, then
    // the scale its channel's drawn size allows.
    int nScale = FULL_SCALE;
    uint8_t byMarkedChannel = 0;
    uint8_t byFieldFlag = m_byFieldFlag;
    if (pDrawn && channels == 3) {
        const auto scaleOf = [&](int nIndex) {
            return nIndex >= 0 && nIndex < int(pDrawn->size.size())
                       ? ScaleFor(width, height, pDrawn->size[std::size_t(nIndex)])
                       : FULL_SCALE;
        };
        if (bNoCheck) {
            nScale = scaleOf(pDrawn->nNoCheckIndex);
        } else {
            // The top rows are decoded twice only when the marker's channel (0..3)
            // may be drawn smaller.
            bool bSmaller = false;
            for (int nChannel = 0; nChannel < 4; ++nChannel)
                bSmaller = bSmaller || scaleOf(nChannel) < FULL_SCALE;
            if (bSmaller &&
                ReadMarkersFromTop(nJpeg, width, height, &byMarkedChannel, &byFieldFlag))
                nScale = scaleOf(byMarkedChannel);
        }
    }
    const int outWidth = ScaledSize(width, nScale);
    const int outHeight = ScaledSize(height, nScale);
    m_nScale = nScale;
    m_nFullWidth = width;
    m_nFullHeight = height;

    SetFormat(8 * channels, outWidth, outHeight);
    const BitmapInfoHeader &h = m_bmi.bmiHeader;
    const size_t stride = RowStride();
    if (!Pixels() || h.biWidth != outWidth || h.biHeight != outHeight ||
        h.biBitCount != 8 * channels || stride * size_t(outHeight) > m_nPixelBytes)
        return fail();
    // A progressive stream of hundreds of scans would make a picture of allowed size
    // cost many full passes over it on the user-interface thread; such streams are
    // refused (the library's limit is 500 scans). Warnings (stray bytes between
    // markers, a damaged or short scan) do not stop the decode: the picture is shown
    // as the library could make it, only an error refuses it.
    if (tjDecompress2(handle, m_pJpegBuf.get(), static_cast<unsigned long>(nJpeg), m_pPixels.get(),
                      outWidth, int(stride), outHeight, pixelFormat,
                      TJFLAG_BOTTOMUP | TJFLAG_LIMITSCANS) != 0 &&
        tjGetErrorCode(handle) != TJERR_WARNING)
        return fail();
    if (channels == 4)
        ConvertFourChannels(colorspace);

    if (bNoCheck)
        return 0;
    if (nScale != FULL_SCALE) {
        m_byFieldFlag = byFieldFlag;
        return byMarkedChannel;
    }
    const PictureRows rows = PictureRows::FromHeader(h, Pixels(), m_nPixelBytes);
    const uint8_t channel = CheckChannelMarker(rows);
    m_byFieldFlag = CheckIndexMarker(rows, IndexTestRow(m_dwFieldRow)) ? 0 : 1;
    return channel;
}
