#pragma once
// Cuts the byte stream a client sends into request packets. The simulator, unlike
// the client, frames by nPacketSize: bytes may arrive in any split. A header whose
// size or type is implausible is garbage: the framer skips forward to the next
// offset that holds a plausible header with a known request code and reports the
// skipped bytes. No I/O here.

#include <QByteArray>

namespace sim {

class RequestFramer {
  public:
    enum Result { NeedMore, Packet, Garbage };

    // Largest request accepted; the login (300 bytes) is the largest real one.
    static constexpr int MAX_REQUEST_BYTES = 4096;

    void Feed(const QByteArray &bytes);
    // Takes the next complete packet or run of garbage from the front of the buffer.
    Result Next(QByteArray *out);
    int Buffered() const { return m_buffer.size(); }

  private:
    bool PlausibleAt(int offset, bool requireKnownCode) const;

    QByteArray m_buffer;
};

} // namespace sim
