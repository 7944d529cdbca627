// Receive path: dispatch, reassembly, the first-read rule, decoding and filing, the
// event file, the playback rules. Driven with bytes through CReceivePath and a host
// that records what the path asks of the rest of the client.

#include "receivetestutil.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "support/testsupport.h"

#include <algorithm>
#include <set>

using namespace clienttest;

namespace {

class ReceiveTest : public ReceivePathTest {
  protected:
    // An event list left by an earlier request, in the current folder.
    static void WriteStaleEventFile(int nBytes)
    {
        QFile stale(CReceivePath::EVENT_FILE_NAME);
        ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
        stale.write(QByteArray(nBytes, 'x'));
    }
    FakeArchive archive;
};

TEST_F(ReceiveTest, EmptyLiveReplyRearmsTheResponseTimerAndDecodesNothing)
{
    Read(LivePacket({}, 2));
    EXPECT_EQ(path.Expected(), 0u);
    EXPECT_EQ(host.state.byCurrentKind, KIND_LIVE);
    EXPECT_EQ(host.state.m_nCurrentChannel, 1);
    EXPECT_EQ(host.arms, std::vector<bool>{true});
    EXPECT_TRUE(view.shown.empty());
    EXPECT_EQ(view.nLampToggles, 1);
}

TEST_F(ReceiveTest, PictureInOneReadIsFiledUnderItsMarkedChannel)
{
    const auto jpeg = MarkedPicture(3, 1);
    ASSERT_GE(jpeg.size(), CReceivePath::MIN_FIRST_READ_PICTURE);
    ASSERT_LE(jpeg.size() + 60, RECEIVE_READ_SIZE);
    Read(LivePacket(jpeg, 1)); // the reply names channel 1, the marker channel 4
    ASSERT_EQ(view.shown, std::vector<int>{3});
    EXPECT_EQ(host.state.m_nDecodeChannel, 3);
    const ChannelPicture &pic = view.pictures[3];
    ASSERT_NE(pic.pBits, nullptr);
    EXPECT_EQ(pic.pHeader->biWidth, 704);
    EXPECT_EQ(pic.pHeader->biHeight, 240);
    EXPECT_EQ(pic.pBits, path.FrameRecord(3).Pixels());
    EXPECT_EQ(pic.byFieldFlag, 0); // the index pattern is present
    EXPECT_EQ(pic.byWidthFlag, 0);
    EXPECT_EQ(path.Expected(), 0u); // emptied for the next picture
}

TEST_F(ReceiveTest, BorrowedPictureStaysIntactUntilItsChannelsNextPicture)
{
    // Filing hands buffers between the decoder and the records instead of copying:
    // the view's pointer to channel 1 must survive pictures of the other channels,
    // and a steady stream must settle on a fixed set of buffers.
    Read(LivePacket(MarkedPicture(0, 1), 1));
    ASSERT_EQ(view.shown, std::vector<int>{0});
    const uint8_t *pBorrowed = view.pictures[0].pBits;
    const size_t nBytes = view.pictures[0].pHeader->biSizeImage;
    const std::vector<uint8_t> before(pBorrowed, pBorrowed + nBytes);

    for (int round = 0; round < 3; ++round)
        for (int ch = 1; ch < 4; ++ch)
            Read(LivePacket(MarkedPicture(ch, 2 + round), ch + 1));
    EXPECT_EQ(view.pictures[0].pBits, pBorrowed);
    EXPECT_TRUE(std::equal(before.begin(), before.end(), pBorrowed));

    std::set<const uint8_t *> buffers;
    for (int round = 0; round < 4; ++round)
        for (int ch = 0; ch < 4; ++ch) {
            Read(LivePacket(MarkedPicture(ch, 6 + round), ch + 1));
            buffers.insert(view.pictures[ch].pBits);
        }
    EXPECT_LE(buffers.size(), 5u); // four records and the decoder's spare
}

TEST_F(ReceiveTest, SmallPictureIsDroppedInOneReadAndShownWhenSplit)
{
    const auto jpeg = SmallPicture(1, 2500); // below the 3072-byte first-read minimum
    ASSERT_EQ(jpeg.size(), 2500u);
    const auto packet = LivePacket(jpeg, 2);
    Read(packet);
    EXPECT_TRUE(view.shown.empty());
    EXPECT_EQ(host.state.m_nDecodeChannel, CReceivePath::NO_CHANNEL);

    Read({packet.begin(), packet.begin() + 1000});
    Read({packet.begin() + 1000, packet.end()});
    EXPECT_EQ(view.shown, std::vector<int>{1});
}

TEST_F(ReceiveTest, LargePictureGrowsTheBuffersAndCompletesAfterItsLastRead)
{
    // A valid picture padded behind its end marker to exactly 20000 bytes.
    auto jpeg = MarkedPicture(2, 5, 704, 240, 70);
    ASSERT_LT(jpeg.size(), 20000u);
    jpeg.resize(20000, 0);
    const auto reads = Split(LivePacket(jpeg, 3), RECEIVE_READ_SIZE);
    ASSERT_EQ(reads.size(), 3u);
    Read(reads[0]);
    EXPECT_EQ(path.Capacity(), 20001u);
    EXPECT_EQ(path.Received(), 9069u);
    Read(reads[1]);
    EXPECT_TRUE(view.shown.empty());
    Read(reads[2]);
    EXPECT_EQ(view.shown, std::vector<int>{2});
    EXPECT_EQ(view.nLampToggles, 3);
}

TEST_F(ReceiveTest, AlertReportsNeedAlertModeAndAValidChannel)
{
    const auto alert = [](uint32_t ch) { return Reply(COMMAND_R_ALERT, Words({ch, 0x01000100u})); };
    Read(alert(2));
    EXPECT_TRUE(view.statuses.empty());
    EXPECT_EQ(host.state.dwLastAlertWord, 0u);

    host.bAlertMode = true;
    Read(alert(0));
    Read(alert(5));
    EXPECT_TRUE(view.statuses.empty());
    Read(alert(2));
    EXPECT_EQ(view.Codes(), std::vector<int>{STATUS_EVENT_REPORT});
    EXPECT_EQ(host.state.dwLastAlertWord, 0x01000102u);
}

TEST_F(ReceiveTest, NoCheckFilesUnderTheRepliesChannel)
{
    host.state.m_bNoCheckJpeg = true;
    Read(LivePacket(MarkedPicture(0, 2), 3));
    EXPECT_EQ(view.shown, std::vector<int>{2});
}

TEST_F(ReceiveTest, PicturesAreDecodedNoLargerThanTheirChannelsTile)
{
    path.SetDrawnSize(3, 158, 118); // a 160 x 120 cell
    path.SetDrawnSize(0, 318, 238); // the reply's channel does not decide
    Read(LivePacket(MarkedPicture(3, 1), 1));
    ASSERT_EQ(view.shown, std::vector<int>{3});
    EXPECT_EQ(view.pictures[3].pHeader->biWidth, 352);
    EXPECT_EQ(view.pictures[3].pHeader->biHeight, 120);
    EXPECT_EQ(path.FrameRecord(3).FullWidth(), 704);
    EXPECT_EQ(view.pictures[3].byWidthFlag, 0); // the JPEG's width, not the decoded one

    // A tile that grows gets full pictures from the next picture on.
    path.SetDrawnSize(3, 318, 238);
    Read(LivePacket(MarkedPicture(3, 2), 1));
    EXPECT_EQ(view.pictures[3].pHeader->biWidth, 704);

    // Without the marker check the reply's channel is the tile's.
    host.state.m_bNoCheckJpeg = true;
    path.SetDrawnSize(1, 158, 118);
    Read(LivePacket(MarkedPicture(3, 3), 2));
    ASSERT_EQ(view.shown.back(), 1);
    EXPECT_EQ(view.pictures[1].pHeader->biWidth, 352);
}

TEST_F(ReceiveTest, NoCheckDoesNotShowAnUndecodablePicture)
{
    host.state.m_bNoCheckJpeg = true;
    std::vector<uint8_t> junk(4000, 0x11);
    Read(LivePacket(junk, 3));
    EXPECT_TRUE(view.shown.empty());
    EXPECT_EQ(host.state.m_nDecodeChannel, CJpegImage::DECODE_FAILED);
}

// The event list replaces the file with exactly its block, received in two reads; a
// recorder without events answers with no block, and the list the operator sees must
// become empty, not stay as it was. Either way the kind saved before it comes back.
TEST_F(ReceiveTest, EventListReplacesTheFileWithExactlyTheBlock)
{
    testsupport::ScopedCurrentDir cwd;
    ASSERT_TRUE(cwd.isValid());
    host.pArchive = &archive;
    for (const std::size_t nBytes : {100, 0}) {
        WriteStaleEventFile(500);
        host.state.byCurrentKind = KIND_EVENT;
        host.state.bySavedKind = nBytes ? KIND_LIVE : KIND_RECORDER;
        QByteArray block(int(nBytes), 0);
        for (int i = 0; i < block.size(); ++i)
            block[i] = char(i * 7 + 1);
        const auto packet = Reply(COMMAND_R_EVENT, Words({}), {block.begin(), block.end()});
        const std::size_t nCut = std::min<std::size_t>(70, packet.size() - 1);
        Read({packet.begin(), packet.begin() + nCut});
        Read({packet.begin() + nCut, packet.end()});
        QFile file(CReceivePath::EVENT_FILE_NAME);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.readAll(), block);
        EXPECT_EQ(host.state.byCurrentKind, nBytes ? KIND_LIVE : KIND_RECORDER);
    }
    EXPECT_EQ(archive.nEventListReady, 2);
    EXPECT_EQ(host.arms, std::vector<bool>(3, false)); // each header, the block's next read
}

TEST_F(ReceiveTest, StopPendingDropsPicturesAndTheConfirmationClearsIt)
{
    host.state.bStopPending = true;
    const auto picture = LivePacket(MarkedPicture(1, 3), 2);
    Read(picture);
    EXPECT_TRUE(view.shown.empty());
    EXPECT_EQ(view.nLampToggles, 0);
    Read(Reply(COMMAND_R_STOP, Words({1})));
    EXPECT_FALSE(host.state.bStopPending);
    EXPECT_EQ(host.nStopTimerKills, 1);
    Read(picture);
    EXPECT_EQ(view.shown, std::vector<int>{1});
}

// A reply dropped while a stop is pending is skipped to its end even when the stop
// ends (the repeat timer) before its last read: its tail never completes the block
// that was unfinished before it.
TEST_F(ReceiveTest, DroppedPictureIsNotStitchedToAnUnfinishedOne)
{
    // Same length, so the dropped tail would complete the first picture exactly.
    const auto first = Split(LivePacket(MarkedPicture(1, 3), 2), 2000);
    const auto dropped = Split(LivePacket(MarkedPicture(1, 3), 2), 2000);
    Read(first[0]);
    host.state.bStopPending = true;
    Read(dropped[0]);
    host.state.bStopPending = false;
    for (size_t i = 1; i < dropped.size(); ++i)
        Read(dropped[i]);
    EXPECT_TRUE(view.shown.empty());
    ReadAll(Split(LivePacket(MarkedPicture(3, 5), 4), 2000));
    EXPECT_EQ(view.shown, std::vector<int>{3});
}

TEST_F(ReceiveTest, UnconfirmedStopReplyOnlyStopsTheResponseTimer)
{
    host.state.bStopPending = true;
    Read(Reply(COMMAND_R_STOP, Words({0})));
    EXPECT_TRUE(host.state.bStopPending);
    EXPECT_EQ(host.nStopTimerKills, 0);
    EXPECT_EQ(host.arms, std::vector<bool>{false});
}

TEST_F(ReceiveTest, BadReadsAreDroppedWithoutSideEffects)
{
    auto bad = LivePacket({}, 1);
    WriteLE32(bad.data() + 20, 4); // nPacketType outside 1..3
    Read(bad);
    EXPECT_TRUE(host.arms.empty());
    EXPECT_EQ(view.nLampToggles, 0);
    Read(Reply(0x7777, Words({1}))); // unknown code: lamp only
    EXPECT_EQ(view.nLampToggles, 1);
    EXPECT_TRUE(host.arms.empty());
}

TEST_F(ReceiveTest, StartTimeReplyHandsTheRangeToTheArchive)
{
    host.pArchive = &archive;
    Read(Reply(COMMAND_R_START_TIME, Words({0, 0, 11, 12, 13, 14})));
    ASSERT_EQ(archive.timeRanges.size(), 1u);
    EXPECT_EQ(archive.timeRanges[0], (std::vector<uint32_t>{11, 12, 13, 14}));
    EXPECT_EQ(archive.nTimeBlockRedraws, 1);
}

struct ClearRow {
    const char *name;
    std::vector<std::vector<uint8_t>> reads;
    size_t nCapacity; // capacity the reads leave behind
};

class ReassemblyClearTest : public ::testing::TestWithParam<ClearRow> {};

TEST_P(ReassemblyClearTest, EmptyingLeavesBothBuffersZero)
{
    FakeView view;
    RecordingHost host;
    CReceivePath path{host};
    host.pView = &view;
    host.pPath = &path;
    path.AllocateBuffers();
    for (const auto &r : GetParam().reads)
        path.OnRead(r.data(), r.size());
    EXPECT_EQ(path.Capacity(), GetParam().nCapacity);
    EXPECT_TRUE(path.IsReassemblyClear());
}

std::vector<uint8_t> LargeBlockStart()
{
    // Announces a 100000-byte block and brings its first 9000 bytes.
    std::vector<uint8_t> head = LivePacket(std::vector<uint8_t>(9000, 0x5A), 1);
    WriteLE32(head.data() + 16, 60 + 100000);
    return head;
}

ClearRow Row(const char *name, std::vector<std::vector<uint8_t>> reads,
             size_t nCapacity = CReceivePath::BUFFER_SIZE)
{
    return ClearRow{name, std::move(reads), nCapacity};
}

INSTANTIATE_TEST_SUITE_P(
    Paths, ReassemblyClearTest,
    ::testing::Values(
        Row("PictureInOneRead", {LivePacket(MarkedPicture(1, 3), 2)}),
        Row("PictureSplit", Split(LivePacket(MarkedPicture(2, 4, 640, 112, 70), 3), 1000)),
        // The picture is shorter than what the abandoned block had stored.
        Row("AbandonedLargeBlockThenPicture",
            {LargeBlockStart(), LivePacket(MarkedPicture(0, 5, 640, 112, 70), 1)}, 100001)),
    [](const ::testing::TestParamInfo<ClearRow> &info) { return std::string(info.param.name); });

// ---- playback ---------------------------------------------------------------------------

class PlaybackTest : public ReceiveTest {
  protected:
    void SetUp() override
    {
        ReceiveTest::SetUp();
        host.pArchive = &archive;
        archive.bActive = true;
        archive.wPlayState = 0x0001;
    }
    std::vector<uint8_t> Picture(uint8_t byChannel, unsigned nSeed = 1)
    {
        // Version code 2: word 0 = channel << 24 | year << 8 | month.
        return Reply(COMMAND_R_RECORDER,
                     Words({uint32_t(byChannel) << 24 | 2005u << 8 | 3u, 0x0F0A141Eu, 0, 1}),
                     MarkedPicture(byChannel, nSeed));
    }
};

TEST_F(PlaybackTest, PicturesAreDrawnAndTimedWhilePlaying)
{
    Read(Picture(1));
    EXPECT_EQ(archive.drawn, std::vector<int>{1});
    ASSERT_EQ(archive.pictureWords.size(), 1u);
    EXPECT_EQ(archive.pictureWords[0].second, 0x0F0A141Eu);
    EXPECT_EQ(host.arms, std::vector<bool>{true});
    EXPECT_EQ(archive.nLampToggles, 1);
    EXPECT_EQ(view.nLampToggles, 0);
    EXPECT_TRUE(view.shown.empty()); // the live view is not fed during playback
}

TEST_F(PlaybackTest, VersionOneCarriesCalendarSeconds)
{
    host.state.m_nVerifyVersionInfo = VERSION_CODE_10;
    Read(Reply(COMMAND_R_RECORDER, Words({2, 1111111111u, 0, 1}), MarkedPicture(2)));
    EXPECT_EQ(archive.pictureSeconds, std::vector<uint32_t>{1111111111u});
    EXPECT_EQ(archive.drawn, std::vector<int>{2});
}

TEST_F(PlaybackTest, EndStatusStopsTheTimerAndDrawsNothing)
{
    Read(Reply(COMMAND_R_RECORDER, Words({0, 0, 0, 3})));
    EXPECT_EQ(archive.endStatuses, std::vector<int>{3});
    EXPECT_EQ(host.arms, std::vector<bool>{false});
    EXPECT_TRUE(archive.drawn.empty());
}

// After a stop request (stopped, skip counter 1) the pictures still under way are
// shown but the second; none of them arms the reply timer again.
TEST_F(PlaybackTest, PicturesAfterAStopSkipTheSecondAndLeaveTheTimerOff)
{
    archive.wPlayState = 0;
    host.state.bySkipCounter = 1;
    for (unsigned i = 0; i < 4; ++i)
        ReadAll(Split(Picture(0, i), 2000));
    EXPECT_EQ(archive.drawn, (std::vector<int>{0, 0, 0}));
    EXPECT_EQ(host.state.bySkipCounter, 0);
    ASSERT_FALSE(host.arms.empty());
    EXPECT_EQ(std::count(host.arms.begin(), host.arms.end(), true), 0);
}

TEST_F(PlaybackTest, SearchingNoticeGoesAfterTheFourthPicture)
{
    archive.bShowingNotice = true;
    for (unsigned i = 0; i < 3; ++i)
        Read(Picture(0, i));
    EXPECT_TRUE(archive.notices.empty());
    Read(Picture(0, 9));
    ASSERT_EQ(archive.notices.size(), 1u);
    EXPECT_EQ(archive.notices[0], QString(30, QLatin1Char(' ')));
    EXPECT_FALSE(archive.bShowingNotice);
    EXPECT_EQ(archive.nNoticePictures, 0);
}

TEST_F(PlaybackTest, TwentiethReplyAfterAPauseRenewsTheLinkFast)
{
    host.state.wPlaybackCounter = 0x0101;
    const auto end = Reply(COMMAND_R_RECORDER, Words({0, 0, 0, 2}));
    for (int i = 0; i < 19; ++i)
        Read(end);
    EXPECT_EQ(host.state.wPlaybackCounter, 0x0114);
    EXPECT_TRUE(host.reconnects.empty());
    EXPECT_EQ(archive.endStatuses.size(), 19u);
    Read(end);
    EXPECT_EQ(host.reconnects, std::vector<bool>{true});
    EXPECT_EQ(host.state.wPlaybackCounter, 0);
    EXPECT_EQ(archive.endStatuses.size(), 19u); // the 20th is dropped
    EXPECT_EQ(archive.nLampToggles, 19);
}

TEST_F(PlaybackTest, TwentiethReplyIsSkippedToItsEnd)
{
    const auto first = Split(Picture(0, 1), 2000);
    const auto twentieth = Split(Picture(0, 1), 2000);
    Read(first[0]);
    host.state.wPlaybackCounter = 0x0114;
    for (const auto &read : twentieth)
        Read(read);
    EXPECT_EQ(host.reconnects, std::vector<bool>{true});
    EXPECT_TRUE(archive.drawn.empty());
}

TEST_F(PlaybackTest, PlaybackPictureOutsidePlaybackModeIsDiscarded)
{
    archive.bActive = false;
    Read(Picture(1));
    EXPECT_TRUE(archive.drawn.empty());
    EXPECT_TRUE(archive.pictureWords.empty()); // nor timed
    EXPECT_EQ(path.Expected(), 0u);
}

} // namespace
