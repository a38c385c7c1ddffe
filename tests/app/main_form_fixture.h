#pragma once
// The main window against in-memory devices: the fixture of its suites, a window with fake MCI,
// wave-input and mixer services, its messages collected, files in a folder of its own.
#include <gtest/gtest.h>

#include <QDir>
#include <QTimer>
#include <fstream>
#include <functional>
#include <memory>

#include "app/desktop_notice.h"
#include "app/main_form.h"
#include "app/messages.h"
#include "controls/tool_edit.h"
#include "media/notice_poster.h"
#include "platform/fake/fake_mci.h"
#include "platform/fake/fake_mixer.h"
#include "platform/fake/fake_wavein.h"
#include "platform/services.h"
#include "support/pcm.h"
#include "support/temp_folder.h"

namespace apptest {

using platform::fake::FakeMci;
using platform::fake::FakeMedium;
using platform::fake::FakeWaveIn;

inline std::vector<uint8_t> Sound(size_t frames) {  // never all zero, which would fail the run
    return testsupport::StereoTone(440, double(frames) / 44100, 0.25);
}

// Keeps what the window would have told the desktop.
class RecordingNotice : public app::TDesktopNotice {
  public:
    explicit RecordingNotice(std::vector<app::TNotice>& told) : told_(told) {}
    void Tell(const app::TNotice& notice) override { told_.push_back(notice); }

  private:
    std::vector<app::TNotice>& told_;
};

// The main window over in-memory MCI, wave-input and mixer services, its messages and its
// desktop notices collected.
class WindowOnFakes : public testsupport::TempFolderTest {
  protected:
    void SetUp() override {
        media::InstallQtNoticePoster();
        auto mci = std::make_unique<FakeMci>();
        mci_ = mci.get();
        platform::InstallMci(std::move(mci));
        auto wavein = std::make_unique<FakeWaveIn>();
        wavein_ = wavein.get();
        platform::InstallWaveIn(std::move(wavein));
        platform::InstallMixer(std::make_unique<platform::fake::FakeMixer>());
        previousSink_ =
            app::SetMessageSink([this](const app::TMessage& m) { messages_.push_back(m); });
    }
    void TearDown() override {
        app::SetMessageSink(previousSink_);
        app::SetHeadless(false);
        form_.reset();
        platform::InstallMci(nullptr);
        platform::InstallWaveIn(nullptr);
        platform::InstallMixer(nullptr);
    }

    app::TMainForm& Form(std::vector<std::string> args = {}) {
        form_ = std::make_unique<app::TMainForm>(std::move(args));
        form_->SetQuitRequest([this](int code) { quitCodes_.push_back(code); });
        form_->SetDesktopNotice(std::make_unique<RecordingNotice>(notices_));
        return *form_;
    }
    FakeMedium* Medium() { return mci_->Device(form_->MediaPlayer1.DeviceId()); }
    size_t Count(UINT msg) const {
        size_t n = 0;
        for (const auto& c : mci_->Log()) n += c.msg == msg;
        return n;
    }

    FakeMci* mci_ = nullptr;
    FakeWaveIn* wavein_ = nullptr;
    std::unique_ptr<app::TMainForm> form_;
    std::vector<app::TMessage> messages_;
    std::vector<app::TNotice> notices_;
    std::vector<int> quitCodes_;
    app::MessageSink previousSink_;
};

// Files in a folder whose name holds a blank, runs ended from timers.
class MainFormTest : public WindowOnFakes {
  protected:
    void SetUp() override {
        WindowOnFakes::SetUp();
        folder_ = dir_.QPath("with blank");
        QDir().mkpath(folder_);
        midi_ = folder_ + "/song.mid";
        wav_ = folder_ + "/song out.wav";
        std::ofstream(midi_.toStdString()) << "MThd";
    }
    void SetPaths(app::TMainForm& f) {
        f.FilenameEdit1->SetFileName(midi_);
        f.FilenameEdit2->SetFileName(wav_);
    }
    // Runs `during` once the run polls, then ends the medium as a finished piece would.
    void During(std::function<void()> during, bool playToEnd = true) {
        QTimer::singleShot(20, form_.get(), [this, during, playToEnd] {
            duringRan_ = true;
            during();
            if (playToEnd && form_->MediaPlayer1.IsOpen())
                mci_->PlayToEnd(form_->MediaPlayer1.DeviceId());
        });
    }
    // Runs each step 150 ms after the one before while the run polls, then ends the medium.
    void Steps(std::vector<std::function<void()>> steps, size_t at = 0) {
        QTimer::singleShot(at == 0 ? 20 : 150, form_.get(), [this, steps, at] {
            duringRan_ = true;
            steps[at]();
            if (at + 1 < steps.size())
                Steps(steps, at + 1);
            else if (form_->MediaPlayer1.IsOpen())
                mci_->PlayToEnd(form_->MediaPlayer1.DeviceId());
        });
    }

    QString folder_, midi_, wav_;
    bool duringRan_ = false;
};

}  // namespace apptest
