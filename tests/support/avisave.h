#pragma once
// A whole file of pictures in one call, for the tests and the benchmarks: the
// program itself streams its segments through CSegmentWriter.

#include "media/aviwriter.h"

#include <QFileInfo>

#include <vector>

// Writes the pictures into a new file at szFileName (through CAviSegmentFile),
// picture i at sample i.
inline AviSaveResult SaveAviFile(const QString &szFileName, const std::vector<CPackedDib> &frames,
                                 int64_t nByteLimit = -1)
{
    if (frames.empty())
        return AviSaveResult();
    CAviSegmentFile file;
    if (file.Begin(QFileInfo(szFileName).absolutePath(), AviCodec::RAW, nByteLimit)) {
        for (size_t i = 0; i < frames.size(); ++i)
            if (!file.Append(frames[i], int64_t(i)))
                break;
    }
    return file.Finish(szFileName);
}
