#pragma once
// The settings record of the client: every user setting the program keeps between
// runs. The main view owns one record, loads it once when it is first shown and
// saves it only when the operator leaves through the Exit button; everything else
// reads and changes the fields directly.
//
// Storage: QSettings, organisation "Telvane", application "Telvane4", group
// "Setting" (the registry under HKCU\Software\Telvane\Telvane4\Setting on Windows,
// $XDG_CONFIG_HOME/Telvane/Telvane4.conf on Linux). Texts are stored as strings,
// numbers as 32-bit integers.
//
// Recorders: recorder 1's link keys are part of "Setting"; recorders 2-4 keep theirs
// in the groups "Setting2".."Setting4", with the same key names and encodings, so a
// site can be set up by copying a settings file. Everything else stays in "Setting".
// A group with no (or an empty) "Host IPAddress" is no recorder. A group whose port
// lies outside 1-65535, whose address is no dotted quad, or whose address and port
// are those of a recorder before it is left out with a fault text, and kept in the
// store as it is until the operator sets that recorder anew.
//
// Text fields are fixed-size, zero-terminated UTF-8; a text longer than its field
// is cut to the field's width less one, at a character boundary.

#include "settings/tileplacement.h"

#include <QString>

#include <array>
#include <cstddef>
#include <cstdint>

// The built-in password used when none is stored; the login request falls back
// to it as well.
inline constexpr char DEFAULT_PASSWORD[] = "1";

inline constexpr char DEFAULT_USER_ID[] = "admin";
inline constexpr char DEFAULT_HOST_IP[] = "192.168.1.150";
inline constexpr int32_t DEFAULT_HOST_PORT = 8000;
inline constexpr char DEFAULT_IP_LABEL[] = "INTRANET";

// Where the store lives (QSettings names) and its one section.
inline constexpr char SETTINGS_ORGANIZATION[] = "Telvane";
inline constexpr char SETTINGS_APPLICATION[] = "Telvane4";
inline constexpr char SETTINGS_SECTION[] = "Setting";

// "Record Format": what a recording's files hold. Stored as "RAW" or "MJPEG"; any
// other stored value reads as RAW.
inline constexpr uint8_t RECORD_FORMAT_RAW = 0; // uncompressed rows
inline constexpr uint8_t RECORD_FORMAT_MJPEG = 1;

// "Reconnect Count" of a link that is never given up.
inline constexpr uint8_t RECONNECT_ALWAYS = 6;

// "Save Password": where the recorders' passwords are kept between runs. Stored as
// "KEYRING", "FILE" or "NEVER"; a missing or unknown value reads as KEYRING, which
// works as FILE where no keyring answers (see keyring/passwordkeeper.h).
inline constexpr uint8_t SAVE_PASSWORD_KEYRING = 0; // the desktop keyring
inline constexpr uint8_t SAVE_PASSWORD_FILE = 1;    // "User PSeed", in clear
inline constexpr uint8_t SAVE_PASSWORD_NEVER = 2;   // asked at Connect, kept for the run

inline constexpr int MAX_RECORDERS = 4;
inline constexpr int CHANNELS_PER_RECORDER = 4;
static_assert(TilePlacement::kMaxTiles == MAX_RECORDERS * CHANNELS_PER_RECORDER);

// One recorder's link keys; recorder 1's live in group "Setting", recorders 2-4 in
// "Setting2".."Setting4", with the same key names and encodings.
struct RecorderLink {
    char m_szUserID[64];   // "User ISeed"
    char m_szPassword[32]; // "User PSeed"
    char m_szHostIP[32];   // "Host IPAddress"; empty = no recorder
    int32_t m_nHostPort;   // "Host Port"
    char m_szIpLabel[64];  // "Ip Label"
    uint8_t m_byPtzType;   // "Ptz Type"
};

struct ClientSettings {
    char m_szUserID[64];        // "User ISeed"
    char m_szPassword[32];      // "User PSeed"
    char m_szHostIP[32];        // "Host IPAddress", dotted quad
    char m_szRecordPath[260];   // "Record Path" (written, never read back)
    int32_t m_nHostPort;        // "Host Port"
    uint8_t m_byRotateInterval; // "Rotate Interval", seconds: 1, 2, 3, 4, 5 or 10
    uint8_t m_byReconnectCount; // "Reconnect Count", 1 to 5, or RECONNECT_ALWAYS
    uint8_t m_byRequestSpeed;   // "Request Speed", scan-rate step 1 to 7 (rate 2^(s-1))
    uint8_t m_byPtzType;        // "Ptz Type", 0 to 5
    int32_t m_bUseFullScreen;   // "Use FullScreen", 0/1
    int32_t m_bUseAlertMode;    // "Use AlertMode", 0/1 ("Receive Events")
    uint8_t m_byRecordDuration; // "Record Duration", step 1 to 13
    char m_szIpLabel[64];       // "Ip Label"
    int32_t m_bDisplayPbTime;   // "Display PbTime", 0/1
    uint8_t m_byRecordFormat;   // "Record Format", RECORD_FORMAT_RAW or RECORD_FORMAT_MJPEG
    uint8_t m_bySavePassword;   // "Save Password", SAVE_PASSWORD_KEYRING, _FILE or _NEVER
    TilePlacement m_tilePlacement; // "Tile Placement"

    RecorderLink m_aExtraRecorders[MAX_RECORDERS - 1]; // recorders 2..4
    char m_aszRecorderFault[MAX_RECORDERS - 1][128]; // why a stored group was left out; "" if none

    // Fills every field with its default. Touches neither the store nor the disk;
    // the record path is the default record folder.
    ClientSettings();

    // Fills every field from the store, defaults for what is missing, and creates
    // the record folder (the Backup folder, see DefaultRecordPath). Never writes
    // the store; the stored "Record Path" is ignored.
    void LoadSettings();

    // Writes every field to the store and flushes it: the groups of configured
    // recorders 2-4 are written, those of removed ones deleted, and a group left out
    // at load (its fault text still set) is kept as it was. Returns 1 when the store
    // accepted the values, 0 otherwise. The first form writes each recorder's
    // password into "User PSeed" (FILE); the second writes what it is given there,
    // per recorder (0-based): empty for a password kept in the keyring or never kept.
    int SaveSettings() const;
    int SaveSettings(const std::array<QString, MAX_RECORDERS> &aStoredPasswords) const;

    // "Backup" in the program's data places (beside the executable, or in the
    // user's data folder for an installed copy; see dataplaces.h), in native
    // separators.
    static QString DefaultRecordPath();
};

// Recorder nRecorder's link keys (0-based: 0 = recorder 1, built from the "Setting"
// fields). Setting recorder 2-4 clears its fault text; an empty address removes it.
RecorderLink RecorderLinkOf(const ClientSettings &s, int nRecorder);
void SetRecorderLink(ClientSettings &s, int nRecorder, const RecorderLink &link);
bool IsRecorderConfigured(const ClientSettings &s, int nRecorder); // recorder 1 always

// Copies text into a fixed-size field: at most width - 1 bytes of its UTF-8 form,
// cut at a character boundary, always zero-terminated.
void SetFieldText(char *field, std::size_t width, const QString &text);
void SetFieldText(char *field, std::size_t width, const QByteArray &utf8);

template <std::size_t N> inline void SetFieldText(char (&field)[N], const QString &text)
{
    SetFieldText(field, N, text);
}

// A dotted quad of four decimal numbers 0-255, rewritten without leading zeros (the
// socket layer would read "010" as octal); empty when the text is none.
QString DottedQuad(const QString &text);

// Reads a fixed-size field as text (stops at the terminator or the field's end).
QString FieldText(const char *field, std::size_t width);

template <std::size_t N> inline QString FieldText(const char (&field)[N])
{
    return FieldText(field, N);
}
