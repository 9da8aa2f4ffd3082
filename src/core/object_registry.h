// SPDX-License-Identifier: BSD-3-Clause
// Registries of live guarded objects: which wrappers and objects exist, under which identity.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <unordered_map>
#include <utility>

#include "core/access_control.h"

namespace corvid2 {

// One registry per kind of guarded object, in the order in which the consumer context builds
// them. The enumerator names are the registry names.
enum class RegistryKind : std::uint8_t {
    GenAPINode,
    NodeMap,
    SystemListMap,
    SystemMap,
    InterfaceListMap,
    InterfaceData,
    DeviceListData,
    DeviceData,
    CDeviceObjPtr,
    DataStreamListData,
    DataStreamData,
    DataStreamObjPtr,
    BufferList,
    BufferData,
    InterfaceEventControl,
    StreamEventControl,
    EventControl,
    DeviceEvent,
    NodeControlData,
    ImageProcessor,
    Image,
    Polarizer,
    BrightnessAuto,
};

constexpr std::size_t kRegistryCount = static_cast<std::size_t>(RegistryKind::BrightnessAuto) + 1;

struct RegistryDescription {
    const char* name;  // the %s of "Access to an invalid %s object."
    bool root;         // objects of root kinds are registered without an owner
};

// Name and root flag of every kind, indexed by RegistryKind.
extern const std::array<RegistryDescription, kRegistryCount> kRegistryDescriptions;

// A recursive lock made of the owning thread's id, a depth and a mutex. The owner field is atomic
// so that the "do I already hold it" test may race with other threads taking the mutex: only the
// owning thread can ever find its own id there.
class CRegistryLock {
public:
    void lock();
    void unlock();
    bool heldByCurrentThread() const;

private:
    std::atomic<std::uint32_t> owner_{0};
    std::uint32_t depth_ = 0;
    std::mutex mutex_;
};

// Maps the key of a wrapper (owner) and the key of a guarded object to the identity they were
// registered with. The map operations below expect the caller to hold `lock()`; the guards do
// this, and hold it for nothing but these few operations and the accessor calls that read the
// object's record (never across a call into a producer, GenApi or user code). It is therefore
// the innermost lock of the library: no other lock may be taken while it is held.
class CObjectRegistry {
public:
    CObjectRegistry(const char* name, bool root);
    CObjectRegistry(const CObjectRegistry&) = delete;
    CObjectRegistry& operator=(const CObjectRegistry&) = delete;

    const char* name() const { return name_; }
    bool isRoot() const { return root_; }
    CRegistryLock& lock() { return lock_; }

    // ---- with the lock held ----
    // The identity registered for a key, or nothing (null pointer) when the key is unknown.
    const ObjectIdentity* findOwner(const void* owner) const { return find(owners_, owner); }
    const ObjectIdentity* findObject(const void* object) const { return find(objects_, object); }
    // Keys already present keep the identity they have.
    void insert(const void* owner, const void* object, ObjectIdentity identity);
    void erase(const void* owner, const void* object);

    // ---- taking the lock itself; for diagnostics and tests ----
    bool isRegistered(const void* object);
    std::size_t objectCount();

private:
    using Map = std::unordered_map<const void*, ObjectIdentity>;
    static const ObjectIdentity* find(const Map& map, const void* key) {
        auto it = map.find(key);
        return it == map.end() ? nullptr : &it->second;
    }

    const char* name_;
    bool root_;
    Map owners_;
    Map objects_;
    CRegistryLock lock_;
};

// The 23 registries of the consumer context, built in the order of RegistryKind from
// kRegistryDescriptions.
class CObjectRegistries {
public:
    CObjectRegistries();
    CObjectRegistry& operator[](RegistryKind kind) { return registries_[static_cast<std::size_t>(kind)]; }

private:
    std::array<CObjectRegistry, kRegistryCount> registries_;
};

// The registry of a kind, held by the consumer context (which it builds on first use).
CObjectRegistry& registryOf(RegistryKind kind);

}  // namespace corvid2
