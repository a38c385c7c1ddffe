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

class RecorderTable;  // recorder_table.h

// The wave-in and MCI services share one RecorderTable: a sequencer opened through this MCI
// service names a wave-in device of this wave-in service that records it alone. A service made
// without one gets a table of its own (tests that use only one of them).
std::unique_ptr<WaveInService> MakeWaveIn(
    std::shared_ptr<RecorderTable> recorders = nullptr);  // pulse_wavein.cpp
std::unique_ptr<MixerService> MakeMixer();                // pulse_mixer.cpp
std::unique_ptr<MciService> MakeMci(
    std::shared_ptr<RecorderTable> recorders = nullptr);  // pulse_mci.cpp
std::unique_ptr<OfflineRenderService> MakeOfflineRender();  // offline_render.cpp

// The MCI and wave-in services linked through one table, for a program that routes them
// beside another backend's.
struct LinkedServices {
    std::unique_ptr<MciService> mci;
    std::unique_ptr<WaveInService> waveIn;
};
LinkedServices MakeLinkedServices();

// Installs all of them, linked through one table, as the only backend.
void InstallPulseBackend();

}  // namespace platform::pulse
