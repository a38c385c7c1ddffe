#include "bench/render_compare.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>
#include <vector>

#include "engine/mixer_state.h"
#include "platform/midi/smf_reader.h"
#include "platform/pulse/program_levels.h"
#include "platform/synth/midi_renderer.h"

namespace bench {

namespace {

std::vector<int16_t> ReadWav(const std::string& path, std::string* error) {
    SF_INFO info{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    if (!f) {
        *error = "cannot read " + path;
        return {};
    }
    std::vector<int16_t> samples(size_t(info.frames) * 2);
    samples.resize(size_t(sf_read_short(f, samples.data(), sf_count_t(samples.size()))));
    sf_close(f);
    if (info.channels != 2 || info.samplerate != 44100) *error = path + " is not 44.1 kHz stereo";
    return samples;
}

int64_t FirstSound(const std::vector<int16_t>& s) {
    for (size_t i = 0; i < s.size(); ++i)
        if (s[i] != 0) return int64_t(i / 2);
    return -1;
}

double Error(const std::vector<int16_t>& wav, const std::vector<int16_t>& ref, int64_t offset,
             int64_t from, int64_t frames) {
    double e = 0;
    for (int64_t i = from; i < from + frames; ++i) {
        const int64_t j = i + offset;
        if (j < 0 || 2 * j + 1 >= int64_t(wav.size()) || 2 * i + 1 >= int64_t(ref.size()))
            return INFINITY;
        for (int c = 0; c < 2; ++c) {
            const double d = double(wav[size_t(2 * j + c)]) - ref[size_t(2 * i + c)];
            e += d * d;
        }
    }
    return e;
}

// A frame of the render at a fractional position, through a Kaiser-windowed sinc long enough
// that its own error stays far below the differences it is to show.
class Interpolator {
  public:
    static constexpr int kHalf = 128;
    explicit Interpolator(double shift) : taps_(2 * kHalf + 1) {
        const double beta = 12, norm = std::cyl_bessel_i(0.0, beta);
        for (int k = -kHalf; k <= kHalf; ++k) {
            const double t = k - shift, x = double(k) / (kHalf + 1);
            const double sinc =
                t == 0 ? 1 : std::sin(std::numbers::pi * t) / (std::numbers::pi * t);
            taps_[size_t(k + kHalf)] =
                sinc * std::cyl_bessel_i(0.0, beta * std::sqrt(1 - x * x)) / norm;
        }
    }
    // Whether frame i's window lies within the render.
    static bool Inside(const std::vector<int16_t>& ref, int64_t i) {
        return i >= kHalf && 2 * (i + kHalf) + 1 < int64_t(ref.size());
    }
    // Sample `c` of frame i + shift, for a frame Inside.
    double At(const std::vector<int16_t>& ref, int64_t i, int c) const {
        double sum = 0;
        for (int k = -kHalf; k <= kHalf; ++k)
            sum += taps_[size_t(k + kHalf)] * ref[size_t(2 * (i + k) + c)];
        return sum;
    }

  private:
    std::vector<double> taps_;
};

struct Fit {
    double snrDb = -INFINITY;
    int64_t maxDifference = 0;
};

Fit FitShifted(const std::vector<int16_t>& wav, const std::vector<int16_t>& ref, int64_t offset,
               double shift, int64_t from, int64_t frames) {
    const Interpolator at(shift);
    double signal = 0, noise = 0;
    Fit fit;
    for (int64_t i = from; i < from + frames; ++i) {
        const int64_t j = i + offset;
        if (j < 0 || 2 * j + 1 >= int64_t(wav.size()) || !Interpolator::Inside(ref, i)) continue;
        for (int c = 0; c < 2; ++c) {
            const double x = at.At(ref, i, c), d = double(wav[size_t(2 * j + c)]) - x;
            fit.maxDifference = std::max<int64_t>(fit.maxDifference, std::llround(std::fabs(d)));
            signal += x * x;
            noise += d * d;
        }
    }
    fit.snrDb = 10 * std::log10(signal / std::max(noise, 1e-9));
    return fit;
}

// The shift that fits best on two seconds, each pass ten times finer around the last one's
// best, then the fit over the whole overlap.
void FindSubFrameShift(const std::vector<int16_t>& wav, const std::vector<int16_t>& ref,
                       Residual& r, int64_t from, int64_t frames) {
    double best = -INFINITY, span = 1.0;
    for (double step : {0.05, 0.005, 0.0005}) {
        const double centre = r.subFrameShift;
        for (double s = centre - span; s <= centre + span + step / 2; s += step) {
            const double snr = FitShifted(wav, ref, r.offsetFrames, s, from, frames).snrDb;
            if (snr > best) {
                best = snr;
                r.subFrameShift = s;
            }
        }
        span = step;
    }
    const Fit whole =
        FitShifted(wav, ref, r.offsetFrames, r.subFrameShift, 0, int64_t(r.renderFrames));
    r.subFrameSnrDb = whole.snrDb;
    r.subFrameMaxDifference = whole.maxDifference;
}

}  // namespace

platform::pulse::SynthesizerGains ConversionGains(int percent) {
    using engine::mixer::PercentOfBounds;
    const platform::pulse::Level speakers{PercentOfBounds(0, 65535, 50), false};
    const platform::pulse::Level line{PercentOfBounds(0, 65535, percent), false};
    return platform::pulse::SynthesizerRecordingGains(speakers, line);
}

Residual CompareWithRender(const std::string& midiPath, const std::string& wavPath,
                           const platform::pulse::SynthesizerGains& gains, int64_t searchFrames,
                           bool subFrame, const std::string& soundFont) {
    Residual r;
    auto song = platform::midi::ReadSmfFile(midiPath, &r.error);
    if (!song) return r;
    const auto music = platform::synth::RenderOffline(
        std::make_shared<const platform::midi::SmfSong>(std::move(*song)), &r.error, gains.Total(),
        soundFont);
    if (music.empty()) return r;
    const auto wav = ReadWav(wavPath, &r.error);
    if (!r.error.empty()) return r;
    std::vector<int16_t> ref(music.size());
    for (size_t i = 0; i < music.size(); ++i)
        ref[i] = platform::pulse::RecordedSample(music[i], gains);
    r.wavFrames = wav.size() / 2;
    r.renderFrames = ref.size() / 2;
    r.firstSoundWav = FirstSound(wav);
    r.firstSoundRender = FirstSound(ref);
    for (int16_t s : wav) r.clipped += (s >= 32767 || s <= -32768);
    // Align on two seconds of the music from its first sound.
    const int64_t from = std::max<int64_t>(r.firstSoundRender, 0);
    const int64_t frames = std::min<int64_t>(88200, int64_t(r.renderFrames) - from);
    double best = INFINITY;
    for (int64_t off = -searchFrames; off <= searchFrames; ++off) {
        const double e = Error(wav, ref, off, from, frames);
        if (e < best) {
            best = e;
            r.offsetFrames = off;
        }
    }
    double signal = 0, noise = 0;
    for (size_t i = 0; i < r.renderFrames; ++i) {
        const int64_t j = int64_t(i) + r.offsetFrames;
        if (j < 0 || uint64_t(j) >= r.wavFrames) continue;
        for (int c = 0; c < 2; ++c) {
            const double d = double(wav[size_t(2 * j + c)]) - ref[2 * i + c];
            r.maxDifference = std::max<int64_t>(r.maxDifference, std::llabs(int64_t(d)));
            noise += d * d;
            signal += double(ref[2 * i + c]) * ref[2 * i + c];
            r.peak = std::max<int64_t>(r.peak, std::abs(ref[2 * i + c]));
        }
    }
    r.snrDb = 10 * std::log10(signal / std::max(noise, 1e-9));
    if (subFrame) FindSubFrameShift(wav, ref, r, from, frames);
    return r;
}

}  // namespace bench
