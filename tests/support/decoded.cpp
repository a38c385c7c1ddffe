#include "support/decoded.h"

#include <sndfile.h>

#include <cmath>
#include <fstream>

namespace testsupport {

std::optional<DecodedSound> DecodeSound(const std::string& path, std::string* error) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file) {
        if (error) *error = sf_strerror(nullptr);
        return std::nullopt;
    }
    DecodedSound sound{info.format, info.samplerate, info.channels, {}};
    std::vector<int16_t> block(size_t(4096 * info.channels));
    for (sf_count_t n; (n = sf_readf_short(file, block.data(), 4096)) > 0;)
        sound.samples.insert(sound.samples.end(), block.begin(), block.begin() + n * info.channels);
    sf_close(file);
    return sound;
}

std::vector<double> RmsEnvelope(const DecodedSound& sound, double ms) {
    const size_t window = size_t(sound.rate * ms / 1000);
    std::vector<double> envelope;
    const size_t frames = sound.frames();
    for (size_t at = 0; window && at + window <= frames; at += window) {
        double sum = 0;
        for (size_t i = at; i < at + window; ++i) {
            double mean = 0;
            for (int c = 0; c < sound.channels; ++c)
                mean += sound.samples[i * size_t(sound.channels) + size_t(c)];
            mean /= sound.channels;
            sum += mean * mean;
        }
        envelope.push_back(std::sqrt(sum / double(window)));
    }
    return envelope;
}

double Correlation(const std::vector<double>& a, const std::vector<double>& b) {
    const size_t n = std::min(a.size(), b.size());
    if (n < 2) return 0;
    double ma = 0, mb = 0;
    for (size_t i = 0; i < n; ++i) ma += a[i], mb += b[i];
    ma /= double(n), mb /= double(n);
    double ab = 0, aa = 0, bb = 0;
    for (size_t i = 0; i < n; ++i) {
        ab += (a[i] - ma) * (b[i] - mb);
        aa += (a[i] - ma) * (a[i] - ma);
        bb += (b[i] - mb) * (b[i] - mb);
    }
    return aa > 0 && bb > 0 ? ab / std::sqrt(aa * bb) : 0;
}

bool WriteWavFile(const std::string& path, const std::vector<uint8_t>& pcm) {
    std::vector<uint8_t> h;
    const auto u32 = [&h](uint32_t v) {
        for (int i = 0; i < 4; ++i) h.push_back(uint8_t(v >> (8 * i)));
    };
    const auto tag = [&h](const char* t) { h.insert(h.end(), t, t + 4); };
    tag("RIFF");
    u32(uint32_t(36 + pcm.size()));
    tag("WAVE");
    tag("fmt ");
    u32(16);
    u32(1 | 2 << 16);  // PCM, two channels
    u32(44100);
    u32(44100 * 4);
    u32(4 | 16 << 16);  // block alignment, bits
    tag("data");
    u32(uint32_t(pcm.size()));
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(h.data()), std::streamsize(h.size()));
    out.write(reinterpret_cast<const char*>(pcm.data()), std::streamsize(pcm.size()));
    return bool(out.flush());
}

}  // namespace testsupport
