#include "media/mediafiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

namespace {
// Enough for any folder a person fills by hand; past it the folder is treated as full.
constexpr int MAX_NUMBERED = 10000;
} // namespace

QString NumberedFileName(const QString &szPath, int n)
{
    if (n < 2)
        return szPath;
    const int nSlash = szPath.lastIndexOf(QLatin1Char('/'));
    int nDot = szPath.lastIndexOf(QLatin1Char('.'));
    if (nDot <= nSlash + 1)
        nDot = szPath.size();
    return szPath.left(nDot) + QStringLiteral("_%1").arg(n) + szPath.mid(nDot);
}

QString RenameToFreeName(const QString &szFrom, const QString &szTo)
{
    for (int n = 1; n < MAX_NUMBERED; ++n) {
        const QString szName = NumberedFileName(szTo, n);
        // QFile::rename refuses an existing target and does so atomically where the
        // system can (no window between the test and the rename).
        if (QFileInfo::exists(szName))
            continue;
        if (QFile::rename(szFrom, szName))
            return szName;
        if (!QFileInfo::exists(szName))
            return QString(); // failed for another reason than a taken name
    }
    return QString();
}

bool CreateNewFile(QFile &file, const QString &szPath)
{
    for (int n = 1; n < MAX_NUMBERED; ++n) {
        const QString szName = NumberedFileName(szPath, n);
        file.setFileName(szName);
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            return true;
        if (!QFileInfo::exists(szName))
            return false;
    }
    return false;
}

bool CreateHiddenFile(QFile &file, const QString &szFolder, const QString &szPrefix,
                      const QString &szSuffix)
{
    static const char kChars[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    for (int nTry = 0; nTry < 100; ++nTry) {
        QString szTag;
        for (int i = 0; i < 6; ++i)
            szTag += QLatin1Char(kChars[QRandomGenerator::global()->bounded(36)]);
        file.setFileName(FileInFolder(szFolder, szPrefix + szTag + szSuffix));
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            return true;
        if (!QFileInfo::exists(file.fileName()))
            return false; // not a name already taken: the folder refuses
    }
    return false;
}

QString RecordFolder(const QString &szRecordPath)
{
    const QString szPath = QDir::fromNativeSeparators(szRecordPath);
    if (!szPath.isEmpty() && QFileInfo(szPath).isDir())
        return QDir(szPath).absolutePath();
    const QString szRecord = QDir::current().absoluteFilePath(QStringLiteral("RECORD"));
    if (QFileInfo(szRecord).isDir())
        return szRecord;
    return QDir::currentPath();
}

QString FileInFolder(const QString &szFolder, const QString &szName)
{
    return QDir::cleanPath(QDir::fromNativeSeparators(szFolder) + QLatin1Char('/') + szName);
}
