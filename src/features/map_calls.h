// SPDX-License-Identifier: BSD-3-Clause
// Which node maps each thread is calling into, so that a map is destroyed only once no call runs on it.
#pragma once

namespace corvid2 {

// Every thread keeps a few slots naming the maps it is calling into. A call enters while the
// wrapper it found is still registered, under the lock that unregistering the wrapper takes too; a
// map's owner unregisters every wrapper, then waits until no slot of any thread names the map, and
// only then destroys wrappers and map. A call therefore completes on the map it started with, and
// a call that comes later finds no wrapper. Entering and leaving are a store each, in memory that
// only the calling thread writes, so parallel calls do not contend; only the waiting scans.
class CMapCalls {
public:
    // Makes the calling thread's slots known to the waiters; once per thread, before the first
    // entry, and outside the registry locks.
    static void prepareThread();
    // Enters a call on `map`; false when the thread's slots are all taken by nested calls, which
    // the caller then counts in the map's own counter instead.
    static bool enter(const void* map);
    // Leaves the innermost call entered with `enter`.
    static void leave();
    // Whether a slot of any thread names `map`.
    static bool anyCallOn(const void* map);
};

}  // namespace corvid2
