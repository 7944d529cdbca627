#pragma once
// The pan/tilt/zoom pad of the main view.
//
// Theory of operation. The pad is a set of momentary skin buttons placed on the
// view; each button's id is its action index. A press and a release each become one
// SendPtz request of the protocol client (nothing repeats while a button is held).
// After every release the view's timer 10 runs a "stop repeat": every 70 ms the
// stop request of action 0 goes out again, five times in all (70 ... 350 ms), so a
// camera that missed the release still stops. A new press cancels the repeat.
// Speed up (13) and speed down (14) step m_byPtzSpeed through 1..4 with wrap-around.
//
//   idle --press--> held (press sent) --release--> repeating (5 x 70 ms) --> idle
//
// The panel is not a widget: the buttons are children of the view, and the view
// forwards the skin-button messages, the ticks of timer 10 and its paint to the panel. Everything
// the panel needs from the view and the client comes through CPtzPanel::Host, so
// the panel is driven in tests by plain functions and a manual clock.

#include <QFont>
#include <QRect>

#include <array>
#include <cstdint>
#include <functional>

class QPainter;
class QWidget;
class CSkinButton;
class ITimerHost;

// One row of the pad's layout table.
struct PtzButtonPlace {
    int nIndex;       // action index, also the button id of its press messages
    int x, y, w, h;   // view coordinates
    unsigned nNormal; // skin bitmap id, button up
    unsigned nHeld;   // skin bitmap id, button held
    bool bHidden;     // the diagonals exist but are not shown
};

namespace ptzlayout {
// The pad and speed buttons, row for row as the form lists them.
const std::array<PtzButtonPlace, 14> &Buttons();
// The two-digit speed display (right and bottom exclusive).
constexpr QRect kSpeedRect(790, 500, 21, 12);
} // namespace ptzlayout

class CPtzPanel {
  public:
    enum : int {
        PTZ_LAST_ACTION = 11, // indices 0..11 are camera actions
        PTZ_SPEED_UP = 13,
        PTZ_SPEED_DOWN = 14,
    };
    static constexpr int kStopRepeatTimerId = 10;
    static constexpr int kStopRepeatPeriodMs = 70;
    static constexpr uint8_t kStopRepeatCount = 5;

    // What the panel uses of its view and of the protocol client.
    struct Host {
        // The client's SendPtz (PTZ type, speed, action index, pressed 1 / released 0).
        // Empty when the view has no protocol client.
        std::function<void(uint8_t, uint8_t, int, int)> fnSendPtz;
        // The selected recorder's link is up (connect state 1).
        std::function<bool()> fnIsConnected;
        // Circular monitoring is running.
        std::function<bool()> fnIsRotating;
        // m_byPtzType of the settings.
        std::function<uint8_t()> fnPtzType;
        // The view's timer host (timer 10 lives there beside the view's timer 100).
        // The view's tick handler passes ticks of kStopRepeatTimerId to OnTimer().
        ITimerHost *pTimerHost = nullptr;
        // Repaint a rectangle of the view (QWidget::update).
        std::function<void(const QRect &)> fnUpdate;
    };

    explicit CPtzPanel(Host host);
    ~CPtzPanel();
    CPtzPanel(const CPtzPanel &) = delete;
    CPtzPanel &operator=(const CPtzPanel &) = delete;

    // Creates the pad and speed buttons as children of the view, places them and
    // loads their bitmaps. The view delivers their messages to the handlers below.
    void CreateButtons(QWidget *pView);

    // WM_SKIN_PRESS (index, pressed).
    void OnSkinPress(int nIndex, int nPressed);
    // WM_SKIN_PRESS_SYNC (index, pressed): a release starts the stop repeat.
    void OnSkinPressSync(int nIndex, int nPressed);
    // WM_SKIN_IDLE_UP: releases any pad button still held.
    void OnSkinIdleUp();
    // Timer 10.
    void OnTimer();
    // After the System Setting dialog closed, whatever closed it.
    void OnSettingsClosed();

    // Asks the view to repaint the speed display.
    void DrawPtzSpeed();
    // Paints the speed display; the view calls it from its paintEvent.
    void paint(QPainter &painter) const;

    uint8_t GetPtzSpeed() const { return m_byPtzSpeed; }
    uint8_t GetStopRepeat() const { return m_byPtzStopRepeat; }
    bool IsStopRepeatRunning() const { return m_bStopRepeatRunning; }
    // The button of an action index, or null (not created, or no such index).
    CSkinButton *GetButton(int nIndex) const;

  private:
    void StartStopRepeat();
    void StopStopRepeat();
    bool CanSend() const;

    Host m_host;
    QFont m_fontSmall;
    uint8_t m_byPtzSpeed = 1;
    uint8_t m_byPtzStopRepeat = 0;
    bool m_bStopRepeatRunning = false;
    std::array<CSkinButton *, 15> m_apButtons{}; // by action index; owned by the view
};
