// The program's client behind the view's ILiveClient: a CNetClientWnd on real
// sockets with its own Qt timer host.

#include "protocol/netclientwnd.h"
#include "ui/live/liveclient.h"
#include "net/qttimerhost.h"
#include "net/clientsocket.h"

namespace {

class NetLiveClient : public ILiveClient {
  public:
    explicit NetLiveClient(std::unique_ptr<ITimerHost> pTimers)
        : m_pTimers(pTimers ? std::move(pTimers) : std::make_unique<QtTimerHost>()),
          m_client(*m_pTimers, CClientSocket::Factory())
    {
    }

    bool Create(IClientView *pView) { return m_client.Create(pView); }

    bool Connect(const QString &host, int nPort) override { return m_client.Connect(host, nPort); }
    void Disconnect(bool bFreeAll) override { m_client.Disconnect(bFreeAll); }
    void SendCommand(uint8_t byKind, bool bArmTimer) override
    {
        m_client.SendCommand(byKind, bArmTimer);
    }
    void SendPtz(uint8_t byType, uint8_t bySpeed, int nIndex, int nPressed) override
    {
        m_client.SendPtz(byType, bySpeed, nIndex, nPressed != 0);
    }
    void SetAlertRequestWord(uint16_t wWord) override { m_client.SetAlertRequest(wWord); }
    void SetSkipCounter(uint8_t byCount) override { m_client.SetSkipCounter(byCount); }
    void SetDrawnSize(int nIndex, int nWidth, int nHeight) override
    {
        m_client.SetDrawnSize(nIndex, nWidth, nHeight);
    }
    LinkStatus Status() const override { return m_client.Status(); }
    uint8_t RetryCount() const override { return m_client.RetryCount(); }
    uint32_t LastAlertWord() const override { return m_client.LastAlertWord(); }
    CNetClientWnd *NetClient() override { return &m_client; }

  private:
    std::unique_ptr<ITimerHost> m_pTimers; // declared first: the client must not outlive it
    CNetClientWnd m_client;
};

} // namespace

std::unique_ptr<ILiveClient> CreateNetLiveClient(IClientView *pView,
                                                 std::unique_ptr<ITimerHost> pTimers)
{
    auto pClient = std::make_unique<NetLiveClient>(std::move(pTimers));
    if (!pClient->Create(pView))
        return nullptr;
    return pClient;
}
