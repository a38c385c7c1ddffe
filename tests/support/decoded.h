#pragma once
// Sound files of every kind libsndfile reads, decoded for tests that compare a compressed file
// with the WAV file it was made from.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

struct DecodedSound {
    int format = 0;  // libsndfile's: major format | subtype
    int rate = 0, channels = 0;
    std::vector<int16_t> samples;  // interleaved
    size_t frames() const { return channels ? samples.size() / size_t(channels) : 0; }
};
std::optional<DecodedSound> DecodeSound(const std::string& path, std::string* error = nullptr);

// The RMS of the channels' mean over consecutive windows of `ms`.
std::vector<double> RmsEnvelope(const DecodedSound& sound, double ms = 50);
// Pearson's correlation over the length of the shorter.
double Correlation(const std::vector<double>& a, const std::vector<double>& b);

// A 44 100 Hz 16-bit stereo WAV file holding these interleaved s16le bytes.
bool WriteWavFile(const std::string& path, const std::vector<uint8_t>& pcm);

}  // namespace testsupport
