#include "support/pcm.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>

namespace testsupport {

std::vector<uint8_t> StereoTone(double hz, double seconds, double amplitude) {
    const size_t frames = size_t(std::llround(seconds * 44100));
    std::vector<uint8_t> out(frames * 4);
    for (size_t i = 0; i < frames; ++i) {
        const auto s = int16_t(std::lround(amplitude * 32767 * std::sin(2 * M_PI * hz * i / 44100)));
        for (int c = 0; c < 2; ++c) {
            out[i * 4 + c * 2] = uint8_t(s & 0xff);
            out[i * 4 + c * 2 + 1] = uint8_t((uint16_t(s) >> 8) & 0xff);
        }
    }
    return out;
}

std::vector<uint8_t> ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

static uint32_t U32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }
static uint16_t U16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }

std::optional<WavFile> ReadWav(const std::string& path) {
    const auto bytes = ReadAll(path);
    if (bytes.size() < 44 || std::memcmp(bytes.data(), "RIFF", 4) || std::memcmp(bytes.data() + 8, "WAVE", 4))
        return std::nullopt;
    WavFile w;
    w.header.assign(bytes.begin(), bytes.begin() + 44);
    size_t pos = 12;
    bool haveFmt = false;
    while (pos + 8 <= bytes.size()) {
        const uint32_t size = U32(&bytes[pos + 4]);
        const uint8_t* body = &bytes[pos + 8];
        const size_t avail = std::min<size_t>(size, bytes.size() - pos - 8);
        if (!std::memcmp(&bytes[pos], "fmt ", 4) && avail >= 16) {
            w.formatTag = U16(body);
            w.channels = U16(body + 2);
            w.sampleRate = U32(body + 4);
            w.byteRate = U32(body + 8);
            w.blockAlign = U16(body + 12);
            w.bitsPerSample = U16(body + 14);
            haveFmt = true;
        } else if (!std::memcmp(&bytes[pos], "data", 4)) {
            w.data.assign(body, body + avail);
            return haveFmt ? std::optional<WavFile>(w) : std::nullopt;
        }
        pos += 8 + size + (size & 1);
    }
    return std::nullopt;
}

std::vector<int16_t> WavFile::left() const {
    std::vector<int16_t> out;
    if (bitsPerSample != 16 || blockAlign == 0) return out;
    out.reserve(data.size() / blockAlign);
    for (size_t i = 0; i + 1 < data.size(); i += blockAlign) out.push_back(int16_t(U16(&data[i])));
    return out;
}

double EstimateFrequency(const std::vector<int16_t>& s, int rate) {
    const int peak = Peak(s);
    const int loud = peak / 4;
    size_t first = 0, last = 0, crossings = 0;
    bool seen = false, sounding = false;
    for (size_t i = 1; i < s.size(); ++i) {
        // Counting starts once the signal is loud; its crossings themselves are near zero.
        sounding = sounding || std::abs(s[i]) >= loud;
        if (!sounding) continue;
        if (s[i - 1] < 0 && s[i] >= 0) {
            if (!seen) {
                first = i;
                seen = true;
            } else {
                ++crossings;
                last = i;
            }
        }
    }
    return (crossings && last > first) ? crossings * double(rate) / double(last - first) : 0;
}

double EstimatePitch(const std::vector<int16_t>& s, size_t from, size_t count, int rate) {
    if (from >= s.size()) return 0;
    count = std::min(count, s.size() - from);
    const size_t minLag = size_t(rate / 2000), maxLag = std::min<size_t>(size_t(rate / 40), count / 2);
    std::vector<double> r(maxLag + 1, 0);
    for (size_t lag = minLag; lag <= maxLag; ++lag) {
        double acc = 0, e1 = 0, e2 = 0;
        for (size_t i = from; i + lag < from + count; ++i) {
            acc += double(s[i]) * s[i + lag];
            e1 += double(s[i]) * s[i];
            e2 += double(s[i + lag]) * s[i + lag];
        }
        r[lag] = (e1 > 0 && e2 > 0) ? acc / std::sqrt(e1 * e2) : 0;
    }
    const double best = *std::max_element(r.begin(), r.end());
    // The first lag that comes close to the best one: the fundamental, not a multiple of it.
    for (size_t lag = minLag + 1; lag < maxLag; ++lag)
        if (r[lag] >= 0.9 * best && r[lag] >= r[lag - 1] && r[lag] >= r[lag + 1]) {
            const double a = r[lag - 1], b = r[lag], c = r[lag + 1];
            const double den = a - 2 * b + c;
            const double shift = den != 0 ? 0.5 * (a - c) / den : 0;
            return rate / (lag + shift);
        }
    return 0;
}

double Rms(const std::vector<int16_t>& s, size_t from, size_t count) {
    if (from >= s.size()) return 0;
    count = std::min(count, s.size() - from);
    double acc = 0;
    for (size_t i = from; i < from + count; ++i) acc += double(s[i]) * s[i];
    return count ? std::sqrt(acc / count) : 0;
}

int Peak(const std::vector<int16_t>& s) {
    int p = 0;
    for (auto v : s) p = std::max(p, std::abs(int(v)));
    return p;
}

size_t FirstLoud(const std::vector<int16_t>& s, int threshold) {
    for (size_t i = 0; i < s.size(); ++i)
        if (std::abs(int(s[i])) > threshold) return i;
    return SIZE_MAX;
}

std::vector<Gap> InnerSilences(const std::vector<int16_t>& s, size_t minFrames, int tolerance, int loud) {
    std::vector<Gap> gaps;
    const size_t first = FirstLoud(s, loud);
    if (first == SIZE_MAX) return gaps;
    size_t last = s.size() - 1;
    while (last > first && std::abs(int(s[last])) <= loud) --last;
    size_t run = 0;
    for (size_t i = first; i <= last; ++i) {
        if (std::abs(int(s[i])) <= tolerance) {
            ++run;
        } else {
            if (run >= minFrames) gaps.push_back({i - run, run});
            run = 0;
        }
    }
    return gaps;
}

}  // namespace testsupport
