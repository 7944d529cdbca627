// Snapshot files as ImageMagick reads them, their names, captions at the bottom,
// failures reported, and the printed page's geometry.

#include "media/snapshotwriter.h"
#include "mediatestutil.h"
#include "support/testapp.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QPainter>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace mediatest;

namespace {

QGuiApplication &App()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    return testsupport::TestApp<QGuiApplication>();
}

const QString TIME = "2005-03-01 12-00-05";

// Red caption pixels inside r of a decoded snapshot.
int RedPixels(const QImage &img, const QRect &rect)
{
    const QRect r = rect & img.rect();
    int n = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x) {
            const QRgb c = img.pixel(x, y);
            n += qRed(c) > 150 && qGreen(c) < 90 && qBlue(c) < 90;
        }
    return n;
}

class SnapshotTest : public ::testing::Test {
  protected:
    void SetUp() override { App(); }
    QStringList Files() const { return QDir(m_dir.path()).entryList(QDir::Files); }
    QTemporaryDir m_dir;
    QImage m_grey = [] {
        QImage img(640, 480, QImage::Format_RGB32);
        img.fill(QColor(60, 60, 60));
        return img;
    }();
};

TEST_F(SnapshotTest, FileNames)
{
    const QString dir = m_dir.path();
    EXPECT_EQ(SnapshotFileName(dir, QUAD_CHANNEL, TIME, 1234567),
              dir + "/CAM0_" + TIME + "_34567.jpg");
    EXPECT_EQ(SnapshotFileName(dir + "/", 2, TIME, 42), dir + "/CAM3_" + TIME + "_00042.jpg");
    EXPECT_EQ(SnapshotFileName(dir + "//", 0, TIME, 100000), dir + "/CAM1_" + TIME + "_00000.jpg");
}

TEST_F(SnapshotTest, JpegPassesIdentifyWithCaptionsAtTheBottom)
{
    struct Row {
        uint8_t byChannel;
        QList<QRect> captions; // where red must appear
    };
    const QList<Row> rows = {
        {QUAD_CHANNEL,
         {QRect(5, 220, 150, 20), QRect(325, 220, 150, 20), QRect(5, 460, 150, 20),
          QRect(325, 460, 150, 20)}},
        {1, {QRect(240, 460, 150, 20)}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(int(row.byChannel));
        const mediatest::ScopedUmask mask(022);
        const SnapshotResult r = SaveSnapshot(m_grey, row.byChannel, TIME, m_dir.path(), 777);
        ASSERT_TRUE(r.bOk) << r.szError.toStdString();
        EXPECT_EQ(r.Notice(), "Save OK");
        EXPECT_TRUE(QFileInfo(r.szFileName).permissions() & QFileDevice::ReadOther); // umask's
        const ToolRun id = mediatest::Run(
            "identify", {"-format", "%m %w %h %Q %[jpeg:sampling-factor]", r.szFileName});
        EXPECT_EQ(id.out, QByteArray("JPEG 640 480 80 2x2,1x1,1x1"));
        QFile f(r.szFileName);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_TRUE(f.read(11).startsWith(QByteArray("\xFF\xD8\xFF\xE0\x00\x10JFIF", 10)));
        const QImage back(r.szFileName);
        ASSERT_EQ(back.size(), QSize(640, 480));
        QImage outside = back; // the captions blanked: no red may be left
        QPainter blank(&outside);
        for (const QRect &c : row.captions) {
            EXPECT_GT(RedPixels(back, c), 20) << c.x() << "," << c.y();
            blank.fillRect(c.adjusted(-4, -2, 300, 2), Qt::black);
        }
        blank.end();
        EXPECT_EQ(RedPixels(outside, outside.rect()), 0) << "red outside the captions";
    }
    // The second snapshot of a quad picture at the same tick gets the next suffix.
    const SnapshotResult again = SaveSnapshot(m_grey, QUAD_CHANNEL, TIME, m_dir.path(), 777);
    ASSERT_TRUE(again.bOk);
    EXPECT_EQ(again.szFileName, m_dir.filePath("CAM0_" + TIME + "_00777_2.jpg"));
    EXPECT_EQ(Files().size(), 3);
}

TEST_F(SnapshotTest, TopRowComesFirst)
{
    const QImage src = MakeImage(5);
    const QByteArray rows = TopDownBgr(src);
    QString file, error;
    ASSERT_TRUE(WriteJpeg(m_dir.filePath("x.jpg"),
                          reinterpret_cast<const uint8_t *>(rows.constData()), 640, 480, 80, &file,
                          &error));
    const QImage back(file);
    EXPECT_GT(qGray(back.pixel(10, 2)), 220); // the white bar at the top
    EXPECT_LT(qGray(back.pixel(10, 470)), 220);
    EXPECT_GT(qBlue(back.pixel(630, 240)), 200); // blue grows to the right
    EXPECT_LT(qBlue(back.pixel(10, 240)), 40);
}

TEST_F(SnapshotTest, FailuresAreReportedAndLeaveNoFile)
{
    const SnapshotResult missing = SaveSnapshot(m_grey, 0, TIME, m_dir.filePath("missing"), 1);
    EXPECT_FALSE(missing.bOk);
    EXPECT_EQ(missing.Notice(), "Save Failed");
    EXPECT_FALSE(missing.szError.isEmpty());
    EXPECT_FALSE(SaveSnapshot(QImage(), 0, TIME, m_dir.path(), 1).bOk);
    EXPECT_TRUE(Files().isEmpty());
}

TEST_F(SnapshotTest, PrintDestination)
{
    EXPECT_EQ(PrintDestination(600, 600, 5100), QRect(600, 600, 3600, 2700));
    EXPECT_EQ(PrintDestination(300, 200, 2550), QRect(300, 200, 1800, 1350));
    EXPECT_TRUE(PrintDestination(600, 600, 1500).isEmpty()); // width 0: nothing to print
    EXPECT_TRUE(PrintDestination(600, 600, 0).isEmpty());
}

} // namespace
