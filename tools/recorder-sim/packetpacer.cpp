#include "packetpacer.h"

#include <QTcpSocket>

#include <algorithm>

namespace sim {

namespace {
// First part of a split header: the version text and part of nPacketSize.
constexpr int SPLIT_HEADER_AT = 18;
// A split header needs a pause long enough to land in two reads on loopback.
constexpr int SPLIT_PAUSE_MS = 20;
constexpr int COALESCE_HOLD_MS = 100;
} // namespace

PacketPacer::PacketPacer(QTcpSocket *socket, const PacingOptions &options, QObject *parent)
    : QObject(parent), m_socket(socket), m_options(options)
{
    m_pause.setSingleShot(true);
    m_pause.setTimerType(Qt::PreciseTimer);
    m_hold.setSingleShot(true);
    connect(&m_pause, &QTimer::timeout, this, &PacketPacer::Pump);
    connect(&m_hold, &QTimer::timeout, this, [this] {
        m_holdExpired = true;
        Pump();
    });
    connect(m_socket, &QTcpSocket::bytesWritten, this, &PacketPacer::OnBytesWritten);
}

bool PacketPacer::CanAcceptPicture() const
{
    return !m_inFlight && !m_pause.isActive() &&
           int(m_queue.size()) < std::max(1, m_options.coalesce);
}

void PacketPacer::Enqueue(const QByteArray &packet, bool isPicture, quint32 tag)
{
    m_queue.push_back({packet, isPicture, 0, tag});
    m_queuedBytes += packet.size();
    Pump();
}

void PacketPacer::DropQueuedPictures()
{
    auto begin = m_queue.begin();
    if (begin != m_queue.end() && begin->offset > 0)
        ++begin; // already partly on the wire
    for (auto it = begin; it != m_queue.end(); ++it)
        if (it->isPicture)
            m_queuedBytes -= it->bytes.size();
    m_queue.erase(std::remove_if(begin, m_queue.end(), [](const Item &i) { return i.isPicture; }),
                  m_queue.end());
}

void PacketPacer::StartPause(int ms)
{
    if (ms > 0)
        m_pause.start(ms);
    else
        QTimer::singleShot(0, this, &PacketPacer::Pump);
}

void PacketPacer::Pump()
{
    if (m_inFlight || m_pause.isActive() || m_socket->state() != QAbstractSocket::ConnectedState)
        return;
    if (m_queue.empty()) {
        emit Idle();
        return;
    }
    QByteArray chunk;
    m_completedInFlight = 0;
    m_picturesInFlight.clear();
    auto finishFront = [&] {
        ++m_completedInFlight;
        if (m_queue.front().isPicture)
            m_picturesInFlight.push_back(m_queue.front().tag);
        m_queue.pop_front();
    };

    Item &front = m_queue.front();
    if (m_options.trickleBytes > 0) {
        chunk = front.bytes.mid(front.offset, m_options.trickleBytes);
        front.offset += chunk.size();
        if (front.offset >= front.bytes.size())
            finishFront();
    } else if (m_options.splitHeader && front.offset == 0) {
        chunk = front.bytes.left(SPLIT_HEADER_AT);
        front.offset = chunk.size();
    } else if (m_options.coalesce > 1 && front.offset == 0) {
        // Wait a while for enough packets to share one write; then send what is there.
        if (int(m_queue.size()) < m_options.coalesce && !m_holdExpired) {
            if (!m_hold.isActive())
                m_hold.start(COALESCE_HOLD_MS);
            return;
        }
        m_hold.stop();
        m_holdExpired = false;
        for (int n = 0; n < m_options.coalesce && !m_queue.empty(); ++n) {
            chunk.append(m_queue.front().bytes);
            finishFront();
        }
    } else {
        chunk = front.bytes.mid(front.offset);
        finishFront();
    }
    m_inFlight = true;
    m_queuedBytes -= chunk.size();
    m_bytesWritten += chunk.size();
    m_socket->write(chunk);
    m_socket->flush(); // hand it to the kernel now, not at the next event-loop turn
}

void PacketPacer::OnBytesWritten()
{
    if (!m_inFlight || m_socket->bytesToWrite() > 0)
        return;
    m_inFlight = false;
    const std::vector<quint32> tags = std::move(m_picturesInFlight);
    m_picturesInFlight.clear();
    for (quint32 tag : tags)
        emit PictureWritten(tag);
    const bool midPacket = !m_queue.empty() && m_queue.front().offset > 0;
    int pause = m_options.gapMs;
    if (m_options.trickleBytes > 0 && midPacket)
        pause = m_options.trickleMs;
    else if (m_options.splitHeader && midPacket)
        pause = std::max(pause, SPLIT_PAUSE_MS);
    StartPause(pause);
}

} // namespace sim
