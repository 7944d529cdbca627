#pragma once
// CPasswordDlg: the small modal prompt for a recorder's password at Connect, when
// none is kept ("Save Password" NEVER, or nothing in the keyring for that recorder).
// The entry is masked and bounded like System Setting's "PASSWORD :"; OK hands the
// text back, CANCEL (or Escape, or closing) leaves the recorder unconnected.

#include <QDialog>

class QLineEdit;

class CPasswordDlg : public QDialog {
    Q_OBJECT
  public:
    // szRecorder names the recorder ("Recorder 2 (127.0.0.1:8000)").
    explicit CPasswordDlg(const QString &szRecorder, QWidget *parent = nullptr);
    QString Password() const;
    QLineEdit *Edit() const { return m_pEdit; }

  private:
    QLineEdit *m_pEdit = nullptr;
};
