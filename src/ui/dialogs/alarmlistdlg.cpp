#include "ui/dialogs/alarmlistdlg.h"

#include "ui/dialogs/dialogstyle.h"
#include "ui/live/alarmlist.h"

#include <QGuiApplication>
#include <QHeaderView>
#include <QScreen>
#include <QScrollBar>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr int kGap = 8;                         // between the main window and this one
constexpr QSize kSize(520, 420);                // room for the four columns' widest texts
constexpr int kColumnWidths[] = {160, 110, 60}; // the last column takes the rest

} // namespace

QPoint PlaceBeside(const QRect &rcMain, const QSize &size, const QRect &rcScreen)
{
    int x = rcMain.right() + 1 + kGap;
    if (x + size.width() > rcScreen.right() + 1)
        x = rcMain.left() - kGap - size.width();
    if (x < rcScreen.left())
        x = rcScreen.right() + 1 - size.width();
    const int y = std::clamp(rcMain.top(), rcScreen.top(),
                             std::max(rcScreen.top(), rcScreen.bottom() + 1 - size.height()));
    return QPoint(std::max(x, rcScreen.left()), y);
}

CAlarmListDlg::CAlarmListDlg(CAlarmList &list, PlayFn fnPlay, ShownFn fnShown)
    : QDialog(nullptr), m_list(list), m_fnPlay(std::move(fnPlay)), m_fnShown(std::move(fnShown))
{
    setWindowTitle(QStringLiteral("Telvane - Alarms"));
    setModal(false);
    // Shown beside the main window, it must not take the keys from it; and it is no
    // reason to keep the program running once the main window has closed.
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_QuitOnClose, false);
    ApplyDialogLook(this);
    resize(kSize);

    m_pList = new QTableView(this);
    m_pList->setModel(&m_list);
    m_pList->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_pList->setSelectionMode(QAbstractItemView::SingleSelection);
    m_pList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_pList->setWordWrap(false);
    m_pList->setSortingEnabled(false); // newest first, always
    m_pList->verticalHeader()->hide();
    m_pList->verticalHeader()->setDefaultSectionSize(m_pList->fontMetrics().height() + 6);
    m_pList->horizontalHeader()->setStretchLastSection(true);
    m_pList->horizontalHeader()->setHighlightSections(false);
    for (int c = 0; c < int(std::size(kColumnWidths)); ++c)
        m_pList->setColumnWidth(c, kColumnWidths[c]);
    connect(m_pList, &QTableView::doubleClicked, this,
            [this](const QModelIndex &index) { OnListDoubleClick(index.row()); });
    // At the top the list follows the newest rows. Scrolled away from them, the
    // operator reads or picks a row: rows that come above leave it where it is, so
    // a double-click in a flood of reports still hits the row it aimed at.
    m_pList->setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    connect(&m_list, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex &, int nFirst, int nLast) {
                QScrollBar *pBar = m_pList->verticalScrollBar();
                const int nValue = pBar->value();
                if (nValue == 0)
                    return;
                m_pList->doItemsLayout(); // the bar's range for the new rows
                pBar->setValue(nValue + nLast - nFirst + 1);
            });

    auto *pLayout = new QVBoxLayout(this);
    pLayout->setContentsMargins(3, 3, 3, 3);
    pLayout->addWidget(m_pList);
}

void CAlarmListDlg::ShowBeside(const QWidget *pMain)
{
    if (isVisible()) {
        raise();
        return;
    }
    if (pMain) {
        const QScreen *pScreen =
            pMain->screen() ? pMain->screen() : QGuiApplication::primaryScreen();
        if (pScreen)
            move(PlaceBeside(pMain->frameGeometry(), frameGeometry().size(),
                             pScreen->availableGeometry()));
    }
    show();
}

bool CAlarmListDlg::OnListDoubleClick(int nRow)
{
    if (!m_fnPlay || nRow < 0 || nRow >= m_list.Count())
        return false;
    m_fnPlay(nRow);
    return true;
}

void CAlarmListDlg::showEvent(QShowEvent *pEvent)
{
    QDialog::showEvent(pEvent);
    if (m_fnShown)
        m_fnShown(true);
}

void CAlarmListDlg::hideEvent(QHideEvent *pEvent)
{
    QDialog::hideEvent(pEvent);
    if (m_fnShown)
        m_fnShown(false);
}
