// SPDX-License-Identifier: BSD-3-Clause
// One interface of a system: opening and closing it, its information, its devices and their list.
#include "modules/interfaceobj.h"

#include <algorithm>
#include <vector>

#include "core/last_error.h"
#include "gentl/gentl_producer.h"
#include "modules/deviceobj.h"
#include "modules/info_query.h"
#include "modules/producerobj.h"
#include "trace/trace.h"

namespace corvid2 {

using namespace GenTL;

namespace {
constexpr char kNoTable[] = "Producer handle not valid";
using Lock = std::lock_guard<std::recursive_mutex>;
}  // namespace

CInterfaceObj::CInterfaceObj(CProducerObj* system, CGenTLProducer* producer, TL_HANDLE tlHandle, std::string id,
                             const std::string& vendor)
    : CGenTLModule("InterfacePort", producer, vendor.c_str()),
      system_(system),
      tlHandle_(tlHandle),
      id_(std::move(id)) {
    setTraceName("InterfaceObj");
    traceInfo("%s; ctor; %s", traceName().c_str(), id_.c_str());
}

CInterfaceObj::~CInterfaceObj() {
    {
        Lock guard(mutex_);
        destroyDevices();
        if (isOpen()) setHandle(nullptr);
    }
    traceInfo("%s; dtor; %s", traceName().c_str(), id_.c_str());
}

std::uint32_t CInterfaceObj::genTLVersionMajor() const { return system_ ? system_->genTLVersionMajor() : 0; }
std::uint32_t CInterfaceObj::genTLVersionMinor() const { return system_ ? system_->genTLVersionMinor() : 0; }

void CInterfaceObj::destroyDevices() {
    // Taken out first, so that a device closing itself finds a consistent set.
    auto devices = std::move(devices_);
    devices_.clear();
}

Result CInterfaceObj::OpenInterface() {
    static constexpr char kOperation[] = "OpenInterface";
    Lock guard(mutex_);
    if (getProducer() == nullptr)
        return failed(Result::Error, kOperation, "Producer handle not valid. InitLib for TLProducer failed.");
    if (isOpen()) return failed(Result::ResourceInUse, kOperation, "Interface %s is already opened.", id_.c_str());
    IF_HANDLE handle = nullptr;
    if (const GC_ERROR result = getProducer()->TLOpenInterface(tlHandle_, id_.c_str(), &handle);
        result != GC_ERR_SUCCESS)
        return producerFailed(kOperation, "TLOpenInterface", result);
    setHandle(handle);
    traceInfo("%s; OpenInterface; interface %s opened", traceName().c_str(), id_.c_str());
    return Result::Success;
}

Result CInterfaceObj::setHandle(IF_HANDLE handle) {
    Lock guard(mutex_);
    Result outcome = Result::Success;
    if (handle != nullptr) {
        if (const GC_ERROR code = initPort(handle); code != GC_ERR_SUCCESS)
            traceWarning(
                "%s; setHandle; Port interface not initialized %d. Maybe the access to GenICam nodes not possible.",
                traceName().c_str(), code);
        // Queries below go through the new handle, so it is stored before them.
        ifHandle_ = handle;
        if (initializeNodeInterface() != Result::Success)
            traceWarning("%s; setHandle; Node interface not initialized", traceName().c_str());
        std::string name;
        if (getInfoString(INTERFACE_INFO_DISPLAYNAME, name) == Result::Success)
            setTraceName(name);
        else
            traceWarning("%s; setHandle; No display name for trace output. Display name will set to 'InterfaceObj'",
                         traceName().c_str());
        return Result::Success;
    }
    if (ifHandle_ != nullptr && getProducer() != nullptr) {
        if (const GC_ERROR result = getProducer()->IFClose(ifHandle_); result != GC_ERR_SUCCESS)
            outcome = failed(Result::LowLevelError, "~CInterfaceObj", "IFClose failed with %s",
                             failureDetails(result).c_str());
    }
    releaseNodeMap();
    ifHandle_ = nullptr;
    return outcome;
}

Result CInterfaceObj::CloseInterface() {
    static constexpr char kOperation[] = "CloseInterface";
    Lock guard(mutex_);
    if (!isOpen()) return failed(Result::InvalidParameter, kOperation, "Interface already closed");
    destroyDevices();
    // Plug-and-play events end with the interface: a fetch waiting for one returns aborted.
    if (isEventRegistered(kPnPEventType) && unregisterEvent(kPnPEventType, false) != Result::Success)
        traceWarning("%s; CloseInterface; plug-and-play event could not be unregistered.", traceName().c_str());
    forgetEvents();
    const Result code = setHandle(nullptr);
    traceInfo("%s; CloseInterface; Interface %s closed", traceName().c_str(), id_.c_str());
    return code;
}

Result CInterfaceObj::checkOpen(const char* operation) {
    if (getProducer() == nullptr) return failed(Result::Error, operation, kNoTable);
    if (!isOpen()) return failed(Result::NotInitialized, operation, "Interface not initialized");
    return Result::Success;
}

Result CInterfaceObj::getInfo(INTERFACE_INFO_CMD command, INFO_DATATYPE* type, void* buffer, size_t* size) {
    static constexpr char kOperation[] = "getInfo";
    Lock guard(mutex_);
    if (const Result code = checkOpen(kOperation); code != Result::Success) return code;
    if (size == nullptr) return nullArgument(kOperation, "iSize");
    if (type == nullptr) return nullArgument(kOperation, "iType");
    if (const GC_ERROR result = getProducer()->IFGetInfo(ifHandle_, command, type, buffer, size);
        result != GC_ERR_SUCCESS)
        return producerFailed(kOperation, "IFGetInfo", result);
    return Result::Success;
}

Result CInterfaceObj::getInfoString(INTERFACE_INFO_CMD command, std::string& text) {
    return queryInfoText(
        [&](INFO_DATATYPE* type, void* buffer, size_t* size) { return getInfo(command, type, buffer, size); }, text);
}

Result CInterfaceObj::GetNumDevices(std::uint32_t* count) {
    static constexpr char kOperation[] = "GetNumDevices";
    Lock guard(mutex_);
    if (const Result code = checkOpen(kOperation); code != Result::Success) return code;
    if (count == nullptr) return nullArgument(kOperation, "iNumDevices");
    if (const GC_ERROR result = getProducer()->IFGetNumDevices(ifHandle_, count); result != GC_ERR_SUCCESS)
        return producerFailed(kOperation, "IFGetNumDevices", result);
    if (*count == 0)
        traceWarning("%s; GetNumDevices; No devices", traceName().c_str());
    else
        traceInfo("%s; GetNumDevices; %d devices", traceName().c_str(), static_cast<int>(*count));
    return Result::Success;
}

Result CInterfaceObj::GetDeviceID(std::uint32_t index, std::string* id) {
    static constexpr char kOperation[] = "GetDeviceID";
    Lock guard(mutex_);
    if (const Result code = checkOpen(kOperation); code != Result::Success) return code;
    if (id == nullptr) return nullArgument(kOperation, "sIDeviceID");
    TextStep step = TextStep::None;
    const GC_ERROR result = readGenTLText(
        [&](char* buffer, size_t* size) { return getProducer()->IFGetDeviceID(ifHandle_, index, buffer, size); }, *id,
        step);
    if (result != GC_ERR_SUCCESS)
        return producerFailed(kOperation, step == TextStep::Size ? "IFGetDeviceID (size)" : "IFGetDeviceID", result);
    traceInfo("%s; GetDeviceID; %s", traceName().c_str(), id->c_str());
    return Result::Success;
}

Result CInterfaceObj::getDeviceInfo(const std::string& id, DEVICE_INFO_CMD command, INFO_DATATYPE* type, void* buffer,
                                    size_t* size) {
    static constexpr char kOperation[] = "getDeviceInfo";
    Lock guard(mutex_);
    if (const Result code = checkOpen(kOperation); code != Result::Success) return code;
    if (size == nullptr) return nullArgument(kOperation, "iSize");
    if (type == nullptr) return nullArgument(kOperation, "iType");
    if (const GC_ERROR result = getProducer()->IFGetDeviceInfo(ifHandle_, id.c_str(), command, type, buffer, size);
        result != GC_ERR_SUCCESS)
        return producerFailed(kOperation, "IFGetDeviceInfo", result);
    return Result::Success;
}

Result CInterfaceObj::getDeviceInfoString(const std::string& id, DEVICE_INFO_CMD command, std::string& text) {
    return queryInfoText(
        [&](INFO_DATATYPE* type, void* buffer, size_t* size) { return getDeviceInfo(id, command, type, buffer, size); },
        text);
}

Result CInterfaceObj::UpdateDeviceList(bool* changed, std::uint64_t timeout, bool syncObjects) {
    static constexpr char kOperation[] = "UpdateDeviceList";
    Lock guard(mutex_);
    if (const Result code = checkOpen(kOperation); code != Result::Success) return code;
    if (changed == nullptr) return nullArgument(kOperation, "bChanged");
    bool8_t producerChanged = 0;
    if (const GC_ERROR result = getProducer()->IFUpdateDeviceList(ifHandle_, &producerChanged, timeout);
        result != GC_ERR_SUCCESS)
        return producerFailed(kOperation, "IFUpdateDeviceList", result);
    *changed = producerChanged != 0;

    std::uint32_t count = 0;
    const GC_ERROR countResult = getProducer()->IFGetNumDevices(ifHandle_, &count);
    if (*changed) {
        traceInfo("%s; UpdateDeviceList; List changed %s", traceName().c_str(), "true");
        // Without a count the list cannot be followed; the objects stay as they are.
        if (countResult != GC_ERR_SUCCESS) return Result::Success;
    } else if (countResult != GC_ERR_SUCCESS) {
        return producerFailed(kOperation, "IFGetNumDevices", countResult);
    } else if (count != devices_.size()) {
        *changed = true;
        traceInfo("%s; UpdateDeviceList; List changed to true", traceName().c_str());
    } else {
        traceInfo("%s; UpdateDeviceList; List changed %s", traceName().c_str(), "false");
    }
    if (!syncObjects) return Result::Success;

    std::vector<CDeviceObj*> candidates;
    for (const auto& device : devices_)
        if (!device->isOpen()) candidates.push_back(device.get());
    for (std::uint32_t index = 0; index < count; ++index) {
        std::string id;
        if (GetDeviceID(index, &id) != Result::Success) continue;
        const auto listed =
            std::find_if(candidates.begin(), candidates.end(), [&id](const CDeviceObj* d) { return d->id() == id; });
        if (listed != candidates.end()) {
            (*listed)->refreshInfo();
            candidates.erase(listed);
        } else if (deviceWithId(id) == nullptr) {
            addDevice(id);
            *changed = true;
        }
    }
    for (CDeviceObj* gone : candidates) {
        DeleteDevice(gone);
        *changed = true;
    }
    return Result::Success;
}

CDeviceObj* CInterfaceObj::deviceWithId(const std::string& id) const {
    const auto it = std::find_if(devices_.begin(), devices_.end(),
                                 [&id](const std::unique_ptr<CDeviceObj>& d) { return d->id() == id; });
    return it == devices_.end() ? nullptr : it->get();
}

CDeviceObj* CInterfaceObj::findDevice(const std::string& id) {
    Lock guard(mutex_);
    CDeviceObj* device = deviceWithId(id);
    if (device == nullptr) failed(Result::Error, "findDevice", "The device with ID %s is not in list.", id.c_str());
    return device;
}

CDeviceObj* CInterfaceObj::addDevice(const std::string& id) {
    Lock guard(mutex_);
    if (CDeviceObj* known = deviceWithId(id)) return known;
    auto device = std::make_unique<CDeviceObj>(this, id, vendor());
    CDeviceObj* added = device.get();
    devices_.insert(std::move(device));
    return added;
}

std::size_t CInterfaceObj::deviceCount() const {
    Lock guard(mutex_);
    return devices_.size();
}

Result CInterfaceObj::OpenDevice(const std::string& id, DEVICE_ACCESS_FLAGS access, CDeviceObj** device) {
    static constexpr char kOperation[] = "OpenDevice";
    Lock guard(mutex_);
    if (const Result code = checkOpen(kOperation); code != Result::Success) return code;
    if (device == nullptr) return nullArgument(kOperation, "phDevice");
    *device = deviceWithId(id);
    if (*device == nullptr)
        return failed(Result::Error, kOperation, "The device with ID %s is not in list.", id.c_str());
    return (*device)->open(access);
}

namespace {
// The owning slot of a device in the set, so that a pointer from outside can be checked and removed.
template <class Set>
auto slotOf(Set& devices, const CDeviceObj* device) {
    return std::find_if(devices.begin(), devices.end(),
                        [device](const std::unique_ptr<CDeviceObj>& d) { return d.get() == device; });
}
}  // namespace

bool CInterfaceObj::holdsDevice(const CDeviceObj* device) const {
    Lock guard(mutex_);
    return device != nullptr && slotOf(devices_, device) != devices_.end();
}

Result CInterfaceObj::CloseDevice(CDeviceObj* device) {
    static constexpr char kOperation[] = "CloseDevice";
    Lock guard(mutex_);
    if (device == nullptr || slotOf(devices_, device) == devices_.end())
        return failed(Result::InvalidParameter, kOperation, "Device object is not in list");
    if (const Result code = device->close(); code != Result::Success)
        return failed(code, kOperation, "Failed to close the device.");
    traceInfo("%s; CloseDevice; Device %s closed", traceName().c_str(), device->id().c_str());
    return Result::Success;
}

Result CInterfaceObj::DeleteDevice(CDeviceObj* device) {
    static constexpr char kOperation[] = "DeleteDevice";
    Lock guard(mutex_);
    const auto slot = slotOf(devices_, device);
    if (device == nullptr || slot == devices_.end())
        return failed(Result::InvalidParameter, kOperation, "Device object is not in list");
    // std::set keeps its elements const: the node is taken out before the device is destroyed.
    auto node = devices_.extract(slot);
    node.value().reset();
    return Result::Success;
}

}  // namespace corvid2
