// The conversion run against in-memory devices: what it refuses before a note plays, when it
// stops the music itself, and how each ending is told and turned into an exit code.
#include "app/conversion_run.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QLabel>
#include <QTimer>
#include <filesystem>
#include <fstream>

#include "controls/buttons_xp.h"
#include "engine/capture_limit.h"
#include "main_form_fixture.h"
#include "support/tmpfs.h"

namespace {

namespace fs = std::filesystem;
using apptest::FakeMedium;

constexpr size_t kSecond = 176400;

std::vector<uint8_t> Tone(double seconds) {
    auto tone = testsupport::StereoTone(330, seconds + 0.01, 0.3);
    tone.resize(size_t(seconds * 44100) * 4);
    return tone;
}

// What the process writes to standard error while it lives, kept in a file.
class StandardError {
  public:
    explicit StandardError(const std::string& file) : file_(file), saved_(::dup(2)) {
        std::fflush(stderr);
        const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(fd, 2);
        ::close(fd);
    }
    ~StandardError() { Restore(); }
    std::string Text() {
        Restore();
        std::ifstream in(file_);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

  private:
    void Restore() {
        if (saved_ < 0) return;
        std::fflush(stderr);
        ::dup2(saved_, 2);
        ::close(saved_);
        saved_ = -1;
    }
    std::string file_;
    int saved_;
};

class ConversionRunTest : public apptest::WindowOnFakes {
  protected:
    void SetUp() override {
        WindowOnFakes::SetUp();
        midi_ = Path("song.mid");
        wav_ = Path("song.wav");
        std::ofstream(midi_) << "MThd";
    }
    void TearDown() override {
        engine::SetCaptureLimitForTesting(0);
        WindowOnFakes::TearDown();
    }
    void Convert(const std::string& wav) {
        auto& f = form_ ? *form_ : Form();
        f.FilenameEdit1->SetFileName(QString::fromStdString(midi_));
        f.FilenameEdit2->SetFileName(QString::fromStdString(wav));
        f.KonvertBtn->click();
    }
    // Runs `during` once the run polls; a run that never ends is ended after 5 s, so that a
    // missing stop fails the test instead of hanging it.
    void During(std::function<void()> during) {
        QTimer::singleShot(20, form_.get(), [during] { during(); });
        QTimer::singleShot(5000, form_.get(), [this] {
            if (form_->MediaPlayer1.IsOpen()) mci_->PlayToEnd(form_->MediaPlayer1.DeviceId());
        });
    }
    void EndPlay() { mci_->PlayToEnd(form_->MediaPlayer1.DeviceId()); }
    std::string OnlyMessage() const {
        EXPECT_EQ(messages_.size(), 1u);
        return messages_.empty() ? "" : messages_.back().text.toStdString();
    }

    std::string midi_, wav_;
};

TEST_F(ConversionRunTest, ABadOutputIsRefusedBeforeTheMidiFileIsEvenOpened) {
    const std::string base = dir_.path();
    ASSERT_EQ(::mkfifo((base + "/pipe.wav").c_str(), 0644), 0);
    fs::create_directory(base + "/folder.wav");
    const std::pair<std::string, std::string> cases[] = {
        {base + "/missing/song.wav", "No such file or directory"},
        {base + "/pipe.wav", "named pipe"},
        {base + "/folder.wav", "Is a directory"},
        {"/dev/null", "device"}};
    for (const auto& [wav, reason] : cases) {
        messages_.clear();
        Convert(wav);
        const std::string text = OnlyMessage();
        EXPECT_NE(text.find("The WAV file " + wav + " cannot be written"), std::string::npos)
            << text;
        EXPECT_NE(text.find(reason), std::string::npos) << text;
        EXPECT_EQ(messages_.back().icon, app::TMsgIcon::miStop);
    }
    EXPECT_TRUE(mci_->Log().empty());
    EXPECT_EQ(wavein_->CallCount("waveInOpen"), 0u);
    EXPECT_TRUE(form_->KonvertBtn->isEnabled());
    EXPECT_FALSE(fs::exists(base + "/missing"));
}

TEST_F(ConversionRunTest, APieceTooLongForTheFreeSpaceIsRefusedOnceItsLengthIsKnown) {
    testsupport::Tmpfs disk(1 << 20);
    REQUIRE_TMPFS(disk);
    const std::string wav = disk.path() + "/song.wav";
    { std::ofstream(wav) << "old"; }
    mci_->ScriptMedium(midi_, FakeMedium{.length = 10000});  // 1.8 MB of sound
    Form();
    Convert(wav);
    const std::string text = OnlyMessage();
    EXPECT_NE(text.find("No space left on device"), std::string::npos) << text;
    EXPECT_NE(text.find(wav), std::string::npos) << text;
    EXPECT_EQ(Count(MCI_PLAY), 0u);
    EXPECT_FALSE(form_->MediaPlayer1.IsOpen());
    EXPECT_EQ(wavein_->CallCount("waveInOpen"), 0u);
    EXPECT_EQ(testsupport::ReadAll(wav), std::vector<uint8_t>({'o', 'l', 'd'}));

    // A piece that fits plays.
    mci_->ScriptMedium(midi_, FakeMedium{.length = 2000});
    messages_.clear();
    During([&] {
        wavein_->Feed(Tone(0.5));
        EndPlay();
    });
    Convert(wav);
    EXPECT_TRUE(messages_.empty()) << OnlyMessage();
    EXPECT_TRUE(form_->LastConversionWhole());

    // A compressed file is encoded from the recording beside it: a piece whose WAV file would
    // fit is refused when both do not.
    mci_->ScriptMedium(midi_, FakeMedium{.length = 4000});
    messages_.clear();
    Convert(disk.path() + "/song.flac");
    const std::string flac = OnlyMessage();
    EXPECT_NE(flac.find("The FLAC file " + disk.path() + "/song.flac cannot be written"),
              std::string::npos)
        << flac;
    EXPECT_NE(flac.find("No space left on device"), std::string::npos) << flac;
}

TEST_F(ConversionRunTest, AtTheSizeLimitTheRunStopsTheMusicItselfAndSaysSo) {
    engine::SetCaptureLimitForTesting(kSecond);
    Form();
    During([&] { wavein_->Feed(Tone(2)); });
    Convert(wav_);
    EXPECT_EQ(Count(MCI_STOP), 1u);
    const std::string text = OnlyMessage();
    EXPECT_NE(text.find("largest size a WAV file can hold"), std::string::npos) << text;
    EXPECT_FALSE(form_->LastConversionWhole());
    // Not the whole piece: the output is not replaced, the recording stays beside it.
    EXPECT_FALSE(fs::exists(wav_));
    const auto part = testsupport::ReadWav(wav_ + ".part");
    ASSERT_TRUE(part.has_value());
    EXPECT_EQ(part->data.size(), kSecond);
}

TEST_F(ConversionRunTest, ALostServerIsToldWithWhereTheMusicWasAndLeavesTheOldFileAsItWas) {
    mci_->ScriptMedium(midi_, FakeMedium{.length = 32000});
    { std::ofstream(wav_) << "the user's older file"; }
    Form();
    During([&] {
        Medium()->position = 7900;
        QTimer::singleShot(30, form_.get(), [this] {
            wavein_->Feed(Tone(1.5));
            Medium()->mode = MCI_MODE_NOT_READY;  // the device lost its stream
        });
    });
    Convert(wav_);
    const std::string part = wav_ + ".part";
    // Where the music was is a position, truncated; what the file holds a length, rounded.
    EXPECT_EQ(OnlyMessage(), "The sound server stopped answering at 0:07; " + part +
                                 " holds the first 0:02.\n" + wav_ +
                                 " was not changed; what was recorded is in " + part + ".");
    EXPECT_EQ(messages_.back().icon, app::TMsgIcon::miWarning);
    EXPECT_FALSE(form_->LastConversionWhole());
    std::ifstream old(wav_);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(old), {}), "the user's older file");
    EXPECT_TRUE(testsupport::ReadWav(part).has_value());
}

TEST_F(ConversionRunTest, ASignalStopsTheCommandLineRunWhichExitsWith128PlusIt) {
    for (int signal : {SIGTERM, SIGHUP, SIGINT}) {
        messages_.clear();
        quitCodes_.clear();
        auto& f = Form({midi_, wav_});
        During([&, signal] {
            wavein_->Feed(Tone(1));
            ::raise(signal);
        });
        f.FormShow();
        EXPECT_EQ(quitCodes_, std::vector<int>{128 + signal});
        EXPECT_EQ(Count(MCI_STOP), size_t(signal == SIGTERM ? 1 : signal == SIGHUP ? 2 : 3));
        const std::string text = OnlyMessage();
        EXPECT_EQ(text.rfind("Stopped by SIG", 0), 0u) << text;
        EXPECT_NE(text.find(wav_ + " holds the first 0:01"), std::string::npos) << text;
        const auto wav = testsupport::ReadWav(wav_);
        ASSERT_TRUE(wav.has_value());
        EXPECT_EQ(wav->data.size(), kSecond);
    }
}

TEST_F(ConversionRunTest, TheCommandLineSaysFirstThatAServerAtAnotherRateResamples) {
    struct Case {
        DWORD_PTR rate, server;
        const char* setting;  // in the note; null: no note
    };
    const Case cases[] = {{48000, MCI_SERVER_PIPEWIRE, "default.clock.allowed-rates"},
                          {96000, MCI_SERVER_PULSEAUDIO, "default-sample-rate = 44100"},
                          {44100, MCI_SERVER_PIPEWIRE, nullptr},
                          {0, MCI_SERVER_UNKNOWN, nullptr}};
    for (const Case& c : cases) {
        mci_->ScriptMedium(
            midi_, FakeMedium{.length = 1000, .deviceRate = c.rate, .soundServer = c.server});
        StandardError said(Path("stderr"));
        auto& f = Form({midi_, wav_});
        During([&] {
            wavein_->Feed(Tone(1));
            EndPlay();
        });
        f.FormShow();
        const std::string text = said.Text();
        SCOPED_TRACE(c.rate);
        EXPECT_EQ(quitCodes_.back(), 0) << text;
        const size_t plays = text.find("plays for");
        ASSERT_NE(plays, std::string::npos) << text;
        if (!c.setting) {
            EXPECT_EQ(text.find("resamples"), std::string::npos) << text;
            continue;
        }
        const std::string first = text.substr(0, text.find('\n'));
        EXPECT_NE(first.find("plays at " + std::to_string(c.rate) + " Hz and resamples"),
                  std::string::npos)
            << text;
        EXPECT_NE(first.find(c.setting), std::string::npos) << text;
        EXPECT_LT(first.size(), plays) << "told after the length: " << text;
    }
}

// --normalize gives the window's conversions one gain each, told where the run's ending is
// seen: on the clock line of the window, on standard error for the command line.
TEST_F(ConversionRunTest, ANormalizedRunSaysItsGainWhereItsEndingIsSeen) {
    auto& f = Form();
    app::TCommandLine line;
    line.normalize = true;
    f.SetCommandLine(line);
    During([&] {
        wavein_->Feed(Tone(0.5));
        EndPlay();
    });
    Convert(wav_);
    EXPECT_TRUE(messages_.empty()) << OnlyMessage();
    // A tone at 0.3 of full scale (-10.5 dBFS) brought to -1 dBFS.
    EXPECT_EQ(f.Label4->text(), "normalized: +9.5 dB");
    const auto wav = testsupport::ReadWav(wav_);
    ASSERT_TRUE(wav);
    EXPECT_EQ(testsupport::Peak(wav->left()), 29205);
}

}  // namespace
