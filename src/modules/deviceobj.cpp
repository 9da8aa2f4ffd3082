// SPDX-License-Identifier: BSD-3-Clause
// One device of an interface: its information before and after opening, opening and closing it.
#include "modules/deviceobj.h"

#include <corvid2/genapi/interfaces.h>

#include <algorithm>

#include "core/last_error.h"
#include "corvid2/exceptions.h"
#include "features/genapi_node.h"
#include "gentl/gentl_producer.h"
#include "modules/datastreamobj.h"
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
    streams_.clear();
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
    openRemoteDevice();
    startInvalidation();
    if (remote_) remote_->setWritable(access_ == DeviceAccess::ReadWrite);
    findTransportLayerLock();
    if (tlType_ == TLTypeGEVName) stopCameraAcquisition();
    startAddons();
    traceInfo("%s; open; %s", traceName().c_str(), id_.c_str());
    return Result::Success;
}

void CDeviceObj::openRemoteDevice() {
    PORT_HANDLE port = nullptr;
    if (const GC_ERROR result = getProducer()->DevGetPort(devHandle_, &port); result != GC_ERR_SUCCESS) {
        producerFailed("initPort", "DevGetPort", result);
        traceWarning("%s; setHandle; Port interface and remote device not initialized. initPort failed with %d",
                     traceName().c_str(), toCode(Result::LowLevelError));
        return;
    }
    remote_ = std::make_unique<CRemoteDeviceObj>(*this);
    const Result code = remote_->setPort(port, remoteConfiguration_.empty() ? nullptr : &remoteConfiguration_);
    if (code != Result::Success)
        traceWarning("%s; setHandle; Port interface and remote device not initialized. initPort failed with %d",
                     traceName().c_str(), toCode(code));
}

void CDeviceObj::startInvalidation() {
    const Result registered = registerEvent(EVENT_FEATURE_INVALIDATE, 1, false);
    if (registered == Result::NotImplemented) {
        traceInfo("%s; setHandle; Event Feature Invalidate not implemented by producer.", traceName().c_str());
        return;
    }
    if (registered != Result::Success) {
        traceWarning("%s; setHandle; Event Feature Invalidate returned with %d. 'Feature Invalidate' not support.",
                     traceName().c_str(), toCode(registered));
        return;
    }
    if (!remote_ || !remote_->nodeMapAvailable()) {
        traceWarning(
            "%s; setHandle; Event Feature Invalidate Thread was not activated, because the Parser object is not "
            "available. No 'Feature Invalidate' support activated.",
            traceName().c_str());
        return;
    }
    if (const Result started = invalidation_.start(getProducer(), getEventHandle(), *remote_);
        started != Result::Success) {
        traceWarning(
            "%s; setHandle; Activate Event Feature Invalidate returned with error %d. No 'Feature Invalidate' "
            "support activated.",
            traceName().c_str(), toCode(started));
        return;
    }
    traceInfo("%s; setHandle; Event Feature Invalidate activated.", traceName().c_str());
}

void CDeviceObj::findTransportLayerLock() {
    if (!remote_ || !remote_->nodeMapAvailable()) {
        traceWarning(
            "%s; setHandle; Event Feature Changed Thread was not activated, because the Parser object is not "
            "available. No 'Feature Changed' support activated.",
            traceName().c_str());
        return;
    }
    tlParamsLocked_ = remote_->nameTable().find("TLParamsLocked");
    disableTLParamsLocked_ = nameTable().find("DisableTLParamsLocked");
    if (tlParamsLocked_ == nullptr)
        traceWarning("%s; setHandle; Event Feature Changed could not be activated. Missing feature TLParamsLocked.",
                     traceName().c_str());
}

// A GigE camera may still stream for a consumer that went away without stopping it.
bool CDeviceObj::executeCameraCommand(const char* name, const char* operation) {
    genapi::INodeMap* map = remote_ ? remote_->nodeMap() : nullptr;
    if (map == nullptr) return false;
    genapi::CCommandPtr command = map->GetNode(name);
    if (!command.IsValid() || !genapi::IsWritable(command->GetAccessMode())) return false;
    try {
        command->Execute();
        traceInfo("%s; %s; %s executed", traceName().c_str(), operation, name);
        return true;
    } catch (const genapi::GenericException& error) {
        traceWarning("%s; %s; %s failed: %s", traceName().c_str(), operation, name, error.GetDescription());
        return false;
    }
}

void CDeviceObj::stopCameraAcquisition() {
    genapi::INodeMap* map = remote_ ? remote_->nodeMap() : nullptr;
    if (map == nullptr) return;
    if (map->GetNode("AcquisitionStatusSelector") != nullptr) executeCameraCommand("AcquisitionAbort", "setHandle");
    executeCameraCommand("AcquisitionStop", "setHandle");
}

std::vector<CDataStreamObj*> CDeviceObj::openStreams() const {
    Lock guard(mutex_);
    std::vector<CDataStreamObj*> open;
    for (const auto& stream : streams_)
        if (stream->isOpen()) open.push_back(stream.get());
    return open;
}

Result CDeviceObj::close() {
    Lock guard(mutex_);
    if (!opened_) return Result::Success;
    Result outcome = Result::Success;
    // The helpers let go of the camera's nodes before anything of the camera goes.
    features_.Init(nullptr);
    colorMatrix_.Init(nullptr);
    chunks_.Init(nullptr);
    for (const auto& stream : streams_)
        if (stream->isOpen()) stream->close();
    if (isEventRegistered(EVENT_FEATURE_INVALIDATE)) {
        invalidation_.end();
        outcome = unregisterEvent(EVENT_FEATURE_INVALIDATE, false);
        if (outcome != Result::Success)
            traceWarning("%s close; Event Feature Invalidate could not be unregistered.", traceName().c_str());
    }
    // The application's camera events end with the camera: a fetch waiting for one returns aborted.
    if (isEventRegistered(EVENT_REMOTE_DEVICE) && unregisterEvent(EVENT_REMOTE_DEVICE, false) != Result::Success)
        traceWarning("%s close; Event Remote Device could not be unregistered.", traceName().c_str());
    tlParamsLocked_ = nullptr;
    disableTLParamsLocked_ = nullptr;
    remote_.reset();
    if (getProducer() != nullptr) {
        if (const GC_ERROR result = getProducer()->DevClose(devHandle_); result != GC_ERR_SUCCESS)
            traceError("%s; DevClose returned with: %s", traceName().c_str(), failureDetails(result).c_str());
    }
    // The producer stays: a closed device opens again, so only handle, port, events and node map go.
    forgetEvents();
    releaseNodeMap();
    devHandle_ = nullptr;
    opened_ = false;
    access_ = DeviceAccess::None;
    if (outcome == Result::Success) traceInfo("%s; close", traceName().c_str());
    setTraceName(kDefaultTraceName);
    return outcome;
}

void CDeviceObj::startAddons() {
    if (remote_ == nullptr || remote_->nodeMap() == nullptr) return;
    const genAPINodeMap& view = remote_->getNodeMapFlat();
    features_.Init(&view);
    colorMatrix_.Init(&view);
    chunks_.Init(&view);
}

Result CDeviceObj::updateChunks(const std::vector<std::uint64_t>& ids, bool apply) {
    Lock guard(mutex_);
    return apply ? chunks_.update(ids) : chunks_.restore(ids);
}

Result CDeviceObj::pauseForChunks() {
    chunkPause_.setFlags(DevicePause::kStopCommand | DevicePause::kStreams);
    return chunkPause_.Pause();
}

Result CDeviceObj::resumeAfterChunks() { return chunkPause_.Resume(); }

Result CDeviceObj::setRemoteConfiguration(const std::string& text) {
    Lock guard(mutex_);
    if (opened_) return failed(Result::ResourceInUse, "SetRemoteConfigurationFile", "Device opened");
    remoteConfiguration_ = text;
    traceInfo("%s; SetRemoteConfigurationFile; call", traceName().c_str());
    return Result::Success;
}

std::string CDeviceObj::remoteConfiguration() const {
    Lock guard(mutex_);
    return remoteConfiguration_;
}

Result CDeviceObj::checkRemote(const char* operation) const {
    if (getProducer() == nullptr) return failed(Result::Error, operation, "Producer handle not valid");
    if (!opened_ || !remote_) return failed(Result::NotInitialized, operation, "Device not opened");
    return Result::Success;
}

bool CDeviceObj::takeRemoteEvent(std::uint64_t eventId, const std::vector<std::uint8_t>& value,
                                 RemoteEventNames& names) {
    Lock guard(mutex_);
    genapi::INodeMap* map = remote_ != nullptr ? remote_->nodeMap() : nullptr;
    if (map == nullptr) return false;
    remote_->deliverEvent(value.data(), static_cast<std::uint32_t>(value.size()), eventId);
    const CGenAPINode* feature = remote_->eventFeature(eventId);
    if (feature == nullptr) return true;
    names.named = true;
    names.name = feature->GetName();
    try {
        names.displayName = feature->GetDisplayName();
        static constexpr char kPrefix[] = "Event";
        std::string event = names.name;
        if (event.rfind(kPrefix, 0) == 0) event.erase(0, sizeof kPrefix - 1);
        genapi::CIntegerPtr timestamp = map->GetNode(std::string(kPrefix) + event + "Timestamp");
        if (timestamp.IsValid() && genapi::IsReadable(timestamp->GetAccessMode())) {
            names.timestamp = static_cast<std::uint64_t>(timestamp->GetValue());
            names.timestamped = true;
        }
    } catch (const genapi::GenericException& error) {
        traceWarning("%s; takeRemoteEvent; %s", traceName().c_str(), error.GetDescription());
    } catch (const CGenAPIException& error) {
        traceWarning("%s; takeRemoteEvent; %s", traceName().c_str(), error.what());
    }
    return true;
}

Result CDeviceObj::getPayloadSize(std::uint64_t* size) {
    static constexpr char kOperation[] = "GetPayloadSize";
    Lock guard(mutex_);
    if (const Result code = checkRemote(kOperation); code != Result::Success) return code;
    if (size == nullptr) return nullArgument(kOperation, "iPayloadSize");
    genapi::INodeMap* map = remote_->nodeMap();
    genapi::CIntegerPtr payload = map != nullptr ? map->GetNode("PayloadSize") : nullptr;
    if (!payload.IsValid()) return failed(Result::InvalidParameter, kOperation, "getNode 'PayloadSize' not found");
    try {
        *size = static_cast<std::uint64_t>(payload->GetValue());
    } catch (const genapi::GenericException& error) {
        return failed(Result::Error, kOperation, "%s", error.GetDescription());
    }
    return Result::Success;
}

Result CDeviceObj::readMemory(std::uint64_t address, void* buffer, size_t* size) {
    Lock guard(mutex_);
    if (const Result code = checkRemote("ReadMemory"); code != Result::Success) return code;
    return remote_->port().port().ReadPort(address, buffer, size);
}

Result CDeviceObj::writeMemory(std::uint64_t address, const void* buffer, size_t* size) {
    Lock guard(mutex_);
    if (const Result code = checkRemote("WriteMemory"); code != Result::Success) return code;
    return remote_->port().port().WritePort(address, buffer, size);
}

Result CDeviceObj::startStacking(bool replaceSameRegister) {
    Lock guard(mutex_);
    if (const Result code = checkRemote("StartRemoteStacking"); code != Result::Success) return code;
    traceInfo("%s; StartStacking; call", traceName().c_str());
    return remote_->port().startStacking(replaceSameRegister);
}

Result CDeviceObj::writeStack() {
    Lock guard(mutex_);
    if (const Result code = checkRemote("WriteRemoteStack"); code != Result::Success) return code;
    traceInfo("%s; WriteStack; call", traceName().c_str());
    return remote_->port().writeStack();
}

Result CDeviceObj::cancelStack() {
    Lock guard(mutex_);
    if (const Result code = checkRemote("CancelRemoteStack"); code != Result::Success) return code;
    traceInfo("%s; CancelStack; call", traceName().c_str());
    return remote_->port().cancelStack();
}

Result CDeviceObj::GetNumDataStreams(std::uint32_t* count) {
    static constexpr char kOperation[] = "GetNumDataStreams";
    Lock guard(mutex_);
    if (getProducer() == nullptr) return failed(Result::Error, kOperation, "Producer handle not valid");
    if (!opened_) return failed(Result::NotInitialized, kOperation, "Device not initialized");
    if (count == nullptr) return nullArgument(kOperation, "iNumDataStreams");
    if (const GC_ERROR result = getProducer()->DevGetNumDataStreams(devHandle_, count); result != GC_ERR_SUCCESS)
        return producerFailed(kOperation, "DevGetNumDataStreams", result);
    if (*count == 0)
        traceWarning("%s; GetNumDataStreams; No data streams", traceName().c_str());
    else
        traceInfo("%s; GetNumDataStreams; %d data streams", traceName().c_str(), static_cast<int>(*count));
    return Result::Success;
}

Result CDeviceObj::GetDataStreamID(std::uint32_t index, std::string* id) {
    static constexpr char kOperation[] = "GetDataStreamID";
    Lock guard(mutex_);
    if (getProducer() == nullptr) return failed(Result::Error, kOperation, "Producer handle not valid");
    if (!opened_) return failed(Result::NotInitialized, kOperation, "Device not initialized");
    if (id == nullptr) return nullArgument(kOperation, "sDataStreamID");
    TextStep step = TextStep::None;
    const GC_ERROR result = readGenTLText(
        [&](char* buffer, size_t* size) { return getProducer()->DevGetDataStreamID(devHandle_, index, buffer, size); },
        *id, step);
    if (result != GC_ERR_SUCCESS)
        return producerFailed(kOperation, step == TextStep::Size ? "DevGetDataStreamID (size)" : "DevGetDataStreamID",
                              result);
    return Result::Success;
}

// ---- data streams --------------------------------------------------------------------------------

namespace {
auto streamSlot(std::vector<std::unique_ptr<CDataStreamObj>>& streams, const CDataStreamObj* stream) {
    return std::find_if(streams.begin(), streams.end(),
                        [stream](const std::unique_ptr<CDataStreamObj>& s) { return s.get() == stream; });
}
}  // namespace

CDataStreamObj* CDeviceObj::addStream(const std::string& id) {
    Lock guard(mutex_);
    for (const auto& stream : streams_)
        if (stream->id() == id) return stream.get();
    streams_.push_back(std::make_unique<CDataStreamObj>(*this, id));
    return streams_.back().get();
}

Result CDeviceObj::deleteStream(CDataStreamObj* stream) {
    std::unique_ptr<CDataStreamObj> taken;
    {
        Lock guard(mutex_);
        const auto slot = streamSlot(streams_, stream);
        if (stream == nullptr || slot == streams_.end())
            return failed(Result::InvalidParameter, "deleteStream", "Data stream object is not in list");
        taken = std::move(*slot);
        streams_.erase(slot);
    }
    // Destroyed outside the device's lock: the stream waits for its users, which may need it.
    taken.reset();
    return Result::Success;
}

bool CDeviceObj::holdsStream(const CDataStreamObj* stream) const {
    Lock guard(mutex_);
    return std::any_of(streams_.begin(), streams_.end(),
                       [stream](const std::unique_ptr<CDataStreamObj>& s) { return s.get() == stream; });
}

Result CDeviceObj::OpenDataStream(CDataStreamObj* stream) {
    static constexpr char kOperation[] = "OpenDataStream";
    Lock guard(mutex_);
    if (streamSlot(streams_, stream) == streams_.end())
        return failed(Result::InvalidParameter, kOperation, "Data stream object is not in list");
    if (!opened_) return failed(Result::NotInitialized, kOperation, "Device not opened");
    if (stream->isOpen())
        return failed(Result::ResourceInUse, kOperation, "DataStream %s is already opened.", stream->id().c_str());
    if (const Result code = stream->open(); code != Result::Success) {
        // A half-opened stream (handle without node map or event) is closed again; the stream's
        // own message of what failed stays the thread's last error.
        std::string text;
        GetLastErrorText(text);
        if (stream->isOpen()) stream->close();
        SetLastErrorText(code, text);
        return code;
    }
    traceInfo("%s; OpenDataStream; data stream %s opened", traceName().c_str(), stream->id().c_str());
    return Result::Success;
}

Result CDeviceObj::CloseDataStream(CDataStreamObj* stream) {
    static constexpr char kOperation[] = "CloseDataStream";
    Lock guard(mutex_);
    if (streamSlot(streams_, stream) == streams_.end())
        return failed(Result::InvalidParameter, kOperation, "Data stream object is not in list");
    if (stream->isWorkerThread())
        return failed(Result::Error, kOperation, "A data stream cannot be closed from its own new-buffer handler.");
    if (const Result code = stream->close(); code != Result::Success) return code;
    traceInfo("%s; CloseDataStream; Data stream %s closed", traceName().c_str(), stream->id().c_str());
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
