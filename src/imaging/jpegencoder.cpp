#include "imaging/jpegencoder.h"

#include <turbojpeg.h>

#include <algorithm>

CJpegEncoder::CJpegEncoder(int quality) : m_handle(tjInitCompress()), m_quality(quality) {}

CJpegEncoder::~CJpegEncoder()
{
    if (m_handle)
        tjDestroy(static_cast<tjhandle>(m_handle));
}

QByteArray CJpegEncoder::Encode(const std::uint8_t *bottomUpBgr, int width, int height, int stride)
{
    if (!m_handle || !bottomUpBgr || width <= 0 || height <= 0 || stride < width * 3)
        return QByteArray();
    unsigned char *out = nullptr;
    unsigned long size = 0;
    int rc = tjCompress2(static_cast<tjhandle>(m_handle), bottomUpBgr, width, stride, height,
                         TJPF_BGR, &out, &size, TJSAMP_420, m_quality, TJFLAG_BOTTOMUP);
    QByteArray jpeg;
    if (rc == 0 && out)
        jpeg = QByteArray(reinterpret_cast<const char *>(out), int(size));
    tjFree(out);
    return jpeg;
}

QByteArray CJpegEncoder::PadTo(const QByteArray &jpeg, int minBytes)
{
    if (jpeg.size() >= minBytes || jpeg.size() < 6)
        return jpeg;
    const auto *u = reinterpret_cast<const unsigned char *>(jpeg.constData());
    int insertAt = 2;
    if (u[2] == 0xFF && u[3] == 0xE0)
        insertAt = 4 + (u[4] << 8 | u[5]);
    if (insertAt > jpeg.size())
        return jpeg;
    int need = minBytes - jpeg.size();
    int payload = std::max(need - 4, 0);
    QByteArray segment;
    while (payload >= 0) {
        int chunk = std::min(payload, 65533);
        segment.append(char(0xFF)).append(char(0xFE));
        segment.append(char((chunk + 2) >> 8)).append(char((chunk + 2) & 0xFF));
        segment.append(QByteArray(chunk, ' '));
        payload -= chunk + 4;
        if (payload < 0)
            break;
    }
    QByteArray padded = jpeg;
    padded.insert(insertAt, segment);
    return padded;
}
