// The main view with the real protocol client against the recorder simulator on
// 127.0.0.1: pictures of every channel land in their own tiles, a single channel
// fills the picture area, PTZ presses reach the recorder, and a silent recorder is
// retried, given up and reconnected. The client's timers run ten times faster than
// real time so the silence case takes about two seconds.

#include "protocol/netclientwnd.h"
#include "protocol/ptzcoding.h"
#include "protocol/timerhost.h"
#include "settings/clientsettings.h"
#include "support/testsupport.h"
#include "ui/live/ptzpanel.h"
#include "ui/live/telvaneview.h"
#include "net/qttimerhost.h"
#include "support/manualclock.h"

#include <QApplication>
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

namespace {

int g_argc = 1;
char g_arg0[] = "test_view_e2e";
char *g_argv[] = {g_arg0, nullptr};

QApplication &App()
{
    static QApplication *app = new QApplication(g_argc, g_argv);
    return *app;
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

// Channel 0..3 whose colour cast the region carries (the simulator tints its
// channels red, green, blue and yellow), or -1.
int CastOf(const QImage &img, const QRect &rc)
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
    if (n == 0)
        return -1;
    r /= n;
    g /= n;
    b /= n;
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

class ViewE2E : public ::testing::Test {
  protected:
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

TEST_F(ViewE2E, QuadTilesSingleChannelAndPtz)
{
    StartSimulator({});
    CreateView();
    m_pView->OnConnect();
    ASSERT_TRUE(WaitFor([&] { return AllTilesShowTheirChannel(); }, 8000))
        << qPrintable(m_pView->StatusText());
    EXPECT_EQ(m_pView->StatusText(), QStringLiteral("CONNECTION ESTABLISHED."));
    EXPECT_EQ(m_pView->m_byConnectState, 1);

    // Channel 3 alone: the whole picture area turns blue once its pictures arrive.
    m_pView->OnChannelButton(2);
    const QRect area = viewlayout::TileRect(0, 1).adjusted(4, 100, -4, -4);
    EXPECT_TRUE(WaitFor(
        [&] {
            const QImage img = m_pView->grab().toImage();
            return CastOf(img, area) == 2 &&
                   CastOf(img, QRect(area.left(), area.top(), 200, 150)) == 2 &&
                   CastOf(img, QRect(area.right() - 200, area.bottom() - 150, 200, 150)) == 2;
        },
        5000));
    ASSERT_TRUE(
        WaitFor([&] { return Requests(QStringLiteral("COMMAND_LIVE")).size() >= 2; }, 3000));
    // Only channel 3 keeps coming: pictures of the others would land in tile 0,
    // which now covers the whole area too.
    for (int i = 0; i < 5; ++i) {
        Spin(150);
        const QImage img = m_pView->grab().toImage();
        EXPECT_EQ(CastOf(img, area), 2) << "grab " << i;
    }
    const QList<QJsonObject> live = Requests(QStringLiteral("COMMAND_LIVE"));
    const QJsonArray words = live.last().value(QStringLiteral("words")).toArray();
    EXPECT_EQ(words.at(0).toInt(), 0); // one channel
    EXPECT_EQ(words.at(1).toInt(), 3); // channel 3, 1-based

    // A PTZ press and release.
    CNetClientWnd *pNet = m_pView->Client()->NetClient();
    ASSERT_NE(pNet, nullptr);
    const uint8_t type = m_pView->Settings().m_byPtzType;
    const uint8_t speed = m_pView->GetPtzSpeed();
    const PtzCoding press = CodePtz(type, speed, 0, true, pNet->VersionCode(), 0, speed);
    const PtzCoding release =
        CodePtz(type, speed, 0, false, pNet->VersionCode(), press.wPtzCommandInfo, speed);
    m_pView->PtzPanel()->OnSkinPress(0, 1);
    m_pView->PtzPanel()->OnSkinPress(0, 0);
    std::vector<PtzRequest> expected = press.requests;
    expected.insert(expected.end(), release.requests.begin(), release.requests.end());
    ASSERT_TRUE(WaitFor(
        [&] { return Requests(QStringLiteral("COMMAND_PTZ")).size() >= int(expected.size()); },
        3000));
    const QList<QJsonObject> ptz = Requests(QStringLiteral("COMMAND_PTZ"));
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const PayloadWords want = expected[i].Payload();
        const QJsonArray got = ptz[int(i)].value(QStringLiteral("words")).toArray();
        for (int w = 0; w < 4; ++w)
            EXPECT_EQ(uint32_t(got.at(w).toDouble()), want[std::size_t(w)])
                << "request " << i << " word " << w;
    }

    m_pView->OnLinkLost();
    EXPECT_EQ(m_pView->StatusText(), QStringLiteral("WAITING FOR CONNECTION."));
}

// Circular monitoring against the simulator: the view's clock runs on a manual clock,
// the pictures arrive for real. Each channel stays for the interval + 1 seconds and the
// recorder is asked for each one in turn.
TEST_F(ViewE2E, CircularMonitoringStepsThroughTheChannels)
{
    StartSimulator({});
    ManualClock &clock = m_viewClock;
    m_pViewTimers = clock.CreateHost();
    CreateView(m_pViewTimers.get());
    ASSERT_EQ(m_pView->Settings().m_byRotateInterval, 3);
    m_pView->OnConnect();
    ASSERT_TRUE(WaitFor([&] { return AllTilesShowTheirChannel(); }, 8000));
    KeepShot("quad.png");

    m_pView->OnChannelButton(1);
    ASSERT_TRUE(WaitFor([&] { return SingleAreaCast() == 1; }, 5000));
    KeepShot("single-ch2.png");

    // Starting shows the next seen channel at once, then every 4 s the one after.
    m_pView->ToggleRotation();
    ASSERT_TRUE(m_pView->IsRotating());
    const struct {
        int64_t nAdvance;
        int nChannel;
    } steps[] = {{0, 2}, {3000, 2}, {1000, 3}, {4000, 0}, {3999, 0}, {1, 1}};
    int nStep = 0;
    for (const auto &step : steps) {
        clock.Advance(step.nAdvance);
        EXPECT_EQ(m_pView->m_wRequestChannel, step.nChannel) << "step " << nStep;
        EXPECT_TRUE(WaitFor([&] { return SingleAreaCast() == step.nChannel; }, 5000))
            << "step " << nStep;
        const std::string name = "rotation-" + std::to_string(nStep) + "-at" +
                                 std::to_string(clock.Now()) + "ms-ch" +
                                 std::to_string(step.nChannel + 1) + ".png";
        KeepShot(name.c_str());
        ++nStep;
    }
    // The recorder was asked for channels 3, 4, 1 and 2 alone, in that order, after the
    // grid and channel 2 (its log may trail the pictures a little).
    auto singleChannels = [&] {
        std::vector<int> out;
        for (const QJsonObject &o : Requests(QStringLiteral("COMMAND_LIVE"))) {
            const QJsonArray words = o.value(QStringLiteral("words")).toArray();
            out.push_back(words.at(0).toInt() == 0 ? words.at(1).toInt() : 0);
        }
        return out;
    };
    const std::vector<int> wanted{0, 2, 3, 4, 1, 2};
    EXPECT_TRUE(WaitFor([&] { return singleChannels() == wanted; }, 3000))
        << ::testing::PrintToString(singleChannels());

    // Screen-mode 2 ends it and the grid fills again.
    m_pView->OnScreenModeButton(1);
    EXPECT_FALSE(m_pView->IsRotating());
    EXPECT_TRUE(WaitFor([&] { return AllTilesShowTheirChannel(); }, 5000));
    KeepShot("quad-after-rotation.png");
}

TEST_F(ViewE2E, SilentRecorderIsRetriedThenReconnected)
{
    StartSimulator({QStringLiteral("--silent-after"), QStringLiteral("20")});
    CreateView();
    m_pView->OnConnect();
    QStringList statuses;
    auto record = [&] {
        const QString s = m_pView->StatusText();
        if (statuses.isEmpty() || statuses.last() != s)
            statuses << s;
    };
    auto seenInOrder = [&](const QStringList &want) {
        int i = 0;
        for (const QString &s : statuses)
            if (i < want.size() && s == want[i])
                ++i;
        return i == want.size();
    };
    const QStringList want{
        QStringLiteral("CONNECTION ESTABLISHED."), QStringLiteral("TRY REQUEST IMAGE 1"),
        QStringLiteral("TRY REQUEST IMAGE 2"), QStringLiteral("TRY RECONNECTION"),
        QStringLiteral("CONNECTION ESTABLISHED.")};
    EXPECT_TRUE(WaitFor([&] { return seenInOrder(want); }, 8000, record))
        << qPrintable(statuses.join(QStringLiteral(" | ")));
    // The new connection logs in and asks for pictures again, and they arrive.
    EXPECT_TRUE(WaitFor(
        [&] {
            int connects = 0, liveOnSecond = 0;
            for (const QJsonObject &o : Log()) {
                if (o.value(QStringLiteral("event")).toString() == QStringLiteral("connect"))
                    ++connects;
                if (o.value(QStringLiteral("conn")).toInt() >= 2 &&
                    o.value(QStringLiteral("name")).toString() == QStringLiteral("COMMAND_LIVE"))
                    ++liveOnSecond;
            }
            return connects >= 2 && liveOnSecond >= 1;
        },
        4000));
    EXPECT_EQ(m_pView->m_byConnectState, 1);
}

} // namespace
