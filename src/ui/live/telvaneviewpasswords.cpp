// CTelvaneView: the recorders' passwords -- the keeper that reads them from the
// keyring at start-up, the start of a recorder's link once its password is known,
// the prompt, and the end of Exit once the passwords are kept (see
// keyring/passwordkeeper.h).

#include "ui/live/telvaneview.h"

#include "ui/common/messagebox.h"
#include "ui/controls/skinbutton.h"
#include "ui/dialogs/passworddlg.h"

#include <QMetaObject>

void CTelvaneView::StartPasswords()
{
    if (m_pPasswords)
        return;
    m_pPasswords = std::make_unique<CPasswordKeeper>(
        m_settings, m_env.fnCreateKeyring ? m_env.fnCreateKeyring() : nullptr,
        [this](int nRecorder, QString &szPassword) { return AskPassword(nRecorder, szPassword); },
        [this](const QString &szText) {
            ShowMessageBoxModeless(this, szText, QString::fromLatin1(APP_TITLE),
                                   QMessageBox::Warning);
        });
    m_pPasswords->Start(); // answers come from the event loop: nothing waits here
}

void CTelvaneView::StartWithPassword(int nRecorder, int nRound)
{
    // Password hook: "recorder r needs its password; when known, connect r". A known
    // password answers at once, a keyring read when it comes (the window goes on
    // meanwhile), the prompt when the operator answers; Cancel leaves r unconnected.
    // A Disconnect or Exit meanwhile ends the wait (nRound).
    if (!m_pPasswords) {
        StartRecorder(nRecorder);
        return;
    }
    m_pPasswords->WhenKnown(nRecorder, [this, nRecorder, nRound](bool bKnown) {
        if (bKnown && nRound == m_nConnectRound)
            StartRecorder(nRecorder);
    });
}

void CTelvaneView::StartRecorder(int nRecorder)
{
    if (m_bExiting || !m_pRecorders->IsConfigured(nRecorder) ||
        m_pRecorders->ConnectState(nRecorder) != 0)
        return;
    m_pRecorders->Connect(nRecorder);
    // The buttons show an attempt made, whether it could start or not.
    if (m_apButtons[viewlayout::CTRL_CONNECT])
        m_apButtons[viewlayout::CTRL_CONNECT]->setEnabled(true);
    SetButtonChecked(viewlayout::CTRL_DISCONNECT, false);
    SetButtonChecked(viewlayout::CTRL_CONNECT, true);
    m_bShownConnected = true;
    ShowSelectedStatus();
}

bool CTelvaneView::AskPassword(int nRecorder, QString &szPassword)
{
    if (m_env.fnAskPassword)
        return m_env.fnAskPassword(nRecorder, szPassword);
    const RecorderLink link = RecorderLinkOf(m_settings, nRecorder);
    CPasswordDlg dlg(QStringLiteral("%1 (%2:%3)")
                         .arg(m_pRecorders->Name(nRecorder), FieldText(link.m_szHostIP))
                         .arg(link.m_nHostPort),
                     this);
    if (dlg.exec() != QDialog::Accepted)
        return false;
    szPassword = dlg.Password();
    return true;
}

void CTelvaneView::FinishExit(const std::array<QString, MAX_RECORDERS> &aStoredPasswords,
                              const QString &szMessage)
{
    if (m_pPasswords)
        m_settings.SaveSettings(aStoredPasswords);
    else
        m_settings.SaveSettings();
    if (!szMessage.isEmpty())
        ShowMessageBox(this, szMessage, QString::fromLatin1(APP_TITLE), QMessageBox::Warning);
    m_bDibReady = false;
    if (QWidget *pTop = window())
        QMetaObject::invokeMethod(pTop, "close", Qt::QueuedConnection);
}
