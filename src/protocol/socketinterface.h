#pragma once
// The client's view of its TCP link: the small interface the protocol client drives.
// The program's adapter is CClientSocket (src/net); tests use a scripted fake.
//
// Events (all on the owner's thread): OnSocketConnect(0) when the connection is up,
// OnSocketConnect(error) when an asynchronous connect fails; OnSocketRead once per
// read of at most RECEIVE_READ_SIZE bytes (an adapter reads until nothing is left,
// a bounded batch per turn of its event loop, so one arrival may give several reads);
// OnSocketClosed when the peer closes the link, it is reset or a send fails on it (never after
// Close).

#include <QString>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

// Size of one read, the client's receive buffer.
constexpr std::size_t RECEIVE_READ_SIZE = 9129;

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
