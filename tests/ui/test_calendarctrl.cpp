// CCalendarCtrl driven as the operator drives it: clicks on days of this and the
// adjacent months, a release over the weekday header, the year spin at both ends of the
// range, English month names under another locale, and the pictures the operator sees.

#include "ui/controls/calendarctrl.h"
#include "ui/controls/spinarrows.h"
#include "support/samepicture.h"
#include "support/testapp.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QMouseEvent>

#include <memory>
#include <utility>

namespace {

QApplication &App()
{
    return testsupport::TestApp<QApplication>();
}

void Mouse(QWidget *pWidget, QEvent::Type type, QPoint pt)
{
    const Qt::MouseButtons buttons =
        type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton;
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, QPointF(pt), QPointF(pWidget->mapToGlobal(pt)), button, buttons,
                      Qt::NoModifier);
    QApplication::sendEvent(pWidget, &event);
}

void Click(QWidget *pWidget, QPoint pt)
{
    Mouse(pWidget, QEvent::MouseButtonPress, pt);
    Mouse(pWidget, QEvent::MouseButtonRelease, pt);
}

// Parent that counts WM_CALENDAR_PICK and keeps the last control id.
class CPickCounter : public QWidget {
  public:
    int m_nPicks = 0;
    int m_nLastId = -1;

  protected:
    void customEvent(QEvent *pEvent) override
    {
        if (pEvent->type() == WM_CALENDAR_PICK) {
            ++m_nPicks;
            m_nLastId = static_cast<CCalendarPickEvent *>(pEvent)->WParam();
        }
    }
};

class CalendarCtrlTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        App();
        m_pParent = std::make_unique<CPickCounter>();
        m_pParent->resize(300, 220);
        m_pCalendar = new CCalendarCtrl(m_pParent.get(), 1234);
        m_pCalendar->SetTodaySource([this] { return m_today; });
        m_pCalendar->Create(QRect(10, 10, 224, 180));
        m_pCalendar->show();
        m_pParent->show();
    }

    int CellOf(const QDate &date) const
    {
        for (int i = 0; i < calendarmonth::kCells; ++i)
            if (m_pCalendar->Cell(i).m_date == date)
                return i;
        return -1;
    }

    // Clicks the cell showing date and delivers the posted notifications.
    void ClickDay(const QDate &date)
    {
        const int nCell = CellOf(date);
        ASSERT_GE(nCell, 0) << date.toString(Qt::ISODate).toStdString() << " not on show";
        Click(m_pCalendar, m_pCalendar->Cell(nCell).m_rect.center());
        QCoreApplication::sendPostedEvents();
    }

    QDate Selected() const { return m_pCalendar->GetDate().date(); }
    QDate HighlightedDate() const // the one cell drawn selected
    {
        const int n = m_pCalendar->SelectionCell();
        for (int i = 0; i < calendarmonth::kCells; ++i)
            EXPECT_EQ(m_pCalendar->Cell(i).m_bSelected, i == n) << i;
        return n < 0 ? QDate() : m_pCalendar->Cell(n).m_date;
    }
    QString YearText() const
    {
        return static_cast<QLineEdit *>(m_pCalendar->ChildControl(CCalendarCtrl::IDC_YEAR_EDIT))
            ->text();
    }
    void StepYear(int nDelta)
    {
        QWidget *pSpin = m_pCalendar->ChildControl(CCalendarCtrl::IDC_YEAR_SPIN);
        Click(pSpin, QPoint(pSpin->width() / 2, nDelta > 0 ? 2 : pSpin->height() - 3));
    }

    QDate m_today{2008, 3, 1};
    std::unique_ptr<CPickCounter> m_pParent;
    CCalendarCtrl *m_pCalendar = nullptr;
};

TEST_F(CalendarCtrlTest, LayoutAndSetDateKeepOnlyTheDate)
{
    EXPECT_EQ(m_pCalendar->geometry(), QRect(10, 10, 223, 174));
    const std::pair<int, QRect> children[] = {
        {CCalendarCtrl::IDC_MONTH_SPIN, QRect(206, 48, 16, 125)},
        {CCalendarCtrl::IDC_MONTH_LIST, QRect(34, 4, 80, 20)},
        {CCalendarCtrl::IDC_YEAR_EDIT, QRect(130, 4, 36, 20)},
        {CCalendarCtrl::IDC_YEAR_SPIN, QRect(166, 4, 14, 20)},
    };
    for (const auto &[nId, rect] : children)
        EXPECT_EQ(m_pCalendar->ChildControl(nId)->geometry(), rect) << nId;
    EXPECT_EQ(m_pCalendar->Cell(0).m_rect, QRect(0, 50, 29, 20));
    EXPECT_EQ(m_pCalendar->Cell(41).m_rect, QRect(6 * 29, 150, 29, 20));
    m_pCalendar->SetDate(QDateTime(QDate(2003, 6, 17), QTime(13, 45, 10)));
    EXPECT_EQ(m_pCalendar->GetDate(), QDateTime(QDate(2003, 6, 17), QTime(0, 0)));
    EXPECT_EQ(m_pCalendar->Cell(0).m_date, QDate(2003, 5, 25));
    EXPECT_EQ(HighlightedDate(), QDate(2003, 6, 17));
    EXPECT_EQ(YearText(), "2003");
}

TEST_F(CalendarCtrlTest, ClicksOnThisAndTheAdjacentMonths)
{
    m_pCalendar->SetDate(QDate(2008, 2, 10));
    ASSERT_NO_FATAL_FAILURE(ClickDay(QDate(2008, 2, 29)));
    EXPECT_EQ(Selected(), QDate(2008, 2, 29));
    EXPECT_EQ(HighlightedDate(), QDate(2008, 2, 29));
    EXPECT_EQ(m_pParent->m_nPicks, 1);
    EXPECT_EQ(m_pParent->m_nLastId, 1234);

    // Today (1 March) in the grey tail: selected where it stands, the grid stays.
    ASSERT_NO_FATAL_FAILURE(ClickDay(m_today));
    EXPECT_EQ(Selected(), m_today);
    EXPECT_EQ(HighlightedDate(), m_today);
    EXPECT_EQ(m_pCalendar->GetDisplayedMonth(), QDate(2008, 2, 1));

    // A grey day of the next month switches to that month with the day highlighted.
    ASSERT_NO_FATAL_FAILURE(ClickDay(QDate(2008, 3, 5)));
    EXPECT_EQ(Selected(), QDate(2008, 3, 5));
    EXPECT_EQ(m_pCalendar->GetDisplayedMonth(), QDate(2008, 3, 1));
    EXPECT_EQ(HighlightedDate(), QDate(2008, 3, 5));
    EXPECT_EQ(m_pCalendar->Cell(CellOf(QDate(2008, 3, 5))).m_nKind, calendarmonth::DAY_MONTH);
    EXPECT_EQ(m_pParent->m_nPicks, 3);

    // Released over the weekday header: no highlight, the date stays, no notification;
    // nor does a release over a day without a press on the grid.
    Click(m_pCalendar, QPoint(40, CCalendarCtrl::kHeaderTop + 5));
    Mouse(m_pCalendar, QEvent::MouseButtonRelease,
          m_pCalendar->Cell(CellOf(QDate(2008, 3, 12))).m_rect.center());
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(Selected(), QDate(2008, 3, 5));
    EXPECT_EQ(m_pCalendar->SelectionCell(), -1);
    EXPECT_EQ(m_pParent->m_nPicks, 3);

    // July chosen in the month list shows July 2008, from Sunday 29 June on.
    auto *pList =
        static_cast<QComboBox *>(m_pCalendar->ChildControl(CCalendarCtrl::IDC_MONTH_LIST));
    emit pList->activated(6);
    EXPECT_EQ(m_pCalendar->GetDisplayedMonth(), QDate(2008, 7, 1));
    EXPECT_EQ(pList->currentText(), "July");
    EXPECT_EQ(m_pCalendar->Cell(0).m_date, QDate(2008, 6, 29));
}

TEST_F(CalendarCtrlTest, YearSpinAtBothEndsOfTheRange)
{
    m_pCalendar->SetDate(QDate(1901, 3, 14));
    StepYear(-1);
    EXPECT_EQ(m_pCalendar->GetDisplayedMonth(), QDate(1900, 12, 1));
    EXPECT_EQ(YearText(), "1900");
    auto *pList =
        static_cast<QComboBox *>(m_pCalendar->ChildControl(CCalendarCtrl::IDC_MONTH_LIST));
    EXPECT_EQ(pList->currentText(), "December");
    // Every day of the month on show can be picked, and shows as picked.
    ASSERT_NO_FATAL_FAILURE(ClickDay(QDate(1900, 12, 3)));
    EXPECT_EQ(Selected(), QDate(1900, 12, 3));
    EXPECT_EQ(HighlightedDate(), QDate(1900, 12, 3));
    // A grey day before the range picks the first day, without a highlight or a notice.
    ASSERT_NO_FATAL_FAILURE(ClickDay(QDate(1900, 11, 25))); // the first cell
    EXPECT_EQ(Selected(), QDate(1900, 12, 1));
    EXPECT_EQ(m_pCalendar->SelectionCell(), -1);
    EXPECT_EQ(m_pParent->m_nPicks, 1);
    StepYear(-1);
    EXPECT_EQ(m_pCalendar->GetDisplayedMonth(), QDate(1900, 12, 1));

    m_pCalendar->SetDate(QDate(2199, 12, 31));
    StepYear(1);
    EXPECT_EQ(m_pCalendar->GetDisplayedMonth(), QDate(2200, 1, 1));
    StepYear(1);
    EXPECT_EQ(m_pCalendar->GetDisplayedMonth(), QDate(2200, 1, 1));
    EXPECT_EQ(YearText(), "2200");
    EXPECT_EQ(pList->currentText(), "January");
    // Choosing a month past the range in the list shows the last month again.
    pList->setCurrentIndex(6);
    m_pCalendar->OnMonthListChange(6);
    EXPECT_EQ(pList->currentText(), "January");
}

TEST_F(CalendarCtrlTest, PicturesOfTheLeapDaySelectedAndOfAPressUnderwayElsewhere)
{
    m_today = QDate(2026, 12, 7); // off the grid: the selection is the only marked day
    m_pCalendar->SetDate(QDate(2008, 2, 29));
    EXPECT_TRUE(testsupport::SamePicture(m_pCalendar->grab().toImage(), "ui/data/calendar.png"));
    // Today sunken; a grey day under the mouse, the button held since a press on 13 February:
    // its text nearly black and its frame dotted.
    m_today = QDate(2008, 2, 20);
    m_pCalendar->SetDate(QDate(2008, 2, 29));
    const auto centre = [this](QDate date) {
        return m_pCalendar->Cell(CellOf(date)).m_rect.center();
    };
    Mouse(m_pCalendar, QEvent::MouseButtonPress, centre(QDate(2008, 2, 13)));
    Mouse(m_pCalendar, QEvent::MouseMove, centre(QDate(2008, 3, 5))); // passed over: not lit
    Mouse(m_pCalendar, QEvent::MouseMove, centre(QDate(2008, 3, 4)));
    EXPECT_TRUE(
        testsupport::SamePicture(m_pCalendar->grab().toImage(), "ui/data/calendar-pressed.png"));
    QEvent leave(QEvent::Leave); // the pointer gone: no day stays lit
    QApplication::sendEvent(m_pCalendar, &leave);
    EXPECT_FALSE(m_pCalendar->Cell(CellOf(QDate(2008, 3, 4))).m_bHovered);
}

TEST(CalendarCtrl, EnglishMonthNamesWhateverTheLocale)
{
    App();
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    CCalendarCtrl calendar(nullptr, 1);
    QLocale::setDefault(QLocale::c());
    auto *pList = static_cast<QComboBox *>(calendar.ChildControl(CCalendarCtrl::IDC_MONTH_LIST));
    QStringList names;
    for (int i = 0; i < pList->count(); ++i)
        names << pList->itemText(i);
    EXPECT_EQ(names.join(' '), "January February March April May June July August September "
                               "October November December");
}

} // namespace
