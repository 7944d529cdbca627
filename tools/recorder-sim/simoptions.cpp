#include "simoptions.h"

#include "settings/clientsettings.h"

#include <QCommandLineParser>
#include <QTime>

namespace sim {

namespace {

bool ToInt(const QString &text, int min, int max, int *out)
{
    bool ok = false;
    int v = text.toInt(&ok, 0);
    if (!ok || v < min || v > max)
        return false;
    *out = v;
    return true;
}

QDateTime ParseDateTime(const QString &text)
{
    QDateTime t = QDateTime::fromString(text, Qt::ISODate);
    // Times without an offset are local times, like the recorder's clock.
    return t.isValid() ? t.toLocalTime() : t;
}

} // namespace

bool ParseOptions(const QStringList &arguments, SimOptions *o, QString *error)
{
    QCommandLineParser p;
    p.setApplicationDescription(
        "Four-channel recorder simulator for the Telvane client. Serves the recorder's\n"
        "packet protocol on a loopback address: login, live and playback JPEG streams\n"
        "with channel and field markers, stop, event list, alert reports, PTZ and\n"
        "keep-alive, with options to inject faults. Prints \"LISTENING <port>\".");
    p.addHelpOption();
    p.addVersionOption();
    const QList<QCommandLineOption> opts = {
        {"listen", "Loopback address to listen on (127.0.0.0/8 or ::1).", "addr", "127.0.0.1"},
        {"port", "TCP port, 0 = any free port.", "n", "8000"},
        {"version-text",
         "Version text of every reply header (\"DVR PACKET1.0\", \"DVR PACKET1.2\" or any).",
         "text", "DVR PACKET1.2"},
        {"user", "User ID accepted at login (compared without regard to case).", "id",
         DEFAULT_USER_ID},
        {"password", "Password accepted at login (exact).", "text", DEFAULT_PASSWORD},
        {"any-login", "Accept every user ID and password."},
        {"channel-info", "nChannelInfo of the login reply (0..255).", "n", "4"},
        {"field-row",
         "Field-row selector of the login reply: 0 = index pattern on row 2, other = row 3.", "n",
         "0"},
        {"channel-num", "nChannelNum of the login reply (0..255).", "n", "4"},
        {"range-start",
         "Start of the recording time range, ISO local date-time (default: yesterday 00:00:00).",
         "datetime"},
        {"range-end",
         "End of the recording time range, ISO local date-time (default: start-up time).",
         "datetime"},
        {"fps", "Pictures per second in all channels together (0.1..1000).", "rate", "30"},
        {"frames",
         "Send 704x480 frames instead of 704x240 fields (beyond the client's 220000-pixel limit)."},
        {"size", "Picture size WxH (width 632..2048, height 16..1088).", "WxH", "704x240"},
        {"quality", "JPEG quality (50..100).", "q", "85"},
        {"gap-ms", "Pause after each packet write, in ms (0..1000).", "ms", "2"},
        {"alert-interval", "Period of COMMAND_R_ALERT reports in ms (10..60000).", "ms", "1000"},
        {"alert-bad-channels", "Also report channel bytes 0 and 5, which the client must ignore."},
        {"push-start-time", "Send COMMAND_R_START_TIME unasked every ms after login (0 = never).",
         "ms", "0"},
        {"scene",
         "Recorder 1..4 of a site: its channels are drawn as CH(4*(N-1)+1..4), with their own "
         "colours and streets.",
         "N", "1"},
        {"events", "Number of 10-byte records in the event list (0..100000).", "n", "40"},
        {"log", "Append one JSON line per request received to this file.", "file"},
        {"verbose", "Print connection events on stderr."},
        {"stats", "Print the pictures written per second on stderr, once a second."},
        {"send-log",
         "Append \"<steady clock ns> <sequence word> <channel 1-4>\" to this file for each live "
         "picture once its last byte has left (for delay benchmarks).",
         "file"},
        {"picture-code",
         "Draw each picture's animation step (1/60 s, modulo 16384) as a row of 16 blocks near "
         "its bottom: white, 14 bits from the highest (white = 1), black; with --send-log, "
         "played pictures are logged too, 8388608 + the step in place of the sequence word "
         "(for benchmarks that find every picture in a recording)."},
        {"camera-pictures",
         "Send the JPEG camera pictures of the picture size in this folder, in turn, in place "
         "of the drawn scene (markers and --picture-code still drawn over them).",
         "folder"},
        {"save-pictures",
         "Write the first 120 pictures made into this folder as JPEG files (for benchmarks that "
         "decode what the client decodes).",
         "folder"},
        {"never-answer", "Fault: read and log requests, never send anything."},
        {"silent-after", "Fault: go silent (send nothing more) after n pictures per connection.",
         "n"},
        {"refuse-login", "Fault: refuse every login (word 0 = 0)."},
        {"close-after", "Fault: close the connection after n pictures.", "n"},
        {"refuse-connections", "Fault: accept each connection and close it at once."},
        {"garbage",
         "Fault: after every n-th picture send a garbage write (random bytes, bad packet type, "
         "short packet, unknown code in turn).",
         "n"},
        {"oversize", "Fault: every n-th picture announces a larger data block than follows.", "n"},
        {"oversize-size",
         "nPacketSize announced by --oversize pictures (up to 4294967295; default real size + "
         "65536).",
         "bytes"},
        {"split-header", "Fault: write each packet's header in two writes."},
        {"coalesce", "Fault: put n packets in one write (2..64).", "n"},
        {"trickle", "Fault: write packets in chunks of BYTES every MS ms.", "BYTES,MS"},
        {"freeze-channel",
         "Fault: in streams of all channels, channel C sends nothing more after n pictures "
         "per connection (a failing camera).",
         "C,n"},
        {"playback-error", "Fault: answer every playback start with status 0 (error)."},
    };
    p.addOptions(opts);
    if (!p.parse(arguments)) {
        *error = p.errorText();
        return false;
    }
    if (p.isSet("help"))
        p.showHelp(0);
    if (p.isSet("version"))
        p.showVersion();
    if (!p.positionalArguments().isEmpty()) {
        *error = "unexpected argument: " + p.positionalArguments().first();
        return false;
    }

    auto intOpt = [&](const char *name, int min, int max, int *out) {
        if (p.value(name).isEmpty())
            return true;
        if (!ToInt(p.value(name), min, max, out)) {
            *error = QString("--%1 needs a number from %2 to %3").arg(name).arg(min).arg(max);
            return false;
        }
        return true;
    };

    QHostAddress addr(p.value("listen"));
    if (addr.isNull() || !addr.isLoopback()) {
        *error = "--listen must be a loopback address (127.0.0.0/8 or ::1)";
        return false;
    }
    o->listen = addr;
    int port = 0;
    if (!intOpt("port", 0, 65535, &port))
        return false;
    o->port = quint16(port);

    o->versionText = p.value("version-text").toLatin1().left(16);
    o->user = p.value("user").toUtf8();
    o->password = p.value("password").toUtf8();
    o->anyLogin = p.isSet("any-login");
    if (!intOpt("scene", 1, 4, &o->scene) || !intOpt("channel-info", 0, 255, &o->channelInfo) ||
        !intOpt("field-row", 0, 255, &o->fieldRow) ||
        !intOpt("channel-num", 0, 255, &o->channelNum))
        return false;

    QDateTime now = QDateTime::currentDateTime();
    now.setTime(QTime(now.time().hour(), now.time().minute(), now.time().second()));
    o->rangeStart = QDateTime(now.date().addDays(-1), QTime(0, 0, 0), Qt::LocalTime);
    o->rangeEnd = now;
    if (p.isSet("range-start")) {
        o->rangeStart = ParseDateTime(p.value("range-start"));
        if (!o->rangeStart.isValid()) {
            *error = "--range-start needs an ISO date-time such as 2026-12-06T08:00:00";
            return false;
        }
    }
    if (p.isSet("range-end")) {
        o->rangeEnd = ParseDateTime(p.value("range-end"));
        if (!o->rangeEnd.isValid()) {
            *error = "--range-end needs an ISO date-time such as 2026-12-06T18:00:00";
            return false;
        }
    }
    if (o->rangeEnd < o->rangeStart) {
        *error = "--range-end lies before --range-start";
        return false;
    }

    bool ok = false;
    o->fps = p.value("fps").toDouble(&ok);
    if (!ok || o->fps < 0.1 || o->fps > 1000) {
        *error = "--fps needs a rate from 0.1 to 1000";
        return false;
    }
    if (p.isSet("size")) {
        const QStringList wh = p.value("size").split('x');
        if (wh.size() != 2 || !ToInt(wh[0], 632, 2048, &o->width) ||
            !ToInt(wh[1], 16, 1088, &o->height)) {
            *error = "--size needs WxH with width 632..2048 and height 16..1088";
            return false;
        }
    }
    if (p.isSet("frames")) {
        o->width = 704;
        o->height = 480;
    }
    if (!intOpt("quality", 50, 100, &o->quality) || !intOpt("gap-ms", 0, 1000, &o->gapMs) ||
        !intOpt("alert-interval", 10, 60000, &o->alertIntervalMs) ||
        !intOpt("push-start-time", 0, 3600000, &o->pushStartTimeMs) ||
        !intOpt("events", 0, 100000, &o->events))
        return false;
    o->alertBadChannels = p.isSet("alert-bad-channels");
    o->logFile = p.value("log");
    o->verbose = p.isSet("verbose");
    o->stats = p.isSet("stats");
    o->sendLog = p.value("send-log");
    o->savePictures = p.value("save-pictures");
    o->pictureCode = p.isSet("picture-code");
    o->cameraPictures = p.value("camera-pictures");

    o->neverAnswer = p.isSet("never-answer");
    o->refuseLogin = p.isSet("refuse-login");
    o->refuseConnections = p.isSet("refuse-connections");
    o->splitHeader = p.isSet("split-header");
    o->playbackError = p.isSet("playback-error");
    if ((p.isSet("silent-after") && !intOpt("silent-after", 0, 1 << 30, &o->silentAfter)) ||
        (p.isSet("close-after") && !intOpt("close-after", 0, 1 << 30, &o->closeAfter)) ||
        (p.isSet("garbage") && !intOpt("garbage", 1, 1 << 30, &o->garbageEvery)) ||
        (p.isSet("oversize") && !intOpt("oversize", 1, 1 << 30, &o->oversizeEvery)) ||
        (p.isSet("coalesce") && !intOpt("coalesce", 2, 64, &o->coalesce)))
        return false;
    if (p.isSet("oversize-size")) {
        qulonglong v = p.value("oversize-size").toULongLong(&ok, 0);
        if (!ok || v < 61 || v > 0xFFFFFFFFull) {
            *error = "--oversize-size needs a size from 61 to 4294967295";
            return false;
        }
        o->oversizeSize = quint32(v);
    }
    if (p.isSet("freeze-channel")) {
        const QStringList cn = p.value("freeze-channel").split(',');
        if (cn.size() != 2 || !ToInt(cn[0], 1, 4, &o->freezeChannel) ||
            !ToInt(cn[1], 0, 1 << 30, &o->freezeAfter)) {
            *error = "--freeze-channel needs C,n such as 2,40";
            return false;
        }
    }
    if (p.isSet("trickle")) {
        const QStringList bm = p.value("trickle").split(',');
        if (bm.size() != 2 || !ToInt(bm[0], 1, 1 << 20, &o->trickleBytes) ||
            !ToInt(bm[1], 0, 10000, &o->trickleMs)) {
            *error = "--trickle needs BYTES,MS such as 100,5";
            return false;
        }
    }
    return true;
}

} // namespace sim
