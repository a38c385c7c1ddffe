#include "engine/wave_stream.h"

#include <cerrno>

#include "platform/output_place.h"

namespace engine {

namespace {

constexpr int64_t kRiffSizeAt = 4;
constexpr int64_t kDataSizeAt = 40;

bool PutU32At(HMMIO file, int64_t at, uint32_t v) {
    const char b[4] = {char(v & 0xff), char((v >> 8) & 0xff), char((v >> 16) & 0xff),
                       char((v >> 24) & 0xff)};
    return mmioSeek(file, at, SEEK_SET) == at && mmioWrite(file, b, 4) == 4;
}

}  // namespace

std::unique_ptr<TWaveStream> TWaveStream::Create(const std::string& path, bool stereo,
                                                 bool sixteenBit, uint32_t samplesPerSecond,
                                                 int* error) {
    HMMIO file =
        mmioOpenA(path.c_str(), nullptr, MMIO_CREATE | MMIO_CREATENEW | MMIO_WRITE | MMIO_ALLOCBUF);
    if (!file) {
        *error = errno;
        return nullptr;
    }
    const uint16_t align = uint16_t((stereo ? 2 : 1) * (sixteenBit ? 2 : 1));
    std::unique_ptr<TWaveStream> stream(new TWaveStream(file, align));
    if (!BeginWave(file, &stream->chunks_, stereo, sixteenBit, samplesPerSecond, 0) ||
        mmioFlush(file, 0) != MMSYSERR_NOERROR) {
        *error = errno;
        stream.reset();
        platform::RemoveFile(path);
        return nullptr;
    }
    return stream;
}

TWaveStream::~TWaveStream() {
    Close();
}

void TWaveStream::Close() {
    if (!file_) return;
    mmioClose(file_, 0);
    file_ = nullptr;
}

bool TWaveStream::Fail() {
    if (error_ == 0) error_ = errno ? errno : EIO;
    return false;
}

bool TWaveStream::Append(const void* data, uint64_t n) {
    if (error_ || !file_) return false;
    // Flushed at once: what the header will count must be with the system, not in our buffer.
    if (mmioWrite(file_, static_cast<const char*>(data), int64_t(n)) != int64_t(n) ||
        mmioFlush(file_, 0) != MMSYSERR_NOERROR) {
        Fail();
        // Whatever part of the piece did land lies beyond the counted data, where readers
        // skip it.
        WriteSizes(length_ / blockAlign_ * blockAlign_);
        return false;
    }
    length_ += n;
    return true;
}

bool TWaveStream::WriteSizes(uint64_t dataBytes) {
    // In place over bytes already on disk, so this works on a full disk too.
    return PutU32At(file_, kRiffSizeAt, uint32_t(36 + dataBytes)) &&
           PutU32At(file_, kDataSizeAt, uint32_t(dataBytes)) &&
           mmioFlush(file_, 0) == MMSYSERR_NOERROR;
}

bool TWaveStream::KeepHeaderValid() {
    if (error_ || !file_) return false;
    // Only whole frames: a half frame at the end would not play.
    if (!WriteSizes(length_ / blockAlign_ * blockAlign_) || mmioSeek(file_, 0, SEEK_END) < 0)
        return Fail();
    return true;
}

bool TWaveStream::Finish() {
    if (!file_) return false;
    if (error_) {
        WriteSizes(length_ / blockAlign_ * blockAlign_);
        Close();
        return false;
    }
    const bool ok = mmioSeek(file_, 0, SEEK_END) >= 0 && EndWave(file_, &chunks_) &&
                    mmioFlush(file_, MMIO_TODISK) == MMSYSERR_NOERROR;
    if (!ok) Fail();
    const bool closed = mmioClose(file_, 0) == MMSYSERR_NOERROR;
    file_ = nullptr;
    if (!closed) Fail();
    return ok && closed;
}

}  // namespace engine
