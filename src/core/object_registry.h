// SPDX-License-Identifier: BSD-3-Clause
// Registries of live guarded objects: which wrappers and objects exist, under which identity.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <utility>
#include <vector>

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

// The calling thread's id as platform::currentThreadId gives it, cached for the guards' fast paths.
std::uint32_t guardThreadId();

// Busy-wait step: a pause instruction for the first tries, then a yield so that on a machine with
// few cores the thread that holds what is awaited gets to run and finish.
class CSpinWait {
public:
    void once();

private:
    unsigned tries_ = 0;
};

// The mutual exclusion under the registry lock. Its critical sections are a few lookups and
// atomic updates and never block, so waiting by spinning costs less than parking a thread, and
// taking it is one atomic exchange, releasing one store.
class CSpinMutex {
public:
    void lock() {
        while (locked_.exchange(true, std::memory_order_acquire)) {
            CSpinWait spin;
            while (locked_.load(std::memory_order_relaxed)) spin.once();
        }
    }
    void unlock() { locked_.store(false, std::memory_order_release); }

private:
    std::atomic<bool> locked_{false};
};

// A recursive lock made of the owning thread's id, a depth and a mutex. The owner field is atomic
// so that the "do I already hold it" test may race with other threads taking the mutex: only the
// owning thread can ever find its own id there.
class CRegistryLock {
public:
    void lock() {
        const std::uint32_t self = guardThreadId();
        if (owner_.load(std::memory_order_relaxed) == self) {
            ++depth_;
            return;
        }
        mutex_.lock();
        owner_.store(self, std::memory_order_relaxed);
        depth_ = 1;
    }
    void unlock() {
        if (--depth_ != 0) return;
        owner_.store(0, std::memory_order_relaxed);
        mutex_.unlock();
    }
    bool heldByCurrentThread() const { return owner_.load(std::memory_order_relaxed) == guardThreadId(); }

private:
    std::atomic<std::uint32_t> owner_{0};
    std::uint32_t depth_ = 0;
    CSpinMutex mutex_;
};

// Hash map from an address to an identity: open addressing with linear probing in a power-of-two
// table, so a lookup is one multiply, a shift and usually one cache line, with no division and no
// allocation. Erasing shifts the following entries back instead of leaving tombstones, so lookups
// stay short however many objects come and go. Not thread-safe: the registry lock guards it.
class CPointerMap {
public:
    CPointerMap() = default;
    CPointerMap(const CPointerMap&) = delete;
    CPointerMap& operator=(const CPointerMap&) = delete;

    const ObjectIdentity* find(const void* key) const {
        if (key == nullptr || slots_.empty()) return nullptr;
        for (std::size_t index = home(key);; index = (index + 1) & mask_) {
            const Slot& slot = slots_[index];
            if (slot.key == key) return &slot.value;
            if (slot.key == nullptr) return nullptr;
        }
    }
    // Keeps the value of a key already present. The null key is never stored.
    void insert(const void* key, ObjectIdentity value);
    void erase(const void* key);
    std::size_t size() const { return size_; }
    void reserve(std::size_t count);

private:
    struct Slot {
        const void* key = nullptr;
        ObjectIdentity value = kNoIdentity;
    };
    std::size_t home(const void* key) const {
        // Fibonacci hashing of the address without its alignment bits.
        return static_cast<std::size_t>(((reinterpret_cast<std::uintptr_t>(key) >> 3) * 0x9E3779B97F4A7C15ull) >>
                                        shift_);
    }
    void rehash(std::size_t capacity);

    std::vector<Slot> slots_;
    std::size_t mask_ = 0;
    unsigned shift_ = 64;
    std::size_t size_ = 0;
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
    const ObjectIdentity* findOwner(const void* owner) const { return owners_.find(owner); }
    const ObjectIdentity* findObject(const void* object) const { return objects_.find(object); }
    // Keys already present keep the identity they have.
    void insert(const void* owner, const void* object, ObjectIdentity identity);
    void erase(const void* owner, const void* object);

    // ---- taking the lock itself; for diagnostics and tests ----
    bool isRegistered(const void* object);
    std::size_t objectCount();

private:
    const char* name_;
    bool root_;
    CPointerMap owners_;
    CPointerMap objects_;
    CRegistryLock lock_;
};

// The 23 registries of live public objects, built in the order of RegistryKind from
// kRegistryDescriptions.
class CObjectRegistries {
public:
    // Thread-safe construction on first call, after the library's trace (which so outlives them).
    static CObjectRegistries& instance();
    CObjectRegistry& operator[](RegistryKind kind) { return registries_[static_cast<std::size_t>(kind)]; }

private:
    CObjectRegistries();
    std::array<CObjectRegistry, kRegistryCount> registries_;
};

// The registry of a kind.
inline CObjectRegistry& registryOf(RegistryKind kind) { return CObjectRegistries::instance()[kind]; }

}  // namespace corvid2
