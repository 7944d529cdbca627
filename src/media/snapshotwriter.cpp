#include "media/snapshotwriter.h"

#include "imaging/jpegencoder.h"
#include "media/mediafiles.h"
#include "settings/globalchannel.h"

#include <QDir>
#include <QFile>
#include <QPainter>

#include <vector>

namespace {

struct Caption {
    int nChannel; // 1-4
    QRect rect;
};

// Rectangles as (left, top)-(right, bottom) of the copy.
QRect Box(int l, int t, int r, int b)
{
    return QRect(QPoint(l, t), QPoint(r - 1, b - 1));
}

} // namespace

QString ChannelCaption(int nChannel, int nRecorder, const QString &szTime)
{
    return GlobalChannel::Of(nRecorder, nChannel - 1).Caption(szTime);
}

void DrawSnapshotCaptions(QImage &area, uint8_t byChannel, const QString &szTime, int nRecorder)
{
    const std::vector<Caption> captions =
        byChannel == QUAD_CHANNEL ? std::vector<Caption>{{1, Box(5, 220, 300, 240)},
                                                         {2, Box(325, 220, 600, 240)},
                                                         {3, Box(5, 460, 300, 480)},
                                                         {4, Box(325, 460, 600, 480)}}
                                  : std::vector<Caption>{{byChannel + 1, Box(240, 460, 600, 480)}};
    QPainter painter(&area);
    painter.setPen(QColor(255, 0, 0));
    painter.setBackgroundMode(Qt::TransparentMode);
    for (const Caption &c : captions)
        painter.drawText(c.rect, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                         ChannelCaption(c.nChannel, nRecorder, szTime));
}

QString SnapshotFileName(const QString &szRecordPath, uint8_t byChannel, const QString &szTime,
                         uint32_t nTickMs, int nRecorder)
{
    const QString szKind = byChannel == QUAD_CHANNEL
                               ? GlobalChannel::RecorderFileKind(nRecorder)
                               : GlobalChannel::Of(nRecorder, byChannel).FileKind();
    const QString szName = QStringLiteral("%1_%2_%3.jpg")
                               .arg(szKind)
                               .arg(szTime)
                               .arg(nTickMs % 100000u, 5, 10, QLatin1Char('0'));
    return FileInFolder(szRecordPath, szName);
}

bool WriteJpeg(const QString &szFileName, const uint8_t *pTopDownBgr, int nWidth, int nHeight,
               int nQuality, QString *pszWritten, QString *pszError)
{
    auto fail = [pszError](const QString &why) {
        if (pszError)
            *pszError = why;
        return false;
    };
    if (!pTopDownBgr || nWidth <= 0 || nHeight <= 0)
        return fail(QStringLiteral("no picture"));
    CJpegEncoder encoder(nQuality);
    // The encoder reads bottom-up rows: start at the last row and step backwards.
    const int nStride = nWidth * 3;
    std::vector<uint8_t> bottomUp(size_t(nStride) * size_t(nHeight));
    for (int y = 0; y < nHeight; ++y)
        std::copy_n(pTopDownBgr + size_t(nStride) * size_t(nHeight - 1 - y), nStride,
                    bottomUp.begin() + std::ptrdiff_t(nStride) * y);
    const QByteArray jpeg = encoder.Encode(bottomUp.data(), nWidth, nHeight, nStride);
    if (jpeg.isEmpty())
        return fail(QStringLiteral("encoding failed"));
    QFile file;
    if (!CreateNewFile(file, szFileName))
        return fail(QStringLiteral("cannot create %1: %2").arg(szFileName, file.errorString()));
    const bool bWritten = file.write(jpeg) == jpeg.size() && file.flush();
    file.close();
    if (!bWritten || file.error() != QFileDevice::NoError) {
        const QString why = file.errorString();
        file.remove(); // no broken file stays behind
        return fail(QStringLiteral("cannot write %1: %2").arg(file.fileName(), why));
    }
    if (pszWritten)
        *pszWritten = file.fileName();
    return true;
}

QString SnapshotResult::Notice() const
{
    return QString::fromLatin1(bOk ? NOTICE_SAVE_OK : NOTICE_SAVE_FAILED);
}

SnapshotResult SaveSnapshot(const QImage &area, uint8_t byChannel, const QString &szTime,
                            const QString &szRecordPath, uint32_t nTickMs, int nRecorder)
{
    SnapshotResult result;
    if (area.isNull()) {
        result.szError = QStringLiteral("no picture");
        return result;
    }
    QImage copy = area.convertToFormat(QImage::Format_RGB32);
    DrawSnapshotCaptions(copy, byChannel, szTime, nRecorder);
    const QImage bgr = copy.convertToFormat(QImage::Format_BGR888);
    // Rows of exactly width x 3 bytes, top row first.
    std::vector<uint8_t> pixels(size_t(bgr.width()) * 3 * size_t(bgr.height()));
    for (int y = 0; y < bgr.height(); ++y)
        std::copy_n(bgr.constScanLine(y), bgr.width() * 3,
                    pixels.begin() + std::ptrdiff_t(bgr.width()) * 3 * y);
    result.bOk = WriteJpeg(SnapshotFileName(szRecordPath, byChannel, szTime, nTickMs, nRecorder),
                           pixels.data(), bgr.width(), bgr.height(), SNAPSHOT_QUALITY,
                           &result.szFileName, &result.szError);
    return result;
}

QRect PrintDestination(int nDpiX, int nDpiY, int nPhysicalWidth)
{
    const int nWidth = nPhysicalWidth - 2 * nDpiX - nDpiX / 2;
    if (nWidth <= 0)
        return QRect();
    return QRect(nDpiX, nDpiY, nWidth, nWidth * 3 / 4);
}
