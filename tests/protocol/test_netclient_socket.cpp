// The QTcpSocket adapter on 127.0.0.1: connect events, sends, reads of at most 9129
// bytes until nothing is left, a batch per turn, read periods, refused connects, and no events
// after Close.

#include "clientfakes.h"

#include <functional>
#include <utility>

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <gtest/gtest.h>

#ifdef Q_OS_UNIX
#include <sys/socket.h>
#endif
#include "support/testsupport.h"
#include "net/clientsocket.h"
#include "support/fakesocket.h"

namespace {

using testsupport::WaitFor;

struct Recorder : ISocketEvents {
    std::vector<int> connects;
    std::vector<size_t> reads;
    QByteArray data;
    int nClosed = 0;
    IClientSocket *pCloseOnFirstRead = nullptr;
    void OnSocketConnect(int nError) override { connects.push_back(nError); }
    void OnSocketRead(const uint8_t *p, size_t n) override
    {
        reads.push_back(n);
        data.append(reinterpret_cast<const char *>(p), int(n));
        if (pCloseOnFirstRead)
            pCloseOnFirstRead->Close();
    }
    void OnSocketClosed() override { ++nClosed; }
};

class SocketTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        clienttest::EnsureApp();
        ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
        socket.SetEvents(&events);
    }
    QTcpSocket *Accept()
    {
        if (!WaitFor([&] { return server.hasPendingConnections(); }))
            return nullptr;
        return server.nextPendingConnection();
    }
    QTcpServer server;
    Recorder events;
    CClientSocket socket;
};

TEST_F(SocketTest, ConnectsSendsAndReadsInBufferSizedReads)
{
    ASSERT_TRUE(socket.Connect(QStringLiteral("127.0.0.1"), server.serverPort()));
    QTcpSocket *peer = Accept();
    ASSERT_NE(peer, nullptr);
    ASSERT_TRUE(WaitFor([&] { return !events.connects.empty(); }));
    EXPECT_EQ(events.connects, std::vector<int>{0});
    socket.SetNoDelay();

    const uint8_t hello[] = {1, 2, 3, 4, 5};
    EXPECT_EQ(socket.Send(hello, sizeof hello), 5);
    ASSERT_TRUE(WaitFor([&] {
        peer->waitForReadyRead(1);
        return peer->bytesAvailable() >= 5;
    }));
    EXPECT_EQ(peer->readAll(), QByteArray("\x01\x02\x03\x04\x05", 5));

    QByteArray big(30000, '\0');
    for (int i = 0; i < big.size(); ++i)
        big[i] = char(i * 31);
    peer->write(big);
    peer->flush();
    ASSERT_TRUE(WaitFor([&] { return events.data.size() >= big.size(); }));
    EXPECT_EQ(events.data, big);
    for (size_t n : events.reads)
        EXPECT_LE(n, RECEIVE_READ_SIZE);
    EXPECT_NE(std::find(events.reads.begin(), events.reads.end(), RECEIVE_READ_SIZE),
              events.reads.end());

    peer->close();
    EXPECT_TRUE(WaitFor([&] { return events.nClosed > 0; }));
}

TEST_F(SocketTest, CloseInsideAReadStopsFurtherReads)
{
    ASSERT_TRUE(socket.Connect(QStringLiteral("127.0.0.1"), server.serverPort()));
    QTcpSocket *peer = Accept();
    ASSERT_NE(peer, nullptr);
    ASSERT_TRUE(WaitFor([&] { return !events.connects.empty(); }));
    events.pCloseOnFirstRead = &socket;
    peer->write(QByteArray(40000, 'x'));
    peer->flush();
    ASSERT_TRUE(WaitFor([&] { return !events.reads.empty(); }));
    WaitFor([] { return false; }, 100);
    EXPECT_EQ(events.reads.size(), 1u);
    EXPECT_EQ(socket.Send(reinterpret_cast<const uint8_t *>("x"), 1), 0);
}

// After a batch of reads the adapter lets arrivals gather for one read period; what
// comes meanwhile, however little, is handed on when the period ends, and a close
// by the peer is still noticed.
TEST_F(SocketTest, ArrivalsWithinAReadPeriodAreHandedOnAfterIt)
{
    ASSERT_TRUE(socket.Connect(QStringLiteral("127.0.0.1"), server.serverPort()));
    QTcpSocket *peer = Accept();
    ASSERT_NE(peer, nullptr);
    ASSERT_TRUE(WaitFor([&] { return !events.connects.empty(); }));

    QByteArray expected("first");
    QElapsedTimer sinceWrite;
    sinceWrite.start();
    peer->write(expected);
    peer->flush();
    ASSERT_TRUE(WaitFor([&] { return events.data.size() == expected.size(); }));
#ifdef Q_OS_UNIX
    // Within the period the system holds arrivals back below 256 KiB; after it, every
    // byte wakes the reader again.
    const auto lowWater = [fd = int(socket.findChild<QTcpSocket *>()->socketDescriptor())] {
        int n = -1;
        socklen_t len = sizeof n;
        ::getsockopt(fd, SOL_SOCKET, SO_RCVLOWAT, &n, &len);
        return n;
    };
    if (sinceWrite.elapsed() < 25) { // the period, started by the read, is not over yet
        EXPECT_EQ(lowWater(), 256 * 1024);
    }
    EXPECT_TRUE(WaitFor([&] { return lowWater() == 1; }));
#endif
    // Small pieces far below the gathering mark, the first inside the period.
    for (char c = 'a'; c < 'f'; ++c) {
        const QByteArray piece(7, c);
        peer->write(piece);
        peer->flush();
        expected += piece;
        testsupport::Spin(3);
    }
    ASSERT_TRUE(WaitFor([&] { return events.data.size() >= expected.size(); }, 2000));
    EXPECT_EQ(events.data, expected);

    peer->write("last");
    peer->flush();
    peer->close();
    expected += "last";
    ASSERT_TRUE(WaitFor([&] { return events.nClosed > 0; }, 2000));
    EXPECT_EQ(events.data, expected);
}

// A backlog on one link is handed on a batch per turn of the event loop: another
// link's arrival is handed on long before the backlog's end, every byte of the
// backlog comes in order, and the peer's close is reported once, after its last byte.
TEST_F(SocketTest, ABacklogYieldsToOtherLinksAndLosesNothing)
{
    struct Watch : Recorder {
        std::function<void()> onRead; // once, after the first read
        void OnSocketRead(const uint8_t *p, size_t n) override
        {
            Recorder::OnSocketRead(p, n);
            if (onRead)
                std::exchange(onRead, nullptr)();
        }
    } backlogSide, otherSide;
    CClientSocket other;
    socket.SetEvents(&backlogSide);
    other.SetEvents(&otherSide);
    ASSERT_TRUE(socket.Connect(QStringLiteral("127.0.0.1"), server.serverPort()));
    QTcpSocket *peer = Accept();
    ASSERT_TRUE(other.Connect(QStringLiteral("127.0.0.1"), server.serverPort()));
    QTcpSocket *otherPeer = Accept();
    ASSERT_TRUE(peer && otherPeer);
    ASSERT_TRUE(
        WaitFor([&] { return !backlogSide.connects.empty() && !otherSide.connects.empty(); }));

    socket.SetReadBatchBytes(2 * RECEIVE_READ_SIZE);
    QByteArray backlog(150000, '\0');
    for (int i = 0; i < backlog.size(); ++i)
        backlog[i] = char(i * 7 + i / 251);
    backlogSide.onRead = [&] {
        otherPeer->write("other");
        otherPeer->flush();
    };
    int nBacklogBefore = -1;
    otherSide.onRead = [&] { nBacklogBefore = int(backlogSide.data.size()); };

    peer->write(backlog);
    peer->flush();
    peer->close();
    ASSERT_TRUE(
        WaitFor([&] { return backlogSide.nClosed > 0 && !otherSide.data.isEmpty(); }, 3000));
    EXPECT_EQ(otherSide.data, QByteArray("other"));
    EXPECT_EQ(backlogSide.data, backlog);
    EXPECT_EQ(backlogSide.nClosed, 1);
    EXPECT_GT(nBacklogBefore, 0);
    EXPECT_LT(nBacklogBefore, backlog.size() / 2);
}

TEST_F(SocketTest, RefusedConnectArrivesAsAnError)
{
    // No host, or port 0: refused before anything is tried, and no event follows.
    EXPECT_FALSE(socket.Connect(QString(), server.serverPort()));
    EXPECT_FALSE(socket.Connect(QStringLiteral("127.0.0.1"), 0));
    WaitFor([] { return false; }, 50);
    EXPECT_TRUE(events.connects.empty());

    // An error without a code (Qt's UnknownSocketError, -1) before the link is up is a
    // failed connect too, never the 0 of success.
    emit socket.findChild<QTcpSocket *>()->errorOccurred(QAbstractSocket::UnknownSocketError);
    ASSERT_EQ(events.connects.size(), 1u);
    EXPECT_NE(events.connects[0], 0);
    events.connects.clear();

    const quint16 nPort = server.serverPort();
    server.close(); // nothing listens there now
    if (!socket.Connect(QStringLiteral("127.0.0.1"), nPort)) {
        SUCCEED() << "refused at once";
        return;
    }
    ASSERT_TRUE(WaitFor([&] { return !events.connects.empty(); }));
    EXPECT_NE(events.connects[0], 0);
}

TEST(FakeSocket, RecordsAndFailsOnDemand)
{
    FakeClientSocket fake;
    Recorder events;
    fake.SetEvents(&events);
    EXPECT_TRUE(fake.Connect("127.0.0.1", 8000));
    fake.CompleteConnect(0);
    const uint8_t bytes[] = {9, 8, 7};
    fake.Send(bytes, 3);
    fake.m_bFailSend = true;
    EXPECT_EQ(fake.Send(bytes, 3), -1);
    ASSERT_EQ(fake.m_sent.size(), 1u);
    fake.DeliverStream(std::vector<uint8_t>(20000, 1));
    EXPECT_EQ(events.reads, (std::vector<size_t>{9129, 9129, 1742}));
    fake.Close();
    fake.DeliverRead(QByteArray("late"));
    EXPECT_EQ(events.reads.size(), 3u);
    fake.m_bFailConnect = true;
    EXPECT_FALSE(fake.Connect("127.0.0.1", 8000));
}

} // namespace
