#pragma once
// GlobalChannel: channel c of recorder r as the window numbers it. A window shows up
// to MAX_RECORDERS recorders of CHANNELS_PER_RECORDER channels each; channel c
// (0-based) of recorder r (0-based) is global index 4 x r + c, named "CH<index + 1>".
// Recorder 1 keeps its own names in files and captions ("CAM<c + 1>", no prefix),
// so a site with one recorder writes what it always wrote.
//
// This is the one place that turns a recorder's channel into a global one and back.

#include "settings/clientsettings.h"

#include <QString>

struct GlobalChannel {
    static constexpr int kCount = MAX_RECORDERS * CHANNELS_PER_RECORDER;

    int nRecorder = 0; // 0-based
    int nChannel = 0;  // 0-based within its recorder

    // Index 0..15 and back; an index outside 0..15 gives an invalid channel.
    static GlobalChannel FromIndex(int nIndex)
    {
        if (nIndex < 0 || nIndex >= kCount)
            return {-1, -1};
        return {nIndex / CHANNELS_PER_RECORDER, nIndex % CHANNELS_PER_RECORDER};
    }
    // The recorder's channel nChannel, invalid when either lies outside its range.
    static GlobalChannel Of(int nRecorder, int nChannel)
    {
        if (nRecorder < 0 || nRecorder >= MAX_RECORDERS || nChannel < 0 ||
            nChannel >= CHANNELS_PER_RECORDER)
            return {-1, -1};
        return {nRecorder, nChannel};
    }

    bool IsValid() const { return nRecorder >= 0 && nChannel >= 0; }
    int Index() const { return nRecorder * CHANNELS_PER_RECORDER + nChannel; }
    int Number() const { return Index() + 1; }
    // "CH<n>", wherever the window names a channel.
    QString Text() const { return QStringLiteral("CH%1").arg(Number()); }
    // A picture's caption: "CAM<c> <time>" for recorder 1, "CH<n> <time>" otherwise.
    QString Caption(const QString &szTime) const
    {
        return nRecorder == 0 ? QStringLiteral("CAM%1 %2").arg(nChannel + 1).arg(szTime)
                              : QStringLiteral("%1 %2").arg(Text(), szTime);
    }
    // The kind that starts a snapshot's file name: "CAM<c>" for recorder 1, "CH<n>".
    QString FileKind() const
    {
        return nRecorder == 0 ? QStringLiteral("CAM%1").arg(nChannel + 1) : Text();
    }
    // A whole recorder in a file name: "CAM0" for recorder 1 (its quad), "REC<r>".
    static QString RecorderFileKind(int nRecorder)
    {
        return nRecorder <= 0 ? QStringLiteral("CAM0") : QStringLiteral("REC%1").arg(nRecorder + 1);
    }
    // What a recording's file name starts with: nothing for recorder 1, "REC<r>_".
    static QString RecordingPrefix(int nRecorder)
    {
        return nRecorder <= 0 ? QString() : RecorderFileKind(nRecorder) + QLatin1Char('_');
    }

    bool operator==(const GlobalChannel &o) const
    {
        return nRecorder == o.nRecorder && nChannel == o.nChannel;
    }
    bool operator!=(const GlobalChannel &o) const { return !(*this == o); }
};
