#include "ui/controls/calendarmonth.h"

namespace calendarmonth {

QDate MinDate()
{
    return QDate(kMinYear, 12, 1);
}

QDate MaxDate()
{
    return QDate(kMaxYear, 1, 31);
}

QDate GridStart(int nYear, int nMonth)
{
    const QDate first(nYear, nMonth, 1);
    // dayOfWeek(): Monday 1 .. Sunday 7; days back to the Sunday before, a whole week
    // when the month itself begins on a Sunday.
    const int nBack = first.dayOfWeek() % 7;
    return first.addDays(-(nBack == 0 ? 7 : nBack));
}

std::array<GridDay, kCells> MonthGrid(int nYear, int nMonth, const QDate &today)
{
    std::array<GridDay, kCells> grid;
    QDate d = GridStart(nYear, nMonth);
    for (GridDay &cell : grid) {
        cell.date = d;
        cell.nKind = d.month() == nMonth ? DAY_MONTH : DAY_OTHER;
        if (d == today)
            cell.nKind = DAY_TODAY;
        d = d.addDays(1);
    }
    return grid;
}

bool ClampToRange(QDate &date)
{
    if (date < MinDate()) {
        date = MinDate();
        return false;
    }
    if (date > MaxDate()) {
        date = MaxDate();
        return false;
    }
    return true;
}

namespace {
QDate FirstOfMonth(const QDate &date)
{
    return QDate(date.year(), date.month(), 1);
}
} // namespace

QDate StepYear(const QDate &displayed, int nDelta)
{
    const int nYear = qBound(kMinYear, displayed.year() + nDelta, kMaxYear);
    QDate month(nYear, displayed.month(), 1);
    ClampToRange(month);
    return FirstOfMonth(month);
}

QDate StepMonth(const QDate &displayed, int nDelta)
{
    const QDate mid(displayed.year(), displayed.month(), 15);
    QDate month = mid.addDays(nDelta < 1 ? -30 : 30);
    ClampToRange(month);
    return FirstOfMonth(month);
}

QDate PickMonth(const QDate &displayed, int nMonth)
{
    QDate month(displayed.year(), qBound(1, nMonth, 12), 1);
    ClampToRange(month);
    return FirstOfMonth(month);
}

const char *MonthName(int nMonth)
{
    static const char *const apszNames[12] = {"January",   "February", "March",    "April",
                                              "May",       "June",     "July",     "August",
                                              "September", "October",  "November", "December"};
    return nMonth >= 1 && nMonth <= 12 ? apszNames[nMonth - 1] : "";
}

} // namespace calendarmonth
