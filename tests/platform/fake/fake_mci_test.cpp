// The in-memory MCI service gives a file the device a real service would.
#include "platform/fake/fake_mci.h"

#include <gtest/gtest.h>

#include <fstream>

#include "support/temp_folder.h"

namespace {

using platform::MciDevice;
using platform::fake::FakeMci;

class FakeMciDevices : public testsupport::TempFolderTest {
  protected:
    // The device of a fresh open of `element` (with `type` when given).
    std::optional<MciDevice> Opened(const std::string& element, const char* type = nullptr) {
        MCI_OPEN_PARMSA parms{};
        parms.lpstrElementName = element.c_str();
        parms.lpstrDeviceType = type;
        const DWORD_PTR flags = MCI_WAIT | (type ? MCI_OPEN_TYPE : MCI_OPEN_ELEMENT);
        EXPECT_EQ(mci_.SendCommand(0, MCI_OPEN, flags, reinterpret_cast<DWORD_PTR>(&parms)), 0u);
        const platform::fake::FakeMedium* medium = mci_.Device(parms.wDeviceID);
        return medium ? medium->device : std::nullopt;
    }

    FakeMci mci_;
};

TEST_F(FakeMciDevices, AFileGoesWhereTheRealServiceWouldSendIt) {
    // Names alone, as the window's tests use them: no file behind them.
    EXPECT_EQ(Opened("/music/song.mid"), MciDevice::kSequencer);
    EXPECT_EQ(Opened("/music/song out.WAV"), MciDevice::kWaveAudio);
    EXPECT_EQ(Opened("song"), std::nullopt);
    // A file without a telling name: its first bytes.
    std::ofstream(Path("take"), std::ios::binary) << "MThd";
    EXPECT_EQ(Opened(Path("take")), MciDevice::kSequencer);
    // A named type outweighs the name; one no real device has opens here, on no device.
    EXPECT_EQ(Opened("/music/song.mid", "WaveAudio"), MciDevice::kWaveAudio);
    EXPECT_EQ(Opened("/music/song.mid", "CDAudio"), std::nullopt);
}

}  // namespace
