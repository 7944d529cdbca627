#include "wire.h"

#include "protocol/timecodec.h"

#include <algorithm>
#include <cstring>

namespace sim {

int VersionCodeOfText(const QByteArray &text)
{
    char szVersion[PACKET_VERSION_SIZE] = {};
    std::memcpy(szVersion, text.constData(), std::min<std::size_t>(text.size(), sizeof szVersion));
    return VersionCodeOf(szVersion);
}

static void PutWord(char *p, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<char>(v >> (8 * i));
}

std::uint32_t ReadWord(const char *p)
{
    const auto *u = reinterpret_cast<const unsigned char *>(p);
    return std::uint32_t(u[0]) | std::uint32_t(u[1]) << 8 | std::uint32_t(u[2]) << 16 |
           std::uint32_t(u[3]) << 24;
}

// Built here rather than with the codec's reply builder so that a version text of
// all 16 bytes (no terminating zero) can be sent as a fault.
QByteArray BuildReply(const QByteArray &version, std::uint32_t command, const Words &words,
                      const QByteArray &data)
{
    QByteArray packet(int(PACKET_MIN_SIZE) + data.size(), '\0');
    char *p = packet.data();
    std::memcpy(p, version.constData(), std::min<std::size_t>(version.size(), PACKET_VERSION_SIZE));
    PutWord(p + 16, std::uint32_t(packet.size()));
    PutWord(p + 20, PACKET_TYPE_REQUEST);
    PutWord(p + 24, command);
    for (int i = 0; i < 8; ++i)
        PutWord(p + PACKET_HEADER_SIZE + 4 * i, words[i]);
    if (!data.isEmpty())
        std::memcpy(p + PACKET_MIN_SIZE, data.constData(), data.size());
    return packet;
}

void PatchPacketSize(QByteArray &packet, std::uint32_t size)
{
    if (packet.size() >= 28)
        PutWord(packet.data() + 16, size);
}

void PatchPacketType(QByteArray &packet, std::uint32_t type)
{
    if (packet.size() >= 28)
        PutWord(packet.data() + 20, type);
}

Request ParseRequest(const QByteArray &raw)
{
    Request r;
    r.raw = raw;
    if (raw.size() < int(PACKET_HEADER_SIZE))
        return r;
    const char *p = raw.constData();
    r.version = QByteArray(p, 16);
    int zero = r.version.indexOf('\0');
    if (zero >= 0)
        r.version.truncate(zero);
    r.size = ReadWord(p + 16);
    r.type = ReadWord(p + 20);
    r.command = ReadWord(p + 24);
    for (int i = 0; i < 8; ++i) {
        int at = int(PACKET_HEADER_SIZE) + 4 * i;
        if (at + 4 <= raw.size())
            r.words[i] = ReadWord(p + at);
    }
    if (r.command == COMMAND_LOGIN) {
        auto slot = [&](std::size_t off, std::size_t len) {
            int from = int(PACKET_HEADER_SIZE + off);
            QByteArray s = raw.mid(from, int(len));
            int z = s.indexOf('\0');
            return z >= 0 ? s.left(z) : s;
        };
        r.userId = slot(LOGIN_USERID_OFFSET, LOGIN_USERID_SLOT);
        r.password = slot(LOGIN_PASSWORD_OFFSET, LOGIN_PASSWORD_SLOT);
    }
    return r;
}

std::uint32_t DateWordOf(const QDateTime &t)
{
    const QDate d = t.date();
    return MakeDateWord(d.year(), d.month(), d.day());
}

std::uint32_t TimeWordOf(const QDateTime &t)
{
    const QTime c = t.time();
    return MakeTimeWord(c.hour(), c.minute(), c.second());
}

std::uint32_t CalendarSecondsOf(const QDateTime &t)
{
    return std::uint32_t(t.toSecsSinceEpoch());
}

QDateTime FromCalendarSeconds(std::uint32_t s)
{
    return QDateTime::fromSecsSinceEpoch(qint64(s), Qt::LocalTime);
}

QDateTime FromDateTimeWords(std::uint32_t dateWord, std::uint32_t timeWord)
{
    int year = int(dateWord >> 16), month = int(dateWord >> 8 & 0xFF), day = int(dateWord & 0xFF);
    int hour = int(timeWord >> 24), minute = int(timeWord >> 16 & 0xFF),
        second = int(timeWord >> 8 & 0xFF);
    if (year < 1995 || year > 2095 || month < 1 || month > 12 || day < 1 || day > 31 || hour > 24 ||
        minute > 59 || second > 59)
        return QDateTime();
    QDate date(year, month, day);
    if (!date.isValid())
        return QDateTime();
    QDateTime t(date, QTime(0, 0, 0), Qt::LocalTime);
    return t.addSecs(hour * 3600 + minute * 60 + second);
}

void PutTimeRange(Words &words, int versionCode, const QDateTime &start, const QDateTime &end)
{
    if (versionCode == VERSION_CODE_10) {
        words[2] = CalendarSecondsOf(start);
        words[3] = CalendarSecondsOf(end);
        words[4] = words[5] = 0;
    } else {
        words[2] = DateWordOf(start);
        words[3] = TimeWordOf(start);
        words[4] = DateWordOf(end);
        words[5] = TimeWordOf(end);
    }
}

void PutPictureTime(Words &words, int versionCode, int channelIndex, const QDateTime &t)
{
    if (versionCode == VERSION_CODE_10) {
        words[0] = std::uint32_t(channelIndex & 0xFF);
        words[1] = CalendarSecondsOf(t);
    } else {
        QDate d = t.date();
        QTime c = t.time();
        words[0] = std::uint32_t(channelIndex & 0xFF) << 24 | std::uint32_t(d.year()) << 8 |
                   std::uint32_t(d.month());
        words[1] = std::uint32_t(d.day()) << 24 | std::uint32_t(c.hour()) << 16 |
                   std::uint32_t(c.minute()) << 8 | std::uint32_t(c.second());
    }
}

QString CommandName(std::uint32_t code)
{
    switch (code) {
    case COMMAND_LOGIN:
        return QStringLiteral("COMMAND_LOGIN");
    case COMMAND_LIVE:
        return QStringLiteral("COMMAND_LIVE");
    case COMMAND_STOP:
        return QStringLiteral("COMMAND_STOP");
    case COMMAND_RECORDER:
        return QStringLiteral("COMMAND_RECORDER");
    case COMMAND_PTZ:
        return QStringLiteral("COMMAND_PTZ");
    case COMMAND_ALERT:
        return QStringLiteral("COMMAND_ALERT");
    case COMMAND_EVENT:
        return QStringLiteral("COMMAND_EVENT");
    case COMMAND_START_TIME:
        return QStringLiteral("COMMAND_START_TIME");
    case COMMAND_WATCHDOG:
        return QStringLiteral("COMMAND_WATCHDOG");
    default:
        return QStringLiteral("UNKNOWN");
    }
}

} // namespace sim
