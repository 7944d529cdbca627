#include "settings/settingsmapping.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

namespace {

// One row per list: list length, stored value of every position, default value.
struct ListRow {
    const char *name;
    int (*toPos)(uint8_t);
    uint8_t (*fromPos)(int);
    std::vector<int> storedByPos;
    uint8_t fallback;
    std::size_t itemCount;
};

class ListMapping : public ::testing::TestWithParam<ListRow> {};

} // namespace

TEST_P(ListMapping, PositionsAndStoredValuesMapBothWays)
{
    const ListRow row = GetParam();
    ASSERT_EQ(row.storedByPos.size(), row.itemCount) << row.name;
    for (int pos = 0; pos < int(row.storedByPos.size()); ++pos) {
        const int stored = row.storedByPos[pos];
        EXPECT_EQ(row.fromPos(pos), stored) << row.name << " position " << pos;
        EXPECT_EQ(row.toPos(uint8_t(stored)), pos) << row.name << " stored " << stored;
    }
    // Nothing selected stores the default; values no item shows select nothing.
    EXPECT_EQ(row.fromPos(-1), row.fallback) << row.name;
    EXPECT_EQ(row.fromPos(int(row.itemCount)), row.fallback) << row.name;
    for (int v = 0; v < 256; ++v) {
        const bool shown =
            std::find(row.storedByPos.begin(), row.storedByPos.end(), v) != row.storedByPos.end();
        if (!shown) {
            EXPECT_EQ(row.toPos(uint8_t(v)), -1) << row.name << " stored " << v;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Lists, ListMapping,
                         ::testing::Values(ListRow{"rotate",
                                                   RotateIntervalToListPos,
                                                   ListPosToRotateInterval,
                                                   {1, 2, 3, 4, 5, 10},
                                                   3,
                                                   std::size(ROTATE_INTERVAL_ITEMS)},
                                           ListRow{"reconnect",
                                                   ReconnectCountToListPos,
                                                   ListPosToReconnectCount,
                                                   {1, 2, 3, 4, 5, 6},
                                                   3,
                                                   std::size(RECONNECT_COUNT_ITEMS)},
                                           ListRow{"scan",
                                                   RequestSpeedToListPos,
                                                   ListPosToRequestSpeed,
                                                   {1, 2, 3, 4, 5, 6, 7},
                                                   4,
                                                   std::size(SCAN_RATE_ITEMS)},
                                           ListRow{"ptz",
                                                   PtzTypeToListPos,
                                                   ListPosToPtzType,
                                                   {0, 1, 2, 3, 4, 5},
                                                   1,
                                                   std::size(PTZ_TYPE_ITEMS)},
                                           ListRow{"duration",
                                                   RecordDurationToListPos,
                                                   ListPosToRecordDuration,
                                                   {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13},
                                                   4,
                                                   std::size(RECORD_DURATION_ITEMS)}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(RotateInterval, TenSecondsIsTheLastItemAndStoresTen)
{
    EXPECT_STREQ(ROTATE_INTERVAL_ITEMS[RotateIntervalToListPos(10)], "10 SEC");
    EXPECT_EQ(ListPosToRotateInterval(5), 10);
    EXPECT_EQ(RotateIntervalToListPos(6), -1);
}

TEST(RecordDuration, StepsToMilliseconds)
{
    const int expected[] = {15000, 3000,  5000,  10000, 15000, 20000, 25000, 30000,
                            35000, 40000, 45000, 50000, 55000, 60000, 15000};
    for (int step = 0; step <= 14; ++step)
        EXPECT_EQ(RecordDurationToMs(uint8_t(step)), expected[step]) << "step " << step;
    EXPECT_EQ(RecordDurationToMs(255), 15000);
    // The list text agrees with the milliseconds.
    EXPECT_STREQ(RECORD_DURATION_ITEMS[RecordDurationToListPos(13)], "01MIN");
    EXPECT_STREQ(RECORD_DURATION_ITEMS[RecordDurationToListPos(4)], "15SEC");
}

TEST(RequestSpeed, StepIsAPowerOfTwo)
{
    const char *labels[] = {"1X", "2X", "4X", "8X", "16X", "32X", "64X"};
    for (uint8_t step = 1; step <= 7; ++step) {
        EXPECT_EQ(std::to_string(RequestSpeedRate(step)) + "X", labels[step - 1]);
        EXPECT_STREQ(SCAN_RATE_ITEMS[RequestSpeedToListPos(step)], labels[step - 1]);
    }
    EXPECT_EQ(RequestSpeedRate(0), 0);
    EXPECT_EQ(RequestSpeedRate(8), 0);
    EXPECT_STREQ(SCAN_RATE_ITEMS[RequestSpeedToListPos(4)], "8X"); // the default step
}
