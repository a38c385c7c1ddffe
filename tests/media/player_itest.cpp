// The player on the real MCI service, against the private sound server: MIDI through the
// synthesizer and WAV through libsndfile, heard on the null sink's monitor.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

#include "platform/encode.h"
#include "player_fixture.h"
#include "support/pcm.h"
#include "support/pulse_env.h"
#include "support/smf_builder.h"

namespace {

namespace fs = std::filesystem;
using mediatest::Clock;
using mediatest::ExpectRisesToLength;
using mediatest::MonitorRecorder;
using mediatest::Ms;
using mediatest::PlayerOnServer;
using mediatest::Pump;
using mediatest::WriteBytes;
using mediatest::WriteWav;
using testsupport::KeyFrequency;

TEST_F(PlayerOnServer, AMidiFilePlaysToItsEndWithoutAGapAtItsPitches) {
    const std::vector<uint8_t> keys{60, 64, 67};
    WriteBytes(Path("melody.mid"), testsupport::MelodySmf(keys, 1.0));
    TMediaPlayer player;
    int notices = 0;
    player.OnNotify = [&](TMediaPlayer*) { ++notices; };
    player.FileName = Path("melody.mid");
    player.Open();
    MonitorRecorder recorder(Path("melody.raw"));
    Pump(1500);  // the record stream delivers before the music starts

    const Run run = PlayToEnd(player, 15000);
    Pump(400);
    const auto recorded = recorder.Stop();

    EXPECT_TRUE(run.sawPlaying);
    EXPECT_EQ(player.Mode(), pmStopped);
    EXPECT_EQ(player.Length(), 3000);
    ExpectRisesToLength(run.positions, 3000);
    // The mode lasts the music and its release, bounded.
    EXPECT_GT(run.playMs, 3000);
    EXPECT_LT(run.playMs, 3000 + 6000);
    EXPECT_EQ(player.Underflows(), 0);
    Pump(50);
    EXPECT_EQ(player.LastNotice(), nsSuccessful);
    EXPECT_GE(notices, 2);  // the time format, then the end of the play

    const auto music = Music(recorded);
    ASSERT_GT(music.size(), 3u * 44100) << "the monitor did not hear the music";
    for (size_t i = 0; i < keys.size(); ++i) {
        const double pitch = testsupport::EstimatePitch(music, i * 44100 + 8820, 22050);
        EXPECT_NEAR(pitch, KeyFrequency(keys[i]), KeyFrequency(keys[i]) * 0.03) << "note " << i;
    }
    const auto gaps = testsupport::InnerSilences(music, 441, 0, 300);
    EXPECT_TRUE(gaps.empty()) << gaps.size() << " runs of silence, first at frame "
                              << gaps.front().start;

    // Played to its end and not closed: the next play starts again from the beginning.
    player.Play();
    Pump(300);
    EXPECT_EQ(player.Mode(), pmPlaying);
    EXPECT_LT(player.Position(), 1000);
    player.Close();
    EXPECT_FALSE(player.IsOpen());
}

TEST_F(PlayerOnServer, StopSilencesAtOnceAndKeepsThePosition) {
    // An organ holds its level to the note's end, so the end of the sound marks the stop.
    testsupport::SmfBuilder organ(0, 480);
    organ.Tempo(0, 500000).Program(0, 0, 16);
    for (uint8_t key : {60, 62, 64, 65, 67, 69, 71, 72})
        organ.NoteOn(0, 0, key, 100).NoteOff(960, 0, key);
    ASSERT_TRUE(organ.WriteFile(Path("long.mid")));
    TMediaPlayer player;
    player.FileName = Path("long.mid");
    player.Open();
    MonitorRecorder recorder(Path("long.raw"));
    Pump(1500);
    player.Play();
    player.SetTimeFormat(MCI_FORMAT_MILLISECONDS);
    Pump(2000);
    const auto before = Clock::now();
    player.Stop();
    const double stopMs = Ms(Clock::now() - before);
    EXPECT_EQ(player.Mode(), pmStopped);
    const int32_t kept = player.Position();
    Pump(600);
    const auto recorded = recorder.Stop();

    EXPECT_EQ(player.Position(), kept);
    EXPECT_GT(kept, 1000);
    EXPECT_LT(kept, 2500);
    EXPECT_EQ(player.LastNotice(), nsAborted);
    EXPECT_LT(stopMs, 500);

    // What the monitor heard after the position the device reported at the stop.
    const auto music = Music(recorded);
    size_t last = music.size();
    while (last > 0 && std::abs(int(music[last - 1])) <= 300) --last;
    const double heardMs = last * 1000.0 / 44100;
    std::printf("[ figures  ] stop call %.1f ms; sound went on %.1f ms past the kept position\n",
                stopMs, heardMs - kept);
    EXPECT_LT(heardMs - kept, 500);
    // Interpolated server time may run a little ahead on a loaded machine.
    EXPECT_GT(heardMs - kept, -250);
    EXPECT_EQ(player.Underflows(), 0);
}

TEST_F(PlayerOnServer, AWavFilePlaysThroughWaveaudio) {
    auto pcm = testsupport::StereoTone(440, 1.0, 0.4);
    const auto second = testsupport::StereoTone(660, 1.0, 0.4);
    pcm.insert(pcm.end(), second.begin(), second.end());
    WriteWav(Path("tones.wav"), pcm, 44100, 2);
    TMediaPlayer player;
    player.FileName = Path("tones.wav");
    player.Open();
    MonitorRecorder recorder(Path("tones.raw"));
    Pump(1500);

    const Run run = PlayToEnd(player, 10000);
    Pump(400);
    const auto recorded = recorder.Stop();

    EXPECT_EQ(player.Length(), 2000);
    ExpectRisesToLength(run.positions, 2000);
    EXPECT_LT(run.playMs, 2000 + 1500);
    EXPECT_EQ(player.Underflows(), 0);
    const auto music = Music(recorded);
    ASSERT_GT(music.size(), 2u * 44100 - 2000);
    const std::vector<int16_t> first(music.begin() + 4410, music.begin() + 39690);
    const std::vector<int16_t> then(music.begin() + 48510, music.begin() + 83790);
    EXPECT_NEAR(testsupport::EstimatePitch(first, 0, first.size()), 440, 5);
    EXPECT_NEAR(testsupport::EstimatePitch(then, 0, then.size()), 660, 5);
    EXPECT_TRUE(testsupport::InnerSilences(music, 441, 0, 300).empty());
    // Amplitude kept: every volume is at 100 %.
    EXPECT_NEAR(testsupport::Peak(music), 0.4 * 32767, 0.02 * 32767);

    // Another rate and mono: converted, its length in its own time.
    std::vector<uint8_t> mono(48000 * 2);
    for (size_t i = 0; i < 48000; ++i) {
        const auto s = int16_t(8000 * std::sin(2 * M_PI * 440 * double(i) / 48000));
        mono[2 * i] = uint8_t(s);
        mono[2 * i + 1] = uint8_t(uint16_t(s) >> 8);
    }
    WriteWav(Path("mono48k.wav"), mono, 48000, 1);
    player.FileName = Path("mono48k.wav");
    player.Open();
    EXPECT_EQ(player.Length(), 1000);
}

TEST_F(PlayerOnServer, APlayAfterAStopGoesOnFromTheKeptPosition) {
    WriteBytes(Path("melody.mid"), testsupport::MelodySmf({60, 64, 67}, 1.0));
    TMediaPlayer player;
    player.FileName = Path("melody.mid");
    player.Open();
    player.Play();
    player.SetTimeFormat(MCI_FORMAT_MILLISECONDS);
    Pump(1200);
    player.Stop();
    const int32_t kept = player.Position();
    ASSERT_GT(kept, 500);

    const Run run = PlayToEnd(player, 10000);
    EXPECT_GE(run.positions.front(), kept);
    ExpectRisesToLength(run.positions, 3000);
    EXPECT_LT(run.playMs, 3000 - kept + 6000);
    EXPECT_EQ(player.Underflows(), 0);
}

TEST_F(PlayerOnServer, TheCompressedFilesAConversionWritesPlayThroughWaveaudio) {
    auto pcm = testsupport::StereoTone(440, 1.0, 0.4);
    const auto second = testsupport::StereoTone(660, 1.0, 0.4);
    pcm.insert(pcm.end(), second.begin(), second.end());
    WriteWav(Path("tones.wav"), pcm, 44100, 2);
    for (auto format : {platform::OutputFormat::kOpus, platform::OutputFormat::kMp3}) {
        const std::string file = Path("tones") + platform::FormatExtension(format);
        std::string error;
        ASSERT_TRUE(platform::EncodeRecording(Path("tones.wav"), file, format, &error)) << error;
        TMediaPlayer player;
        player.FileName = file;
        player.Open();
        MonitorRecorder recorder(Path("tones.raw"));
        Pump(1500);
        const Run run = PlayToEnd(player, 10000);
        Pump(400);
        const auto music = Music(recorder.Stop());
        EXPECT_NEAR(player.Length(), 2000, 30) << file;
        ExpectRisesToLength(run.positions, player.Length());
        EXPECT_EQ(player.Underflows(), 0) << file;
        ASSERT_GT(music.size(), 2u * 44100 - 4000) << file;
        const std::vector<int16_t> first(music.begin() + 4410, music.begin() + 39690);
        const std::vector<int16_t> then(music.begin() + 48510, music.begin() + 83790);
        EXPECT_NEAR(testsupport::EstimatePitch(first, 0, first.size()), 440, 5) << file;
        EXPECT_NEAR(testsupport::EstimatePitch(then, 0, then.size()), 660, 5) << file;
    }
}

}  // namespace
