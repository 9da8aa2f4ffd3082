// SPDX-License-Identifier: BSD-3-Clause
// The library-wide identity counter behind every access-control record.
#include "core/access_control.h"

namespace corvid2 {
namespace {

std::atomic<ObjectIdentity> identityCounter{0};

}  // namespace

ObjectIdentity nextObjectIdentity() {
    // Pre-increment; a thread that draws the wrapped value 0 simply draws again, so concurrent
    // callers still receive distinct values and none receives 0.
    ObjectIdentity identity = identityCounter.fetch_add(1, std::memory_order_relaxed) + 1;
    while (identity == kNoIdentity) identity = identityCounter.fetch_add(1, std::memory_order_relaxed) + 1;
    return identity;
}

namespace testing_hooks {

void setObjectIdentityCounter(ObjectIdentity value) { identityCounter.store(value, std::memory_order_relaxed); }

}  // namespace testing_hooks
}  // namespace corvid2
