// Stretching a live picture from rows just decoded, band by band, against the stretch
// from a whole picture decoded earlier, as the view draws today. Both against the bare
// decode of the same pictures in the same run.
//
// Two views, each with the view's crop (LiveCropRect) and tiles (TileRect), the
// project's stretch (CDibStretcher) and a 32-bit image of the view's size:
//   quad:   704 x 240 fields at full size into the four 318 x 238 tiles of the quad
//           layout (320 x 240 cells);
//   cells:  the same fields decoded at 4/8 (352 x 120, the scale the live decoder picks
//           for a 160 x 120 cell) into the sixteen 158 x 118 tiles of 16 tiles.
// Picture i of the stream goes to tile i % tiles. Methods, per picture:
//   bare       tjDecompress2 into one reused buffer (full size, and 4/8 for cells): the
//              baseline of the ratios;
//   live dec.  CJpegImage::Decode with the tiles' drawn sizes (normalise, the marker
//              rows at full size when scaled, the decode) and TakeFrom into the tile's
//              record, as the client files a picture; no stretch;
//   band dec.  CJpegImage::Normalise, then the library's row interface with the same
//              settings (accurate integer transform, smooth upsampling) into one reused
//              band of one iMCU row (16 rows at 8/8, 8 at 4/8 for 4:2:0 pictures); for
//              cells also the four marker rows at full size first; no stretch;
//   (a) band   band dec. with each band stretched into the tile right after it is decoded;
//   (b) paint  live dec., and every `batch` pictures a paint that stretches them from
//              their records (the pictures of one batch of reads are painted together);
//   (b) lag    live dec., and the stretch of picture i - lag after the decode of picture
//              i: every source has `lag` other pictures decoded since its own.
// The band methods run once for every band place of --band-offsets (default
// heap,0,2048: where the allocator puts the band, or that many bytes past a 4096-byte
// boundary), since the band's place changes the stretch's time; --band N makes a band
// N iMCU rows high (default 1). A tile drawn from bands is first checked to equal,
// pixel for pixel, the tile drawn from the whole picture.
//
// Times are the thread's CPU time; methods are interleaved round by round (order
// rotated) and the median round is reported. Usage:
//   bench_draw_band [--pictures DIR] [--rounds N] [--passes N] [--band N]
//                   [--band-offsets A,B,..] [--only METHOD]
// DIR (or the environment's TELVANE_BENCH_PICTURES) holds 704x240_*.jpg; by default
// bench/pictures of the source tree.
// --only runs one method (names as printed, e.g. "quad:(a) band @0") after a warm-up
// round, with callgrind's collection on only around it: run it under
//   valgrind --tool=callgrind --collect-atstart=no ...
// and divide the collected events by the pictures it prints.

#include "imaging/cjpegimage.h"
#include "ui/live/viewlayout.h"
#include "ui/picture/dibstretch.h"

#include "benchsupport.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QImage>

#include <turbojpeg.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <jpeglib.h>

#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
#define BENCH_TOGGLE_COLLECT() CALLGRIND_TOGGLE_COLLECT
#else
#define BENCH_TOGGLE_COLLECT() ((void)0)
#endif

namespace {

double CpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

QString DefaultPictures()
{
    if (const char *env = std::getenv("TELVANE_BENCH_PICTURES"))
        return QString::fromLocal8Bit(env);
    return QStringLiteral(TELVANE_BENCH_PICTURES);
}

// The library's row interface, one decompressor reused as TurboJPEG reuses its handle.
// Errors end the program with the library's message (the pictures are known good).
class BandDecoder {
  public:
    BandDecoder()
    {
        m_info.err = jpeg_std_error(&m_err);
        jpeg_create_decompress(&m_info);
    }
    ~BandDecoder() { jpeg_destroy_decompress(&m_info); }
    BandDecoder(const BandDecoder &) = delete;
    BandDecoder &operator=(const BandDecoder &) = delete;

    // Decodes at scale / 8 and hands every band, rows [first, first + count) of the
    // decoded picture stored bottom-up `stride` bytes apart, to onBand.
    template <class OnBand>
    void Decode(const std::uint8_t *jpeg, std::size_t length, int scale, OnBand &&onBand)
    {
        Start(jpeg, length, scale);
        const int height = int(m_info.output_height);
        const int bandRows =
            m_info.max_v_samp_factor * m_info.min_DCT_scaled_size * std::max(1, m_bandImcuRows);
        const std::size_t stride = (std::size_t(m_info.output_width) * 3 + 3) & ~std::size_t(3);
        // 4 bytes of slack: the stretch loads 4 bytes for a 3-byte pixel.
        const bool placed = m_bandOffset >= 0;
        const std::size_t need =
            stride * std::size_t(bandRows) + 4 + (placed ? kPage + std::size_t(m_bandOffset) : 0);
        if (m_band.size() < need)
            m_band.resize(need);
        const std::uintptr_t start = reinterpret_cast<std::uintptr_t>(m_band.data());
        std::uint8_t *band =
            m_band.data() +
            (placed ? (kPage - start % kPage) % kPage + std::size_t(m_bandOffset) : 0);
        while (int(m_info.output_scanline) < height) {
            const int first = int(m_info.output_scanline);
            const int count = std::min(bandRows, height - first);
            ReadRows(first, count, count, band, stride);
            onBand(first, count, band, stride);
        }
        jpeg_finish_decompress(&m_info);
    }

    // The top `rows` rows at full size, the rest abandoned: what the live decoder reads
    // the markers from before a scaled decode.
    void DecodeTopRows(const std::uint8_t *jpeg, std::size_t length, int rows)
    {
        Start(jpeg, length, 8);
        const std::size_t stride = (std::size_t(m_info.output_width) * 3 + 3) & ~std::size_t(3);
        if (m_top.size() < stride * std::size_t(rows))
            m_top.resize(stride * std::size_t(rows));
        ReadRows(0, rows, rows, m_top.data(), stride);
        jpeg_abort_decompress(&m_info);
    }

    int MostRowsPerCall() const { return m_mostRowsPerCall; }
    // A band of this many iMCU rows (1: the rows one iMCU row of the picture gives).
    void SetBandImcuRows(int n) { m_bandImcuRows = n; }
    // The band starts this many bytes past a 4096-byte boundary (-1: where the allocator
    // puts it): the band's place changes the stretch's time, not its simulated misses.
    void SetBandOffset(int offset) { m_bandOffset = offset; }

  private:
    void Start(const std::uint8_t *jpeg, std::size_t length, int scale)
    {
        jpeg_mem_src(&m_info, jpeg, static_cast<unsigned long>(length));
        jpeg_read_header(&m_info, TRUE);
        m_info.out_color_space = JCS_EXT_BGR;
        m_info.scale_num = unsigned(scale);
        m_info.scale_denom = 8;
        m_info.dct_method = JDCT_ISLOW;
        m_info.do_fancy_upsampling = TRUE;
        jpeg_start_decompress(&m_info);
    }

    // Rows [first, first + count) into `rows` rows at out, bottom-up.
    void ReadRows(int first, int count, int rows, std::uint8_t *out, std::size_t stride)
    {
        JSAMPROW pointers[32];
        while (int(m_info.output_scanline) < first + count) {
            const int k = int(m_info.output_scanline) - first;
            const int wanted = std::min(count - k, 32);
            for (int j = 0; j < wanted; ++j)
                pointers[j] = out + std::size_t(rows - 1 - (k + j)) * stride;
            const int got = int(jpeg_read_scanlines(&m_info, pointers, JDIMENSION(wanted)));
            m_mostRowsPerCall = std::max(m_mostRowsPerCall, got);
        }
    }

    jpeg_decompress_struct m_info{};
    jpeg_error_mgr m_err{};
    std::vector<std::uint8_t> m_band, m_top;
    int m_mostRowsPerCall = 0;
    int m_bandImcuRows = 1;
    int m_bandOffset = -1;
    static constexpr std::size_t kPage = 4096;
};

// One of the two views: where pictures go and at what scale.
struct View {
    const char *name;
    int scale; // of 8
    int tiles; // tile count of the layout
    int fullWidth, fullHeight;
    QRect crop; // full-picture coordinates
    std::vector<QRect> tileRects;
    std::vector<int> srcRowOfDstRow; // decoded row each tile row reads (as the stretch does)
    CJpegImage::DrawnSizes drawn;

    View(const char *n, int s, int t, int w, int h)
        : name(n), scale(s), tiles(t), fullWidth(w), fullHeight(h)
    {
        crop = LiveCropRect(w, h, false, w <= 240);
        for (int k = 0; k < t; ++k)
            tileRects.push_back(viewlayout::TileRect(k, t));
        const QRect &tile = tileRects.front();
        drawn.size.fill(CJpegImage::DrawnSize{tile.width(), tile.height()});
        for (int row = 0; row < tile.height(); ++row)
            srcRowOfDstRow.push_back(
                (crop.top() + int(std::int64_t(row) * crop.height() / tile.height())) * s / 8);
    }
};

DibPicture PictureOf(const CJpegImage &record)
{
    DibPicture dib;
    dib.bits = record.Pixels();
    dib.width = record.Header().biWidth;
    dib.height = record.Header().biHeight;
    dib.bitCount = record.Header().biBitCount;
    dib.imageSize = std::uint32_t(record.PixelBytes());
    dib.scale = record.Scale();
    dib.fullWidth = record.FullWidth();
    dib.fullHeight = record.FullHeight();
    return dib;
}

// Stretches one band (decoded rows [first, first + count), bottom-up at bits) into the
// tile rows that read them, with the project's stretch: the band is given as the rows
// of a whole picture whose buffer would end where the band's top row ends, and the
// stretch is clipped to the tile rows of the band, so every pixel is the one the whole
// stretch gives it.
void StretchBand(CDibStretcher &stretcher, const View &view, int decodedWidth, int decodedHeight,
                 int first, int count, const std::uint8_t *bits, std::size_t stride, QImage &dst,
                 const QRect &tile)
{
    const auto &rows = view.srcRowOfDstRow;
    const int r0 = int(std::lower_bound(rows.begin(), rows.end(), first) - rows.begin());
    const int r1 = int(std::lower_bound(rows.begin(), rows.end(), first + count) - rows.begin());
    if (r1 <= r0)
        return;
    DibPicture pic;
    // Picture row r lies at (decodedHeight - 1 - r) * stride from pic.bits; for the
    // band, at (first + count - 1 - r) * stride from its start. Integer arithmetic:
    // the start lies before the band's buffer and is never read.
    pic.bits = reinterpret_cast<const std::uint8_t *>(
        reinterpret_cast<std::uintptr_t>(bits) -
        std::uintptr_t(decodedHeight - first - count) * stride);
    pic.width = decodedWidth;
    pic.height = decodedHeight;
    pic.bitCount = 24;
    pic.scale = view.scale;
    pic.fullWidth = view.fullWidth;
    pic.fullHeight = view.fullHeight;
    stretcher.Stretch(pic, view.crop, dst, tile,
                      QRect(tile.left(), tile.top() + r0, tile.width(), r1 - r0));
}

// (a): normalise, decode in bands, stretch every band as it comes.
class BandPath {
  public:
    BandPath(const View &view, bool stretch, int bandImcuRows, int bandOffset)
        : m_view(view), m_stretch(stretch)
    {
        m_decoder.SetBandImcuRows(bandImcuRows);
        m_decoder.SetBandOffset(bandOffset);
        m_dst.fill(Qt::black);
    }
    void Picture(const QByteArray &jpeg, long long index)
    {
        const std::size_t n = m_norm.Normalise(
            reinterpret_cast<const std::uint8_t *>(jpeg.constData()), std::size_t(jpeg.size()));
        if (m_view.scale < 8)
            m_decoder.DecodeTopRows(m_norm.WorkBuffer(), n, 4);
        const QRect &tile = m_view.tileRects[std::size_t(index % m_view.tiles)];
        const int width = (m_view.fullWidth * m_view.scale + 7) / 8;
        const int height = (m_view.fullHeight * m_view.scale + 7) / 8;
        m_decoder.Decode(m_norm.WorkBuffer(), n, m_view.scale,
                         [&](int first, int count, const std::uint8_t *bits, std::size_t stride) {
                             if (m_stretch)
                                 StretchBand(m_stretcher, m_view, width, height, first, count, bits,
                                             stride, m_dst, tile);
                         });
    }
    const QImage &Image() const { return m_dst; }
    int MostRowsPerCall() const { return m_decoder.MostRowsPerCall(); }

  private:
    const View &m_view;
    bool m_stretch;
    CJpegImage m_norm; // its work buffer: the normalised picture
    BandDecoder m_decoder;
    CDibStretcher m_stretcher;
    QImage m_dst{viewlayout::kViewWidth, viewlayout::kViewHeight, QImage::Format_RGB32};
};

// (b): the live decoder files each picture into its tile's record; the stretch reads
// it from there later (every `batch` pictures, or `lag` pictures later).
class WholePath {
  public:
    enum Mode { NoStretch, Batch, Lag };
    WholePath(const View &view, Mode mode, int n) : m_view(view), m_mode(mode), m_n(n)
    {
        for (int k = 0; k < view.tiles; ++k)
            m_records.push_back(std::make_unique<CJpegImage>());
        m_dst.fill(Qt::black);
    }
    void Picture(const QByteArray &jpeg, long long index)
    {
        m_decoder.Decode(reinterpret_cast<const std::uint8_t *>(jpeg.constData()),
                         std::size_t(jpeg.size()), false, &m_view.drawn);
        m_records[std::size_t(index % m_view.tiles)]->TakeFrom(m_decoder);
        if (m_mode == Batch && (index + 1) % m_n == 0)
            for (long long k = index - m_n + 1; k <= index; ++k)
                StretchFromRecord(k);
        else if (m_mode == Lag && index >= m_n)
            StretchFromRecord(index - m_n);
    }
    void StretchFromRecord(long long index)
    {
        const std::size_t tile = std::size_t(index % m_view.tiles);
        m_stretcher.Stretch(PictureOf(*m_records[tile]), m_view.crop, m_dst,
                            m_view.tileRects[tile]);
    }
    const QImage &Image() const { return m_dst; }

  private:
    const View &m_view;
    Mode m_mode;
    int m_n;
    CJpegImage m_decoder;
    std::vector<std::unique_ptr<CJpegImage>> m_records;
    CDibStretcher m_stretcher;
    QImage m_dst{viewlayout::kViewWidth, viewlayout::kViewHeight, QImage::Format_RGB32};
};

// The bare decode at a scale, one buffer reused.
class BarePath {
  public:
    explicit BarePath(int scale) : m_scale(scale) {}
    void Picture(const QByteArray &jpeg, long long)
    {
        if (m_scale == 8) {
            m_full.Decode(jpeg);
            return;
        }
        const auto *p = reinterpret_cast<const unsigned char *>(jpeg.constData());
        int w = 0, h = 0, samp = 0, cs = 0;
        tjDecompressHeader3(m_handle.get(), p, (unsigned long)jpeg.size(), &w, &h, &samp, &cs);
        w = (w * m_scale + 7) / 8;
        h = (h * m_scale + 7) / 8;
        const int pitch = (w * 3 + 3) & ~3;
        if (m_buffer.size() < std::size_t(pitch) * h)
            m_buffer.resize(std::size_t(pitch) * h);
        tjDecompress2(m_handle.get(), p, (unsigned long)jpeg.size(), m_buffer.data(), w, pitch, h,
                      TJPF_BGR, TJFLAG_BOTTOMUP);
    }

  private:
    int m_scale;
    bench::BareDecoder m_full;
    std::unique_ptr<void, int (*)(tjhandle)> m_handle{tjInitDecompress(), tjDestroy};
    std::vector<unsigned char> m_buffer;
};

struct Method {
    std::string name;
    std::function<void(const QByteArray &, long long)> picture;
    long long next = 0; // the stream goes on from round to round
    std::vector<double> seconds;
};

bool TilesEqual(const QImage &a, const QImage &b, const QRect &tile)
{
    for (int y = tile.top(); y <= tile.bottom(); ++y)
        if (std::memcmp(a.constScanLine(y) + tile.left() * 4, b.constScanLine(y) + tile.left() * 4,
                        std::size_t(tile.width()) * 4) != 0)
            return false;
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    QString folder = DefaultPictures();
    int rounds = 25, passes = 8, bandImcuRows = 1;
    std::vector<int> bandOffsets = {-1, 0, 2048};
    std::string only;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--pictures")
            folder = QString::fromLocal8Bit(argv[i + 1]);
        else if (option == "--rounds")
            rounds = std::max(1, std::atoi(argv[i + 1]));
        else if (option == "--passes")
            passes = std::max(1, std::atoi(argv[i + 1]));
        else if (option == "--band")
            bandImcuRows = std::max(1, std::atoi(argv[i + 1]));
        else if (option == "--band-offsets") {
            bandOffsets.clear();
            for (const QString &n : QString::fromLocal8Bit(argv[i + 1]).split(','))
                bandOffsets.push_back(n == "heap" ? -1 : std::clamp(n.toInt(), 0, 4095));
        } else if (option == "--only")
            only = argv[i + 1];
        else {
            std::fprintf(stderr, "unknown option %s\n", option.c_str());
            return 2;
        }
    }
    const QDir dir(folder);
    std::vector<QByteArray> pictures;
    for (const QString &name : dir.entryList({"704x240_*.jpg"}, QDir::Files, QDir::Name)) {
        QFile f(dir.filePath(name));
        if (f.open(QIODevice::ReadOnly))
            pictures.push_back(f.readAll());
    }
    if (pictures.empty()) {
        std::fprintf(stderr, "no 704x240_*.jpg in %s\n", qPrintable(dir.path()));
        return 1;
    }

    View quad("quad", 8, 4, 704, 240);
    View cells("cells", 4, 16, 704, 240);

    // The band path must draw what the whole-picture path draws.
    int checked = 0, equal = 0, mostRows[2] = {0, 0};
    for (const View *view : {&quad, &cells}) {
        for (int offset : bandOffsets) {
            BandPath band(*view, true, bandImcuRows, offset);
            WholePath whole(*view, WholePath::Lag, 0);
            for (std::size_t p = 0; p < pictures.size(); ++p) {
                band.Picture(pictures[p], (long long)p);
                whole.Picture(pictures[p], (long long)p);
                const QRect &tile = view->tileRects[p % std::size_t(view->tiles)];
                ++checked;
                equal += TilesEqual(band.Image(), whole.Image(), tile);
            }
            mostRows[view == &cells] = band.MostRowsPerCall();
        }
    }

    std::vector<Method> methods;
    auto add = [&](const View &view, std::string name, auto path) {
        methods.push_back(Method{std::string(view.name) + ":" + name,
                                 [path](const QByteArray &j, long long i) { path->Picture(j, i); },
                                 0,
                                 {}});
    };
    add(quad, "bare", std::make_shared<BarePath>(8));
    add(quad, "live dec.", std::make_shared<WholePath>(quad, WholePath::NoStretch, 0));
    for (int offset : bandOffsets) {
        const std::string at = offset < 0 ? " @heap" : " @" + std::to_string(offset);
        add(quad, "band dec." + at, std::make_shared<BandPath>(quad, false, bandImcuRows, offset));
        add(quad, "(a) band" + at, std::make_shared<BandPath>(quad, true, bandImcuRows, offset));
    }
    add(quad, "(b) paint/4", std::make_shared<WholePath>(quad, WholePath::Batch, 4));
    add(quad, "(b) lag 3", std::make_shared<WholePath>(quad, WholePath::Lag, 3));
    add(cells, "bare 4/8", std::make_shared<BarePath>(4));
    add(cells, "live dec.", std::make_shared<WholePath>(cells, WholePath::NoStretch, 0));
    for (int offset : bandOffsets) {
        const std::string at = offset < 0 ? " @heap" : " @" + std::to_string(offset);
        add(cells, "band dec." + at,
            std::make_shared<BandPath>(cells, false, bandImcuRows, offset));
        add(cells, "(a) band" + at, std::make_shared<BandPath>(cells, true, bandImcuRows, offset));
    }
    add(cells, "(b) paint/4", std::make_shared<WholePath>(cells, WholePath::Batch, 4));
    add(cells, "(b) paint/16", std::make_shared<WholePath>(cells, WholePath::Batch, 16));
    add(cells, "(b) lag 3", std::make_shared<WholePath>(cells, WholePath::Lag, 3));

    // A round: every picture `passes` times, a multiple of 16 pictures so that batches
    // and tiles come round evenly.
    const long long perRound = ((long long)(pictures.size()) * passes + 15) / 16 * 16;
    auto runRound = [&](Method &m) {
        for (long long k = 0; k < perRound; ++k, ++m.next)
            m.picture(pictures[std::size_t(m.next % (long long)pictures.size())], m.next);
    };

    if (!only.empty()) {
        auto it = std::find_if(methods.begin(), methods.end(),
                               [&](const Method &m) { return m.name == only; });
        if (it == methods.end()) {
            std::fprintf(stderr, "no method %s; methods:", only.c_str());
            for (const Method &m : methods)
                std::fprintf(stderr, " \"%s\"", m.name.c_str());
            std::fprintf(stderr, "\n");
            return 2;
        }
        runRound(*it); // warm-up: buffers, tables, the records' pictures
        BENCH_TOGGLE_COLLECT();
        for (int r = 0; r < rounds; ++r)
            runRound(*it);
        BENCH_TOGGLE_COLLECT();
        std::printf("%s: %lld pictures collected\n", it->name.c_str(), perRound * rounds);
        return 0;
    }

    for (Method &m : methods)
        runRound(m); // warm-up
    for (int r = 0; r < rounds; ++r)
        for (std::size_t k = 0; k < methods.size(); ++k) {
            Method &m = methods[(k + std::size_t(r)) % methods.size()];
            const double start = CpuSeconds();
            runRound(m);
            m.seconds.push_back(CpuSeconds() - start);
        }

    auto usPerPicture = [&](const std::string &name) {
        for (const Method &m : methods)
            if (m.name == name)
                return bench::MedianSeconds(m.seconds) * 1e6 / double(perRound);
        return 0.0;
    };
    std::printf("%zu pictures from %s, %lld per round, %d rounds, median round\n", pictures.size(),
                qPrintable(dir.path()), perRound, rounds);
    std::printf("bands of %d iMCU row(s), @N: starting N bytes past a 4096-byte boundary, @heap: "
                "where the allocator put it; most "
                "rows one jpeg_read_scanlines call gave: "
                "%d at 8/8, %d at 4/8\n",
                bandImcuRows, mostRows[0], mostRows[1]);
    std::printf("band tiles equal to whole-picture tiles: %d of %d\n", equal, checked);
    const double bareFull = usPerPicture("quad:bare");
    std::printf("%-22s %9s %8s %9s %12s %14s\n", "method", "us/pic", "x bare", "x full",
                "- bare (us)", "- own dec. (us)");
    for (const Method &m : methods) {
        const std::string view = m.name.substr(0, m.name.find(':'));
        const double us = usPerPicture(m.name);
        const double bare = usPerPicture(view == "quad" ? "quad:bare" : "cells:bare 4/8");
        const bool isBand = m.name.find("(a)") != std::string::npos;
        const bool isWhole = m.name.find("(b)") != std::string::npos;
        std::printf("%-22s %9.1f %8.3f %9.3f", m.name.c_str(), us, us / bare, us / bareFull);
        if (isBand || isWhole)
            std::printf(
                " %12.1f %14.1f", us - bare,
                us - usPerPicture(isBand ? view + ":band dec." + m.name.substr(m.name.find(" @"))
                                         : view + ":live dec."));
        std::printf("\n");
    }
    std::printf("x bare: over the bare decode at the view's scale; x full: over the bare "
                "full-size decode\n");
    return equal == checked ? 0 : 1;
}
