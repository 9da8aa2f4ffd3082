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

struct InterfaceData {
    corvid2::CorvidObjectAccessControl access_;
    std::atomic<corvid2::CInterfaceObj*> interface_{nullptr};  // set while open; the first field a C caller relies on
    System* system_ = nullptr;
    std::atomic<bool> open_{false};  // read by list refreshes on other threads
    std::string id_;
    DeviceList* devices_ = nullptr;  // made and destroyed with the Interface
};

}  // namespace CORVID2::Internal

namespace corvid2 {

using CInterfaceGuard = CHolderGuard<RegistryKind::InterfaceData, CORVID2::Internal::InterfaceData>;

}  // namespace corvid2
