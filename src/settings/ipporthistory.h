#pragma once
// The IP/port history: the recorders the operator has used, each under a name,
// kept in the text file "ini/cnn.ini" relative to the current folder.
//
// File layout (profile-file form, CR LF line ends), three lines per entry:
//   [name]
//   IP=<dotted quad>
//   PORT=<decimal port>
// Entries stay in the order they were first written; storing an existing name
// (matched without regard to letter case) replaces its two values in place, and
// every other line is kept byte for byte. A general settings class cannot keep
// that layout (it sorts, escapes and rewrites), hence this small reader/writer.
//
// The text functions (ParseEntries, WithEntry, WithoutEntry) work on the file's
// bytes and touch no disk; CIpPortHistory puts them on the file. Rewrites replace
// the file atomically, and a file that exists but cannot be read is never
// rewritten.

#include <QByteArray>
#include <QList>
#include <QString>

struct HistoryEntry {
    QString strName;
    QString strIp;
    QString strPort;
    bool operator==(const HistoryEntry &other) const
    {
        return strName == other.strName && strIp == other.strIp && strPort == other.strPort;
    }
};

inline constexpr char HISTORY_FILE_PATH[] = "ini/cnn.ini";
inline constexpr char HISTORY_DEFAULT_PORT[] = "8000";

namespace iphistory {

// Values are read with at most this many characters.
inline constexpr int kMaxValueChars = 127;
// A larger file is refused as a whole rather than read in part.
inline constexpr qint64 kMaxFileBytes = 1 << 20;

// One row per distinct section name, in file order, with the first such
// section's "IP" and "PORT" values (empty when missing). A header is a line
// whose first non-blank character is "["; its name runs to the first "]".
QList<HistoryEntry> ParseEntries(const QByteArray &file);

// The file with the entry written: the values of the first section of that name
// replaced in place (a missing key is added at the end of its section), or a new
// section appended. The name is cleaned with CleanName first; an empty clean
// name leaves the file as it is.
QByteArray WithEntry(const QByteArray &file, const QString &name, const QString &ip,
                     const QString &port);

// The file without any section of that name: each such header and its lines up
// to the next header are dropped; all other lines stay as they are.
QByteArray WithoutEntry(const QByteArray &file, const QString &name);

// A name as it can stand between "[" and "]": CR, LF and "]" removed, blanks
// around it trimmed.
QString CleanName(const QString &name);

} // namespace iphistory

class CIpPortHistory {
  public:
    enum class ReadResult { Ok, Missing, Unreadable };

    explicit CIpPortHistory(QString strPath = QString::fromLatin1(HISTORY_FILE_PATH));

    const QString &Path() const { return m_strPath; }

    // Reads all entries. Missing: there is no such file; Unreadable: it exists but
    // cannot be read (or is larger than kMaxFileBytes). LastError() says why.
    ReadResult ReadEntries(QList<HistoryEntry> &entries);

    // Writes the entry, creating the folder and the file when they are missing.
    // False (and nothing written) when the file cannot be read or written.
    bool StoreHistoryEntry(const QString &name, const QString &ip, const QString &port);

    // Removes the entry of that name. False when the file cannot be read or
    // written; a missing file changes nothing.
    bool DeleteEntry(const QString &name);

    // The file's INTRANET entry, written when the history is first opened.
    static HistoryEntry DefaultEntry();

    QString LastError() const { return m_strError; }

  private:
    ReadResult ReadFile(QByteArray &bytes);
    bool WriteFile(const QByteArray &bytes);

    QString m_strPath;
    QString m_strError;
};
