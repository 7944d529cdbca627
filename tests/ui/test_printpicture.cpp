// The print button end to end through a private print server with a PDF queue
// (support/privatecups.h); printed pages are read back with poppler's tools.

#include "media/snapshotwriter.h"
#include "support/privatecups.h"
#include "ui/archive/printpicture.h"
#include "ui/common/messagebox.h"
#include "support/testapp.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QPainter>
#include <QRegularExpression>
#include <QThread>

#include <cstdlib>
#include <iostream>

namespace {

using namespace testsupport;

QApplication &App()
{
    return testsupport::TestApp<QApplication>();
}

class PrintPictureTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite()
    {
        App();
        s_pCups = new CPrivateCups;
        s_szSkip = s_pCups->Start();
    }
    static void TearDownTestSuite()
    {
        s_pCups->Keep();
        delete s_pCups;
        s_pCups = nullptr;
    }
    void SetUp() override
    {
        if (!s_szSkip.isEmpty())
            GTEST_SKIP() << "private print server unavailable: " << s_szSkip.toStdString();
        s_pCups->RemoveQueues();
    }

    // Prints and records the message boxes shown meanwhile.
    PrintResult Print(const QImage &area, uint8_t byChannel)
    {
        CScopedMessageBoxHandler handler([this](QWidget *, const QString &text, const QString &,
                                                QMessageBox::Icon, QMessageBox::StandardButtons) {
            m_boxes << text;
            return QMessageBox::Ok;
        });
        return PrintPicture(area, byChannel, QStringLiteral("2024-05-06 07-08-09"));
    }

    static CPrivateCups *s_pCups;
    static QString s_szSkip;
    QStringList m_boxes;
};

CPrivateCups *PrintPictureTest::s_pCups = nullptr;
QString PrintPictureTest::s_szSkip;

// Four coloured quarters: a flip or a colour swap shows on the page.
QImage Quarters()
{
    QImage image(640, 480, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.fillRect(0, 0, 320, 240, QColor(255, 0, 0));
    painter.fillRect(320, 0, 320, 240, QColor(0, 255, 0));
    painter.fillRect(0, 240, 320, 240, QColor(0, 0, 255));
    painter.fillRect(320, 240, 320, 240, QColor(0, 0, 0));
    return image;
}

TEST_F(PrintPictureTest, NoDefaultPrinterShowsTheMessageAndPrintsNothing)
{
    // No printer at all, then a printer that is not the default.
    for (bool bQueue : {false, true}) {
        SCOPED_TRACE(bQueue ? "queue without default" : "no queue");
        if (bQueue) {
            ASSERT_TRUE(s_pCups->AddQueue(QStringLiteral("pdf"), PDF_PPD, false));
        }
        m_boxes.clear();
        const PrintResult result = Print(Quarters(), QUAD_CHANNEL);
        EXPECT_EQ(result.eStatus, PrintStatus::NoPrinter);
        EXPECT_EQ(m_boxes, QStringList{QStringLiteral("No Printer Driver is installed")});
        EXPECT_TRUE(result.Notice().isEmpty());
    }
    EXPECT_EQ(s_pCups->JobCount(), 0);
    EXPECT_TRUE(s_pCups->Pdfs().isEmpty());
}

TEST_F(PrintPictureTest, PaperTooNarrowPrintsNothingAndSaysSo)
{
    // The PDF queue's driver with a two-inch paper as its default.
    QFile source(PDF_PPD);
    ASSERT_TRUE(source.open(QIODevice::ReadOnly));
    QString szPpd = QString::fromLatin1(source.readAll());
    const QString szSetup =
        QStringLiteral("\"<</PageSize[144 216]/ImagingBBox null>>setpagedevice\"");
    for (const auto &[szKey, szValue] :
         {std::pair{QStringLiteral("PageSize"), szSetup},
          {QStringLiteral("PageRegion"), szSetup},
          {QStringLiteral("ImageableArea"), QStringLiteral("\"0 0 144 216\"")},
          {QStringLiteral("PaperDimension"), QStringLiteral("\"144 216\"")}})
        szPpd.replace(
            QStringLiteral("*Default%1: A4").arg(szKey),
            QStringLiteral("*Default%1: Narrow\n*%1 Narrow/Narrow: %2").arg(szKey, szValue));
    const QString szNarrowPpd = s_pCups->Path(QStringLiteral("narrow.ppd"));
    ASSERT_TRUE(WriteText(szNarrowPpd, szPpd));
    ASSERT_TRUE(s_pCups->AddQueue(QStringLiteral("narrow"), szNarrowPpd, true));

    const PrintResult result = Print(Quarters(), QUAD_CHANNEL);
    EXPECT_EQ(result.eStatus, PrintStatus::PageTooNarrow);
    EXPECT_EQ(result.Notice(), QStringLiteral("Page Too Narrow"));
    EXPECT_LE(result.nPhysicalWidth, result.nDpiX * 5 / 2) << result.nPhysicalWidth;
    EXPECT_TRUE(m_boxes.isEmpty());
    EXPECT_EQ(s_pCups->JobCount(), 0);
}

TEST_F(PrintPictureTest, PrintsThePictureOneInchFromTheCornerOnTheDefaultPrinter)
{
    ASSERT_TRUE(s_pCups->AddQueue(QStringLiteral("pdf"), PDF_PPD, true));
    const int nJobsBefore = s_pCups->JobCount();
    QElapsedTimer timer;
    timer.start();
    const PrintResult result = Print(Quarters(), 0); // single layout: no caption on the page
    const qint64 nPrintMs = timer.elapsed();
    ASSERT_EQ(result.eStatus, PrintStatus::Printed);
    EXPECT_TRUE(m_boxes.isEmpty());
    EXPECT_EQ(result.szPrinter, QStringLiteral("pdf"));
    EXPECT_EQ(result.rcDestination,
              PrintDestination(result.nDpiX, result.nDpiY, result.nPhysicalWidth));
    EXPECT_EQ(s_pCups->JobCount(), nJobsBefore + 1);

    // A bounded poll: the backend's file is complete when the job is.
    while (s_pCups->JobCount("completed") <= nJobsBefore && timer.elapsed() < 20000)
        QThread::msleep(50);
    const QStringList pdfs = s_pCups->Pdfs();
    ASSERT_EQ(pdfs.size(), 1) << "no PDF after " << timer.elapsed() << " ms";
    const QString szPdf = pdfs.first();
    std::cout << "print call " << nPrintMs << " ms, PDF after " << timer.elapsed() << " ms, "
              << result.nDpiX << " dpi, paper " << result.nPhysicalWidth << " dots, picture "
              << result.rcDestination.x() << "," << result.rcDestination.y() << " "
              << result.rcDestination.width() << " x " << result.rcDestination.height() << "\n";
    // cups-pdf writes the file under the job title.
    EXPECT_TRUE(QFileInfo(szPdf).fileName().contains(QStringLiteral("Record_Image")))
        << szPdf.toStdString();

    // One 640 x 480 picture on one page.
    const QStringList images =
        RunTool(QStringLiteral("/usr/bin/pdfimages"), {QStringLiteral("-list"), szPdf})
            .split(QLatin1Char('\n'), Qt::SkipEmptyParts)
            .mid(2);
    ASSERT_EQ(images.size(), 1) << images.join(QLatin1Char('\n')).toStdString();
    const QStringList fields = images.first().simplified().split(QLatin1Char(' '));
    EXPECT_EQ(fields.value(3), QStringLiteral("640"));
    EXPECT_EQ(fields.value(4), QStringLiteral("480"));

    const QString szInfo = RunTool(QStringLiteral("/usr/bin/pdfinfo"), {szPdf});
    EXPECT_TRUE(szInfo.contains(QRegularExpression(QStringLiteral("Pages:\\s+1\\n"))));
    const QRegularExpressionMatch size =
        QRegularExpression(QStringLiteral("Page size:\\s+([0-9.]+) x ([0-9.]+) pts")).match(szInfo);
    ASSERT_TRUE(size.hasMatch()) << szInfo.toStdString();
    const double dPaperPts = size.captured(1).toDouble();
    EXPECT_NEAR(dPaperPts, result.nPhysicalWidth * 72.0 / result.nDpiX, 1.0);

    // Rendered at 72 dpi the picture stands at (72,72), paper width less 180 points
    // wide, 4:3, red top left, green top right, blue bottom left.
    const QString szRender = s_pCups->Path(QStringLiteral("page"));
    RunTool(QStringLiteral("/usr/bin/pdftoppm"), {QStringLiteral("-r"), QStringLiteral("72"),
                                                  QStringLiteral("-singlefile"), szPdf, szRender});
    const QImage page(szRender + QStringLiteral(".ppm"));
    ASSERT_FALSE(page.isNull());
    QRect rcInk;
    for (int y = 0; y < page.height(); ++y)
        for (int x = 0; x < page.width(); ++x)
            if (page.pixelColor(x, y).lightness() < 250)
                rcInk |= QRect(x, y, 1, 1);
    const double dWidth = dPaperPts - 180.0;
    EXPECT_NEAR(rcInk.left(), 72, 1);
    EXPECT_NEAR(rcInk.top(), 72, 1);
    EXPECT_NEAR(rcInk.width(), dWidth, 2);
    EXPECT_NEAR(rcInk.height(), dWidth * 3 / 4, 2);
    const QPoint c = rcInk.center();
    const int dx = rcInk.width() / 4, dy = rcInk.height() / 4;
    auto near = [&page](int x, int y, QRgb expected) {
        const QRgb got = page.pixel(x, y);
        return std::abs(qRed(got) - qRed(expected)) < 16 &&
               std::abs(qGreen(got) - qGreen(expected)) < 16 &&
               std::abs(qBlue(got) - qBlue(expected)) < 16;
    };
    EXPECT_TRUE(near(c.x() - dx, c.y() - dy, qRgb(255, 0, 0)));
    EXPECT_TRUE(near(c.x() + dx, c.y() - dy, qRgb(0, 255, 0)));
    EXPECT_TRUE(near(c.x() - dx, c.y() + dy, qRgb(0, 0, 255)));
    EXPECT_TRUE(near(c.x() + dx, c.y() + dy, qRgb(0, 0, 0)));
}

TEST(PrintCaptions, OnlyTheQuadCaptionsLieOnThePrintedArea)
{
    App();
    auto redRows = [](const QImage &image, QRect rc) {
        for (int y = rc.top(); y <= rc.bottom(); ++y)
            for (int x = rc.left(); x <= rc.right(); ++x)
                if (qRed(image.pixel(x, y)) > 128 && qGreen(image.pixel(x, y)) < 64)
                    return true;
        return false;
    };
    QImage quad(640, 480, QImage::Format_RGB32);
    quad.fill(Qt::black);
    QImage single = quad.copy();
    DrawPrintCaptions(quad, QUAD_CHANNEL, QStringLiteral("2024-05-06 07-08-09"));
    DrawPrintCaptions(single, 2, QStringLiteral("2024-05-06 07-08-09"));
    // Window (73,234) and (393,474) are (11,212) and (331,452) on the copy.
    EXPECT_TRUE(redRows(quad, QRect(11, 212, 40, 20)));
    EXPECT_TRUE(redRows(quad, QRect(331, 212, 40, 20)));
    EXPECT_TRUE(redRows(quad, QRect(11, 452, 40, 20)));
    EXPECT_TRUE(redRows(quad, QRect(331, 452, 40, 20)));
    EXPECT_FALSE(redRows(quad, QRect(0, 0, 640, 200)));
    EXPECT_FALSE(redRows(single, single.rect()));
    const std::vector<PrintCaption> captions = PrintCaptions(2, QStringLiteral("t"));
    ASSERT_EQ(captions.size(), 1u);
    EXPECT_EQ(captions[0].szText, QStringLiteral("CAM3 t"));
    EXPECT_EQ(captions[0].rcWindow, QRect(313, 534, 287, 20));
    // Recorders 2 to 4 name their channels by the global number.
    EXPECT_EQ(PrintCaptions(1, QStringLiteral("t"), 2)[0].szText, QStringLiteral("CH10 t"));
    QStringList quadTexts;
    for (const PrintCaption &c : PrintCaptions(QUAD_CHANNEL, QStringLiteral("t"), 3))
        quadTexts << c.szText;
    EXPECT_EQ(quadTexts, QStringList({"CH13 t", "CH14 t", "CH15 t", "CH16 t"}));
}

} // namespace
