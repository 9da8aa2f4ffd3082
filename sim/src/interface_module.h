// SPDX-License-Identifier: BSD-3-Clause
// An opened interface: its device list, device opening and the plug-and-play events.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "device_module.h"
#include "module.h"
#include "world.h"

namespace corvid2::sim {

struct Producer;

// INTERFACE_INFO_* of a simulated interface.
InfoValue interfaceInfo(const SimInterface& iface, INTERFACE_INFO_CMD command);

class InterfaceModule : public Module, public std::enable_shared_from_this<InterfaceModule> {
public:
    static constexpr EVENT_TYPE kPlugAndPlayEvent = EVENT_CUSTOM_ID;

    InterfaceModule(Producer& producer, SimInterface iface, void* systemHandle);

    HandleKind handleKind() const override { return HandleKind::Interface; }
    Port* port() override { return &port_; }
    bool supportsEvent(EVENT_TYPE type) const override;

    const std::string& id() const { return iface_.id; }
    void* systemHandle() const { return systemHandle_; }
    InfoValue info(INTERFACE_INFO_CMD command) const { return interfaceInfo(iface_, command); }
    uint32_t deviceCount() const;
    std::string deviceId(uint32_t index) const;
    InfoValue deviceInfo(const std::string& id, DEVICE_INFO_CMD command) const;
    bool updateDeviceList();
    std::shared_ptr<DeviceModule> openDevice(const std::string& id, DEVICE_ACCESS_FLAGS access);
    void deviceClosed(const std::string& id);
    std::vector<void*> close();
    // A camera came or went on this interface (plug-and-play event; the open device learns it is lost).
    void plugChanged(const std::shared_ptr<Camera>& camera, bool added);

private:
    std::shared_ptr<Camera> findCamera(const std::string& id) const;
    DEVICE_ACCESS_STATUS statusLocked(const Camera& camera) const;

    Producer& producer_;
    const SimInterface iface_;
    void* const systemHandle_;
    Port port_;
    mutable std::mutex mutex_;
    std::vector<std::shared_ptr<Camera>> list_;
    std::map<std::string, std::shared_ptr<DeviceModule>> open_;
    uint32_t selector_ = 0;
};

}  // namespace corvid2::sim
