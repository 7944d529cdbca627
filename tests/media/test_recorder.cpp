// Recording on a manual clock: when segments end, what each file holds and where
// it goes, and the failures a recording must live through.

#include "imaging/jpegencoder.h"
#include "media/recorder.h"
#include "mediatestutil.h"
#include "support/manualclock.h"
#include "settings/clientsettings.h"
#include "support/testsupport.h"
#include "support/testapp.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <map>
#include <thread>

using namespace mediatest;

namespace {

QCoreApplication &App()
{
    return testsupport::TestApp<QCoreApplication>();
}

struct FakeRecordView : IRecordView {
    uint16_t wPlayState = PLAY_FORWARDS;
    QString szTime = "2005-03-01 12-00-05";
    QImage area = MakeImage(0);
    QStringList notices;
    QStringList messages;
    bool bButtonDown = false;

    uint16_t PlayState() const override { return wPlayState; }
    QString PictureTimeText() const override { return szTime; }
    QImage GrabPictureArea() override { return area; }
    const QImage &CapturePictureArea(bool) override { return captured = area; }
    QImage captured; // what the last capture saw, kept as the window keeps it
    void ShowNotice(const QString &s) override { notices << s; }
    void ShowRecordMessage(const QString &s) override { messages << s; }
    void SetRecordButtonDown(bool b) override { bButtonDown = b; }
    QString RecordNamePrefix() const override { return szPrefix; }
    QString szPrefix;
};

class RecorderTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        App();
        m_settings.m_byRecordDuration = 1; // 3 s
        SetFieldText(m_settings.m_szRecordPath, m_dir.path());
        m_pHost->SetHandler([this](int nId) { m_rec.OnTimer(nId); });
    }
    QStringList Files() const { return QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden); }
    QString File(const QString &name) const { return m_dir.filePath(name); }
    bool WaitSegments(int n)
    {
        return testsupport::WaitFor([&] { return m_rec.SegmentsDone() >= n; }, 20000);
    }
    // Ends the running segment on the clock and waits until its file is done.
    void Tick()
    {
        const int n = m_rec.SegmentsDone();
        ASSERT_TRUE(m_clock.AdvanceToNext());
        ASSERT_TRUE(WaitSegments(n + 1));
    }
    // A picture drawn 100 ms (six samples) after the last.
    void Draw(int nSeed)
    {
        m_clock.Advance(100);
        m_view.area = MakeImage(nSeed);
        m_rec.OnPictureDrawn();
    }

    QTemporaryDir m_dir;
    ManualClock m_clock;
    std::unique_ptr<ManualTimerHost> m_pHost = m_clock.CreateHost();
    ClientSettings m_settings;
    FakeRecordView m_view;
    CRecorder m_rec{m_view, *m_pHost, m_settings};
};

TEST_F(RecorderTest, StartsOnlyWhilePlayingForwards)
{
    for (uint16_t w : {uint16_t(0x0000), uint16_t(0x0101)}) {
        m_view.wPlayState = w;
        m_rec.OnRecordButton();
        EXPECT_FALSE(m_rec.IsRecording()) << w;
        EXPECT_FALSE(m_pHost->IsTimerRunning(RECORD_TIMER_ID));
    }
    m_view.wPlayState = PLAY_FORWARDS;
    m_rec.OnRecordButton();
    EXPECT_TRUE(m_rec.IsRecording());
    EXPECT_TRUE(m_view.bButtonDown);
    EXPECT_EQ(m_clock.NextDueIn(), 3000);
    EXPECT_EQ(m_view.notices.value(0), "Recording");
    m_rec.OnRecordButton(); // pressed again while playing forwards: stops
    EXPECT_FALSE(m_rec.IsRecording());
    EXPECT_FALSE(m_view.bButtonDown);
}

// Twenty minutes in segments: the tick times, the last one cut to the time left.
TEST_F(RecorderTest, SegmentsFillTwentyMinutes)
{
    struct Row {
        uint8_t byStep;
        int nTicks;
        int nLastMs;
    };
    for (const Row &row : {Row{13, 20, 60000}, Row{8, 35, 10000}}) {
        SCOPED_TRACE(int(row.byStep));
        m_settings.m_byRecordDuration = row.byStep;
        m_view.area = QImage(); // nothing shown: timing alone, no files
        const size_t nBefore = m_pHost->Ticks().size();
        const int64_t nStart = m_clock.Now();
        m_rec.StartRecord();
        while (m_rec.IsRecording())
            ASSERT_NO_FATAL_FAILURE(Tick());
        const auto &ticks = m_pHost->Ticks();
        ASSERT_EQ(int(ticks.size() - nBefore), row.nTicks);
        EXPECT_EQ(ticks.back().first - nStart, RECORD_TOTAL_MS);
        EXPECT_EQ(ticks.back().first - ticks[ticks.size() - 2].first, row.nLastMs);
        EXPECT_FALSE(m_pHost->IsTimerRunning(RECORD_TIMER_ID));
        EXPECT_FALSE(m_view.bButtonDown);
    }
    EXPECT_TRUE(Files().isEmpty());
}

TEST_F(RecorderTest, EachSegmentIsOneFileNamedAfterTheLastPicture)
{
    m_rec.StartRecord(); // captures picture 0
    Draw(1);
    Draw(2);
    m_view.szTime = "2005-03-01 12-00-08";
    ASSERT_NO_FATAL_FAILURE(Tick()); // writes 0, 1, 2; the next segment starts with picture 2
    EXPECT_EQ(m_view.notices.filter("Saving"), (QStringList{"Saving", "Saving OK"}));
    Draw(3);
    m_view.szTime = "2005-03-01 12-00-09";
    m_rec.StopRecord(); // writes at once, without waiting for the clock
    EXPECT_FALSE(m_pHost->IsTimerRunning(RECORD_TIMER_ID));
    EXPECT_FALSE(m_view.bButtonDown);
    ASSERT_TRUE(WaitSegments(2));
    EXPECT_FALSE(m_rec.IsSaving());
    EXPECT_EQ(Files(), (QStringList{"2005-03-01 12-00-08.avi", "2005-03-01 12-00-09.avi"}));
    CheckAvi(File("2005-03-01 12-00-08.avi"), 3, MakeImage(0), 6);
    CheckAvi(File("2005-03-01 12-00-09.avi"), 2, MakeImage(2), 6);
    EXPECT_EQ(m_rec.QueuedBytes(), 0);
}

TEST_F(RecorderTest, TwoSegmentEndsInQuickSuccessionWriteOneAfterTheOther)
{
    m_rec.StartRecord();
    Draw(1);
    ASSERT_TRUE(m_clock.AdvanceToNext()); // first segment queued
    Draw(2);
    m_rec.StopRecord(); // second one right behind it, same picture time
    EXPECT_TRUE(m_rec.IsSaving());
    ASSERT_TRUE(WaitSegments(2));
    EXPECT_EQ(Files(), (QStringList{"2005-03-01 12-00-05.avi", "2005-03-01 12-00-05_2.avi"}));
    CheckAvi(File("2005-03-01 12-00-05.avi"), 2, MakeImage(0), 6);
    CheckAvi(File("2005-03-01 12-00-05_2.avi"), 2, MakeImage(1), 6);
}

// A full disk in the middle of a segment: the file keeps every picture written
// before the error and stays readable, the recording stops and says so once, also
// when the failure comes back after its segment has ended.
TEST_F(RecorderTest, WriteErrorKeepsWhatWasWrittenAndStopsTheRecording)
{
    // The disk fills within the third picture: its size in each format.
    int64_t nJpegs = 0;
    for (int i = 0; i < 3; ++i) {
        const CPackedDib dib = CPackedDib::FromImage(MakeImage(i));
        nJpegs +=
            CJpegEncoder(90).Encode(dib.Pixels(), W, H, dib.RowBytes()).size() / (i < 2 ? 1 : 2);
    }
    const struct {
        uint8_t byFormat;
        bool bEndedFirst;
        int64_t nFault;
    } rows[] = {{RECORD_FORMAT_RAW, false, 2 * 921600 + 400000},
                {RECORD_FORMAT_RAW, true, 2 * 921600 + 400000},
                {RECORD_FORMAT_MJPEG, false, 8192 + nJpegs}};
    for (const auto &row : rows) {
        const bool bEndedFirst = row.bEndedFirst;
        SCOPED_TRACE(int(row.byFormat) * 10 + bEndedFirst);
        m_settings.m_byRecordFormat = row.byFormat;
        QDir(m_dir.path()).removeRecursively();
        QDir().mkpath(m_dir.path());
        m_view.messages.clear();
        m_view.area = MakeImage(0);
        const int nDone = m_rec.SegmentsDone();
        m_rec.FailNextSegmentAfter(row.nFault);
        m_rec.StartRecord();
        for (int i = 1; i < 6; ++i)
            Draw(i);
        if (bEndedFirst) {
            ASSERT_TRUE(m_clock.AdvanceToNext()); // the next segment fills meanwhile
        }
        ASSERT_TRUE(testsupport::WaitFor([&] { return !m_rec.IsRecording(); }, 20000));
        EXPECT_FALSE(m_view.bButtonDown);
        EXPECT_FALSE(m_pHost->IsTimerRunning(RECORD_TIMER_ID));
        ASSERT_TRUE(WaitSegments(nDone + 1 + bEndedFirst));
        ASSERT_EQ(m_view.messages.size(), 1);
        EXPECT_EQ(m_view.messages[0].toStdString(),
                  "Can Not Write AVI File! Recording Stopped.\nwrite: No space left on device");
        EXPECT_TRUE(m_view.notices.contains("Saving Failed"));
        // No ".part" left; the segment after the failed one keeps its picture.
        ASSERT_EQ(Files().size(), 1 + bEndedFirst);
        CheckAvi(File("2005-03-01 12-00-05.avi"), 2, MakeImage(0), 6);
        EXPECT_EQ(m_rec.QueuedBytes(), 0);
    }
}

TEST_F(RecorderTest, AfterPlayEndNoFileIsCreatedOrReplaced)
{
    m_rec.StartRecord();
    Draw(1);
    m_view.wPlayState = 0; // "## Play End ##"
    ASSERT_NO_FATAL_FAILURE(Tick());
    ASSERT_EQ(Files(), QStringList{"2005-03-01 12-00-05.avi"});
    const QFileInfo before(File("2005-03-01 12-00-05.avi"));
    Draw(2); // not playing: not captured
    ASSERT_NO_FATAL_FAILURE(Tick());
    ASSERT_NO_FATAL_FAILURE(Tick());
    EXPECT_TRUE(m_rec.IsRecording()); // the recording runs on, empty
    EXPECT_EQ(Files(), QStringList{"2005-03-01 12-00-05.avi"});
    const QFileInfo after(File("2005-03-01 12-00-05.avi"));
    EXPECT_EQ(after.size(), before.size());
    EXPECT_EQ(after.lastModified(), before.lastModified());
    CheckAvi(after.filePath(), 2, MakeImage(0), 6);
}

// The disk behind (here: no room at all on the way to it): pictures are dropped
// and counted, the operator is told once per recording without a box that waits,
// and at the end how many were lost.
TEST_F(RecorderTest, DroppedPicturesAreToldOnceAndCounted)
{
    m_rec.SetQueueLimit(0);
    m_rec.StartRecord();
    for (int i = 1; i < 10; ++i)
        Draw(i);
    EXPECT_EQ(m_view.messages, QStringList{"Can Not Record Images Any More!"});
    EXPECT_EQ(m_view.notices.last(), "Can Not Record Images Any More!");
    EXPECT_EQ(m_rec.DroppedPictures(), 10);
    m_rec.StopRecord();
    ASSERT_TRUE(WaitSegments(1));
    EXPECT_EQ(m_view.notices.last(), "Dropped 10 Pictures");
    EXPECT_TRUE(Files().isEmpty());
    m_rec.StartRecord();
    Draw(1);
    EXPECT_EQ(m_view.messages.size(), 2); // a new recording tells again
    m_rec.Finish();

    // A new recording started before the last one is written keeps its report.
    m_view.messages.clear();
    m_rec.StartRecord();
    Draw(2);
    m_rec.StopRecord();
    m_rec.SetQueueLimit(DEFAULT_RECORD_QUEUE);
    m_rec.StartRecord();
    ASSERT_TRUE(WaitSegments(3));
    EXPECT_EQ(m_view.messages.last(), "Dropped 2 Pictures");
    m_rec.Finish();
}

// The recorder destroyed while recording, without Finish: the open segment is
// written out under the time of its first picture, with its recorder's prefix, not
// thrown away.
TEST_F(RecorderTest, DestroyedWhileRecordingKeepsTheSegment)
{
    m_view.szPrefix = QStringLiteral("REC3_");
    {
        CRecorder rec(m_view, *m_pHost, m_settings);
        rec.StartRecord();
        m_clock.Advance(100);
        m_view.area = MakeImage(1);
        rec.OnPictureDrawn();
        m_view.szTime = "2005-03-01 12-00-07";
    }
    ASSERT_EQ(Files(), QStringList{"REC3_2005-03-01 12-00-05.avi"});
    CheckAvi(File("REC3_2005-03-01 12-00-05.avi"), 2, MakeImage(0), 6);
}

// Each picture at the sample of its capture time from the segment's first; the
// later of two captures in one sample replaces the earlier, unless both drew the
// same channel: then the later goes into the next sample.
TEST_F(RecorderTest, PicturesGoAtTheSampleOfTheirCaptureTime)
{
    const struct {
        int64_t nAtMs;
        int nChannel;
        int64_t nSample; // -1: replaced by the next capture
    } rows[] = {{0, -1, -1},   {8, 0, 0},      {16, 2, -1},   {17, 3, 1}, // the first starts it
                {1000, 0, 60}, {1004, 0, -1}, {1010, 1, 61}};
    const int64_t nStart = m_clock.Now();
    std::vector<std::pair<int64_t, QByteArray>> expected;
    for (size_t i = 0; i < std::size(rows); ++i) {
        m_clock.Advance(nStart + rows[i].nAtMs - m_clock.Now());
        m_view.area = MakeImage(int(i));
        if (i == 0)
            m_rec.StartRecord();
        else
            m_rec.OnPictureDrawn(rows[i].nChannel);
        if (rows[i].nSample >= 0)
            expected.emplace_back(rows[i].nSample, PictureSum(m_view.area));
    }
    m_rec.StopRecord();
    ASSERT_TRUE(WaitSegments(1));
    EXPECT_EQ(m_rec.CapturedPictures(), 4);
    EXPECT_EQ(PictureSums(File("2005-03-01 12-00-05.avi")), expected);
}

// Four channels at 30 pictures a second for one whole segment of the default
// length, drawn at that rate: no picture is dropped, each sample holds the last
// picture captured in it, and the memory they take stays bounded.
TEST_F(RecorderTest, FullRateSegmentAtTheDefaultLengthKeepsEveryPicture)
{
    m_settings.m_byRecordDuration = ClientSettings().m_byRecordDuration;
    std::vector<QImage> shown;
    for (int i = 0; i < 4; ++i)
        shown.push_back(MakeImage(i).convertToFormat(QImage::Format_RGB32)); // as grabbed
    std::vector<QByteArray> sums;
    for (const QImage &img : shown)
        sums.push_back(PictureSum(img));
    std::map<int64_t, QByteArray> expected; // sample -> the last picture in it
    const auto nStart = std::chrono::steady_clock::now();
    const int64_t nStartMs = m_clock.Now();
    m_view.area = shown[0];
    m_rec.StartRecord();
    expected[0] = sums[0];
    int nDrawn = 1;
    while (m_clock.NextDueIn() > 9) {
        m_clock.Advance(8 + (nDrawn % 3 == 0)); // 120 pictures a second, in real time
        std::this_thread::sleep_until(nStart + std::chrono::milliseconds(m_clock.Now() - nStartMs));
        m_view.area = shown[size_t(nDrawn % 4)];
        m_rec.OnPictureDrawn();
        expected[std::llround((m_clock.Now() - nStartMs) * 60 / 1000.0)] =
            sums[size_t(nDrawn++ % 4)];
    }
    EXPECT_GE(nDrawn, 1790);
    ASSERT_NO_FATAL_FAILURE(Tick());
    m_rec.StopRecord();
    ASSERT_TRUE(WaitSegments(2));
    EXPECT_EQ(m_rec.DroppedPictures(), 0);
    EXPECT_TRUE(m_view.messages.isEmpty());
    EXPECT_LE(m_rec.PeakQueuedBytes(), 64 << 20);
    ASSERT_EQ(Files().size(), 2);
    const auto got = PictureSums(File(Files()[0]));
    const std::vector<std::pair<int64_t, QByteArray>> want(expected.begin(), expected.end());
    EXPECT_EQ(got, want);
    QFile::remove(File(Files()[0]));
}

TEST_F(RecorderTest, RecordFolderIsBuiltNeverEntered)
{
    testsupport::ScopedCurrentDir cwd;
    ASSERT_TRUE(cwd.isValid());
    // A path ending in a separator.
    SetFieldText(m_settings.m_szRecordPath, m_dir.path() + "/");
    m_rec.StartRecord();
    m_rec.StopRecord();
    ASSERT_TRUE(WaitSegments(1));
    EXPECT_EQ(Files(), QStringList{"2005-03-01 12-00-05.avi"});
    EXPECT_EQ(QDir::currentPath(), QDir(cwd.path()).canonicalPath());

    // A missing folder: "RECORD" below the current folder.
    SetFieldText(m_settings.m_szRecordPath, m_dir.path() + "/missing");
    ASSERT_TRUE(QDir(cwd.path()).mkdir("RECORD"));
    m_rec.StartRecord();
    m_rec.StopRecord();
    ASSERT_TRUE(WaitSegments(2));
    EXPECT_TRUE(QFileInfo::exists(cwd.filePath("RECORD/2005-03-01 12-00-05.avi")));
    EXPECT_EQ(QDir::currentPath(), QDir(cwd.path()).canonicalPath());
}

// Both formats: every picture in its place and order. MJPEG pictures are encoded
// on up to two threads; every other one carries grey grain that makes its encode
// several times slower, so a later picture is often encoded first, and must still
// be written after it.
TEST_F(RecorderTest, FinishWaitsForTheFileBeingWritten)
{
    std::vector<QImage> shown;
    for (int i = 0; i < 30; ++i) {
        shown.push_back(MakeImage(i));
        for (int y = 0; i % 2 == 0 && y < H; ++y) {
            uchar *p = shown.back().scanLine(y);
            for (int x = 0; x < W; ++x) {
                const int d = int((uint32_t(x * 7919 + y * 104729 + i) * 2654435761u) >> 28) - 8;
                for (int c = 0; c < 3; ++c)
                    p[3 * x + c] = uchar(std::clamp(p[3 * x + c] + d, 0, 255));
            }
        }
    }
    for (const uint8_t byFormat : {RECORD_FORMAT_RAW, RECORD_FORMAT_MJPEG}) {
        SCOPED_TRACE(int(byFormat));
        m_settings.m_byRecordFormat = byFormat;
        const int nDone = m_rec.SegmentsDone();
        m_view.area = shown[0];
        m_rec.StartRecord();
        for (size_t i = 1; i < shown.size(); ++i) {
            m_clock.Advance(100);
            m_view.area = shown[i];
            m_rec.OnPictureDrawn();
        }
        m_rec.Finish(); // no event loop: the file must be complete on return
        EXPECT_FALSE(m_rec.IsRecording());
        EXPECT_FALSE(m_rec.IsSaving());
        EXPECT_EQ(m_rec.SegmentsDone(), nDone + 1);
        const QString file =
            File(byFormat ? "2005-03-01 12-00-05_2.avi" : "2005-03-01 12-00-05.avi");
        CheckAvi(file, 30, shown[0], 6);
        CheckEveryPicture(file, shown);
    }
}

} // namespace
