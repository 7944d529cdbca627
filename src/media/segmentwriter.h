#pragma once
// The one writer thread of a recording. Segments are streamed: the user-interface
// thread opens a segment at its first picture, hands over each picture as it is
// captured, and ends the segment at its end; the thread writes each picture into
// the segment's file as it comes and names the file when the segment ends.
// Segments are written one after the other, in the order they ended.
//
// Pictures travel in buffers of a small pool. The bytes of the buffers in use (in
// the queue or being written) are bounded: when the disk falls behind, TakeBuffer
// gives no buffer and the caller drops the picture, so memory does not depend on
// the segment length. Each buffer carries the bytes it was counted for, and exactly
// those are given back when it returns to the pool. Written buffers go back to the
// pool for the next pictures; ReleasePool frees them, on the writer thread, when
// the recording is over.
//
// MJPEG segments: each picture is encoded by one of the encode threads (two on a
// machine of two cores, else one) while it waits in the queue; the writer thread
// takes the pictures in the order they were queued, waiting for the encode of the
// next one when it is not done yet. A picture whose encode is behind keeps its
// buffer, so a slow encode fills the queue as a slow disk does.
//
// Destruction writes what is queued; a segment begun and never ended is finished
// under the name given when it was begun, never thrown away.
//
// The callbacks run on the writer thread; their owner hands them on.

#include "media/aviwriter.h"

#include <QByteArray>
#include <QString>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

struct SegmentResult {
    uint64_t nSeq = 0;
    AviSaveResult save;
};

// A picture's buffer on its way to the disk, with the bytes it is counted for.
struct QueuedPicture {
    CPackedDib dib;
    int64_t nBytes = 0;
    bool IsNull() const { return dib.IsNull(); }
};

class CSegmentWriter {
  public:
    // Saving: a segment's end is being written. Failed: a write failed while a
    // segment was still filling (the file keeps what came before), or the segment's
    // file could not be made. Done: a segment is finished, its file named (or none
    // made).
    using Saving = std::function<void(uint64_t nSeq)>;
    using Failed = std::function<void(uint64_t nSeq, const QString &szError)>;
    using Done = std::function<void(const SegmentResult &result)>;

    CSegmentWriter(Saving saving, Failed failed, Done done);
    ~CSegmentWriter(); // writes what is queued, finishes an open segment, ends the thread

    // --- the user-interface thread ---
    // Bound on the bytes of the pictures in use.
    void SetByteLimit(int64_t nBytes) { m_nByteLimit = nBytes; }
    // A buffer for one picture of this size, counted as in use; a null picture when
    // the bound is reached or memory runs out.
    QueuedPicture TakeBuffer(int nWidth, int nHeight);
    // Gives back a buffer taken but not queued.
    void ReturnBuffer(QueuedPicture picture);
    // The segment's file is made in szFolder at its first picture; szFallbackName
    // is its name should the segment never be ended. nByteLimit: see
    // CAviWriter::SetByteLimit (fault injection for tests).
    void BeginSegment(uint64_t nSeq, const QString &szFolder, const QString &szFallbackName,
                      AviCodec codec = AviCodec::RAW, int64_t nByteLimit = -1);
    // A picture at sample nSample of its segment's file.
    void AddPicture(uint64_t nSeq, QueuedPicture picture, int64_t nSample);
    // Ends the segment; szFileName is its file's name. A segment never begun makes
    // no file and is reported done all the same.
    void EndSegment(uint64_t nSeq, const QString &szFileName);
    // Blocks until every queued step is done, or nTimeoutMs have passed (negative:
    // no bound); true when done.
    bool WaitIdle(int nTimeoutMs = -1);
    // Gives up the pictures still queued (their segments end with the pictures
    // already written); returns how many.
    int DropQueuedPictures();
    // Leaves the threads to finish on their own, for the end of the process: the
    // object is never destroyed after this (it is leaked on purpose).
    void Abandon();
    // Frees the pool's spare buffers on the writer thread (call when the recording
    // is over).
    void ReleasePool();

    // MJPEG encode threads on a machine of nCores cores (0: not known): up to two.
    static int EncodeThreadsFor(unsigned nCores);

    int64_t BytesInUse() const;
    int64_t PeakBytesInUse() const;
    void ResetPeak();

  private:
    struct Step {
        enum Kind { BEGIN, PICTURE, END, RELEASE } kind = PICTURE;
        enum Encode { NONE, WAITING, ENCODING, ENCODED } encode = NONE;
        uint64_t nSeq = 0;
        QString szPath;     // the folder (BEGIN), the file name (END)
        QString szFallback; // BEGIN: the name should the segment never end
        AviCodec codec = AviCodec::RAW;
        QueuedPicture picture;
        int64_t nSample = 0;
        QByteArray jpeg;
        int64_t nByteLimit = -1;
    };
    void Push(std::unique_ptr<Step> pStep);
    void Quit(); // tells the threads to end once the queue is done
    void Run();
    void Encode();
    Step *NextToEncode() const;
    void Execute(Step &step);
    void FinishSegment(uint64_t nSeq, const QString &szFileName);

    Saving m_saving;
    Failed m_failed;
    Done m_done;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::deque<std::unique_ptr<Step>> m_steps; // stable while an encode thread holds one
    AviCodec m_queuedCodec = AviCodec::RAW;    // of the segment last begun
    std::vector<CPackedDib> m_pool;
    int64_t m_nByteLimit = 48LL << 20;
    int64_t m_nInUse = 0;
    int64_t m_nPeak = 0;
    bool m_bBusy = false;
    bool m_bQuit = false;
    std::thread m_thread;
    std::vector<std::thread> m_encoders;

    // The writer thread's own: the segment being written.
    CAviSegmentFile m_file;
    uint64_t m_nFileSeq = 0;
    QString m_szFallback;
    bool m_bFailReported = false;
};
