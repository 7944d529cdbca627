#pragma once

// The archive window's artwork: its background (1024 x 768, of which the window shows
// 951 x 684) and the bitmaps placed on it, each cut from the background under it. The
// positions are the archive window's layout in window pixels.

#include <QImage>
#include <QPoint>

#include <map>

namespace skin {

// Play buttons (y = 255) and jump buttons (y = 306), left to right.
inline constexpr int kPlayX[5] = {732, 774, 817, 859, 901};
inline constexpr int kJumpX[4] = {751, 795, 839, 883};
// Channel buttons (y = 636).
inline constexpr int kArchiveChannelX[16] = {342, 373, 400, 428, 456, 485, 513, 541,
                                             568, 596, 625, 652, 680, 709, 736, 764};
// The time slider's client rectangle and the part of its width the thumb travels.
inline constexpr int kSliderX = 206;
inline constexpr int kSliderY = 602;
inline constexpr int kSliderWidth = 583;

bool IsArchiveRole(int nId);
QImage DrawArchiveBackground();
QImage DrawArchiveRole(int nId, const QImage &background);
// The window as the operator sees it while playing four channels, for judging the whole.
QImage ArchivePreview(const std::map<int, QImage> &images);

} // namespace skin
