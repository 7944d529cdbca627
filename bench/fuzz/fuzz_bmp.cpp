// Fuzzes BmpFileIo::ReadBmpAsRgb with the input as a file, and writes every small
// picture it reads back out as a 24-bit file that must read back the same.

#include "imaging/bmpfileio.h"

#include <QDir>
#include <QFile>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <unistd.h>
#include <vector>

namespace {

QString TempPath(const char *name)
{
    const QString base = QDir("/dev/shm").exists() ? QStringLiteral("/dev/shm") : QDir::tempPath();
    return base + QStringLiteral("/telvane-fuzz-bmp-%1-%2").arg(getpid()).arg(QLatin1String(name));
}

// Removes the two scratch files when the fuzzer exits.
struct ScratchFiles {
    QString in = TempPath("in.bmp");
    QString out = TempPath("out.bmp");
    ~ScratchFiles()
    {
        QFile::remove(in);
        QFile::remove(out);
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const ScratchFiles scratch;
    const QString &inPath = scratch.in;
    const QString &outPath = scratch.out;
    {
        QFile f(inPath);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        f.write(reinterpret_cast<const char *>(data), qint64(size));
    }
    BmpFileIo io;
    int w = -1, h = -1;
    auto rgb = io.ReadBmpAsRgb(inPath, w, h);
    if (!rgb) {
        if (w != 0 || h != 0 || io.LastMessage() == QLatin1String("OK"))
            std::abort();
        return 0;
    }
    if (w < 1 || h < 1 || uint64_t(w) * 3 * uint64_t(h) > BmpFileIo::MAX_RGB_BYTES ||
        io.LastMessage() != QLatin1String("OK"))
        std::abort();
    if (uint64_t(w) * uint64_t(h) > 4096)
        return 0;

    // Write it back: top-down RGB becomes bottom-up BGR file rows.
    std::vector<uint8_t> fileRows(size_t(w) * 3 * size_t(h));
    for (int r = 0; r < h; ++r)
        for (int x = 0; x < w; ++x)
            for (int k = 0; k < 3; ++k)
                fileRows[(size_t(h - 1 - r) * w + x) * 3 + k] =
                    rgb[(size_t(r) * w + x) * 3 + 2 - k];
    BitmapInfoHeader info;
    info.biWidth = w;
    info.biHeight = h;
    info.biBitCount = 24;
    if (!io.WriteBmp24(outPath, fileRows.data(), fileRows.size(), w, h, info))
        return 0;
    int w2 = 0, h2 = 0;
    auto back = io.ReadBmpAsRgb(outPath, w2, h2);
    if (!back || w2 != w || h2 != h || std::memcmp(back.get(), rgb.get(), size_t(w) * 3 * h) != 0)
        std::abort();
    return 0;
}
