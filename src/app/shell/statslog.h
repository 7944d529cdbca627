#pragma once
// CStatsLog: for long unattended runs (the soak script), one line a second in a
// text file named by the environment variable TELVANE_STATS:
//   <ms since the epoch> state=<connect state> archive=<0|1> attempts=<connect
//   attempts> logins=<logins accepted> live=<c1>,<c2>,<c3>,<c4> playback=<c1>,..,<c4>
//   recorded=<captured>,<dropped>,<saving>
// The picture counts are those handed to the windows since start; the recorded ones
// those of the last recording, and whether its last file is still being written. Nothing is
// written when the variable is not set.

#include <QFile>
#include <QObject>
#include <QTimer>

class CTelvaneView;

class CStatsLog : public QObject {
  public:
    explicit CStatsLog(CTelvaneView *pView);
    // True when the variable names a file that could be opened.
    bool Start();

  private:
    void WriteLine();

    CTelvaneView *m_pView;
    QFile m_file;
    QTimer m_timer;
};
