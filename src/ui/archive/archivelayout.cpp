#include "ui/archive/archivelayout.h"

#include "ui/controls/skinids.h"

namespace archivelayout {

namespace {

constexpr int kPlayX[5] = {732, 774, 817, 859, 901};
constexpr int kJumpX[4] = {751, 795, 839, 883};
constexpr int kChannelX[16] = {342, 373, 400, 428, 456, 485, 513, 541,
                               568, 596, 625, 652, 680, 709, 736, 764};

std::array<ControlPlace, CTRL_COUNT> MakeControls()
{
    std::array<ControlPlace, CTRL_COUNT> table{};
    table[CTRL_VIEWER] = {CTRL_VIEWER, 732, 16, 118, 23, IDB_VIEWER_UP, IDB_VIEWER_DOWN,
                          ControlKind::Push};
    for (int i = 0; i < 5; ++i)
        table[CTRL_PLAY_1 + i] = {ControlId(CTRL_PLAY_1 + i), kPlayX[i], 255, 38, 40,
                                  kPlayUpId[i],       kPlayDownId[i], ControlKind::Latching};
    for (int i = 0; i < 4; ++i)
        table[CTRL_JUMP_1 + i] = {ControlId(CTRL_JUMP_1 + i), kJumpX[i], 306, 38, 40,
                                  kJumpUpId[i],       kJumpDownId[i], ControlKind::Push};
    table[CTRL_SAVE] = {CTRL_SAVE, 808, 574, 62, 51, IDB_SAVE_UP, IDB_SAVE_DOWN, ControlKind::Push};
    table[CTRL_PRINT] = {CTRL_PRINT, 877, 574, 62, 51, IDB_PRINT_UP, IDB_PRINT_DOWN,
                         ControlKind::Push};
    table[CTRL_EVENT] = {CTRL_EVENT, 808, 629, 62, 51, IDB_EVENT_UP, IDB_EVENT_DOWN,
                         ControlKind::Push};
    table[CTRL_RECORD] = {CTRL_RECORD, 877, 629, 62, 51, IDB_RECORD_UP, IDB_RECORD_DOWN,
                          ControlKind::Latching};
    table[CTRL_RECEIVE_LAMP] = {CTRL_RECEIVE_LAMP, 730, 200, 33, 33, IDB_ARCHIVE_RECEIVE_OFF,
                                IDB_ARCHIVE_RECEIVE_ON, ControlKind::Indicator};
    table[CTRL_SINGLE] = {CTRL_SINGLE, 57, 525, 25, 26, IDB_SINGLE_UP, IDB_SINGLE_DOWN,
                          ControlKind::Latching};
    table[CTRL_QUAD] = {CTRL_QUAD, 86, 525, 26, 26, IDB_QUAD_UP, IDB_QUAD_DOWN,
                        ControlKind::Latching};
    for (int k = 0; k < 16; ++k)
        table[CTRL_CHANNEL_1 + k] = {ControlId(CTRL_CHANNEL_1 + k),
                                     kChannelX[k],
                                     636,
                                     k == 0 || k == 15 ? 31 : 28,
                                     30,
                                     ArchiveChannelUpId(k),
                                     ArchiveChannelLatchedId(k),
                                     ControlKind::Latching};
    return table;
}

} // namespace

const std::array<ControlPlace, CTRL_COUNT> &Controls()
{
    static const std::array<ControlPlace, CTRL_COUNT> kTable = MakeControls();
    return kTable;
}

const ControlPlace &Control(ControlId id)
{
    return Controls()[std::size_t(id)];
}

QRect CellRect(int nCell, int nGrid)
{
    if (nGrid < 1 || nCell < 0 || nCell >= nGrid * nGrid)
        return QRect();
    const int w = 640 / nGrid;
    const int h = 480 / nGrid;
    const int col = nCell % nGrid;
    const int row = nCell / nGrid;
    const int left = w * col + 63;
    const int top = h * row + 23;
    const int right = w * (col + 1) + 61; // exclusive
    const int bottom = h * (row + 1) + 21;
    return QRect(left, top, right - left, bottom - top);
}

QRect ArchiveCropRect(int nWidth, int nHeight, bool bFieldFlag, bool bWidthFlag)
{
    const bool bField = nHeight == 240;
    const int nLeft = bField ? 9 : 14;
    int nTop = bField ? 8 : 12;
    int w = nWidth - nLeft - 18;
    const int h = nHeight - nTop - 1;
    if (!bFieldFlag)
        ++nTop; // the height stays as computed
    if (!bWidthFlag)
        w += 2;
    if (w <= 0 || h <= 0)
        return QRect();
    return QRect(nLeft, nTop, w, h).intersected(QRect(0, 0, nWidth, nHeight));
}

} // namespace archivelayout
