#include "app/shell/aboutdlg.h"
#include "app/shell/mainframe.h"
#include "ui/common/messagebox.h"
#include "app/shell/singleinstanceguard.h"
#include "app/shell/telvaneapp.h"
#include "settings/clientsettings.h"
#include "support/testsupport.h"

#include <QApplication>
#include <QDate>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSettings>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

namespace {

class QtEnvironment : public ::testing::Environment {
  public:
    void SetUp() override { m_app = new QApplication(m_argc, m_argv); }
    void TearDown() override { delete m_app; }

  private:
    int m_argc = 1;
    char m_name[16] = "test_shell";
    char *m_argv[2] = {m_name, nullptr};
    QApplication *m_app = nullptr;
};

const auto *g_qt = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

// Points the runtime folder (where the instance lock lives) at a private folder.
class IsolatedRuntime {
  public:
    IsolatedRuntime() : m_old(qgetenv("XDG_RUNTIME_DIR"))
    {
        qputenv("XDG_RUNTIME_DIR", m_dir.path().toLocal8Bit());
    }
    ~IsolatedRuntime()
    {
        if (m_old.isNull())
            qunsetenv("XDG_RUNTIME_DIR");
        else
            qputenv("XDG_RUNTIME_DIR", m_old);
    }
    QString path() const { return m_dir.path(); }
    QString lockFile() const { return m_dir.path() + QStringLiteral("/Telvane"); }

  private:
    QTemporaryDir m_dir;
    QByteArray m_old;
};

} // namespace

// ---- placement -------------------------------------------------------------

struct PlacementRow {
    QSize area;
    QPoint expected;
};

class Placement : public ::testing::TestWithParam<PlacementRow> {};

TEST_P(Placement, CentresWithIntegerDivision)
{
    EXPECT_EQ(CMainFrame::CenteredPosition(GetParam().area), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Areas, Placement,
                         ::testing::Values(PlacementRow{QSize(1036, 788), QPoint(79, 51)},
                                           PlacementRow{QSize(877, 685), QPoint(0, 0)},
                                           PlacementRow{QSize(1920, 1080), QPoint(521, 197)},
                                           PlacementRow{QSize(1024, 768), QPoint(73, 41)},
                                           // smaller than the frame: truncation toward zero
                                           PlacementRow{QSize(800, 600), QPoint(-38, -42)}));

TEST(MainFrame, IsBorderlessFixedSizeWithTwoPixelRimCut)
{
    CMainFrame frame;
    EXPECT_EQ(frame.size(), QSize(877, 685));
    EXPECT_EQ(frame.minimumSize(), QSize(877, 685));
    EXPECT_EQ(frame.maximumSize(), QSize(877, 685));
    EXPECT_TRUE(frame.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_TRUE(frame.isWindow());
    EXPECT_EQ(frame.windowTitle(), QStringLiteral("Telvane4"));

    const QRegion mask = frame.mask();
    EXPECT_EQ(mask, QRegion(2, 2, 873, 681));
    EXPECT_TRUE(mask.contains(QPoint(2, 2)));
    EXPECT_TRUE(mask.contains(QPoint(874, 682)));
    EXPECT_FALSE(mask.contains(QPoint(1, 100)));
    EXPECT_FALSE(mask.contains(QPoint(875, 100)));
    EXPECT_FALSE(mask.contains(QPoint(100, 683)));

    EXPECT_EQ(frame.pos(), CMainFrame::CenteredPosition(CMainFrame::MaxTrackingSize()));
}

TEST(MainFrame, PlaceWindowFullScreenPutsVisibleCornerAtScreenOrigin)
{
    CMainFrame frame;
    frame.show();
    frame.PlaceWindow(true);
    EXPECT_EQ(frame.pos(), QPoint(-2, -2));
    EXPECT_EQ(frame.mapToGlobal(frame.mask().boundingRect().topLeft()), QPoint(0, 0));
    EXPECT_EQ(frame.size(), QSize(877, 685));

    frame.PlaceWindow(false);
    const QSize screen = QGuiApplication::primaryScreen()->size();
    EXPECT_EQ(frame.pos(), QPoint((screen.width() - 877) / 2, (screen.height() - 685) / 2));
    EXPECT_EQ(frame.size(), QSize(877, 685));
}

TEST(MainFrame, ViewFillsTheFrameAndAReplacedViewIsDeleted)
{
    CMainFrame frame;
    QPointer<QWidget> first = new QWidget;
    frame.SetView(first);
    EXPECT_EQ(first->parentWidget(), &frame);
    EXPECT_EQ(first->geometry(), QRect(0, 0, 877, 685));
    EXPECT_EQ(frame.View(), first.data());

    auto *second = new QWidget;
    frame.SetView(second);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(first.isNull());
    EXPECT_EQ(frame.View(), second);
    EXPECT_EQ(second->geometry(), QRect(0, 0, 877, 685));
}

TEST(AboutDlg, ShowsVersionAndClosesWithOk)
{
    CAboutDlg about;
    bool versionShown = false;
    for (const QLabel *label : about.findChildren<QLabel *>())
        versionShown = versionShown || label->text().contains(CAboutDlg::VersionText());
    EXPECT_TRUE(versionShown);
    // The artwork, pinned by its picture (a grab of it, saved as it was drawn).
    QWidget *pArt = nullptr;
    for (QWidget *w : about.findChildren<QWidget *>())
        pArt = w->size() == QSize(96, 96) ? w : pArt;
    ASSERT_NE(pArt, nullptr);
    const QImage art = pArt->grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(art, QImage(QStringLiteral(TELVANE_SOURCE_DIR "/tests/app/data/about-artwork.png"))
                       .convertToFormat(QImage::Format_RGB32));
    auto *buttons = about.findChild<QDialogButtonBox *>();
    ASSERT_NE(buttons, nullptr);
    buttons->button(QDialogButtonBox::Ok)->click();
    EXPECT_EQ(about.result(), QDialog::Accepted);
}

// ---- single instance, in one process ---------------------------------------

TEST(SingleInstanceGuard, SecondHolderIsRefusedUntilTheFirstReleases)
{
    IsolatedRuntime runtime;
    CSingleInstanceGuard first;
    CSingleInstanceGuard second;
    EXPECT_EQ(first.LockFilePath(), runtime.lockFile());
    ASSERT_TRUE(first.Acquire());
    EXPECT_FALSE(second.Acquire());

    // However long the first copy has been running, its lock is not stale.
    QFile lock(runtime.lockFile());
    ASSERT_TRUE(lock.open(QIODevice::ReadWrite));
    ASSERT_TRUE(lock.setFileTime(QDateTime::currentDateTime().addDays(-2),
                                 QFileDevice::FileModificationTime));
    lock.close();
    EXPECT_FALSE(second.Acquire());

    first.Release();
    EXPECT_TRUE(second.Acquire());
}

TEST(TelvaneApp, SecondStartShowsTheErrorOnceAndLeavesTheFirstHolding)
{
    IsolatedRuntime runtime;
    struct Shown {
        QString text, caption;
        QMessageBox::Icon icon;
    };
    std::vector<Shown> shown;
    CScopedMessageBoxHandler answer([&](QWidget *, const QString &text, const QString &caption,
                                        QMessageBox::Icon icon, QMessageBox::StandardButtons) {
        shown.push_back({text, caption, icon});
        return QMessageBox::Ok;
    });

    CTelvaneApp first;
    ASSERT_TRUE(first.InitInstance());
    EXPECT_TRUE(shown.empty());

    CTelvaneApp second;
    EXPECT_FALSE(second.InitInstance());
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, QStringLiteral("Another instance of this program exists"));
    EXPECT_EQ(shown[0].caption, QStringLiteral("ERROR"));
    EXPECT_EQ(shown[0].icon, QMessageBox::Critical);

    second.ExitInstance(); // must not free the first copy's lock
    CSingleInstanceGuard probe;
    EXPECT_FALSE(probe.Acquire());
}

// ---- single instance, real processes ----------------------------------------

namespace {

QProcessEnvironment AppEnvironment(const IsolatedRuntime &runtime, const QString &config)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("TELVANE_TEST"), QStringLiteral("1"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), config);
    return env;
}

qint64 LockOwner(const QString &lockFile)
{
    QFile file(lockFile);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    return file.readLine().trimmed().toLongLong();
}

// Waits (generously) until the given process has written itself into the lock.
bool WaitForLockOwner(const QString &lockFile, const QProcess &process)
{
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 30000) {
        if (process.state() != QProcess::Running)
            return false;
        if (LockOwner(lockFile) == process.processId())
            return true;
        QThread::msleep(20);
    }
    return false;
}

void Stop(QProcess &process)
{
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(10000);
    }
}

} // namespace

// A lock left by a killed copy does not block the next start; a copy started while
// that one runs reports and exits, and the running one keeps the lock.
TEST(SingleInstanceProcesses, StaleLockIsTakenOverAndASecondCopyExits)
{
    IsolatedRuntime runtime;
    testsupport::IsolatedSettings settings;
    const QProcessEnvironment env = AppEnvironment(runtime, settings.path());

    QProcess crashed;
    crashed.setProcessEnvironment(env);
    crashed.start(testsupport::appPath(), {});
    ASSERT_TRUE(crashed.waitForStarted(10000)) << crashed.errorString().toStdString();
    ASSERT_TRUE(WaitForLockOwner(runtime.lockFile(), crashed));
    Stop(crashed); // SIGKILL: the lock file stays behind
    ASSERT_TRUE(QFile::exists(runtime.lockFile()));

    QProcess first;
    first.setProcessEnvironment(env);
    first.start(testsupport::appPath(), {});
    ASSERT_TRUE(first.waitForStarted(10000));
    ASSERT_TRUE(WaitForLockOwner(runtime.lockFile(), first))
        << first.readAllStandardError().toStdString();

    QProcess second;
    second.setProcessEnvironment(env);
    second.start(testsupport::appPath(), {});
    ASSERT_TRUE(second.waitForFinished(30000));
    const QString err = QString::fromUtf8(second.readAllStandardError());
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 1);
    EXPECT_EQ(
        err.count(QStringLiteral("MESSAGEBOX [ERROR] Another instance of this program exists")), 1)
        << err.toStdString();
    EXPECT_FALSE(err.contains(QStringLiteral("Cannot use the data folder"))) << err.toStdString();

    EXPECT_EQ(first.state(), QProcess::Running);
    EXPECT_EQ(LockOwner(runtime.lockFile()), first.processId());
    Stop(first);
}

// The unattended start (scripts/run.sh, the playback benchmark): connect once the form
// is up, then, once the link is up and not before, open the archive and play all four
// channels of yesterday from 12:00 forwards. Checked on the wire (the simulator's
// request log) and on the screen (the statistics line: the archive open, the pictures
// handed to the four windows). A recorder that never answers the login leaves the link
// down: the archive stays closed.
TEST(SingleInstanceProcesses, AutoConnectAndAutoPlayPlayYesterdayNoonForwardsOnceLinked)
{
    const QString noon = QDate::currentDate().addDays(-1).toString(Qt::ISODate) + "T12:00:00";
    const struct {
        QStringList simOptions;
        const char *pszStatsUntil; // the statistics line to wait for (a regular expression)
        QString playback;          // the simulator's playback actions
    } rows[] = {
        {{},
         " archive=1 .*playback=[1-9]\\d*,[1-9]\\d*,[1-9]\\d*,[1-9]\\d* ",
         "playback: all channels from " + noon + " forwards 1X"},
        {{"--never-answer"}, " archive=0 link=2 .*playback=0,0,0,0 ", ""},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.simOptions.join(' ').toStdString());
        IsolatedRuntime runtime;
        testsupport::IsolatedSettings settings;
        testsupport::ScopedCurrentDir cwd;
        ASSERT_TRUE(cwd.isValid());
        QProcess sim;
        sim.start(testsupport::simulatorPath(), QStringList{"--listen", "127.0.0.1", "--port", "0",
                                                            "--log", cwd.filePath("sim.log")} +
                                                    row.simOptions);
        ASSERT_TRUE(sim.waitForStarted(10000) && sim.waitForReadyRead(10000));
        const QList<QByteArray> listening = sim.readLine().trimmed().split(' ');
        ASSERT_TRUE(listening.size() == 2 && listening[0] == "LISTENING");
        {
            QSettings store(QString::fromLatin1(SETTINGS_ORGANIZATION),
                            QString::fromLatin1(SETTINGS_APPLICATION));
            store.beginGroup(QString::fromLatin1(SETTINGS_SECTION));
            store.setValue(QStringLiteral("Host IPAddress"), QStringLiteral("127.0.0.1"));
            store.setValue(QStringLiteral("Host Port"), listening[1].toInt());
        }
        QProcessEnvironment env = AppEnvironment(runtime, settings.path());
        env.insert(QStringLiteral("XDG_DATA_HOME"), cwd.path());
        env.insert(QStringLiteral("TELVANE_STATS"), cwd.filePath(QStringLiteral("stats.txt")));
        env.insert(QStringLiteral("TELVANE_AUTOCONNECT"), QStringLiteral("1"));
        env.insert(QStringLiteral("TELVANE_AUTOPLAY"), QStringLiteral("1"));
        QProcess app;
        app.setProcessEnvironment(env);
        app.setWorkingDirectory(cwd.path());
        app.start(testsupport::appPath(), {});
        ASSERT_TRUE(app.waitForStarted(10000));

        // The link that never comes up is given two statistics lines (two seconds).
        const QRegularExpression until(QString::fromLatin1(row.pszStatsUntil));
        QByteArray stats;
        const auto reached = [&] {
            return until.match(QString::fromLatin1(stats.split('\n').last())).hasMatch();
        };
        testsupport::WaitFor(
            [&] {
                QFile file(cwd.filePath(QStringLiteral("stats.txt")));
                stats = file.open(QIODevice::ReadOnly) ? file.readAll().trimmed() : QByteArray();
                return row.playback.isEmpty() ? stats.count('\n') >= 1 : reached();
            },
            15000);
        Stop(app);
        sim.kill();
        sim.waitForFinished(10000);
        EXPECT_TRUE(reached()) << stats.constData() << app.readAllStandardError().constData();

        QStringList playback;
        QFile log(cwd.filePath(QStringLiteral("sim.log")));
        ASSERT_TRUE(log.open(QIODevice::ReadOnly));
        for (const QByteArray &line : log.readAll().split('\n'))
            if (line.contains("\"COMMAND_RECORDER\""))
                playback << QString::fromUtf8(
                    line.mid(line.indexOf("\"action\":\"") + 10).split('"')[0]);
        playback.removeDuplicates(); // a play pressed as the link comes up may go out twice
        EXPECT_EQ(playback.join(QLatin1Char('\n')).toStdString(), row.playback.toStdString());
    }
}

// --version and --help answer on standard output and exit 0, with no display to
// open (the window-system plugin that needs one is asked for and never loaded).
TEST(CommandLine, VersionAndHelpNeedNoDisplay)
{
    IsolatedRuntime runtime;
    testsupport::IsolatedSettings settings;
    QProcessEnvironment env = AppEnvironment(runtime, settings.path());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    for (const char *pszOption : {"--version", "--help"}) {
        SCOPED_TRACE(pszOption);
        QProcess app;
        app.setProcessEnvironment(env);
        app.start(testsupport::appPath(), {QString::fromLatin1(pszOption)});
        ASSERT_TRUE(app.waitForFinished(10000));
        EXPECT_EQ(app.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(app.exitCode(), 0);
        EXPECT_EQ(app.readAllStandardError(), QByteArray());
        const QByteArray out = app.readAllStandardOutput();
        if (std::string(pszOption) == "--version")
            EXPECT_EQ(out, QByteArray("Telvane4 " TELVANE_VERSION "\n"));
        else
            EXPECT_TRUE(out.startsWith("Usage: telvane4") && out.contains("--version"))
                << out.constData();
    }
}
