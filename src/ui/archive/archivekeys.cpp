// CArchiveDlg: the keyboard. Each key clicks its button, so it takes the same path as
// the mouse; a key held down acts once. The window takes its keys before the time
// slider, which swallows every key that reaches it.

#include "ui/archive/archivedlg.h"

#include "ui/common/keyboard.h"
#include "ui/controls/skinbutton.h"
#include "ui/controls/skinslider.h"

#include <QKeyEvent>

using namespace archivelayout;

namespace {
bool IsWindowKey(int nKey)
{
    return KeyActionOf(KeyWindow::Archive, nKey).has_value();
}
} // namespace

bool CArchiveDlg::eventFilter(QObject *pWatched, QEvent *pEvent)
{
    if (pWatched == m_pSlider && pEvent->type() == QEvent::KeyPress &&
        IsWindowKey(static_cast<QKeyEvent *>(pEvent)->key())) {
        keyPressEvent(static_cast<QKeyEvent *>(pEvent));
        return true;
    }
    return QWidget::eventFilter(pWatched, pEvent);
}

void CArchiveDlg::keyPressEvent(QKeyEvent *pEvent)
{
    const std::optional<KeyAction> action = TakeKey(KeyWindow::Archive, *pEvent);
    if (!action)
        return;
    ControlId id = CTRL_VIEWER;
    if (*action == KeyAction::PlayOrStop)
        id = ControlId(CTRL_PLAY_1 + (m_control.IsPlaying() ? CPlaybackControl::PLAY_STOP
                                                            : CPlaybackControl::PLAY_FORWARD));
    else if (IsChannelAction(*action))
        id = ControlId(CTRL_CHANNEL_1 + ChannelOf(*action));
    else if (*action == KeyAction::Quad)
        id = CTRL_QUAD;
    else if (*action == KeyAction::Single)
        id = CTRL_SINGLE;
    CSkinButton *pButton = m_apButtons[id];
    if (!pButton)
        return;
    if (pButton->isEnabled())
        pButton->Click();
    else if (id >= CTRL_CHANNEL_1)
        OnChannelButton(id - CTRL_CHANNEL_1); // quad disables them; the key picks one, as live
}
