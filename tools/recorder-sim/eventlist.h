#pragma once
// The recorder's event list: 10-byte records (channel, event bits, year - 1996,
// month, day, hour, minute, second, two bytes not interpreted by the client). The
// simulated list covers every event bit, the masks 0 and 0xFF, channel bytes 0 to 5,
// an hour of 24 (still valid) and, in every ninth record, one out-of-range field
// (month 13, day 32, hour 25, minute 60, second 60 or year offset 101 in turn).

#include <QByteArray>
#include <QDateTime>

namespace sim {

constexpr int EVENT_RECORD_SIZE = 10;

QByteArray MakeEventList(int count, const QDateTime &rangeStart, const QDateTime &rangeEnd);

} // namespace sim
