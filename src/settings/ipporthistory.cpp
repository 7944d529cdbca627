#include "settings/ipporthistory.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSet>

namespace {

const QByteArray kCrLf("\r\n");

// The file as lines without their line ends (LF or CR LF). The text after the
// last line end, if any, is a line too.
QList<QByteArray> SplitLines(const QByteArray &file)
{
    QList<QByteArray> lines = file.split('\n');
    if (!lines.isEmpty() && lines.constLast().isEmpty())
        lines.removeLast();
    for (QByteArray &line : lines)
        if (line.endsWith('\r'))
            line.chop(1);
    return lines;
}

QByteArray JoinLines(const QList<QByteArray> &lines)
{
    QByteArray out;
    for (const QByteArray &line : lines)
        out += line + kCrLf;
    return out;
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

// True for a section header; name gets the text between its "[" and the first "]".
bool HeaderName(const QByteArray &line, QString *name = nullptr)
{
    qsizetype i = 0;
    while (i < line.size() && IsBlank(line[i]))
        ++i;
    if (i >= line.size() || line[i] != '[')
        return false;
    if (name) {
        const qsizetype end = line.indexOf(']', i + 1);
        *name = QString::fromUtf8(line.mid(i + 1, end < 0 ? -1 : end - i - 1)).trimmed();
    }
    return true;
}

bool SameName(const QString &a, const QString &b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// True for a "key=value" line of the given key.
bool IsKeyLine(const QByteArray &line, const char *key, QString *value = nullptr)
{
    const qsizetype eq = line.indexOf('=');
    if (eq < 0)
        return false;
    // Keys are ASCII: compared as bytes, without making a string of every line.
    const QByteArrayView name = QByteArrayView(line.constData(), eq).trimmed();
    if (qstrnicmp(name.data(), name.size(), key) != 0)
        return false;
    if (value)
        *value = QString::fromUtf8(line.mid(eq + 1)).trimmed().left(iphistory::kMaxValueChars);
    return true;
}

// [first, end) line range of the first section of that name (first = its
// header), or first = -1.
struct SectionRange {
    qsizetype first = -1;
    qsizetype end = -1;
};

SectionRange FindSection(const QList<QByteArray> &lines, const QString &name, qsizetype from = 0)
{
    SectionRange range;
    QString found;
    for (qsizetype i = from; i < lines.size(); ++i) {
        if (!HeaderName(lines[i], &found))
            continue;
        if (range.first >= 0) {
            range.end = i;
            return range;
        }
        if (SameName(found, name))
            range.first = i;
    }
    if (range.first >= 0)
        range.end = lines.size();
    return range;
}

QString ValueIn(const QList<QByteArray> &lines, const SectionRange &range, const char *key)
{
    QString value;
    for (qsizetype i = range.first + 1; i < range.end; ++i)
        if (IsKeyLine(lines[i], key, &value))
            return value;
    return QString();
}

// A value as it can stand on one line.
QByteArray CleanValue(const QString &value)
{
    QString clean = value;
    clean.remove(QLatin1Char('\r')).remove(QLatin1Char('\n'));
    return clean.trimmed().toUtf8();
}

void SetValue(QList<QByteArray> &lines, SectionRange &range, const char *key, const QString &value)
{
    const QByteArray line = QByteArray(key) + '=' + CleanValue(value);
    for (qsizetype i = range.first + 1; i < range.end; ++i) {
        if (IsKeyLine(lines[i], key)) {
            lines[i] = line;
            return;
        }
    }
    // A new key goes after the section's last non-empty line.
    qsizetype at = range.end;
    while (at > range.first + 1 && lines[at - 1].trimmed().isEmpty())
        --at;
    lines.insert(at, line);
    ++range.end;
}

} // namespace

namespace iphistory {

QString CleanName(const QString &name)
{
    QString clean = name;
    clean.remove(QLatin1Char('\r')).remove(QLatin1Char('\n')).remove(QLatin1Char(']'));
    return clean.trimmed();
}

QList<HistoryEntry> ParseEntries(const QByteArray &file)
{
    const QList<QByteArray> lines = SplitLines(file);
    QList<HistoryEntry> entries;
    QSet<QString> seen;
    QString name;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (!HeaderName(lines[i], &name))
            continue;
        const QString key = name.toCaseFolded();
        if (seen.contains(key))
            continue; // a later section of the same name is never looked at
        seen.insert(key);
        const SectionRange range = FindSection(lines, name, i);
        entries.append({name, ValueIn(lines, range, "IP"), ValueIn(lines, range, "PORT")});
    }
    return entries;
}

QByteArray WithEntry(const QByteArray &file, const QString &name, const QString &ip,
                     const QString &port)
{
    const QString clean = CleanName(name);
    if (clean.isEmpty())
        return file;
    QList<QByteArray> lines = SplitLines(file);
    SectionRange range = FindSection(lines, clean);
    if (range.first < 0) {
        lines.append('[' + clean.toUtf8() + ']');
        range = {lines.size() - 1, lines.size()};
    }
    SetValue(lines, range, "IP", ip);
    SetValue(lines, range, "PORT", port);
    return JoinLines(lines);
}

QByteArray WithoutEntry(const QByteArray &file, const QString &name)
{
    const QList<QByteArray> lines = SplitLines(file);
    QList<QByteArray> kept;
    QString header;
    bool bDropping = false;
    for (const QByteArray &line : lines) {
        if (HeaderName(line, &header))
            bDropping = SameName(header, name);
        if (!bDropping)
            kept.append(line);
    }
    return kept.size() == lines.size() ? file : JoinLines(kept);
}

} // namespace iphistory

CIpPortHistory::CIpPortHistory(QString strPath) : m_strPath(std::move(strPath)) {}

HistoryEntry CIpPortHistory::DefaultEntry()
{
    return {QStringLiteral("INTRANET"), QStringLiteral("192.168.1.150"),
            QString::fromLatin1(HISTORY_DEFAULT_PORT)};
}

CIpPortHistory::ReadResult CIpPortHistory::ReadFile(QByteArray &bytes)
{
    bytes.clear();
    m_strError.clear();
    const QFileInfo info(m_strPath);
    if (!info.exists() && !info.isSymLink())
        return ReadResult::Missing;
    QFile file(m_strPath);
    if (info.isDir() || !file.open(QIODevice::ReadOnly)) {
        m_strError = info.isDir() ? QStringLiteral("it is a folder") : file.errorString();
        return ReadResult::Unreadable;
    }
    bytes = file.read(iphistory::kMaxFileBytes + 1);
    if (bytes.size() > iphistory::kMaxFileBytes) {
        bytes.clear();
        m_strError = QStringLiteral("it is larger than %1 bytes").arg(iphistory::kMaxFileBytes);
        return ReadResult::Unreadable;
    }
    if (file.error() != QFileDevice::NoError) {
        m_strError = file.errorString();
        return ReadResult::Unreadable;
    }
    return ReadResult::Ok;
}

bool CIpPortHistory::WriteFile(const QByteArray &bytes)
{
    const QString folder = QFileInfo(m_strPath).path();
    if (!QDir().mkpath(folder)) {
        m_strError = QStringLiteral("cannot create the folder %1").arg(folder);
        return false;
    }
    QSaveFile file(m_strPath);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        m_strError = file.errorString();
        return false;
    }
    return true;
}

CIpPortHistory::ReadResult CIpPortHistory::ReadEntries(QList<HistoryEntry> &entries)
{
    QByteArray bytes;
    const ReadResult result = ReadFile(bytes);
    entries = iphistory::ParseEntries(bytes);
    return result;
}

bool CIpPortHistory::StoreHistoryEntry(const QString &name, const QString &ip, const QString &port)
{
    QByteArray bytes;
    if (ReadFile(bytes) == ReadResult::Unreadable)
        return false;
    const QByteArray updated = iphistory::WithEntry(bytes, name, ip, port);
    if (iphistory::CleanName(name).isEmpty()) {
        m_strError = QStringLiteral("the name is empty");
        return false;
    }
    return WriteFile(updated);
}

bool CIpPortHistory::DeleteEntry(const QString &name)
{
    QByteArray bytes;
    switch (ReadFile(bytes)) {
    case ReadResult::Missing:
        return true;
    case ReadResult::Unreadable:
        return false;
    case ReadResult::Ok:
        break;
    }
    const QByteArray updated = iphistory::WithoutEntry(bytes, name);
    return updated == bytes || WriteFile(updated);
}
