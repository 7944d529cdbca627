#pragma once
// Command-line options of the recorder simulator. Parsing is apart from the program
// so that every option has one name, one default and one check.

#include <QByteArray>
#include <QDateTime>
#include <QHostAddress>
#include <QString>
#include <QStringList>

namespace sim {

// Pictures --save-pictures writes: one second of the default live stream.
constexpr int SAVED_PICTURES = 120;

struct SimOptions {
    // Network: loopback only.
    QHostAddress listen{QHostAddress::LocalHost};
    quint16 port = 8000;

    // Login.
    QByteArray versionText = "DVR PACKET1.2";
    QByteArray user = "admin";
    QByteArray password; // set from the client's built-in default
    bool anyLogin = false;
    int channelInfo = 4;
    int fieldRow = 0;
    int channelNum = 4;
    QDateTime rangeStart;
    QDateTime rangeEnd;

    // Pictures.
    double fps = 30.0; // pictures per second in all
    int width = 704;
    int height = 240;
    int quality = 85;
    int gapMs = 2; // pause after each packet
    int alertIntervalMs = 1000;
    bool alertBadChannels = false;
    int pushStartTimeMs = 0; // COMMAND_R_START_TIME without a request, 0 = never
    int events = 40;
    int scene = 1; // the recorder of a site it stands for: channel c shows as CH 4*(scene-1)+c

    QString logFile;
    bool verbose = false;
    bool stats = false;
    QString sendLog;      // one line per live picture once it has left, empty = none
    QString savePictures; // folder for the first SAVED_PICTURES pictures made, empty = none
    bool pictureCode = false; // each picture carries its animation step as blocks
    QString cameraPictures;   // folder of camera pictures sent in place of the scene

    // Fault injection (-1 / 0 = off).
    bool neverAnswer = false;
    int silentAfter = -1;
    bool refuseLogin = false;
    int closeAfter = -1;
    int freezeChannel = 0; // 1..4: that channel stops after freezeAfter pictures
    int freezeAfter = 0;
    bool refuseConnections = false;
    int garbageEvery = 0;
    int oversizeEvery = 0;
    quint32 oversizeSize = 0; // 0 = real size + 65536
    bool splitHeader = false;
    int coalesce = 1;
    int trickleBytes = 0;
    int trickleMs = 1;
    bool playbackError = false;
};

// Parses the arguments (program name first). On failure returns false with a message
// in *error; --help and --version print and exit from inside.
bool ParseOptions(const QStringList &arguments, SimOptions *options, QString *error);

} // namespace sim
