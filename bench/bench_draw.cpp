// Drawing a live picture into the main view, measured against decoding it.
//
// A 704 x 240 field from the benchmark pictures is decoded once into padded
// bottom-up BGR rows (as the image pipeline delivers it), then stretched with the
// view's crop rules into a quad tile and into the single-channel area of the
// view's 32-bit backing image. The baseline is the bare TurboJPEG decode of the
// same picture in the same run, so the printed ratios compare across machines.
// Targets: quad tile <= 0.2 x decode, single area <= 0.7 x decode. A zoomed tile
// (a smaller part of the same crop) must cost no more than the same tile at 1x.

#include "ui/picture/dibstretch.h"
#include "ui/picture/tilezoom.h"
#include "ui/live/viewlayout.h"

#include <QFile>
#include <QImage>
#include <QPainter>

#include <turbojpeg.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Median over rounds of the mean time per call, in microseconds.
double MedianMicros(const std::function<void()> &fn, int callsPerRound, int rounds = 9)
{
    std::vector<double> samples;
    fn(); // warm up
    for (int r = 0; r < rounds; ++r) {
        const auto t0 = Clock::now();
        for (int i = 0; i < callsPerRound; ++i)
            fn();
        const auto t1 = Clock::now();
        samples.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count() /
                          callsPerRound);
    }
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 2];
}

QString PicturesDir()
{
    if (const char *env = std::getenv("TELVANE_BENCH_PICTURES"))
        return QString::fromLocal8Bit(env);
    return QStringLiteral(TELVANE_BENCH_PICTURES);
}

} // namespace

int main()
{
    const QString path = PicturesDir() + QStringLiteral("/704x240_0.jpg");
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot open %s\n", qPrintable(path));
        return 1;
    }
    const QByteArray jpeg = file.readAll();

    tjhandle tj = tjInitDecompress();
    int width = 0, height = 0, subsamp = 0, colorspace = 0;
    if (!tj || tjDecompressHeader3(tj, reinterpret_cast<const unsigned char *>(jpeg.constData()),
                                   static_cast<unsigned long>(jpeg.size()), &width, &height,
                                   &subsamp, &colorspace) != 0) {
        std::fprintf(stderr, "cannot read the picture header\n");
        return 1;
    }
    const int stride = (width * 3 + 3) & ~3;
    std::vector<unsigned char> bits(std::size_t(stride) * height);
    auto decode = [&] {
        tjDecompress2(tj, reinterpret_cast<const unsigned char *>(jpeg.constData()),
                      static_cast<unsigned long>(jpeg.size()), bits.data(), width, stride, height,
                      TJPF_BGR, TJFLAG_BOTTOMUP);
    };

    QImage backing(viewlayout::kViewWidth, viewlayout::kViewHeight, QImage::Format_RGB32);
    backing.fill(Qt::black);
    DibPicture pic;
    pic.bits = bits.data();
    pic.width = width;
    pic.height = height;
    pic.bitCount = 24;
    pic.imageSize = std::uint32_t(bits.size());
    const QRect src = LiveCropRect(width, height, false, width <= 240);
    const QRect quad = viewlayout::TileRect(3, 4);
    const QRect single = viewlayout::TileRect(0, 1);
    CDibStretcher stretcher;

    const double decodeUs = MedianMicros(decode, 200);
    const double quadUs = MedianMicros([&] { stretcher.Stretch(pic, src, backing, quad); }, 1000);
    const double singleUs =
        MedianMicros([&] { stretcher.Stretch(pic, src, backing, single); }, 400);
    const QRect zoomed24 = TileZoom{4, 0.37, 0.61}.Source(src); // x2.4
    const QRect zoomed8 = TileZoom{TileZoom::kMaxSteps, 0.37, 0.61}.Source(src);
    const double quad24Us =
        MedianMicros([&] { stretcher.Stretch(pic, zoomed24, backing, quad); }, 1000);
    const double quad8Us =
        MedianMicros([&] { stretcher.Stretch(pic, zoomed8, backing, quad); }, 1000);
    const double single8Us =
        MedianMicros([&] { stretcher.Stretch(pic, zoomed8, backing, single); }, 400);

    // For comparison only: QPainter drawing a 24-bit image of the same rows.
    QImage rgb888(bits.data(), width, height, stride, QImage::Format_BGR888);
    const QImage flipped = rgb888.mirrored(false, true);
    const double painterUs = MedianMicros(
        [&] {
            QPainter p(&backing);
            p.drawImage(single, flipped, src);
        },
        100);
    tjDestroy(tj);

    std::printf("picture %s (%d x %d, %lld bytes)\n", qPrintable(path), width, height,
                static_cast<long long>(jpeg.size()));
    std::printf("decode (baseline)          %8.1f us\n", decodeUs);
    std::printf("stretch into quad tile     %8.1f us   ratio %.3f (target <= 0.20)\n", quadUs,
                quadUs / decodeUs);
    std::printf("stretch into single area   %8.1f us   ratio %.3f (target <= 0.70)\n", singleUs,
                singleUs / decodeUs);
    std::printf("QPainter 24-bit, single    %8.1f us   ratio %.3f (for comparison)\n", painterUs,
                painterUs / decodeUs);
    std::printf("quad tile zoomed x2.4      %8.1f us   %.3f x the tile at 1x (target <= 1)\n",
                quad24Us, quad24Us / quadUs);
    std::printf("quad tile zoomed x8        %8.1f us   %.3f x the tile at 1x (target <= 1)\n",
                quad8Us, quad8Us / quadUs);
    std::printf("single area zoomed x8      %8.1f us   %.3f x the area at 1x (target <= 1)\n",
                single8Us, single8Us / singleUs);
    return 0;
}
