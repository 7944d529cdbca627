#include "media/segmentwriter.h"

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <algorithm>

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
}

CPackedDib CSegmentWriter::TakeBuffer(int nWidth, int nHeight)
{
    const int64_t nSize = int64_t(BitmapRowBytes(nWidth, 24)) * nHeight;
    CPackedDib dib;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_nInUse + nSize > m_nByteLimit)
            return dib;
        m_nInUse += nSize;
        m_nPeak = std::max(m_nPeak, m_nInUse);
        for (auto it = m_pool.begin(); it != m_pool.end(); ++it) {
            if (it->Width() == nWidth && it->Height() == nHeight) {
                dib = std::move(*it);
                m_pool.erase(it);
                return dib;
            }
        }
    }
    dib = CPackedDib::Allocate(nWidth, nHeight);
    if (dib.IsNull()) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_nInUse -= nSize;
    }
    return dib;
}

void CSegmentWriter::ReturnBuffer(CPackedDib dib)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_nInUse -= int64_t(dib.IsNull() ? 0 : dib.ImageSize());
    if (!dib.IsNull())
        m_pool.push_back(std::move(dib));
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

void CSegmentWriter::BeginSegment(uint64_t nSeq, const QString &szFolder, int64_t nByteLimit)
{
    Step step;
    step.kind = Step::BEGIN;
    step.nSeq = nSeq;
    step.szText = szFolder;
    step.nByteLimit = nByteLimit;
    Push(std::move(step));
}

void CSegmentWriter::AddPicture(uint64_t nSeq, CPackedDib dib)
{
    Step step;
    step.kind = Step::PICTURE;
    step.nSeq = nSeq;
    step.dib = std::move(dib);
    Push(std::move(step));
}

void CSegmentWriter::EndSegment(uint64_t nSeq, const QString &szFileName)
{
    Step step;
    step.kind = Step::END;
    step.nSeq = nSeq;
    step.szText = szFileName;
    Push(std::move(step));
}

void CSegmentWriter::WaitIdle()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_idle.wait(lock, [this] { return m_steps.empty() && !m_bBusy; });
}

void CSegmentWriter::ReleasePool()
{
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

void CSegmentWriter::Execute(Step &step)
{
    switch (step.kind) {
    case Step::BEGIN:
        m_nFileSeq = step.nSeq;
        m_bFailReported = false;
        if (!m_file.Begin(step.szText, step.nByteLimit) && m_failed) {
            m_bFailReported = true;
            m_failed(step.nSeq, m_file.ErrorText());
        }
        break;
    case Step::PICTURE:
        if (step.nSeq == m_nFileSeq && !m_file.Append(step.dib) && !m_bFailReported) {
            m_bFailReported = true;
            if (m_failed)
                m_failed(step.nSeq, m_file.ErrorText());
        }
        break;
    case Step::END: {
        SegmentResult result;
        result.nSeq = step.nSeq;
        if (step.nSeq == m_nFileSeq) {
            if (m_saving && m_file.IsOpen())
                m_saving(step.nSeq);
            result.save = m_file.Finish(step.szText);
            m_nFileSeq = 0;
        }
        if (m_done)
            m_done(result);
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
        if (!step.dib.IsNull()) {
            m_nInUse -= int64_t(step.dib.ImageSize());
            m_pool.push_back(std::move(step.dib));
        }
        m_bBusy = false;
        if (m_steps.empty())
            m_idle.notify_all();
    }
}
