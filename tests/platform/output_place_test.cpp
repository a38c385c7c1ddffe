// The output checks and the move into place on real file systems: every refusal names the
// path and the system's reason, and a failed move leaves both files as they were.
#include "platform/output_place.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "support/pcm.h"
#include "support/temp_folder.h"
#include "support/tmpfs.h"

namespace {

namespace fs = std::filesystem;
using platform::CheckFreeSpace;
using platform::CheckOutputPlace;
using platform::MoveIntoPlace;

class OutputPlace : public testsupport::TempFolderTest {
  protected:
    static void Write(const std::string& path, const std::string& text) {
        std::ofstream(path, std::ios::binary) << text;
    }
    static std::string Read(const std::string& path) {
        const auto bytes = testsupport::ReadAll(path);
        return std::string(bytes.begin(), bytes.end());
    }
};

TEST_F(OutputPlace, ANewOrOrdinaryFileInAWritableFolderIsFine) {
    EXPECT_EQ(CheckOutputPlace(Path("new.wav")), "");
    Write(Path("old.wav"), "old");
    EXPECT_EQ(CheckOutputPlace(Path("old.wav")), "");
    EXPECT_EQ(CheckFreeSpace(Path("new.wav"), 1000), "");
}

TEST_F(OutputPlace, WhatCannotTakeTheRecordingIsNamedWithTheReason) {
    std::string why = CheckOutputPlace(Path("missing/x.wav"));
    EXPECT_NE(why.find(Path("missing")), std::string::npos) << why;
    EXPECT_NE(why.find("No such file or directory"), std::string::npos) << why;

    Write(Path("plain"), "x");
    why = CheckOutputPlace(Path("plain/x.wav"));
    EXPECT_NE(why.find("Not a directory"), std::string::npos) << why;

    fs::create_directory(Path("folder.wav"));
    why = CheckOutputPlace(Path("folder.wav"));
    EXPECT_NE(why.find(Path("folder.wav")), std::string::npos) << why;
    EXPECT_NE(why.find("Is a directory"), std::string::npos) << why;

    ASSERT_EQ(::mkfifo(Path("pipe.wav").c_str(), 0644), 0);
    why = CheckOutputPlace(Path("pipe.wav"));
    EXPECT_NE(why.find("named pipe"), std::string::npos) << why;

    EXPECT_NE(CheckOutputPlace("/dev/null").find("device"), std::string::npos);

    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const std::string sockPath = Path("sock.wav");
    ASSERT_LT(sockPath.size(), sizeof addr.sun_path);
    std::strcpy(addr.sun_path, sockPath.c_str());
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    why = CheckOutputPlace(sockPath);
    ::close(sock);
    EXPECT_NE(why.find("socket"), std::string::npos) << why;

    why = CheckFreeSpace(Path("x.wav"), uint64_t(1) << 62);
    EXPECT_NE(why.find("No space left on device"), std::string::npos) << why;
    EXPECT_NE(why.find(dir_.path()), std::string::npos) << why;
}

TEST_F(OutputPlace, AFolderOrFileTheUserProtectedIsRefused) {
    if (::geteuid() == 0) {
        // Root steps over permissions; a read-only file system stops everyone.
        testsupport::Tmpfs ro(1 << 20, true);
        REQUIRE_TMPFS(ro);
        const std::string why = CheckOutputPlace(ro.path() + "/x.wav");
        EXPECT_NE(why.find("Read-only file system"), std::string::npos) << why;
        EXPECT_NE(why.find(ro.path()), std::string::npos) << why;
        return;
    }
    Write(Path("kept.wav"), "mine");
    fs::permissions(Path("kept.wav"), fs::perms::owner_read);
    std::string why = CheckOutputPlace(Path("kept.wav"));
    EXPECT_NE(why.find("Permission denied"), std::string::npos) << why;
    fs::permissions(dir_.path(), fs::perms::owner_read | fs::perms::owner_exec);
    why = CheckOutputPlace(Path("new.wav"));
    EXPECT_NE(why.find("Permission denied"), std::string::npos) << why;
}

TEST_F(OutputPlace, LinksLeadToTheFileTheyName) {
    Write(Path("real.wav"), "r");
    fs::create_symlink(Path("real.wav"), Path("link.wav"));
    EXPECT_EQ(platform::ResolveTarget(Path("link.wav")), fs::canonical(Path("real.wav")).string());
    fs::create_symlink(Path("gone.wav"), Path("dangling.wav"));
    EXPECT_EQ(platform::ResolveTarget(Path("dangling.wav")), Path("dangling.wav"));
    EXPECT_EQ(platform::ResolveTarget(Path("new.wav")), Path("new.wav"));
}

TEST_F(OutputPlace, NamesBesideTheTarget) {
    EXPECT_EQ(platform::PartName("/a/song.wav", 0, false), "/a/song.wav.part");
    EXPECT_EQ(platform::PartName("/a/song.wav", 1, false), "/a/song.wav.2.part");
    EXPECT_EQ(platform::PartName("/a/song.wav", 0, true), "/a/tonvera-1.part");
    EXPECT_EQ(platform::PartName("/song.wav", 2, true), "/tonvera-3.part");
    EXPECT_EQ(platform::PartName("song.wav", 0, true), "./tonvera-1.part");
    EXPECT_EQ(platform::FolderOf("song.wav"), ".");
    EXPECT_EQ(platform::FolderOf("/song.wav"), "/");
    EXPECT_EQ(platform::FolderOf("a/b/c.wav"), "a/b");
}

TEST_F(OutputPlace, AMoveReplacesTheTargetInOneStepAlsoAcrossFileSystems) {
    Write(Path("new.part"), "new sound");
    Write(Path("old.wav"), "old sound");
    EXPECT_EQ(MoveIntoPlace(Path("new.part"), Path("old.wav")), "");
    EXPECT_EQ(Read(Path("old.wav")), "new sound");
    EXPECT_FALSE(fs::exists(Path("new.part")));

    testsupport::Tmpfs other(1 << 20);
    REQUIRE_TMPFS(other);
    const std::string there = other.path() + "/song.wav";
    Write(there, "old");
    Write(Path("song.part"), "copied across");
    EXPECT_EQ(MoveIntoPlace(Path("song.part"), there), "");
    EXPECT_EQ(Read(there), "copied across");
    EXPECT_FALSE(fs::exists(Path("song.part")));
    EXPECT_EQ(std::distance(fs::directory_iterator(other.path()), fs::directory_iterator{}), 1);
}

TEST_F(OutputPlace, AReplacedFileKeepsWhoMayReadIt) {
    auto mode = [](const std::string& path) {
        struct stat st {};
        ::stat(path.c_str(), &st);
        return st.st_mode & 07777;
    };
    Write(Path("new.part"), "new");
    Write(Path("private.wav"), "old");
    ASSERT_EQ(::chmod(Path("new.part").c_str(), 0644), 0);
    ASSERT_EQ(::chmod(Path("private.wav").c_str(), 0600), 0);
    EXPECT_EQ(MoveIntoPlace(Path("new.part"), Path("private.wav")), "");
    EXPECT_EQ(mode(Path("private.wav")), 0600u);

    testsupport::Tmpfs other(1 << 20);
    REQUIRE_TMPFS(other);
    const std::string there = other.path() + "/shared.wav";
    Write(there, "old");
    ASSERT_EQ(::chmod(there.c_str(), 0640), 0);
    Write(Path("song.part"), "copied");
    EXPECT_EQ(MoveIntoPlace(Path("song.part"), there), "");
    EXPECT_EQ(mode(there), 0640u);
}

TEST_F(OutputPlace, AFailedCopyLeavesBothFilesAsTheyWere) {
    testsupport::Tmpfs small(64 * 1024);
    REQUIRE_TMPFS(small);
    const std::string there = small.path() + "/song.wav";
    Write(there, "the user's old file");
    Write(Path("big.part"), std::string(200 * 1024, 's'));
    const std::string why = MoveIntoPlace(Path("big.part"), there);
    EXPECT_NE(why.find("No space left on device"), std::string::npos) << why;
    EXPECT_EQ(Read(there), "the user's old file");
    EXPECT_EQ(fs::file_size(Path("big.part")), 200u * 1024);
    EXPECT_EQ(std::distance(fs::directory_iterator(small.path()), fs::directory_iterator{}), 1);

    // A rename that cannot happen names the target.
    const std::string missing = Path("no/such.wav");
    const std::string refused = MoveIntoPlace(Path("big.part"), missing);
    EXPECT_NE(refused.find(missing), std::string::npos) << refused;
    EXPECT_TRUE(fs::exists(Path("big.part")));
}

}  // namespace
