// The calendar's arithmetic without a window: the grid of every month in the range
// against an independent table, the Sunday rule, the kinds of days, and the moves of the
// year spin, the month spin and the month list, which must never leave the range.
//
// tests/ui/data/calendargrid.txt holds the first and the last of the 42 cells of every
// month from December 1900 to January 2200, made once with Python's calendar module:
//   python3 -c 'import calendar,datetime as d
//   for y in range(1900,2201):
//    for m in range(1,13):
//     if (y,m)<(1900,12) or (y,m)>(2200,1): continue
//     f=calendar.Calendar(6).monthdatescalendar(y,m)[0][0]
//     f-=d.timedelta(7*(f.day==1))
//     print(f"{y:04d}-{m:02d} {f} {f+d.timedelta(41)}")' > tests/ui/data/calendargrid.txt

#include "ui/controls/calendarmonth.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTextStream>

using namespace calendarmonth;

namespace {
QDate Iso(const QString &text)
{
    return QDate::fromString(text, Qt::ISODate);
}
} // namespace

TEST(CalendarMonth, EveryGridOfTheRangeMatchesTheReferenceTable)
{
    QFile file(QStringLiteral(TELVANE_SOURCE_DIR "/tests/ui/data/calendargrid.txt"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly | QIODevice::Text));
    QTextStream in(&file);
    int nMonths = 0;
    QDate expectMonth = MinDate();
    while (!in.atEnd()) {
        const QStringList fields = in.readLine().split(QLatin1Char(' '));
        ASSERT_EQ(fields.size(), 3);
        const QDate month = Iso(fields[0] + QStringLiteral("-01"));
        ASSERT_EQ(month, expectMonth) << "table rows out of order";
        const auto grid = MonthGrid(month.year(), month.month(), QDate(1800, 1, 1));
        EXPECT_EQ(grid.front().date, Iso(fields[1])) << fields[0].toStdString();
        EXPECT_EQ(grid.back().date, Iso(fields[2])) << fields[0].toStdString();
        EXPECT_EQ(grid.front().date.dayOfWeek(), 7); // Sunday first
        for (size_t i = 1; i < grid.size(); ++i)
            ASSERT_EQ(grid[i - 1].date.addDays(1), grid[i].date);
        expectMonth = expectMonth.addMonths(1);
        ++nMonths;
    }
    EXPECT_EQ(nMonths, (2200 - 1901) * 12 + 2);
}

TEST(CalendarMonth, MonthBeginningOnSundayStartsOnTheSecondRowAndKindsFollowTheMonth)
{
    // June 2003 begins on a Sunday; today (1 July) lies in the grey tail.
    const auto grid = MonthGrid(2003, 6, QDate(2003, 7, 1));
    EXPECT_EQ(grid[0].date, QDate(2003, 5, 25));
    EXPECT_EQ(grid[6].date, QDate(2003, 5, 31));
    EXPECT_EQ(grid[7].date, QDate(2003, 6, 1));
    EXPECT_EQ(grid[6].nKind, DAY_OTHER);
    EXPECT_EQ(grid[7].nKind, DAY_MONTH);
    EXPECT_EQ(grid[36].date, QDate(2003, 6, 30));
    EXPECT_EQ(grid[36].nKind, DAY_MONTH);
    EXPECT_EQ(grid[37].nKind, DAY_TODAY);
    EXPECT_EQ(grid[38].nKind, DAY_OTHER);
    // A month beginning on a Monday shows one day of the previous month.
    EXPECT_EQ(GridStart(2003, 9), QDate(2003, 8, 31));
}

TEST(CalendarMonth, NavigationStaysInsideTheRange)
{
    struct Row {
        const char *pszCase;
        QDate (*pfnStep)(const QDate &, int);
        QDate from;
        int nDelta;
        QDate expect;
    };
    const Row rows[] = {
        // March 1900 is outside the range: the step lands on the first month inside it.
        {"year down from March 1901", StepYear, QDate(1901, 3, 1), -1, QDate(1900, 12, 1)},
        {"year down from December 1900", StepYear, QDate(1900, 12, 1), -1, QDate(1900, 12, 1)},
        {"year up from December 1900", StepYear, QDate(1900, 12, 1), 1, QDate(1901, 12, 1)},
        {"year up from March 2199", StepYear, QDate(2199, 3, 1), 1, QDate(2200, 1, 1)},
        {"year up from January 2200", StepYear, QDate(2200, 1, 1), 1, QDate(2200, 1, 1)},
        {"year up from leap day", StepYear, QDate(2008, 2, 1), 1, QDate(2009, 2, 1)},
        {"month back from December 1900", StepMonth, QDate(1900, 12, 1), -1, QDate(1900, 12, 1)},
        {"month on from January 2200", StepMonth, QDate(2200, 1, 1), 1, QDate(2200, 1, 1)},
        {"month on from January 2008", StepMonth, QDate(2008, 1, 1), 1, QDate(2008, 2, 1)},
        {"month back from March 2008", StepMonth, QDate(2008, 3, 1), -1, QDate(2008, 2, 1)},
        {"month back on a zero delta", StepMonth, QDate(2008, 3, 1), 0, QDate(2008, 2, 1)},
        {"list: March in 1900", PickMonth, QDate(1900, 12, 1), 3, QDate(1900, 12, 1)},
        {"list: May in 2200", PickMonth, QDate(2200, 1, 1), 5, QDate(2200, 1, 1)},
        {"list: May in 2008", PickMonth, QDate(2008, 2, 1), 5, QDate(2008, 5, 1)},
    };
    for (const Row &row : rows)
        EXPECT_EQ(row.pfnStep(row.from, row.nDelta), row.expect) << row.pszCase;

    QDate date(1900, 11, 30);
    EXPECT_FALSE(ClampToRange(date));
    EXPECT_EQ(date, MinDate());
    date = QDate(2200, 2, 1);
    EXPECT_FALSE(ClampToRange(date));
    EXPECT_EQ(date, MaxDate());
    date = QDate(2200, 1, 31);
    EXPECT_TRUE(ClampToRange(date));
}
