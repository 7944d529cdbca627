#pragma once
// Compares a drawn picture, pixel for pixel, with a reference PNG kept in the tree
// (name relative to tests/). TELVANE_SHOTS_DIR=<absolute folder> saves the drawn
// picture there under the reference's file name: that is how a reference is made,
// and how a changed drawing is looked at before it replaces one.

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QImage>

namespace testsupport {

inline ::testing::AssertionResult SamePicture(const QImage &drawn, const QString &name)
{
    const QImage image = drawn.convertToFormat(QImage::Format_RGB32);
    const QString dir = qEnvironmentVariable("TELVANE_SHOTS_DIR");
    if (!dir.isEmpty())
        image.save(QDir(dir).filePath(QFileInfo(name).fileName()));
    const QImage reference =
        QImage(QStringLiteral(TELVANE_SOURCE_DIR "/tests/") + name).convertToFormat(image.format());
    if (reference.size() != image.size())
        return ::testing::AssertionFailure()
               << name.toStdString() << ": " << reference.width() << " x " << reference.height()
               << " expected, drawn " << image.width() << " x " << image.height();
    int nDiffer = 0;
    QPoint first;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) != reference.pixel(x, y) && nDiffer++ == 0)
                first = QPoint(x, y);
    if (nDiffer == 0)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << name.toStdString() << ": " << nDiffer << " pixels differ, the first at (" << first.x()
           << ", " << first.y() << "): " << std::hex << image.pixel(first) << " drawn, "
           << reference.pixel(first) << " expected";
}

} // namespace testsupport
