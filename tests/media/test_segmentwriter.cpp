// The writer thread on its own: the bytes it counts as queued on every path a
// picture can take, a segment whose file cannot be made, and a segment its owner
// never ended.

#include "media/segmentwriter.h"
#include "mediatestutil.h"
#include "support/testapp.h"
#include "support/testsupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <future>
#include <mutex>

using namespace mediatest;

namespace {

class SegmentWriterTest : public ::testing::Test {
  protected:
    void SetUp() override { testsupport::TestApp<QCoreApplication>(); }
    QueuedPicture Picture(int nSeed)
    {
        QueuedPicture p = m_pWriter->TakeBuffer(W, H);
        EXPECT_TRUE(p.dib.CopyFrom(MakeImage(nSeed)));
        return p;
    }
    QStringList Files() const { return QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden); }

    QTemporaryDir m_dir;
    std::mutex m_mutex;
    std::vector<uint64_t> m_failed;
    std::vector<SegmentResult> m_done;
    std::promise<void> m_release;
    std::shared_future<void> m_gate = m_release.get_future().share();
    std::unique_ptr<CSegmentWriter> m_pWriter = std::make_unique<CSegmentWriter>(
        [this](uint64_t nSeq) {
            if (nSeq == 50) // a disk that holds up the segment's end
                m_gate.wait();
        },
        [this](uint64_t nSeq, const QString &) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_failed.push_back(nSeq);
        },
        [this](const SegmentResult &r) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_done.push_back(r);
        });
};

// Every way a picture can leave the queue gives back exactly what it was counted for.
TEST_F(SegmentWriterTest, BytesQueuedReturnToZeroOnEveryPath)
{
    const QString folder = m_dir.path();
    struct Row {
        const char *szPath;
        QString szFolder;
        int64_t nFault;
        uint64_t nPictureSeq; // the segment the pictures are added to
    };
    const Row rows[] = {
        {"written", folder, -1, 1},
        {"disk full in the second picture", folder, 921600 + 400000, 1},
        {"file cannot be made", folder + "/missing", -1, 1},
        {"segment never begun", folder, -1, 7},
    };
    uint64_t nSeq = 0;
    for (const Row &row : rows) {
        SCOPED_TRACE(row.szPath);
        ++nSeq;
        m_pWriter->BeginSegment(nSeq, row.szFolder, QString(), AviCodec::RAW, row.nFault);
        for (int i = 0; i < 4; ++i)
            m_pWriter->AddPicture(row.nPictureSeq == 1 ? nSeq : row.nPictureSeq, Picture(i), i);
        QueuedPicture spare = Picture(9); // taken, never queued; counted by its rows
        EXPECT_EQ(spare.nBytes, int64_t(W) * 3 * H);
        m_pWriter->ReturnBuffer(std::move(spare));
        m_pWriter->EndSegment(nSeq, m_dir.filePath(QStringLiteral("seg%1.avi").arg(nSeq)));
        ASSERT_TRUE(m_pWriter->WaitIdle(20000));
        EXPECT_EQ(m_pWriter->BytesInUse(), 0);
    }
    // Given up before they were written, behind a segment end the disk holds up.
    m_pWriter->BeginSegment(50, folder, QString());
    m_pWriter->AddPicture(50, Picture(1), 0);
    m_pWriter->EndSegment(50, m_dir.filePath("held.avi"));
    for (int i = 0; i < 2; ++i)
        m_pWriter->AddPicture(51, Picture(i), i);
    EXPECT_FALSE(m_pWriter->WaitIdle(50));
    m_pWriter->SetByteLimit(3 * int64_t(W) * 3 * H); // room for exactly one more
    QueuedPicture third = m_pWriter->TakeBuffer(W, H);
    EXPECT_EQ(third.nBytes, int64_t(W) * 3 * H);
    EXPECT_EQ(m_pWriter->TakeBuffer(W, H).nBytes, 0);
    m_pWriter->ReturnBuffer(std::move(third));
    EXPECT_EQ(m_pWriter->DropQueuedPictures(), 2);
    m_release.set_value();
    ASSERT_TRUE(m_pWriter->WaitIdle(20000));
    EXPECT_EQ(m_pWriter->BytesInUse(), 0);

    // What each segment came to: the failures reported once, on their own segment.
    std::lock_guard<std::mutex> lock(m_mutex);
    EXPECT_EQ(m_failed, (std::vector<uint64_t>{2, 3}));
    ASSERT_EQ(m_done.size(), 5u);
    EXPECT_EQ(m_done[0].save.nFrames, 4);
    EXPECT_EQ(m_done[1].save.nFrames, 1);
    EXPECT_TRUE(m_done[1].save.bError);
    EXPECT_TRUE(m_done[2].save.bError); // the failure path, no file
    EXPECT_TRUE(m_done[2].save.szFileName.isEmpty());
    EXPECT_FALSE(m_done[3].save.bError);
    EXPECT_TRUE(m_done[3].save.szFileName.isEmpty());
    EXPECT_EQ(Files(), (QStringList{"held.avi", "seg1.avi", "seg2.avi"}));
}

// The owner went away while a segment was filling: its pictures stay, under the
// name given when it began, and no temporary file is left.
TEST(SegmentWriterThreads, UpToTwoEncodersByTheCoresPresent)
{
    const std::pair<unsigned, int> rows[] = {{0, 1}, {1, 1}, {2, 2}, {3, 2}, {16, 2}};
    for (const auto &[nCores, nThreads] : rows)
        EXPECT_EQ(CSegmentWriter::EncodeThreadsFor(nCores), nThreads) << nCores;
}

TEST_F(SegmentWriterTest, DestructionFinishesAnOpenSegment)
{
    m_pWriter->BeginSegment(1, m_dir.path(), m_dir.filePath("open.avi"));
    for (int i = 0; i < 3; ++i)
        m_pWriter->AddPicture(1, Picture(i), i);
    // Until then the file is hidden and named as unfinished.
    ASSERT_TRUE(testsupport::WaitFor([&] { return !Files().isEmpty(); }, 5000));
    EXPECT_TRUE(Files()[0].startsWith(".recording-") && Files()[0].endsWith(".avi.part"))
        << Files()[0].toStdString();
    m_pWriter.reset();
    ASSERT_EQ(Files(), QStringList{"open.avi"});
    CheckAvi(m_dir.filePath("open.avi"), 3, MakeImage(0));
    ASSERT_EQ(m_done.size(), 1u);
    EXPECT_EQ(m_done[0].save.nFrames, 3);
}

} // namespace
