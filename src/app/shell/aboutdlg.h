#pragma once
// The About box: program name, version and a small picture of the four-channel
// screen, closed with OK.

#include <QDialog>

class CAboutDlg : public QDialog {
    Q_OBJECT

  public:
    explicit CAboutDlg(QWidget *parent = nullptr);

    static QString VersionText();
};
