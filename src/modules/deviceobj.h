// SPDX-License-Identifier: BSD-3-Clause
// CDeviceObj: one device of an interface, the GenTL device module behind a public Device.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "core/access_control.h"
#include "core/object_guard.h"
#include "core/result_codes.h"
#include "modules/gentl_module.h"

namespace corvid2 {

class CInterfaceObj;

// Access status of an open device as the library keeps it (not the producer's numbering).
enum class DeviceAccess : std::int32_t { None = 0, ReadWrite = 1, ReadOnly = 2 };

// Exists from the moment its interface lists its id; opening gives it a GenTL handle and the
// device module's node map. Lock order: the interface's lock before the device's (operations that
// reach the interface take the interface's lock first).
class CDeviceObj : public CGenTLModule {
public:
    CDeviceObj(CInterfaceObj* iface, std::string id, const std::string& vendor);
    // Closes the device when it is still open.
    ~CDeviceObj() override;

    void* getHandle() const override { return devHandle_; }

    // IFOpenDevice with the interface's handle; ResourceInUse "Device %s is already opened." when open.
    Result open(GenTL::DEVICE_ACCESS_FLAGS access);
    // Takes over an opened device: access status, port, node map, trace name and TL type.
    Result setHandle(GenTL::DEV_HANDLE handle, GenTL::DEVICE_ACCESS_FLAGS access);
    // DevClose; a refusal is traced and does not fail the close.
    Result close();

    // DevGetInfo while open; the interface's IFGetDeviceInfo otherwise.
    Result getInfo(GenTL::DEVICE_INFO_CMD command, GenTL::INFO_DATATYPE* type, void* buffer, size_t* size);
    Result getInfoString(GenTL::DEVICE_INFO_CMD command, std::string& text);
    // Rereads what the producer tells of a device that is not open (vendor, TL type).
    Result refreshInfo();

    const std::string& id() const { return id_; }
    CInterfaceObj* interfaceObj() const { return interface_; }
    bool isOpen() const { return opened_; }
    DeviceAccess accessStatus() const { return access_; }
    const std::string& tlType() const { return tlType_; }

    // For the guards of the internal device registry: the identity and the users counted.
    const ObjectIdentity identity_ = nextObjectIdentity();
    std::atomic<std::uint32_t> useCount_{0};

private:
    CInterfaceObj* interface_;
    std::string id_;
    std::atomic<GenTL::DEV_HANDLE> devHandle_{nullptr};
    std::atomic<bool> opened_{false};  // also read without the lock, by the public layer
    DeviceAccess access_ = DeviceAccess::None;
    std::string tlType_;
    mutable std::recursive_mutex mutex_;
};

// Internal device objects are counted but never waited on: their interface decides when they go.
using CDeviceObjGuard = CObjectGuard<RegistryKind::CDeviceObjPtr, CDeviceObj,
                                     IdentityAndCounter<CDeviceObj, &CDeviceObj::identity_, &CDeviceObj::useCount_>>;

}  // namespace corvid2
