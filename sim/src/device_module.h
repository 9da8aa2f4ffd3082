// SPDX-License-Identifier: BSD-3-Clause
// The local device module of an opened camera, its remote-device port, and the device information commands.
#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "camera.h"
#include "data_stream.h"
#include "module.h"

namespace corvid2::sim {

struct Producer;
class InterfaceModule;

// DEVICE_INFO_* of a camera, for IFGetDeviceInfo (not opened) and DevGetInfo (opened).
InfoValue deviceInfo(const Camera& camera, DEVICE_ACCESS_STATUS status, DEVICE_INFO_CMD command);

class RemoteDeviceModule : public Module {
public:
    explicit RemoteDeviceModule(std::shared_ptr<Camera> camera) : camera_(std::move(camera)) {}
    HandleKind handleKind() const override { return HandleKind::RemoteDevice; }
    Port* port() override { return &camera_->port(); }
    bool supportsEvent(EVENT_TYPE) const override { return false; }
    void readPort(uint64_t address, void* buffer, size_t length) override;
    void writePort(uint64_t address, const void* buffer, size_t length) override;

private:
    std::shared_ptr<Camera> camera_;
};

class DeviceModule : public Module, public CameraObserver, public std::enable_shared_from_this<DeviceModule> {
public:
    static constexpr uint64_t kEventDeviceLost = 0x8001;

    DeviceModule(Producer& producer, std::shared_ptr<Camera> camera, DEVICE_ACCESS_FLAGS access,
                 std::weak_ptr<InterfaceModule> parent);

    HandleKind handleKind() const override { return HandleKind::Device; }
    Port* port() override { return &port_; }
    bool supportsEvent(EVENT_TYPE type) const override;

    // Wires the camera to this device and registers the remote port; called once after construction.
    void open();
    std::vector<void*> close();

    const std::shared_ptr<Camera>& camera() const { return camera_; }
    std::shared_ptr<InterfaceModule> parent() const { return parent_.lock(); }
    DEVICE_ACCESS_STATUS accessStatus() const;
    InfoValue info(DEVICE_INFO_CMD command) const;
    void* remotePortHandle() const { return remote_->handle(); }
    std::string streamId(uint32_t index) const;
    std::shared_ptr<DataStream> openStream(const std::string& id);
    // Called when the stream handle closes.
    void streamClosed();
    void lost();

    void remoteEvent(uint64_t eventId, std::vector<uint8_t> data) override;
    void featuresInvalidated(const std::vector<std::string>& names) override;

private:
    Producer& producer_;
    const std::shared_ptr<Camera> camera_;
    const DEVICE_ACCESS_FLAGS access_;
    const std::weak_ptr<InterfaceModule> parent_;
    Port port_;
    std::shared_ptr<RemoteDeviceModule> remote_;
    mutable std::mutex mutex_;
    std::shared_ptr<DataStream> stream_;
    uint32_t disableTLParamsLocked_ = 0;
};

}  // namespace corvid2::sim
