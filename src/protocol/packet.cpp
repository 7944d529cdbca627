#include "protocol/packet.h"

#include <algorithm>
#include <cstring>

namespace {

// Copies at most maxLen characters of text (stopping at a zero byte) into a slot
// that is already zero-filled, so the slot always keeps a terminating zero.
void CopyText(std::uint8_t *slot, std::string_view text, std::size_t maxLen)
{
    const std::size_t zero = text.find('\0');
    const std::size_t n = std::min(zero == std::string_view::npos ? text.size() : zero, maxLen);
    std::memcpy(slot, text.data(), n);
}

char Lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (Lower(a[i]) != Lower(b[i]))
            return false;
    }
    return true;
}

} // namespace

// ---- request kinds ----------------------------------------------------------------------

bool IsKnownRequestKind(int kind)
{
    return RequestCommandCode(kind) != 0;
}

std::uint32_t RequestCommandCode(int kind)
{
    switch (kind) {
    case KIND_LOGIN:
        return COMMAND_LOGIN;
    case KIND_LIVE:
        return COMMAND_LIVE;
    case KIND_RECORDER:
        return COMMAND_RECORDER;
    case KIND_EVENT:
        return COMMAND_EVENT;
    case KIND_PTZ:
        return COMMAND_PTZ;
    case KIND_ALERT:
        return COMMAND_ALERT;
    case KIND_STOP:
        return COMMAND_STOP;
    case KIND_START_TIME:
        return COMMAND_START_TIME;
    case KIND_WATCHDOG:
        return COMMAND_WATCHDOG;
    default:
        return 0;
    }
}

std::uint32_t RequestPacketSize(int kind)
{
    if (!IsKnownRequestKind(kind))
        return 0;
    return kind == KIND_LOGIN ? LOGIN_PACKET_SIZE : REQUEST_PACKET_SIZE;
}

std::uint32_t RequestPacketType(int kind)
{
    if (!IsKnownRequestKind(kind))
        return 0;
    return kind == KIND_LOGIN ? PACKET_TYPE_LOGIN : PACKET_TYPE_REQUEST;
}

// ---- version text -------------------------------------------------------------------------

std::string VersionTextString(const char *szVersion16)
{
    std::size_t n = 0;
    while (n < PACKET_VERSION_SIZE && szVersion16[n] != '\0')
        ++n;
    return std::string(szVersion16, n);
}

VersionText MakeVersionText(std::string_view text)
{
    VersionText kept{};
    std::size_t n = 0;
    while (n < text.size() && n < PACKET_VERSION_SIZE - 1 && text[n] != '\0')
        ++n;
    std::memcpy(kept.data(), text.data(), n);
    return kept;
}

VersionText KeepVersionText(const char *szVersion16)
{
    return MakeVersionText(VersionTextString(szVersion16));
}

std::uint8_t VersionCodeOf(const char *szVersion16)
{
    const std::string text = VersionTextString(szVersion16);
    if (EqualsNoCase(text, PACKET_VERSION_10))
        return VERSION_CODE_10;
    if (EqualsNoCase(text, PACKET_VERSION_12))
        return VERSION_CODE_12;
    return VERSION_CODE_OTHER;
}

// ---- words ------------------------------------------------------------------------------------

std::uint32_t ReadLE32(const std::uint8_t *p)
{
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

void WriteLE32(std::uint8_t *p, std::uint32_t v)
{
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
    p[2] = static_cast<std::uint8_t>(v >> 16);
    p[3] = static_cast<std::uint8_t>(v >> 24);
}

PayloadWords ReadPayloadWords(const std::uint8_t *payload32)
{
    PayloadWords words{};
    for (std::size_t i = 0; i < words.size(); ++i)
        words[i] = ReadLE32(payload32 + 4 * i);
    return words;
}

void WritePayloadWords(const PayloadWords &words, std::uint8_t *payload32)
{
    for (std::size_t i = 0; i < words.size(); ++i)
        WriteLE32(payload32 + 4 * i, words[i]);
}

// ---- header
// --------------------------------------------------------------------------------------

void PacketHeader::Serialise(std::uint8_t *out28) const
{
    std::memcpy(out28, szVersion, PACKET_VERSION_SIZE);
    WriteLE32(out28 + 16, nPacketSize);
    WriteLE32(out28 + 20, nPacketType);
    WriteLE32(out28 + 24, nCommand);
}

std::array<std::uint8_t, PACKET_HEADER_SIZE> PacketHeader::ToBytes() const
{
    std::array<std::uint8_t, PACKET_HEADER_SIZE> bytes{};
    Serialise(bytes.data());
    return bytes;
}

bool PacketHeader::Parse(const std::uint8_t *data, std::size_t len)
{
    if (data == nullptr || len < PACKET_HEADER_SIZE)
        return false;
    std::memcpy(szVersion, data, PACKET_VERSION_SIZE);
    nPacketSize = ReadLE32(data + 16);
    nPacketType = ReadLE32(data + 20);
    nCommand = ReadLE32(data + 24);
    return true;
}

std::uint32_t PacketHeader::DataBlockLength() const
{
    return nPacketSize > PACKET_MIN_SIZE ? nPacketSize - static_cast<std::uint32_t>(PACKET_MIN_SIZE)
                                         : 0;
}

bool StartsPacket(const std::uint8_t *data, std::size_t len)
{
    if (data == nullptr)
        return false;
    const std::size_t limit = std::min(len, PACKET_HEADER_SIZE);
    std::size_t n = 0;
    while (n < limit && data[n] != 0)
        ++n;
    const std::string_view text(reinterpret_cast<const char *>(data), n);
    return text.find(PACKET_MAGIC) != std::string_view::npos;
}

bool ParsePacket(const std::uint8_t *data, std::size_t len, PacketHeader &header,
                 PayloadWords &words)
{
    if (data == nullptr || len < PACKET_MIN_SIZE)
        return false;
    header.Parse(data, len);
    words = ReadPayloadWords(data + PACKET_HEADER_SIZE);
    return true;
}

// ---- requests
// ------------------------------------------------------------------------------------

PayloadWords LivePayload(std::uint16_t wRequestChannel)
{
    PayloadWords w{};
    w[0] = WordByte(wRequestChannel, 1);
    w[1] = static_cast<std::uint32_t>(WordByte(wRequestChannel, 0)) + 1;
    return w;
}

PayloadWords RecorderPayload(std::uint8_t bySelectedChannel, std::uint32_t dwWord1,
                             std::uint32_t dwWord2, std::uint32_t dwPlayControl)
{
    PayloadWords w{};
    w[0] = bySelectedChannel == 255 ? 0u : static_cast<std::uint32_t>(bySelectedChannel) + 1;
    w[1] = dwWord1;
    w[2] = dwWord2;
    w[3] = dwPlayControl;
    return w;
}

PayloadWords EventPayload()
{
    PayloadWords w{};
    w[0] = 1;
    return w;
}

PayloadWords PtzPayload(std::uint16_t wPtzCommandInfo, std::uint32_t dwSpeedWord,
                        std::uint8_t byProtocol)
{
    PayloadWords w{};
    w[0] = WordByte(wPtzCommandInfo, 0);
    w[1] = WordByte(wPtzCommandInfo, 1);
    w[2] = dwSpeedWord;
    w[3] = byProtocol;
    return w;
}

PayloadWords AlertPayload(std::uint16_t wAlertRequest)
{
    PayloadWords w{};
    w[0] = WordByte(wAlertRequest, 1);
    w[1] = WordByte(wAlertRequest, 0);
    return w;
}

PayloadWords StopPayload()
{
    PayloadWords w{};
    w[0] = 1;
    return w;
}

std::array<std::uint8_t, LOGIN_PAYLOAD_SIZE> LoginPayload(std::string_view userId,
                                                          std::string_view password)
{
    std::array<std::uint8_t, LOGIN_PAYLOAD_SIZE> payload{};
    CopyText(payload.data() + LOGIN_USERID_OFFSET, userId, LOGIN_USERID_MAX);
    CopyText(payload.data() + LOGIN_PASSWORD_OFFSET, password, LOGIN_PASSWORD_MAX);
    return payload;
}

std::vector<std::uint8_t> BuildRequestWords(int kind, const VersionText &kept,
                                            const PayloadWords &words)
{
    if (!IsKnownRequestKind(kind) || kind == KIND_LOGIN)
        return {};
    PacketHeader header;
    std::memcpy(header.szVersion, kept.data(), PACKET_VERSION_SIZE);
    header.szVersion[PACKET_VERSION_SIZE - 1] = '\0';
    header.nPacketSize = RequestPacketSize(kind);
    header.nPacketType = RequestPacketType(kind);
    header.nCommand = RequestCommandCode(kind);

    std::vector<std::uint8_t> packet(REQUEST_PACKET_SIZE, 0);
    header.Serialise(packet.data());
    WritePayloadWords(words, packet.data() + PACKET_HEADER_SIZE);
    return packet;
}

std::vector<std::uint8_t> BuildRequest(int kind, const VersionText &kept,
                                       const RequestValues &values)
{
    switch (kind) {
    case KIND_LOGIN: {
        PacketHeader header;
        const VersionText login = MakeVersionText(PACKET_VERSION_10);
        std::memcpy(header.szVersion, login.data(), PACKET_VERSION_SIZE);
        header.nPacketSize = LOGIN_PACKET_SIZE;
        header.nPacketType = PACKET_TYPE_LOGIN;
        header.nCommand = COMMAND_LOGIN;
        std::vector<std::uint8_t> packet(LOGIN_PACKET_SIZE, 0);
        header.Serialise(packet.data());
        const auto payload = LoginPayload(values.userId, values.password);
        std::memcpy(packet.data() + PACKET_HEADER_SIZE, payload.data(), payload.size());
        return packet;
    }
    case KIND_LIVE:
        return BuildRequestWords(kind, kept, LivePayload(values.wRequestChannel));
    case KIND_RECORDER:
        return BuildRequestWords(kind, kept,
                                 RecorderPayload(values.bySelectedChannel, values.dwPlayWord1,
                                                 values.dwPlayWord2, values.dwPlayControl));
    case KIND_EVENT:
        return BuildRequestWords(kind, kept, EventPayload());
    case KIND_PTZ:
        return BuildRequestWords(
            kind, kept,
            PtzPayload(values.wPtzCommandInfo, values.dwPtzSpeedWord, values.byPtzProtocol));
    case KIND_ALERT:
        return BuildRequestWords(kind, kept, AlertPayload(values.wAlertRequest));
    case KIND_STOP:
        return BuildRequestWords(kind, kept, StopPayload());
    case KIND_START_TIME:
    case KIND_WATCHDOG:
        return BuildRequestWords(kind, kept, PayloadWords{});
    default:
        return {};
    }
}

// ---- replies
// -----------------------------------------------------------------------------------------

TimeRangeWords TimeRangeOf(const PayloadWords &words)
{
    TimeRangeWords range;
    range.a = words[2];
    range.b = words[3];
    range.c = words[4];
    range.d = words[5];
    return range;
}

LoginReply ParseLoginReply(const PayloadWords &words)
{
    LoginReply reply;
    reply.bAccepted = words[0] == 1;
    reply.nChannelInfo = WordByte(words[1], 0);
    reply.byFieldRowSelector = WordByte(words[1], 1);
    reply.nChannelNum = WordByte(words[1], 3);
    reply.bNoCheckJpeg = reply.nChannelInfo != 0 && reply.nChannelInfo != 4;
    reply.range = TimeRangeOf(words);
    return reply;
}

LiveReply ParseLiveReply(const PayloadWords &words)
{
    LiveReply reply;
    reply.dwWord1 = words[1];
    reply.dwWord2 = words[2];
    if (words[3] == 0)
        reply.nChannel = 0;
    else if (words[3] - 1 > 255)
        reply.nChannel = 255;
    else
        reply.nChannel = static_cast<std::uint8_t>(words[3] - 1);
    return reply;
}

bool IsStopConfirmed(const PayloadWords &words)
{
    return words[0] == 1;
}

RecorderReply ParseRecorderReply(const PayloadWords &words, std::uint8_t nVersionCode)
{
    RecorderReply reply;
    reply.bPicture = words[3] == 1;
    reply.byEndStatus = WordByte(words[3], 0);
    if (!reply.bPicture)
        return reply;
    if (nVersionCode == VERSION_CODE_10) {
        reply.nChannel = WordByte(words[0], 0);
        reply.bCalendarSeconds = true;
        reply.dwSeconds = words[1];
        return reply;
    }
    reply.nChannel = WordByte(words[0], 3);
    reply.dwDateWord = words[0];
    reply.dwTimeWord = words[1];
    reply.nYear = static_cast<int>((words[0] >> 8) & 0xFFFF);
    reply.nMonth = WordByte(words[0], 0);
    reply.nDay = WordByte(words[1], 3);
    reply.nHour = WordByte(words[1], 2);
    reply.nMinute = WordByte(words[1], 1);
    reply.nSecond = WordByte(words[1], 0);
    return reply;
}

AlertReply ParseAlertReply(const PayloadWords &words)
{
    AlertReply reply;
    reply.byChannel = WordByte(words[0], 0);
    reply.bValid = reply.byChannel >= 1 && reply.byChannel <= 4;
    reply.byMotion = WordByte(words[1], 1);
    reply.byVideoLoss = WordByte(words[1], 2);
    reply.byAlarm = WordByte(words[1], 3);
    reply.dwAlertWord = (words[1] & 0xFFFFFF00u) | reply.byChannel;
    return reply;
}

std::vector<std::uint8_t> BuildReply(std::string_view version, std::uint32_t nCommand,
                                     const PayloadWords &words, const std::uint8_t *data,
                                     std::size_t dataLen)
{
    if (data == nullptr)
        dataLen = 0;
    PacketHeader header;
    std::memcpy(header.szVersion, MakeVersionText(version).data(), PACKET_VERSION_SIZE);
    header.nPacketSize = static_cast<std::uint32_t>(PACKET_MIN_SIZE + dataLen);
    header.nPacketType = PACKET_TYPE_REQUEST;
    header.nCommand = nCommand;
    std::vector<std::uint8_t> packet(PACKET_MIN_SIZE + dataLen, 0);
    header.Serialise(packet.data());
    WritePayloadWords(words, packet.data() + PACKET_HEADER_SIZE);
    if (dataLen > 0)
        std::memcpy(packet.data() + PACKET_MIN_SIZE, data, dataLen);
    return packet;
}
