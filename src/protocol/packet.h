#pragma once

// Packet codec of the recorder link: the 28-byte header, the command and reply
// codes, the request kinds, the exact bytes of every request, the small replies
// and the version text rule. Pure functions on bytes; no I/O here.
//
// Wire format: every packet is a 28-byte PacketHeader and a payload. Requests carry
// a 32-byte payload (272 bytes for the login). Replies carry a 32-byte payload and,
// for pictures and the event list, a data block behind it. Every integer is an
// unsigned 32-bit little-endian word; a 32-byte payload is eight such words.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// ---- sizes -------------------------------------------------------------------------

constexpr std::size_t PACKET_VERSION_SIZE = 16; // szVersion
constexpr std::size_t PACKET_HEADER_SIZE = 28;  // PacketHeader
constexpr std::size_t PACKET_PAYLOAD_SIZE = 32; // eight words
constexpr std::size_t PACKET_MIN_SIZE = 60;     // header + payload
constexpr std::size_t LOGIN_PAYLOAD_SIZE = 272; // user ID + password slots
constexpr std::size_t LOGIN_PACKET_SIZE = 300;  // header + login payload
constexpr std::size_t REQUEST_PACKET_SIZE = 60; // every other request
constexpr std::size_t LOGIN_USERID_OFFSET = 0;  // 128-byte slot
constexpr std::size_t LOGIN_USERID_SLOT = 128;
constexpr std::size_t LOGIN_PASSWORD_OFFSET = 128; // 144-byte slot
constexpr std::size_t LOGIN_PASSWORD_SLOT = 144;
constexpr std::size_t LOGIN_USERID_MAX = 63;   // longest user ID sent (settings field size - 1)
constexpr std::size_t LOGIN_PASSWORD_MAX = 31; // longest password sent (settings field size - 1)

// Login values used when the client has no main view to take them from.
constexpr const char *LOGIN_DEFAULT_USERID = "Admin";
constexpr const char *LOGIN_DEFAULT_PASSWORD = "1";

// Version texts.
constexpr const char *PACKET_VERSION_10 = "DVR PACKET1.0"; // always sent by the login
constexpr const char *PACKET_VERSION_12 = "DVR PACKET1.2";
constexpr const char *PACKET_MAGIC = "DVR PACKET"; // marks a read that starts a packet

// Packet types (nPacketType).
constexpr std::uint32_t PACKET_TYPE_REQUEST = 1;
constexpr std::uint32_t PACKET_TYPE_LOGIN = 2;
constexpr std::uint32_t PACKET_TYPE_MAX = 3; // received packets are valid with 1..3

// ---- command and reply codes (a reply code is its request's code + 1) ---------------

constexpr std::uint32_t COMMAND_LOGIN = 0x1001;
constexpr std::uint32_t COMMAND_R_LOGIN = 0x1002;
constexpr std::uint32_t COMMAND_LIVE = 0x1011;
constexpr std::uint32_t COMMAND_R_LIVE = 0x1012;
constexpr std::uint32_t COMMAND_STOP = 0x1013;
constexpr std::uint32_t COMMAND_R_STOP = 0x1014;
constexpr std::uint32_t COMMAND_RECORDER = 0x1015;
constexpr std::uint32_t COMMAND_R_RECORDER = 0x1016;
constexpr std::uint32_t COMMAND_PTZ = 0x1031;
constexpr std::uint32_t COMMAND_ALERT = 0x1035;
constexpr std::uint32_t COMMAND_R_ALERT = 0x1036;
constexpr std::uint32_t COMMAND_EVENT = 0x1041;
constexpr std::uint32_t COMMAND_R_EVENT = 0x1042;
constexpr std::uint32_t COMMAND_START_TIME = 0x1061;
constexpr std::uint32_t COMMAND_R_START_TIME = 0x1062;
constexpr std::uint32_t COMMAND_WATCHDOG = 0x2000;

// Request kinds the client uses internally (its "current kind" bookkeeping).
enum RequestKind : std::uint8_t {
    KIND_NONE = 0,
    KIND_LOGIN = 1,
    KIND_LIVE = 2,
    KIND_RECORDER = 3,
    KIND_EVENT = 4,
    KIND_PTZ = 5,
    KIND_ALERT = 6,
    KIND_STOP = 8,
    KIND_START_TIME = 9,
    KIND_WATCHDOG = 100,
};

// True for the kinds of the request table (1..6, 8, 9, 100).
bool IsKnownRequestKind(int kind);
// Command code, nPacketSize and nPacketType of a kind; 0 for an unknown kind.
std::uint32_t RequestCommandCode(int kind);
std::uint32_t RequestPacketSize(int kind);
std::uint32_t RequestPacketType(int kind);

// ---- protocol version ---------------------------------------------------------------

// Version code m_nVerifyVersionInfo: 1 = "DVR PACKET1.0", 2 = "DVR PACKET1.2",
// 3 = any other text. 2 until a login reply arrives.
constexpr std::uint8_t VERSION_CODE_10 = 1;
constexpr std::uint8_t VERSION_CODE_12 = 2;
constexpr std::uint8_t VERSION_CODE_OTHER = 3;
constexpr std::uint8_t VERSION_CODE_INITIAL = VERSION_CODE_12;

// The 16-byte version text kept from the login reply and echoed in requests.
// Normalised: at most 15 characters, the rest zero. Empty (all zero) before a login reply.
using VersionText = std::array<char, PACKET_VERSION_SIZE>;

// Keeps the first 16 bytes of a reply header: the text up to its first zero byte,
// at most 15 characters, zero-padded.
VersionText KeepVersionText(const char *szVersion16);
VersionText MakeVersionText(std::string_view text);
// The text up to the first zero byte (at most 16 characters).
std::string VersionTextString(const char *szVersion16);
// m_nVerifyVersionInfo for a reply's szVersion (case-insensitive).
std::uint8_t VersionCodeOf(const char *szVersion16);

// ---- little-endian words and payloads -----------------------------------------------

std::uint32_t ReadLE32(const std::uint8_t *p);
void WriteLE32(std::uint8_t *p, std::uint32_t v);

using PayloadWords = std::array<std::uint32_t, 8>;

PayloadWords ReadPayloadWords(const std::uint8_t *payload32);
void WritePayloadWords(const PayloadWords &words, std::uint8_t *payload32);

// Byte n (0 = least significant) of a word.
constexpr std::uint8_t WordByte(std::uint32_t word, int n)
{
    return static_cast<std::uint8_t>(word >> (8 * n));
}

// ---- header ---------------------------------------------------------------------------

struct PacketHeader {
    char szVersion[PACKET_VERSION_SIZE] = {};
    std::uint32_t nPacketSize = 0;
    std::uint32_t nPacketType = 0;
    std::uint32_t nCommand = 0;

    // Writes the 28 wire bytes.
    void Serialise(std::uint8_t *out28) const;
    std::array<std::uint8_t, PACKET_HEADER_SIZE> ToBytes() const;
    // Reads 28 bytes; false (header untouched) when fewer are given.
    bool Parse(const std::uint8_t *data, std::size_t len);

    // A received packet is valid only with nPacketType 1..3.
    bool IsValidType() const { return nPacketType >= 1 && nPacketType <= PACKET_TYPE_MAX; }
    // Length of the data block behind the 32-byte payload (0 when nPacketSize <= 60).
    std::uint32_t DataBlockLength() const;
};

// True when the start of a read begins a packet: its first 28 bytes (fewer if the
// read is shorter), taken as text up to the first zero byte, contain "DVR PACKET".
bool StartsPacket(const std::uint8_t *data, std::size_t len);

// Header and payload of a received packet; false when fewer than 60 bytes are given.
bool ParsePacket(const std::uint8_t *data, std::size_t len, PacketHeader &header,
                 PayloadWords &words);

// ---- requests ---------------------------------------------------------------------------

// Values a request takes from the client's state; each kind reads its own fields.
struct RequestValues {
    // Login (kind 1): the settings m_szUserID / m_szPassword; longer texts are cut
    // to 63 / 31 characters so both keep their terminating zero.
    std::string userId = LOGIN_DEFAULT_USERID;
    std::string password = LOGIN_DEFAULT_PASSWORD;
    // Live (kind 2): the view's m_wRequestChannel; 0x0100 without a view.
    std::uint16_t wRequestChannel = 0x0100;
    // Playback (kind 3): the archive dialog's selected channel index (255 = none),
    // words 1 and 2 (start, end or DateWord, TimeWord) and the PlayControlWord.
    std::uint8_t bySelectedChannel = 255;
    std::uint32_t dwPlayWord1 = 0;
    std::uint32_t dwPlayWord2 = 0;
    std::uint32_t dwPlayControl = 0;
    // PTZ (kind 5): m_wPtzCommandInfo (low byte axis, high byte direction),
    // word 2 (panel speed + 1) and the camera protocol code.
    std::uint16_t wPtzCommandInfo = 0;
    std::uint32_t dwPtzSpeedWord = 0;
    std::uint8_t byPtzProtocol = 0;
    // Alert (kind 6): high byte -> word 0, low byte -> word 1 (0x0501 on, 0x0500 off).
    std::uint16_t wAlertRequest = 0x0501;
};

// Payload words of the 60-byte requests.
PayloadWords LivePayload(std::uint16_t wRequestChannel);
PayloadWords RecorderPayload(std::uint8_t bySelectedChannel, std::uint32_t dwWord1,
                             std::uint32_t dwWord2, std::uint32_t dwPlayControl);
PayloadWords EventPayload();
PayloadWords PtzPayload(std::uint16_t wPtzCommandInfo, std::uint32_t dwSpeedWord,
                        std::uint8_t byProtocol);
PayloadWords AlertPayload(std::uint16_t wAlertRequest);
PayloadWords StopPayload();

// The 272-byte login payload.
std::array<std::uint8_t, LOGIN_PAYLOAD_SIZE> LoginPayload(std::string_view userId,
                                                          std::string_view password);

// Exact bytes of one request: 300 for the login (always "DVR PACKET1.0"), 60 for the
// others (szVersion = the kept version text). Empty for a kind outside the table.
std::vector<std::uint8_t> BuildRequest(int kind, const VersionText &kept,
                                       const RequestValues &values);
// A 60-byte request with the given payload words.
std::vector<std::uint8_t> BuildRequestWords(int kind, const VersionText &kept,
                                            const PayloadWords &words);

// ---- PlayControlWord ----------------------------------------------------------------------

constexpr std::uint8_t PLAY_STATE_STOP = 0;   // pause or stop
constexpr std::uint8_t PLAY_STATE_START = 1;  // start playing
constexpr std::uint8_t PLAY_STATE_CHANGE = 2; // change while playing

// bits 8-15 play state, bits 16-23 speed, bit 24 reverse.
constexpr std::uint32_t MakePlayControlWord(std::uint8_t byPlayState, std::uint8_t bySpeed,
                                            bool bReverse)
{
    return static_cast<std::uint32_t>(byPlayState) << 8 |
           static_cast<std::uint32_t>(bySpeed) << 16 | (bReverse ? 1u << 24 : 0u);
}
constexpr std::uint8_t PlayStateOf(std::uint32_t dwPlayControl)
{
    return WordByte(dwPlayControl, 1);
}
constexpr std::uint8_t PlaySpeedOf(std::uint32_t dwPlayControl)
{
    return WordByte(dwPlayControl, 2);
}
constexpr bool PlayReverseOf(std::uint32_t dwPlayControl)
{
    return (dwPlayControl >> 24 & 1u) != 0;
}

// ---- replies ----------------------------------------------------------------------------------

// Recording time range: words 2..5 of COMMAND_R_LOGIN and COMMAND_R_START_TIME.
// Version code 1: a = start, b = end in calendar seconds. Codes 2, 3: (a, b) start
// DateWord/TimeWord, (c, d) end DateWord/TimeWord.
struct TimeRangeWords {
    std::uint32_t a = 0, b = 0, c = 0, d = 0;
};
TimeRangeWords TimeRangeOf(const PayloadWords &words);

struct LoginReply {
    bool bAccepted = false;              // word 0 == 1
    std::uint8_t nChannelInfo = 0;       // byte 0 of word 1
    std::uint8_t byFieldRowSelector = 0; // byte 1 of word 1 (0: index test on row 2, else row 3)
    std::uint8_t nChannelNum = 0;        // byte 3 of word 1, not interpreted
    bool bNoCheckJpeg = false;           // nChannelInfo neither 0 nor 4
    TimeRangeWords range;
};
LoginReply ParseLoginReply(const PayloadWords &words);

struct LiveReply {
    std::uint32_t dwWord1 = 0, dwWord2 = 0; // kept, not interpreted
    // 0-based channel index: word 3 - 1, 0 when word 3 is 0; 255 when word 3 is
    // beyond 256 (never wraps onto a real channel).
    std::uint8_t nChannel = 0;
};
LiveReply ParseLiveReply(const PayloadWords &words);

// COMMAND_R_STOP: word 0 == 1.
bool IsStopConfirmed(const PayloadWords &words);

// End-of-playback status codes (low byte of word 3 of COMMAND_R_RECORDER).
constexpr std::uint8_t PLAY_END_ERROR = 0;
constexpr std::uint8_t PLAY_END_NO_PICTURE = 2;
constexpr std::uint8_t PLAY_END_END_OF_RECORDING = 3;
constexpr std::uint8_t PLAY_END_INVALID_DATE = 4;

struct RecorderReply {
    bool bPicture = false;        // word 3 == 1
    std::uint8_t byEndStatus = 0; // low byte of word 3 when no picture follows
    std::uint8_t nChannel = 0;    // code 1: byte 0 of word 0; codes 2, 3: word 0 >> 24
    // Picture time. Code 1: bCalendarSeconds with dwSeconds = word 1. Codes 2, 3:
    // dwDateWord = word 0 (channel << 24 | year << 8 | month), dwTimeWord = word 1
    // (day << 24 | hour << 16 | minute << 8 | second), decoded into the fields below.
    bool bCalendarSeconds = false;
    std::uint32_t dwSeconds = 0;
    std::uint32_t dwDateWord = 0, dwTimeWord = 0;
    int nYear = 0, nMonth = 0, nDay = 0, nHour = 0, nMinute = 0, nSecond = 0;
};
RecorderReply ParseRecorderReply(const PayloadWords &words, std::uint8_t nVersionCode);

struct AlertReply {
    bool bValid = false;          // channel byte 1..4; other values change nothing
    std::uint8_t byChannel = 0;   // byte 0 of word 0
    std::uint8_t byMotion = 0;    // byte 1 of word 1
    std::uint8_t byVideoLoss = 0; // byte 2 of word 1
    std::uint8_t byAlarm = 0;     // byte 3 of word 1
    // The client's "last alert word": channel in bits 0-7, word 1 bits 8-31 above it.
    std::uint32_t dwAlertWord = 0;
};
AlertReply ParseAlertReply(const PayloadWords &words);

// ---- building replies (for the recorder simulator and tests) ----------------------------------

// A reply packet: header with the given version text and code, the payload words and
// the data block; nPacketSize = 60 + data length, nPacketType 1.
std::vector<std::uint8_t> BuildReply(std::string_view version, std::uint32_t nCommand,
                                     const PayloadWords &words, const std::uint8_t *data = nullptr,
                                     std::size_t dataLen = 0);
