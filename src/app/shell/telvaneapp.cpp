#include "app/shell/telvaneapp.h"

#include "ui/common/messagebox.h"

#ifdef Q_OS_WIN
#include <winsock2.h>
#endif

bool CTelvaneApp::InitInstance()
{
    if (!m_guard.Acquire()) {
        ShowMessageBox(nullptr, QStringLiteral("Another instance of this program exists"),
                       QStringLiteral("ERROR"), QMessageBox::Critical);
        return false;
    }
    if (!InitSocketLayer()) {
        m_guard.Release();
        return false;
    }
    return true;
}

bool CTelvaneApp::InitSocketLayer()
{
#ifdef Q_OS_WIN
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) {
        ShowMessageBox(nullptr, QString::fromUtf8("Windows 소켓 초기화에 실패하였습니다."),
                       QString::fromLatin1(APP_TITLE), QMessageBox::Warning);
        return false;
    }
    m_bSocketsStarted = true;
#endif
    // Nothing to start elsewhere.
    return true;
}

void CTelvaneApp::ExitInstance()
{
#ifdef Q_OS_WIN
    if (m_bSocketsStarted)
        WSACleanup();
#endif
    m_bSocketsStarted = false;
    m_guard.Release();
}
