#pragma once
// The keys of the main window and the archive window: one table, read by both
// windows and listed by the About box. Each key does what a click on its button
// does; a key held down acts once.

#include <QString>

#include <optional>

class QKeyEvent;

enum class KeyAction {
    Channel1, // Channel2..4 follow
    Channel2,
    Channel3,
    Channel4,
    Quad,
    Single,
    Rotate,
    Archive,
    AlarmList,
    DefaultOrder, // the layout's tiles back to their default order
    FullScreen,      // on/off
    LeaveFullScreen, // Esc in the main window
    PtzFaster,
    PtzSlower,
    PlayOrStop, // play forwards when stopped, stop when playing
    Viewer,
};

enum class KeyWindow { Main, Archive };

// The action of a key (Qt::Key) in that window, none when the key is not its.
std::optional<KeyAction> KeyActionOf(KeyWindow window, int nKey);
// The channel index 0..3 of a channel action.
inline int ChannelOf(KeyAction action)
{
    return int(action) - int(KeyAction::Channel1);
}
inline bool IsChannelAction(KeyAction action)
{
    return action >= KeyAction::Channel1 && action <= KeyAction::Channel4;
}

// A key press in that window: the action of a key of the window pressed anew. The
// event is accepted for the window's keys (a held key's repeats give none) and
// ignored for the rest, so that they go on to the parent as a widget's would.
std::optional<KeyAction> TakeKey(KeyWindow window, QKeyEvent &event);
// The table as the About box lists it.
QString KeyboardHelpText();
