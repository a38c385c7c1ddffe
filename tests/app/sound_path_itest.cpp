// What a conversion records and what it leaves behind, on a server as a desktop has it: other
// programs playing, the default sink changing, the user's own device settings. Every file is
// held against the offline render of the same MIDI file at the same gain.
#include <gtest/gtest.h>
#include <signal.h>

#include <QThread>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "bench/render_compare.h"
#include "support/pcm.h"
#include "support/program_run.h"
#include "support/pulse_env.h"
#include "support/smf_builder.h"
#include "support/temp_folder.h"

namespace {

using testsupport::Pactl;
using testsupport::SmfBuilder;

// A few seconds on three channels (piano, strings, bass) and drums, chords and runs.
std::vector<uint8_t> Ensemble(int seconds, uint8_t baseKey, uint8_t velocity = 100) {
    SmfBuilder b;
    b.Program(0, 0, 0).Program(0, 1, 48).Program(0, 2, 33);
    for (int beat = 0; beat < seconds * 2; ++beat) {
        const uint8_t k = uint8_t(baseKey + (beat % 4) * 2);
        b.NoteOn(0, 0, k, velocity).NoteOn(0, 0, uint8_t(k + 4), velocity);
        b.NoteOn(0, 1, uint8_t(k + 7), velocity).NoteOn(0, 2, uint8_t(k - 24), velocity);
        b.NoteOn(0, 9, beat % 2 ? 38 : 36, velocity);
        b.NoteOff(230, 0, k).NoteOff(0, 0, uint8_t(k + 4)).NoteOff(0, 1, uint8_t(k + 7));
        b.NoteOff(0, 2, uint8_t(k - 24)).NoteOff(10, 9, beat % 2 ? 38 : 36);
    }
    return b.Bytes();
}

// Full chords on eight channels and drums: as loud as dense General MIDI music gets.
std::vector<uint8_t> LoudChords() {
    SmfBuilder b;
    const uint8_t programs[] = {0, 48, 61, 19, 33, 56, 73, 30};
    for (uint8_t ch = 0; ch < 8; ++ch) b.Program(0, ch, programs[ch]);
    for (int beat = 0; beat < 8; ++beat) {
        for (uint8_t ch = 0; ch < 8; ++ch) {
            const uint8_t base = uint8_t(48 + (ch * 7) % 12 + (beat % 4) * 2);
            for (uint8_t k : {base, uint8_t(base + 4), uint8_t(base + 7)}) b.NoteOn(0, ch, k, 110);
        }
        for (uint8_t k : {36, 38, 42, 49}) b.NoteOn(0, 9, k, 110);
        uint32_t delta = 460;
        for (uint8_t ch = 0; ch < 8; ++ch) {
            const uint8_t base = uint8_t(48 + (ch * 7) % 12 + (beat % 4) * 2);
            for (uint8_t k : {base, uint8_t(base + 4), uint8_t(base + 7)}) {
                b.NoteOff(delta, ch, k);
                delta = 0;
            }
        }
        for (uint8_t k : {36, 38, 42, 49}) b.NoteOff(0, 9, k);
    }
    return b.Bytes();
}

class SoundPath : public testsupport::TempFolderTest {
  protected:
    std::string Midi(const std::string& name, const std::vector<uint8_t>& bytes) const {
        const std::string path = Path(name);
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return path;
    }
    static QStringList Args(const std::string& midi, const std::string& wav, int volume) {
        return {QString::fromStdString(midi), QString::fromStdString(wav), QString::number(volume)};
    }
    // The file is the render: from the same sample 0, every sample within one step.
    static void ExpectTheRender(const std::string& midi, const std::string& wav, int volume) {
        const bench::Residual r =
            bench::CompareWithRender(midi, wav, bench::ConversionGains(volume));
        ASSERT_TRUE(r.error.empty()) << r.error;
        std::printf(
            "[ measure ] %s: offset %lld frames, max |difference| %lld LSB, SNR %.1f dB, "
            "%llu clipped, first sound %lld / %lld\n",
            wav.c_str(), (long long)r.offsetFrames, (long long)r.maxDifference, r.snrDb,
            (unsigned long long)r.clipped, (long long)r.firstSoundWav,
            (long long)r.firstSoundRender);
        EXPECT_LE(std::llabs(r.offsetFrames), 88) << "the music does not start at sample 0";
        EXPECT_LE(r.maxDifference, 1);
        EXPECT_GE(r.snrDb, 60.0);
        EXPECT_EQ(r.clipped, 0u);
        EXPECT_EQ(r.wavFrames, r.renderFrames) << "the file does not end where the music does";
    }
};

TEST_F(SoundPath, AnotherProgramsSoundStaysOutAndTheDevicesStayAsTheUserHadThem) {
    testsupport::PrivateServer server({"speakers", "other"});
    ASSERT_TRUE(server.ok());
    testsupport::SetUpUsersDevices();
    const std::string midi = Midi("ensemble.mid", Ensemble(4, 60));
    const std::string wav = Path("ensemble.wav");
    const std::string clients = testsupport::ClientsLeft();
    std::string devices;
    {
        testsupport::TonePlayer other(dir_.path(), 3000, 8, 0.5);
        ASSERT_TRUE(other.ok());
        devices = testsupport::DeviceState();
        const auto run = testsupport::RunProgram(Args(midi, wav, 30));
        EXPECT_EQ(run.exitCode, 0) << run.stdErr.toStdString();
        EXPECT_EQ(testsupport::DeviceState(), devices);
    }
    ExpectTheRender(midi, wav, 30);
    EXPECT_EQ(testsupport::ClientsLeft(), clients) << "a stream or module was left behind";
}

TEST_F(SoundPath, TwoConversionsAtOnceEachHoldOnlyTheirOwnMusic) {
    REQUIRE_SOUND_SERVER();
    const std::string low = Midi("low.mid", Ensemble(4, 48)),
                      high = Midi("high.mid", Ensemble(4, 72));
    testsupport::Program a(Args(low, Path("low.wav"), 30)), b(Args(high, Path("high.wav"), 60));
    const auto ra = a.Wait(), rb = b.Wait();
    EXPECT_EQ(ra.exitCode, 0) << ra.stdErr.toStdString();
    EXPECT_EQ(rb.exitCode, 0) << rb.stdErr.toStdString();
    ExpectTheRender(low, Path("low.wav"), 30);
    ExpectTheRender(high, Path("high.wav"), 60);
}

TEST_F(SoundPath, ANewDefaultSinkMidRunChangesNothingInTheFile) {
    testsupport::PrivateServer server({"speakers", "headphones"});
    ASSERT_TRUE(server.ok());
    // Long enough that the change falls inside the music on a slow start too.
    const std::string midi = Midi("ensemble.mid", Ensemble(12, 60));
    const std::string wav = Path("moved.wav");
    testsupport::Program p(Args(midi, wav, 30));
    ASSERT_TRUE(p.started());
    QThread::msleep(2500);
    EXPECT_TRUE(testsupport::PactlRetried("set-default-sink headphones"));
    const auto run = p.Wait();
    EXPECT_EQ(run.exitCode, 0) << run.stdErr.toStdString();
    ExpectTheRender(midi, wav, 30);
}

TEST_F(SoundPath, LoudMusicAtFullVolumeIsNotClipped) {
    REQUIRE_SOUND_SERVER();
    const std::string midi = Midi("loud.mid", LoudChords());
    const std::string wav = Path("loud.wav");
    const auto run = testsupport::RunProgram(Args(midi, wav, 100));
    EXPECT_EQ(run.exitCode, 0) << run.stdErr.toStdString();
    ExpectTheRender(midi, wav, 100);
}

TEST_F(SoundPath, NotesAtZeroAndAtOneSecondStartWhereTheRenderStartsThem) {
    REQUIRE_SOUND_SERVER();
    for (uint32_t delta : {0u, 960u}) {  // 960 ticks at 120 bpm: 1.000 s
        const std::string name = "at" + std::to_string(delta);
        const std::string midi =
            Midi(name + ".mid", SmfBuilder().NoteOn(delta, 0, 69, 100).NoteOff(480, 0, 69).Bytes());
        const std::string wav = Path(name + ".wav");
        const auto run = testsupport::RunProgram(Args(midi, wav, 50));
        EXPECT_EQ(run.exitCode, 0) << run.stdErr.toStdString();
        const bench::Residual r = bench::CompareWithRender(midi, wav, bench::ConversionGains(50));
        ASSERT_TRUE(r.error.empty()) << r.error;
        // Within the synthesizer's own block of where the render has it: 64 frames, 1.5 ms.
        EXPECT_LE(std::llabs(r.firstSoundWav - r.firstSoundRender), 64) << name;
        EXPECT_EQ(r.offsetFrames, 0) << name;
    }
}

TEST_F(SoundPath, AKilledConversionLeavesNoStreamBehind) {
    REQUIRE_SOUND_SERVER();
    const std::string clients = testsupport::ClientsLeft();
    const std::string midi = Midi("ensemble.mid", Ensemble(6, 60));
    testsupport::Program p(Args(midi, Path("killed.wav"), 30));
    ASSERT_TRUE(p.started());
    QThread::msleep(2000);
    p.Signal(SIGKILL);
    p.Wait(10000);
    std::string after;
    for (int i = 0; i < 50 && (after = testsupport::ClientsLeft()) != clients; ++i)
        QThread::msleep(100);
    EXPECT_EQ(after, clients);
}

// The recorded conversion and --fast of the same file at the same volume; the largest
// difference between their samples (a volume may round by one step), -1 when the two files
// differ in length.
int RecordedAgainstFast(const std::string& midi, const std::string& name, int volume,
                        std::optional<testsupport::WavFile>* recordedWav = nullptr) {
    const std::string recordedPath = name + "-recorded.wav", fastPath = name + "-fast.wav";
    const auto recorded =
        testsupport::RunProgram({QString::fromStdString(midi), QString::fromStdString(recordedPath),
                                 QString::number(volume)});
    EXPECT_EQ(recorded.exitCode, 0) << recorded.stdErr.toStdString();
    const auto fast =
        testsupport::RunProgram({"--fast", "--volume", QString::number(volume),
                                 QString::fromStdString(midi), QString::fromStdString(fastPath)});
    EXPECT_EQ(fast.exitCode, 0) << fast.stdErr.toStdString();
    const auto a = testsupport::ReadWav(recordedPath), b = testsupport::ReadWav(fastPath);
    if (recordedWav) *recordedWav = a;
    if (!a || !b || a->data.size() != b->data.size()) return -1;
    int largest = 0;
    for (size_t i = 0; i + 1 < a->data.size(); i += 2) {
        const int x = int16_t(a->data[i] | a->data[i + 1] << 8);
        const int y = int16_t(b->data[i] | b->data[i + 1] << 8);
        largest = std::max(largest, std::abs(x - y));
    }
    std::printf(
        "[ measure ] %s: --fast against the recording: max |difference| %d LSB over %zu "
        "frames\n",
        name.c_str(), largest, a->data.size() / 4);
    return largest;
}

TEST_F(SoundPath, TheFastFileIsTheRecordedOneSampleForSample) {
    REQUIRE_SOUND_SERVER();
    const std::string midi = Midi("ensemble.mid", Ensemble(4, 55));
    const int largest = RecordedAgainstFast(midi, Path("ensemble"), 40);
    EXPECT_TRUE(largest == 0 || largest == 1) << largest;
}

// A piece that ends with the sustain pedal down (many do): its tail dies away within 3 s of
// the last event instead of ringing to the cap, into silence, the same in both conversions.
TEST_F(SoundPath, APieceEndingWithThePedalDownDiesAwayAlikeRecordedAndFast) {
    REQUIRE_SOUND_SERVER();
    SmfBuilder b;
    b.Raw(0, {0xB0, 64, 127});
    for (uint8_t k : {36, 48, 55, 60, 64, 67, 72, 76, 79, 84})
        b.NoteOn(0, 0, k, 110).NoteOff(240, 0, k);
    const std::string midi = Midi("pedal.mid", b.Bytes());  // 2.5 s, the pedal never let go
    std::optional<testsupport::WavFile> wav;
    const int largest = RecordedAgainstFast(midi, Path("pedal"), 100, &wav);
    EXPECT_TRUE(largest == 0 || largest == 1) << largest;
    ASSERT_TRUE(wav.has_value());
    EXPECT_LT(wav->seconds(), 2.5 + 3.0);
    std::vector<int16_t> samples(wav->data.size() / 2);
    std::memcpy(samples.data(), wav->data.data(), samples.size() * 2);
    ASSERT_GT(samples.size(), 2 * 2205u);
    EXPECT_EQ(samples.back(), 0);
    EXPECT_EQ(samples[samples.size() - 2], 0);
    const auto peak = [&](size_t from) {
        int p = 0;
        for (size_t i = from; i < samples.size(); ++i) p = std::max(p, std::abs(int(samples[i])));
        return p;
    };
    EXPECT_GT(peak(0), 1000);
    EXPECT_LE(peak(samples.size() - 2 * 2205), 2) << "the last 50 ms are not silent";
}

TEST_F(SoundPath, ManyFilesAreRecordedOneAfterAnotherAndAFailingOneDoesNotStopThem) {
    REQUIRE_SOUND_SERVER();
    const std::string out = Path("out");
    std::filesystem::create_directory(out);
    const std::string a = Midi("a.mid", Ensemble(1, 60)), b = Midi("b.mid", Ensemble(1, 67)),
                      bad = Midi("bad.mid", {'b', 'a', 'd'});
    const auto run = testsupport::RunProgram(
        {"--volume", "40", "--to", QString::fromStdString(out), QString::fromStdString(a),
         QString::fromStdString(bad), QString::fromStdString(b)});
    EXPECT_EQ(run.exitCode, 1) << run.stdErr.toStdString();
    EXPECT_TRUE(run.stdErr.contains("2 converted, 0 skipped, 1 failed"))
        << run.stdErr.toStdString();
    ExpectTheRender(a, out + "/a.wav", 40);
    ExpectTheRender(b, out + "/b.wav", 40);
    EXPECT_FALSE(std::filesystem::exists(out + "/bad.wav"));
}

// A stopped server either costs music, and the program says so, or costs nothing: PipeWire's
// pulse server may hold the streams while its graph sleeps, and then the file must be the render.
TEST_F(SoundPath, AServerThatStallsCostsNothingOrTheProgramSaysWhatWasLost) {
    testsupport::PrivateServer server({"speakers"});
    ASSERT_TRUE(server.ok());
    // Eight seconds: the stall falls inside the music however slowly the program starts.
    const std::string midi = Midi("ensemble.mid", Ensemble(16, 60));
    const std::string wav = Path("stalled.wav");
    testsupport::Program p(Args(midi, wav, 30));
    ASSERT_TRUE(p.started());
    QThread::msleep(2500);
    // The whole server stops for a second, as under a scheduling stall.
    ::kill(server.graphPid(), SIGSTOP);
    QThread::msleep(1000);
    ::kill(server.graphPid(), SIGCONT);
    const auto run = p.Wait();
    std::printf("[ measure ] after a 1-s stall: exit %d\n", run.exitCode);
    if (run.exitCode == 0) {
        ExpectTheRender(midi, wav, 30);
        return;
    }
    EXPECT_EQ(run.exitCode, 1) << run.stdErr.toStdString();
    EXPECT_TRUE(run.stdErr.contains("gaps")) << run.stdErr.toStdString();
    // PulseAudio's timer-driven sink catches up on the lost second, or the stream waits for it:
    // music missing or silence put in, at a known place.
    if (!testsupport::OnPipeWire()) {
        EXPECT_TRUE(run.stdErr.contains(" missing") || run.stdErr.contains("silence inserted"))
            << run.stdErr.toStdString();
    }
    EXPECT_TRUE(std::filesystem::exists(wav + ".part")) << "what was recorded is kept";
}

}  // namespace
