// Passwords without a keyring, end to end against the simulator (which checks the
// password at login): "Save Password" NEVER asks at Connect, and a Cancel leaves
// that recorder out while the other logs in; on a machine where no keyring answers,
// the program itself works as with FILE.

#include "viewe2e.h"

namespace {

using namespace viewe2e;

class PasswordsE2E : public ViewE2E {
  protected:
    void TearDown() override
    {
        ViewE2E::TearDown();
        m_second.kill();
        m_second.waitForFinished(3000);
    }
    QProcess m_second;
};

TEST_F(PasswordsE2E, NeverAsksAtConnectAndCancelLeavesThatRecorderOut)
{
    ASSERT_NO_FATAL_FAILURE(StartSimulator({"--password", "Asked-0nce"}));
    const QString secondLog = m_cwd.filePath("sim2.log");
    m_second.start(testsupport::simulatorPath(),
                   {"--listen", "127.0.0.1", "--port", "0", "--scene", "2", "--log", secondLog});
    ASSERT_TRUE(WaitFor([&] { return m_second.canReadLine(); }, 5000));
    const QList<QByteArray> words = m_second.readLine().trimmed().split(' ');
    ASSERT_TRUE(words.size() == 2 && words[0] == "LISTENING");
    Store({{"Setting/Save Password", "NEVER"},
           {"Setting/User PSeed", ""},
           {"Setting2/Host IPAddress", "127.0.0.1"},
           {"Setting2/Host Port", words[1].toInt()},
           {"Setting2/User PSeed", ""}});
    std::vector<int> asked;
    m_fnAskPassword = [&](int nRecorder, QString &szPassword) {
        asked.push_back(nRecorder);
        szPassword = "Asked-0nce";
        return nRecorder == 0; // recorder 2's prompt is cancelled
    };
    ASSERT_NO_FATAL_FAILURE(CreateView());
    m_pView->OnConnect();
    ASSERT_TRUE(WaitFor([&] { return m_pView->Client()->NetClient()->Logins() == 1; }, 10000));
    EXPECT_EQ(asked, (std::vector<int>{0, 1}));
    EXPECT_EQ(m_pView->Recorders()->ConnectState(1), 0);
    Spin(300);
    QFile second(secondLog);
    EXPECT_TRUE(!second.open(QIODevice::ReadOnly) || !second.readAll().contains("COMMAND_LOGIN"))
        << "recorder 2 was asked to log in after its prompt was cancelled";

    // Kept for the run: a second Connect after Disconnect asks only recorder 2 again.
    m_pView->OnLinkLost();
    m_pView->OnConnect();
    EXPECT_TRUE(WaitFor([&] { return m_pView->Client()->NetClient()->Logins() == 2; }, 10000));
    EXPECT_EQ(asked, (std::vector<int>{0, 1, 1}));
    m_pView->OnExit();
    EXPECT_EQ(Stored("Setting/User PSeed").toString(), QString());
    EXPECT_EQ(Stored("Setting/Save Password").toString(), "NEVER");
}

// No session bus, so no keyring: the program logs in with the file's password and
// leaves it there, and the stored choice stays for a machine that has a keyring.
TEST_F(PasswordsE2E, WithoutAKeyringTheProgramWorksAsWithFile)
{
    ASSERT_NO_FATAL_FAILURE(StartSimulator({"--password", "Plain-F1le"}));
    Store({{"Setting/Host IPAddress", "127.0.0.1"},
           {"Setting/Host Port", m_nPort},
           {"Setting/User PSeed", "Plain-F1le"}});
    QProcessEnvironment noBus;
    noBus.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus");
    noBus.insert("DISPLAY", "");
    const ProgramRun run = RunProgramToExit(m_settings.path(), m_cwd.path(), noBus);
    EXPECT_EQ(run.nExit, 0) << run.output.constData();
    EXPECT_EQ(Requests("COMMAND_LOGIN").size(), 1);
    EXPECT_EQ(Stored("Setting/User PSeed").toString(), "Plain-F1le");
    EXPECT_EQ(Stored("Setting/Save Password").toString(), "KEYRING");
}

} // namespace
