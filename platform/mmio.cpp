#include "platform/mmio.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

namespace {

// A write-only file with one buffer; seeks flush it first. A failure keeps its errno, which
// every later failing call hands back.
class MmioFile {
  public:
    MmioFile(int fd, uint64_t size) : fd_(fd), end_(size) { buffer_.reserve(kBufferSize); }
    ~MmioFile() {
        if (fd_ >= 0) ::close(fd_);
    }
    MmioFile(const MmioFile&) = delete;
    MmioFile& operator=(const MmioFile&) = delete;

    uint64_t position() const { return position_; }

    bool write(const char* p, uint64_t n) {
        if (failed_) return again();
        if (buffer_.size() + n <= kBufferSize) {
            buffer_.insert(buffer_.end(), p, p + n);
        } else {
            if (!flush() || !writeAll(p, n)) return false;
        }
        position_ += n;
        end_ = std::max(end_, position_);
        return true;
    }

    bool seek(int64_t offset, int origin) {
        if (!flush()) return false;
        const int64_t base = origin == SEEK_SET   ? 0
                             : origin == SEEK_CUR ? int64_t(position_)
                             : origin == SEEK_END ? int64_t(end_)
                                                  : -1;
        // A seek that cannot happen loses nothing: the file stays usable.
        if (base < 0 || base + offset < 0) {
            errno = EINVAL;
            return false;
        }
        if (::lseek(fd_, off_t(base + offset), SEEK_SET) < 0) return false;
        position_ = uint64_t(base + offset);
        failed_ = false;
        return true;
    }

    bool flush() {
        if (failed_) return again();
        if (buffer_.empty()) return true;
        const bool ok = writeAll(buffer_.data(), buffer_.size());
        buffer_.clear();
        return ok;
    }

    bool sync() {
        if (!flush()) return false;
        return ::fsync(fd_) == 0 || fail(errno);
    }

    bool close() {
        const bool ok = flush();
        const int saved = errno;
        const bool closed = ::close(fd_) == 0;
        fd_ = -1;
        if (!ok) errno = saved;
        return ok && closed;
    }

  private:
    static constexpr size_t kBufferSize = 64 * 1024;

    bool fail(int error) {
        failed_ = true;
        error_ = error;
        errno = error;
        return false;
    }
    bool again() const {
        errno = error_;
        return false;
    }

    bool writeAll(const char* p, uint64_t n) {
        while (n > 0) {
            const ssize_t w = ::write(fd_, p, size_t(std::min<uint64_t>(n, 1u << 30)));
            if (w < 0 && errno == EINTR) continue;
            if (w < 0) return fail(errno);
            if (w == 0) return fail(ENOSPC);
            p += w;
            n -= uint64_t(w);
        }
        return true;
    }

    int fd_;
    std::vector<char> buffer_;
    uint64_t position_ = 0;
    uint64_t end_;
    bool failed_ = false;
    int error_ = 0;
};

MmioFile* File(HMMIO h) {
    return reinterpret_cast<MmioFile*>(h);
}

bool PutU32(MmioFile* f, uint32_t v) {
    const char b[4] = {char(v & 0xff), char((v >> 8) & 0xff), char((v >> 16) & 0xff),
                       char((v >> 24) & 0xff)};
    return f->write(b, 4);
}

}  // namespace

HMMIO mmioOpenA(LPCSTR pszFileName, void* pmmioinfo, DWORD fdwOpen) {
    if (!pszFileName || !*pszFileName || pmmioinfo || (fdwOpen & 0x3) != MMIO_WRITE) {
        errno = EINVAL;
        return nullptr;
    }
    int flags = O_WRONLY | O_CLOEXEC;
    if (fdwOpen & MMIO_CREATE)
        flags |= (fdwOpen & MMIO_CREATENEW) ? O_CREAT | O_EXCL : O_CREAT | O_TRUNC;
    // Non-blocking only for the open itself: a FIFO without a reader fails (ENXIO) instead of
    // waiting for ever.
    const int fd = ::open(pszFileName, flags | O_NONBLOCK, 0666);
    if (fd < 0) return nullptr;
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    const off_t size = ::lseek(fd, 0, SEEK_END);
    ::lseek(fd, 0, SEEK_SET);
    return reinterpret_cast<HMMIO>(new MmioFile(fd, size > 0 ? uint64_t(size) : 0));
}

FOURCC mmioStringToFOURCCA(LPCSTR sz, UINT uFlags) {
    char c[4] = {' ', ' ', ' ', ' '};
    for (int i = 0; i < 4 && sz && sz[i]; ++i) {
        c[i] = sz[i];
        if ((uFlags & MMIO_TOUPPER) && c[i] >= 'a' && c[i] <= 'z') c[i] = char(c[i] - 'a' + 'A');
    }
    return FOURCC(uint8_t(c[0])) | FOURCC(uint8_t(c[1])) << 8 | FOURCC(uint8_t(c[2])) << 16 |
           FOURCC(uint8_t(c[3])) << 24;
}

MMRESULT mmioCreateChunk(HMMIO hmmio, MMCKINFO* pmmcki, UINT fuCreate) {
    MmioFile* f = File(hmmio);
    if (!f || !pmmcki) return MMSYSERR_INVALPARAM;
    const bool riff = fuCreate & MMIO_CREATERIFF, list = fuCreate & MMIO_CREATELIST;
    if (riff) pmmcki->ckid = mmioStringToFOURCCA("RIFF", 0);
    if (list) pmmcki->ckid = mmioStringToFOURCCA("LIST", 0);
    // The size field is 32 bits: a chunk cannot start beyond what its offset field can hold.
    if (f->position() + 8 > 0xFFFFFFFFull) return MMIOERR_CANNOTEXPAND;
    if (!PutU32(f, pmmcki->ckid) || !PutU32(f, pmmcki->cksize)) return MMIOERR_CANNOTWRITE;
    pmmcki->dwDataOffset = DWORD(f->position());
    if ((riff || list) && !PutU32(f, pmmcki->fccType)) return MMIOERR_CANNOTWRITE;
    pmmcki->dwFlags = MMIO_DIRTY;
    return MMSYSERR_NOERROR;
}

int64_t mmioWrite(HMMIO hmmio, const char* pch, int64_t cch) {
    MmioFile* f = File(hmmio);
    if (!f || cch < 0 || (cch > 0 && !pch)) return -1;
    return f->write(pch, uint64_t(cch)) ? cch : -1;
}

MMRESULT mmioAscend(HMMIO hmmio, MMCKINFO* pmmcki, UINT) {
    MmioFile* f = File(hmmio);
    if (!f || !pmmcki) return MMSYSERR_INVALPARAM;
    const uint64_t end = f->position();
    if (end < pmmcki->dwDataOffset) return MMIOERR_CANNOTSEEK;
    const uint64_t size = end - pmmcki->dwDataOffset;
    if (size > 0xFFFFFFFFull) return MMIOERR_CANNOTEXPAND;
    if (size & 1) {
        if (!f->write("", 1)) return MMIOERR_CANNOTWRITE;
    }
    if ((pmmcki->dwFlags & MMIO_DIRTY) || pmmcki->cksize != size) {
        const uint64_t after = f->position();
        if (!f->seek(int64_t(pmmcki->dwDataOffset) - 4, SEEK_SET)) return MMIOERR_CANNOTSEEK;
        if (!PutU32(f, uint32_t(size))) return MMIOERR_CANNOTWRITE;
        if (!f->seek(int64_t(after), SEEK_SET)) return MMIOERR_CANNOTSEEK;
        pmmcki->cksize = DWORD(size);
        pmmcki->dwFlags &= ~MMIO_DIRTY;
    }
    return MMSYSERR_NOERROR;
}

int64_t mmioSeek(HMMIO hmmio, int64_t lOffset, int iOrigin) {
    MmioFile* f = File(hmmio);
    if (!f) {
        errno = EBADF;
        return -1;
    }
    return f->seek(lOffset, iOrigin) ? int64_t(f->position()) : -1;
}

MMRESULT mmioFlush(HMMIO hmmio, UINT fuFlush) {
    MmioFile* f = File(hmmio);
    if (!f) return MMSYSERR_INVALHANDLE;
    const bool ok = (fuFlush & MMIO_TODISK) ? f->sync() : f->flush();
    return ok ? MMSYSERR_NOERROR : MMIOERR_CANNOTWRITE;
}

MMRESULT mmioClose(HMMIO hmmio, UINT) {
    MmioFile* f = File(hmmio);
    if (!f) return MMSYSERR_INVALHANDLE;
    const bool ok = f->close();
    const int saved = errno;
    delete f;
    errno = saved;
    return ok ? MMSYSERR_NOERROR : MMIOERR_CANNOTWRITE;
}
