#include "protocol/netclientwnd.h"

#include "settings/clientsettings.h"

#include <QMetaObject>

#include <algorithm>
#include <cstring>

CNetClientWnd::CNetClientWnd(ITimerHost &timers, SocketFactory socketFactory, QObject *parent)
    : QObject(parent), m_timers(timers), m_socketFactory(std::move(socketFactory)), m_receive(*this)
{
    m_timers.SetHandler([this](int nId) { OnTimer(nId); });
}

CNetClientWnd::~CNetClientWnd()
{
    for (int nId : {TIMER_RESPONSE, TIMER_STOP, TIMER_RECONNECT, TIMER_WATCHDOG, TIMER_LOGIN_PAUSE})
        m_timers.KillTimer(nId);
    m_timers.SetHandler(nullptr);
    if (m_pSocket)
        m_pSocket->Close();
}

bool CNetClientWnd::Create(IClientView *pView)
{
    m_pView = pView;
    m_dwFieldRowSelector = 0;
    m_receive.SetFieldRow(0);
    return true;
}

bool CNetClientWnd::UseAlertMode()
{
    return m_pView && m_pView->Settings().m_bUseAlertMode != 0;
}

// ---- connecting -------------------------------------------------------------------------

bool CNetClientWnd::Connect(const QString &host, int nPort)
{
    if (m_pSocket)
        return false;
    if (nPort <= 0 || nPort > 0xFFFF || !m_socketFactory)
        return false;
    std::unique_ptr<IClientSocket> pSocket = m_socketFactory();
    if (!pSocket)
        return false;
    pSocket->SetEvents(this);
    // A socket may report its connect from inside Connect (a loopback connect can
    // complete at once). Such an event is held back and handled as soon as control
    // is back in the event loop, so it always follows the caller's own bookkeeping
    // (the connecting state) as an asynchronous event would.
    ++m_nConnectSerial;
    m_bInConnect = true;
    const bool bStarted = pSocket->Connect(host, static_cast<uint16_t>(nPort));
    m_bInConnect = false;
    if (!bStarted)
        return false;
    m_pSocket = std::move(pSocket);
    if (m_link == LinkState::Idle)
        m_idleKind = LinkStatus::Kind::Idle; // a new link: the last one's end is history
    m_link = m_link == LinkState::RetryWait ? LinkState::RetryConnecting : LinkState::Connecting;
    return true;
}

LinkStatus CNetClientWnd::Status() const
{
    // LinkState's states in their order; Idle tells why.
    using K = LinkStatus::Kind;
    constexpr K kKinds[] = {K::Idle,      K::Connecting,      K::LoggingIn,     K::Online,
                            K::RetryWait, K::RetryConnecting, K::RetryLoggingIn};
    LinkStatus status;
    status.kind = m_link == LinkState::Idle ? m_idleKind : kKinds[std::size_t(m_link)];
    if (IsRebuilding()) {
        status.nAttempts = m_byReconnectAttempts;
        status.nLostAtMs = m_nLostAtMs;
    }
    return status;
}

void CNetClientWnd::OnSocketConnect(int nErrorCode)
{
    if (m_bInConnect) {
        const uint64_t nSerial = m_nConnectSerial;
        QMetaObject::invokeMethod(
            this,
            [this, nSerial, nErrorCode] {
                if (nSerial == m_nConnectSerial)
                    OnSocketConnect(nErrorCode);
            },
            Qt::QueuedConnection);
        return;
    }
    if (!m_pSocket || (m_link != LinkState::Connecting && m_link != LinkState::RetryConnecting))
        return;
    if (nErrorCode != 0) {
        PostLinkMessage(LINK_CONNECT_FAILED);
        return;
    }
    // An attempt that connects stops timer 104; its count runs on until a login is
    // accepted, so a recorder that accepts and drops every connection uses it up.
    m_link =
        m_link == LinkState::RetryConnecting ? LinkState::RetryLoggingIn : LinkState::LoggingIn;
    m_timers.KillTimer(TIMER_RECONNECT);
    m_pSocket->SetNoDelay();
    if (m_pView) {
        m_pView->SetConnectState(1);
        m_pView->ShowStatus(STATUS_ESTABLISHED);
    }
    AllocateBuffers();
    m_receive.ResetStream();
    SendCommand(KIND_LOGIN, true);
}

void CNetClientWnd::OnSocketRead(const uint8_t *pData, std::size_t nLength)
{
    if (m_pSocket)
        m_receive.OnRead(pData, nLength);
}

void CNetClientWnd::OnSocketClosed()
{
    // Handled once control is back in the event loop: the close may be reported
    // from inside a send or a read of this client.
    const uint64_t nSerial = m_nConnectSerial;
    QMetaObject::invokeMethod(
        this, [this, nSerial] { OnLinkClosed(nSerial); }, Qt::QueuedConnection);
}

void CNetClientWnd::OnLinkClosed(uint64_t nSerial)
{
    // A socket this client closed itself reports nothing; one replaced since by a
    // newer attempt is no longer the link.
    if (!m_pSocket || nSerial != m_nConnectSerial)
        return;
    if (m_link == LinkState::Connecting || m_link == LinkState::RetryConnecting) {
        OnLinkMessage(LINK_CONNECT_FAILED); // still connecting: the connect failed
        return;
    }
    LoseLink(LossCause::Closed); // the reply timer's give-up, without its 15 s wait
}

void CNetClientWnd::PostLinkMessage(int nParam)
{
    QMetaObject::invokeMethod(
        this, [this, nParam] { OnLinkMessage(nParam); }, Qt::QueuedConnection);
}

void CNetClientWnd::OnLinkMessage(int nParam)
{
    if (nParam == LINK_CONNECT_FAILED) {
        // While rebuilding, timer 104 makes the next attempt (and drops this socket).
        if (IsRebuilding()) {
            if (m_pView)
                m_pView->ShowStatus(STATUS_CONNECT_FAIL);
        } else if (m_pView) {
            m_idleKind = LinkStatus::Kind::GivenUp;
            m_pView->OnLinkLost();
        }
    } else if (nParam == LINK_RECONNECT_SOON) {
        LoseLink(LossCause::Renewal);
    }
}

void CNetClientWnd::Disconnect(bool bFreeAll)
{
    ArmResponseTimer(false);
    if (m_pSocket) {
        // The socket may be the one whose event is being handled: free it later.
        m_pSocket->Close();
        m_retired.push_back(std::move(m_pSocket));
        if (m_retired.size() == 1)
            QMetaObject::invokeMethod(
                this, [this] { m_retired.clear(); }, Qt::QueuedConnection);
        m_timers.KillTimer(TIMER_WATCHDOG);
        m_timers.KillTimer(TIMER_LOGIN_PAUSE);
    }
    if (bFreeAll) {
        FreeBuffers();
        EndRebuild();
    } else if (!IsRebuilding()) {
        m_link = LinkState::Idle;
    }
}

void CNetClientWnd::AllocateBuffers()
{
    m_sendDataBuf.assign(SEND_BUFFER_SIZE, 0);
    m_bBuffers = true;
    m_receive.AllocateBuffers();
}

void CNetClientWnd::FreeBuffers()
{
    std::vector<uint8_t>().swap(m_sendDataBuf);
    m_bBuffers = false;
    m_receive.FreeBuffers();
}

// ---- requests -----------------------------------------------------------------------------

RequestValues CNetClientWnd::MakeRequestValues(int nKind) const
{
    RequestValues values;
    switch (nKind) {
    case KIND_LOGIN:
        if (m_pView) {
            const ClientSettings &settings = m_pView->Settings();
            values.userId = std::string(settings.m_szUserID,
                                        strnlen(settings.m_szUserID, sizeof settings.m_szUserID));
            values.password =
                std::string(settings.m_szPassword,
                            strnlen(settings.m_szPassword, sizeof settings.m_szPassword));
        }
        break;
    case KIND_LIVE:
        if (m_pView)
            values.wRequestChannel = m_pView->GetRequestChannel();
        break;
    case KIND_RECORDER:
        values.bySelectedChannel = m_pArchive ? m_pArchive->GetSelectedChannel() : 255;
        values.dwPlayWord1 = m_dwPlayWord1;
        values.dwPlayWord2 = m_dwPlayWord2;
        values.dwPlayControl = m_dwPlayControl;
        break;
    case KIND_PTZ:
        values.wPtzCommandInfo = m_ptzSending.CommandInfo();
        values.dwPtzSpeedWord = m_ptzSending.dwSpeedWord;
        values.byPtzProtocol = m_ptzSending.byProtocol;
        break;
    case KIND_ALERT:
        values.wAlertRequest = m_wAlertRequest;
        break;
    default:
        break;
    }
    return values;
}

void CNetClientWnd::SetPlaybackWords(uint32_t dwWord1, uint32_t dwWord2, uint32_t dwPlayControl)
{
    m_dwPlayWord1 = dwWord1;
    m_dwPlayWord2 = dwWord2;
    m_dwPlayControl = dwPlayControl;
}

bool CNetClientWnd::CanSend(int nKind) const
{
    switch (m_link) {
    case LinkState::LoggingIn:
    case LinkState::Online:
        return true;
    case LinkState::RetryLoggingIn:
        return nKind == KIND_LOGIN; // the rest waits for the login: see the theory
    default:
        return false; // no socket, or one still connecting
    }
}

void CNetClientWnd::SendCommand(int nKind, bool bArmTimer)
{
    if (!m_pSocket || !m_bBuffers || !IsKnownRequestKind(nKind) || !CanSend(nKind))
        return;

    switch (nKind) {
    case KIND_LOGIN:
    case KIND_LIVE:
    case KIND_RECORDER:
    case KIND_START_TIME:
    case KIND_WATCHDOG:
        m_state.byCurrentKind = static_cast<uint8_t>(nKind);
        break;
    case KIND_EVENT:
        m_state.bySavedKind = m_state.byCurrentKind;
        m_state.byCurrentKind = KIND_EVENT;
        break;
    default:
        break; // PTZ, alert and stop leave the expected replies as they are
    }
    if (nKind == KIND_LIVE || nKind == KIND_RECORDER || nKind == KIND_EVENT || nKind == KIND_PTZ ||
        nKind == KIND_STOP)
        m_receive.EmptyReassembly();
    if (nKind == KIND_STOP) {
        if (bArmTimer) {
            m_state.bStopPending = true;
            m_timers.StartTimer(TIMER_STOP, STOP_PERIOD_MS);
        }
        ArmResponseTimer(false);
        bArmTimer = false;
    }

    const std::vector<uint8_t> packet =
        BuildRequest(nKind, m_keptVersion, MakeRequestValues(nKind));
    if (nKind == KIND_RECORDER) {
        if (PlayStateOf(m_dwPlayControl) == PLAY_STATE_STOP) {
            // A pause: count the replies that still come, a stuck stream renews the link.
            ArmResponseTimer(false);
            m_state.wPlaybackCounter = 0x0101;
        } else {
            m_state.wPlaybackCounter = 0;
        }
    }
    if (packet.empty() || packet.size() > m_sendDataBuf.size())
        return;
    std::memset(m_sendDataBuf.data(), 0, m_sendDataBuf.size());
    std::memcpy(m_sendDataBuf.data(), packet.data(), packet.size());
    m_pSocket->Send(m_sendDataBuf.data(), packet.size());

    // A request restarts the reply count only when something has arrived since the
    // previous one. Requests that follow each other on a dead link (a rotation
    // steps every few seconds, the keep-alive every 20 s, an operator switching
    // channels) would otherwise restart it for ever, and the link would never be
    // found dead.
    if (bArmTimer) {
        if (m_bReplySinceRequest || !m_timers.IsTimerRunning(TIMER_RESPONSE))
            ArmResponseTimer(true);
        m_bReplySinceRequest = false;
    }
}

void CNetClientWnd::SendPtz(uint8_t byPtzType, uint8_t byPanelValue, int nCommandType,
                            bool bPressed)
{
    std::optional<uint8_t> viewSpeed;
    if (m_pView)
        viewSpeed = m_pView->GetPtzSpeed();
    const PtzCoding coding = CodePtz(byPtzType, byPanelValue, nCommandType, bPressed,
                                     m_state.m_nVerifyVersionInfo, m_wPtzCommandInfo, viewSpeed);
    for (const PtzRequest &request : coding.requests) {
        m_ptzSending = request;
        m_wPtzCommandInfo = request.CommandInfo();
        SendCommand(KIND_PTZ, true);
    }
    m_wPtzCommandInfo = coding.wPtzCommandInfo;
    m_wPtzProtocolWord = coding.wProtocolWord;
}

// ---- timers ------------------------------------------------------------------------------

void CNetClientWnd::ArmResponseTimer(bool bOn)
{
    // Called by the receive path for every reply that arrives (and by the requests).
    m_bReplySinceRequest = true;
    m_timers.KillTimer(TIMER_RESPONSE);
    const bool bUp = m_link == LinkState::LoggingIn || m_link == LinkState::Online ||
                     m_link == LinkState::RetryLoggingIn;
    if (bOn && bUp && !m_state.bStopPending)
        m_timers.StartTimer(TIMER_RESPONSE, RESPONSE_PERIOD_MS);
    m_byRetryCount = 0;
}

void CNetClientWnd::StartReconnect(bool bFast)
{
    LoseLink(bFast ? LossCause::Renewal : LossCause::ReplyTimer);
}

// ---- the link's transitions ------------------------------------------------------------------

bool CNetClientWnd::IsRebuilding() const
{
    return m_link == LinkState::RetryWait || m_link == LinkState::RetryConnecting ||
           m_link == LinkState::RetryLoggingIn;
}

void CNetClientWnd::LoseLink(LossCause cause)
{
    if (IsRebuilding()) {
        ContinueRebuild();
        return;
    }
    // No socket counts as up from here: what the windows send meanwhile is dropped,
    // and asked for again after the next login.
    Disconnect(false);
    m_byRetryCount = 0;
    if (!m_pView)
        return; // Idle: nobody to reconnect for
    m_link = LinkState::RetryWait;
    m_nLostAtMs = m_timers.NowMs();
    m_byReconnectAttempts = 0;
    m_byExtraAttempts = cause == LossCause::Closed ? CLOSED_EXTRA_ATTEMPTS : 0;
    m_nAttemptPeriodMs = cause == LossCause::Renewal ? RECONNECT_FAST_MS : RECONNECT_NORMAL_MS;
    m_pView->ShowStatus(STATUS_RECONNECTING);
    m_timers.StartTimer(TIMER_RECONNECT,
                        cause == LossCause::Closed ? RECONNECT_FIRST_MS : m_nAttemptPeriodMs);
}

void CNetClientWnd::ContinueRebuild()
{
    // The attempt's login went unanswered or its link closed: the next attempt waits
    // a whole period, so a recorder that accepts and drops every connection is not
    // hammered.
    Disconnect(false);
    m_byRetryCount = 0;
    m_link = LinkState::RetryWait;
    if (m_pView)
        m_pView->ShowStatus(STATUS_RECONNECTING);
    m_timers.StartTimer(TIMER_RECONNECT, NextAttemptPeriodMs());
}

int CNetClientWnd::NextAttemptPeriodMs() const
{
    // A link that is never given up tries every 5 s for a minute, then every 30 s:
    // a recorder's own restart takes a minute or more.
    const bool bAlways = m_pView && m_pView->Settings().m_byReconnectCount == RECONNECT_ALWAYS;
    if (bAlways && m_timers.NowMs() - m_nLostAtMs >= RECONNECT_SLOW_AFTER_MS)
        return RECONNECT_SLOW_MS;
    return m_nAttemptPeriodMs;
}

void CNetClientWnd::StartNextAttempt()
{
    m_timers.StartTimer(TIMER_RECONNECT, NextAttemptPeriodMs()); // after a quick first one too
    Disconnect(false);                                           // an attempt still connecting
    m_link = LinkState::RetryWait;
    if (m_pView) {
        m_pView->ShowStatus(STATUS_RECONNECTING);
        const ClientSettings &settings = m_pView->Settings();
        const bool bAlways = settings.m_byReconnectCount == RECONNECT_ALWAYS;
        const int nAllowed = std::min(0xFF, settings.m_byReconnectCount + m_byExtraAttempts);
        if (bAlways || nAllowed > m_byReconnectAttempts) {
            const QString host = FieldText(settings.m_szHostIP);
            if (Connect(host, settings.m_nHostPort)) {
                m_pView->SetConnectState(2);
                m_pView->ShowStatus(STATUS_CONNECTING);
            }
            if (m_byReconnectAttempts < 0xFF)
                ++m_byReconnectAttempts;
            return;
        }
    }
    GiveUpLink();
}

void CNetClientWnd::GiveUpLink()
{
    EndRebuild();
    m_idleKind = LinkStatus::Kind::GivenUp;
    if (m_pView)
        m_pView->OnLinkLost();
}

void CNetClientWnd::EndRebuildOnLogin()
{
    m_link = LinkState::Online;
    m_byReconnectAttempts = 0;
    m_byExtraAttempts = 0;
    m_timers.KillTimer(TIMER_RECONNECT);
}

void CNetClientWnd::EndRebuild()
{
    m_link = LinkState::Idle;
    m_byReconnectAttempts = 0;
    m_byExtraAttempts = 0;
    m_timers.KillTimer(TIMER_RECONNECT);
}

void CNetClientWnd::OnTimer(int nId)
{
    switch (nId) {
    case TIMER_RESPONSE:
        OnResponseTick();
        break;
    case TIMER_STOP:
        m_timers.KillTimer(TIMER_STOP);
        if (m_state.bStopPending) {
            m_state.bStopPending = false;
            SendCommand(KIND_STOP, false);
        }
        break;
    case TIMER_RECONNECT:
        StartNextAttempt();
        break;
    case TIMER_WATCHDOG:
        // The keep-alive has no reply of its own: only a running stream answers it.
        // Arming the reply timer while none is expected (the archive open with
        // playback stopped or paused) would repeat the request and rebuild the link
        // for nothing.
        SendCommand(KIND_WATCHDOG, IsStreamExpected());
        break;
    case TIMER_LOGIN_PAUSE:
        m_timers.KillTimer(TIMER_LOGIN_PAUSE);
        SendFirstRequest();
        m_receive.ResumeReads();
        break;
    default:
        break;
    }
}

bool CNetClientWnd::IsStreamExpected() const
{
    if (m_pArchive && m_pArchive->IsActive())
        return (m_pArchive->GetPlayState() & 0xFF) == 1;
    return !m_pView || m_pView->WantsLive(); // the live stream
}

void CNetClientWnd::OnResponseTick()
{
    ++m_byRetryCount;
    if (m_byRetryCount >= RESPONSE_GIVE_UP) {
        m_timers.KillTimer(TIMER_RESPONSE);
        LoseLink(LossCause::ReplyTimer);
        return;
    }
    if (m_pView)
        m_pView->ShowStatus(STATUS_TRY_REQUEST);
    SendCommand(m_state.byCurrentKind, false);
}

// ---- login --------------------------------------------------------------------------------

void CNetClientWnd::OnLoginReply(const PacketHeader &header, const PayloadWords &words)
{
    m_keptVersion = KeepVersionText(header.szVersion);
    m_state.m_nVerifyVersionInfo = VersionCodeOf(header.szVersion);

    const LoginReply login = ParseLoginReply(words);
    if (!login.bAccepted) {
        m_idleKind = LinkStatus::Kind::LoginRefused;
        if (m_pView)
            m_pView->OnLinkLost();
        return;
    }
    ++m_nLogins;
    EndRebuildOnLogin();
    m_dwFieldRowSelector = login.byFieldRowSelector;
    if (login.bNoCheckJpeg)
        m_state.m_bNoCheckJpeg = true;
    if (m_pView && m_state.m_nVerifyVersionInfo > VERSION_CODE_10 && login.nChannelInfo != 0)
        m_pView->SetChannelCount(login.nChannelInfo);
    m_loginRange = login.range;
    m_bLoginRange = true;
    if (m_pArchive)
        m_pArchive->SetTimeRange(login.range.a, login.range.b, login.range.c, login.range.d);
    if (m_pView) {
        if (m_pView->Settings().m_bUseAlertMode)
            SendCommand(KIND_ALERT, false);
        // The recorder wants a moment after the login before the first request. The
        // pause no longer blocks the thread: the request follows on a one-shot timer.
        // What a blocking pause held up is held up here too: the login's response
        // timer, and every byte received behind the login reply, which is processed
        // after the first request has gone out.
        m_timers.KillTimer(TIMER_RESPONSE);
        m_timers.StartTimer(TIMER_LOGIN_PAUSE, LOGIN_PAUSE_MS);
        m_receive.PauseReads();
        return;
    }
    SendFirstRequest();
}

void CNetClientWnd::SendFirstRequest()
{
    int nKind = m_pView && !m_pView->WantsLive() ? KIND_STOP : KIND_LIVE;
    if (m_pArchive && m_pArchive->IsActive())
        nKind = (m_pArchive->GetPlayState() & 0xFF) == 1 ? KIND_RECORDER : KIND_STOP;
    SendCommand(nKind, true);
    m_timers.StartTimer(TIMER_WATCHDOG, WATCHDOG_PERIOD_MS);
    m_receive.SetFieldRow(m_dwFieldRowSelector);
}
