// telvane-skin-gen <output folder> [--qrc <file>] [--sheet <file>] [--preview <file>]
//                  [--archive-preview <file>]
//
// Draws every bitmap of the skin role table at its exact size and writes <id>.png into
// the output folder. --qrc writes the matching resource file (prefix /skin, alias
// <id>.png); --sheet writes a contact sheet of all bitmaps; --preview composes the main
// view from the background and its buttons, with sample texts, to judge the whole;
// --archive-preview does the same for the archive window.

#include "archivelayout.h"
#include "mainlayout.h"
#include "skinpaint.h"
#include "ui/controls/skinids.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPainter>
#include <QTextStream>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>

namespace {

QString Option(const QStringList &args, const QString &name)
{
    const int i = args.indexOf(name);
    return i >= 0 && i + 1 < args.size() ? args.at(i + 1) : QString();
}

bool WriteQrc(const QString &path, const QString &folder)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text))
        return false;
    const QString relative = QFileInfo(path).absoluteDir().relativeFilePath(folder);
    QTextStream out(&file);
    out << "<!DOCTYPE RCC><RCC version=\"1.0\">\n<qresource prefix=\"/skin\">\n";
    for (const SkinRole &role : kSkinRoles)
        out << "    <file alias=\"" << role.nId << ".png\">" << relative << "/" << role.nId
            << ".png</file>\n";
    out << "</qresource>\n</RCC>\n";
    return true;
}

QImage ContactSheet(const std::map<int, QImage> &images)
{
    const int nScale = 3, nCell = 180, nCols = 7;
    const int nSmall = static_cast<int>(images.size()) - 2; // both backgrounds go apart
    const int nRows = (nSmall + nCols - 1) / nCols;
    const QImage &background = images.at(IDB_MAIN_BACKGROUND);
    QImage sheet(nCols * nCell, nRows * nCell + background.height() + 40, QImage::Format_RGB32);
    sheet.fill(QColor(0x50, 0x55, 0x5a));
    QPainter p(&sheet);
    p.setFont(skin::UiFont(12));
    int i = 0;
    for (const auto &[nId, image] : images) {
        if (nId == IDB_MAIN_BACKGROUND || nId == IDB_ARCHIVE_BACKGROUND)
            continue;
        const QRect cell((i % nCols) * nCell, (i / nCols) * nCell, nCell, nCell);
        // Small bitmaps enlarged up to three times; the wide slider track shrunk to fit.
        const qreal fit = std::min<qreal>(nScale, qreal(nCell - 8) / image.width());
        const QSize scaled = (QSizeF(image.size()) * (fit >= 1 ? std::floor(fit) : fit)).toSize();
        const QPoint at = cell.topLeft() +
                          QPoint((nCell - scaled.width()) / 2, (nCell - 20 - scaled.height()) / 2);
        p.drawImage(QRect(at, scaled), image);
        p.setPen(Qt::white);
        p.drawText(cell.adjusted(0, nCell - 22, 0, 0), Qt::AlignHCenter | Qt::AlignTop,
                   QStringLiteral("%1  %2x%3").arg(nId).arg(image.width()).arg(image.height()));
        ++i;
    }
    p.drawImage(QPoint(20, nRows * nCell + 20), background);
    return sheet;
}

// The main view as the operator sees it after start-up in quad mode, with one PTZ key
// held and the receive lamp lit, plus the texts the view draws.
QImage Preview(const std::map<int, QImage> &images)
{
    QImage view = images.at(IDB_MAIN_BACKGROUND).copy();
    QPainter p(&view);
    auto put = [&](int nId, QPoint pos) { p.drawImage(pos, images.at(nId)); };
    put(IDB_EXIT_UP, {735, 16});
    put(IDB_SMALL_UP, {807, 312});
    put(IDB_SMALL_DOWN, {807, 329});
    put(IDB_SMALL_UP, {807, 345});
    put(IDB_RECEIVE_ON, {740, 230});
    put(IDB_LINK_NORMAL, {228, 574});
    put(IDB_LINK_LATCHED, {228, 624});
    for (int i = 0; i < 7; ++i)
        put(i == 1 ? kScreenLatchedId[i] : kScreenNormalId[i], {skin::kScreenX[i], 598});
    for (int k = 0; k < 16; ++k)
        put(k < 4 ? kChannelLatchedId[k] : kChannelNormalId[k], {skin::kChannelX[k], 640});
    const QPoint aPad[] = {{773, 437}, {737, 471}, {773, 521}, {823, 471}};
    const int aPadId[] = {IDB_PTZ_UP, IDB_PTZ_LEFT, IDB_PTZ_DOWN_HELD, IDB_PTZ_RIGHT};
    for (int i = 0; i < 4; ++i)
        put(aPadId[i], aPad[i]);
    put(IDB_PTZ_PLUS, {737, 386});
    put(IDB_PTZ_MINUS_HELD, {762, 386});
    put(IDB_PTZ_PLUS, {813, 386});
    put(IDB_PTZ_MINUS, {837, 386});
    put(IDB_SPEED_UP, {724, 538});
    put(IDB_SPEED_DOWN_HELD, {849, 538});

    // What the view draws on top: tile frames, clock, status, speed.
    p.setPen(QColor(0x30, 0x36, 0x3c));
    for (int i = 0; i < 4; ++i) {
        const int c = i % 2, r = i / 2;
        p.drawRect(QRect(62 + 320 * c, 22 + 240 * r, 320, 240));
    }
    QFont small = skin::UiFont(12);
    small.setStretch(80);
    p.setFont(small);
    p.setPen(QColor(0, 255, 0));
    const struct {
        QRect rc;
        const char *psz;
        int nFlags;
    } aText[] = {
        {QRect(740, 70, 100, 15), "DATE :", Qt::AlignVCenter},
        {QRect(740, 85, 100, 15), "2026 / 12 / 7", Qt::AlignVCenter},
        {QRect(740, 100, 100, 15), "TIME :", Qt::AlignVCenter},
        {QRect(740, 115, 100, 15), "AM 08 : 15 : 42", Qt::AlignVCenter},
        {QRect(740, 160, 100, 15), "STATUS :", Qt::AlignVCenter},
        {QRect(740, 175, 100, 30), "WAITING FOR CONNECTION.", Qt::TextWordWrap},
        {QRect(790, 500, 21, 12), "01", Qt::AlignCenter},
    };
    for (const auto &t : aText)
        p.drawText(t.rc, t.nFlags, QString::fromLatin1(t.psz));
    return view;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 2 || args.at(1).startsWith(QLatin1String("--"))) {
        std::fprintf(stderr, "usage: telvane-skin-gen <folder> [--qrc f] [--sheet f] "
                             "[--preview f] [--archive-preview f]\n");
        return 2;
    }
    skin::LoadFonts();
    const QString folder = args.at(1);
    if (!QDir().mkpath(folder)) {
        std::fprintf(stderr, "cannot create %s\n", qPrintable(folder));
        return 1;
    }

    std::map<int, QImage> images;
    const QImage background = skin::DrawMainBackground();
    const QImage archive = skin::DrawArchiveBackground();
    for (const SkinRole &role : kSkinRoles) {
        const QImage drawn = skin::IsArchiveRole(role.nId)
                                 ? skin::DrawArchiveRole(role.nId, archive)
                                 : skin::DrawRole(role.nId, background);
        QImage image = drawn.convertToFormat(QImage::Format_RGB888);
        if (image.size() != QSize(role.nWidth, role.nHeight)) {
            std::fprintf(stderr, "%d: drawn at the wrong size\n", role.nId);
            return 1;
        }
        const QString path = QStringLiteral("%1/%2.png").arg(folder).arg(role.nId);
        if (!image.save(path, "PNG", 9)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return 1;
        }
        images[role.nId] = image;
    }
    const QString qrc = Option(args, QStringLiteral("--qrc"));
    if (!qrc.isEmpty() && !WriteQrc(qrc, QDir(folder).absolutePath()))
        return 1;
    const QString sheet = Option(args, QStringLiteral("--sheet"));
    if (!sheet.isEmpty() && !ContactSheet(images).save(sheet))
        return 1;
    const QString preview = Option(args, QStringLiteral("--preview"));
    if (!preview.isEmpty() && !Preview(images).save(preview))
        return 1;
    const QString archivePreview = Option(args, QStringLiteral("--archive-preview"));
    if (!archivePreview.isEmpty() && !skin::ArchivePreview(images).save(archivePreview))
        return 1;
    std::printf("%zu bitmaps written to %s\n", images.size(), qPrintable(folder));
    return 0;
}
