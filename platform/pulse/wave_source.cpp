#include "platform/pulse/wave_source.h"

#include <sndfile.h>

#include <algorithm>

namespace platform::pulse {
namespace {

constexpr sf_count_t kWindowFrames = 4096;

// WAV files, and the compressed forms the program writes.
bool Plays(int format) {
    switch (format & SF_FORMAT_TYPEMASK) {
        case SF_FORMAT_WAV:
        case SF_FORMAT_WAVEX:
        case SF_FORMAT_RF64:
        case SF_FORMAT_FLAC:
        case SF_FORMAT_OGG:
        case SF_FORMAT_MPEG:
            return true;
        default:
            return false;
    }
}

}  // namespace

struct WaveSource::File {
    SNDFILE* handle = nullptr;
    SF_INFO info{};
    ~File() {
        if (handle) sf_close(handle);
    }
};

std::unique_ptr<WaveSource> WaveSource::Open(const std::string& path, std::string* error) {
    auto file = std::make_unique<File>();
    file->handle = sf_open(path.c_str(), SFM_READ, &file->info);
    if (!file->handle) {
        *error = std::string("not a readable WAV, FLAC, Ogg or MP3 file: ") + sf_strerror(nullptr);
        return nullptr;
    }
    const SF_INFO& info = file->info;
    if (!Plays(info.format) || info.channels < 1 || info.samplerate < 1) {
        *error = "not a WAV, FLAC, Ogg or MP3 file (the contents are another sound format)";
        return nullptr;
    }
    return std::unique_ptr<WaveSource>(new WaveSource(std::move(file)));
}

WaveSource::WaveSource(std::unique_ptr<File> file)
    : file_(std::move(file)),
      channels_(file_->info.channels),
      rate_(file_->info.samplerate),
      fileFrames_(uint64_t(std::max<sf_count_t>(file_->info.frames, 0))),
      lengthFrames_(fileFrames_ * kRate / uint64_t(rate_)),
      endFrame_(lengthFrames_),
      window_(size_t(kWindowFrames) * size_t(channels_)) {}

WaveSource::~WaveSource() = default;

uint32_t WaveSource::LengthMs() const {
    return uint32_t(std::min<uint64_t>(lengthFrames_ * 1000 / kRate, UINT32_MAX));
}

void WaveSource::SeekFrame(uint64_t frame) {
    frame_ = std::min(frame, lengthFrames_);
}

bool WaveSource::Refill(uint64_t index) {
    // One frame before it too: interpolation asks for a frame and the next one.
    const uint64_t start = index ? index - 1 : 0;
    const size_t channels = size_t(channels_);
    size_t kept = 0;
    // Played in order, the file goes on where the window ends: no seek, which in a compressed
    // file is a search.
    if (windowFrames_ > 0 && start + 1 == windowStart_ + windowFrames_) {
        std::copy_n(window_.begin() + ptrdiff_t((windowFrames_ - 1) * channels), channels,
                    window_.begin());
        kept = 1;
    } else if (sf_seek(file_->handle, sf_count_t(start), SEEK_SET) < 0) {
        return false;
    }
    const sf_count_t got = sf_readf_float(file_->handle, window_.data() + kept * channels,
                                          kWindowFrames - sf_count_t(kept));
    windowStart_ = start;
    windowFrames_ = kept + uint64_t(std::max<sf_count_t>(got, 0));
    return index < windowStart_ + windowFrames_;
}

bool WaveSource::SourceFrame(uint64_t index, float* left, float* right) {
    if (index < windowStart_ || index >= windowStart_ + windowFrames_) {
        if (index >= fileFrames_ || !Refill(index)) return false;
    }
    const float* f = &window_[size_t(index - windowStart_) * size_t(channels_)];
    *left = f[0];
    *right = channels_ > 1 ? f[1] : f[0];
    return true;
}

void WaveSource::Render(float* out, size_t frames) {
    std::fill(out, out + frames * kChannels, 0.0f);
    if (!playing_) return;
    const bool sameRate = rate_ == kRate;
    for (size_t i = 0; i < frames && frame_ < endFrame_; ++i, ++frame_) {
        float l0 = 0, r0 = 0;
        if (sameRate) {
            if (!SourceFrame(frame_, &l0, &r0)) {
                endFrame_ = frame_;  // the data ends early: so does the sound
                break;
            }
            out[2 * i] = l0;
            out[2 * i + 1] = r0;
            continue;
        }
        // Output frame n sits at n * rate / 44100 in the file's frames.
        const uint64_t num = frame_ * uint64_t(rate_);
        const uint64_t at = num / kRate;
        const float frac = float(num % kRate) / float(kRate);
        if (!SourceFrame(at, &l0, &r0)) {
            endFrame_ = frame_;
            break;
        }
        float l1 = l0, r1 = r0;
        SourceFrame(at + 1, &l1, &r1);
        out[2 * i] = l0 + (l1 - l0) * frac;
        out[2 * i + 1] = r0 + (r1 - r0) * frac;
    }
}

}  // namespace platform::pulse
