#pragma once
// Baseline JFIF encoding (4:2:0) of bottom-up blue-green-red pictures with
// libjpeg-turbo: the snapshots of the archive window and the recorder simulator's
// pictures. The simulator pads its pictures to at least MIN_PICTURE_BYTES, because
// the client drops a picture that arrives whole in fewer bytes.

#include <QByteArray>

#include <cstdint>

constexpr int MIN_PICTURE_BYTES = 3072;

class CJpegEncoder {
  public:
    explicit CJpegEncoder(int quality);
    ~CJpegEncoder();
    CJpegEncoder(const CJpegEncoder &) = delete;
    CJpegEncoder &operator=(const CJpegEncoder &) = delete;

    // Encodes 4:2:0 baseline JFIF at the encoder's quality; empty on failure (no
    // encoder, sizes out of range).
    QByteArray Encode(const std::uint8_t *bottomUpBgr, int width, int height, int stride);

    // Pads a JFIF stream to at least minBytes with a comment segment placed right
    // behind the APP0 segment, so the stream still starts FF D8 FF E0 00.
    static QByteArray PadTo(const QByteArray &jpeg, int minBytes);

  private:
    void *m_handle = nullptr;
    int m_quality;
};
