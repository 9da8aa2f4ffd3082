// SPDX-License-Identifier: BSD-3-Clause
// The registries of live guarded objects and their recursive lock.
#include "core/object_registry.h"

#include "core/consumer_base.h"
#include "platform/platform.h"

namespace corvid2 {

const std::array<RegistryDescription, kRegistryCount> kRegistryDescriptions = {{
    {"GenAPINode", true},
    {"NodeMap", false},
    {"SystemListMap", false},
    {"SystemMap", false},
    {"InterfaceListMap", false},
    {"InterfaceData", false},
    {"DeviceListData", false},
    {"DeviceData", false},
    {"CDeviceObjPtr", true},
    {"DataStreamListData", false},
    {"DataStreamData", false},
    {"DataStreamObjPtr", true},
    {"BufferList", false},
    {"BufferData", false},
    {"InterfaceEventControl", false},
    {"StreamEventControl", false},
    {"EventControl", false},
    {"DeviceEvent", false},
    {"NodeControlData", false},
    {"ImageProcessor", false},
    {"Image", false},
    {"Polarizer", false},
    {"BrightnessAuto", false},
}};

void CRegistryLock::lock() {
    const std::uint32_t self = platform::currentThreadId();
    if (owner_.load(std::memory_order_relaxed) == self) {
        ++depth_;
        return;
    }
    mutex_.lock();
    owner_.store(self, std::memory_order_relaxed);
    depth_ = 1;
}

void CRegistryLock::unlock() {
    if (--depth_ != 0) return;
    owner_.store(0, std::memory_order_relaxed);
    mutex_.unlock();
}

bool CRegistryLock::heldByCurrentThread() const {
    return owner_.load(std::memory_order_relaxed) == platform::currentThreadId();
}

// Registries start with room for a few hundred objects so that a typical session never rehashes.
constexpr std::size_t kInitialBuckets = 256;

CObjectRegistry::CObjectRegistry(const char* name, bool root) : name_(name), root_(root) {
    owners_.reserve(root ? 0 : kInitialBuckets);
    objects_.reserve(kInitialBuckets);
}

void CObjectRegistry::insert(const void* owner, const void* object, ObjectIdentity identity) {
    if (!root_) owners_.emplace(owner, identity);
    objects_.emplace(object, identity);
}

void CObjectRegistry::erase(const void* owner, const void* object) {
    if (!root_) owners_.erase(owner);
    objects_.erase(object);
}

bool CObjectRegistry::isRegistered(const void* object) {
    std::lock_guard<CRegistryLock> hold(lock_);
    return objects_.count(object) != 0;
}

std::size_t CObjectRegistry::objectCount() {
    std::lock_guard<CRegistryLock> hold(lock_);
    return objects_.size();
}

namespace {

template <std::size_t... Index>
std::array<CObjectRegistry, kRegistryCount> buildRegistries(std::index_sequence<Index...>) {
    return {{CObjectRegistry(kRegistryDescriptions[Index].name, kRegistryDescriptions[Index].root)...}};
}

}  // namespace

CObjectRegistries::CObjectRegistries() : registries_(buildRegistries(std::make_index_sequence<kRegistryCount>())) {}

CObjectRegistry& registryOf(RegistryKind kind) { return CConsumerBase::instance().registry(kind); }

}  // namespace corvid2
