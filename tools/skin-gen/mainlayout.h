#pragma once

// Where the main view places each bitmap (top-left, form pixels). The artwork of a button
// starts from the background under it, so rounded corners blend into the panel; bitmaps
// used at several places sit on flat panel colour at all of them.

#include <QImage>
#include <QPainterPath>
#include <QSize>
#include <QPoint>
#include <QPointF>
#include <QRect>

#include <vector>

namespace skin {

struct Placement {
    int nId;
    QPoint pos;
};

// First (or only) place of every bitmap id; the preview adds the other places.
const std::vector<Placement> &MainPlacements();
QPoint PlacementOf(int nId);

// Channel button x positions (y = 640) and screen-mode x positions (y = 598).
inline constexpr int kChannelX[16] = {311, 343, 371, 398, 426, 455, 482, 510,
                                      538, 566, 594, 622, 650, 678, 706, 735};
inline constexpr int kScreenX[7] = {368, 419, 470, 521, 572, 623, 674};

// PTZ pad: a ring of four keys around a hub; the keys are the ring clipped to the
// button rectangles.
inline const QPointF kPadCentre(797.5, 497.0);
inline constexpr double kPadOuter = 59.5;
inline constexpr double kPadInner = 26.0;
inline const QRect kPadHub(774, 473, 47, 47);
inline const QRect kSpeedText(790, 500, 21, 12); // the view draws "%02d" here

// Size of a bitmap id from the role table; an empty size for unknown ids.
QSize RoleSize(int nId);
// A key of the pad: the ring clipped to the button's rectangle (form coordinates).
QPainterPath PadKey(const QRect &rcButton);

QImage DrawMainBackground();
QImage DrawRole(int nId, const QImage &background);

} // namespace skin
