#pragma once
// CClientSocket: the program's QTcpSocket adapter behind IClientSocket.
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
//
// The socket takes at most READ_BATCH_BYTES from the system per wake-up; the rest
// stays there and wakes the program again on the next turn of its event loop, after
// the other links' arrivals. So a recorder that sends a backlog (after a stall, or to
// a client that fell behind) never holds the others' pictures back for longer than
// one batch.

#include "protocol/socketinterface.h"

#include <QObject>

#include <vector>

class QTcpSocket;
class QTimer;

// Shortest time from the start of one batch of reads to the next: a little under the
// 33 ms between two pictures of a channel at 30 pictures per second, so a batch
// brings about one picture per live channel and none is overtaken before it is shown.
constexpr int READ_PERIOD_MS = 30;
// Receive low-water mark within a read period: far above what one period brings.
constexpr int READ_GATHER_BYTES = 256 * 1024;
// Most bytes taken per wake-up: about nine pictures, above what one read period
// brings at a recorder's full rate.
constexpr qint64 READ_BATCH_BYTES = 256 * 1024;

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

    // TCP keep-alive on every link: first probe after 10 s idle, then every 5 s,
    // 3 probes (unacknowledged data fails the link after the same 25 s).
    static constexpr int KEEPALIVE_IDLE_S = 10;
    static constexpr int KEEPALIVE_INTERVAL_S = 5;
    static constexpr int KEEPALIVE_PROBES = 3;

    // Bytes taken per wake-up (READ_BATCH_BYTES unless set).
    void SetReadBatchBytes(qint64 nBytes);

  private:
    void OnConnected();
    void EnableKeepAlive();
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
