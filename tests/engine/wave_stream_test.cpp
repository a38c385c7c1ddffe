// The WAV file written while it is recorded: the same bytes as the one-call writer, a playable
// file at every moment, and a full disk that leaves a valid file of what fitted.
#include "engine/wave_stream.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "engine/wave_writer.h"
#include "support/pcm.h"
#include "support/temp_folder.h"
#include "support/tmpfs.h"

namespace {

namespace fs = std::filesystem;
using engine::TWaveStream;

std::vector<uint8_t> Pattern(size_t n, unsigned seed) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = uint8_t((i * 131 + seed) ^ (i >> 9));
    return v;
}

class WaveStream : public testsupport::TempFolderTest {
  protected:
    std::unique_ptr<TWaveStream> Create(const std::string& path, bool stereo = true,
                                        bool sixteen = true, uint32_t rate = 44100) {
        int error = 0;
        auto stream = TWaveStream::Create(path, stereo, sixteen, rate, &error);
        EXPECT_TRUE(stream) << std::strerror(error);
        return stream;
    }
};

TEST_F(WaveStream, FinishedItHoldsExactlyTheBytesTheOneCallWriterWrites) {
    struct Case {
        size_t bytes, piece;
        bool stereo, sixteen;
        uint32_t rate;
    };
    int n = 0;
    for (const Case& c :
         {Case{0, 1, true, true, 44100}, Case{3, 1, true, true, 44100},
          Case{4, 4, true, true, 44100}, Case{2 * 176400 + 6, 176400, true, true, 44100},
          Case{100001, 70000, true, true, 44100}, Case{777, 100, false, false, 8000},
          Case{1000, 333, false, true, 22050}}) {
        SCOPED_TRACE(testing::Message() << c.bytes << " bytes in pieces of " << c.piece);
        const auto pcm = Pattern(c.bytes, unsigned(n));
        const std::string once = Path("once" + std::to_string(n) + ".wav");
        const std::string streamed = Path("streamed" + std::to_string(n++) + ".wav");
        ASSERT_TRUE(
            engine::WriteWaveFile(once, pcm.data(), pcm.size(), c.stereo, c.sixteen, c.rate));
        auto stream = Create(streamed, c.stereo, c.sixteen, c.rate);
        ASSERT_TRUE(stream);
        for (size_t at = 0; at < pcm.size(); at += c.piece) {
            ASSERT_TRUE(stream->Append(pcm.data() + at, std::min(c.piece, pcm.size() - at)));
            ASSERT_TRUE(stream->KeepHeaderValid());
        }
        EXPECT_EQ(stream->Length(), pcm.size());
        ASSERT_TRUE(stream->Finish());
        EXPECT_EQ(testsupport::ReadAll(streamed), testsupport::ReadAll(once));
    }
}

TEST_F(WaveStream, WhileItIsWrittenTheFilePlaysAsFarAsItsWholeFrames) {
    const std::string path = Path("growing.wav");
    auto stream = Create(path);
    ASSERT_TRUE(stream);
    // Just created: a valid empty WAV file already.
    auto wav = testsupport::ReadWav(path);
    ASSERT_TRUE(wav.has_value());
    EXPECT_TRUE(wav->data.empty());

    const auto pcm = Pattern(3 * 176400 + 2, 7);  // half a frame at the end
    ASSERT_TRUE(stream->Append(pcm.data(), 176400));
    ASSERT_TRUE(stream->KeepHeaderValid());
    wav = testsupport::ReadWav(path);
    ASSERT_TRUE(wav.has_value());
    EXPECT_EQ(wav->data, std::vector<uint8_t>(pcm.begin(), pcm.begin() + 176400));

    ASSERT_TRUE(stream->Append(pcm.data() + 176400, pcm.size() - 176400));
    ASSERT_TRUE(stream->KeepHeaderValid());
    const auto bytes = testsupport::ReadAll(path);
    ASSERT_EQ(bytes.size(), 44 + pcm.size());
    const uint32_t riff = bytes[4] | bytes[5] << 8 | bytes[6] << 16 | uint32_t(bytes[7]) << 24;
    const uint32_t data = bytes[40] | bytes[41] << 8 | bytes[42] << 16 | uint32_t(bytes[43]) << 24;
    EXPECT_EQ(data, 3u * 176400);
    EXPECT_EQ(riff, 36u + 3 * 176400);

    // Dropped unfinished (a crash would leave the same): what the last rewrite said stays.
    stream.reset();
    wav = testsupport::ReadWav(path);
    ASSERT_TRUE(wav.has_value());
    EXPECT_EQ(wav->data.size(), 3u * 176400);
}

TEST_F(WaveStream, AnExistingFileIsNeverTakenOver) {
    const std::string path = Path("earlier.part");
    { std::ofstream(path) << "an earlier recording"; }
    int error = 0;
    EXPECT_EQ(TWaveStream::Create(path, true, true, 44100, &error), nullptr);
    EXPECT_EQ(error, EEXIST);
    const auto kept = testsupport::ReadAll(path);
    EXPECT_EQ(std::string(kept.begin(), kept.end()), "an earlier recording");
    EXPECT_EQ(TWaveStream::Create(Path("no/folder.wav"), true, true, 44100, &error), nullptr);
    EXPECT_EQ(error, ENOENT);
}

TEST_F(WaveStream, AFullDiskLeavesAValidFileOfWhatFitted) {
    testsupport::Tmpfs disk(256 * 1024);
    REQUIRE_TMPFS(disk);
    const std::string path = disk.path() + "/full.wav";
    auto stream = Create(path);
    ASSERT_TRUE(stream);
    const auto pcm = Pattern(44100, 3);  // a quarter second a piece
    std::vector<uint8_t> sent;
    bool refused = false;
    for (int i = 0; i < 20 && !refused; ++i) {
        refused = !stream->Append(pcm.data(), pcm.size()) || !stream->KeepHeaderValid();
        if (!refused) sent.insert(sent.end(), pcm.begin(), pcm.end());
    }
    ASSERT_TRUE(refused) << "a 256 KB disk took 20 quarter seconds";
    EXPECT_EQ(stream->Error(), ENOSPC);
    EXPECT_EQ(stream->Length(), sent.size());
    EXPECT_FALSE(stream->Append(pcm.data(), 4));  // nothing more after a refusal
    EXPECT_FALSE(stream->Finish());

    const auto wav = testsupport::ReadWav(path);
    ASSERT_TRUE(wav.has_value());
    EXPECT_EQ(wav->data, sent);
}

}  // namespace
