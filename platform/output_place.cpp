#include "platform/output_place.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace platform {

namespace {

std::string Reason(int error) {
    return std::string(" (") + std::strerror(error) + ")";
}

std::string Megabytes(uint64_t bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MB", double(bytes) / 1e6);
    return text;
}

std::string KindProblem(const std::string& target, const struct stat& st) {
    if (S_ISREG(st.st_mode)) return "";
    if (S_ISDIR(st.st_mode)) return target + " is a folder" + Reason(EISDIR);
    if (S_ISFIFO(st.st_mode)) return target + " is a named pipe (FIFO), not a file";
    if (S_ISSOCK(st.st_mode)) return target + " is a socket, not a file";
    if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)) return target + " is a device, not a file";
    return target + " is not a regular file";
}

std::string FolderProblem(const std::string& folder, struct stat* st) {
    if (::stat(folder.c_str(), st) != 0) {
        const int e = errno;
        if (e == ENOENT) return "the folder " + folder + " does not exist" + Reason(e);
        if (e == ENOTDIR) return folder + " is not a folder" + Reason(e);
        return "the folder " + folder + " cannot be reached" + Reason(e);
    }
    if (!S_ISDIR(st->st_mode)) return folder + " is not a folder" + Reason(ENOTDIR);
    if (::access(folder.c_str(), W_OK | X_OK) != 0)
        return "no new file can be made in the folder " + folder + Reason(errno);
    return "";
}

// Creates a new file beside `to` for a copy; -1 with errno when none can be made.
int CreateBeside(const std::string& to, std::string* made) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        for (bool shortName : {false, true}) {
            *made = PartName(to, attempt, shortName);
            const int fd = ::open(made->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd >= 0) return fd;
            if (errno == ENAMETOOLONG && !shortName) continue;
            if (errno != EEXIST) return -1;
            break;
        }
    }
    errno = EEXIST;
    return -1;
}

bool CopyBytes(int in, int out) {
    std::vector<char> buffer(1 << 16);
    for (;;) {
        const ssize_t n = ::read(in, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) return ::fsync(out) == 0;
        for (ssize_t done = 0; done < n;) {
            const ssize_t w = ::write(out, buffer.data() + done, size_t(n - done));
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0) {
                if (w == 0) errno = ENOSPC;
                return false;
            }
            done += w;
        }
    }
}

// The rename is only as lasting as the folder's own entry.
void SyncFolder(const std::string& path) {
    const int fd = ::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

// A replaced file keeps who may read it: a private recording must not become world-readable.
// Its group too, where the user may set it.
void KeepAccess(const std::string& file, const std::string& replaced) {
    struct stat st;
    if (::stat(replaced.c_str(), &st) != 0) return;
    // Not a group of the user's: the new file keeps its own.
    [[maybe_unused]] const int grouped = ::chown(file.c_str(), uid_t(-1), st.st_gid);
    ::chmod(file.c_str(), st.st_mode & 07777);
}

std::string CopyIntoPlace(const std::string& from, const std::string& to) {
    const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return "the recording " + from + " cannot be read" + Reason(errno);
    std::string copy;
    const int out = CreateBeside(to, &copy);
    if (out < 0) {
        const int e = errno;
        ::close(in);
        return "no copy can be made beside " + to + Reason(e);
    }
    bool ok = CopyBytes(in, out);
    int e = errno;
    KeepAccess(copy, to);
    ::close(in);
    if (::close(out) != 0 && ok) {
        ok = false;
        e = errno;
    }
    if (ok && ::rename(copy.c_str(), to.c_str()) != 0) {
        ok = false;
        e = errno;
    }
    if (!ok) {
        ::unlink(copy.c_str());
        return "the recording could not be copied to " + to + Reason(e);
    }
    SyncFolder(to);
    ::unlink(from.c_str());
    return "";
}

}  // namespace

std::string FolderOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string PartName(const std::string& target, int attempt, bool shortName) {
    const std::string n = attempt == 0 ? "" : "." + std::to_string(attempt + 1);
    if (!shortName) return target + n + ".part";
    const std::string folder = FolderOf(target);
    return (folder == "/" ? "" : folder) + "/tonvera-" + std::to_string(attempt + 1) + ".part";
}

std::string ResolveTarget(const std::string& target) {
    struct stat st;
    if (::lstat(target.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return target;
    char* real = ::realpath(target.c_str(), nullptr);
    if (!real) return target;  // a dangling link is replaced itself
    std::string resolved = real;
    std::free(real);
    return resolved;
}

std::string CheckOutputPlace(const std::string& target) {
    const std::string folder = FolderOf(target);
    struct stat folderStat;
    if (std::string problem = FolderProblem(folder, &folderStat); !problem.empty()) return problem;
    struct stat st;
    if (::stat(target.c_str(), &st) != 0) {
        if (errno == ENOENT) return "";
        return target + " cannot be used" + Reason(errno);
    }
    if (std::string problem = KindProblem(target, st); !problem.empty()) return problem;
    // The user's protection of a file counts, though a rename could step over it.
    if (::access(target.c_str(), W_OK) != 0) return target + " may not be replaced" + Reason(errno);
    const uid_t me = ::geteuid();
    if ((folderStat.st_mode & S_ISVTX) && me != 0 && st.st_uid != me && folderStat.st_uid != me)
        return target + " belongs to another user in a shared folder" + Reason(EPERM);
    return "";
}

std::string CheckFreeSpace(const std::string& target, uint64_t bytes) {
    const std::string folder = FolderOf(target);
    struct statvfs vfs;
    if (::statvfs(folder.c_str(), &vfs) != 0)
        return "the free space in " + folder + " cannot be read" + Reason(errno);
    const uint64_t free = uint64_t(vfs.f_bavail) * vfs.f_frsize;
    if (free < bytes)
        return "the recording needs " + Megabytes(bytes) + ", the file system of " + folder +
               " has " + Megabytes(free) + " free" + Reason(ENOSPC);
    if (vfs.f_files > 0 && vfs.f_favail == 0)
        return "the file system of " + folder + " has room for no more files" + Reason(ENOSPC);
    return "";
}

std::string MoveIntoPlace(const std::string& from, const std::string& to) {
    KeepAccess(from, to);
    if (::rename(from.c_str(), to.c_str()) == 0) {
        SyncFolder(to);
        return "";
    }
    const int e = errno;
    if (e == EXDEV) return CopyIntoPlace(from, to);
    return "the recording could not be put at " + to + Reason(e);
}

bool RemoveFile(const std::string& path) {
    return ::unlink(path.c_str()) == 0;
}

}  // namespace platform
