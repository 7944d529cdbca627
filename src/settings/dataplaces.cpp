#include "settings/dataplaces.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>

DataPlaces ChooseDataPlaces(const QString &szExecutableFolder, const QString &szUserDataFolder,
                            const std::function<bool(const QString &)> &fnPortable)
{
    if (fnPortable(szExecutableFolder))
        return DataPlaces{szExecutableFolder, false};
    return DataPlaces{szUserDataFolder, true};
}

bool IsSystemProgramFolder(const QString &szFolder)
{
    // The real path: /bin is a link to /usr/bin on merged systems, and a link from
    // a system folder into a home folder makes the target no system folder.
    QString szPath = QFileInfo(szFolder).canonicalFilePath();
    if (szPath.isEmpty())
        szPath = QDir::cleanPath(QDir(szFolder).absolutePath());
    for (const char *pszRoot : {"/usr", "/opt", "/bin", "/sbin"}) {
        const QString szRoot = QString::fromLatin1(pszRoot);
        if (szPath == szRoot || szPath.startsWith(szRoot + QLatin1Char('/')))
            return true;
    }
    return false;
}

bool IsWritableFolder(const QString &szFolder)
{
    const QFileInfo info(szFolder);
    if (!info.isDir() || !info.isWritable())
        return false;
    // Permission bits are not the whole story (read-only mounts, access lists):
    // really create a file.
    QTemporaryFile probe(QDir(szFolder).filePath(QStringLiteral(".telvane-probe-XXXXXX")));
    return probe.open();
}

QString UserDataFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/Telvane");
}

QString ExecutableFolder()
{
    if (QCoreApplication::instance())
        return QCoreApplication::applicationDirPath();
    // No application object (tools, some tests): ask the system for our image.
    const QString self = QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget();
    if (!self.isEmpty())
        return QFileInfo(self).absolutePath();
    return QDir::currentPath();
}

const DataPlaces &ProgramDataPlaces()
{
    static const DataPlaces places =
        ChooseDataPlaces(ExecutableFolder(), UserDataFolder(), [](const QString &szFolder) {
            return !IsSystemProgramFolder(szFolder) && IsWritableFolder(szFolder);
        });
    return places;
}

bool EnterDataFolder()
{
    return EnterDataFolder(ProgramDataPlaces());
}

bool EnterDataFolder(const DataPlaces &places)
{
    if (!places.bUserData)
        return true;
    return QDir().mkpath(places.szBaseFolder) && QDir::setCurrent(places.szBaseFolder);
}
