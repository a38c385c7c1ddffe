// The synthesizer line's recording turned into the file: its start put at the music's time 0 and
// its holes found, on recordings made from a real offline render with the server's faults put in
// by hand.
#include "platform/pulse/recording_aligner.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "platform/midi/smf_reader.h"
#include "platform/synth/midi_renderer.h"
#include "support/smf_builder.h"

namespace {

using platform::pulse::RecordingAligner;
using platform::pulse::SequencerTap;

constexpr double kGain = 0.3 * 32768;  // volume 30 at full scale

std::vector<float> Render(const std::vector<uint8_t>& smf) {
    std::string error;
    auto song = platform::midi::ReadSmf(smf.data(), smf.size(), &error);
    EXPECT_TRUE(song) << error;
    auto out = platform::synth::RenderOffline(
        std::make_shared<const platform::midi::SmfSong>(std::move(*song)), &error);
    EXPECT_FALSE(out.empty()) << error;
    return out;
}

const std::vector<float>& Melody() {
    static const auto music = Render(testsupport::MelodySmf({60, 64, 67, 72, 67, 64}, 0.4));
    return music;
}

std::vector<int16_t> Quantized(const std::vector<float>& music, double gain) {
    std::vector<int16_t> out(music.size());
    for (size_t i = 0; i < music.size(); ++i)
        out[i] = int16_t(std::clamp(std::lrint(music[i] * gain), -32768L, 32767L));
    return out;
}

struct Result {
    std::vector<int16_t> out;
    std::vector<RecordingAligner::Gap> gaps;
};

// Feeds `recorded` (stereo frames) in pieces of 4410 frames, as a record stream delivers them;
// frames from holeFrom on for holeFrames come as a hole (no data).
Result Align(const std::vector<float>& music, const std::vector<int16_t>& recorded,
             double gain = kGain, size_t holeFrom = SIZE_MAX, size_t holeFrames = 0) {
    auto tap = std::make_shared<SequencerTap>(0, "monitor");
    tap->SetAudibleThreshold(gain > 0 ? float(0.5 / gain) : 0.0f);
    tap->MusicStarted();
    tap->Music(music.data(), music.size() / 2);
    tap->MusicEnded();
    tap->PlayedFrames(music.size() / 2);
    RecordingAligner aligner(tap, gain);
    Result r;
    auto sink = [&r](const int16_t* frames, size_t count) {
        if (frames)
            r.out.insert(r.out.end(), frames, frames + 2 * count);
        else
            r.out.insert(r.out.end(), 2 * count, 0);
    };
    const size_t frames = recorded.size() / 2;
    for (size_t at = 0; at < frames;) {
        size_t n = std::min<size_t>(4410, frames - at);
        if (at < holeFrom && at + n > holeFrom) n = holeFrom - at;
        if (at == holeFrom) {
            aligner.Feed(nullptr, holeFrames, sink);
            at += holeFrames;
            continue;
        }
        aligner.Feed(recorded.data() + 2 * at, n, sink);
        at += n;
    }
    aligner.Finish(sink);
    r.gaps = aligner.gaps();
    return r;
}

std::vector<int16_t> WithLeadIn(std::vector<int16_t> samples, size_t frames) {
    samples.insert(samples.begin(), 2 * frames, 0);
    return samples;
}

// The music's frames [from, from + count) replaced: `zeros` frames of silence and what follows
// from + dropped on.
std::vector<int16_t> WithFault(const std::vector<int16_t>& clean, size_t from, size_t zeros,
                               size_t dropped) {
    std::vector<int16_t> out(clean.begin(), clean.begin() + long(2 * from));
    out.insert(out.end(), 2 * zeros, 0);
    out.insert(out.end(), clean.begin() + long(2 * (from + dropped)), clean.end());
    return out;
}

double Ms(uint64_t frames) {
    return double(frames) * 1000.0 / 44100.0;
}

TEST(RecordingAlignerStart, TheSilenceBeforeAndAfterTheMusicIsDroppedAndTheRestKeptExactly) {
    const auto clean = Quantized(Melody(), kGain);
    for (size_t leadIn : {0, 1, 12345, 88200}) {
        auto recorded = WithLeadIn(clean, leadIn);
        recorded.insert(recorded.end(), 2 * 3000, 0);  // the stream plays on after the music
        const Result r = Align(Melody(), recorded);
        EXPECT_EQ(r.out, clean) << "lead-in " << leadIn;
        EXPECT_TRUE(r.gaps.empty()) << "lead-in " << leadIn;
    }
}

TEST(RecordingAlignerStart, AFirstNoteAtOneSecondKeepsItsSecondOfSilence) {
    const auto music =
        Render(testsupport::SmfBuilder().NoteOn(960, 0, 69, 100).NoteOff(480, 0, 69).Bytes());
    const auto clean = Quantized(music, kGain);
    const Result r = Align(music, WithLeadIn(clean, 13000));
    ASSERT_EQ(r.out.size(), clean.size());
    EXPECT_EQ(r.out, clean);
    // Where the note first shows (after its attack rounds to a step), as in the render.
    size_t first = 0;
    while (first < r.out.size() && r.out[first] == 0) ++first;
    EXPECT_GE(first / 2, 44100u);
}

TEST(RecordingAlignerStart, NothingAudibleYieldsThePlayedLengthOfSilence) {
    const Result r = Align(Melody(), std::vector<int16_t>(Melody().size() + 20000, 0), 0.0);
    EXPECT_EQ(r.out.size(), Melody().size());
    EXPECT_TRUE(r.gaps.empty());
}

TEST(RecordingAlignerGaps, InsertedSilenceIsFoundWithItsLength) {
    const auto clean = Quantized(Melody(), kGain);
    const size_t at = 57330;  // 1.3 s, inside a note
    const Result r = Align(Melody(), WithLeadIn(WithFault(clean, at, 1852, 0), 5000));
    ASSERT_EQ(r.gaps.size(), 1u);
    EXPECT_NEAR(Ms(r.gaps[0].frame), 1300, 10);
    EXPECT_NEAR(Ms(r.gaps[0].frames), 42, 3);
}

TEST(RecordingAlignerGaps, DroppedMusicWithoutSilenceIsFound) {
    const auto clean = Quantized(Melody(), kGain);
    const Result r = Align(Melody(), WithLeadIn(WithFault(clean, 57330, 0, 2048), 5000));
    ASSERT_EQ(r.gaps.size(), 1u);
    // Inside a held note the loss shows at the next onset: within that note's 0.4 s.
    EXPECT_GE(Ms(r.gaps[0].frame), 1290);
    EXPECT_LE(Ms(r.gaps[0].frame), 1700);
    EXPECT_NEAR(Ms(r.gaps[0].frames), 46.4, 3);
}

TEST(RecordingAlignerGaps, SilenceOverDroppedMusicTellsTheSilencePutInAndTheMusicLost) {
    const auto clean = Quantized(Melody(), kGain);
    // 200 ms of silence where 77 ms of music went missing, as a stalled server leaves it: the
    // music goes on 123 ms later than it was.
    const Result r = Align(Melody(), WithFault(clean, 57330, 8820, 3415));
    ASSERT_EQ(r.gaps.size(), 2u);
    EXPECT_EQ(r.gaps[0].kind, RecordingAligner::Gap::Kind::kSilenceInserted);
    EXPECT_NEAR(Ms(r.gaps[0].frames), 122.6, 3);
    EXPECT_EQ(r.gaps[1].kind, RecordingAligner::Gap::Kind::kMissing);
    EXPECT_NEAR(Ms(r.gaps[1].frames), 77.4, 3);
}

TEST(RecordingAlignerGaps, AHoleInTheStreamAndASecondFaultAreBothFound) {
    const auto clean = Quantized(Melody(), kGain);
    const auto faulty = WithFault(clean, 80000, 2000, 0);
    const Result r = Align(Melody(), faulty, kGain, 30000, 4410);
    ASSERT_EQ(r.gaps.size(), 2u);
    EXPECT_NEAR(Ms(r.gaps[0].frame), Ms(30000), 10);
    EXPECT_NEAR(Ms(r.gaps[0].frames), 100, 3);
    EXPECT_NEAR(Ms(r.gaps[1].frames), Ms(2000), 3);
}

TEST(RecordingAlignerGaps, ALongStallIsToldAsSilenceInsertedWithItsTruePlaceAndLength) {
    // The program stopped for ten seconds: the server played silence, then the music went on
    // where it had stopped. Far beyond the search around the old place.
    const auto clean = Quantized(Melody(), kGain);
    const size_t at = 57330, stall = 432180;  // 1.3 s; 9.8 s
    const Result r = Align(Melody(), WithLeadIn(WithFault(clean, at, stall, 0), 5000));
    ASSERT_EQ(r.gaps.size(), 1u);
    EXPECT_EQ(r.gaps[0].kind, RecordingAligner::Gap::Kind::kSilenceInserted);
    EXPECT_NEAR(Ms(r.gaps[0].frame), 1300, 10);
    EXPECT_NEAR(Ms(r.gaps[0].frames), 9800, 3);
    // The whole music is in the output, the silence in its place.
    EXPECT_EQ(r.out.size(), clean.size() + 2 * stall);
}

TEST(RecordingAlignerGaps, AShortStallAndDroppedMusicAreToldApart) {
    const auto clean = Quantized(Melody(), kGain);
    const Result inserted = Align(Melody(), WithFault(clean, 57330, 1852, 0));
    ASSERT_EQ(inserted.gaps.size(), 1u);
    EXPECT_EQ(inserted.gaps[0].kind, RecordingAligner::Gap::Kind::kSilenceInserted);
    const Result dropped = Align(Melody(), WithFault(clean, 57330, 0, 3415));
    ASSERT_EQ(dropped.gaps.size(), 1u);
    EXPECT_EQ(dropped.gaps[0].kind, RecordingAligner::Gap::Kind::kMissing);
}

TEST(RecordingAlignerGaps, ARecordingThatStopsBeforeTheMusicEndsIsToldHowEarly) {
    const auto clean = Quantized(Melody(), kGain);
    const size_t frames = clean.size() / 2, cut = 30000;
    const std::vector<int16_t> shortened(clean.begin(), clean.end() - long(2 * cut));
    const Result r = Align(Melody(), shortened);
    ASSERT_EQ(r.gaps.size(), 1u);
    EXPECT_EQ(r.gaps[0].kind, RecordingAligner::Gap::Kind::kEndsEarly);
    EXPECT_EQ(r.gaps[0].frame, frames - cut);
    EXPECT_EQ(r.gaps[0].frames, cut);
}

TEST(RecordingAlignerGaps, MusicHeardAfterTheEndMeansTheFileEndsBeforeIt) {
    // Silence no search explains (the output window is short after it): music goes on past
    // where the output has to end, and that is told rather than cut without a word.
    const auto clean = Quantized(Melody(), kGain);
    const size_t frames = clean.size() / 2;
    size_t lastSound = 0;
    for (size_t i = 0; i < clean.size(); ++i)
        if (clean[i] != 0) lastSound = i / 2;
    // Silence late in the last note's release, so that its end sounds past the music's end.
    const size_t from = frames - 45000, silence = 40000;
    ASSERT_GT(lastSound + silence, frames + 2000);
    const Result r = Align(Melody(), WithFault(clean, from, silence, 0));
    ASSERT_FALSE(r.gaps.empty());
    uint64_t told = 0;
    for (const auto& g : r.gaps) told += g.frames;
    EXPECT_GE(told, lastSound + silence - frames);
}

TEST(RecordingAlignerGaps, AWholeRecordingAndALevelChangeReportNothing) {
    const auto& music = Melody();
    auto recorded = Quantized(music, kGain);
    const Result whole = Align(music, recorded);
    EXPECT_TRUE(whole.gaps.empty());
    // Someone turns the program's stream down halfway: quieter, but nothing is missing.
    for (size_t i = recorded.size() / 2; i < recorded.size(); ++i)
        recorded[i] = int16_t(recorded[i] / 2);
    EXPECT_TRUE(Align(music, recorded).gaps.empty());
    // A few frames moved without silence, as a resampler's delay would: not a hole.
    EXPECT_TRUE(Align(music, WithFault(Quantized(music, kGain), 57330, 0, 30)).gaps.empty());
}

}  // namespace
