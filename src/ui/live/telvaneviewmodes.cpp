// CTelvaneView: full screen, circular monitoring, the event report and timer 100.

#include "ui/live/telvaneview.h"

#include "protocol/packet.h"
#include "protocol/timerhost.h"
#include "ui/controls/skinbutton.h"
#include "ui/live/ptzpanel.h"
#include "ui/live/statuspanel.h"

#include <QGuiApplication>
#include <QScreen>

using namespace viewlayout;

void CTelvaneView::OnTimer(int nId)
{
    if (nId == kClockTimerId)
        OnClockTick();
    else if (nId == CPtzPanel::kStopRepeatTimerId && m_pPtzPanel)
        m_pPtzPanel->OnTimer();
    else if (nId == kStaleTimerId)
        OnStaleCheck();
}

void CTelvaneView::OnClockTick()
{
    m_pStatus->DrawDateTime();
    // A recorder away says for how long on its tiles.
    for (int r = 0; m_pRecorders && r < CRecorderSet::kRecorders; ++r)
        if (m_pRecorders->Status(r).IsRebuilding())
            UpdateRecorderTiles(r);
    // While the archive window has the link, a step would ask for live pictures and
    // end its playback: the rotation waits, and goes on after "Viewer".
    if (m_rotation.Tick() && !(m_pArchive && m_pArchive->IsActive()))
        RotateNext();
}

void CTelvaneView::SetFullScreen(bool bOn)
{
    // This platform cannot switch the display mode: full screen only places the
    // window, and the display-changed flag is never set.
    PlaceMainWindow(bOn);
}

void CTelvaneView::PlaceMainWindow(bool bFullScreen)
{
    if (m_env.fnPlaceWindow) {
        m_env.fnPlaceWindow(bFullScreen);
        return;
    }
    QWidget *pTop = window();
    if (!pTop || pTop == this)
        return;
    if (bFullScreen) {
        pTop->move(-2, -2);
    } else if (QScreen *pScreen =
                   pTop->screen() ? pTop->screen() : QGuiApplication::primaryScreen()) {
        const QRect geo = pScreen->geometry();
        pTop->move(geo.left() + (geo.width() - kViewWidth) / 2,
                   geo.top() + (geo.height() - kViewHeight) / 2);
    }
    pTop->update();
}

void CTelvaneView::StopRotation()
{
    m_rotation.Stop();
    SetButtonChecked(CTRL_ROTATE, false);
}

void CTelvaneView::ToggleRotation()
{
    if (m_rotation.IsRunning()) {
        StopRotation();
        SetScreenMode(kQuadMode);
        return;
    }
    if (GetConnectState() == 1 && IsSingleMode()) {
        m_rotation.Start(m_settings.m_byRotateInterval);
        SetButtonChecked(CTRL_ROTATE, true);
        RotateNext();
        return;
    }
    SetButtonChecked(CTRL_ROTATE, false);
}

void CTelvaneView::RotateNext()
{
    if (!IsSingleMode())
        return;
    const int nNext = NextSeenChannel(m_wRequestChannel & 0xFF, m_abChannelSeen);
    m_wRequestChannel = uint16_t(nNext);
    SetScreenMode(kSingleMode);
}

void CTelvaneView::SetEventReport(bool bOn)
{
    for (int r = 0; r < CRecorderSet::kRecorders; ++r) {
        if (ILiveClient *pClient = m_pRecorders ? m_pRecorders->Client(r) : nullptr) {
            pClient->SetAlertRequestWord(bOn ? kAlertOn : kAlertOff);
            pClient->SendCommand(KIND_ALERT, false);
        }
    }
}
