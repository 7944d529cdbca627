#pragma once
// CJpegImage: the picture decoder and the per-channel picture record.
//
// Decode() takes one JPEG block as the recorder sends it (possibly with one stray
// byte too many or too few at the start and without the end marker), normalises it
// into a reused work buffer, decodes it into bottom-up 24-bit BGR rows padded to
// 4 bytes, and then reads the channel marker and the index (field) pattern from the
// picture's top rows. One TurboJPEG handle is kept per object and the pixel buffer
// is only reallocated when a picture needs more room, so a stream of same-sized
// pictures decodes without allocations of our own.
//
// Pictures drawn smaller than they are may be decoded at a scale M/8 (the library's
// reduced inverse transforms, accurate as the full one): the smallest scale whose
// picture still covers the drawn size in both directions. The markers are then read
// from the top rows decoded at full size first, so the channel, the field flag and
// the rows they come from are those of the full picture. Such a record holds the
// smaller picture with its scale and the full size it stands for.

#include "imaging/bitmapinfo.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

class CJpegImage {
  public:
    static constexpr uint8_t DECODE_FAILED = 255;
    static constexpr uint32_t MAX_PIXELS = 220000; // larger pictures are refused

    static constexpr int FULL_SCALE = 8; // scales are M/8, M = 1..8

    // The size a picture is drawn at; 0 x 0 = not known (decoded at full size).
    struct DrawnSize {
        int nWidth = 0;
        int nHeight = 0;
    };
    // The scale M (of M/8) for a picture of nWidth x nHeight drawn at drawn: the
    // smallest of 1/8, 2/8 and 4/8 whose decoded size (rounded up, as the library
    // does) is at least the drawn size in both directions; FULL_SCALE otherwise.
    static int ScaleFor(int nWidth, int nHeight, DrawnSize drawn);
    // Drawn sizes by channel index: the channel marker's result picks one, or
    // nNoCheckIndex when the check is off.
    struct DrawnSizes {
        std::array<DrawnSize, 16> size{};
        int nNoCheckIndex = 0;
    };

    CJpegImage();
    ~CJpegImage();
    CJpegImage(const CJpegImage &) = delete;
    CJpegImage &operator=(const CJpegImage &) = delete;

    // Returns 255 when the block is not a decodable picture; otherwise the channel
    // 0..3 read from the channel marker, or 0 when bNoCheck is set (the field flag
    // then keeps its previous value).
    uint8_t Decode(const uint8_t *pJpeg, size_t nLength, bool bNoCheck);
    // The same, at the scale its channel's drawn size allows (three-component
    // pictures only; others, and pictures drawn at full size, as above).
    uint8_t Decode(const uint8_t *pJpeg, size_t nLength, bool bNoCheck, const DrawnSizes *pDrawn);

    // When width x height (each taken as 16 bits) is above 0: set the header's
    // format and give the record a pixel buffer of the new image size.
    void SetFormat(int nBitCount, int nWidth, int nHeight);
    // Gives the record a pixel buffer of the header's image size (contents undefined).
    void AllocPixels();
    // 0: the index test reads picture row 2; any other value: row 3.
    void SetFieldRow(uint32_t dwSelector) { m_dwFieldRow = dwSelector; }

    // Copies header, pixels and both flags of another record (the client's
    // "file the decoded picture under its channel" step).
    bool CopyFrom(const CJpegImage &other);
    // Files a decoded picture without copying it: this record takes the decoder's
    // header, pixels and flags, and the decoder keeps this record's old buffer to
    // decode the next picture into. Whoever borrowed this record's old pointer has
    // it replaced by the new picture's, so it stays valid until this record's next
    // picture, as with a copy.
    bool TakeFrom(CJpegImage &decoder);

    // Readers. The pixel pointer stays valid until the next SetFormat/AllocPixels/Decode.
    const BitmapInfo &Info() const { return m_bmi; }
    const BitmapInfoHeader &Header() const { return m_bmi.bmiHeader; }
    BitmapInfoHeader &Header() { return m_bmi.bmiHeader; }
    const uint8_t *Pixels() const { return m_nPixelBytes ? m_pPixels.get() : nullptr; }
    uint8_t *Pixels() { return m_nPixelBytes ? m_pPixels.get() : nullptr; }
    size_t PixelBytes() const { return m_nPixelBytes; } // = header image size, 0 = no buffer
    size_t RowStride() const;                           // image size / height
    uint8_t FieldFlag() const { return m_byFieldFlag; } // 1 = "EVEN IMAGE", 0 = "ODD IMAGE"
    void SetFieldFlag(uint8_t byFlag) { m_byFieldFlag = byFlag; }
    uint8_t WidthFlag() const { return m_byWidthFlag; } // 1 = last JPEG at most 240 wide
    uint32_t FieldRow() const { return m_dwFieldRow; }
    // Scale of the held picture (FULL_SCALE: as sent) and the size it stands for.
    int Scale() const { return m_nScale; }
    int FullWidth() const
    {
        return m_nScale == FULL_SCALE ? m_bmi.bmiHeader.biWidth : m_nFullWidth;
    }
    int FullHeight() const
    {
        return m_nScale == FULL_SCALE ? m_bmi.bmiHeader.biHeight : m_nFullHeight;
    }

    // The normalisation step on its own: copies the block into the work buffer with
    // the start repaired and the end marker present. Returns the normalised length,
    // 0 when the block does not start like a picture.
    size_t Normalise(const uint8_t *pJpeg, size_t nLength);
    const uint8_t *WorkBuffer() const { return m_pJpegBuf.get(); }
    size_t WorkCapacity() const { return m_nJpegBufCapacity; }

  private:
    bool EnsurePixelCapacity(size_t nBytes);
    void ConvertFourChannels(int nColorspace);
    // Channel marker and field flag from the top rows decoded at full size; false
    // when they cannot be decoded.
    bool ReadMarkersFromTop(size_t nJpeg, int nWidth, int nHeight, uint8_t *pChannel,
                            uint8_t *pFieldFlag);

    BitmapInfo m_bmi;
    std::unique_ptr<uint8_t[]> m_pPixels;
    size_t m_nPixelBytes = 0;    // bytes in use (the header's image size)
    size_t m_nPixelCapacity = 0; // bytes allocated
    uint8_t m_byFieldFlag = 0;
    uint8_t m_byWidthFlag = 1;
    std::unique_ptr<uint8_t[]> m_pJpegBuf;
    size_t m_nJpegBufCapacity = 0;
    uint32_t m_dwFieldRow = 0;
    int m_nScale = FULL_SCALE;
    int m_nFullWidth = 0, m_nFullHeight = 0; // before scaling (kept only when scaled)
    std::unique_ptr<uint8_t[]> m_pTopRows;   // the top rows at full size, for the markers
    size_t m_nTopRowsCapacity = 0;
    void *m_hDecoder = nullptr; // tjhandle, created on first use
};
