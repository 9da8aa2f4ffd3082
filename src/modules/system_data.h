// SPDX-License-Identifier: BSD-3-Clause
// The records behind the public SystemList and System wrappers, and their guards.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "core/access_control.h"
#include "core/object_guard.h"
#include "corvid2/system.h"
#include "modules/producer_list.h"

namespace corvid2 {
class CProducerObj;
}

namespace CORVID2::Internal {

// GetReserved hands out the record: its first field is the object behind the wrapper, which C
// callers and companion components read as the handle.
struct SystemData {
    corvid2::CProducerObj* producer_ = nullptr;
    corvid2::CorvidObjectAccessControl access_;
    std::atomic<bool> open_{false};  // read by list refreshes on other threads
    bool standAlone_ = false;
    std::string id_;
    InterfaceList* interfaces_ = nullptr;  // made and destroyed with the System
};

struct SystemListData {
    corvid2::CorvidObjectAccessControl access_;
    struct Entry {
        corvid2::CProducerKey key;
        System* system;
        bool ownedByList;  // made by Refresh (the list deletes it) or added by the application
    };
    // Lock order: taken after the producer list's lock has been released, never before it.
    std::recursive_mutex mutex_;
    std::vector<Entry> entries_;  // sorted by key
};

}  // namespace CORVID2::Internal

namespace corvid2 {

using CSystemListGuard = CHolderGuard<RegistryKind::SystemListMap, CORVID2::Internal::SystemListData>;
using CSystemGuard = CHolderGuard<RegistryKind::SystemMap, CORVID2::Internal::SystemData>;

}  // namespace corvid2
