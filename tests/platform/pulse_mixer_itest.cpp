#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "platform/mixer.h"
#include "platform/pulse/pulse_backend.h"
#include "platform/pulse/pulse_mixer_layout.h"
#include "support/pulse_env.h"

namespace {

using namespace platform::pulse;
using testsupport::Pactl;

std::string Trim(std::string s) {
    while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) s.pop_back();
    return s;
}

ServerDevice Device(const std::string& name, const std::string& description, DWORD channels,
                    const std::string& monitorOf = "") {
    ServerDevice d;
    d.name = name;
    d.description = description;
    d.channels = channels;
    d.monitorOf = monitorOf;
    return d;
}

TEST(PulseMixerLayout, SourcesAreClassifiedAndNamed) {
    ServerSnapshot s;
    s.defaultSink = "hw";
    s.defaultSource = "mic";
    s.sinks = {Device("hw", "Built-in Audio", 2), Device("hdmi", "HDMI", 2)};
    ServerDevice hwMonitor = Device("hw.monitor", "Monitor of Built-in Audio", 2, "hw");
    ServerDevice hdmiMonitor = Device("hdmi.monitor", "Monitor of HDMI", 2, "hdmi");
    ServerDevice webcam = Device("cam", "Webcam", 1);
    webcam.formFactor = "webcam";
    ServerDevice mic = Device("mic", std::string(70, 'M'), 2);
    mic.activePort = "analog-input-mic";
    ServerDevice headsetPort = Device("hs", "Headset", 1);
    headsetPort.portKind = PortKind::Microphone;
    ServerDevice lineIn = Device("line", "Line In", 2);
    lineIn.activePort = "analog-input-linein";
    lineIn.portKind = PortKind::Line;
    s.sources = {hwMonitor, hdmiMonitor, webcam, mic, headsetPort, lineIn};

    const PulseMixerLayout layout = BuildMixerLayout(s);
    const auto& t = layout.topology;
    ASSERT_EQ(t.destinations.size(), 2u);
    EXPECT_EQ(t.destinations[0].line.componentType, MIXERLINE_COMPONENTTYPE_DST_SPEAKERS);
    EXPECT_EQ(t.destinations[0].line.name, "Built-in Audio");
    EXPECT_TRUE(t.destinations[0].sources.empty());
    const auto& rec = t.destinations[1];
    EXPECT_EQ(rec.line.componentType, MIXERLINE_COMPONENTTYPE_DST_WAVEIN);
    ASSERT_EQ(rec.sources.size(), 6u);
    const std::vector<DWORD> types = {
        MIXERLINE_COMPONENTTYPE_SRC_SYNTHESIZER, MIXERLINE_COMPONENTTYPE_SRC_ANALOG,
        MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE,  MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE,
        MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE,  MIXERLINE_COMPONENTTYPE_SRC_LINE};
    for (size_t i = 0; i < types.size(); ++i) {
        EXPECT_EQ(rec.sources[i].componentType, types[i]) << s.sources[i].name;
        EXPECT_LE(rec.sources[i].name.size(), 63u);
        EXPECT_EQ(rec.sources[i].controls.size(), 2u);
    }
    EXPECT_EQ(rec.sources[0].name, "Synthesizer (Built-in Audio)");
    EXPECT_EQ(rec.sources[1].name, "Monitor of HDMI");
    EXPECT_EQ(rec.sources[3].name, std::string(63, 'M'));

    // The recording side: its own volume and mute, then the selector over every source.
    ASSERT_EQ(rec.line.controls.size(), 3u);
    const auto& mux = rec.line.controls[2];
    EXPECT_EQ(mux.type, MIXERCONTROL_CONTROLTYPE_MUX);
    ASSERT_EQ(mux.items.size(), 6u);
    for (size_t i = 0; i < mux.items.size(); ++i) {
        EXPECT_EQ(mux.items[i].param1, rec.sources[i].id);
        EXPECT_EQ(mux.items[i].param2, rec.sources[i].componentType);
        EXPECT_EQ(layout.bindings.at(mux.id).items[i], s.sources[i].name);
    }
    EXPECT_EQ(layout.bindings.at(rec.line.controls[0].id).device, "mic");
}

TEST(PulseMixerLayout, NoDefaultDevicesLeaveLinesWithoutControls) {
    ServerSnapshot s;
    const auto t = BuildMixerLayout(s).topology;
    ASSERT_EQ(t.destinations.size(), 2u);
    EXPECT_TRUE(t.destinations[0].line.controls.empty());
    ASSERT_EQ(t.destinations[1].line.controls.size(), 1u);  // an empty selector
    EXPECT_TRUE(t.destinations[1].line.controls[0].items.empty());
}

class PulseMixerOnServer : public ::testing::Test {
  protected:
    void SetUp() override { platform::InstallMixer(MakeMixer()); }
    void TearDown() override { platform::InstallMixer(nullptr); }
};

TEST_F(PulseMixerOnServer, ReadsTheServerAndWritesReachItBeforeTheCallReturns) {
    testsupport::PrivateServer server({"speakers", "other"});
    ASSERT_TRUE(server.ok());
    Pactl("set-default-source other.monitor");
    HMIXER h = nullptr;
    ASSERT_EQ(mixerOpen(&h, 0, 0, 0, 0), MMSYSERR_NOERROR);

    MIXERLINEA line{};
    line.cbStruct = sizeof line;
    line.dwComponentType = MIXERLINE_COMPONENTTYPE_SRC_SYNTHESIZER;
    ASSERT_EQ(mixerGetLineInfoA(h, &line, MIXER_GETLINEINFOF_COMPONENTTYPE), 0u);
    EXPECT_STREQ(line.szName, "Synthesizer (speakers)");
    EXPECT_EQ(line.dwDestination, 1u);
    line.dwComponentType = MIXERLINE_COMPONENTTYPE_SRC_DIGITAL;
    EXPECT_EQ(mixerGetLineInfoA(h, &line, MIXER_GETLINEINFOF_COMPONENTTYPE), MIXERR_INVALLINE);

    line.dwDestination = 1;
    ASSERT_EQ(mixerGetLineInfoA(h, &line, MIXER_GETLINEINFOF_DESTINATION), 0u);
    ASSERT_EQ(line.cConnections, 2u);
    MIXERCONTROLA mux{};
    MIXERLINECONTROLSA lc{sizeof lc, line.dwLineID, {MIXERCONTROL_CONTROLTYPE_MUX},
                          1,         sizeof mux,    &mux};
    ASSERT_EQ(mixerGetLineControlsA(h, &lc, MIXER_GETLINECONTROLSF_ONEBYTYPE), 0u);
    ASSERT_EQ(mux.cMultipleItems, 2u);
    MIXERCONTROLDETAILS_LISTTEXTA texts[2];
    MIXERCONTROLDETAILS d{sizeof d, mux.dwControlID, 1, 2, sizeof texts[0], texts};
    ASSERT_EQ(mixerGetControlDetailsA(h, &d, MIXER_GETCONTROLDETAILSF_LISTTEXT), 0u);
    LONG selected[2] = {7, 7};
    d = {sizeof d, mux.dwControlID, 1, 2, sizeof(LONG), selected};
    ASSERT_EQ(mixerGetControlDetailsA(h, &d, MIXER_GETCONTROLDETAILSF_VALUE), 0u);
    const int other = texts[0].dwParam2 == MIXERLINE_COMPONENTTYPE_SRC_ANALOG ? 0 : 1;
    EXPECT_STREQ(texts[other].szName, "Monitor of other");
    EXPECT_EQ(selected[other], 1);
    EXPECT_EQ(selected[1 - other], 0);

    // Select the synthesizer's line; mute and set the speakers.
    selected[other] = 0;
    selected[1 - other] = 1;
    ASSERT_EQ(mixerSetControlDetails(h, &d, 0), 0u);
    EXPECT_EQ(Trim(Pactl("get-default-source")), "speakers.monitor");

    line.dwComponentType = MIXERLINE_COMPONENTTYPE_DST_SPEAKERS;
    ASSERT_EQ(mixerGetLineInfoA(h, &line, MIXER_GETLINEINFOF_COMPONENTTYPE), 0u);
    MIXERCONTROLA control{};
    lc = {sizeof lc, line.dwLineID, {MIXERCONTROL_CONTROLTYPE_MUTE}, 1, sizeof control, &control};
    ASSERT_EQ(mixerGetLineControlsA(h, &lc, MIXER_GETLINECONTROLSF_ONEBYTYPE), 0u);
    LONG on = 1;
    d = {sizeof d, control.dwControlID, 1, 0, sizeof on, &on};
    ASSERT_EQ(mixerSetControlDetails(h, &d, 0), 0u);
    EXPECT_EQ(Trim(Pactl("get-sink-mute speakers")), "Mute: yes");

    lc.dwControlType = MIXERCONTROL_CONTROLTYPE_VOLUME;
    ASSERT_EQ(mixerGetLineControlsA(h, &lc, MIXER_GETLINECONTROLSF_ONEBYTYPE), 0u);
    EXPECT_EQ(control.Bounds.lMaximum, 65535);
    LONG channels[2] = {65535, 0};
    d = {sizeof d, control.dwControlID, 2, 0, sizeof(LONG), channels};
    ASSERT_EQ(mixerSetControlDetails(h, &d, 0), 0u);
    const std::string volume = Pactl("get-sink-volume speakers");
    EXPECT_NE(volume.find("front-left: 65536 / 100%"), std::string::npos) << volume;
    EXPECT_NE(volume.find("front-right: 0 /"), std::string::npos) << volume;
    // Changed behind the mixer's back: reads come from the server, not from the open.
    Pactl("set-sink-volume speakers 32768 32768");
    LONG read[2] = {0, 0};
    d.paDetails = read;
    ASSERT_EQ(mixerGetControlDetailsA(h, &d, MIXER_GETCONTROLDETAILSF_VALUE), 0u);
    EXPECT_NEAR(read[0], 65535 / 8, 2);  // (1/2)^3 linear
    EXPECT_EQ(mixerClose(h), 0u);
}

TEST_F(PulseMixerOnServer, DeadServerFailsEveryValueCallAndCloses) {
    testsupport::PrivateServer server({"speakers"});
    ASSERT_TRUE(server.ok());
    HMIXER h = nullptr;
    ASSERT_EQ(mixerOpen(&h, 0, 0, 0, 0), MMSYSERR_NOERROR);
    server.kill();
    MIXERLINEA line{};
    line.cbStruct = sizeof line;
    line.dwComponentType = MIXERLINE_COMPONENTTYPE_DST_SPEAKERS;
    ASSERT_EQ(mixerGetLineInfoA(h, &line, MIXER_GETLINEINFOF_COMPONENTTYPE), 0u);
    MIXERCONTROLA control{};
    MIXERLINECONTROLSA lc{sizeof lc, line.dwLineID,  {MIXERCONTROL_CONTROLTYPE_VOLUME},
                          1,         sizeof control, &control};
    ASSERT_EQ(mixerGetLineControlsA(h, &lc, MIXER_GETLINECONTROLSF_ONEBYTYPE), 0u);
    LONG v = 100;
    MIXERCONTROLDETAILS d{sizeof d, control.dwControlID, 1, 0, sizeof v, &v};
    EXPECT_NE(mixerSetControlDetails(h, &d, 0), MMSYSERR_NOERROR);
    EXPECT_NE(mixerGetControlDetailsA(h, &d, MIXER_GETCONTROLDETAILSF_VALUE), MMSYSERR_NOERROR);
    EXPECT_EQ(v, 100);
    EXPECT_EQ(mixerClose(h), MMSYSERR_NOERROR);
}

TEST_F(PulseMixerOnServer, ServerThatStopsAnsweringIsGivenUpOnAfterOneCall) {
    testsupport::PrivateServer server({"speakers"});
    ASSERT_TRUE(server.ok());
    HMIXER h = nullptr;
    ASSERT_EQ(mixerOpen(&h, 0, 0, 0, 0), MMSYSERR_NOERROR);
    MIXERLINEA line{};
    line.cbStruct = sizeof line;
    line.dwComponentType = MIXERLINE_COMPONENTTYPE_DST_SPEAKERS;
    ASSERT_EQ(mixerGetLineInfoA(h, &line, MIXER_GETLINEINFOF_COMPONENTTYPE), 0u);
    MIXERCONTROLA control{};
    MIXERLINECONTROLSA lc{sizeof lc, line.dwLineID,  {MIXERCONTROL_CONTROLTYPE_VOLUME},
                          1,         sizeof control, &control};
    ASSERT_EQ(mixerGetLineControlsA(h, &lc, MIXER_GETLINECONTROLSF_ONEBYTYPE), 0u);
    LONG v = 100;
    MIXERCONTROLDETAILS d{sizeof d, control.dwControlID, 1, 0, sizeof v, &v};

    ::kill(server.pid(), SIGSTOP);
    EXPECT_NE(mixerSetControlDetails(h, &d, 0), MMSYSERR_NOERROR);  // waits out its time
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 20; ++i) EXPECT_NE(mixerSetControlDetails(h, &d, 0), MMSYSERR_NOERROR);
    // The rest fail without waiting again (each would take seconds otherwise).
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    ::kill(server.pid(), SIGCONT);
    EXPECT_EQ(mixerClose(h), MMSYSERR_NOERROR);
}

}  // namespace
