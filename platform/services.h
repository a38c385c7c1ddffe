#pragma once
// The multimedia services behind the Windows-shaped free functions (waveInOpen, mixerOpen,
// mciSendCommandA ...). Each is an interface with one real backend (platform/pulse/) and one
// in-memory backend for tests (platform/fake/); the program installs the real ones in one
// place (platform::pulse::InstallPulseBackend). With nothing installed the free functions
// answer MMSYSERR_NODRIVER (or the MCI equivalent).
#include <memory>

namespace platform {

class WaveInService;  // platform/wavein.h
class MixerService;   // platform/mixer.h
class MciService;     // platform/mci.h

void InstallWaveIn(std::unique_ptr<WaveInService> service);
void InstallMixer(std::unique_ptr<MixerService> service);
void InstallMci(std::unique_ptr<MciService> service);

}  // namespace platform
