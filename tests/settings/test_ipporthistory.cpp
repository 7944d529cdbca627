#include "settings/ipporthistory.h"
#include "support/testsupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

namespace {

const char kPath[] = "ini/cnn.ini";

QByteArray FileBytes()
{
    QFile file(QString::fromLatin1(kPath));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void WriteFileBytes(const QByteArray &bytes)
{
    QDir().mkpath(QStringLiteral("ini"));
    QFile file(QString::fromLatin1(kPath));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

QByteArray Entry(const QByteArray &name, const QByteArray &ip, const QByteArray &port)
{
    return "[" + name + "]\r\nIP=" + ip + "\r\nPORT=" + port + "\r\n";
}

} // namespace

TEST(IpPortHistory, FirstEntryCreatesFolderAndFile)
{
    testsupport::ScopedCurrentDir cwd;
    ASSERT_TRUE(cwd.isValid());
    CIpPortHistory history;
    QList<HistoryEntry> entries;
    EXPECT_EQ(history.ReadEntries(entries), CIpPortHistory::ReadResult::Missing);
    const HistoryEntry def = CIpPortHistory::DefaultEntry();
    ASSERT_TRUE(history.StoreHistoryEntry(def.strName, def.strIp, def.strPort));
    EXPECT_EQ(FileBytes(), QByteArray("[INTRANET]\r\nIP=192.168.1.150\r\nPORT=8000\r\n"));
    EXPECT_EQ(history.ReadEntries(entries), CIpPortHistory::ReadResult::Ok);
    EXPECT_EQ(entries, QList<HistoryEntry>{def});
}

// Each row: the file before, one store or delete, the file after, byte for byte.
TEST(IpPortHistory, StoreAndDeleteRewriteOnlyTheirEntry)
{
    const QByteArray a = Entry("INTRANET", "127.0.0.6", "8000");
    const QByteArray b = Entry("Shop", "127.0.0.7", "9000");
    struct Row {
        const char *what;
        QByteArray before;
        bool bDelete;
        const char *name, *ip, *port;
        QByteArray after;
    } rows[] = {
        {"new name goes last", a, false, "Shop", "127.0.0.7", "9000", a + b},
        {"same name (any case) replaced in place", a + b, false, "intranet", "127.0.0.1", "1234",
         Entry("INTRANET", "127.0.0.1", "1234") + b},
        {"missing key added to its section", "[Shop]\r\nIP=127.2.3.4\r\n\r\n" + a, false, "SHOP",
         "127.2.3.4", "81", "[Shop]\r\nIP=127.2.3.4\r\nPORT=81\r\n\r\n" + a},
        {"CR, LF and ] cannot make a section", a, false, "Ba]d\r\n[x", "127.1.1.1", "1",
         a + Entry("Bad[x", "127.1.1.1", "1")},
        {"delete the first of two", a + b, true, "INTRANET", nullptr, nullptr, b},
        {"delete matches any case", a + b, true, "shop", nullptr, nullptr, a},
        {"delete a short entry keeps the next one whole", "[Shop]\r\nIP=127.2.3.4\r\n" + a, true,
         "Shop", nullptr, nullptr, a},
        {"delete takes the entry's extra lines up to the next header", a + "; note\r\nX=1\r\n" + b,
         true, "INTRANET", nullptr, nullptr, b},
        {"delete of a name only contained in a value", a + "[Sh]\r\nIP=[Shop]\r\nPORT=1\r\n" + b,
         true, "Shop", nullptr, nullptr, a + "[Sh]\r\nIP=[Shop]\r\nPORT=1\r\n"},
        {"delete of an unknown name", a + b, true, "Nowhere", nullptr, nullptr, a + b},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        testsupport::ScopedCurrentDir cwd;
        WriteFileBytes(row.before);
        CIpPortHistory history;
        const QString name = QString::fromLatin1(row.name);
        ASSERT_TRUE(row.bDelete ? history.DeleteEntry(name)
                                : history.StoreHistoryEntry(name, QString::fromLatin1(row.ip),
                                                            QString::fromLatin1(row.port)));
        EXPECT_EQ(FileBytes(), row.after);
        CIpPortHistory blank; // a name of blanks and brackets alone is refused, and said so
        EXPECT_FALSE(blank.StoreHistoryEntry(" ]\r\n ", "127.0.0.1", "1"));
        EXPECT_EQ(blank.LastError(), "the name is empty");
    }
}

TEST(IpPortHistory, ReadsOneRowPerNameWithItsFirstValues)
{
    const QByteArray file = "junk before any section\n"
                            "[A]\nIP = 127.2.3.4 \nport=77\n"
                            "  [b]  \r\nPORT=5\r\n"
                            "[a]\r\nIP=127.9.9.9\r\nPORT=9\r\n"
                            "[C]\r\nIP=" +
                            QByteArray(200, '7') + "\r\n[";
    const QList<HistoryEntry> expected = {{"A", "127.2.3.4", "77"},
                                          {"b", "", "5"},
                                          {"C", QString(iphistory::kMaxValueChars, '7'), ""},
                                          {"", "", ""}};
    EXPECT_EQ(iphistory::ParseEntries(file), expected);
}

// A history far beyond 4 KiB, with lines far beyond 383 characters: deleting one
// entry keeps every other entry byte for byte.
TEST(IpPortHistory, DeleteInALargeHistoryKeepsEveryOtherEntry)
{
    testsupport::ScopedCurrentDir cwd;
    CIpPortHistory history;
    QByteArray expected;
    for (int i = 0; i < 120; ++i) {
        const QByteArray name = "recorder-" + QByteArray::number(i) + QByteArray(i * 5, 'x');
        const QByteArray ip = "10.0." + QByteArray::number(i / 200) + "." + QByteArray::number(i);
        ASSERT_TRUE(history.StoreHistoryEntry(QString::fromLatin1(name), QString::fromLatin1(ip),
                                              QString::number(7000 + i)));
        if (i != 60)
            expected += Entry(name, ip, QByteArray::number(7000 + i));
    }
    ASSERT_GT(expected.size(), 4096 * 8);
    ASSERT_TRUE(history.DeleteEntry(QStringLiteral("recorder-60") + QString(300, 'x')));
    EXPECT_EQ(FileBytes(), expected);
}

// A file that exists but cannot be read is never replaced.
TEST(IpPortHistory, UnreadableFileIsLeftAlone)
{
    testsupport::ScopedCurrentDir cwd;
    CIpPortHistory history;
    QList<HistoryEntry> entries;

    QDir().mkpath(QString::fromLatin1(kPath)); // a folder where the file should be
    EXPECT_EQ(history.ReadEntries(entries), CIpPortHistory::ReadResult::Unreadable);
    EXPECT_FALSE(history.StoreHistoryEntry("A", "127.2.3.4", "1"));
    EXPECT_FALSE(history.DeleteEntry("A"));
    EXPECT_TRUE(QFileInfo(QString::fromLatin1(kPath)).isDir());
    EXPECT_FALSE(history.LastError().isEmpty());
    QDir().rmdir(QString::fromLatin1(kPath));

    // A file of exactly 1 MiB is read; one byte more and it is refused as a whole.
    QByteArray huge = Entry("A", "127.2.3.4", "1");
    huge += QByteArray((1 << 20) - huge.size(), ';');
    WriteFileBytes(huge);
    EXPECT_EQ(history.ReadEntries(entries), CIpPortHistory::ReadResult::Ok);
    WriteFileBytes(huge += ';');
    EXPECT_EQ(history.ReadEntries(entries), CIpPortHistory::ReadResult::Unreadable);
    EXPECT_FALSE(history.StoreHistoryEntry("B", "127.2.3.4", "1"));
    EXPECT_FALSE(history.DeleteEntry("A"));
    EXPECT_EQ(FileBytes(), huge);
}

// The written file read by an independent profile-file reader.
TEST(IpPortHistory, FileReadsBackWithPythonConfigparser)
{
    testsupport::ScopedCurrentDir cwd;
    CIpPortHistory history;
    ASSERT_TRUE(history.StoreHistoryEntry("INTRANET", "127.0.0.6", "8000"));
    ASSERT_TRUE(history.StoreHistoryEntry("Shop 2", "127.0.0.7", "9000"));
    ASSERT_TRUE(history.StoreHistoryEntry("Lab", "127.0.0.1", "1"));
    ASSERT_TRUE(history.StoreHistoryEntry("shop 2", "127.0.0.8", "9001"));
    ASSERT_TRUE(history.DeleteEntry("Lab"));

    QProcess python;
    python.start(QStringLiteral("python3"),
                 {QStringLiteral("-c"),
                  QStringLiteral("import configparser\n"
                                 "c = configparser.ConfigParser()\n"
                                 "c.read_string(open('ini/cnn.ini', newline='').read())\n"
                                 "for s in c.sections(): print(s, c[s]['IP'], c[s]['PORT'])\n")});
    if (!python.waitForStarted())
        GTEST_SKIP() << "python3 not available";
    ASSERT_TRUE(python.waitForFinished());
    EXPECT_EQ(python.exitCode(), 0) << python.readAllStandardError().constData();
    EXPECT_EQ(python.readAllStandardOutput(),
              QByteArray("INTRANET 127.0.0.6 8000\nShop 2 127.0.0.8 9001\n"));
}
