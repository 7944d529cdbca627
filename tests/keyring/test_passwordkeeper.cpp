// The password keeper on a fake keyring that answers when told to and fails on
// demand: where passwords come from at start, what Connect waits for, and what
// Exit leaves in "User PSeed" and in the keyring.

#include "keyring/passwordkeeper.h"
#include "support/testapp.h"
#include "support/testsupport.h"

#include <QCoreApplication>
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

    void Read(const QString &k, Done fn) override
    {
        const auto e =
            readFailure.value_or(entries.contains(k) ? KeyringResult::Ok : KeyringResult::NotFound);
        Answer("R " + k, fn, {e, e == KeyringResult::Ok ? entries.value(k) : QString(), {}});
    }
    void Write(const QString &k, const QString &secret, Done fn) override
    {
        const auto e = writeFailure.value_or(KeyringResult::Ok);
        if (e == KeyringResult::Ok && !bSilent)
            entries[k] = secret;
        Answer(QStringLiteral("W %1=%2").arg(k, secret), fn, {e, {}, QStringLiteral("refused")});
    }
    void Remove(const QString &k, Done fn) override
    {
        Answer("D " + k, fn,
               {entries.remove(k) ? KeyringResult::Ok : KeyringResult::NotFound, {}, {}});
    }
    void Flush()
    {
        for (std::size_t i = 0; i < m_pending.size(); ++i) // answers may ask again
            m_pending[i]();
        m_pending.clear();
    }

  private:
    void Answer(const QString &entry, Done fn, KeyringAnswer a)
    {
        log << entry;
        if (!bSilent)
            m_pending.push_back([fn, a] { fn(a); });
    }
    std::vector<std::function<void()>> m_pending;
};

constexpr char kKey1[] = "admin@127.0.0.1:8000";

// A keeper of recorder 1 (127.0.0.1:8000) whose keyring holds "old" under its key.
struct Keeper {
    ClientSettings settings;
    FakeKeyring *pKeyring = nullptr;
    QStringList notices, asked;
    std::optional<QString> typed; // the prompt's answer; none = Cancel
    std::unique_ptr<CPasswordKeeper> pKeeper;
    std::optional<std::array<QString, MAX_RECORDERS>> stored; // set by Save's end
    QString message;

    Keeper(uint8_t byMode, const QString &szPassword, bool bKeyring = true)
    {
        testsupport::TestApp<QCoreApplication>();
        settings.m_bySavePassword = byMode;
        SetFieldText(settings.m_szHostIP, QStringLiteral("127.0.0.1"));
        SetFieldText(settings.m_szPassword, szPassword);
        auto fake = std::make_unique<FakeKeyring>();
        fake->entries[kKey1] = QStringLiteral("old");
        pKeyring = bKeyring ? fake.get() : nullptr;
        pKeeper = std::make_unique<CPasswordKeeper>(
            settings, bKeyring ? std::move(fake) : nullptr,
            [this](int r, QString &szPassword) {
                asked << QString::number(r + 1);
                szPassword = typed.value_or(QString());
                return typed.has_value();
            },
            [this](const QString &szText) { notices << szText; });
    }
    QString Password() const { return FieldText(settings.m_szPassword); }
    void Flush()
    {
        if (pKeyring)
            pKeyring->Flush();
    }
    void Save()
    {
        pKeeper->Save(
            [this](const std::array<QString, MAX_RECORDERS> &a, const QString &szMessage) {
                stored = a;
                message = szMessage;
            });
        Flush();
    }
};

using State = CPasswordKeeper::PasswordState;
using Ring = CPasswordKeeper::KeyringState;

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
        Ring keyring;
    } rows[] = {
        // clang-format off
        {"keyring has it", SAVE_PASSWORD_KEYRING, "", {}, State::Known, "old", Ring::Available},
        {"older file moves", SAVE_PASSWORD_KEYRING, "infile", {}, State::Known, "infile", Ring::Available},
        {"nothing kept", SAVE_PASSWORD_KEYRING, "", KeyringResult::NotFound, State::Ask, "", Ring::Available},
        {"locked", SAVE_PASSWORD_KEYRING, "", KeyringResult::Refused, State::Ask, "", Ring::Refused},
        {"no keyring", SAVE_PASSWORD_KEYRING, "", KeyringResult::Failed, State::Known, "", Ring::Missing},
        {"never reads", SAVE_PASSWORD_NEVER, "", {}, State::Ask, "", Ring::Available},
        {"file as ever", SAVE_PASSWORD_FILE, "", {}, State::Known, "", Ring::Available},
        // clang-format on
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        Keeper k(row.byMode, QString::fromLatin1(row.field));
        k.pKeyring->readFailure = row.fault;
        k.pKeeper->Start();
        k.Flush();
        EXPECT_EQ(k.pKeeper->State(0), row.state);
        EXPECT_EQ(k.Password(), QLatin1String(row.password));
        EXPECT_EQ(k.pKeeper->Keyring(), row.keyring);
        // A locked keyring is said once, not passed over in silence.
        EXPECT_EQ(k.notices.size(), row.fault == KeyringResult::Refused ? 1 : 0);
    }
}

// Connect waits for the keyring's answer and connects then; a recorder without a
// kept password is asked for one, Cancel leaves it out, a typed one is kept.
TEST(PasswordKeeper, ConnectWaitsForTheKeyringOrAsks)
{
    std::vector<bool> ready;
    const auto note = [&](bool b) { ready.push_back(b); };
    Keeper k(SAVE_PASSWORD_KEYRING, QString());
    k.pKeeper->Start();
    k.pKeeper->WhenKnown(0, note);
    EXPECT_TRUE(ready.empty()) << "connected before the keyring answered";
    k.Flush();
    EXPECT_EQ(ready, std::vector<bool>{true});
    EXPECT_EQ(k.Password(), QStringLiteral("old"));

    Keeper never(SAVE_PASSWORD_NEVER, QString());
    never.pKeeper->Start();
    never.Flush();
    ready.clear();
    never.pKeeper->WhenKnown(0, note); // Cancel
    never.typed = QStringLiteral("typed");
    never.pKeeper->WhenKnown(0, note);
    never.pKeeper->WhenKnown(0, note); // kept for the run
    EXPECT_EQ(ready, (std::vector<bool>{false, true, true}));
    EXPECT_EQ(never.asked, QStringList({"1", "1"}));
    EXPECT_EQ(never.Password(), QStringLiteral("typed"));
}

// A password belongs to its recorder: a changed address, with the password not
// retyped, forgets it and reads under the new key; a retyped one is used.
TEST(PasswordKeeper, ChangedAddressForgetsThePassword)
{
    Keeper k(SAVE_PASSWORD_KEYRING, QString());
    k.pKeeper->Start();
    k.Flush();
    SetFieldText(k.settings.m_szHostIP, QStringLiteral("127.0.0.2"));
    k.pKeeper->OnSettingsChanged();
    EXPECT_EQ(k.Password(), QString());
    EXPECT_EQ(k.pKeyring->log.last(), QStringLiteral("R admin@127.0.0.2:8000"));
    k.Flush();
    EXPECT_EQ(k.pKeeper->State(0), State::Ask);

    SetFieldText(k.settings.m_szHostIP, QStringLiteral("127.0.0.3"));
    SetFieldText(k.settings.m_szPassword, QStringLiteral("new"));
    k.pKeeper->OnSettingsChanged();
    EXPECT_EQ(k.Password(), QStringLiteral("new"));
    EXPECT_EQ(k.pKeeper->State(0), State::Known);
}

// Exit: what "User PSeed" holds, what the keyring holds, whether it was written,
// and whether the operator is told.
TEST(PasswordKeeper, ExitKeepsEveryPasswordSomewhere)
{
    const struct {
        const char *name;
        uint8_t byMode;
        const char *field;
        bool bKeyring;
        std::optional<KeyringResult> readFault, writeFault;
        bool bSilent;
        const char *stored; // "User PSeed" written
        const char *kept;   // what the keyring holds after ("": nothing)
        bool bWritten, bMessage;
    } rows[] = {
        // clang-format off
        {"moves into the keyring", SAVE_PASSWORD_KEYRING, "pw", true, {}, {}, false, "", "pw", true, false},
        {"already kept", SAVE_PASSWORD_KEYRING, "", true, {}, {}, false, "", "old", false, false},
        {"never read, never overwritten", SAVE_PASSWORD_KEYRING, "", true, KeyringResult::Refused, {}, false, "", "old", false, false},
        {"write refused", SAVE_PASSWORD_KEYRING, "pw", true, {}, KeyringResult::Refused, false, "pw", "old", true, true},
        {"write unanswered", SAVE_PASSWORD_KEYRING, "pw", true, {}, {}, true, "pw", "old", true, true},
        {"no keyring is FILE", SAVE_PASSWORD_KEYRING, "pw", false, {}, {}, false, "pw", "", false, false},
        {"file removes the kept one", SAVE_PASSWORD_FILE, "pw", true, {}, {}, false, "pw", "", false, false},
        {"never keeps none", SAVE_PASSWORD_NEVER, "pw", true, {}, {}, false, "", "", false, false},
        // clang-format on
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        Keeper k(row.byMode, QString::fromLatin1(row.field), row.bKeyring);
        if (k.pKeyring)
            k.pKeyring->readFailure = row.readFault;
        k.pKeeper->Start();
        k.Flush();
        if (k.pKeyring) {
            k.pKeyring->readFailure.reset();
            k.pKeyring->writeFailure = row.writeFault;
            k.pKeyring->bSilent = row.bSilent;
        }
        k.pKeeper->SetSaveTimeoutMs(20);
        k.Save();
        ASSERT_TRUE(testsupport::WaitFor([&] { return k.stored.has_value(); }));
        EXPECT_EQ((*k.stored)[0], QLatin1String(row.stored));
        if (k.pKeyring) {
            EXPECT_EQ(k.pKeyring->entries.value(kKey1), QLatin1String(row.kept));
            EXPECT_EQ(!k.pKeyring->log.filter(QStringLiteral("W ")).isEmpty(), row.bWritten);
        }
        EXPECT_EQ(!k.message.isEmpty(), row.bMessage) << qPrintable(k.message);
    }
}

} // namespace
