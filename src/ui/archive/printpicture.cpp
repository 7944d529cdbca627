#include "ui/archive/printpicture.h"

#include "media/snapshotwriter.h"
#include "ui/common/messagebox.h"

#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>

namespace {

constexpr int AREA_WIDTH = 640;
constexpr int AREA_HEIGHT = 480;

QRect Box(int nLeft, int nTop, int nRight, int nBottom)
{
    return QRect(QPoint(nLeft, nTop), QPoint(nRight - 1, nBottom - 1));
}

} // namespace

std::vector<PrintCaption> PrintCaptions(uint8_t byChannel, const QString &szTime, int nRecorder)
{
    auto text = [&](int nChannel) { return ChannelCaption(nChannel, nRecorder, szTime); };
    if (byChannel == QUAD_CHANNEL)
        return {{Box(73, 234, 373, 254), text(1)},
                {Box(393, 234, 600, 254), text(2)},
                {Box(73, 474, 300, 494), text(3)},
                {Box(393, 474, 600, 494), text(4)}};
    return {{Box(313, 534, 600, 554), text(byChannel + 1)}};
}

void DrawPrintCaptions(QImage &area, uint8_t byChannel, const QString &szTime, int nRecorder)
{
    QPainter painter(&area);
    painter.setPen(QColor(255, 0, 0));
    painter.setBackgroundMode(Qt::TransparentMode);
    for (const PrintCaption &caption : PrintCaptions(byChannel, szTime, nRecorder)) {
        // Drawn on the window and then copied: only what lies on the picture area.
        if (!PRINT_AREA_IN_WINDOW.intersects(caption.rcWindow))
            continue;
        painter.drawText(caption.rcWindow.translated(-PRINT_AREA_IN_WINDOW.topLeft()),
                         Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, caption.szText);
    }
}

QString PrintResult::Notice() const
{
    switch (eStatus) {
    case PrintStatus::PageTooNarrow:
        return QString::fromLatin1(NOTICE_PAGE_TOO_NARROW);
    case PrintStatus::DocumentFailed:
        return QString::fromLatin1(NOTICE_PRINT_FAILED);
    case PrintStatus::Printed:
    case PrintStatus::NoPrinter:
        break;
    }
    return QString();
}

PrintResult PrintPicture(const QImage &area, uint8_t byChannel, const QString &szTime,
                         QWidget *pParent, const QString &szDocName, int nRecorder)
{
    PrintResult result;
    QImage copy = area.size() == QSize(AREA_WIDTH, AREA_HEIGHT)
                      ? area.convertToFormat(QImage::Format_RGB32)
                      : area.scaled(AREA_WIDTH, AREA_HEIGHT).convertToFormat(QImage::Format_RGB32);
    DrawPrintCaptions(copy, byChannel, szTime, nRecorder);

    const QPrinterInfo info = QPrinterInfo::defaultPrinter();
    if (info.isNull()) {
        result.eStatus = PrintStatus::NoPrinter;
        ShowMessageBox(pParent, QString::fromLatin1(TEXT_NO_PRINTER),
                       QString::fromLatin1(APP_TITLE), QMessageBox::Warning);
        return result;
    }
    result.szPrinter = info.printerName();

    // The printer's own settings, no dialog. Coordinates from the paper's corner,
    // so that "one inch" is measured from the edge of the sheet.
    QPrinter printer(info, QPrinter::HighResolution);
    printer.setDocName(szDocName);
    // Qt starts from the locale's paper; the printer's own default paper is wanted.
    if (info.defaultPageSize().isValid())
        printer.setPageSize(info.defaultPageSize());
    printer.setFullPage(true);
    result.nDpiX = printer.logicalDpiX();
    result.nDpiY = printer.logicalDpiY();
    result.nPhysicalWidth = printer.paperRect(QPrinter::DevicePixel).toRect().width();
    result.rcDestination = PrintDestination(result.nDpiX, result.nDpiY, result.nPhysicalWidth);
    if (result.rcDestination.isEmpty()) {
        // Checked before the document starts: no empty page is sent.
        result.eStatus = PrintStatus::PageTooNarrow;
        return result;
    }

    QPainter painter;
    if (!painter.begin(&printer)) {
        printer.abort();
        result.eStatus = PrintStatus::DocumentFailed;
        return result;
    }
    painter.drawImage(result.rcDestination, copy);
    // Ending the painter ends the page and the document and hands the job over.
    result.eStatus = painter.end() ? PrintStatus::Printed : PrintStatus::DocumentFailed;
    return result;
}
