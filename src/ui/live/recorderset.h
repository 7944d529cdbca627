#pragma once
// CRecorderSet: the recorders one window shows, up to four, each on a link of its
// own.
//
// Theory of operation. Each configured recorder has its own protocol client (its
// own socket, timers, reconnection, keep-alive, version, channel count) and its own
// IClientView adapter, which the client takes for the window. The adapter gives the
// client its recorder's login and address, keeps the link's connect state, channel
// count and last status, and hands pictures on to the window with the recorder's
// channel 0..3 turned into the global channel 4 x recorder + channel (recorder 1
// alone keeps its channel indexes as they come). The picture itself is not touched:
// the window's canvas borrows it from the client's frame record as before.
//
// The window says which global channels are on screen (SetOnScreen); the set works
// out what each recorder is asked for: two or more of its channels on screen, all
// of them (0x0100); exactly one, that channel; none, a stop, and the link stays
// logged in with its keep-alive (WantsLive false) so it costs no pictures.
// SendRequests sends what changed.
//
// Recorder numbers here are 0-based (0 = recorder 1, group "Setting").

#include "protocol/clientviews.h"
#include "settings/clientsettings.h"
#include "ui/live/liveclient.h"

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
    // A link's connect state (0, 1, 2) changed.
    virtual void OnRecorderState(int nRecorder) = 0;
    // A status code (ClientStatus) of a recorder's link.
    virtual void OnRecorderStatus(int nRecorder, uint8_t byCode) = 0;
    // A recorder's link was given up (login refused, reconnection attempts used up).
    virtual void OnRecorderLost(int nRecorder) = 0;
    // The recorder's channel count from its login.
    virtual void OnRecorderChannelCount(int nRecorder, uint8_t byCount) = 0;
    // Pictures, in global channel numbers 0..15.
    virtual void SetChannelPicture(int nGlobal, const ChannelPicture &picture) = 0;
    virtual void ShowLiveFrame(int nGlobal) = 0;
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

    bool IsConfigured(int nRecorder) const;
    int ConfiguredCount() const;
    ILiveClient *Client(int nRecorder) const;
    RecorderLink Link(int nRecorder) const;
    // "Recorder 2" or the recorder's label.
    QString Name(int nRecorder) const;

    uint8_t State(int nRecorder) const;
    void SetState(int nRecorder, uint8_t byState);
    // 1 when any link is up, else 2 when any is connecting, else 0.
    uint8_t CombinedState() const;
    uint8_t ChannelCount(int nRecorder) const;
    // The last status code the recorder's link reported.
    uint8_t LastStatus(int nRecorder) const;

    static int RecorderOf(int nGlobal) { return nGlobal / kChannels; }

    // Which global channels are on screen; each recorder's request follows from it.
    void SetOnScreen(const std::array<bool, 16> &abOnScreen);
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
    // Sends a stop to every configured recorder but nKeep.
    void StopAllBut(int nKeep);

  private:
    class Adapter;
    struct Slot;

    IRecorderSetHost &m_host;
    LiveClientFactory m_fnCreate;
    std::array<std::unique_ptr<Slot>, kRecorders> m_slots;
    int m_nArchive = -1;
};
