#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <regex>
#include <string>
#include <vector>

#include "engine/mixer_routing.h"
#include "engine/mixer_state.h"
#include "platform/mixer.h"
#include "platform/pulse/pulse_backend.h"
#include "support/pulse_env.h"

namespace {

using testsupport::Pactl;

std::string Trim(std::string s) {
    while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) s.pop_back();
    return s;
}

// The linear amplitude of every channel, from the raw volumes pactl prints
// ("front-left: 52016 /  79% / -6.02 dB"); the server's software volume is cubic.
std::vector<double> LinearVolumes(const std::string& pactlOutput) {
    std::vector<double> out;
    static const std::regex raw(R"(:\s*(\d+)\s*/)");
    for (auto it = std::sregex_iterator(pactlOutput.begin(), pactlOutput.end(), raw);
         it != std::sregex_iterator(); ++it) {
        const double f = std::stod((*it)[1]) / 65536.0;
        out.push_back(f * f * f);
    }
    return out;
}

void ExpectLinear(const std::string& what, const std::string& pactlArgs, double linear) {
    const std::string text = Pactl(pactlArgs);
    const auto volumes = LinearVolumes(text);
    ASSERT_EQ(volumes.size(), 2u) << what << ": " << text;
    for (double v : volumes) EXPECT_NEAR(v, linear, 1e-3) << what << ": " << text;
}

class MixerRoutingOnServer : public ::testing::Test {
  protected:
    void TearDown() override { platform::InstallMixer(nullptr); }
};

TEST_F(MixerRoutingOnServer, TwoSinksRecordTheSpeakersMonitor) {
    testsupport::PrivateServer server({"speakers", "other"});
    ASSERT_TRUE(server.ok());
    Pactl("set-default-source other.monitor");
    Pactl("set-sink-mute speakers 1");
    Pactl("set-source-mute speakers.monitor 1");
    Pactl("set-source-mute other.monitor 1");
    Pactl("set-source-volume speakers.monitor 20%");
    ASSERT_EQ(Trim(Pactl("get-default-source")), "other.monitor");

    platform::InstallMixer(platform::pulse::MakeMixer());
    engine::SetMixerBtnClick(80);

    EXPECT_EQ(Trim(Pactl("get-default-source")), "speakers.monitor");
    ExpectLinear("speakers", "get-sink-volume speakers", 0.5);
    ExpectLinear("speakers.monitor", "get-source-volume speakers.monitor", 0.8);
    ExpectLinear("other.monitor", "get-source-volume other.monitor", 0.8);
    ExpectLinear("other (not a routed sink)", "get-sink-volume other", 1.0);
    EXPECT_EQ(Trim(Pactl("get-sink-mute speakers")), "Mute: no");
    EXPECT_EQ(Trim(Pactl("get-source-mute speakers.monitor")), "Mute: no");
    EXPECT_EQ(Trim(Pactl("get-source-mute other.monitor")), "Mute: no");
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

TEST_F(MixerRoutingOnServer, ServerGoneMidRoutingFailsQuietly) {
    testsupport::PrivateServer server({"speakers", "other"});
    ASSERT_TRUE(server.ok());
    platform::InstallMixer(platform::pulse::MakeMixer());
    using namespace engine::mixer;

    OpenMixer();
    ASSERT_NE(State().handle, nullptr);
    ASSERT_TRUE(FindComponentControl(MIXERLINE_COMPONENTTYPE_DST_SPEAKERS,
                                     MIXERCONTROL_CONTROLTYPE_VOLUME));
    SetControlPercent(50);
    server.kill();
    // The layout was read at open, so lookups still answer; every value call now fails.
    EXPECT_TRUE(FindDestinationControl(MIXERCONTROL_CONTROLTYPE_MUTE));
    SetControlPercent(0);
    MIXERCONTROLDETAILS_UNSIGNED v{0};
    MIXERCONTROLDETAILS d{sizeof d, State().control.dwControlID, 1, 0, sizeof v, &v};
    EXPECT_NE(mixerSetControlDetails(State().handle, &d, MIXER_SETCONTROLDETAILSF_VALUE),
              MMSYSERR_NOERROR);
    EXPECT_TRUE(FindSourceSelector());
    ReadSelectorItems();
    ReadSelectorValues();
    WriteSelectorValues();
    CloseMixer();
    EXPECT_EQ(State().handle, nullptr);

    // And a whole routing against the dead server does nothing, at once.
    engine::SetMixerBtnClick(30);
    EXPECT_EQ(State().handle, nullptr);
}

}  // namespace
