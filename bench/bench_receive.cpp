// Throughput of the whole live receive path against a bare TurboJPEG decode of the
// same pictures, measured in the same run so the ratio means something anywhere.
//
//   bare:    one tjhandle, header + tjDecompress2 into a padded bottom-up BGR buffer
//   receive: COMMAND_R_LIVE packets cut into 9129-byte reads as the socket delivers
//            them, through framing, reassembly, the working copy, CJpegImage::Decode
//            (normalise, decode, channel marker, index test) and the filing of the
//            picture into its channel's frame record, handed to a view
//
// Rounds alternate the two methods; the median round is reported. Target: the
// receive path takes at most 1.10 x the bare decode's time per picture. The 704 x 480
// frames are left out: the client refuses them (more than 220000 pixels).

#include "protocol/clientviews.h"
#include "protocol/receivepath.h"
#include "settings/clientsettings.h"

#include "benchsupport.h"

#include <QByteArray>
#include <QDir>
#include <QFile>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

using bench::BareDecoder;
using bench::MedianSeconds;

struct CountingView : IClientView {
    ClientSettings settings;
    long nShown = 0;
    const ClientSettings &Settings() const override { return settings; }
    uint8_t GetConnectState() const override { return 1; }
    void SetConnectState(uint8_t) override {}
    uint16_t GetRequestChannel() const override { return 0x0100; }
    void SetChannelCount(uint8_t) override {}
    uint8_t GetPtzSpeed() const override { return 1; }
    void ShowStatus(uint8_t) override {}
    void OnLinkLost() override {}
    void SetChannelPicture(int, const ChannelPicture &) override {}
    void ShowLiveFrame(int) override { ++nShown; }
    void ToggleReceiveLamp() override {}
};

struct BenchHost : IReceiveHost {
    SessionState state;
    CountingView view;
    SessionState &State() override { return state; }
    IClientView *View() override { return &view; }
    IArchiveView *Archive() override { return nullptr; }
    bool UseAlertMode() override { return false; }
    void ArmResponseTimer(bool) override {}
    void KillStopTimer() override {}
    void StartReconnect(bool) override {}
    void OnLoginReply(const PacketHeader &, const PayloadWords &) override {}
};

} // namespace

int main(int argc, char **argv)
{
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 9;
    const int passes = argc > 2 ? std::max(1, atoi(argv[2])) : 6;
    const QDir dir(QStringLiteral(TELVANE_BENCH_PICTURES));

    std::printf("%d rounds x %d passes over each size's pictures; median round\n", rounds, passes);
    std::printf("%-8s %12s %14s %14s  %s\n", "size", "bare pic/s", "receive pic/s", "receive/bare",
                "shown");
    double worst = 0;
    for (const char *size : {"704x240", "720x288"}) {
        std::vector<QByteArray> pictures;
        for (const QString &name :
             dir.entryList({QString::fromLatin1(size) + "_*.jpg"}, QDir::Files, QDir::Name)) {
            QFile f(dir.filePath(name));
            if (f.open(QIODevice::ReadOnly))
                pictures.push_back(f.readAll());
        }
        if (pictures.empty())
            continue;
        // One pass of the stream: every picture as a live reply for channel 1..4.
        std::vector<uint8_t> stream;
        for (size_t i = 0; i < pictures.size(); ++i) {
            const auto packet = BuildReply(
                PACKET_VERSION_12, COMMAND_R_LIVE, PayloadWords{0, 0, 0, uint32_t(i % 4 + 1)},
                reinterpret_cast<const uint8_t *>(pictures[i].constData()),
                size_t(pictures[i].size()));
            stream.insert(stream.end(), packet.begin(), packet.end());
        }

        BareDecoder bare;
        BenchHost host;
        CReceivePath path(host);
        path.AllocateBuffers();
        int failures = 0;
        auto runBare = [&] {
            for (int p = 0; p < passes; ++p)
                for (const QByteArray &j : pictures)
                    failures += !bare.Decode(j);
        };
        auto runReceive = [&] {
            for (int p = 0; p < passes; ++p)
                for (size_t at = 0; at < stream.size(); at += 9129)
                    path.OnRead(stream.data() + at, std::min<size_t>(9129, stream.size() - at));
        };
        runBare(); // warm-up
        runReceive();
        host.view.nShown = 0;
        std::vector<double> seconds[2];
        for (int r = 0; r < rounds; ++r)
            for (int k = 0; k < 2; ++k) {
                const int m = (k + r) % 2;
                const auto start = Clock::now();
                m == 0 ? runBare() : runReceive();
                seconds[m].push_back(std::chrono::duration<double>(Clock::now() - start).count());
            }
        const double count = double(passes) * double(pictures.size());
        const double bareRate = count / MedianSeconds(seconds[0]);
        const double receiveRate = count / MedianSeconds(seconds[1]);
        const double ratio = bareRate / receiveRate;
        worst = std::max(worst, ratio);
        std::printf("%-8s %12.0f %14.0f %14.3f  %ld of %.0f\n", size, bareRate, receiveRate, ratio,
                    host.view.nShown, count * rounds);
        if (failures)
            std::printf("  %d bare decodes failed\n", failures);
    }
    if (worst == 0) {
        std::fprintf(stderr, "no pictures in %s\n", TELVANE_BENCH_PICTURES);
        return 1;
    }
    std::printf("receive/bare is time per picture of the whole receive path over the bare "
                "decode (target <= 1.10); worst %.3f\n",
                worst);
    return 0;
}
