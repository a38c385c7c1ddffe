#pragma once
// Where an installed service lives: one per kind, replaced as a whole. A caller takes its own
// reference for the length of a call, so a service replaced meanwhile goes only after the
// calls that use it, and its destructor runs outside the lock (its threads may still call in).
#include <memory>
#include <mutex>

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

  private:
    ServiceSlot() = default;
    mutable std::mutex mutex_;
    std::shared_ptr<Service> service_;
};

}  // namespace platform
