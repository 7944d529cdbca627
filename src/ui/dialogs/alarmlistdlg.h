#pragma once
// CAlarmListDlg: the alarm window. Shows the watch's list of alarms (CAlarmList,
// newest first) in a table, as a window of its own beside the main window. It is
// not modal and never takes the focus by itself: it is shown without being
// activated, and a new row only enters the table. A double-click on a row asks the
// owner to play that event, as a double-click in the recorder's event list does;
// scrolled away from the newest rows, the rows on show stay put as new ones come.
// The owner is told when the window is shown or hidden, since rows that come while
// it is shown count as looked at.

#include <QDialog>

#include <functional>

class CAlarmList;
class QTableView;

class CAlarmListDlg : public QDialog {
    Q_OBJECT
  public:
    using PlayFn = std::function<void(int nRow)>;
    using ShownFn = std::function<void(bool bShown)>;

    CAlarmListDlg(CAlarmList &list, PlayFn fnPlay, ShownFn fnShown);

    // Shows the window beside pMain (right of it where the screen has room, else
    // left of it) without activating it; a window already shown is raised where it
    // is.
    void ShowBeside(const QWidget *pMain);

    // A double-click on row nRow (-1: no row hit); true when the owner was asked.
    bool OnListDoubleClick(int nRow);
    QTableView *List() const { return m_pList; }

  protected:
    void showEvent(QShowEvent *pEvent) override;
    void hideEvent(QHideEvent *pEvent) override;

  private:
    CAlarmList &m_list;
    PlayFn m_fnPlay;
    ShownFn m_fnShown;
    QTableView *m_pList = nullptr;
};

// Where a window of the given size goes beside the main window's frame: right of
// it when it fits on the screen, else left of it, else against the screen's right
// edge; its top level with the main window's, kept on the screen.
QPoint PlaceBeside(const QRect &rcMain, const QSize &size, const QRect &rcScreen);
