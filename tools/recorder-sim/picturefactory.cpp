#include "picturefactory.h"

#include "markerglue.h"

#include <QDir>
#include <QFile>

#include <cstring>

namespace sim {

namespace {
constexpr int CACHE_PICTURES = 48;
}

PictureFactory::PictureFactory(int width, int height, int quality, int fieldRowSelector, int scene)
    : m_width(width), m_height(height), m_fieldRow(fieldRowSelector),
      m_renderer(width, height, scene), m_encoder(quality), m_stride((width * 3 + 3) / 4 * 4)
{
    m_bgr.resize(std::size_t(m_stride) * std::size_t(height));
}

QByteArray PictureFactory::Picture(const PictureRequest &r)
{
    const QString key = QStringLiteral("%1|%2|%3|%4|%5|%6|%7|%8|%9")
                            .arg(r.channelIndex)
                            .arg(r.oddField)
                            .arg(r.phaseStep)
                            .arg(r.time.toSecsSinceEpoch())
                            .arg(r.mode)
                            .arg(r.pose.pan, 0, 'f', 0)
                            .arg(r.pose.tilt, 0, 'f', 0)
                            .arg(r.pose.zoom, 0, 'f', 1)
                            .arg(r.pose.focus, 0, 'f', 0);
    auto it = m_cache.constFind(key);
    if (it != m_cache.constEnd()) {
        ++m_hits;
        return it.value();
    }
    QByteArray jpeg = Make(r);
    if (jpeg.isEmpty())
        return jpeg;
    if (m_nToSave > 0) {
        --m_nToSave;
        QFile file(QDir(m_saveFolder)
                       .filePath(QStringLiteral("%1x%2_sim_%3.jpg")
                                     .arg(m_width)
                                     .arg(m_height)
                                     .arg(m_rendered, 3, 10, QLatin1Char('0'))));
        if (file.open(QIODevice::WriteOnly))
            file.write(jpeg);
    }
    m_cache.insert(key, jpeg);
    m_order.append(key);
    while (m_order.size() > CACHE_PICTURES)
        m_cache.remove(m_order.takeFirst());
    return jpeg;
}

bool PictureFactory::UseCameraPictures(const QString &folder)
{
    const QDir dir(folder);
    for (const QString &name : dir.entryList({QStringLiteral("*.jpg")}, QDir::Files, QDir::Name)) {
        const QImage img(dir.filePath(name));
        if (img.width() == m_width && img.height() == m_height)
            m_cameras.push_back(img.convertToFormat(QImage::Format_RGB32));
    }
    return !m_cameras.empty();
}

void PictureFactory::SavePictures(const QString &folder, int nCount)
{
    m_saveFolder = folder;
    m_nToSave = folder.isEmpty() ? 0 : nCount;
}

void DrawPictureCode(std::uint8_t *pBottomUpBgr, int nWidth, int nHeight, int nStride, int nCode)
{
    for (int i = 0; i < PICTURE_CODE_BITS + 2; ++i) {
        const bool bWhite =
            i == 0 || (i <= PICTURE_CODE_BITS && (nCode >> (PICTURE_CODE_BITS - i) & 1));
        const int x0 = 14 + 42 * i;
        for (int y = nHeight - 44; y < nHeight - 20; ++y) {
            if (y < 0 || x0 + 38 > nWidth)
                continue;
            std::uint8_t *p = pBottomUpBgr + std::size_t(nHeight - 1 - y) * std::size_t(nStride);
            std::memset(p + x0 * 3, bWhite ? 255 : 0, 38 * 3);
        }
    }
}

QByteArray PictureFactory::Make(const PictureRequest &r)
{
    SceneFrame frame;
    frame.channelIndex = r.channelIndex;
    frame.phase = double(r.phaseStep) / SCENE_STEPS_PER_SECOND;
    frame.time = r.time;
    frame.mode = r.mode;
    frame.oddField = r.oddField;
    frame.pose = r.pose;
    // A camera picture in turn: each channel starts at another one, one step in two.
    const QImage &img =
        m_cameras.empty()
            ? m_renderer.Render(frame)
            : m_cameras[std::size_t((r.phaseStep / 2 + 3 * r.channelIndex) %
                                    qint64(m_cameras.size()))];

    // RGB32 top-down -> BGR bottom-up, the client's pixel layout.
    for (int y = 0; y < m_height; ++y) {
        const uchar *src = img.constScanLine(y);
        std::uint8_t *dst = m_bgr.data() + std::size_t(m_height - 1 - y) * std::size_t(m_stride);
        for (int x = 0; x < m_width; ++x) {
            dst[0] = src[0];
            dst[1] = src[1];
            dst[2] = src[2];
            dst += 3;
            src += 4;
        }
    }
    DrawMarkers(m_bgr.data(), m_width, m_height, m_stride, r.channelIndex, r.oddField, m_fieldRow);
    if (m_bPictureCode)
        DrawPictureCode(m_bgr.data(), m_width, m_height, m_stride,
                        int(r.phaseStep % PICTURE_CODE_MODULO));
    ++m_rendered;
    return CJpegEncoder::PadTo(m_encoder.Encode(m_bgr.data(), m_width, m_height, m_stride),
                               MIN_PICTURE_BYTES);
}

} // namespace sim
