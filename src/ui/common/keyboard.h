#pragma once
// The keys of the main window and the archive window, as the About box lists them.
// Each key does what a click on its button does; a key held down acts once.

#include <QString>

QString KeyboardHelpText();
