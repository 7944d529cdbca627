#pragma once
// CIpHistoryDlg: the modal "IP/PORT HISTORY TABLE". Lists the entries of the
// IP/port history (name, IP, port), lets the operator delete one and hands the
// chosen one back.
//
// Choosing: a click on a row chooses it (a click below the last row chooses three
// empty texts); OK without a chosen row asks "Please Select IP/PORT" unless the
// list is empty. A double-click on a row takes it and ends the dialog at once.
// An empty port is handed back as "8000". Closing or Escape cancels.

#include "settings/ipporthistory.h"

#include <QDialog>

class QPushButton;
class QTreeWidget;

class CIpHistoryDlg : public QDialog {
    Q_OBJECT
  public:
    explicit CIpHistoryDlg(CIpPortHistory &history, QWidget *parent = nullptr);

    // The chosen entry, valid after the dialog ended with OK.
    QString ChosenName() const { return m_strName; }
    QString ChosenIp() const { return m_strIp; }
    QString ChosenPort() const { return m_strPort; }
    bool IsChosen() const { return m_bChosen; }
    int RowCount() const { return m_nRowCount; }
    QTreeWidget *List() const { return m_pList; }

    // What the list's mouse handling and the buttons call; nRow -1 is a click
    // outside the rows.
    void OnListClick(int nRow);
    void OnListDoubleClick(int nRow);
    void OnOK();
    void OnDelete();

  protected:
    bool eventFilter(QObject *pWatched, QEvent *pEvent) override;

  private:
    void FillList();
    void Choose(int nRow);
    void ShowFileError(const QString &what);

    CIpPortHistory &m_history;
    QTreeWidget *m_pList = nullptr;
    QPushButton *m_pOK = nullptr;
    QPushButton *m_pDelete = nullptr;
    QPushButton *m_pCancel = nullptr; // exists but hidden
    QString m_strName;
    QString m_strIp;
    QString m_strPort;
    bool m_bChosen = false;
    int m_nRowCount = 0;
};
