#pragma once
// The snapshot of the archive window's picture area as a JPEG file: captions with
// the picture time drawn at the bottom of each channel, then a baseline JFIF file,
// 4:2:0, quality 80, top row first, in the record folder. Every step is checked;
// a failure gives an error text for the notice area instead of "Save OK".
// Also the page geometry of a printed picture.

#include <QImage>
#include <QRect>
#include <QString>

#include <cstdint>

inline constexpr int SNAPSHOT_QUALITY = 80;
inline constexpr uint8_t QUAD_CHANNEL = 255; // m_byChannel in the 2 x 2 layout
inline constexpr char NOTICE_SAVE_OK[] = "Save OK";
inline constexpr char NOTICE_SAVE_FAILED[] = "Save Failed";

// The caption of channel nChannel (1-4) of recorder nRecorder (0-3) of a window:
// "CAMn <time>" for the first recorder, "CH<global channel> <time>" for the others.
QString ChannelCaption(int nChannel, int nRecorder, const QString &szTime);

// Draws the captions in red, transparent, single line, in the default font, into a
// 640 x 480 copy of the picture area (top-down): one caption per cell in quad
// layout (byChannel 255), one for channel byChannel + 1 otherwise.
void DrawSnapshotCaptions(QImage &area, uint8_t byChannel, const QString &szTime,
                          int nRecorder = 0);

// "<record path>/CAM0_<time>_<tick % 100000, 5 digits>.jpg" in quad layout,
// "CAM<byChannel + 1>_..." otherwise; no doubled separator. Recorders 2 to 4
// (nRecorder 1..3) of a window never share those names: "REC<n>_<time>_..." in quad
// layout, "CH<global channel>_..." otherwise.
QString SnapshotFileName(const QString &szRecordPath, uint8_t byChannel, const QString &szTime,
                         uint32_t nTickMs, int nRecorder = 0);

// Encodes top-down blue-green-red rows of exactly nWidth x 3 bytes and writes them
// to a new file at szFileName, or at "name_2.jpg" ... when it exists. On success
// *pszWritten is the file made; on failure no file is left and *pszError says why.
bool WriteJpeg(const QString &szFileName, const uint8_t *pTopDownBgr, int nWidth, int nHeight,
               int nQuality, QString *pszWritten = nullptr, QString *pszError = nullptr);

struct SnapshotResult {
    bool bOk = false;
    QString szFileName; // the file made
    QString szError;
    // The notice area text: "Save OK" or "Save Failed".
    QString Notice() const;
};

// The save button after the window grabbed its picture area (640 x 480, any
// format): captions, file name, JPEG file. szTime is FormatPictureTime of
// m_tmPicture, nTickMs the system's millisecond tick count. The record folder is
// not created: a missing one is a failure.
SnapshotResult SaveSnapshot(const QImage &area, uint8_t byChannel, const QString &szTime,
                            const QString &szRecordPath, uint32_t nTickMs, int nRecorder = 0);

// Where the picture goes on the printed page: one inch from the left and the top,
// width = physical width - 2 x dpiX - dpiX / 2, height = width x 3 / 4. An empty
// rectangle when the page is too narrow: nothing is to be printed then.
QRect PrintDestination(int nDpiX, int nDpiY, int nPhysicalWidth);
