// End to end: the protocol client with its real socket adapter and Qt timers against
// the recorder simulator on 127.0.0.1. Waits run an event loop until a condition
// holds, with generous deadlines; the session time-outs are shortened by a scaled
// timer host where a test has to live through them.

#include "clientfakes.h"
#include "imaging/markers.h"
#include "protocol/netclientwnd.h"
#include "protocol/timerhost.h"
#include "support/testsupport.h"
#include "net/qttimerhost.h"
#include "net/clientsocket.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

using namespace clienttest;

namespace {

using testsupport::Spin;
using testsupport::WaitFor;

// Qt timers with every period divided by a factor, so a 15 s give-up takes 1.5 s.
class ScaledTimerHost : public ITimerHost {
  public:
    explicit ScaledTimerHost(int nDivisor) : m_nDivisor(nDivisor)
    {
        m_host.SetHandler([this](int nId) { Fire(nId); });
    }
    void StartTimer(int nId, int nPeriodMs) override
    {
        m_host.StartTimer(nId, std::max(1, nPeriodMs / m_nDivisor));
    }
    void KillTimer(int nId) override { m_host.KillTimer(nId); }
    bool IsTimerRunning(int nId) const override { return m_host.IsTimerRunning(nId); }

  private:
    QtTimerHost m_host;
    int m_nDivisor;
};

// The simulator as a child process on an ephemeral loopback port.
class Simulator {
  public:
    bool Start(const QStringList &options)
    {
        if (!QFileInfo::exists(testsupport::simulatorPath()))
            return false;
        QStringList args = {"--listen", "127.0.0.1", "--port", "0"};
        args += options;
        m_process.setProgram(testsupport::simulatorPath());
        m_process.setArguments(args);
        m_process.setProcessChannelMode(QProcess::SeparateChannels);
        m_process.start();
        if (!m_process.waitForStarted(5000))
            return false;
        QByteArray out;
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 10000) {
            m_process.waitForReadyRead(200);
            out += m_process.readAllStandardOutput();
            const int n = out.indexOf("LISTENING ");
            if (n >= 0 && out.indexOf('\n', n) > n) {
                m_nPort = out.mid(n + 10, out.indexOf('\n', n) - n - 10).trimmed().toInt();
                return m_nPort > 0;
            }
            if (m_process.state() == QProcess::NotRunning)
                return false;
        }
        return false;
    }
    ~Simulator()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill(); // our own child, by its handle
            m_process.waitForFinished(3000);
        }
    }
    int Port() const { return m_nPort; }

  private:
    QProcess m_process;
    int m_nPort = 0;
};

class ClientE2E : public ::testing::Test {
  protected:
    void SetUp() override { EnsureApp(); }

    // Starts the simulator and a client bound to it; the test is skipped when the
    // simulator is not built.
    bool Begin(const QStringList &options, int nTimeDivisor = 1)
    {
        if (!sim.Start(options))
            return false;
        if (nTimeDivisor > 1)
            timers = std::make_unique<ScaledTimerHost>(nTimeDivisor);
        else
            timers = std::make_unique<QtTimerHost>();
        client = std::make_unique<CNetClientWnd>(*timers, CClientSocket::Factory());
        view.pClient = client.get();
        view.settings.m_nHostPort = sim.Port();
        client->Create(&view);
        return true;
    }
    bool ConnectButton()
    {
        if (!client->Connect(FieldText(view.settings.m_szHostIP), view.settings.m_nHostPort))
            return false;
        view.byConnectState = 2;
        return true;
    }
    void TearDown() override
    {
        if (client)
            client->Disconnect(true);
        client.reset();
    }

    testsupport::IsolatedSettings isolated;
    Simulator sim;
    FakeView view;
    std::unique_ptr<ITimerHost> timers;
    std::unique_ptr<CNetClientWnd> client;
};

#define BEGIN_OR_SKIP(...)                                                                         \
    if (!Begin(__VA_ARGS__))                                                                       \
    GTEST_SKIP() << "recorder simulator not available at "                                         \
                 << testsupport::simulatorPath().toStdString()

struct VersionCase {
    const char *text;
    uint8_t code;
};

class ClientE2EVersion : public ClientE2E, public ::testing::WithParamInterface<VersionCase> {};

TEST_P(ClientE2EVersion, LogsInAndReceivesLivePictures)
{
    BEGIN_OR_SKIP({"--version-text", GetParam().text, "--fps", "40"});
    ASSERT_TRUE(ConnectButton());
    ASSERT_TRUE(WaitFor([&] { return view.shown.size() >= 4; }, 10000));
    EXPECT_EQ(view.byConnectState, 1);
    EXPECT_EQ(client->VersionCode(), GetParam().code);
    EXPECT_EQ(std::string(client->KeptVersion().data()), GetParam().text);
    EXPECT_EQ(view.Codes().front(), STATUS_ESTABLISHED);
}

INSTANTIATE_TEST_SUITE_P(Versions, ClientE2EVersion,
                         ::testing::Values(VersionCase{"DVR PACKET1.0", 1},
                                           VersionCase{"DVR PACKET1.2", 2},
                                           VersionCase{"DVR PACKET7.7", 3}));

TEST_F(ClientE2E, AllChannelStreamIsFiledUnderTheMarkedChannels)
{
    BEGIN_OR_SKIP({"--fps", "60"});
    ASSERT_TRUE(ConnectButton());
    auto allSeen = [&] {
        for (int i = 0; i < 4; ++i)
            if (!view.pictures[i].pBits)
                return false;
        return true;
    };
    ASSERT_TRUE(WaitFor(allSeen, 10000));
    for (int i = 0; i < 4; ++i) {
        const ChannelPicture &pic = view.pictures[i];
        const PictureRows rows =
            PictureRows::FromHeader(*pic.pHeader, pic.pBits, pic.pHeader->biSizeImage);
        EXPECT_EQ(CheckChannelMarker(rows), i) << "index " << i;
    }
    for (int index : view.shown)
        EXPECT_LT(index, 4);
}

TEST_F(ClientE2E, SingleChannelRequestBringsOnlyThatChannel)
{
    BEGIN_OR_SKIP({"--fps", "60"});
    ASSERT_TRUE(ConnectButton());
    ASSERT_TRUE(WaitFor([&] { return !view.shown.empty(); }, 10000));
    view.wRequestChannel = 0x0002; // channel 3 alone
    client->SendCommand(KIND_LIVE, true);
    ASSERT_TRUE(WaitFor([&] { return !view.shown.empty() && view.shown.back() == 2; }, 5000));
    view.shown.clear();
    ASSERT_TRUE(WaitFor([&] { return view.shown.size() >= 10; }, 5000));
    EXPECT_EQ(view.shown, std::vector<int>(view.shown.size(), 2));
}

TEST_F(ClientE2E, SilentRecorderIsAskedAgainThenReconnected)
{
    // Time runs ten times faster on the client: retries at 0.5 s and 1 s, give-up at
    // 1.5 s, the reconnection attempt at 2 s.
    BEGIN_OR_SKIP({"--fps", "40", "--silent-after", "8"}, 10);
    ASSERT_TRUE(ConnectButton());
    ASSERT_TRUE(WaitFor([&] { return view.shown.size() >= 8; }, 10000));
    const size_t nFirst = view.shown.size();
    ASSERT_TRUE(WaitFor([&] { return view.shown.size() > nFirst; }, 15000));
    const std::vector<int> codes = view.Codes();
    // established, 2 x try request, reconnection, attempt, connecting, established
    const std::vector<int> expected = {1, 6, 6, 4, 4, 2, 1};
    EXPECT_EQ(codes, expected);
    EXPECT_EQ(view.byConnectState, 1);
    EXPECT_EQ(view.nLinkLost, 0);
}

// Logs in with a plain socket and fetches the event list's data block, as an
// independent witness of what the simulator sends.
QByteArray FetchEventListDirectly(int nPort)
{
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), quint16(nPort));
    if (!socket.waitForConnected(5000))
        return {};
    RequestValues values;
    values.userId = "admin";
    values.password = DEFAULT_PASSWORD;
    const auto login = BuildRequest(KIND_LOGIN, VersionText{}, values);
    socket.write(reinterpret_cast<const char *>(login.data()), qint64(login.size()));
    QByteArray in;
    auto need = [&](int n) {
        QElapsedTimer clock;
        clock.start();
        while (in.size() < n && clock.elapsed() < 5000)
            if (socket.waitForReadyRead(200))
                in += socket.readAll();
        return in.size() >= n;
    };
    if (!need(60))
        return {};
    in.remove(0, 60);
    const auto request = BuildRequest(KIND_EVENT, MakeVersionText(PACKET_VERSION_12), values);
    socket.write(reinterpret_cast<const char *>(request.data()), qint64(request.size()));
    if (!need(60))
        return {};
    const uint32_t nSize = ReadLE32(reinterpret_cast<const uint8_t *>(in.constData()) + 16);
    if (ReadLE32(reinterpret_cast<const uint8_t *>(in.constData()) + 24) != COMMAND_R_EVENT)
        return {};
    if (!need(int(nSize)))
        return {};
    return in.mid(60, int(nSize) - 60);
}

TEST_F(ClientE2E, EventListIsStoredByteForByte)
{
    testsupport::ScopedCurrentDir cwd;
    ASSERT_TRUE(cwd.isValid());
    const QStringList options = {"--events",      "73",
                                 "--range-start", "2005-03-01T00:00:00",
                                 "--range-end",   "2005-03-15T23:00:00",
                                 "--fps",         "20"};
    if (!Begin(options))
        GTEST_SKIP() << "recorder simulator not available";
    FakeArchive archive;
    client->SetArchive(&archive);
    ASSERT_TRUE(ConnectButton());
    ASSERT_TRUE(WaitFor([&] { return !view.shown.empty(); }, 10000));
    client->SendCommand(KIND_EVENT, true);
    ASSERT_TRUE(WaitFor([&] { return archive.nEventListReady > 0; }, 10000));
    QFile file(CReceivePath::EVENT_FILE_NAME);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray stored = file.readAll();
    EXPECT_EQ(stored.size(), 730);
    EXPECT_EQ(stored, FetchEventListDirectly(sim.Port()));
    EXPECT_EQ(client->CurrentKind(), KIND_LIVE); // restored after the list
    file.close();
    client->Disconnect(true);
}

TEST_F(ClientE2E, AlertReportsShowOnlyWithAlertModeOn)
{
    BEGIN_OR_SKIP({"--alert-interval", "20", "--alert-bad-channels", "--fps", "10"});
    ASSERT_TRUE(ConnectButton());
    ASSERT_TRUE(WaitFor([&] { return view.byConnectState == 1 && !view.shown.empty(); }, 10000));
    client->SetAlertRequest(0x0501);
    client->SendCommand(KIND_ALERT, false); // reports flow, but the setting is off
    Spin(600);
    for (const auto &status : view.statuses)
        EXPECT_NE(status.first, STATUS_EVENT_REPORT);
    EXPECT_EQ(client->LastAlertWord(), 0u);

    view.settings.m_bUseAlertMode = 1;
    ASSERT_TRUE(WaitFor(
        [&] { return !view.statuses.empty() && view.statuses.back().first == STATUS_EVENT_REPORT; },
        5000));
    const uint8_t byChannel = client->LastAlertWord() & 0xFF;
    EXPECT_GE(byChannel, 1);
    EXPECT_LE(byChannel, 4);
}

struct FaultCase {
    const char *name;
    QStringList options;
    int nPictures; // the simulator goes silent after these
};

class ClientE2EFault : public ClientE2E, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(ClientE2EFault, NoPictureIsLost)
{
    const int nPictures = GetParam().nPictures;
    QStringList options = {"--fps", "100", "--silent-after", QString::number(nPictures)};
    options += GetParam().options;
    BEGIN_OR_SKIP(options);
    ASSERT_TRUE(ConnectButton());
    WaitFor([&] { return view.shown.size() >= size_t(nPictures); }, 10000);
    Spin(300);
    EXPECT_EQ(view.shown.size(), size_t(nPictures));
    EXPECT_EQ(view.byConnectState, 1);
}

INSTANTIATE_TEST_SUITE_P(Faults, ClientE2EFault,
                         ::testing::Values(FaultCase{"plain", {}, 8},
                                           FaultCase{"coalesce", {"--coalesce", "3"}, 12},
                                           FaultCase{"coalesce7", {"--coalesce", "7"}, 14},
                                           FaultCase{"splitHeader", {"--split-header"}, 8},
                                           FaultCase{"trickle", {"--trickle", "1000,1"}, 6},
                                           FaultCase{"garbage", {"--garbage", "2"}, 8}),
                         [](const ::testing::TestParamInfo<FaultCase> &info) {
                             return std::string(info.param.name);
                         });

TEST_F(ClientE2E, HugeAnnouncementCostsOnlyThatPicture)
{
    BEGIN_OR_SKIP({"--fps", "100", "--silent-after", "12", "--oversize", "4", "--oversize-size",
                   "4294967295"});
    ASSERT_TRUE(ConnectButton());
    WaitFor([&] { return view.shown.size() >= 9; }, 10000);
    Spin(300);
    EXPECT_EQ(view.shown.size(), 9u); // pictures 4, 8 and 12 announced 4 GiB
    EXPECT_LT(client->Receiver().Capacity(), 1u << 20);
}

} // namespace
