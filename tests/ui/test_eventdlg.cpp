// The Event dialog against list files in a temporary current folder: rows and
// their texts, skipped records, double-click playback, reload, the Event button's
// helper, layout and look (the filled dialog against its reference picture).

#include "ui/dialogs/eventdlg.h"

#include "support/samepicture.h"
#include "support/testsupport.h"
#include "support/testapp.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>

#include <array>
#include <vector>

namespace {

QApplication &App()
{
    return testsupport::TestApp<QApplication>();
}

using Record = std::array<uint8_t, 10>;

// channel, mask, year - 1996, month, day, hour, minute, second, 2 spare bytes
Record Rec(int ch, int mask, int year, int mon, int day, int h, int m, int s)
{
    return {uint8_t(ch), uint8_t(mask), uint8_t(year - 1996), uint8_t(mon), uint8_t(day),
            uint8_t(h),  uint8_t(m),    uint8_t(s),           0xAB,         0xCD};
}

void WriteList(const std::vector<Record> &records, int nTrailing = 0,
               const CEventLogFile &file = CEventLogFile())
{
    std::vector<uint8_t> bytes;
    for (const Record &r : records)
        bytes.insert(bytes.end(), r.begin(), r.end());
    bytes.insert(bytes.end(), nTrailing, 0x01);
    ASSERT_TRUE(file.Write(bytes.data(), bytes.size()));
}

struct Row {
    const char *szChannel, *szAlarm, *szDateTime;
};

// Stops at a wrong row count: callers wrap it in ASSERT_NO_FATAL_FAILURE, since
// what follows reads the rows.
void ExpectRows(const CEventDlg &dlg, const std::vector<Row> &rows)
{
    ASSERT_EQ(dlg.RowCount(), static_cast<int>(rows.size()));
    for (int i = 0; i < dlg.RowCount(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(dlg.RowText(i, 0), QLatin1String(rows[i].szChannel));
        EXPECT_EQ(dlg.RowText(i, 1), QLatin1String(rows[i].szAlarm));
        EXPECT_EQ(dlg.RowText(i, 2), QLatin1String(rows[i].szDateTime));
    }
}

class EventDlgTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        App();
        ASSERT_TRUE(m_cwd.isValid());
    }
    // Play calls as (packed time, channel index).
    CEventDlg::PlayFn Recorder()
    {
        return [this](PackedTime p, int ch) {
            m_plays.push_back({p, ch});
            return true;
        };
    }
    testsupport::ScopedCurrentDir m_cwd;
    std::vector<std::pair<PackedTime, int>> m_plays;
};

// The reader's rules and texts are tested with the file; here the rows reach the
// list whole and in file order, past the records the reader skips.
TEST_F(EventDlgTest, ListsWholeValidRecordsInFileOrder)
{
    WriteList({Rec(5, 0x01, 2010, 1, 1, 0, 0, 0), Rec(1, 0x01, 2010, 13, 1, 0, 0, 0),
               Rec(2, 0x08, 2011, 3, 4, 24, 0, 0), Rec(3, 0x01, 2011, 3, 4, 5, 60, 0),
               Rec(0, 0x04, 2060, 0, 0, 0, 0, 0), Rec(4, 0x22, 2012, 12, 31, 1, 2, 3)},
              5);
    CEventDlg dlg(nullptr, Recorder(), true);
    ASSERT_NO_FATAL_FAILURE(
        ExpectRows(dlg, {{"CH2", " no loss -> loss", "[ 2011/03/04 ] 24:00:00"},
                         {"CH0", " loss -> no loss", "[ 2060/00/00 ] 00:00:00"},
                         {"CH4", " Alarm 0 -> 1 NoEvent -> Motion", "[ 2012/12/31 ] 01:02:03"}}));
    // Each row carries the packed time of its own record (year offset kept to 6 bits).
    ASSERT_EQ(dlg.RowCount(), 3);
    EXPECT_EQ(DecodePackedTime(dlg.RowPackedTime(0)), (DvrDateTime{2011, 3, 4, 24, 0, 0}));
    EXPECT_EQ(dlg.RowPackedTime(1), 0u);
    EXPECT_EQ(DecodePackedTime(dlg.RowPackedTime(2)), (DvrDateTime{2012, 12, 31, 1, 2, 3}));
}

TEST_F(EventDlgTest, DoubleClickPlaysOnlyPlayableRows)
{
    WriteList({Rec(0, 0x20, 2010, 5, 6, 7, 8, 9),    // channel 0
               Rec(3, 0x20, 2010, 5, 6, 7, 8, 9),    // plays channel index 2
               Rec(4, 0x20, 2010, 4, 31, 7, 8, 9),   // 31 April
               Rec(2, 0x20, 2010, 0, 6, 7, 8, 9),    // month 0
               Rec(1, 0x20, 2070, 5, 6, 7, 8, 9),    // year the packed time cannot hold
               Rec(1, 0x01, 2008, 2, 29, 0, 0, 1)}); // plays channel index 0
    CEventDlg dlg(nullptr, Recorder(), true);
    ASSERT_EQ(dlg.RowCount(), 6);
    const bool kPlays[6] = {false, true, false, false, false, true};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(dlg.OnListDoubleClick(i), kPlays[i]) << "row " << i;
    EXPECT_FALSE(dlg.OnListDoubleClick(-1));
    EXPECT_FALSE(dlg.OnListDoubleClick(6));
    ASSERT_EQ(m_plays.size(), 2u);
    EXPECT_EQ(m_plays[0], std::make_pair(MakeTimeCost(2010, 5, 6, 7, 8, 9), 2));
    EXPECT_EQ(m_plays[1], std::make_pair(MakeTimeCost(2008, 2, 29, 0, 0, 1), 0));

    // The list's own double-click signal takes the same way.
    emit dlg.List()->cellDoubleClicked(1, 2);
    EXPECT_EQ(m_plays.size(), 3u);

    // No owner: nothing happens.
    CEventDlg orphan(nullptr, {}, true);
    EXPECT_FALSE(orphan.OnListDoubleClick(1));
}

// Another recorder's list names its cameras by their global numbers and plays the
// recorder's own channel; a row without a camera names no other recorder's.
TEST_F(EventDlgTest, AnotherRecordersRowsPlayItsOwnChannel)
{
    const CEventLogFile file = CEventLogFile::OfRecorder(2);
    WriteList({Rec(3, 0x20, 2010, 5, 6, 7, 8, 9), Rec(0, 0x20, 2010, 5, 6, 7, 8, 9)}, 0, file);
    CEventDlg dlg(nullptr, Recorder(), true, file);
    ASSERT_NO_FATAL_FAILURE(ExpectRows(dlg, {{"CH11", " Alarm 0 -> 1", "[ 2010/05/06 ] 07:08:09"},
                                             {"CH0", " Alarm 0 -> 1", "[ 2010/05/06 ] 07:08:09"}}));
    EXPECT_TRUE(dlg.OnListDoubleClick(0));
    EXPECT_FALSE(dlg.OnListDoubleClick(1));
    ASSERT_EQ(m_plays.size(), 1u);
    EXPECT_EQ(m_plays[0], std::make_pair(MakeTimeCost(2010, 5, 6, 7, 8, 9), 2));
}

TEST_F(EventDlgTest, ReloadShowsTheNewListInPlace)
{
    // Opened before any list arrived: empty, and filled by the reload on the reply.
    CEventDlg dlg(nullptr, Recorder(), false);
    EXPECT_EQ(dlg.RowCount(), 0);
    dlg.Reload();
    EXPECT_EQ(dlg.RowCount(), 0);
    WriteList({Rec(1, 0x80, 2010, 1, 2, 3, 4, 5), Rec(2, 0x40, 2010, 1, 2, 3, 4, 6)});
    dlg.Reload();
    ASSERT_NO_FATAL_FAILURE(ExpectRows(dlg, {{"CH1", " Normal Close", "[ 2010/01/02 ] 03:04:05"},
                                             {"CH2", " Normal Open", "[ 2010/01/02 ] 03:04:06"}}));
    // A later, shorter list replaces the rows; a vanished file empties the list.
    WriteList({Rec(4, 0x08, 2020, 6, 7, 8, 9, 10)});
    dlg.Reload();
    ASSERT_NO_FATAL_FAILURE(
        ExpectRows(dlg, {{"CH4", " no loss -> loss", "[ 2020/06/07 ] 08:09:10"}}));
    EXPECT_TRUE(dlg.OnListDoubleClick(0));
    EXPECT_EQ(m_plays.back(), std::make_pair(MakeTimeCost(2020, 6, 7, 8, 9, 10), 3));
    ASSERT_TRUE(CEventLogFile().Delete());
    dlg.Reload();
    EXPECT_EQ(dlg.RowCount(), 0);
}

TEST_F(EventDlgTest, EventButtonRequestsTheListAndExposesTheOpenDialog)
{
    WriteList({Rec(1, 0x20, 2010, 1, 2, 3, 4, 5)});
    int nRequests = 0;
    QPointer<CEventDlg> pOpen;
    int nRowsAtOpen = -1, nRowsAfterReply = -1;
    QTimer::singleShot(0, [&] {
        // Driven through the running modal dialog, so a wrong pOpen still ends it.
        auto *pDlg = qobject_cast<CEventDlg *>(QApplication::activeModalWidget());
        ASSERT_NE(pDlg, nullptr);
        EXPECT_EQ(pOpen.data(), pDlg);
        EXPECT_EQ(nRequests, 1);
        nRowsAtOpen = pDlg->RowCount();
        // The reply arrives while the dialog is open.
        WriteList({Rec(2, 0x01, 2011, 1, 2, 3, 4, 5), Rec(3, 0x01, 2011, 1, 2, 3, 4, 5)});
        pDlg->Reload();
        nRowsAfterReply = pDlg->RowCount();
        pDlg->OKButton()->click();
    });
    const int nResult = RunEventDialog(
        nullptr, [&] { ++nRequests; }, Recorder(), &pOpen);
    EXPECT_EQ(nResult, QDialog::Accepted);
    EXPECT_EQ(nRowsAtOpen, 1);
    EXPECT_EQ(nRowsAfterReply, 2);
    EXPECT_FALSE(pOpen); // gone with the dialog
}

TEST_F(EventDlgTest, LayoutAndPicture)
{
    WriteList({Rec(1, 0x20, 2008, 2, 29, 23, 59, 59), Rec(2, 0x00, 2009, 1, 1, 0, 0, 0),
               Rec(3, 0x22, 2010, 12, 31, 12, 30, 45), Rec(4, 0x08, 2011, 6, 15, 24, 0, 0),
               Rec(0, 0x04, 2012, 7, 4, 8, 5, 0), Rec(2, 0x01, 2013, 11, 30, 17, 45, 10)});
    CEventDlg dlg(nullptr, Recorder(), true);
    dlg.show();
    EXPECT_EQ(dlg.windowTitle(), "Event");
    EXPECT_EQ(dlg.size(), QSize(437, 398));
    const QRect rcList = dlg.List()->geometry();
    EXPECT_EQ(rcList, QRect(3, 5, 429, 359));
    // (429 - 6) / 20 = 21 pixels per twentieth.
    const int kWidths[3] = {84, 147, 189};
    for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(dlg.List()->columnWidth(c), kWidths[c]) << c;
        EXPECT_TRUE(dlg.List()->horizontalHeaderItem(c)->textAlignment() & Qt::AlignHCenter);
    }
    EXPECT_EQ(dlg.List()->horizontalHeaderItem(1)->text(), "Alarm Type");
    // "OK" spans the list's width just below it.
    const QRect rcOK = dlg.OKButton()->geometry();
    EXPECT_EQ(rcOK.left(), rcList.left());
    EXPECT_EQ(rcOK.width(), rcList.width());
    EXPECT_GT(rcOK.top(), rcList.bottom());
    EXPECT_LE(rcOK.bottom(), dlg.height());
    // Channel and date texts are never cut; the widest single alarm text fits too.
    const QFontMetrics fm = dlg.List()->fontMetrics();
    EXPECT_LT(fm.horizontalAdvance(QStringLiteral("[ 2088/12/31 ] 24:59:59")), kWidths[2] - 8);
    EXPECT_LT(fm.horizontalAdvance(QStringLiteral(" NoEvent -> Motion")), kWidths[1] - 8);

    dlg.List()->selectRow(2);
    EXPECT_TRUE(testsupport::SamePicture(dlg.grab().toImage(), "ui/data/eventdialog.png"));
}

} // namespace
