#pragma once
// A small tmpfs of the test's own, for full disks and read-only file systems. Mounting needs
// root (CI runs as root); elsewhere ok() is false and the test skips, saying why.
#include <cstdint>
#include <string>

#include <gtest/gtest.h>

#include "support/temp_folder.h"

namespace testsupport {

class Tmpfs {
public:
    explicit Tmpfs(uint64_t bytes, bool readOnly = false);
    ~Tmpfs();
    Tmpfs(const Tmpfs&) = delete;
    Tmpfs& operator=(const Tmpfs&) = delete;

    bool ok() const { return mounted_; }
    const std::string& path() const { return dir_.path(); }
    const std::string& why() const { return why_; }
    // Fills what is left of it with one file, so that the next write finds no room.
    bool Fill(const std::string& name = "filler") const;

private:
    TempFolder dir_{"tmpfs"};  // the mount point, removed once unmounted
    std::string why_;
    bool mounted_ = false;
};

#define REQUIRE_TMPFS(fs)                                                           \
    do {                                                                            \
        if (!(fs).ok()) GTEST_SKIP() << "needs a tmpfs of its own: " << (fs).why(); \
    } while (0)

}  // namespace testsupport
