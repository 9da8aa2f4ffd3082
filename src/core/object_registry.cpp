// SPDX-License-Identifier: BSD-3-Clause
// The registries of live guarded objects and their recursive lock.
#include "core/object_registry.h"

#include <thread>

#include "platform/platform.h"
#include "trace/library_trace.h"

namespace corvid2 {
namespace {

// Enough pause instructions to ride out a holder that is about to leave; past that the holder is
// probably descheduled and needs this core.
constexpr unsigned kPausesBeforeYield = 64;

inline void cpuRelax() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#elif defined(__aarch64__)
    asm volatile("yield");
#else
    std::this_thread::yield();
#endif
}

}  // namespace

void CSpinWait::once() {
    if (tries_ < kPausesBeforeYield) {
        ++tries_;
        cpuRelax();
    } else {
        std::this_thread::yield();
    }
}

const std::array<RegistryDescription, kRegistryCount> kRegistryDescriptions = {{
    {"GenAPINode", true},          {"NodeMap", false},          {"SystemListMap", false},
    {"SystemMap", false},          {"InterfaceListMap", false}, {"InterfaceData", false},
    {"DeviceListData", false},     {"DeviceData", false},       {"CDeviceObjPtr", true},
    {"DataStreamListData", false}, {"DataStreamData", false},   {"DataStreamObjPtr", true},
    {"BufferList", false},         {"BufferData", false},       {"InterfaceEventControl", false},
    {"StreamEventControl", false}, {"EventControl", false},     {"DeviceEvent", false},
    {"NodeControlData", false},    {"ImageProcessor", false},   {"Image", false},
    {"Polarizer", false},          {"BrightnessAuto", false},
}};

void CPointerMap::reserve(std::size_t count) {
    std::size_t capacity = 8;
    while (capacity < 2 * count) capacity *= 2;  // at most half full
    if (capacity > slots_.size()) rehash(capacity);
}

void CPointerMap::rehash(std::size_t capacity) {
    std::vector<Slot> old(capacity);
    old.swap(slots_);
    mask_ = capacity - 1;
    shift_ = 64;
    for (std::size_t bits = capacity; bits > 1; bits >>= 1) --shift_;
    size_ = 0;
    for (const Slot& slot : old)
        if (slot.key != nullptr) insert(slot.key, slot.value);
}

void CPointerMap::insert(const void* key, ObjectIdentity value) {
    if (key == nullptr) return;
    if (2 * (size_ + 1) > slots_.size()) rehash(slots_.empty() ? 8 : 2 * slots_.size());
    std::size_t index = home(key);
    while (slots_[index].key != nullptr) {
        if (slots_[index].key == key) return;
        index = (index + 1) & mask_;
    }
    slots_[index] = Slot{key, value};
    ++size_;
}

void CPointerMap::erase(const void* key) {
    if (key == nullptr || slots_.empty()) return;
    std::size_t hole = home(key);
    while (slots_[hole].key != key) {
        if (slots_[hole].key == nullptr) return;
        hole = (hole + 1) & mask_;
    }
    // Move back every later entry of the run whose home does not lie between the hole and itself.
    for (std::size_t next = (hole + 1) & mask_; slots_[next].key != nullptr; next = (next + 1) & mask_) {
        const std::size_t wanted = home(slots_[next].key);
        const bool homeBetween = hole <= next ? (hole < wanted && wanted <= next) : (hole < wanted || wanted <= next);
        if (homeBetween) continue;
        slots_[hole] = slots_[next];
        hole = next;
    }
    slots_[hole] = Slot{};
    --size_;
}

namespace {
// Constant-initialised and initial-exec: reading it is a single load, with no wrapper call.
CORVID2_INITIAL_EXEC_TLS thread_local std::uint32_t cachedThreadId = 0;
}  // namespace

std::uint32_t guardThreadId() {
    std::uint32_t id = cachedThreadId;
    if (id == 0) cachedThreadId = id = platform::currentThreadId();
    return id;
}

// Registries start with room for a few hundred objects so that a typical session never rehashes.
constexpr std::size_t kInitialEntries = 64;

CObjectRegistry::CObjectRegistry(const char* name, bool root) : name_(name), root_(root) {
    if (!root) owners_.reserve(kInitialEntries);
    objects_.reserve(kInitialEntries);
}

void CObjectRegistry::insert(const void* owner, const void* object, ObjectIdentity identity) {
    if (!root_) owners_.insert(owner, identity);
    objects_.insert(object, identity);
}

void CObjectRegistry::erase(const void* owner, const void* object) {
    if (!root_) owners_.erase(owner);
    objects_.erase(object);
}

bool CObjectRegistry::isRegistered(const void* object) {
    std::lock_guard<CRegistryLock> hold(lock_);
    return objects_.find(object) != nullptr;
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

CObjectRegistries& CObjectRegistries::instance() {
    static CObjectRegistries registries;
    return registries;
}

CObjectRegistries::CObjectRegistries() : registries_(buildRegistries(std::make_index_sequence<kRegistryCount>())) {
    // Guards trace while the registries exist, so the trace must be built first to be destroyed last.
    CLibraryTrace::instance();
}

}  // namespace corvid2
