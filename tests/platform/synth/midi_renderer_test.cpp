#include "platform/synth/midi_renderer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "platform/synth/soundfont.h"
#include "support/pcm.h"
#include "support/sf2_builder.h"
#include "support/smf_builder.h"
#include "support/temp_folder.h"

using platform::midi::SmfSong;
using platform::synth::MidiRenderer;
using platform::synth::RenderOffline;
using testsupport::SmfBuilder;

namespace {

std::shared_ptr<const SmfSong> Song(const std::vector<uint8_t>& bytes) {
    std::string error;
    auto song = platform::midi::ReadSmf(bytes.data(), bytes.size(), &error);
    EXPECT_TRUE(song) << error;
    return std::make_shared<const SmfSong>(song.value_or(SmfSong{}));
}

std::unique_ptr<MidiRenderer> Renderer(const std::vector<uint8_t>& bytes) {
    std::string error;
    auto r = MidiRenderer::Create(Song(bytes), "", &error);
    EXPECT_TRUE(r) << error;
    return r;
}

std::vector<float> Take(MidiRenderer& r, size_t frames, size_t slice) {
    std::vector<float> out(2 * frames);
    for (size_t at = 0; at < frames; at += slice)
        r.Render(out.data() + 2 * at, std::min(slice, frames - at));
    return out;
}

std::vector<int16_t> Left(const std::vector<float>& interleaved) {
    std::vector<int16_t> left(interleaved.size() / 2);
    for (size_t i = 0; i < left.size(); ++i)
        left[i] = int16_t(std::lround(std::clamp(interleaved[2 * i], -1.0f, 1.0f) * 32767));
    return left;
}

// The reverb feeds itself a tiny offset against denormals; anything above -80 dB is sound.
size_t FirstSound(const std::vector<float>& interleaved) {
    for (size_t i = 0; i < interleaved.size(); ++i)
        if (std::fabs(interleaved[i]) > 1e-4f) return i / 2;
    return SIZE_MAX;
}

// 100 ticks a second (SMPTE 25 fps, 4 ticks a frame): tick t sounds at frame 441 t.
SmfBuilder HundredTicksASecond() {
    return SmfBuilder(0, uint16_t(0xE704));
}

class ScopedEnv {
  public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        setenv(name, value, 1);
    }
    ~ScopedEnv() {
        if (old_)
            setenv(name_, old_->c_str(), 1);
        else
            unsetenv(name_);
    }

  private:
    const char* name_;
    std::optional<std::string> old_;
};

}  // namespace

TEST(MidiRender, NotesSoundAtTheirPitches) {
    const std::vector<uint8_t> keys = {57, 64, 69, 76};
    std::string error;
    const auto out = RenderOffline(Song(testsupport::MelodySmf(keys, 0.5)), &error);
    ASSERT_FALSE(out.empty()) << error;
    const auto left = Left(out);
    for (size_t i = 0; i < keys.size(); ++i) {
        const size_t from = size_t((i * 0.5 + 0.15) * 44100);
        const double hz = testsupport::EstimatePitch(left, from, 8192);
        const double want = testsupport::KeyFrequency(keys[i]);
        EXPECT_NEAR(hz, want, want * 0.02) << "note " << i;
    }
}

// The instrument is the SoundFont's: a sine on every key sounds at the key's pitch with no
// harmonics, where the General MIDI piano has them.
TEST(MidiRender, TheNamedSoundFontsInstrumentPlaysTheNotes) {
    testsupport::TempFolder dir;
    const std::string sine = dir.Path("sine.sf2");
    ASSERT_TRUE(testsupport::WriteSineSoundFont(sine));
    std::string error;
    const auto song = Song(testsupport::MelodySmf({69, 81}, 0.5));
    const auto out = RenderOffline(song, &error, 1.0, sine);
    ASSERT_FALSE(out.empty()) << error;
    const auto left = Left(out);
    EXPECT_NEAR(testsupport::EstimateFrequency({left.begin() + 6000, left.begin() + 18000}), 440,
                5);
    EXPECT_NEAR(testsupport::EstimatePitch(left, 28000, 8192), 880, 18);
    const auto piano = RenderOffline(song, &error);
    ASSERT_FALSE(piano.empty()) << error;
    EXPECT_NE(out, piano);
}

// FluidSynth starts voices on its 64-frame blocks: a note sounds from the first block boundary at
// or after its frame, with the same attack as a note at frame 0; never earlier.
TEST(MidiRender, ANoteStartsOnTheFirstBlockAtOrAfterItsFrame) {
    auto render = [](uint32_t tick) {
        auto r =
            Renderer(HundredTicksASecond().NoteOn(tick, 0, 72, 127).NoteOff(20, 0, 72).Bytes());
        r->Start();
        return Take(*r, 44100, 1024);
    };
    const auto reference = render(0);
    const size_t attack = FirstSound(reference);
    ASSERT_LT(attack, 64u);
    for (uint32_t tick : {64u, 7u, 13u, 29u}) {
        const auto out = render(tick);
        const size_t frame = 441 * tick, start = (frame + 63) / 64 * 64;
        EXPECT_EQ(FirstSound(out), start + attack) << "tick " << tick;
    }
}

TEST(MidiRender, SlicingOfRenderCallsDoesNotChangeTheSound) {
    SmfBuilder b = HundredTicksASecond();
    b.NoteOn(3, 0, 60, 100).NoteOn(5, 9, 38, 110).Raw(1, {0xB0, 10, 20}).NoteOff(40, 0, 60);
    b.Raw(0, {0xE0, 0x00, 0x60}).NoteOn(7, 0, 67, 90).NoteOff(30, 0, 67);
    const auto bytes = b.Bytes();
    std::vector<std::vector<float>> renders;
    for (size_t slice : {size_t(1024), size_t(37), size_t(4410), size_t(1)}) {
        auto r = Renderer(bytes);
        r->Start();
        renders.push_back(Take(*r, 44100, slice));
        EXPECT_EQ(r->MusicFrame(), 44100u);
    }
    for (size_t i = 1; i < renders.size(); ++i) EXPECT_TRUE(renders[i] == renders[0]) << i;
    EXPECT_GT(testsupport::Rms(Left(renders[0])), 100);
}

TEST(MidiRender, RewindRendersTheSameAgain) {
    const auto bytes = testsupport::MelodySmf({60, 67, 72}, 0.3);
    auto r = Renderer(bytes);
    r->Start();
    const auto first = Take(*r, 50000, 1024);
    // Stop mid-song, off the synthesizer's block grid, then start over.
    r->Rewind();
    EXPECT_FALSE(r->Playing());
    EXPECT_EQ(r->MusicFrame(), 0u);
    r->Start();
    const auto second = Take(*r, 50000, 1000);
    EXPECT_TRUE(first == second);
    r->Stop();
    r->Rewind();
    r->Start();
    EXPECT_TRUE(Take(*r, 50000, 333) == first);
}

TEST(MidiRender, SilentAndStillUntilStartAndAfterStop) {
    auto r = Renderer(testsupport::MelodySmf({60, 62}, 0.5));
    std::vector<float> out(2 * 2048, 1.0f);
    r->Render(out.data(), 2048);
    EXPECT_EQ(FirstSound(out), SIZE_MAX);
    EXPECT_EQ(r->MusicFrame(), 0u);
    r->Start();
    EXPECT_TRUE(r->Playing());
    const auto playing = Take(*r, 10000, 1024);
    EXPECT_GT(testsupport::Rms(Left(playing)), 100);
    r->Stop();
    EXPECT_FALSE(r->Playing());
    std::fill(out.begin(), out.end(), 1.0f);
    r->Render(out.data(), 2048);
    EXPECT_EQ(FirstSound(out), SIZE_MAX);
    EXPECT_EQ(r->MusicFrame(), 10000u);
}

TEST(MidiRender, FinishedAfterTheReleaseDiesAway) {
    const auto bytes = testsupport::MelodySmf({60, 64}, 0.5);
    const auto song = Song(bytes);
    std::string error;
    const auto out = RenderOffline(song, &error);
    const size_t frames = out.size() / 2;
    EXPECT_GT(frames, song->lengthFrames + 4410);  // release plus reverb after the last note-off
    EXPECT_LT(frames, song->lengthFrames + 3 * 44100);
    const auto left = Left(out);
    EXPECT_LT(testsupport::Rms(left, frames - 1024), 2.0);
}

// A song that ends with the sustain pedal down, a note under the sostenuto pedal and a note
// without its note-off sounds as if it had let them all go itself at its last event: the tail
// dies away instead of ringing until the cap.
TEST(MidiRenderEnding, WhatTheSongLeavesHeldIsLetGoAtItsLastEvent) {
    auto song = [](bool letsGo) {
        SmfBuilder b = HundredTicksASecond();
        b.Raw(0, {0xB0, 64, 127});
        for (uint8_t k : {48, 55, 60, 64, 67}) b.NoteOn(0, 0, k, 100).NoteOff(20, 0, k);
        b.NoteOn(0, 2, 72, 90).Raw(5, {0xB2, 66, 127}).NoteOff(10, 2, 72);
        b.NoteOn(0, 1, 76, 90);
        if (letsGo) b.Raw(30, {0xB0, 64, 0}).Raw(0, {0xB2, 66, 0}).NoteOff(0, 1, 76);
        return b.Raw(letsGo ? 0 : 30, {0xFF, 0x2F, 0}).Bytes(false);
    };
    const auto held = Song(song(false));
    ASSERT_EQ(held->lengthFrames, Song(song(true))->lengthFrames);
    std::string error;
    const auto out = RenderOffline(held, &error);
    ASSERT_FALSE(out.empty()) << error;
    EXPECT_TRUE(out == RenderOffline(Song(song(true)), &error));
    EXPECT_LT(out.size() / 2, held->lengthFrames + 3 * 44100);
    EXPECT_LT(testsupport::Rms(Left(out), out.size() / 2 - 2205), 1.0);
}

// An organ with a release of a minute and a half, its note still on at the end: the cap ends
// it 5 s after the last event, to the frame, faded out over its last 50 ms to exactly 0, the
// same however the render is sliced. The synthesizer running the limiter's look-ahead ahead
// does not move the end.
TEST(MidiRenderEnding, ATailThatDoesNotDieIsFadedOutToZeroAtTheCap) {
    SmfBuilder b = HundredTicksASecond();
    b.Program(0, 0, 19).Raw(0, {0xB0, 99, 120}).Raw(0, {0xB0, 98, 38}).Raw(0, {0xB0, 6, 127});
    b.NoteOn(0, 0, 60, 100).Raw(50, {0xFF, 0x2F, 0});
    const auto song = Song(b.Bytes(false));
    std::vector<std::vector<float>> renders;
    for (size_t slice : {size_t(50), size_t(1024)}) {
        std::string error;
        auto r = MidiRenderer::Create(song, "", &error);
        ASSERT_TRUE(r) << error;
        EXPECT_EQ(r->LengthMs(), 500u);
        r->Start();
        std::vector<float> out;
        while (!r->Finished() && r->MusicFrame() < 20 * 44100) {
            out.resize(out.size() + 2 * slice);
            r->Render(out.data() + out.size() - 2 * slice, slice);
        }
        EXPECT_TRUE(r->Finished());
        EXPECT_LT(r->MusicFrame(), song->lengthFrames + MidiRenderer::kMaxTailFrames + slice);
        out.resize(2 * (song->lengthFrames + MidiRenderer::kMaxTailFrames));  // to the cap
        renders.push_back(std::move(out));
    }
    EXPECT_TRUE(renders[0] == renders[1]);
    const auto& out = renders[0];
    const size_t cap = out.size() / 2, fade = MidiRenderer::kFadeFrames;
    EXPECT_EQ(out[2 * cap - 2], 0.0f);
    EXPECT_EQ(out[2 * cap - 1], 0.0f);
    // Still loud before the fade and as it begins (no step down); then every 5 ms (about a
    // period of the note) at most as loud as the 5 ms before.
    auto peak = [&](size_t from, size_t frames) {
        float p = 0;
        for (size_t i = 2 * from; i < 2 * (from + frames); ++i) p = std::max(p, std::fabs(out[i]));
        return p;
    };
    const float before = peak(cap - 2 * fade, fade);
    EXPECT_GT(before, 0.01f);
    EXPECT_GT(peak(cap - fade, fade / 10), before * 0.8f);
    float last = before;
    for (size_t at = cap - fade; at < cap; at += fade / 10) {
        const float now = peak(at, std::min(fade / 10, cap - at));
        EXPECT_LE(now, last * 1.05f) << "at " << at;
        last = now;
    }
    EXPECT_LT(last, before * 0.01f);
}

TEST(MidiRender, TheEndIsFoundAtTheSameFrameHoweverTheRenderIsSliced) {
    const auto bytes = testsupport::MelodySmf({72, 79}, 0.2);
    auto finishFrame = [&](size_t slice) {
        auto r = Renderer(bytes);
        r->Start();
        std::vector<float> buffer(2 * slice);
        while (!r->Finished()) r->Render(buffer.data(), slice);
        return r->MusicFrame();
    };
    const uint64_t exact = finishFrame(1);
    for (size_t slice : {size_t(1024), size_t(333)}) {
        const uint64_t found = finishFrame(slice);
        EXPECT_GE(found, exact) << slice;
        EXPECT_LT(found, exact + slice) << slice;
    }
}

TEST(MidiRender, NoSoundFontIsAClearError) {
    ScopedEnv env("TONVERA_SOUNDFONT", "/nonexistent/piano.sf2");
    std::string looked;
    EXPECT_EQ(platform::synth::FindSoundFont(&looked), "");
    EXPECT_EQ(looked, "/nonexistent/piano.sf2");
    std::string error;
    auto failure = MidiRenderer::Failure::kNone;
    EXPECT_FALSE(
        MidiRenderer::Create(Song(testsupport::MelodySmf({60}, 0.1)), "", &error, &failure));
    EXPECT_EQ(failure, MidiRenderer::Failure::kNoSoundFont);
    EXPECT_NE(error.find("no SoundFont found"), std::string::npos) << error;
    EXPECT_NE(error.find("/nonexistent/piano.sf2"), std::string::npos) << error;
    EXPECT_TRUE(RenderOffline(Song(testsupport::MelodySmf({60}, 0.1)), &error).empty());
}

TEST(MidiRender, AFileThatIsNoSoundFontIsRefused) {
    ScopedEnv env("TONVERA_SOUNDFONT", TONVERA_SOURCE_DIR "/CMakeLists.txt");
    std::string error;
    auto failure = MidiRenderer::Failure::kNone;
    EXPECT_FALSE(
        MidiRenderer::Create(Song(testsupport::MelodySmf({60}, 0.1)), "", &error, &failure));
    EXPECT_EQ(failure, MidiRenderer::Failure::kNoSoundFont);
    EXPECT_NE(error.find("cannot load"), std::string::npos) << error;

    // Without a song the fault is the caller's, not the SoundFont's.
    EXPECT_FALSE(MidiRenderer::Create(nullptr, "", &error, &failure));
    EXPECT_EQ(failure, MidiRenderer::Failure::kNoSong);
}

TEST(MidiRender, ANamedSoundFontGoesBeforeTheEnvironmentsAndIsNeverReplaced) {
    ScopedEnv env("TONVERA_SOUNDFONT", TONVERA_SOURCE_DIR "/CMakeLists.txt");
    std::string error;
    EXPECT_TRUE(MidiRenderer::Create(Song(testsupport::MelodySmf({60}, 0.1)),
                                     "/usr/share/sounds/sf2/TimGM6mb.sf2", &error))
        << error;
    // One named that cannot be loaded fails with its own reason, not with the default instead.
    auto failure = MidiRenderer::Failure::kNone;
    EXPECT_FALSE(MidiRenderer::Create(Song(testsupport::MelodySmf({60}, 0.1)),
                                      "/nonexistent/piano.sf2", &error, &failure));
    EXPECT_EQ(failure, MidiRenderer::Failure::kNoSoundFont);
    EXPECT_EQ(error, "cannot load the SoundFont /nonexistent/piano.sf2: No such file or directory");
}
