// Recording throughput and the user-interface thread's share of it.
//
// 1. Google Benchmark, same run, same bytes: segments of 60 pictures of 640 x 480
//    written through the AVI writer (temporary name, index, rename) against a plain
//    sequential write of those pixel bytes to a new file. The ratio printed at the
//    end is plain time over AVI time (target: >= 0.8).
// 2. Recording at 4 x 30 pictures per second with the shortest segments, on a real
//    event loop and Qt timers, for a few seconds: the longest time one recording
//    call held the user-interface thread (capture, segment end, result hand-back),
//    and the longest gap between two 8 ms ticks of the loop (target: < 16 ms).

#include "media/aviwriter.h"
#include "media/recorder.h"
#include "protocol/timerhost.h"
#include "settings/clientsettings.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QTimer>

#include <time.h>

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

void BM_AviSegment(benchmark::State &state)
{
    const auto &frames = Segment();
    for (auto _ : state) {
        const AviSaveResult r = SaveAviFile(Dir().filePath("seg.avi"), frames);
        state.PauseTiming();
        if (r.bError || r.nFrames != PICTURES)
            state.SkipWithError("AVI write failed");
        QFile::remove(r.szFileName);
        state.ResumeTiming();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * PICTURES * 921600);
}

void BM_PlainWrite(benchmark::State &state)
{
    const auto &frames = Segment();
    for (auto _ : state) {
        QFile f(Dir().filePath("plain.bin"));
        bool bOk = f.open(QIODevice::WriteOnly | QIODevice::NewOnly);
        for (const CPackedDib &d : frames)
            bOk = bOk && f.write(reinterpret_cast<const char *>(d.Pixels()), d.ImageSize()) ==
                             qint64(d.ImageSize());
        bOk = bOk && f.flush();
        f.close();
        state.PauseTiming();
        if (!bOk)
            state.SkipWithError("plain write failed");
        f.remove();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * PICTURES * 921600);
}

BENCHMARK(BM_PlainWrite)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_AviSegment)->Unit(benchmark::kMillisecond)->MinTime(2.0);

class KeepingReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &r : runs)
            m_seconds[r.benchmark_name()] = r.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> m_seconds;
};

struct BenchView : IRecordView {
    QImage area = [] {
        QImage img(640, 480, QImage::Format_RGB32); // a window's backing store
        img.fill(QColor(30, 120, 60));
        return img;
    }();
    uint16_t PlayState() const override { return PLAY_FORWARDS; }
    QString PictureTimeText() const override { return QStringLiteral("2005-03-01 12-00-05"); }
    QImage GrabPictureArea() override { return area; }
    void ShowNotice(const QString &) override {}
    void ShowRecordMessage(const QString &) override { ++nFull; }
    void SetRecordButtonDown(bool) override {}
    int nFull = 0;
};

void MeasureStalls(int nSeconds)
{
    ClientSettings settings;
    settings.m_byRecordDuration = 1; // 3 s segments
    QTemporaryDir dir;
    SetFieldText(settings.m_szRecordPath, dir.path());
    BenchView view;
    QtTimerHost timers;
    CRecorder rec(view, timers, settings);
    double nLongestCall = 0, nLongestTick = 0, nLongestGap = 0, nLongestCpu = 0;
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
    QObject::connect(&pictures, &QTimer::timeout, [&] {
        if (last.isValid() && nTicks > 10)
            nLongestGap = std::max(nLongestGap, last.nsecsElapsed() / 1e6 - 8.0);
        last.start();
        ++nTicks;
        call.start();
        const double nCpu = ThreadCpuMs();
        rec.OnPictureDrawn(); // one picture per tick: 125 per second
        nLongestCall = std::max(nLongestCall, call.nsecsElapsed() / 1e6);
        nLongestCpu = std::max(nLongestCpu, ThreadCpuMs() - nCpu);
        if (total.elapsed() > nSeconds * 1000)
            QCoreApplication::quit();
    });
    total.start();
    pictures.start(8);
    QCoreApplication::exec();
    call.start();
    rec.Finish();
    const double nFinish = call.nsecsElapsed() / 1e6;
    const int nFiles = QDir(dir.path()).entryList({"*.avi"}, QDir::Files).size();
    std::printf("recording %d s at %d pictures/s: %d files, memory bound hit %d time(s)\n"
                "  longest capture %.2f ms (its CPU time %.2f ms), longest segment end %.2f ms on "
                "the UI thread;\n"
                "  longest extra gap between 8 ms ticks %.2f ms (target < 16 ms); Finish at exit "
                "%.0f ms\n",
                nSeconds, nTicks / nSeconds, nFiles, view.nFull, nLongestCall, nLongestCpu,
                nLongestTick, nLongestGap, nFinish);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    KeepingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double plain = reporter.m_seconds["BM_PlainWrite/min_time:2.000"];
    const double avi = reporter.m_seconds["BM_AviSegment/min_time:2.000"];
    if (plain > 0 && avi > 0)
        std::printf("AVI writer speed / plain write speed = %.3f (target >= 0.8)\n", plain / avi);
    MeasureStalls(10);
    return 0;
}
