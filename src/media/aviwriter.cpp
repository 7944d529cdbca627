#include "media/aviwriter.h"

#include "media/mediafiles.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

#ifdef __linux__
#include <fcntl.h>
#endif

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/error.h>
#include <libavutil/mem.h>
}

namespace {
// Write-behind: each stretch of this many bytes is handed to the disk as soon as it
// is written, and the one WRITE_BEHIND_LAG stretches before it is waited for and
// dropped from the page cache. A recording writes 110 MB a second for minutes; left
// to the system, gigabytes of dirty pages pile up until every writer on the machine
// is throttled at once, and the cache loses everything else it held. A short file
// never waits.
constexpr int64_t WRITE_BEHIND_BYTES = 8 << 20;
constexpr int64_t WRITE_BEHIND_LAG = 8;
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
    int64_t nPos = 0;
    int nWidth = 0;
    int nHeight = 0;
    int64_t nByteLimit = -1;
    // While the index is rebuilt: the bytes below this offset are in the file
    // already and are not written again.
    int64_t nReplayEnd = -1;
    int64_t nFlushed = 0; // start of the stretch not yet handed to the disk

    void WriteBehind()
    {
#ifdef __linux__
        const int fd = file.handle();
        while (fd >= 0 && nPos - nFlushed >= WRITE_BEHIND_BYTES) {
            ::sync_file_range(fd, nFlushed, WRITE_BEHIND_BYTES, SYNC_FILE_RANGE_WRITE);
            if (nFlushed >= WRITE_BEHIND_LAG * WRITE_BEHIND_BYTES) {
                const int64_t nOld = nFlushed - WRITE_BEHIND_LAG * WRITE_BEHIND_BYTES;
                ::sync_file_range(fd, nOld, WRITE_BEHIND_BYTES,
                                  SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE |
                                      SYNC_FILE_RANGE_WAIT_AFTER);
                ::posix_fadvise(fd, nOld, WRITE_BEHIND_BYTES, POSIX_FADV_DONTNEED);
            }
            nFlushed += WRITE_BEHIND_BYTES;
        }
#endif
    }

    void FreeMuxer()
    {
        av_packet_free(&pPacket);
        if (pFormat)
            avformat_free_context(pFormat);
        pFormat = nullptr;
        if (pIo) {
            av_freep(&pIo->buffer);
            avio_context_free(&pIo);
        }
        bHeaderWritten = false;
    }
    ~Impl()
    {
        FreeMuxer();
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
    if (p->nReplayEnd >= 0) {
        // The same muxer over the same pictures lays out the same bytes: what it
        // writes below the end of the last good picture is there already.
        if (p->nPos + size > p->nReplayEnd)
            return AVERROR(EIO);
        p->nPos += size;
        return size;
    }
    if (p->nByteLimit >= 0 && p->nPos + size > p->nByteLimit)
        return AVERROR(ENOSPC);
    const qint64 n = p->file.write(reinterpret_cast<const char *>(buf), size);
    if (n != size)
        return AVERROR(EIO);
    p->nPos += size;
    p->WriteBehind();
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
    if (nTarget < 0 || (p->nReplayEnd < 0 && !p->file.seek(nTarget)))
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

bool CAviWriter::Open(const QString &fileName, AviCodec codec)
{
    if (m_p)
        Close();
    m_p = std::make_unique<Impl>();
    m_codec = codec;
    m_nFrames = 0;
    m_written.clear();
    m_szError.clear();
    m_p->nByteLimit = m_nByteLimit;
    m_p->file.setFileName(fileName);
    // Unbuffered: a picture reported written has been handed to the system whole,
    // so a failure can be cut back to the end of the picture before it. Truncate
    // only what has content: on some file systems a truncation makes the close
    // wait for the data to be placed on disk.
    if (!m_p->file.open(QIODevice::ReadWrite | QIODevice::Unbuffered) ||
        (m_p->file.size() > 0 && !m_p->file.resize(0))) {
        m_szError = QStringLiteral("open: %1").arg(m_p->file.errorString());
        m_p.reset();
        return false;
    }
    return StartMuxer();
}

bool CAviWriter::StartMuxer()
{
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

bool CAviWriter::StartStream(int nWidth, int nHeight)
{
    AVStream *pStream = avformat_new_stream(m_p->pFormat, nullptr);
    if (!pStream)
        return Fail("stream", AVERROR(ENOMEM));
    pStream->time_base = AVRational{AVI_TIME_SCALE, AVI_TIME_RATE};
    AVCodecParameters *pPar = pStream->codecpar;
    pPar->codec_type = AVMEDIA_TYPE_VIDEO;
    pPar->bits_per_coded_sample = 24;
    pPar->width = nWidth;
    pPar->height = nHeight;
    m_p->nWidth = nWidth;
    m_p->nHeight = nHeight;
    AVDictionary *pOptions = nullptr;
    if (m_codec == AviCodec::MJPEG) {
        pPar->codec_id = AV_CODEC_ID_MJPEG;
        pPar->codec_tag = MKTAG('M', 'J', 'P', 'G');
        pPar->format = AV_PIX_FMT_YUVJ420P;
    } else {
        pPar->codec_id = AV_CODEC_ID_RAWVIDEO;
        pPar->codec_tag = 0; // uncompressed RGB: handler 0, compression 0
        pPar->format = AV_PIX_FMT_BGR24;
        // Our rows are bottom-up as in a DIB: keep the header's height positive and
        // store the rows as they are.
        av_dict_set(&pOptions, "flipped_raw_rgb", "1", 0);
    }
    int err = avformat_write_header(m_p->pFormat, &pOptions);
    av_dict_free(&pOptions);
    if (err < 0)
        return Fail("header", err);
    m_p->bHeaderWritten = true;
    return true;
}

bool CAviWriter::WritePicture(const uint8_t *pData, int nSize, int64_t nSample)
{
    AVPacket *pPkt = m_p->pPacket;
    av_packet_unref(pPkt);
    pPkt->data = const_cast<uint8_t *>(pData);
    pPkt->size = nSize;
    pPkt->stream_index = 0;
    pPkt->pts = pPkt->dts = nSample;
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

bool CAviWriter::WriteFrame(const CPackedDib &dib, int64_t nSample)
{
    if (m_p && m_codec != AviCodec::RAW)
        return Fail("picture format", AVERROR(EINVAL));
    return Append(dib.Pixels(), int(dib.ImageSize()), dib.Width(), dib.Height(), nSample);
}

bool CAviWriter::WriteJpeg(const QByteArray &jpeg, int nWidth, int nHeight, int64_t nSample)
{
    if (m_p && m_codec != AviCodec::MJPEG)
        return Fail("picture format", AVERROR(EINVAL));
    if (m_p && !m_p->bFailed && jpeg.isEmpty())
        return Fail("encode", AVERROR(EINVAL));
    return Append(reinterpret_cast<const uint8_t *>(jpeg.constData()), int(jpeg.size()), nWidth,
                  nHeight, nSample);
}

bool CAviWriter::Append(const uint8_t *pData, int nSize, int nWidth, int nHeight, int64_t nSample)
{
    if (!m_p || m_p->bFailed)
        return false;
    if (!pData || nSize <= 0)
        return Fail("picture", AVERROR(EINVAL));
    if (!m_written.empty() && nSample <= m_written.back().nSample)
        return Fail("picture order", AVERROR(EINVAL));
    if (!m_p->bHeaderWritten && !StartStream(nWidth, nHeight))
        return false;
    if (nWidth != m_p->nWidth || nHeight != m_p->nHeight)
        return Fail("picture size", AVERROR(EINVAL));
    if (!WritePicture(pData, nSize, nSample))
        return false;
    m_written.push_back(Written{m_p->nPos, nSize, nSample});
    return true;
}

// The index, and the counts in the headers.
bool CAviWriter::Finalise()
{
    if (!m_p->bHeaderWritten)
        return true;
    const int err = av_write_trailer(m_p->pFormat);
    if (err < 0)
        return Fail("index", err);
    avio_flush(m_p->pIo);
    if (m_p->pIo->error < 0)
        return Fail("index", m_p->pIo->error);
    return true;
}

// Cuts the file back to the end of picture nKeep and gives it the index of those
// pictures. The muxer has no way back from a failed write, so a new one is run
// over the same pictures; the bytes it would write are in the file already, and
// only the index goes to the disk.
bool CAviWriter::RebuildIndex(int nKeep)
{
    const int64_t nEnd = m_written[size_t(nKeep - 1)].nEnd;
    m_p->FreeMuxer();
    m_p->bFailed = false;
    if (!m_p->file.resize(nEnd))
        return false;
    m_p->nPos = 0;
    m_p->nReplayEnd = nEnd;
    int nLargest = 0;
    for (int i = 0; i < nKeep; ++i)
        nLargest = std::max(nLargest, m_written[size_t(i)].nSize);
    const std::vector<uint8_t> blank(size_t(nLargest), 0); // never written: the file has them
    m_nFrames = 0;
    bool bOk = StartMuxer() && StartStream(m_p->nWidth, m_p->nHeight);
    while (bOk && m_nFrames < nKeep) {
        const Written &w = m_written[size_t(m_nFrames)];
        bOk = WritePicture(blank.data(), w.nSize, w.nSample);
    }
    bOk = bOk && m_p->nPos == nEnd;
    m_p->nReplayEnd = -1;
    if (!bOk || !m_p->file.seek(nEnd))
        return false;
    return Finalise();
}

bool CAviWriter::Salvage()
{
    const int nWritten = int(m_written.size());
    // Each picture given up frees far more than the index of a whole file needs.
    for (int nKeep = nWritten; nKeep > 0 && nKeep >= nWritten - 2; --nKeep) {
        if (RebuildIndex(nKeep)) {
            m_written.resize(size_t(nKeep));
            return true;
        }
    }
    m_nFrames = 0;
    return false;
}

bool CAviWriter::Close()
{
    if (!m_p)
        return false;
    bool bOk = !m_p->bFailed;
    if (bOk)
        bOk = Finalise();
    if (!bOk) {
        // The file keeps the pictures before the failure, as a valid file.
        if (m_written.empty() || !Salvage())
            m_nFrames = 0;
    }
    m_p->FreeMuxer();
    m_p->file.close();
    if (m_p->file.error() != QFileDevice::NoError && bOk)
        bOk = Fail("close", AVERROR(EIO));
    m_p.reset();
    return bOk;
}

CAviSegmentFile::~CAviSegmentFile()
{
    if (IsOpen()) {
        m_writer.Close();
        QFile::remove(m_szTemp);
    }
}

bool CAviSegmentFile::Begin(const QString &szFolder, AviCodec codec, int64_t nByteLimit)
{
    m_bFailed = false;
    m_codec = codec;
    m_szError.clear();
    // Created as any new file of the user's is, not private like a temporary one.
    QFile file;
    if (!CreateHiddenFile(file, szFolder, QStringLiteral(".recording-"),
                          QStringLiteral(".avi.part"))) {
        m_bFailed = true;
        m_szError = QStringLiteral("create in %1: %2").arg(szFolder, file.errorString());
        return false;
    }
    file.close();
    m_szTemp = file.fileName();
    m_writer.SetByteLimit(nByteLimit);
    if (!m_writer.Open(m_szTemp, codec)) {
        m_bFailed = true;
        m_szError = m_writer.ErrorText();
    }
    return !m_bFailed;
}

bool CAviSegmentFile::Append(const CPackedDib &dib, int64_t nSample, const QByteArray &jpeg)
{
    if (!IsOpen() || m_bFailed)
        return false;
    if (dib.IsNull())
        return true; // a picture that could not be kept leaves no sample
    const bool bOk = m_codec == AviCodec::MJPEG
                         ? m_writer.WriteJpeg(jpeg, dib.Width(), dib.Height(), nSample)
                         : m_writer.WriteFrame(dib, nSample);
    if (!bOk) {
        m_bFailed = true;
        m_szError = m_writer.ErrorText();
    }
    return !m_bFailed;
}

AviSaveResult CAviSegmentFile::Finish(const QString &szFileName)
{
    AviSaveResult result;
    result.bError = m_bFailed;
    if (!IsOpen()) {
        result.szError = m_szError;
        return result;
    }
    if (!m_writer.Close() && !m_bFailed) {
        m_bFailed = result.bError = true;
        m_szError = m_writer.ErrorText();
    }
    result.szError = m_szError;
    const QString szTemp = m_szTemp;
    m_szTemp.clear();
    if (m_writer.FrameCount() == 0) {
        QFile::remove(szTemp);
        return result;
    }
    const QString szName = RenameToFreeName(szTemp, szFileName);
    if (szName.isEmpty()) {
        QFile::remove(szTemp);
        result.bError = true;
        result.szError = QStringLiteral("rename to %1 failed").arg(szFileName);
        return result;
    }
    result.szFileName = szName;
    result.nFrames = m_writer.FrameCount();
    return result;
}
