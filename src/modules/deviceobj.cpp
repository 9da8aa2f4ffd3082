// SPDX-License-Identifier: BSD-3-Clause
// One device of an interface: its information before and after opening, opening and closing it.
#include "modules/deviceobj.h"

#include "core/last_error.h"
#include "corvid2/exceptions.h"
#include "gentl/gentl_producer.h"
#include "modules/info_query.h"
#include "modules/interfaceobj.h"
#include "trace/trace.h"

namespace corvid2 {

using namespace GenTL;

namespace {
using Lock = std::lock_guard<std::recursive_mutex>;
constexpr char kDefaultTraceName[] = "DeviceObj";
constexpr char kHelperLabel[] = "init_helper_for_node_and_port_iface";

DeviceAccess accessOfFlags(DEVICE_ACCESS_FLAGS flags) {
    switch (flags) {
        case DEVICE_ACCESS_CONTROL:
        case DEVICE_ACCESS_EXCLUSIVE:
            return DeviceAccess::ReadWrite;
        case DEVICE_ACCESS_READONLY:
            return DeviceAccess::ReadOnly;
        default:
            return DeviceAccess::None;
    }
}
}  // namespace

CDeviceObj::CDeviceObj(CInterfaceObj* iface, std::string id, const std::string& vendor)
    : CGenTLModule("DevicePort", iface ? iface->getProducer() : nullptr, vendor.c_str()),
      interface_(iface),
      id_(std::move(id)) {
    setTraceName(kDefaultTraceName);
    CDeviceObjGuard("CDeviceObj::CDeviceObj").Register(nullptr, this);
    traceInfo("%s; ctor; %s", traceName().c_str(), id_.c_str());
}

CDeviceObj::~CDeviceObj() {
    // Out of the registry first: a Device still pointing here is refused from now on.
    CDeviceObj* self = this;
    try {
        CDeviceObjGuard("CDeviceObj::~CDeviceObj").Unregister(nullptr, &self);
    } catch (const CORVID2::Exceptions::ObjectInvalidException&) {
        traceWarning("%s; dtor; Object invalid.", traceName().c_str());
    }
    if (opened_) close();
    traceInfo("%s; dtor; %s", traceName().c_str(), id_.c_str());
}

Result CDeviceObj::open(DEVICE_ACCESS_FLAGS access) {
    static constexpr char kOperation[] = "open";
    Lock interfaceGuard(interface_->lock());
    Lock guard(mutex_);
    if (opened_) return failed(Result::ResourceInUse, kOperation, "Device %s is already opened.", id_.c_str());
    if (getProducer() == nullptr) return failed(Result::Error, kOperation, "Producer handle not valid");
    DEV_HANDLE handle = nullptr;
    const GC_ERROR result = getProducer()->IFOpenDevice(interface_->getHandle(), id_.c_str(),
                                                        static_cast<DEVICE_ACCESS_FLAGS>(access), &handle);
    if (result != GC_ERR_SUCCESS) return producerFailed(kOperation, "IFOpenDevice", result);
    return setHandle(handle, access);
}

Result CDeviceObj::setHandle(DEV_HANDLE handle, DEVICE_ACCESS_FLAGS access) {
    Lock guard(mutex_);
    access_ = accessOfFlags(access);
    if (access_ == DeviceAccess::None)
        traceInfo("%s; setHandle; Access Status not valid. Will be set to Unknown.", traceName().c_str());
    devHandle_ = handle;
    if (const GC_ERROR code = initPort(handle); code != GC_ERR_SUCCESS)
        traceWarning("%s; %s; Port interface not initialized %d. Maybe the access to GenICam nodes not possible.",
                     traceName().c_str(), kHelperLabel, code);
    if (const Result code = initializeNodeInterface(); code != Result::Success)
        traceWarning("%s; %s; Node interface not initialized. initializeNodeInterface failed with %d",
                     traceName().c_str(), kHelperLabel, toCode(code));
    // Marked open before the queries, which read through DevGetInfo from now on.
    opened_ = true;
    if (access_ != DeviceAccess::None) {
        std::string text;
        if (getInfoString(DEVICE_INFO_DISPLAYNAME, text) == Result::Success)
            setTraceName(text);
        else
            traceWarning("%s; %s; No display name for trace output. Display name will set to 'DeviceObj'",
                         traceName().c_str(), kHelperLabel);
        if (getInfoString(DEVICE_INFO_TLTYPE, text) == Result::Success)
            tlType_ = text;
        else
            traceWarning("%s; %s; No TLType for events.Device Events may not work like expected", traceName().c_str(),
                         kHelperLabel);
    }
    traceInfo("%s; open; %s", traceName().c_str(), id_.c_str());
    return Result::Success;
}

Result CDeviceObj::close() {
    Lock guard(mutex_);
    if (!opened_) return Result::Success;
    if (getProducer() != nullptr) {
        if (const GC_ERROR result = getProducer()->DevClose(devHandle_); result != GC_ERR_SUCCESS)
            traceError("%s; DevClose returned with: %s", traceName().c_str(), failureDetails(result).c_str());
    }
    // The producer stays: a closed device opens again, so only handle, port and node map go.
    releaseNodeMap();
    devHandle_ = nullptr;
    opened_ = false;
    access_ = DeviceAccess::None;
    traceInfo("%s; close", traceName().c_str());
    setTraceName(kDefaultTraceName);
    return Result::Success;
}

Result CDeviceObj::getInfo(DEVICE_INFO_CMD command, INFO_DATATYPE* type, void* buffer, size_t* size) {
    static constexpr char kOperation[] = "getInfo";
    Lock interfaceGuard(interface_->lock());
    Lock guard(mutex_);
    if (!opened_) return interface_->getDeviceInfo(id_, command, type, buffer, size);
    if (getProducer() == nullptr) return failed(Result::Error, kOperation, "Producer handle not valid");
    if (size == nullptr) return nullArgument(kOperation, "iSize");
    if (type == nullptr) return nullArgument(kOperation, "iType");
    if (const GC_ERROR result = getProducer()->DevGetInfo(devHandle_, command, type, buffer, size);
        result != GC_ERR_SUCCESS)
        return failed(result == GC_ERR_NO_DATA ? Result::NoData : Result::LowLevelError, kOperation,
                      "DevGetInfo failed: %s", failureDetails(result).c_str());
    return Result::Success;
}

Result CDeviceObj::getInfoString(DEVICE_INFO_CMD command, std::string& text) {
    return queryInfoText(
        [&](INFO_DATATYPE* type, void* buffer, size_t* size) { return getInfo(command, type, buffer, size); }, text);
}

Result CDeviceObj::refreshInfo() {
    Lock interfaceGuard(interface_->lock());
    Lock guard(mutex_);
    if (opened_) return Result::Success;
    std::string text;
    if (const Result code = interface_->getDeviceInfoString(id_, DEVICE_INFO_VENDOR, text); code != Result::Success)
        return code;
    setVendor(text);
    if (const Result code = interface_->getDeviceInfoString(id_, DEVICE_INFO_TLTYPE, text); code != Result::Success)
        return code;
    tlType_ = text;
    return Result::Success;
}

}  // namespace corvid2
