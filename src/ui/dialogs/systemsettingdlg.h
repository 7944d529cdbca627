#pragma once
// CSystemSettingDlg: the modal "System Setting" dialog. Edits the settings record
// it is given; OK copies the controls into it at once and applies full screen and
// event reporting through the actions it is handed (the record reaches the store
// only at Exit). It also feeds the IP/port history: OK stores the current label,
// address and port there, and "IP load" lets the operator pick an earlier entry.
//
// OK, in order: 1. copy every control except address and port; 2.-4. full screen,
// "Receive Events" and "Display PlayTime On Image", each acted on only when it
// changed; 5. check address and port -- a bad one shows the message and keeps the
// dialog open (steps 1-4 stay applied, the rejected address and port are not
// copied); 6. copy address and port, store the history entry (an empty label as
// "UNTITLE") and close. CANCEL, Escape and closing copy nothing.

#include "settings/clientsettings.h"
#include "settings/ipporthistory.h"

#include <QDialog>

#include <array>
#include <functional>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

// What the dialog asks of the program. Empty members get the defaults.
struct SystemSettingActions {
    // Full screen on / off for the main window.
    std::function<void(bool)> fnSetFullScreen;
    // Sends the recorder the event-report request (on / off).
    std::function<void(bool)> fnSetEventReport;
    // The folder browser: the chosen folder, empty when cancelled; empty member =
    // the platform's folder dialog.
    std::function<QString(QWidget *pParent, const QString &current)> fnBrowseFolder;
    // Runs a nested modal dialog (the history); empty member = QDialog::exec.
    std::function<int(QDialog &)> fnExecDialog;
};

class CSystemSettingDlg : public QDialog {
    Q_OBJECT
  public:
    // Rows of the layout table, in the order of the dialog's groups.
    enum Row {
        ROW_LABEL,
        ROW_IP,
        ROW_PORT,
        ROW_ID,
        ROW_PASSWORD,
        ROW_PTZ_TYPE,
        ROW_ROTATE,
        ROW_SCAN_RATE,
        ROW_RECONNECT,
        ROW_FULL_SCREEN,
        ROW_EVENTS,
        ROW_PB_TIME,
        ROW_RECORD_PATH,
        ROW_DURATION,
        ROW_RECORD_FORMAT,
        ROW_OK_CANCEL,
        ROW_COUNT
    };

    CSystemSettingDlg(ClientSettings &settings, CIpPortHistory &history,
                      SystemSettingActions actions = {}, QWidget *parent = nullptr);

    // The control of a row (a QLineEdit, QComboBox or QCheckBox; the OK button
    // for ROW_OK_CANCEL), and the push button beside it ("IP load", "Browse",
    // "CANCEL"), null where there is none.
    QWidget *Control(Row row) const { return m_apControl[row]; }
    QPushButton *SideButton(Row row) const { return m_apButton[row]; }
    QLineEdit *Edit(Row row) const;
    QComboBox *List(Row row) const;
    QCheckBox *Check(Row row) const;

    void OnOK();
    void OnIpLoad();
    void OnBrowse();

    // A dotted quad of four numbers 0-255, rewritten without leading zeros;
    // empty when the text is not one.
    static QString NormalisedAddress(const QString &text);

  private:
    void CreateControls();
    void LoadFromSettings();
    void CopyControls();
    bool CheckAddressAndPort() const;
    void ShowMessage(const QString &text);

    ClientSettings &m_settings;
    CIpPortHistory &m_history;
    SystemSettingActions m_actions;
    std::array<QWidget *, ROW_COUNT> m_apControl{};
    std::array<QPushButton *, ROW_COUNT> m_apButton{};
};
