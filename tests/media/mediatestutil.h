#pragma once
// Independent checks of the files the media library writes: ffprobe and ffmpeg
// read every AVI file, and pictures are made so that a flip or a colour swap shows.

#include "media/packeddib.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QImage>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

namespace mediatest {

// The usual umask for the life of the object, so a file's permissions can be told.
struct ScopedUmask {
    explicit ScopedUmask(mode_t mask) : old(::umask(mask)) {}
    ~ScopedUmask() { ::umask(old); }
    mode_t old;
};

constexpr int W = 640;
constexpr int H = 480;

// A picture whose every row and channel differs: blue follows x, green follows the
// row counted from the top, red is the seed; the top row carries a white bar.
inline QImage MakeImage(int nSeed, int w = W, int h = H)
{
    QImage img(w, h, QImage::Format_RGB888);
    for (int y = 0; y < h; ++y) {
        uchar *p = img.scanLine(y);
        for (int x = 0; x < w; ++x) {
            const bool bBar = y < 8 && x < w / 2;
            p[3 * x + 0] = bBar ? 255 : uchar(nSeed * 37);  // R
            p[3 * x + 1] = bBar ? 255 : uchar(y * 255 / h); // G
            p[3 * x + 2] = bBar ? 255 : uchar(x * 255 / w); // B
        }
    }
    return img;
}

// The picture as a person sees it, top row first, blue-green-red.
inline QByteArray TopDownBgr(const QImage &img)
{
    const QImage bgr = img.convertToFormat(QImage::Format_BGR888);
    QByteArray out;
    for (int y = 0; y < bgr.height(); ++y)
        out.append(reinterpret_cast<const char *>(bgr.constScanLine(y)), bgr.width() * 3);
    return out;
}

struct ToolRun {
    int nExit = -1;
    QByteArray out;
    QByteArray err;
};

inline ToolRun Run(const QString &program, const QStringList &args)
{
    QProcess p;
    p.start(program, args);
    ToolRun r;
    if (!p.waitForFinished(120000))
        return r;
    r.nExit = p.exitCode();
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

// What ffprobe says about the one video stream, and the pts of its non-empty packets.
struct AviProbe {
    QString szCodec, szTag, szPixFmt, szTimeBase;
    int nWidth = 0, nHeight = 0;
    std::vector<int64_t> pictures;
};

inline AviProbe Probe(const QString &file)
{
    AviProbe probe;
    ToolRun s = Run("ffprobe", {"-v", "error", "-select_streams", "v:0", "-show_entries",
                                "stream=codec_name,codec_tag_string,pix_fmt,width,height,time_base",
                                "-of", "default=noprint_wrappers=1", file});
    for (const QByteArray &line : s.out.split('\n')) {
        const QString l = QString::fromLatin1(line).trimmed();
        const QString v = l.section('=', 1);
        if (l.startsWith("codec_name="))
            probe.szCodec = v;
        else if (l.startsWith("codec_tag_string="))
            probe.szTag = v;
        else if (l.startsWith("pix_fmt="))
            probe.szPixFmt = v;
        else if (l.startsWith("time_base="))
            probe.szTimeBase = v;
        else if (l.startsWith("width="))
            probe.nWidth = v.toInt();
        else if (l.startsWith("height="))
            probe.nHeight = v.toInt();
    }
    ToolRun p = Run("ffprobe", {"-v", "error", "-select_streams", "v:0", "-show_entries",
                                "packet=pts,size", "-of", "csv=p=0", file});
    for (const QByteArray &line : p.out.split('\n')) {
        const QList<QByteArray> f = line.trimmed().split(',');
        if (f.size() == 2 && f[1].toLongLong() > 0)
            probe.pictures.push_back(f[0].toLongLong());
    }
    return probe;
}

// Mean PSNR in dB of two pictures of the same size, blue-green-red bytes.
inline double Psnr(const QByteArray &a, const QByteArray &b)
{
    if (a.size() != b.size() || a.isEmpty())
        return 0;
    double sum = 0;
    for (qsizetype i = 0; i < a.size(); ++i) {
        const double d = double(uchar(a[i])) - double(uchar(b[i]));
        sum += d * d;
    }
    return sum == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / (sum / double(a.size())));
}

// Every picture of a file as ffmpeg decodes it: (sample, checksum of its top-down
// blue-green-red rows), in file order.
inline std::vector<std::pair<int64_t, QByteArray>> PictureSums(const QString &file)
{
    const ToolRun r = Run("ffmpeg", {"-nostdin", "-v", "error", "-i", file, "-fps_mode",
                                     "passthrough", "-pix_fmt", "bgr24", "-f", "framemd5", "-"});
    std::vector<std::pair<int64_t, QByteArray>> sums;
    for (const QByteArray &line : r.out.split('\n')) {
        const QList<QByteArray> f = line.split(',');
        if (f.size() == 6 && !line.startsWith('#'))
            sums.emplace_back(f[1].trimmed().toLongLong(), f[5].trimmed());
    }
    return sums;
}

inline QByteArray PictureSum(const QImage &img)
{
    return QCryptographicHash::hash(TopDownBgr(img), QCryptographicHash::Md5).toHex();
}

// Checks one AVI file end to end: stream, picture positions (picture i at sample
// nStep x i), a clean decode, and the first picture against the shown one (for
// MJPEG: at least 38 dB).
inline void CheckAvi(const QString &file, int nPictures, const QImage &first, int nStep = 1)
{
    SCOPED_TRACE(file.toStdString());
    const AviProbe probe = Probe(file);
    const bool bJpeg = probe.szCodec == "mjpeg";
    if (bJpeg) {
        EXPECT_EQ(probe.szTag, "MJPG");
    } else {
        EXPECT_EQ(probe.szCodec, "rawvideo");
        EXPECT_EQ(probe.szPixFmt, "bgr24");
    }
    EXPECT_EQ(probe.nWidth, first.width());
    EXPECT_EQ(probe.nHeight, first.height());
    EXPECT_EQ(probe.szTimeBase, "1/60");
    ASSERT_EQ(int(probe.pictures.size()), nPictures);
    for (int i = 0; i < nPictures; ++i)
        EXPECT_EQ(probe.pictures[size_t(i)], int64_t(nStep) * i) << "picture " << i;
    const ToolRun decode =
        Run("ffmpeg", {"-nostdin", "-v", "error", "-i", file, "-f", "null", "-"});
    EXPECT_EQ(decode.nExit, 0);
    EXPECT_EQ(decode.out + decode.err, QByteArray());
    const ToolRun pic = Run("ffmpeg", {"-nostdin", "-v", "error", "-i", file, "-frames:v", "1",
                                       "-f", "rawvideo", "-pix_fmt", "bgr24", "-"});
    if (bJpeg)
        EXPECT_GE(Psnr(pic.out, TopDownBgr(first)), 38) << "first picture differs";
    else
        EXPECT_TRUE(pic.out == TopDownBgr(first))
            << "first picture differs (flipped or colours swapped)";
}

// Every picture of a file against the one shown, in order: the same bytes (RAW) or
// at least 38 dB and closer to it than to its neighbours (MJPEG).
inline void CheckEveryPicture(const QString &file, const std::vector<QImage> &shown)
{
    SCOPED_TRACE(file.toStdString());
    const bool bJpeg = Probe(file).szCodec == "mjpeg";
    const ToolRun all = Run("ffmpeg", {"-nostdin", "-v", "error", "-i", file, "-fps_mode",
                                       "passthrough", "-f", "rawvideo", "-pix_fmt", "bgr24", "-"});
    const qsizetype nSize = qsizetype(W) * H * 3;
    ASSERT_EQ(all.out.size(), nSize * qsizetype(shown.size()));
    for (size_t i = 0; i < shown.size(); ++i) {
        const QByteArray got = all.out.mid(qsizetype(i) * nSize, nSize);
        const QByteArray want = TopDownBgr(shown[i]);
        if (!bJpeg) {
            EXPECT_TRUE(got == want) << "picture " << i;
            continue;
        }
        const double dB = Psnr(got, want);
        EXPECT_GE(dB, 38) << "picture " << i;
        for (size_t j : {i - 1, i + 1}) {
            if (j < shown.size()) {
                EXPECT_GT(dB, Psnr(got, TopDownBgr(shown[j])) + 3)
                    << "picture " << i << " vs " << j;
            }
        }
    }
}

} // namespace mediatest
