#pragma once
// Where an installed service lives: one per kind, replaced as a whole. A caller takes its own
// reference for the length of a call, so a service replaced meanwhile goes only after the
// calls that use it, and its destructor runs outside the lock (its threads may still call in).
// Whatever a service keeps for its callers (the mixer's open handles) belongs in the slotted
// object, so that a replacement drops it together with the service.
#include <memory>
#include <mutex>
#include <utility>

namespace platform {

template <class Service>
class ServiceSlot {
  public:
    static ServiceSlot& Instance() {
        static ServiceSlot slot;
        return slot;
    }
    void Install(std::unique_ptr<Service> service) {
        std::shared_ptr<Service> old(std::move(service));
        {
            std::lock_guard lock(mutex_);
            old.swap(service_);
        }
    }
    std::shared_ptr<Service> Get() const {
        std::lock_guard lock(mutex_);
        return service_;
    }
    // The installed service's answer to `op`, or `none` when nothing is installed.
    template <class Result, class Owner, class... Params, class... Args>
    Result Call(Result none, Result (Owner::*op)(Params...), Args&&... args) const {
        const std::shared_ptr<Service> service = Get();
        return service ? ((*service).*op)(std::forward<Args>(args)...) : none;
    }

  private:
    ServiceSlot() = default;
    mutable std::mutex mutex_;
    std::shared_ptr<Service> service_;
};

}  // namespace platform
