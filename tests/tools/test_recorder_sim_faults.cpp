// The simulator's fault options, each checked on the raw byte stream: what the
// client would see when a recorder misbehaves in that way.

#include "simharness.h"

#include "imaging/cjpegimage.h"

#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <map>
#include <set>
#include <string>

using namespace simtest;

namespace {

// A received stream cut at every "DVR PACKET" magic: each piece is a packet (or what
// is left of one) or bytes that do not start with a header.
struct Piece {
    QByteArray bytes;
    bool header = false;
    PacketHeader h;
};

std::vector<Piece> CutAtHeaders(const QByteArray &stream)
{
    std::vector<Piece> pieces;
    int pos = 0;
    while (pos < stream.size()) {
        int next = stream.indexOf(PACKET_MAGIC, pos + 1);
        if (next < 0)
            next = stream.size();
        Piece p;
        p.bytes = stream.mid(pos, next - pos);
        p.header = p.bytes.startsWith(PACKET_MAGIC) && p.bytes.size() >= int(PACKET_HEADER_SIZE);
        if (p.header)
            p.h.Parse(reinterpret_cast<const std::uint8_t *>(p.bytes.constData()),
                      std::size_t(p.bytes.size()));
        pieces.push_back(p);
        pos = next;
    }
    return pieces;
}

bool DecodesAsPicture(const QByteArray &packet)
{
    CJpegImage decoder;
    const QByteArray jpeg = packet.mid(int(PACKET_MIN_SIZE));
    return decoder.Decode(reinterpret_cast<const std::uint8_t *>(jpeg.constData()),
                          std::size_t(jpeg.size()), false) != CJpegImage::DECODE_FAILED;
}

int CountPictures(const QByteArray &stream)
{
    int n = 0;
    for (const Piece &p : CutAtHeaders(stream))
        n += p.header && p.h.nCommand == COMMAND_R_LIVE &&
             p.h.nPacketSize == std::uint32_t(p.bytes.size());
    return n;
}

} // namespace

TEST(SimFaults, NeverAnswerLogsTheLoginButSendsNothing)
{
    QTemporaryDir dir;
    SimProcess sim({"--never-answer", "--log", dir.filePath("log.jsonl")});
    Link link(sim.Port());
    link.Login();
    link.SendRequest(KIND_LIVE, Words({1, 1}));
    EXPECT_TRUE(link.Drain(700).isEmpty());
    EXPECT_EQ(link.Socket().state(), QAbstractSocket::ConnectedState);
    QFile f(dir.filePath("log.jsonl"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray log = f.readAll();
    EXPECT_TRUE(log.contains("\"name\":\"COMMAND_LOGIN\""));
    EXPECT_TRUE(log.contains("never-answer: nothing sent"));
}

TEST(SimFaults, SilentAfterSendsExactlyThatManyPicturesThenNothing)
{
    SimProcess sim({"--silent-after", "3", "--fps", "100"});
    Link link(sim.Port());
    ASSERT_TRUE(link.LoginOk());
    link.SendRequest(KIND_LIVE, Words({1, 1}));
    for (int i = 0; i < 3; ++i) {
        auto r = link.Next();
        ASSERT_TRUE(r);
        EXPECT_EQ(r->header.nCommand, COMMAND_R_LIVE);
    }
    link.SendRequest(KIND_START_TIME, Words({}));
    EXPECT_TRUE(link.Drain(700).isEmpty());
    EXPECT_EQ(link.Socket().state(), QAbstractSocket::ConnectedState);
}

TEST(SimFaults, CloseAfterClosesTheConnectionAfterThatManyPictures)
{
    SimProcess sim({"--close-after", "5", "--fps", "100"});
    Link link(sim.Port());
    ASSERT_TRUE(link.LoginOk());
    link.SendRequest(KIND_LIVE, Words({1, 1}));
    const QByteArray rest = link.Drain(WAIT_MS); // returns once the peer has closed
    EXPECT_EQ(link.Socket().state(), QAbstractSocket::UnconnectedState);
    EXPECT_EQ(CountPictures(rest), 5);
}

TEST(SimFaults, RefuseConnectionsAcceptsAndClosesAtOnce)
{
    SimProcess sim({"--refuse-connections"});
    Link link(sim.Port());
    ASSERT_TRUE(link.Connected());
    link.Login();
    EXPECT_TRUE(link.Drain(WAIT_MS).isEmpty());
    EXPECT_EQ(link.Socket().state(), QAbstractSocket::UnconnectedState);
}

TEST(SimFaults, GarbageComesInFourKindsBetweenIntactPictures)
{
    SimProcess sim({"--garbage", "2", "--fps", "100"});
    Link link(sim.Port());
    ASSERT_TRUE(link.LoginOk());
    link.SendRequest(KIND_LIVE, Words({1, 1}));
    QByteArray stream;
    while (CountPictures(stream) < 12) {
        const QByteArray more = link.Drain(100);
        ASSERT_FALSE(more.isEmpty() && link.Socket().state() != QAbstractSocket::ConnectedState);
        stream += more;
    }
    int random = 0, badType = 0, shortPacket = 0, unknownCode = 0, pictures = 0;
    for (const Piece &p : CutAtHeaders(stream)) {
        if (!p.header) {
            ++random;
            continue;
        }
        if (!p.h.IsValidType())
            ++badType;
        else if (p.bytes.size() < int(PACKET_MIN_SIZE))
            ++shortPacket;
        else if (p.h.nCommand == 0x1F00)
            ++unknownCode;
        else if (p.h.nCommand == COMMAND_R_LIVE) {
            // Random garbage is cut off with the picture it follows.
            const QByteArray packet = p.bytes.left(int(p.h.nPacketSize));
            EXPECT_TRUE(DecodesAsPicture(packet));
            random += p.bytes.size() > packet.size();
            ++pictures;
        }
    }
    EXPECT_GE(pictures, 12);
    EXPECT_GE(random, 1);
    EXPECT_GE(badType, 1);
    EXPECT_GE(shortPacket, 1);
    EXPECT_GE(unknownCode, 1);
}

struct OversizeRow {
    QStringList options;
    std::int64_t extra; // announced size - real size; -1: announced 0xFFFFFFFF
};

class SimOversize : public ::testing::TestWithParam<OversizeRow> {};

TEST_P(SimOversize, EverySecondPictureAnnouncesMoreThanFollows)
{
    SimProcess sim(GetParam().options + QStringList{"--oversize", "2", "--fps", "100"});
    Link link(sim.Port());
    ASSERT_TRUE(link.LoginOk());
    link.SendRequest(KIND_LIVE, Words({1, 1}));
    QByteArray stream;
    for (int i = 0; i < 200 && CutAtHeaders(stream).size() < 7; ++i)
        stream += link.Drain(50);
    const auto pieces = CutAtHeaders(stream);
    ASSERT_GE(pieces.size(), 7u);
    for (std::size_t i = 0; i + 1 < pieces.size(); ++i) { // the last piece may be partial
        const Piece &p = pieces[i];
        ASSERT_TRUE(p.header);
        EXPECT_TRUE(DecodesAsPicture(p.bytes)) << i;
        const std::int64_t announced = p.h.nPacketSize, real = p.bytes.size();
        if (i % 2 == 0)
            EXPECT_EQ(announced, real) << i;
        else if (GetParam().extra < 0)
            EXPECT_EQ(announced, 0xFFFFFFFFll) << i;
        else
            EXPECT_EQ(announced - real, GetParam().extra) << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, SimOversize,
                         ::testing::Values(OversizeRow{{}, 65536},
                                           OversizeRow{{"--oversize-size", "4294967295"}, -1}));

TEST(SimFaults, SplitHeaderSendsTheHeaderInTwoWrites)
{
    // With a long pause the two parts cannot land in one read.
    SimProcess sim({"--split-header", "--gap-ms", "1000"});
    Link link(sim.Port());
    link.Login();
    QElapsedTimer t;
    ASSERT_TRUE(link.Socket().waitForReadyRead(WAIT_MS));
    t.start();
    const QByteArray first = link.Socket().readAll();
    EXPECT_EQ(first.size(), 18);
    EXPECT_TRUE(first.startsWith(PACKET_MAGIC));
    QByteArray all = first;
    while (all.size() < 60 && link.Socket().waitForReadyRead(WAIT_MS))
        all += link.Socket().readAll();
    EXPECT_GE(t.elapsed(), 500);
    ASSERT_EQ(all.size(), 60);
    PacketHeader h;
    h.Parse(reinterpret_cast<const std::uint8_t *>(all.constData()), 28);
    EXPECT_EQ(h.nCommand, COMMAND_R_LOGIN);
}

TEST(SimFaults, CoalescePutsSeveralPacketsInOneWrite)
{
    SimProcess sim({"--coalesce", "3", "--gap-ms", "1000", "--fps", "100"});
    Link link(sim.Port());
    ASSERT_TRUE(link.LoginOk()); // held for company, then sent alone
    link.SendRequest(KIND_LIVE, Words({1, 1}));
    std::vector<qint64> arrival;
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < 6; ++i) {
        ASSERT_TRUE(link.Next());
        arrival.push_back(t.elapsed());
    }
    // Pictures come in threes, a pause of 1 s between the writes.
    EXPECT_LT(arrival[2] - arrival[0], 500);
    EXPECT_GE(arrival[3] - arrival[2], 700);
    EXPECT_LT(arrival[5] - arrival[3], 500);
}

TEST(SimFaults, TrickleSendsPacketsInSmallChunksSlowly)
{
    SimProcess sim({"--trickle", "20,300"});
    Link link(sim.Port());
    link.Login();
    ASSERT_TRUE(link.Socket().waitForReadyRead(WAIT_MS));
    QElapsedTimer t;
    t.start();
    QByteArray all = link.Socket().readAll();
    EXPECT_LE(all.size(), 20);
    while (all.size() < 60 && link.Socket().waitForReadyRead(WAIT_MS))
        all += link.Socket().readAll();
    // Three chunks of 20 bytes with 300 ms between them.
    EXPECT_GE(t.elapsed(), 300);
    ASSERT_EQ(all.size(), 60);
    PacketHeader h;
    h.Parse(reinterpret_cast<const std::uint8_t *>(all.constData()), 28);
    EXPECT_EQ(h.nCommand, COMMAND_R_LOGIN);
    EXPECT_EQ(ReadPayloadWords(reinterpret_cast<const std::uint8_t *>(all.constData()) + 28)[0],
              1u);
}

TEST(SimSessions, TwoClientsAreServedAtOnce)
{
    SimProcess sim({"--fps", "60"});
    Link a(sim.Port()), b(sim.Port());
    ASSERT_TRUE(a.LoginOk());
    ASSERT_TRUE(b.LoginOk());
    a.SendRequest(KIND_LIVE, Words({0, 1}));
    b.SendRequest(KIND_LIVE, Words({0, 4}));
    for (int i = 0; i < 5; ++i) {
        auto ra = a.Next(), rb = b.Next();
        ASSERT_TRUE(ra && rb);
        EXPECT_EQ(ra->words[3], 1u);
        EXPECT_EQ(rb->words[3], 4u);
    }
}

// Without fault options every reply is written alone with a pause behind it, so a
// client that reads whatever has arrived finds each packet header at the start of a
// read: login reply, alert reports, pictures and the stop confirmation alike. The
// pause is made long here, and one merged pair is forgiven, so that a test process
// the machine holds up once cannot fail it; a simulator that wrote replies together
// would merge nearly all of them.
TEST(SimPacing, EveryPacketStartsAReadOfItsOwn)
{
    SimProcess sim({"--fps", "10", "--gap-ms", "100", "--alert-interval", "300"});
    Link link(sim.Port());
    QTcpSocket &socket = link.Socket();
    link.Login();
    link.SendRequest(KIND_ALERT, AlertPayload(0x0501));
    link.SendRequest(KIND_LIVE, Words({1, 1}));

    QByteArray stream;
    std::set<int> readStarts;
    // Offsets and headers of the whole packets received so far, framed by nPacketSize.
    auto packets = [&stream] {
        std::vector<std::pair<int, PacketHeader>> out;
        int pos = 0;
        while (pos + int(PACKET_MIN_SIZE) <= stream.size()) {
            PacketHeader h;
            h.Parse(reinterpret_cast<const std::uint8_t *>(stream.constData()) + pos,
                    PACKET_HEADER_SIZE);
            if (h.nPacketSize < PACKET_MIN_SIZE || pos + qint64(h.nPacketSize) > stream.size())
                break;
            out.emplace_back(pos, h);
            pos += int(h.nPacketSize);
        }
        return out;
    };
    auto count = [&packets](std::uint32_t code) {
        int n = 0;
        for (const auto &[pos, h] : packets())
            n += h.nCommand == code;
        return n;
    };
    auto readSome = [&] {
        if (!socket.waitForReadyRead(WAIT_MS))
            return false;
        readStarts.insert(stream.size());
        stream += socket.readAll();
        return true;
    };
    while (count(COMMAND_R_LIVE) < 12)
        ASSERT_TRUE(readSome());
    link.SendRequest(KIND_STOP, StopPayload());
    while (count(COMMAND_R_STOP) == 0)
        ASSERT_TRUE(readSome());

    std::map<std::uint32_t, int> seen;
    std::string shared;
    for (const auto &[pos, h] : packets()) {
        const auto *at = reinterpret_cast<const std::uint8_t *>(stream.constData()) + pos;
        ASSERT_TRUE(StartsPacket(at, PACKET_HEADER_SIZE)) << "at " << pos;
        EXPECT_EQ(h.nPacketType, 1u);
        if (!readStarts.count(pos))
            shared += " 0x" + QByteArray::number(h.nCommand, 16).toStdString() + "@" +
                      std::to_string(pos);
        ++seen[h.nCommand];
    }
    EXPECT_LE(std::count(shared.begin(), shared.end(), '@'), 1)
        << "packets sharing a read:" << shared;
    EXPECT_EQ(seen[COMMAND_R_LOGIN], 1);
    EXPECT_GE(seen[COMMAND_R_ALERT], 2);
    EXPECT_GE(seen[COMMAND_R_LIVE], 12);
    EXPECT_EQ(seen[COMMAND_R_STOP], 1);
}

// A client that keeps asking for megabyte event lists and reads nothing must not make
// the simulator buffer replies without bound: it is cut off, and others are still served.
TEST(SimRobustness, AClientThatNeverReadsIsCutOffInsteadOfBuffered)
{
    QTemporaryDir dir;
    const QString logFile = dir.filePath("log.jsonl");
    SimProcess sim({"--events", "100000", "--log", logFile}); // 1 MB per list
    Link greedy(sim.Port());
    ASSERT_TRUE(greedy.LoginOk());
    greedy.Socket().setReadBufferSize(4096); // from now on the kernel buffers fill up
    std::vector<std::uint8_t> requests;
    const auto one =
        BuildRequestWords(KIND_EVENT, MakeVersionText(PACKET_VERSION_12), EventPayload());
    for (int i = 0; i < 150; ++i)
        requests.insert(requests.end(), one.begin(), one.end());
    greedy.SendBytes(requests);

    QFile f(logFile);
    QByteArray log;
    QElapsedTimer t;
    t.start();
    while (!log.contains("\"event\":\"overflow\"") && t.elapsed() < WAIT_MS) {
        QThread::msleep(50);
        if (f.open(QIODevice::ReadOnly)) {
            log = f.readAll();
            f.close();
        }
    }
    EXPECT_TRUE(log.contains("\"event\":\"overflow\""));
    EXPECT_LT(log.count("COMMAND_EVENT"), 150) << "requests behind the cut are not answered";
    EXPECT_EQ(sim.Process().state(), QProcess::Running);

    Link other(sim.Port());
    EXPECT_TRUE(other.LoginOk());
}
