#include "media/segmentwriter.h"

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include "imaging/jpegencoder.h"

#include <algorithm>
#include <chrono>

namespace {
constexpr int JPEG_QUALITY = 90;

int EncodeThreads()
{
    return CSegmentWriter::EncodeThreadsFor(std::thread::hardware_concurrency());
}
} // namespace

CSegmentWriter::CSegmentWriter(Saving saving, Failed failed, Done done)
    : m_saving(std::move(saving)), m_failed(std::move(failed)), m_done(std::move(done))
{
}

int CSegmentWriter::EncodeThreadsFor(unsigned nCores)
{
    // Up to two, one per core (0: the count is not known).
    return nCores >= 2 ? 2 : 1;
}

void CSegmentWriter::Quit()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bQuit = true;
    }
    m_wake.notify_all();
}

CSegmentWriter::~CSegmentWriter()
{
    Quit();
    if (m_thread.joinable())
        m_thread.join();
    for (std::thread &t : m_encoders)
        t.join();
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

void CSegmentWriter::Push(std::unique_ptr<Step> pStep)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (pStep->kind == Step::BEGIN)
            m_queuedCodec = pStep->codec;
        if (pStep->kind == Step::PICTURE && m_queuedCodec == AviCodec::MJPEG) {
            pStep->encode = Step::WAITING;
            // Started with the first picture to encode, kept until the end.
            while (int(m_encoders.size()) < EncodeThreads())
                m_encoders.emplace_back(&CSegmentWriter::Encode, this);
        }
        m_steps.push_back(std::move(pStep));
        if (!m_thread.joinable()) // started with the first step, kept until the end
            m_thread = std::thread(&CSegmentWriter::Run, this);
    }
    m_wake.notify_all();
}

void CSegmentWriter::BeginSegment(uint64_t nSeq, const QString &szFolder,
                                  const QString &szFallbackName, AviCodec codec, int64_t nByteLimit)
{
    auto pStep = std::make_unique<Step>();
    pStep->kind = Step::BEGIN;
    pStep->nSeq = nSeq;
    pStep->szPath = szFolder;
    pStep->szFallback = szFallbackName;
    pStep->codec = codec;
    pStep->nByteLimit = nByteLimit;
    Push(std::move(pStep));
}

void CSegmentWriter::AddPicture(uint64_t nSeq, QueuedPicture picture, int64_t nSample)
{
    auto pStep = std::make_unique<Step>();
    pStep->kind = Step::PICTURE;
    pStep->nSeq = nSeq;
    pStep->picture = std::move(picture);
    pStep->nSample = nSample;
    Push(std::move(pStep));
}

void CSegmentWriter::EndSegment(uint64_t nSeq, const QString &szFileName)
{
    auto pStep = std::make_unique<Step>();
    pStep->kind = Step::END;
    pStep->nSeq = nSeq;
    pStep->szPath = szFileName;
    Push(std::move(pStep));
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
            Step &step = **it;
            if (step.kind != Step::PICTURE || step.encode == Step::ENCODING) {
                ++it;
                continue;
            }
            m_nInUse -= step.picture.nBytes;
            dropped.push_back(std::move(step.picture.dib));
            it = m_steps.erase(it);
        }
    }
    return int(dropped.size());
}

void CSegmentWriter::Abandon()
{
    Quit();
    if (m_thread.joinable())
        m_thread.detach();
    for (std::thread &t : m_encoders)
        if (t.joinable())
            t.detach();
}

void CSegmentWriter::ReleasePool()
{
    auto pStep = std::make_unique<Step>();
    pStep->kind = Step::RELEASE;
    Push(std::move(pStep));
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
        if (!m_file.Begin(step.szPath, step.codec, step.nByteLimit) && m_failed) {
            m_bFailReported = true;
            m_failed(step.nSeq, m_file.ErrorText());
        }
        break;
    case Step::PICTURE:
        if (step.nSeq == m_nFileSeq && !m_file.Append(step.picture.dib, step.nSample, step.jpeg) &&
            !m_bFailReported) {
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

CSegmentWriter::Step *CSegmentWriter::NextToEncode() const
{
    for (const std::unique_ptr<Step> &pStep : m_steps)
        if (pStep->encode == Step::WAITING)
            return pStep.get();
    return nullptr;
}

void CSegmentWriter::Encode()
{
    CJpegEncoder encoder(JPEG_QUALITY); // 4:2:0
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        Step *pStep = nullptr;
        m_wake.wait(lock, [&] { return (pStep = NextToEncode()) != nullptr || m_bQuit; });
        if (!pStep)
            return; // quit once nothing is left to encode
        pStep->encode = Step::ENCODING;
        lock.unlock();

        const CPackedDib &dib = pStep->picture.dib;
        QByteArray jpeg =
            dib.IsNull() ? QByteArray()
                         : encoder.Encode(dib.Pixels(), dib.Width(), dib.Height(), dib.RowBytes());

        lock.lock();
        pStep->jpeg = std::move(jpeg);
        pStep->encode = Step::ENCODED;
        m_wake.notify_all(); // the writer may be waiting for this one
    }
}

void CSegmentWriter::Run()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    const auto frontReady = [this] {
        return !m_steps.empty() &&
               (m_steps.front()->encode == Step::NONE || m_steps.front()->encode == Step::ENCODED);
    };
    for (;;) {
        m_wake.wait(lock, [&] { return frontReady() || (m_bQuit && m_steps.empty()); });
        if (m_steps.empty())
            return; // quit once the queue is drained
        std::unique_ptr<Step> pStep = std::move(m_steps.front());
        m_steps.pop_front();
        m_bBusy = true;
        lock.unlock();

        Execute(*pStep);

        lock.lock();
        m_nInUse -= pStep->picture.nBytes;
        if (!pStep->picture.IsNull())
            m_pool.push_back(std::move(pStep->picture.dib));
        m_bBusy = false;
        if (m_steps.empty())
            m_idle.notify_all();
    }
}
