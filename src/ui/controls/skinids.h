#pragma once

// Numeric ids of the skin bitmaps of the main view, its status panel and its PTZ panel,
// and of the archive window and its time slider,
// and the loader that finds their artwork in the Qt resources (":/skin/<id>.png").
// The numbers are the ones the windows' layouts refer to; the pictures are drawn by
// tools/skin-gen and compiled in from src/ui/controls/skin.qrc.

#include <QImage>
#include <QPixmap>

enum SkinBitmapId : int {
    // Main view
    IDB_MAIN_BACKGROUND = 162, // 877 x 685, whole form
    IDB_LINK_NORMAL = 163,     // 33 x 32, Connect and Disconnect, released
    IDB_LINK_LATCHED = 164,    // 33 x 32, Connect and Disconnect, latched

    // Screen-mode buttons 1..7 (1, 4, 7, 9, 10, 13, 16 tiles), 40 x 25 each: normal, latched
    IDB_SCREEN1_NORMAL = 165,
    IDB_SCREEN1_LATCHED = 166,
    IDB_SCREEN4_NORMAL = 167,
    IDB_SCREEN4_LATCHED = 168,
    IDB_SCREEN7_NORMAL = 169,
    IDB_SCREEN7_LATCHED = 170,
    IDB_SCREEN9_NORMAL = 171,
    IDB_SCREEN9_LATCHED = 172,
    IDB_SCREEN10_NORMAL = 173,
    IDB_SCREEN10_LATCHED = 174,
    IDB_SCREEN13_NORMAL = 175,
    IDB_SCREEN13_LATCHED = 176,
    IDB_SCREEN16_NORMAL = 177,
    IDB_SCREEN16_LATCHED = 178,

    // PTZ pad (momentary): normal, held. Actions 1, 3, 5, 7 are the hidden diagonals.
    IDB_PTZ_UP = 189, // action 0, 51 x 34
    IDB_PTZ_UP_HELD = 190,
    IDB_PTZ_UPLEFT = 191, // action 1, 35 x 32
    IDB_PTZ_UPLEFT_HELD = 192,
    IDB_PTZ_LEFT = 193, // action 2, 36 x 51
    IDB_PTZ_LEFT_HELD = 194,
    IDB_PTZ_DOWNLEFT = 195, // action 3, 39 x 39
    IDB_PTZ_DOWNLEFT_HELD = 196,
    IDB_PTZ_DOWN = 197, // action 4, 51 x 36
    IDB_PTZ_DOWN_HELD = 198,
    IDB_PTZ_DOWNRIGHT = 199, // action 5, 40 x 39
    IDB_PTZ_DOWNRIGHT_HELD = 200,
    IDB_PTZ_RIGHT = 201, // action 6, 34 x 51
    IDB_PTZ_RIGHT_HELD = 202,
    IDB_PTZ_UPRIGHT = 203, // action 7, 45 x 38
    IDB_PTZ_UPRIGHT_HELD = 204,

    // Small push/latch buttons beside the "CIRCULAR", "SETTING" and "ARCHIVE" captions of
    // the background, 51 x 11 (the three buttons share them, so the captions are not on them)
    IDB_SMALL_DOWN = 216, // down / latched
    IDB_SMALL_UP = 217,   // up / normal

    IDB_RECEIVE_OFF = 220, // receive lamp, 40 x 40
    IDB_RECEIVE_ON = 221,

    // Zoom and focus pairs (actions 8/10 share "+", 9/11 share "-"), 25 x 18: normal, held
    IDB_PTZ_PLUS = 222,
    IDB_PTZ_PLUS_HELD = 223,
    IDB_PTZ_MINUS = 224,
    IDB_PTZ_MINUS_HELD = 225,

    IDB_EXIT_UP = 261, // 114 x 22
    IDB_EXIT_DOWN = 262,

    IDB_SPEED_UP = 301, // action 13, 21 x 20
    IDB_SPEED_UP_HELD = 302,
    IDB_SPEED_DOWN = 303, // action 14, 20 x 20
    IDB_SPEED_DOWN_HELD = 304,

    // Channel buttons: 1 and 16 are 31 x 30, 2..15 are 28 x 30.
    // The numbering is not in channel order; use the two tables below.
    IDB_CH1_NORMAL = 310,
    IDB_CH10_NORMAL = 311,
    IDB_CH11_NORMAL = 312,
    IDB_CH12_NORMAL = 313,
    IDB_CH13_NORMAL = 314,
    IDB_CH14_NORMAL = 315,
    IDB_CH15_NORMAL = 316,
    IDB_CH16_NORMAL = 317,
    IDB_CH2_NORMAL = 318,
    IDB_CH3_NORMAL = 319,
    IDB_CH4_NORMAL = 320,
    IDB_CH5_NORMAL = 325,
    IDB_CH6_NORMAL = 326,
    IDB_CH7_NORMAL = 327,
    IDB_CH8_NORMAL = 328,
    IDB_CH9_NORMAL = 329,
    IDB_CH1_LATCHED = 330,
    IDB_CH10_LATCHED = 331,
    IDB_CH11_LATCHED = 332,
    IDB_CH12_LATCHED = 333,
    IDB_CH13_LATCHED = 334,
    IDB_CH14_LATCHED = 335,
    IDB_CH15_LATCHED = 336,
    IDB_CH16_LATCHED = 337,
    IDB_CH2_LATCHED = 338,
    IDB_CH3_LATCHED = 339,
    IDB_CH4_LATCHED = 340,
    IDB_CH5_LATCHED = 341,
    IDB_CH6_LATCHED = 342,
    IDB_CH7_LATCHED = 343,
    IDB_CH8_LATCHED = 344,
    IDB_CH9_LATCHED = 345,

    // Archive window
    IDB_ARCHIVE_BACKGROUND = 400, // 1024 x 768, drawn at (0, 0); the window shows 951 x 684
    IDB_VIEWER_UP = 401,          // 118 x 23, "Viewer" (back to the live view)
    IDB_VIEWER_DOWN = 402,
    // Play buttons 38 x 40, up and down (latched): fast reverse, reverse, stop, play,
    // fast forward; use kPlayUpId / kPlayDownId.
    IDB_PLAY_FAST_REVERSE_UP = 403,
    IDB_PLAY_FAST_FORWARD_DOWN = 412,
    // Jump buttons 38 x 40, up and down: begin, one hour back, one hour on, end;
    // use kJumpUpId / kJumpDownId.
    IDB_JUMP_BEGIN_UP = 413,
    IDB_JUMP_END_DOWN = 420,
    IDB_SAVE_UP = 421, // 62 x 51 each
    IDB_SAVE_DOWN = 422,
    IDB_PRINT_UP = 423,
    IDB_PRINT_DOWN = 424,
    IDB_EVENT_UP = 425,
    IDB_EVENT_DOWN = 426,
    IDB_RECORD_UP = 427,
    IDB_RECORD_DOWN = 428, // down while recording
    IDB_ARCHIVE_RECEIVE_OFF = 429, // 33 x 33
    IDB_ARCHIVE_RECEIVE_ON = 430,
    IDB_SINGLE_UP = 431, // 25 x 26
    IDB_SINGLE_DOWN = 432,
    IDB_QUAD_UP = 433, // 26 x 26
    IDB_QUAD_DOWN = 434,
    // Archive channel buttons k = 0..15 left to right: 440 + k up, 456 + k latched;
    // 1 and 16 are 31 x 30, 2..15 are 28 x 30.
    IDB_ARCHIVE_CH1_UP = 440,
    IDB_ARCHIVE_CH1_LATCHED = 456,
    IDB_SLIDER_TRACK = 480, // 583 x 16, the time slider's track
    IDB_SLIDER_THUMB = 481, // 4 x 26, its thumb; the top-left pixel's colour is transparent
};

// Channel button k (0..15, left to right): bitmap ids for released and latched.
inline constexpr int kChannelNormalId[16] = {310, 318, 319, 320, 325, 326, 327, 328,
                                             329, 311, 312, 313, 314, 315, 316, 317};
inline constexpr int kChannelLatchedId[16] = {330, 338, 339, 340, 341, 342, 343, 344,
                                              345, 331, 332, 333, 334, 335, 336, 337};

// Screen-mode button i (0..6, left to right): bitmap ids for released and latched.
inline constexpr int kScreenNormalId[7] = {165, 167, 169, 171, 173, 175, 177};
inline constexpr int kScreenLatchedId[7] = {166, 168, 170, 172, 174, 176, 178};

// PTZ action index (0..7 pad, 8..11 zoom/focus, 13/14 speed; 12 has no button):
// bitmap ids for normal and held, 0 where there is no button.
inline constexpr int kPtzNormalId[15] = {189, 191, 193, 195, 197, 199, 201, 203,
                                         222, 224, 222, 224, 0,   301, 303};
inline constexpr int kPtzHeldId[15] = {190, 192, 194, 196, 198, 200, 202, 204,
                                       223, 225, 223, 225, 0,   302, 304};

// Archive play button i (0..4: fast reverse, reverse, stop, play, fast forward) and jump
// button j (0..3: begin, one hour back, one hour on, end): bitmap ids up and down.
inline constexpr int kPlayUpId[5] = {403, 405, 407, 409, 411};
inline constexpr int kPlayDownId[5] = {404, 406, 408, 410, 412};
inline constexpr int kJumpUpId[4] = {413, 415, 417, 419};
inline constexpr int kJumpDownId[4] = {414, 416, 418, 420};
// Archive channel button k (0..15): bitmap ids up and latched.
inline constexpr int ArchiveChannelUpId(int k) { return IDB_ARCHIVE_CH1_UP + k; }
inline constexpr int ArchiveChannelLatchedId(int k) { return IDB_ARCHIVE_CH1_LATCHED + k; }

// Every bitmap of the skin with its exact size, for the generator and the checks.
struct SkinRole {
    int nId;
    int nWidth;
    int nHeight;
    const char *pszRole;
};

inline constexpr SkinRole kSkinRoles[] = {
    {162, 877, 685, "main view background"},
    {163, 33, 32, "connect/disconnect released"},
    {164, 33, 32, "connect/disconnect latched"},
    {165, 40, 25, "screen mode 1 tile"},
    {166, 40, 25, "screen mode 1 tile latched"},
    {167, 40, 25, "screen mode 4 tiles"},
    {168, 40, 25, "screen mode 4 tiles latched"},
    {169, 40, 25, "screen mode 7 tiles"},
    {170, 40, 25, "screen mode 7 tiles latched"},
    {171, 40, 25, "screen mode 9 tiles"},
    {172, 40, 25, "screen mode 9 tiles latched"},
    {173, 40, 25, "screen mode 10 tiles"},
    {174, 40, 25, "screen mode 10 tiles latched"},
    {175, 40, 25, "screen mode 13 tiles"},
    {176, 40, 25, "screen mode 13 tiles latched"},
    {177, 40, 25, "screen mode 16 tiles"},
    {178, 40, 25, "screen mode 16 tiles latched"},
    {189, 51, 34, "PTZ up"},
    {190, 51, 34, "PTZ up held"},
    {191, 35, 32, "PTZ up-left (hidden)"},
    {192, 35, 32, "PTZ up-left held (hidden)"},
    {193, 36, 51, "PTZ left"},
    {194, 36, 51, "PTZ left held"},
    {195, 39, 39, "PTZ down-left (hidden)"},
    {196, 39, 39, "PTZ down-left held (hidden)"},
    {197, 51, 36, "PTZ down"},
    {198, 51, 36, "PTZ down held"},
    {199, 40, 39, "PTZ down-right (hidden)"},
    {200, 40, 39, "PTZ down-right held (hidden)"},
    {201, 34, 51, "PTZ right"},
    {202, 34, 51, "PTZ right held"},
    {203, 45, 38, "PTZ up-right (hidden)"},
    {204, 45, 38, "PTZ up-right held (hidden)"},
    {216, 51, 11, "small button down/latched"},
    {217, 51, 11, "small button up"},
    {220, 40, 40, "receive lamp off"},
    {221, 40, 40, "receive lamp on"},
    {222, 25, 18, "zoom/focus +"},
    {223, 25, 18, "zoom/focus + held"},
    {224, 25, 18, "zoom/focus -"},
    {225, 25, 18, "zoom/focus - held"},
    {261, 114, 22, "Exit up"},
    {262, 114, 22, "Exit down"},
    {301, 21, 20, "PTZ speed up"},
    {302, 21, 20, "PTZ speed up held"},
    {303, 20, 20, "PTZ speed down"},
    {304, 20, 20, "PTZ speed down held"},
    {310, 31, 30, "channel 1"},
    {311, 28, 30, "channel 10"},
    {312, 28, 30, "channel 11"},
    {313, 28, 30, "channel 12"},
    {314, 28, 30, "channel 13"},
    {315, 28, 30, "channel 14"},
    {316, 28, 30, "channel 15"},
    {317, 31, 30, "channel 16"},
    {318, 28, 30, "channel 2"},
    {319, 28, 30, "channel 3"},
    {320, 28, 30, "channel 4"},
    {325, 28, 30, "channel 5"},
    {326, 28, 30, "channel 6"},
    {327, 28, 30, "channel 7"},
    {328, 28, 30, "channel 8"},
    {329, 28, 30, "channel 9"},
    {330, 31, 30, "channel 1 latched"},
    {331, 28, 30, "channel 10 latched"},
    {332, 28, 30, "channel 11 latched"},
    {333, 28, 30, "channel 12 latched"},
    {334, 28, 30, "channel 13 latched"},
    {335, 28, 30, "channel 14 latched"},
    {336, 28, 30, "channel 15 latched"},
    {337, 31, 30, "channel 16 latched"},
    {338, 28, 30, "channel 2 latched"},
    {339, 28, 30, "channel 3 latched"},
    {340, 28, 30, "channel 4 latched"},
    {341, 28, 30, "channel 5 latched"},
    {342, 28, 30, "channel 6 latched"},
    {343, 28, 30, "channel 7 latched"},
    {344, 28, 30, "channel 8 latched"},
    {345, 28, 30, "channel 9 latched"},
    {400, 1024, 768, "archive background"},
    {401, 118, 23, "Viewer up"},
    {402, 118, 23, "Viewer down"},
    {403, 38, 40, "fast reverse"},
    {404, 38, 40, "fast reverse down"},
    {405, 38, 40, "reverse"},
    {406, 38, 40, "reverse down"},
    {407, 38, 40, "stop"},
    {408, 38, 40, "stop down"},
    {409, 38, 40, "play"},
    {410, 38, 40, "play down"},
    {411, 38, 40, "fast forward"},
    {412, 38, 40, "fast forward down"},
    {413, 38, 40, "jump begin"},
    {414, 38, 40, "jump begin down"},
    {415, 38, 40, "jump one hour back"},
    {416, 38, 40, "jump one hour back down"},
    {417, 38, 40, "jump one hour on"},
    {418, 38, 40, "jump one hour on down"},
    {419, 38, 40, "jump end"},
    {420, 38, 40, "jump end down"},
    {421, 62, 51, "save"},
    {422, 62, 51, "save down"},
    {423, 62, 51, "print"},
    {424, 62, 51, "print down"},
    {425, 62, 51, "event"},
    {426, 62, 51, "event down"},
    {427, 62, 51, "record"},
    {428, 62, 51, "record down"},
    {429, 33, 33, "archive receive lamp off"},
    {430, 33, 33, "archive receive lamp on"},
    {431, 25, 26, "single layout"},
    {432, 25, 26, "single layout down"},
    {433, 26, 26, "quad layout"},
    {434, 26, 26, "quad layout down"},
    {440, 31, 30, "archive channel 1"},
    {441, 28, 30, "archive channel 2"},
    {442, 28, 30, "archive channel 3"},
    {443, 28, 30, "archive channel 4"},
    {444, 28, 30, "archive channel 5"},
    {445, 28, 30, "archive channel 6"},
    {446, 28, 30, "archive channel 7"},
    {447, 28, 30, "archive channel 8"},
    {448, 28, 30, "archive channel 9"},
    {449, 28, 30, "archive channel 10"},
    {450, 28, 30, "archive channel 11"},
    {451, 28, 30, "archive channel 12"},
    {452, 28, 30, "archive channel 13"},
    {453, 28, 30, "archive channel 14"},
    {454, 28, 30, "archive channel 15"},
    {455, 31, 30, "archive channel 16"},
    {456, 31, 30, "archive channel 1 latched"},
    {457, 28, 30, "archive channel 2 latched"},
    {458, 28, 30, "archive channel 3 latched"},
    {459, 28, 30, "archive channel 4 latched"},
    {460, 28, 30, "archive channel 5 latched"},
    {461, 28, 30, "archive channel 6 latched"},
    {462, 28, 30, "archive channel 7 latched"},
    {463, 28, 30, "archive channel 8 latched"},
    {464, 28, 30, "archive channel 9 latched"},
    {465, 28, 30, "archive channel 10 latched"},
    {466, 28, 30, "archive channel 11 latched"},
    {467, 28, 30, "archive channel 12 latched"},
    {468, 28, 30, "archive channel 13 latched"},
    {469, 28, 30, "archive channel 14 latched"},
    {470, 28, 30, "archive channel 15 latched"},
    {471, 31, 30, "archive channel 16 latched"},
    {480, 583, 16, "time slider track"},
    {481, 4, 26, "time slider thumb"},
};

// The artwork of a skin bitmap id; a null image/pixmap when the id has none.
// SkinImage needs no display; SkinBitmap needs a QGuiApplication.
QImage SkinImage(int nId);
QPixmap SkinBitmap(int nId);
