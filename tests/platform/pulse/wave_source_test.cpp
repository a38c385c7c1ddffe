#include "platform/pulse/wave_source.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "platform/encode.h"
#include "support/decoded.h"
#include "support/pcm.h"
#include "support/temp_folder.h"

namespace {

using platform::pulse::WaveSource;

// A WAV file: format 1 (integer PCM) or 3 (float), samples given as raw little-endian bytes.
std::string WriteWav(const std::string& path, uint16_t format, uint16_t channels, uint32_t rate,
                     uint16_t bits, const std::vector<uint8_t>& data) {
    std::vector<uint8_t> f;
    auto put = [&](uint32_t x, int n) {
        for (int i = 0; i < n; ++i) f.push_back(uint8_t(x >> (8 * i)));
    };
    auto tag = [&](const char* t) { f.insert(f.end(), t, t + 4); };
    tag("RIFF");
    put(uint32_t(36 + data.size()), 4);
    tag("WAVE");
    tag("fmt ");
    put(16, 4);
    put(format, 2);
    put(channels, 2);
    put(rate, 4);
    put(rate * channels * bits / 8, 4);
    put(channels * bits / 8, 2);
    put(bits, 2);
    tag("data");
    put(uint32_t(data.size()), 4);
    f.insert(f.end(), data.begin(), data.end());
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(f.data()), std::streamsize(f.size()));
    return path;
}

std::vector<uint8_t> S16(const std::vector<int16_t>& samples) {
    std::vector<uint8_t> out;
    for (int16_t s : samples) {
        out.push_back(uint8_t(s));
        out.push_back(uint8_t(uint16_t(s) >> 8));
    }
    return out;
}

std::vector<float> RenderAll(WaveSource& w, size_t frames) {
    std::vector<float> out(frames * 2, -9.0f);
    w.Render(out.data(), frames);
    return out;
}

TEST(WaveSource, PlaysPcmAsIsAndSilenceWhileStoppedOrPastTheEnd) {
    const testsupport::TempFolder dir;
    std::vector<int16_t> samples;
    for (int i = 0; i < 44100; ++i) {
        samples.push_back(int16_t(i % 1000));
        samples.push_back(int16_t(-(i % 1000)));
    }
    std::string error;
    auto w = WaveSource::Open(WriteWav(dir.Path("a.wav"), 1, 2, 44100, 16, S16(samples)), &error);
    ASSERT_TRUE(w) << error;
    EXPECT_EQ(w->LengthFrames(), 44100u);
    EXPECT_EQ(w->LengthMs(), 1000u);

    auto quiet = RenderAll(*w, 100);
    EXPECT_TRUE(std::all_of(quiet.begin(), quiet.end(), [](float f) { return f == 0.0f; }));
    EXPECT_EQ(w->Frame(), 0u);

    w->Start();
    // Across the reader's window boundary (4096 frames) and up to the end.
    auto all = RenderAll(*w, 44100 + 50);
    for (size_t i = 0; i < 44100; ++i) {
        ASSERT_FLOAT_EQ(all[2 * i], float(i % 1000) / 32768.0f) << i;
        ASSERT_FLOAT_EQ(all[2 * i + 1], -float(i % 1000) / 32768.0f) << i;
    }
    for (size_t i = 2 * 44100; i < all.size(); ++i) ASSERT_EQ(all[i], 0.0f);
    EXPECT_TRUE(w->Finished());
    EXPECT_EQ(w->Frame(), 44100u);

    w->Stop();
    w->SeekFrame(5000);
    w->Start();
    auto again = RenderAll(*w, 3);
    EXPECT_FLOAT_EQ(again[0], float(5000 % 1000) / 32768.0f);
    EXPECT_FLOAT_EQ(again[2], 1.0f / 32768.0f);
    EXPECT_FALSE(w->Finished());
}

TEST(WaveSource, ConvertsMonoAndOtherRatesToStereo44100) {
    const testsupport::TempFolder dir;
    // 22 050 Hz mono ramp: every second output frame falls between two input frames.
    std::vector<int16_t> ramp;
    for (int i = 0; i < 22050; ++i) ramp.push_back(int16_t(i));
    std::string error;
    auto w = WaveSource::Open(WriteWav(dir.Path("m.wav"), 1, 1, 22050, 16, S16(ramp)), &error);
    ASSERT_TRUE(w) << error;
    EXPECT_EQ(w->LengthFrames(), 44100u);
    EXPECT_EQ(w->LengthMs(), 1000u);
    w->Start();
    auto out = RenderAll(*w, 44100);
    for (size_t i = 0; i + 2 < 44100; ++i) {
        const float expected = float(i) / 2 / 32768.0f;
        ASSERT_NEAR(out[2 * i], expected, 1e-6) << i;
        ASSERT_EQ(out[2 * i], out[2 * i + 1]) << i;
    }

    // Float samples at 48 kHz keep their values beyond 16 bits.
    std::vector<uint8_t> data;
    for (int i = 0; i < 48000; ++i) {
        for (float v : {0.123456789f, -0.5f}) {
            uint8_t b[4];
            std::memcpy(b, &v, 4);
            data.insert(data.end(), b, b + 4);
        }
    }
    auto f = WaveSource::Open(WriteWav(dir.Path("f.wav"), 3, 2, 48000, 32, data), &error);
    ASSERT_TRUE(f) << error;
    EXPECT_EQ(f->LengthMs(), 1000u);
    f->Start();
    auto fl = RenderAll(*f, 10);
    EXPECT_FLOAT_EQ(fl[0], 0.123456789f);
    EXPECT_FLOAT_EQ(fl[1], -0.5f);
}

// The forms a conversion writes play as their WAV file does: FLAC to the sample, Opus from its
// 48 kHz back at 44 100 Hz, as long as the music.
TEST(WaveSource, PlaysTheCompressedFilesAConversionWrites) {
    const testsupport::TempFolder dir;
    const auto pcm = testsupport::StereoTone(440, 0.5, 0.5);
    const std::string wav = dir.Path("take.wav");
    ASSERT_TRUE(testsupport::WriteWavFile(wav, pcm));
    const size_t frames = pcm.size() / 4;
    std::string error;
    for (auto format : {platform::OutputFormat::kFlac, platform::OutputFormat::kOpus}) {
        const std::string path = dir.Path("take") + platform::FormatExtension(format);
        ASSERT_TRUE(platform::EncodeRecording(wav, path, format, &error)) << error;
        auto w = WaveSource::Open(path, &error);
        ASSERT_TRUE(w) << path << ": " << error;
        EXPECT_NEAR(double(w->LengthFrames()), double(frames), 960) << path;
        w->Start();
        // Rendered in pieces, as the stream asks for it, across many of the source's windows.
        std::vector<float> out;
        while (!w->Finished()) {
            const auto piece = RenderAll(*w, 1000);
            out.insert(out.end(), piece.begin(), piece.end());
        }
        std::vector<int16_t> left;
        for (size_t i = 0; i < out.size(); i += 2)
            left.push_back(int16_t(std::lround(out[i] * 32768)));
        if (format == platform::OutputFormat::kFlac) {
            const auto source = testsupport::DecodeSound(wav);
            for (size_t i = 0; i < frames; ++i)
                ASSERT_EQ(left[i], source->samples[2 * i]) << "frame " << i;
        }
        EXPECT_NEAR(testsupport::EstimateFrequency(left), 440, 3) << path;
    }
}

TEST(WaveSource, RefusesWhatIsNoWavFile) {
    const testsupport::TempFolder dir;
    std::string error;
    const std::string junk = dir.Path("junk.wav");
    std::ofstream(junk) << "RIFF, but not really a wave file at all";
    EXPECT_FALSE(WaveSource::Open(junk, &error));
    EXPECT_NE(error, "");
    error.clear();
    EXPECT_FALSE(WaveSource::Open("/nonexistent/x.wav", &error));
    EXPECT_NE(error, "");
    // A header that promises more data than there is: played as far as it goes.
    auto path =
        WriteWav(dir.Path("short.wav"), 1, 2, 44100, 16, S16(std::vector<int16_t>(200, 1000)));
    std::filesystem::resize_file(path, 44 + 100 * 4 - 40);
    auto w = WaveSource::Open(path, &error);
    ASSERT_TRUE(w) << error;
    w->Start();
    auto out = RenderAll(*w, 200);
    EXPECT_TRUE(w->Finished());
    EXPECT_EQ(out.back(), 0.0f);
}

}  // namespace
