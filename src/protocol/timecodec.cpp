#include "protocol/timecodec.h"

#include "protocol/platformtime.h"

#include <QDateTime>

#include <ctime>

namespace {

DvrDateTime FromTm(const std::tm &tm)
{
    DvrDateTime dt;
    dt.nYear = tm.tm_year + 1900;
    dt.nMonth = tm.tm_mon + 1;
    dt.nDay = tm.tm_mday;
    dt.nHour = tm.tm_hour;
    dt.nMinute = tm.tm_min;
    dt.nSecond = tm.tm_sec;
    return dt;
}

DvrDateTime LocalFromTimeT(std::time_t t)
{
    std::tm tm{};
    if (!LocalTimeOf(t, tm))
        return DvrDateTime{};
    return FromTm(tm);
}

// Days since 1970-01-01 of a proleptic Gregorian date (month 1..12).
long long DaysFromCivil(long long y, int m, int d)
{
    y -= m <= 2 ? 1 : 0;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const long long yoe = y - era * 400;
    const long long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void CivilFromDays(long long z, long long &y, int &m, int &d)
{
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const long long doe = z - era * 146097;
    const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long long mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = yoe + era * 400 + (m <= 2 ? 1 : 0);
}

long long FloorDiv(long long a, long long b)
{
    return a / b - ((a % b != 0 && (a < 0) != (b < 0)) ? 1 : 0);
}

} // namespace

// ---- calendar seconds ---------------------------------------------------------------------

DvrDateTime DateTimeFromCalendarSeconds(std::uint32_t dwSeconds)
{
    return LocalFromTimeT(static_cast<std::time_t>(dwSeconds));
}

bool TryCalendarSeconds(const DvrDateTime &dt, std::uint32_t &dwSeconds)
{
    std::tm tm{};
    tm.tm_year = dt.nYear - 1900;
    tm.tm_mon = dt.nMonth - 1;
    tm.tm_mday = dt.nDay;
    tm.tm_hour = dt.nHour;
    tm.tm_min = dt.nMinute;
    tm.tm_sec = dt.nSecond;
    tm.tm_isdst = -1; // let the zone rules decide whether daylight saving applies
    const std::time_t t = std::mktime(&tm);
    // mktime's -1 is also a real instant (1969-12-31 23:59:59 UTC), outside u32 anyway.
    if (t < 0 || static_cast<long long>(t) > 0xFFFFFFFFLL)
        return false;
    dwSeconds = static_cast<std::uint32_t>(t);
    return true;
}

std::uint32_t CalendarSecondsOf(const DvrDateTime &dt)
{
    std::uint32_t seconds = 0;
    return TryCalendarSeconds(dt, seconds) ? seconds : 0;
}

DvrDateTime CurrentLocalDateTime()
{
    return LocalFromTimeT(std::time(nullptr));
}

QDateTime ToQDateTime(const DvrDateTime &dt)
{
    const DvrDateTime n = NormaliseDateTime(dt);
    return QDateTime(QDate(n.nYear, n.nMonth, n.nDay), QTime(n.nHour, n.nMinute, n.nSecond));
}

DvrDateTime FromQDateTime(const QDateTime &qdt)
{
    const QDateTime local = qdt.toLocalTime();
    DvrDateTime dt;
    dt.nYear = local.date().year();
    dt.nMonth = local.date().month();
    dt.nDay = local.date().day();
    dt.nHour = local.time().hour();
    dt.nMinute = local.time().minute();
    dt.nSecond = local.time().second();
    return dt;
}

// ---- DateWord / TimeWord ------------------------------------------------------------------

std::uint32_t MakeDateWord(int nYear, int nMonth, int nDay)
{
    return (static_cast<std::uint32_t>(nYear) & 0xFFFF) << 16 |
           (static_cast<std::uint32_t>(nMonth) & 0xFF) << 8 |
           (static_cast<std::uint32_t>(nDay) & 0xFF);
}

std::uint32_t MakeDateWord(const DvrDateTime &dt)
{
    return MakeDateWord(dt.nYear, dt.nMonth, dt.nDay);
}

std::uint32_t MakeTimeWord(int nHour, int nMinute, int nSecond)
{
    return (static_cast<std::uint32_t>(nHour) & 0xFF) << 24 |
           (static_cast<std::uint32_t>(nMinute) & 0xFF) << 16 |
           (static_cast<std::uint32_t>(nSecond) & 0xFF) << 8;
}

std::uint32_t MakeTimeWord(const DvrDateTime &dt)
{
    return MakeTimeWord(dt.nHour, dt.nMinute, dt.nSecond);
}

DvrDateTime DateTimeFromWords(std::uint32_t dwDateWord, std::uint32_t dwTimeWord)
{
    DvrDateTime dt;
    dt.nYear = static_cast<int>(dwDateWord >> 16);
    dt.nMonth = static_cast<int>(dwDateWord >> 8 & 0xFF);
    dt.nDay = static_cast<int>(dwDateWord & 0xFF);
    dt.nHour = static_cast<int>(dwTimeWord >> 24);
    dt.nMinute = static_cast<int>(dwTimeWord >> 16 & 0xFF);
    dt.nSecond = static_cast<int>(dwTimeWord >> 8 & 0xFF);
    return dt;
}

DvrDateTime DateTimeFromPictureWords(std::uint32_t dwWord0, std::uint32_t dwWord1)
{
    DvrDateTime dt;
    dt.nYear = static_cast<int>(dwWord0 >> 8 & 0xFFFF);
    dt.nMonth = static_cast<int>(dwWord0 & 0xFF);
    dt.nDay = static_cast<int>(dwWord1 >> 24);
    dt.nHour = static_cast<int>(dwWord1 >> 16 & 0xFF);
    dt.nMinute = static_cast<int>(dwWord1 >> 8 & 0xFF);
    dt.nSecond = static_cast<int>(dwWord1 & 0xFF);
    return dt;
}

bool IsValidPictureDate(const DvrDateTime &dt)
{
    return dt.nYear > 1995 && dt.nYear <= 2095 && dt.nMonth >= 1 && dt.nMonth <= 12 &&
           dt.nDay >= 1 && dt.nDay <= 31;
}

bool IsValidPictureTime(const DvrDateTime &dt)
{
    return dt.nHour >= 0 && dt.nHour <= 24 && dt.nMinute >= 0 && dt.nMinute <= 59 &&
           dt.nSecond >= 0 && dt.nSecond <= 59;
}

// ---- PackedTime -------------------------------------------------------------------------------

PackedTime MakeTimeCost(int nYear, int nMonth, int nDay, int nHour, int nMinute, int nSecond)
{
    const int year = nYear >= 1996 ? nYear - 1996 : nYear;
    return (static_cast<std::uint32_t>(year) & 0x3F) << 26 |
           (static_cast<std::uint32_t>(nMonth) & 0x0F) << 22 |
           (static_cast<std::uint32_t>(nDay) & 0x1F) << 17 |
           (static_cast<std::uint32_t>(nHour) & 0x1F) << 12 |
           (static_cast<std::uint32_t>(nMinute) & 0x3F) << 6 |
           (static_cast<std::uint32_t>(nSecond) & 0x3F);
}

PackedTime MakeTimeCost(const DvrDateTime &dt)
{
    return MakeTimeCost(dt.nYear, dt.nMonth, dt.nDay, dt.nHour, dt.nMinute, dt.nSecond);
}

DvrDateTime DecodePackedTime(PackedTime packed)
{
    DvrDateTime dt;
    dt.nYear = static_cast<int>(packed >> 26 & 0x3F) + 1996;
    dt.nMonth = static_cast<int>(packed >> 22 & 0x0F);
    dt.nDay = static_cast<int>(packed >> 17 & 0x1F);
    dt.nHour = static_cast<int>(packed >> 12 & 0x1F);
    dt.nMinute = static_cast<int>(packed >> 6 & 0x3F);
    dt.nSecond = static_cast<int>(packed & 0x3F);
    return dt;
}

// ---- recording time range -------------------------------------------------------------------

bool IsValidRangeDateTime(const DvrDateTime &dt)
{
    return dt.nYear >= 1995 && dt.nYear <= 2095 && dt.nMonth >= 1 && dt.nMonth <= 12 &&
           dt.nDay >= 1 && dt.nDay <= 31 && dt.nHour >= 0 && dt.nHour <= 24 && dt.nMinute >= 0 &&
           dt.nMinute <= 59 && dt.nSecond >= 0 && dt.nSecond <= 59;
}

bool IsRealDate(int nYear, int nMonth, int nDay)
{
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (nMonth < 1 || nMonth > 12 || nDay < 1)
        return false;
    const bool leap = (nYear % 4 == 0 && nYear % 100 != 0) || nYear % 400 == 0;
    const int days = kDays[nMonth - 1] + (nMonth == 2 && leap ? 1 : 0);
    return nDay <= days;
}

DvrDateTime NormaliseDateTime(const DvrDateTime &dt)
{
    const long long monthIndex = static_cast<long long>(dt.nYear) * 12 + (dt.nMonth - 1);
    const long long year = FloorDiv(monthIndex, 12);
    const int month = static_cast<int>(monthIndex - year * 12) + 1;
    const long long days = DaysFromCivil(year, month, 1) + (dt.nDay - 1);
    const long long total = days * 86400 + static_cast<long long>(dt.nHour) * 3600 +
                            static_cast<long long>(dt.nMinute) * 60 + dt.nSecond;
    const long long outDays = FloorDiv(total, 86400);
    const long long secs = total - outDays * 86400;

    DvrDateTime out;
    long long outYear = 0;
    CivilFromDays(outDays, outYear, out.nMonth, out.nDay);
    out.nYear = static_cast<int>(outYear);
    out.nHour = static_cast<int>(secs / 3600);
    out.nMinute = static_cast<int>(secs % 3600 / 60);
    out.nSecond = static_cast<int>(secs % 60);
    return out;
}

RecordingRange DecodeTimeRange(std::uint8_t nVersionCode, std::uint32_t a, std::uint32_t b,
                               std::uint32_t c, std::uint32_t d, const DvrDateTime &now)
{
    RecordingRange range;
    if (nVersionCode == 1) {
        range.dtStart = DateTimeFromCalendarSeconds(a);
        range.dtEnd = DateTimeFromCalendarSeconds(b);
        range.bStartValid = true;
        range.bEndValid = true;
        return range;
    }
    // A pair that passes the field test may still name a day that does not exist;
    // such a pair is as unusable as an out-of-range one. Hour 24 stays as given: the
    // end of that day, which is also the day the request dates are checked against.
    auto decode = [&now](std::uint32_t date, std::uint32_t time, bool &valid) {
        const DvrDateTime dt = DateTimeFromWords(date, time);
        valid = IsValidRangeDateTime(dt) && IsRealDate(dt.nYear, dt.nMonth, dt.nDay);
        return valid ? dt : now;
    };
    range.dtStart = decode(a, b, range.bStartValid);
    range.dtEnd = decode(c, d, range.bEndValid);
    return range;
}
