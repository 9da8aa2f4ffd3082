// SPDX-License-Identifier: BSD-3-Clause
// The records behind the public InterfaceList and Interface wrappers, and their guards.
#pragma once

#include <atomic>
#include <map>
#include <mutex>
#include <string>

#include "core/access_control.h"
#include "core/object_guard.h"
#include "corvid2/interface.h"

namespace corvid2 {
class CInterfaceObj;
}

namespace CORVID2::Internal {

struct InterfaceData {
    corvid2::CorvidObjectAccessControl access_;
    std::atomic<corvid2::CInterfaceObj*> interface_{nullptr};  // set while open; the first field a C caller relies on
    System* system_ = nullptr;
    std::atomic<bool> open_{false};  // read by list refreshes on other threads
    std::string id_;
    DeviceList* devices_ = nullptr;  // made and destroyed with the Interface
};

struct InterfaceListData {
    corvid2::CorvidObjectAccessControl access_;
    System* system_ = nullptr;
    // Serialises refreshes; taken after the list's guard and before the System's guard.
    std::recursive_mutex mutex_;
    std::map<std::string, Interface*> entries_;
};

}  // namespace CORVID2::Internal

namespace corvid2 {

using CInterfaceListGuard = CHolderGuard<RegistryKind::InterfaceListMap, CORVID2::Internal::InterfaceListData>;
using CInterfaceGuard = CHolderGuard<RegistryKind::InterfaceData, CORVID2::Internal::InterfaceData>;

}  // namespace corvid2
