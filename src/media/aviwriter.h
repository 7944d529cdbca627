#pragma once
// AVI files of captured pictures, written with libavformat's AVI muxer: one "vids"
// stream of uncompressed 24-bit bottom-up rows (rawvideo, bgr24) whose format is the
// first picture's 40-byte header, time base 1/60 (scale 1, rate 60), picture i at
// sample position 10 x i with empty samples in the gaps, every picture a key frame.
// The muxer keeps the index and switches to the OpenDML form past 1 GiB, so files
// of any size stay readable to their end.
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
constexpr int AVI_SAMPLES_PER_PICTURE = 10;

class CAviWriter {
  public:
    CAviWriter();
    ~CAviWriter(); // an unfinished file is closed as it stands
    CAviWriter(const CAviWriter &) = delete;
    CAviWriter &operator=(const CAviWriter &) = delete;

    // Creates (or truncates) fileName. The stream format comes with the first picture.
    bool Open(const QString &fileName);
    // Appends one picture at sample position 10 x (pictures written so far). It must
    // have the first picture's size. The picture's bytes have reached the file when
    // this returns true; after a false the file takes no more pictures.
    bool WriteFrame(const CPackedDib &dib);
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
    bool WritePicture(const uint8_t *pData, int nSize);
    bool Finalise();
    bool Salvage();
    bool RebuildIndex(int nKeep);
    static int OnWrite(void *opaque, const uint8_t *buf, int size);
    static int OnWriteMutable(void *opaque, uint8_t *buf, int size);
    static int64_t OnSeek(void *opaque, int64_t offset, int whence);

    std::unique_ptr<Impl> m_p;
    int m_nFrames = 0;
    std::vector<int64_t> m_frameEnds; // file offset after each picture written
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
    bool Begin(const QString &szFolder, int64_t nByteLimit = -1);
    // False once a write has failed: the file takes no more pictures.
    bool Append(const CPackedDib &dib);
    AviSaveResult Finish(const QString &szFileName);

    bool IsOpen() const { return !m_szTemp.isEmpty(); }
    bool Failed() const { return m_bFailed; }
    int FrameCount() const { return m_writer.FrameCount(); }
    const QString &ErrorText() const { return m_szError; }

  private:
    CAviWriter m_writer;
    QString m_szTemp;
    QString m_szError;
    bool m_bFailed = false;
};

// Writes the pictures into a new file at szFileName (through CAviSegmentFile).
AviSaveResult SaveAviFile(const QString &szFileName, const std::vector<CPackedDib> &frames,
                          int64_t nByteLimit = -1);
