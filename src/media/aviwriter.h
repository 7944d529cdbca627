#pragma once
// AVI files of captured pictures, written with libavformat's AVI muxer: one "vids"
// stream of uncompressed 24-bit bottom-up rows (rawvideo, bgr24) whose format is the
// first picture's 40-byte header, time base 1/60 (scale 1, rate 60), picture i at
// sample position 10 x i with empty samples in the gaps, every picture a key frame.
// The muxer keeps the index and switches to the OpenDML form past 1 GiB, so files
// of any size stay readable to their end.
//
// CAviWriter writes one open file; SaveAviFile() is what a recording segment uses:
// it writes under a temporary name in the target folder and renames the file when
// it is complete, never replacing an existing one.

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
    // Writes the index and closes the file; true when every step succeeded.
    bool Close();

    int FrameCount() const { return m_nFrames; }
    const QString &ErrorText() const { return m_szError; }

    // Fault injection for tests: writes fail once nBytes have reached the file, as
    // on a full disk. Negative: no limit.
    void SetByteLimit(int64_t nBytes) { m_nByteLimit = nBytes; }

  private:
    struct Impl;
    bool Fail(const char *what, int err);
    bool StartStream(const CPackedDib &dib);
    static int OnWrite(void *opaque, const uint8_t *buf, int size);
    static int OnWriteMutable(void *opaque, uint8_t *buf, int size);
    static int64_t OnSeek(void *opaque, int64_t offset, int whence);

    std::unique_ptr<Impl> m_p;
    int m_nFrames = 0;
    int64_t m_nByteLimit = -1;
    QString m_szError;
};

struct AviSaveResult {
    QString szFileName;  // the file made, empty when none was
    int nFrames = 0;     // pictures in that file
    bool bError = false; // a write failed (the file, if any, holds the pictures before it)
    QString szError;
};

// Writes the pictures into a new file at szFileName; when that name exists, "_2",
// "_3" ... go before the extension. The file appears only when complete. A write
// error keeps a valid file with the pictures written before it, or no file when
// none was. No pictures: no file. nByteLimit: see CAviWriter::SetByteLimit.
AviSaveResult SaveAviFile(const QString &szFileName, const std::vector<CPackedDib> &frames,
                          int64_t nByteLimit = -1);
