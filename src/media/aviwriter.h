#pragma once
// AVI files of captured pictures, written with libavformat's AVI muxer: one "vids"
// stream, time base 1/60 (scale 1, rate 60), each picture at the sample its caller
// gives (the sample of its capture time) with empty samples in the gaps, every
// picture a key frame. The stream is either uncompressed 24-bit bottom-up rows
// (rawvideo, bgr24) whose format is the first picture's 40-byte header, or one JFIF
// picture per sample (FourCC "MJPG"). The muxer keeps the index and switches to the
// OpenDML form past 1 GiB, so files of any size stay readable to their end.
//
// CAviWriter writes one open file. When a write fails (a full disk), closing it
// rebuilds the index over the pictures that reached the file, so what was written
// stays a valid file. CAviSegmentFile is what a recording segment uses: it writes
// under a hidden temporary name in the target folder from the first picture on and
// renames the file when the segment ends, never replacing an existing one.

#include "media/packeddib.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

constexpr int AVI_TIME_SCALE = 1;
constexpr int AVI_TIME_RATE = 60;

// The sample of a picture captured nElapsedMs after its file's first one: the
// nearest 1/60 s.
constexpr int64_t AviSampleAt(int64_t nElapsedMs)
{
    return (nElapsedMs * AVI_TIME_RATE + 500) / 1000;
}

enum class AviCodec { RAW, MJPEG };

class CAviWriter {
  public:
    CAviWriter();
    ~CAviWriter(); // an unfinished file is closed as it stands
    CAviWriter(const CAviWriter &) = delete;
    CAviWriter &operator=(const CAviWriter &) = delete;

    // Creates (or truncates) fileName. The stream format comes with the first picture.
    bool Open(const QString &fileName, AviCodec codec = AviCodec::RAW);
    // Appends one picture at sample nSample, which must lie after the last picture's.
    // It must have the first picture's size. The picture's bytes have reached the
    // file when this returns true; after a false the file takes no more pictures.
    bool WriteFrame(const CPackedDib &dib, int64_t nSample);
    // The same for an MJPEG file: one JFIF picture of nWidth x nHeight. An empty
    // one (an encode that failed) is an error.
    bool WriteJpeg(const QByteArray &jpeg, int nWidth, int nHeight, int64_t nSample);
    // Writes the index and closes the file; true when every step succeeded. After a
    // failed write the file is cut back to the pictures written before it and given
    // its index; FrameCount() then tells how many it holds (0: the file is broken or
    // empty). On a disk full to the last byte the index may need the space of the
    // last picture or two, which are then given up.
    bool Close();

    int FrameCount() const { return m_nFrames; }
    const QString &ErrorText() const { return m_szError; }

    // Fault injection for tests: writes fail once nBytes have reached the file, as
    // on a full disk. Negative: no limit.
    void SetByteLimit(int64_t nBytes) { m_nByteLimit = nBytes; }

  private:
    struct Impl;
    bool Fail(const char *what, int err);
    bool StartMuxer();
    bool StartStream(int nWidth, int nHeight);
    bool Append(const uint8_t *pData, int nSize, int nWidth, int nHeight, int64_t nSample);
    bool WritePicture(const uint8_t *pData, int nSize, int64_t nSample);
    bool Finalise();
    bool Salvage();
    bool RebuildIndex(int nKeep);
    static int OnWrite(void *opaque, const uint8_t *buf, int size);
    static int OnWriteMutable(void *opaque, uint8_t *buf, int size);
    static int64_t OnSeek(void *opaque, int64_t offset, int whence);

    struct Written {
        int64_t nEnd = 0; // file offset after the picture
        int nSize = 0;
        int64_t nSample = 0;
    };
    std::unique_ptr<Impl> m_p;
    AviCodec m_codec = AviCodec::RAW;
    int m_nFrames = 0;
    std::vector<Written> m_written; // each picture written
    int64_t m_nByteLimit = -1;
    QString m_szError;
};

struct AviSaveResult {
    QString szFileName;  // the file made, empty when none was
    int nFrames = 0;     // pictures in that file
    bool bError = false; // a write failed (the file, if any, holds the pictures before it)
    QString szError;
};

// One recording segment's file, filled picture by picture as they come. Begin
// creates a hidden temporary file (".recording-XXXXXX.avi.part") in the folder,
// with the user's usual permissions; Finish gives it its name, or the first free
// "_2", "_3" ... form of it. A write error keeps a valid file with the pictures
// written before it, or no file when none was. No pictures: no file. A file never
// finished is removed with the object.
class CAviSegmentFile {
  public:
    CAviSegmentFile() = default;
    ~CAviSegmentFile();
    CAviSegmentFile(const CAviSegmentFile &) = delete;
    CAviSegmentFile &operator=(const CAviSegmentFile &) = delete;

    // nByteLimit: see CAviWriter::SetByteLimit.
    bool Begin(const QString &szFolder, AviCodec codec = AviCodec::RAW, int64_t nByteLimit = -1);
    // A picture at sample nSample: the rows of dib (RAW), or jpeg, the same picture
    // encoded (MJPEG). False once a write has failed: the file takes no more pictures.
    bool Append(const CPackedDib &dib, int64_t nSample, const QByteArray &jpeg = QByteArray());
    AviSaveResult Finish(const QString &szFileName);

    bool IsOpen() const { return !m_szTemp.isEmpty(); }
    bool Failed() const { return m_bFailed; }
    int FrameCount() const { return m_writer.FrameCount(); }
    const QString &ErrorText() const { return m_szError; }

  private:
    CAviWriter m_writer;
    AviCodec m_codec = AviCodec::RAW;
    QString m_szTemp;
    QString m_szError;
    bool m_bFailed = false;
};
