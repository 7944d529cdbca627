#pragma once
// The link state of the views' fake clients: the test moves it, and the fake
// reports each move through the client's view as the real client does.

#include "protocol/linkstatus.h"
#include "ui/live/liveclient.h"

class FakeLinkClient : public ILiveClient {
  public:
    explicit FakeLinkClient(IClientView *pView) : m_pLinkView(pView) {}

    LinkStatus Status() const override { return link; }

    // The link moves to kind and says so (a state's status code, or the loss).
    void SetLink(LinkStatus::Kind kind, int64_t nLostAtMs = -1)
    {
        link = LinkStatus();
        link.kind = kind;
        link.nLostAtMs = link.IsRebuilding() ? nLostAtMs : -1;
        if (!m_pLinkView)
            return;
        if (kind == LinkStatus::Kind::GivenUp || kind == LinkStatus::Kind::LoginRefused)
            m_pLinkView->OnLinkLost();
        else
            m_pLinkView->ShowStatus(link.StatusCode());
    }

  protected:
    // The client's own moves: Connect starts one, Disconnect(true) ends it.
    void LinkConnecting() { link.kind = LinkStatus::Kind::Connecting; }
    void LinkDisconnected()
    {
        if (link.ConnectState() != 0)
            link = LinkStatus();
    }

  public:
    LinkStatus link;

  private:
    IClientView *m_pLinkView;
};
