// The recorders' passwords in a real keyring: gnome-keyring in a private D-Bus
// session (tests/keyring/with-keyring.sh runs this program; alone it skips), the
// real view and clients against the simulator, which checks the password at login.
// A password typed in System Setting goes into the keyring at Exit and logs in
// after a restart; the program moves an older file's password over and writes it
// nowhere; a locked keyring keeps the password in the file and says so. The last
// test locks the keyring: it stays last.

#include "keyring/keyring.h"
#include "ui/common/messagebox.h"
#include "ui/dialogs/systemsettingdlg.h"
#include "viewe2e.h"

#include <QDirIterator>
#include <QLineEdit>

namespace {

using namespace viewe2e;

// Runs a tool of the session; its standard output.
QString RunTool(const QString &tool, const QStringList &args)
{
    QProcess p;
    p.start(tool, args);
    p.waitForFinished(10000);
    return p.exitCode() == 0 ? QString::fromUtf8(p.readAllStandardOutput())
                             : QStringLiteral("<failed>");
}

class KeyringE2E : public ViewE2E {
  protected:
    void SetUp() override
    {
        if (qEnvironmentVariableIsEmpty("TELVANE_TEST_KEYRING_PASSWORD"))
            GTEST_SKIP() << "SKIPPED: needs the private keyring of tests/keyring/with-keyring.sh";
        ViewE2E::SetUp();
        m_fnCreateKeyring = CreateDesktopKeyring;
    }
    // What the keyring keeps for recorder 1, as secret-tool reads it.
    QString Kept() const
    {
        return RunTool("secret-tool", {"lookup", "server", KEYRING_SERVICE, "user",
                                       QStringLiteral("admin@127.0.0.1:%1").arg(m_nPort)});
    }
    bool LogsIn(uint64_t nLogins = 1)
    {
        return WaitFor([&] { return m_pView->Client()->NetClient()->Logins() == nLogins; }, 10000);
    }
    // Exit, and the settings written (after the keyring's answers).
    bool Exits()
    {
        m_pView->OnExit();
        return WaitFor([&] { return Stored("Setting/Record Duration").isValid(); }, 15000);
    }
};

TEST_F(KeyringE2E, TypedPasswordIsKeptInTheKeyringAndLogsInAfterARestart)
{
    ASSERT_NO_FATAL_FAILURE(StartSimulator({"--password", "Typed-K3y"}));
    ASSERT_NO_FATAL_FAILURE(CreateView());
    CIpPortHistory history;
    CSystemSettingDlg dlg(m_pView->SettingsRecord(), history);
    dlg.Edit(CSystemSettingDlg::ROW_PASSWORD)->setText("Typed-K3y");
    dlg.OnOK();
    m_pView->OnConnect();
    ASSERT_TRUE(LogsIn());
    ASSERT_TRUE(Exits());
    EXPECT_EQ(Stored("Setting/User PSeed").toString(), QString());
    EXPECT_EQ(Stored("Setting/Save Password").toString(), "KEYRING");
    EXPECT_EQ(Kept(), "Typed-K3y");

    // The next run reads it from the keyring; Connect waits for it if need be.
    m_pView.reset();
    ASSERT_NO_FATAL_FAILURE(CreateView());
    m_pView->OnConnect();
    EXPECT_TRUE(LogsIn());
    EXPECT_EQ(Requests("COMMAND_LOGIN").size(), 2);
}

// The program from start to Exit with a recognisable password in an older file's
// "User PSeed": it logs in with it, moves it into the keyring, and nothing the
// program writes -- its output, its statistics, the settings file, the files in its
// data folder -- holds it.
TEST_F(KeyringE2E, OlderFilesPasswordMovesOverAndAppearsInNothingTheProgramWrites)
{
    const QByteArray canary = "Canary-7qZ-Leak";
    QTemporaryDir simDir; // the simulator's own log is not the program's
    m_logPath = simDir.filePath("sim.log");
    ASSERT_NO_FATAL_FAILURE(StartSimulator({"--password", canary}));
    Store({{"Setting/User PSeed", canary},
           {"Setting/Host IPAddress", "127.0.0.1"},
           {"Setting/Host Port", m_nPort}});
    const ProgramRun run = RunProgramToExit(m_settings.path(), m_cwd.path());
    ASSERT_EQ(run.nExit, 0) << run.output.constData();
    EXPECT_EQ(Kept(), canary);
    EXPECT_FALSE(run.output.contains(canary)) << run.output.constData();
    QStringList searched;
    for (const QString &folder : {m_settings.path(), m_cwd.path()})
        for (QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
             it.hasNext();) {
            QFile file(it.next());
            EXPECT_TRUE(file.open(QIODevice::ReadOnly) && !file.readAll().contains(canary))
                << qPrintable(it.filePath());
            searched << it.fileName();
        }
    EXPECT_TRUE(searched.contains("Telvane4.conf") && searched.contains("stats.txt"))
        << qPrintable(searched.join(' '));
}

// Locks the keyring for the rest of this run: the last test.
TEST_F(KeyringE2E, LockedKeyringKeepsThePasswordInTheFileAndSaysSoOnce)
{
    ASSERT_NO_FATAL_FAILURE(StartSimulator({"--password", "Kept-1n-file"}));
    Store({{"Setting/User PSeed", "Kept-1n-file"}});
    ASSERT_NO_FATAL_FAILURE(CreateView());
    m_pView->OnConnect();
    ASSERT_TRUE(LogsIn());
    ASSERT_NE(
        RunTool("dbus-send", {"--session", "--print-reply", "--dest=org.freedesktop.secrets",
                              "/org/freedesktop/secrets", "org.freedesktop.Secret.Service.Lock",
                              "array:objpath:/org/freedesktop/secrets/collection/login"}),
        "<failed>");
    QStringList messages;
    CScopedMessageBoxHandler handler([&](QWidget *, const QString &text, const QString &,
                                         QMessageBox::Icon, QMessageBox::StandardButtons) {
        messages << text;
        return QMessageBox::Ok;
    });
    ASSERT_TRUE(Exits());
    EXPECT_EQ(Stored("Setting/User PSeed").toString(), "Kept-1n-file");
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].startsWith("The keyring did not keep the password of recorder 1"))
        << qPrintable(messages[0]);
}

} // namespace
