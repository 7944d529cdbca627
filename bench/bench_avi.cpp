// Recording throughput and the user-interface thread's share of it.
//
// 1. Google Benchmark, same run, same bytes: segments of 60 pictures of 640 x 480
//    written through the AVI writer (temporary name, index, rename) against a plain
//    sequential write of those pixel bytes to a new file. The ratio printed at the
//    end is plain time over AVI time: from the medians of five repetitions of each,
//    and from both written in turn within one benchmark. A file this short fits in
//    the page cache, where the plain write stays, while the AVI writer already hands
//    its bytes to the disk (write-behind): about 0.6 here, the price of never piling
//    up dirty pages in a long recording (part 2).
// 2. Streaming, 60 s of segments at 4 x 30 pictures per second (7200 pictures in
//    four 15-second segments): the writer thread fed as fast as its queue takes
//    pictures, against a plain sequential write of the same bytes, in the order
//    plain, stream, stream, plain with the dirty pages written out between runs
//    (target: plain time / stream time >= 0.9).
// 3. Recording paced at 4 x 30 pictures per second with the default 15-second
//    segments, on a real event loop and Qt timers, for 60 s: the peak bytes queued
//    for the disk (target <= 64 MB), pictures dropped, the longest time one
//    capture held the user-interface thread (target <= 8 ms; the grab is a drawing
//    of a camera picture into the 640 x 480 area, as the window does), the longest
//    segment end, and the longest gap between two ticks of the loop.
// 4. MJPEG: 120 camera pictures encoded and written into one MJPEG file on one
//    thread, against the bare encode of the same pictures (target <= 1.15 x); and
//    the same pictures written both ways, the MJPEG file's mean PSNR against the
//    uncompressed one by ffmpeg's psnr filter (target >= 38 dB), and the sizes.
//    With TELVANE_BENCH_MJPEG_FROM=<file.avi> (an uncompressed recording the program
//    made, bench/record-e2e.py --psnr), only this MJPEG measurement runs, on the first
//    pictures of that file instead of the camera pictures.
// TELVANE_BENCH_STREAM_SECONDS shortens parts 2 and 3 (default 60).

#include "imaging/jpegencoder.h"
#include "media/aviwriter.h"
#include "media/recorder.h"
#include "media/segmentwriter.h"
#include "net/qttimerhost.h"
#include "settings/clientsettings.h"
#include "settings/settingsmapping.h"
#include "../tests/support/avisave.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QTemporaryDir>
#include <QPainter>
#include <QProcess>
#include <QRegularExpression>
#include <QTimer>

#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <cstdlib>
#include <thread>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr int PICTURES = 60;

// CPU time of this thread: what a call costs without the time other processes
// took the core away (the machine may be shared).
double ThreadCpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

const std::vector<CPackedDib> &Segment()
{
    static std::vector<CPackedDib> frames = [] {
        std::vector<CPackedDib> v;
        for (int i = 0; i < PICTURES; ++i) {
            QImage img(640, 480, QImage::Format_RGB32);
            img.fill(QColor(i * 4, 100, 200 - i * 3));
            v.push_back(CPackedDib::FromImage(img));
        }
        return v;
    }();
    return frames;
}

QTemporaryDir &Dir()
{
    static QTemporaryDir dir;
    return dir;
}

// One segment each way; the file is left for the caller to remove untimed.
QString WriteAvi()
{
    const AviSaveResult r = SaveAviFile(Dir().filePath("seg.avi"), Segment());
    return r.bError || r.nFrames != PICTURES ? QString() : r.szFileName;
}

QString WritePlain()
{
    QFile f(Dir().filePath("plain.bin"));
    bool bOk = f.open(QIODevice::WriteOnly | QIODevice::NewOnly);
    for (const CPackedDib &d : Segment())
        bOk = bOk && f.write(reinterpret_cast<const char *>(d.Pixels()), d.ImageSize()) ==
                         qint64(d.ImageSize());
    bOk = bOk && f.flush();
    f.close();
    if (!bOk)
        f.remove();
    return bOk ? f.fileName() : QString();
}

void Measure(benchmark::State &state, QString (*write)())
{
    for (auto _ : state) {
        const QString file = write();
        state.PauseTiming();
        if (file.isEmpty())
            state.SkipWithError("write failed");
        QFile::remove(file);
        state.ResumeTiming();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * PICTURES * 921600);
}

void BM_PlainWrite(benchmark::State &state)
{
    Measure(state, &WritePlain);
}
void BM_AviSegment(benchmark::State &state)
{
    Measure(state, &WriteAvi);
}

// Both ways in turn in every iteration, so both see the same state of the shared
// disk; the counter is the median plain time over the median AVI time.
void BM_AviOverPlain(benchmark::State &state)
{
    std::vector<double> plain, avi;
    for (auto _ : state) {
        for (int k = 0; k < 2; ++k) {
            const bool bAvi = (k + int(plain.size())) % 2 == 0; // alternate who goes first
            QElapsedTimer t;
            t.start();
            const QString file = bAvi ? WriteAvi() : WritePlain();
            (bAvi ? avi : plain).push_back(t.nsecsElapsed() / 1e6);
            if (file.isEmpty())
                state.SkipWithError("write failed");
            QFile::remove(file);
        }
    }
    std::sort(plain.begin(), plain.end());
    std::sort(avi.begin(), avi.end());
    if (!avi.empty())
        state.counters["speed_ratio"] = plain[plain.size() / 2] / avi[avi.size() / 2];
}

// Medians of several repetitions: the disk and the page cache are shared.
BENCHMARK(BM_PlainWrite)->Unit(benchmark::kMillisecond)->MinTime(1.0)->Repetitions(5);
BENCHMARK(BM_AviSegment)->Unit(benchmark::kMillisecond)->MinTime(1.0)->Repetitions(5);
BENCHMARK(BM_AviOverPlain)->Unit(benchmark::kMillisecond)->Iterations(60);

class KeepingReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &r : runs) {
            if (r.run_type == Run::RT_Aggregate && r.aggregate_name == "median")
                m_seconds[r.run_name.function_name] = r.GetAdjustedRealTime();
            const auto ratio = r.counters.find("speed_ratio");
            if (ratio != r.counters.end())
                m_nInterleaved = ratio->second.value;
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> m_seconds;
    double m_nInterleaved = 0;
};

int StreamSeconds()
{
    const char *env = std::getenv("TELVANE_BENCH_STREAM_SECONDS");
    return env && std::atoi(env) > 0 ? std::atoi(env) : 60;
}

// A camera picture as the window shows it, 640 x 480.
QImage ShownPicture(int n)
{
    const QDir dir(QStringLiteral(TELVANE_BENCH_PICTURES));
    const QStringList names = dir.entryList({QStringLiteral("704x480_*.jpg")}, QDir::Files);
    QImage img;
    if (!names.isEmpty())
        img.load(dir.filePath(names[n % names.size()]));
    if (img.isNull()) {
        img = QImage(640, 480, QImage::Format_RGB32);
        img.fill(QColor(30, 120, 60 + n));
    }
    return img.scaled(640, 480).convertToFormat(QImage::Format_RGB32);
}

constexpr int STREAM_RATE = 120;
constexpr int STREAM_SEGMENT = 15;

// All the pictures of the run through the writer thread, the feeder waiting while
// the queue is full. Milliseconds from the first picture to the last file named.
double StreamOnce(const QString &szFolder, int nPictures, const CPackedDib &dib)
{
    std::atomic<int> nDone{0};
    CSegmentWriter writer(nullptr, nullptr, [&](const SegmentResult &r) {
        if (r.save.bError || r.save.szFileName.isEmpty())
            std::fprintf(stderr, "segment %llu failed: %s\n", (unsigned long long)r.nSeq,
                         qPrintable(r.save.szError));
        ++nDone;
    });
    writer.SetByteLimit(DEFAULT_RECORD_QUEUE);
    const int nPerSegment = STREAM_RATE * STREAM_SEGMENT;
    QElapsedTimer t;
    t.start();
    int nSegments = 0;
    for (int i = 0; i < nPictures; ++i) {
        const uint64_t nSeq = uint64_t(i / nPerSegment + 1);
        if (i % nPerSegment == 0)
            writer.BeginSegment(nSeq, szFolder, QString());
        QueuedPicture buffer;
        while ((buffer = writer.TakeBuffer(dib.Width(), dib.Height())).IsNull())
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        std::memcpy(buffer.dib.Pixels(), dib.Pixels(), dib.ImageSize());
        writer.AddPicture(nSeq, std::move(buffer), i % nPerSegment);
        if ((i + 1) % nPerSegment == 0 || i + 1 == nPictures) {
            writer.EndSegment(nSeq, QDir(szFolder).filePath(QStringLiteral("seg%1.avi").arg(nSeq)));
            ++nSegments;
        }
    }
    writer.WaitIdle();
    const double ms = t.nsecsElapsed() / 1e6;
    if (nDone != nSegments)
        std::fprintf(stderr, "only %d of %d segments done\n", nDone.load(), nSegments);
    return ms;
}

double PlainOnce(const QString &szFolder, int nPictures, const CPackedDib &dib)
{
    const int nPerSegment = STREAM_RATE * STREAM_SEGMENT;
    QElapsedTimer t;
    t.start();
    QFile f;
    for (int i = 0; i < nPictures; ++i) {
        if (i % nPerSegment == 0) {
            f.close();
            f.setFileName(QDir(szFolder).filePath(QStringLiteral("plain%1.bin").arg(i)));
            if (!f.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
                std::fprintf(stderr, "cannot create %s\n", qPrintable(f.fileName()));
        }
        if (f.write(reinterpret_cast<const char *>(dib.Pixels()), dib.ImageSize()) !=
            qint64(dib.ImageSize()))
            std::fprintf(stderr, "plain write failed\n");
    }
    f.close();
    return t.nsecsElapsed() / 1e6;
}

void Clear(const QString &szFolder)
{
    QDir dir(szFolder);
    for (const QString &name : dir.entryList(QDir::Files | QDir::Hidden))
        dir.remove(name);
    ::sync(); // the next run starts with no dirty pages of this one
}

void MeasureStreamThroughput()
{
    const int nPictures = StreamSeconds() * STREAM_RATE;
    const CPackedDib dib = CPackedDib::FromImage(ShownPicture(0));
    QTemporaryDir dir;
    Clear(dir.path());
    double plain = 0, stream = 0;
    for (int k = 0; k < 4; ++k) {
        const bool bStream = k == 1 || k == 2;
        const double ms = bStream ? StreamOnce(dir.path(), nPictures, dib)
                                  : PlainOnce(dir.path(), nPictures, dib);
        (bStream ? stream : plain) += ms;
        std::printf("  %s: %d pictures (%.0f MiB) in %.0f ms\n", bStream ? "stream" : "plain ",
                    nPictures, nPictures * 921600.0 / (1 << 20), ms);
        Clear(dir.path());
    }
    std::printf("streaming writer speed / plain write speed = %.3f (%d s of segments, twice "
                "each) (target >= 0.9)\n",
                plain / stream, StreamSeconds());
}

struct BenchView : IRecordView {
    std::vector<QImage> pictures = {ShownPicture(0), ShownPicture(1), ShownPicture(2)};
    int n = 0;
    uint16_t PlayState() const override { return PLAY_FORWARDS; }
    QString PictureTimeText() const override { return QStringLiteral("2005-03-01 12-00-05"); }
    QImage GrabPictureArea() override
    {
        // What the window does: draws what it shows into a new 640 x 480 image.
        QImage area(640, 480, QImage::Format_RGB32);
        QPainter painter(&area);
        painter.drawImage(0, 0, pictures[size_t(n++ % 3)]);
        return area;
    }
    const QImage &CapturePictureArea(bool) override
    {
        captured = GrabPictureArea();
        return captured;
    }
    QImage captured;
    void ShowNotice(const QString &) override {}
    void ShowRecordMessage(const QString &) override { ++nMessages; }
    void SetRecordButtonDown(bool) override {}
    int nMessages = 0;
};

void MeasurePacedRecording(int nSeconds)
{
    ClientSettings settings; // "Record Duration" as a new installation has it
    QTemporaryDir dir;
    SetFieldText(settings.m_szRecordPath, dir.path());
    BenchView view;
    QtTimerHost timers;
    CRecorder rec(view, timers, settings);
    double nLongestTick = 0, nLongestGap = 0;
    std::vector<double> calls, cpus;
    calls.reserve(size_t(nSeconds) * STREAM_RATE + 1000);
    cpus.reserve(calls.capacity());
    QElapsedTimer call;
    // Every recording call on this thread is timed, the hand-back of results too
    // (it runs inside the loop, so it shows in the gap between ticks).
    timers.SetHandler([&](int nId) {
        call.start();
        rec.OnTimer(nId);
        nLongestTick = std::max(nLongestTick, call.nsecsElapsed() / 1e6);
    });
    rec.StartRecord();
    QTimer pictures;
    pictures.setTimerType(Qt::PreciseTimer);
    int nTicks = 0;
    QElapsedTimer last, total;
    int64_t nDue = 0; // microseconds: a picture every 1/120 s on average
    QObject::connect(&pictures, &QTimer::timeout, [&] {
        if (last.isValid() && nTicks > 10)
            nLongestGap = std::max(nLongestGap, last.nsecsElapsed() / 1e6 - 8.0);
        last.start();
        // Catch up with the schedule: 120 pictures a second whatever the timer does.
        while (nDue <= total.nsecsElapsed() / 1000) {
            nDue += 1000000 / STREAM_RATE;
            ++nTicks;
            call.start();
            const double nCpu = ThreadCpuMs();
            rec.OnPictureDrawn();
            calls.push_back(call.nsecsElapsed() / 1e6);
            cpus.push_back(ThreadCpuMs() - nCpu);
        }
        if (total.elapsed() > nSeconds * 1000)
            QCoreApplication::quit();
    });
    total.start();
    pictures.start(4);
    QCoreApplication::exec();
    call.start();
    rec.Finish();
    const double nFinish = call.nsecsElapsed() / 1e6;
    int nFiles = 0;
    for (const QString &name : QDir(dir.path()).entryList({"*.avi"}, QDir::Files)) {
        ++nFiles;
        QFile::remove(dir.filePath(name));
    }
    // Wall time counts the moments another process had the core; CPU time does not.
    auto stat = [](std::vector<double> v, double q) {
        std::sort(v.begin(), v.end());
        return v.empty() ? 0.0 : v[std::min(v.size() - 1, size_t(double(v.size()) * q))];
    };
    const auto nOver = std::count_if(calls.begin(), calls.end(), [](double ms) { return ms > 8; });
    std::printf("recording %d s at %d pictures/s, %d-s segments: %d pictures captured, %d "
                "dropped, %d files, %d messages\n"
                "  peak queued for the disk %.1f MB (target <= 64 MB)\n"
                "  capture on the UI thread: median %.2f ms, 99.9th percentile %.2f ms, longest "
                "%.2f ms, %d of %d over 8 ms (target <= 8 ms);\n"
                "    its CPU time: median %.2f ms, longest %.2f ms\n"
                "  longest segment end %.2f ms on the UI thread; longest extra gap between 4 ms "
                "ticks %.2f ms; Finish at exit %.0f ms\n",
                nSeconds, nTicks / nSeconds, RecordDurationToMs(settings.m_byRecordDuration) / 1000,
                rec.CapturedPictures(), rec.DroppedPictures(), nFiles, view.nMessages,
                rec.PeakQueuedBytes() / 1e6, stat(calls, 0.5), stat(calls, 0.999), stat(calls, 1),
                int(nOver), int(calls.size()), stat(cpus, 0.5), stat(cpus, 1), nLongestTick,
                nLongestGap, nFinish);
}

// Up to nMax pictures of an AVI file, decoded by ffmpeg.
std::vector<CPackedDib> PicturesOf(const QString &szAvi, int nMax)
{
    QProcess ffmpeg;
    ffmpeg.start("ffmpeg", {"-nostdin", "-v", "error", "-i", szAvi, "-frames:v",
                            QString::number(nMax), "-f", "rawvideo", "-pix_fmt", "bgr24", "-"});
    ffmpeg.waitForFinished(120000);
    const QByteArray bytes = ffmpeg.readAllStandardOutput();
    constexpr int W = 640, H = 480;
    std::vector<CPackedDib> pictures;
    for (qsizetype nAt = 0; nAt + W * H * 3 <= bytes.size(); nAt += W * H * 3)
        pictures.push_back(CPackedDib::FromImage(QImage(
            reinterpret_cast<const uchar *>(bytes.constData() + nAt), W, H, W * 3,
            QImage::Format_BGR888)));
    return pictures;
}

void MeasureMjpeg(const QString &szFrom)
{
    std::vector<CPackedDib> pictures;
    if (!szFrom.isEmpty()) {
        pictures = PicturesOf(szFrom, 240);
    } else {
        for (int i = 0; i < 120; ++i)
            pictures.push_back(CPackedDib::FromImage(ShownPicture(i)));
    }
    const int N = int(pictures.size());
    if (N == 0) {
        std::fprintf(stderr, "no pictures in %s\n", qPrintable(szFrom));
        return;
    }
    QTemporaryDir dir;
    double nBare = 1e99, nFile = 1e99;
    int64_t nJpegBytes = 0;
    for (int nRound = 0; nRound < 5; ++nRound) { // the best of five: the machine is shared
        CJpegEncoder encoder(90);
        double t0 = ThreadCpuMs();
        nJpegBytes = 0;
        for (const CPackedDib &d : pictures)
            nJpegBytes += encoder.Encode(d.Pixels(), d.Width(), d.Height(), d.RowBytes()).size();
        nBare = std::min(nBare, ThreadCpuMs() - t0);

        t0 = ThreadCpuMs();
        CAviSegmentFile file;
        bool bOk = file.Begin(dir.path(), AviCodec::MJPEG);
        for (int i = 0; i < N && bOk; ++i) {
            const CPackedDib &d = pictures[size_t(i)];
            bOk =
                file.Append(d, i, encoder.Encode(d.Pixels(), d.Width(), d.Height(), d.RowBytes()));
        }
        const AviSaveResult r = file.Finish(dir.filePath("mjpeg.avi"));
        nFile = std::min(nFile, ThreadCpuMs() - t0);
        if (!bOk || r.nFrames != N)
            std::fprintf(stderr, "MJPEG file failed: %s\n", qPrintable(r.szError));
        if (nRound < 4)
            QFile::remove(r.szFileName);
    }
    std::printf("MJPEG: encode + write %.2f ms a picture, bare encode %.2f ms: ratio %.3f "
                "(target <= 1.15), %.0f KiB a picture\n",
                nFile / N, nBare / N, nFile / nBare, nJpegBytes / 1024.0 / N);

    CAviSegmentFile raw;
    raw.Begin(dir.path());
    for (int i = 0; i < N; ++i)
        raw.Append(pictures[size_t(i)], i);
    raw.Finish(dir.filePath("raw.avi"));
    QProcess ffmpeg;
    ffmpeg.start("ffmpeg", {"-nostdin", "-v", "info", "-i", dir.filePath("mjpeg.avi"), "-i",
                            dir.filePath("raw.avi"), "-lavfi", "psnr", "-f", "null", "-"});
    ffmpeg.waitForFinished(120000);
    const QString out = QString::fromLocal8Bit(ffmpeg.readAllStandardError());
    const auto m = QRegularExpression(QStringLiteral("PSNR .*average:([0-9.inf]+)")).match(out);
    std::printf("MJPEG against uncompressed, same %d %s pictures: mean PSNR %s dB (target >= 38), "
                "files %.1f MiB and %.1f MiB (%.1f x smaller)\n",
                N, szFrom.isEmpty() ? "camera" : "recorded",
                m.hasMatch() ? qPrintable(m.captured(1)) : "?",
                QFileInfo(dir.filePath("mjpeg.avi")).size() / 1048576.0,
                QFileInfo(dir.filePath("raw.avi")).size() / 1048576.0,
                double(QFileInfo(dir.filePath("raw.avi")).size()) /
                    double(std::max<qint64>(1, QFileInfo(dir.filePath("mjpeg.avi")).size())));
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QString szFrom = qEnvironmentVariable("TELVANE_BENCH_MJPEG_FROM");
    if (!szFrom.isEmpty()) {
        MeasureMjpeg(szFrom);
        return 0;
    }
    benchmark::Initialize(&argc, argv);
    KeepingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double plain = reporter.m_seconds["BM_PlainWrite"];
    const double avi = reporter.m_seconds["BM_AviSegment"];
    if (plain > 0 && avi > 0)
        std::printf("AVI writer speed / plain write speed = %.3f (medians of the runs above), "
                    "%.3f (interleaved, same moments)\n",
                    plain / avi, reporter.m_nInterleaved);
    MeasureMjpeg(QString());
    MeasureStreamThroughput();
    MeasurePacedRecording(StreamSeconds());
    return 0;
}
