#include "support/testsupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QSettings>
#include <QTimer>

namespace testsupport {

IsolatedSettings::IsolatedSettings() : m_oldXdg(qgetenv("XDG_CONFIG_HOME"))
{
    qputenv("XDG_CONFIG_HOME", m_dir.path().toLocal8Bit());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_dir.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_dir.path());
}

IsolatedSettings::~IsolatedSettings()
{
    if (m_oldXdg.isNull())
        qunsetenv("XDG_CONFIG_HOME");
    else
        qputenv("XDG_CONFIG_HOME", m_oldXdg);
}

ScopedCurrentDir::ScopedCurrentDir() : m_old(QDir::currentPath())
{
    m_bSwitched = m_dir.isValid() && QDir::setCurrent(m_dir.path());
}

ScopedCurrentDir::~ScopedCurrentDir()
{
    if (m_bSwitched)
        QDir::setCurrent(m_old);
}

QString simulatorPath() { return QStringLiteral(TELVANE_SIMULATOR_PATH); }
QString appPath() { return QStringLiteral(TELVANE_APP_PATH); }
QString benchPicturesDir() { return QStringLiteral(TELVANE_BENCH_PICTURES); }

void Spin(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

bool WaitFor(const std::function<bool()> &cond, int timeoutMs, const std::function<void()> &each)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < timeoutMs) {
        if (each)
            each();
        if (cond())
            return true;
        Spin(5);
    }
    return cond();
}

}  // namespace testsupport
