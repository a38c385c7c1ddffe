#include "support/tmpfs.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace testsupport {

Tmpfs::Tmpfs(uint64_t bytes, bool readOnly) {
    if (dir_.path().empty()) {
        why_ = "no folder to mount it on";
        return;
    }
    if (::geteuid() != 0) {
        why_ = "mounting a tmpfs needs root";
        return;
    }
    const std::string options = "size=" + std::to_string(bytes);
    if (::mount("tmpfs", dir_.path().c_str(), "tmpfs", readOnly ? MS_RDONLY : 0, options.c_str()) != 0) {
        why_ = std::string("mount: ") + std::strerror(errno);
        return;
    }
    mounted_ = true;
}

Tmpfs::~Tmpfs() {
    if (mounted_) ::umount2(dir_.path().c_str(), MNT_DETACH);
}

bool Tmpfs::Fill(const std::string& name) const {
    const int fd = ::open(dir_.Path(name).c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (fd < 0) return false;
    std::vector<char> block(4096, 'f');
    while (::write(fd, block.data(), block.size()) > 0) {
    }
    // The last pages may still take a few bytes.
    while (::write(fd, block.data(), 1) > 0) {
    }
    const bool full = errno == ENOSPC;
    ::close(fd);
    return full;
}

}  // namespace testsupport
