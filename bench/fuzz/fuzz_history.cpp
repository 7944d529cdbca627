// Fuzzes the IP/port history file reader with the input as the file, and checks
// that storing and deleting an entry change that entry alone.

#include "settings/ipporthistory.h"

#include <QByteArray>
#include <QList>
#include <QSet>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

void Check(bool bOk)
{
    if (!bOk)
        std::abort();
}

bool SameName(const QString &a, const QString &b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray file(reinterpret_cast<const char *>(data), qsizetype(size));
    const QList<HistoryEntry> entries = iphistory::ParseEntries(file);
    QSet<QString> names;
    for (const HistoryEntry &entry : entries) {
        Check(entry.strIp.size() <= iphistory::kMaxValueChars &&
              entry.strPort.size() <= iphistory::kMaxValueChars);
        names.insert(entry.strName.toCaseFolded());
    }
    Check(names.size() == entries.size());
    // No line can hold a name with a line feed: deleting one changes nothing.
    Check(iphistory::ParseEntries(iphistory::WithoutEntry(file, QStringLiteral("\n"))) == entries);
    if (entries.isEmpty())
        return 0;

    // Delete the first entry: the others stay, in order, with their values.
    const QString victim = entries.constFirst().strName;
    Check(iphistory::ParseEntries(iphistory::WithoutEntry(file, victim)) == entries.mid(1));

    // Store under the last entry's name: its values change, nothing else does.
    const QString name = iphistory::CleanName(entries.constLast().strName);
    const QByteArray stored =
        iphistory::WithEntry(file, name, QStringLiteral(" 127.1.2.3"), QStringLiteral("8123\r\n"));
    if (name.isEmpty()) {
        Check(stored == file);
        return 0;
    }
    QList<HistoryEntry> expected = entries;
    bool bFound = false;
    for (HistoryEntry &entry : expected) {
        if (SameName(entry.strName, name)) {
            entry.strIp = QStringLiteral("127.1.2.3");
            entry.strPort = QStringLiteral("8123");
            bFound = true;
        }
    }
    if (!bFound)
        expected.append({name, QStringLiteral("127.1.2.3"), QStringLiteral("8123")});
    Check(iphistory::ParseEntries(stored) == expected);
    return 0;
}
