// Decoding speed of the live picture path against a bare TurboJPEG decode, measured
// in the same run on the same pictures so the ratio means something on any machine.
//
//   bare:   one tjhandle, header + tjDecompress2 into a padded bottom-up BGR buffer
//   whole:  CJpegImage::Decode (normalise, decode, channel marker, index test)
//   QImage: QImage::fromData on the same bytes, for reference
//   tile:   CJpegImage::Decode for a 158 x 118 tile (a 160 x 120 cell): the markers
//           from the top rows at full size, the picture at the scale the tile needs
//
// Every method decodes every picture of a size several times per round; rounds are
// interleaved and the median round is reported. Target: whole <= 1.05 x bare.
//
// Times are the thread's CPU time, so other programs on a busy machine do not count.
// --pictures DIR decodes the JPEG files of that folder (named by the first one's
// size) instead of the benchmark pictures: bench/live-cpu.sh hands it the pictures the
// simulator sent, so the client and the bare decode work on the same pictures.

#include "imaging/cjpegimage.h"

#include "benchsupport.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QImage>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <functional>
#include <vector>

namespace {

double CpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

struct PictureSet {
    QString size;
    std::vector<QByteArray> pictures;
};

using bench::BareDecoder;
using bench::MedianSeconds;

} // namespace

int main(int argc, char **argv)
{
    QString folder;
    if (argc > 2 && std::strcmp(argv[1], "--pictures") == 0) {
        folder = QString::fromLocal8Bit(argv[2]);
        argc -= 2;
        argv += 2;
    }
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 9;
    const int passes = argc > 2 ? std::max(1, atoi(argv[2])) : 6;
    const QDir dir(folder.isEmpty() ? QStringLiteral(TELVANE_BENCH_PICTURES) : folder);
    std::vector<PictureSet> sets;
    if (!folder.isEmpty()) {
        PictureSet set;
        for (const QString &name : dir.entryList({"*.jpg"}, QDir::Files, QDir::Name)) {
            QFile f(dir.filePath(name));
            if (f.open(QIODevice::ReadOnly))
                set.pictures.push_back(f.readAll());
        }
        if (!set.pictures.empty()) {
            const QImage first = QImage::fromData(set.pictures.front(), "JPG");
            set.size = QStringLiteral("%1x%2").arg(first.width()).arg(first.height());
            sets.push_back(set);
        }
    }
    for (const char *size : {"704x240", "720x288", "704x480"}) {
        if (!folder.isEmpty())
            break;
        PictureSet set{QString::fromLatin1(size), {}};
        for (const QString &name : dir.entryList({set.size + "_*.jpg"}, QDir::Files, QDir::Name)) {
            QFile f(dir.filePath(name));
            if (f.open(QIODevice::ReadOnly))
                set.pictures.push_back(f.readAll());
        }
        if (!set.pictures.empty())
            sets.push_back(set);
    }
    if (sets.empty()) {
        std::fprintf(stderr, "no pictures in %s\n", qPrintable(dir.path()));
        return 1;
    }

    std::printf("%d rounds x %d passes over each size's pictures; median round\n", rounds, passes);
    std::printf("%-8s %12s %12s %12s %10s %10s %10s  %s\n", "size", "bare pic/s", "whole pic/s",
                "QImage pic/s", "whole/bare", "QImg/bare", "tile/bare", "whole result");
    for (const PictureSet &set : sets) {
        BareDecoder bare;
        CJpegImage image;
        int failures = 0, lastResult = 0;
        CJpegImage::DrawnSizes tile;
        tile.size.fill(CJpegImage::DrawnSize{158, 118});
        const std::function<void(const QByteArray &)> methods[4] = {
            [&](const QByteArray &j) { failures += !bare.Decode(j); },
            [&](const QByteArray &j) {
                lastResult = image.Decode(reinterpret_cast<const uint8_t *>(j.constData()),
                                          size_t(j.size()), false);
            },
            [&](const QByteArray &j) { failures += QImage::fromData(j, "JPG").isNull(); },
            [&](const QByteArray &j) {
                image.Decode(reinterpret_cast<const uint8_t *>(j.constData()), size_t(j.size()),
                             false, &tile);
            },
        };
        std::vector<double> seconds[4];
        for (const QByteArray &j : set.pictures) // warm-up
            for (const auto &m : methods)
                m(j);
        for (int r = 0; r < rounds; ++r)
            for (int k = 0; k < 4; ++k) {
                const int m = (k + r) % 4; // rotate the order from round to round
                const double start = CpuSeconds();
                for (int p = 0; p < passes; ++p)
                    for (const QByteArray &j : set.pictures)
                        methods[m](j);
                seconds[m].push_back(CpuSeconds() - start);
            }
        const double count = double(passes) * double(set.pictures.size());
        const double rate[4] = {
            count / MedianSeconds(seconds[0]), count / MedianSeconds(seconds[1]),
            count / MedianSeconds(seconds[2]), count / MedianSeconds(seconds[3])};
        std::printf("%-8s %12.0f %12.0f %12.0f %10.3f %10.3f %10.3f  %s\n", qPrintable(set.size),
                    rate[0], rate[1], rate[2], rate[0] / rate[1], rate[0] / rate[2],
                    rate[0] / rate[3],
                    lastResult == CJpegImage::DECODE_FAILED
                        ? "255: refused, more than 220000 pixels (header read only)"
                        : "decoded");
        if (failures)
            std::printf("  %d bare/QImage decodes failed\n", failures);
    }
    std::printf("whole/bare and QImg/bare are time per picture over the bare decode's "
                "(target for whole: <= 1.05)\n");
    return 0;
}
