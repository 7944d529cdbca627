#include "support/testsupport.h"

#include <QSettings>

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

QString simulatorPath() { return QStringLiteral(TELVANE_SIMULATOR_PATH); }
QString appPath() { return QStringLiteral(TELVANE_APP_PATH); }
QString benchPicturesDir() { return QStringLiteral(TELVANE_BENCH_PICTURES); }

}  // namespace testsupport
