#include "platform/pulse/pulse_backend.h"

#include "platform/mci.h"
#include "platform/mixer.h"
#include "platform/offline_render.h"
#include "platform/pulse/recorder_table.h"
#include "platform/services.h"
#include "platform/wavein.h"

namespace platform::pulse {

LinkedServices MakeLinkedServices() {
    auto recorders = std::make_shared<RecorderTable>();
    return {MakeMci(recorders), MakeWaveIn(recorders)};
}

void InstallPulseBackend() {
    LinkedServices linked = MakeLinkedServices();
    InstallWaveIn(std::move(linked.waveIn));
    InstallMixer(MakeMixer());
    InstallMci(std::move(linked.mci));
    InstallOfflineRender(MakeOfflineRender());
}

}  // namespace platform::pulse
