// The archive window with the real client against the recorder simulator on
// 127.0.0.1: Archive, a day inside the recording, play forwards, reverse, fast,
// pause and stop with the request words checked in the simulator's log and the
// picture times moving the right way; the event list played from one event; a
// stopped archive left alone; "Viewer" back to the four live channels.

#include "settings/eventlogfile.h"
#include "ui/archive/archivedlg.h"
#include "ui/controls/calendarctrl.h"
#include "ui/controls/skinslider.h"
#include "ui/dialogs/eventdlg.h"
#include "media/mediatestutil.h"
#include "support/privatecups.h"
#include "ui/common/messagebox.h"
#include "viewe2e.h"

#include <QDate>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTimer>
#include <QWindow>

#include <iostream>

#include <algorithm>

namespace {

using namespace viewe2e;
using testsupport::Spin;
using testsupport::WaitFor;

class ArchiveE2E : public ViewE2E {
  protected:
    void SetUp() override
    {
        ViewE2E::SetUp();
        m_fnCreateArchive = [this](const ArchiveHost &host) {
            ArchiveEnvironment env;
            env.host = host;
            env.fnBeep = [] {};
            auto pDlg = std::make_unique<CArchiveDlg>(std::move(env));
            m_pArchive = pDlg.get();
            return std::unique_ptr<IArchiveWindow>(std::move(pDlg));
        };
    }
    // Playback requests in the log: words 0..3.
    QList<QJsonArray> PlaybackWords() const
    {
        QList<QJsonArray> out;
        for (const QJsonObject &o : Requests(QStringLiteral("COMMAND_RECORDER")))
            out << o.value(QStringLiteral("words")).toArray();
        return out;
    }
    int64_t PictureSeconds() const
    {
        return int64_t(CalendarSecondsOf(m_pArchive->Control().PictureTime()));
    }
    void Press(archivelayout::ControlId id) { m_pArchive->OnCommand(id); }

    CArchiveDlg *m_pArchive = nullptr;
};

TEST_F(ArchiveE2E, PlayPauseReverseFastEventsAndBackToLive)
{
    const QDate yesterday = QDate::currentDate().addDays(-1);
    ASSERT_NO_FATAL_FAILURE(StartSimulator({QStringLiteral("--fps"), QStringLiteral("60"),
                                            QStringLiteral("--events"), QStringLiteral("12")}));
    ASSERT_NO_FATAL_FAILURE(CreateView());
    ASSERT_NE(m_pArchive, nullptr);
    m_pView->SettingsRecord().m_bDisplayPbTime = 1;
    m_pView->SettingsRecord().m_byRequestSpeed = 5; // "16X", neither default (4, 3)
    m_pView->OnConnect();
    ASSERT_TRUE(WaitFor([&] { return AllTilesShowTheirChannel(); }, 8000));

    m_pView->OnArchive();
    EXPECT_TRUE(m_pArchive->IsActive());
    EXPECT_TRUE(
        WaitFor([&] { return Requests(QStringLiteral("COMMAND_STOP")).size() >= 2; }, 3000));

    // Yesterday at 12:00:00, all four channels forwards.
    m_pArchive->Calendar()->SetDate(yesterday);
    QCoreApplication::postEvent(m_pArchive, new CCalendarPickEvent(0));
    Spin(20);
    m_pArchive->Slider()->setSliderPosition(12 * 3600);
    m_pArchive->Slider()->triggerAction(QAbstractSlider::SliderMove);
    Spin(20);
    Press(archivelayout::ControlId(archivelayout::CTRL_PLAY_1 + 3));
    ASSERT_TRUE(WaitFor([&] { return PlaybackWords().size() >= 1; }, 3000));
    QJsonArray words = PlaybackWords().last();
    EXPECT_EQ(words.at(0).toInt(), 0); // quad
    EXPECT_EQ(uint32_t(words.at(1).toInt()),
              uint32_t(yesterday.year() << 16 | yesterday.month() << 8 | yesterday.day()));
    EXPECT_EQ(uint32_t(words.at(2).toInt()), 12u << 24);
    EXPECT_EQ((words.at(3).toInt() >> 8) & 0xFF, 1); // start
    ASSERT_TRUE(WaitFor([&] { return m_pArchive->Control().PictureTime().nHour == 12; }, 5000));
    const int64_t t0 = PictureSeconds();
    Spin(1500);
    EXPECT_GT(PictureSeconds(), t0); // forwards
    EXPECT_FALSE(m_pArchive->StampText().isEmpty());
    const QImage shot = m_pArchive->grab().toImage();
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(CastOf(shot, m_pArchive->Cell(k).adjusted(4, 40, -4, -4)), k) << k;
    const QString dir = qEnvironmentVariable("TELVANE_VIEW_SHOTS");
    if (!dir.isEmpty())
        shot.save(QDir(dir).filePath(QStringLiteral("archive.png")));

    // Reverse while playing: play state 2, reverse bit; the time runs back.
    Press(archivelayout::ControlId(archivelayout::CTRL_PLAY_1 + 1));
    ASSERT_TRUE(WaitFor([&] { return PlaybackWords().size() >= 2; }, 3000));
    words = PlaybackWords().last();
    EXPECT_EQ((words.at(3).toInt() >> 8) & 0xFF, 2);
    EXPECT_EQ(words.at(3).toInt() >> 24, 1);
    Spin(500);
    const int64_t t1 = PictureSeconds();
    Spin(1500);
    EXPECT_LT(PictureSeconds(), t1);

    // Fast forward in single layout on channel 2.
    Press(archivelayout::ControlId(archivelayout::CTRL_CHANNEL_1 + 1));
    Press(archivelayout::ControlId(archivelayout::CTRL_PLAY_1 + 4));
    ASSERT_TRUE(WaitFor([&] { return PlaybackWords().size() >= 4; }, 3000));
    words = PlaybackWords().last();
    EXPECT_EQ(words.at(0).toInt(), 2);
    EXPECT_EQ((words.at(3).toInt() >> 16) & 0xFF, 5); // the settings' fast speed
    Spin(500);
    const int64_t t2 = PictureSeconds();
    Spin(1000);
    EXPECT_GT(PictureSeconds() - t2, 2);

    // Stop: play state 0, nothing more comes; the stopped archive is left alone.
    Press(archivelayout::ControlId(archivelayout::CTRL_PLAY_1 + 2));
    ASSERT_TRUE(WaitFor([&] { return PlaybackWords().size() >= 5; }, 3000));
    EXPECT_EQ((PlaybackWords().last().at(3).toInt() >> 8) & 0xFF, 0);
    EXPECT_EQ(m_pArchive->GetPlayState(), 0);
    const int nLogins = Requests(QStringLiteral("COMMAND_LOGIN")).size();
    Spin(12000); // two minutes of the client's tenfold timers: keep-alives only
    EXPECT_EQ(Requests(QStringLiteral("COMMAND_LOGIN")).size(), nLogins);
    EXPECT_EQ(PlaybackWords().size(), 5);
    EXPECT_GE(Requests(QStringLiteral("COMMAND_WATCHDOG")).size(), 1);

    // The event list: request, file, and playing one event of channel 3.
    m_pView->Client()->SendCommand(KIND_EVENT, false);
    ASSERT_TRUE(WaitFor([&] { return !CEventLogFile().Read().empty(); }, 3000));
    const std::vector<EventEntry> events = CEventLogFile().Read();
    auto it = std::find_if(events.begin(), events.end(), [](const EventEntry &e) {
        return e.bPlayable && e.record.byChannel == 3;
    });
    ASSERT_NE(it, events.end());
    const EventRecord &r = it->record;
    // Played as the operator plays it: a double-click on its row of the Event dialog.
    QTimer::singleShot(0, [&] {
        auto *pDlg = m_pArchive->findChild<CEventDlg *>();
        ASSERT_NE(pDlg, nullptr);
        EXPECT_TRUE(pDlg->OnListDoubleClick(int(it - events.begin())));
        pDlg->accept();
    });
    Press(archivelayout::CTRL_EVENT);
    ASSERT_TRUE(WaitFor([&] { return PlaybackWords().size() >= 6; }, 3000));
    words = PlaybackWords().last();
    EXPECT_EQ(words.at(0).toInt(), 3); // single layout, channel 3
    EXPECT_EQ(uint32_t(words.at(1).toInt()), uint32_t(it->nYear << 16 | r.byMonth << 8 | r.byDay));
    EXPECT_EQ(uint32_t(words.at(2).toInt()),
              uint32_t(r.byHour << 24 | r.byMinute << 16 | r.bySecond << 8));

    // "Viewer": after its pause the live window comes back with the four channels.
    Press(archivelayout::CTRL_VIEWER);
    ASSERT_TRUE(WaitFor([&] { return !m_pArchive->IsActive(); }, 3000));
    EXPECT_TRUE(m_pArchive->isHidden());
    EXPECT_TRUE(WaitFor([&] { return AllTilesShowTheirChannel(); }, 8000));
}

// Forward playback recorded with the shortest segments leaves AVI files that
// ffprobe reads and ffmpeg decodes cleanly and that hold every picture captured, a
// snapshot that identify accepts, and, through a private print server, a printed
// PDF with the picture. The window manager's close acts as "Viewer": refused while
// the last file is written, then back to live; the program never ends on it.
TEST_F(ArchiveE2E, RecordingSnapshotAndPrintLeaveReadableFiles)
{
    testsupport::CPrivateCups cups;
    const QString szNoCups = cups.Start();
    if (szNoCups.isEmpty()) {
        ASSERT_TRUE(cups.AddQueue(QStringLiteral("pdf"), testsupport::PDF_PPD, true));
    }
    ASSERT_NO_FATAL_FAILURE(StartSimulator({QStringLiteral("--fps"), QStringLiteral("60")}));
    ASSERT_NO_FATAL_FAILURE(CreateView());
    QTemporaryDir records;
    ASSERT_TRUE(records.isValid());
    ClientSettings &settings = m_pView->SettingsRecord();
    SetFieldText(settings.m_szRecordPath, records.path());
    settings.m_byRecordDuration = 1; // 3-second segments
    settings.m_byRecordFormat = RECORD_FORMAT_MJPEG;
    m_pView->OnConnect();
    ASSERT_TRUE(WaitFor([&] { return m_pView->GetConnectState() == 1; }, 5000));
    m_pView->OnArchive();
    m_pArchive->Calendar()->SetDate(QDate::currentDate().addDays(-1));
    QCoreApplication::postEvent(m_pArchive, new CCalendarPickEvent(0));
    Spin(20);
    Press(archivelayout::ControlId(archivelayout::CTRL_PLAY_1 + 3));
    ASSERT_TRUE(WaitFor([&] { return m_pArchive->Control().PictureTime().nYear > 2000; }, 5000));
    Press(archivelayout::CTRL_RECORD);
    QElapsedTimer recorded;
    recorded.start();
    ASSERT_TRUE(m_pArchive->Recorder().IsRecording());
    Spin(10000);
    int nLastWindowClosed = 0;
    QObject::connect(qApp, &QGuiApplication::lastWindowClosed, [&] { ++nLastWindowClosed; });
    QStringList boxes;
    CScopedMessageBoxHandler handler([&](QWidget *, const QString &text, const QString &,
                                         QMessageBox::Icon, QMessageBox::StandardButtons) {
        boxes << text;
        return QMessageBox::Ok;
    });
    ASSERT_NE(m_pArchive->windowHandle(), nullptr);
    m_pArchive->windowHandle()->close(); // the recording ends; its last file is written
    const double nRecordedS = recorded.elapsed() / 1000.0;
    EXPECT_FALSE(m_pArchive->Recorder().IsRecording());
    EXPECT_EQ(boxes, QStringList{"Saving AVI File Now.So Can Not Close This Window!"});
    EXPECT_TRUE(m_pArchive->isVisible());
    ASSERT_TRUE(WaitFor([&] { return !m_pArchive->Recorder().IsSaving(); }, 20000));
    EXPECT_EQ(m_pArchive->Recorder().DroppedPictures(), 0);
    Press(archivelayout::CTRL_SAVE);

    const QStringList avis = QDir(records.path()).entryList({QStringLiteral("*.avi")}, QDir::Files);
    EXPECT_GE(avis.size(), 2) << qPrintable(avis.join(' '));
    // MJPEG in real time: pictures in order at most one a sample, the files'
    // durations adding up to the time recorded.
    size_t nInFiles = 0;
    double nDurationS = 0;
    for (const QString &name : avis) {
        SCOPED_TRACE(name.toStdString());
        const QString file = QDir(records.path()).filePath(name);
        const mediatest::AviProbe probe = mediatest::Probe(file);
        EXPECT_EQ(probe.szCodec, QStringLiteral("mjpeg"));
        EXPECT_EQ(probe.szTag, QStringLiteral("MJPG"));
        EXPECT_EQ(probe.nWidth, 640);
        EXPECT_EQ(probe.nHeight, 480);
        ASSERT_FALSE(probe.pictures.empty());
        EXPECT_EQ(probe.pictures[0], 0);
        for (std::size_t i = 1; i < probe.pictures.size(); ++i)
            EXPECT_GT(probe.pictures[i], probe.pictures[i - 1]);
        nDurationS += (probe.pictures.back() + 1) / 60.0;
        nInFiles += probe.pictures.size();
        const mediatest::ToolRun decode =
            mediatest::Run("ffmpeg", {"-nostdin", "-v", "error", "-i", file, "-f", "null", "-"});
        EXPECT_EQ(decode.nExit, 0);
        EXPECT_EQ(decode.out + decode.err, QByteArray());
    }
    EXPECT_EQ(int(nInFiles), m_pArchive->Recorder().CapturedPictures());
    EXPECT_NEAR(nDurationS, nRecordedS, 1.0);
    const QStringList jpegs =
        QDir(records.path()).entryList({QStringLiteral("CAM0_*.jpg")}, QDir::Files);
    ASSERT_EQ(jpegs.size(), 1);
    const mediatest::ToolRun identify = mediatest::Run(
        "identify", {"-format", "%m %w %h %Q", QDir(records.path()).filePath(jpegs[0])});
    EXPECT_EQ(identify.out.trimmed(), QByteArray("JPEG 640 480 80"));
    EXPECT_EQ(m_pArchive->NoticeText(), QStringLiteral("Save OK"));

    if (!szNoCups.isEmpty()) {
        std::cout << "printing not tried: " << szNoCups.toStdString() << "\n";
    } else {
        Press(archivelayout::CTRL_PRINT);
        ASSERT_TRUE(WaitFor([&] { return cups.JobCount("completed") == 1; }, 20000));
        ASSERT_EQ(cups.Pdfs().size(), 1);
        const QString images = testsupport::RunTool(QStringLiteral("/usr/bin/pdfimages"),
                                                    {QStringLiteral("-list"), cups.Pdfs().first()});
        EXPECT_TRUE(images.contains(QRegularExpression(QStringLiteral("\\b640\\s+480\\b"))))
            << images.toStdString();
    }

    const int nLive = Requests(QStringLiteral("COMMAND_LIVE")).size();
    m_pArchive->windowHandle()->close();
    EXPECT_TRUE(WaitFor([&] { return !m_pArchive->isVisible(); }, 5000)); // after a short pause
    EXPECT_EQ(boxes.size(), 1);
    EXPECT_TRUE(
        WaitFor([&] { return Requests(QStringLiteral("COMMAND_LIVE")).size() > nLive; }, 5000));
    Spin(50);
    EXPECT_EQ(nLastWindowClosed, 0);
}

} // namespace
