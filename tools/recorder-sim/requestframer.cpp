#include "requestframer.h"

#include "wire.h"

namespace sim {

namespace {
bool KnownRequestCode(std::uint32_t code)
{
    switch (code) {
    case COMMAND_LOGIN:
    case COMMAND_LIVE:
    case COMMAND_STOP:
    case COMMAND_RECORDER:
    case COMMAND_PTZ:
    case COMMAND_ALERT:
    case COMMAND_EVENT:
    case COMMAND_START_TIME:
    case COMMAND_WATCHDOG:
        return true;
    default:
        return false;
    }
}
} // namespace

void RequestFramer::Feed(const QByteArray &bytes)
{
    m_buffer.append(bytes);
}

bool RequestFramer::PlausibleAt(int offset, bool requireKnownCode) const
{
    const char *p = m_buffer.constData() + offset;
    std::uint32_t size = ReadWord(p + 16), type = ReadWord(p + 20), code = ReadWord(p + 24);
    if (size < PACKET_MIN_SIZE || size > std::uint32_t(MAX_REQUEST_BYTES))
        return false;
    if (type < 1 || type > PACKET_TYPE_MAX)
        return false;
    return !requireKnownCode || KnownRequestCode(code);
}

RequestFramer::Result RequestFramer::Next(QByteArray *out)
{
    if (m_buffer.size() < int(PACKET_HEADER_SIZE))
        return NeedMore;
    if (PlausibleAt(0, false)) {
        int size = int(ReadWord(m_buffer.constData() + 16));
        if (m_buffer.size() < size)
            return NeedMore;
        *out = m_buffer.left(size);
        m_buffer.remove(0, size);
        return Packet;
    }
    // Garbage: resynchronise on the next plausible header of a known request.
    int skip = 1;
    const int last = m_buffer.size() - int(PACKET_HEADER_SIZE);
    while (skip <= last && !PlausibleAt(skip, true))
        ++skip;
    if (skip > last)
        skip = last + 1; // keep the tail that may still begin a header
    *out = m_buffer.left(skip);
    m_buffer.remove(0, skip);
    return Garbage;
}

} // namespace sim
