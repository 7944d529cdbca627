#pragma once
// The archive window's print button: the 640 x 480 picture area as shown, with the
// picture time captions, on one page of the default printer. No print dialog is
// shown. The picture stands one inch from the paper's left and top edges,
// stretched to the paper width less two and a half inches, at 4:3. With no
// default printer the operator is told so in a message box; a paper too narrow
// for that rectangle prints nothing and the notice area says so.

#include <QImage>
#include <QRect>
#include <QString>

#include <cstdint>
#include <vector>

class QWidget;

inline constexpr char PRINT_DOC_NAME[] = "Record Image";
inline constexpr char TEXT_NO_PRINTER[] = "No Printer Driver is installed";
inline constexpr char NOTICE_PAGE_TOO_NARROW[] = "Page Too Narrow";
inline constexpr char NOTICE_PRINT_FAILED[] = "Print Failed";

// Where the picture area lies in the archive window.
inline constexpr QRect PRINT_AREA_IN_WINDOW(62, 22, 640, 480);

struct PrintCaption {
    QRect rcWindow; // in window coordinates
    QString szText;
};

// The captions the print button puts on the window, red and transparent: one per
// cell in quad layout (byChannel 255), one for channel byChannel + 1 otherwise,
// named as ChannelCaption names the channels of recorder nRecorder (0-3).
// The single-layout caption lies below the picture area, so it is seen on the
// screen but not printed.
std::vector<PrintCaption> PrintCaptions(uint8_t byChannel, const QString &szTime,
                                        int nRecorder = 0);

// Draws the captions that fall inside the picture area onto a 640 x 480 copy of it.
void DrawPrintCaptions(QImage &area, uint8_t byChannel, const QString &szTime, int nRecorder = 0);

enum class PrintStatus {
    Printed,        // the page went to the printer
    NoPrinter,      // no default printer: the message box was shown
    PageTooNarrow,  // the destination would be empty: nothing printed
    DocumentFailed, // the document could not be started: nothing printed
};

struct PrintResult {
    PrintStatus eStatus = PrintStatus::NoPrinter;
    QString szPrinter; // the default printer's name
    int nDpiX = 0;     // its resolution
    int nDpiY = 0;
    int nPhysicalWidth = 0; // the paper width in dots
    QRect rcDestination;    // in dots from the paper's top-left corner
    // The notice area text: "Page Too Narrow" or "Print Failed"; empty when the
    // page was printed or the message box has told the operator already.
    QString Notice() const;
};

// Prints area (the 640 x 480 picture area as shown, without captions; any other
// size is stretched to it) with the captions of PrintCaptions on the default
// printer under the document name szDocName. szTime is FormatPictureTime of the
// shown picture. Shows "No Printer Driver is installed" through ShowMessageBox
// (parent pParent) when there is no default printer. Never waits for the job.
PrintResult PrintPicture(const QImage &area, uint8_t byChannel, const QString &szTime,
                         QWidget *pParent = nullptr,
                         const QString &szDocName = QString::fromLatin1(PRINT_DOC_NAME),
                         int nRecorder = 0);
