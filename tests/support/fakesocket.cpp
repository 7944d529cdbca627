#include "support/fakesocket.h"

#include <algorithm>

bool FakeClientSocket::Connect(const QString &host, uint16_t nPort)
{
    ++m_nConnectCalls;
    m_host = host;
    m_nPort = nPort;
    if (m_nConnectAtOnce >= 0 && m_pEvents)
        m_pEvents->OnSocketConnect(m_nConnectAtOnce);
    return !m_bFailConnect;
}

int64_t FakeClientSocket::Send(const uint8_t *pData, std::size_t nLength)
{
    if (m_bFailSend || m_bClosed)
        return -1;
    m_sent.emplace_back(pData, pData + nLength);
    return static_cast<int64_t>(nLength);
}

void FakeClientSocket::CompleteConnect(int nErrorCode)
{
    if (!m_bClosed && m_pEvents)
        m_pEvents->OnSocketConnect(nErrorCode);
}

void FakeClientSocket::DeliverRead(const QByteArray &bytes)
{
    if (!m_bClosed && m_pEvents)
        m_pEvents->OnSocketRead(reinterpret_cast<const uint8_t *>(bytes.constData()),
                                static_cast<std::size_t>(bytes.size()));
}

void FakeClientSocket::DeliverRead(const std::vector<uint8_t> &bytes)
{
    if (!m_bClosed && m_pEvents)
        m_pEvents->OnSocketRead(bytes.data(), bytes.size());
}

void FakeClientSocket::DeliverStream(const std::vector<uint8_t> &bytes)
{
    std::size_t nPos = 0;
    while (nPos < bytes.size() && !m_bClosed && m_pEvents) {
        const std::size_t n = std::min(RECEIVE_READ_SIZE, bytes.size() - nPos);
        m_pEvents->OnSocketRead(bytes.data() + nPos, n);
        nPos += n;
    }
}

void FakeClientSocket::DeliverClose()
{
    if (!m_bClosed && m_pEvents)
        m_pEvents->OnSocketClosed();
}
