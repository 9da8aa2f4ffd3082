// SPDX-License-Identifier: BSD-3-Clause
// Handle tokens and their lookup.
#include "handle_registry.h"

namespace corvid2::sim {

void* HandleRegistry::add(const std::shared_ptr<Handleable>& object) {
    std::lock_guard<std::mutex> lock(mutex_);
    next_ += 0x10;
    objects_[next_] = object;
    void* handle = reinterpret_cast<void*>(next_);
    object->setHandle(handle);
    return handle;
}

void HandleRegistry::remove(void* handle) {
    std::lock_guard<std::mutex> lock(mutex_);
    objects_.erase(reinterpret_cast<uintptr_t>(handle));
}

void HandleRegistry::clear() {
    std::unordered_map<uintptr_t, std::shared_ptr<Handleable>> dropped;
    std::lock_guard<std::mutex> lock(mutex_);
    dropped.swap(objects_);
}

std::shared_ptr<Handleable> HandleRegistry::find(void* handle) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = objects_.find(reinterpret_cast<uintptr_t>(handle));
    return it == objects_.end() ? nullptr : it->second;
}

}  // namespace corvid2::sim
