// CTelvaneView: the keyboard. Each key clicks its button, so it takes the same path
// as the mouse (a disabled button ignores it); a key held down acts once.

#include "ui/live/telvaneview.h"

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
    CSkinButton *pButton = nullptr;
    const int nKey = pEvent->key();
    if (nKey >= Qt::Key_1 && nKey <= Qt::Key_4)
        pButton = m_apButtons[CTRL_CHANNEL_1 + (nKey - Qt::Key_1)];
    else if (nKey == Qt::Key_Q)
        pButton = m_apButtons[CTRL_SCREEN_MODE_1 + 1]; // 0x0401
    else if (nKey == Qt::Key_S)
        pButton = m_apButtons[CTRL_SCREEN_MODE_1]; // 0x0100
    else if (nKey == Qt::Key_R)
        pButton = m_apButtons[CTRL_ROTATE];
    else if (nKey == Qt::Key_A)
        pButton = m_apButtons[CTRL_ARCHIVE];
    else if (nKey == Qt::Key_Plus || nKey == Qt::Key_Equal)
        pButton = PadButton(m_pPtzPanel.get(), CPtzPanel::PTZ_SPEED_UP);
    else if (nKey == Qt::Key_Minus)
        pButton = PadButton(m_pPtzPanel.get(), CPtzPanel::PTZ_SPEED_DOWN);
    else if (nKey != Qt::Key_F11 && nKey != Qt::Key_Escape) {
        QWidget::keyPressEvent(pEvent);
        return;
    }
    pEvent->accept();
    if (pEvent->isAutoRepeat())
        return;
    if (pButton) {
        pButton->Click();
        return;
    }
    // Full screen, as the setting's check box: the record changes and the window moves.
    const bool bFullScreen = m_settings.m_bUseFullScreen != 0;
    if (nKey == Qt::Key_F11 || bFullScreen) {
        m_settings.m_bUseFullScreen = bFullScreen ? 0 : 1;
        SetFullScreen(!bFullScreen);
    }
}
