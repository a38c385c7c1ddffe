// A sequencer's own wave-in device (MCI_STATUS_RECORDER) records that sequencer alone, whichever
// other sequencers are open: the explicit link from a conversion's player to its recording.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/mci.h"
#include "platform/pulse/program_levels.h"
#include "platform/pulse/pulse_backend.h"
#include "platform/pulse/recorder_table.h"
#include "platform/wavein.h"
#include "support/decoded.h"
#include "support/pulse_env.h"
#include "support/smf_builder.h"
#include "support/temp_folder.h"

namespace {

using platform::pulse::RecorderTable;

class SequencerRecorders : public testsupport::TempFolderTest {
  protected:
    void SetUp() override {
        REQUIRE_SOUND_SERVER();
        platform::pulse::ProgramLevels::Instance().Reset();
        ASSERT_TRUE(testsupport::SmfBuilder()
                        .NoteOn(0, 0, 60, 110)
                        .NoteOff(1920, 0, 60)
                        .WriteFile(Path("note.mid")));
    }
    void TearDown() override { platform::pulse::ProgramLevels::Instance().Reset(); }

    MCIDEVICEID Open() {
        const std::string path = Path("note.mid");
        MCI_OPEN_PARMSA parms{};
        parms.lpstrElementName = path.c_str();
        EXPECT_EQ(Send(0, MCI_OPEN, MCI_OPEN_ELEMENT | MCI_WAIT, &parms), 0u);
        return parms.wDeviceID;
    }
    MCIERROR Recorder(MCIDEVICEID id, UINT* recorder) {
        MCI_STATUS_PARMS parms{};
        parms.dwItem = MCI_STATUS_RECORDER;
        const MCIERROR e = Send(id, MCI_STATUS, MCI_STATUS_ITEM | MCI_WAIT, &parms);
        *recorder = UINT(parms.dwReturn);
        return e;
    }
    template <class Record>
    MCIERROR Send(MCIDEVICEID id, UINT msg, DWORD_PTR flags, Record* record) {
        return mci_->SendCommand(id, msg, flags, reinterpret_cast<DWORD_PTR>(record));
    }

    // The loudest sample `device` records over `seconds` while `play` plays (0: nothing plays);
    // -1 when it does not open.
    int Loudest(UINT device, MCIDEVICEID play, int seconds) {
        WAVEFORMATEX f{WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0};
        HWAVEIN h = nullptr;
        if (waveIn_->Open(&h, device, &f, 0, 0, CALLBACK_NULL) != MMSYSERR_NOERROR) return -1;
        std::vector<int16_t> pcm(size_t(seconds + 1) * 44100 * 2);
        WAVEHDR header{};
        header.lpData = reinterpret_cast<char*>(pcm.data());
        header.dwBufferLength = DWORD(pcm.size() * 2);
        waveIn_->PrepareHeader(h, &header, sizeof header);
        waveIn_->AddBuffer(h, &header, sizeof header);
        waveIn_->Start(h);
        MCI_PLAY_PARMS parms{};
        if (play) {
            EXPECT_EQ(Send(play, MCI_PLAY, 0, &parms), 0u);
        }
        std::this_thread::sleep_for(std::chrono::seconds(seconds));
        waveIn_->Stop(h);
        waveIn_->Reset(h);
        waveIn_->Close(h);
        int loudest = 0;
        for (size_t i = 0; i < header.dwBytesRecorded / 2; ++i)
            loudest = std::max(loudest, std::abs(int(pcm[i])));
        return loudest;
    }

    std::shared_ptr<RecorderTable> recorders_ = std::make_shared<RecorderTable>();
    std::unique_ptr<platform::MciService> mci_ = platform::pulse::MakeMci(recorders_);
    std::unique_ptr<platform::WaveInService> waveIn_ = platform::pulse::MakeWaveIn(recorders_);
};

TEST_F(SequencerRecorders, EachOfTwoOpenSequencersIsRecordedByItsOwnDeviceAlone) {
    const MCIDEVICEID first = Open(), second = Open();
    UINT a = 0, b = 0;
    ASSERT_EQ(Recorder(first, &a), 0u);
    ASSERT_EQ(Recorder(second, &b), 0u);
    EXPECT_NE(a, b);
    for (UINT id : {a, b}) {
        EXPECT_GT(id, 0u) << "device 0 is the selected line";
        EXPECT_LT(id, 0x1000u) << "a JACK backend's devices start there";
    }

    // The first plays; the second, opened last, stays silent. Its own device hears nothing of
    // the first, and the first's device hears it.
    EXPECT_EQ(Loudest(b, first, 2), 0);
    MCI_SEEK_PARMS seek{};
    ASSERT_EQ(Send(first, MCI_SEEK, MCI_SEEK_TO_START | MCI_WAIT, &seek), 0u);
    EXPECT_GT(Loudest(a, first, 2), 1000);

    MCI_GENERIC_PARMS close{};
    ASSERT_EQ(Send(second, MCI_CLOSE, MCI_WAIT, &close), 0u);
    EXPECT_EQ(Loudest(b, 0, 0), -1) << "a closed sequencer's device is gone";
    ASSERT_EQ(Send(first, MCI_CLOSE, MCI_WAIT, &close), 0u);
}

TEST_F(SequencerRecorders, AWaveFileHasNoRecorderOfItsOwn) {
    ASSERT_TRUE(testsupport::WriteWavFile(Path("quiet.wav"), std::vector<uint8_t>(17640)));
    const std::string path = Path("quiet.wav");
    MCI_OPEN_PARMSA parms{};
    parms.lpstrElementName = path.c_str();
    ASSERT_EQ(Send(0, MCI_OPEN, MCI_OPEN_ELEMENT | MCI_WAIT, &parms), 0u);
    UINT recorder = 0;
    EXPECT_EQ(Recorder(parms.wDeviceID, &recorder), MCIERR_UNSUPPORTED_FUNCTION);
    MCI_GENERIC_PARMS close{};
    Send(parms.wDeviceID, MCI_CLOSE, MCI_WAIT, &close);
}

}  // namespace
