// When a shown picture counts as frozen: a script of pictures, restarts and checks on
// one slot, with the mark each check must leave.

#include "ui/picture/stalewatch.h"
#include "support/samepicture.h"
#include "support/testapp.h"

#include <QGuiApplication>
#include <QPainter>

#include <gtest/gtest.h>

#include <vector>

namespace {

enum Kind { PICTURE, RESTART, CHECK, CHECK_NOT_EXPECTED };
struct Step {
    int64_t t;
    Kind kind;
    int nMark = -1; // after a check: the seconds shown, -1 for no mark
};

// Pictures every nEvery ms from nFrom to nTo inclusive.
std::vector<Step> Pictures(int64_t nFrom, int64_t nTo, int64_t nEvery)
{
    std::vector<Step> steps;
    for (int64_t t = nFrom; t <= nTo; t += nEvery)
        steps.push_back({t, PICTURE});
    return steps;
}

struct Row {
    const char *name;
    std::vector<Step> steps;
};

std::vector<Step> Join(std::initializer_list<std::vector<Step>> parts)
{
    std::vector<Step> all;
    for (const auto &p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

class StaleWatchTest : public ::testing::TestWithParam<Row> {};

TEST_P(StaleWatchTest, MarksFollowTheScript)
{
    CStaleWatch watch;
    int nStep = 0;
    for (const Step &step : GetParam().steps) {
        ++nStep;
        switch (step.kind) {
        case PICTURE:
            watch.OnPicture(0, step.t);
            EXPECT_EQ(watch.MarkSeconds(0), -1) << "step " << nStep;
            break;
        case RESTART:
            watch.Restart(step.t);
            break;
        case CHECK:
        case CHECK_NOT_EXPECTED:
            watch.Update(0, step.kind == CHECK, step.t);
            EXPECT_EQ(watch.MarkSeconds(0), step.nMark) << "step " << nStep << " at " << step.t;
            EXPECT_EQ(watch.AnyMark(), step.nMark >= 0);
            break;
        }
    }
    // Slots outside 0..15 are never indexed: their pictures and checks change nothing.
    for (int nSlot : {-1, CStaleWatch::kSlots}) {
        EXPECT_FALSE(watch.OnPicture(nSlot, 0)) << nSlot;
        EXPECT_FALSE(watch.Update(nSlot, true, 1000000)) << nSlot;
        EXPECT_EQ(watch.MarkSeconds(nSlot), -1) << nSlot;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Scripts, StaleWatchTest,
    ::testing::Values(
        Row{"TwoSecondsThenCountsUpEachSecond", Join({Pictures(0, 1000, 40),
                                                      {{2999, CHECK, -1},
                                                       {3000, CHECK, 2},
                                                       {3999, CHECK, 2},
                                                       {4000, CHECK, 3},
                                                       {67000, CHECK, 66},
                                                       {67100, PICTURE},
                                                       {67200, CHECK, -1}}})},
        Row{"SlowChannelWaitsThreeIntervals",
            Join({Pictures(0, 9000, 3000), {{17999, CHECK, -1}, {18000, CHECK, 9}}})},
        Row{"ABurstAfterAGapBringsTwoSecondsBack", Join({Pictures(0, 1000, 40),
                                                         Pictures(11000, 11800, 40),
                                                         {{13799, CHECK, -1}, {13800, CHECK, 2}}})},
        Row{"NoMarkWhileNoStreamIsExpected", Join({Pictures(0, 1000, 40),
                                                   {{5000, CHECK_NOT_EXPECTED, -1},
                                                    {5000, CHECK, 4},
                                                    {6000, CHECK_NOT_EXPECTED, -1}}})},
        Row{"ARequestGivesNewPicturesTwoSeconds",
            {{0, PICTURE}, {5000, RESTART}, {6999, CHECK, -1}, {7000, CHECK, 7}}},
        Row{"AMarkShowingStaysThroughARequest",
            {{0, PICTURE}, {3000, CHECK, 3}, {3500, RESTART}, {4000, CHECK, 4}}},
        Row{"NoPictureNoMark", {{10000, CHECK, -1}}}),
    [](const ::testing::TestParamInfo<Row> &info) { return std::string(info.param.name); });

TEST(StaleMark, TextInMinutesAndSecondsThenHoursPaintedOnABandInAFrame)
{
    EXPECT_EQ(StaleMarkText(7), QStringLiteral("NO NEW PICTURE 00:07"));
    EXPECT_EQ(StaleMarkText(3599), QStringLiteral("NO NEW PICTURE 59:59"));
    EXPECT_EQ(StaleMarkText(3723), QStringLiteral("NO NEW PICTURE 1:02:03"));

    // Painted: a red frame 3 pixels wide inside the tile and nothing outside it; at its
    // foot a red band as high as the given font's lines and 6 pixels, the text on it in
    // white.
    testsupport::TestApp<QGuiApplication>();
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(17);
    QImage image(360, 280, QImage::Format_RGB32);
    image.fill(Qt::black);
    QPainter painter(&image);
    PaintStaleMark(painter, QRect(10, 20, 320, 240), 3723, font);
    painter.end();
    EXPECT_TRUE(testsupport::SamePicture(image, "ui/data/stalemark.png"));
}

} // namespace
