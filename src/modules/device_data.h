// SPDX-License-Identifier: BSD-3-Clause
// The record behind the public Device wrapper, and its guard (its list's are in object_list.h).
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "core/access_control.h"
#include "core/object_guard.h"
#include "corvid2/device.h"
#include "modules/deviceobj.h"
#include "nodes/node_data.h"

namespace corvid2 {
class CInterfaceObj;
}

namespace CORVID2::Internal {

// GetReserved hands out the record: its first field is the object behind the wrapper (for the
// Device's whole life), which C callers and companion components read as the handle.
struct DeviceData {
    corvid2::CDeviceObj* device_ = nullptr;
    corvid2::CorvidObjectAccessControl access_;
    corvid2::CInterfaceObj* interface_ = nullptr;
    Interface* parent_ = nullptr;
    std::atomic<bool> open_{false};  // read by list refreshes on other threads
    std::string id_;
    // The views of the camera's features while open, made on first use.
    INodeData remoteNodes_{true};
    DataStreamList* streams_ = nullptr;  // made and destroyed with the Device
};

}  // namespace CORVID2::Internal

namespace corvid2 {

using CDeviceGuard = CHolderGuard<RegistryKind::DeviceData, CORVID2::Internal::DeviceData>;

}  // namespace corvid2
