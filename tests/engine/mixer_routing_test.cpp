#include "engine/mixer_routing.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <random>
#include <utility>

#include "engine/mixer_state.h"
#include "platform/fake/fake_mixer.h"

namespace {

using platform::MixerItem;
using platform::fake::FakeMixer;
using platform::fake::FakeMixerCall;

constexpr DWORD kSynth = MIXERLINE_COMPONENTTYPE_SRC_SYNTHESIZER;
constexpr DWORD kMute = MIXERCONTROL_CONTROLTYPE_MUTE;
constexpr DWORD kVolume = MIXERCONTROL_CONTROLTYPE_VOLUME;

struct Line {
    DWORD id = 0, volume = 0, mute = 0;
};

class MixerRoutingTest : public ::testing::Test {
  protected:
    void SetUp() override {
        auto fake = std::make_unique<FakeMixer>();
        mixer = fake.get();
        platform::InstallMixer(std::move(fake));
    }
    void TearDown() override { platform::InstallMixer(nullptr); }

    // A line with a volume (0 to 65535) and a mute switch, both starting "wrong".
    Line WithControls(DWORD lineId) {
        Line l{lineId};
        l.mute = mixer->AddControl(lineId, kMute, 0, 1, 1, true);
        l.volume = mixer->AddControl(lineId, kVolume, 0, 65535, 1234);
        return l;
    }

    // Destination 0 the speakers, destination 1 the recording side with one source line per
    // (component type, name) and a MUX listing them all.
    void BuildCard(const std::vector<std::pair<DWORD, std::string>>& sources,
                   DWORD selectorType = MIXERCONTROL_CONTROLTYPE_MUX) {
        speakers =
            WithControls(mixer->AddDestination(MIXERLINE_COMPONENTTYPE_DST_SPEAKERS, "Speakers"));
        recording = WithControls(
            mixer->AddDestination(MIXERLINE_COMPONENTTYPE_DST_WAVEIN, "Recording Control"));
        std::vector<MixerItem> items;
        for (const auto& [type, name] : sources) {
            lines.push_back(WithControls(mixer->AddSource(1, type, name)));
            items.push_back({lines.back().id, type, name});
        }
        selector = mixer->AddList(recording.id, selectorType, items);
    }

    std::vector<LONG> Selection() const { return mixer->LastWrite(selector); }

    FakeMixer* mixer = nullptr;
    Line speakers, recording;
    std::vector<Line> lines;
    DWORD selector = 0;
};

// Sets up a lone line whose volume control has the given bounds, then writes p to it.
class PercentTest : public MixerRoutingTest {
  protected:
    std::vector<LONG> WriteOn(LONG minimum, LONG maximum, int percent) {
        const DWORD line = mixer->AddDestination(MIXERLINE_COMPONENTTYPE_DST_SPEAKERS, "Out");
        const DWORD control = mixer->AddControl(line, kVolume, minimum, maximum, 7, true);
        engine::mixer::OpenMixer();
        EXPECT_TRUE(engine::mixer::FindLineControl(line, kVolume));
        mixer->ClearLog();
        engine::mixer::SetControlPercent(percent);
        engine::mixer::CloseMixer();
        const auto writes = mixer->Writes();
        if (writes.empty()) return {};
        EXPECT_EQ(writes.size(), 1u);
        EXPECT_EQ(writes[0].control, control);
        return writes[0].values;
    }
};

TEST_F(PercentTest, FullRangeFaderTruncates) {
    EXPECT_EQ(WriteOn(0, 65535, 30), std::vector<LONG>{19660});
    EXPECT_EQ(WriteOn(0, 65535, 50), std::vector<LONG>{32767});
    EXPECT_EQ(WriteOn(0, 65535, 100), std::vector<LONG>{65535});
    EXPECT_EQ(WriteOn(0, 65535, 0), std::vector<LONG>{0});
    EXPECT_EQ(WriteOn(0, 15, 30), std::vector<LONG>{4});
    EXPECT_EQ(WriteOn(0, 1, 0), std::vector<LONG>{0});  // unmuting a switch
}

TEST_F(PercentTest, OutOfRangePercentWritesNothing) {
    EXPECT_TRUE(WriteOn(0, 65535, -1).empty());
    EXPECT_TRUE(WriteOn(0, 65535, 101).empty());
}

TEST(PercentOfBounds, EqualsTheThirtyTwoBitFormulaWhereItFitsAndStaysInBoundsElsewhere) {
    constexpr int64_t lo = std::numeric_limits<int32_t>::min();
    constexpr int64_t hi = std::numeric_limits<int32_t>::max();
    std::mt19937 rng(4);
    std::vector<std::pair<LONG, LONG>> pairs = {{0, 65535},
                                                {-100, 0},
                                                {-7, 0},
                                                {0, -7},
                                                {-32768, 32767},
                                                {LONG(lo), LONG(hi)},
                                                {LONG(hi), LONG(lo)},
                                                {0, LONG(hi)},
                                                {LONG(lo), 0},
                                                {5, 5}};
    std::uniform_int_distribution<int32_t> any(INT32_MIN, INT32_MAX);
    std::uniform_int_distribution<int32_t> small(-100000, 100000);
    for (int i = 0; i < 20000; ++i) {
        pairs.emplace_back(any(rng), any(rng));
        pairs.emplace_back(small(rng), small(rng));
    }
    int checked32 = 0;
    for (const auto& [mn, mx] : pairs) {
        for (int p = 0; p <= 100; ++p) {
            const LONG got = engine::mixer::PercentOfBounds(mn, mx, p);
            const int64_t span = int64_t(mx) - mn;
            const int64_t product = span * p;
            const bool fits = span >= lo && span <= hi && product >= lo && product <= hi &&
                              product / 100 + mn >= lo && product / 100 + mn <= hi;
            if (fits) {
                const int32_t d = mx - mn, m = d * p;  // no overflow here
                ASSERT_EQ(got, m / 100 + mn) << mn << ".." << mx << " p=" << p;
                ++checked32;
            } else {
                ASSERT_GE(got, std::min(mn, mx)) << mn << ".." << mx << " p=" << p;
                ASSERT_LE(got, std::max(mn, mx)) << mn << ".." << mx << " p=" << p;
            }
        }
        EXPECT_EQ(engine::mixer::PercentOfBounds(mn, mx, 0), mn);
        EXPECT_EQ(engine::mixer::PercentOfBounds(mn, mx, 100), mx);
    }
    EXPECT_GT(checked32, 1000000);
}

TEST_F(MixerRoutingTest, TheFifteenStepsWriteInOrder) {
    BuildCard({{MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE, "Microphone"},
               {MIXERLINE_COMPONENTTYPE_SRC_LINE, "Line In"},
               {kSynth, "SW Synth"},
               {MIXERLINE_COMPONENTTYPE_SRC_ANALOG, "Stereo Mix"}});
    const Line digital =
        WithControls(mixer->AddSource(0, MIXERLINE_COMPONENTTYPE_SRC_DIGITAL, "Digital"));
    engine::SetMixerBtnClick(30);

    std::vector<std::pair<DWORD, std::vector<LONG>>> expected = {
        {speakers.mute, {0}},  {speakers.volume, {32767, 32767}},
        {digital.mute, {0}},   {digital.volume, {19660, 19660}},
        {lines[2].mute, {0}},  {lines[2].volume, {19660, 19660}},  // the synthesizer
        {recording.mute, {0}}, {recording.volume, {19660, 19660}}};
    for (const Line& l : lines) {
        expected.push_back({l.mute, {0}});
        expected.push_back({l.volume, {19660, 19660}});
    }
    expected.push_back({selector, {0, 0, 1, 0}});  // only the synthesizer item
    expected.push_back({lines[2].volume, {19660, 19660}});

    std::vector<std::pair<DWORD, std::vector<LONG>>> written;
    for (const auto& w : mixer->Writes()) written.push_back({w.control, w.values});
    EXPECT_EQ(written, expected);

    const auto log = mixer->Log();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.front().kind, FakeMixerCall::Open);
    EXPECT_EQ(log.back().kind, FakeMixerCall::Close);
    EXPECT_EQ(mixer->OpenDevices(), 0);
    EXPECT_EQ(engine::mixer::State().handle, nullptr);
}

TEST_F(MixerRoutingTest, SpeakersGetFiftyWhateverThePercent) {
    BuildCard({{kSynth, "Synth"}});
    engine::SetMixerBtnClick(0);
    EXPECT_EQ(mixer->Values(speakers.volume), (std::vector<LONG>{32767, 32767}));
    EXPECT_EQ(mixer->Values(lines[0].volume), (std::vector<LONG>{0, 0}));
    EXPECT_EQ(mixer->Values(recording.mute), std::vector<LONG>{0});
}

TEST_F(MixerRoutingTest, OnlyTheFirstSynthesizerItemIsSelected) {
    BuildCard({{MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE, "Mic"},
               {kSynth, "Synth A"},
               {kSynth, "Synth B"},
               {MIXERLINE_COMPONENTTYPE_SRC_ANALOG, "Stereo Mix"}});
    mixer->SetValues(selector, {0, 0, 1, 1});
    mixer->SetValues(lines[1].volume, {1, 1});
    engine::SetMixerBtnClick(80);
    EXPECT_EQ(Selection(), (std::vector<LONG>{0, 1, 0, 0}));
    // The line of the selected item gets its volume set last.
    EXPECT_EQ(mixer->Writes().back().control, lines[1].volume);
    EXPECT_EQ(mixer->Values(lines[1].volume), (std::vector<LONG>{52428, 52428}));
}

TEST_F(MixerRoutingTest, WithoutSynthesizerEveryStereoOrMixNameIsSelectedAndTheLastOneUsed) {
    BuildCard({{MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE, "Mic"},
               {MIXERLINE_COMPONENTTYPE_SRC_ANALOG, "Stereo Mix"},
               {MIXERLINE_COMPONENTTYPE_SRC_LINE, "Line"},
               {MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT, "Wave Out Mix"}});
    engine::SetMixerBtnClick(30);
    // Both written as 1, even to a single-select MUX.
    EXPECT_EQ(Selection(), (std::vector<LONG>{0, 1, 0, 1}));
    const auto writes = mixer->Writes();
    ASSERT_GE(writes.size(), 2u);
    EXPECT_EQ(writes[writes.size() - 2].control, selector);
    EXPECT_EQ(writes.back().control, lines[3].volume);
}

TEST_F(MixerRoutingTest, NamesMatchIgnoringAsciiCaseOnly) {
    BuildCard({{MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE, "Mic"},
               {MIXERLINE_COMPONENTTYPE_SRC_ANALOG, "stereo mix"},
               {MIXERLINE_COMPONENTTYPE_SRC_LINE, "M\xC4\xB1x"},  // dotless i: not "MIX"
               {MIXERLINE_COMPONENTTYPE_SRC_LINE, "Line"}});
    engine::SetMixerBtnClick(30);
    EXPECT_EQ(Selection(), (std::vector<LONG>{0, 1, 0, 0}));
    EXPECT_EQ(mixer->Writes().back().control, lines[1].volume);
}

TEST_F(MixerRoutingTest, NothingMatchingWritesAllZeroAndAddressesLineZero) {
    BuildCard({{MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE, "Mic"},
               {MIXERLINE_COMPONENTTYPE_SRC_LINE, "Line In"}});
    // Line ID 0 exists here: the first source of destination 0.
    const Line lineZero =
        WithControls(mixer->AddSource(0, MIXERLINE_COMPONENTTYPE_SRC_COMPACTDISC, "CD"));
    ASSERT_EQ(lineZero.id, 0u);
    engine::SetMixerBtnClick(30);
    EXPECT_EQ(Selection(), (std::vector<LONG>{0, 0}));
    EXPECT_EQ(mixer->Writes().back().control, lineZero.volume);
}

TEST_F(MixerRoutingTest, OfMuxAndMixerTheLaterControlIsUsed) {
    for (const bool muxFirst : {true, false}) {
        SCOPED_TRACE(muxFirst ? "MUX then MIXER" : "MIXER then MUX");
        TearDown();
        SetUp();
        lines.clear();
        BuildCard({{MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE, "Mic"}, {kSynth, "Synth"}},
                  muxFirst ? MIXERCONTROL_CONTROLTYPE_MUX : MIXERCONTROL_CONTROLTYPE_MIXER);
        const DWORD first = selector;
        const DWORD second = mixer->AddList(
            recording.id, muxFirst ? MIXERCONTROL_CONTROLTYPE_MIXER : MIXERCONTROL_CONTROLTYPE_MUX,
            {{lines[0].id, MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE, "Mic"},
             {lines[1].id, kSynth, "Synth"}});
        engine::SetMixerBtnClick(30);
        EXPECT_TRUE(mixer->LastWrite(first).empty());
        EXPECT_EQ(mixer->LastWrite(second), (std::vector<LONG>{0, 1}));
    }
}

TEST_F(MixerRoutingTest, WithoutDestinationOneOnlyThePlaybackSideIsSet) {
    speakers =
        WithControls(mixer->AddDestination(MIXERLINE_COMPONENTTYPE_DST_SPEAKERS, "Speakers"));
    const Line synth = WithControls(mixer->AddSource(0, kSynth, "SW Synth"));  // line ID 0
    engine::SetMixerBtnClick(30);
    // The selector steps fall on the synthesizer's volume, the last control found: its one
    // value is read and written back unchanged; step 14 then sets line 0, the synthesizer.
    std::vector<std::pair<DWORD, std::vector<LONG>>> written;
    for (const auto& w : mixer->Writes()) written.push_back({w.control, w.values});
    const std::vector<std::pair<DWORD, std::vector<LONG>>> expected = {
        {speakers.mute, {0}},
        {speakers.volume, {32767, 32767}},
        {synth.mute, {0}},
        {synth.volume, {19660, 19660}},
        {synth.volume, {19660, 19660}},
        {synth.volume, {19660, 19660}}};
    EXPECT_EQ(written, expected);
    EXPECT_EQ(mixer->OpenDevices(), 0);
}

TEST_F(MixerRoutingTest, WithoutSelectorTheFirstRecordingControlIsWrittenBackUnchanged) {
    speakers =
        WithControls(mixer->AddDestination(MIXERLINE_COMPONENTTYPE_DST_SPEAKERS, "Speakers"));
    const DWORD rec = mixer->AddDestination(MIXERLINE_COMPONENTTYPE_DST_WAVEIN, "Recording");
    const DWORD recVolume = mixer->AddControl(rec, kVolume, 0, 65535, 0);
    const Line mic =
        WithControls(mixer->AddSource(1, MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE, "Mic"));
    mixer->SetValues(mic.volume, {1000, 3000});  // routed to 19660 before the selector steps
    engine::SetMixerBtnClick(30);
    const auto writes = mixer->Writes();
    ASSERT_GE(writes.size(), 2u);
    EXPECT_EQ(writes[writes.size() - 1].control, recVolume);  // selector write-back
    EXPECT_EQ(writes[writes.size() - 1].values, (std::vector<LONG>{19660, 19660}));
    // No line 0 here (the only source is 0x00000001): step 14 finds nothing.
    EXPECT_EQ(mixer->Values(mic.volume), (std::vector<LONG>{19660, 19660}));
    EXPECT_EQ(mixer->Values(mic.mute), std::vector<LONG>{0});
}

TEST_F(MixerRoutingTest, NoDeviceDoesNothing) {
    BuildCard({{kSynth, "Synth"}});
    mixer->FailOpen(MMSYSERR_NODRIVER);
    engine::SetMixerBtnClick(30);
    const auto log = mixer->Log();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].kind, FakeMixerCall::Open);
    EXPECT_EQ(engine::mixer::State().handle, nullptr);

    platform::InstallMixer(nullptr);
    engine::SetMixerBtnClick(30);  // no backend at all
    EXPECT_EQ(engine::mixer::State().handle, nullptr);
}

TEST_F(MixerRoutingTest, DeviceFailingEveryValueCallStillRunsToTheEnd) {
    BuildCard({{kSynth, "Synth"}, {MIXERLINE_COMPONENTTYPE_SRC_ANALOG, "Stereo Mix"}});
    mixer->FailValues(MMSYSERR_ERROR);
    engine::SetMixerBtnClick(30);
    EXPECT_EQ(mixer->Log().back().kind, FakeMixerCall::Close);
    EXPECT_EQ(mixer->OpenDevices(), 0);
    EXPECT_EQ(mixer->Values(speakers.volume), (std::vector<LONG>{1234, 1234}));
}

TEST_F(MixerRoutingTest, SelectorBeyondFiftyOneItemsIsHandledAsItsFirstFiftyOne) {
    std::vector<std::pair<DWORD, std::string>> sources;
    for (int i = 0; i < 60; ++i)
        sources.push_back({MIXERLINE_COMPONENTTYPE_SRC_LINE, "Line " + std::to_string(i)});
    sources[50] = {MIXERLINE_COMPONENTTYPE_SRC_ANALOG, "Stereo Mix"};  // the 51st: seen
    sources[55] = {kSynth, "Synth"};                                   // beyond: unseen
    BuildCard(sources);
    std::vector<LONG> before(60, 0);
    before[58] = 1;
    mixer->SetValues(selector, before);
    engine::SetMixerBtnClick(30);

    std::vector<LONG> expected(60, 0);
    expected[50] = 1;  // a single-select list: the items beyond the 51 are cleared
    EXPECT_EQ(Selection(), expected);
    EXPECT_EQ(mixer->Writes().back().control, lines[50].volume);
}

TEST_F(MixerRoutingTest, ASecondRoutingOnASmallerSelectorIgnoresWhatTheFirstLeft) {
    std::vector<std::pair<DWORD, std::string>> many(
        10, {MIXERLINE_COMPONENTTYPE_SRC_ANALOG, "Stereo Mix"});
    BuildCard(many);
    engine::SetMixerBtnClick(30);
    EXPECT_EQ(Selection(), std::vector<LONG>(10, 1));

    TearDown();
    SetUp();
    lines.clear();
    BuildCard({{MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE, "Mic"},
               {MIXERLINE_COMPONENTTYPE_SRC_LINE, "Line"}});
    engine::SetMixerBtnClick(30);
    EXPECT_EQ(Selection(), (std::vector<LONG>{0, 0}));
}

}  // namespace

// --fast renders with RoutedVolumesFor; the routing must leave exactly those values, at any
// volume and on any control range, or the two conversions differ in level.
TEST_F(MixerRoutingTest, TheRoutingLeavesExactlyTheVolumesThatFastRendersWith) {
    for (int percent : {0, 1, 30, 50, 77, 100}) {
        auto fake = std::make_unique<FakeMixer>();
        mixer = fake.get();
        platform::InstallMixer(std::move(fake));
        lines.clear();
        BuildCard({{kSynth, "Synth"}});
        engine::SetMixerBtnClick(percent);
        const engine::RoutedVolumes v = engine::RoutedVolumesFor(percent, 0, 65535);
        EXPECT_EQ(mixer->Values(speakers.volume).front(), v.speakers) << percent;
        EXPECT_EQ(mixer->Values(lines[0].volume).front(), v.recording) << percent;
        EXPECT_EQ(mixer->Values(recording.volume).front(), v.recording) << percent;
    }
    const engine::RoutedVolumes narrow = engine::RoutedVolumesFor(30, -10, 10);
    EXPECT_EQ(narrow.speakers, 0);
    EXPECT_EQ(narrow.recording, -4);
}
