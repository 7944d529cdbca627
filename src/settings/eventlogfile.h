#pragma once
// CEventLogFile: the one owner of "AlarmEvent.am", the cached copy of the recorder's
// event list. The receive path writes each list it receives, the main view deletes
// the file on link loss and at exit, and the Event dialog reads it.
//
// The file is the list exactly as the recorder sent it: 10-byte records, no header,
// count or trailer. The name is relative, so the file lives in the process's current
// folder.
//
// Writing goes to a temporary file that is renamed over the old one, so a failed or
// interrupted write leaves the previous list as it was. Reading takes at most
// MAX_READ_BYTES, cuts the content into whole records (a trailing part is ignored),
// skips records with fields out of range and lists the rest in file order.

#include <QString>

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

// One record of the file, byte for byte.
struct EventRecord {
    uint8_t byChannel = 0; // 1-based; 0 is listed but cannot be played, above 4 is invalid
    uint8_t byEvents = 0;  // transition bits, 0 = no event (see EVENT_TEXTS)
    uint8_t byYear = 0;    // year - 1996
    uint8_t byMonth = 0;
    uint8_t byDay = 0;
    uint8_t byHour = 0;
    uint8_t byMinute = 0;
    uint8_t bySecond = 0;
    uint8_t byReserved[2] = {}; // not interpreted
};
static_assert(sizeof(EventRecord) == 10, "EventRecord is the 10-byte record of the file");

// Texts of the event bits, bit 7 first; each begins with one space.
inline constexpr const char *EVENT_TEXTS[8] = {
    " Normal Close",    " Normal Open",     " Alarm 0 -> 1",      " Alarm 1 -> 0",
    " no loss -> loss", " loss -> no loss", " NoEvent -> Motion", " Motion -> NoEvent"};

// One listed record with the texts of the Event dialog's three columns.
struct EventEntry {
    EventRecord record;
    int nYear = 1996;    // year in full: byYear + 1996
    QString szChannel;   // "CH%d"
    QString szAlarmType; // texts of the set bits, bit 7 first, or "No Event"
    QString szDateTime;  // "[ %04d/%02d/%02d ] %02d:%02d:%02d"
    // False for a record that is listed but must never be played: channel outside
    // 1..4, a date that names no real day (month or day 0, 31 April, 29 February of
    // a common year), or a year the packed time of a playback cannot carry (after
    // 2059). The row's packed time is MakeTimeCost(nYear, month, day, hour, minute,
    // second) of the protocol library.
    bool bPlayable = false;
};

class CEventLogFile {
  public:
    static constexpr const char *FILE_NAME = "AlarmEvent.am";
    static constexpr std::size_t RECORD_SIZE = sizeof(EventRecord);
    // Reading stops here: 100,000 records, more than any recorder keeps.
    static constexpr std::size_t MAX_READ_BYTES = 100000 * RECORD_SIZE;
    // The packed time keeps 6 bits of the year offset.
    static constexpr int MAX_PLAYABLE_YEAR_OFFSET = 63;

    // The bare name in the current folder unless a path is given.
    CEventLogFile() : m_szPath(QString::fromLatin1(FILE_NAME)) {}
    explicit CEventLogFile(QString path) : m_szPath(std::move(path)) {}
    // The list of recorder nRecorder (0-based) of the window: recorder 1's is
    // FILE_NAME, the others' "AlarmEvent2.am" ...; their rows name the channels by
    // their global numbers (channel 2 of recorder 2 is "CH6").
    static CEventLogFile OfRecorder(int nRecorder);

    const QString &Path() const { return m_szPath; }

    // Replaces the file with nLength bytes (0 gives an empty file). True only when
    // the new content is in place; on false the previous file is unchanged.
    bool Write(const uint8_t *pData, std::size_t nLength) const;
    // Removes the file; true when no file is left (also when there was none).
    bool Delete() const;
    bool Exists() const;

    // The listed records of the file; empty when it is missing or unreadable.
    // *pbCut (if given) tells whether the file was longer than MAX_READ_BYTES.
    std::vector<EventEntry> Read(bool *pbCut = nullptr) const;

    // The same for bytes in memory (no cap).
    static std::vector<EventEntry> ParseRecords(const uint8_t *pData, std::size_t nLength);
    // Field test: channel <= 4, year offset <= 100, month <= 12, day <= 31,
    // hour <= 24, minute <= 59, second <= 59 (zero fields pass).
    static bool IsListed(const EventRecord &record);
    // Listed, and safe to play (see EventEntry::bPlayable).
    static bool IsPlayable(const EventRecord &record);
    static QString AlarmTypeText(uint8_t byEvents);

  private:
    QString m_szPath;
    int m_nRecorder = 0; // whose list it is (0-based): rows name its cameras
};
