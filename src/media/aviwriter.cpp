#include "media/aviwriter.h"

#include "media/mediafiles.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/error.h>
#include <libavutil/mem.h>
}

namespace {
// Only the small chunk headers pass through this buffer; pictures are written
// straight through (direct mode), each flushed, so a failure can be told apart
// from the pictures before it.
constexpr int IO_BUFFER_BYTES = 1 << 16;
} // namespace

struct CAviWriter::Impl {
    QFile file;
    AVFormatContext *pFormat = nullptr;
    AVIOContext *pIo = nullptr;
    AVPacket *pPacket = nullptr;
    bool bHeaderWritten = false;
    bool bFailed = false;
    int64_t nWritten = 0; // bytes that reached the file
    int64_t nPos = 0;
    int nWidth = 0;
    int nHeight = 0;
    int64_t nByteLimit = -1;

    ~Impl()
    {
        av_packet_free(&pPacket);
        if (pFormat)
            avformat_free_context(pFormat);
        if (pIo) {
            av_freep(&pIo->buffer);
            avio_context_free(&pIo);
        }
    }
};

CAviWriter::CAviWriter() = default;

CAviWriter::~CAviWriter()
{
    if (m_p)
        Close();
}

int CAviWriter::OnWrite(void *opaque, const uint8_t *buf, int size)
{
    auto *p = static_cast<Impl *>(opaque);
    if (p->nByteLimit >= 0 && p->nPos + size > p->nByteLimit)
        return AVERROR(ENOSPC);
    const qint64 n = p->file.write(reinterpret_cast<const char *>(buf), size);
    if (n != size)
        return AVERROR(EIO);
    p->nPos += size;
    p->nWritten = std::max(p->nWritten, p->nPos);
    return size;
}

// libavformat before 61 declares the buffer of its write callback non-const.
int CAviWriter::OnWriteMutable(void *opaque, uint8_t *buf, int size)
{
    return OnWrite(opaque, buf, size);
}

int64_t CAviWriter::OnSeek(void *opaque, int64_t offset, int whence)
{
    auto *p = static_cast<Impl *>(opaque);
    int64_t nTarget = 0;
    switch (whence & ~AVSEEK_FORCE) {
    case SEEK_SET:
        nTarget = offset;
        break;
    case SEEK_CUR:
        nTarget = p->nPos + offset;
        break;
    case SEEK_END:
        nTarget = p->file.size() + offset;
        break;
    case AVSEEK_SIZE:
        return p->file.size();
    default:
        return AVERROR(EINVAL);
    }
    if (nTarget < 0 || !p->file.seek(nTarget))
        return AVERROR(EIO);
    p->nPos = nTarget;
    return nTarget;
}

bool CAviWriter::Fail(const char *what, int err)
{
    if (m_p)
        m_p->bFailed = true;
    if (m_szError.isEmpty()) {
        char sz[AV_ERROR_MAX_STRING_SIZE] = {0};
        av_strerror(err, sz, sizeof sz);
        m_szError = QStringLiteral("%1: %2").arg(QLatin1String(what), QString::fromLocal8Bit(sz));
    }
    return false;
}

bool CAviWriter::Open(const QString &fileName)
{
    if (m_p)
        Close();
    m_p = std::make_unique<Impl>();
    m_nFrames = 0;
    m_szError.clear();
    m_p->nByteLimit = m_nByteLimit;
    m_p->file.setFileName(fileName);
    // Truncate only what has content: on some file systems a truncation makes the
    // close wait for the data to be placed on disk.
    if (!m_p->file.open(QIODevice::ReadWrite) ||
        (m_p->file.size() > 0 && !m_p->file.resize(0))) {
        m_szError = QStringLiteral("open: %1").arg(m_p->file.errorString());
        m_p.reset();
        return false;
    }
    int err = avformat_alloc_output_context2(&m_p->pFormat, nullptr, "avi", nullptr);
    if (err < 0 || !m_p->pFormat)
        return Fail("muxer", err < 0 ? err : AVERROR_MUXER_NOT_FOUND);
#if LIBAVFORMAT_VERSION_MAJOR >= 61
    auto *pWrite = &CAviWriter::OnWrite;
#else
    auto *pWrite = &CAviWriter::OnWriteMutable;
#endif
    auto *pBuffer = static_cast<unsigned char *>(av_malloc(IO_BUFFER_BYTES));
    m_p->pIo = pBuffer ? avio_alloc_context(pBuffer, IO_BUFFER_BYTES, 1, m_p.get(), nullptr, pWrite,
                                            &CAviWriter::OnSeek)
                       : nullptr;
    m_p->pPacket = av_packet_alloc();
    if (!m_p->pIo || !m_p->pPacket) {
        if (!m_p->pIo)
            av_free(pBuffer);
        return Fail("memory", AVERROR(ENOMEM));
    }
    m_p->pIo->seekable = AVIO_SEEKABLE_NORMAL;
    m_p->pIo->direct = 1; // pictures go to the file without a copy through the buffer
    m_p->pFormat->pb = m_p->pIo;
    m_p->pFormat->flags |= AVFMT_FLAG_CUSTOM_IO;
    return true;
}

bool CAviWriter::StartStream(const CPackedDib &dib)
{
    AVStream *pStream = avformat_new_stream(m_p->pFormat, nullptr);
    if (!pStream)
        return Fail("stream", AVERROR(ENOMEM));
    pStream->time_base = AVRational{AVI_TIME_SCALE, AVI_TIME_RATE};
    AVCodecParameters *pPar = pStream->codecpar;
    pPar->codec_type = AVMEDIA_TYPE_VIDEO;
    pPar->codec_id = AV_CODEC_ID_RAWVIDEO;
    pPar->codec_tag = 0; // uncompressed RGB: handler 0, compression 0
    pPar->format = AV_PIX_FMT_BGR24;
    pPar->bits_per_coded_sample = 24;
    pPar->width = dib.Width();
    pPar->height = dib.Height();
    m_p->nWidth = dib.Width();
    m_p->nHeight = dib.Height();
    // Our rows are bottom-up as in a DIB: keep the header's height positive and
    // store the rows as they are.
    AVDictionary *pOptions = nullptr;
    av_dict_set(&pOptions, "flipped_raw_rgb", "1", 0);
    int err = avformat_write_header(m_p->pFormat, &pOptions);
    av_dict_free(&pOptions);
    if (err < 0)
        return Fail("header", err);
    m_p->bHeaderWritten = true;
    return true;
}

bool CAviWriter::WriteFrame(const CPackedDib &dib)
{
    if (!m_p || m_p->bFailed)
        return false;
    if (dib.IsNull())
        return Fail("picture", AVERROR(EINVAL));
    if (!m_p->bHeaderWritten && !StartStream(dib))
        return false;
    if (dib.Width() != m_p->nWidth || dib.Height() != m_p->nHeight)
        return Fail("picture size", AVERROR(EINVAL));
    AVPacket *pPkt = m_p->pPacket;
    av_packet_unref(pPkt);
    pPkt->data = const_cast<uint8_t *>(dib.Pixels());
    pPkt->size = int(dib.ImageSize());
    pPkt->stream_index = 0;
    pPkt->pts = pPkt->dts = int64_t(AVI_SAMPLES_PER_PICTURE) * m_nFrames;
    pPkt->duration = 1;
    pPkt->flags = AV_PKT_FLAG_KEY;
    int err = av_write_frame(m_p->pFormat, pPkt);
    av_packet_unref(pPkt);
    if (err < 0)
        return Fail("write", err);
    avio_flush(m_p->pIo);
    if (m_p->pIo->error < 0)
        return Fail("write", m_p->pIo->error);
    ++m_nFrames;
    return true;
}

bool CAviWriter::Close()
{
    if (!m_p)
        return false;
    bool bOk = !m_p->bFailed;
    if (m_p->bHeaderWritten) {
        int err = av_write_trailer(m_p->pFormat);
        if (err < 0 && bOk)
            bOk = Fail("index", err);
        avio_flush(m_p->pIo);
        if (m_p->pIo->error < 0 && bOk)
            bOk = Fail("index", m_p->pIo->error);
    }
    if (!m_p->file.flush() && bOk)
        bOk = Fail("flush", AVERROR(EIO));
    m_p->file.close();
    if (m_p->file.error() != QFileDevice::NoError && bOk)
        bOk = Fail("close", AVERROR(EIO));
    m_p.reset();
    return bOk;
}

namespace {

// Writes frames[0, nCount) into a temporary file beside szFileName and renames it
// into place. Returns the pictures that went in before a failure (nCount on success).
int WriteOnce(const QString &szFileName, const std::vector<CPackedDib> &frames, int nCount,
              int64_t nByteLimit, AviSaveResult &result)
{
    const QFileInfo target(szFileName);
    QTemporaryFile temp(target.absolutePath() + QStringLiteral("/.") + target.completeBaseName() +
                        QStringLiteral("-XXXXXX.avi.part"));
    if (!temp.open()) {
        result.szError = QStringLiteral("create: %1").arg(temp.errorString());
        return 0;
    }
    temp.close(); // the writer opens it by name; the object still removes it
    CAviWriter writer;
    writer.SetByteLimit(nByteLimit);
    bool bOk = writer.Open(temp.fileName());
    int nDone = 0;
    for (int i = 0; bOk && i < nCount; ++i) {
        if (frames[size_t(i)].IsNull())
            continue; // a picture that could not be kept leaves no sample
        bOk = writer.WriteFrame(frames[size_t(i)]);
        if (bOk)
            nDone = i + 1;
    }
    bOk = writer.Close() && bOk;
    if (!bOk) {
        result.szError = writer.ErrorText();
        return nDone;
    }
    if (writer.FrameCount() == 0)
        return nCount;
    const QString szName = RenameToFreeName(temp.fileName(), szFileName);
    if (szName.isEmpty()) {
        result.szError = QStringLiteral("rename to %1 failed").arg(szFileName);
        return 0;
    }
    temp.setAutoRemove(false);
    result.szFileName = szName;
    result.nFrames = writer.FrameCount();
    return nCount;
}

} // namespace

AviSaveResult SaveAviFile(const QString &szFileName, const std::vector<CPackedDib> &frames,
                          int64_t nByteLimit)
{
    AviSaveResult result;
    const int nCount = int(frames.size());
    if (nCount == 0)
        return result;
    const int nDone = WriteOnce(szFileName, frames, nCount, nByteLimit, result);
    if (nDone == nCount && result.szError.isEmpty())
        return result;
    result.bError = true;
    // Keep what was written before the failure as a whole file of its own; the
    // broken temporary file is gone by now, which also returns its space.
    if (nDone > 0) {
        AviSaveResult retry;
        if (WriteOnce(szFileName, frames, nDone, -1, retry) == nDone && retry.szError.isEmpty()) {
            result.szFileName = retry.szFileName;
            result.nFrames = retry.nFrames;
        }
    }
    return result;
}
