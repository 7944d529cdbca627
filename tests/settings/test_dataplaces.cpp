#include "settings/dataplaces.h"
#include "support/testsupport.h"

#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <unistd.h>

TEST(DataPlaces, PortableFolderKeepsTheOldPlacesElseTheUserDataFolder)
{
    const QString exe = QStringLiteral("/home/op/telvane");
    const QString data = QStringLiteral("/home/op/.local/share/Telvane");
    QString asked;
    const auto yes = [&asked](const QString &folder) { return asked = folder, true; };
    const DataPlaces portable = ChooseDataPlaces(exe, data, yes);
    EXPECT_EQ(asked, exe);
    EXPECT_EQ(portable.szBaseFolder, exe);
    EXPECT_FALSE(portable.bUserData);

    const DataPlaces installed = ChooseDataPlaces(exe, data, [](const QString &) { return false; });
    EXPECT_EQ(installed.szBaseFolder, data);
    EXPECT_TRUE(installed.bUserData);
}

TEST(DataPlaces, SystemProgramFoldersByTheirRealPath)
{
    for (const char *folder : {"/usr/bin", "/usr/lib/telvane", "/usr/local/bin", "/opt/telvane/bin",
                               "/bin", "/sbin", "/usr"})
        EXPECT_TRUE(IsSystemProgramFolder(QString::fromLatin1(folder))) << folder;
    for (const char *folder : {"/home/op/build/bin", "/tmp/usr/bin", "/usrlocal/bin", "/optional"})
        EXPECT_FALSE(IsSystemProgramFolder(QString::fromLatin1(folder))) << folder;

    // A link is judged by where it leads.
    QTemporaryDir tmp;
    ASSERT_TRUE(QFile::link(QStringLiteral("/usr/bin"), tmp.filePath(QStringLiteral("bin"))));
    EXPECT_TRUE(IsSystemProgramFolder(tmp.filePath(QStringLiteral("bin"))));
    EXPECT_FALSE(IsSystemProgramFolder(tmp.path()));
}

TEST(DataPlaces, WritableFolderIsTriedForRealAndLeftClean)
{
    QTemporaryDir tmp;
    EXPECT_TRUE(IsWritableFolder(tmp.path()));
    EXPECT_TRUE(QDir(tmp.path())
                    .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)
                    .isEmpty());
    EXPECT_FALSE(IsWritableFolder(tmp.filePath(QStringLiteral("missing"))));
    QFile file(tmp.filePath(QStringLiteral("file")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    EXPECT_FALSE(IsWritableFolder(file.fileName()));

    // Root may write to a read-only folder, so this part only holds for others.
    if (geteuid() != 0) {
        const QString locked = tmp.filePath(QStringLiteral("locked"));
        ASSERT_TRUE(QDir().mkdir(locked));
        QFile::setPermissions(locked, QFile::ReadOwner | QFile::ExeOwner);
        EXPECT_FALSE(IsWritableFolder(locked));
        QFile::setPermissions(locked, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
}

TEST(DataPlaces, UserDataFolderFollowsXdgDataHome)
{
    QTemporaryDir tmp;
    const QByteArray old = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", tmp.path().toLocal8Bit());
    EXPECT_EQ(UserDataFolder(), tmp.path() + QStringLiteral("/Telvane"));
    if (old.isNull())
        qunsetenv("XDG_DATA_HOME");
    else
        qputenv("XDG_DATA_HOME", old);
}

TEST(DataPlaces, BuildFolderCopyKeepsItsFolderAndTheCurrentFolder)
{
    if (!IsWritableFolder(ExecutableFolder()))
        GTEST_SKIP() << "the build folder is not writable for this user";
    testsupport::ScopedCurrentDir cwd;
    ASSERT_TRUE(cwd.isValid());
    const QString before = QDir::currentPath();
    EXPECT_EQ(ProgramDataPlaces().szBaseFolder, ExecutableFolder());
    EXPECT_FALSE(ProgramDataPlaces().bUserData);
    EXPECT_TRUE(EnterDataFolder());
    EXPECT_EQ(QDir::currentPath(), before);

    // An installed copy makes its data folder and works in it.
    const QString installed = cwd.filePath(QStringLiteral("data/Telvane"));
    EXPECT_TRUE(EnterDataFolder(DataPlaces{installed, true}));
    EXPECT_EQ(QDir::currentPath(), QFileInfo(installed).canonicalFilePath());
}
