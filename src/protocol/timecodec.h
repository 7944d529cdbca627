#pragma once

// Date and time encodings of the recorder link:
// - calendar seconds: u32 seconds since 1970-01-01 00:00:00 UTC, converted to and
//   from the workstation's LOCAL date-time (daylight saving included), as version
//   code 1 recorders use them;
// - DateWord  = year << 16 | month << 8 | day (year in full);
// - TimeWord  = hour << 24 | minute << 16 | second << 8 (bits 0-7 zero);
// - PackedTime (MakeTimeCost): year - 1996 in bits 26-31, month 22-25, day 17-21,
//   hour 12-16, minute 6-11, second 0-5; the item data of the event list.

#include <cstdint>

class QDateTime;

struct DvrDateTime {
    int nYear = 1970;
    int nMonth = 1; // 1..12
    int nDay = 1;   // 1..31
    int nHour = 0;
    int nMinute = 0;
    int nSecond = 0;

    friend bool operator==(const DvrDateTime &a, const DvrDateTime &b)
    {
        return a.nYear == b.nYear && a.nMonth == b.nMonth && a.nDay == b.nDay &&
               a.nHour == b.nHour && a.nMinute == b.nMinute && a.nSecond == b.nSecond;
    }
    friend bool operator!=(const DvrDateTime &a, const DvrDateTime &b) { return !(a == b); }
};

// ---- calendar seconds (local time) ----------------------------------------------------

// Local date-time of a calendar-seconds value.
DvrDateTime DateTimeFromCalendarSeconds(std::uint32_t dwSeconds);
// Calendar seconds of a local date-time (out-of-range fields are carried over as the
// standard conversion does, e.g. hour 24 is the next day's 00). False when the
// result does not fit 0..0xFFFFFFFF.
bool TryCalendarSeconds(const DvrDateTime &dt, std::uint32_t &dwSeconds);
// As above; 0 when the value does not fit.
std::uint32_t CalendarSecondsOf(const DvrDateTime &dt);

// The workstation's current local date-time.
DvrDateTime CurrentLocalDateTime();

// Qt conversions (local time).
QDateTime ToQDateTime(const DvrDateTime &dt);
DvrDateTime FromQDateTime(const QDateTime &qdt);

// ---- DateWord / TimeWord --------------------------------------------------------------

std::uint32_t MakeDateWord(int nYear, int nMonth, int nDay);
std::uint32_t MakeDateWord(const DvrDateTime &dt);
std::uint32_t MakeTimeWord(int nHour, int nMinute, int nSecond);
std::uint32_t MakeTimeWord(const DvrDateTime &dt);
// Date from a DateWord and time of day from a TimeWord (no validity test).
DvrDateTime DateTimeFromWords(std::uint32_t dwDateWord, std::uint32_t dwTimeWord);

// Picture time of a COMMAND_R_RECORDER reply for version codes 2 and 3:
// word 0 = channel << 24 | year << 8 | month, word 1 = day << 24 | hour << 16 |
// minute << 8 | second.
DvrDateTime DateTimeFromPictureWords(std::uint32_t dwWord0, std::uint32_t dwWord1);
// Acceptance of a picture time: date with 1995 < year <= 2095, month 1..12, day 1..31;
// time of day with hour <= 24, minute <= 59, second <= 59.
bool IsValidPictureDate(const DvrDateTime &dt);
bool IsValidPictureTime(const DvrDateTime &dt);

// ---- PackedTime -----------------------------------------------------------------------

using PackedTime = std::uint32_t;

// Years of 1996 or later have 1996 subtracted; smaller years are taken as an offset
// already. Every value is masked to its field width, so year 2060 wraps to 0.
PackedTime MakeTimeCost(int nYear, int nMonth, int nDay, int nHour, int nMinute, int nSecond);
PackedTime MakeTimeCost(const DvrDateTime &dt);
// The six fields, year = field + 1996.
DvrDateTime DecodePackedTime(PackedTime packed);

// ---- recording time range -------------------------------------------------------------

// Field test of a DateWord/TimeWord pair of the recording time range: year 1995..2095,
// month 1..12, day 1..31, hour 0..24, minute 0..59, second 0..59.
bool IsValidRangeDateTime(const DvrDateTime &dt);
// True when day exists in that month (leap years included).
bool IsRealDate(int nYear, int nMonth, int nDay);
// Carries an out-of-range time of day into the date (hour 24 -> next day 00), pure
// calendar arithmetic without any time zone.
DvrDateTime NormaliseDateTime(const DvrDateTime &dt);

struct RecordingRange {
    DvrDateTime dtStart;
    DvrDateTime dtEnd;
    bool bStartValid = false; // false: dtStart is "now"
    bool bEndValid = false;   // false: dtEnd is "now"; true: the end came from the recorder
};

// Words 2..5 of COMMAND_R_LOGIN / COMMAND_R_START_TIME as start and end date-times.
// Version code 1: a and b are calendar seconds. Codes 2 and 3: (a, b) and (c, d) are
// DateWord/TimeWord pairs; a pair that fails IsValidRangeDateTime, or names a day
// that does not exist (30 February), is replaced by now. Hour 24 is kept as given
// (2008-02-29 24:00:00 ends 29 February).
RecordingRange DecodeTimeRange(std::uint8_t nVersionCode, std::uint32_t a, std::uint32_t b,
                               std::uint32_t c, std::uint32_t d, const DvrDateTime &now);
