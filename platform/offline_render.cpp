#include "platform/offline_render.h"

#include "platform/service_slot.h"

namespace platform {

void InstallOfflineRender(std::unique_ptr<OfflineRenderService> service) {
    ServiceSlot<OfflineRenderService>::Instance().Install(std::move(service));
}

namespace {

std::shared_ptr<OfflineRenderService> Service(std::string* error) {
    auto service = ServiceSlot<OfflineRenderService>::Instance().Get();
    if (!service && error) *error = "no offline renderer is installed";
    return service;
}

}  // namespace

bool PrepareOfflineRender(const std::string& soundFont, std::string* error) {
    const auto service = Service(error);
    return service && service->Prepare(soundFont, error);
}

bool RenderMidiOffline(const std::string& midiPath, const std::string& soundFont,
                       const OfflineLevels& levels,
                       const std::function<bool(const OfflineSong&)>& ready, const FrameSink& sink,
                       OfflineSong* song, std::string* error) {
    const auto service = Service(error);
    return service && service->Render(midiPath, soundFont, levels, ready, sink, song, error);
}

}  // namespace platform
