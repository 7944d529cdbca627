#pragma once
// Cuts the bytes of successive socket reads into the reads the receive path
// processes ("logical reads"). With a well-behaved recorder every packet header
// arrives at the start of a socket read and each socket read passes through whole.
// TCP keeps no message boundaries, though, so the framer also copes with:
//   - several packets in one read: once the packet being assembled is complete,
//     the bytes left in the read are handled as the start of a further read;
//   - a header split across reads: fewer than 60 bytes from a header on are held
//     back and joined with the next read (but a header that is followed by another
//     magic within its first 60 bytes was cut short and is dropped, as the
//     recorder's short packets always were);
//   - bytes that belong to no packet: a read that starts without a header while no
//     data block is awaited is searched for "DVR PACKET" and what stands before it
//     is dropped (a possible start of the magic at the end is held back).
// A read that starts with a header always starts a new packet, even while a data
// block is still awaited (the unfinished block is then abandoned).
//
// The framer allocates nothing sized from the network: a packet's length is only
// counted down. A packet that announces a data block above MAX_DATA_BLOCK is not
// believed: only its header and payload are passed on, and the bytes behind them are
// searched for the next header like any bytes that belong to no packet.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <vector>

class PacketFramer {
  public:
    static constexpr uint32_t MAX_DATA_BLOCK = 8u * 1024 * 1024;

    // bStartsPacket: the logical read begins with a packet header (and holds at
    // least header and payload); otherwise it continues the current packet's block.
    using Sink = std::function<void(const uint8_t *pData, std::size_t nLength, bool bStartsPacket)>;

    explicit PacketFramer(Sink sink) : m_sink(std::move(sink)) {}

    // One socket read.
    void Feed(const uint8_t *pData, std::size_t nLength);
    // Forgets held-back bytes and the packet in progress (a new connection).
    void Reset();

    // Pause (from inside the sink or outside): the rest of the read being cut and
    // every later read are kept, read by read, up to MAX_PAUSED bytes (more is
    // dropped); Resume processes them in order until the stream is paused again.
    static constexpr std::size_t MAX_PAUSED = 4u * 1024 * 1024;
    void Pause() { m_bPaused = true; }
    void Resume();
    bool IsPaused() const { return m_bPaused; }

    // Bytes of the current packet still to come on the wire.
    uint64_t Remaining() const { return m_nRemaining; }
    std::size_t HeldBack() const { return m_held.size(); }

    // Offset of "DVR PACKET" inside the first 28 bytes of a read, taken as text up to
    // the first zero byte, or -1 (the receive model's header test).
    static long HeaderOffset(const uint8_t *pData, std::size_t nLength);

  private:
    void Process(const uint8_t *pData, std::size_t nLength);
    void HoldBack(const uint8_t *pData, std::size_t nLength);

    Sink m_sink;
    uint64_t m_nRemaining = 0;
    uint64_t m_nResets = 0; // a Reset from inside the sink ends the read being cut
    bool m_bPaused = false;
    std::deque<std::vector<uint8_t>> m_paused; // reads kept while paused
    std::size_t m_nPausedBytes = 0;
    void KeepPaused(const uint8_t *pData, std::size_t nLength, bool bRestOfRead);
    std::vector<uint8_t> m_held;
    std::vector<uint8_t> m_joined;
};
