#pragma once
// CArchiveDlg: the archive window. A borderless 951 x 684 top-level window that
// replaces the main window while the archive is in use: the operator picks a day on
// the calendar and a time on the slider and plays one channel or four, forwards, in
// reverse or fast, jumps, records, saves and prints the picture, lists the
// recorder's events, and goes back to live with "Viewer".
//
// Theory of operation. The window decides nothing about playback itself: its
// buttons, calendar and slider go to CPlaybackControl (src/archive), which sends the
// requests through the protocol client and tells the window what to show
// (IPlaybackDisplay). The client's receive path reaches the window as IArchiveView:
// the time range, each picture's time, each picture (filed in the window's picture
// canvas and drawn into its cell), the end of playback. Recording is CRecorder's
// (src/media): the window hands it each picture it draws. Pictures are drawn by the
// shared picture canvas, cropped by ArchiveCropRect; the texts (time range, slider
// time, notices) are drawn into the canvas's backing image, the picture time stamp
// over the pictures when the window paints.
//
// The main view makes the window hidden at its first show and keeps it for its life
// (IArchiveWindow); Activate shows it, "Viewer" hides it and hands back to the view.
// Everything runs on the user-interface thread.

#include "archive/playbackcontrol.h"
#include "archive/playbackports.h"
#include "media/recorder.h"
#include "protocol/clientviews.h"
#include "settings/clientsettings.h"
#include "ui/archive/archivelayout.h"
#include "ui/live/archivewindow.h"
#include "ui/picture/picturecanvas.h"
#include "ui/picture/stalewatch.h"

#include <QFont>
#include <QImage>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <array>
#include <functional>
#include <memory>

class CCalendarCtrl;
class CEventDlg;
class CSkinButton;
class CSkinSlider;
class CNetClientWnd;
class ITimerHost;

// What the window takes from outside, so tests can replace it.
struct ArchiveEnvironment {
    ArchiveHost host;
    // The client's playback side; null = made from host.pClient's CNetClientWnd.
    IPlaybackClient *pPlaybackClient = nullptr;
    // Timers of the playback control (32, 33) and of the window (WindowTimers: the
    // recording's 31, the notice's 34, the frozen-picture check's 35); null = Qt
    // timer hosts owned by the window.
    ITimerHost *pControlTimers = nullptr;
    ITimerHost *pRecordTimers = nullptr;
    // The Event button: runs the Event dialog; empty = the program's.
    std::function<void()> fnEventDialog;
    // The print button: prints the picture area; empty = the program's.
    std::function<void(const QImage &area)> fnPrint;
    // The system beep; empty = QApplication::beep.
    std::function<void()> fnBeep;
};

class CArchiveDlg : public QWidget,
                    public IArchiveWindow,
                    public IArchiveView,
                    private IPlaybackDisplay,
                    private IRecordView {
    Q_OBJECT
  public:
    static constexpr int kControlIdBase = 2000;
    static constexpr int kTimerNoticeClear = 34; // 100 ms after a snapshot notice
    static constexpr int kTimerStaleCheck = 35;  // frozen-picture marks, while shown

    explicit CArchiveDlg(ArchiveEnvironment env);
    ~CArchiveDlg() override;

    // --- IArchiveWindow (the main view) ---------------------------------------
    void Activate(bool bFullScreen) override;
    void EnterArchive() override;
    bool IsActive() const override { return m_control.IsActive(); }
    void ShowLinkStatus(uint8_t byCode, uint8_t byRetryCount, uint32_t dwAlertWord) override;
    void Shutdown() override;
    RecordCounts GetRecordCounts() const override;
    IArchiveView *ArchiveView() override { return this; }
    void AttachLink(const ArchiveLink &link) override;
    void ForgetPictures() override;
    int RecorderIndex() const { return m_nRecorder; }

    // --- IArchiveView (the receive path) --------------------------------------
    uint16_t GetPlayState() const override { return m_control.PlayState(); }
    uint8_t GetSelectedChannel() const override { return m_control.Channel(); }
    void SetTimeRange(uint32_t a, uint32_t b, uint32_t c, uint32_t d) override
    {
        m_control.SetTimeRange(a, b, c, d);
    }
    void RedrawTimeBlock() override { DrawTimeRange(); }
    void SetPictureTime(uint32_t dwSeconds) override { m_control.SetPictureTime(dwSeconds); }
    void SetPictureTime(uint32_t dwWord0, uint32_t dwWord1) override
    {
        m_control.SetPictureTime(dwWord0, dwWord1);
    }
    void ShowEndStatus(uint8_t byCode) override { m_control.ShowEndStatus(byCode); }
    void OnEventListReady() override;
    void SetChannelPicture(int nIndex, const ChannelPicture &picture) override;
    void DrawChannel(int nIndex) override;
    void ToggleReceiveLamp() override;
    bool IsShowingNotice() const override { return m_control.IsShowingNotice(); }
    void SetShowingNotice(bool bShowing) override { m_control.SetShowingNotice(bShowing); }
    int GetNoticePictures() const override { return m_control.GetNoticePictures(); }
    void SetNoticePictures(int nCount) override { m_control.SetNoticePictures(nCount); }
    void ShowNotice(const QString &text) override;

    // --- the window's own controls (also what tests press) ---------------------
    void OnCommand(archivelayout::ControlId id);
    void OnViewer();
    void OnSave();
    void OnPrint();
    void OnEvent();
    // From the Event dialog and the alarm list: plays the channel index from the
    // packed time.
    bool PlayFromEvent(PackedTime packed, int nChannel) override
    {
        return m_control.PlayFromEvent(packed, nChannel);
    }

    // --- state for tests ------------------------------------------------------
    CPlaybackControl &Control() { return m_control; }
    CRecorder &Recorder() { return m_recorder; }
    CSkinButton *Button(archivelayout::ControlId id) const { return m_apButtons[id]; }
    CCalendarCtrl *Calendar() const { return m_pCalendar; }
    CSkinSlider *Slider() const { return m_pSlider; }
    QRect Cell(int nChannel) const;
    int ShownChannel(const QRect &rcCell) const { return m_canvas.ShownSlot(rcCell); }
    const QImage &BackingImage() const { return m_canvas.Backing(); }
    QString NoticeText() const { return m_szNotice; }
    QString StampText() const { return m_bStampShown ? m_szStamp : QString(); }
    // Seconds on the channel's frozen-picture mark, -1 while it has none.
    int StaleMarkSeconds(int nChannel) const { return m_staleWatch.MarkSeconds(nChannel); }
    // The picture area as shown (pictures, frames and stamp), 640 x 480.
    QImage GrabPictureArea() override;
    const QImage &CapturePictureArea(bool bWhole) override;
    void ReleaseCapture() override { m_canvas.ReleaseCapture(); }
    // "%04d-%02d-%02d %02d-%02d-%02d" of the last picture's time.
    QString PictureTimeText() const override;
    QString RecordNamePrefix() const override;

  protected:
    bool event(QEvent *pEvent) override;
    void paintEvent(QPaintEvent *pEvent) override;
    void mousePressEvent(QMouseEvent *pEvent) override;
    void mouseMoveEvent(QMouseEvent *pEvent) override;
    void mouseReleaseEvent(QMouseEvent *pEvent) override;
    void wheelEvent(QWheelEvent *pEvent) override;
    void closeEvent(QCloseEvent *pEvent) override;
    // The keys (archivekeys.cpp).
    void keyPressEvent(QKeyEvent *pEvent) override;
    bool eventFilter(QObject *pWatched, QEvent *pEvent) override;

  private:
    // IPlaybackDisplay
    void ShowPlayButtons(int nDown) override;
    void ShowPickerDate(const DvrDateTime &date) override;
    void ShowPlayTime(uint32_t uPlayTime) override;
    void ShowLayout(uint8_t byChannel) override;
    void SwitchToLive() override;
    // IRecordView
    uint16_t PlayState() const override { return m_control.PlayState(); }
    void ShowRecordMessage(const QString &szText) override;
    void SetRecordButtonDown(bool bDown) override;

    void CreateControls();
    void OnPlayButton(int nIndex);
    void OnRecordButton();
    void OnChannelButton(int nButton);
    void OnSliderAction();
    void OnTimer(int nId);
    void SetChecked(archivelayout::ControlId id, bool bDown);
    void Beep();
    void PlaceWindow(bool bFullScreen);
    // Drawing into the backing image (archivedraw.cpp).
    void DrawBackground();
    void DrawTimeRange();
    void DrawPlayTime();
    void DrawNoticeText(const QString &text, const QRect &rcBox, bool bCentred);
    bool StampDue(); // the picture time stamp rule
    QRect StampRect() const;
    void PaintOverlay(QPainter &painter, const QRegion &region);
    // The timer host of the window's own timers (31, 34, 35).
    ITimerHost &WindowTimers();
    void OnStaleCheck(); // frozen-picture marks

    ArchiveEnvironment m_env;
    ClientSettings m_ownSettings; // when the view gives none
    ClientSettings &m_settings;
    std::unique_ptr<ITimerHost> m_pOwnControlTimers;
    std::unique_ptr<ITimerHost> m_pOwnRecordTimers;
    int m_nRecorder = 0;                   // whose archive is shown (0-based)
    CPictureCanvas m_canvas;
    CStaleWatch m_staleWatch;
    bool m_bStreamExpected = false; // at the last check
    CPlaybackControl m_control;
    CRecorder m_recorder;
    std::array<CSkinButton *, archivelayout::CTRL_COUNT> m_apButtons{};
    CCalendarCtrl *m_pCalendar = nullptr;
    CSkinSlider *m_pSlider = nullptr;
    std::array<QRect, 4> m_arcCell{};
    QImage m_imgLogo;
    QFont m_fontSmall;
    QFont m_fontLarge;
    QString m_szNotice;
    bool m_bReceiveLampOn = false;
    bool m_bLampPending = false;
    // The picture time stamp: the text, whether it stands, the previous picture's time.
    QString m_szStamp;
    bool m_bStampShown = false;
    DvrDateTime m_tmPrevPicture;
    QPointer<CEventDlg> m_pEventDlg; // while the Event dialog is open
    // The cells' digital zoom comes before the window's own mouse handling.
    CTileZoomMouse m_zoomMouse;
    QRect CellAt(const QPoint &pt) const; // empty for none
    bool m_bDragging = false;
    QPoint m_ptDragOffset;
    bool m_bShuttingDown = false;
};

// The program's archive window for the main view.
std::unique_ptr<IArchiveWindow> CreateArchiveWindow(const ArchiveHost &host);
