#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/mixer_routing.h"
#include "engine/mixer_state.h"
#include "platform/mixer.h"
#include "platform/pulse/program_levels.h"
#include "platform/pulse/pulse_backend.h"
#include "support/pulse_env.h"

namespace {

using testsupport::Pactl;

class MixerRoutingOnServer : public ::testing::Test {
  protected:
    void SetUp() override { platform::pulse::ProgramLevels::Instance().Reset(); }
    void TearDown() override {
        platform::InstallMixer(nullptr);
        platform::pulse::ProgramLevels::Instance().Reset();
    }
};


TEST_F(MixerRoutingOnServer, TheRoutingSelectsTheSynthesizerAndLeavesTheUsersDevicesAsTheyWere) {
    testsupport::PrivateServer server({"speakers", "other"});
    ASSERT_TRUE(server.ok());
    testsupport::SetUpUsersDevices();
    Pactl("set-sink-mute other 1");
    const std::string before = testsupport::DeviceState();
    ASSERT_NE(before.find("Name: mic"), std::string::npos) << before;

    platform::InstallMixer(platform::pulse::MakeMixer());
    engine::SetMixerBtnClick(80);

    EXPECT_EQ(testsupport::DeviceState(), before);
    auto& levels = platform::pulse::ProgramLevels::Instance();
    EXPECT_EQ(levels.Selected(), platform::pulse::kSynthesizerLine);
    EXPECT_EQ(levels.Speakers().volume, 32767);
    EXPECT_FALSE(levels.Speakers().mute);
    EXPECT_EQ(levels.Recording().volume, 52428);
    EXPECT_FALSE(levels.Recording().mute);
    // The microphone's line is the program's own setting for recording it, not the source's.
    EXPECT_EQ(levels.Line("mic").volume, 52428);
    EXPECT_EQ(engine::mixer::State().handle, nullptr);
}

TEST_F(MixerRoutingOnServer, NoServerReturnsAtOnce) {
    testsupport::PrivateServer server({"speakers"});
    ASSERT_TRUE(server.ok());
    server.kill();  // PULSE_SERVER now names a socket nobody answers
    platform::InstallMixer(platform::pulse::MakeMixer());

    HMIXER h = reinterpret_cast<HMIXER>(1);
    EXPECT_NE(mixerOpen(&h, 0, 0, 0, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(h, nullptr);

    const auto start = std::chrono::steady_clock::now();
    engine::SetMixerBtnClick(30);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(engine::mixer::State().handle, nullptr);
    // Refused at once, well before the connection's own time limit (3 s).
    EXPECT_LT(took, std::chrono::seconds(2));
}

TEST_F(MixerRoutingOnServer, AServerGoneMidRoutingDoesNotStopIt) {
    testsupport::PrivateServer server({"speakers", "other"});
    ASSERT_TRUE(server.ok());
    platform::InstallMixer(platform::pulse::MakeMixer());
    using namespace engine::mixer;

    OpenMixer();
    ASSERT_NE(State().handle, nullptr);
    server.kill();
    // The layout was read at open and the values are the program's own: the routing goes on.
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(FindComponentControl(MIXERLINE_COMPONENTTYPE_DST_SPEAKERS,
                                     MIXERCONTROL_CONTROLTYPE_VOLUME));
    SetControlPercent(50);
    EXPECT_TRUE(FindSourceSelector());
    ReadSelectorItems();
    ReadSelectorValues();
    WriteSelectorValues();
    CloseMixer();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    EXPECT_EQ(State().handle, nullptr);
    EXPECT_EQ(platform::pulse::ProgramLevels::Instance().Speakers().volume, 32767);
}

}  // namespace
