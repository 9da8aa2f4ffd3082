// SPDX-License-Identifier: BSD-3-Clause
// The access-control record that every guarded object carries, and the library-wide identities.
#pragma once

#include <atomic>
#include <cstdint>

namespace corvid2 {

// Identifies one object instance for its whole life. A new object built at the address of a
// destroyed one gets a new identity, which is how guards tell a stale pointer from a live one.
using ObjectIdentity = std::uint64_t;

// The identity of objects that have none of their own; no live identity is ever 0.
constexpr ObjectIdentity kNoIdentity = 0;

// Draws the next identity from the one counter of the process. Thread-safe and lock-free; the
// value 0 is skipped when the 64-bit counter wraps.
ObjectIdentity nextObjectIdentity();

namespace testing_hooks {
// Moves the identity counter so that tests can reach the wrap without 2^64 constructions.
void setObjectIdentityCounter(ObjectIdentity value);
}  // namespace testing_hooks

// Embedded in (or a base of) every object whose guard counts its users. The identity is fixed at
// construction; the counters are atomics because guards on several threads touch them while only
// some of those threads hold the registry lock.
//
// Memory order: a guard that leaves an object (use count decrement, exclusive flag cleared)
// releases; a guard that tests those fields acquires. So everything an exclusive holder wrote is
// visible to the next holder, and `Unregister` sees every write of the users it waited for.
struct CorvidObjectAccessControl {
    CorvidObjectAccessControl() : identity_(nextObjectIdentity()) {}
    // A copy is another instance: it gets its own identity and starts unlocked and unused.
    CorvidObjectAccessControl(const CorvidObjectAccessControl&) : CorvidObjectAccessControl() {}
    // Assigning the contents of another object does not make this one a different instance.
    CorvidObjectAccessControl& operator=(const CorvidObjectAccessControl&) { return *this; }

    ObjectIdentity identity() const { return identity_; }

    const ObjectIdentity identity_;
    std::atomic<std::uint32_t> writeLockCount_{0};
    std::atomic<std::uint32_t> writeLockOwner_{0};  // thread id of the write-lock holder, 0 when none
    std::atomic<std::uint32_t> useCount_{0};        // guards currently holding the object
    std::atomic<std::uint8_t> exclusive_{0};        // set while one guard holds the object alone
};

}  // namespace corvid2
