// Loud music through the renderer, the offline render and the sequencer's source: under full
// scale at the recording's gain, the same samples on every path, and quiet music untouched.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>

#include "platform/midi/smf_reader.h"
#include "platform/offline_render.h"
#include "platform/pulse/midi_renderer.h"
#include "platform/pulse/program_levels.h"
#include "platform/pulse/pulse_backend.h"
#include "platform/pulse/sequencer_source.h"
#include "support/smf_builder.h"
#include "support/temp_folder.h"

namespace {

using platform::midi::SmfSong;
using platform::pulse::MidiRenderer;
using platform::pulse::RenderOffline;

// A conversion at volume 100: the speakers at half, the synthesizer line full.
constexpr platform::OfflineLevels kFullVolume{32768, 65535};

// Eight instruments at full channel volume, each playing velocity-127 chords.
std::vector<uint8_t> LoudChords() {
    testsupport::SmfBuilder b;
    const uint8_t programs[8] = {0, 48, 19, 56, 61, 16, 29, 80};
    for (uint8_t ch = 0; ch < 8; ++ch)
        b.Program(0, ch, programs[ch]).Raw(0, {uint8_t(0xB0 | ch), 7, 127});
    const uint8_t chords[3][4] = {{48, 52, 55, 60}, {53, 57, 60, 65}, {55, 59, 62, 67}};
    for (const auto& chord : chords) {
        for (uint8_t ch = 0; ch < 8; ++ch)
            for (uint8_t key : chord) b.NoteOn(0, ch, uint8_t(key + 12 * (ch % 3) - 12), 127);
        uint32_t delta = 960;  // a second at 120 bpm
        for (uint8_t ch = 0; ch < 8; ++ch)
            for (uint8_t key : chord) {
                b.NoteOff(delta, ch, uint8_t(key + 12 * (ch % 3) - 12));
                delta = 0;
            }
    }
    return b.Bytes();
}

std::shared_ptr<const SmfSong> Song(const std::vector<uint8_t>& bytes) {
    std::string error;
    auto song = platform::midi::ReadSmf(bytes.data(), bytes.size(), &error);
    EXPECT_TRUE(song) << error;
    return std::make_shared<const SmfSong>(song.value_or(SmfSong{}));
}

std::vector<float> Render(const std::vector<uint8_t>& bytes, double gain) {
    std::string error;
    auto out = RenderOffline(Song(bytes), &error, gain);
    EXPECT_FALSE(out.empty()) << error;
    return out;
}

std::vector<float> Take(MidiRenderer& r, size_t frames, size_t slice) {
    std::vector<float> out(2 * frames);
    for (size_t at = 0; at < frames; at += slice)
        r.Render(out.data() + 2 * at, std::min(slice, frames - at));
    return out;
}

float Peak(const std::vector<float>& v) {
    float peak = 0;
    for (float x : v) peak = std::max(peak, std::fabs(x));
    return peak;
}

class LoudMusic : public testsupport::TempFolderTest {
  protected:
    void TearDown() override { platform::pulse::ProgramLevels::Instance().Reset(); }
};

}  // namespace

TEST_F(LoudMusic, IsRecordedUnderFullScaleAtFullVolumeWithItsPeaksAtTheCeiling) {
    const auto bytes = LoudChords();
    const auto gains = platform::pulse::SynthesizerRecordingGains({kFullVolume.speakers, false},
                                                                  {kFullVolume.line, false});
    // Without the limiter the piece would clip.
    ASSERT_GT(Peak(Render(bytes, 0.0)) * gains.Total(), 1.5);

    const std::string path = Path("loud.mid");
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    platform::InstallOfflineRender(platform::pulse::MakeOfflineRender());
    int peak = 0;
    std::string error;
    const bool whole = platform::RenderMidiOffline(
        path, kFullVolume, nullptr,
        [&](const int16_t* f, size_t n) {
            for (size_t i = 0; i < 2 * n; ++i) peak = std::max(peak, std::abs(int(f[i])));
            return true;
        },
        nullptr, &error);
    platform::InstallOfflineRender(nullptr);
    ASSERT_TRUE(whole) << error;
    EXPECT_LE(peak, 32766);
    // Limited to the ceiling, not far under it.
    const double ceiling = MidiRenderer::kCeiling * platform::pulse::kRecordedFullScale;
    EXPECT_LE(peak, std::lround(ceiling));
    EXPECT_GE(peak, ceiling * std::pow(10.0, -0.5 / 20));
}

TEST_F(LoudMusic, MusicUnderTheCeilingIsTheSameToTheBitAndAsLong) {
    const auto melody = testsupport::MelodySmf({60, 67, 72, 79}, 0.3);
    const auto free = Render(melody, 0.0);
    EXPECT_TRUE(Render(melody, 1.0) == free);
    // Even the loudest piece, recorded quietly enough that it never reaches the ceiling.
    const auto loud = LoudChords();
    const auto unlimited = Render(loud, 0.0);
    ASSERT_LT(Peak(unlimited) * 0.2, MidiRenderer::kCeiling);
    EXPECT_TRUE(Render(loud, 0.2) == unlimited);
}

TEST_F(LoudMusic, LimitingDoesNotDependOnTheSlicingAndARewindReplaysIt) {
    const auto song = Song(LoudChords());
    std::string error;
    std::vector<std::vector<float>> renders;
    for (size_t slice : {size_t(1024), size_t(37), size_t(4410)}) {
        auto r = MidiRenderer::Create(song, &error);
        ASSERT_TRUE(r) << error;
        r->SetRecordingGain(1.0);
        r->Start();
        renders.push_back(Take(*r, 60000, slice));
        if (slice != 4410) continue;
        r->Rewind();
        r->Start();
        EXPECT_TRUE(Take(*r, 60000, 1000) == renders[0]) << "after a rewind";
    }
    EXPECT_TRUE(renders[1] == renders[0]);
    EXPECT_TRUE(renders[2] == renders[0]);
    EXPECT_LE(Peak(renders[0]), MidiRenderer::kCeiling);
    EXPECT_GT(Peak(renders[0]), MidiRenderer::kCeiling * 0.99);
}

// The recorded path's source learns the gain from the program's levels when it starts, so it
// plays exactly what the fast conversion renders at the same levels.
TEST_F(LoudMusic, TheSequencersSourcePlaysTheOfflineRenderAtTheProgramsLevels) {
    using platform::pulse::ProgramLevels;
    const auto bytes = LoudChords();
    for (long line : {65535L, 19661L}) {
        ProgramLevels::Instance().SetSpeakers({kFullVolume.speakers, false});
        ProgramLevels::Instance().SetLine(platform::pulse::kSynthesizerLine, {line, false});
        const auto gains = platform::pulse::SynthesizerRecordingGains({kFullVolume.speakers, false},
                                                                      {line, false});
        std::string error;
        auto source = platform::pulse::SequencerSource::Create(Song(bytes), &error);
        ASSERT_TRUE(source) << error;
        source->Start();
        std::vector<float> played;
        while (!source->Finished()) {
            played.resize(played.size() + 2 * 1024);
            source->Render(played.data() + played.size() - 2 * 1024, 1024);
        }
        EXPECT_TRUE(played == Render(bytes, gains.Total())) << "line " << line;
    }
}
