#include "ui/dialogs/eventdlg.h"

#include "settings/clientsettings.h"
#include "ui/dialogs/dialogstyle.h"


#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>

namespace {

// The layout is kept in dialog units and converted with the base units of an
// 8-point dialog font at 96 dpi: 6 x 13 pixels per 4 x 8 units (1.5 x 1.625),
// rounded to the nearest pixel.
int DluX(int n)
{
    return (n * 6 + 2) / 4;
}
int DluY(int n)
{
    return (n * 13 + 4) / 8;
}
QRect DluRect(int x, int y, int cx, int cy)
{
    return QRect(DluX(x), DluY(y), DluX(cx), DluY(cy));
}

enum { EL_DIALOG, EL_LIST, EL_OK, EL_COUNT };
struct EventLayoutRow {
    int x, y, cx, cy; // dialog units
};
constexpr EventLayoutRow kEventLayout[EL_COUNT] = {
    {0, 0, 291, 245},  // dialog: 437 x 398 px
    {2, 3, 286, 221},  // list:   (3,5) 429 x 359 px
    {2, 227, 286, 12}, // "OK":   (3,369) 429 x 20 px
};
QRect LayoutRect(int n)
{
    const EventLayoutRow &r = kEventLayout[n];
    return DluRect(r.x, r.y, r.cx, r.cy);
}

// Item data of a row's first cell.
constexpr int ROLE_PACKED_TIME = Qt::UserRole;
constexpr int ROLE_PLAYABLE = Qt::UserRole + 1;
constexpr int ROLE_CHANNEL = Qt::UserRole + 2; // the record's own channel, 1-based

// Column titles and their share of the list's width in twentieths.
struct EventColumn {
    const char *szTitle;
    int nTwentieths;
};
constexpr EventColumn kColumns[3] = {{"Channel", 4}, {"Alarm Type", 7}, {"Date/Time", 9}};


} // namespace

CEventDlg::CEventDlg(QWidget *pParent, PlayFn fnPlay, bool bFileExisted, CEventLogFile file)
    : QDialog(pParent), m_fnPlay(std::move(fnPlay)), m_file(std::move(file))
{
    setWindowTitle(QStringLiteral("Event"));
    setModal(true);
    ApplyDialogLook(this);
    setFixedSize(LayoutRect(EL_DIALOG).size());

    m_pList = new QTableWidget(0, 3, this);
    m_pList->setGeometry(LayoutRect(EL_LIST));
    m_pList->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_pList->setSelectionMode(QAbstractItemView::SingleSelection);
    m_pList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_pList->setShowGrid(true);
    m_pList->setWordWrap(false);
    m_pList->setTextElideMode(Qt::ElideRight);
    m_pList->setSortingEnabled(false); // rows stay in file order
    m_pList->verticalHeader()->hide();
    m_pList->verticalHeader()->setDefaultSectionSize(m_pList->fontMetrics().height() + 6);
    m_pList->horizontalHeader()->setStretchLastSection(false);
    m_pList->horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);
    m_pList->horizontalHeader()->setHighlightSections(false);

    // Twentieths of the list's width less 6, the division done first.
    const int nUnit = (m_pList->width() - 6) / 20;
    for (int c = 0; c < 3; ++c) {
        auto *pHeader = new QTableWidgetItem(QString::fromLatin1(kColumns[c].szTitle));
        pHeader->setTextAlignment(Qt::AlignCenter);
        m_pList->setHorizontalHeaderItem(c, pHeader);
        m_pList->setColumnWidth(c, nUnit * kColumns[c].nTwentieths);
    }
    connect(m_pList, &QTableWidget::cellDoubleClicked, this,
            [this](int nRow, int) { OnListDoubleClick(nRow); });

    m_pOK = new QPushButton(QStringLiteral("OK"), this);
    m_pOK->setGeometry(LayoutRect(EL_OK));
    m_pOK->setDefault(true);
    connect(m_pOK, &QPushButton::clicked, this, &QDialog::accept);

    if (bFileExisted)
        Reload();
}

void CEventDlg::Reload()
{
    m_pList->clearContents();
    m_pList->setRowCount(0);
    const std::vector<EventEntry> entries = m_file.Read();
    m_pList->setRowCount(static_cast<int>(entries.size()));
    int nRow = 0;
    for (const EventEntry &e : entries) {
        const EventRecord &r = e.record;
        const QString texts[3] = {e.szChannel, e.szAlarmType, e.szDateTime};
        for (int c = 0; c < 3; ++c) {
            auto *pItem = new QTableWidgetItem(texts[c]);
            pItem->setTextAlignment(Qt::AlignCenter);
            pItem->setToolTip(texts[c]); // a combined alarm text is wider than its column
            m_pList->setItem(nRow, c, pItem);
        }
        QTableWidgetItem *pFirst = m_pList->item(nRow, 0);
        pFirst->setData(ROLE_PACKED_TIME,
                        static_cast<uint>(MakeTimeCost(e.nYear, r.byMonth, r.byDay, r.byHour,
                                                       r.byMinute, r.bySecond)));
        pFirst->setData(ROLE_PLAYABLE, e.bPlayable);
        pFirst->setData(ROLE_CHANNEL, int(r.byChannel));
        ++nRow;
    }
}

bool CEventDlg::OnListDoubleClick(int nRow)
{
    if (!m_fnPlay || nRow < 0 || nRow >= m_pList->rowCount())
        return false;
    const QTableWidgetItem *pFirst = m_pList->item(nRow, 0);
    if (!pFirst || !pFirst->data(ROLE_PLAYABLE).toBool())
        return false;
    // The row's camera on its own recorder, whatever number the window shows it by;
    // only the recorder's four channels have cells to play into.
    const int nChannel = pFirst->data(ROLE_CHANNEL).toInt();
    if (nChannel < 1 || nChannel > CHANNELS_PER_RECORDER)
        return false;
    return m_fnPlay(static_cast<PackedTime>(pFirst->data(ROLE_PACKED_TIME).toUInt()), nChannel - 1);
}

int CEventDlg::RowCount() const
{
    return m_pList->rowCount();
}

PackedTime CEventDlg::RowPackedTime(int nRow) const
{
    const QTableWidgetItem *pItem = m_pList->item(nRow, 0);
    return pItem ? static_cast<PackedTime>(pItem->data(ROLE_PACKED_TIME).toUInt()) : 0;
}

QString CEventDlg::RowText(int nRow, int nColumn) const
{
    const QTableWidgetItem *pItem = m_pList->item(nRow, nColumn);
    return pItem ? pItem->text() : QString();
}

int RunEventDialog(QWidget *pParent, const std::function<void()> &fnRequestList,
                   CEventDlg::PlayFn fnPlay, QPointer<CEventDlg> *ppOpen, const CEventLogFile &file)
{
    // Every read and write of the list uses the current folder, so the file is
    // looked for there too (not next to the executable).
    const bool bExisted = file.Exists();
    if (fnRequestList)
        fnRequestList(); // the reply arrives later and reloads the open dialog
    QPointer<CEventDlg> pDlg = new CEventDlg(pParent, std::move(fnPlay), bExisted, file);
    if (ppOpen)
        *ppOpen = pDlg;
    const int nResult = pDlg->exec();
    delete pDlg.data(); // null when the owner went away meanwhile
    return nResult;
}
