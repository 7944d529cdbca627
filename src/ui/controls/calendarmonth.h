#pragma once

// The arithmetic behind the month calendar, without any window: which 42 days a month's
// grid shows, what kind each day is, the date range and the three ways of moving to
// another month. Qt Core only (QDate), so it runs headless.

#include <QDate>

#include <array>

namespace calendarmonth {

// The dates the calendar accepts.
inline constexpr int kMinYear = 1900;
inline constexpr int kMaxYear = 2200;
QDate MinDate(); // 1900-12-01
QDate MaxDate(); // 2200-01-31

inline constexpr int kCells = 42; // 6 weeks of 7 days, Sunday first

// Kind of a day in the grid.
enum DayKind : int {
    DAY_MONTH = 0, // a day of the month on show
    DAY_OTHER = 1, // a day of the previous or next month (drawn grey)
    DAY_TODAY = 2, // today, whatever its month
};

struct GridDay {
    QDate date;
    int nKind = DAY_OTHER;
};

// First cell of the grid of (nYear, nMonth): the Sunday on or before the first of the
// month, except that a month beginning on a Sunday starts one week earlier, so the first
// row always shows at least one day of the previous month.
QDate GridStart(int nYear, int nMonth);

// The 42 consecutive days of the grid with their kinds.
std::array<GridDay, kCells> MonthGrid(int nYear, int nMonth, const QDate &today);

// Brings a date into the range: below the minimum it becomes the minimum, above the
// maximum the maximum. Returns false when it had to be moved.
bool ClampToRange(QDate &date);

// The month on show after a step of the year spin by nDelta years: the same month in the
// new year (the year kept within 1900..2200), then clamped, so the grid never shows a
// month outside the range. Returns the first day of that month.
QDate StepYear(const QDate &displayed, int nDelta);

// The month on show after a step of the month spin: 30 days back from the 15th of the
// displayed month when nDelta < 1, else 30 days forward; clamped; first day of its month.
QDate StepMonth(const QDate &displayed, int nDelta);

// The month on show after month nMonth (1..12) was chosen in the month list.
QDate PickMonth(const QDate &displayed, int nMonth);

// English full month name of nMonth (1..12), whatever the machine's locale.
const char *MonthName(int nMonth);

} // namespace calendarmonth
