#include "keyring/passwordkeeper.h"

#include <QStringList>
#include <QTimer>

struct CPasswordKeeper::SaveRun {
    SavedFn fnDone;
    std::array<QString, MAX_RECORDERS> aStored;
    std::array<QString, MAX_RECORDERS> aWriting; // passwords sent, not yet confirmed
    std::array<bool, MAX_RECORDERS> abWriting{};
    int nPending = 1; // the issuing itself, so that an early answer cannot finish it
    QStringList failed;
    QString szError;
    bool bDone = false;
};

CPasswordKeeper::CPasswordKeeper(ClientSettings &settings, std::unique_ptr<IKeyring> pKeyring,
                                 AskFn fnAsk, NoticeFn fnNotice)
    : m_settings(settings), m_pKeyring(std::move(pKeyring)), m_fnAsk(std::move(fnAsk)),
      m_fnNotice(std::move(fnNotice))
{
    if (!m_pKeyring)
        m_eKeyring = KeyringState::Missing;
}

CPasswordKeeper::~CPasswordKeeper()
{
    *m_pAlive = false;
}

QString CPasswordKeeper::Password(int r) const
{
    return FieldText(RecorderLinkOf(m_settings, r).m_szPassword);
}

void CPasswordKeeper::SetPassword(int r, const QString &szPassword)
{
    RecorderLink link = RecorderLinkOf(m_settings, r);
    SetFieldText(link.m_szPassword, szPassword);
    if (r == 0) {
        SetRecorderLink(m_settings, 0, link);
    } else {
        // Only the password: setting the whole link would clear a fault text.
        std::copy(std::begin(link.m_szPassword), std::end(link.m_szPassword),
                  m_settings.m_aExtraRecorders[r - 1].m_szPassword);
    }
    m_aSlots[std::size_t(r)].szSeen = Password(r);
}

void CPasswordKeeper::Start()
{
    for (int r = 0; r < MAX_RECORDERS; ++r)
        Begin(r);
}

// Takes recorder r as it now stands in the record: its key, its state, and a read.
void CPasswordKeeper::Begin(int r)
{
    Slot &slot = m_aSlots[std::size_t(r)];
    const int nGeneration = slot.nGeneration + 1;
    std::vector<std::function<void(bool)>> waiting = std::move(slot.waiting);
    slot = Slot();
    slot.nGeneration = nGeneration;
    slot.bConfigured = IsRecorderConfigured(m_settings, r);
    for (auto &fn : waiting)
        fn(false); // asked for a recorder that is no longer what it was
    if (!slot.bConfigured)
        return;
    slot.szKey = KeyringKey(RecorderLinkOf(m_settings, r));
    slot.szSeen = Password(r);
    if (slot.szSeen.isEmpty() && m_settings.m_bySavePassword == SAVE_PASSWORD_NEVER)
        slot.eState = PasswordState::Ask;
    else if (slot.szSeen.isEmpty() && m_settings.m_bySavePassword == SAVE_PASSWORD_KEYRING &&
             m_eKeyring != KeyringState::Missing)
        slot.eState = PasswordState::Reading;
    if (m_pKeyring && m_eKeyring != KeyringState::Missing)
        m_pKeyring->Read(slot.szKey, [this, r, nGeneration](const KeyringAnswer &answer) {
            OnRead(r, nGeneration, answer);
        });
}

void CPasswordKeeper::OnRead(int r, int nGeneration, const KeyringAnswer &answer)
{
    Slot &slot = m_aSlots[std::size_t(r)];
    if (slot.nGeneration != nGeneration)
        return;
    switch (answer.eResult) {
    case KeyringResult::Ok:
        slot.bKept = true;
        slot.szKept = answer.szSecret;
        [[fallthrough]];
    case KeyringResult::NotFound:
        m_eKeyring = KeyringState::Available;
        break;
    case KeyringResult::Refused:
        m_eKeyring = KeyringState::Refused;
        if (!m_bRefusalTold && m_fnNotice) {
            m_bRefusalTold = true;
            m_fnNotice(QStringLiteral("The keyring is locked and was not opened, so the "
                                      "passwords kept there cannot be read.\nConnect asks "
                                      "for them instead."));
        }
        break;
    case KeyringResult::NoKeyring:
    case KeyringResult::Failed:
        if (m_eKeyring != KeyringState::Available)
            m_eKeyring = KeyringState::Missing;
        break;
    }
    if (slot.eState != PasswordState::Reading)
        return;
    if (slot.bKept && m_settings.m_bySavePassword == SAVE_PASSWORD_KEYRING) {
        SetPassword(r, slot.szKept);
        slot.eState = PasswordState::Known;
    } else if (m_eKeyring == KeyringState::Missing) {
        slot.eState = PasswordState::Known; // as FILE: the (empty) password stored
    } else {
        slot.eState = PasswordState::Ask;
    }
    Resolve(r);
}

// Hands the waiting Connects what is now known; asks the operator once for all of them.
void CPasswordKeeper::Resolve(int r)
{
    Slot &slot = m_aSlots[std::size_t(r)];
    if (slot.waiting.empty() || slot.eState == PasswordState::Reading)
        return;
    const int nGeneration = slot.nGeneration;
    bool bKnown = slot.eState == PasswordState::Known;
    if (!bKnown) {
        QString szTyped;
        if (m_fnAsk && m_fnAsk(r, szTyped)) {
            // The prompt is modal: the recorder may have changed meanwhile.
            if (m_aSlots[std::size_t(r)].nGeneration != nGeneration)
                return;
            SetPassword(r, szTyped);
            slot.eState = PasswordState::Known;
            bKnown = true;
        }
        if (m_aSlots[std::size_t(r)].nGeneration != nGeneration)
            return;
    }
    std::vector<std::function<void(bool)>> waiting = std::move(slot.waiting);
    slot.waiting.clear();
    for (auto &fn : waiting)
        fn(bKnown);
}

void CPasswordKeeper::WhenKnown(int nRecorder, std::function<void(bool)> fnReady)
{
    Q_ASSERT(nRecorder >= 0 && nRecorder < MAX_RECORDERS);
    OnSettingsChanged();
    Slot &slot = m_aSlots[std::size_t(nRecorder)];
    if (!slot.bConfigured) {
        fnReady(false);
        return;
    }
    slot.waiting.push_back(std::move(fnReady));
    Resolve(nRecorder);
}

void CPasswordKeeper::OnSettingsChanged()
{
    for (int r = 0; r < MAX_RECORDERS; ++r) {
        Slot &slot = m_aSlots[std::size_t(r)];
        const bool bConfigured = IsRecorderConfigured(m_settings, r);
        if (bConfigured != slot.bConfigured) {
            Begin(r); // added or removed in the dialog
            continue;
        }
        if (!bConfigured)
            continue;
        const QString szKey = KeyringKey(RecorderLinkOf(m_settings, r));
        const bool bTyped = Password(r) != slot.szSeen;
        // Without a keyring, KEYRING keeps passwords as FILE does.
        const bool bAsFile = m_settings.m_bySavePassword == SAVE_PASSWORD_FILE ||
                             (m_settings.m_bySavePassword == SAVE_PASSWORD_KEYRING &&
                              m_eKeyring == KeyringState::Missing);
        if (szKey != slot.szKey && !bTyped && !bAsFile) {
            // The password was for another recorder or login: never send it here.
            SetPassword(r, QString());
            Begin(r);
            continue;
        }
        if (szKey != slot.szKey) {
            slot.szKey = szKey;
            slot.bKept = false; // what the keyring holds is under the old key
            ++slot.nGeneration;
        }
        if (bTyped) {
            slot.szSeen = Password(r);
            slot.eState = PasswordState::Known;
            Resolve(r);
        }
    }
}

void CPasswordKeeper::Save(SavedFn fnDone)
{
    OnSettingsChanged();
    auto pRun = std::make_shared<SaveRun>();
    pRun->fnDone = std::move(fnDone);
    const uint8_t byMode = m_settings.m_bySavePassword;
    const bool bKeyring = m_pKeyring && m_eKeyring != KeyringState::Missing;
    const auto answered =
        [this, pRun, alive = std::weak_ptr<bool>(m_pAlive)](int r, const KeyringAnswer &answer) {
            if (alive.expired() || pRun->bDone)
                return;
            if (pRun->abWriting[std::size_t(r)]) {
                pRun->abWriting[std::size_t(r)] = false;
                if (answer.eResult != KeyringResult::Ok) {
                    // Nothing may be lost: the password stays in "User PSeed".
                    pRun->aStored[std::size_t(r)] = pRun->aWriting[std::size_t(r)];
                    pRun->failed << QString::number(r + 1);
                    if (pRun->szError.isEmpty())
                        pRun->szError = answer.szError;
                }
            }
            OnSaveAnswer(pRun);
        };

    for (int r = 0; r < MAX_RECORDERS; ++r) {
        const Slot &slot = m_aSlots[std::size_t(r)];
        if (!slot.bConfigured)
            continue;
        const QString szPassword = Password(r);
        const bool bKnown = slot.eState == PasswordState::Known;
        if (byMode == SAVE_PASSWORD_KEYRING && !bKeyring) {
            pRun->aStored[std::size_t(r)] = szPassword; // FILE's way
        } else if (byMode == SAVE_PASSWORD_KEYRING) {
            if (!bKnown || (slot.bKept && slot.szKept == szPassword))
                continue; // nothing new to keep; the keyring holds what it held
            ++pRun->nPending;
            pRun->abWriting[std::size_t(r)] = true;
            pRun->aWriting[std::size_t(r)] = szPassword;
            m_pKeyring->Write(slot.szKey, szPassword,
                              [answered, r](const KeyringAnswer &answer) { answered(r, answer); });
        } else {
            if (byMode == SAVE_PASSWORD_FILE)
                pRun->aStored[std::size_t(r)] = bKnown ? szPassword : QString();
            if (bKeyring && slot.bKept) {
                // The password lives in one place only; a failed removal loses nothing.
                ++pRun->nPending;
                m_pKeyring->Remove(slot.szKey, [answered, r](const KeyringAnswer &answer) {
                    answered(r, answer);
                });
            }
        }
    }
    if (pRun->nPending > 1) {
        m_pSaveTimer = std::make_unique<QTimer>();
        m_pSaveTimer->setSingleShot(true);
        QObject::connect(m_pSaveTimer.get(), &QTimer::timeout, [this, pRun] {
            if (pRun->bDone)
                return;
            // The keyring never answered: what it has not confirmed stays in the file.
            for (int r = 0; r < MAX_RECORDERS; ++r)
                if (pRun->abWriting[std::size_t(r)]) {
                    pRun->aStored[std::size_t(r)] = pRun->aWriting[std::size_t(r)];
                    pRun->failed << QString::number(r + 1);
                }
            pRun->szError = QStringLiteral("no answer");
            pRun->nPending = 1;
            OnSaveAnswer(pRun);
        });
        m_pSaveTimer->start(m_nSaveTimeoutMs);
    }
    OnSaveAnswer(pRun); // the issuing is done
}

void CPasswordKeeper::OnSaveAnswer(const std::shared_ptr<SaveRun> &pRun)
{
    if (--pRun->nPending > 0 || pRun->bDone)
        return;
    pRun->bDone = true;
    QString szMessage;
    if (!pRun->failed.isEmpty()) {
        pRun->failed.removeDuplicates();
        szMessage = QStringLiteral("The keyring did not keep the password of recorder %1 (%2).\n"
                                   "It stays in the settings file as before.")
                        .arg(pRun->failed.join(QStringLiteral(", ")),
                             pRun->szError.isEmpty() ? QStringLiteral("refused") : pRun->szError);
    }
    pRun->fnDone(pRun->aStored, szMessage);
}
