#pragma once
// Socket double for the protocol tests: records every call, delivers scripted reads,
// fails on demand.

#include "protocol/socketinterface.h"

#include <QByteArray>

#include <memory>
#include <vector>

class FakeClientSocket : public IClientSocket {
  public:
    ~FakeClientSocket() override { *m_pFreed = true; }
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
    std::shared_ptr<bool> m_pFreed = std::make_shared<bool>(false); // set as it is destroyed

    // Records.
    QString m_host;
    uint16_t m_nPort = 0;
    int m_nConnectCalls = 0;
    int m_nNoDelayCalls = 0;
    int m_nCloseCalls = 0;
    bool m_bClosed = false;
    std::vector<std::vector<uint8_t>> m_sent;
};
