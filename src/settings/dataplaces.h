#pragma once
// Where the program keeps the files it writes: the record folder ("Backup"), the
// address history "ini/cnn.ini" and the event list "AlarmEvent.am" (the last two
// relative to the current folder).
//
// A copy run from a folder the user may write to (a build folder, a portable copy)
// keeps them where they always were: "Backup" beside the executable, the others in
// the folder it was started from. An installed copy (the executable in a system
// folder such as /usr/lib/telvane, or in any folder the user cannot write to) uses
// the user's data folder instead ($XDG_DATA_HOME/Telvane, ~/.local/share/Telvane by
// default): the record folder is <data>/Backup, and the data folder becomes the
// current folder at start, so the relative names land there unchanged.
//
// The choice is made once per process.

#include <QString>

#include <functional>

struct DataPlaces {
    QString szBaseFolder; // the folder that holds "Backup"
    bool bUserData;       // true: szBaseFolder is the user's data folder
};

// The choice itself: the executable's folder when fnPortable accepts it, else the
// user's data folder.
DataPlaces ChooseDataPlaces(const QString &szExecutableFolder, const QString &szUserDataFolder,
                            const std::function<bool(const QString &)> &fnPortable);

// True for the folders programs are installed in (/usr/..., /opt/..., /bin,
// /sbin): even a user who could write there (root) must not leave files there.
bool IsSystemProgramFolder(const QString &szFolder);

// True when a new file can really be created in szFolder (and is removed again).
bool IsWritableFolder(const QString &szFolder);

// The user's data folder for this program: the generic data location + "/Telvane".
QString UserDataFolder();

// The executable's folder (also without an application object).
QString ExecutableFolder();

// This process's choice, made on first use from the executable's folder: portable
// when that folder is writable and no system program folder.
const DataPlaces &ProgramDataPlaces();

// At start-up: when the program uses the user's data folder, creates it and makes
// it the current folder. False (and nothing changed) when that failed.
bool EnterDataFolder();
bool EnterDataFolder(const DataPlaces &places); // the same for the places given
