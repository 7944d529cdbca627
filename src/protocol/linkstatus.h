#pragma once
// LinkStatus: a recorder's link as its client knows it, with the reason where it is
// not online. The client is the one record of its link; windows read this and draw
// from it (the connect state 0/1/2, the status panel's text, the tiles' texts).

#include "protocol/clientviews.h"

#include <cstdint>

struct LinkStatus {
    enum class Kind : uint8_t {
        Idle,            // never connected, or disconnected by the operator
        Connecting,      // the operator's Connect: waiting for the connection
        LoggingIn,       // connected, login sent
        Online,          // login accepted
        RetryWait,       // the link was lost: the next attempt is due
        RetryConnecting, // an attempt waits for its connection
        RetryLoggingIn,  // an attempt connected, its login sent
        GivenUp,         // the attempts were used up, or a connection could not be made
        LoginRefused,    // the recorder refused the user ID or password
    };

    Kind kind = Kind::Idle;
    int nAttempts = 0;      // while rebuilding: attempts made since the link was lost
    int64_t nLostAtMs = -1; // while rebuilding: when the link was lost (the client's clock)

    bool IsRebuilding() const
    {
        return kind == Kind::RetryWait || kind == Kind::RetryConnecting ||
               kind == Kind::RetryLoggingIn;
    }
    // 0 not connected, 1 connected, 2 connecting.
    uint8_t ConnectState() const
    {
        switch (kind) {
        case Kind::LoggingIn:
        case Kind::Online:
        case Kind::RetryLoggingIn:
            return 1;
        case Kind::Connecting:
        case Kind::RetryWait:
        case Kind::RetryConnecting:
            return 2;
        default:
            return 0;
        }
    }
    // The status code (ClientStatus) that names this state in the status panel.
    uint8_t StatusCode() const
    {
        switch (kind) {
        case Kind::LoggingIn:
        case Kind::Online:
        case Kind::RetryLoggingIn:
            return STATUS_ESTABLISHED;
        case Kind::Connecting:
        case Kind::RetryConnecting:
            return STATUS_CONNECTING;
        case Kind::RetryWait:
            return STATUS_RECONNECTING;
        default:
            return STATUS_WAITING;
        }
    }
    bool operator==(const LinkStatus &o) const
    {
        return kind == o.kind && nAttempts == o.nAttempts && nLostAtMs == o.nLostAtMs;
    }
    bool operator!=(const LinkStatus &o) const { return !(*this == o); }
};

// A status code that names a link's state (0, 1, 2, 4) rather than an event of it
// (5 connection failed, 6 request repeated, 7 event report).
inline bool IsLinkStateCode(uint8_t byCode)
{
    return byCode == STATUS_WAITING || byCode == STATUS_ESTABLISHED ||
           byCode == STATUS_CONNECTING || byCode == STATUS_RECONNECTING;
}
