#pragma once
// Pictures and a recording host for the receive path tests.

#include "clientfakes.h"
#include "imaging/imagingtestutil.h"
#include "protocol/receivepath.h"

#include <gtest/gtest.h>

#include <random>

namespace clienttest {

// A marked picture without noise: a few kilobytes to a few tens of kilobytes.
inline std::vector<uint8_t> MarkedPicture(uint8_t byChannel, unsigned nSeed = 1, int nWidth = 704,
                                          int nHeight = 240, int nQuality = 75)
{
    imagingtest::BgrPicture pic(nWidth, nHeight);
    for (int row = 0; row < nHeight; ++row)
        for (int x = 0; x < nWidth; ++x)
            pic.SetPixel(row, x, uint8_t((x / 3 + nSeed * 37) & 0xFF),
                         uint8_t((row + nSeed * 5) & 0xFF),
                         uint8_t(((x + row) / 4 + nSeed * 11) & 0xFF));
    DrawMarkersForJpeg(pic.Canvas(), byChannel, true);
    return imagingtest::Encode(pic, TJSAMP_420, nQuality);
}

// A flat marked picture padded with zeros behind its end marker to exactly nBytes.
inline std::vector<uint8_t> SmallPicture(uint8_t byChannel, size_t nBytes)
{
    imagingtest::BgrPicture pic(640, 240, 90);
    DrawMarkersForJpeg(pic.Canvas(), byChannel, true);
    std::vector<uint8_t> jpeg = imagingtest::Encode(pic, TJSAMP_GRAY, 20);
    if (jpeg.size() < nBytes)
        jpeg.resize(nBytes, 0);
    return jpeg;
}

struct RecordingHost : IReceiveHost {
    SessionState state;
    FakeView *pView = nullptr;
    FakeArchive *pArchive = nullptr;
    bool bAlertMode = false;
    std::vector<bool> arms; // ArmResponseTimer calls
    int nStopTimerKills = 0;
    std::vector<bool> reconnects; // StartReconnect(fast) calls
    std::vector<uint8_t> loginVersions;
    CReceivePath *pPath = nullptr; // for a refused login, which frees the buffers

    SessionState &State() override { return state; }
    IClientView *View() override { return pView; }
    IArchiveView *Archive() override { return pArchive; }
    bool UseAlertMode() override { return bAlertMode; }
    void ArmResponseTimer(bool bOn) override { arms.push_back(bOn); }
    void KillStopTimer() override { ++nStopTimerKills; }
    void StartReconnect(bool bFast) override { reconnects.push_back(bFast); }
    void OnLoginReply(const PacketHeader &, const PayloadWords &words) override
    {
        loginVersions.push_back(uint8_t(words[0]));
        if (words[0] != 1 && pPath)
            pPath->FreeBuffers();
    }
};

// Cuts bytes into reads: whole, fixed size, or random sizes.
inline std::vector<std::vector<uint8_t>> Split(const std::vector<uint8_t> &bytes, size_t nChunk)
{
    std::vector<std::vector<uint8_t>> reads;
    for (size_t i = 0; i < bytes.size(); i += nChunk)
        reads.emplace_back(bytes.begin() + i, bytes.begin() + std::min(bytes.size(), i + nChunk));
    return reads;
}

inline std::vector<std::vector<uint8_t>> RandomSplit(const std::vector<uint8_t> &bytes,
                                                     unsigned nSeed, size_t nMax = 9129)
{
    std::mt19937 rng(nSeed);
    std::uniform_int_distribution<size_t> len(1, nMax);
    std::vector<std::vector<uint8_t>> reads;
    for (size_t i = 0; i < bytes.size();) {
        const size_t n = std::min(bytes.size() - i, len(rng));
        reads.emplace_back(bytes.begin() + i, bytes.begin() + i + n);
        i += n;
    }
    return reads;
}

// A receive path wired to a recording host and a fake view, fed read by read.
class ReceivePathTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        host.pView = &view;
        host.pPath = &path;
        path.AllocateBuffers();
    }
    void Read(const std::vector<uint8_t> &bytes) { path.OnRead(bytes.data(), bytes.size()); }
    void ReadAll(const std::vector<std::vector<uint8_t>> &reads)
    {
        for (const auto &r : reads)
            Read(r);
    }

    FakeView view;
    RecordingHost host;
    CReceivePath path{host};
};

} // namespace clienttest
