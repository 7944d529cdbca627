#pragma once

// CSkinButton: a clickable skin image with four display states that reports clicks and
// press/release changes to its parent as custom events, in the order the owners rely on.
//
// Theory of operation
//   A latching button (SKIN_LATCHING) flips between released and latched on every click;
//   a momentary button (SKIN_MOMENTARY) is down while the left mouse button is held.
//   Display states: 0 released/up, 1 pressed while latched/down, 2 latched,
//   3 pressed while released. A state without a bitmap id is never shown.
//
//   Messages to the notify target (the parent widget unless SetNotifyTarget says otherwise):
//     WM_SKIN_PRESS      posted  (button id, 1 pressed / 0 released)   momentary only
//     WM_SKIN_PRESS_SYNC sent    (button id, 1 / 0), right after the WM_SKIN_PRESS of the
//                                same mouse press or release; the handler runs before the
//                                button goes on
//     WM_SKIN_IDLE_UP    posted  (0, 0)  a release or leave arrives while no press is pending
//     WM_SKIN_COMMAND    posted  (control id, 0 = click)  a press ended by release or leave;
//                                ReleasedOver() tells the two apart for owners that use a
//                                skin button as a plain push button (a push button fires
//                                only when released over it)
//   Posted events are queued in posting order, so the target sees them in the order the
//   button produced them. After WM_SKIN_COMMAND the button also emits clicked(control id)
//   through the same queue. What skin buttons posted is handled before any later input
//   to a skin button (Qt would deliver it after input already waiting): a quick tap's
//   press then never runs after its release, nor an idle up after the next press.
//
//   The mouse is treated as not captured: once a press is pending, the pointer leaving the
//   button completes the click as if released over it, and the later release only
//   reports WM_SKIN_IDLE_UP. Qt delivers moves and the release to the pressed widget even
//   outside it, so leaving is recognised from those as well as from the leave event.

#include <QEvent>
#include <QPixmap>
#include <QPointer>
#include <QWidget>

class CSkinButton;

// Event types carry the message values themselves (all inside Qt's user event range).
inline constexpr QEvent::Type WM_SKIN_PRESS = static_cast<QEvent::Type>(0x04C8);   // WM_USER + 200
inline constexpr QEvent::Type WM_SKIN_IDLE_UP = static_cast<QEvent::Type>(0x04CA); // WM_USER + 202
inline constexpr QEvent::Type WM_SKIN_PRESS_SYNC =
    static_cast<QEvent::Type>(0x052C); // WM_USER + 300
// The click notification (a command with the "clicked" code); QEvent::User + 0x0111.
inline constexpr QEvent::Type WM_SKIN_COMMAND = static_cast<QEvent::Type>(0x04F9);

// One message from a skin button. For WM_SKIN_PRESS(_SYNC): WParam() = button id,
// LParam() = 1 pressed / 0 released. For WM_SKIN_IDLE_UP both are 0. For WM_SKIN_COMMAND:
// WParam() = control id, LParam() = 0 (click). Source() is the button (null if it is gone).
class CSkinEvent : public QEvent {
  public:
    CSkinEvent(QEvent::Type type, int nWParam, int nLParam, CSkinButton *pSource,
               bool bReleasedOver = false);

    int WParam() const { return m_nWParam; }
    int LParam() const { return m_nLParam; }
    int ButtonId() const { return m_nWParam; }
    bool Pressed() const { return m_nLParam != 0; }
    CSkinButton *Source() const;
    // WM_SKIN_COMMAND: the press ended with the mouse button released over the button,
    // not with the pointer leaving it.
    bool ReleasedOver() const { return m_bReleasedOver; }

  private:
    int m_nWParam;
    int m_nLParam;
    bool m_bReleasedOver;
    QPointer<CSkinButton> m_pSource;
};

class CSkinButton : public QWidget {
    Q_OBJECT

  public:
    enum { SKIN_LATCHING = 0, SKIN_MOMENTARY = 1 };

    explicit CSkinButton(QWidget *pParent = nullptr, int nControlId = 0);
    ~CSkinButton() override;

    // Stores the ids, button id and mode, loads the artwork of every non-zero id, then asks
    // for display state 0.
    void LoadStateBitmaps(int nId0, int nId1, int nId2, int nId3, int nButtonId, int nMode);

    void SetChecked(int bOn);
    int GetChecked() const { return m_bChecked; }
    void CancelPress();
    // A keyboard click: press and release over the button, with the messages a mouse
    // click gives. Nothing while the button is disabled or a mouse press is pending.
    void Click();

    // Where the messages go; null = the parent widget.
    void SetNotifyTarget(QObject *pTarget) { m_pNotifyTarget = pTarget; }
    QObject *NotifyTarget() const;

    void SetControlId(int nControlId) { m_nControlId = nControlId; }
    int GetControlId() const { return m_nControlId; }
    int GetButtonId() const { return m_nButtonId; }
    int GetMode() const { return m_nMode; }
    int GetBitmapId(int nState) const;
    int GetDisplayState() const { return m_nDisplayState; } // -1 until bitmaps are loaded
    int IsPressPending() const { return m_bPressed; }

    QSize sizeHint() const override;

  signals:
    // Queued behind WM_SKIN_COMMAND: for owners that prefer a signal to the event.
    void clicked(int nControlId);

  protected:
    void paintEvent(QPaintEvent *pEvent) override;
    void mousePressEvent(QMouseEvent *pEvent) override;
    void mouseMoveEvent(QMouseEvent *pEvent) override;
    void mouseReleaseEvent(QMouseEvent *pEvent) override;
    void leaveEvent(QEvent *pEvent) override;
    void changeEvent(QEvent *pEvent) override;
    void customEvent(QEvent *pEvent) override;
    void resizeEvent(QResizeEvent *pEvent) override;

  private:
    void ShowState(int nState);
    // Marks the button opaque when every state image covers it without
    // transparency, so Qt need not repaint the form beneath it each time it changes.
    void UpdateOpaque();
    void OnLeftButtonDown();
    void OnLeftButtonUpOrLeave(bool bReleasedOver);
    void PostToTarget(QEvent::Type type, int nWParam, int nLParam, bool bReleasedOver = false);
    bool DeliverEarlierMessages();
    bool SendToTarget(QEvent::Type type, int nWParam, int nLParam);

    int m_aBitmapId[4] = {0, 0, 0, 0};
    QPixmap m_aBitmap[4];
    int m_nControlId = 0;
    int m_nButtonId = 0;
    int m_nMode = SKIN_LATCHING;
    int m_bChecked = 0;
    int m_bPressed = 0;
    int m_nDisplayState = -1;
    int m_bTracking = 0;
    QPointer<QObject> m_pNotifyTarget;
};
