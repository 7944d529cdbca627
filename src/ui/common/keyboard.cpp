#include "ui/common/keyboard.h"

#include <QKeyEvent>

namespace {

constexpr unsigned kMain = 1, kArchive = 2;

struct KeyBinding {
    int nKey;
    KeyAction action;
    unsigned windows;
    const char *szName; // as listed; null: listed with the row before
    const char *szText;
};

constexpr KeyBinding kKeys[] = {
    {Qt::Key_1, KeyAction::Channel1, kMain | kArchive, "1-4", "channel"},
    {Qt::Key_2, KeyAction::Channel2, kMain | kArchive, nullptr, nullptr},
    {Qt::Key_3, KeyAction::Channel3, kMain | kArchive, nullptr, nullptr},
    {Qt::Key_4, KeyAction::Channel4, kMain | kArchive, nullptr, nullptr},
    {Qt::Key_Q, KeyAction::Quad, kMain | kArchive, "Q", "quad"},
    {Qt::Key_S, KeyAction::Single, kMain | kArchive, "S", "single"},
    {Qt::Key_R, KeyAction::Rotate, kMain, "R", "circular monitoring on/off"},
    {Qt::Key_A, KeyAction::Archive, kMain, "A", "archive"},
    {Qt::Key_L, KeyAction::AlarmList, kMain, "L", "alarm list"},
    {Qt::Key_D, KeyAction::DefaultOrder, kMain, "D", "tiles back to their default order"},
    {Qt::Key_F11, KeyAction::FullScreen, kMain, "F11", "full screen on/off"},
    {Qt::Key_Escape, KeyAction::LeaveFullScreen, kMain, "Esc", "leaves full screen"},
    {Qt::Key_Plus, KeyAction::PtzFaster, kMain, "+ / -", "PTZ speed"},
    {Qt::Key_Equal, KeyAction::PtzFaster, kMain, nullptr, nullptr},
    {Qt::Key_Minus, KeyAction::PtzSlower, kMain, nullptr, nullptr},
    {Qt::Key_Space, KeyAction::PlayOrStop, kArchive, "Space", "play forwards / stop"},
    {Qt::Key_Escape, KeyAction::Viewer, kArchive, "Esc", "Viewer"},
};

unsigned Bit(KeyWindow window)
{
    return window == KeyWindow::Main ? kMain : kArchive;
}

} // namespace

std::optional<KeyAction> KeyActionOf(KeyWindow window, int nKey)
{
    for (const KeyBinding &k : kKeys)
        if (k.nKey == nKey && (k.windows & Bit(window)))
            return k.action;
    return std::nullopt;
}

std::optional<KeyAction> TakeKey(KeyWindow window, QKeyEvent &event)
{
    const std::optional<KeyAction> action = KeyActionOf(window, event.key());
    if (!action) {
        event.ignore();
        return std::nullopt;
    }
    event.accept();
    if (event.isAutoRepeat())
        return std::nullopt;
    return action;
}

QString KeyboardHelpText()
{
    QString text;
    for (KeyWindow window : {KeyWindow::Main, KeyWindow::Archive}) {
        text += window == KeyWindow::Main ? QStringLiteral("Keys, main window:")
                                          : QStringLiteral("\nKeys, archive window:");
        for (const KeyBinding &k : kKeys)
            if (k.szName && (k.windows & Bit(window)))
                text += QStringLiteral("\n  %1  %2")
                            .arg(QLatin1String(k.szName), QLatin1String(k.szText));
    }
    return text;
}
