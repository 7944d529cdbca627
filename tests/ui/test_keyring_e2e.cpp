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
#include <QFileInfo>
#include <QLineEdit>

namespace {

using namespace viewe2e;

// secret-tool's view of the keyring: the password kept for the key, empty if none.
QString KeptInKeyring(const QString &szKey)
{
    QProcess tool;
    tool.start(QStringLiteral("secret-tool"),
               {QStringLiteral("lookup"), QStringLiteral("server"), QString::fromLatin1(KEYRING_SERVICE),
                QStringLiteral("user"), szKey});
    tool.waitForFinished(10000);
    return QString::fromUtf8(tool.readAllStandardOutput());
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
    QString Key() const { return QStringLiteral("admin@127.0.0.1:%1").arg(m_nPort); }
    QVariant Stored(const char *pszKey) const
    {
        return QSettings(QString::fromLatin1(SETTINGS_ORGANIZATION),
                         QString::fromLatin1(SETTINGS_APPLICATION))
            .value(QStringLiteral("Setting/") + QLatin1String(pszKey));
    }
    void StorePassword(const QString &szPassword)
    {
        QSettings(QString::fromLatin1(SETTINGS_ORGANIZATION), QString::fromLatin1(SETTINGS_APPLICATION))
            .setValue(QStringLiteral("Setting/User PSeed"), szPassword);
    }
    bool LogsIn(int nLogins = 1)
    {
        return WaitFor([&] { return m_pView->Client()->NetClient()->Logins() == uint64_t(nLogins); },
                       10000);
    }
    // Exit, and the settings written (the keyring's answers may take a while).
    bool Exits()
    {
        m_pView->OnExit();
        return WaitFor([&] { return Stored("Record Duration").isValid(); }, 15000);
    }
};

TEST_F(KeyringE2E, TypedPasswordIsKeptInTheKeyringAndLogsInAfterARestart)
{
    ASSERT_NO_FATAL_FAILURE(StartSimulator({QStringLiteral("--password"), QStringLiteral("Typed-K3y")}));
    ASSERT_NO_FATAL_FAILURE(CreateView());
    {
        CIpPortHistory history;
        CSystemSettingDlg dlg(m_pView->SettingsRecord(), history);
        dlg.Edit(CSystemSettingDlg::ROW_PASSWORD)->setText(QStringLiteral("Typed-K3y"));
        dlg.OnOK();
    }
    m_pView->OnConnect();
    ASSERT_TRUE(LogsIn());
    ASSERT_TRUE(Exits());
    EXPECT_EQ(Stored("User PSeed").toString(), QString());
    EXPECT_EQ(Stored("Save Password").toString(), QStringLiteral("KEYRING"));
    EXPECT_EQ(KeptInKeyring(Key()), QStringLiteral("Typed-K3y"));

    // The next run reads it from the keyring, and Connect waits for it if need be.
    m_pView.reset();
    ASSERT_NO_FATAL_FAILURE(CreateView());
    m_pView->OnConnect();
    EXPECT_TRUE(LogsIn());
    EXPECT_EQ(Requests(QStringLiteral("COMMAND_LOGIN")).size(), 2);
}

// The program from start to Exit with a recognisable password in an older file's
// "User PSeed": it logs in with it, moves it into the keyring, and nothing the
// program writes -- its output, its statistics, the settings file, the files in its
// data folder -- holds it.
TEST_F(KeyringE2E, OlderFilesPasswordMovesOverAndAppearsInNothingTheProgramWrites)
{
    const QByteArray canary = "Canary-7qZ-Leak";
    QTemporaryDir simDir; // the simulator's own log is not the program's
    m_logPath = simDir.filePath(QStringLiteral("sim.log"));
    ASSERT_NO_FATAL_FAILURE(StartSimulator({QStringLiteral("--password"), QString::fromLatin1(canary)}));
    StorePassword(QString::fromLatin1(canary));
    {
        QSettings store(QString::fromLatin1(SETTINGS_ORGANIZATION), QString::fromLatin1(SETTINGS_APPLICATION));
        store.setValue(QStringLiteral("Setting/Host IPAddress"), QStringLiteral("127.0.0.1"));
        store.setValue(QStringLiteral("Setting/Host Port"), m_nPort);
    }
    const ProgramRun run = RunProgramToExit(m_settings.path(), m_cwd.path());
    ASSERT_EQ(run.nExit, 0) << run.output.constData();
    EXPECT_EQ(KeptInKeyring(Key()), QString::fromLatin1(canary));
    EXPECT_FALSE(run.output.contains(canary)) << run.output.constData();
    QStringList searched;
    for (const QString &folder : {m_settings.path(), m_cwd.path()}) {
        QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            QFile file(it.next());
            ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << qPrintable(file.fileName());
            EXPECT_FALSE(file.readAll().contains(canary)) << qPrintable(file.fileName());
            searched << QFileInfo(file).fileName();
        }
    }
    EXPECT_TRUE(searched.contains(QStringLiteral("Telvane4.conf")) && searched.contains(QStringLiteral("stats.txt")))
        << qPrintable(searched.join(' '));
}

// Locks the keyring for the rest of this run: the last test.
TEST_F(KeyringE2E, LockedKeyringKeepsThePasswordInTheFileAndSaysSoOnce)
{
    ASSERT_NO_FATAL_FAILURE(StartSimulator({QStringLiteral("--password"), QStringLiteral("Kept-1n-file")}));
    StorePassword(QStringLiteral("Kept-1n-file"));
    ASSERT_NO_FATAL_FAILURE(CreateView());
    m_pView->OnConnect();
    ASSERT_TRUE(LogsIn());
    QProcess lock;
    lock.start(QStringLiteral("dbus-send"),
               {QStringLiteral("--session"), QStringLiteral("--print-reply"),
                QStringLiteral("--dest=org.freedesktop.secrets"), QStringLiteral("/org/freedesktop/secrets"),
                QStringLiteral("org.freedesktop.Secret.Service.Lock"),
                QStringLiteral("array:objpath:/org/freedesktop/secrets/collection/login")});
    ASSERT_TRUE(lock.waitForFinished(10000) && lock.exitCode() == 0) << lock.readAllStandardError().constData();
    std::vector<QString> messages;
    CScopedMessageBoxHandler handler([&](QWidget *, const QString &text, const QString &,
                                         QMessageBox::Icon, QMessageBox::StandardButtons) {
        messages.push_back(text);
        return QMessageBox::Ok;
    });
    ASSERT_TRUE(Exits());
    EXPECT_EQ(Stored("User PSeed").toString(), QStringLiteral("Kept-1n-file"));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].startsWith(QStringLiteral("The keyring did not keep the password of recorder 1")))
        << qPrintable(messages[0]);
}

} // namespace
