#pragma once
// The protocol client as the playback control's IPlaybackClient. Word 0 of each
// request is taken by the client from the archive window's GetSelectedChannel, which
// answers with CPlaybackControl::Channel(), so it equals the word 0 given here.

#include "archive/playbackports.h"
#include "protocol/netclientwnd.h"

class CNetPlaybackClient : public IPlaybackClient {
  public:
    explicit CNetPlaybackClient(CNetClientWnd &client) : m_client(client) {}

    uint8_t VersionCode() const override { return m_client.VersionCode(); }
    void SendPlayback(const PayloadWords &words, bool bArm) override
    {
        m_client.SetPlaybackWords(words[1], words[2], words[3]);
        m_client.SendCommand(KIND_RECORDER, bArm);
    }
    void StopReconnect() override { m_client.StopReconnect(); }
    void SetSkipCounter(uint8_t byCount) override { m_client.SetSkipCounter(byCount); }
    void ArmResponseTimer(bool bOn) override { m_client.ArmResponseTimer(bOn); }
    void HoldReads(bool bHold) override { m_client.HoldReads(bHold); }

  private:
    CNetClientWnd &m_client;
};
