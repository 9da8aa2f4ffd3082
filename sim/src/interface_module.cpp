// SPDX-License-Identifier: BSD-3-Clause
// Interface module: device enumeration, opening with access modes, plug-and-play.
#include "interface_module.h"

#include <cstring>

#include "producer.h"
#include "xml_catalog.h"

namespace corvid2::sim {

namespace {
constexpr uint64_t kDescriptionAddress = 0xF0000000;
constexpr uint32_t kPlugAndPlayAdded = 1, kPlugAndPlayRemoved = 2;
constexpr size_t kPnPIdOffset = 20, kPnPIdSize = 256, kPnPSerialOffset = kPnPIdOffset + kPnPIdSize;
}  // namespace

InfoValue interfaceInfo(const SimInterface& iface, INTERFACE_INFO_CMD command) {
    const InfoTable table = {
        {INTERFACE_INFO_ID, [&] { return InfoValue::text(iface.id); }},
        {INTERFACE_INFO_DISPLAYNAME, [&] { return InfoValue::text(iface.displayName); }},
        {INTERFACE_INFO_TLTYPE, [&] { return InfoValue::text(iface.tlType); }},
    };
    return lookupInfo(table, command);
}

InterfaceModule::InterfaceModule(Producer& producer, SimInterface iface, void* systemHandle)
    : producer_(producer),
      iface_(std::move(iface)),
      systemHandle_(systemHandle),
      port_(PortIdentity{iface_.id, producer.config.vendor, "corvid2_sim", iface_.tlType, "TLInterface",
                         "InterfacePort"}) {
    const std::string xml = embeddedDescription("interface.xml");
    port_.addLocalDescription("Corvid2SimInterface.xml",
                              std::make_shared<const std::vector<uint8_t>>(xml.begin(), xml.end()), kDescriptionAddress,
                              xml);
    RegisterMap& r = port_.registers();
    r.addText(0x00, 64, [this] { return iface_.id; });
    r.addText(0x40, 64, [this] { return iface_.displayName; });
    r.addText(0x80, 64, [this] { return iface_.tlType; });
    r.addCommand(0x100, [this] { updateDeviceList(); });
    addListSelector(
        r, 0x104, 0x108, mutex_, selector_, [this] { return list_.size(); }, "no device with this index");
    // The selected device's texts, empty when the list is empty.
    const auto selected = [this](auto field) {
        return [this, field]() -> std::string {
            std::lock_guard<std::mutex> lock(mutex_);
            return selector_ < list_.size() ? field(*list_[selector_]) : std::string();
        };
    };
    r.addText(0x140, 64, selected([](const Camera& c) { return c.identity().id; }));
    r.addText(0x180, 64, selected([](const Camera& c) { return c.identity().vendor; }));
    r.addText(0x1C0, 64, selected([](const Camera& c) { return c.identity().model; }));
    r.addText(0x200, 64, selected([](const Camera& c) { return c.identity().serial; }));
    r.addInt(0x240, 4, [this] {
        std::lock_guard<std::mutex> lock(mutex_);
        return int64_t{selector_ < list_.size() ? statusLocked(*list_[selector_]) : DEVICE_ACCESS_STATUS_UNKNOWN};
    });
    list_ = producer_.world->cameras(iface_.id);
}

bool InterfaceModule::supportsEvent(EVENT_TYPE type) const {
    if (type == kPlugAndPlayEvent) return producer_.ownVendor();
    return type == EVENT_MODULE || type == EVENT_ERROR;
}

uint32_t InterfaceModule::deviceCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<uint32_t>(list_.size());
}

std::string InterfaceModule::deviceId(uint32_t index) const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (index >= list_.size()) fail(GC_ERR_INVALID_INDEX, "no device with this index");
    return list_[index]->identity().id;
}

std::shared_ptr<Camera> InterfaceModule::findCamera(const std::string& id) const {
    for (const auto& camera : list_)
        if (camera->identity().id == id) return camera;
    fail(GC_ERR_INVALID_ID, "no device " + id + " in the device list");
}

DEVICE_ACCESS_STATUS InterfaceModule::statusLocked(const Camera& camera) const {
    const auto it = open_.find(camera.identity().id);
    if (it != open_.end()) return it->second->accessStatus();
    return camera.connected() ? DEVICE_ACCESS_STATUS_READWRITE : DEVICE_ACCESS_STATUS_NOACCESS;
}

InfoValue InterfaceModule::deviceInfo(const std::string& id, DEVICE_INFO_CMD command) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto camera = findCamera(id);
    return sim::deviceInfo(*camera, statusLocked(*camera), command);
}

bool InterfaceModule::updateDeviceList() {
    auto fresh = producer_.world->cameras(iface_.id);
    std::lock_guard<std::mutex> lock(mutex_);
    const bool changed = fresh != list_;
    list_ = std::move(fresh);
    if (selector_ >= list_.size()) selector_ = 0;
    return changed;
}

std::shared_ptr<DeviceModule> InterfaceModule::openDevice(const std::string& id, DEVICE_ACCESS_FLAGS access) {
    if (access != DEVICE_ACCESS_READONLY && access != DEVICE_ACCESS_CONTROL && access != DEVICE_ACCESS_EXCLUSIVE)
        fail(GC_ERR_INVALID_PARAMETER, "unsupported open mode");
    std::shared_ptr<DeviceModule> device;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto camera = findCamera(id);
        if (open_.count(id) != 0) fail(GC_ERR_RESOURCE_IN_USE, "device already open");
        if (!camera->connected()) fail(GC_ERR_ACCESS_DENIED, "device unplugged");
        device = std::make_shared<DeviceModule>(producer_, camera, access, shared_from_this());
        open_[id] = device;
    }
    device->open();
    producer_.registry.add(device);
    return device;
}

void InterfaceModule::deviceClosed(const std::string& id) {
    std::lock_guard<std::mutex> lock(mutex_);
    open_.erase(id);
}

std::vector<void*> InterfaceModule::close() { return closeWithChildren(mutex_, open_); }

void InterfaceModule::plugChanged(const std::shared_ptr<Camera>& camera, bool added) {
    if (!added) {
        std::shared_ptr<DeviceModule> device;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            const auto it = open_.find(camera->identity().id);
            if (it != open_.end()) device = it->second;
        }
        if (device) device->lost();
    }
    if (!producer_.ownVendor()) return;
    // Value layout: 16 bytes not interpreted, the type, the device ID in 256 bytes, then the serial number.
    EventRecord record;
    record.idText = camera->identity().id;
    const std::string& serial = camera->identity().serial;
    record.value.assign(kPnPSerialOffset + serial.size() + 1, 0);
    const uint32_t type = added ? kPlugAndPlayAdded : kPlugAndPlayRemoved;
    std::memcpy(record.value.data() + 16, &type, 4);
    std::memcpy(record.value.data() + kPnPIdOffset, camera->identity().id.c_str(),
                std::min(camera->identity().id.size(), kPnPIdSize - 1));
    std::memcpy(record.value.data() + kPnPSerialOffset, serial.c_str(), serial.size());
    raise(kPlugAndPlayEvent, std::move(record));
}

}  // namespace corvid2::sim
