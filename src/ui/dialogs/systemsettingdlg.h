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
//
// Recorders: the selector at the top of CONNECTION picks the recorder (1-4) whose
// label, address, port, ID, password and PT TYPE the fields below show; switching
// keeps what was typed for the one left. At OK every recorder's address and port
// are checked (recorder 2-4 with an empty address is no recorder, and is removed if
// it was one), and a recorder with the address and port of another is refused; a
// refusal selects the recorder at fault. Recorder 1's address and port are then
// copied as above, and recorders 2-4 whose fields were changed are copied whole
// (those not touched keep their record, also one left out of the store for bad
// values). "IP load" fills the selected recorder's fields.
//
// "Save Password" (SAVE OPTION): KEYRING, FILE or NEVER. Without a keyring KEYRING
// is greyed out and FILE shown; left as opened, the stored choice stays.

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
    // No keyring answers on this machine: "Save Password" greys out KEYRING, says
    // so, and shows FILE, which is what KEYRING does then.
    bool bKeyringMissing = false;
};

class CSystemSettingDlg : public QDialog {
    Q_OBJECT
  public:
    // Rows of the layout table, in the order of the dialog's groups.
    enum Row {
        ROW_RECORDER,
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
        ROW_SAVE_PASSWORD,
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
    // Shows recorder nRecorder (0-based) in the CONNECTION fields, as the selector does.
    void SelectRecorder(int nRecorder);

  private:
    // One recorder's CONNECTION fields as typed.
    struct LinkTexts {
        QString label, ip, port, id, password;
        int nPtzPos = 0;
        bool operator==(const LinkTexts &o) const
        {
            return label == o.label && ip == o.ip && port == o.port && id == o.id &&
                   password == o.password && nPtzPos == o.nPtzPos;
        }
    };

    void CreateControls();
    void OnRecorderChosen(int nRecorder);
    void KeepFields();
    void ShowFields();
    // The first recorder whose address or port is refused, with its message; -1 if none.
    int RefusedRecorder(QString &message) const;
    void StoreHistoryEntry(const LinkTexts &link);
    void LoadFromSettings();
    void CopyControls();
    void ShowMessage(const QString &text);

    ClientSettings &m_settings;
    CIpPortHistory &m_history;
    SystemSettingActions m_actions;
    std::array<QWidget *, ROW_COUNT> m_apControl{};
    std::array<QPushButton *, ROW_COUNT> m_apButton{};
    std::array<LinkTexts, MAX_RECORDERS> m_aLinks;  // as typed
    std::array<LinkTexts, MAX_RECORDERS> m_aLoaded; // as opened
    int m_nRecorder = 0;                            // shown in the fields
    int m_nSavePasswordShown = 0;                   // "Save Password" as opened
};
