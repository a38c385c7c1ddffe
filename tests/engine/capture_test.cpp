// The capture on an in-memory device: what it records, in order, with its preview and holes.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

#include "capture_fixture.h"
#include "support/tmpfs.h"

namespace {

namespace fs = std::filesystem;
using enginetest::CaptureOnFake;
using enginetest::Counting;
using enginetest::kSecond;
using platform::fake::FakeWaveIn;

TEST_F(CaptureOnFake, TenAndAHalfSecondsArriveWholeInOrderWithTheirPreview) {
    const std::string path = Path("out.wav");
    engine::RecordBtnClick(Fixed(path), Collect());
    ASSERT_TRUE(fake_->WaitStarted());

    const WAVEFORMATEX f = fake_->LastFormat();
    EXPECT_EQ(f.wFormatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(f.nChannels, 2);
    EXPECT_EQ(f.nSamplesPerSec, 44100u);
    EXPECT_EQ(f.nAvgBytesPerSec, 176400u);
    EXPECT_EQ(f.nBlockAlign, 4);
    EXPECT_EQ(f.wBitsPerSample, 16);
    EXPECT_EQ(f.cbSize, 0);

    const auto pcm = Counting(10 * kSecond + kSecond / 2);
    ASSERT_EQ(fake_->Feed(pcm), pcm.size());
    int pumps = 0;
    const engine::CaptureResult r = engine::StopBtnClick([&] { ++pumps; });

    EXPECT_TRUE(r.deviceOpened);
    EXPECT_EQ(r.bytesCaptured, pcm.size());
    EXPECT_FALSE(r.reachedSizeLimit);
    EXPECT_TRUE(r.fileWritten);
    EXPECT_EQ(r.path, path);
    const auto file = testsupport::ReadAll(path);
    ASSERT_EQ(file.size(), 44 + pcm.size());
    EXPECT_TRUE(std::equal(pcm.begin(), pcm.end(), file.begin() + 44));
    EXPECT_EQ(DataOf(path).size(), pcm.size());  // the header agrees

    std::lock_guard lock(previewMutex_);
    EXPECT_EQ(preview_, pcm);
    EXPECT_EQ(previewCalls_, 11);

    // Two buffers cycled through the device; the stop went stop, the device's holes, reset,
    // close.
    const auto calls = fake_->Calls();
    EXPECT_EQ(fake_->CallCount("waveInPrepareHeader"), 2u);
    // The last full buffer's notice may be served after the stop, which queues nothing more.
    EXPECT_GE(fake_->CallCount("waveInAddBuffer"), 2u + 9u);
    EXPECT_LE(fake_->CallCount("waveInAddBuffer"), 2u + 10u);
    const std::vector<std::string> tail(calls.end() - 4, calls.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"waveInStop", "waveInMessage", "waveInReset",
                                              "waveInClose"}));
    EXPECT_TRUE(r.gaps.empty());
}

TEST_F(CaptureOnFake, TheHolesTheDeviceFoundComeWithTheResultEvenMoreThanSixtyFour) {
    std::vector<WAVEINGAP> holes;
    for (DWORD i = 0; i < 70; ++i) holes.push_back({1000 * i, 42 + i, WAVEINGAP_MISSING});
    fake_->SetGaps(holes);
    const std::string path = Path("holes.wav");
    engine::RecordBtnClick([path] { return path; }, nullptr);
    ASSERT_TRUE(fake_->WaitStarted());
    fake_->Feed(testsupport::StereoTone(440, 0.5, 0.5));
    const auto r = engine::StopBtnClick();
    ASSERT_EQ(r.gaps.size(), 70u);
    EXPECT_EQ(r.gaps[0].positionMs, 0u);
    EXPECT_EQ(r.gaps[69].positionMs, 69000u);
    EXPECT_EQ(r.gaps[69].lengthMs, 111u);
}

TEST_F(CaptureOnFake, AStopBeforeTheFirstBufferFillsKeepsWhatWasRecorded) {
    const std::string path = Path("short.wav");
    engine::RecordBtnClick(Fixed(path), Collect());
    ASSERT_TRUE(fake_->WaitStarted());
    const auto pcm = Counting(kSecond * 3 / 10 + 2);  // an odd frame count, half a frame too
    ASSERT_EQ(fake_->Feed(pcm), pcm.size());
    const auto r = engine::StopBtnClick();
    EXPECT_EQ(r.bytesCaptured, pcm.size());
    EXPECT_TRUE(r.fileWritten);
    EXPECT_EQ(DataOf(path), pcm);
}

TEST_F(CaptureOnFake, EveryByteDeliveredBeforeAStopFromAnotherThreadReachesTheFile) {
    const std::string path = Path("raced.wav");
    engine::RecordBtnClick(Fixed(path), Collect());
    ASSERT_TRUE(fake_->WaitStarted());

    // The device keeps recording in small pieces while the stop comes at some point.
    std::atomic<size_t> delivered{0};
    std::thread device([&] {
        constexpr size_t kPiece = 4410 * 4;
        for (uint32_t frame = 0;; frame += kPiece / 4) {
            const size_t n = fake_->Feed(Counting(kPiece, frame), std::chrono::seconds(2));
            delivered += n;
            if (n < kPiece) break;
        }
    });
    while (delivered.load() < 2 * kSecond + 7 * 4410 * 4) std::this_thread::yield();
    const auto r = engine::StopBtnClick([] { std::this_thread::yield(); });
    device.join();

    EXPECT_EQ(r.bytesCaptured, delivered.load());
    EXPECT_EQ(DataOf(path), Counting(delivered.load()));
}

TEST_F(CaptureOnFake, AFailedOpenRecordsNothingAndTheStopStillReturns) {
    const std::string path = Path("kept.wav");
    { std::ofstream(path) << "older file"; }
    bool pathRead = false;
    auto reader = [&] {
        pathRead = true;
        return path;
    };

    fake_->FailOpen(MMSYSERR_ALLOCATED);
    engine::RecordBtnClick(reader, Collect());
    EXPECT_TRUE(engine::CaptureEnded()) << "the run must not play a note into nothing";
    auto r = engine::StopBtnClick([] {});
    EXPECT_FALSE(r.deviceOpened);
    EXPECT_EQ(r.bytesCaptured, 0u);
    EXPECT_FALSE(r.fileWritten);

    // No wave-input service at all.
    platform::InstallWaveIn(nullptr);
    engine::RecordBtnClick(reader, Collect());
    r = engine::StopBtnClick();
    EXPECT_FALSE(r.deviceOpened);
    EXPECT_FALSE(r.fileWritten);

    EXPECT_FALSE(pathRead);
    EXPECT_EQ(testsupport::ReadAll(path),
              std::vector<uint8_t>({'o', 'l', 'd', 'e', 'r', ' ', 'f', 'i', 'l', 'e'}));
    EXPECT_EQ(previewCalls_, 0);
}

TEST_F(CaptureOnFake, NothingRecordedLeavesAnExistingFileAlone) {
    const std::string path = Path("kept.wav");
    { std::ofstream(path) << "x"; }
    engine::RecordBtnClick(Fixed(path), Collect());
    ASSERT_TRUE(fake_->WaitStarted());
    const auto r = engine::StopBtnClick();
    EXPECT_TRUE(r.deviceOpened);
    EXPECT_EQ(r.bytesCaptured, 0u);
    EXPECT_FALSE(r.fileWritten);
    EXPECT_EQ(testsupport::ReadAll(path), std::vector<uint8_t>{'x'});
}

TEST_F(CaptureOnFake, ThePathTypedAfterTheStartIsTheOneWritten) {
    std::string typed = Path("first.wav");
    engine::RecordBtnClick([&typed] { return typed; }, nullptr);
    ASSERT_TRUE(fake_->WaitStarted());
    ASSERT_EQ(fake_->Feed(Counting(kSecond)), kSecond);
    typed = Path("second.wav");
    const auto r = engine::StopBtnClick();
    EXPECT_EQ(r.path, typed);
    EXPECT_FALSE(fs::exists(Path("first.wav")));
    EXPECT_EQ(DataOf(typed), Counting(kSecond));
}

TEST_F(CaptureOnFake, GrowthStopsAtTheSizeLimitAndTheFileStaysValid) {
    const uint64_t limit = 2 * kSecond + 1002;  // rounded down to whole frames
    engine::SetCaptureLimitForTesting(limit);
    const std::string path = Path("limit.wav");
    engine::RecordBtnClick(Fixed(path), Collect());
    ASSERT_TRUE(fake_->WaitStarted());
    const auto pcm = Counting(4 * kSecond);
    ASSERT_EQ(fake_->Feed(pcm), pcm.size());  // the device keeps cycling past the limit
    const auto r = engine::StopBtnClick();

    EXPECT_TRUE(r.reachedSizeLimit);
    EXPECT_TRUE(engine::CaptureEnded());  // the run is told to stop the music
    EXPECT_EQ(r.bytesCaptured, 2 * kSecond + 1000);
    EXPECT_TRUE(r.fileWritten);
    EXPECT_EQ(DataOf(path), Counting(2 * kSecond + 1000));
    std::lock_guard lock(previewMutex_);
    EXPECT_EQ(preview_.size(), 2 * kSecond + 1000);
}

TEST_F(CaptureOnFake, ACaptureAfterAnotherHoldsOnlyItsOwnSound) {
    const std::string first = Path("a.wav"), second = Path("b.wav");
    engine::RecordBtnClick(Fixed(first), nullptr);
    ASSERT_TRUE(fake_->WaitStarted());
    ASSERT_EQ(fake_->Feed(Counting(kSecond + 400)), kSecond + 400);
    engine::StopBtnClick();

    // A stop without a capture does nothing.
    EXPECT_EQ(engine::StopBtnClick().bytesCaptured, 0u);

    engine::RecordBtnClick(Fixed(second), nullptr);
    ASSERT_TRUE(fake_->WaitStarted());
    // A second start while capturing is ignored.
    engine::RecordBtnClick(Fixed(Path("c.wav")), nullptr);
    const auto pcm = Counting(kSecond + 800, 12345);
    ASSERT_EQ(fake_->Feed(pcm), pcm.size());
    const auto r = engine::StopBtnClick();
    EXPECT_EQ(r.path, second);
    EXPECT_EQ(DataOf(second), pcm);
    EXPECT_EQ(DataOf(first), Counting(kSecond + 400));
    EXPECT_FALSE(fs::exists(Path("c.wav")));
}

}  // namespace
