#pragma once

// The controls' font: "Tahoma". Debian ships it outside fontconfig's path (in the wine
// font folder), so it is added to the application's fonts the first time it is asked
// for; where it is missing a sans of the same pixel size stands in.

#include <QFont>

// Adds Tahoma to the application's fonts once; true when the family is there.
// Needs a QGuiApplication, as does ControlFont.
bool LoadTahoma();

QFont ControlFont(int nPixelSize, bool bBold = false);
