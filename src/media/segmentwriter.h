#pragma once
// The one writer thread of a recording: segments are queued on the user-interface
// thread and written one after the other, never two at once, in the order they
// ended. A segment's pictures move into its job, so no picture is shared between
// threads, and they are freed by the writer as soon as their file is done.
// The callbacks run on the writer thread; their owner hands them on.

#include "media/aviwriter.h"

#include <QString>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

struct SegmentJob {
    uint64_t nSeq = 0;
    QString szFileName;
    std::vector<CPackedDib> frames;
    int64_t nBytes = 0;      // pixel bytes held by frames
    int64_t nByteLimit = -1; // fault injection (see CAviWriter::SetByteLimit)
};

class CSegmentWriter {
  public:
    using Started = std::function<void(const SegmentJob &job)>;
    using Done = std::function<void(uint64_t nSeq, const AviSaveResult &result)>;

    CSegmentWriter(Started started, Done done);
    ~CSegmentWriter(); // writes what is queued, then ends the thread

    void Submit(SegmentJob job);
    // Blocks until every queued segment is written.
    void WaitIdle();
    // Pixel bytes of the pictures queued or being written.
    int64_t QueuedBytes() const { return m_nQueuedBytes.load(); }

  private:
    void Run();

    Started m_started;
    Done m_done;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::deque<SegmentJob> m_jobs;
    bool m_bBusy = false;
    bool m_bQuit = false;
    std::atomic<int64_t> m_nQueuedBytes{0};
    std::thread m_thread;
};
