#include "media/segmentwriter.h"

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <algorithm>
#include <chrono>

CSegmentWriter::CSegmentWriter(Saving saving, Failed failed, Done done)
    : m_saving(std::move(saving)), m_failed(std::move(failed)), m_done(std::move(done))
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
    // A segment its owner never ended keeps its pictures under its fallback name.
    if (m_file.IsOpen())
        FinishSegment(m_nFileSeq, m_szFallback);
}

QueuedPicture CSegmentWriter::TakeBuffer(int nWidth, int nHeight)
{
    const int64_t nSize = int64_t(BitmapRowBytes(nWidth, 24)) * nHeight;
    QueuedPicture picture;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_nInUse + nSize > m_nByteLimit)
            return picture;
        m_nInUse += nSize;
        m_nPeak = std::max(m_nPeak, m_nInUse);
        for (auto it = m_pool.begin(); it != m_pool.end(); ++it) {
            if (it->Width() == nWidth && it->Height() == nHeight) {
                picture.dib = std::move(*it);
                picture.nBytes = nSize;
                m_pool.erase(it);
                return picture;
            }
        }
    }
    picture.dib = CPackedDib::Allocate(nWidth, nHeight);
    if (picture.IsNull()) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_nInUse -= nSize;
        return picture;
    }
    picture.nBytes = nSize;
    return picture;
}

void CSegmentWriter::ReturnBuffer(QueuedPicture picture)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_nInUse -= picture.nBytes;
    if (!picture.IsNull())
        m_pool.push_back(std::move(picture.dib));
}

void CSegmentWriter::Push(Step step)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_steps.push_back(std::move(step));
        if (!m_thread.joinable()) // started with the first step, kept until the end
            m_thread = std::thread(&CSegmentWriter::Run, this);
    }
    m_wake.notify_one();
}

void CSegmentWriter::BeginSegment(uint64_t nSeq, const QString &szFolder,
                                  const QString &szFallbackName, int64_t nByteLimit)
{
    Step step;
    step.kind = Step::BEGIN;
    step.nSeq = nSeq;
    step.szPath = szFolder;
    step.szFallback = szFallbackName;
    step.nByteLimit = nByteLimit;
    Push(std::move(step));
}

void CSegmentWriter::AddPicture(uint64_t nSeq, QueuedPicture picture)
{
    Step step;
    step.kind = Step::PICTURE;
    step.nSeq = nSeq;
    step.picture = std::move(picture);
    Push(std::move(step));
}

void CSegmentWriter::EndSegment(uint64_t nSeq, const QString &szFileName)
{
    Step step;
    step.kind = Step::END;
    step.nSeq = nSeq;
    step.szPath = szFileName;
    Push(std::move(step));
}

bool CSegmentWriter::WaitIdle(int nTimeoutMs)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    const auto idle = [this] { return m_steps.empty() && !m_bBusy; };
    if (nTimeoutMs < 0) {
        m_idle.wait(lock, idle);
        return true;
    }
    return m_idle.wait_for(lock, std::chrono::milliseconds(nTimeoutMs), idle);
}

int CSegmentWriter::DropQueuedPictures()
{
    std::vector<CPackedDib> dropped;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (auto it = m_steps.begin(); it != m_steps.end();) {
            if (it->kind != Step::PICTURE) {
                ++it;
                continue;
            }
            m_nInUse -= it->picture.nBytes;
            dropped.push_back(std::move(it->picture.dib));
            it = m_steps.erase(it);
        }
    }
    return int(dropped.size());
}

void CSegmentWriter::ReleasePool()
{
    Step step;
    step.kind = Step::RELEASE;
    Push(std::move(step));
}

int64_t CSegmentWriter::BytesInUse() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_nInUse;
}

int64_t CSegmentWriter::PeakBytesInUse() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_nPeak;
}

void CSegmentWriter::ResetPeak()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_nPeak = m_nInUse;
}

void CSegmentWriter::FinishSegment(uint64_t nSeq, const QString &szFileName)
{
    SegmentResult result;
    result.nSeq = nSeq;
    if (nSeq == m_nFileSeq) {
        if (m_saving && m_file.IsOpen())
            m_saving(nSeq);
        result.save = m_file.Finish(szFileName);
        m_nFileSeq = 0;
    }
    if (m_done)
        m_done(result);
}

void CSegmentWriter::Execute(Step &step)
{
    switch (step.kind) {
    case Step::BEGIN:
        m_nFileSeq = step.nSeq;
        m_szFallback = step.szFallback;
        m_bFailReported = false;
        if (!m_file.Begin(step.szPath, step.nByteLimit) && m_failed) {
            m_bFailReported = true;
            m_failed(step.nSeq, m_file.ErrorText());
        }
        break;
    case Step::PICTURE:
        if (step.nSeq == m_nFileSeq && !m_file.Append(step.picture.dib) && !m_bFailReported) {
            m_bFailReported = true;
            if (m_failed)
                m_failed(step.nSeq, m_file.ErrorText());
        }
        break;
    case Step::END:
        FinishSegment(step.nSeq, step.szPath);
        break;
    case Step::RELEASE: {
        std::vector<CPackedDib> spare;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            spare.swap(m_pool);
        }
        spare.clear();
#ifdef __GLIBC__
        // Give the freed pictures back to the system, not only to the heap.
        malloc_trim(0);
#endif
        break;
    }
    }
}

void CSegmentWriter::Run()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_bQuit || !m_steps.empty(); });
        if (m_steps.empty())
            return; // quit once the queue is drained
        Step step = std::move(m_steps.front());
        m_steps.pop_front();
        m_bBusy = true;
        lock.unlock();

        Execute(step);

        lock.lock();
        m_nInUse -= step.picture.nBytes;
        if (!step.picture.IsNull())
            m_pool.push_back(std::move(step.picture.dib));
        m_bBusy = false;
        if (m_steps.empty())
            m_idle.notify_all();
    }
}
