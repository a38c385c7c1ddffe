// The offline renderer: the recorded synthesizer line's samples without a sound server.
#include "platform/offline_render.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/midi/smf_reader.h"
#include "platform/pulse/midi_renderer.h"
#include "platform/pulse/program_levels.h"
#include "platform/pulse/pulse_backend.h"
#include "support/smf_builder.h"
#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;

class OfflineRender : public testsupport::TempFolderTest {
  protected:
    void SetUp() override {
        platform::InstallOfflineRender(platform::pulse::MakeOfflineRender());
        path_ = Path("song.mid");
        bytes_ = testsupport::MelodySmf({60, 67, 72}, 0.3);
        std::ofstream(path_, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes_.data()), std::streamsize(bytes_.size()));
    }
    void TearDown() override { platform::InstallOfflineRender(nullptr); }
    fs::path path_;
    std::vector<uint8_t> bytes_;
};

TEST_F(OfflineRender, TheSamplesAreTheSequencersAtTheRecordingsGains) {
    const platform::OfflineLevels levels{32767, 19660};
    std::vector<int16_t> got;
    platform::OfflineSong song, announced;
    std::string error;
    ASSERT_TRUE(platform::RenderMidiOffline(
        path_.string(), "", levels,
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
    const auto music = platform::pulse::RenderOffline(
        std::make_shared<const platform::midi::SmfSong>(std::move(*parsed)), &error, gains.Total());
    ASSERT_EQ(got.size(), music.size());
    for (size_t i = 0; i < music.size(); ++i)
        ASSERT_EQ(got[i], platform::pulse::RecordedSample(music[i], gains)) << "sample " << i;
    EXPECT_NEAR(gains.Total(), 0.3, 1e-4);
}

TEST_F(OfflineRender, ASinkThatStopsEndsTheRenderAndBadFilesAreRefused) {
    size_t calls = 0;
    std::string error;
    EXPECT_FALSE(platform::RenderMidiOffline(
        path_.string(), "", {}, nullptr, [&](const int16_t*, size_t) { return ++calls < 3; },
        nullptr, &error));
    EXPECT_EQ(calls, 3u);
    EXPECT_FALSE(platform::RenderMidiOffline(
        "/nonexistent.mid", "", {}, nullptr, [](const int16_t*, size_t) { return true; }, nullptr,
        &error));
    EXPECT_NE(error.find("/nonexistent.mid"), std::string::npos) << error;
    platform::InstallOfflineRender(nullptr);
    EXPECT_FALSE(platform::RenderMidiOffline(
        path_.string(), "", {}, nullptr, [](const int16_t*, size_t) { return true; }, nullptr,
        &error));
}

}  // namespace
