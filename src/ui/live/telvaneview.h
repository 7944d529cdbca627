#pragma once
// CTelvaneView: the content of the main window. A fixed 877 x 685 form painted
// from the skin background, with skin buttons at fixed places, the 640 x 480
// live picture area (one channel alone or a 2 x 2 grid), the status column, the
// PTZ pad, full screen, circular monitoring and the event-report switch.
//
// Theory of operation. The view owns the settings record and the recorder set (one
// to four recorders, each with its protocol client) for its whole life (the set is
// created by the initial update). The view carries out a screen plan (screenplan.h):
// which channel each tile shows and what each recorder is asked for. Each link's
// state is its client's; the view draws its buttons, status panel and tile texts
// from it whenever the set says a recorder changed, and keeps no copy. The set
// hands each decoded live picture over with SetChannelPicture + ShowLiveFrame, in
// global channels; the view has its picture canvas
// (CPictureCanvas) repaint only that tile: the canvas copies the backing image
// (background, empty tiles, tile frames, logo) around the pictures and stretches
// each shown picture straight from the channel's frame record into the 32-bit
// image it paints on; then the status and PTZ panels paint their texts. So a
// picture costs one stretch and no intermediate copy, and a repaint always shows
// each tile's newest picture. Pictures and the receive lamp reach the screen at
// most once per display frame.
// Timer 100 (1000 ms) drives the clock and the rotation; timer 10 belongs to the
// PTZ panel. Both run on an ITimerHost, so tests drive them on a manual clock.
//
//   screen mode: quad --channel / mode 1 / double-click seen tile--> single
//                single --mode 2 / double-click / end of rotation--> quad
//   link (each recorder's, the window's is the best of them):
//                0 --Connect--> 2 --TCP up--> 1 --lost / Disconnect--> 0

#include "imaging/bitmapinfo.h"
#include "keyring/passwordkeeper.h"
#include "protocol/clientviews.h"
#include "settings/clientsettings.h"
#include "settings/globalchannel.h"
#include "ui/live/alarmlist.h"
#include "ui/live/archivewindow.h"
#include "ui/live/liveclient.h"
#include "ui/live/recorderset.h"
#include "ui/live/rotation.h"
#include "ui/live/screenplan.h"
#include "ui/live/viewlayout.h"
#include "ui/picture/picturecanvas.h"
#include "ui/picture/stalewatch.h"

#include <QFont>
#include <QImage>
#include <QPixmap>
#include <QPoint>
#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>

class CAlarmListDlg;
class CSkinButton;
class CJpegImage;
class CPtzPanel;
class QPainter;
class ITimerHost;
class CStatusPanel;
class CTelvaneView;

// Everything the view takes from outside, so tests can replace it. Empty
// members get the program's defaults.
struct TelvaneViewEnvironment {
    // Timers 100 and 10; null = a Qt timer host owned by the view.
    ITimerHost *pTimerHost = nullptr;
    // Makes the protocol client of each configured recorder (recorder 1's first);
    // empty = a CNetClientWnd on real sockets.
    LiveClientFactory fnCreateClient;
    // The default beep; empty = QApplication::beep.
    std::function<void()> fnBeep;
    // Places the main window for full screen on / off (the program hands in its
    // frame's placement); empty = a plain move of the top-level window.
    std::function<void(bool)> fnPlaceWindow;
    // Opens the About box (the program hands in its About dialog); empty = none.
    std::function<void()> fnAbout;
    // Runs the System Setting dialog modally; empty = the program's dialog on the
    // view's settings record.
    std::function<void(CTelvaneView &)> fnSettingDialog;
    // Makes the archive window (the program hands in its CArchiveDlg); empty = none
    // (the Archive button does nothing).
    ArchiveFactory fnCreateArchive;
    // The desktop keyring the recorders' passwords are kept in (the program hands in
    // QtKeychain's); empty = none, and the passwords stay in the settings file as
    // with "Save Password" FILE.
    std::function<std::unique_ptr<IKeyring>()> fnCreateKeyring;
    // The masked prompt for recorder nRecorder's password at Connect: true with the
    // typed password, false on Cancel; empty = CPasswordDlg.
    std::function<bool(int nRecorder, QString &szPassword)> fnAskPassword;
    // Benchmarks of small tiles: the four channels of the four-channel layout in the
    // first cells of a 4 x 4 grid (160 x 120 cells) instead of 2 x 2.
    bool bSmallTiles = false;
};

class CTelvaneView : public QWidget, private IRecorderSetHost {
    Q_OBJECT
  public:
    static constexpr int kClockTimerId = 100;
    static constexpr int kPaintPeriodMs = CPictureCanvas::kPaintPeriodMs;
    // Pictures come in batches, one batch of reads at a time. A batch that finds the
    // last frame at least this old is painted at once, in the same wake-up as its
    // decode, so paints fall into step with the reads; closer arrivals wait for the
    // next frame.
    static constexpr int kPaintMinGapMs = CPictureCanvas::kPaintMinGapMs;
    static constexpr int kClockPeriodMs = 1000;
    static constexpr int kStaleTimerId = 12; // frozen-picture check
    static constexpr uint16_t kSingleMode = 0x0100;
    static constexpr uint16_t kQuadMode = 0x0401;
    static constexpr uint16_t kAlertOn = 0x0501;
    static constexpr uint16_t kAlertOff = 0x0500;

    using Environment = TelvaneViewEnvironment;

    explicit CTelvaneView(QWidget *parent = nullptr, Environment env = Environment());
    ~CTelvaneView() override;

    // Once, when the view is first shown (showEvent calls it too): creates the
    // client, loads the settings, full screen if set, layout, timer 100, quad mode.
    void OnInitialUpdate();

    // --- screen modes and pictures -------------------------------------------
    void SetScreenMode(uint16_t wMode);
    void DrawBmp(int nChannel);

    // --- buttons (also what tests press) -------------------------------------
    void OnConnect();
    void OnScreenModeButton(int nButton); // 0..6
    void OnChannelButton(int nButton);    // 0..15
    void OnSetting();
    void OnArchive();
    // The archive window's "Viewer": the main window and the live stream come back.
    void OnLeaveArchive();
    void OnExit();

    // --- full screen, circular monitoring, alert mode ------------------------
    void SetFullScreen(bool bOn);
    void ToggleRotation();
    void RotateNext();
    void SetEventReport(bool bOn);

    // The Disconnect button: every link ends, the pictures go.
    void OnLinkLost();

    // --- the alarm list (telvaneviewalarms.cpp) ------------------------------
    // Shows the alarm window beside the main window (the key, a click on the
    // status panel); it does not take the focus.
    void OpenAlarmList();
    // A double-click on row nRow of the alarm list: the archive of the row's
    // recorder plays the row's channel from the time the report came. True when
    // the request went out.
    bool PlayAlarm(int nRow);
    const CAlarmList &Alarms() const { return m_alarms; }
    CAlarmListDlg *AlarmWindow() const { return m_pAlarmDlg.get(); }

    // --- tiles placed by hand (telvaneviewplacing.cpp) ------------------------
    // In the layouts of 4 to 16 tiles a channel button dragged onto a tile puts its
    // channel there, and a tile dragged onto another swaps the two; the order is
    // kept per layout in the settings. A drag starts once the pointer moved the
    // system's drag distance or, from a button, left it; a channel button's drag
    // that ends off the tiles is the click it would have been.
    // The position of the tile under pt, -1 for none.
    int TileAt(const QPoint &pt) const;
    // The current layout shows order from now on.
    void PlaceByHand(const TilePlacement::Order &order);
    // The current layout goes back to its default order (the D key).
    void ResetPlacement();

    // --- what the recorder set reports ---------------------------------------
    const ClientSettings &Settings() const override { return m_settings; }
    uint8_t GetPtzSpeed() const override;
    void SetChannelPicture(GlobalChannel channel, const ChannelPicture &picture) override;
    void ShowLiveFrame(GlobalChannel channel) override;
    void ToggleReceiveLamp() override;
    // The window's connect state: 1 when any recorder's link is up, else 2 when any
    // is connecting, else 0. Drawn from the links, never stored.
    uint8_t GetConnectState() const;

    // --- state for the client, the archive and the tests ---------------------
    ClientSettings &SettingsRecord() { return m_settings; }
    // Recorder 1's client.
    ILiveClient *Client() const { return m_pRecorders ? m_pRecorders->Client(0) : nullptr; }
    const CRecorderSet *Recorders() const { return m_pRecorders.get(); }
    const CPasswordKeeper *Passwords() const { return m_pPasswords.get(); }
    // The recorder (0-based) of the selected channel, or of the quad last chosen.
    int SelectedRecorder() const { return m_nSelRecorder; }
    // The text a tile of the recorder shows instead of pictures, empty when none.
    QString RecorderTileText(int nRecorder) const;
    IArchiveWindow *Archive() const { return m_pArchive.get(); }
    CPtzPanel *PtzPanel() const { return m_pPtzPanel.get(); }
    CStatusPanel *StatusPanel() const { return m_pStatus.get(); }
    const QRect &TileArea(int nSlot) const { return m_plan.channelTile[std::size_t(nSlot & 15)]; }

    // For the statistics log: told of each live picture handed to its tile (slot
    // 0-15) and of each paint of the window, with the region painted.
    struct PaintProbe {
        std::function<void(int)> fnShown;
        std::function<void(const QRegion &)> fnPainted;
    };
    void SetPaintProbe(PaintProbe probe) { m_probe = std::move(probe); }
    CSkinButton *Button(viewlayout::ControlId id) const { return m_apButtons[id]; }
    uint16_t GetScreenMode() const { return m_wScreenMode; }
    bool IsSingleMode() const { return (m_wScreenMode >> 8) == 1; }
    int TileCount() const { return m_wScreenMode >> 8; }
    const screenplan::Plan &Plan() const { return m_plan; }
    bool IsChannelSeen(int nChannel) const;
    bool HasPicture(int nChannel) const;
    QRect Tile(int nChannel) const;
    bool IsRotating() const { return m_rotation.IsRunning(); }
    const CRotation &Rotation() const { return m_rotation; }
    QString StatusText() const;
    // The form without pictures, the panels' texts and the buttons.
    const QImage &BackingImage() const { return m_canvas.Backing(); }
    // The channel whose picture fills the tile at rcTile, -1 for none.
    int ShownChannel(const QRect &rcTile) const;
    bool DisplayChanged() const { return m_bDisplayChanged; }
    // Seconds on the channel's frozen-picture mark, -1 while it has none.
    int StaleMarkSeconds(int nChannel) const { return m_staleWatch.MarkSeconds(nChannel); }

    uint16_t m_wScreenMode = kQuadMode;
    uint16_t m_wPrevScreenMode = kQuadMode;
    uint16_t m_wRequestChannel = 0x0100; // low byte: the selected channel (global index)

  protected:
    bool event(QEvent *pEvent) override;
    bool eventFilter(QObject *pWatched, QEvent *pEvent) override; // the channel buttons' drags
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override; // telvaneviewzoom.cpp
    void keyPressEvent(QKeyEvent *pEvent) override; // viewkeys.cpp

  private:
    void CreateControls();
    void CreateButton(viewlayout::ControlId id);
    void OnCommand(viewlayout::ControlId id);
    void OnTimer(int nId);
    void OnClockTick();
    void StopRotation();
    // Sends what the screen asks of each recorder; bForce asks again for the live
    // pictures of every recorder with channels on screen.
    void SendLiveRequest(bool bForce = true);
    // --- the recorders' links (telvaneviewrecorders.cpp) -----------------------
    void OnRecorderChanged(int nRecorder) override;
    void OnRecorderEvent(int nRecorder, uint8_t byCode) override;
    void OnRecorderChannelCount(int nRecorder) override;
    void OnRecorderRemoved(int nRecorder) override;
    // The screen plan for the current mode and selection.
    screenplan::Plan MakePlan() const;
    // Carries out the screen plan of the current mode: buttons, tiles, drawn sizes,
    // the picture area and each recorder's request (bForceRequests: asked again).
    void ApplyPlan(bool bForceRequests);
    // Shows the selected recorder's link state in the status panel (and in the
    // archive window when it shows that recorder).
    void ShowSelectedStatus();
    void ShowRecorderStatus(int nRecorder, uint8_t byCode);
    // The recorder's name where there are others to tell it from, else empty.
    QString ShownName(int nRecorder) const;
    // Repaints the tiles of the recorder's channels (their texts).
    void UpdateRecorderTiles(int nRecorder);

    // Draws the no-link texts over the tiles of recorders without a link.
    void PaintRecorderMarks(QPainter &painter, const QRegion &region);
    // Forgets one recorder's pictures and seen channels; true when it had any.
    bool ClearRecorderPictures(int nRecorder);
    void SetButtonChecked(viewlayout::ControlId id, bool bChecked);
    void ClearPictures(bool bClearSeen);
    // Redraws the whole picture area of the backing image: background, then each
    // tile's picture or its frame; then schedules its repaint.
    void InvalidatePicture();
    // Notes the channel's picture as shown in its tile, framing a tile that showed
    // none. True when the frame was drawn (it then needs repainting too).
    bool DrawBmpInto(int nChannel);
    // The receive lamp reaches the screen with the pictures, once per display frame.
    void FlushLamp();
    void DrawLogo();
    // Marks tiles whose picture no longer changes while the live stream runs.
    void OnStaleCheck();
    void Beep();
    void PlaceMainWindow(bool bFullScreen);
    void DeleteEventFile();
    // --- passwords (telvaneviewpasswords.cpp) ---------------------------------
    // After the settings are loaded: the keeper starts reading the keyring.
    void StartPasswords();
    // Starts recorder r's link now that its password is known.
    void StartRecorder(int nRecorder);
    // Starts the recorder's link once its password is known (nRound: the Connect
    // that asked; a later Disconnect or Exit ends the wait).
    void StartWithPassword(int nRecorder, int nRound);
    bool AskPassword(int nRecorder, QString &szPassword);
    // The end of Exit, once the passwords are where they belong.
    void FinishExit(const std::array<QString, MAX_RECORDERS> &aStoredPasswords,
                    const QString &szMessage);
    // A tile's drag by the mouse on the view; true when the event was its.
    bool TileDragPress(QMouseEvent *event);
    bool TileDragMove(QMouseEvent *event);
    bool TileDragRelease(QMouseEvent *event);
    // The outline of the tile a moving drag would land on (a null point: none).
    void ShowDropTarget(const QPoint &ptGlobal);
    void PaintDropTarget(QPainter &painter, const QRegion &region);
    // Files recorder r's event report in the alarm list.
    void AddAlarm(int nRecorder);
    void OnAlarmWindowShown(bool bShown);

    Environment m_env;
    ClientSettings m_settings;
    std::unique_ptr<CRecorderSet> m_pRecorders;
    std::unique_ptr<CPasswordKeeper> m_pPasswords;
    int m_nConnectRound = 0; // a Connect's password waits end with a Disconnect or Exit
    bool m_bExiting = false; // Exit waits for the keyring
    int m_nSelRecorder = 0;
    std::unique_ptr<IArchiveWindow> m_pArchive;
    std::unique_ptr<ITimerHost> m_pOwnTimerHost;
    ITimerHost *m_pTimerHost = nullptr;
    std::unique_ptr<CStatusPanel> m_pStatus;
    std::unique_ptr<CPtzPanel> m_pPtzPanel;
    std::array<CSkinButton *, viewlayout::CTRL_COUNT> m_apButtons{};
    bool m_bInitialised = false;

    // Channels seen since the link came up, and the tile of each channel slot; the
    // pictures themselves (borrowed from the client's frame records) are the canvas's.
    std::array<bool, 16> m_abChannelSeen{};
    screenplan::Plan m_plan;
    bool m_bShownConnected = false; // the buttons show a link (Connect latched)
    PaintProbe m_probe;
    QRect m_rcPicture = viewlayout::kPictureRect;

    CPictureCanvas m_canvas;
    CStaleWatch m_staleWatch;
    QFont m_fontMark;
    QFont m_fontMarkSmall;    // in the single cells of the wide layouts: never cut
    QImage m_imgLogo;         // "./logo/slogo.bmp", null when absent
    bool m_bDibReady = false; // the drawing "handle": open between layout and Exit
    bool m_bLampPending = false;

    CRotation m_rotation;
    bool m_bDisplayChanged = false;
    bool m_bReceiveLampOn = false;

    // --- the tiles' digital zoom (telvaneviewzoom.cpp) --------------------------
    // The tile of the plan under pt, empty for none.
    QRect TileRectAt(const QPoint &pt) const;
    // Tells the channel's client the size its tile draws at: the tile's, times its
    // zoom, so a zoomed tile gets the whole picture decoded.
    void SendDrawnSize(int nChannel);

    // The wheel and a zoomed tile's pan come before the window's own mouse handling.
    CTileZoomMouse m_zoomMouse;

    // Window dragging by the form (when not in full screen).
    bool m_bDragging = false;
    QPoint m_ptDragOffset;

    // A drag by hand on its way to a tile: a tile's (nFromPos) or a channel button's
    // (nButton); bMoving once it moved far enough to be a drag.
    struct HandDrag {
        int nFromPos = -1;
        int nButton = -1;
        QPoint ptStart; // global
        bool bMoving = false;
    };
    HandDrag m_handDrag;
    int m_nDropPos = -1; // the tile a moving drag would land on, outlined

    // Every recorder's event reports since start-up, and the window that shows them
    // (made when first opened; it goes first, since it shows the list).
    CAlarmList m_alarms;
    std::unique_ptr<CAlarmListDlg> m_pAlarmDlg;
};
