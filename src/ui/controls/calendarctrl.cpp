#include "ui/controls/calendarctrl.h"

#include "ui/controls/skinfont.h"
#include "ui/controls/spinarrows.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>

using namespace calendarmonth;

namespace {
const QColor kBackground(32, 32, 32);
const QColor kGreyText(128, 128, 128);
const QColor kDayText(128, 255, 255);
const QColor kHoveredGreyText(8, 0, 0);

// Sunken one-pixel edge around rc: shadow on the top and left, light on the bottom and right.
void DrawSunkenEdge(QPainter &p, const QRect &rc, const QPalette &palette)
{
    p.setPen(palette.color(QPalette::Dark));
    p.drawLine(rc.topLeft(), rc.topRight());
    p.drawLine(rc.topLeft(), rc.bottomLeft());
    p.setPen(palette.color(QPalette::Light));
    p.drawLine(rc.bottomLeft(), rc.bottomRight());
    p.drawLine(rc.topRight(), rc.bottomRight());
}

// Colours of the list and the year field: light text on black wells.
QPalette FieldPalette(const QPalette &base)
{
    QPalette palette = base;
    palette.setColor(QPalette::Base, QColor(0, 0, 0));
    palette.setColor(QPalette::Text, kDayText);
    palette.setColor(QPalette::Window, QColor(0x1d, 0x22, 0x28));
    palette.setColor(QPalette::WindowText, kDayText);
    palette.setColor(QPalette::Button, QColor(0x3a, 0x42, 0x4c));
    palette.setColor(QPalette::ButtonText, kDayText);
    palette.setColor(QPalette::Highlight, QColor(0x30, 0x60, 0x90));
    palette.setColor(QPalette::HighlightedText, QColor(255, 255, 255));
    return palette;
}
} // namespace

CCalendarCtrl::CCalendarCtrl(QWidget *pParent, int nControlId)
    : QWidget(pParent), m_nControlId(nControlId), m_font(ControlFont(11)),
      m_fnToday([] { return QDate::currentDate(); })
{
    setVisible(false);
    setFixedSize(kWidth, kHeight);
    setCursor(Qt::CrossCursor);
    setMouseTracking(true); // hover marks need moves without a button held
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFont(m_font);

    m_pMonthSpin = new CSpinArrows(this, IDC_MONTH_SPIN);
    m_pMonthSpin->setGeometry(QRect(QPoint(kWidth - 17, 48), QPoint(kWidth - 2, kHeight - 2)));
    m_pMonthSpin->SetDeltaHandler([this](int nDelta) { OnMonthDelta(nDelta); });

    m_pMonthList = new QComboBox(this);
    m_pMonthList->setFont(m_font);
    m_pMonthList->setPalette(FieldPalette(palette()));
    for (int nMonth = 1; nMonth <= 12; ++nMonth)
        m_pMonthList->addItem(QString::fromLatin1(MonthName(nMonth)));
    m_pMonthList->setMaxVisibleItems(14);
    m_pMonthList->setGeometry(QRect(QPoint(kEdge + 32, 4), QPoint(114 - 1, 24 - 1)));
    m_pMonthList->setCurrentIndex(0);
    // activated: the operator's choices only, not the grid's own updates of the list.
    QObject::connect(m_pMonthList, &QComboBox::activated, this,
                     [this](int nIndex) { OnMonthListChange(nIndex); });

    m_pYearEdit = new QLineEdit(this);
    m_pYearEdit->setFont(m_font);
    m_pYearEdit->setPalette(FieldPalette(palette()));
    m_pYearEdit->setReadOnly(true); // the year changes only through its spin
    m_pYearEdit->setAlignment(Qt::AlignCenter);
    m_pYearEdit->setTextMargins(0, 0, 0, 0);
    m_pYearEdit->setGeometry(QRect(QPoint(130, 4), QPoint(166 - 1, 24 - 1)));

    m_pYearSpin = new CSpinArrows(this, IDC_YEAR_SPIN);
    m_pYearSpin->setGeometry(QRect(QPoint(166, 4), QPoint(180 - 1, 24 - 1)));
    m_pYearSpin->SetDeltaHandler([this](int nDelta) { OnYearDelta(nDelta); });

    for (int i = 0; i < kCells; ++i)
        m_aCells[static_cast<size_t>(i)].m_rect =
            QRect((i % 7) * kCellWidth, kGridTop + (i / 7) * kCellHeight, kCellWidth, kCellHeight);

    SetDate(m_fnToday());
}

void CCalendarCtrl::Create(const QRect &rc)
{
    move(rc.topLeft());
}

QWidget *CCalendarCtrl::ChildControl(int nId) const
{
    switch (nId) {
    case IDC_MONTH_SPIN:
        return m_pMonthSpin;
    case IDC_MONTH_LIST:
        return m_pMonthList;
    case IDC_YEAR_EDIT:
        return m_pYearEdit;
    case IDC_YEAR_SPIN:
        return m_pYearSpin;
    default:
        return nullptr;
    }
}

void CCalendarCtrl::SetTodaySource(std::function<QDate()> fnToday)
{
    m_fnToday = std::move(fnToday);
    FillGrid();
}

void CCalendarCtrl::SetDate(const QDate &date)
{
    m_dtSelected = date;
    m_dtDisplayed = QDate(date.year(), date.month(), 1);
    FillGrid();
}

QDateTime CCalendarCtrl::GetDate() const
{
    return QDateTime(m_dtSelected, QTime(0, 0));
}

void CCalendarCtrl::OnYearDelta(int nDelta)
{
    m_dtDisplayed = StepYear(m_dtDisplayed, nDelta);
    FillGrid();
}

void CCalendarCtrl::OnMonthDelta(int nDelta)
{
    m_dtDisplayed = StepMonth(m_dtDisplayed, nDelta);
    FillGrid();
}

void CCalendarCtrl::OnMonthListChange(int nIndex)
{
    m_dtDisplayed = PickMonth(m_dtDisplayed, nIndex + 1);
    FillGrid();
}

void CCalendarCtrl::FillGrid()
{
    const auto grid = MonthGrid(m_dtDisplayed.year(), m_dtDisplayed.month(), m_fnToday());
    m_nSelection = -1;
    for (int i = 0; i < kCells; ++i) {
        CDayCell &cell = m_aCells[static_cast<size_t>(i)];
        cell.m_date = grid[static_cast<size_t>(i)].date;
        cell.m_nKind = grid[static_cast<size_t>(i)].nKind;
        cell.m_szText = QString::number(cell.m_date.day());
        cell.m_bPressed = false;
        cell.m_bSelected = cell.m_date == m_dtSelected;
        if (cell.m_bSelected)
            m_nSelection = i;
    }
    m_nPressed = -1;
    SyncHeader();
    update();
}

// The year field and the month list follow the month on show (also after the list
// proposed a month the range refused).
void CCalendarCtrl::SyncHeader()
{
    const QString year = QString::asprintf("%04d", m_dtDisplayed.year());
    if (m_pYearEdit->text() != year)
        m_pYearEdit->setText(year);
    if (m_pMonthList->currentIndex() != m_dtDisplayed.month() - 1)
        m_pMonthList->setCurrentIndex(m_dtDisplayed.month() - 1);
}

int CCalendarCtrl::CellAt(const QPoint &pt) const
{
    for (int i = 0; i < kCells; ++i)
        if (m_aCells[static_cast<size_t>(i)].m_rect.contains(pt))
            return i;
    return -1;
}

void CCalendarCtrl::RedrawCell(int nCell)
{
    if (nCell >= 0)
        update(m_aCells[static_cast<size_t>(nCell)].m_rect);
}

void CCalendarCtrl::SetPressed(int nCell, bool bPressed)
{
    if (nCell < 0)
        return;
    m_aCells[static_cast<size_t>(nCell)].m_bPressed = bPressed;
    RedrawCell(nCell);
}

void CCalendarCtrl::SetHovered(int nCell, bool bHovered)
{
    if (nCell < 0)
        return;
    m_aCells[static_cast<size_t>(nCell)].m_bHovered = bHovered;
    RedrawCell(nCell);
}

void CCalendarCtrl::SetSelected(int nCell, bool bSelected)
{
    if (nCell < 0)
        return;
    m_aCells[static_cast<size_t>(nCell)].m_bSelected = bSelected;
    RedrawCell(nCell);
}

void CCalendarCtrl::mousePressEvent(QMouseEvent *pEvent)
{
    if (pEvent->button() != Qt::LeftButton)
        return;
    m_bMouseDown = true; // Qt holds the mouse for this widget until the release
    SetPressed(m_nPressed, false);
    m_nPressed = CellAt(pEvent->position().toPoint());
}

void CCalendarCtrl::mouseMoveEvent(QMouseEvent *pEvent)
{
    const int nCell = CellAt(pEvent->position().toPoint());
    if (m_bMouseDown) {
        if (nCell != m_nPressed)
            SetPressed(m_nPressed, false);
        SetPressed(nCell, true);
        m_nPressed = nCell;
    }
    if (nCell != m_nHovered) {
        SetHovered(m_nHovered, false);
        SetHovered(nCell, true);
        m_nHovered = nCell;
    }
}

void CCalendarCtrl::leaveEvent(QEvent *pEvent)
{
    SetHovered(m_nHovered, false);
    m_nHovered = -1;
    QWidget::leaveEvent(pEvent);
}

void CCalendarCtrl::mouseReleaseEvent(QMouseEvent *pEvent)
{
    if (pEvent->button() != Qt::LeftButton || !m_bMouseDown)
        return;
    m_bMouseDown = false;
    SetPressed(m_nPressed, false);
    m_nPressed = -1;
    SetSelected(m_nSelection, false);
    m_nSelection = -1;

    const int nCell = CellAt(pEvent->position().toPoint());
    if (nCell < 0)
        return;
    const CDayCell &cell = m_aCells[static_cast<size_t>(nCell)];
    m_dtSelected = cell.m_date;
    // A grey day beyond the range picks the nearer limit, without a highlight, a new
    // grid or a notice.
    if (!ClampToRange(m_dtSelected))
        return;
    if (cell.m_nKind == DAY_OTHER) {
        m_dtDisplayed = QDate(m_dtSelected.year(), m_dtSelected.month(), 1);
        FillGrid(); // selects the clicked day in the new grid
    } else {
        // Days of the month on show, and today also when it lies in the adjacent month:
        // selected where they stand; the month on show stays the one the grid shows.
        SetSelected(nCell, true);
        m_nSelection = nCell;
    }
    QCoreApplication::postEvent(parentWidget() ? static_cast<QObject *>(parentWidget()) : this,
                                new CCalendarPickEvent(m_nControlId));
}

void CCalendarCtrl::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.fillRect(rect(), kBackground);
    p.setFont(m_font);

    static const char *const apszDays[7] = {"Sun", "Mon", "Tue", "Wed", "Thr", "Fri", "Sat"};
    for (int i = 0; i < 7; ++i) {
        p.setPen(i == 0   ? QColor(255, 64, 64)
                 : i == 6 ? QColor(64, 64, 255)
                          : QColor(192, 192, 192));
        p.drawText(QRect(i * kCellWidth, kHeaderTop, kCellWidth, kCellHeight),
                   Qt::AlignRight | Qt::AlignVCenter | Qt::TextSingleLine,
                   QString::fromLatin1(apszDays[i]));
    }
    for (const CDayCell &cell : m_aCells)
        DrawCell(p, cell);
}

void CCalendarCtrl::DrawCell(QPainter &p, const CDayCell &cell) const
{
    QColor text = kGreyText;
    const QRect rc = cell.m_rect.adjusted(1, 0, -1, 0);
    QRect fill = rc;
    if (cell.m_bSelected) {
        text = palette().color(QPalette::ButtonText);
        DrawSunkenEdge(p, rc, palette());
        fill = rc.adjusted(1, 1, -1, -1);
        p.fillRect(fill, palette().color(QPalette::Highlight));
    } else {
        p.fillRect(fill, Qt::black);
        if (cell.m_nKind == DAY_MONTH) {
            text = kDayText;
        } else if (cell.m_nKind == DAY_OTHER) {
            if (cell.m_bHovered)
                text = kHoveredGreyText;
        } else {
            DrawSunkenEdge(p, rc, palette());
            text = kDayText;
        }
    }
    p.setPen(text);
    p.drawText(fill.adjusted(2, 0, -2, 0), Qt::AlignRight | Qt::AlignVCenter | Qt::TextSingleLine,
               cell.m_szText);
    if (cell.m_bPressed) {
        p.setPen(QPen(QColor(192, 192, 192), 1, Qt::DotLine));
        p.setBrush(Qt::NoBrush);
        p.drawRect(fill.adjusted(0, 0, -1, -1));
    }
}
