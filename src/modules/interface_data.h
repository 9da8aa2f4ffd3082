// SPDX-License-Identifier: BSD-3-Clause
// The record behind the public Interface wrapper, and its guard (its list's are in object_list.h).
#pragma once

#include <atomic>
#include <string>

#include "core/access_control.h"
#include "core/object_guard.h"
#include "corvid2/interface.h"

namespace corvid2 {
class CInterfaceObj;
}

namespace CORVID2::Internal {

static_assert(std::atomic<corvid2::CInterfaceObj*>::is_always_lock_free &&
                  sizeof(std::atomic<corvid2::CInterfaceObj*>) == sizeof(void*),
              "the handle in front of the record is read as a plain pointer");

// GetReserved hands out the record: its first field is the object behind the wrapper (null while
// the interface is closed), which C callers and companion components read as the handle.
struct InterfaceData {
    std::atomic<corvid2::CInterfaceObj*> interface_{nullptr};
    corvid2::CorvidObjectAccessControl access_;
    System* system_ = nullptr;
    std::atomic<bool> open_{false};  // read by list refreshes on other threads
    std::string id_;
    DeviceList* devices_ = nullptr;  // made and destroyed with the Interface
};

}  // namespace CORVID2::Internal

namespace corvid2 {

using CInterfaceGuard = CHolderGuard<RegistryKind::InterfaceData, CORVID2::Internal::InterfaceData>;

}  // namespace corvid2
