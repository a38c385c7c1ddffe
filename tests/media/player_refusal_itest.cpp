// The player on the real MCI service: files and servers it refuses, and a server that dies
// while it plays.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <random>

#include "player_fixture.h"
#include "support/smf_builder.h"

namespace {

namespace fs = std::filesystem;
using mediatest::Clock;
using mediatest::Ms;
using mediatest::PlayerOnServer;
using mediatest::Pump;
using mediatest::WriteBytes;

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
