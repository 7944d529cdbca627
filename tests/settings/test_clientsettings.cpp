#include "settings/clientsettings.h"
#include "support/testsupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <utility>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace {

QString StoreFile()
{
    return QSettings(QStringLiteral("Telvane"), QStringLiteral("Telvane4")).fileName();
}

void WriteStored(const char *key, const QVariant &value)
{
    QSettings store(QStringLiteral("Telvane"), QStringLiteral("Telvane4"));
    store.setValue(QStringLiteral("Setting/") + QLatin1String(key), value);
    store.sync();
}

QVariant ReadStored(const char *key)
{
    QSettings store(QStringLiteral("Telvane"), QStringLiteral("Telvane4"));
    return store.value(QStringLiteral("Setting/") + QLatin1String(key));
}

QByteArray FileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The Backup folder beside the running executable, computed independently.
QString ExpectedBackupFolder()
{
    const QString exe = QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget();
    return QDir::toNativeSeparators(QFileInfo(exe).absolutePath() + QStringLiteral("/Backup"));
}

} // namespace

TEST(ClientSettings, EmptyStoreGivesDefaultsAndCreatesBackupFolderOnly)
{
    testsupport::IsolatedSettings isolated;
    QDir(ExpectedBackupFolder()).removeRecursively();

    ClientSettings s;
    std::memset(static_cast<void *>(&s), 0x5A,
                sizeof s); // make sure every field is really filled by the load
    s.LoadSettings();

    EXPECT_STREQ(s.m_szUserID, "admin");
    EXPECT_STREQ(s.m_szPassword, DEFAULT_PASSWORD);
    EXPECT_EQ(std::strlen(DEFAULT_PASSWORD), 1u);
    EXPECT_STREQ(s.m_szHostIP, "192.168.1.150");
    EXPECT_EQ(FieldText(s.m_szRecordPath), ExpectedBackupFolder());
    EXPECT_EQ(s.m_nHostPort, 8000);
    EXPECT_EQ(s.m_byRotateInterval, 3);
    EXPECT_EQ(s.m_byReconnectCount, 3);
    EXPECT_EQ(s.m_byRequestSpeed, 4);
    EXPECT_EQ(s.m_byPtzType, 1);
    EXPECT_EQ(s.m_bUseFullScreen, 0);
    EXPECT_EQ(s.m_bUseAlertMode, 0);
    EXPECT_EQ(s.m_byRecordDuration, 4);
    EXPECT_STREQ(s.m_szIpLabel, "INTRANET");
    EXPECT_EQ(s.m_bDisplayPbTime, 0);
    for (int r = 1; r < MAX_RECORDERS; ++r) {
        EXPECT_FALSE(IsRecorderConfigured(s, r)) << r;
        EXPECT_STREQ(s.m_aszRecorderFault[r - 1], "");
    }

    EXPECT_TRUE(QFileInfo(ExpectedBackupFolder()).isDir());
    EXPECT_FALSE(QFileInfo::exists(StoreFile())) << "loading must not create the store";

    // A second start finds the folder already there; that is no error.
    ClientSettings again;
    again.LoadSettings();
    EXPECT_EQ(FieldText(again.m_szRecordPath), ExpectedBackupFolder());
}

TEST(ClientSettings, ConstructorGivesSameDefaultsWithoutTouchingDisk)
{
    testsupport::IsolatedSettings isolated;
    ClientSettings s;
    EXPECT_STREQ(s.m_szUserID, "admin");
    EXPECT_STREQ(s.m_szIpLabel, "INTRANET");
    EXPECT_EQ(s.m_nHostPort, 8000);
    EXPECT_FALSE(QFileInfo::exists(StoreFile()));
}

TEST(ClientSettings, DefaultRecordPathFollowsApplicationFolder)
{
    int argc = 1;
    char name[] = "test_clientsettings";
    char *argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    EXPECT_EQ(ClientSettings::DefaultRecordPath(),
              QDir::toNativeSeparators(QCoreApplication::applicationDirPath() + "/Backup"));
}

// Recorder r's link with a value in every field that no other recorder has.
RecorderLink DistinctLink(int r)
{
    RecorderLink link = {};
    SetFieldText(link.m_szUserID, QStringLiteral("operator %1%").arg(r));
    SetFieldText(link.m_szPassword, QStringLiteral("s3cr,et=%1").arg(r));
    SetFieldText(link.m_szHostIP, QStringLiteral("127.0.0.%1").arg(r + 1));
    link.m_nHostPort = 40120 + r;
    SetFieldText(link.m_szIpLabel, QString::fromUtf8("Lager Süd; [B%1]").arg(r));
    link.m_byPtzType = uint8_t(r + 1);
    return link;
}

void ExpectSameLink(const RecorderLink &in, const RecorderLink &out, int r)
{
    EXPECT_STREQ(in.m_szUserID, out.m_szUserID) << "recorder " << r + 1;
    EXPECT_STREQ(in.m_szPassword, out.m_szPassword) << "recorder " << r + 1;
    EXPECT_STREQ(in.m_szHostIP, out.m_szHostIP) << "recorder " << r + 1;
    EXPECT_EQ(in.m_nHostPort, out.m_nHostPort) << "recorder " << r + 1;
    EXPECT_STREQ(in.m_szIpLabel, out.m_szIpLabel) << "recorder " << r + 1;
    EXPECT_EQ(in.m_byPtzType, out.m_byPtzType) << "recorder " << r + 1;
}

TEST(ClientSettings, EveryFieldSurvivesSaveAndLoadExceptRecordPath)
{
    testsupport::IsolatedSettings isolated;

    ClientSettings out;
    for (int r = 0; r < MAX_RECORDERS; ++r)
        SetRecorderLink(out, r, DistinctLink(r));
    SetFieldText(out.m_szRecordPath, QStringLiteral("/elsewhere/recordings"));
    out.m_byRotateInterval = 10;
    out.m_byReconnectCount = 5;
    out.m_byRequestSpeed = 7;
    out.m_bUseFullScreen = 1;
    out.m_bUseAlertMode = 1;
    out.m_byRecordDuration = 13;
    out.m_bDisplayPbTime = 1;
    out.m_byRecordFormat = RECORD_FORMAT_MJPEG;
    out.m_bySavePassword = SAVE_PASSWORD_NEVER;
    ASSERT_EQ(out.SaveSettings(), 1);

    // "Record Path" is written; recorder 3's keys are in their own group.
    EXPECT_EQ(ReadStored("Record Path").toString(), QStringLiteral("/elsewhere/recordings"));
    EXPECT_EQ(QSettings(QStringLiteral("Telvane"), QStringLiteral("Telvane4"))
                  .value(QStringLiteral("Setting3/Host Port")),
              40122);

    ClientSettings in;
    in.LoadSettings();
    for (int r = 0; r < MAX_RECORDERS; ++r) {
        EXPECT_TRUE(IsRecorderConfigured(in, r));
        ExpectSameLink(RecorderLinkOf(in, r), DistinctLink(r), r);
    }
    EXPECT_STREQ(in.m_szHostIP, "127.0.0.1"); // recorder 1 is the "Setting" fields
    EXPECT_EQ(in.m_nHostPort, 40120);
    EXPECT_EQ(in.m_byRotateInterval, out.m_byRotateInterval);
    EXPECT_EQ(in.m_byReconnectCount, out.m_byReconnectCount);
    EXPECT_EQ(in.m_byRequestSpeed, out.m_byRequestSpeed);
    EXPECT_EQ(in.m_bUseFullScreen, out.m_bUseFullScreen);
    EXPECT_EQ(in.m_bUseAlertMode, out.m_bUseAlertMode);
    EXPECT_EQ(in.m_byRecordDuration, out.m_byRecordDuration);
    EXPECT_EQ(in.m_bDisplayPbTime, out.m_bDisplayPbTime);
    EXPECT_EQ(in.m_byRecordFormat, out.m_byRecordFormat);
    EXPECT_EQ(in.m_bySavePassword, out.m_bySavePassword);
    // ...but never read back: every run starts with the Backup folder.
    EXPECT_EQ(FieldText(in.m_szRecordPath), ExpectedBackupFolder());

    // A recorder removed (its address cleared) loses its group at the next save.
    RecorderLink removed = DistinctLink(2);
    removed.m_szHostIP[0] = '\0';
    SetRecorderLink(in, 2, removed);
    ASSERT_EQ(in.SaveSettings(), 1);
    EXPECT_FALSE(FileBytes(StoreFile()).contains("[Setting3]"));
    ClientSettings again;
    again.LoadSettings();
    EXPECT_FALSE(IsRecorderConfigured(again, 2));
    ExpectSameLink(RecorderLinkOf(again, 3), DistinctLink(3), 3);
}

// A copied settings file may hold a bad group: that recorder is left out with its
// reason, everything else loads, and the group stays in the store as it was.
struct GroupRow {
    const char *szGroup;
    const char *szFault; // "" = the group loads (or is no recorder) without a fault
};

class StoredRecorderGroups : public ::testing::TestWithParam<GroupRow> {};

TEST_P(StoredRecorderGroups, BadOnesAreLeftOutAndKept)
{
    testsupport::IsolatedSettings isolated;
    const GroupRow row = GetParam();
    const QString file = StoreFile();
    QDir().mkpath(QFileInfo(file).absolutePath());
    const QByteArray group = QByteArray("[Setting3]\n") + row.szGroup;
    {
        QFile out(file);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write("[Setting]\nHost%20IPAddress=127.0.0.1\nHost%20Port=9000\nRotate%20Interval=5\n"
                  "[Setting2]\nHost%20IPAddress=127.0.0.2\nHost%20Port=9002\n" +
                  group + "\n");
    }
    ClientSettings s;
    s.LoadSettings();
    EXPECT_EQ(QString::fromUtf8(s.m_aszRecorderFault[1]), QString::fromUtf8(row.szFault));
    EXPECT_STREQ(s.m_szHostIP, "127.0.0.1");
    EXPECT_EQ(s.m_byRotateInterval, 5);
    EXPECT_STREQ(s.m_aExtraRecorders[0].m_szHostIP, "127.0.0.2");
    EXPECT_EQ(s.m_aExtraRecorders[0].m_nHostPort, 9002);
    EXPECT_FALSE(IsRecorderConfigured(s, 3));
    if (*row.szFault == '\0')
        return;
    EXPECT_FALSE(IsRecorderConfigured(s, 2));
    ASSERT_EQ(s.SaveSettings(), 1);
    EXPECT_TRUE(FileBytes(file).contains(group)) << FileBytes(file).constData();
}

INSTANTIATE_TEST_SUITE_P(
    Groups, StoredRecorderGroups,
    ::testing::Values(GroupRow{"Host%20Port=9003", ""},
                      GroupRow{"Host%20IPAddress=\nHost%20Port=9003", ""},
                      GroupRow{"Host%20IPAddress=127.0.0.3\nHost%20Port=1", ""},
                      GroupRow{"Host%20IPAddress=127.0.0.3\nHost%20Port=65536",
                               "Recorder 3 left out: port 65536 outside 1-65535"},
                      GroupRow{"Host%20IPAddress=127.0.0.3\nHost%20Port=0",
                               "Recorder 3 left out: port 0 outside 1-65535"},
                      GroupRow{"Host%20IPAddress=127.0.0.3\nHost%20Port=80x",
                               "Recorder 3 left out: port \"80x\" is no number"},
                      GroupRow{"Host%20IPAddress=127.0.0.300\nHost%20Port=9003",
                               "Recorder 3 left out: address \"127.0.0.300\" is no IPv4 address"},
                      GroupRow{"Host%20IPAddress=127.0.0.1\nHost%20Port=9000",
                               "Recorder 3 left out: same address and port as recorder 1"},
                      GroupRow{"Host%20IPAddress=127.000.0.2\nHost%20Port=9002",
                               "Recorder 3 left out: same address and port as recorder 2"}));

#ifdef Q_OS_UNIX
// The store holds the password in clear: the file is its owner's alone when it is
// made, and again after a later save of a file an older copy left readable to all.
TEST(ClientSettings, StoreFileIsReadableByItsOwnerOnly)
{
    testsupport::IsolatedSettings isolated;
    const mode_t oldMask = umask(022);
    auto mode = [] { return QFileInfo(StoreFile()).permissions() & 0x7077; }; // not User
    const QFileDevice::Permissions kOwnerOnly = QFile::ReadOwner | QFile::WriteOwner;
    ClientSettings s;
    SetFieldText(s.m_szPassword, QStringLiteral("pw"));
    EXPECT_EQ(s.SaveSettings(), 1);
    EXPECT_EQ(mode(), kOwnerOnly);
    ASSERT_TRUE(
        QFile::setPermissions(StoreFile(), kOwnerOnly | QFile::ReadGroup | QFile::ReadOther));
    EXPECT_EQ(s.SaveSettings(), 1);
    EXPECT_EQ(mode(), kOwnerOnly);
    EXPECT_TRUE(FileBytes(StoreFile()).contains("User%20PSeed=pw"));
    umask(oldMask);
}
#endif

// Every field under its own name in the "Setting" group, both ways: a store with a
// distinct value under each name loads into the matching fields, and a save writes
// each field back under its name. The three 0/1 fields take turns being the 1.
TEST(ClientSettings, EveryFieldUsesItsDesignNameInTheSettingGroup)
{
    for (int nOn = 0; nOn < 3; ++nOn) {
        testsupport::IsolatedSettings isolated;
        const std::pair<const char *, QString> stored[] = {
            {"User ISeed", "viewer"},
            {"User PSeed", "pw3"},
            {"Host IPAddress", "127.0.0.9"},
            {"Host Port", "5123"},
            {"Rotate Interval", "2"},
            {"Reconnect Count", "5"},
            {"Request Speed", "7"},
            {"Ptz Type", "4"},
            {"Record Duration", "11"},
            {"Ip Label", "Depot"},
            {"Use FullScreen", QString::number(nOn == 0)},
            {"Use AlertMode", QString::number(nOn == 1)},
            {"Display PbTime", QString::number(nOn == 2)}};
        for (const auto &[key, value] : stored)
            WriteStored(key, value);

        ClientSettings s;
        s.LoadSettings();
        EXPECT_STREQ(s.m_szUserID, "viewer");
        EXPECT_STREQ(s.m_szPassword, "pw3");
        EXPECT_STREQ(s.m_szHostIP, "127.0.0.9");
        EXPECT_EQ(s.m_nHostPort, 5123);
        EXPECT_EQ(s.m_byRotateInterval, 2);
        EXPECT_EQ(s.m_byReconnectCount, 5);
        EXPECT_EQ(s.m_byRequestSpeed, 7);
        EXPECT_EQ(s.m_byPtzType, 4);
        EXPECT_EQ(s.m_byRecordDuration, 11);
        EXPECT_STREQ(s.m_szIpLabel, "Depot");
        EXPECT_EQ(s.m_bUseFullScreen, nOn == 0);
        EXPECT_EQ(s.m_bUseAlertMode, nOn == 1);
        EXPECT_EQ(s.m_bDisplayPbTime, nOn == 2);
        EXPECT_EQ(StoreFile(), isolated.path() + QStringLiteral("/Telvane/Telvane4.conf"));

        ASSERT_TRUE(QFile::remove(StoreFile()));
        ASSERT_EQ(s.SaveSettings(), 1);
        for (const auto &[key, value] : stored)
            EXPECT_EQ(ReadStored(key).toString(), value) << key;
    }
}

// The text options: "Record Format" reads anything but "MJPEG" as "RAW"; "Save
// Password" anything but "FILE" or "NEVER" as "KEYRING"; each is written back so.
TEST(ClientSettings, TextOptionsReadTheirDefaultUnlessKnown)
{
    const struct {
        const char *key;
        const char *stored; // nullptr: missing
        uint8_t expected;
        const char *written;
    } rows[] = {{"Record Format", nullptr, RECORD_FORMAT_RAW, "RAW"},
                {"Record Format", "MJPEG", RECORD_FORMAT_MJPEG, "MJPEG"},
                {"Record Format", "RAW", RECORD_FORMAT_RAW, "RAW"},
                {"Record Format", "mjpeg2", RECORD_FORMAT_RAW, "RAW"},
                {"Save Password", nullptr, SAVE_PASSWORD_KEYRING, "KEYRING"},
                {"Save Password", "FILE", SAVE_PASSWORD_FILE, "FILE"},
                {"Save Password", "NEVER", SAVE_PASSWORD_NEVER, "NEVER"},
                {"Save Password", "never", SAVE_PASSWORD_KEYRING, "KEYRING"}};
    for (const auto &row : rows) {
        SCOPED_TRACE(std::string(row.key) + " " + (row.stored ? row.stored : "(missing)"));
        testsupport::IsolatedSettings isolated;
        if (row.stored)
            WriteStored(row.key, QString::fromLatin1(row.stored));
        ClientSettings s;
        s.LoadSettings();
        const bool bFormat = std::string(row.key) == "Record Format";
        EXPECT_EQ(bFormat ? s.m_byRecordFormat : s.m_bySavePassword, row.expected);
        ASSERT_EQ(s.SaveSettings(), 1);
        EXPECT_EQ(ReadStored(row.key).toString(), QLatin1String(row.written));
    }
}

// "Tile Placement": each well-formed entry is read and written back in layout
// order; an entry that is not (unknown layout, a number too many or too few or out
// of range) is dropped, and a channel given twice keeps its first tile.
TEST(ClientSettings, TilePlacementKeepsWellFormedLayoutsOnly)
{
    const struct {
        const char *stored;
        const char *written; // "": no key left
    } rows[] = {
        {"16:5 2 3 4 1 6 7 8 9 10 11 12 13 14 15 16", "16:5 2 3 4 1 6 7 8 9 10 11 12 13 14 15 16"},
        {"9:9 8 7 6 5 4 3 2 1;4:2 1 0 3", "4:2 1 0 3;9:9 8 7 6 5 4 3 2 1"},
        {"4:1 2 3 4;bad;7:7 6 5 4 3 2 12", "4:1 2 3 4;7:7 6 5 4 3 2 12"},
        {"10:3 3 1 2 4 5 6 7 8 9", "10:3 0 1 2 4 5 6 7 8 9"},
        {"13:1 2 3 4 5 6 7 8 9 10 11 12 16", "13:1 2 3 4 5 6 7 8 9 10 11 12 16"},
        {"5:1 2 3 4 5", ""},
        {"1:1", ""},
        {"4:1 2 3", ""},
        {"4:1 2 3 4 5", ""},
        {"4:1 2 3 17", ""},
        {"4:1 2 x 4", ""},
        {"4:-1 2 3 4", ""},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.stored);
        testsupport::IsolatedSettings isolated;
        WriteStored("Tile Placement", QString::fromLatin1(row.stored));
        ClientSettings s;
        s.LoadSettings();
        ASSERT_EQ(s.SaveSettings(), 1);
        EXPECT_EQ(ReadStored("Tile Placement").toString(), QLatin1String(row.written));
        EXPECT_EQ(ReadStored("Tile Placement").isValid(), *row.written != '\0');
    }
}

// Saving with the passwords to store: each recorder's "User PSeed" holds what it is
// given (here the keyring took recorders 1 and 3), not the password of the record.
TEST(ClientSettings, SaveWritesTheStoredPasswordsItIsGiven)
{
    testsupport::IsolatedSettings isolated;
    ClientSettings s;
    for (int r = 0; r < MAX_RECORDERS; ++r)
        SetRecorderLink(s, r, DistinctLink(r));
    ASSERT_EQ(s.SaveSettings({QString(), QStringLiteral("two"), QString(), QStringLiteral("four")}),
              1);
    QSettings store(QStringLiteral("Telvane"), QStringLiteral("Telvane4"));
    EXPECT_EQ(store.value(QStringLiteral("Setting/User PSeed")).toString(), QString());
    EXPECT_EQ(store.value(QStringLiteral("Setting2/User PSeed")).toString(), QStringLiteral("two"));
    EXPECT_EQ(store.value(QStringLiteral("Setting3/User PSeed")).toString(), QString());
    EXPECT_EQ(store.value(QStringLiteral("Setting4/User PSeed")).toString(),
              QStringLiteral("four"));
}

struct NumberRow {
    const char *key;
    const char *stored;
    int expected;
};

class StoredNumbers : public ::testing::TestWithParam<NumberRow> {};

TEST_P(StoredNumbers, KeepTheirWidth)
{
    testsupport::IsolatedSettings isolated;
    const NumberRow row = GetParam();
    WriteStored(row.key, QString::fromLatin1(row.stored));
    ClientSettings s;
    s.LoadSettings();
    const std::map<std::string, int> got = {
        {"Rotate Interval", s.m_byRotateInterval}, {"Reconnect Count", s.m_byReconnectCount},
        {"Request Speed", s.m_byRequestSpeed},     {"Ptz Type", s.m_byPtzType},
        {"Record Duration", s.m_byRecordDuration}, {"Host Port", s.m_nHostPort},
        {"Use FullScreen", s.m_bUseFullScreen}};
    EXPECT_EQ(got.at(row.key), row.expected) << row.key << " = " << row.stored;
}

INSTANTIATE_TEST_SUITE_P(
    LowBitsAndFallbacks, StoredNumbers,
    ::testing::Values(NumberRow{"Rotate Interval", "266", 10}, // 0x10A
                      NumberRow{"Reconnect Count", "-1", 255}, // 0xFFFFFFFF
                      NumberRow{"Request Speed", "256", 0}, NumberRow{"Ptz Type", "513", 1},
                      NumberRow{"Record Duration", "14", 14}, // kept; recording maps it
                      NumberRow{"Record Duration", "270", 14},
                      NumberRow{"Host Port", "4294967297", 1}, // 32-bit value
                      NumberRow{"Host Port", "not a number", 8000},
                      NumberRow{"Use FullScreen", " 1 ", 1}, NumberRow{"Rotate Interval", "", 3}));

struct TextRow {
    const char *key;
    QString stored;
    int width;
};

class OverlongTexts : public ::testing::TestWithParam<TextRow> {};

TEST_P(OverlongTexts, AreCutAtACharacterBoundary)
{
    testsupport::IsolatedSettings isolated;
    const TextRow row = GetParam();
    WriteStored(row.key, row.stored);

    // A canary on each side of the record shows a write past its end.
    struct Guarded {
        char before[16];
        ClientSettings s;
        char after[16];
    } g;
    std::memset(g.before, 0x77, sizeof g.before);
    std::memset(g.after, 0x77, sizeof g.after);
    g.s.LoadSettings();

    const std::string key = row.key;
    const char *field = key == "User ISeed"       ? g.s.m_szUserID
                        : key == "User PSeed"     ? g.s.m_szPassword
                        : key == "Host IPAddress" ? g.s.m_szHostIP
                                                  : g.s.m_szIpLabel;
    const QByteArray full = row.stored.toUtf8();
    const std::size_t length = std::strlen(field);
    EXPECT_LE(length, std::size_t(row.width - 1));
    EXPECT_GT(length + 4, std::size_t(row.width - 1)) << "cut more than one character";
    EXPECT_EQ(QByteArray(field, int(length)), full.left(int(length))) << "not a prefix";
    // A whole number of characters: decoding and re-encoding gives the same bytes.
    EXPECT_EQ(QString::fromUtf8(field, int(length)).toUtf8(), QByteArray(field, int(length)));
    EXPECT_TRUE(row.stored.startsWith(QString::fromUtf8(field, int(length))));
    for (char c : g.before)
        EXPECT_EQ(c, 0x77);
    for (char c : g.after)
        EXPECT_EQ(c, 0x77);
}

INSTANTIATE_TEST_SUITE_P(
    Fields, OverlongTexts,
    ::testing::Values(TextRow{"User ISeed", QString(100, QLatin1Char('u')), 64},
                      TextRow{"User PSeed", QString(32, QLatin1Char('p')), 32},
                      TextRow{"User PSeed", QString(40, QChar(0x00E9)), 32},     // 2-byte
                      TextRow{"Host IPAddress", QString(20, QChar(0x6F22)), 32}, // 3-byte
                      TextRow{"Ip Label", QStringLiteral("a") + QString(40, QChar(0x00FC)), 64},
                      TextRow{"Ip Label", QString::fromUtf8("x😀😀😀😀😀😀😀😀😀😀😀😀😀😀😀😀😀"), 64}));

TEST(FieldText, CutsAtBoundaryAndZeroFillsTheRest)
{
    char buf[10];
    std::memset(buf, 'Z', sizeof buf);
    SetFieldText(buf, 6, QString::fromUtf8("ab漢c")); // a b [3 bytes] c: 6 bytes
    EXPECT_STREQ(buf, "ab\xE6\xBC\xA2");              // 5 bytes fit, 'c' does not
    std::memset(buf, 'Z', sizeof buf);
    SetFieldText(buf, 5, QString::fromUtf8("ab漢c"));
    EXPECT_STREQ(buf, "ab");
    EXPECT_EQ(buf[4], '\0');
    EXPECT_EQ(buf[5], 'Z') << "wrote past the given width";
    SetFieldText(buf, 1, QStringLiteral("abc"));
    EXPECT_EQ(buf[0], '\0');

    const char unterminated[4] = {'a', 'b', 'c', 'd'};
    EXPECT_EQ(FieldText(unterminated), QStringLiteral("abcd"));
}

TEST(ClientSettings, LoadLeavesAnExistingStoreByteForByte)
{
    testsupport::IsolatedSettings isolated;
    const QString file = StoreFile();
    QDir().mkpath(QFileInfo(file).absolutePath());
    const QByteArray original =
        "; kept by hand\n[Setting]\nHost%20Port=9000\nRecord%20Path=/nowhere\nUnknown=1\n"
        "[Other]\nx=y\n";
    {
        QFile out(file);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(original);
    }
    ClientSettings s;
    s.LoadSettings();
    EXPECT_EQ(s.m_nHostPort, 9000);
    EXPECT_EQ(FieldText(s.m_szRecordPath), ExpectedBackupFolder());
    EXPECT_EQ(FileBytes(file), original);
}
