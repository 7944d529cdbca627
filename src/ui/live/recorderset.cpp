#include "ui/live/recorderset.h"

#include "protocol/netclientwnd.h"
#include "protocol/packet.h"
#include "settings/eventlogfile.h"

// One recorder's side of the window, as its client sees it.
class CRecorderSet::Adapter : public IClientView {
  public:
    Adapter(CRecorderSet &set, int nRecorder) : m_set(set), m_nRecorder(nRecorder) {}

    const ClientSettings &Settings() const override
    {
        const ClientSettings &global = m_set.m_host.Settings();
        if (m_nRecorder == 0)
            return global;
        // The global record with this recorder's login and address.
        m_record = global;
        const RecorderLink link = RecorderLinkOf(global, m_nRecorder);
        SetRecorderLink(m_record, 0, link);
        return m_record;
    }
    uint8_t GetConnectState() const override { return m_byState; }
    void SetConnectState(uint8_t byState) override
    {
        if (m_byState == byState)
            return;
        m_byState = byState;
        m_set.m_host.OnRecorderState(m_nRecorder);
    }
    uint16_t GetRequestChannel() const override { return m_wRequest; }
    void SetChannelCount(uint8_t byCount) override
    {
        m_byChannelCount = byCount;
        m_set.m_host.OnRecorderChannelCount(m_nRecorder, byCount);
    }
    uint8_t GetPtzSpeed() const override { return m_set.m_host.GetPtzSpeed(); }
    void ShowStatus(uint8_t byCode) override
    {
        m_byLastStatus = byCode;
        m_set.m_host.OnRecorderStatus(m_nRecorder, byCode);
    }
    void OnLinkLost() override { m_set.m_host.OnRecorderLost(m_nRecorder); }
    void SetChannelPicture(int nIndex, const ChannelPicture &picture) override
    {
        const int nGlobal = Global(nIndex);
        if (nGlobal >= 0)
            m_set.m_host.SetChannelPicture(nGlobal, picture);
    }
    void ShowLiveFrame(int nIndex) override
    {
        const int nGlobal = Global(nIndex);
        if (nGlobal >= 0)
            m_set.m_host.ShowLiveFrame(nGlobal);
    }
    void ToggleReceiveLamp() override { m_set.m_host.ToggleReceiveLamp(); }
    bool WantsLive() const override
    {
        return m_bWantsLive && (m_set.m_nArchive < 0 || m_set.m_nArchive == m_nRecorder);
    }

    // The recorder's channel index as a global channel, -1 for none: recorder 1
    // alone keeps every index, otherwise only channels 0..3 are the recorder's.
    int Global(int nIndex) const
    {
        if (m_nRecorder == 0 && m_set.ConfiguredCount() == 1)
            return nIndex >= 0 && nIndex < 16 ? nIndex : -1;
        return nIndex >= 0 && nIndex < kChannels ? m_nRecorder * kChannels + nIndex : -1;
    }

    uint8_t m_byState = 0;
    uint8_t m_byChannelCount = kChannels;
    uint8_t m_byLastStatus = STATUS_WAITING;
    uint16_t m_wRequest = 0x0100;
    bool m_bWantsLive = true;

  private:
    CRecorderSet &m_set;
    const int m_nRecorder;
    mutable ClientSettings m_record{};
};

struct CRecorderSet::Slot {
    std::unique_ptr<Adapter> pAdapter; // declared first: the client must not outlive it
    std::unique_ptr<ILiveClient> pClient;
    bool bSent = true; // what is asked for now was sent (nothing is asked at first)
};

CRecorderSet::CRecorderSet(IRecorderSetHost &host, LiveClientFactory fnCreate)
    : m_host(host), m_fnCreate(std::move(fnCreate))
{
}

CRecorderSet::~CRecorderSet()
{
    for (auto &pSlot : m_slots)
        if (pSlot && pSlot->pClient)
            pSlot->pClient->Disconnect(true);
}

void CRecorderSet::Sync()
{
    const ClientSettings &settings = m_host.Settings();
    for (int r = 0; r < kRecorders; ++r) {
        auto &pSlot = m_slots[std::size_t(r)];
        const bool bWanted = r == 0 || IsRecorderConfigured(settings, r);
        if (bWanted && !pSlot) {
            pSlot = std::make_unique<Slot>();
            pSlot->pAdapter = std::make_unique<Adapter>(*this, r);
            pSlot->pClient = m_fnCreate ? m_fnCreate(pSlot->pAdapter.get())
                                        : CreateNetLiveClient(pSlot->pAdapter.get());
            // Recorder 1's event list keeps its file; the others get their own.
            if (r > 0 && pSlot->pClient && pSlot->pClient->NetClient())
                pSlot->pClient->NetClient()->SetEventFile(CEventLogFile::OfRecorder(r).Path());
        } else if (!bWanted && pSlot) {
            if (pSlot->pClient)
                pSlot->pClient->Disconnect(true);
            pSlot.reset();
        }
    }
}

bool CRecorderSet::IsConfigured(int nRecorder) const
{
    return nRecorder >= 0 && nRecorder < kRecorders && m_slots[std::size_t(nRecorder)];
}

int CRecorderSet::ConfiguredCount() const
{
    int n = 0;
    for (const auto &pSlot : m_slots)
        n += pSlot ? 1 : 0;
    return n;
}

ILiveClient *CRecorderSet::Client(int nRecorder) const
{
    return IsConfigured(nRecorder) ? m_slots[std::size_t(nRecorder)]->pClient.get() : nullptr;
}

RecorderLink CRecorderSet::Link(int nRecorder) const
{
    return RecorderLinkOf(m_host.Settings(), nRecorder);
}

QString CRecorderSet::Name(int nRecorder) const
{
    return QStringLiteral("Recorder %1").arg(nRecorder + 1);
}

uint8_t CRecorderSet::State(int nRecorder) const
{
    return IsConfigured(nRecorder) ? m_slots[std::size_t(nRecorder)]->pAdapter->m_byState : 0;
}

void CRecorderSet::SetState(int nRecorder, uint8_t byState)
{
    if (IsConfigured(nRecorder))
        m_slots[std::size_t(nRecorder)]->pAdapter->m_byState = byState;
}

uint8_t CRecorderSet::CombinedState() const
{
    uint8_t byState = 0;
    for (int r = 0; r < kRecorders; ++r) {
        const uint8_t s = State(r);
        if (s == 1)
            return 1;
        if (s == 2)
            byState = 2;
    }
    return byState;
}

uint8_t CRecorderSet::ChannelCount(int nRecorder) const
{
    return IsConfigured(nRecorder) ? m_slots[std::size_t(nRecorder)]->pAdapter->m_byChannelCount
                                   : 0;
}

uint8_t CRecorderSet::LastStatus(int nRecorder) const
{
    return IsConfigured(nRecorder) ? m_slots[std::size_t(nRecorder)]->pAdapter->m_byLastStatus
                                   : uint8_t(STATUS_WAITING);
}

void CRecorderSet::SetOnScreen(const std::array<bool, 16> &abOnScreen)
{
    for (int r = 0; r < kRecorders; ++r) {
        if (!IsConfigured(r))
            continue;
        Slot &slot = *m_slots[std::size_t(r)];
        int nShown = 0;
        int nOnly = 0;
        for (int c = 0; c < kChannels; ++c)
            if (abOnScreen[std::size_t(r * kChannels + c)]) {
                ++nShown;
                nOnly = c;
            }
        const uint16_t wRequest = nShown >= 2 ? 0x0100 : uint16_t(nOnly);
        const bool bLive = nShown > 0;
        Adapter &a = *slot.pAdapter;
        if (a.m_wRequest != wRequest || a.m_bWantsLive != bLive)
            slot.bSent = false;
        a.m_wRequest = wRequest;
        a.m_bWantsLive = bLive;
    }
}

uint16_t CRecorderSet::RequestWord(int nRecorder) const
{
    return IsConfigured(nRecorder) ? m_slots[std::size_t(nRecorder)]->pAdapter->m_wRequest
                                   : uint16_t(0x0100);
}

bool CRecorderSet::WantsLive(int nRecorder) const
{
    return IsConfigured(nRecorder) && m_slots[std::size_t(nRecorder)]->pAdapter->m_bWantsLive;
}

bool CRecorderSet::SendRequests(bool bForce)
{
    bool bSent = false;
    for (auto &pSlot : m_slots) {
        if (!pSlot || !pSlot->pClient)
            continue;
        const bool bLive = pSlot->pAdapter->m_bWantsLive;
        if (pSlot->bSent && !(bForce && bLive))
            continue;
        pSlot->bSent = true;
        bSent = true;
        pSlot->pClient->SendCommand(bLive ? KIND_LIVE : KIND_STOP, bLive);
    }
    return bSent;
}

void CRecorderSet::StopAllBut(int nKeep)
{
    for (int r = 0; r < kRecorders; ++r)
        if (r != nKeep && Client(r)) {
            Client(r)->SendCommand(KIND_STOP, false);
            m_slots[std::size_t(r)]->bSent = false; // the live request goes again after
        }
}
