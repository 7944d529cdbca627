#pragma once
// A protocol client wired to a manual clock, fake sockets and a recording view.

#include "clientfakes.h"
#include "protocol/netclientwnd.h"
#include "protocol/timerhost.h"
#include "support/manualclock.h"
#include "support/fakesocket.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace clienttest {

struct ClientRig {
    ManualClock clock;
    std::unique_ptr<ManualTimerHost> timers = clock.CreateHost();
    std::vector<FakeClientSocket *> sockets; // every socket made; only the last is alive for sure
    bool bFailConnect = false;
    int nConnectAtOnce = -1; // sockets report their connect from inside Connect
    FakeView view;
    FakeArchive archive;
    CNetClientWnd client{*timers, [this] {
                             auto socket = std::make_unique<FakeClientSocket>();
                             socket->m_bFailConnect = bFailConnect;
                             socket->m_nConnectAtOnce = nConnectAtOnce;
                             sockets.push_back(socket.get());
                             return std::unique_ptr<IClientSocket>(std::move(socket));
                         }};

    ClientRig(bool bWithView = true)
    {
        EnsureApp();
        view.pClient = &client;
        client.Create(bWithView ? &view : nullptr);
    }

    FakeClientSocket &Sock() { return *sockets.back(); }

    // Connect button: Connect, state 2, then the connect event. A failed connect
    // leaves no socket to talk to: callers stop at once (ASSERT_NO_FATAL_FAILURE).
    void ConnectUp()
    {
        ASSERT_TRUE(client.Connect("127.0.0.1", 8000));
        view.byConnectState = 2;
        Sock().CompleteConnect(0);
    }
    void Deliver(const std::vector<uint8_t> &bytes) { Sock().DeliverRead(bytes); }
    // Connected, logged in and past the pause before the first request.
    void Online(std::string_view version = "DVR PACKET1.2")
    {
        ASSERT_NO_FATAL_FAILURE(ConnectUp());
        Deliver(LoginPacket(true, 4, 0, version));
        clock.Advance(CNetClientWnd::LOGIN_PAUSE_MS);
    }
    std::vector<SentRequest> Sent() const
    {
        std::vector<SentRequest> all;
        for (const auto &bytes : sockets.back()->m_sent)
            all.push_back(ParseSent(bytes));
        return all;
    }
    std::vector<uint32_t> Commands() const { return SentCommands(*sockets.back()); }
    size_t CountSent(uint32_t nCommand) const
    {
        size_t n = 0;
        for (uint32_t c : Commands())
            n += c == nCommand;
        return n;
    }
    // Milliseconds until the response timer fires, -1 when it does not run.
    bool ResponseTimerRunning() const
    {
        return timers->IsTimerRunning(CNetClientWnd::TIMER_RESPONSE);
    }
};

} // namespace clienttest
