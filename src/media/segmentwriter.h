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
// the segment length. Written buffers go back to the pool for the next pictures;
// ReleasePool frees them when the recording is over.
//
// The callbacks run on the writer thread; their owner hands them on.

#include "media/aviwriter.h"

#include <QString>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

struct SegmentResult {
    uint64_t nSeq = 0;
    AviSaveResult save;
};

class CSegmentWriter {
  public:
    // Saving: a segment's end is being written. Failed: a write failed while a
    // segment was still filling (the file keeps what came before). Done: a segment
    // is finished, its file named (or none made).
    using Saving = std::function<void(uint64_t nSeq)>;
    using Failed = std::function<void(uint64_t nSeq, const QString &szError)>;
    using Done = std::function<void(const SegmentResult &result)>;

    CSegmentWriter(Saving saving, Failed failed, Done done);
    ~CSegmentWriter(); // writes what is queued, then ends the thread

    // --- the user-interface thread ---
    // Bound on the bytes of the pictures in use.
    void SetByteLimit(int64_t nBytes) { m_nByteLimit = nBytes; }
    // A buffer for one picture of this size, counted as in use; a null picture when
    // the bound is reached or memory runs out.
    CPackedDib TakeBuffer(int nWidth, int nHeight);
    // Gives back a buffer taken but not queued.
    void ReturnBuffer(CPackedDib dib);
    // The segment's file is made in szFolder at its first picture. nByteLimit: see
    // CAviWriter::SetByteLimit (fault injection for tests).
    void BeginSegment(uint64_t nSeq, const QString &szFolder, int64_t nByteLimit = -1);
    void AddPicture(uint64_t nSeq, CPackedDib dib);
    // Ends the segment; szFileName is its file's name. A segment never begun makes
    // no file and is reported done all the same.
    void EndSegment(uint64_t nSeq, const QString &szFileName);
    // Blocks until every queued step is done.
    void WaitIdle();
    // Frees the pool's spare buffers (call when the recording is over).
    void ReleasePool();

    int64_t BytesInUse() const;
    int64_t PeakBytesInUse() const;
    void ResetPeak();

  private:
    struct Step {
        enum Kind { BEGIN, PICTURE, END } kind = PICTURE;
        uint64_t nSeq = 0;
        QString szText; // the folder (BEGIN), the file name (END)
        CPackedDib dib;
        int64_t nByteLimit = -1;
    };
    void Push(Step step);
    void Run();
    void Execute(Step &step);

    Saving m_saving;
    Failed m_failed;
    Done m_done;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::deque<Step> m_steps;
    std::vector<CPackedDib> m_pool;
    int64_t m_nByteLimit = 48LL << 20;
    int64_t m_nInUse = 0;
    int64_t m_nPeak = 0;
    bool m_bBusy = false;
    bool m_bQuit = false;
    std::thread m_thread;

    // The writer thread's own: the segment being written.
    CAviSegmentFile m_file;
    uint64_t m_nFileSeq = 0;
    bool m_bFailReported = false;
};
