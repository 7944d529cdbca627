#pragma once
// CNetClientWnd: the workstation's single link to the recorder.
//
// Theory of operation. The client lives on the user-interface thread. It owns the
// socket (made fresh by the socket factory for every connect attempt), the timers on
// its timer host and the receive path. The link is one LinkState (the view's
// m_byConnectState in brackets); the named transitions below are the only places
// that change it:
//
//   Idle (0) --Connect--> Connecting (2) --connect OK--> LoggingIn (1) --login--> Online (1)
//    ^   ^                    |                                  |                    |
//    |   +--connect failed----+     (also a refused login, and   +---------+----------+
//    |      (view's OnLinkLost)      Disconnect(true) anywhere)            |
//    |                                                       LoseLink: the reply timer's
//    |                                                       give-up, a closed link, a
//    |                                                       renewal (socket closed)
//    |                                                                     v
//    +--GiveUpLink: attempts used up, view's OnLinkLost------------- RetryWait <-------+
//                                                                          |           |
//                                              timer 104: StartNextAttempt |           |
//                                                                          v           |
//        (connect failed: status 5; timer 104 drops it) ---- RetryConnecting (2)       |
//                                              connect OK, timer 104 stops |           |
//                                                                          v           |
//                                  RetryLoggingIn (1) --reply timer's give-up, closed--+
//                                         |                 (ContinueRebuild)
//                                         +--login accepted: EndRebuildOnLogin--> Online
//
// RetryWait, RetryConnecting and RetryLoggingIn are the rebuild of a lost link: it
// lasts from LoseLink until the next login is accepted. LoseLink closes the socket at
// once, so while the link is rebuilt no socket counts as up: nothing is sent but the
// attempt's login (the archive's play, stop and channel requests, the view's live
// requests and the keep-alive are dropped), the reply timer is never armed by them,
// and nothing outside the client ends the attempts. What the windows chose meanwhile
// is asked for after the login: the first request follows the archive's play state
// as it is then (live, the last play request, or a stop).
// A rebuild makes an attempt every 5 s (2 s for a renewal), up to the settings'
// m_byReconnectCount attempts, then the view's OnLinkLost. With RECONNECT_ALWAYS it
// never gives up: an attempt every 5 s for the first minute after the loss, then
// every 30 s, so a recorder that restarts comes back by itself. The attempts are counted
// from LoseLink to the next accepted login (a recorder that accepts and drops every
// connection uses them up). An attempt that connects stops timer 104; its login is
// watched by the reply timer, whose give-up or a close then waits one more period
// (ContinueRebuild). A link found closed by the socket (peer close, reset, a failed
// send) gets its first attempt within 1 s, and the attempts go on (whatever the
// count) at least until the reply timer's path would have made its last one:
// 15 s + count x 5 s.
// The response timer (101) repeats the current request at 5 and 10 s and gives up at
// 15 s; every picture reply re-arms it, and so does a request when a reply has come
// since the previous one (requests alone never put off the end of a dead link). An
// armed stop request (kind 8) sets "stop pending": picture replies are dropped until
// COMMAND_R_STOP confirms or timer 103 has resent the stop once after 300 ms. The
// keep-alive goes out every 20 s and arms the response timer only while a stream is
// expected (live, or the archive playing).
// Posted messages (WM_USER + 1) are queued calls on this object.

#include "protocol/socketinterface.h"
#include "protocol/clientviews.h"
#include "protocol/linkstatus.h"
#include "protocol/packet.h"
#include "protocol/ptzcoding.h"
#include "protocol/receivepath.h"
#include "protocol/timerhost.h"

#include <QObject>
#include <QString>

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

class CNetClientWnd : public QObject, public ISocketEvents, private IReceiveHost {
    Q_OBJECT
  public:
    // Timer ids on the client's host.
    static constexpr int TIMER_RESPONSE = 101;    // 5000 ms reply time-out
    static constexpr int TIMER_STOP = 103;        // 300 ms stop repeat
    static constexpr int TIMER_RECONNECT = 104;   // 2000 / 5000 ms reconnection attempts
    static constexpr int TIMER_WATCHDOG = 105;    // 20000 ms keep-alive
    static constexpr int TIMER_LOGIN_PAUSE = 106; // 200 ms before the first request after a login
    static constexpr int RESPONSE_PERIOD_MS = 5000;
    static constexpr int STOP_PERIOD_MS = 300;
    static constexpr int RECONNECT_FAST_MS = 2000;
    static constexpr int RECONNECT_NORMAL_MS = 5000;
    static constexpr int RECONNECT_SLOW_MS = 30000;      // ALWAYS, a minute after the loss
    static constexpr int RECONNECT_SLOW_AFTER_MS = 60000;
    static constexpr int WATCHDOG_PERIOD_MS = 20000;
    static constexpr int LOGIN_PAUSE_MS = 200;
    static constexpr int RESPONSE_GIVE_UP = 3;     // ticks
    static constexpr int RECONNECT_FIRST_MS = 900; // first attempt after a closed link: within 1 s
    // Attempts beyond the reconnect count after a closed link: the reply timer would
    // have given up 15 s after the last reply and then tried count times, 5 s apart;
    // with the first attempt within 1 s, count + 4 attempts reach past its last one.
    static constexpr int CLOSED_EXTRA_ATTEMPTS = RESPONSE_GIVE_UP + 1;
    static constexpr std::size_t SEND_BUFFER_SIZE = 1024;
    // WM_USER + 1 parameters.
    static constexpr int LINK_CONNECT_FAILED = 1;
    static constexpr int LINK_RECONNECT_SOON = 2;

    // The link, as drawn in the theory of operation above.
    enum class LinkState : uint8_t {
        Idle,            // no socket, no attempts
        Connecting,      // the operator's Connect: waiting for the connect event
        LoggingIn,       // connected, login sent
        Online,          // login accepted
        RetryWait,       // rebuilding: no socket, timer 104 makes the next attempt
        RetryConnecting, // rebuilding: an attempt waits for its connect event
        RetryLoggingIn,  // rebuilding: the attempt connected, its login sent
    };

    // The timer host must outlive the client. The factory makes the socket of each
    // connect attempt (CClientSocket::Factory() in the program).
    CNetClientWnd(ITimerHost &timers, SocketFactory socketFactory, QObject *parent = nullptr);
    ~CNetClientWnd() override;

    // create(view): remembers the view (may be null), resets the field-row selector.
    bool Create(IClientView *pView);
    void SetView(IClientView *pView) { m_pView = pView; }
    // The archive dialog registers itself (null to detach).
    void SetArchive(IArchiveView *pArchive) { m_pArchive = pArchive; }

    // Starts a connection attempt; false when a socket exists or the attempt cannot start.
    bool Connect(const QString &host, int nPort);
    // Closes the socket; bFreeAll also frees the buffers and ends any rebuild (Idle).
    void Disconnect(bool bFreeAll);
    // Builds and sends one request of kind nKind (RequestKind) with its bookkeeping.
    void SendCommand(int nKind, bool bArmTimer);
    void ArmResponseTimer(bool bOn) override;
    // The link is renewed (bFast: the first attempt after 2 s) or given up as by the
    // reply timer (5 s): LoseLink.
    void StartReconnect(bool bFast) override;
    // One PTZ panel action: byPtzType = m_byPtzType, byPanelValue = the panel's speed,
    // nCommandType 0..11, bPressed = button held.
    void SendPtz(uint8_t byPtzType, uint8_t byPanelValue, int nCommandType, bool bPressed);

    // Set by the archive dialog before each playback request: words 1 and 2 and the
    // PlayControlWord (word 3). Word 0 is taken from the dialog's selected channel.
    void SetPlaybackWords(uint32_t dwWord1, uint32_t dwWord2, uint32_t dwPlayControl);
    // The skip counter: the view and the archive dialog set it to 1.
    void SetSkipCounter(uint8_t byCount) { m_state.bySkipCounter = byCount; }
    uint8_t SkipCounter() const { return m_state.bySkipCounter; }
    // Holds back received data until released, as a blocking pause would (the
    // archive's pauses between a stop and what follows it).
    void HoldReads(bool bHold) { bHold ? m_receive.PauseReads() : m_receive.ResumeReads(); }
    // The size the view draws channel index nIndex's live pictures at (0 x 0 = not
    // shown, or not known): they are decoded no larger than that needs.
    void SetDrawnSize(int nIndex, int nWidth, int nHeight)
    {
        m_receive.SetDrawnSize(nIndex, nWidth, nHeight);
    }
    // Alert request word: 0x0501 (events on) or 0x0500 (off), sent as kind 6.
    void SetAlertRequest(uint16_t wAlertRequest) { m_wAlertRequest = wAlertRequest; }
    // Where this link's event lists go (a window with several recorders keeps one
    // file per recorder).
    void SetEventFile(const QString &szPath) { m_receive.SetEventFile(szPath); }
    // The recording range of the last accepted login, null before one.
    const TimeRangeWords *LoginTimeRange() const { return m_bLoginRange ? &m_loginRange : nullptr; }

    // Readers for the view, the archive dialog and tests.
    uint8_t VersionCode() const { return m_state.m_nVerifyVersionInfo; }
    uint8_t RetryCount() const { return m_byRetryCount; }
    uint32_t LastAlertWord() const { return m_state.dwLastAlertWord; }
    uint8_t CurrentKind() const { return m_state.byCurrentKind; }
    uint8_t SavedKind() const { return m_state.bySavedKind; }
    bool IsStopPending() const { return m_state.bStopPending; }
    uint16_t PlaybackCounter() const { return m_state.wPlaybackCounter; }
    uint8_t ReconnectAttempts() const { return m_byReconnectAttempts; }
    uint8_t CurrentChannel() const { return m_state.m_nCurrentChannel; }
    uint8_t DecodeChannel() const { return m_state.m_nDecodeChannel; }
    bool NoCheckJpeg() const { return m_state.m_bNoCheckJpeg; }
    uint32_t FieldRowSelector() const { return m_dwFieldRowSelector; }
    const VersionText &KeptVersion() const { return m_keptVersion; }
    uint16_t PtzCommandInfo() const { return m_wPtzCommandInfo; }
    uint16_t PtzProtocolWord() const { return m_wPtzProtocolWord; }
    bool HasSocket() const { return m_pSocket != nullptr; }
    LinkState Link() const { return m_link; }
    // The link with the reason where it is not online: what the windows draw.
    LinkStatus Status() const;
    // From a lost link until the next login is accepted.
    bool IsRebuilding() const;
    IClientSocket *Socket() const { return m_pSocket.get(); }
    bool HasBuffers() const { return m_bBuffers; }
    const CReceivePath &Receiver() const { return m_receive; }
    const SessionState &Session() const { return m_state; }
    const CJpegImage &FrameRecord(int nIndex) const { return m_receive.FrameRecord(nIndex); }
    // Connect attempts started and logins accepted since the client was made.
    uint64_t ConnectAttempts() const { return m_nConnectSerial; }
    uint64_t Logins() const { return m_nLogins; }

    // Socket events.
    void OnSocketConnect(int nErrorCode) override;
    void OnSocketRead(const uint8_t *pData, std::size_t nLength) override;
    void OnSocketClosed() override;

    // Timer ticks from the host.
    void OnTimer(int nId);
    // The WM_USER + 1 handler (LINK_CONNECT_FAILED or LINK_RECONNECT_SOON).
    void OnLinkMessage(int nParam);

  private:
    // IReceiveHost
    SessionState &State() override { return m_state; }
    IClientView *View() override { return m_pView; }
    IArchiveView *Archive() override { return m_pArchive; }
    bool UseAlertMode() override;
    void KillStopTimer() override { m_timers.KillTimer(TIMER_STOP); }
    void OnLoginReply(const PacketHeader &header, const PayloadWords &words) override;

    void PostLinkMessage(int nParam);
    void AllocateBuffers();
    void FreeBuffers();
    void SendFirstRequest(); // login steps 7 and 8
    // True while pictures are due: live, or the archive playing.
    bool IsStreamExpected() const;
    void OnResponseTick();
    // The link of connect attempt nSerial was closed by the recorder or the network.
    void OnLinkClosed(uint64_t nSerial);

    // The transitions of m_link.
    enum class LossCause { ReplyTimer, Closed, Renewal };
    // Online or logging in: the socket goes and a rebuild starts. While rebuilding
    // already (the attempt's login unanswered or closed): ContinueRebuild.
    void LoseLink(LossCause cause);
    // Back to RetryWait with the rebuild's count kept; the next attempt one period on.
    void ContinueRebuild();
    // Timer 104: the next attempt, or GiveUpLink when the attempts are used up.
    void StartNextAttempt();
    // Attempts used up: Idle, and the view's OnLinkLost.
    void GiveUpLink();
    // A login accepted: Online, the rebuild (if any) is over.
    void EndRebuildOnLogin();
    // Idle, timer 104 off, the count cleared (Disconnect(true)).
    void EndRebuild();
    // The period of the rebuild's next attempt.
    int NextAttemptPeriodMs() const;
    // Whether a request of this kind may go out in the current state.
    bool CanSend(int nKind) const;
    RequestValues MakeRequestValues(int nKind) const;

    ITimerHost &m_timers;
    SocketFactory m_socketFactory;
    IClientView *m_pView = nullptr;
    IArchiveView *m_pArchive = nullptr;
    std::unique_ptr<IClientSocket> m_pSocket;
    LinkState m_link = LinkState::Idle;
    // Why the link is Idle: Idle (never connected, or the operator's), GivenUp or
    // LoginRefused. Cleared by the next Connect from Idle.
    LinkStatus::Kind m_idleKind = LinkStatus::Kind::Idle;
    int64_t m_nLostAtMs = -1; // when the link being rebuilt was lost
    bool m_bInConnect = false;     // inside the socket's Connect call
    uint64_t m_nConnectSerial = 0; // counts connect attempts; a held-back event names its own
    uint64_t m_nLogins = 0;

    SessionState m_state;
    uint8_t m_byRetryCount = 0;
    bool m_bReplySinceRequest = true; // a reply arrived since the last armed request
    // The rebuild: attempts made since the link was lost, those allowed beyond the
    // count (a closed link), and the period of timer 104.
    uint8_t m_byReconnectAttempts = 0;
    uint8_t m_byExtraAttempts = 0;
    int m_nAttemptPeriodMs = RECONNECT_NORMAL_MS;
    uint16_t m_wAlertRequest = 0x0501;
    uint16_t m_wPtzCommandInfo = 0;
    uint16_t m_wPtzProtocolWord = 0;
    PtzRequest m_ptzSending; // words of the PTZ request being sent
    uint32_t m_dwFieldRowSelector = 0;
    VersionText m_keptVersion{};
    uint32_t m_dwPlayWord1 = 0, m_dwPlayWord2 = 0, m_dwPlayControl = 0;
    TimeRangeWords m_loginRange{};
    bool m_bLoginRange = false;

    bool m_bBuffers = false; // header, payload and send buffers exist
    std::vector<uint8_t> m_sendDataBuf;
    CReceivePath m_receive;
    // Sockets closed while one of their own events may still be on the stack; freed
    // by a queued call once control is back in the event loop.
    std::vector<std::unique_ptr<IClientSocket>> m_retired;
};
