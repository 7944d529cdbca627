#pragma once
// The main view with the real protocol client against the recorder simulator on
// 127.0.0.1: the fixture of the end-to-end view and archive tests. The client's
// timers run ten times faster than real time.

#include "protocol/netclientwnd.h"
#include "protocol/ptzcoding.h"
#include "protocol/timerhost.h"
#include "settings/clientsettings.h"
#include "support/testapp.h"
#include "support/testsupport.h"
#include "ui/live/ptzpanel.h"
#include "ui/live/telvaneview.h"
#include "net/qttimerhost.h"
#include "support/manualclock.h"

#include <QApplication>
#include <QColor>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

namespace viewe2e {

inline QApplication &App()
{
    return testsupport::TestApp<QApplication>();
}

// Qt timers at a tenth of their periods.
class FastTimerHost : public ITimerHost {
  public:
    FastTimerHost()
    {
        m_inner.SetHandler([this](int nId) { Fire(nId); });
    }
    void StartTimer(int nId, int nPeriodMs) override
    {
        m_inner.StartTimer(nId, std::max(1, nPeriodMs / 10));
    }
    void KillTimer(int nId) override { m_inner.KillTimer(nId); }
    bool IsTimerRunning(int nId) const override { return m_inner.IsTimerRunning(nId); }

  private:
    QtTimerHost m_inner;
};

using testsupport::Spin;
using testsupport::WaitFor;

// Mean colour of a region (every second pixel each way); invalid for an empty region.
inline QColor MeanColour(const QImage &img, const QRect &rc)
{
    double r = 0, g = 0, b = 0;
    int n = 0;
    for (int y = rc.top(); y <= rc.bottom(); y += 2)
        for (int x = rc.left(); x <= rc.right(); x += 2) {
            const QRgb p = img.pixel(x, y);
            r += qRed(p);
            g += qGreen(p);
            b += qBlue(p);
            ++n;
        }
    return n ? QColor::fromRgbF(float(r / n / 255), float(g / n / 255), float(b / n / 255))
             : QColor();
}

// Channel 0..3 whose colour cast the region carries (the simulator tints its
// channels red, green, blue and yellow), or -1.
inline int CastOf(const QImage &img, const QRect &rc)
{
    const QColor mean = MeanColour(img, rc);
    if (!mean.isValid())
        return -1;
    const double r = mean.redF() * 255, g = mean.greenF() * 255, b = mean.blueF() * 255;
    const double tints[4][3] = {{210, 50, 40}, {50, 190, 60}, {50, 80, 215}, {205, 195, 40}};
    int best = -1;
    double bestCos = 0.9; // a grey or black region matches nothing
    const double len = std::sqrt(r * r + g * g + b * b);
    for (int c = 0; c < 4; ++c) {
        const double *t = tints[c];
        const double tl = std::sqrt(t[0] * t[0] + t[1] * t[1] + t[2] * t[2]);
        const double cosine = len > 0 ? (r * t[0] + g * t[1] + b * t[2]) / (len * tl) : 0;
        if (cosine > bestCos) {
            bestCos = cosine;
            best = c;
        }
    }
    return best;
}

// The program's stored settings (in the test's isolated folder): a value, and values set.
inline QVariant Stored(const QString &key)
{
    return QSettings(QString::fromLatin1(SETTINGS_ORGANIZATION),
                     QString::fromLatin1(SETTINGS_APPLICATION))
        .value(key);
}
inline void Store(std::initializer_list<std::pair<const char *, QVariant>> values)
{
    QSettings store(QString::fromLatin1(SETTINGS_ORGANIZATION),
                    QString::fromLatin1(SETTINGS_APPLICATION));
    for (const auto &[key, value] : values)
        store.setValue(QString::fromLatin1(key), value);
}

// The program itself (Telvane4, offscreen) with the settings folder szConfig, working
// and data folder szWork (its statistics in stats.txt there), connecting at once and
// pressing Exit once recorder 1 is online: its exit code (-1: not ended in 30 s) and
// everything it printed.
struct ProgramRun {
    int nExit = -1;
    QByteArray output;
};
inline ProgramRun RunProgramToExit(const QString &szConfig, const QString &szWork,
                                   const QProcessEnvironment &extra = {})
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const auto &[key, value] : {std::pair{"XDG_CONFIG_HOME", szConfig},
                                     {"XDG_DATA_HOME", szWork},
                                     {"TELVANE_STATS", szWork + "/stats.txt"},
                                     {"TELVANE_AUTOCONNECT", "1"},
                                     {"TELVANE_AUTOEXIT", "1"},
                                     {"QT_QPA_PLATFORM", "offscreen"},
                                     {"TELVANE_TEST", "1"}})
        env.insert(QString::fromLatin1(key), value);
    env.insert(extra);
    QProcess app;
    app.setProcessEnvironment(env);
    app.setWorkingDirectory(szWork);
    app.setProcessChannelMode(QProcess::MergedChannels);
    app.start(testsupport::appPath(), {});
    ProgramRun run;
    if (app.waitForFinished(30000) && app.exitStatus() == QProcess::NormalExit)
        run.nExit = app.exitCode();
    app.kill();
    app.waitForFinished(5000);
    run.output = app.readAll();
    return run;
}

class ViewE2E : public ::testing::Test {
  protected:
    // The archive window when a test asks for one (env.fnCreateArchive), and the
    // keyring and password prompt (env.fnCreateKeyring, env.fnAskPassword).
    ArchiveFactory m_fnCreateArchive;
    std::function<std::unique_ptr<IKeyring>()> m_fnCreateKeyring;
    std::function<bool(int, QString &)> m_fnAskPassword;
    bool m_bSmallTiles = false; // the four channels in 160 x 120 cells

    void SetUp() override
    {
        App();
        ASSERT_TRUE(m_cwd.isValid());
        m_logPath = m_cwd.filePath(QStringLiteral("sim.log"));
    }
    void TearDown() override
    {
        m_pView.reset();
        if (m_sim.state() != QProcess::NotRunning) {
            m_sim.kill();
            m_sim.waitForFinished(3000);
        }
    }

    // Both stop at the first fault: callers wrap them in ASSERT_NO_FATAL_FAILURE, so
    // no test goes on without its simulator or with a view not aimed at 127.0.0.1.
    void StartSimulator(const QStringList &extra)
    {
        QStringList args{QStringLiteral("--listen"), QStringLiteral("127.0.0.1"),
                         QStringLiteral("--port"),   QStringLiteral("0"),
                         QStringLiteral("--log"),    m_logPath};
        args += extra;
        m_sim.start(testsupport::simulatorPath(), args);
        ASSERT_TRUE(m_sim.waitForStarted(5000)) << qPrintable(testsupport::simulatorPath());
        QByteArray out;
        QElapsedTimer t;
        t.start();
        while (!out.contains('\n') && t.elapsed() < 5000) {
            m_sim.waitForReadyRead(200);
            out += m_sim.readAllStandardOutput();
        }
        const QList<QByteArray> words = out.trimmed().split(' ');
        ASSERT_TRUE(words.size() == 2 && words[0] == "LISTENING") << out.constData();
        m_nPort = words[1].toInt();
        ASSERT_GT(m_nPort, 0);
    }

    void CreateView(ITimerHost *pViewTimers = nullptr)
    {
        {
            QSettings store(QString::fromLatin1(SETTINGS_ORGANIZATION),
                            QString::fromLatin1(SETTINGS_APPLICATION));
            store.beginGroup(QString::fromLatin1(SETTINGS_SECTION));
            store.setValue(QStringLiteral("Host IPAddress"), QStringLiteral("127.0.0.1"));
            store.setValue(QStringLiteral("Host Port"), m_nPort);
        }
        CTelvaneView::Environment env;
        env.fnCreateClient = [](IClientView *pView) {
            return CreateNetLiveClient(pView, std::make_unique<FastTimerHost>());
        };
        env.fnBeep = [] {};
        env.fnAbout = [] {};
        env.fnPlaceWindow = [](bool) {};
        env.pTimerHost = pViewTimers;
        env.fnCreateArchive = m_fnCreateArchive;
        env.fnCreateKeyring = m_fnCreateKeyring;
        env.fnAskPassword = m_fnAskPassword;
        env.bSmallTiles = m_bSmallTiles;
        m_pView = std::make_unique<CTelvaneView>(nullptr, env);
        m_pView->OnInitialUpdate();
        ASSERT_EQ(FieldText(m_pView->Settings().m_szHostIP), QStringLiteral("127.0.0.1"));
        ASSERT_NE(m_pView->Client(), nullptr);
    }

    QList<QJsonObject> Log() const
    {
        QList<QJsonObject> out;
        QFile f(m_logPath);
        if (!f.open(QIODevice::ReadOnly))
            return out;
        for (const QByteArray &line : f.readAll().split('\n'))
            if (!line.trimmed().isEmpty())
                out << QJsonDocument::fromJson(line).object();
        return out;
    }
    QList<QJsonObject> Requests(const QString &name) const
    {
        QList<QJsonObject> out;
        for (const QJsonObject &o : Log())
            if (o.value(QStringLiteral("name")).toString() == name)
                out << o;
        return out;
    }

    // Channel whose colour fills the single-mode picture area, or -1.
    int SingleAreaCast()
    {
        const QRect area = viewlayout::TileRect(0, 1).adjusted(4, 100, -4, -4);
        return CastOf(m_pView->grab().toImage(), area);
    }

    // With TELVANE_VIEW_SHOTS naming a folder, keeps a grab of the view there for a
    // person to look at.
    void KeepShot(const char *pszName)
    {
        const QString dir = qEnvironmentVariable("TELVANE_VIEW_SHOTS");
        if (!dir.isEmpty())
            m_pView->grab().save(QDir(dir).filePath(QString::fromLatin1(pszName)));
    }

    bool AllTilesShowTheirChannel()
    {
        const QImage img = m_pView->grab().toImage();
        for (int k = 0; k < 4; ++k)
            if (CastOf(img, m_pView->Tile(k).adjusted(4, 60, -4, -4)) != k)
                return false;
        return true;
    }

    testsupport::IsolatedSettings m_settings;
    testsupport::ScopedCurrentDir m_cwd;
    QString m_logPath;
    QProcess m_sim;
    int m_nPort = 0;
    // The view's timers when a test drives them by hand; they outlive the view.
    ManualClock m_viewClock;
    std::unique_ptr<ManualTimerHost> m_pViewTimers;
    std::unique_ptr<CTelvaneView> m_pView;
};

} // namespace viewe2e
