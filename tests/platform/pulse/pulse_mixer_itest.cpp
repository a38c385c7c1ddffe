#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/mci.h"
#include "platform/mixer.h"
#include "platform/pulse/program_levels.h"
#include "platform/pulse/pulse_backend.h"
#include "platform/pulse/pulse_mixer_layout.h"
#include "support/pulse_env.h"
#include "support/smf_builder.h"
#include "support/temp_folder.h"

namespace {

using namespace platform::pulse;
using testsupport::Pactl;

ServerDevice Device(const std::string& name, const std::string& description, DWORD channels,
                    const std::string& monitorOf = "") {
    ServerDevice d;
    d.name = name;
    d.description = description;
    d.channels = channels;
    d.monitorOf = monitorOf;
    return d;
}

TEST(PulseMixerLayout, TheSynthesizerLineComesFirstThenEveryServerSourceClassified) {
    ServerSnapshot s;
    s.defaultSink = "hw";
    s.defaultSource = "mic";
    s.sinks = {Device("hw", "Built-in Audio", 2), Device("hdmi", "HDMI", 2)};
    ServerDevice hwMonitor = Device("hw.monitor", "Monitor of Built-in Audio", 2, "hw");
    ServerDevice webcam = Device("cam", "Webcam", 1);
    webcam.formFactor = "webcam";
    ServerDevice mic = Device("mic", std::string(70, 'M'), 2);
    mic.activePort = "analog-input-mic";
    ServerDevice headsetPort = Device("hs", "Headset", 1);
    headsetPort.portKind = PortKind::Microphone;
    ServerDevice lineIn = Device("line", "Line In", 2);
    lineIn.activePort = "analog-input-linein";
    lineIn.portKind = PortKind::Line;
    s.sources = {hwMonitor, webcam, mic, headsetPort, lineIn};

    const PulseMixerLayout layout = BuildMixerLayout(s);
    const auto& t = layout.topology;
    ASSERT_EQ(t.destinations.size(), 2u);
    EXPECT_EQ(t.destinations[0].line.componentType, MIXERLINE_COMPONENTTYPE_DST_SPEAKERS);
    EXPECT_EQ(t.destinations[0].line.name, "Speakers (Built-in Audio)");
    ASSERT_EQ(t.destinations[0].line.controls.size(), 2u);
    EXPECT_EQ(layout.bindings.at(t.destinations[0].line.controls[0].id).kind,
              PulseBinding::SpeakersVolume);
    const auto& rec = t.destinations[1];
    EXPECT_EQ(rec.line.componentType, MIXERLINE_COMPONENTTYPE_DST_WAVEIN);
    ASSERT_EQ(rec.sources.size(), 6u);
    // The monitor of the default sink is no synthesizer: it carries every program's sound.
    const std::vector<DWORD> types = {
        MIXERLINE_COMPONENTTYPE_SRC_SYNTHESIZER, MIXERLINE_COMPONENTTYPE_SRC_ANALOG,
        MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE,  MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE,
        MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE,  MIXERLINE_COMPONENTTYPE_SRC_LINE};
    const std::vector<std::string> keys = {kSynthesizerLine, "hw.monitor", "cam", "mic", "hs",
                                           "line"};
    for (size_t i = 0; i < types.size(); ++i) {
        EXPECT_EQ(rec.sources[i].componentType, types[i]) << i;
        EXPECT_LE(rec.sources[i].name.size(), 63u);
        ASSERT_EQ(rec.sources[i].controls.size(), 2u);
        EXPECT_EQ(layout.bindings.at(rec.sources[i].controls[0].id).line, keys[i]);
    }
    EXPECT_EQ(rec.sources[0].name, "Synthesizer");
    EXPECT_EQ(rec.sources[3].name, std::string(63, 'M'));

    // The recording side: the record stream's volume and mute, then the selector over the lines.
    ASSERT_EQ(rec.line.controls.size(), 3u);
    EXPECT_EQ(layout.bindings.at(rec.line.controls[0].id).kind, PulseBinding::RecordingVolume);
    const auto& mux = rec.line.controls[2];
    EXPECT_EQ(mux.type, MIXERCONTROL_CONTROLTYPE_MUX);
    ASSERT_EQ(mux.items.size(), 6u);
    for (size_t i = 0; i < mux.items.size(); ++i) {
        EXPECT_EQ(mux.items[i].param1, rec.sources[i].id);
        EXPECT_EQ(mux.items[i].param2, rec.sources[i].componentType);
        EXPECT_EQ(layout.bindings.at(mux.id).items[i], keys[i]);
    }
}

TEST(ProgramLevelsGains, TheSynthesizerLineIsRecordedAtItsOwnLevelWhateverTheSpeakers) {
    for (long speakers : {65535L, 32767L, 6553L}) {
        for (long line : {0L, 19660L, 65535L}) {
            const SynthesizerGains g = SynthesizerRecordingGains({speakers, false}, {line, false});
            EXPECT_NEAR(g.Total(), double(line) / 65535.0, 1e-4) << speakers << " " << line;
        }
    }
    EXPECT_EQ(SynthesizerRecordingGains({65535, true}, {65535, false}).Total(), 0.0);
    EXPECT_EQ(SynthesizerRecordingGains({65535, false}, {65535, true}).Total(), 0.0);
}

// Every control of a routing, written through the mixer's own calls.
class Mixer {
  public:
    Mixer() { ok_ = mixerOpen(&h_, 0, 0, 0, 0) == MMSYSERR_NOERROR; }
    ~Mixer() { mixerClose(h_); }
    bool ok() const { return ok_; }

    DWORD Control(DWORD componentType, DWORD controlType) {
        MIXERLINEA line{};
        line.cbStruct = sizeof line;
        line.dwComponentType = componentType;
        if (mixerGetLineInfoA(h_, &line, MIXER_GETLINEINFOF_COMPONENTTYPE) != 0) return 0;
        return ControlOfLine(line.dwLineID, controlType);
    }
    DWORD ControlOfLine(DWORD lineId, DWORD controlType) {
        MIXERCONTROLA c{};
        MIXERLINECONTROLSA lc{sizeof lc, lineId, {controlType}, 1, sizeof c, &c};
        if (mixerGetLineControlsA(h_, &lc, MIXER_GETLINECONTROLSF_ONEBYTYPE) != 0) return 0;
        items_ = c.cMultipleItems;
        return c.dwControlID;
    }
    std::vector<MIXERLINEA> Sources() {
        MIXERLINEA dest{};
        dest.cbStruct = sizeof dest;
        dest.dwDestination = 1;
        mixerGetLineInfoA(h_, &dest, MIXER_GETLINEINFOF_DESTINATION);
        std::vector<MIXERLINEA> out;
        for (DWORD i = 0; i < dest.cConnections; ++i) {
            MIXERLINEA l{};
            l.cbStruct = sizeof l;
            l.dwDestination = 1;
            l.dwSource = i;
            if (mixerGetLineInfoA(h_, &l, MIXER_GETLINEINFOF_SOURCE) == 0) out.push_back(l);
        }
        return out;
    }
    MMRESULT Write(DWORD control, std::vector<LONG> values, DWORD items = 0) {
        MIXERCONTROLDETAILS d{sizeof d, control, 1, items, sizeof(LONG), values.data()};
        return mixerSetControlDetails(h_, &d, 0);
    }
    LONG Read(DWORD control) {
        LONG v = -1;
        MIXERCONTROLDETAILS d{sizeof d, control, 1, 0, sizeof v, &v};
        mixerGetControlDetailsA(h_, &d, MIXER_GETCONTROLDETAILSF_VALUE);
        return v;
    }
    DWORD items() const { return items_; }

  private:
    HMIXER h_ = nullptr;
    bool ok_ = false;
    DWORD items_ = 0;
};

DWORD Mux(Mixer& m) {
    return m.Control(MIXERLINE_COMPONENTTYPE_DST_WAVEIN, MIXERCONTROL_CONTROLTYPE_MUX);
}

class PulseMixerOnServer : public ::testing::Test {
  protected:
    void SetUp() override {
        ProgramLevels::Instance().Reset();
        platform::InstallMixer(MakeMixer());
        platform::InstallMci(MakeMci());
    }
    void TearDown() override {
        platform::InstallMci(nullptr);
        platform::InstallMixer(nullptr);
        ProgramLevels::Instance().Reset();
    }
};

TEST_F(PulseMixerOnServer, EveryWriteStaysTheProgramsOwnAndTheUsersDevicesAreUntouched) {
    testsupport::PrivateServer server({"speakers", "other"});
    ASSERT_TRUE(server.ok());
    Pactl("set-default-source other.monitor");
    Pactl("set-sink-volume speakers 70%");
    Pactl("set-source-mute speakers.monitor 1");
    Pactl("set-source-volume speakers.monitor 40%");
    const std::string before = testsupport::DeviceState();

    Mixer m;
    ASSERT_TRUE(m.ok());
    const DWORD speakersMute =
        m.Control(MIXERLINE_COMPONENTTYPE_DST_SPEAKERS, MIXERCONTROL_CONTROLTYPE_MUTE);
    const DWORD speakersVolume =
        m.Control(MIXERLINE_COMPONENTTYPE_DST_SPEAKERS, MIXERCONTROL_CONTROLTYPE_VOLUME);
    ASSERT_NE(speakersMute, 0u);
    EXPECT_EQ(m.Write(speakersMute, {0}), 0u);
    EXPECT_EQ(m.Write(speakersVolume, {32767}), 0u);
    EXPECT_EQ(m.Read(speakersVolume), 32767);
    const auto sources = m.Sources();
    ASSERT_EQ(sources.size(), 3u);  // the synthesizer, then both monitors
    EXPECT_STREQ(sources[0].szName, "Synthesizer");
    for (const auto& line : sources) {
        EXPECT_EQ(m.Write(m.ControlOfLine(line.dwLineID, MIXERCONTROL_CONTROLTYPE_MUTE), {0}), 0u);
        EXPECT_EQ(m.Write(m.ControlOfLine(line.dwLineID, MIXERCONTROL_CONTROLTYPE_VOLUME), {60000}),
                  0u);
    }
    const DWORD mux = Mux(m);
    ASSERT_EQ(m.items(), 3u);
    EXPECT_EQ(m.Write(mux, {0, 1, 0}, 3), 0u);  // a monitor, then back to the synthesizer
    EXPECT_EQ(ProgramLevels::Instance().Selected(), "speakers.monitor");
    EXPECT_EQ(m.Write(mux, {1, 0, 0}, 3), 0u);
    EXPECT_EQ(ProgramLevels::Instance().Selected(), kSynthesizerLine);
    const DWORD recording =
        m.Control(MIXERLINE_COMPONENTTYPE_DST_WAVEIN, MIXERCONTROL_CONTROLTYPE_VOLUME);
    EXPECT_EQ(m.Write(recording, {19660}), 0u);
    EXPECT_EQ(ProgramLevels::Instance().Line(kSynthesizerLine).volume, 19660);

    EXPECT_EQ(testsupport::DeviceState(), before);
}

TEST_F(PulseMixerOnServer, TheSpeakersAreThePlayingStreamsVolumeNotTheSinks) {
    testsupport::PrivateServer server({"speakers"});
    ASSERT_TRUE(server.ok());
    const testsupport::TempFolder dir;
    const std::string path = dir.Path("melody.mid");
    ASSERT_TRUE(testsupport::SmfBuilder()
                    .NoteOn(0, 0, 60, 100)
                    .NoteOff(480, 0, 60)
                    .WriteFile(path));
    MCI_OPEN_PARMSA open{};
    open.lpstrElementName = path.c_str();
    ASSERT_EQ(mciSendCommandA(0, MCI_OPEN, MCI_OPEN_ELEMENT | MCI_WAIT,
                              reinterpret_cast<DWORD_PTR>(&open)),
              0u);
    const std::string sinkBefore = Pactl("get-sink-volume speakers");
    {
        Mixer m;
        ASSERT_TRUE(m.ok());
        m.Write(m.Control(MIXERLINE_COMPONENTTYPE_DST_SPEAKERS, MIXERCONTROL_CONTROLTYPE_VOLUME),
                {32767});
    }
    const std::string inputs = Pactl("list sink-inputs");
    // Linear 0.5 is 79 % on the server's cubic scale.
    EXPECT_NE(inputs.find("/  79% /"), std::string::npos) << inputs;
    EXPECT_EQ(Pactl("get-sink-volume speakers"), sinkBefore);
    mciSendCommandA(open.wDeviceID, MCI_CLOSE, MCI_WAIT, 0);
}

TEST_F(PulseMixerOnServer, ADeadOrSilentServerFailsTheOpenWithoutHanging) {
    testsupport::PrivateServer server({"speakers"});
    ASSERT_TRUE(server.ok());
    ::kill(server.pid(), SIGSTOP);
    auto start = std::chrono::steady_clock::now();
    HMIXER h = nullptr;
    EXPECT_NE(mixerOpen(&h, 0, 0, 0, 0), MMSYSERR_NOERROR);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    ::kill(server.pid(), SIGCONT);
    server.kill();
    start = std::chrono::steady_clock::now();
    EXPECT_NE(mixerOpen(&h, 0, 0, 0, 0), MMSYSERR_NOERROR);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
}

}  // namespace
