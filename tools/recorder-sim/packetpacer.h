#pragma once
// Writes the simulator's packets to one socket with pacing, so that on the client
// each packet header starts a socket read as far as TCP allows: one write per
// packet, TCP no-delay, and a pause after each write has left for the kernel.
// Fault shaping also lives here: a header split over two writes, several packets in
// one write, or packets trickled out in small chunks.
//
// Theory of operation: packets wait in a queue. Pump() hands the next write (a whole
// packet, a part of one, or several) to the socket when nothing is in flight and no
// pause is running. When the socket reports that its buffer is empty, the write has
// left; the pause timer starts and its expiry pumps again. Idle() is emitted when the
// queue has run dry.

#include <QByteArray>
#include <QObject>
#include <QTimer>

#include <deque>
#include <vector>

class QTcpSocket;

namespace sim {

struct PacingOptions {
    int gapMs = 2;
    bool splitHeader = false;
    int coalesce = 1;
    int trickleBytes = 0;
    int trickleMs = 1;
};

class PacketPacer : public QObject {
    Q_OBJECT
  public:
    PacketPacer(QTcpSocket *socket, const PacingOptions &options, QObject *parent = nullptr);

    // tag comes back with PictureWritten once the packet has left.
    void Enqueue(const QByteArray &packet, bool isPicture, quint32 tag = 0);
    // Drops queued pictures that have not started to leave.
    void DropQueuedPictures();
    // True when a picture may be queued now: nothing in flight, no pause running and
    // the queue below one write's worth of packets (one, or the coalescing count).
    bool CanAcceptPicture() const;
    int Queued() const { return int(m_queue.size()); }
    // Bytes queued and not yet handed to the socket.
    qint64 QueuedBytes() const { return m_queuedBytes; }
    qint64 BytesWritten() const { return m_bytesWritten; }

  signals:
    void Idle();
    void PictureWritten(quint32 tag);

  private:
    struct Item {
        QByteArray bytes;
        bool isPicture = false;
        int offset = 0; // bytes already handed to the socket
        quint32 tag = 0;
    };

    void Pump();
    void OnBytesWritten();
    void StartPause(int ms);

    QTcpSocket *m_socket;
    PacingOptions m_options;
    std::deque<Item> m_queue;
    bool m_inFlight = false;
    int m_completedInFlight = 0;             // whole packets finished by the write in flight
    std::vector<quint32> m_picturesInFlight; // of which pictures, by tag
    QTimer m_pause;
    QTimer m_hold; // coalescing: how long to wait for more packets
    bool m_holdExpired = false;
    qint64 m_bytesWritten = 0;
    qint64 m_queuedBytes = 0;
};

} // namespace sim
