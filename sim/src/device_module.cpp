// SPDX-License-Identifier: BSD-3-Clause
// Local device module: access modes, device events and the one data stream per device.
#include "device_module.h"

#include <chrono>
#include <cstdio>

#include "producer.h"
#include "xml_catalog.h"

namespace corvid2::sim {

namespace {
constexpr uint64_t kDescriptionAddress = 0xF0000000;
constexpr const char* kStreamId = "Stream0";

std::string hexId(uint64_t id) {
    char text[24];
    std::snprintf(text, sizeof text, "%04llX", static_cast<unsigned long long>(id));
    std::string s = text;
    if (s.size() % 2 != 0) s = "0" + s;
    return s;
}
}  // namespace

InfoValue deviceInfo(const Camera& camera, DEVICE_ACCESS_STATUS status, DEVICE_INFO_CMD command) {
    const CameraIdentity& id = camera.identity();
    const InfoTable table = {
        {DEVICE_INFO_ID, [&] { return InfoValue::text(id.id); }},
        {DEVICE_INFO_VENDOR, [&] { return InfoValue::text(id.vendor); }},
        {DEVICE_INFO_MODEL, [&] { return InfoValue::text(id.model); }},
        {DEVICE_INFO_TLTYPE, [&] { return InfoValue::text(id.tlType); }},
        {DEVICE_INFO_DISPLAYNAME, [&] { return InfoValue::text(id.vendor + " " + id.model + " (" + id.serial + ")"); }},
        {DEVICE_INFO_ACCESS_STATUS, [&] { return InfoValue::i32(status); }},
        {DEVICE_INFO_USER_DEFINED_NAME, [&] { return InfoValue::text(camera.userId()); }},
        {DEVICE_INFO_SERIAL_NUMBER, [&] { return InfoValue::text(id.serial); }},
        {DEVICE_INFO_VERSION, [&] { return InfoValue::text(id.version); }},
        {DEVICE_INFO_TIMESTAMP_FREQUENCY, [] { return InfoValue::u64(1000000000); }},
    };
    return lookupInfo(table, command);
}

void RemoteDeviceModule::readPort(uint64_t address, void* buffer, size_t length) {
    if (!camera_->connected()) fail(GC_ERR_IO, "camera unplugged");
    camera_->port().read(address, buffer, length);
}

void RemoteDeviceModule::writePort(uint64_t address, const void* buffer, size_t length) {
    if (!camera_->connected()) fail(GC_ERR_IO, "camera unplugged");
    camera_->port().write(address, buffer, length);
}

DeviceModule::DeviceModule(Producer& producer, std::shared_ptr<Camera> camera, DEVICE_ACCESS_FLAGS access,
                           std::weak_ptr<InterfaceModule> parent)
    : producer_(producer),
      camera_(std::move(camera)),
      access_(access),
      parent_(std::move(parent)),
      port_(PortIdentity{camera_->identity().id, producer.config.vendor, "corvid2_sim", camera_->identity().tlType,
                         "TLDevice", "DevicePort"}),
      remote_(std::make_shared<RemoteDeviceModule>(camera_)) {
    const std::string xml = embeddedDescription("device.xml");
    port_.addLocalDescription("Corvid2SimDevice.xml",
                              std::make_shared<const std::vector<uint8_t>>(xml.begin(), xml.end()), kDescriptionAddress,
                              xml);
    RegisterMap& r = port_.registers();
    const CameraIdentity& id = camera_->identity();
    r.addText(0x00, 64, [id] { return id.id; });
    r.addText(0x40, 64, [id] { return id.vendor; });
    r.addText(0x80, 64, [id] { return id.model; });
    r.addText(0xC0, 64, [id] { return id.serial; });
    r.addInt(0x100, 4, [id] { return int64_t{id.tlType == "U3V" ? 2 : 1}; });
    r.addInt(0x104, 4, [this] { return int64_t{accessStatus()}; });
    r.addInt(
        0x108, 4,
        [this] {
            std::lock_guard<std::mutex> lock(mutex_);
            return int64_t{disableTLParamsLocked_};
        },
        [this](int64_t v) {
            std::lock_guard<std::mutex> lock(mutex_);
            disableTLParamsLocked_ = v != 0 ? 1 : 0;
        });
}

bool DeviceModule::supportsEvent(EVENT_TYPE type) const {
    return type == EVENT_REMOTE_DEVICE || type == EVENT_FEATURE_INVALIDATE || type == EVENT_MODULE ||
           type == EVENT_ERROR;
}

void DeviceModule::open() {
    camera_->port().setWritable(access_ != DEVICE_ACCESS_READONLY);
    camera_->setObserver(shared_from_this());
    producer_.registry.add(remote_);
}

std::vector<void*> DeviceModule::close() {
    std::vector<void*> handles;
    std::shared_ptr<DataStream> stream;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stream.swap(stream_);
    }
    if (stream) {
        handles = stream->close();
        handles.push_back(stream->handle());
    }
    camera_->setObserver({});
    if (access_ != DEVICE_ACCESS_READONLY) camera_->releaseControl();
    camera_->port().setWritable(true);
    for (const auto& event : unregisterAllEvents()) handles.push_back(event->handle());
    handles.push_back(remote_->handle());
    return handles;
}

DEVICE_ACCESS_STATUS DeviceModule::accessStatus() const {
    return access_ == DEVICE_ACCESS_READONLY ? DEVICE_ACCESS_STATUS_OPEN_READONLY : DEVICE_ACCESS_STATUS_OPEN_READWRITE;
}

InfoValue DeviceModule::info(DEVICE_INFO_CMD command) const { return deviceInfo(*camera_, accessStatus(), command); }

std::string DeviceModule::streamId(uint32_t index) const {
    if (index != 0) fail(GC_ERR_INVALID_INDEX, "the device has one data stream");
    return kStreamId;
}

std::shared_ptr<DataStream> DeviceModule::openStream(const std::string& id) {
    if (id != kStreamId) fail(GC_ERR_INVALID_ID, "unknown data stream " + id);
    std::lock_guard<std::mutex> lock(mutex_);
    if (stream_) fail(GC_ERR_RESOURCE_IN_USE, "data stream already open");
    stream_ = std::make_shared<DataStream>(producer_, camera_, id);
    stream_->setParentHandle(handle());
    producer_.registry.add(stream_);
    return stream_;
}

void DeviceModule::streamClosed() {
    std::lock_guard<std::mutex> lock(mutex_);
    stream_.reset();
}

void DeviceModule::lost() {
    EventRecord record;
    record.numericId = kEventDeviceLost;
    record.hasNumericId = true;
    record.idText = hexId(kEventDeviceLost);
    const uint64_t now = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    record.value.resize(8);
    std::memcpy(record.value.data(), &now, 8);
    raise(EVENT_MODULE, std::move(record));
}

void DeviceModule::remoteEvent(uint64_t eventId, std::vector<uint8_t> data) {
    EventRecord record;
    record.numericId = eventId;
    record.hasNumericId = true;
    record.idText = hexId(eventId);
    record.value = std::move(data);
    raise(EVENT_REMOTE_DEVICE, std::move(record));
}

void DeviceModule::featuresInvalidated(const std::vector<std::string>& names) {
    for (const std::string& name : names) {
        EventRecord record;
        record.idText = name;
        raise(EVENT_FEATURE_INVALIDATE, std::move(record));
    }
}

}  // namespace corvid2::sim
