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

#include "imaging/bitmapinfo.h"

#include <cstddef>
#include <cstdint>
#include <memory>

class CJpegImage {
  public:
    static constexpr uint8_t DECODE_FAILED = 255;
    static constexpr uint32_t MAX_PIXELS = 220000; // larger pictures are refused

    CJpegImage();
    ~CJpegImage();
    CJpegImage(const CJpegImage &) = delete;
    CJpegImage &operator=(const CJpegImage &) = delete;

    // Returns 255 when the block is not a decodable picture; otherwise the channel
    // 0..3 read from the channel marker, or 0 when bNoCheck is set (the field flag
    // then keeps its previous value).
    uint8_t Decode(const uint8_t *pJpeg, size_t nLength, bool bNoCheck);

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

    // The normalisation step on its own: copies the block into the work buffer with
    // the start repaired and the end marker present. Returns the normalised length,
    // 0 when the block does not start like a picture.
    size_t Normalise(const uint8_t *pJpeg, size_t nLength);
    const uint8_t *WorkBuffer() const { return m_pJpegBuf.get(); }
    size_t WorkCapacity() const { return m_nJpegBufCapacity; }

  private:
    bool EnsurePixelCapacity(size_t nBytes);
    void ConvertFourChannels(int nColorspace);

    BitmapInfo m_bmi;
    std::unique_ptr<uint8_t[]> m_pPixels;
    size_t m_nPixelBytes = 0;    // bytes in use (the header's image size)
    size_t m_nPixelCapacity = 0; // bytes allocated
    uint8_t m_byFieldFlag = 0;
    uint8_t m_byWidthFlag = 1;
    std::unique_ptr<uint8_t[]> m_pJpegBuf;
    size_t m_nJpegBufCapacity = 0;
    uint32_t m_dwFieldRow = 0;
    void *m_hDecoder = nullptr; // tjhandle, created on first use
};
