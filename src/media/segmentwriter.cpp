#include "media/segmentwriter.h"

CSegmentWriter::CSegmentWriter(Started started, Done done)
    : m_started(std::move(started)), m_done(std::move(done))
{
}

CSegmentWriter::~CSegmentWriter()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bQuit = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

void CSegmentWriter::Submit(SegmentJob job)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_nQueuedBytes += job.nBytes;
        m_jobs.push_back(std::move(job));
        if (!m_thread.joinable()) // started with the first segment, kept until the end
            m_thread = std::thread(&CSegmentWriter::Run, this);
    }
    m_wake.notify_one();
}

void CSegmentWriter::WaitIdle()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_idle.wait(lock, [this] { return m_jobs.empty() && !m_bBusy; });
}

void CSegmentWriter::Run()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_bQuit || !m_jobs.empty(); });
        if (m_jobs.empty())
            return; // quit once the queue is drained
        SegmentJob job = std::move(m_jobs.front());
        m_jobs.pop_front();
        m_bBusy = true;
        lock.unlock();

        if (m_started)
            m_started(job);
        AviSaveResult result = SaveAviFile(job.szFileName, job.frames, job.nByteLimit);
        job.frames.clear();
        job.frames.shrink_to_fit();
        m_nQueuedBytes -= job.nBytes;
        if (m_done)
            m_done(job.nSeq, result);

        lock.lock();
        m_bBusy = false;
        if (m_jobs.empty())
            m_idle.notify_all();
    }
}
