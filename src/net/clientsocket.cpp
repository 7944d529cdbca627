#include "net/clientsocket.h"

#include <QElapsedTimer>
#include <QTcpSocket>
#include <QTimer>

#ifdef Q_OS_UNIX
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#endif

#include <algorithm>

CClientSocket::CClientSocket(QObject *parent)
    : QObject(parent), m_pSocket(new QTcpSocket(this)), m_pReadPacer(new QTimer(this)),
      m_readBuf(RECEIVE_READ_SIZE)
{
    m_pSocket->setReadBufferSize(READ_BATCH_BYTES);
    m_pReadPacer->setSingleShot(true);
    m_pReadPacer->setTimerType(Qt::PreciseTimer);
    connect(m_pReadPacer, &QTimer::timeout, this, &CClientSocket::OnReadPeriodOver);
    connect(m_pSocket, &QTcpSocket::connected, this, &CClientSocket::OnConnected);
    connect(m_pSocket, &QTcpSocket::errorOccurred, this, &CClientSocket::OnError);
    connect(m_pSocket, &QTcpSocket::readyRead, this, &CClientSocket::OnReadyRead);
    connect(m_pSocket, &QTcpSocket::disconnected, this, &CClientSocket::OnDisconnected);
}

CClientSocket::~CClientSocket()
{
    m_pEvents = nullptr;
    m_pSocket->disconnect(this);
    m_pSocket->abort();
}

bool CClientSocket::Connect(const QString &host, uint16_t nPort)
{
    if (m_bClosed || host.isEmpty() || nPort == 0)
        return false;
    m_pSocket->connectToHost(host, nPort);
    // Name lookup and connect run asynchronously; an immediate refusal shows as an
    // unconnected socket with an error already set.
    return m_pSocket->state() != QAbstractSocket::UnconnectedState ||
           m_pSocket->error() == QAbstractSocket::UnknownSocketError;
}

int64_t CClientSocket::Send(const uint8_t *pData, std::size_t nLength)
{
    if (m_bClosed || !m_bConnected)
        return 0;
    return m_pSocket->write(reinterpret_cast<const char *>(pData), static_cast<qint64>(nLength));
}

void CClientSocket::SetNoDelay()
{
    m_pSocket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
}

void CClientSocket::Close()
{
    if (m_bClosed)
        return;
    m_bClosed = true;
    m_pEvents = nullptr;
    m_pSocket->close();
}

void CClientSocket::SetReadBatchBytes(qint64 nBytes)
{
    m_pSocket->setReadBufferSize(nBytes);
}

SocketFactory CClientSocket::Factory()
{
    return [] { return std::make_unique<CClientSocket>(); };
}

void CClientSocket::EnableKeepAlive()
{
    // A recorder with nothing on screen sends nothing and is sent little: the
    // system probes the idle link itself, and data left unacknowledged fails the
    // link after the same time, so a dead peer or a pulled cable shows as a closed
    // link within about 25 s.
    m_pSocket->setSocketOption(QAbstractSocket::KeepAliveOption, 1);
#ifdef Q_OS_LINUX
    const qintptr fd = m_pSocket->socketDescriptor();
    if (fd < 0)
        return;
    const int nIdle = KEEPALIVE_IDLE_S, nInterval = KEEPALIVE_INTERVAL_S,
              nCount = KEEPALIVE_PROBES;
    const unsigned nUserTimeout =
        unsigned(KEEPALIVE_IDLE_S + KEEPALIVE_INTERVAL_S * KEEPALIVE_PROBES) * 1000u;
    ::setsockopt(int(fd), IPPROTO_TCP, TCP_KEEPIDLE, &nIdle, sizeof nIdle);
    ::setsockopt(int(fd), IPPROTO_TCP, TCP_KEEPINTVL, &nInterval, sizeof nInterval);
    ::setsockopt(int(fd), IPPROTO_TCP, TCP_KEEPCNT, &nCount, sizeof nCount);
    ::setsockopt(int(fd), IPPROTO_TCP, TCP_USER_TIMEOUT, &nUserTimeout, sizeof nUserTimeout);
#endif
}

void CClientSocket::OnConnected()
{
    m_bConnected = true;
    EnableKeepAlive();
    if (m_pEvents)
        m_pEvents->OnSocketConnect(0);
}

void CClientSocket::OnError()
{
    if (m_bClosed || !m_pEvents)
        return;
    if (!m_bConnected) {
        // A failed asynchronous connect; error codes start at 1 so that 0 means success.
        // An error Qt gives no code (UnknownSocketError, -1) is a failure all the same.
        m_pEvents->OnSocketConnect(std::max(1, static_cast<int>(m_pSocket->error()) + 1));
        return;
    }
    if (m_pSocket->error() == QAbstractSocket::RemoteHostClosedError)
        return; // reported by disconnected()
    m_pEvents->OnSocketClosed();
}

void CClientSocket::OnReadyRead()
{
    // readyRead comes once per arrival: read until nothing is left, each read of at
    // most RECEIVE_READ_SIZE bytes handed on as one read. The handler may close us.
    QElapsedTimer batch;
    batch.start();
    while (!m_bClosed && m_pEvents) {
        const qint64 n = m_pSocket->read(reinterpret_cast<char *>(m_readBuf.data()),
                                         static_cast<qint64>(m_readBuf.size()));
        if (n <= 0)
            break;
        m_pEvents->OnSocketRead(m_readBuf.data(), static_cast<std::size_t>(n));
    }
    const int nRest = READ_PERIOD_MS - int(batch.elapsed());
    if (nRest > 0 && !m_bClosed && !m_pReadPacer->isActive() &&
        SetReceiveLowWater(READ_GATHER_BYTES))
        m_pReadPacer->start(nRest);
}

void CClientSocket::OnReadPeriodOver()
{
    if (!m_bClosed)
        SetReceiveLowWater(1);
}

bool CClientSocket::SetReceiveLowWater(int nBytes)
{
#ifdef Q_OS_UNIX
    const qintptr fd = m_pSocket->socketDescriptor();
    if (fd < 0 || m_pSocket->state() != QAbstractSocket::ConnectedState)
        return false;
    return ::setsockopt(int(fd), SOL_SOCKET, SO_RCVLOWAT, &nBytes, sizeof nBytes) == 0;
#else
    Q_UNUSED(nBytes);
    return false; // Windows ignores the mark for TCP: every arrival is taken at once
#endif
}

void CClientSocket::OnDisconnected()
{
    if (!m_bClosed && m_pEvents)
        m_pEvents->OnSocketClosed();
}
