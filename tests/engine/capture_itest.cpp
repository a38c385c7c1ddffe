// The capture against a real sound server: a tone played into the null sink is recorded from
// its monitor (selected as the recording line), and the server's faults (absent, killed mid-capture) end the capture cleanly.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <future>
#include <thread>

#include "engine/capture.h"
#include "platform/pulse/program_levels.h"
#include "platform/pulse/pulse_backend.h"
#include "platform/thread_queue.h"
#include "platform/wavein.h"
#include "support/pcm.h"
#include "support/pulse_env.h"
#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// After a playback stream starts on the null sink, a new record stream of its monitor can
// wait a second or more for its first data (the sink is still changing its latency); once
// the playback has run a while, data comes at once.
void SettleSink() {
    std::this_thread::sleep_for(std::chrono::milliseconds(2000));
}

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

class CaptureOnServer : public testsupport::TempFolderTest {
  protected:
    void SetUp() override {
        platform::InstallWaveIn(platform::pulse::MakeWaveIn());
        // What these tests record is another client's tone: the sink's monitor, not the
        // synthesizer line.
        platform::pulse::ProgramLevels::Instance().Select("speakers.monitor");
    }
    void TearDown() override {
        platform::InstallWaveIn(nullptr);
        platform::pulse::ProgramLevels::Instance().Reset();
    }
};

TEST_F(CaptureOnServer, AToneOnTheSinkIsRecordedWholeAtItsPitchAndLevel) {
    REQUIRE_SOUND_SERVER();
    testsupport::TonePlayer player(dir_.path(), 1000, 6, 0.5);
    ASSERT_TRUE(player.ok());
    SettleSink();

    const std::string path = Path("tone.wav");
    engine::RecordBtnClick([path] { return path; }, nullptr);
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    const auto r = engine::StopBtnClick();

    ASSERT_TRUE(r.deviceOpened);
    ASSERT_TRUE(r.fileWritten);
    const auto wav = testsupport::ReadWav(path);
    ASSERT_TRUE(wav.has_value());
    EXPECT_EQ(wav->data.size(), r.bytesCaptured);
    EXPECT_EQ(wav->channels, 2);
    EXPECT_EQ(wav->sampleRate, 44100u);
    EXPECT_EQ(wav->bitsPerSample, 16);
    // Not a whole number of seconds: the last buffer, partly filled, is kept. (How much of
    // the 2.5 s arrives depends on how soon the server delivers its first data.)
    EXPECT_GT(wav->seconds(), 1.0);
    EXPECT_NE(wav->data.size() % 176400, 0u);

    const auto left = wav->left();
    const double hz = testsupport::EstimateFrequency(left);
    // The record stream's first data may be silence from before the tone reached the monitor.
    const size_t first = testsupport::FirstLoud(left, 8000);
    ASSERT_NE(first, SIZE_MAX);
    const double rms = testsupport::Rms(left, first);
    const int peak = testsupport::Peak(left);
    const auto gaps = testsupport::InnerSilences(left, 8);
    size_t gapFrames = 0;
    for (const auto& g : gaps) gapFrames += g.length;
    std::printf(
        "[ measure ] captured %.3f s, tone from frame %zu; tone %.2f Hz, RMS %.0f (%.2f dBFS), "
        "peak %d; "
        "%zu gaps, %zu frames in gaps\n",
        wav->seconds(), first, hz, rms, 20 * std::log10(rms / 32768), peak, gaps.size(), gapFrames);
    EXPECT_NEAR(hz, 1000, 2);
    EXPECT_NEAR(rms, 0.5 * 32767 / std::sqrt(2.0), 0.02 * 11585);
    EXPECT_NEAR(peak, 16384, 200);
    EXPECT_TRUE(gaps.empty());
}

// Time from waveInStart to the first recorded bytes, with 10 ms buffers; a figure, not a gate.
double FirstDataAfterStart() {
    platform::ThreadQueue queue;
    WAVEFORMATEX f{WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0};
    HWAVEIN h = nullptr;
    if (waveInOpen(&h, WAVE_MAPPER, &f, queue.threadId(), 0, CALLBACK_THREAD) != MMSYSERR_NOERROR)
        return -1;
    std::array<std::vector<char>, 4> bufs;
    std::array<WAVEHDR, 4> hdrs{};
    for (size_t i = 0; i < hdrs.size(); ++i) {
        bufs[i].resize(1764);
        hdrs[i].lpData = bufs[i].data();
        hdrs[i].dwBufferLength = 1764;
        waveInPrepareHeader(h, &hdrs[i], sizeof(WAVEHDR));
        waveInAddBuffer(h, &hdrs[i], sizeof(WAVEHDR));
    }
    // Ends the wait if no data ever comes.
    std::promise<void> got;
    const DWORD me = queue.threadId();
    std::thread watchdog([&, fut = got.get_future()] {
        if (fut.wait_for(std::chrono::seconds(10)) == std::future_status::timeout)
            PostThreadMessageA(me, WM_QUIT, 0, 0);
    });
    const auto t0 = Clock::now();
    waveInStart(h);
    double ms = -1;
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == MM_WIM_DATA) {
            ms = Ms(Clock::now() - t0);
            break;
        }
    }
    got.set_value();
    watchdog.join();
    waveInReset(h);
    waveInClose(h);
    return ms;
}

TEST_F(CaptureOnServer, FirstDataSoonAfterTheStart) {
    REQUIRE_SOUND_SERVER();
    const double idle = FirstDataAfterStart();
    double playing;
    {
        testsupport::TonePlayer player(dir_.path(), 1000, 4, 0.5);
        ASSERT_TRUE(player.ok());
        SettleSink();
        playing = FirstDataAfterStart();
    }
    std::printf(
        "[ measure ] waveInStart to the first full 10 ms buffer: %.1f ms with a stream "
        "playing, %.1f ms on an idle sink\n",
        playing, idle);
    EXPECT_GT(playing, 0);
    EXPECT_GT(idle, 0);
}

TEST_F(CaptureOnServer, WithoutAServerTheOpenFailsAtOnceAndNothingIsWritten) {
    testsupport::PrivateServer gone;  // its address, once it is no more
    ASSERT_TRUE(gone.ok());
    gone.kill();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));

    const std::string path = Path("none.wav");
    const auto t0 = Clock::now();
    engine::RecordBtnClick([path] { return path; }, nullptr);
    const auto r = engine::StopBtnClick([] {});
    const double ms = Ms(Clock::now() - t0);
    std::printf("[ measure ] without a server, start and stop took %.1f ms\n", ms);
    EXPECT_FALSE(r.deviceOpened);
    EXPECT_FALSE(r.fileWritten);
    EXPECT_FALSE(fs::exists(path));

    HWAVEIN h = nullptr;
    WAVEFORMATEX f{WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0};
    EXPECT_NE(waveInOpen(&h, WAVE_MAPPER, &f, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
}

TEST_F(CaptureOnServer, AServerKilledMidCaptureStillLeavesWhatWasRecorded) {
    testsupport::PrivateServer server;
    ASSERT_TRUE(server.ok());
    testsupport::TonePlayer player(dir_.path(), 1000, 6, 0.5);
    ASSERT_TRUE(player.ok());
    SettleSink();

    const std::string path = Path("cut.wav");
    engine::RecordBtnClick([path] { return path; }, nullptr);
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    server.kill();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));

    const auto t0 = Clock::now();
    const auto r = engine::StopBtnClick([] {});
    std::printf("[ measure ] stop after the server died took %.1f ms; %.3f s kept\n",
                Ms(Clock::now() - t0), double(r.bytesCaptured) / 176400);
    EXPECT_TRUE(r.deviceOpened);
    ASSERT_TRUE(r.fileWritten);
    const auto wav = testsupport::ReadWav(path);
    ASSERT_TRUE(wav.has_value());
    EXPECT_EQ(wav->data.size(), r.bytesCaptured);
    EXPECT_GT(wav->seconds(), 1.0);
    EXPECT_NEAR(testsupport::EstimateFrequency(wav->left()), 1000, 2);
}

}  // namespace
