// SPDX-License-Identifier: BSD-3-Clause
// The records behind the public DeviceList and Device wrappers, and the guards of both and of CDeviceObj.
#pragma once

#include <atomic>
#include <map>
#include <mutex>
#include <string>

#include "core/access_control.h"
#include "core/object_guard.h"
#include "corvid2/device.h"
#include "modules/deviceobj.h"

namespace corvid2 {
class CInterfaceObj;
}

namespace CORVID2::Internal {

struct DeviceData {
    corvid2::CorvidObjectAccessControl access_;
    corvid2::CDeviceObj* device_ = nullptr;  // for the Device's whole life; the first field a C caller relies on
    corvid2::CInterfaceObj* interface_ = nullptr;
    Interface* parent_ = nullptr;
    std::atomic<bool> open_{false};  // read by list refreshes on other threads
    std::string id_;
};

struct DeviceListData {
    corvid2::CorvidObjectAccessControl access_;
    Interface* interface_ = nullptr;
    // Serialises refreshes; taken after the list's guard and before the Interface's guard.
    std::recursive_mutex mutex_;
    std::map<std::string, Device*> entries_;
};

}  // namespace CORVID2::Internal

namespace corvid2 {

using CDeviceListGuard = CHolderGuard<RegistryKind::DeviceListData, CORVID2::Internal::DeviceListData>;
using CDeviceGuard = CHolderGuard<RegistryKind::DeviceData, CORVID2::Internal::DeviceData>;

}  // namespace corvid2
