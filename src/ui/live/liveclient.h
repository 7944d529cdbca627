#pragma once
// What the main view uses of the protocol client, as a small interface: the
// program wraps CNetClientWnd in it (NetLiveClient), the view's tests use a fake
// that records every call.

#include "protocol/linkstatus.h"
#include "protocol/timerhost.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

class IClientView;
class CNetClientWnd;
class ITimerHost;

class ILiveClient {
  public:
    virtual ~ILiveClient() = default;

    // Starts a connection attempt; false when it cannot even start.
    virtual bool Connect(const QString &host, int nPort) = 0;
    // Ends the link; freeAll also frees the buffers and stops reconnecting.
    virtual void Disconnect(bool bFreeAll) = 0;
    // Builds and sends a request of a RequestKind (the live request carries the
    // view's m_wRequestChannel), arming the response timer when asked.
    virtual void SendCommand(uint8_t byKind, bool bArmTimer) = 0;
    // PTZ request: type, speed, action index, pressed 1 / released 0.
    virtual void SendPtz(uint8_t byType, uint8_t bySpeed, int nIndex, int nPressed) = 0;
    // The event-report word of COMMAND_ALERT (0x0501 on, 0x0500 off).
    virtual void SetAlertRequestWord(uint16_t wWord) = 0;
    // Makes the receive path drop the next playback picture.
    virtual void SetSkipCounter(uint8_t byCount) = 0;
    // The size channel index nIndex's tile has (empty = not shown): live pictures
    // are decoded no larger than it needs.
    virtual void SetDrawnSize(int nIndex, int nWidth, int nHeight)
    {
        (void)nIndex, (void)nWidth, (void)nHeight;
    }
    // The link, with the reason where it is not online: the one record of it.
    virtual LinkStatus Status() const = 0;
    // For the status texts: retry count (code 6) and last alert word (code 7).
    virtual uint8_t RetryCount() const = 0;
    virtual uint32_t LastAlertWord() const = 0;

    // The real client behind this interface, when there is one.
    virtual CNetClientWnd *NetClient() { return nullptr; }
};

// Makes the view's client. Returns null when the client cannot be created (the
// view then goes on without one).
using LiveClientFactory = std::function<std::unique_ptr<ILiveClient>(IClientView *pView)>;

// The program's client: a CNetClientWnd on real sockets. Its timers run on the
// given host, or on Qt timers of its own when none is given.
std::unique_ptr<ILiveClient> CreateNetLiveClient(IClientView *pView,
                                                 std::unique_ptr<ITimerHost> pTimers = nullptr);
