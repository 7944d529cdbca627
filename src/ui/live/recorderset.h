#pragma once
// CRecorderSet: the recorders one window shows, one to four, each on a link of its
// own. One recorder is simply a set of one.
//
// Theory of operation. Each configured recorder has its own protocol client (its
// own socket, timers, reconnection, keep-alive, version, channel count) and its own
// IClientView adapter, which the client takes for the window. The client is the one
// record of its link (LinkStatus); the adapter keeps nothing of it. It gives the
// client its recorder's login and address and what it is asked for, and publishes
// what the client reports: "recorder r changed" (read Status(r)), an event of the
// link (codes 5, 6, 7), its channel count, and its pictures with the recorder's
// channel turned into a GlobalChannel. The picture itself is not touched: the
// window's canvas borrows it from the client's frame record.
//
// The window carries out a screen plan (screenplan.h): SetRequests takes the plan's
// request for each recorder, SendRequests sends what changed. A link the client
// gives up (attempts used up, login refused, no connection) is ended here: its
// client freed, its event list deleted, and the window told that it changed.
//
// Recorder numbers here are 0-based (0 = recorder 1, group "Setting").

#include "protocol/clientviews.h"
#include "protocol/linkstatus.h"
#include "settings/clientsettings.h"
#include "settings/globalchannel.h"
#include "ui/live/archivewindow.h"
#include "ui/live/liveclient.h"
#include "ui/live/screenplan.h"

#include <QString>

#include <array>
#include <cstdint>
#include <memory>

// What the set asks of the window that shows the recorders.
class IRecorderSetHost {
  public:
    virtual ~IRecorderSetHost() = default;
    virtual const ClientSettings &Settings() const = 0;
    virtual uint8_t GetPtzSpeed() const = 0;
    // Recorder r's link changed: its state, its reason, or its client came or went.
    virtual void OnRecorderChanged(int nRecorder) = 0;
    // An event of recorder r's link: STATUS_CONNECT_FAIL, STATUS_TRY_REQUEST or
    // STATUS_EVENT_REPORT.
    virtual void OnRecorderEvent(int nRecorder, uint8_t byCode) = 0;
    // The recorder's channel count from its login.
    virtual void OnRecorderChannelCount(int nRecorder) = 0;
    // Recorder r's client is about to be destroyed: every picture borrowed from its
    // frame records must be forgotten now.
    virtual void OnRecorderRemoved(int nRecorder) = 0;
    virtual void SetChannelPicture(GlobalChannel channel, const ChannelPicture &picture) = 0;
    virtual void ShowLiveFrame(GlobalChannel channel) = 0;
    virtual void ToggleReceiveLamp() = 0;
};

class CRecorderSet {
  public:
    static constexpr int kRecorders = MAX_RECORDERS;
    static constexpr int kChannels = CHANNELS_PER_RECORDER;

    // fnCreate makes each recorder's client (empty: the program's CNetClientWnd).
    CRecorderSet(IRecorderSetHost &host, LiveClientFactory fnCreate);
    ~CRecorderSet();

    // Gives every configured recorder a link and ends the links of recorders no
    // longer configured. Recorder 1 always has one (when its client can be made).
    void Sync();

    // The recorders whose link settings differ between two records (address, port,
    // user ID, password), as a bit mask (bit r: recorder r).
    static unsigned ChangedLinks(const ClientSettings &before, const ClientSettings &after);

    bool IsConfigured(int nRecorder) const;
    int ConfiguredCount() const;
    ILiveClient *Client(int nRecorder) const;
    RecorderLink Link(int nRecorder) const;
    // The recorder's label, or "Recorder 2" where it has none of its own.
    QString Name(int nRecorder) const;
    // The configured recorders and their channel counts, as the screen plan takes them.
    screenplan::Recorders Recorders() const;

    // The link, as its client knows it (Idle for a recorder without a client).
    LinkStatus Status(int nRecorder) const;
    uint8_t ConnectState(int nRecorder) const { return Status(nRecorder).ConnectState(); }
    // 1 when any link is up, else 2 when any is connecting, else 0.
    uint8_t CombinedState() const;
    uint8_t ChannelCount(int nRecorder) const;

    // Starts a link to the recorder when it has none; true when an attempt started.
    bool Connect(int nRecorder);
    // Ends the recorder's link (all buffers freed) and deletes its event list.
    void Disconnect(int nRecorder);

    // What each recorder is asked for (the screen plan's requests).
    void SetRequests(const std::array<screenplan::Request, kRecorders> &requests);
    uint16_t RequestWord(int nRecorder) const;
    bool WantsLive(int nRecorder) const;
    // Sends each configured recorder whose request changed its live request (armed)
    // or, with none of its channels on screen, a stop. bForce sends the live
    // request again to every recorder with channels on screen.
    // True when anything was sent.
    bool SendRequests(bool bForce);
    // The recorder whose archive is shown (-1: none): the others want no pictures
    // meanwhile, even when a link of theirs logs in again.
    void SetArchiveRecorder(int nRecorder) { m_nArchive = nRecorder; }
    int ArchiveRecorder() const { return m_nArchive; }
    // Sends a stop to every configured recorder but nKeep.
    void StopAllBut(int nKeep);

    // Wires the archive window to recorder r's link: its playback side (made here,
    // kept with the link), its reports and the recording range of its login. The
    // window is detached from the link it showed before, and from a link that goes.
    // name names the window (empty: none). Null detaches the window that is wired.
    void AttachArchive(IArchiveWindow *pArchive, int nRecorder, const QString &name);

  private:
    class Adapter;
    struct Slot;
    void DetachArchive();

    IRecorderSetHost &m_host;
    LiveClientFactory m_fnCreate;
    std::array<std::unique_ptr<Slot>, kRecorders> m_slots;
    int m_nArchive = -1;
    IArchiveWindow *m_pArchiveWindow = nullptr; // wired to m_nArchiveLink's link
    int m_nArchiveLink = -1;
};
