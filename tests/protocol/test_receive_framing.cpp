// Framing of the receive path: packets that share a read, headers split across
// reads, bytes that belong to no packet, oversized announcements, and the same
// stream fed whole, byte by byte and in random splits.

#include "receivetestutil.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "support/testsupport.h"

using namespace clienttest;

namespace {

using FramingTest = ReceivePathTest;

TEST_F(FramingTest, SmallReplyAndPictureTailShareARead)
{
    host.bAlertMode = true;
    const auto picture = LivePacket(MarkedPicture(1, 3), 2);
    const auto alert = Reply(COMMAND_R_ALERT, Words({3, 0x00010000u}));
    // The picture's last bytes, an alert and the next picture's header in one read.
    const auto stream = Concat({picture, alert, picture});
    const size_t nCut1 = 1500, nCut2 = picture.size() + alert.size() + 100;
    Read({stream.begin(), stream.begin() + nCut1});
    Read({stream.begin() + nCut1, stream.begin() + nCut2});
    Read({stream.begin() + nCut2, stream.end()});
    EXPECT_EQ(view.shown, (std::vector<int>{1, 1}));
    EXPECT_EQ(view.Codes(), std::vector<int>{STATUS_EVENT_REPORT});
    EXPECT_EQ(host.state.dwLastAlertWord, 0x00010003u);
}

class SplitHeaderTest : public FramingTest, public ::testing::WithParamInterface<size_t> {};

TEST_P(SplitHeaderTest, HeaderSplitAcrossReadsIsJoined)
{
    const auto picture = LivePacket(MarkedPicture(3, 4), 4);
    const auto stream = Concat({LivePacket({}, 1), picture});
    const size_t nCut = 60 + GetParam(); // inside the second packet's header or payload
    Read({stream.begin(), stream.begin() + nCut});
    Read({stream.begin() + nCut, stream.end()});
    EXPECT_EQ(view.shown, std::vector<int>{3});
    EXPECT_EQ(host.arms.size(), 2u);
}

INSTANTIATE_TEST_SUITE_P(Cuts, SplitHeaderTest, ::testing::Values(1, 5, 10, 16, 27, 28, 40, 59));

TEST_F(FramingTest, GarbageBeforeAHeaderIsDropped)
{
    const std::vector<uint8_t> garbage = {'x', 'y', 0, 0, 'D', 'V', 'R', ' ', 0xFF, 7, 'z'};
    Read(Concat({garbage, LivePacket(MarkedPicture(1, 5), 2)}));
    EXPECT_EQ(view.shown, std::vector<int>{1});

    // Garbage alone changes nothing, not even the lamp.
    const int nLamp = view.nLampToggles;
    Read(garbage);
    Read(std::vector<uint8_t>(500, 0xAB));
    EXPECT_EQ(view.nLampToggles, nLamp);
    EXPECT_EQ(view.shown.size(), 1u);
}

TEST_F(FramingTest, ShortPacketBeforeAPictureCostsNothing)
{
    const auto stump = Reply(0x7777, Words({1}));
    const auto picture = LivePacket(MarkedPicture(3, 9), 4);
    // A 40-byte stump as its own read, and then in the same read as the picture.
    Read({stump.begin(), stump.begin() + 40});
    Read(picture);
    Read(Concat({{stump.begin(), stump.begin() + 40}, picture}));
    EXPECT_EQ(view.shown, (std::vector<int>{3, 3}));
}

TEST_F(FramingTest, MagicSplitAtTheEndOfGarbageIsKept)
{
    const auto packet = LivePacket(MarkedPicture(2, 6), 3);
    Read(Concat({std::vector<uint8_t>(30, 0x55), {packet.begin(), packet.begin() + 4}}));
    Read({packet.begin() + 4, packet.end()});
    EXPECT_EQ(view.shown, std::vector<int>{2});
}

TEST_F(FramingTest, HugeAnnouncementLeavesMemoryBoundedAndTheStreamGoesOn)
{
    auto huge = LivePacket({}, 1);
    WriteLE32(huge.data() + 16, 0xFFFFFFFFu);
    Read(Concat({huge, std::vector<uint8_t>(9000, 0x42)}));
    Read(std::vector<uint8_t>(9129, 0x43));
    EXPECT_EQ(path.Capacity(), CReceivePath::BUFFER_SIZE);
    EXPECT_TRUE(host.arms.empty()); // the packet was passed over entirely
    Read(LivePacket(MarkedPicture(0, 7), 1));
    EXPECT_EQ(view.shown, std::vector<int>{0});
}

TEST_F(FramingTest, BlockJustOverTheCapIsSkippedAndFollowingPacketsShareItsLastRead)
{
    const uint32_t nBlock = 8u * 1024 * 1024 + 1; // one byte over the 8 MiB cap
    auto head = LivePacket({}, 1);
    WriteLE32(head.data() + 16, 60 + nBlock);
    Read(head);
    std::vector<uint8_t> chunk(RECEIVE_READ_SIZE, 0x11);
    uint32_t nLeft = nBlock;
    while (nLeft > chunk.size()) {
        Read(chunk);
        nLeft -= uint32_t(chunk.size());
    }
    // The block's last bytes and a whole picture in one read.
    Read(Concat({std::vector<uint8_t>(nLeft, 0x22), LivePacket(MarkedPicture(3, 8), 1)}));
    EXPECT_LT(path.Capacity(), 65536u); // grown for the picture only
    EXPECT_EQ(view.shown, std::vector<int>{3});
}

TEST_F(FramingTest, BlockAtTheCapGrowsTheBuffersAndANewConnectionForgetsIt)
{
    auto head = LivePacket({}, 1);
    WriteLE32(head.data() + 16, 60 + 8u * 1024 * 1024); // the cap itself
    Read(head);
    EXPECT_EQ(path.Capacity(), 8u * 1024 * 1024 + 1);
    EXPECT_EQ(path.Expected(), 8u * 1024 * 1024);
    path.ResetStream(); // a new connection: stray bytes before a header are no block
    Read(Concat({std::vector<uint8_t>(5, 0x55), LivePacket(MarkedPicture(2, 6), 3)}));
    EXPECT_EQ(view.shown, std::vector<int>{2});
}

// ---- one stream, many ways of cutting it -----------------------------------------------

struct Outcome {
    std::vector<int> shown;
    uint32_t dwAlert = 0;
    QByteArray eventFile;
    std::vector<int> statuses;
};

std::vector<uint8_t> MixedStream(std::vector<uint8_t> &eventBlock)
{
    eventBlock.resize(10 * 37);
    for (size_t i = 0; i < eventBlock.size(); ++i)
        eventBlock[i] = uint8_t(i * 13 + 5);
    return Concat({
        LivePacket(MarkedPicture(0, 11), 1),
        Reply(COMMAND_R_ALERT, Words({1, 0x01000000u})),
        LivePacket(MarkedPicture(1, 12), 1),
        LivePacket({}, 1),
        LivePacket(MarkedPicture(2, 13, 720, 288, 90), 1), // spans several reads
        Reply(COMMAND_R_EVENT, Words({}), eventBlock),
        LivePacket(MarkedPicture(3, 14), 1),
        Reply(COMMAND_R_ALERT, Words({4, 0x00000100u})),
        LivePacket(MarkedPicture(1, 15), 1),
    });
}

Outcome Feed(const std::vector<std::vector<uint8_t>> &reads)
{
    FakeView view;
    RecordingHost host;
    CReceivePath path{host};
    host.pView = &view;
    host.pPath = &path;
    host.bAlertMode = true;
    path.AllocateBuffers();
    QFile::remove(CReceivePath::EVENT_FILE_NAME);
    host.state.bySavedKind = KIND_LIVE; // the event list was asked for during live
    for (const auto &r : reads)
        path.OnRead(r.data(), r.size());
    Outcome out;
    out.shown = view.shown;
    out.dwAlert = host.state.dwLastAlertWord;
    out.statuses = view.Codes();
    QFile file(CReceivePath::EVENT_FILE_NAME);
    if (file.open(QIODevice::ReadOnly))
        out.eventFile = file.readAll();
    return out;
}

TEST(StreamSplits, EveryWayOfCuttingTheStreamGivesTheSameResult)
{
    testsupport::ScopedCurrentDir cwd;
    ASSERT_TRUE(cwd.isValid());
    std::vector<uint8_t> eventBlock;
    const auto stream = MixedStream(eventBlock);
    const QByteArray expectedFile(reinterpret_cast<const char *>(eventBlock.data()),
                                  int(eventBlock.size()));

    const Outcome socketReads = Feed(Split(stream, RECEIVE_READ_SIZE));
    EXPECT_EQ(socketReads.shown, (std::vector<int>{0, 1, 2, 3, 1}));
    EXPECT_EQ(socketReads.dwAlert, 0x00000104u);
    EXPECT_EQ(socketReads.statuses, (std::vector<int>{7, 7}));
    EXPECT_EQ(socketReads.eventFile, expectedFile);

    std::vector<std::pair<std::string, std::vector<std::vector<uint8_t>>>> cuts = {
        {"whole", {stream}},
        {"one byte", Split(stream, 1)},
        {"seven bytes", Split(stream, 7)},
        {"packet-sized", Split(stream, 60)},
    };
    for (unsigned seed = 1; seed <= 6; ++seed)
        cuts.emplace_back("random " + std::to_string(seed), RandomSplit(stream, seed));
    cuts.emplace_back("random small", RandomSplit(stream, 99, 100));
    for (const auto &cut : cuts) {
        SCOPED_TRACE(cut.first);
        const Outcome o = Feed(cut.second);
        EXPECT_EQ(o.shown, socketReads.shown);
        EXPECT_EQ(o.dwAlert, socketReads.dwAlert);
        EXPECT_EQ(o.statuses, socketReads.statuses);
        EXPECT_EQ(o.eventFile, expectedFile);
    }
}

TEST(StreamSplits, DamagedStreamsNeverCrashAndKeepMemoryBounded)
{
    testsupport::ScopedCurrentDir cwd; // a damaged event list may still be written
    ASSERT_TRUE(cwd.isValid());
    std::vector<uint8_t> eventBlock;
    const auto stream = MixedStream(eventBlock);
    std::mt19937 rng(4242);
    for (int round = 0; round < 150; ++round) {
        std::vector<uint8_t> damaged = stream;
        std::uniform_int_distribution<size_t> pos(0, damaged.size() - 1);
        const int nFlips = 1 + round % 40;
        for (int i = 0; i < nFlips; ++i)
            damaged[pos(rng)] = uint8_t(rng());
        // Now and then a header with a wild size or type.
        if (round % 3 == 0) {
            const size_t at = pos(rng) / 60 * 60;
            auto wild = Reply(COMMAND_R_LIVE, Words({}));
            WriteLE32(wild.data() + 16, uint32_t(rng()));
            WriteLE32(wild.data() + 20, uint32_t(rng() % 5));
            damaged.insert(damaged.begin() + long(at), wild.begin(), wild.end());
        }
        FakeView view;
        FakeArchive archive;
        RecordingHost host;
        CReceivePath path{host};
        host.pView = &view;
        host.pArchive = round % 2 ? &archive : nullptr;
        archive.bActive = round % 4 == 1;
        host.state.m_bNoCheckJpeg = round % 5 == 0;
        path.AllocateBuffers();
        for (const auto &r : RandomSplit(damaged, unsigned(round), round % 2 ? 9129 : 200)) {
            path.OnRead(r.data(), r.size());
            ASSERT_LE(path.Capacity(), size_t(CReceivePath::MAX_DATA_BLOCK) + 1);
        }
    }
}

// ---- the framer on its own ------------------------------------------------------------------

TEST(PacketFramer, CutsLogicalReadsAtPacketEnds)
{
    std::vector<std::pair<size_t, bool>> cuts;
    PacketFramer framer([&](const uint8_t *, size_t n, bool b) { cuts.emplace_back(n, b); });
    const auto a = Reply(COMMAND_R_LIVE, Words({}), std::vector<uint8_t>(100, 1));
    const auto b = Reply(COMMAND_R_STOP, Words({1}));
    const auto all = Concat({a, b, a});
    framer.Feed(all.data(), 150);
    framer.Feed(all.data() + 150, all.size() - 150);
    const std::vector<std::pair<size_t, bool>> expected = {
        {150, true}, {10, false}, {60, true}, {160, true}};
    EXPECT_EQ(cuts, expected);
    EXPECT_EQ(framer.Remaining(), 0u);
    EXPECT_EQ(framer.HeldBack(), 0u);
}

TEST(PacketFramer, HeaderOffsetFollowsTheTextRule)
{
    const std::string plain = std::string("DVR PACKET1.0") + std::string(15, '\0');
    EXPECT_EQ(PacketFramer::HeaderOffset(reinterpret_cast<const uint8_t *>(plain.data()), 28), 0);
    const std::string shifted = "ab" + plain;
    EXPECT_EQ(PacketFramer::HeaderOffset(reinterpret_cast<const uint8_t *>(shifted.data()), 28), 2);
    const std::string zeroFirst = std::string(1, '\0') + plain;
    EXPECT_EQ(PacketFramer::HeaderOffset(reinterpret_cast<const uint8_t *>(zeroFirst.data()), 28),
              -1);
    const std::string late = std::string(20, 'q') + plain;
    EXPECT_EQ(PacketFramer::HeaderOffset(reinterpret_cast<const uint8_t *>(late.data()), 48), -1);
}

} // namespace
