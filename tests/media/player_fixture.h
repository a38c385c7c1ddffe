#pragma once
// The player on the real MCI service, against the private sound server: the fixture of its
// suites and what they share (a recorder of the sink's monitor, files written as given).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <chrono>
#include <cstdint>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "media/mplayer.h"
#include "media/notice_poster.h"
#include "platform/pulse/pulse_backend.h"
#include "platform/services.h"
#include "support/pcm.h"
#include "support/pulse_env.h"
#include "support/temp_folder.h"

namespace mediatest {

using Clock = std::chrono::steady_clock;

inline double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// Records the default sink's monitor with parec, as s16le stereo, until Stop.
class MonitorRecorder {
  public:
    explicit MonitorRecorder(std::string path) : path_(std::move(path)) {
        pid_ = fork();
        if (pid_ == 0) {
            const int fd = open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(fd, 1);
            execlp("parec", "parec", "--device=@DEFAULT_MONITOR@", "--format=s16le", "--rate=44100",
                   "--channels=2", "--latency-msec=20", "--raw", nullptr);
            _exit(127);
        }
    }
    ~MonitorRecorder() { Stop(); }
    // Both channels' left samples of everything recorded.
    std::vector<int16_t> Stop() {
        if (pid_ > 0) {
            kill(pid_, SIGINT);
            int status = 0;
            waitpid(pid_, &status, 0);
            pid_ = -1;
        }
        const auto bytes = testsupport::ReadAll(path_);
        std::vector<int16_t> left(bytes.size() / 4);
        for (size_t i = 0; i < left.size(); ++i)
            left[i] = int16_t(uint16_t(bytes[4 * i] | (bytes[4 * i + 1] << 8)));
        return left;
    }

  private:
    std::string path_;
    pid_t pid_ = -1;
};

inline void Pump(int ms) {
    const auto until = Clock::now() + std::chrono::milliseconds(ms);
    while (Clock::now() < until) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

inline void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// A 16-bit PCM WAV file of interleaved samples.
inline void WriteWav(const std::string& path, const std::vector<uint8_t>& pcm, uint32_t rate,
                     uint16_t channels) {
    auto le = [](std::vector<uint8_t>& v, uint32_t x, int n) {
        for (int i = 0; i < n; ++i) v.push_back(uint8_t(x >> (8 * i)));
    };
    std::vector<uint8_t> f{'R', 'I', 'F', 'F'};
    le(f, uint32_t(36 + pcm.size()), 4);
    for (char c : std::string("WAVEfmt ")) f.push_back(uint8_t(c));
    le(f, 16, 4);
    le(f, 1, 2);
    le(f, channels, 2);
    le(f, rate, 4);
    le(f, rate * channels * 2, 4);
    le(f, channels * 2u, 2);
    le(f, 16, 2);
    for (char c : std::string("data")) f.push_back(uint8_t(c));
    le(f, uint32_t(pcm.size()), 4);
    f.insert(f.end(), pcm.begin(), pcm.end());
    WriteBytes(path, f);
}

class PlayerOnServer : public testsupport::TempFolderTest {
  protected:
    void SetUp() override {
        REQUIRE_SOUND_SERVER();
        platform::InstallMci(platform::pulse::MakeMci());
        media::InstallQtNoticePoster();
    }
    void TearDown() override {
        platform::InstallMci(nullptr);
        platform::SetMciNoticePoster(nullptr);
    }

    struct Run {
        std::vector<int32_t> positions;
        bool sawPlaying = false;
        double playMs = 0;
    };
    // Plays the open player to its end as the conversion does: play, milliseconds, then poll.
    static Run PlayToEnd(TMediaPlayer& player, int limitMs) {
        Run run;
        const auto start = Clock::now();
        player.Play();
        player.SetTimeFormat(MCI_FORMAT_MILLISECONDS);
        while (player.Mode() == pmPlaying && Ms(Clock::now() - start) < limitMs) {
            run.sawPlaying = true;
            run.positions.push_back(player.Position());
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        run.playMs = Ms(Clock::now() - start);
        run.positions.push_back(player.Position());
        return run;
    }

    // The music in a recording: from its first loud sample on.
    static std::vector<int16_t> Music(const std::vector<int16_t>& recorded) {
        const size_t onset = testsupport::FirstLoud(recorded, 300);
        if (onset == SIZE_MAX) return {};
        return std::vector<int16_t>(recorded.begin() + long(onset), recorded.end());
    }
};

inline void ExpectRisesToLength(const std::vector<int32_t>& positions, int32_t length) {
    ASSERT_FALSE(positions.empty());
    for (size_t i = 1; i < positions.size(); ++i)
        ASSERT_GE(positions[i], positions[i - 1]) << "position went back at poll " << i;
    for (int32_t p : positions) ASSERT_LE(p, length);
    EXPECT_EQ(positions.back(), length);
    EXPECT_GT(positions.size(), 20u);  // it was seen rising, not jumping
}

}  // namespace mediatest
