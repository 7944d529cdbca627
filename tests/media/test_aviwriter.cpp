// The AVI files themselves: stream layout, picture positions, orientation and
// colours as an independent reader sees them, write failures, names that exist,
// and a file past 1 GiB.

#include "media/aviwriter.h"
#include "mediatestutil.h"
#include "support/avisave.h"
#include "support/testapp.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#ifdef __linux__
#include <sys/mman.h>
#include <sys/vfs.h>
#include <unistd.h>
#endif
#include <algorithm>
#include <functional>

using namespace mediatest;

namespace {

QCoreApplication &App()
{
    return testsupport::TestApp<QCoreApplication>();
}

std::vector<CPackedDib> Pictures(int n)
{
    std::vector<CPackedDib> v;
    for (int i = 0; i < n; ++i)
        v.push_back(CPackedDib::FromImage(MakeImage(i)));
    return v;
}

uint32_t Le32(const QByteArray &b, int at)
{
    const auto *u = reinterpret_cast<const uchar *>(b.constData()) + at;
    return uint32_t(u[0]) | uint32_t(u[1]) << 8 | uint32_t(u[2]) << 16 | uint32_t(u[3]) << 24;
}

class AviWriterTest : public ::testing::Test {
  protected:
    void SetUp() override { App(); }
    QString Path(const QString &name) const { return m_dir.filePath(name); }
    QStringList Files() const { return QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden); }
    QTemporaryDir m_dir;
};

TEST_F(AviWriterTest, ThreePicturesAtTheirSamples)
{
    const ScopedUmask mask(022);
    std::vector<CPackedDib> pictures = Pictures(3);
    pictures[0] = CPackedDib::FromImage(MakeImage(0).convertToFormat(QImage::Format_RGB32)); // a grab
    const AviSaveResult r = SaveAviFile(Path("2005-03-01 12-00-05.avi"), pictures);
    EXPECT_FALSE(r.bError);
    EXPECT_EQ(r.nFrames, 3);
    EXPECT_EQ(r.szFileName, Path("2005-03-01 12-00-05.avi"));
    EXPECT_EQ(Files(), QStringList{"2005-03-01 12-00-05.avi"}); // no temporary left
    CheckAvi(r.szFileName, 3, MakeImage(0));
    // Made as any file of the user's (the umask decides), not private as a temporary.
    EXPECT_TRUE(QFileInfo(r.szFileName).permissions() & QFileDevice::ReadOther);

    // The stream header and format as written: "vids", handler 0, scale 1, rate 60,
    // suggested buffer = one picture, frame 640 x 480, a 40-byte bottom-up header.
    QFile f(r.szFileName);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray b = f.read(8192);
    const int strh = b.indexOf("strh") + 8;
    ASSERT_GT(strh, 8);
    EXPECT_EQ(b.mid(strh, 4), QByteArray("vids"));
    EXPECT_EQ(Le32(b, strh + 4), 0u);
    EXPECT_EQ(Le32(b, strh + 20), 1u);
    EXPECT_EQ(Le32(b, strh + 24), 60u);
    EXPECT_EQ(Le32(b, strh + 36), 921600u);
    EXPECT_EQ(Le32(b, strh + 48), 0u);
    EXPECT_EQ(Le32(b, strh + 52), uint32_t(480) << 16 | 640u);
    const int strf = b.indexOf("strf");
    ASSERT_GT(strf, 0);
    EXPECT_EQ(Le32(b, strf + 4), 40u);
    const BitmapInfoHeader h =
        LoadInfoHeader(reinterpret_cast<const uint8_t *>(b.constData()) + strf + 8);
    EXPECT_EQ(h.biWidth, 640);
    EXPECT_EQ(h.biHeight, 480); // positive: rows bottom-up
    EXPECT_EQ(h.biBitCount, 24);
    EXPECT_EQ(h.biCompression, 0u);
    EXPECT_EQ(h.biSizeImage, 921600u);
}

TEST_F(AviWriterTest, ExistingNamesAreNeverReplaced)
{
    QFile old(Path("seg.avi"));
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("keep me");
    old.close();
    const AviSaveResult a = SaveAviFile(Path("seg.avi"), Pictures(1));
    const AviSaveResult b = SaveAviFile(Path("seg.avi"), Pictures(2));
    EXPECT_EQ(a.szFileName, Path("seg_2.avi"));
    EXPECT_EQ(b.szFileName, Path("seg_3.avi"));
    ASSERT_TRUE(old.open(QIODevice::ReadOnly));
    EXPECT_EQ(old.readAll(), QByteArray("keep me"));
    CheckAvi(b.szFileName, 2, MakeImage(0));
}

TEST_F(AviWriterTest, NoPicturesNoFile)
{
    const AviSaveResult r = SaveAviFile(Path("empty.avi"), {});
    EXPECT_FALSE(r.bError);
    EXPECT_TRUE(r.szFileName.isEmpty());
    EXPECT_TRUE(Files().isEmpty());
}

TEST_F(AviWriterTest, WriteFailureKeepsTheWholePicturesBeforeIt)
{
    // On the first picture: no file at all, the error reported.
    const AviSaveResult none = SaveAviFile(Path("a.avi"), Pictures(3), 1000);
    EXPECT_TRUE(none.bError);
    EXPECT_EQ(none.szError.toStdString(), "header: No space left on device");
    EXPECT_TRUE(none.szFileName.isEmpty());
    EXPECT_TRUE(Files().isEmpty());

    // No folder: where and why.
    const AviSaveResult gone = SaveAviFile(Path("gone/x.avi"), Pictures(1));
    EXPECT_TRUE(gone.bError && gone.szFileName.isEmpty());
    EXPECT_EQ(gone.szError, "create in " + Path("gone") + ": No such file or directory");

    // On the third picture: a valid file of the first two.
    const AviSaveResult two = SaveAviFile(Path("b.avi"), Pictures(4), 2 * 921600 + 100000);
    EXPECT_TRUE(two.bError);
    EXPECT_EQ(two.nFrames, 2);
    EXPECT_EQ(Files(), QStringList{"b.avi"});
    CheckAvi(two.szFileName, 2, MakeImage(0));
}

// A picture the file cannot take after its first is refused, and says why.
TEST_F(AviWriterTest, PicturesTheFileCannotTakeAreRefused)
{
    const CPackedDib first = CPackedDib::FromImage(MakeImage(1));
    const CPackedDib small = CPackedDib::FromImage(MakeImage(2, 320, 240));
    const struct {
        std::function<bool(CAviWriter &)> fnWrite;
        const char *pszError;
    } rows[] = {
        {[&](CAviWriter &w) { return w.WriteFrame(small, 1); }, "picture size: Invalid argument"},
        {[&](CAviWriter &w) { return w.WriteFrame(first, 0); }, "picture order: Invalid argument"},
        {[](CAviWriter &w) { return w.WriteJpeg("\xff\xd8", 640, 480, 1); },
         "picture format: Invalid argument"},
    };
    for (const auto &row : rows) {
        CAviWriter writer;
        ASSERT_TRUE(writer.Open(Path("mixed.avi")));
        EXPECT_TRUE(writer.WriteFrame(first, 0));
        EXPECT_FALSE(row.fnWrite(writer));
        EXPECT_EQ(writer.ErrorText().toStdString(), row.pszError);
        EXPECT_FALSE(writer.Close());
    }
}

// Bytes of the file in the page cache; -1 where that cannot be told (not Linux, or
// a file system that keeps files in memory or passes the advice on elsewhere).
int64_t CachedBytes(const QString &file)
{
    int64_t nCached = -1;
#ifdef __linux__
    QFile f(file);
    struct statfs fs {};
    const size_t nSize = size_t(QFileInfo(file).size()), nPage = size_t(::sysconf(_SC_PAGESIZE));
    void *p = f.open(QIODevice::ReadOnly) && ::fstatfs(f.handle(), &fs) == 0 &&
                      fs.f_type != 0x01021994 /* tmpfs */ && fs.f_type != 0x794c7630 /* overlay */
                  ? ::mmap(nullptr, nSize, PROT_READ, MAP_SHARED, f.handle(), 0)
                  : MAP_FAILED;
    std::vector<unsigned char> pages((nSize + nPage - 1) / nPage);
    if (p != MAP_FAILED && ::mincore(p, nSize, pages.data()) == 0)
        nCached = int64_t(nPage) *
                  std::count_if(pages.begin(), pages.end(), [](unsigned char c) { return c & 1; });
    if (p != MAP_FAILED)
        ::munmap(p, nSize);
#endif
    Q_UNUSED(file);
    return nCached;
}

// Long: about 1.1 GB through the page cache, then read back to its end; then the
// same file with the disk full inside its last picture, past the switch to the
// large-file form, which must keep every picture before it.
TEST_F(AviWriterTest, FilePastOneGibPlaysToItsEnd)
{
    const int n = 1200; // 1200 x 921,600 bytes = 1.03 GiB of pictures
    const QImage first = MakeImage(3);
    const CPackedDib dib = CPackedDib::FromImage(first);
    const QString file = Path("big.avi");
    int64_t nFull = 0;
    for (int nPass = 0; nPass < 2; ++nPass) {
        CAviWriter writer;
        writer.SetByteLimit(nFull ? nFull : -1);
        ASSERT_TRUE(writer.Open(file));
        int i = 0;
        while (i < n && writer.WriteFrame(dib, i))
            ++i;
        ASSERT_EQ(i, nPass == 0 ? n : n - 1) << writer.ErrorText().toStdString();
        ASSERT_EQ(writer.Close(), nPass == 0) << writer.ErrorText().toStdString();
        EXPECT_GT(QFileInfo(file).size(), int64_t(1) << 30);
        // Written behind: the last 8 stretches of 8 MiB stay in the page cache, not all.
        if (const int64_t nCached = CachedBytes(file); nPass == 0 && nCached >= 0) {
            EXPECT_LT(nCached, int64_t(100) << 20);
        }
        CheckAvi(file, i, first);
        // The headers count what is in the file (a reader may trust them over a scan).
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        const QByteArray b = f.read(8192);
        EXPECT_EQ(Le32(b, b.indexOf("strh") + 8 + 32), uint32_t(i));
        nFull = QFileInfo(file).size() - 500000;
    }
    QFile::remove(file);
}

} // namespace
