// The sound server's MCI service: what it refuses before a device or a server is involved.
#include <gtest/gtest.h>

#include <fstream>
#include <memory>

#include "platform/mci.h"
#include "platform/pulse/pulse_backend.h"
#include "support/smf_builder.h"
#include "support/temp_folder.h"

namespace {

class PulseMciRefusals : public testsupport::TempFolderTest {
  protected:
    MCIERROR Open(DWORD_PTR flags, const char* type, const std::string& element) {
        MCI_OPEN_PARMSA parms{};
        parms.lpstrDeviceType = type;
        parms.lpstrElementName = element.c_str();
        return mci_->SendCommand(0, MCI_OPEN, flags, reinterpret_cast<DWORD_PTR>(&parms));
    }
    std::string Text(MCIERROR error) const {
        std::string text;
        EXPECT_TRUE(mci_->ErrorText(error, &text)) << error;
        return text;
    }

    std::unique_ptr<platform::MciService> mci_ = platform::pulse::MakeMci();
};

TEST_F(PulseMciRefusals, AnOpensRecordAndFlagsAreCheckedBeforeItsFile) {
    const std::string song = Path("song.mid");
    EXPECT_EQ(mci_->SendCommand(0, MCI_OPEN, MCI_OPEN_ELEMENT, 0), MCIERR_NULL_PARAMETER_BLOCK);
    // A flag these devices know but do not do says why, before any unknown flag counts.
    EXPECT_EQ(Open(MCI_OPEN_ELEMENT | MCI_OPEN_ALIAS | 0x10000, nullptr, song),
              MCIERR_UNSUPPORTED_FUNCTION);
    EXPECT_NE(Text(MCIERR_UNSUPPORTED_FUNCTION).find("Aliases"), std::string::npos);
    EXPECT_EQ(Open(MCI_OPEN_ELEMENT | 0x10000, nullptr, song), MCIERR_UNRECOGNIZED_KEYWORD);
    EXPECT_EQ(Open(MCI_WAIT, nullptr, song), MCIERR_MISSING_PARAMETER);
    EXPECT_EQ(Open(MCI_OPEN_TYPE, "sequencer", song), MCIERR_FILENAME_REQUIRED);
    EXPECT_NE(Text(MCIERR_FILENAME_REQUIRED).find("name one"), std::string::npos);
    EXPECT_EQ(Open(MCI_OPEN_TYPE | MCI_OPEN_ELEMENT, "vcr", song), MCIERR_INVALID_DEVICE_NAME);

    // The file's own faults carry its name in the text.
    EXPECT_EQ(Open(MCI_OPEN_ELEMENT | MCI_WAIT | MCI_NOTIFY, nullptr, song), MCIERR_FILE_NOT_FOUND);
    EXPECT_NE(Text(MCIERR_FILE_NOT_FOUND).find(song), std::string::npos);
}

// Loaded at the open, before any stream: a SoundFont that cannot be loaded is refused with its
// reason whether or not a sound server answers.
TEST_F(PulseMciRefusals, TheSequencersSoundFontIsLoadedAtTheOpenAndABrokenOneRefused) {
    const std::string song = Path("song.mid"), font = Path("noise.sf2");
    const auto smf = testsupport::MelodySmf({60}, 0.2);
    std::ofstream(song, std::ios::binary)
        .write(reinterpret_cast<const char*>(smf.data()), std::streamsize(smf.size()));
    std::ofstream(font, std::ios::binary) << "RIFX not a SoundFont at all, only some bytes";
    MCI_SEQ_OPEN_PARMSA parms{};
    parms.lpstrElementName = song.c_str();
    parms.lpstrSoundFont = font.c_str();
    const auto record = reinterpret_cast<DWORD_PTR>(&parms);
    const DWORD_PTR flags = MCI_OPEN_ELEMENT | MCI_WAIT | MCI_SEQ_OPEN_SOUNDFONT;
    EXPECT_EQ(mci_->SendCommand(0, MCI_OPEN, flags, record), MCIERR_NO_SOUNDFONT);
    EXPECT_NE(Text(MCIERR_NO_SOUNDFONT).find("cannot load the SoundFont " + font + ": not an SF2"),
              std::string::npos)
        << Text(MCIERR_NO_SOUNDFONT);
    const std::string missing = Path("missing.sf2");
    parms.lpstrSoundFont = missing.c_str();
    EXPECT_EQ(mci_->SendCommand(0, MCI_OPEN, flags, record), MCIERR_NO_SOUNDFONT);
    EXPECT_NE(Text(MCIERR_NO_SOUNDFONT).find(missing + ": No such file"), std::string::npos);
    parms.lpstrSoundFont = nullptr;
    EXPECT_EQ(mci_->SendCommand(0, MCI_OPEN, flags, record), MCIERR_MISSING_PARAMETER);
}

TEST_F(PulseMciRefusals, CommandsForNoOpenDeviceNameTheDeviceFirst) {
    MCI_GENERIC_PARMS parms{};
    const auto record = reinterpret_cast<DWORD_PTR>(&parms);
    for (UINT msg : {MCI_PLAY, MCI_STOP, MCI_CLOSE, MCI_STATUS, UINT(0x0999)})
        EXPECT_EQ(mci_->SendCommand(5, msg, MCI_WAIT, record), MCIERR_INVALID_DEVICE_ID) << msg;
    EXPECT_EQ(mci_->SendCommand(5, MCI_SET, 0xFFFF0000, 0), MCIERR_INVALID_DEVICE_ID);
}

}  // namespace
