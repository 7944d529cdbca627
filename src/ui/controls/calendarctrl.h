#pragma once

// CCalendarCtrl: the archive window's month calendar, drawn by the program in the dark
// skin. One month as 6 weeks x 7 days (Sunday first), a month list, a year field with its
// spin and a month spin down the right side. A click on a day selects that date and
// posts WM_CALENDAR_PICK to the parent. Dates only; range 1900-12-01 to 2200-01-31.
//
// Theory of operation
//   The selected date and the month on show (its first day) are the whole state; the 42
//   cells are refilled from calendarmonth::MonthGrid whenever the month on show changes.
//   Navigation (year spin, month spin, month list) moves the month on show and never
//   beyond the range. The mouse: a press arms the cell under it, moves with the button
//   held draw the cell under the pointer pressed, and the release picks the cell under
//   it: no cell (the header, the gap at the right) removes the highlight and keeps the
//   selected date; a grey day outside the range removes it and selects the nearer limit
//   (1900-12-01 or 2200-01-31) without a notice; a grey day of the previous or
//   next month switches the grid to that month with the day highlighted; today's cell
//   in the adjacent month is selected where it stands, without switching.

#include "ui/controls/calendarmonth.h"

#include <QDateTime>
#include <QEvent>
#include <QFont>
#include <QString>
#include <QWidget>

#include <array>
#include <functional>

class CSpinArrows;
class QComboBox;
class QLineEdit;

// Posted to the parent after a click picked a date (WM_APP + 1); WParam() = the
// calendar's control id, LParam() = 0.
inline constexpr QEvent::Type WM_CALENDAR_PICK = static_cast<QEvent::Type>(0x8001);

class CCalendarPickEvent : public QEvent {
  public:
    explicit CCalendarPickEvent(int nControlId) : QEvent(WM_CALENDAR_PICK), m_nWParam(nControlId) {}
    int WParam() const { return m_nWParam; }
    int LParam() const { return 0; }

  private:
    int m_nWParam;
};

// One day of the grid.
struct CDayCell {
    QRect m_rect;
    QDate m_date;
    QString m_szText; // day of month, "%d"
    int m_nKind = calendarmonth::DAY_OTHER;
    bool m_bSelected = false;
    bool m_bPressed = false;
    bool m_bHovered = false;
};

class CCalendarCtrl : public QWidget {
  public:
    // Child control ids.
    enum : int {
        IDC_MONTH_SPIN = 4096,
        IDC_MONTH_LIST = 4098,
        IDC_YEAR_EDIT = 4099,
        IDC_YEAR_SPIN = 4100,
    };
    static constexpr int kCellWidth = 29;
    static constexpr int kCellHeight = 20;
    static constexpr int kHeaderTop = 26;
    static constexpr int kGridTop = 50;
    static constexpr int kEdge = 2; // 3-D edge width
    static constexpr int kWidth = 7 * kCellWidth + 2 * kEdge + 16;
    static constexpr int kHeight = 6 * kCellHeight + 54;

    // A hidden child of pParent, already at its own fixed size, showing today's month
    // with today selected.
    explicit CCalendarCtrl(QWidget *pParent = nullptr, int nControlId = 0);

    // Places the calendar at rc's top-left corner; its size stays kWidth x kHeight.
    void Create(const QRect &rc);

    void SetDate(const QDate &date);
    void SetDate(const QDateTime &dateTime) { SetDate(dateTime.date()); }
    // The selected date at 00:00.
    QDateTime GetDate() const;

    int GetControlId() const { return m_nControlId; }
    // First day of the month on show.
    QDate GetDisplayedMonth() const { return m_dtDisplayed; }
    const CDayCell &Cell(int i) const { return m_aCells[static_cast<size_t>(i)]; }
    // Index of the cell drawn as selected, -1 for none.
    int SelectionCell() const { return m_nSelection; }
    QWidget *ChildControl(int nId) const;

    // Where "today" comes from (the workstation's date unless replaced).
    void SetTodaySource(std::function<QDate()> fnToday);

    // The navigation steps, as the spins and the list trigger them.
    void OnYearDelta(int nDelta);
    void OnMonthDelta(int nDelta);
    void OnMonthListChange(int nIndex);

  protected:
    void paintEvent(QPaintEvent *pEvent) override;
    void mousePressEvent(QMouseEvent *pEvent) override;
    void mouseMoveEvent(QMouseEvent *pEvent) override;
    void mouseReleaseEvent(QMouseEvent *pEvent) override;
    void leaveEvent(QEvent *pEvent) override;

  private:
    void FillGrid();
    void SyncHeader();
    int CellAt(const QPoint &pt) const;
    void SetPressed(int nCell, bool bPressed);
    void SetHovered(int nCell, bool bHovered);
    void SetSelected(int nCell, bool bSelected);
    void RedrawCell(int nCell);
    void DrawCell(QPainter &p, const CDayCell &cell) const;

    int m_nControlId;
    QDate m_dtSelected;
    QDate m_dtDisplayed;
    std::array<CDayCell, calendarmonth::kCells> m_aCells;
    int m_nPressed = -1;
    int m_nSelection = -1;
    int m_nHovered = -1;
    bool m_bMouseDown = false;
    QFont m_font;
    std::function<QDate()> m_fnToday;

    CSpinArrows *m_pMonthSpin = nullptr;
    QComboBox *m_pMonthList = nullptr;
    QLineEdit *m_pYearEdit = nullptr;
    CSpinArrows *m_pYearSpin = nullptr;
};
