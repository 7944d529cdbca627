#pragma once
// CPlaybackControl: everything the archive window decides without drawing: the
// channel and layout, the play state, the wanted start (the calendar's date and the
// slider's time), the recorder's recording range, the words of each playback
// request, the jump buttons and the times shown while pictures play.
//
// Theory of operation. The play state m_wPlayState moves as follows (low byte
// 1 = playing, high byte 1 = reverse):
//   Stopped 0x0000 --play / fast forward, date valid--> Forwards 0x0001, request with
//       play state 1, "SEARCHING"
//   Stopped --reverse / fast reverse, date valid--> Reverse 0x0101, the same
//   Forwards / Reverse --any play button, date valid--> as pressed, play state 2
//   Forwards / Reverse --play button, date invalid--> control word 0 sent,
//       "## Invalid Date ##", Stopped (from Stopped: only the text)
//   any --stop--> control word 0 sent unarmed, skip counter 1, Stopped
//   Forwards / Reverse --end status from the recorder--> its text, reply timer
//       off, Stopped (nothing sent)
//   any --link given up--> Stopped (nothing sent), a play from event dropped
//   any --play from event--> if playing: stop, then a 1000 ms pause; then a
//       request forwards at speed 1 --> Forwards
//   any --leave for live--> stop, then a 500 ms pause; then inactive and the
//       display's SwitchToLive
//   Forwards / Reverse --channel or layout change while active--> the last request
//       again, with the new channel
// The pauses are one-shot timers on the control's own timer host, never a sleep;
// received data is held back meanwhile, so it is handled after the request that
// ends the pause, as it was behind a blocking pause. A play button, a stop, another
// play from event or leaving cancels a pause still running.
//
// Dates: a request is only sent for a day that exists, inside the recording range
// (CheckRequestDate) and with a year its words can carry (RequestCarries). Picture
// times that name no real day are ignored. Hour arithmetic of the jump buttons is
// calendar arithmetic (29 February exists in leap years).
//
// What the window calls, and when:
//   - construction: the client (may be null; SetClient later), the window as
//     IPlaybackDisplay, and a timer host of the control's own (its handler is set
//     here). Then SetRequestSpeed with the settings' m_byRequestSpeed (3 without a
//     view), again whenever the settings change.
//   - EnterArchive after the view has shown the window (the window forgets its
//     picture slots itself); SetActive(false) when the view takes over again.
//   - OnImagePlay(0..4) for the five play buttons. For stop (2) the window stops a
//     recording first and answers -1 itself while an AVI segment is written.
//   - OnRecordButton after the window's recorder has taken the record button.
//   - OnJump for "begin", "oback", "oplay", "end".
//   - OnChannelButton(0..15), OnSingleButton, OnQuadButton; beep on CHANNEL_BEEP.
//   - OnDatePicked when the operator picks a day; OnSliderMoved(seconds of the day)
//     when the operator moves the slider (not for moves made by ShowPlayTime).
//   - PlayFromEvent from the Event dialog's double-click (only for playable rows).
//   - LeaveForLive for "Viewer", after the window has refused it while saving and
//     has stopped a recording.
//   - From the receive path (IArchiveView): SetTimeRange, SetPictureTime (both
//     forms), ShowEndStatus, and the notice counters; IsActive, GetPlayState and
//     GetSelectedChannel answer with IsActive, PlayState and Channel.
//   - CancelPending before the client goes away.
// Texts for ShowLinkStatus come from LinkStatusText; the window handles the
// recording side of code 6 itself.

#include "archive/playbackports.h"
#include "protocol/packet.h"
#include "protocol/timecodec.h"
#include "protocol/timerhost.h"

#include <QString>

#include <cstdint>

class CPlaybackControl {
  public:
    // Timer ids on the control's host (31 is the window's recording timer).
    static constexpr int TIMER_EVENT_PAUSE = 32;
    static constexpr int TIMER_LIVE_PAUSE = 33;
    static constexpr int EVENT_PAUSE_MS = 1000;
    static constexpr int LIVE_PAUSE_MS = 500;

    // Play buttons, left to right.
    enum PlayButton { PLAY_FAST_REVERSE = 0, PLAY_REVERSE, PLAY_STOP, PLAY_FORWARD, PLAY_FAST };
    enum JumpButton { JUMP_BEGIN, JUMP_HOUR_BACK, JUMP_HOUR_FORWARD, JUMP_END };
    enum ChannelAction { CHANNEL_SELECTED, CHANNEL_UNCHANGED, CHANNEL_BEEP };

    static constexpr uint8_t QUAD = 255; // m_byChannel for four channels
    static constexpr uint8_t DEFAULT_SPEED = 3;
    // Years the request words carry for version codes 2 and 3 (the recorder's range).
    static constexpr int REQUEST_YEAR_MIN = 1995;
    static constexpr int REQUEST_YEAR_MAX = 2095;

    static const QString NOTICE_CLEAR;     // 9 spaces
    static const QString NOTICE_SEARCHING; // "SEARCHING"

    CPlaybackControl(IPlaybackClient *pClient, IPlaybackDisplay &display, ITimerHost &timers);
    CPlaybackControl(const CPlaybackControl &) = delete;
    CPlaybackControl &operator=(const CPlaybackControl &) = delete;

    void SetClient(IPlaybackClient *pClient) { m_pClient = pClient; }
    void SetRequestSpeed(uint8_t bySpeed) { m_byRequestSpeed = bySpeed; }

    // ---- the window's controls ----
    void EnterArchive();
    void SetActive(bool bActive) { m_bActive = bActive; }
    void OnImagePlay(int nIndex);
    // After the window's recorder has taken the record button.
    void OnRecordButton();
    void OnJump(JumpButton button);
    ChannelAction OnChannelButton(int nButton);
    void OnSingleButton();
    void OnQuadButton();
    void OnDatePicked(const DvrDateTime &date);
    void OnSliderMoved(int nSeconds);
    // Channel index 0..3 and a packed time of the event list. False (nothing sent,
    // nothing changed) for a channel outside 0..3; a time that names no real day
    // stops playback and shows "## Invalid Date ##".
    bool PlayFromEvent(PackedTime packed, int nChannel);
    void LeaveForLive();
    void CancelPending();

    // ---- from the receive path ----
    void SetTimeRange(uint32_t a, uint32_t b, uint32_t c, uint32_t d);
    void SetPictureTime(uint32_t dwSeconds);
    // False when the words name no real day (nothing changes then).
    bool SetPictureTime(uint32_t dwWord0, uint32_t dwWord1);
    void ShowEndStatus(uint8_t byCode);
    // The link is given up (attempts used up, login refused): playback stops
    // without a request (there is no link to send it on) and the buttons show it.
    void OnLinkLost();
    bool IsShowingNotice() const { return m_bShowingNotice; }
    void SetShowingNotice(bool bShowing) { m_bShowingNotice = bShowing; }
    int GetNoticePictures() const { return m_nNoticePictures; }
    void SetNoticePictures(int nCount) { m_nNoticePictures = nCount; }

    // ---- state ----
    bool IsActive() const { return m_bActive; }
    uint16_t PlayState() const { return m_wPlayState; }
    bool IsPlaying() const { return (m_wPlayState & 0xFF) == 1; }
    int Direction() const { return m_nDirection; } // 0 stop, 1 forwards, 2 reverse
    uint8_t Channel() const { return m_byChannel; }
    bool IsQuad() const { return m_byChannel == QUAD; }
    uint32_t PlayControlWord() const { return m_words[3]; }
    const PayloadWords &LastRequest() const { return m_words; }
    const DvrDateTime &Start() const { return m_dtStart; }
    const DvrDateTime &End() const { return m_dtEnd; }
    bool EndFromRecorder() const { return m_bEndFromRecorder; }
    const DvrDateTime &Request() const { return m_dtRequest; }
    const DvrDateTime &PickerDate() const { return m_dtPicker; }
    uint32_t PlayTime() const { return m_uPlayTime; } // TimeWord of the slider
    const DvrDateTime &PictureTime() const { return m_tmPicture; }
    bool IsPausePending() const;

    // ---- rules ----
    // Valid when start date < request date <= end date, or request date = start
    // date <= end date and the play is forwards or the request's time of day is
    // later than the start's. The request's time is never compared with the end.
    static bool CheckRequestDate(const DvrDateTime &start, const DvrDateTime &end,
                                 const DvrDateTime &request, bool bForwards);
    // The request names a real day and its words can carry it: calendar seconds of
    // the request and of the end (version code 1), a year of 1995..2095 (2 and 3).
    static bool RequestCarries(const DvrDateTime &request, const DvrDateTime &end,
                               uint8_t nVersionCode);
    // "oback": the date at (hour - 1):00:00, from hour 0 the previous day 23:00:00.
    // "oplay": the date at (hour + 1):00:00, from hour 23 the next day 00:00:00.
    static DvrDateTime HourBack(const DvrDateTime &date, uint32_t uPlayTime);
    static DvrDateTime HourForward(const DvrDateTime &date, uint32_t uPlayTime);
    // PlayControlWord of play button 0, 1, 3 or 4.
    static uint32_t MakeControlWord(int nIndex, bool bPlaying, uint8_t byRequestSpeed);
    // Words 1 and 2: version code 1 request and end in calendar seconds; codes 2
    // and 3 the request's DateWord and uPlayTime.
    static void RequestTimeWords(uint8_t nVersionCode, const DvrDateTime &request,
                                 const DvrDateTime &end, uint32_t uPlayTime, uint32_t &dwWord1,
                                 uint32_t &dwWord2);
    static QString EndStatusText(uint8_t byCode);
    // Text of the status box for a link status code (1..7), the client's retry count
    // and its last alert word.
    static QString LinkStatusText(uint8_t byCode, uint8_t byRetryCount, uint32_t dwAlertWord);

  private:
    uint8_t VersionCode() const;
    void Send(uint32_t dwControl, bool bArm);
    void SendStop(); // notice cleared, control word 0 unarmed, stop button, state 0
    void Stop();
    void ApplyLayout(uint8_t byChannel);
    void StartPause(int nId, int nMs);
    void OnTimer(int nId);
    void PlayEvent();
    void ShowDateTime(const DvrDateTime &dt); // picker, m_tmPicture, slider
    void SetPicker(const DvrDateTime &date);
    void MoveSlider(uint32_t uTime);

    IPlaybackClient *m_pClient;
    IPlaybackDisplay &m_display;
    ITimerHost &m_timers;
    uint8_t m_byRequestSpeed = DEFAULT_SPEED;

    bool m_bActive = false;
    uint16_t m_wPlayState = 0;
    int m_nDirection = 0;
    uint8_t m_byChannel = QUAD;
    DvrDateTime m_dtStart, m_dtEnd, m_dtRequest, m_dtPicker;
    bool m_bEndFromRecorder = false;
    uint32_t m_uPlayTime = 0;
    DvrDateTime m_tmPicture{0, 0, 0, 0, 0, 0};
    bool m_bShowingNotice = false;
    int m_nNoticePictures = 0;
    PayloadWords m_words{}; // the last playback request
    // The event waiting for the end of its pause.
    PackedTime m_pendingEvent = 0;
    uint8_t m_byPendingChannel = 0;
};
