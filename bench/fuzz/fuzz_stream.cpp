// Fuzzes the inbound stream: arbitrary bytes, cut into arbitrary reads, through a
// connected protocol client (framer, receive path, decoders, frame records) with a
// fake socket and a manual clock, so nothing touches the network.
//
// Input: byte 0 sets the scene (bit 0 archive open, bit 1 playing, bit 2 event
// reception); the login reply and everything after it come in the stream. Then each step takes one control byte c: below 0xF0 the next
// 1 + (c & 0x3F) * 150 bytes (or what is left) arrive as one read; from 0xF0 the
// clock moves on by (c - 0xEF) seconds, firing the client's timers (repeats, stop
// repeat, reconnection, keep-alive).
//
// Checked after every step: the reassembly buffers stay within the block cap, held
// back bytes within theirs, and every picture handed to the windows can be read to
// its last byte (ASan reports a freed or short buffer).

#include "protocol/clientfakes.h"
#include "support/manualclock.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include <cstdlib>
#include <memory>

namespace {

uint32_t Touch(const ChannelPicture &picture)
{
    if (!picture.pBits || !picture.pHeader)
        return 0;
    uint32_t sum = 0;
    for (uint32_t i = 0; i < picture.pHeader->biSizeImage; i += 61)
        sum += picture.pBits[i];
    return sum + picture.pBits[picture.pHeader->biSizeImage - 1];
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    clienttest::EnsureApp();
    // Event lists are written to the current folder.
    static QTemporaryDir folder;
    if (!folder.isValid() || !QDir::setCurrent(folder.path()))
        std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    using namespace clienttest;
    if (size < 1)
        return 0;
    ManualClock clock;
    std::unique_ptr<ManualTimerHost> timers = clock.CreateHost();
    FakeView view;
    FakeArchive archive;
    CNetClientWnd client(*timers, [] { return std::make_unique<FakeClientSocket>(); });
    timers->SetHandler([&client](int nId) { client.OnTimer(nId); });
    view.pClient = &client;
    view.settings.m_bUseAlertMode = (data[0] & 4) ? 1 : 0;
    client.Create(&view);
    client.SetArchive(&archive);
    archive.bActive = data[0] & 1;
    archive.wPlayState = (data[0] & 2) ? 0x0001 : 0x0000;
    if (!client.Connect(QStringLiteral("127.0.0.1"), 8000))
        std::abort();
    view.byConnectState = 2;
    static_cast<FakeClientSocket *>(client.Socket())->CompleteConnect(0);

    uint32_t sink = 0;
    size_t pos = 1;
    while (pos < size) {
        const uint8_t c = data[pos++];
        if (c >= 0xF0) {
            clock.Advance(int64_t(c - 0xEF) * 1000);
            RunPosted();
        } else {
            const size_t n = std::min<size_t>(size - pos, 1 + size_t(c & 0x3F) * 150);
            // The link's socket of the moment (a reconnection makes another).
            if (IClientSocket *pSocket = client.Socket())
                static_cast<FakeClientSocket *>(pSocket)->DeliverRead(
                    std::vector<uint8_t>(data + pos, data + pos + n));
            pos += n;
        }
        const CReceivePath &path = client.Receiver();
        if (path.Capacity() > size_t(CReceivePath::MAX_DATA_BLOCK) + 1 ||
            path.Framer().HeldBack() > PacketFramer::MAX_PAUSED + CReceivePath::MAX_READ)
            std::abort();
        for (int i : view.shown)
            sink += Touch(view.pictures[i]);
        for (int i : archive.drawn)
            if (i >= 0 && i < 4)
                sink += Touch(archive.pictures[i]);
        view.shown.clear();
        archive.drawn.clear();
    }
    client.Disconnect(true);
    RunPosted();
    return int(sink & 0);
}
