// The offline renderer: the recorded synthesizer line's samples without a sound server.
#include "platform/offline_render.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/midi/smf_reader.h"
#include "platform/pulse/program_levels.h"
#include "platform/pulse/pulse_backend.h"
#include "platform/synth/midi_renderer.h"
#include "support/sf2_builder.h"
#include "support/smf_builder.h"
#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;
using Samples = std::vector<int16_t>;

class OfflineRender : public testsupport::TempFolderTest {
  protected:
    void SetUp() override {
        platform::InstallOfflineRender(platform::pulse::MakeOfflineRender());
        bytes_ = testsupport::MelodySmf({60, 67, 72}, 0.3);
        path_ = Write("song.mid", bytes_);
    }
    void TearDown() override { platform::InstallOfflineRender(nullptr); }

    std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) const {
        std::ofstream(Path(name), std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return Path(name);
    }
    static std::unique_ptr<platform::OfflineRenderer> Open(const std::string& soundFont = "") {
        std::string error;
        auto renderer = platform::OpenOfflineRenderer(soundFont, &error);
        EXPECT_TRUE(renderer) << error;
        return renderer;
    }
    // The whole file at the levels a routing at 30 % leaves; empty when it failed.
    static Samples Render(platform::OfflineRenderer& renderer, const std::string& midi) {
        Samples got;
        std::string error;
        const bool whole = renderer.Render(
            midi, {32767, 19660}, nullptr,
            [&](const int16_t* f, size_t n) {
                got.insert(got.end(), f, f + 2 * n);
                return true;
            },
            nullptr, &error);
        EXPECT_TRUE(whole) << error;
        return whole ? got : Samples{};
    }

    std::string path_;
    std::vector<uint8_t> bytes_;
};

TEST_F(OfflineRender, TheSamplesAreTheSequencersAtTheRecordingsGains) {
    const platform::OfflineLevels levels{32767, 19660};
    Samples got;
    platform::OfflineSong song, announced;
    std::string error;
    ASSERT_TRUE(Open()->Render(
        path_, levels,
        [&](const platform::OfflineSong& s) {
            announced = s;
            return true;
        },
        [&](const int16_t* f, size_t n) {
            got.insert(got.end(), f, f + 2 * n);
            return true;
        },
        &song, &error))
        << error;
    EXPECT_EQ(announced.lengthMs, 900u);
    EXPECT_EQ(song.frames, got.size() / 2);

    auto parsed = platform::midi::ReadSmf(bytes_.data(), bytes_.size(), &error);
    const auto gains = platform::pulse::SynthesizerRecordingGains({32767, false}, {19660, false});
    const auto music = platform::synth::RenderOffline(
        std::make_shared<const platform::midi::SmfSong>(std::move(*parsed)), &error, gains.Total());
    ASSERT_EQ(got.size(), music.size());
    for (size_t i = 0; i < music.size(); ++i)
        ASSERT_EQ(got[i], platform::pulse::RecordedSample(music[i], gains)) << "sample " << i;
    EXPECT_NEAR(gains.Total(), 0.3, 1e-4);
}

// What a worker of a parallel run does: file after file through one renderer. Each must come
// out as a renderer that never played anything before renders it.
TEST_F(OfflineRender, FileAfterFileEachIsWhatAFreshSynthesizerMakesOfIt) {
    const std::string strings =
        Write("strings.mid", testsupport::SmfBuilder()
                                 .Program(0, 0, 48)
                                 .NoteOn(0, 0, 55, 100)
                                 .NoteOn(0, 9, 38, 120)  // a drum, from another bank
                                 .NoteOn(240, 0, 62, 90)
                                 .NoteOff(480, 0, 55)
                                 .NoteOff(0, 0, 62)
                                 .Bytes());
    const std::string loud = Write("loud.mid", testsupport::LoudChordsSmf());
    auto worker = Open();
    ASSERT_TRUE(worker);
    const Samples first = Render(*worker, path_), second = Render(*worker, strings),
                  third = Render(*worker, loud), again = Render(*worker, path_);
    ASSERT_FALSE(first.empty());
    EXPECT_TRUE(first == Render(*Open(), path_));
    EXPECT_TRUE(second == Render(*Open(), strings));
    EXPECT_TRUE(third == Render(*Open(), loud)) << "the limiter starts afresh too";
    EXPECT_TRUE(again == first);
    EXPECT_NE(first, second);
}

TEST_F(OfflineRender, TheSoundFontIsReadOnceWhenTheRendererOpens) {
    const std::string font = Path("sine.sf2");
    ASSERT_TRUE(testsupport::WriteSineSoundFont(font));
    auto renderer = Open(font);
    ASSERT_TRUE(renderer);
    const Samples before = Render(*renderer, path_);
    ASSERT_FALSE(before.empty());
    fs::remove(font);
    EXPECT_TRUE(Render(*renderer, path_) == before) << "rendered with the font it holds";
    std::string error;
    EXPECT_FALSE(platform::OpenOfflineRenderer(font, &error));
    EXPECT_NE(error.find("No such file"), std::string::npos) << error;
}

TEST_F(OfflineRender, ASinkThatStopsEndsTheRenderAndBadFilesAreRefused) {
    auto renderer = Open();
    size_t calls = 0;
    std::string error;
    EXPECT_FALSE(renderer->Render(
        path_, {}, nullptr, [&](const int16_t*, size_t) { return ++calls < 3; }, nullptr, &error));
    EXPECT_EQ(calls, 3u);
    EXPECT_FALSE(renderer->Render(
        "/nonexistent.mid", {}, nullptr, [](const int16_t*, size_t) { return true; }, nullptr,
        &error));
    EXPECT_NE(error.find("/nonexistent.mid"), std::string::npos) << error;
    // A stopped render leaves nothing behind for the next one.
    EXPECT_TRUE(Render(*renderer, path_) == Render(*Open(), path_));
    platform::InstallOfflineRender(nullptr);
    EXPECT_FALSE(platform::OpenOfflineRenderer("", &error));
    EXPECT_EQ(error, "no offline renderer is installed");
}

}  // namespace
