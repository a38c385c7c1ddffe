// Loud music through the renderer and the sequencer's source: under full scale at the
// recording's gain, the same samples on every path, and quiet music untouched.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "platform/midi/smf_reader.h"
#include "platform/pulse/program_levels.h"
#include "platform/pulse/sequencer_source.h"
#include "platform/synth/midi_renderer.h"
#include "support/smf_builder.h"

namespace {

using platform::pulse::SynthesizerRecordingGains;
using platform::synth::MidiRenderer;

std::shared_ptr<const platform::midi::SmfSong> LoudChords() {
    const auto bytes = testsupport::LoudChordsSmf();
    std::string error;
    auto song = platform::midi::ReadSmf(bytes.data(), bytes.size(), &error);
    EXPECT_TRUE(song) << error;
    return std::make_shared<const platform::midi::SmfSong>(
        song.value_or(platform::midi::SmfSong{}));
}

std::vector<float> Render(std::shared_ptr<const platform::midi::SmfSong> song, double gain) {
    std::string error;
    auto out = platform::synth::RenderOffline(std::move(song), &error, gain);
    EXPECT_FALSE(out.empty()) << error;
    return out;
}

float Peak(const std::vector<float>& v) {
    float peak = 0;
    for (float x : v) peak = std::max(peak, std::fabs(x));
    return peak;
}

// A conversion at volume 100: the speakers at half, the synthesizer line full.
const platform::pulse::Level kHalf{32768, false}, kFull{65535, false};

}  // namespace

TEST(LoudMusic, IsRecordedUnderFullScaleAtFullVolumeWithItsPeaksAtTheCeiling) {
    const auto gains = SynthesizerRecordingGains(kHalf, kFull);
    const auto song = LoudChords();
    ASSERT_GT(Peak(Render(song, 0.0)) * gains.Total(), 1.5);  // it would clip
    int peak = 0;
    for (float x : Render(song, gains.Total()))
        peak = std::max(peak, std::abs(int(platform::pulse::RecordedSample(x, gains))));
    const double ceiling = MidiRenderer::kCeiling * platform::pulse::kRecordedFullScale;
    EXPECT_LE(peak, std::lround(ceiling));
    EXPECT_GE(peak, ceiling * std::pow(10.0, -0.5 / 20));  // limited, not far under
}

TEST(LoudMusic, MusicUnderTheCeilingIsTheSameToTheBitAndAsLong) {
    std::string error;
    const auto bytes = testsupport::MelodySmf({60, 67, 72, 79}, 0.3);
    const auto melody = std::make_shared<const platform::midi::SmfSong>(
        *platform::midi::ReadSmf(bytes.data(), bytes.size(), &error));
    EXPECT_TRUE(Render(melody, 1.0) == Render(melody, 0.0));
    // Even the loudest piece, recorded quietly enough that it never reaches the ceiling.
    const auto unlimited = Render(LoudChords(), 0.0);
    ASSERT_LT(Peak(unlimited) * 0.2, MidiRenderer::kCeiling);
    EXPECT_TRUE(Render(LoudChords(), 0.2) == unlimited);
}

TEST(LoudMusic, LimitingDoesNotDependOnTheSlicingAndARewindReplaysIt) {
    std::string error;
    auto r = MidiRenderer::Create(LoudChords(), "", &error);
    ASSERT_TRUE(r) << error;
    std::vector<std::vector<float>> renders;
    for (size_t slice : {size_t(1024), size_t(37), size_t(4410)}) {
        r->Rewind();
        r->Start();
        std::vector<float> out(2 * 60000);
        for (size_t at = 0; at < 60000; at += slice)
            r->Render(&out[2 * at], std::min(slice, 60000 - at));
        renders.push_back(std::move(out));
    }
    EXPECT_TRUE(renders[1] == renders[0]);
    EXPECT_TRUE(renders[2] == renders[0]);
    EXPECT_LE(Peak(renders[0]), MidiRenderer::kCeiling);
    EXPECT_GT(Peak(renders[0]), MidiRenderer::kCeiling * 0.99);
}

// The recorded path's source learns the gain from the program's levels when it starts, so it
// plays exactly what the fast conversion renders at the same levels.
TEST(LoudMusic, TheSequencersSourcePlaysTheOfflineRenderAtTheProgramsLevels) {
    auto& levels = platform::pulse::ProgramLevels::Instance();
    for (const auto& line : {kFull, platform::pulse::Level{19661, false}}) {
        levels.SetSpeakers(kHalf);
        levels.SetLine(platform::pulse::kSynthesizerLine, line);
        std::string error;
        auto source = platform::pulse::SequencerSource::Create(LoudChords(), "", &error);
        ASSERT_TRUE(source) << error;
        source->Start();
        std::vector<float> played;
        for (size_t at = 0; !source->Finished(); at += 2 * 1024) {
            played.resize(at + 2 * 1024);
            source->Render(&played[at], 1024);
        }
        const double gain = SynthesizerRecordingGains(kHalf, line).Total();
        EXPECT_TRUE(played == Render(LoudChords(), gain)) << "line " << line.volume;
    }
    levels.Reset();
}
