#include "platform/pulse/pulse_backend.h"

#include "platform/mci.h"
#include "platform/mixer.h"
#include "platform/offline_render.h"
#include "platform/services.h"
#include "platform/wavein.h"

namespace platform::pulse {

void InstallPulseBackend() {
    InstallWaveIn(MakeWaveIn());
    InstallMixer(MakeMixer());
    InstallMci(MakeMci());
    InstallOfflineRender(MakeOfflineRender());
}

}  // namespace platform::pulse
