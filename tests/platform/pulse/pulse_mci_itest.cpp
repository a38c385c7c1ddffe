// The sound server's MCI service with a device open: every message takes its own flags, and a
// refused command leaves the device as it was.
#include <gtest/gtest.h>

#include <memory>

#include "platform/mci.h"
#include "platform/pulse/pulse_backend.h"
#include "support/pulse_env.h"
#include "support/smf_builder.h"
#include "support/temp_folder.h"

namespace {

class PulseMciDevice : public testsupport::TempFolderTest {
  protected:
    void SetUp() override {
        REQUIRE_SOUND_SERVER();
        ASSERT_TRUE(testsupport::SmfBuilder()
                        .NoteOn(0, 0, 60, 100)
                        .NoteOff(960, 0, 60)
                        .WriteFile(Path("note.mid")));
        const std::string path = Path("note.mid");
        MCI_OPEN_PARMSA parms{};
        parms.lpstrElementName = path.c_str();
        ASSERT_EQ(Send(MCI_OPEN, MCI_OPEN_ELEMENT | MCI_WAIT, &parms), 0u);
        id_ = parms.wDeviceID;
    }
    void TearDown() override {
        if (id_) Send<MCI_GENERIC_PARMS>(MCI_CLOSE, MCI_WAIT, nullptr);
    }
    template <class Record>
    MCIERROR Send(UINT msg, DWORD_PTR flags, Record* record) {
        return mci_->SendCommand(id_, msg, flags, reinterpret_cast<DWORD_PTR>(record));
    }
    DWORD_PTR Status(DWORD item) {
        MCI_STATUS_PARMS parms{};
        parms.dwItem = item;
        EXPECT_EQ(Send(MCI_STATUS, MCI_STATUS_ITEM | MCI_WAIT, &parms), 0u) << item;
        return parms.dwReturn;
    }
    std::string Text(MCIERROR error) const {
        std::string text;
        EXPECT_TRUE(mci_->ErrorText(error, &text)) << error;
        return text;
    }

    std::unique_ptr<platform::MciService> mci_ = platform::pulse::MakeMci();
    MCIDEVICEID id_ = 0;
};

TEST_F(PulseMciDevice, EachMessageTakesItsOwnFlagsAndSaysWhyItRefusesTheRest) {
    MCI_PLAY_PARMS play{};
    EXPECT_EQ(Send(MCI_PLAY, MCI_FROM | 0x10000, &play), MCIERR_UNSUPPORTED_FUNCTION);
    EXPECT_NE(Text(MCIERR_UNSUPPORTED_FUNCTION).find("current position"), std::string::npos);
    EXPECT_EQ(Send(MCI_PLAY, MCI_SEEK_TO_START, &play), MCIERR_UNRECOGNIZED_KEYWORD);
    MCI_GENERIC_PARMS generic{};
    EXPECT_EQ(Send(MCI_STOP, MCI_SET_TIME_FORMAT, &generic), MCIERR_UNRECOGNIZED_KEYWORD);

    MCI_SEEK_PARMS seek{};
    EXPECT_EQ(Send(MCI_SEEK, MCI_TO, &seek), MCIERR_UNSUPPORTED_FUNCTION);
    EXPECT_NE(Text(MCIERR_UNSUPPORTED_FUNCTION).find("start or to the end"), std::string::npos);
    EXPECT_EQ(Send(MCI_SEEK, MCI_FROM, &seek), MCIERR_UNRECOGNIZED_KEYWORD);
    EXPECT_EQ(Send(MCI_SEEK, MCI_SEEK_TO_START | MCI_SEEK_TO_END, &seek),
              MCIERR_FLAGS_NOT_COMPATIBLE);
    EXPECT_EQ(Send(MCI_SEEK, MCI_WAIT, &seek), MCIERR_MISSING_PARAMETER);

    MCI_SET_PARMS set{};
    EXPECT_EQ(Send<MCI_SET_PARMS>(MCI_SET, MCI_SET_TIME_FORMAT, nullptr),
              MCIERR_NULL_PARAMETER_BLOCK);
    EXPECT_EQ(Send(MCI_SET, MCI_STATUS_ITEM, &set), MCIERR_UNRECOGNIZED_KEYWORD);
    EXPECT_EQ(Send(MCI_SET, MCI_WAIT, &set), MCIERR_MISSING_PARAMETER);
    set.dwTimeFormat = MCI_FORMAT_TMSF;
    EXPECT_EQ(Send(MCI_SET, MCI_SET_TIME_FORMAT, &set), MCIERR_BAD_TIME_FORMAT);

    MCI_STATUS_PARMS status{};
    EXPECT_EQ(Send<MCI_STATUS_PARMS>(MCI_STATUS, MCI_STATUS_ITEM, nullptr),
              MCIERR_NULL_PARAMETER_BLOCK);
    EXPECT_EQ(Send(MCI_STATUS, MCI_WAIT, &status), MCIERR_MISSING_PARAMETER);
    status.dwItem = 0x77;
    EXPECT_EQ(Send(MCI_STATUS, MCI_STATUS_ITEM, &status), MCIERR_UNSUPPORTED_FUNCTION);
    EXPECT_EQ(Send(0x0999, MCI_WAIT, &generic), MCIERR_UNRECOGNIZED_COMMAND);

    // None of it touched the device.
    EXPECT_EQ(Status(MCI_STATUS_MODE), MCI_MODE_STOP);
    EXPECT_EQ(Status(MCI_STATUS_POSITION), 0u);
    EXPECT_EQ(Status(MCI_STATUS_LENGTH), 1000u);
}

TEST_F(PulseMciDevice, AcceptedCommandsDoWhatTheyAskAndACloseTakesAnyFlag) {
    MCI_SET_PARMS set{};
    set.dwTimeFormat = MCI_FORMAT_MILLISECONDS;
    EXPECT_EQ(Send(MCI_SET, MCI_SET_TIME_FORMAT | MCI_WAIT, &set), 0u);
    MCI_SEEK_PARMS seek{};
    EXPECT_EQ(Send(MCI_SEEK, MCI_SEEK_TO_END | MCI_WAIT, &seek), 0u);
    EXPECT_EQ(Status(MCI_STATUS_POSITION), 1000u);
    EXPECT_EQ(Send(MCI_SEEK, MCI_SEEK_TO_START | MCI_WAIT, &seek), 0u);
    EXPECT_EQ(Status(MCI_STATUS_POSITION), 0u);
    EXPECT_EQ(Status(MCI_STATUS_READ_IN_PART), MCI_READ_WHOLE);

    MCI_GENERIC_PARMS generic{};
    EXPECT_EQ(Send(MCI_CLOSE, 0xFFFF0000, &generic), 0u);
    EXPECT_EQ(Send(MCI_STATUS, MCI_STATUS_ITEM, &generic), MCIERR_INVALID_DEVICE_ID);
    id_ = 0;
}

}  // namespace
