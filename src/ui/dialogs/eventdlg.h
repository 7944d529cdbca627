#pragma once
// CEventDlg: the modal "Event" dialog. Lists the recorder's event list as the last
// reply left it in "AlarmEvent.am" (through CEventLogFile), one row per listed
// record in file order, each row carrying the event's PackedTime. A double-click
// on a row plays that channel from the event's time through the owner's play
// callback; rows the file marks unplayable (channel 0, a day that does not exist,
// a year the packed time cannot carry) are listed but a double-click does nothing.
//
// The owner calls Reload() whenever a new list has been written while the dialog
// is open; the list is then refilled in place.

#include "protocol/timecodec.h"
#include "settings/eventlogfile.h"

#include <QDialog>
#include <QPointer>

#include <functional>

class QPushButton;
class QTableWidget;

class CEventDlg : public QDialog {
    Q_OBJECT
  public:
    // Plays channel nChannelIndex (0-based) from the packed time; true when a
    // playback request went out. Empty = the dialog has no owner.
    using PlayFn = std::function<bool(PackedTime packed, int nChannelIndex)>;

    // bFileExisted: whether the list file existed when the Event button was
    // pressed; only then is the list filled at once.
    CEventDlg(QWidget *pParent, PlayFn fnPlay, bool bFileExisted,
              CEventLogFile file = CEventLogFile());

    // Empties the list and reads the file again (a missing file leaves it empty).
    void Reload();

    // A double-click on row nRow (-1: no row hit). True when the play callback ran.
    bool OnListDoubleClick(int nRow);

    QTableWidget *List() const { return m_pList; }
    QPushButton *OKButton() const { return m_pOK; }
    int RowCount() const;
    PackedTime RowPackedTime(int nRow) const;
    QString RowText(int nRow, int nColumn) const;

  private:

    PlayFn m_fnPlay;
    CEventLogFile m_file;
    QTableWidget *m_pList = nullptr;
    QPushButton *m_pOK = nullptr;
};

// The archive window's Event button: tests whether the list file exists, asks the
// recorder for a fresh list (fnRequestList, may be empty), then runs the dialog
// modally. While it runs *ppOpen (if given) points at it so the owner can call
// Reload() on a new list; the pointer clears itself when the dialog goes.
// Returns the dialog's result.
int RunEventDialog(QWidget *pParent, const std::function<void()> &fnRequestList,
                   CEventDlg::PlayFn fnPlay, QPointer<CEventDlg> *ppOpen,
                   const CEventLogFile &file = CEventLogFile());
