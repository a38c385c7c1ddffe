#include "platform/pulse/pulse_backend.h"

#include "platform/mci.h"
#include "platform/mixer.h"
#include "platform/offline_render.h"
#include "platform/pulse/recorder_table.h"
#include "platform/services.h"
#include "platform/wavein.h"

namespace platform::pulse {

void InstallPulseBackend() {
    auto recorders = std::make_shared<RecorderTable>();
    InstallWaveIn(MakeWaveIn(recorders));
    InstallMixer(MakeMixer());
    InstallMci(MakeMci(recorders));
    InstallOfflineRender(MakeOfflineRender());
}

}  // namespace platform::pulse
