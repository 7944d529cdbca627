// The password keeper on a fake keyring that answers when told to and fails on
// demand: where passwords come from at start, what Connect waits for, and what
// Exit leaves in "User PSeed" and in the keyring.

#include "keyring/passwordkeeper.h"
#include "support/testapp.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMap>

#include <gtest/gtest.h>

#include <optional>

namespace {

// Answers are held until Flush, as a real keyring answers from the event loop.
class FakeKeyring : public IKeyring {
  public:
    QMap<QString, QString> entries;
    std::optional<KeyringResult> readFailure, writeFailure;
    bool bSilent = false; // never answers
    QStringList log;      // "R key", "W key=secret", "D key"

    void Read(const QString &szKey, Done fnDone) override
    {
        log << QStringLiteral("R ") + szKey;
        KeyringAnswer a;
        a.eResult = readFailure ? *readFailure
                                : entries.contains(szKey) ? KeyringResult::Ok : KeyringResult::NotFound;
        a.szSecret = a.eResult == KeyringResult::Ok ? entries.value(szKey) : QString();
        Queue(std::move(fnDone), a);
    }
    void Write(const QString &szKey, const QString &szSecret, Done fnDone) override
    {
        log << QStringLiteral("W %1=%2").arg(szKey, szSecret);
        KeyringAnswer a;
        a.eResult = writeFailure.value_or(KeyringResult::Ok);
        a.szError = QStringLiteral("write refused");
        if (a.eResult == KeyringResult::Ok && !bSilent)
            entries[szKey] = szSecret;
        Queue(std::move(fnDone), a);
    }
    void Remove(const QString &szKey, Done fnDone) override
    {
        log << QStringLiteral("D ") + szKey;
        KeyringAnswer a;
        a.eResult = entries.remove(szKey) ? KeyringResult::Ok : KeyringResult::NotFound;
        Queue(std::move(fnDone), a);
    }
    void Flush()
    {
        while (!m_pending.empty()) {
            auto pending = std::move(m_pending);
            m_pending.clear();
            for (auto &fn : pending)
                fn();
        }
    }

  private:
    void Queue(Done fnDone, const KeyringAnswer &a)
    {
        if (!bSilent)
            m_pending.push_back([fnDone = std::move(fnDone), a] { fnDone(a); });
    }
    std::vector<std::function<void()>> m_pending;
};

constexpr char kKey1[] = "admin@127.0.0.1:8000";

struct Keeper {
    ClientSettings settings;
    FakeKeyring *pKeyring = nullptr;
    QStringList notices, asked;
    std::optional<QString> typed; // the prompt's answer; none = Cancel
    std::unique_ptr<CPasswordKeeper> pKeeper;
    std::array<QString, MAX_RECORDERS> stored;
    QString message;
    bool bSaved = false;

    // Recorder 1 at 127.0.0.1:8000 with the password field szPassword.
    Keeper(uint8_t byMode, const QString &szPassword, bool bKeyring = true)
    {
        testsupport::TestApp<QCoreApplication>();
        settings.m_bySavePassword = byMode;
        SetFieldText(settings.m_szHostIP, QStringLiteral("127.0.0.1"));
        SetFieldText(settings.m_szPassword, szPassword);
        auto fake = std::make_unique<FakeKeyring>();
        pKeyring = fake.get();
        pKeeper = std::make_unique<CPasswordKeeper>(
            settings, bKeyring ? std::move(fake) : nullptr,
            [this](int r, QString &szPassword) {
                asked << QString::number(r + 1);
                if (typed)
                    szPassword = *typed;
                return typed.has_value();
            },
            [this](const QString &szText) { notices << szText; });
        if (!bKeyring)
            pKeyring = nullptr;
    }
    QString Password() const { return FieldText(settings.m_szPassword); }
    void Save()
    {
        pKeeper->Save([this](const std::array<QString, MAX_RECORDERS> &aStored, const QString &szMessage) {
            stored = aStored;
            message = szMessage;
            bSaved = true;
        });
    }
};

using State = CPasswordKeeper::PasswordState;

// Start: what the password field and the state are once the keyring has answered.
TEST(PasswordKeeper, StartTakesThePasswordFromTheFileOrTheKeyringByMode)
{
    const struct {
        const char *name;
        uint8_t byMode;
        const char *field;                  // "User PSeed" as loaded
        std::optional<KeyringResult> fault; // the keyring's read fails so
        State state;
        const char *password;
        CPasswordKeeper::KeyringState keyring;
    } rows[] = {
        {"keyring has it", SAVE_PASSWORD_KEYRING, "", {}, State::Known, "kept", CPasswordKeeper::KeyringState::Available},
        {"older file moves", SAVE_PASSWORD_KEYRING, "infile", {}, State::Known, "infile", CPasswordKeeper::KeyringState::Available},
        {"nothing kept", SAVE_PASSWORD_KEYRING, "", KeyringResult::NotFound, State::Ask, "", CPasswordKeeper::KeyringState::Available},
        {"locked", SAVE_PASSWORD_KEYRING, "", KeyringResult::Refused, State::Ask, "", CPasswordKeeper::KeyringState::Refused},
        {"no keyring", SAVE_PASSWORD_KEYRING, "", KeyringResult::Failed, State::Known, "", CPasswordKeeper::KeyringState::Missing},
        {"never reads", SAVE_PASSWORD_NEVER, "", {}, State::Ask, "", CPasswordKeeper::KeyringState::Available},
        {"file as ever", SAVE_PASSWORD_FILE, "", {}, State::Known, "", CPasswordKeeper::KeyringState::Available},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        Keeper k(row.byMode, QString::fromLatin1(row.field));
        k.pKeyring->entries[kKey1] = QStringLiteral("kept");
        k.pKeyring->readFailure = row.fault;
        k.pKeeper->Start();
        k.pKeyring->Flush();
        EXPECT_EQ(k.pKeeper->State(0), row.state);
        EXPECT_EQ(k.Password(), QLatin1String(row.password));
        EXPECT_EQ(k.pKeeper->Keyring(), row.keyring);
        // A locked keyring is said once, not passed over in silence.
        EXPECT_EQ(k.notices.size(), row.fault == KeyringResult::Refused ? 1 : 0);
    }
}

// Connect waits for the keyring's answer and connects then; a recorder without a
// kept password is asked for one, and Cancel leaves it out without asking again.
TEST(PasswordKeeper, ConnectWaitsForTheKeyringOrAsks)
{
    Keeper k(SAVE_PASSWORD_KEYRING, QString());
    k.pKeyring->entries[kKey1] = QStringLiteral("kept");
    k.pKeeper->Start();
    std::vector<bool> ready;
    k.pKeeper->WhenKnown(0, [&](bool b) { ready.push_back(b); });
    EXPECT_TRUE(ready.empty()) << "connected before the keyring answered";
    k.pKeyring->Flush();
    EXPECT_EQ(ready, std::vector<bool>{true});
    EXPECT_EQ(k.Password(), QStringLiteral("kept"));

    Keeper never(SAVE_PASSWORD_NEVER, QString());
    never.pKeeper->Start();
    never.pKeyring->Flush();
    ready.clear();
    never.pKeeper->WhenKnown(0, [&](bool b) { ready.push_back(b); }); // Cancel
    never.typed = QStringLiteral("typed");
    never.pKeeper->WhenKnown(0, [&](bool b) { ready.push_back(b); });
    never.pKeeper->WhenKnown(0, [&](bool b) { ready.push_back(b); }); // kept for the run
    EXPECT_EQ(ready, (std::vector<bool>{false, true, true}));
    EXPECT_EQ(never.asked, QStringList({"1", "1"}));
    EXPECT_EQ(never.Password(), QStringLiteral("typed"));
}

// A password belongs to its recorder: a changed address, with the password not
// retyped, forgets it and reads under the new key; a retyped one is used.
TEST(PasswordKeeper, ChangedAddressForgetsThePassword)
{
    Keeper k(SAVE_PASSWORD_KEYRING, QString());
    k.pKeyring->entries[kKey1] = QStringLiteral("kept");
    k.pKeeper->Start();
    k.pKeyring->Flush();
    SetFieldText(k.settings.m_szHostIP, QStringLiteral("127.0.0.2"));
    k.pKeeper->OnSettingsChanged();
    EXPECT_EQ(k.Password(), QString());
    EXPECT_EQ(k.pKeyring->log.last(), QStringLiteral("R admin@127.0.0.2:8000"));
    k.pKeyring->Flush();
    EXPECT_EQ(k.pKeeper->State(0), State::Ask);

    SetFieldText(k.settings.m_szHostIP, QStringLiteral("127.0.0.3"));
    SetFieldText(k.settings.m_szPassword, QStringLiteral("new"));
    k.pKeeper->OnSettingsChanged();
    EXPECT_EQ(k.Password(), QStringLiteral("new"));
    EXPECT_EQ(k.pKeeper->State(0), State::Known);
}

// Exit: what "User PSeed" holds, what the keyring holds, and whether it is told.
TEST(PasswordKeeper, ExitKeepsEveryPasswordSomewhere)
{
    const struct {
        const char *name;
        uint8_t byMode;
        const char *field;
        bool bKeyring;
        std::optional<KeyringResult> writeFault;
        bool bSilent;
        const char *stored;               // "User PSeed" written
        std::optional<const char *> kept; // what the keyring holds after; none = nothing
        bool bMessage;
    } rows[] = {
        {"moves into the keyring", SAVE_PASSWORD_KEYRING, "pw", true, {}, false, "", "pw", false},
        {"write refused", SAVE_PASSWORD_KEYRING, "pw", true, KeyringResult::Refused, false, "pw", "old", true},
        {"write unanswered", SAVE_PASSWORD_KEYRING, "pw", true, {}, true, "pw", "old", true},
        {"no keyring is FILE", SAVE_PASSWORD_KEYRING, "pw", false, {}, false, "pw", {}, false},
        {"file removes the kept one", SAVE_PASSWORD_FILE, "pw", true, {}, false, "pw", {}, false},
        {"never keeps none", SAVE_PASSWORD_NEVER, "pw", true, {}, false, "", {}, false},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        Keeper k(row.byMode, QString::fromLatin1(row.field), row.bKeyring);
        if (k.pKeyring)
            k.pKeyring->entries[kKey1] = QStringLiteral("old");
        k.pKeeper->Start();
        if (k.pKeyring)
            k.pKeyring->Flush();
        if (k.pKeyring) {
            k.pKeyring->writeFailure = row.writeFault;
            k.pKeyring->bSilent = row.bSilent;
        }
        k.pKeeper->SetSaveTimeoutMs(20);
        k.Save();
        if (k.pKeyring)
            k.pKeyring->Flush();
        QElapsedTimer t;
        t.start();
        while (!k.bSaved && t.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        ASSERT_TRUE(k.bSaved);
        EXPECT_EQ(k.stored[0], QLatin1String(row.stored));
        if (k.pKeyring) {
            EXPECT_EQ(k.pKeyring->entries.value(kKey1), row.kept ? QLatin1String(*row.kept) : QString());
        }
        EXPECT_EQ(!k.message.isEmpty(), row.bMessage) << qPrintable(k.message);
    }
}

// A password the keyring already holds is not written again, and a recorder whose
// password never became known leaves the keyring's as it is.
TEST(PasswordKeeper, ExitWritesOnlyWhatIsNew)
{
    Keeper k(SAVE_PASSWORD_KEYRING, QString());
    k.pKeyring->entries[kKey1] = QStringLiteral("kept");
    RecorderLink second = RecorderLinkOf(k.settings, 0);
    SetFieldText(second.m_szHostIP, QStringLiteral("127.0.0.2"));
    SetFieldText(second.m_szPassword, QString());
    SetRecorderLink(k.settings, 1, second);
    k.pKeeper->Start();
    k.pKeyring->Flush();
    ASSERT_EQ(k.pKeeper->State(1), State::Ask);
    k.Save();
    k.pKeyring->Flush();
    ASSERT_TRUE(k.bSaved);
    EXPECT_EQ(k.pKeyring->log.filter(QStringLiteral("W ")), QStringList());
    EXPECT_EQ(k.stored[0], QString());
    EXPECT_EQ(k.stored[1], QString());
}

} // namespace
