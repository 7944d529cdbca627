#pragma once
// The simulator's side of the wire format: building replies and reading requests,
// and the date/time encodings that travel in payloads. Codes and sizes come from the
// client's protocol header so both ends agree on them; the few byte-level helpers
// the simulator needs are kept here, in one thin file.

#include "protocol/packet.h"

#include <QByteArray>
#include <QDateTime>

#include <array>
#include <cstdint>

namespace sim {

using Words = std::array<std::uint32_t, 8>;

// Version code of a version text: 1 for "DVR PACKET1.0", 2 for "DVR PACKET1.2"
// (both compared without regard to letter case), 3 for anything else.
int VersionCodeOfText(const QByteArray &text);

// A reply packet: 28-byte header (szVersion = the text cut to 16 bytes and
// zero-padded, nPacketSize = 60 + data length, nPacketType 1), eight payload words and
// the data block.
QByteArray BuildReply(const QByteArray &version, std::uint32_t command, const Words &words,
                      const QByteArray &data = QByteArray());

// Overwrites nPacketSize / nPacketType of a built packet (fault injection).
void PatchPacketSize(QByteArray &packet, std::uint32_t size);
void PatchPacketType(QByteArray &packet, std::uint32_t type);

struct Request {
    QByteArray version;        // szVersion up to its first zero byte
    std::uint32_t size = 0;    // nPacketSize
    std::uint32_t type = 0;    // nPacketType
    std::uint32_t command = 0; // nCommand
    Words words{};             // first 32 payload bytes as words (zero if absent)
    QByteArray userId;         // login only
    QByteArray password;       // login only
    QByteArray raw;            // the whole packet as received
};

// Reads one complete request packet (raw.size() == nPacketSize).
Request ParseRequest(const QByteArray &raw);

std::uint32_t ReadWord(const char *p);

// Date/time encodings.
std::uint32_t DateWordOf(const QDateTime &t); // year << 16 | month << 8 | day
std::uint32_t TimeWordOf(const QDateTime &t); // hour << 24 | minute << 16 | second << 8
std::uint32_t CalendarSecondsOf(const QDateTime &t);
QDateTime FromCalendarSeconds(std::uint32_t s);
// A DateWord/TimeWord pair as a local date-time; invalid when the fields are out of
// range (year 1995..2095, month 1..12, day 1..31, hour 0..24, minute and second 0..59)
// or do not form a real date. Hour 24 is taken as midnight of the next day.
QDateTime FromDateTimeWords(std::uint32_t dateWord, std::uint32_t timeWord);

// Recording time range as words 2..5 of COMMAND_R_LOGIN / COMMAND_R_START_TIME.
void PutTimeRange(Words &words, int versionCode, const QDateTime &start, const QDateTime &end);

// Picture time of a COMMAND_R_RECORDER reply: words 0 and 1 for the version code.
void PutPictureTime(Words &words, int versionCode, int channelIndex, const QDateTime &t);

QString CommandName(std::uint32_t code);

} // namespace sim
