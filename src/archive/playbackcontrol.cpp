#include "archive/playbackcontrol.h"

#include <algorithm>

const QString CPlaybackControl::NOTICE_CLEAR = QStringLiteral("         ");
const QString CPlaybackControl::NOTICE_SEARCHING = QStringLiteral("SEARCHING");

namespace {

DvrDateTime DateOf(const DvrDateTime &dt)
{
    return DvrDateTime{dt.nYear, dt.nMonth, dt.nDay, 0, 0, 0};
}

bool SameDate(const DvrDateTime &a, const DvrDateTime &b)
{
    return a.nYear == b.nYear && a.nMonth == b.nMonth && a.nDay == b.nDay;
}

uint32_t DateKey(const DvrDateTime &dt)
{
    return static_cast<uint32_t>(dt.nYear) << 16 | static_cast<uint32_t>(dt.nMonth) << 8 |
           static_cast<uint32_t>(dt.nDay);
}

uint32_t TimeKey(const DvrDateTime &dt)
{
    return static_cast<uint32_t>(dt.nHour) << 16 | static_cast<uint32_t>(dt.nMinute) << 8 |
           static_cast<uint32_t>(dt.nSecond);
}

int HourOf(uint32_t uTimeWord)
{
    return static_cast<int>(uTimeWord >> 24);
}

} // namespace

CPlaybackControl::CPlaybackControl(IPlaybackClient *pClient, IPlaybackDisplay &display,
                                   ITimerHost &timers)
    : m_pClient(pClient), m_display(display), m_timers(timers)
{
    const DvrDateTime now = CurrentLocalDateTime();
    m_dtStart = m_dtEnd = m_dtRequest = now;
    m_dtPicker = DateOf(now);
    m_uPlayTime = MakeTimeWord(now);
    m_timers.SetHandler([this](int nId) { OnTimer(nId); });
}

uint8_t CPlaybackControl::VersionCode() const
{
    return m_pClient ? m_pClient->VersionCode() : VERSION_CODE_INITIAL;
}

// ---- the window's controls -----------------------------------------------------------------

void CPlaybackControl::EnterArchive()
{
    m_bActive = true;
    m_display.ShowPlayButtons(PLAY_STOP);
    if (VersionCode() > VERSION_CODE_10 && !m_bEndFromRecorder)
        m_dtEnd = CurrentLocalDateTime();
}

void CPlaybackControl::OnImagePlay(int nIndex)
{
    if (nIndex < PLAY_FAST_REVERSE || nIndex > PLAY_FAST)
        return;
    CancelPending();
    if (nIndex == PLAY_STOP) {
        Stop();
        return;
    }

    const bool bWasPlaying = IsPlaying();
    const bool bForwards = nIndex > PLAY_STOP;
    const uint32_t dwControl = MakeControlWord(nIndex, bWasPlaying, m_byRequestSpeed);
    m_wPlayState = bForwards ? 0x0001 : 0x0101;
    m_dtRequest = m_dtPicker;
    m_dtRequest.nHour = HourOf(m_uPlayTime);
    m_dtRequest.nMinute = static_cast<int>(m_uPlayTime >> 16 & 0xFF);
    m_dtRequest.nSecond = static_cast<int>(m_uPlayTime >> 8 & 0xFF);

    const bool bCarries = RequestCarries(m_dtRequest, m_dtEnd, VersionCode());
    if (bCarries)
        RequestTimeWords(VersionCode(), m_dtRequest, m_dtEnd, m_uPlayTime, m_words[1], m_words[2]);
    if (!bCarries || !CheckRequestDate(m_dtStart, m_dtEnd, m_dtRequest, bForwards)) {
        if (bWasPlaying)
            SendStop();
        ShowEndStatus(PLAY_END_INVALID_DATE);
        return;
    }
    Send(dwControl, true);
    m_display.ShowNotice(NOTICE_CLEAR);
    m_display.ShowNotice(NOTICE_SEARCHING);
    m_bShowingNotice = true;
    m_nNoticePictures = 0;
    m_display.RedrawTimeBlock();
    m_display.ShowPlayButtons(nIndex);
    m_nDirection = bForwards ? 1 : 2;
}

void CPlaybackControl::Stop()
{
    if (m_pClient)
        m_pClient->SetSkipCounter(1);
    SendStop();
    m_nDirection = 0;
}

void CPlaybackControl::SendStop()
{
    m_display.ShowNotice(NOTICE_CLEAR);
    Send(0, false);
    m_display.ShowPlayButtons(PLAY_STOP);
    m_wPlayState = 0;
}

void CPlaybackControl::Send(uint32_t dwControl, bool bArm)
{
    m_words = RecorderPayload(m_byChannel, m_words[1], m_words[2], dwControl);
    if (m_pClient)
        m_pClient->SendPlayback(m_words, bArm);
}

void CPlaybackControl::OnRecordButton()
{
    // The recording is the window's; the play buttons show the play state again.
    m_display.ShowPlayButtons(IsPlaying() ? -1 : PLAY_STOP);
}

void CPlaybackControl::OnJump(JumpButton button)
{
    switch (button) {
    case JUMP_BEGIN:
        m_dtRequest = m_dtStart;
        break;
    case JUMP_END:
        m_dtRequest = m_dtEnd;
        break;
    case JUMP_HOUR_BACK:
        m_dtRequest = HourBack(m_dtPicker, m_uPlayTime);
        break;
    case JUMP_HOUR_FORWARD:
        m_dtRequest = HourForward(m_dtPicker, m_uPlayTime);
        break;
    }
    ShowDateTime(m_dtRequest);
    m_display.RedrawTimeBlock();
}

CPlaybackControl::ChannelAction CPlaybackControl::OnChannelButton(int nButton)
{
    if (nButton < 0 || nButton >= 4)
        return CHANNEL_BEEP;
    if (nButton == m_byChannel)
        return CHANNEL_UNCHANGED;
    ApplyLayout(static_cast<uint8_t>(nButton));
    return CHANNEL_SELECTED;
}

void CPlaybackControl::OnSingleButton()
{
    if (IsQuad())
        ApplyLayout(0);
}

void CPlaybackControl::OnQuadButton()
{
    if (!IsQuad())
        ApplyLayout(QUAD);
}

void CPlaybackControl::ApplyLayout(uint8_t byChannel)
{
    m_byChannel = byChannel;
    m_display.ShowLayout(byChannel);
    // The recorder switches channels only when asked again.
    if (m_bActive && IsPlaying())
        Send(m_words[3], true);
}

void CPlaybackControl::OnDatePicked(const DvrDateTime &date)
{
    if (IsRealDate(date.nYear, date.nMonth, date.nDay))
        m_dtPicker = DateOf(date);
}

void CPlaybackControl::OnSliderMoved(int nSeconds)
{
    nSeconds = std::clamp(nSeconds, 0, 86399);
    m_uPlayTime = MakeTimeWord(nSeconds / 3600, nSeconds / 60 % 60, nSeconds % 60);
    m_display.ShowPlayTime(m_uPlayTime);
}

bool CPlaybackControl::PlayFromEvent(PackedTime packed, int nChannel)
{
    if (nChannel < 0 || nChannel >= 4)
        return false; // never a cell index beyond the four
    const DvrDateTime dt = DecodePackedTime(packed);
    if (!IsValidPictureTime(dt) || !RequestCarries(dt, m_dtEnd, VersionCode())) {
        m_display.ShowNotice(EndStatusText(PLAY_END_INVALID_DATE));
        return false;
    }
    CancelPending();
    m_pendingEvent = packed;
    m_byPendingChannel = static_cast<uint8_t>(nChannel);
    if (IsPlaying()) {
        SendStop();
        StartPause(TIMER_EVENT_PAUSE, EVENT_PAUSE_MS);
    } else {
        PlayEvent();
    }
    return true;
}

void CPlaybackControl::PlayEvent()
{
    // In quad layout the four channels stay; a single channel follows the event.
    if (!IsQuad() && m_byPendingChannel != m_byChannel)
        ApplyLayout(m_byPendingChannel);
    m_dtRequest = DecodePackedTime(m_pendingEvent);
    RequestTimeWords(VersionCode(), m_dtRequest, m_dtEnd, MakeTimeWord(m_dtRequest), m_words[1],
                     m_words[2]);
    m_wPlayState = 0x0001;
    m_nDirection = 1;
    Send(MakePlayControlWord(PLAY_STATE_START, 1, false), true);
    m_display.ShowNotice(NOTICE_CLEAR);
    m_display.RedrawTimeBlock();
    m_display.ShowPlayButtons(PLAY_FORWARD);
}

void CPlaybackControl::LeaveForLive()
{
    CancelPending();
    Stop();
    StartPause(TIMER_LIVE_PAUSE, LIVE_PAUSE_MS);
}

// ---- pauses ---------------------------------------------------------------------------------

void CPlaybackControl::StartPause(int nId, int nMs)
{
    m_timers.StartTimer(nId, nMs);
    if (m_pClient)
        m_pClient->HoldReads(true);
}

bool CPlaybackControl::IsPausePending() const
{
    return m_timers.IsTimerRunning(TIMER_EVENT_PAUSE) || m_timers.IsTimerRunning(TIMER_LIVE_PAUSE);
}

void CPlaybackControl::CancelPending()
{
    if (!IsPausePending())
        return;
    m_timers.KillTimer(TIMER_EVENT_PAUSE);
    m_timers.KillTimer(TIMER_LIVE_PAUSE);
    if (m_pClient)
        m_pClient->HoldReads(false);
}

void CPlaybackControl::OnTimer(int nId)
{
    if (nId != TIMER_EVENT_PAUSE && nId != TIMER_LIVE_PAUSE)
        return;
    m_timers.KillTimer(nId);
    if (nId == TIMER_EVENT_PAUSE) {
        PlayEvent();
    } else {
        m_bActive = false;
        m_display.SwitchToLive();
    }
    // What arrived during the pause is handled now, behind the new request.
    if (m_pClient)
        m_pClient->HoldReads(false);
}

// ---- from the receive path ------------------------------------------------------------------

void CPlaybackControl::SetTimeRange(uint32_t a, uint32_t b, uint32_t c, uint32_t d)
{
    const uint8_t nVersion = VersionCode();
    const RecordingRange range = DecodeTimeRange(nVersion, a, b, c, d, CurrentLocalDateTime());
    m_dtStart = range.dtStart;
    m_dtEnd = range.dtEnd;
    if (nVersion != VERSION_CODE_10 && range.bEndValid)
        m_bEndFromRecorder = true;
    SetPicker(m_dtRequest);
    MoveSlider(MakeTimeWord(m_dtRequest));
}

void CPlaybackControl::SetPictureTime(uint32_t dwSeconds)
{
    ShowDateTime(DateTimeFromCalendarSeconds(dwSeconds));
}

bool CPlaybackControl::SetPictureTime(uint32_t dwWord0, uint32_t dwWord1)
{
    const DvrDateTime dt = DateTimeFromPictureWords(dwWord0, dwWord1);
    if (!IsValidPictureDate(dt) || !IsRealDate(dt.nYear, dt.nMonth, dt.nDay))
        return false;
    if (IsValidPictureTime(dt))
        m_tmPicture = dt;
    SetPicker(dt);
    MoveSlider(dwWord1 << 8);
    return true;
}

void CPlaybackControl::ShowEndStatus(uint8_t byCode)
{
    m_display.ShowNotice(EndStatusText(byCode));
    if (m_pClient)
        m_pClient->ArmResponseTimer(false);
    m_wPlayState = 0;
    m_display.ShowPlayButtons(PLAY_STOP);
}

void CPlaybackControl::OnLinkLost()
{
    if (m_timers.IsTimerRunning(TIMER_EVENT_PAUSE)) {
        m_timers.KillTimer(TIMER_EVENT_PAUSE);
        if (m_pClient)
            m_pClient->HoldReads(false);
    }
    m_wPlayState = 0;
    m_nDirection = 0;
    m_display.ShowPlayButtons(PLAY_STOP);
}

void CPlaybackControl::ShowDateTime(const DvrDateTime &dt)
{
    SetPicker(dt);
    m_tmPicture = dt;
    MoveSlider(MakeTimeWord(dt));
}

void CPlaybackControl::SetPicker(const DvrDateTime &date)
{
    if (SameDate(date, m_dtPicker))
        return;
    m_dtPicker = DateOf(date);
    m_display.ShowPickerDate(m_dtPicker);
}

void CPlaybackControl::MoveSlider(uint32_t uTime)
{
    const int nMinute = static_cast<int>(uTime >> 16 & 0xFF);
    const int nSecond = static_cast<int>(uTime >> 8 & 0xFF);
    // The slider spans 0..86399: a time beyond 23:59:59 has no place on it.
    if (uTime == m_uPlayTime || HourOf(uTime) > 23 || nMinute > 59 || nSecond > 59)
        return;
    m_uPlayTime = uTime;
    m_display.ShowPlayTime(uTime);
}

// ---- rules ----------------------------------------------------------------------------------

bool CPlaybackControl::CheckRequestDate(const DvrDateTime &start, const DvrDateTime &end,
                                        const DvrDateTime &request, bool bForwards)
{
    const uint32_t s = DateKey(start), e = DateKey(end), r = DateKey(request);
    if (s < r && r <= e)
        return true;
    return r == s && s <= e && (bForwards || TimeKey(request) > TimeKey(start));
}

bool CPlaybackControl::RequestCarries(const DvrDateTime &request, const DvrDateTime &end,
                                      uint8_t nVersionCode)
{
    if (!IsRealDate(request.nYear, request.nMonth, request.nDay))
        return false;
    if (nVersionCode == VERSION_CODE_10) {
        uint32_t dwSeconds = 0;
        return TryCalendarSeconds(request, dwSeconds) && TryCalendarSeconds(end, dwSeconds);
    }
    return request.nYear >= REQUEST_YEAR_MIN && request.nYear <= REQUEST_YEAR_MAX;
}

DvrDateTime CPlaybackControl::HourBack(const DvrDateTime &date, uint32_t uPlayTime)
{
    return NormaliseDateTime({date.nYear, date.nMonth, date.nDay, HourOf(uPlayTime) - 1, 0, 0});
}

DvrDateTime CPlaybackControl::HourForward(const DvrDateTime &date, uint32_t uPlayTime)
{
    return NormaliseDateTime({date.nYear, date.nMonth, date.nDay, HourOf(uPlayTime) + 1, 0, 0});
}

uint32_t CPlaybackControl::MakeControlWord(int nIndex, bool bPlaying, uint8_t byRequestSpeed)
{
    const uint8_t byState = bPlaying ? PLAY_STATE_CHANGE : PLAY_STATE_START;
    const bool bNormalSpeed = nIndex == PLAY_REVERSE || nIndex == PLAY_FORWARD;
    return MakePlayControlWord(byState, bNormalSpeed ? 1 : byRequestSpeed, nIndex < PLAY_STOP);
}

void CPlaybackControl::RequestTimeWords(uint8_t nVersionCode, const DvrDateTime &request,
                                        const DvrDateTime &end, uint32_t uPlayTime,
                                        uint32_t &dwWord1, uint32_t &dwWord2)
{
    if (nVersionCode == VERSION_CODE_10) {
        dwWord1 = CalendarSecondsOf(request);
        dwWord2 = CalendarSecondsOf(end);
    } else {
        dwWord1 = MakeDateWord(request);
        dwWord2 = uPlayTime;
    }
}

QString CPlaybackControl::EndStatusText(uint8_t byCode)
{
    switch (byCode) {
    case PLAY_END_ERROR:
        return QStringLiteral("## ERROR ##");
    case PLAY_END_NO_PICTURE:
        return QStringLiteral("# No Search Image #");
    case PLAY_END_END_OF_RECORDING:
        return QStringLiteral("## Play End ##");
    case PLAY_END_INVALID_DATE:
        return QStringLiteral("## Invalid Date ##");
    default:
        return QString();
    }
}

QString CPlaybackControl::LinkStatusText(uint8_t byCode, uint8_t byRetryCount, uint32_t dwAlertWord)
{
    switch (byCode) {
    case 6:
        return QString::asprintf("# %s %d #", "TRY REQUEST IMAGE", byRetryCount);
    case 4:
        return QStringLiteral("# TRY RECONNECTION #");
    case 5:
        return QStringLiteral("# CONNECTION FAIL: #");
    case 0: // the link is given up: the operator connects again from the live view
        // Two lines in the notice box; the no-break space keeps the closing mark on
        // the second.
        return QStringLiteral("# WAITING FOR CONNECTION.") + QChar(QChar::Nbsp) + QLatin1Char('#');
    case 7:
        return QString::asprintf("[CH%d][Alarm:%d Loss:%d Motion:%d]", WordByte(dwAlertWord, 0),
                                 WordByte(dwAlertWord, 3), WordByte(dwAlertWord, 2),
                                 WordByte(dwAlertWord, 1));
    default:
        return QString();
    }
}
