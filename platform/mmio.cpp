#include "platform/mmio.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

namespace {

// A write-only file with one buffer; seeks flush it first.
class MmioFile {
  public:
    explicit MmioFile(int fd) : fd_(fd) { buffer_.reserve(kBufferSize); }
    ~MmioFile() {
        if (fd_ >= 0) ::close(fd_);
    }
    MmioFile(const MmioFile&) = delete;
    MmioFile& operator=(const MmioFile&) = delete;

    uint64_t position() const { return position_; }

    bool write(const char* p, uint64_t n) {
        if (failed_) return false;
        if (buffer_.size() + n <= kBufferSize) {
            buffer_.insert(buffer_.end(), p, p + n);
        } else {
            if (!flush() || !writeAll(p, n)) return false;
        }
        position_ += n;
        return true;
    }

    bool seek(uint64_t to) {
        if (!flush()) return false;
        if (::lseek(fd_, off_t(to), SEEK_SET) < 0) return fail();
        position_ = to;
        return true;
    }

    bool flush() {
        if (failed_) return false;
        if (buffer_.empty()) return true;
        const bool ok = writeAll(buffer_.data(), buffer_.size());
        buffer_.clear();
        return ok;
    }

    bool close() {
        const bool ok = flush();
        const bool closed = ::close(fd_) == 0;
        fd_ = -1;
        return ok && closed;
    }

  private:
    static constexpr size_t kBufferSize = 64 * 1024;

    bool fail() {
        failed_ = true;
        return false;
    }

    bool writeAll(const char* p, uint64_t n) {
        while (n > 0) {
            const ssize_t w = ::write(fd_, p, size_t(std::min<uint64_t>(n, 1u << 30)));
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0) return fail();
            p += w;
            n -= uint64_t(w);
        }
        return true;
    }

    int fd_;
    std::vector<char> buffer_;
    uint64_t position_ = 0;
    bool failed_ = false;
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
    if (!pszFileName || !*pszFileName || pmmioinfo) return nullptr;
    if ((fdwOpen & 0x3) != MMIO_WRITE) return nullptr;
    const int flags = O_WRONLY | O_CLOEXEC | ((fdwOpen & MMIO_CREATE) ? O_CREAT | O_TRUNC : 0);
    const int fd = ::open(pszFileName, flags, 0666);
    if (fd < 0) return nullptr;
    return reinterpret_cast<HMMIO>(new MmioFile(fd));
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
        if (!f->seek(pmmcki->dwDataOffset - 4)) return MMIOERR_CANNOTSEEK;
        if (!PutU32(f, uint32_t(size))) return MMIOERR_CANNOTWRITE;
        if (!f->seek(after)) return MMIOERR_CANNOTSEEK;
        pmmcki->cksize = DWORD(size);
        pmmcki->dwFlags &= ~MMIO_DIRTY;
    }
    return MMSYSERR_NOERROR;
}

MMRESULT mmioClose(HMMIO hmmio, UINT) {
    MmioFile* f = File(hmmio);
    if (!f) return MMSYSERR_INVALHANDLE;
    const bool ok = f->close();
    delete f;
    return ok ? MMSYSERR_NOERROR : MMIOERR_CANNOTWRITE;
}
