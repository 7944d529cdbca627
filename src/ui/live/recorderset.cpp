#include "ui/live/recorderset.h"

#include "archive/netplaybackclient.h"
#include "protocol/netclientwnd.h"
#include "protocol/packet.h"
#include "settings/eventlogfile.h"

// One recorder's side of the window, as its client sees it. It keeps no state of
// the link: what the client reports is published to the window as it comes.
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
        SetRecorderLink(m_record, 0, RecorderLinkOf(global, m_nRecorder));
        return m_record;
    }
    uint8_t GetConnectState() const override { return m_set.ConnectState(m_nRecorder); }
    void SetConnectState(uint8_t) override { m_set.m_host.OnRecorderChanged(m_nRecorder); }
    uint16_t GetRequestChannel() const override { return m_request.Word(); }
    void SetChannelCount(uint8_t byCount) override
    {
        m_byChannelCount = byCount;
        m_set.m_host.OnRecorderChannelCount(m_nRecorder);
    }
    uint8_t GetPtzSpeed() const override { return m_set.m_host.GetPtzSpeed(); }
    void ShowStatus(uint8_t byCode) override
    {
        // A state's code names the state the client is in now; the others are events.
        if (IsLinkStateCode(byCode))
            m_set.m_host.OnRecorderChanged(m_nRecorder);
        else
            m_set.m_host.OnRecorderEvent(m_nRecorder, byCode);
    }
    // The client gave the link up (or could not make it): it ends here, as the
    // Disconnect button would end it, for this recorder alone.
    void OnLinkLost() override { m_set.Disconnect(m_nRecorder); }
    void SetChannelPicture(int nIndex, const ChannelPicture &picture) override
    {
        const GlobalChannel ch = GlobalChannel::Of(m_nRecorder, nIndex);
        if (ch.IsValid())
            m_set.m_host.SetChannelPicture(ch, picture);
    }
    void ShowLiveFrame(int nIndex) override
    {
        const GlobalChannel ch = GlobalChannel::Of(m_nRecorder, nIndex);
        if (ch.IsValid())
            m_set.m_host.ShowLiveFrame(ch);
    }
    void ToggleReceiveLamp() override { m_set.m_host.ToggleReceiveLamp(); }
    bool WantsLive() const override
    {
        return m_request.WantsLive() && (m_set.m_nArchive < 0 || m_set.m_nArchive == m_nRecorder);
    }

    uint8_t m_byChannelCount = kChannels;
    // What the window asks of this recorder. Nothing is asked before the first plan,
    // and the first request after a login then asks for all channels, as ever.
    screenplan::Request m_request{screenplan::Request::Kind::All, 0};

  private:
    CRecorderSet &m_set;
    const int m_nRecorder;
    mutable ClientSettings m_record{};
};

struct CRecorderSet::Slot {
    std::unique_ptr<Adapter> pAdapter; // declared first: the client must not outlive it
    std::unique_ptr<ILiveClient> pClient;
    std::unique_ptr<IPlaybackClient> pPlayback; // the archive's side of the link, once wired
    bool bSent = true; // what is asked for now was sent (nothing is asked at first)
};

CRecorderSet::CRecorderSet(IRecorderSetHost &host, LiveClientFactory fnCreate)
    : m_host(host), m_fnCreate(std::move(fnCreate))
{
}

CRecorderSet::~CRecorderSet()
{
    DetachArchive();
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
            m_host.OnRecorderChanged(r);
        } else if (!bWanted && pSlot) {
            // The window borrows pictures from the client's frame records: they go
            // first, then the link, then the client.
            m_host.OnRecorderRemoved(r);
            if (m_nArchiveLink == r)
                DetachArchive();
            if (pSlot->pClient)
                pSlot->pClient->Disconnect(true);
            CEventLogFile::OfRecorder(r).Delete();
            pSlot.reset();
            if (m_nArchive == r)
                m_nArchive = -1;
            m_host.OnRecorderChanged(r);
        }
    }
}

unsigned CRecorderSet::ChangedLinks(const ClientSettings &before, const ClientSettings &after)
{
    unsigned nMask = 0;
    for (int r = 0; r < kRecorders; ++r) {
        const RecorderLink a = RecorderLinkOf(before, r);
        const RecorderLink b = RecorderLinkOf(after, r);
        if (FieldText(a.m_szHostIP) != FieldText(b.m_szHostIP) ||
            a.m_nHostPort != b.m_nHostPort || FieldText(a.m_szUserID) != FieldText(b.m_szUserID) ||
            FieldText(a.m_szPassword) != FieldText(b.m_szPassword))
            nMask |= 1u << r;
    }
    return nMask;
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
    // The label an operator gave the recorder; the default one names no recorder.
    const QString label = FieldText(Link(nRecorder).m_szIpLabel).trimmed();
    if (!label.isEmpty() && label != QLatin1String(DEFAULT_IP_LABEL))
        return label;
    return QStringLiteral("Recorder %1").arg(nRecorder + 1);
}

screenplan::Recorders CRecorderSet::Recorders() const
{
    screenplan::Recorders recorders{};
    for (int r = 0; r < kRecorders; ++r) {
        recorders[std::size_t(r)].bConfigured = IsConfigured(r);
        recorders[std::size_t(r)].nChannels = ChannelCount(r);
    }
    return recorders;
}

LinkStatus CRecorderSet::Status(int nRecorder) const
{
    const ILiveClient *pClient = Client(nRecorder);
    return pClient ? pClient->Status() : LinkStatus();
}

uint8_t CRecorderSet::CombinedState() const
{
    uint8_t byState = 0;
    for (int r = 0; r < kRecorders; ++r) {
        const uint8_t s = ConnectState(r);
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

bool CRecorderSet::Connect(int nRecorder)
{
    ILiveClient *pClient = Client(nRecorder);
    if (!pClient || ConnectState(nRecorder) != 0)
        return false;
    const RecorderLink link = Link(nRecorder);
    const bool bStarted = pClient->Connect(FieldText(link.m_szHostIP), link.m_nHostPort);
    m_host.OnRecorderChanged(nRecorder);
    return bStarted;
}

void CRecorderSet::Disconnect(int nRecorder)
{
    ILiveClient *pClient = Client(nRecorder);
    if (!pClient)
        return;
    pClient->Disconnect(true);
    // The event list is the link's: it goes with it.
    CEventLogFile::OfRecorder(nRecorder).Delete();
    m_host.OnRecorderChanged(nRecorder);
}

void CRecorderSet::SetRequests(const std::array<screenplan::Request, kRecorders> &requests)
{
    for (int r = 0; r < kRecorders; ++r) {
        if (!IsConfigured(r))
            continue;
        Slot &slot = *m_slots[std::size_t(r)];
        const screenplan::Request &req = requests[std::size_t(r)];
        if (slot.pAdapter->m_request != req)
            slot.bSent = false;
        slot.pAdapter->m_request = req;
    }
}

uint16_t CRecorderSet::RequestWord(int nRecorder) const
{
    return IsConfigured(nRecorder) ? m_slots[std::size_t(nRecorder)]->pAdapter->m_request.Word()
                                   : uint16_t(0x0100);
}

bool CRecorderSet::WantsLive(int nRecorder) const
{
    return IsConfigured(nRecorder) &&
           m_slots[std::size_t(nRecorder)]->pAdapter->m_request.WantsLive();
}

bool CRecorderSet::SendRequests(bool bForce)
{
    bool bSent = false;
    for (auto &pSlot : m_slots) {
        if (!pSlot || !pSlot->pClient)
            continue;
        const bool bLive = pSlot->pAdapter->m_request.WantsLive();
        if (pSlot->bSent && !(bForce && bLive))
            continue;
        pSlot->bSent = true;
        bSent = true;
        pSlot->pClient->SendCommand(bLive ? KIND_LIVE : KIND_STOP, bLive);
    }
    return bSent;
}

void CRecorderSet::AttachArchive(IArchiveWindow *pArchive, int nRecorder, const QString &name)
{
    if (pArchive && pArchive == m_pArchiveWindow && nRecorder == m_nArchiveLink)
        return; // wired already: the range it holds may be newer than the login's
    DetachArchive();
    ILiveClient *pClient = Client(nRecorder);
    if (!pArchive || !pClient)
        return;
    Slot &slot = *m_slots[std::size_t(nRecorder)];
    CNetClientWnd *pNet = pClient->NetClient();
    if (pNet && !slot.pPlayback)
        slot.pPlayback = std::make_unique<CNetPlaybackClient>(*pNet);
    if (pNet)
        pNet->SetArchive(pArchive->ArchiveView());
    ArchiveLink link;
    link.pClient = pClient;
    link.pPlayback = slot.pPlayback.get();
    link.pRange = pNet ? pNet->LoginTimeRange() : nullptr;
    link.nRecorder = nRecorder;
    link.name = name;
    pArchive->AttachLink(link);
    m_pArchiveWindow = pArchive;
    m_nArchiveLink = nRecorder;
}

void CRecorderSet::DetachArchive()
{
    if (!m_pArchiveWindow)
        return;
    if (ILiveClient *pClient = Client(m_nArchiveLink))
        if (CNetClientWnd *pNet = pClient->NetClient())
            pNet->SetArchive(nullptr);
    m_pArchiveWindow->AttachLink(ArchiveLink());
    m_pArchiveWindow = nullptr;
    m_nArchiveLink = -1;
}

void CRecorderSet::StopAllBut(int nKeep)
{
    for (int r = 0; r < kRecorders; ++r)
        if (r != nKeep && Client(r)) {
            Client(r)->SendCommand(KIND_STOP, false);
            m_slots[std::size_t(r)]->bSent = false; // the live request goes again after
        }
}
