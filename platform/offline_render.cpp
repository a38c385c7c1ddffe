#include "platform/offline_render.h"

#include "platform/service_slot.h"

namespace platform {

void InstallOfflineRender(std::unique_ptr<OfflineRenderService> service) {
    ServiceSlot<OfflineRenderService>::Instance().Install(std::move(service));
}

std::unique_ptr<OfflineRenderer> OpenOfflineRenderer(const std::string& soundFont,
                                                     std::string* error) {
    const auto service = ServiceSlot<OfflineRenderService>::Instance().Get();
    if (!service) {
        if (error) *error = "no offline renderer is installed";
        return nullptr;
    }
    return service->Open(soundFont, error);
}

}  // namespace platform
