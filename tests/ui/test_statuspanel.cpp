// Status block and clock: texts by code, the event line, the AM/PM rule, and a
// rendering check that every text stays inside its rectangle and looks as it should.

#include "ui/live/statuspanel.h"
#include "support/samepicture.h"
#include "support/testapp.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QFontInfo>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>

#include <vector>

namespace {

QApplication &App()
{
    return testsupport::TestApp<QApplication>();
}

uint32_t EventWord(unsigned ch, unsigned alarm, unsigned loss, unsigned motion)
{
    return (alarm << 24) | (loss << 16) | (motion << 8) | ch;
}

struct StatusRow {
    uint32_t nCode;
    uint8_t byRetry;
    uint32_t dwEvent;
    const char *pszText;
};

TEST(StatusText, EveryCode)
{
    const std::vector<StatusRow> rows = {
        {0, 0, 0, "WAITING FOR CONNECTION."},
        {1, 0, 0, "CONNECTION ESTABLISHED."},
        {2, 0, 0, "CONNECTING.."},
        {4, 0, 0, "TRY RECONNECTION"},
        {5, 0, 0, "CONNECTION FAIL:"},
        {6, 1, 0, "TRY REQUEST IMAGE 1"},
        {6, 2, 0, "TRY REQUEST IMAGE 2"},
        {7, 0, EventWord(2, 1, 0, 1), "[CH 2] [Alarm:1 Loss:0 Motion:1]"},
        {7, 0, EventWord(0, 0, 0, 0), "[CH 0] [Alarm:0 Loss:0 Motion:0]"},
        {7, 0, EventWord(255, 255, 255, 255), "[CH 255] [Alarm:255 Loss:255 Motion:255]"},
        // Only the low 8 bits of the code count.
        {0x101, 0, 0, "CONNECTION ESTABLISHED."},
        {0xFFFFFF02, 0, 0, "CONNECTING.."},
        // Codes with no text clear the block.
        {3, 0, 0, ""},
        {8, 0, 0, ""},
    };
    for (const StatusRow &row : rows)
        EXPECT_EQ(StatusText(row.nCode, row.byRetry, row.dwEvent), QString::fromLatin1(row.pszText))
            << "code " << row.nCode;
}

TEST(StatusText, EventFieldsInOrderChannelAlarmLossMotion)
{
    // Each field in its own byte: a swapped shift shows up as a wrong number.
    EXPECT_EQ(EventText(EventWord(3, 4, 5, 6)), "[CH 3] [Alarm:4 Loss:5 Motion:6]");
    EXPECT_EQ(EventText(0x01000000), "[CH 0] [Alarm:1 Loss:0 Motion:0]");
    EXPECT_EQ(EventText(0x00010000), "[CH 0] [Alarm:0 Loss:1 Motion:0]");
    EXPECT_EQ(EventText(0x00000100), "[CH 0] [Alarm:0 Loss:0 Motion:1]");
}

TEST(WrapWords, BreaksAtSpacesWithinTheWidth)
{
    App();
    QFont font = SmallFont();
    QFontMetrics fm(font);
    const int w = fm.horizontalAdvance("AAA BBB");
    EXPECT_EQ(WrapWords("AAA BBB", fm, w), QStringList({"AAA BBB"}));
    EXPECT_EQ(WrapWords("AAA BBB", fm, w - 1), QStringList({"AAA", "BBB"}));
    EXPECT_EQ(WrapWords("AAA BBB CCC", fm, w), QStringList({"AAA BBB", "CCC"}));
    // A word wider than the line keeps a line of its own.
    EXPECT_EQ(WrapWords("AAAAAAAA B", fm, 1), QStringList({"AAAAAAAA", "B"}));
    EXPECT_TRUE(WrapWords("", fm, w).isEmpty());
}

struct ClockRow {
    int h, m, s;
    const char *pszText;
};

TEST(ClockText, AmPmRuleAtTheBoundaries)
{
    const std::vector<ClockRow> rows = {
        {0, 0, 0, "AM 00 : 00 : 00"},    {0, 5, 0, "AM 00 : 05 : 00"},
        {11, 59, 59, "AM 11 : 59 : 59"}, {12, 0, 0, "AM 12 : 00 : 00"},
        {12, 30, 0, "AM 12 : 30 : 00"},  {12, 59, 59, "AM 12 : 59 : 59"},
        {13, 0, 0, "PM 01 : 00 : 00"},   {23, 59, 59, "PM 11 : 59 : 59"},
    };
    for (const ClockRow &row : rows)
        EXPECT_EQ(TimeText(QTime(row.h, row.m, row.s)), QString::fromLatin1(row.pszText));
}

TEST(ClockText, DateWithoutLeadingZeros)
{
    EXPECT_EQ(DateText(QDate(2005, 12, 31)), "2005 / 12 / 31");
    EXPECT_EQ(DateText(QDate(2006, 1, 2)), "2006 / 1 / 2");
}

TEST(CStatusPanel, StartsWaitingWithTheWorkstationTime)
{
    App();
    const QDateTime before = QDateTime::currentDateTime();
    CStatusPanel panel;
    const QDateTime after = QDateTime::currentDateTime();
    EXPECT_EQ(panel.GetStatusText(), "WAITING FOR CONNECTION.");
    EXPECT_TRUE(panel.GetTimeText() == TimeText(before.time()) ||
                panel.GetTimeText() == TimeText(after.time()));
    EXPECT_TRUE(panel.GetDateText() == DateText(before.date()) ||
                panel.GetDateText() == DateText(after.date()));
}

TEST(CStatusPanel, ChangesAskForARepaintOfTheirBlock)
{
    App();
    CStatusPanel panel;
    std::vector<QRect> updates;
    panel.SetUpdateCallback([&](const QRect &rc) { updates.push_back(rc); });

    panel.ShowStatus(6, 1);
    EXPECT_EQ(panel.GetStatusText(), "TRY REQUEST IMAGE 1");
    ASSERT_EQ(updates.size(), 1u);
    EXPECT_TRUE(updates[0].contains(statusrect::kStatus));
    EXPECT_TRUE(updates[0].contains(statusrect::kStatusLabel));

    panel.DrawDateTime(QDateTime(QDate(2005, 12, 31), QTime(23, 59, 59)));
    EXPECT_EQ(panel.GetDateText(), "2005 / 12 / 31");
    EXPECT_EQ(panel.GetTimeText(), "PM 11 : 59 : 59");
    ASSERT_EQ(updates.size(), 2u);
    EXPECT_TRUE(updates[1].contains(statusrect::kDateLabel));
    EXPECT_TRUE(updates[1].contains(statusrect::kTime));
}

// Renders the column on a grey background and returns the image.
QImage Render(const CStatusPanel &panel)
{
    QImage image(877, 685, QImage::Format_RGB32);
    image.fill(QColor(60, 60, 60));
    QPainter painter(&image);
    panel.paint(painter);
    painter.end();
    return image;
}

bool IsGreenText(QRgb px)
{
    return qGreen(px) > 96 && qRed(px) < 64 && qBlue(px) < 64;
}

TEST(CStatusPanel, LongestTextsStayInsideTheirRectangles)
{
    App();
    // The small font is bold and 12 px high; Tahoma is used where it is installed.
    const QFont font = SmallFont();
    EXPECT_TRUE(font.bold());
    EXPECT_LE(QFontMetrics(font).height(), 13);
    if (QFile::exists("/usr/share/wine/fonts/tahomabd.ttf")) {
        EXPECT_EQ(QFontInfo(font).family(), "Tahoma");
    }

    const std::vector<std::pair<uint32_t, uint32_t>> statuses = {{0, 0},
                                                                 {1, 0},
                                                                 {2, 0},
                                                                 {4, 0},
                                                                 {5, 0},
                                                                 {6, 0},
                                                                 {7, EventWord(2, 1, 0, 1)},
                                                                 {7, EventWord(16, 1, 1, 1)}};
    const QDateTime widest(QDate(2005, 12, 31), QTime(23, 59, 59));
    const QRect column(735, 65, 110, 145); // the status column and a margin
    QImage sheet(column.width() * int(statuses.size()), column.height(), QImage::Format_RGB32);
    int nColumn = 0;
    for (const auto &[nCode, dwEvent] : statuses) {
        CStatusPanel panel;
        panel.ShowStatus(nCode, 2, dwEvent);
        panel.DrawDateTime(widest);

        // Every text fits its rectangle without clipping.
        QFontMetrics fm(font);
        EXPECT_LE(fm.horizontalAdvance(panel.GetDateText()), statusrect::kDate.width());
        EXPECT_LE(fm.horizontalAdvance(panel.GetTimeText()), statusrect::kTime.width());
        const QStringList lines = WrapWords(panel.GetStatusText(), fm, statusrect::kStatus.width());
        EXPECT_LE(lines.size() * kSmallFontLineHeight, statusrect::kStatus.height()) << nCode;
        for (const QString &line : lines)
            EXPECT_LE(fm.horizontalAdvance(line), statusrect::kStatus.width()) << nCode;

        const QImage image = Render(panel);
        // Green only inside the column; every block got some.
        int nInside[6] = {};
        const QRect rects[6] = {statusrect::kDateLabel,   statusrect::kDate,
                                statusrect::kTimeLabel,   statusrect::kTime,
                                statusrect::kStatusLabel, statusrect::kStatus};
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                if (!IsGreenText(image.pixel(x, y)))
                    continue;
                ASSERT_TRUE(statusrect::kAll.contains(x, y)) << x << "," << y;
                for (int i = 0; i < 6; ++i)
                    nInside[i] += rects[i].contains(x, y);
            }
        }
        for (int i = 0; i < 6; ++i)
            EXPECT_GT(nInside[i], 0) << "block " << i << " code " << nCode;
        QPainter(&sheet).drawImage(column.width() * nColumn++, 0, image.copy(column));
    }
    // The column of every status, side by side, as the operator sees it.
    EXPECT_TRUE(testsupport::SamePicture(sheet, "ui/data/statuspanel.png"));
}

// The count of new alarms: right of the skin's "LINK STATUS" heading, never over
// it, in its own colour; a count that goes is painted over.
TEST(CStatusPanel, CountOfNewAlarmsBesideTheHeading)
{
    App();
    CStatusPanel panel;
    std::vector<QRect> updates;
    panel.SetUpdateCallback([&](const QRect &rc) { updates.push_back(rc); });
    for (int n : {3, 500}) {
        panel.SetNewAlarms(n);
        EXPECT_EQ(panel.GetNewAlarmsText(), QStringLiteral("%1 NEW").arg(n));
        const QRect rc = panel.NewAlarmsRect();
        EXPECT_TRUE(statusrect::kNewAlarmsLine.contains(rc)) << n;
        EXPECT_TRUE(updates.back().contains(rc));
        const QImage image = Render(panel);
        int nInside = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (qRed(image.pixel(x, y)) > 128 && qBlue(image.pixel(x, y)) < 64) {
                    ASSERT_TRUE(rc.contains(x, y)) << x << "," << y;
                    ++nInside;
                }
        EXPECT_GT(nInside, 20) << n;
    }
    const QRect rcShown = panel.NewAlarmsRect();
    panel.SetNewAlarms(0);
    EXPECT_TRUE(panel.GetNewAlarmsText().isEmpty());
    EXPECT_TRUE(updates.back().contains(rcShown));
}

} // namespace
