// Telvane4: start-up in order -- the data folder (an installed copy works in the
// user's), one copy per session and the socket layer, then the main frame with its
// view, then show. The view's initial update (on its first show) creates the
// protocol client, loads the settings, enters full screen when set, lays out the
// form, starts its 1000 ms timer and selects the four-channel screen; nothing
// connects until the operator presses Connect.
#include "app/shell/aboutdlg.h"
#include "app/shell/mainframe.h"
#include "app/shell/statslog.h"
#include "app/shell/telvaneapp.h"
#include "keyring/keyring.h"
#include "protocol/netclientwnd.h"
#include "settings/dataplaces.h"
#include "ui/archive/archivedlg.h"
#include "ui/live/liveclient.h"
#include "ui/live/telvaneview.h"

#include <QApplication>
#include <QDate>
#include <QDir>
#include <QMetaObject>
#include <QTimer>
#include <QtDebug>

#include <cstdio>
#include <cstring>

namespace {

const char kUsage[] =
    "Usage: telvane4 [--help | --version]\n"
    "\n"
    "Desktop client of a four-channel networked video recorder: live view, PTZ\n"
    "control, event list, archive playback, snapshots, printing and AVI recording.\n"
    "Everything is set in the program (the Setting button). The settings are kept\n"
    "in Telvane/Telvane4.conf under the user's config folder ($XDG_CONFIG_HOME, by\n"
    "default ~/.config), readable by that user alone; the recorders' passwords in\n"
    "the desktop keyring, in that file or nowhere, as \"Save Password\" says.\n"
    "\n"
    "  --help     show this text and exit\n"
    "  --version  show the version and exit\n";

// --version and --help are answered before anything needs a display. Returns the
// exit code, or -1 when the program is to start.
int AnswerOptions(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::fputs("Telvane4 " TELVANE_VERSION "\n", stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
    }
    return -1;
}

} // namespace

int main(int argc, char **argv)
{
    if (const int nExit = AnswerOptions(argc, argv); nExit >= 0)
        return nExit;
    QApplication app(argc, argv);
    // An installed copy works in the user's data folder (see dataplaces.h).
    if (!EnterDataFolder())
        qWarning().noquote() << "Cannot use the data folder" << ProgramDataPlaces().szBaseFolder
                             << "- files are written below" << QDir::currentPath();

    CTelvaneApp telvane;
    if (!telvane.InitInstance())
        return 1;

    CMainFrame frame;
    CTelvaneView::Environment env;
    env.fnPlaceWindow = [&frame](bool bFullScreen) { frame.PlaceWindow(bFullScreen); };
    env.fnAbout = [&frame] {
        CAboutDlg about(&frame);
        about.exec();
    };
    env.fnCreateArchive = CreateArchiveWindow;
    env.fnCreateKeyring = CreateDesktopKeyring;
    // bench/live-cpu.sh --small-tiles: the four channels in 160 x 120 tiles.
    env.bSmallTiles = qEnvironmentVariableIntValue("TELVANE_BENCH_SMALL_TILES") == 1;
    auto *pView = new CTelvaneView(&frame, std::move(env));
    frame.SetView(pView);
    frame.show();
    CStatsLog stats(pView);
    stats.Start();
    // Unattended runs (scripts/run.sh without a pointer tool) may press Connect once
    // the form is up.
    if (qEnvironmentVariableIntValue("TELVANE_AUTOCONNECT") == 1)
        QMetaObject::invokeMethod(
            pView, [pView] { pView->OnConnect(); }, Qt::QueuedConnection);
    // ... and, for the playback benchmark and demonstrations, once the link is up (the
    // login accepted: a request sent while it is on its way is lost), open the archive
    // and play all four channels of yesterday from 12:00.
    QTimer autoPlay;
    if (qEnvironmentVariableIntValue("TELVANE_AUTOPLAY") == 1) {
        QObject::connect(&autoPlay, &QTimer::timeout, pView, [pView, &autoPlay] {
            auto *pArchive = dynamic_cast<CArchiveDlg *>(pView->Archive());
            const CNetClientWnd *pClient = pView->Client() ? pView->Client()->NetClient() : nullptr;
            if (!pClient || pClient->Link() != CNetClientWnd::LinkState::Online || !pArchive)
                return;
            autoPlay.stop();
            pView->OnArchive();
            DvrDateTime day = CurrentLocalDateTime();
            const QDate yesterday = QDate(day.nYear, day.nMonth, day.nDay).addDays(-1);
            day = DvrDateTime{yesterday.year(), yesterday.month(), yesterday.day(), 0, 0, 0};
            pArchive->Control().OnDatePicked(day);
            pArchive->Control().OnSliderMoved(12 * 3600);
            pArchive->Control().OnImagePlay(CPlaybackControl::PLAY_FORWARD);
        });
        autoPlay.start(200);
    }
    // ... and, for the password leak test, press Exit once recorder 1 is online.
    QTimer autoExit;
    if (qEnvironmentVariableIntValue("TELVANE_AUTOEXIT") == 1) {
        QObject::connect(&autoExit, &QTimer::timeout, pView, [pView, &autoExit] {
            const CNetClientWnd *pClient = pView->Client() ? pView->Client()->NetClient() : nullptr;
            if (!pClient || pClient->Link() != CNetClientWnd::LinkState::Online)
                return;
            autoExit.stop();
            pView->OnExit();
        });
        autoExit.start(200);
    }
    return app.exec();
}
