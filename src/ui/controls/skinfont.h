#pragma once

// The controls' font: "Tahoma". Debian ships it outside fontconfig's path (in the wine
// font folder), so it is added to the application's fonts the first time it is asked
// for; where it is missing a sans of the same pixel size stands in.

#include <QFont>

// Adds Tahoma to the application's fonts once; true when the family is there.
// Needs a QGuiApplication, as does ControlFont.
bool LoadTahoma();

QFont ControlFont(int nPixelSize, bool bBold = false);

// The windows' small font (status texts, time block, notices): "Tahoma", cell height 12 px, bold, grid-fitted without
// smoothing. Tahoma is loaded from the wine font folder when it exists and keeps its
// natural width (narrowing hinted glyphs this small spoils them; every text fits its
// rectangle as it is). Otherwise a bold sans of the same pixel size stands in,
// narrowed to an average width of about 5 px so it fits as well.
QFont SmallFont();
