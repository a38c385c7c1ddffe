#include "platform/pulse/wave_source.h"

#include <algorithm>
#include <cmath>

namespace platform::pulse {
namespace {

constexpr sf_count_t kWindowFrames = 4096;

bool IsWav(int format) {
    const int major = format & SF_FORMAT_TYPEMASK;
    return major == SF_FORMAT_WAV || major == SF_FORMAT_WAVEX || major == SF_FORMAT_RF64;
}

}  // namespace

std::unique_ptr<WaveSource> WaveSource::Open(const std::string& path, std::string* error) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file) {
        *error = std::string("not a readable WAV file: ") + sf_strerror(nullptr);
        return nullptr;
    }
    if (!IsWav(info.format) || info.channels < 1 || info.samplerate < 1) {
        sf_close(file);
        *error = "not a WAV file (the contents are another sound format)";
        return nullptr;
    }
    return std::unique_ptr<WaveSource>(new WaveSource(file, info));
}

WaveSource::WaveSource(SNDFILE* file, const SF_INFO& info)
    : file_(file),
      info_(info),
      lengthFrames_(uint64_t(std::max<sf_count_t>(info.frames, 0)) * kRate /
                    uint64_t(info.samplerate)),
      window_(size_t(kWindowFrames) * size_t(info.channels)) {}

WaveSource::~WaveSource() {
    sf_close(file_);
}

uint32_t WaveSource::LengthMs() const {
    return uint32_t(std::min<uint64_t>(lengthFrames_ * 1000 / kRate, UINT32_MAX));
}

void WaveSource::SeekFrame(uint64_t frame) {
    frame_ = std::min(frame, lengthFrames_);
}

bool WaveSource::SourceFrame(uint64_t index, float* left, float* right) {
    if (index < windowStart_ || index >= windowStart_ + windowFrames_) {
        if (index >= uint64_t(info_.frames)) return false;
        // One frame before it too: interpolation asks for a frame and the next one.
        const uint64_t start = index ? index - 1 : 0;
        if (sf_seek(file_, sf_count_t(start), SEEK_SET) < 0) return false;
        const sf_count_t got = sf_readf_float(file_, window_.data(), kWindowFrames);
        windowStart_ = start;
        windowFrames_ = uint64_t(std::max<sf_count_t>(got, 0));
        if (index >= windowStart_ + windowFrames_) return false;
    }
    const float* f = &window_[size_t(index - windowStart_) * size_t(info_.channels)];
    *left = f[0];
    *right = info_.channels > 1 ? f[1] : f[0];
    return true;
}

void WaveSource::Render(float* out, size_t frames) {
    std::fill(out, out + frames * kChannels, 0.0f);
    if (!playing_) return;
    const bool sameRate = info_.samplerate == kRate;
    for (size_t i = 0; i < frames && frame_ < lengthFrames_; ++i, ++frame_) {
        float l0 = 0, r0 = 0;
        if (sameRate) {
            if (!SourceFrame(frame_, &l0, &r0)) break;
            out[2 * i] = l0;
            out[2 * i + 1] = r0;
            continue;
        }
        // Output frame n sits at n * rate / 44100 in the file's frames.
        const uint64_t num = frame_ * uint64_t(info_.samplerate);
        const uint64_t at = num / kRate;
        const float frac = float(num % kRate) / float(kRate);
        if (!SourceFrame(at, &l0, &r0)) break;
        float l1 = l0, r1 = r0;
        SourceFrame(at + 1, &l1, &r1);
        out[2 * i] = l0 + (l1 - l0) * frac;
        out[2 * i + 1] = r0 + (r1 - r0) * frac;
    }
}

}  // namespace platform::pulse
