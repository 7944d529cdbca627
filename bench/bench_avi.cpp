// Recording throughput and the user-interface thread's share of it.
//
// 1. Google Benchmark, same run, same bytes: segments of 60 pictures of 640 x 480
//    written through the AVI writer (temporary name, index, rename) against a plain
//    sequential write of those pixel bytes to a new file. The ratio printed at the
//    end is plain time over AVI time: from the medians of five repetitions of each,
//    and from both written in turn within one benchmark (target: >= 0.8).
// 2. Recording at 4 x 30 pictures per second with the shortest segments, on a real
//    event loop and Qt timers, for a few seconds: the longest time one recording
//    call held the user-interface thread (capture, segment end, result hand-back),
//    and the longest gap between two 8 ms ticks of the loop (target: < 16 ms).

#include "media/aviwriter.h"
#include "media/recorder.h"
#include "net/qttimerhost.h"
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
    const double plain = reporter.m_seconds["BM_PlainWrite"];
    const double avi = reporter.m_seconds["BM_AviSegment"];
    if (plain > 0 && avi > 0)
        std::printf("AVI writer speed / plain write speed = %.3f (medians of the runs above), "
                    "%.3f (interleaved, same moments) (target >= 0.8)\n",
                    plain / avi, reporter.m_nInterleaved);
    MeasureStalls(10);
    return 0;
}
