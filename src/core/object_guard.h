// SPDX-License-Identifier: BSD-3-Clause
// Guards: how every public method proves that the object behind a wrapper still lives, counts
// itself as its user, and respects exclusive holds and write locks.
//
// A guard lives on the stack of one method call. It is built on the registry of its object's
// kind, acquires one object (or registers / unregisters it) and lets go of everything in its
// destructor, also while an exception unwinds.
//
// Locks and waiting
// - The registry lock is the innermost lock of the library. A guard holds it only inside one
//   operation of its own, for a few hash lookups, the accessor calls that read the object's
//   record, and the atomic updates; it is released before any waiting, any hook
//   (`OnUnregistered`), any throw and any return to the caller. So no lock is ever held across a
//   producer call, a GenApi call or a user callback, and a module object's lock may be held
//   while a guard is built, never the other way round.
// - Order of guards within a method: the wrapper's guard first, then the internal object's guard
//   (parent before child); they are destroyed in reverse order.
// - Waiting is by spinning with the registry lock released between tries (`Acquire` while
//   another guard holds the object exclusively; `Unregister` until the other users left). No
//   timeouts: a thread must never hold an object exclusively while it waits for another thread
//   that needs the same object.
//
// Lookup-only guards (used where objects are touched very often, the feature nodes) count nothing
// and leave no hold behind. They still take the registry lock for the lookup itself: the maps
// are std::unordered_map, which another thread may rehash while registering, so an unlocked
// lookup would be a data race. The lock is uncontended in the common case and costs one atomic
// exchange to take and one release store to let go. What a lookup-only guard proves is that the object was
// registered, under the identity it carries now, at the moment of the lookup; nothing keeps it
// alive afterwards, so such guards belong to objects whose destruction their caller excludes by
// other means.
#pragma once

#include <atomic>
#include <cstdint>

#include "core/access_control.h"
#include "core/object_registry.h"
#include "core/result_codes.h"

namespace corvid2 {

// 0: ordinary use, shared with other users; 1: alone (no other user, nobody may join);
// 2: counted as a user without any test (for callers that must get in whatever holds the object).
enum class AcquireMode : std::uint8_t { Shared = 0, Exclusive = 1, Counted = 2 };

// Outcome of one try, in the numbering the trace lines and tests speak of.
enum class AcquireResult : std::uint8_t { Success = 0, Busy = 1, OwnerUnknown = 2, NotRegistered = 3, Mismatch = 4 };

// Hands the guard the variable that holds the object pointer, so that the pointer is read while
// the registry lock is held, whatever the pointer's type.
class ObjectSlot {
public:
    template <class T>
    ObjectSlot(T* const* slot) : slot_(slot), read_(&readAs<T>) {}  // NOLINT: implicit on purpose
    // A null slot (that of a null object) holds no object.
    void* read() const { return slot_ != nullptr ? read_(slot_) : nullptr; }

private:
    template <class T>
    static void* readAs(const void* slot) {
        return const_cast<void*>(static_cast<const void*>(*static_cast<T* const*>(slot)));
    }
    const void* slot_;
    void* (*read_)(const void*);
};

// Base of every guard. Objects are passed as untyped pointers here; `CObjectGuard` below gives
// each kind its typed interface and its accessors.
class CorvidObjectGuard {
public:
    CorvidObjectGuard(CObjectRegistry& registry, const char* functionName, bool lookupOnly = false);
    CorvidObjectGuard(const CorvidObjectGuard&) = delete;
    CorvidObjectGuard& operator=(const CorvidObjectGuard&) = delete;

    // Lets go of the acquired record or counter and of the registry lock if still held.
    virtual ~CorvidObjectGuard();
    // Records ObjectInvalid "Access to an invalid <registry> object." and throws ObjectInvalidException.
    [[noreturn]] virtual void OnInvalid();
    // Records AccessDenied "Access denied to an <registry> object." and throws AccessDeniedException.
    [[noreturn]] virtual void OnAccessDenied();
    // Takes the write lock for the calling thread; false when the acquired record already has one.
    virtual bool BeginWriteLock(void* object);
    // ---- accessors: where a kind keeps its access control (base: nothing) ----
    virtual CorvidObjectAccessControl* RecordOf(void* object);
    virtual ObjectIdentity IdentityOf(void* object);
    virtual std::atomic<std::uint32_t>* UseCounterOf(void* object);
    virtual CorvidObjectAccessControl* WriteLockOf(void* object);
    // Called after the object left the registry, before `Unregister` waits for its users.
    virtual void OnUnregistered(void* object);

    // The object the slot points at, once it is proven registered and (except lookup-only)
    // counted in the given mode; throws ObjectInvalidException otherwise. Spins while busy. A
    // guard holds one object at a time: acquiring again first lets go of the previous hold.
    void* Acquire(const void* owner, ObjectSlot objectSlot, AcquireMode mode = AcquireMode::Shared);
    // One try; the caller holds the registry lock.
    AcquireResult TryAcquire(const void* owner, void* object, AcquireMode mode);
    // Throws AccessDeniedException when another thread holds the object's write lock.
    void CheckWriteLock(void* object);
    // Enters the object (and for non-root kinds its owner) under the object's identity.
    bool Register(const void* owner, void* object);
    // Removes the object and returns it for destruction: an object with a record once its other
    // users have left; one with only an alternate counter at once (its users are not waited for).
    void* Unregister(const void* owner, ObjectSlot objectSlot);
    // Write lock for the calling thread that outlives this guard; throws when already locked.
    void* ActivateWriteLock(const void* owner, ObjectSlot objectSlot);
    // Ends a write lock, with no registry lookup (the object may be on its way out). It leaves the
    // exclusive flag alone: the exclusive hold of the activation ended with the activation, so a
    // flag set now belongs to another guard.
    void ReleaseWriteLock(const void* owner, ObjectSlot objectSlot);
    // Lets go of the current hold before the guard's end (a method that must not keep its wrapper
    // counted across a long call).
    void release() {
        if (record_ != nullptr || counter_ != nullptr || holdsLock_) releaseHeld();
    }

    CObjectRegistry& registry() const { return registry_; }
    const char* functionName() const { return functionName_; }
    bool isLookupOnly() const { return lookupOnly_; }
    CorvidObjectAccessControl* acquiredRecord() const { return record_; }

private:
    // Owner given exactly for non-root kinds.
    bool ownerFitsKind(const void* owner) const { return (owner == nullptr) == registry_.isRoot(); }
    // The registry checks shared by acquisition and unregistration; the caller holds the lock.
    // On success `record` is the object's record (or null when it has none).
    AcquireResult checkRegistered(const void* owner, void* object, CorvidObjectAccessControl*& record);
    // A wrapper's slot lies inside the wrapper, so it is read only once the wrapper is known to be
    // registered: a call through a pointer to a destroyed wrapper then fails as "not registered"
    // instead of reading freed memory. Null for an unknown owner; the caller holds the lock.
    void* readSlot(const void* owner, const ObjectSlot& slot) const;
    ObjectIdentity currentIdentity(void* object);
    void releaseHeld();
    void lockRegistry() {
        registry_.lock().lock();
        holdsLock_ = true;
    }
    void unlockRegistry() {
        holdsLock_ = false;
        registry_.lock().unlock();
    }
    [[noreturn]] void fail(Result code, const char* format);

    CObjectRegistry& registry_;
    const char* functionName_;
    bool lookupOnly_;
    bool holdsLock_ = false;
    bool holdsExclusive_ = false;
    CorvidObjectAccessControl* record_ = nullptr;
    std::atomic<std::uint32_t>* counter_ = nullptr;
};

// ---- accessor policies -----------------------------------------------------------------------
// A guard class is `CObjectGuard<kind, object type, policy>`; the policy says where the object
// keeps its access control. Policies derive from `NoAccessControl` and hide what they provide.

struct NoAccessControl {
    static CorvidObjectAccessControl* recordOf(const void*) { return nullptr; }
    static ObjectIdentity identityOf(const void*) { return kNoIdentity; }
    static std::atomic<std::uint32_t>* useCounterOf(const void*) { return nullptr; }
    static CorvidObjectAccessControl* writeLockOf(const void*) { return nullptr; }
    static void onUnregistered(const void*) {}
};

// The record is the member `access_` of the object (a wrapper's holder), its own or inherited.
template <class Object>
struct RecordMember : NoAccessControl {
    static CorvidObjectAccessControl* recordOf(Object* object) { return object ? &object->access_ : nullptr; }
};

// The object derives from the record.
template <class Object>
struct RecordBase : NoAccessControl {
    static CorvidObjectAccessControl* recordOf(Object* object) { return object; }
};

// An internal object without record: its own identity and a user counter that is counted but
// never waited on.
template <class Object, const ObjectIdentity Object::*Identity, std::atomic<std::uint32_t> Object::*Counter>
struct IdentityAndCounter : NoAccessControl {
    static ObjectIdentity identityOf(Object* object) { return object->*Identity; }
    static std::atomic<std::uint32_t>* useCounterOf(Object* object) { return &(object->*Counter); }
};

// The object derives from the record but is only looked up, never counted: the record gives the
// identity and carries the write lock.
template <class Object>
struct UncountedRecordBase : NoAccessControl {
    static ObjectIdentity identityOf(Object* object) {
        return static_cast<CorvidObjectAccessControl*>(object)->identity_;
    }
    static CorvidObjectAccessControl* writeLockOf(Object* object) { return object; }
};

// The guard of one kind. Later public classes declare theirs in one line, for example
//   using CBufferGuard = CHolderGuard<RegistryKind::BufferData, BufferData>;
// or, where the guard must reach a public class's private members,
//   class CBufferGuard : public CObjectGuard<...>, CORVID2::Internal { using CObjectGuard::CObjectGuard; };
// Which policy each kind takes:
//   holders of the public wrappers (Device, Buffer, NodeMap, Image, ...): RecordMember;
//   CPolarizerObj (derives from the record): RecordBase;
//   internal CDeviceObj, CDataStreamObj, device and plug-and-play event objects: IdentityAndCounter
//     (the data stream's policy adds an onUnregistered that cancels waits for filled buffers);
//   internal GenApi nodes: UncountedRecordBase, used lookup-only;
//   segment info objects: NoAccessControl (identity 0, nothing counted).
template <RegistryKind Kind, class Object, class Access>
class CObjectGuard : public CorvidObjectGuard {
public:
    using ObjectType = Object;
    static constexpr RegistryKind kKind = Kind;

    explicit CObjectGuard(const char* functionName, bool lookupOnly = false)
        : CorvidObjectGuard(registryOfKind(), functionName, lookupOnly) {}

    Object* Acquire(const void* owner, Object* const* objectSlot, AcquireMode mode = AcquireMode::Shared) {
        return static_cast<Object*>(CorvidObjectGuard::Acquire(owner, objectSlot, mode));
    }
    void CheckWriteLock(Object* object) { CorvidObjectGuard::CheckWriteLock(object); }
    bool Register(const void* owner, Object* object) { return CorvidObjectGuard::Register(owner, object); }
    Object* Unregister(const void* owner, Object* const* objectSlot) {
        return static_cast<Object*>(CorvidObjectGuard::Unregister(owner, objectSlot));
    }
    Object* ActivateWriteLock(const void* owner, Object* const* objectSlot) {
        return static_cast<Object*>(CorvidObjectGuard::ActivateWriteLock(owner, objectSlot));
    }
    void ReleaseWriteLock(const void* owner, Object* const* objectSlot) {
        CorvidObjectGuard::ReleaseWriteLock(owner, objectSlot);
    }

    CorvidObjectAccessControl* RecordOf(void* object) override { return Access::recordOf(cast(object)); }
    ObjectIdentity IdentityOf(void* object) override { return Access::identityOf(cast(object)); }
    std::atomic<std::uint32_t>* UseCounterOf(void* object) override { return Access::useCounterOf(cast(object)); }
    CorvidObjectAccessControl* WriteLockOf(void* object) override { return Access::writeLockOf(cast(object)); }
    void OnUnregistered(void* object) override { Access::onUnregistered(cast(object)); }

private:
    static Object* cast(void* object) { return static_cast<Object*>(object); }
    static CObjectRegistry& registryOfKind() {
        static CObjectRegistry& registry = registryOf(Kind);
        return registry;
    }
};

// The guard of a public wrapper's holder, whose record is its member `access_`.
template <RegistryKind Kind, class Holder>
using CHolderGuard = CObjectGuard<Kind, Holder, RecordMember<Holder>>;

}  // namespace corvid2
