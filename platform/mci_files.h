#pragma once
// Which MCI device plays a file: the choice an open makes, the same for every backend.
#include <optional>
#include <string>

#include "platform/mci.h"

namespace platform {

enum class MciDevice { kSequencer, kWaveAudio };

// The device an open's type names ("sequencer", "waveaudio", in any case); none for another.
std::optional<MciDevice> MciDeviceNamed(const std::string& type);

// The device for a file, as an open without a type chooses it: by the extension (.mid, .midi,
// .rmi; .wav, .flac, .ogg, .oga, .opus, .mp3; in any case), else by the first bytes (what the SMF
// reader reads as a MIDI file; a RIFF WAVE, FLAC or Ogg file, an MP3 file with its tag). None
// when neither tells; *unreadable (if given) then says whether the file could not be read at
// all.
std::optional<MciDevice> MciDeviceOfFile(const std::string& path, bool* unreadable = nullptr);

// What an open (flags, record) asks for, checked as far as the file: the type it names or the
// device the file chooses, a name given, a regular file behind it. error is 0 when a device
// will take the file; otherwise detail names the file and what is wrong with it, or is empty.
struct MciFileChoice {
    MCIERROR error = 0;
    std::string detail;
    MciDevice device = MciDevice::kSequencer;
    std::string path;
};
MciFileChoice ChooseMciDevice(DWORD_PTR flags, const MCI_OPEN_PARMSA& parms);

}  // namespace platform
