#include "ui/dialogs/iphistorydlg.h"

#include "ui/common/messagebox.h"
#include "ui/dialogs/dialogstyle.h"

#include <QEvent>
#include <QHeaderView>
#include <QMouseEvent>
#include <QPushButton>
#include <QTreeWidget>

namespace {

// The dialog's controls, in pixels of its client area.
struct HistoryLayoutRow {
    const char *szText;
    QRect rc;
};
enum { HL_LIST, HL_OK, HL_DELETE, HL_CANCEL, HL_COUNT };
constexpr HistoryLayoutRow kHistoryLayout[HL_COUNT] = {
    {nullptr, {10, 10, 322, 176}}, // list: "Name", "IP", "Port", 100 px each
    {"OK", {152, 196, 86, 24}},
    {"Delete", {246, 196, 86, 24}},
    {"Cancel", {58, 196, 86, 24}}, // hidden: closing or Escape cancels
};
constexpr QSize kHistoryDialogSize(342, 230);
constexpr int kColumnWidth = 100;

QPushButton *MakeButton(QWidget *parent, const HistoryLayoutRow &row)
{
    auto *p = new QPushButton(QString::fromLatin1(row.szText), parent);
    p->setGeometry(row.rc);
    p->setAutoDefault(false);
    return p;
}

} // namespace

CIpHistoryDlg::CIpHistoryDlg(CIpPortHistory &history, QWidget *parent)
    : QDialog(parent), m_history(history)
{
    setWindowTitle(QStringLiteral("IP/PORT HISTORY TABLE"));
    ApplyDialogLook(this);
    setFixedSize(kHistoryDialogSize);

    m_pList = new QTreeWidget(this);
    m_pList->setGeometry(kHistoryLayout[HL_LIST].rc);
    m_pList->setRootIsDecorated(false);
    m_pList->setItemsExpandable(false);
    m_pList->setUniformRowHeights(true);
    m_pList->setAllColumnsShowFocus(true);
    m_pList->setSelectionMode(QAbstractItemView::SingleSelection);
    m_pList->setHeaderLabels(
        {QStringLiteral("Name"), QStringLiteral("IP"), QStringLiteral("Port")});
    m_pList->header()->setStretchLastSection(false);
    m_pList->header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    for (int c = 0; c < 3; ++c)
        m_pList->setColumnWidth(c, kColumnWidth);
    m_pList->viewport()->installEventFilter(this);

    m_pOK = MakeButton(this, kHistoryLayout[HL_OK]);
    m_pDelete = MakeButton(this, kHistoryLayout[HL_DELETE]);
    m_pCancel = MakeButton(this, kHistoryLayout[HL_CANCEL]);
    m_pCancel->hide();
    connect(m_pOK, &QPushButton::clicked, this, &CIpHistoryDlg::OnOK);
    connect(m_pDelete, &QPushButton::clicked, this, &CIpHistoryDlg::OnDelete);
    connect(m_pCancel, &QPushButton::clicked, this, &QDialog::reject);

    FillList();
}

void CIpHistoryDlg::FillList()
{
    m_pList->clear();
    m_nRowCount = 0;
    QList<HistoryEntry> entries;
    switch (m_history.ReadEntries(entries)) {
    case CIpPortHistory::ReadResult::Missing: {
        // First use: the history starts with the factory address.
        entries = {CIpPortHistory::DefaultEntry()};
        const HistoryEntry &def = entries.constFirst();
        if (!m_history.StoreHistoryEntry(def.strName, def.strIp, def.strPort))
            ShowFileError(QStringLiteral("cannot be created"));
        break;
    }
    case CIpPortHistory::ReadResult::Unreadable:
        // Never replaced: the operator's entries may still be in it.
        ShowFileError(QStringLiteral("cannot be read and is left as it is"));
        break;
    case CIpPortHistory::ReadResult::Ok:
        break;
    }
    for (const HistoryEntry &entry : entries) {
        auto *pItem = new QTreeWidgetItem(m_pList, {entry.strName, entry.strIp, entry.strPort});
        for (int c = 0; c < 3; ++c)
            pItem->setTextAlignment(c, Qt::AlignLeft | Qt::AlignVCenter);
        ++m_nRowCount;
    }
}

void CIpHistoryDlg::ShowFileError(const QString &what)
{
    ShowMessageBox(this,
                   QStringLiteral("The IP/PORT history file %1 %2 (%3).")
                       .arg(m_history.Path(), what, m_history.LastError()),
                   QString::fromLatin1(APP_TITLE), QMessageBox::Warning);
}

void CIpHistoryDlg::Choose(int nRow)
{
    const QTreeWidgetItem *pItem = nRow >= 0 ? m_pList->topLevelItem(nRow) : nullptr;
    m_strName = pItem ? pItem->text(0) : QString();
    m_strIp = pItem ? pItem->text(1) : QString();
    m_strPort = pItem ? pItem->text(2) : QString();
}

void CIpHistoryDlg::OnListClick(int nRow)
{
    Choose(nRow);
    m_bChosen = true;
}

void CIpHistoryDlg::OnListDoubleClick(int nRow)
{
    if (nRow < 0 && m_nRowCount > 0)
        return;
    Choose(nRow);
    if (m_strPort.isEmpty())
        m_strPort = QString::fromLatin1(HISTORY_DEFAULT_PORT);
    accept();
}

void CIpHistoryDlg::OnOK()
{
    if (!m_bChosen && m_nRowCount > 0) {
        ShowMessageBox(this, QStringLiteral("Please Select IP/PORT"),
                       QString::fromLatin1(APP_TITLE), QMessageBox::Warning);
        return;
    }
    if (m_strPort.isEmpty())
        m_strPort = QString::fromLatin1(HISTORY_DEFAULT_PORT);
    accept();
}

void CIpHistoryDlg::OnDelete()
{
    // Without a chosen row there is nothing to delete.
    if (m_bChosen && !m_history.DeleteEntry(m_strName))
        ShowFileError(QStringLiteral("was not changed"));
    FillList();
    m_strName.clear();
    m_strIp.clear();
    m_strPort.clear();
    m_bChosen = false;
}

bool CIpHistoryDlg::eventFilter(QObject *pWatched, QEvent *pEvent)
{
    if (pWatched == m_pList->viewport() && (pEvent->type() == QEvent::MouseButtonPress ||
                                            pEvent->type() == QEvent::MouseButtonDblClick)) {
        auto *pMouse = static_cast<QMouseEvent *>(pEvent);
        if (pMouse->button() == Qt::LeftButton) {
            const int nRow =
                m_pList->indexOfTopLevelItem(m_pList->itemAt(pMouse->position().toPoint()));
            if (pEvent->type() == QEvent::MouseButtonPress)
                OnListClick(nRow);
            else
                OnListDoubleClick(nRow);
        }
    }
    return QDialog::eventFilter(pWatched, pEvent);
}
