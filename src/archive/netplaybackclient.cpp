#include "archive/netplaybackclient.h"

#include "protocol/netclientwnd.h"

uint8_t CNetPlaybackClient::VersionCode() const
{
    return m_client.VersionCode();
}

void CNetPlaybackClient::SendPlayback(const PayloadWords &words, bool bArm)
{
    m_client.SetPlaybackWords(words[1], words[2], words[3]);
    m_client.SendCommand(KIND_RECORDER, bArm);
}

void CNetPlaybackClient::SetSkipCounter(uint8_t byCount)
{
    m_client.SetSkipCounter(byCount);
}

void CNetPlaybackClient::ArmResponseTimer(bool bOn)
{
    m_client.ArmResponseTimer(bOn);
}

void CNetPlaybackClient::HoldReads(bool bHold)
{
    m_client.HoldReads(bHold);
}
