#pragma once
// The real backend: every multimedia service over the sound server and the synthesizer.
#include <memory>

namespace platform {
class WaveInService;
class MixerService;
class MciService;
class OfflineRenderService;
}  // namespace platform

namespace platform::pulse {

std::unique_ptr<WaveInService> MakeWaveIn();  // pulse_wavein.cpp
std::unique_ptr<MixerService> MakeMixer();    // pulse_mixer.cpp
std::unique_ptr<MciService> MakeMci();        // pulse_mci.cpp
std::unique_ptr<OfflineRenderService> MakeOfflineRender();  // offline_render.cpp

// Installs all of them; the program calls this once at start-up.
void InstallPulseBackend();

}  // namespace platform::pulse
