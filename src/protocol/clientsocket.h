#pragma once
// The client's view of its TCP link: a small interface the protocol client drives,
// its QTcpSocket adapter CClientSocket, and a scripted fake for tests.
//
// Events (all on the owner's thread): OnSocketConnect(0) when the connection is up,
// OnSocketConnect(error) when an asynchronous connect fails; OnSocketRead once per
// read of at most RECEIVE_READ_SIZE bytes (the adapter reads until nothing is left,
// so one arrival may give several reads); OnSocketClosed when the peer closes or the
// link breaks (the client takes no action on it: a dead link is noticed by its
// response timer).
//
// CClientSocket takes arrivals at most once per READ_PERIOD_MS where the system
// allows it. A stream of pictures would otherwise wake the program for every
// packet, and every wake-up costs a poll, a read, an acknowledgement and a
// response-timer restart. After handing on what it read, the adapter raises the
// socket's receive low-water mark, so the system lets arrivals gather without
// waking the program, and lowers it to one byte when the period is over, which
// wakes the program at once if anything has come. The first arrival after a quiet
// period is handed on at once; nothing is lost, only delayed by at most one
// period. A closed or broken link is reported regardless of the mark.

#include <QByteArray>
#include <QObject>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

class QTcpSocket;
class QTimer;

// Size of one read, the client's receive buffer.
constexpr std::size_t RECEIVE_READ_SIZE = 9129;
// Shortest time from the start of one batch of reads to the next: a little under the
// 33 ms between two pictures of a channel at 30 pictures per second, so a batch
// brings about one picture per live channel and none is overtaken before it is shown.
constexpr int READ_PERIOD_MS = 30;
// Receive low-water mark within a read period: far above what one period brings.
constexpr int READ_GATHER_BYTES = 256 * 1024;

class ISocketEvents {
  public:
    virtual ~ISocketEvents() = default;
    virtual void OnSocketConnect(int nErrorCode) = 0;
    virtual void OnSocketRead(const uint8_t *pData, std::size_t nLength) = 0;
    virtual void OnSocketClosed() {}
};

class IClientSocket {
  public:
    virtual ~IClientSocket() = default;

    // Where the events go; set before Connect.
    void SetEvents(ISocketEvents *pEvents) { m_pEvents = pEvents; }

    // Starts a non-blocking connect to host (dotted address or name) and port.
    // False when the attempt cannot even start; the outcome otherwise arrives as
    // OnSocketConnect.
    virtual bool Connect(const QString &host, uint16_t nPort) = 0;
    // Queues bytes for sending; returns the count accepted (the client does not check).
    virtual int64_t Send(const uint8_t *pData, std::size_t nLength) = 0;
    // Switches TCP no-delay on (done once the connection is up).
    virtual void SetNoDelay() = 0;
    // Shuts the link down in both directions and closes it. No events follow.
    virtual void Close() = 0;

  protected:
    ISocketEvents *m_pEvents = nullptr;
};

// Makes a fresh socket for every connect attempt.
using SocketFactory = std::function<std::unique_ptr<IClientSocket>()>;

// QTcpSocket adapter used by the program.
class CClientSocket : public QObject, public IClientSocket {
    Q_OBJECT
  public:
    explicit CClientSocket(QObject *parent = nullptr);
    ~CClientSocket() override;

    bool Connect(const QString &host, uint16_t nPort) override;
    int64_t Send(const uint8_t *pData, std::size_t nLength) override;
    void SetNoDelay() override;
    void Close() override;

    static SocketFactory Factory();

  private:
    void OnConnected();
    void OnError();
    void OnReadyRead();
    void OnReadPeriodOver();
    // Sets the socket's receive low-water mark; false where it cannot be set.
    bool SetReceiveLowWater(int nBytes);
    void OnDisconnected();

    QTcpSocket *m_pSocket;
    QTimer *m_pReadPacer; // single shot: the read period after a batch
    bool m_bConnected = false;
    bool m_bClosed = false;
    std::vector<uint8_t> m_readBuf;
};

// Test double: records every call, delivers scripted reads, fails on demand.
class FakeClientSocket : public IClientSocket {
  public:
    bool Connect(const QString &host, uint16_t nPort) override;
    int64_t Send(const uint8_t *pData, std::size_t nLength) override;
    void SetNoDelay() override { ++m_nNoDelayCalls; }
    void Close() override
    {
        ++m_nCloseCalls;
        m_bClosed = true;
    }

    // Test side: complete the pending connect (0 = success, else an error code).
    void CompleteConnect(int nErrorCode = 0);
    // Delivers one read exactly as given (no splitting, any length).
    void DeliverRead(const QByteArray &bytes);
    void DeliverRead(const std::vector<uint8_t> &bytes);
    // Delivers bytes cut into reads of at most RECEIVE_READ_SIZE, as the adapter would.
    void DeliverStream(const std::vector<uint8_t> &bytes);
    void DeliverClose();

    // Failure switches.
    bool m_bFailConnect = false; // Connect returns false
    int m_nConnectAtOnce = -1;   // >= 0: Connect reports this outcome before it returns
    bool m_bFailSend = false;    // Send accepts nothing and records nothing

    // Records.
    QString m_host;
    uint16_t m_nPort = 0;
    int m_nConnectCalls = 0;
    int m_nNoDelayCalls = 0;
    int m_nCloseCalls = 0;
    bool m_bClosed = false;
    std::vector<std::vector<uint8_t>> m_sent;
};
