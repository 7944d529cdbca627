#pragma once
// Fixed pixel layout of the archive window: its controls in one table, the picture
// cells, the rectangles of its texts, and the crop of played pictures.

#include <QRect>

#include <array>

namespace archivelayout {

constexpr int kWidth = 951;
constexpr int kHeight = 684;
constexpr QPoint kCreatePos(100, 100);

// Picture area (right and bottom exclusive).
constexpr QRect kPictureRect(62, 22, 640, 480);

enum ControlId {
    CTRL_VIEWER,
    CTRL_PLAY_1, // ... five play buttons: fast reverse, reverse, stop, play, fast forward
    CTRL_JUMP_1 = CTRL_PLAY_1 + 5, // ... four jump buttons: begin, oback, oplay, end
    CTRL_SAVE = CTRL_JUMP_1 + 4,
    CTRL_PRINT,
    CTRL_EVENT,
    CTRL_RECORD,
    CTRL_RECEIVE_LAMP,
    CTRL_SINGLE,
    CTRL_QUAD,
    CTRL_CHANNEL_1, // ... 16 channel buttons
    CTRL_COUNT = CTRL_CHANNEL_1 + 16
};

enum class ControlKind { Push, Latching, Indicator };

struct ControlPlace {
    ControlId id;
    int x, y, w, h;
    int nUpBitmap;
    int nDownBitmap;
    ControlKind kind;
};

// The whole table, row for row (play, jump and channel rows expanded).
const std::array<ControlPlace, CTRL_COUNT> &Controls();
const ControlPlace &Control(ControlId id);

// The time slider's client rectangle and the calendar's place.
constexpr QRect kSliderRect(206, 602, 583, 16);
constexpr QPoint kCalendarPos(722, 376);

// The optional logo "./logo/blogo.bmp".
constexpr QRect kLogoRect(840, 75, 165, 65);

// Cell i of the layout: 1 = one channel, 2 = a 2 x 2 grid. Inside the picture area
// with a one-pixel gap; right and bottom exclusive.
QRect CellRect(int nCell, int nGrid);

// Source rectangle of a played picture in top-down picture coordinates: 9 columns
// and 8 rows off the left and top of a 240-row field, 14 and 12 otherwise; 18 columns
// and 1 row off the right and bottom. A field flag of 0 takes one more top row (the
// height stays), a width flag of 0 keeps 2 more columns. Clipped to the picture, so
// a picture smaller than the margins gives an empty rectangle, never a negative one.
QRect ArchiveCropRect(int nWidth, int nHeight, bool bFieldFlag, bool bWidthFlag);

// Texts, in the small font unless said otherwise. A text is drawn at least as high
// as the font's lines and as wide as it needs, so none is cut.
constexpr QRect kStartLabelRect(740, 69, 180, 10);
constexpr QRect kStartRect(740, 79, 190, 15);
constexpr QRect kEndLabelRect(740, 94, 190, 15);
constexpr QRect kEndRect(740, 109, 190, 15);
constexpr QRect kRequestLabelRect(740, 124, 190, 15);
constexpr QRect kRequestRect(740, 139, 190, 10);
constexpr QRect kTimeBlockRect(740, 66, 190, 86); // all of the above with their overflow
constexpr QRect kPlayTimeRect(215, 640, 100, 20);
// The notice area, widened to the right so the longest status text fits whole.
constexpr QRect kNoticeRect(770, 205, 166, 25);
constexpr QRect kEndNoticeRect(770, 205, 166, 30);
// The picture time stamp (large font, red): at (0, 400), widened to its text.
constexpr QPoint kStampPos(0, 400);
constexpr int kStampHeight = 50;

} // namespace archivelayout
