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

#include "media/mplayer.h"
#include "media/notice_poster.h"
#include "platform/pulse/pulse_backend.h"
#include "platform/services.h"
#include "support/pcm.h"
#include "support/pulse_env.h"
#include "support/smf_builder.h"
#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using testsupport::KeyFrequency;

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// Records the default sink's monitor with parec, as s16le stereo, until Stop.
class MonitorRecorder {
  public:
    explicit MonitorRecorder(std::string path) : path_(std::move(path)) {
        pid_ = fork();
        if (pid_ == 0) {
            const int fd = open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(fd, 1);
            execlp("parec", "parec", "--device=@DEFAULT_MONITOR@", "--format=s16le", "--rate=44100",
                   "--channels=2", "--latency-msec=20", "--raw", nullptr);
            _exit(127);
        }
    }
    ~MonitorRecorder() { Stop(); }
    // Both channels' left samples of everything recorded.
    std::vector<int16_t> Stop() {
        if (pid_ > 0) {
            kill(pid_, SIGINT);
            int status = 0;
            waitpid(pid_, &status, 0);
            pid_ = -1;
        }
        const auto bytes = testsupport::ReadAll(path_);
        std::vector<int16_t> left(bytes.size() / 4);
        for (size_t i = 0; i < left.size(); ++i)
            left[i] = int16_t(uint16_t(bytes[4 * i] | (bytes[4 * i + 1] << 8)));
        return left;
    }

  private:
    std::string path_;
    pid_t pid_ = -1;
};

void Pump(int ms) {
    const auto until = Clock::now() + std::chrono::milliseconds(ms);
    while (Clock::now() < until) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// A 16-bit PCM WAV file of interleaved samples.
void WriteWav(const std::string& path, const std::vector<uint8_t>& pcm, uint32_t rate,
              uint16_t channels) {
    auto le = [](std::vector<uint8_t>& v, uint32_t x, int n) {
        for (int i = 0; i < n; ++i) v.push_back(uint8_t(x >> (8 * i)));
    };
    std::vector<uint8_t> f{'R', 'I', 'F', 'F'};
    le(f, uint32_t(36 + pcm.size()), 4);
    for (char c : std::string("WAVEfmt ")) f.push_back(uint8_t(c));
    le(f, 16, 4);
    le(f, 1, 2);
    le(f, channels, 2);
    le(f, rate, 4);
    le(f, rate * channels * 2, 4);
    le(f, channels * 2u, 2);
    le(f, 16, 2);
    for (char c : std::string("data")) f.push_back(uint8_t(c));
    le(f, uint32_t(pcm.size()), 4);
    f.insert(f.end(), pcm.begin(), pcm.end());
    WriteBytes(path, f);
}

class PlayerOnServer : public testsupport::TempFolderTest {
  protected:
    void SetUp() override {
        REQUIRE_SOUND_SERVER();
        platform::InstallMci(platform::pulse::MakeMci());
        media::InstallQtNoticePoster();
    }
    void TearDown() override {
        platform::InstallMci(nullptr);
        platform::SetMciNoticePoster(nullptr);
    }

    struct Run {
        std::vector<int32_t> positions;
        bool sawPlaying = false;
        double playMs = 0;
    };
    // Plays the open player to its end as the conversion does: play, milliseconds, then poll.
    static Run PlayToEnd(TMediaPlayer& player, int limitMs) {
        Run run;
        const auto start = Clock::now();
        player.Play();
        player.SetTimeFormat(MCI_FORMAT_MILLISECONDS);
        while (player.Mode() == pmPlaying && Ms(Clock::now() - start) < limitMs) {
            run.sawPlaying = true;
            run.positions.push_back(player.Position());
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        run.playMs = Ms(Clock::now() - start);
        run.positions.push_back(player.Position());
        return run;
    }

    // The music in a recording: from its first loud sample on.
    static std::vector<int16_t> Music(const std::vector<int16_t>& recorded) {
        const size_t onset = testsupport::FirstLoud(recorded, 300);
        if (onset == SIZE_MAX) return {};
        return std::vector<int16_t>(recorded.begin() + long(onset), recorded.end());
    }
};

void ExpectRisesToLength(const std::vector<int32_t>& positions, int32_t length) {
    ASSERT_FALSE(positions.empty());
    for (size_t i = 1; i < positions.size(); ++i)
        ASSERT_GE(positions[i], positions[i - 1]) << "position went back at poll " << i;
    for (int32_t p : positions) ASSERT_LE(p, length);
    EXPECT_EQ(positions.back(), length);
    EXPECT_GT(positions.size(), 20u);  // it was seen rising, not jumping
}

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

TEST_F(PlayerOnServer, BadFilesAreRefusedAtOpenWithAClearText) {
    const auto melody = testsupport::MelodySmf({60, 64}, 0.5);
    std::vector<uint8_t> noise(2000);
    std::mt19937 rng(7);
    for (auto& b : noise) b = uint8_t(rng());
    WriteBytes(Path("empty.mid"), {});
    WriteBytes(Path("noise.mid"), noise);
    WriteBytes(Path("noise.xyz"), noise);
    WriteBytes(Path("noise.wav"), noise);
    WriteBytes(Path("cut.mid"), std::vector<uint8_t>(melody.begin(), melody.begin() + 10));
    auto lyingHeader = melody;
    lyingHeader[7] = 200;  // header chunk length 200: past the end of the file
    WriteBytes(Path("lying-header.mid"), lyingHeader);
    auto lyingTrack = testsupport::SmfBuilder(1, 480)
                          .NoteOn(0, 0, 60, 90)
                          .NoteOff(480, 0, 60)
                          .Track()
                          .NoteOn(0, 1, 64, 90)
                          .NoteOff(480, 1, 64)
                          .Bytes();
    lyingTrack[14 + 7] = uint8_t(lyingTrack[14 + 7] + 3);  // first track claims 3 bytes more
    WriteBytes(Path("lying-track.mid"), lyingTrack);
    fs::create_directories(Path("folder.mid"));

    const std::vector<std::pair<std::string, std::string>> cases{
        {"missing.mid", "Cannot find"},
        {"folder.mid", "folder"},
        {"empty.mid", "not a valid MIDI file"},
        {"noise.mid", "not a valid MIDI file"},
        {"noise.xyz", "no device type"},
        {"noise.wav", "WAV"},
        {"cut.mid", "not a valid MIDI file"},
        {"lying-header.mid", "not a valid MIDI file"},
        {"lying-track.mid", "not a valid MIDI file"}};
    for (const auto& [name, expected] : cases) {
        TMediaPlayer player;
        player.FileName = Path(name);
        try {
            player.Open();
            ADD_FAILURE() << name << " was opened";
        } catch (const EMCIDeviceError& e) {
            EXPECT_NE(e.Message().find(expected), std::string::npos) << name << ": " << e.Message();
            EXPECT_NE(e.Message(), "Unbekannter Fehlercode");
        }
        EXPECT_FALSE(player.IsOpen());
        EXPECT_EQ(player.DeviceId(), 0);
    }
}

TEST_F(PlayerOnServer, WithoutASoundFontOpenNamesWhatWasLookedFor) {
    WriteBytes(Path("melody.mid"), testsupport::MelodySmf({60}, 0.5));
    setenv("TONVERA_SOUNDFONT", Path("nowhere.sf2").c_str(), 1);
    TMediaPlayer player;
    player.FileName = Path("melody.mid");
    std::string message;
    try {
        player.Open();
    } catch (const EMCIDeviceError& e) {
        message = e.Message();
    }
    unsetenv("TONVERA_SOUNDFONT");
    EXPECT_EQ(player.LastError(), MCIERR_NO_SOUNDFONT);
    EXPECT_NE(message.find(Path("nowhere.sf2")), std::string::npos) << message;
    EXPECT_FALSE(player.IsOpen());
}

TEST_F(PlayerOnServer, WithoutASoundServerOpenFailsAtOnce) {
    WriteBytes(Path("melody.mid"), testsupport::MelodySmf({60}, 0.5));
    const std::string saved = std::getenv("PULSE_SERVER");
    setenv("PULSE_SERVER", ("unix:" + Path("no-such-socket")).c_str(), 1);
    TMediaPlayer player;
    player.FileName = Path("melody.mid");
    const auto start = Clock::now();
    std::string message;
    try {
        player.Open();
    } catch (const EMCIDeviceError& e) {
        message = e.Message();
    }
    const double ms = Ms(Clock::now() - start);
    setenv("PULSE_SERVER", saved.c_str(), 1);
    EXPECT_EQ(player.LastError(), MCIERR_NO_SOUND_SERVER);
    EXPECT_NE(message.find("No sound server"), std::string::npos) << message;
    EXPECT_FALSE(player.IsOpen());
    EXPECT_LT(ms, 3000);
}

}  // namespace

namespace {

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

TEST_F(PlayerOnServer, AServerThatDiesEndsThePlayWithAFailure) {
    WriteBytes(Path("melody.mid"), testsupport::MelodySmf({60, 64, 67}, 1.0));
    TMediaPlayer player;
    {
        testsupport::PrivateServer server;
        ASSERT_TRUE(server.ok());
        player.FileName = Path("melody.mid");
        player.Open();
        player.Play();
        Pump(500);
        server.kill();
        const auto start = Clock::now();
        while (player.Mode() == pmPlaying && Ms(Clock::now() - start) < 5000) Pump(10);
        EXPECT_LT(Ms(Clock::now() - start), 3000);
        EXPECT_NE(player.Mode(), pmPlaying);
        Pump(50);
        EXPECT_EQ(player.LastNotice(), nsFailure);
        EXPECT_LE(player.Position(), player.Length());
        player.Close();
        EXPECT_FALSE(player.IsOpen());
        EXPECT_THROW(player.Open(), EMCIDeviceError);
        EXPECT_EQ(player.LastError(), MCIERR_NO_SOUND_SERVER);
    }
}

}  // namespace
