#pragma once
// CStatsLog: for long unattended runs (the soak script), one line a second in a
// text file named by the environment variable TELVANE_STATS:
//   <ms since the epoch> state=<connect state> archive=<0|1> attempts=<connect
//   attempts> logins=<logins accepted> live=<c1>,<c2>,<c3>,<c4> playback=<c1>,..,<c4>
//   recorded=<captured>,<dropped>,<saving> recorders=<r1>,<r2>,<r3>,<r4>
// The picture counts are those handed to the windows since start; the recorded ones
// those of the last recording, and whether its last file is still being written; then each
// recorder's connect state (-1 for one not configured). Nothing is
// written when the variable is not set.
//
// For delay benchmarks, TELVANE_PAINT_LOG names a second file with one line per live
// picture that reached the screen: "<steady clock ns> <slot 0-15> <sequence word>
// <ns when it was handed to its tile>", written when the paint that first shows it
// ends; the sequence word is the one its recorder put in the picture's header.

#include <QFile>
#include <QObject>
#include <QTimer>

#include <array>
#include <cstdint>

class CTelvaneView;

class CStatsLog : public QObject {
  public:
    explicit CStatsLog(CTelvaneView *pView);
    // True when the variable names a file that could be opened.
    bool Start();

  private:
    void WriteLine();
    void OnShown(int nSlot);
    void OnPainted(const QRegion &region);

    CTelvaneView *m_pView;
    QFile m_file;
    QFile m_paintLog;
    QTimer m_timer;
    std::array<uint32_t, 16> m_adwShown{};   // sequence word of each tile's newest picture
    std::array<uint32_t, 16> m_adwPainted{}; // and of the one last painted
    std::array<qint64, 16> m_anShownNs{};    // when the newest was handed to its tile
};
