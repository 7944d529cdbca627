#pragma once

// The controls' font: "Tahoma". Debian ships it outside fontconfig's path (in the wine
// font folder), so it is added to the application's fonts the first time it is asked
// for; where it is missing a sans of the same pixel size stands in.

#include <QFont>

// Needs a QGuiApplication.
QFont ControlFont(int nPixelSize, bool bBold = false);
