#pragma once
// Where recordings and snapshots go, and how a new file gets a name that no
// existing file has: an existing name is never replaced, the next free one of
// "name_2.ext", "name_3.ext" ... is taken instead.

#include <QString>

class QFile;

// "folder/name.ext" with "_n" before the extension; n < 2 gives the name unchanged.
QString NumberedFileName(const QString &szPath, int n);

// Renames szFrom to szTo, or to the first free numbered form of szTo, never
// replacing a file. Returns the name used, empty when the rename failed.
QString RenameToFreeName(const QString &szFrom, const QString &szTo);

// Creates and opens for writing a new file at szPath, or at the first free numbered
// form of it. False when no file could be created.
bool CreateNewFile(QFile &file, const QString &szPath);

// Creates and opens for writing a new file "szPrefix<random>szSuffix" in szFolder,
// with the permissions of any new file of the user's (the umask decides), unlike a
// temporary file, which is private. False when none could be created.
bool CreateHiddenFile(QFile &file, const QString &szFolder, const QString &szPrefix,
                      const QString &szSuffix);

// The folder recordings go to, as an absolute path: the record path when it is a
// folder, else "RECORD" below the current folder when that exists, else the
// current folder. Nothing is created and the current folder is not changed.
QString RecordFolder(const QString &szRecordPath);

// szName inside szFolder; a folder ending in a separator gives no doubled one.
QString FileInFolder(const QString &szFolder, const QString &szName);
