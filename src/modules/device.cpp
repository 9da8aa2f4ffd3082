// SPDX-License-Identifier: BSD-3-Clause
// The public DeviceList and Device: the cameras of an open Interface as objects that keep their
// identity across refreshes, with their information before and after opening.
#include <string>
#include <vector>

#include "core/last_error.h"
#include "core/public_method.h"
#include "corvid2/datastream.h"
#include "corvid2/interface.h"
#include "modules/device_data.h"
#include "modules/deviceobj.h"
#include "modules/event_data.h"
#include "modules/info_query.h"
#include "modules/interface_data.h"
#include "modules/interfaceobj.h"
#include "modules/object_list.h"
#include "nodes/node_views.h"
#include "trace/trace.h"

using namespace corvid2;
using CORVID2::Internal::DeviceData;
using CORVID2::Internal::DeviceEventControlData;
using CORVID2::Internal::DeviceListData;
using CORVID2::Internal::EventAccess;

namespace CORVID2 {
namespace {

using DeviceListCall = CListCall<CDeviceListGuard, MapEntryTraits<Device>>;

// The device object behind a Device, counted for the length of `operation`.
template <class Operation>
Result withDevice(const MethodSite& site, DeviceData& data, Operation&& operation) {
    return withInternal<CDeviceObjGuard>(site, &data.device_, std::forward<Operation>(operation), [&site] {
        return recordFailure(site, Result::NotInitialized, "The device is not available.");
    });
}

// Opens the device object behind `device` with `access` and shows its features.
void openDevice(Device* device, DeviceData* const* slot, const MethodSite& site, GenTL::DEVICE_ACCESS_FLAGS access) {
    callGuarded<CDeviceGuard>(
        site, kSharedChecked, device, slot,
        [&](DeviceData& data) {
            return withDevice(site, data, [&](CDeviceObj& object) {
                CDeviceObj* opened = nullptr;
                return object.interfaceObj()->OpenDevice(object.id(), access, &opened);
            });
        },
        [device](DeviceData& data) {
            data.open_ = true;
            attachNodeSource(*device, data.device_);
            attachNodeSource(data.remoteNodes_, data.device_->remoteDevice());
            traceInfo("%s; Open", data.device_->traceName().c_str());
            // A camera whose streams cannot be listed now still opens; GetDataStreams()->Refresh() retries.
            try {
                data.streams_->Refresh();
            } catch (const Exceptions::IException& error) {
                traceWarning("%s; Open; data streams not listed: %s", data.device_->traceName().c_str(),
                             error.GetErrorDescription().get());
            }
        });
}

}  // namespace

// ---- DeviceList ----------------------------------------------------------------------------

DeviceList::DeviceList(Interface* iface)
    : data_(makeList<DeviceListCall>(CORVID2_METHOD(DeviceList, DeviceList), this, iface)) {}

void DeviceList::Refresh(std::uint64_t timeout) {
    const MethodSite site = CORVID2_METHOD(DeviceList, Refresh);
    DeviceListCall list(site, this, &data_);
    Interface* parent = list.data().parent_;
    CPublicCall<CInterfaceGuard> parentCall(site, kShared, parent, &parent->data_);
    CInterfaceObj* iface = parentCall->interface_;
    if (iface == nullptr) failAt(site, Result::NotInitialized, "Interface not opened.");

    // The device objects follow the public Devices here, not the producer's list on their own.
    bool changed = false;
    list.call().check(iface->UpdateDeviceList(&changed, timeout, false));
    std::vector<std::string> ids;
    list.call().check(listedIds([&](std::uint32_t* count) { return iface->GetNumDevices(count); },
                                [&](std::uint32_t index, std::string* id) { return iface->GetDeviceID(index, id); },
                                ids));
    // An open Device outlives its id, so that no application pointer to it dangles; it goes at the
    // first refresh after it was closed.
    const auto gone = followIds(
        list.entries(), ids,
        [&](const std::string& id) { return new Device(Device::FromList{}, parent, iface, id.c_str()); },
        [iface](Device* device) {
            if (!device->data_->open_ && iface->holdsDevice(device->data_->device_))
                device->data_->device_->refreshInfo();
        },
        [](Device* device) { return device->data_->open_.load(); });
    for (Device* device : gone) delete device;
}

CORVID2_DEFINE_LIST_METHODS(DeviceList, DeviceListCall)

// ---- Device --------------------------------------------------------------------------------

Device::Device(FromList, Interface* parent, void* interfaceObj, const String& id)
    : INode(false), data_(new DeviceData()) {
    data_->parent_ = parent;
    data_->interface_ = static_cast<CInterfaceObj*>(interfaceObj);
    data_->id_ = id.get();
    data_->device_ = data_->interface_->addDevice(data_->id_);
    auto* events = new DeviceEventControlData();
    EventAccess::control(this) = events;
    EventAccess::base(this) = events;
    registerHolder<CDeviceGuard>(CORVID2_METHOD(Device, Device), this, data_);
    registerHolder<CDeviceEventControlGuard>(CORVID2_METHOD(Device, Device),
                                             static_cast<Events::DeviceEventControl*>(this), events);
    data_->streams_ = new DataStreamList(this);
}

Device::~Device() {
    const MethodSite site = CORVID2_METHOD(Device, ~Device);
    // The event thread ends and waiting fetches return before anything waits for their guards.
    DeviceEventOps::end(site, *EventAccess::control(this), data_->device_, GenTL::EVENT_REMOTE_DEVICE);
    unregisterHolder<CDeviceEventControlGuard>(site, static_cast<Events::DeviceEventControl*>(this),
                                               &EventAccess::control(this),
                                               [](DeviceEventControlData* events) { delete events; });
    unregisterHolder<CDeviceGuard>(site, this, &data_, [this](DeviceData* data) {
        // The streams (with their handler threads) go first, under no lock of the device.
        delete data->streams_;
        attachNodeSource(*this, nullptr);
        attachNodeSource(data->remoteNodes_, nullptr);
        CInterfaceObj& iface = *data->interface_;
        std::lock_guard<std::recursive_mutex> lock(iface.lock());
        // An update with object sync may have removed the device object already.
        if (iface.holdsDevice(data->device_)) {
            if (data->device_->isOpen()) iface.CloseDevice(data->device_);
            iface.DeleteDevice(data->device_);
        }
        delete data;
    });
}

void Device::Open() { openDevice(this, &data_, CORVID2_METHOD(Device, Open), GenTL::DEVICE_ACCESS_CONTROL); }
void Device::OpenExclusive() {
    openDevice(this, &data_, CORVID2_METHOD(Device, OpenExclusive), GenTL::DEVICE_ACCESS_EXCLUSIVE);
}
void Device::OpenReadOnly() {
    openDevice(this, &data_, CORVID2_METHOD(Device, OpenReadOnly), GenTL::DEVICE_ACCESS_READONLY);
}

void Device::Close() {
    const MethodSite site = CORVID2_METHOD(Device, Close);
    {
        // The event and stream handler threads end first, under no lock of the device.
        CPublicCall<CDeviceGuard> call(site, kSharedChecked, this, &data_);
        CPublicCall<CDeviceEventControlGuard> events(site, kShared, static_cast<Events::DeviceEventControl*>(this),
                                                     &EventAccess::control(this));
        events.check(DeviceEventOps::stop(site, *events));
        call->streams_->clear();
    }
    callGuarded<CDeviceGuard>(
        site, kSharedChecked, this, &data_,
        [&](DeviceData& data) {
            return withDevice(site, data, [&](CDeviceObj& device) {
                if (!device.isOpen()) {
                    traceWarning("%s; Close; Device not opened", device.traceName().c_str());
                    return Result::Success;
                }
                attachNodeSource(*this, nullptr);
                attachNodeSource(data.remoteNodes_, nullptr);
                return device.interfaceObj()->CloseDevice(&device);
            });
        },
        [](DeviceData& data) {
            data.open_ = false;
            traceInfo("%s; Close", data.device_->traceName().c_str());
        });
}

bool Device::IsOpen() {
    CPublicCall<CDeviceGuard> call(CORVID2_METHOD(Device, IsOpen), kShared, this, &data_);
    return call->open_;
}

Interface* Device::GetParent() {
    CPublicCall<CDeviceGuard> call(CORVID2_METHOD(Device, GetParent), kShared, this, &data_);
    traceInfo("%s; GetParent; Interface* %p", call->id_.c_str(), static_cast<void*>(call->parent_));
    return call->parent_;
}

void* Device::GetReserved() {
    CPublicCall<CDeviceGuard> call(CORVID2_METHOD(Device, GetReserved), kShared, this, &data_);
    return &*call;
}

namespace {

// One information getter: what it asks and the trace lines of its open and closed paths (the open
// path's operation is the method's own).
struct DeviceInfoGetter {
    GenTL::DEVICE_INFO_CMD command;
    const char* openLabel;
    const char* closedOperation;
    const char* closedLabel;
    bool emptyWhenNoData;  // a device without this information answers an empty text
};

constexpr DeviceInfoGetter kGetID{GenTL::DEVICE_INFO_ID, "Device ID", "GetDeviceID", "Interface DeviceID", false};
constexpr DeviceInfoGetter kGetVendor{GenTL::DEVICE_INFO_VENDOR, "Device Vendor", "GetDeviceVendor",
                                      "Interface DeviceVendor", false};
constexpr DeviceInfoGetter kGetModel{GenTL::DEVICE_INFO_MODEL, "Device Model", "GetDeviceModel",
                                     "Interface DeviceModel", false};
constexpr DeviceInfoGetter kGetTLType{GenTL::DEVICE_INFO_TLTYPE, "Device TLType", "GetDeviceTLType",
                                      "Interface DeviceTLType", false};
constexpr DeviceInfoGetter kGetDisplayName{GenTL::DEVICE_INFO_DISPLAYNAME, "Device DisplayName", "GetDeviceDisplayName",
                                           "Interface DeviceDisplayName", false};
constexpr DeviceInfoGetter kGetSerialNumber{GenTL::DEVICE_INFO_SERIAL_NUMBER, "Serial Number", "GetSerialNumber",
                                            "Interface SerialNumber", true};

String deviceInfo(Device* self, DeviceData* const* slot, const MethodSite& site, const DeviceInfoGetter& getter) {
    std::string text;
    return callGuarded<CDeviceGuard>(
        site, kShared, self, slot,
        [&](DeviceData& data) {
            return withDevice(site, data, [&](CDeviceObj& device) {
                const bool open = device.isOpen();
                Result code = device.getInfoString(getter.command, text);
                if (code == Result::NoData && getter.emptyWhenNoData) {
                    traceWarning("%s; %s; %s", device.traceName().c_str(), site.label,
                                 "The device has no serial number.");
                    text.clear();
                    return Result::Success;
                }
                traceFailedGetter(code, device.traceName(), open ? site.label : getter.closedOperation);
                if (code == Result::Success)
                    traceInfo("%s; %s; %s: %s", device.traceName().c_str(), open ? site.label : getter.closedOperation,
                              open ? getter.openLabel : getter.closedLabel, text.c_str());
                return code;
            });
        },
        [&](DeviceData&) { return String(text.c_str()); });
}

// DEVICE_ACCESS_STATUS values by number, as texts.
constexpr const char* kAccessStatusNames[] = {"Unknown", "RW", "RO", "NA", "Busy", "OpenRW", "OpenRO"};

}  // namespace

String Device::GetID() { return deviceInfo(this, &data_, CORVID2_METHOD(Device, GetID), kGetID); }
String Device::GetVendor() { return deviceInfo(this, &data_, CORVID2_METHOD(Device, GetVendor), kGetVendor); }
String Device::GetModel() { return deviceInfo(this, &data_, CORVID2_METHOD(Device, GetModel), kGetModel); }
String Device::GetSerialNumber() {
    return deviceInfo(this, &data_, CORVID2_METHOD(Device, GetSerialNumber), kGetSerialNumber);
}
String Device::GetTLType() { return deviceInfo(this, &data_, CORVID2_METHOD(Device, GetTLType), kGetTLType); }
String Device::GetDisplayName() {
    return deviceInfo(this, &data_, CORVID2_METHOD(Device, GetDisplayName), kGetDisplayName);
}

String Device::GetAccessStatus() {
    const MethodSite site = CORVID2_METHOD(Device, GetAccessStatus);
    std::int32_t status = 0;
    return callGuarded<CDeviceGuard>(
        site, kShared, this, &data_,
        [&](DeviceData& data) {
            return withDevice(site, data, [&](CDeviceObj& device) {
                return queryInfoValue(
                    [&](GenTL::INFO_DATATYPE* type, void* buffer, size_t* size) {
                        return device.getInfo(GenTL::DEVICE_INFO_ACCESS_STATUS, type, buffer, size);
                    },
                    status);
            });
        },
        [&](DeviceData& data) {
            const bool known = status >= 0 && status < static_cast<std::int32_t>(std::size(kAccessStatusNames));
            const char* name = known ? kAccessStatusNames[status] : kAccessStatusNames[0];
            traceInfo("%s; GetAccessStatus; Access Status: %s", data.device_->traceName().c_str(), name);
            return String(name);
        });
}

DataStreamList* Device::GetDataStreams() {
    CPublicCall<CDeviceGuard> call(CORVID2_METHOD(Device, GetDataStreams), kShared, this, &data_);
    if (!call->open_) failAt(call.site(), Result::NotInitialized, "Device not opened.");
    return call->streams_;
}

// ---- the camera (remote device) ------------------------------------------------------------

namespace {

// The record of an open Device, or NotInitializedException "Device not opened".
DeviceData& openRecord(CPublicCall<CDeviceGuard>& call) {
    if (!call->open_) failAt(call.site(), Result::NotInitialized, "Device not opened");
    return *call;
}

}  // namespace

Node* Device::GetRemoteNode(const String& name) {
    CPublicCall<CDeviceGuard> call(CORVID2_METHOD(Device, GetRemoteNode), kShared, this, &data_);
    return viewNode(openRecord(call).remoteNodes_, name, call.site());
}

NodeMap* Device::GetRemoteNodeTree() {
    CPublicCall<CDeviceGuard> call(CORVID2_METHOD(Device, GetRemoteNodeTree), kShared, this, &data_);
    return viewTree(openRecord(call).remoteNodes_, call.site());
}

NodeMap* Device::GetRemoteNodeList() {
    CPublicCall<CDeviceGuard> call(CORVID2_METHOD(Device, GetRemoteNodeList), kShared, this, &data_);
    return viewList(openRecord(call).remoteNodes_, call.site());
}

String Device::GetRemoteConfigurationFile() {
    const MethodSite site = CORVID2_METHOD(Device, GetRemoteConfigurationFile);
    std::string text;
    return callGuarded<CDeviceGuard>(
        site, kShared, this, &data_,
        [&](DeviceData& data) {
            return withDevice(site, data, [&](CDeviceObj& device) {
                traceInfo("%s; GetRemoteConfigurationFile; call", device.traceName().c_str());
                text = device.remoteConfiguration();
                if (!text.empty()) return Result::Success;
                if (CRemoteDeviceObj* remote = device.remoteDevice(); remote != nullptr && data.open_) {
                    remote->getXML(text);
                    return Result::Success;
                }
                return recordFailure(site, Result::NotInitialized, "Device not opened");
            });
        },
        [&](DeviceData&) { return String(text.c_str(), static_cast<int>(text.size())); });
}

void Device::SetRemoteConfigurationFile(const String& description) {
    const MethodSite site = CORVID2_METHOD(Device, SetRemoteConfigurationFile);
    callGuarded<CDeviceGuard>(site, kSharedChecked, this, &data_, [&](DeviceData& data) {
        return withDevice(site, data,
                          [&](CDeviceObj& device) { return device.setRemoteConfiguration(description.get()); });
    });
}

std::uint64_t Device::GetPayloadSize() {
    const MethodSite site = CORVID2_METHOD(Device, GetPayloadSize);
    std::uint64_t size = 0;
    return callGuarded<CDeviceGuard>(
        site, kShared, this, &data_,
        [&](DeviceData& data) {
            return withDevice(site, data, [&](CDeviceObj& device) { return device.getPayloadSize(&size); });
        },
        [&](DeviceData& data) {
            traceInfo("%s; GetPayloadSize; %llu", data.device_->traceName().c_str(),
                      static_cast<unsigned long long>(size));
            return size;
        });
}

namespace {

// ReadMemory and WriteMemory: the length must fit the buffer the caller names, and a buffer is needed.
template <class Access>
void remoteMemory(Device* self, DeviceData* const* slot, const MethodSite& site, std::uint64_t length,
                  const void* buffer, Access&& access) {
    callGuarded<CDeviceGuard>(site, kSharedChecked, self, slot, [&](DeviceData& data) {
        if (buffer == nullptr)
            return recordFailure(site, Result::InvalidParameter, "Invalid parameter, buffer is NULL");
        return withDevice(site, data, [&](CDeviceObj& device) {
            size_t size = static_cast<size_t>(length);
            return access(device, size);
        });
    });
}

}  // namespace

void Device::ReadMemory(std::uint64_t address, std::uint64_t length, void* buffer) {
    remoteMemory(this, &data_, CORVID2_METHOD(Device, ReadMemory), length, buffer,
                 [&](CDeviceObj& device, size_t& size) { return device.readMemory(address, buffer, &size); });
}

void Device::WriteMemory(std::uint64_t address, std::uint64_t length, const void* buffer) {
    remoteMemory(this, &data_, CORVID2_METHOD(Device, WriteMemory), length, buffer,
                 [&](CDeviceObj& device, size_t& size) { return device.writeMemory(address, buffer, &size); });
}

void Device::GetColorMatrix(double matrix[3][3]) {
    const MethodSite site = CORVID2_METHOD(Device, GetColorMatrix);
    callGuarded<CDeviceGuard>(site, kShared, this, &data_, [&](DeviceData& data) {
        return withDevice(site, data, [&](CDeviceObj& device) { return device.colorMatrix().Get(matrix); });
    });
}

void Device::EnableChunkAuto(bool on) {
    const MethodSite site = CORVID2_METHOD(Device, EnableChunkAuto);
    callGuarded<CDeviceGuard>(site, kShared, this, &data_, [&](DeviceData& data) {
        data.device_->setChunkAuto(on);
        traceInfo("%s; EnableChunkAuto; %s", data.device_->traceName().c_str(), on ? "true" : "false");
        return Result::Success;
    });
}

void Device::SetColorMatrix(const double matrix[3][3]) {
    const MethodSite site = CORVID2_METHOD(Device, SetColorMatrix);
    callGuarded<CDeviceGuard>(site, kSharedChecked, this, &data_, [&](DeviceData& data) {
        return withDevice(site, data, [&](CDeviceObj& device) { return device.colorMatrix().Set(matrix); });
    });
}

void Device::StartStacking(bool replaceSameRegister) {
    const MethodSite site = CORVID2_METHOD(Device, StartStacking);
    callGuarded<CDeviceGuard>(site, kSharedChecked, this, &data_, [&](DeviceData& data) {
        return withDevice(site, data, [&](CDeviceObj& device) { return device.startStacking(replaceSameRegister); });
    });
}

void Device::WriteStack() {
    const MethodSite site = CORVID2_METHOD(Device, WriteStack);
    callGuarded<CDeviceGuard>(site, kSharedChecked, this, &data_, [&](DeviceData& data) {
        return withDevice(site, data, [](CDeviceObj& device) { return device.writeStack(); });
    });
}

void Device::CancelStack() {
    const MethodSite site = CORVID2_METHOD(Device, CancelStack);
    callGuarded<CDeviceGuard>(site, kSharedChecked, this, &data_, [&](DeviceData& data) {
        return withDevice(site, data, [](CDeviceObj& device) { return device.cancelStack(); });
    });
}

}  // namespace CORVID2
