#include "platform/normalize.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

namespace platform {

namespace {

constexpr size_t kBlock = 1 << 16;

uint32_t U32(const uint8_t* p) {
    return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24;
}

bool ReadAt(int fd, void* to, size_t n, off_t at) {
    return ::pread(fd, to, n, at) == ssize_t(n);
}

// Where the samples are: the data chunk of a 16-bit PCM file, as far as the file holds it.
bool FindData(int fd, off_t* start, uint64_t* bytes, std::string* why) {
    uint8_t head[12];
    if (!ReadAt(fd, head, 12, 0) || std::memcmp(head, "RIFF", 4) ||
        std::memcmp(head + 8, "WAVE", 4))
        return *why = "not a WAV file", false;
    bool pcm16 = false;
    for (off_t at = 12;;) {
        uint8_t chunk[24];
        if (!ReadAt(fd, chunk, 8, at)) return *why = "the WAV file has no data chunk", false;
        const uint32_t size = U32(chunk + 4);
        if (!std::memcmp(chunk, "fmt ", 4) && ReadAt(fd, chunk + 8, 16, at + 8))
            pcm16 = chunk[8] == 1 && chunk[9] == 0 && chunk[22] == 16 && chunk[23] == 0;
        if (!std::memcmp(chunk, "data", 4)) {
            if (!pcm16) return *why = "the WAV file is not 16-bit PCM", false;
            const off_t end = ::lseek(fd, 0, SEEK_END);
            *start = at + 8;
            *bytes = std::min<uint64_t>(size, uint64_t(std::max<off_t>(end - *start, 0))) / 2 * 2;
            return true;
        }
        at += 8 + off_t(size) + (size & 1);
    }
}

// Runs `each` over the samples block by block; it may change them, which are then written back.
template <class Each>
bool ForEachBlock(int fd, off_t start, uint64_t bytes, bool write, Each each) {
    std::vector<int16_t> block(kBlock / 2);
    for (uint64_t done = 0; done < bytes;) {
        const size_t n = size_t(std::min<uint64_t>(kBlock, bytes - done));
        const off_t at = start + off_t(done);
        if (!ReadAt(fd, block.data(), n, at)) return false;
        each(block.data(), n / 2);
        if (write && ::pwrite(fd, block.data(), n, at) != ssize_t(n)) return false;
        done += n;
    }
    return true;
}

}  // namespace

bool NormalizeWave(const std::string& path, double peakDbfs, double* gainDb, std::string* error) {
    std::string why;
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) return *error = path + ": " + std::strerror(errno), false;
    off_t start = 0;
    uint64_t bytes = 0;
    int32_t peak = 0;
    bool ok = FindData(fd, &start, &bytes, &why) &&
              ForEachBlock(fd, start, bytes, false, [&peak](int16_t* s, size_t n) {
                  for (size_t i = 0; i < n; ++i) peak = std::max(peak, std::abs(int32_t(s[i])));
              });
    const double gain = peak ? 32768 * std::pow(10.0, peakDbfs / 20) / peak : 1.0;
    if (ok && peak)
        ok = ForEachBlock(fd, start, bytes, true, [gain](int16_t* s, size_t n) {
            for (size_t i = 0; i < n; ++i)
                s[i] = int16_t(std::clamp<long>(std::lround(s[i] * gain), -32768, 32767));
        });
    if (ok) ok = ::fsync(fd) == 0;
    if (!ok && why.empty()) why = std::strerror(errno ? errno : EIO);
    if (::close(fd) != 0 && ok) {
        ok = false;
        why = std::strerror(errno);
    }
    if (!ok) return *error = path + ": " + why, false;
    *gainDb = 20 * std::log10(gain);
    return true;
}

}  // namespace platform
