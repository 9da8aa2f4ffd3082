// SPDX-License-Identifier: BSD-3-Clause
// The guard base: acquisition, registration, unregistration and write locks of guarded objects.
#include "core/object_guard.h"

#include <cstdio>

#include "core/last_error.h"
#include "core/result_codes.h"

namespace corvid2 {
namespace {}  // namespace

CorvidObjectGuard::CorvidObjectGuard(CObjectRegistry& registry, const char* functionName, bool lookupOnly)
    : registry_(registry), functionName_(functionName ? functionName : ""), lookupOnly_(lookupOnly) {}

CorvidObjectGuard::~CorvidObjectGuard() { release(); }

void CorvidObjectGuard::releaseHeld() {
    if (record_ != nullptr) {
        if (holdsExclusive_) record_->exclusive_.store(0, std::memory_order_release);
        // After this decrement the object may be destroyed by its unregistering thread.
        record_->useCount_.fetch_sub(1, std::memory_order_acq_rel);
        record_ = nullptr;
        holdsExclusive_ = false;
    } else if (counter_ != nullptr) {
        counter_->fetch_sub(1, std::memory_order_acq_rel);
        counter_ = nullptr;
    }
    if (holdsLock_) unlockRegistry();
}

void CorvidObjectGuard::fail(Result code, const char* format) {
    char message[128];
    std::snprintf(message, sizeof message, format, registry_.name());
    SetLastError(code, registry_.name(), functionName_, "%s", message);
    ThrowWithText(code, __FILE__, __LINE__, functionName_, message);
}

void CorvidObjectGuard::OnInvalid() { fail(Result::ObjectInvalid, "Access to an invalid %s object."); }

void CorvidObjectGuard::OnAccessDenied() { fail(Result::AccessDenied, "Access denied to an %s object."); }

bool CorvidObjectGuard::BeginWriteLock(void* object) {
    const std::uint32_t self = guardThreadId();
    if (record_ != nullptr) {
        // Only an exclusive holder gets here, so no other activation can interleave.
        if (record_->writeLockCount_.load(std::memory_order_acquire) != 0) return false;
        record_->writeLockOwner_.store(self, std::memory_order_relaxed);
        record_->writeLockCount_.fetch_add(1, std::memory_order_release);
        return true;
    }
    if (CorvidObjectAccessControl* lock = WriteLockOf(object)) {
        // Objects without record (nodes) may be locked again; one release ends all of it.
        lock->writeLockOwner_.store(self, std::memory_order_relaxed);
        lock->writeLockCount_.fetch_add(1, std::memory_order_release);
    }
    return true;
}

CorvidObjectAccessControl* CorvidObjectGuard::RecordOf(void*) { return nullptr; }
ObjectIdentity CorvidObjectGuard::IdentityOf(void*) { return kNoIdentity; }
std::atomic<std::uint32_t>* CorvidObjectGuard::UseCounterOf(void*) { return nullptr; }
CorvidObjectAccessControl* CorvidObjectGuard::WriteLockOf(void*) { return nullptr; }
void CorvidObjectGuard::OnUnregistered(void*) {}

ObjectIdentity CorvidObjectGuard::currentIdentity(void* object) {
    if (CorvidObjectAccessControl* record = RecordOf(object)) return record->identity_;
    return IdentityOf(object);
}

AcquireResult CorvidObjectGuard::checkRegistered(const void* owner, void* object, CorvidObjectAccessControl*& record) {
    const ObjectIdentity* ownerIdentity = nullptr;
    if (owner != nullptr) {
        ownerIdentity = registry_.findOwner(owner);
        if (ownerIdentity == nullptr) return AcquireResult::OwnerUnknown;
    }
    if (object == nullptr) return AcquireResult::NotRegistered;
    const ObjectIdentity* registered = registry_.findObject(object);
    if (registered == nullptr) return AcquireResult::NotRegistered;
    if (ownerIdentity != nullptr && *ownerIdentity != *registered) return AcquireResult::Mismatch;
    // Only now is the object known to be alive, so only now may its record be read: a new object
    // at a reused address shows itself by an identity other than the registered one.
    record = RecordOf(object);
    if (*registered != (record != nullptr ? record->identity_ : IdentityOf(object))) return AcquireResult::Mismatch;
    return AcquireResult::Success;
}

void* CorvidObjectGuard::readSlot(const void* owner, const ObjectSlot& slot) const {
    if (owner != nullptr && registry_.findOwner(owner) == nullptr) return nullptr;
    return slot.read();
}

AcquireResult CorvidObjectGuard::TryAcquire(const void* owner, void* object, AcquireMode mode) {
    CorvidObjectAccessControl* record = nullptr;
    const AcquireResult checked = checkRegistered(owner, object, record);
    if (checked != AcquireResult::Success || lookupOnly_) return checked;

    if (record != nullptr) {
        switch (mode) {
            case AcquireMode::Shared:
                if (record->exclusive_.load(std::memory_order_acquire) != 0) return AcquireResult::Busy;
                break;
            case AcquireMode::Exclusive:
                if (record->exclusive_.load(std::memory_order_acquire) != 0 ||
                    record->useCount_.load(std::memory_order_acquire) != 0)
                    return AcquireResult::Busy;
                record->exclusive_.store(1, std::memory_order_relaxed);
                holdsExclusive_ = true;
                break;
            case AcquireMode::Counted:
                break;
        }
        record->useCount_.fetch_add(1, std::memory_order_acq_rel);
        record_ = record;
        return AcquireResult::Success;
    }
    if (std::atomic<std::uint32_t>* counter = UseCounterOf(object)) {
        counter->fetch_add(1, std::memory_order_acq_rel);
        counter_ = counter;
    }
    return AcquireResult::Success;
}

void* CorvidObjectGuard::Acquire(const void* owner, ObjectSlot objectSlot, AcquireMode mode) {
    release();
    if (!ownerFitsKind(owner)) OnInvalid();
    CSpinWait spin;
    for (;;) {
        lockRegistry();
        void* object = readSlot(owner, objectSlot);
        const AcquireResult result = TryAcquire(owner, object, mode);
        unlockRegistry();
        if (result == AcquireResult::Success) return object;
        if (result != AcquireResult::Busy) OnInvalid();
        spin.once();
    }
}

void CorvidObjectGuard::CheckWriteLock(void* object) {
    CorvidObjectAccessControl* lock = record_ != nullptr ? record_ : WriteLockOf(object);
    if (lock == nullptr || lock->writeLockCount_.load(std::memory_order_acquire) == 0) return;
    if (lock->writeLockOwner_.load(std::memory_order_relaxed) != guardThreadId()) OnAccessDenied();
}

bool CorvidObjectGuard::Register(const void* owner, void* object) {
    if (object == nullptr || !ownerFitsKind(owner)) return false;
    lockRegistry();
    registry_.insert(owner, object, currentIdentity(object));
    unlockRegistry();
    return true;
}

void* CorvidObjectGuard::Unregister(const void* owner, ObjectSlot objectSlot) {
    release();
    if (!ownerFitsKind(owner)) OnInvalid();

    lockRegistry();
    void* object = readSlot(owner, objectSlot);
    CorvidObjectAccessControl* record = nullptr;
    const AcquireResult result = checkRegistered(owner, object, record);
    if (result == AcquireResult::Success) {
        // Counted like any user, so that the waiting below has a use of its own to discount.
        if (record != nullptr) {
            record->useCount_.fetch_add(1, std::memory_order_acq_rel);
            record_ = record;
        } else if (std::atomic<std::uint32_t>* counter = UseCounterOf(object)) {
            counter->fetch_add(1, std::memory_order_acq_rel);
            counter_ = counter;
        }
        registry_.erase(owner, object);
    }
    unlockRegistry();
    if (result != AcquireResult::Success) OnInvalid();

    OnUnregistered(object);

    if (record_ != nullptr) {
        // No new user can arrive (the object left the maps); the present ones leave in finite time.
        CSpinWait spin;
        while (record_->useCount_.load(std::memory_order_acquire) > 1) spin.once();
        record_->exclusive_.store(0, std::memory_order_relaxed);
        record_->useCount_.fetch_sub(1, std::memory_order_relaxed);
        record_ = nullptr;
        holdsExclusive_ = false;
    } else {
        release();
    }
    return object;
}

void* CorvidObjectGuard::ActivateWriteLock(const void* owner, ObjectSlot objectSlot) {
    // Always a real exclusive acquisition, also on a lookup-only guard: the record must be held
    // for `BeginWriteLock` to find it and for the test-then-set to be safe.
    const bool lookupOnly = lookupOnly_;
    lookupOnly_ = false;
    void* object = Acquire(owner, objectSlot, AcquireMode::Exclusive);
    lookupOnly_ = lookupOnly;
    const bool began = BeginWriteLock(object);
    // The write lock outlives the guard; the exclusive hold that made it safe to take does not.
    release();
    if (!began) OnInvalid();
    return object;
}

void CorvidObjectGuard::ReleaseWriteLock(const void* owner, ObjectSlot objectSlot) {
    if (!ownerFitsKind(owner)) return;
    void* object = objectSlot.read();
    if (object == nullptr) return;
    // The owner is cleared before the count falls: whoever sees the count at 0 and locks next
    // must not have its own owner entry overwritten by this late store.
    if (CorvidObjectAccessControl* record = RecordOf(object)) {
        record->writeLockOwner_.store(0, std::memory_order_relaxed);
        std::uint32_t count = record->writeLockCount_.load(std::memory_order_relaxed);
        while (count != 0 && !record->writeLockCount_.compare_exchange_weak(count, count - 1, std::memory_order_release,
                                                                            std::memory_order_relaxed)) {
        }
    } else if (CorvidObjectAccessControl* lock = WriteLockOf(object)) {
        lock->writeLockOwner_.store(0, std::memory_order_relaxed);
        lock->writeLockCount_.store(0, std::memory_order_release);
    }
}

}  // namespace corvid2
