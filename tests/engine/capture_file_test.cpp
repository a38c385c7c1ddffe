// The capture's file on an in-memory device: on disk as it is made, put in place at the stop,
// kept where it is when it cannot go there, and full disks.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "capture_fixture.h"
#include "support/tmpfs.h"

namespace {

namespace fs = std::filesystem;
using enginetest::CaptureOnFake;
using enginetest::Counting;
using enginetest::kSecond;

// Waits until the file on disk holds at least `bytes` of data; the capture thread writes it.
bool DiskHolds(const std::string& path, size_t bytes) {
    for (int i = 0; i < 500; ++i) {
        const auto wav = testsupport::ReadWav(path);
        if (wav && wav->data.size() >= bytes) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

std::vector<uint8_t> Text(const std::string& s) {
    return std::vector<uint8_t>(s.begin(), s.end());
}

TEST_F(CaptureOnFake, TheRecordingIsOnDiskAsItIsMadeAndTheOldFileUntouchedUntilTheStop) {
    const std::string path = Path("song.wav");
    { std::ofstream(path) << "the user's old file"; }
    engine::RecordBtnClick(Fixed(path), nullptr);
    ASSERT_TRUE(fake_->WaitStarted());
    const auto pcm = Counting(2 * kSecond + kSecond / 2);
    ASSERT_EQ(fake_->Feed(pcm), pcm.size());

    // A crash now would leave a playable file of the whole seconds, beside the old one.
    ASSERT_TRUE(DiskHolds(path + ".part", 2 * kSecond));
    EXPECT_EQ(DataOf(path + ".part"), Counting(2 * kSecond));
    EXPECT_EQ(testsupport::ReadAll(path), Text("the user's old file"));
    EXPECT_FALSE(engine::CaptureEnded());

    const auto r = engine::StopBtnClick();
    EXPECT_TRUE(r.fileWritten);
    EXPECT_TRUE(r.keptAt.empty());
    EXPECT_FALSE(r.silent);
    EXPECT_EQ(DataOf(path), pcm);
    EXPECT_FALSE(fs::exists(path + ".part"));
}

TEST_F(CaptureOnFake, AnEarlierRunsRecordingIsLeftAloneAndNothingRecordedLeavesNothing) {
    const std::string path = Path("song.wav");
    { std::ofstream(path + ".part") << "what a killed run kept"; }
    engine::RecordBtnClick(Fixed(path), nullptr);
    ASSERT_TRUE(fake_->WaitStarted());
    ASSERT_EQ(fake_->Feed(Counting(kSecond)), kSecond);
    ASSERT_TRUE(DiskHolds(path + ".2.part", kSecond));
    auto r = engine::StopBtnClick();
    EXPECT_TRUE(r.fileWritten);
    EXPECT_EQ(DataOf(path), Counting(kSecond));
    EXPECT_EQ(testsupport::ReadAll(path + ".part"), Text("what a killed run kept"));
    EXPECT_FALSE(fs::exists(path + ".2.part"));

    // Nothing recorded: the file of the recording goes too.
    engine::RecordBtnClick(Fixed(Path("empty.wav")), nullptr);
    ASSERT_TRUE(fake_->WaitStarted());
    r = engine::StopBtnClick();
    EXPECT_FALSE(r.fileWritten);
    EXPECT_FALSE(fs::exists(Path("empty.wav")));
    EXPECT_FALSE(fs::exists(Path("empty.wav.part")));
}

TEST_F(CaptureOnFake, AFinishedFileThatCannotGoWhereTheStopSaysStaysBesideTheStart) {
    std::string typed = Path("song.wav");
    engine::RecordBtnClick([&typed] { return typed; }, nullptr);
    ASSERT_TRUE(fake_->WaitStarted());
    ASSERT_EQ(fake_->Feed(Counting(kSecond + 40)), kSecond + 40);
    typed = Path("gone/song.wav");
    auto r = engine::StopBtnClick();
    EXPECT_FALSE(r.fileWritten);
    EXPECT_EQ(r.keptAt, Path("song.wav.part"));
    EXPECT_NE(r.notPlaced.find("No such file or directory"), std::string::npos) << r.notPlaced;
    EXPECT_EQ(DataOf(r.keptAt), Counting(kSecond + 40));

    // The start reads the missing folder: no file can be made, the capture ends at once.
    engine::RecordBtnClick([&typed] { return typed; }, nullptr);
    typed = Path("song.wav");
    EXPECT_TRUE(engine::CaptureEnded());
    ASSERT_TRUE(fake_->WaitStarted());
    fake_->Feed(Counting(kSecond));
    r = engine::StopBtnClick();
    EXPECT_EQ(r.bytesCaptured, 0u);
    EXPECT_NE(r.notCreated.find(Path("gone")), std::string::npos) << r.notCreated;
    EXPECT_NE(r.notCreated.find("No such file or directory"), std::string::npos) << r.notCreated;
    EXPECT_FALSE(fs::exists(Path("song.wav")));

    // No name at all at the stop (the path came to name the MIDI file).
    engine::RecordBtnClick([&typed] { return typed; }, nullptr);
    ASSERT_TRUE(fake_->WaitStarted());
    ASSERT_EQ(fake_->Feed(Counting(400)), 400u);
    typed.clear();
    r = engine::StopBtnClick();
    EXPECT_FALSE(r.fileWritten);
    EXPECT_FALSE(r.notPlaced.empty());
    EXPECT_EQ(DataOf(Path("song.wav.2.part")), Counting(400));
}

TEST_F(CaptureOnFake, SilenceIsToldApartFromTheQuietestSound) {
    std::vector<uint8_t> quiet(kSecond, 0);
    for (bool oneSample : {false, true}) {
        if (oneSample) quiet[kSecond - 3] = 1;
        engine::RecordBtnClick(Fixed(Path("quiet.wav")), nullptr);
        ASSERT_TRUE(fake_->WaitStarted());
        ASSERT_EQ(fake_->Feed(quiet), quiet.size());
        const auto r = engine::StopBtnClick();
        EXPECT_EQ(r.silent, !oneSample);
        EXPECT_TRUE(r.fileWritten);
    }
}

TEST_F(CaptureOnFake, ADiskThatFillsKeepsWhatFittedAsTheRecordingsOwnFile) {
    testsupport::Tmpfs disk(320 * 1024);
    REQUIRE_TMPFS(disk);
    const std::string path = disk.path() + "/song.wav";
    const auto old = Counting(40000, 99);
    ASSERT_TRUE(engine::WriteWaveFile(path, old.data(), old.size(), true, true, 44100));
    const auto before = testsupport::ReadAll(path);

    engine::RecordBtnClick(Fixed(path), nullptr);
    ASSERT_TRUE(fake_->WaitStarted());
    const auto pcm = Counting(3 * kSecond);
    ASSERT_EQ(fake_->Feed(pcm), pcm.size());  // the device goes on; the file cannot
    for (int i = 0; i < 500 && !engine::CaptureEnded(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(engine::CaptureEnded());
    const auto r = engine::StopBtnClick();

    EXPECT_FALSE(r.fileWritten);
    EXPECT_EQ(r.writeError, "No space left on device");
    EXPECT_EQ(r.keptAt, path + ".part");
    EXPECT_EQ(r.bytesCaptured, kSecond);
    EXPECT_EQ(DataOf(r.keptAt), Counting(kSecond));
    EXPECT_EQ(testsupport::ReadAll(path), before);
}

TEST_F(CaptureOnFake, TheNameAtTheStopMayLieOnAnotherFileSystem) {
    testsupport::Tmpfs other(1 << 20);
    REQUIRE_TMPFS(other);
    std::string typed = Path("here.wav");
    engine::RecordBtnClick([&typed] { return typed; }, nullptr);
    ASSERT_TRUE(fake_->WaitStarted());
    ASSERT_EQ(fake_->Feed(Counting(kSecond / 2)), kSecond / 2);
    typed = other.path() + "/there.wav";
    const auto r = engine::StopBtnClick();
    EXPECT_TRUE(r.fileWritten) << r.notPlaced;
    EXPECT_EQ(DataOf(typed), Counting(kSecond / 2));
    EXPECT_FALSE(fs::exists(Path("here.wav.part")));
    EXPECT_FALSE(fs::exists(typed + ".part"));
}

}  // namespace
