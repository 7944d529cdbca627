#include "protocol/timecodec.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <optional>
#include <ostream>
#include <string>

void PrintTo(const DvrDateTime &dt, std::ostream *os)
{
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", dt.nYear, dt.nMonth, dt.nDay,
                  dt.nHour, dt.nMinute, dt.nSecond);
    *os << text;
}

namespace {

DvrDateTime Dt(int y, int mo, int d, int h = 0, int mi = 0, int s = 0)
{
    DvrDateTime dt;
    dt.nYear = y;
    dt.nMonth = mo;
    dt.nDay = d;
    dt.nHour = h;
    dt.nMinute = mi;
    dt.nSecond = s;
    return dt;
}

// Sets the process time zone for the life of the object and restores it afterwards.
class ScopedTimeZone {
  public:
    explicit ScopedTimeZone(const char *zone)
    {
        if (const char *old = std::getenv("TZ"))
            m_old = old;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~ScopedTimeZone()
    {
        if (m_old)
            setenv("TZ", m_old->c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

  private:
    std::optional<std::string> m_old;
};

} // namespace

// ---- PackedTime --------------------------------------------------------------------------

struct PackRow {
    DvrDateTime dt;
    PackedTime packed;
    DvrDateTime decoded;
};

class TimePacked : public ::testing::TestWithParam<PackRow> {};

TEST_P(TimePacked, MakeTimeCostAndDecode)
{
    const PackRow &row = GetParam();
    EXPECT_EQ(MakeTimeCost(row.dt), row.packed) << std::hex << MakeTimeCost(row.dt);
    EXPECT_EQ(DecodePackedTime(row.packed), row.decoded);
}

INSTANTIATE_TEST_SUITE_P(
    Values, TimePacked,
    ::testing::Values(PackRow{Dt(2005, 3, 15, 10, 20, 30), 0x24DEA51E, Dt(2005, 3, 15, 10, 20, 30)},
                      PackRow{Dt(1996, 1, 1), 0x00420000, Dt(1996, 1, 1)},
                      PackRow{Dt(2059, 12, 31, 23, 59, 59), 0xFF3F7EFB,
                              Dt(2059, 12, 31, 23, 59, 59)},
                      // 2060 is offset 64: only the low 6 bits survive, so it reads back as 1996.
                      PackRow{Dt(2060, 6, 1), 0x01820000, Dt(1996, 6, 1)},
                      // A year below 1996 is already an offset (the event file stores year - 1996).
                      PackRow{Dt(9, 3, 15, 10, 20, 30), 0x24DEA51E, Dt(2005, 3, 15, 10, 20, 30)},
                      // Hour 24 fits its 5-bit field.
                      PackRow{Dt(2000, 2, 29, 24, 0, 0), 0x10BB8000, Dt(2000, 2, 29, 24, 0, 0)}));

// ---- DateWord / TimeWord ------------------------------------------------------------------

TEST(TimeWords, EncodeDecode)
{
    EXPECT_EQ(MakeDateWord(2005, 3, 15), 0x07D5030Fu);
    EXPECT_EQ(MakeTimeWord(10, 20, 30), 0x0A141E00u);
    EXPECT_EQ(DateTimeFromWords(0x07D5030F, 0x0A141E00), Dt(2005, 3, 15, 10, 20, 30));
    const DvrDateTime dt = Dt(2095, 12, 31, 23, 59, 59);
    EXPECT_EQ(DateTimeFromWords(MakeDateWord(dt), MakeTimeWord(dt)), dt);
    // Bits 0-7 of a TimeWord are ignored.
    EXPECT_EQ(DateTimeFromWords(0x07D5030F, 0x0A141EFF), Dt(2005, 3, 15, 10, 20, 30));
}

TEST(TimeWords, PictureWords)
{
    const std::uint32_t w0 = 3u << 24 | 2005u << 8 | 3u;
    const std::uint32_t w1 = 15u << 24 | 10u << 16 | 20u << 8 | 30u;
    const DvrDateTime dt = DateTimeFromPictureWords(w0, w1);
    EXPECT_EQ(dt, Dt(2005, 3, 15, 10, 20, 30));
    EXPECT_TRUE(IsValidPictureDate(dt));
    EXPECT_TRUE(IsValidPictureTime(dt));
    EXPECT_FALSE(IsValidPictureDate(Dt(1995, 3, 15)));
    EXPECT_TRUE(IsValidPictureDate(Dt(2095, 3, 15)));
    EXPECT_FALSE(IsValidPictureTime(Dt(2005, 3, 15, 25, 0, 0)));
}

// ---- validity of the recording time range ---------------------------------------------------

TEST(TimeRange, FieldValidity)
{
    struct Row {
        DvrDateTime dt;
        bool valid;
    } rows[] = {
        {Dt(1995, 1, 1, 0, 0, 0), true},
        {Dt(2095, 12, 31, 24, 59, 59), true},
        {Dt(1994, 12, 31, 23, 59, 59), false},
        {Dt(2096, 1, 1), false},
        {Dt(2005, 0, 1), false},
        {Dt(2005, 13, 1), false},
        {Dt(2005, 1, 0), false},
        {Dt(2005, 1, 32), false},
        {Dt(2005, 1, 1, 25), false},
        {Dt(2005, 1, 1, 0, 60), false},
        {Dt(2005, 1, 1, 0, 0, 60), false},
    };
    for (const Row &row : rows)
        EXPECT_EQ(IsValidRangeDateTime(row.dt), row.valid) << ::testing::PrintToString(row.dt);

    EXPECT_TRUE(IsRealDate(2000, 2, 29));
    EXPECT_FALSE(IsRealDate(1900, 2, 29));
    EXPECT_FALSE(IsRealDate(2005, 2, 29));
    EXPECT_FALSE(IsRealDate(2005, 4, 31));
    EXPECT_TRUE(IsRealDate(2005, 12, 31));
}

TEST(TimeRange, WordPairsWithNowFallback)
{
    const DvrDateTime now = Dt(2026, 12, 7, 8, 0, 0);
    struct Row {
        const char *name;
        std::uint32_t a, b, c, d;
        DvrDateTime start, end;
        bool startValid, endValid;
    } rows[] = {
        {"both valid", MakeDateWord(2005, 3, 15), MakeTimeWord(10, 20, 30),
         MakeDateWord(2006, 1, 2), MakeTimeWord(3, 4, 5), Dt(2005, 3, 15, 10, 20, 30),
         Dt(2006, 1, 2, 3, 4, 5), true, true},
        {"all zero", 0, 0, 0, 0, now, now, false, false},
        {"end invalid month", MakeDateWord(2005, 3, 15), 0, MakeDateWord(2006, 13, 2), 0,
         Dt(2005, 3, 15), now, true, false},
        {"hour 24 kept as given", MakeDateWord(2005, 12, 31), MakeTimeWord(24, 0, 0),
         MakeDateWord(2005, 2, 28), MakeTimeWord(24, 30, 0), Dt(2005, 12, 31, 24),
         Dt(2005, 2, 28, 24, 30), true, true},
        {"day that does not exist", MakeDateWord(2005, 2, 30), 0, MakeDateWord(2005, 4, 31), 0, now,
         now, false, false},
        {"minute 60", MakeDateWord(2005, 3, 15), MakeTimeWord(1, 60, 0), MakeDateWord(2005, 3, 15),
         MakeTimeWord(1, 59, 59), now, Dt(2005, 3, 15, 1, 59, 59), false, true},
    };
    for (std::uint8_t code : {2, 3}) {
        for (const Row &row : rows) {
            const RecordingRange r = DecodeTimeRange(code, row.a, row.b, row.c, row.d, now);
            EXPECT_EQ(r.dtStart, row.start) << row.name;
            EXPECT_EQ(r.dtEnd, row.end) << row.name;
            EXPECT_EQ(r.bStartValid, row.startValid) << row.name;
            EXPECT_EQ(r.bEndValid, row.endValid) << row.name;
        }
    }
}

TEST(TimeRange, CalendarSecondsForVersionOne)
{
    ScopedTimeZone zone("UTC");
    const RecordingRange r = DecodeTimeRange(1, 1110882030, 1136171045, 7, 8, Dt(2026, 1, 1));
    EXPECT_EQ(r.dtStart, Dt(2005, 3, 15, 10, 20, 30));
    EXPECT_EQ(r.dtEnd, Dt(2006, 1, 2, 3, 4, 5));
    EXPECT_TRUE(r.bStartValid);
    EXPECT_TRUE(r.bEndValid);
}

TEST(TimeRange, NormaliseCarries)
{
    EXPECT_EQ(NormaliseDateTime(Dt(2005, 3, 15, 11, 59, 58)), Dt(2005, 3, 15, 11, 59, 58));
    EXPECT_EQ(NormaliseDateTime(Dt(2004, 2, 28, 24, 0, 0)), Dt(2004, 2, 29));
    EXPECT_EQ(NormaliseDateTime(Dt(2005, 12, 31, 23, 59, 60)), Dt(2006, 1, 1));
    EXPECT_EQ(NormaliseDateTime(Dt(2005, 13, 1)), Dt(2006, 1, 1));
}

// ---- calendar seconds in local time -------------------------------------------------------

TEST(CalendarSeconds, KnownInstantsInBerlin)
{
    ScopedTimeZone zone("Europe/Berlin");
    struct Row {
        DvrDateTime local;
        std::uint32_t seconds;
    } rows[] = {
        {Dt(2005, 3, 15, 10, 20, 30), 1110878430}, // winter time, UTC+1
        {Dt(2026, 3, 29, 1, 59, 59), 1774745999},  // last second before the spring change
        {Dt(2026, 3, 29, 3, 0, 0), 1774746000},    // one second later, summer time
        {Dt(2026, 10, 25, 1, 59, 59), 1792886399}, // summer time, UTC+2
        {Dt(2026, 10, 25, 3, 0, 0), 1792893600},   // winter time again
        {Dt(1970, 1, 1, 1, 0, 0), 0},
    };
    for (const Row &row : rows) {
        EXPECT_EQ(CalendarSecondsOf(row.local), row.seconds) << ::testing::PrintToString(row.local);
        EXPECT_EQ(DateTimeFromCalendarSeconds(row.seconds), row.local) << row.seconds;
    }
}

TEST(CalendarSeconds, RoundTripAcrossDaylightSavingChanges)
{
    ScopedTimeZone zone("Europe/Berlin");
    // Every 7 minutes through both change days. Local times in the skipped spring hour
    // do not exist and those in the repeated autumn hour are ambiguous; the instants
    // themselves must still round-trip except inside the repeated hour.
    const std::uint32_t days[] = {1774738800 - 3600 * 2, 1792879200 - 3600 * 2};
    for (std::uint32_t from : days) {
        for (std::uint32_t t = from; t < from + 30 * 3600; t += 7 * 60) {
            const DvrDateTime local = DateTimeFromCalendarSeconds(t);
            const bool repeatedHour = local.nMonth == 10 && local.nDay == 25 && local.nHour == 2;
            if (repeatedHour)
                continue;
            EXPECT_EQ(CalendarSecondsOf(local), t) << ::testing::PrintToString(local);
        }
    }
    // The spring day is 23 hours long, the autumn day 25.
    EXPECT_EQ(CalendarSecondsOf(Dt(2026, 3, 30)) - CalendarSecondsOf(Dt(2026, 3, 29)), 23u * 3600);
    EXPECT_EQ(CalendarSecondsOf(Dt(2026, 10, 26)) - CalendarSecondsOf(Dt(2026, 10, 25)),
              25u * 3600);
}

TEST(CalendarSeconds, OutOfRange)
{
    ScopedTimeZone zone("UTC");
    std::uint32_t seconds = 123;
    EXPECT_FALSE(TryCalendarSeconds(Dt(1969, 12, 31, 23, 59, 59), seconds));
    EXPECT_FALSE(TryCalendarSeconds(Dt(2106, 2, 7, 6, 28, 16), seconds));
    EXPECT_EQ(seconds, 123u);
    EXPECT_TRUE(TryCalendarSeconds(Dt(2106, 2, 7, 6, 28, 15), seconds));
    EXPECT_EQ(seconds, 0xFFFFFFFFu);
    EXPECT_EQ(DateTimeFromCalendarSeconds(0xFFFFFFFFu), Dt(2106, 2, 7, 6, 28, 15));
    EXPECT_EQ(CalendarSecondsOf(Dt(1960, 1, 1)), 0u);
}
