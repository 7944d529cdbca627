#include "protocol/packetframer.h"

#include "protocol/packet.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr std::size_t MAGIC_LENGTH = 10; // "DVR PACKET"

// Offset of the magic anywhere in the bytes, or -1.
long FindMagic(const uint8_t *pData, std::size_t nLength)
{
    if (nLength < MAGIC_LENGTH)
        return -1;
    const uint8_t *pEnd = pData + nLength;
    const uint8_t *p = std::search(pData, pEnd, PACKET_MAGIC, PACKET_MAGIC + MAGIC_LENGTH);
    return p == pEnd ? -1 : static_cast<long>(p - pData);
}

// Length of the longest tail of the bytes that is a proper start of the magic.
std::size_t MagicPrefixAtEnd(const uint8_t *pData, std::size_t nLength)
{
    for (std::size_t n = std::min(nLength, MAGIC_LENGTH - 1); n > 0; --n)
        if (std::memcmp(pData + nLength - n, PACKET_MAGIC, n) == 0)
            return n;
    return 0;
}

} // namespace

long PacketFramer::HeaderOffset(const uint8_t *pData, std::size_t nLength)
{
    // The first 28 bytes as text: up to the first zero byte.
    const std::size_t nWindow = std::min(nLength, PACKET_HEADER_SIZE);
    const uint8_t *pZero = static_cast<const uint8_t *>(std::memchr(pData, 0, nWindow));
    const std::size_t nText = pZero ? static_cast<std::size_t>(pZero - pData) : nWindow;
    return FindMagic(pData, nText);
}

void PacketFramer::Reset()
{
    ++m_nResets;
    m_nRemaining = 0;
    m_held.clear();
    m_bPaused = false;
    m_paused.clear();
    m_nPausedBytes = 0;
}

void PacketFramer::KeepPaused(const uint8_t *pData, std::size_t nLength, bool bRestOfRead)
{
    if (nLength == 0 || m_nPausedBytes + nLength > MAX_PAUSED)
        return;
    // The rest of the read being cut comes before any read kept earlier (those wait
    // behind it when the pause starts while kept reads are being resumed).
    if (bRestOfRead)
        m_paused.emplace_front(pData, pData + nLength);
    else
        m_paused.emplace_back(pData, pData + nLength);
    m_nPausedBytes += nLength;
}

void PacketFramer::Resume()
{
    m_bPaused = false;
    const uint64_t nResets = m_nResets;
    while (!m_bPaused && !m_paused.empty() && nResets == m_nResets) {
        std::vector<uint8_t> read = std::move(m_paused.front());
        m_paused.pop_front();
        m_nPausedBytes -= read.size();
        Feed(read.data(), read.size());
    }
}

void PacketFramer::Feed(const uint8_t *pData, std::size_t nLength)
{
    if (nLength == 0)
        return;
    if (m_bPaused) {
        KeepPaused(pData, nLength, false);
        return;
    }
    if (m_held.empty()) {
        Process(pData, nLength);
        return;
    }
    // Join the held-back start of a header with this read.
    m_joined.assign(m_held.begin(), m_held.end());
    m_joined.insert(m_joined.end(), pData, pData + nLength);
    m_held.clear();
    std::vector<uint8_t> joined;
    joined.swap(m_joined); // the sink may feed us again (it does not, but stay safe)
    Process(joined.data(), joined.size());
    if (m_joined.empty())
        m_joined.swap(joined); // keep the capacity for the next join
}

void PacketFramer::HoldBack(const uint8_t *pData, std::size_t nLength)
{
    m_held.assign(pData, pData + nLength);
}

void PacketFramer::Process(const uint8_t *pData, std::size_t nLength)
{
    const uint64_t nResets = m_nResets;
    while (nLength > 0 && nResets == m_nResets) {
        // While a block is awaited only a header right at the start interrupts it;
        // a magic further in is the next packet behind the block's last bytes.
        long nHeader = HeaderOffset(pData, nLength);
        if (m_nRemaining > 0 && nHeader > 0)
            nHeader = -1;
        if (nHeader >= 0) {
            // A read that starts with a header starts a new packet; anything before
            // the magic (never present with a well-behaved peer) is dropped.
            pData += nHeader;
            nLength -= static_cast<std::size_t>(nHeader);
            // Another magic inside the first 60 bytes means this packet was cut short
            // (its read was shorter than a header and payload): drop the stump.
            const long nNext = FindMagic(pData + 1, std::min(nLength, PACKET_MIN_SIZE) - 1);
            if (nNext >= 0) {
                pData += nNext + 1;
                nLength -= static_cast<std::size_t>(nNext) + 1;
                continue;
            }
            if (nLength < PACKET_MIN_SIZE) {
                HoldBack(pData, nLength);
                m_nRemaining = 0;
                return;
            }
            PacketHeader header;
            header.Parse(pData, nLength);
            uint64_t nWire = std::max<uint64_t>(header.nPacketSize, PACKET_MIN_SIZE);
            if (nWire - PACKET_MIN_SIZE > MAX_DATA_BLOCK)
                nWire = PACKET_MIN_SIZE; // not believed: resynchronise on the next magic
            const std::size_t nTake = static_cast<std::size_t>(std::min<uint64_t>(nLength, nWire));
            m_nRemaining = nWire - nTake;
            m_sink(pData, nTake, true);
            pData += nTake;
            nLength -= nTake;
            if (m_bPaused && nResets == m_nResets) {
                KeepPaused(pData, nLength, true);
                return;
            }
        } else if (m_nRemaining > 0) {
            const std::size_t nTake =
                static_cast<std::size_t>(std::min<uint64_t>(nLength, m_nRemaining));
            m_nRemaining -= nTake;
            m_sink(pData, nTake, false);
            pData += nTake;
            nLength -= nTake;
            if (m_bPaused && nResets == m_nResets) {
                KeepPaused(pData, nLength, true);
                return;
            }
        } else {
            // No packet in progress and no header here: skip to the next magic.
            const long nMagic = FindMagic(pData, nLength);
            if (nMagic < 0) {
                const std::size_t nKeep = MagicPrefixAtEnd(pData, nLength);
                if (nKeep > 0)
                    HoldBack(pData + nLength - nKeep, nKeep);
                return;
            }
            pData += nMagic;
            nLength -= static_cast<std::size_t>(nMagic);
        }
    }
}
