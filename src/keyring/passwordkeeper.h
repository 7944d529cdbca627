#pragma once
// CPasswordKeeper: where each recorder's password comes from and where it goes at
// Exit, after "Save Password".
//
// Theory of operation. The settings record stays the one place a password is used
// from: the login takes the record's password field, and the keeper fills that
// field. Per configured recorder the keeper knows the password (Known), is waiting
// for the keyring (Reading), or has none and asks the operator at Connect (Ask).
//
//   Start (after LoadSettings): every configured recorder's key is read from the
//   keyring, in any mode (so the dialog knows whether a keyring answers; a FILE or
//   NEVER recorder uses nothing it finds). A password in "User PSeed" is Known (an
//   older file's passwords move into the keyring at the next Exit); an empty one is
//   Reading under KEYRING, Ask under NEVER, and the empty password under FILE.
//   Nothing waits: the window is up at once, and a recorder waiting at Connect
//   connects when its read answers.
//
//   Read answers: found -> Known (KEYRING only); not found -> Ask; locked and not
//   opened -> Ask, with one message; no keyring -> the empty password, as FILE
//   would have it.
//
//   Connect (WhenKnown): Known -> connect now; Reading -> when the read answers;
//   Ask -> the masked prompt, Cancel leaves the recorder unconnected.
//
//   Exit (Save): KEYRING writes every Known password the keyring does not already
//   hold and stores "User PSeed" empty only for those the keyring confirmed; a
//   write that fails keeps the password in "User PSeed" and is told once. FILE
//   stores the passwords as ever, NEVER stores none; both remove what the keyring
//   still held for their recorders. Without a keyring KEYRING is FILE.
//
//   A password belongs to the key it was read or typed for (keyring.h): when the
//   operator changes a recorder's address, port or user ID in System Setting and
//   not its password, KEYRING and NEVER forget it and read or ask again.
//
// Recorder numbers are 0-based.

#include "keyring/keyring.h"
#include "settings/clientsettings.h"

#include <QString>

#include <array>
#include <functional>
#include <memory>
#include <vector>

class QTimer;

class CPasswordKeeper {
  public:
    // The masked prompt for recorder nRecorder: true with the typed password, false
    // on Cancel. It may run a modal dialog (the operator asked for it).
    using AskFn = std::function<bool(int nRecorder, QString &szPassword)>;
    // A message for the operator that needs no answer.
    using NoticeFn = std::function<void(const QString &szText)>;
    // What "User PSeed" is to hold per recorder, and the message to show (empty
    // when every password went where it belongs).
    using SavedFn = std::function<void(const std::array<QString, MAX_RECORDERS> &aStored,
                                       const QString &szMessage)>;

    enum class KeyringState { Unknown, Available, Missing, Refused };
    enum class PasswordState { Known, Reading, Ask };

    // pKeyring null: no keyring at all.
    CPasswordKeeper(ClientSettings &settings, std::unique_ptr<IKeyring> pKeyring, AskFn fnAsk,
                    NoticeFn fnNotice);
    ~CPasswordKeeper();

    void Start();
    // After System Setting's OK: picks up typed passwords and changed keys.
    void OnSettingsChanged();
    // The Connect hook: fnReady(true) once the password is known (at once when it
    // is), fnReady(false) when the prompt was cancelled.
    void WhenKnown(int nRecorder, std::function<void(bool bKnown)> fnReady);
    // The Exit hook: fnDone is called once, after the keyring has answered every
    // write (or after SetSaveTimeoutMs without an answer: counted as failed).
    void Save(SavedFn fnDone);

    KeyringState Keyring() const { return m_eKeyring; }
    PasswordState State(int nRecorder) const { return m_aSlots[std::size_t(nRecorder)].eState; }
    void SetSaveTimeoutMs(int nMs) { m_nSaveTimeoutMs = nMs; }

  private:
    struct Slot {
        bool bConfigured = false;
        PasswordState eState = PasswordState::Known;
        QString szKey;      // the key the password belongs to
        QString szSeen;     // the record's password field as the keeper last left it
        bool bKept = false; // the keyring holds szKept under szKey
        QString szKept;
        int nGeneration = 0; // answers for an older key are dropped
        std::vector<std::function<void(bool)>> waiting;
    };
    struct SaveRun;

    void Begin(int r);
    void OnRead(int r, int nGeneration, const KeyringAnswer &answer);
    void SetPassword(int r, const QString &szPassword);
    QString Password(int r) const;
    void Resolve(int r);
    void OnSaveAnswer(const std::shared_ptr<SaveRun> &pRun);

    ClientSettings &m_settings;
    std::unique_ptr<IKeyring> m_pKeyring;
    AskFn m_fnAsk;
    NoticeFn m_fnNotice;
    KeyringState m_eKeyring = KeyringState::Unknown;
    bool m_bRefusalTold = false;
    int m_nSaveTimeoutMs = 60000;
    std::array<Slot, MAX_RECORDERS> m_aSlots;
    std::unique_ptr<QTimer> m_pSaveTimer; // the Exit's bound on the keyring's answers
    std::shared_ptr<bool> m_pAlive = std::make_shared<bool>(true);
};
