#pragma once
// Baseline JPEG encoding of bottom-up blue-green-red pictures with libjpeg-turbo.
// Every picture is at least MIN_PICTURE_BYTES long (a comment segment pads smaller
// ones), because the client drops a picture that arrives whole in fewer bytes.

#include <QByteArray>

#include <cstdint>

namespace sim {

constexpr int MIN_PICTURE_BYTES = 3072;

class JpegEncoder {
  public:
    explicit JpegEncoder(int quality);
    ~JpegEncoder();
    JpegEncoder(const JpegEncoder &) = delete;
    JpegEncoder &operator=(const JpegEncoder &) = delete;

    // Encodes 4:2:0 baseline JFIF; empty on failure.
    QByteArray Encode(const std::uint8_t *bottomUpBgr, int width, int height, int stride);

    // Pads a JFIF stream to at least minBytes with a comment segment placed right
    // behind the APP0 segment, so the stream still starts FF D8 FF E0 00.
    static QByteArray PadTo(const QByteArray &jpeg, int minBytes);

  private:
    void *m_handle = nullptr;
    int m_quality;
};

} // namespace sim
