#pragma once
// BmpFileIo: reads uncompressed BMP files (1, 4, 8 and 24 bits per pixel, bottom-up
// or top-down) into a plain top-down RGB buffer, and writes 24-bit and palette
// files. A self-contained utility: nothing else in the program calls it.
//
// After every operation LastMessage() tells the outcome: "OK", or the reason of the
// failure. A file is never trusted: sizes are checked against the file's length and
// a cap before any buffer is allocated.

#include "imaging/bitmapinfo.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <memory>

class BmpFileIo {
  public:
    // Largest RGB buffer the reader will produce (width x height x 3).
    static constexpr uint64_t MAX_RGB_BYTES = uint64_t(256) << 20;

    // Returns width x height x 3 bytes, R, G, B per pixel, top row first, no row
    // padding; the caller owns them. Null on failure, with width and height 0.
    std::unique_ptr<uint8_t[]> ReadBmpAsRgb(const QString &strFileName, int &nWidth, int &nHeight);

    // pData: the file's pixel rows in file order (first stored row first), B, G, R
    // per pixel, without padding; at least nWidth x 3 x |nHeight| bytes. Width and
    // height must equal those of the info header, which is written as given.
    bool WriteBmp24(const QString &strFileName, const uint8_t *pData, size_t nDataBytes, int nWidth,
                    int nHeight, const BitmapInfoHeader &info);

    // pIndex: one palette index per pixel, nWidth x |nHeight| bytes, rows written in
    // the order given. pPalette: nColours entries of 4 bytes, R, G, B, unused.
    bool WriteBmpIndexed(const QString &strFileName, const uint8_t *pIndex, size_t nIndexBytes,
                         int nWidth, int nHeight, int nBitsPerPixel, int nColours,
                         const uint8_t *pPalette);

    const QString &LastMessage() const { return m_strMessage; }
    // Bytes taken from the file by the last read.
    uint64_t BytesRead() const { return m_nBytesRead; }

  private:
    QString m_strMessage = QStringLiteral("OK");
    uint64_t m_nBytesRead = 0;
};
