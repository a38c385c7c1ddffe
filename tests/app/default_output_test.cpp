// The proposed output folder: beside the program where that can be written, else the user's
// music folder, else the home folder; and the probe that says what can be written.
#include "app/default_output.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <fstream>

#include "support/scoped_env.h"
#include "support/temp_folder.h"

namespace {

using app::DefaultOutputFolder;
using app::FolderWritable;

bool EmptyFolder(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty();
}

TEST(FolderWritable, TriesTheFolderAndLeavesNothingBehind) {
    const testsupport::TempFolder dir;
    EXPECT_TRUE(FolderWritable(dir.QPath()));
    EXPECT_TRUE(FolderWritable(dir.QPath() + "/"));
    EXPECT_TRUE(EmptyFolder(dir.QPath()));

    EXPECT_FALSE(FolderWritable(dir.QPath() + "/missing"));
    EXPECT_FALSE(FolderWritable(""));
    const QString file = dir.QPath() + "/file";
    std::ofstream(file.toStdString()) << "x";
    EXPECT_FALSE(FolderWritable(file));
    // No one may make a file in /proc, root included.
    EXPECT_FALSE(FolderWritable("/proc"));
    EXPECT_FALSE(FolderWritable("/proc/self/"));
}

TEST(FolderWritable, AReadOnlyFolderRefusesEveryoneButRoot) {
    const testsupport::TempFolder dir;
    ASSERT_TRUE(QFile::setPermissions(dir.QPath(), QFile::ReadOwner | QFile::ExeOwner |
                                                      QFile::ReadGroup | QFile::ExeGroup |
                                                      QFile::ReadOther | QFile::ExeOther));
    // Root writes past the permission bits (as CI does), so for root the folder is writable and
    // an installed program run by root keeps its defined default.
    EXPECT_EQ(FolderWritable(dir.QPath()), ::geteuid() == 0);
    EXPECT_TRUE(EmptyFolder(dir.QPath()));
    QFile::setPermissions(dir.QPath(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

class DefaultOutputTest : public ::testing::Test {
  protected:
    void SetUp() override {
        env_.Set("HOME", home_.QPath().toLocal8Bit());
        env_.Set("XDG_CONFIG_HOME", (home_.QPath() + "/.config").toLocal8Bit());
        QDir().mkpath(home_.QPath() + "/.config");
    }
    QString Home() const { return home_.QPath() + "/"; }

    testsupport::TempFolder home_;
    testsupport::ScopedEnv env_;
};

TEST_F(DefaultOutputTest, TheProgramsFolderWhereItCanBeWritten) {
    EXPECT_EQ(DefaultOutputFolder("/opt/tonvera/", [](const QString&) { return true; }),
              "/opt/tonvera/");
    // A build folder, with the real probe.
    const testsupport::TempFolder build;
    EXPECT_EQ(DefaultOutputFolder(build.QPath() + "/"), build.QPath() + "/");
}

TEST_F(DefaultOutputTest, ElseTheMusicFolderTheUserNamedElseTheHomeFolder) {
    // No music folder yet: the home folder. (/usr/bin would do for anyone but root.)
    EXPECT_EQ(DefaultOutputFolder("/proc/"), Home());

    // The music folder of the user's XDG settings, not a fixed ~/Music.
    const QString music = home_.QPath() + "/Klänge";
    QDir().mkpath(music);
    QDir().mkpath(home_.QPath() + "/Music");
    std::ofstream(QFile::encodeName(home_.QPath() + "/.config/user-dirs.dirs").toStdString())
        << "XDG_MUSIC_DIR=\"$HOME/Klänge\"\n";
    EXPECT_EQ(DefaultOutputFolder("/proc/"), music + "/");

    // A music folder that cannot be written either: the home folder.
    std::vector<QString> asked;
    const auto onlyHome = [&](const QString& folder) {
        asked.push_back(folder);
        return folder == Home() || folder == home_.QPath();
    };
    EXPECT_EQ(DefaultOutputFolder("/usr/bin/", onlyHome), Home());
    ASSERT_EQ(asked.size(), 3u);
    EXPECT_EQ(asked[0], "/usr/bin/");
    EXPECT_EQ(asked[1], music);
}

TEST_F(DefaultOutputTest, NothingWritableKeepsTheDefinedDefault) {
    EXPECT_EQ(DefaultOutputFolder("/usr/bin/", [](const QString&) { return false; }), "/usr/bin/");
    // The real probe on a folder no one may write.
    EXPECT_EQ(DefaultOutputFolder("/proc/"), Home());
}

}  // namespace
