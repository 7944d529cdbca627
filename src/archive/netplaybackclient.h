#pragma once
// The protocol client as the playback control's IPlaybackClient. Word 0 of each
// request is taken by the client from the archive window's GetSelectedChannel, which
// answers with CPlaybackControl::Channel(), so it equals the word 0 given here.

#include "archive/playbackports.h"

class CNetClientWnd;

class CNetPlaybackClient : public IPlaybackClient {
  public:
    explicit CNetPlaybackClient(CNetClientWnd &client) : m_client(client) {}

    uint8_t VersionCode() const override;
    void SendPlayback(const PayloadWords &words, bool bArm) override;
    void SetSkipCounter(uint8_t byCount) override;
    void ArmResponseTimer(bool bOn) override;
    void HoldReads(bool bHold) override;

  private:
    CNetClientWnd &m_client;
};
