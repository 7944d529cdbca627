#pragma once
// Helpers shared by the test executables: an isolated settings folder and paths
// to the programs built alongside the tests.

#include <QString>
#include <QTemporaryDir>

#include <functional>

namespace testsupport {

// Points QSettings (and XDG_CONFIG_HOME) at a fresh temporary folder for the life
// of the object, so no test ever reads or writes the user's real settings.
class IsolatedSettings {
public:
    IsolatedSettings();
    ~IsolatedSettings();
    QString path() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
    QByteArray m_oldXdg;
};

// Makes a fresh temporary folder the process's current folder for the life of the
// object and restores the previous one afterwards, also when an assertion returns
// early. For code that writes relative file names such as "AlarmEvent.am".
class ScopedCurrentDir {
public:
    ScopedCurrentDir();
    ~ScopedCurrentDir();
    ScopedCurrentDir(const ScopedCurrentDir &) = delete;
    ScopedCurrentDir &operator=(const ScopedCurrentDir &) = delete;
    bool isValid() const { return m_bSwitched; }
    QString path() const { return m_dir.path(); }
    QString filePath(const QString &name) const { return m_dir.filePath(name); }

private:
    QTemporaryDir m_dir;
    QString m_old;
    bool m_bSwitched = false;
};

QString simulatorPath();
QString appPath();
QString benchPicturesDir();

// Runs the event loop for about ms milliseconds.
void Spin(int ms);
// Runs the event loop until cond() holds or timeoutMs pass (each() first on every
// round); true when cond() holds.
bool WaitFor(const std::function<bool()> &cond, int timeoutMs = 5000,
             const std::function<void()> &each = {});

}  // namespace testsupport
