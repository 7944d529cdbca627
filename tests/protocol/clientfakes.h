#pragma once
// Stand-ins for the main view and the archive dialog that record every call the
// protocol client makes, plus small helpers to build recorder replies and to read
// the requests the client sent.

#include "protocol/clientviews.h"
#include "protocol/netclientwnd.h"
#include "protocol/packet.h"
#include "settings/clientsettings.h"
#include "support/fakesocket.h"

#include <QCoreApplication>
#include <QString>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace clienttest {

// Queued calls (the posted link message) need an application object.
inline void EnsureApp()
{
    if (!QCoreApplication::instance()) {
        static int argc = 1;
        static char name[] = "test";
        static char *argv[] = {name, nullptr};
        new QCoreApplication(argc, argv);
    }
}

inline void RunPosted()
{
    QCoreApplication::sendPostedEvents(nullptr, 0);
}

struct FakeView : IClientView {
    ClientSettings settings;
    uint8_t byConnectState = 0;
    uint16_t wRequestChannel = 0x0100;
    uint8_t byChannelCount = 4;
    uint8_t byPtzSpeed = 1;
    CNetClientWnd *pClient = nullptr; // OnLinkLost disconnects it, as the real view does

    std::vector<std::pair<int, int>> statuses; // (code, client's retry count at the call)
    int nLinkLost = 0;
    int nLampToggles = 0;
    std::vector<int> shown; // channel indexes passed to ShowLiveFrame
    ChannelPicture pictures[16];

    FakeView()
    {
        SetFieldText(settings.m_szHostIP, QStringLiteral("127.0.0.1"));
        settings.m_nHostPort = 8000;
        settings.m_byReconnectCount = 3;
        settings.m_bUseAlertMode = 0;
    }

    const ClientSettings &Settings() const override { return settings; }
    uint8_t GetConnectState() const override { return byConnectState; }
    void SetConnectState(uint8_t by) override { byConnectState = by; }
    uint16_t GetRequestChannel() const override { return wRequestChannel; }
    void SetChannelCount(uint8_t by) override { byChannelCount = by; }
    uint8_t GetPtzSpeed() const override { return byPtzSpeed; }
    void ShowStatus(uint8_t byCode) override
    {
        statuses.emplace_back(byCode, pClient ? pClient->RetryCount() : -1);
    }
    void OnLinkLost() override
    {
        ++nLinkLost;
        if (byConnectState != 0) {
            byConnectState = 0;
            if (pClient)
                pClient->Disconnect(true);
        }
    }
    void SetChannelPicture(int nIndex, const ChannelPicture &picture) override
    {
        pictures[nIndex] = picture;
    }
    void ShowLiveFrame(int nIndex) override { shown.push_back(nIndex); }
    void ToggleReceiveLamp() override { ++nLampToggles; }

    std::vector<int> Codes() const
    {
        std::vector<int> codes;
        for (const auto &s : statuses)
            codes.push_back(s.first);
        return codes;
    }
};

struct FakeArchive : IArchiveView {
    bool bActive = false;
    uint16_t wPlayState = 0;
    uint8_t byChannel = 255;
    bool bShowingNotice = false;
    int nNoticePictures = 0;

    std::vector<std::vector<uint32_t>> timeRanges;
    int nTimeBlockRedraws = 0;
    std::vector<uint32_t> pictureSeconds;
    std::vector<std::pair<uint32_t, uint32_t>> pictureWords;
    std::vector<int> endStatuses;
    int nEventListReady = 0;
    std::vector<int> drawn;
    ChannelPicture pictures[4];
    int nLampToggles = 0;
    std::vector<QString> notices;

    bool IsActive() const override { return bActive; }
    uint16_t GetPlayState() const override { return wPlayState; }
    uint8_t GetSelectedChannel() const override { return byChannel; }
    void SetTimeRange(uint32_t a, uint32_t b, uint32_t c, uint32_t d) override
    {
        timeRanges.push_back({a, b, c, d});
    }
    void RedrawTimeBlock() override { ++nTimeBlockRedraws; }
    void SetPictureTime(uint32_t dwSeconds) override { pictureSeconds.push_back(dwSeconds); }
    void SetPictureTime(uint32_t w0, uint32_t w1) override { pictureWords.emplace_back(w0, w1); }
    void ShowEndStatus(uint8_t byCode) override { endStatuses.push_back(byCode); }
    void OnEventListReady() override { ++nEventListReady; }
    void SetChannelPicture(int nIndex, const ChannelPicture &picture) override
    {
        if (nIndex >= 0 && nIndex < 4)
            pictures[nIndex] = picture;
    }
    void DrawChannel(int nIndex) override { drawn.push_back(nIndex); }
    void ToggleReceiveLamp() override { ++nLampToggles; }
    bool IsShowingNotice() const override { return bShowingNotice; }
    void SetShowingNotice(bool b) override { bShowingNotice = b; }
    int GetNoticePictures() const override { return nNoticePictures; }
    void SetNoticePictures(int n) override { nNoticePictures = n; }
    void ShowNotice(const QString &text) override { notices.push_back(text); }
};

// ---- replies ------------------------------------------------------------------------

inline PayloadWords Words(std::initializer_list<uint32_t> list)
{
    PayloadWords words{};
    size_t i = 0;
    for (uint32_t w : list)
        words[i++] = w;
    return words;
}

inline std::vector<uint8_t> Reply(uint32_t nCommand, const PayloadWords &words,
                                  const std::vector<uint8_t> &block = {},
                                  std::string_view version = "DVR PACKET1.2")
{
    return BuildReply(version, nCommand, words, block.empty() ? nullptr : block.data(),
                      block.size());
}

inline std::vector<uint8_t> LoginPacket(bool bAccepted = true, uint8_t byChannelInfo = 4,
                                        uint8_t bySelector = 0,
                                        std::string_view version = "DVR PACKET1.2")
{
    return Reply(COMMAND_R_LOGIN,
                 Words({bAccepted ? 1u : 0u, uint32_t(byChannelInfo) | uint32_t(bySelector) << 8,
                        0x07D50301, 0x0A000000, 0x07D5030F, 0x17000000}),
                 {}, version);
}

// A live picture reply; nChannel1 is word 3 (1-based channel).
inline std::vector<uint8_t> LivePacket(const std::vector<uint8_t> &jpeg, uint32_t nChannel1 = 1)
{
    return Reply(COMMAND_R_LIVE, Words({0, 0, 0, nChannel1}), jpeg);
}

inline std::vector<uint8_t> Concat(std::initializer_list<std::vector<uint8_t>> parts)
{
    std::vector<uint8_t> all;
    for (const auto &p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

// ---- requests -----------------------------------------------------------------------

struct SentRequest {
    std::string version;
    uint32_t nSize = 0, nType = 0, nCommand = 0;
    PayloadWords words{};
    size_t nBytes = 0;
};

inline SentRequest ParseSent(const std::vector<uint8_t> &bytes)
{
    SentRequest r;
    r.nBytes = bytes.size();
    PacketHeader h;
    if (h.Parse(bytes.data(), bytes.size())) {
        r.version = VersionTextString(h.szVersion);
        r.nSize = h.nPacketSize;
        r.nType = h.nPacketType;
        r.nCommand = h.nCommand;
    }
    if (bytes.size() >= PACKET_MIN_SIZE)
        r.words = ReadPayloadWords(bytes.data() + PACKET_HEADER_SIZE);
    return r;
}

inline std::vector<uint32_t> SentCommands(const FakeClientSocket &socket)
{
    std::vector<uint32_t> codes;
    for (const auto &bytes : socket.m_sent)
        codes.push_back(ParseSent(bytes).nCommand);
    return codes;
}

} // namespace clienttest
