// Which wave-in device a capture opens: the one the sequencer names as recording it alone.
#include <gtest/gtest.h>

#include "capture_fixture.h"
#include "platform/fake/fake_mci.h"
#include "platform/services.h"

namespace {

using enginetest::CaptureOnFake;
using platform::fake::FakeMci;
using platform::fake::FakeMedium;

class CaptureOfASequencer : public CaptureOnFake {
  protected:
    void SetUp() override {
        CaptureOnFake::SetUp();
        auto mci = std::make_unique<FakeMci>();
        mci_ = mci.get();
        platform::InstallMci(std::move(mci));
    }
    void TearDown() override {
        platform::InstallMci(nullptr);
        CaptureOnFake::TearDown();
    }

    // Opens a sequencer on a song that names `recorder` (0: none).
    MCIDEVICEID Open(const std::string& song, DWORD_PTR recorder) {
        FakeMedium medium;
        medium.recorder = recorder;
        mci_->ScriptMedium(song, medium);
        MCI_OPEN_PARMSA open{};
        open.lpstrElementName = song.c_str();
        EXPECT_EQ(mciSendCommandA(0, MCI_OPEN, MCI_OPEN_ELEMENT | MCI_WAIT,
                                  reinterpret_cast<DWORD_PTR>(&open)),
                  0u);
        return open.wDeviceID;
    }
    // Records a moment with the sequencer given and says which device was opened.
    bool Record(MCIDEVICEID sequencer) {
        engine::RecordBtnClick(Fixed(Path("out.wav")), nullptr, sequencer);
        const engine::CaptureResult r = engine::StopBtnClick();
        return r.deviceOpened;
    }

    FakeMci* mci_ = nullptr;
};

TEST_F(CaptureOfASequencer, TheCaptureOpensTheDeviceThatRecordsItsOwnSequencer) {
    fake_->AddDevice(0x21);
    fake_->AddDevice(0x22);
    const MCIDEVICEID first = Open("a.mid", 0x21), second = Open("b.mid", 0x22);
    ASSERT_TRUE(Record(first));
    EXPECT_EQ(fake_->LastDeviceId(), 0x21u) << "not the sequencer opened last";
    ASSERT_TRUE(Record(second));
    EXPECT_EQ(fake_->LastDeviceId(), 0x22u);
}

TEST_F(CaptureOfASequencer, WithoutARecorderOfItsOwnTheDefaultDeviceRecordsTheSelectedLine) {
    const MCIDEVICEID quiet = Open("wave.wav", 0);
    ASSERT_TRUE(Record(quiet));
    EXPECT_EQ(fake_->LastDeviceId(), WAVE_MAPPER);
    ASSERT_TRUE(Record(0));
    EXPECT_EQ(fake_->LastDeviceId(), WAVE_MAPPER);
    const size_t asked = mci_->Log().size();
    Record(0);
    EXPECT_EQ(mci_->Log().size(), asked) << "no device, nothing asked";
}

// Recording the default device instead would record another song, or the wrong line.
TEST_F(CaptureOfASequencer, ARecorderThatCannotBeOpenedRecordsNothingRatherThanSomethingElse) {
    const MCIDEVICEID gone = Open("a.mid", 0x21);  // the wave-in side does not know 0x21
    EXPECT_FALSE(Record(gone));
    EXPECT_EQ(fake_->CallCount("waveInStart"), 0u);
}

}  // namespace
