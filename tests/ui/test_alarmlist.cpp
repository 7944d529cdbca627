// The alarm list as a table: which reports become rows and how each row reads, the
// kinds that changed per recorder and channel, the last 500 newest first, and the
// count of rows nobody has looked at. Its window: where it goes, and rows that stay
// put while the operator has scrolled away from the newest.

#include "support/testapp.h"
#include "ui/dialogs/alarmlistdlg.h"
#include "ui/live/alarmlist.h"

#include <QApplication>
#include <QScrollBar>
#include <QTableView>

#include <gtest/gtest.h>

#include <vector>

namespace {

uint32_t Word(unsigned ch, unsigned alarm, unsigned loss, unsigned motion)
{
    return alarm << 24 | loss << 16 | motion << 8 | ch;
}

TEST(CAlarmList, ReportsBecomeRowsWithTheKindsThatChanged)
{
    struct Report {
        int nRecorder;
        uint32_t dwWord;
        const char *szChannel; // null: no row
        const char *szChanged;
    };
    // clang-format off
    const Report reports[] = {
        {0, Word(1, 1, 0, 1), "CH1",  "Alarm:1 Motion:1"},        // first of its channel: what is set
        {2, Word(3, 0, 0, 0), "CH11", "No Change"},               // first, nothing set
        {0, Word(1, 1, 0, 0), "CH1",  "Motion:0"},
        {0, Word(2, 0, 2, 0), "CH2",  "Loss:2"},                  // each channel on its own
        {1, Word(1, 1, 1, 1), "CH5",  "Alarm:1 Loss:1 Motion:1"}, // and each recorder
        {2, Word(3, 3, 4, 5), "CH11", "Alarm:3 Loss:4 Motion:5"},
        {2, Word(3, 3, 4, 5), "CH11", "No Change"},
        {3, Word(4, 0, 0x80, 0), "CH16", "Loss:128"},
        {0, Word(0, 1, 1, 1), nullptr, nullptr}, // no channel 0 or 5, no recorder 5
        {0, Word(5, 1, 1, 1), nullptr, nullptr},
        {4, Word(1, 1, 1, 1), nullptr, nullptr},
        {0, Word(1, 0, 0, 0), "CH1",  "Alarm:0"},
    };
    // clang-format on
    CAlarmList list;
    std::vector<const Report *> rows; // as added
    for (const Report &r : reports) {
        const QDateTime time(QDate(2026, 12, 9), QTime(14, 10, int(rows.size())));
        EXPECT_EQ(
            list.Add(r.nRecorder, QStringLiteral("Rec %1").arg(r.nRecorder + 1), r.dwWord, time),
            r.szChannel != nullptr)
            << std::hex << r.dwWord;
        if (r.szChannel)
            rows.push_back(&r);
    }
    ASSERT_EQ(list.rowCount(), int(rows.size()));
    ASSERT_EQ(list.columnCount(), 4);
    for (int n = 0; n < list.rowCount(); ++n) {
        const std::size_t nAdded = rows.size() - 1 - std::size_t(n); // newest first
        const Report &r = *rows[nAdded];
        const QString texts[4] = {QString::asprintf("[ 2026/12/09 ] 14:10:%02d", int(nAdded)),
                                  QStringLiteral("Rec %1").arg(r.nRecorder + 1),
                                  QLatin1String(r.szChannel), QLatin1String(r.szChanged)};
        for (int c = 0; c < 4; ++c)
            EXPECT_EQ(list.data(list.index(n, c)).toString(), texts[c]) << "row " << n;
        EXPECT_EQ(list.Row(n).channel.nRecorder, r.nRecorder);
    }
    EXPECT_EQ(list.headerData(3, Qt::Horizontal).toString(), QStringLiteral("Changed"));
}

TEST(CAlarmList, KeepsTheLast500AndCountsTheRowsNotLookedAt)
{
    CAlarmList list;
    int nRemoved = 0;
    QObject::connect(&list, &QAbstractItemModel::rowsRemoved, [&] { ++nRemoved; });
    const QDateTime start(QDate(2026, 12, 9), QTime(14, 0));
    for (int i = 0; i < CAlarmList::kCapacity + 2; ++i)
        list.Add(i % 4, QString(), Word(1 + i / 4 % 4, 0, 0, 0), start.addSecs(i));
    EXPECT_EQ(list.Count(), 500);
    EXPECT_EQ(list.Row(0).received, start.addSecs(501));
    EXPECT_EQ(list.Row(499).received, start.addSecs(2)); // the two oldest went
    EXPECT_EQ(nRemoved, 2);
    EXPECT_EQ(list.NewCount(), 500);

    // Looked at: nothing is new, nor what comes while the list is watched.
    list.SetWatched(true);
    list.Add(0, QString(), Word(1, 1, 0, 0), start);
    EXPECT_EQ(list.NewCount(), 0);
    list.SetWatched(false);
    list.Add(0, QString(), Word(1, 0, 0, 0), start);
    list.Add(0, QString(), Word(1, 1, 0, 0), start);
    EXPECT_EQ(list.NewCount(), 2);
}

TEST(PlaceBeside, RightOfTheMainWindowElseLeftElseAtTheScreensEdge)
{
    const QSize size(520, 420);
    const QRect screen(0, 0, 1920, 1080);
    EXPECT_EQ(PlaceBeside(QRect(100, 50, 877, 685), size, screen), QPoint(985, 50));
    EXPECT_EQ(PlaceBeside(QRect(1000, 50, 877, 685), size, screen), QPoint(472, 50));
    EXPECT_EQ(PlaceBeside(QRect(300, 800, 877, 685), size, QRect(0, 0, 1280, 1024)),
              QPoint(760, 604)); // neither side has room: inside the screen
}

TEST(CAlarmListDlg, RowsOnShowStayPutWhileScrolledAway)
{
    testsupport::TestApp<QApplication>();
    CAlarmList list;
    const QDateTime start(QDate(2026, 12, 9), QTime(14, 0));
    int nAdded = 0;
    const auto add = [&] { list.Add(0, QString(), Word(1, 0, 0, 0), start.addSecs(nAdded++)); };
    for (int i = 0; i < 60; ++i)
        add();
    CAlarmListDlg dlg(list, nullptr, nullptr);
    dlg.show();
    QTableView *pList = dlg.List();
    add(); // at the top: the newest row shows first
    EXPECT_EQ(pList->rowAt(0), 0);
    QScrollBar *pBar = pList->verticalScrollBar();
    pBar->setValue(pBar->maximum()); // the oldest rows: the bar grows with the new ones
    const int nValue = pBar->value();
    const QDateTime top = list.Row(pList->rowAt(0)).received;
    add();
    add();
    EXPECT_EQ(list.Row(pList->rowAt(0)).received, top);
    EXPECT_EQ(pBar->value(), nValue + 2);
}

} // namespace
