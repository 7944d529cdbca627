#pragma once
// CNetClientWnd: the workstation's single link to the recorder.
//
// Theory of operation. The client lives on the user-interface thread. It owns the
// socket (made fresh by the socket factory for every connect attempt), the timers on
// its timer host and the receive path. The link moves through these states (the
// view's m_byConnectState in brackets):
//   Idle (0) --Connect true--> Connecting (2) --connect event OK--> Logging in (1):
//   status 1, login sent, response timer armed --login accepted--> Online (1): first
//   request sent 200 ms later (a one-shot timer; what arrives meanwhile is processed
//   after it, as a blocking pause would have done), keep-alive every 20 s.
//   Logging in / Online --3 response-timer ticks (15 s silence)--> Reconnecting: a
//   reconnect tick every 5 s (2 s when fast) disconnects and tries to connect again,
//   up to the settings' m_byReconnectCount attempts, then the view's OnLinkLost.
//   Login refused, or attempts used up --> the view's OnLinkLost (Idle).
//   Logging in / Online --the socket reports the link closed (peer close, reset, a
//   failed send)--> Reconnecting at once, as the reply timer's give-up would, with
//   the first attempt within 1 s and then every 5 s. Since the link is given up
//   sooner than by the reply timer, the attempts go on (whatever the count) at least
//   until the reply timer's path would have made its last one: 15 s + count x 5 s.
//   A close of a link made by that first quick attempt, before any login was
//   accepted on it, waits the full 5 s, so a recorder that accepts and drops every
//   connection is not hammered. Between two attempts there is no socket, so a
//   StopReconnect then (the archive calls it after every play button) is ignored.
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
    // Ends the link; bFreeAll also frees the buffers and stops reconnecting.
    void Disconnect(bool bFreeAll);
    // Builds and sends one request of kind nKind (RequestKind) with its bookkeeping.
    void SendCommand(int nKind, bool bArmTimer);
    void ArmResponseTimer(bool bOn) override;
    void StartReconnect(bool bFast) override;
    // Stops reconnecting, except between two attempts (no socket): see the .cpp.
    void StopReconnect();
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
    IClientSocket *Socket() const { return m_pSocket.get(); }
    bool HasBuffers() const { return m_bBuffers; }
    const CReceivePath &Receiver() const { return m_receive; }
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
    void OnReconnectTick();
    void EndReconnect(); // timer 104 off, attempts 0
    // The link of connect attempt nSerial was closed by the recorder or the network.
    void OnLinkClosed(uint64_t nSerial);
    RequestValues MakeRequestValues(int nKind) const;

    ITimerHost &m_timers;
    SocketFactory m_socketFactory;
    IClientView *m_pView = nullptr;
    IArchiveView *m_pArchive = nullptr;
    std::unique_ptr<IClientSocket> m_pSocket;
    bool m_bInConnect = false;     // inside the socket's Connect call
    uint64_t m_nConnectSerial = 0; // counts connect attempts; a held-back event names its own
    uint64_t m_nLogins = 0;

    SessionState m_state;
    uint8_t m_byRetryCount = 0;
    bool m_bReplySinceRequest = true; // a reply arrived since the last armed request
    uint8_t m_byReconnectAttempts = 0;
    uint8_t m_byExtraAttempts = 0;    // allowed beyond the count (a closed link)
    bool m_bLinkUp = false;           // the current socket has connected
    bool m_bFirstAttemptSoon = false; // timer 104 runs its short first period
    bool m_bQuickAttemptUsed = false; // no login accepted since the last quick attempt
    uint16_t m_wAlertRequest = 0x0501;
    uint16_t m_wPtzCommandInfo = 0;
    uint16_t m_wPtzProtocolWord = 0;
    PtzRequest m_ptzSending; // words of the PTZ request being sent
    uint32_t m_dwFieldRowSelector = 0;
    VersionText m_keptVersion{};
    uint32_t m_dwPlayWord1 = 0, m_dwPlayWord2 = 0, m_dwPlayControl = 0;

    bool m_bBuffers = false; // header, payload and send buffers exist
    std::vector<uint8_t> m_sendDataBuf;
    CReceivePath m_receive;
    // Sockets closed while one of their own events may still be on the stack; freed
    // by a queued call once control is back in the event loop.
    std::vector<std::unique_ptr<IClientSocket>> m_retired;
};
