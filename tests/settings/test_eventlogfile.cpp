#include "settings/eventlogfile.h"
#include "support/testsupport.h"

#include <QFile>
#include <QFileDevice>

#include <gtest/gtest.h>

#include <vector>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Record(uint8_t ch, uint8_t mask, uint8_t yearOff, uint8_t mon, uint8_t day, uint8_t h = 10,
             uint8_t mi = 20, uint8_t s = 30)
{
    return {ch, mask, yearOff, mon, day, h, mi, s, 0xAB, 0xCD};
}

Bytes Join(const std::vector<Bytes> &parts)
{
    Bytes all;
    for (const Bytes &p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

std::vector<EventEntry> Parse(const Bytes &bytes)
{
    return CEventLogFile::ParseRecords(bytes.data(), bytes.size());
}

QByteArray FileContent(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// One record and how it is listed: absent (skipped), or its texts and whether it plays.
struct RecordRow {
    const char *name;
    Bytes record;
    bool bListed;
    bool bPlayable;
    const char *szDateTime;
};

class EventRecords : public ::testing::TestWithParam<RecordRow> {};

} // namespace

TEST_P(EventRecords, AreListedAndPlayableAsTheirFieldsAllow)
{
    const RecordRow row = GetParam();
    // A good record behind the one under test must always survive it.
    const Bytes after = Record(2, 0x01, 12, 7, 4);
    const auto entries = Parse(Join({row.record, after}));
    ASSERT_EQ(entries.size(), row.bListed ? 2u : 1u);
    EXPECT_EQ(entries.back().szChannel, QStringLiteral("CH2"));
    EXPECT_EQ(entries.back().szAlarmType, QStringLiteral(" Motion -> NoEvent"));
    EXPECT_EQ(entries.back().szDateTime, QStringLiteral("[ 2008/07/04 ] 10:20:30"));
    EXPECT_TRUE(entries.back().bPlayable);
    if (row.bListed) {
        EXPECT_EQ(entries.front().szDateTime, QString::fromLatin1(row.szDateTime));
        EXPECT_EQ(entries.front().bPlayable, row.bPlayable);
        EXPECT_EQ(entries.front().nYear, row.record[2] + 1996);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Fields, EventRecords,
    ::testing::Values(
        RecordRow{"plain", Record(1, 0x20, 9, 3, 15), true, true, "[ 2005/03/15 ] 10:20:30"},
        RecordRow{"leap_day", Record(4, 0x20, 12, 2, 29), true, true, "[ 2008/02/29 ] 10:20:30"},
        RecordRow{"hour_24", Record(3, 0, 9, 3, 15, 24, 0, 0), true, true,
                  "[ 2005/03/15 ] 24:00:00"},
        RecordRow{"channel_0", Record(0, 0x20, 9, 3, 15), true, false, "[ 2005/03/15 ] 10:20:30"},
        RecordRow{"no_29_feb", Record(1, 0x20, 11, 2, 29), true, false, "[ 2007/02/29 ] 10:20:30"},
        RecordRow{"31_april", Record(1, 0x20, 9, 4, 31), true, false, "[ 2005/04/31 ] 10:20:30"},
        RecordRow{"zero_date", Record(1, 0x20, 9, 0, 0, 0, 0, 0), true, false,
                  "[ 2005/00/00 ] 00:00:00"},
        // The packed time of a playback keeps 6 bits of the year offset.
        RecordRow{"year_2060", Record(1, 0x20, 64, 1, 1), true, false, "[ 2060/01/01 ] 10:20:30"},
        RecordRow{"year_2096", Record(1, 0x20, 100, 1, 1), true, false, "[ 2096/01/01 ] 10:20:30"},
        RecordRow{"channel_5", Record(5, 0x20, 9, 3, 15), false, false, ""},
        RecordRow{"year_101", Record(1, 0x20, 101, 3, 15), false, false, ""},
        RecordRow{"month_13", Record(1, 0x20, 9, 13, 15), false, false, ""},
        RecordRow{"day_32", Record(1, 0x20, 9, 3, 32), false, false, ""},
        RecordRow{"hour_25", Record(1, 0x20, 9, 3, 15, 25), false, false, ""},
        RecordRow{"minute_60", Record(1, 0x20, 9, 3, 15, 10, 60), false, false, ""},
        RecordRow{"second_60", Record(1, 0x20, 9, 3, 15, 10, 20, 60), false, false, ""}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(EventLogFile, AlarmTypeTextsInBitOrder)
{
    EXPECT_EQ(CEventLogFile::AlarmTypeText(0), QStringLiteral("No Event"));
    EXPECT_EQ(CEventLogFile::AlarmTypeText(0x22),
              QStringLiteral(" Alarm 0 -> 1 NoEvent -> Motion"));
    EXPECT_EQ(CEventLogFile::AlarmTypeText(0xFF),
              QStringLiteral(" Normal Close Normal Open Alarm 0 -> 1 Alarm 1 -> 0 no loss -> loss"
                             " loss -> no loss NoEvent -> Motion Motion -> NoEvent"));
}

TEST(EventLogFile, WriteReadAndDeleteInTheCurrentFolder)
{
    testsupport::ScopedCurrentDir cwd;
    ASSERT_TRUE(cwd.isValid());
    CEventLogFile file;
    EXPECT_TRUE(file.Read().empty()); // no file: an empty list

    // 25 bytes: two whole records, the last 5 bytes are ignored.
    Bytes block = Join({Record(1, 0x22, 9, 3, 15), Record(3, 0xFF, 9, 3, 16)});
    block.insert(block.end(), {1, 2, 3, 4, 5});
    ASSERT_TRUE(file.Write(block.data(), block.size()));
    EXPECT_EQ(FileContent(cwd.filePath(QStringLiteral("AlarmEvent.am"))),
              QByteArray(reinterpret_cast<const char *>(block.data()), 25));
    const auto entries = file.Read();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[1].szChannel, QStringLiteral("CH3"));

    // A list without events replaces the old one with an empty file.
    ASSERT_TRUE(file.Write(nullptr, 0));
    EXPECT_TRUE(file.Exists());
    EXPECT_TRUE(file.Read().empty());

    EXPECT_TRUE(file.Delete());
    EXPECT_FALSE(file.Exists());
    EXPECT_TRUE(file.Delete()); // nothing left to delete is no failure
}

TEST(EventLogFile, ReadingStopsAtTheCap)
{
    testsupport::ScopedCurrentDir cwd;
    ASSERT_TRUE(cwd.isValid());
    const Bytes one = Record(1, 0, 9, 3, 15);
    Bytes big;
    for (std::size_t i = 0; i < CEventLogFile::MAX_READ_BYTES / 10 + 7; ++i)
        big.insert(big.end(), one.begin(), one.end());
    CEventLogFile file;
    ASSERT_TRUE(file.Write(big.data(), big.size()));
    bool bCut = false;
    EXPECT_EQ(file.Read(&bCut).size(), CEventLogFile::MAX_READ_BYTES / 10);
    EXPECT_TRUE(bCut);
}

TEST(EventLogFile, AFailedWriteKeepsThePreviousListAndSaysSo)
{
    testsupport::ScopedCurrentDir cwd;
    ASSERT_TRUE(cwd.isValid());
    CEventLogFile file;
    const Bytes old = Record(1, 0x20, 9, 3, 15);
    ASSERT_TRUE(file.Write(old.data(), old.size()));
    const QByteArray before = FileContent(file.Path());
    const Bytes fresh(64 * 1024, 0x11);

    // A folder the program may not write into (an administrator may write anyway).
    const QFileDevice::Permissions perms = QFile::permissions(cwd.path());
    ASSERT_TRUE(QFile::setPermissions(cwd.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    QFile probe(cwd.filePath(QStringLiteral("probe")));
    const bool bFolderRefuses = !probe.open(QIODevice::WriteOnly);
    probe.remove();
    if (bFolderRefuses) {
        EXPECT_FALSE(file.Write(fresh.data(), fresh.size()));
        EXPECT_EQ(FileContent(file.Path()), before);
    }
    QFile::setPermissions(cwd.path(), perms);

#ifdef Q_OS_UNIX
    // A disk that fills up half way: the size limit cuts the write short.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool bWritten = file.Write(fresh.data(), fresh.size());
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(bWritten);
    EXPECT_EQ(FileContent(file.Path()), before);
#endif
}
