// CTelvaneView: the keyboard. Each key clicks its button, so it takes the same path
// as the mouse (a disabled button ignores it); a key held down acts once.

#include "ui/live/telvaneview.h"

#include "ui/common/keyboard.h"
#include "ui/controls/skinbutton.h"
#include "ui/live/ptzpanel.h"

#include <QKeyEvent>

using namespace viewlayout;

namespace {
CSkinButton *PadButton(CPtzPanel *pPanel, int nIndex)
{
    return pPanel ? pPanel->GetButton(nIndex) : nullptr;
}
} // namespace

void CTelvaneView::keyPressEvent(QKeyEvent *pEvent)
{
    const std::optional<KeyAction> action = TakeKey(KeyWindow::Main, *pEvent);
    if (!action)
        return;
    if (*action == KeyAction::AlarmList) {
        OpenAlarmList();
        return;
    }
    if (*action == KeyAction::DefaultOrder) {
        ResetPlacement();
        return;
    }
    CSkinButton *pButton = nullptr;
    if (IsChannelAction(*action))
        pButton = m_apButtons[CTRL_CHANNEL_1 + ChannelOf(*action)];
    else if (*action == KeyAction::Quad)
        pButton = m_apButtons[CTRL_SCREEN_MODE_1 + 1]; // 0x0401
    else if (*action == KeyAction::Single)
        pButton = m_apButtons[CTRL_SCREEN_MODE_1]; // 0x0100
    else if (*action == KeyAction::Rotate)
        pButton = m_apButtons[CTRL_ROTATE];
    else if (*action == KeyAction::Archive)
        pButton = m_apButtons[CTRL_ARCHIVE];
    else if (*action == KeyAction::PtzFaster)
        pButton = PadButton(m_pPtzPanel.get(), CPtzPanel::PTZ_SPEED_UP);
    else if (*action == KeyAction::PtzSlower)
        pButton = PadButton(m_pPtzPanel.get(), CPtzPanel::PTZ_SPEED_DOWN);
    if (pButton) {
        pButton->Click();
        return;
    }
    // Full screen, as the setting's check box: the record changes and the window moves.
    const bool bFullScreen = m_settings.m_bUseFullScreen != 0;
    if (*action == KeyAction::FullScreen ||
        (*action == KeyAction::LeaveFullScreen && bFullScreen)) {
        m_settings.m_bUseFullScreen = bFullScreen ? 0 : 1;
        SetFullScreen(!bFullScreen);
    }
}
