#include "ui/live/ptzpanel.h"

#include "protocol/timerhost.h"
#include "ui/controls/skinbutton.h"
#include "ui/live/statuspanel.h"

#include <QPainter>
#include <QWidget>

namespace ptzlayout {

const std::array<PtzButtonPlace, 14> &Buttons()
{
    // index, x, y, w, h, normal, held, hidden
    static const std::array<PtzButtonPlace, 14> kButtons = {{
        {0, 773, 437, 51, 34, 189, 190, false},  // top of the cross
        {1, 679, 487, 35, 32, 191, 192, true},   // diagonal
        {2, 737, 471, 36, 51, 193, 194, false},  // left of the cross
        {3, 678, 547, 39, 39, 195, 196, true},   // diagonal
        {4, 773, 521, 51, 36, 197, 198, false},  // bottom of the cross
        {5, 740, 547, 40, 39, 199, 200, true},   // diagonal
        {6, 823, 471, 34, 51, 201, 202, false},  // right of the cross
        {7, 737, 488, 45, 38, 203, 204, true},   // diagonal
        {8, 737, 386, 25, 18, 222, 223, false},  // small row: zoom +
        {9, 762, 386, 25, 18, 224, 225, false},  // small row: zoom -
        {10, 813, 386, 25, 18, 222, 223, false}, // small row: focus +
        {11, 837, 386, 25, 18, 224, 225, false}, // small row: focus -
        {13, 724, 538, 21, 20, 301, 302, false}, // speed up
        {14, 849, 538, 20, 20, 303, 304, false}, // speed down
    }};
    return kButtons;
}

} // namespace ptzlayout

CPtzPanel::CPtzPanel(Host host) : m_host(std::move(host)), m_fontSmall(SmallFont()) {}

CPtzPanel::~CPtzPanel()
{
    if (m_bStopRepeatRunning && m_host.pTimerHost)
        m_host.pTimerHost->KillTimer(kStopRepeatTimerId);
}

void CPtzPanel::CreateButtons(QWidget *pView)
{
    for (const PtzButtonPlace &place : ptzlayout::Buttons()) {
        auto *pButton = new CSkinButton(pView);
        pButton->setGeometry(place.x, place.y, place.w, place.h);
        pButton->LoadStateBitmaps(int(place.nNormal), int(place.nHeld), 0, 0, place.nIndex,
                                  CSkinButton::SKIN_MOMENTARY);
        pButton->setVisible(!place.bHidden);
        m_apButtons[place.nIndex] = pButton;
    }
}

CSkinButton *CPtzPanel::GetButton(int nIndex) const
{
    if (nIndex < 0 || nIndex >= int(m_apButtons.size()))
        return nullptr;
    return m_apButtons[nIndex];
}

bool CPtzPanel::CanSend() const
{
    return m_host.fnSendPtz && m_host.fnIsConnected && m_host.fnIsConnected();
}

void CPtzPanel::OnSkinPress(int nIndex, int nPressed)
{
    if (nPressed) {
        // Every press runs the speed step, so a speed of 0 left by the settings
        // dialog comes back as 4 on the next press of any button.
        // 8-bit arithmetic: speed down from 0 gives 255, which wraps to 1.
        uint8_t bySpeed = m_byPtzSpeed;
        if (nIndex == PTZ_SPEED_UP)
            ++bySpeed;
        else if (nIndex == PTZ_SPEED_DOWN)
            --bySpeed;
        if (bySpeed == 0)
            bySpeed = 4;
        else if (bySpeed > 4)
            bySpeed = 1;
        m_byPtzSpeed = bySpeed;
        DrawPtzSpeed();
    }

    if (!CanSend())
        return;
    if (m_host.fnIsRotating && m_host.fnIsRotating())
        return;
    if (nIndex < 0 || nIndex > PTZ_LAST_ACTION)
        return;

    // A new press ends the stop repeat of the last release, including during its
    // first 70 ms, so the repeat cannot stop the movement that was just started.
    if (nPressed)
        StopStopRepeat();

    const uint8_t byType = m_host.fnPtzType ? m_host.fnPtzType() : 0;
    m_host.fnSendPtz(byType, m_byPtzSpeed, nIndex, nPressed ? 1 : 0);
}

void CPtzPanel::OnSkinPressSync(int /*nIndex*/, int nPressed)
{
    if (!nPressed)
        StartStopRepeat();
}

void CPtzPanel::OnSkinIdleUp()
{
    // The pad and zoom/focus buttons: a press that lost its release must not leave
    // the camera moving. CancelPress posts the missing WM_SKIN_PRESS (index, 0).
    for (int nIndex = 0; nIndex <= PTZ_LAST_ACTION; ++nIndex) {
        if (CSkinButton *pButton = m_apButtons[nIndex])
            pButton->CancelPress();
    }
}

void CPtzPanel::StartStopRepeat()
{
    m_byPtzStopRepeat = 0;
    m_bStopRepeatRunning = true;
    if (m_host.pTimerHost)
        m_host.pTimerHost->StartTimer(kStopRepeatTimerId, kStopRepeatPeriodMs);
}

void CPtzPanel::StopStopRepeat()
{
    m_byPtzStopRepeat = 0;
    if (!m_bStopRepeatRunning)
        return;
    m_bStopRepeatRunning = false;
    if (m_host.pTimerHost)
        m_host.pTimerHost->KillTimer(kStopRepeatTimerId);
}

void CPtzPanel::OnTimer()
{
    if (!m_bStopRepeatRunning)
        return;
    ++m_byPtzStopRepeat;
    // Without a link the client would send nothing; the repeat still counts down.
    if (CanSend()) {
        const uint8_t byType = m_host.fnPtzType ? m_host.fnPtzType() : 0;
        m_host.fnSendPtz(byType, m_byPtzSpeed, 0, 0);
    }
    if (m_byPtzStopRepeat >= kStopRepeatCount)
        StopStopRepeat();
}

void CPtzPanel::OnSettingsClosed()
{
    const uint8_t byType = m_host.fnPtzType ? m_host.fnPtzType() : 0;
    if (byType == 0) {
        // "User Define" has no speed 4: it shows 00 until the next press wraps it.
        m_byPtzSpeed = uint8_t(m_byPtzSpeed % 4);
        DrawPtzSpeed();
    } else if (byType == 3) {
        DrawPtzSpeed();
    }
}

void CPtzPanel::DrawPtzSpeed()
{
    if (m_host.fnUpdate)
        m_host.fnUpdate(ptzlayout::kSpeedRect);
}

void CPtzPanel::paint(QPainter &painter) const
{
    painter.save();
    painter.fillRect(ptzlayout::kSpeedRect, Qt::black);
    painter.setFont(m_fontSmall);
    painter.setPen(QColor(0, 255, 0));
    painter.drawText(ptzlayout::kSpeedRect, Qt::AlignCenter | Qt::TextSingleLine,
                     QString::asprintf("%02d", int(m_byPtzSpeed)));
    painter.restore();
}
