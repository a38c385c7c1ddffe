#pragma once
// The capture on an in-memory device: the fixture of its suites, files in a folder of its own.
#include <gtest/gtest.h>

#include <mutex>
#include <vector>

#include "engine/capture.h"
#include "engine/capture_limit.h"
#include "platform/fake/fake_wavein.h"
#include "support/pcm.h"
#include "support/temp_folder.h"

namespace enginetest {

using platform::fake::FakeWaveIn;

constexpr size_t kSecond = 176400;

// PCM whose every frame holds its own index, so lost, doubled or reordered bytes show.
inline std::vector<uint8_t> Counting(size_t bytes, uint32_t firstFrame = 0) {
    std::vector<uint8_t> v(bytes);
    for (size_t i = 0; i < bytes; ++i) v[i] = uint8_t((firstFrame + i / 4) >> (8 * (i % 4)));
    return v;
}

class CaptureOnFake : public testsupport::TempFolderTest {
  protected:
    void SetUp() override {
        auto fake = std::make_unique<FakeWaveIn>();
        fake_ = fake.get();
        platform::InstallWaveIn(std::move(fake));
    }
    void TearDown() override {
        platform::InstallWaveIn(nullptr);
        engine::SetCaptureLimitForTesting(0);
    }

    engine::OutputPathReader Fixed(const std::string& path) {
        return [path] { return path; };
    }
    // Collects the preview copies; they arrive on the capture thread.
    engine::PreviewSink Collect() {
        return [this](std::vector<uint8_t> bytes) {
            std::lock_guard lock(previewMutex_);
            preview_.insert(preview_.end(), bytes.begin(), bytes.end());
            ++previewCalls_;
        };
    }
    std::vector<uint8_t> DataOf(const std::string& path) {
        auto wav = testsupport::ReadWav(path);
        EXPECT_TRUE(wav.has_value()) << path;
        return wav ? wav->data : std::vector<uint8_t>{};
    }

    FakeWaveIn* fake_ = nullptr;
    std::mutex previewMutex_;
    std::vector<uint8_t> preview_;
    int previewCalls_ = 0;
};

}  // namespace enginetest
