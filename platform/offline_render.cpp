#include "platform/offline_render.h"

#include "platform/service_slot.h"

namespace platform {

void InstallOfflineRender(std::unique_ptr<OfflineRenderService> service) {
    ServiceSlot<OfflineRenderService>::Instance().Install(std::move(service));
}

bool RenderMidiOffline(const std::string& midiPath, const OfflineLevels& levels,
                       const std::function<bool(const OfflineSong&)>& ready,
                       const FrameSink& sink, OfflineSong* song, std::string* error) {
    auto service = ServiceSlot<OfflineRenderService>::Instance().Get();
    if (!service) {
        if (error) *error = "no offline renderer is installed";
        return false;
    }
    return service->Render(midiPath, levels, ready, sink, song, error);
}

}  // namespace platform
