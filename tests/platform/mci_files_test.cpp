// Which device an open gives a file, and what it refuses before a device is involved.
#include "platform/mci_files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using platform::ChooseMciDevice;
using platform::MciDevice;
using platform::MciDeviceOfFile;

class MciFiles : public testsupport::TempFolderTest {
  protected:
    std::string Write(const std::string& name, const std::string& bytes) {
        const std::string path = Path(name);
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }
    static MCI_OPEN_PARMSA Record(const char* type, const std::string& element) {
        MCI_OPEN_PARMSA parms{};
        parms.lpstrDeviceType = type;
        parms.lpstrElementName = element.c_str();
        return parms;
    }
    // An open without a type, as the player sends it for a file.
    static platform::MciFileChoice ByFile(const std::string& path) {
        return ChooseMciDevice(MCI_OPEN_ELEMENT, Record(nullptr, path));
    }
};

TEST_F(MciFiles, TheExtensionChoosesInAnyCaseAndOnlyInTheFilesOwnName) {
    EXPECT_EQ(MciDeviceOfFile("/m/a.mid"), MciDevice::kSequencer);
    EXPECT_EQ(MciDeviceOfFile("/m/a.MIDI"), MciDevice::kSequencer);
    EXPECT_EQ(MciDeviceOfFile("/m/a.Rmi"), MciDevice::kSequencer);
    EXPECT_EQ(MciDeviceOfFile("/m/a.WAV"), MciDevice::kWaveAudio);
    // The compressed forms the program writes play where a WAV file plays.
    for (const char* name : {"/m/a.flac", "/m/a.OGG", "/m/a.oga", "/m/a.opus", "/m/a.Mp3"})
        EXPECT_EQ(MciDeviceOfFile(name), MciDevice::kWaveAudio) << name;
    // Names of files that need not exist: the fake backend asks about those.
    EXPECT_EQ(MciDeviceOfFile("/m/a.aac"), std::nullopt);
    EXPECT_EQ(MciDeviceOfFile("/m/songs.mid/track"), std::nullopt);
    // A WAV file named .mid still goes to the sequencer, which then refuses it.
    EXPECT_EQ(MciDeviceOfFile(Write("wave.mid", "RIFF\x04\0\0\0WAVE"s)), MciDevice::kSequencer);
}

TEST_F(MciFiles, WithoutAKnownExtensionTheFirstBytesChoose) {
    EXPECT_EQ(MciDeviceOfFile(Write("plain", "MThd\0\0\0\x06"s)), MciDevice::kSequencer);
    EXPECT_EQ(MciDeviceOfFile(Write("wrapped.bin", "RIFF\x10\0\0\0RMIDdata"s)),
              MciDevice::kSequencer);
    EXPECT_EQ(MciDeviceOfFile(Write("sound.dat", "RIFF\x10\0\0\0WAVEfmt "s)),
              MciDevice::kWaveAudio);
    for (const char* head : {"fLaC\0\0\0\x22", "OggS\0\x02\0\0", "ID3\x04\0\0\0\0"})
        EXPECT_EQ(MciDeviceOfFile(Write("sound.bin", head)), MciDevice::kWaveAudio) << head;
    bool unreadable = true;
    EXPECT_EQ(MciDeviceOfFile(Write("notes.txt", "MTh"), &unreadable), std::nullopt);
    EXPECT_FALSE(unreadable);
    EXPECT_EQ(MciDeviceOfFile(Write("empty", ""), &unreadable), std::nullopt);
    EXPECT_FALSE(unreadable);
}

TEST_F(MciFiles, AnOpenNamesTheTypeOrTheFileAndTheFileMustBeThere) {
    const std::string midi = Write("song", "MThd");
    EXPECT_EQ(ByFile(midi).error, 0u);
    EXPECT_EQ(ByFile(midi).device, MciDevice::kSequencer);
    EXPECT_EQ(ByFile(midi).path, midi);
    // The type outweighs what the file says.
    const auto forced =
        ChooseMciDevice(MCI_OPEN_ELEMENT | MCI_OPEN_TYPE, Record("WaveAudio", midi));
    EXPECT_EQ(forced.error, 0u);
    EXPECT_EQ(forced.device, MciDevice::kWaveAudio);

    const auto other = ChooseMciDevice(MCI_OPEN_ELEMENT | MCI_OPEN_TYPE, Record("cdaudio", midi));
    EXPECT_EQ(other.error, MCIERR_INVALID_DEVICE_NAME);
    EXPECT_NE(other.detail.find("\"cdaudio\""), std::string::npos) << other.detail;
    EXPECT_EQ(ChooseMciDevice(MCI_OPEN_ELEMENT | MCI_OPEN_TYPE, Record(nullptr, midi)).error,
              MCIERR_MISSING_PARAMETER);
    EXPECT_EQ(ByFile("").error, MCIERR_FILENAME_REQUIRED);

    const auto missing = ByFile(Path("gone.mid"));
    EXPECT_EQ(missing.error, MCIERR_FILE_NOT_FOUND);
    EXPECT_NE(missing.detail.find(Path("gone.mid")), std::string::npos) << missing.detail;
    EXPECT_EQ(ByFile(Path("gone/deeper.mid")).error, MCIERR_FILE_NOT_FOUND);
    fs::create_directory(Path("folder.mid"));
    EXPECT_EQ(ByFile(Path("folder.mid")).error, MCIERR_INVALID_FILE);
    ASSERT_EQ(mkfifo(Path("pipe.mid").c_str(), 0600), 0);
    EXPECT_EQ(ByFile(Path("pipe.mid")).error, MCIERR_INVALID_FILE);
    const auto unknown = ByFile(Write("noise.xyz", "nothing it knows"));
    EXPECT_EQ(unknown.error, MCIERR_EXTENSION_NOT_FOUND);
    EXPECT_NE(unknown.detail.find("noise.xyz"), std::string::npos) << unknown.detail;
}

TEST_F(MciFiles, AFileWhoseBytesCannotBeReadIsAReadErrorNotAnUnknownKind) {
    if (::geteuid() == 0) GTEST_SKIP() << "root reads past the permission bits";
    const std::string locked = Write("locked", "MThd");
    fs::permissions(locked, fs::perms::none);
    bool unreadable = false;
    EXPECT_EQ(MciDeviceOfFile(locked, &unreadable), std::nullopt);
    EXPECT_TRUE(unreadable);
    EXPECT_EQ(ByFile(locked).error, MCIERR_FILE_READ);
}

}  // namespace
