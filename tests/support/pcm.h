#pragma once
// Sound measurements for tests: tones in, WAV files read back, pitch, level and gaps out.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

// Interleaved s16le stereo at 44 100 Hz, amplitude as a fraction of full scale.
std::vector<uint8_t> StereoTone(double hz, double seconds, double amplitude);

struct WavFile {
    uint16_t formatTag = 0, channels = 0, blockAlign = 0, bitsPerSample = 0;
    uint32_t sampleRate = 0, byteRate = 0;
    std::vector<uint8_t> header;  // the first 44 bytes
    std::vector<uint8_t> data;    // the data chunk's bytes
    std::vector<int16_t> left() const;
    double seconds() const { return byteRate ? double(data.size()) / byteRate : 0; }
};
std::optional<WavFile> ReadWav(const std::string& path);
std::vector<uint8_t> ReadAll(const std::string& path);

// Frequency from the rising zero crossings of the loud part of a signal.
double EstimateFrequency(const std::vector<int16_t>& samples, int rate = 44100);
// Estimated pitch at [from, from + count) by autocorrelation, for notes with harmonics.
double EstimatePitch(const std::vector<int16_t>& samples, size_t from, size_t count, int rate = 44100);
double Rms(const std::vector<int16_t>& samples, size_t from = 0, size_t count = SIZE_MAX);
int Peak(const std::vector<int16_t>& samples);

// Runs of exact digital silence (|s| <= tolerance) at least minFrames long,
// strictly between the first and the last loud sample.
struct Gap {
    size_t start, length;
};
std::vector<Gap> InnerSilences(const std::vector<int16_t>& samples, size_t minFrames,
                               int tolerance = 0, int loud = 1000);
// First index whose |sample| exceeds the threshold, or SIZE_MAX.
size_t FirstLoud(const std::vector<int16_t>& samples, int threshold);

}  // namespace testsupport
