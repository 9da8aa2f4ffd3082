// SPDX-License-Identifier: BSD-3-Clause
// CRemoteDeviceObj: the camera itself, reached through its device's remote port, with the camera's own description.
#pragma once

#include <atomic>
#include <string>

#include "core/result_codes.h"
#include "modules/gentl_module.h"

namespace corvid2 {

class CDeviceObj;

// Made by an opening device and destroyed when the device closes. Its node map is the camera's,
// loaded from the remote port's locations (or from a description the application set); its port
// carries the write stack and the read cache.
class CRemoteDeviceObj : public CGenTLModule {
public:
    static constexpr char kTraceName[] = "RemoteDeviceObj";

    explicit CRemoteDeviceObj(CDeviceObj& device);
    ~CRemoteDeviceObj() override;

    void* getHandle() const override { return port_; }

    // Takes the remote port of the open device: learns its name and builds the camera's node map
    // from `description` when given, else from the port's locations. Success, or the failure of
    // the node map (recorded "Node interface not initialized %d"); the port stays usable either way.
    Result setPort(GenTL::PORT_HANDLE port, const std::string* description);

    // Whether the device was opened read-write: the camera's features then take writes.
    void setWritable(bool writable) { writable_.store(writable, std::memory_order_release); }
    bool writable() const { return writable_.load(std::memory_order_acquire); }

    CDeviceObj& device() const { return device_; }

private:
    CDeviceObj& device_;
    GenTL::PORT_HANDLE port_ = nullptr;
    std::atomic<bool> writable_{false};
};

}  // namespace corvid2
