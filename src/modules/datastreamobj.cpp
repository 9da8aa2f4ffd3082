// SPDX-License-Identifier: BSD-3-Clause
// A data stream: open and close, acquisition, queue operations, information, buffer announcement
// and the filled-buffer wait with its handler thread.
#include "modules/datastreamobj.h"

#include <corvid2/genapi/interfaces.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

#include "core/last_error.h"
#include "corvid2/exceptions.h"
#include "features/genapi_node.h"
#include "gentl/gentl_producer.h"
#include "modules/bufferobj.h"
#include "modules/deviceobj.h"
#include "modules/info_query.h"
#include "modules/interfaceobj.h"
#include "trace/trace.h"

namespace corvid2 {

using namespace GenTL;

namespace {

constexpr std::uint64_t kLargestAllocatedPayload = 0x0FFFFFFF;
constexpr std::uint64_t kCurrentSizeMargin = 1000;
constexpr std::int32_t kModePolling = 1;
constexpr std::int32_t kModeHandler = 2;

const char* queueOperationName(ACQ_QUEUE_TYPE mode) {
    switch (mode) {
        case ACQ_QUEUE_INPUT_TO_OUTPUT:
            return "FlushInputToOutputQueue";
        case ACQ_QUEUE_OUTPUT_DISCARD:
            return "DiscardOutputQueuedBuffer";
        case ACQ_QUEUE_ALL_TO_INPUT:
            return "FlushAllToInputQueue";
        case ACQ_QUEUE_UNQUEUED_TO_INPUT:
            return "FlushUnqueuedToInputQueue";
        case ACQ_QUEUE_ALL_DISCARD:
            return "DiscardAll";
        default:
            return "Unknown";
    }
}

// The remote feature `name` as an integer node of the open device's camera, or null.
genapi::CIntegerPtr cameraInteger(CDeviceObj& device, const char* name) {
    CRemoteDeviceObj* remote = device.remoteDevice();
    genapi::INodeMap* map = remote != nullptr ? remote->nodeMap() : nullptr;
    return map != nullptr ? map->GetNode(name) : nullptr;
}

// Whether the camera streams GenDC containers: its "GenDCStreamingStatus" reads "On".
bool isGenDCStreaming(CDeviceObj& device) {
    CRemoteDeviceObj* remote = device.remoteDevice();
    genapi::INodeMap* map = remote != nullptr ? remote->nodeMap() : nullptr;
    genapi::CValuePtr status = map != nullptr ? map->GetNode("GenDCStreamingStatus") : nullptr;
    if (!status.IsValid()) return false;
    try {
        return status->ToString() == "On";
    } catch (const genapi::GenericException&) {
        return false;
    }
}

constexpr char kNoMultipleSegments[] = "multiple segment transfers not supported with current camera configuration";

}  // namespace

CDataStreamObj::CDataStreamObj(CDeviceObj& device, std::string id)
    : CGenTLModule("StreamPort", device.getProducer(), device.vendor().c_str()),
      CIThread("new buffers"),
      device_(device),
      id_(std::move(id)) {
    setTraceName(kDefaultTraceName);
    CDataStreamObjGuard("CDataStreamObj::CDataStreamObj").Register(nullptr, this);
}

CDataStreamObj::~CDataStreamObj() {
    // Out of the registry first: waits are cancelled and later calls refused.
    CDataStreamObj* self = this;
    try {
        CDataStreamObjGuard("CDataStreamObj::~CDataStreamObj").Unregister(nullptr, &self);
    } catch (const CORVID2::Exceptions::ObjectInvalidException&) {
        traceWarning("%s; dtor; Object invalid.", traceName().c_str());
    }
    endWaits();
    // The users left the registry with the stream; those already inside finish (their waits end).
    CSpinWait spin;
    while (useCount_.load(std::memory_order_acquire) != 0) spin.once();
    if (isOpen()) close();
    join();
}

void CDataStreamObj::endWaits() {
    ending_.store(true, std::memory_order_release);
    cancelOwnWait();
}

Result CDataStreamObj::checkOpen(const char* operation) const {
    if (getProducer() == nullptr) return failed(Result::Error, operation, "Producer handle not valid");
    if (!isOpen()) return failed(Result::NotInitialized, operation, "Data stream not initialized");
    return Result::Success;
}

std::uint32_t CDataStreamObj::genTLVersionMajor() const { return device_.interfaceObj()->genTLVersionMajor(); }
std::uint32_t CDataStreamObj::genTLVersionMinor() const { return device_.interfaceObj()->genTLVersionMinor(); }

// ---- open and close ------------------------------------------------------------------------------

Result CDataStreamObj::open() {
    Lock guard(mutex_);
    DS_HANDLE handle = nullptr;
    if (const GC_ERROR result = getProducer()->DevOpenDataStream(device_.getHandle(), id_.c_str(), &handle);
        result != GC_ERR_SUCCESS) {
        traceWarning("%s; open; DevOpenDataStream failed with %s", traceName().c_str(), failureDetails(result).c_str());
        return failed(Result::LowLevelError, "open", "DevOpenDataStream failed: %s", failureDetails(result).c_str());
    }
    handle_.store(handle, std::memory_order_release);
    if (const GC_ERROR code = initPort(handle); code != GC_ERR_SUCCESS) {
        traceWarning("%s; open; Port interface not initialized %d. Maybe the access to GenICam nodes not possible.",
                     traceName().c_str(), code);
        return failed(Result::LowLevelError, "open", "Port interface not initialized %d", code);
    }
    if (const Result code = initializeNodeInterface(); code != Result::Success) {
        traceWarning("%s; open; Node interface not initialized. initializeNodeInterface failed with %d",
                     traceName().c_str(), toCode(code));
        return code;
    }
    std::string id;
    if (infoText(STREAM_INFO_ID, id) == Result::Success)
        setTraceName("DataStreamObj_" + id);
    else
        traceWarning("%s; open; No id for trace output. Id name will set to 'DataStreamObj'", traceName().c_str());
    if (const Result code = RegisterNewBufferEvent(kModePolling); code != Result::Success) {
        traceWarning("%s; open; RegisterNewBufferEvent failed with %d", traceName().c_str(), toCode(code));
        return code;
    }
    return Result::Success;
}

Result CDataStreamObj::close() {
    // Before the lock: the handler thread takes it for every delivery, so joining it under the
    // lock could wait forever.
    UnregisterNewCBufferObjEventHandler();
    Lock guard(mutex_);
    if (isOpen() && newBufferRegistered_.load(std::memory_order_acquire)) RegisterNewBufferEvent(0);
    if (const GC_ERROR result = getProducer()->DSClose(handle_); result != GC_ERR_SUCCESS)
        traceWarning("%s; close; DSClose failed with %s", traceName().c_str(), failureDetails(result).c_str());
    for (auto& entry : byHandle_) entry.second->reset();
    byHandle_.clear();
    buffers_.clear();
    orphans_.clear();
    // The producer stays: a closed stream opens again.
    releaseNodeMap();
    forgetEvents();
    {
        std::lock_guard<std::mutex> flag(cancelFlagMutex_);
        cancelled_ = false;
    }
    handle_.store(nullptr, std::memory_order_release);
    newBufferEvent_.store(nullptr, std::memory_order_release);
    newBufferMode_.store(0, std::memory_order_release);
    setInfoBypass(nullptr, nullptr);
    traceInfo("%s; close", traceName().c_str());
    return Result::Success;
}

// ---- acquisition ---------------------------------------------------------------------------------

// The camera's parameters that shape the payload stay put while the stream acquires, unless the
// device module says to leave them alone.
Result CDataStreamObj::lockTransportLayer(bool locked, const char* operation) {
    CGenAPINode* lock = device_.tlParamsLocked();
    if (lock == nullptr) return Result::Success;
    try {
        if (CGenAPINode* disable = device_.disableTLParamsLocked(); disable != nullptr && disable->GetBool())
            return Result::Success;
        lock->SetInt(locked ? 1 : 0);
    } catch (const CGenAPIException& error) {
        return failed(Result::LowLevelError, operation, "Write to TLParamsLocked failed. %s", error.what());
    }
    return Result::Success;
}

Result CDataStreamObj::StartAcquisition(ACQ_START_FLAGS flags, std::uint64_t count, bool continuous) {
    const char* operation = continuous ? "StartAcquisitionContinuous" : "StartAcquisition";
    if (const Result code = checkOpen(operation); code != Result::Success) return code;
    Lock guard(mutex_);
    if (const Result code = lockTransportLayer(true, operation); code != Result::Success) return code;
    if (const GC_ERROR result = getProducer()->DSStartAcquisition(handle_, flags, count); result != GC_ERR_SUCCESS) {
        if (continuous)
            return failed(Result::LowLevelError, operation, "failed to start acquiring (flags %d): %s", flags,
                          failureDetails(result).c_str());
        return failed(Result::LowLevelError, operation, "failed to start acquiring %llu images (flags %d): %s",
                      static_cast<unsigned long long>(count), flags, failureDetails(result).c_str());
    }
    startCount_.store(count, std::memory_order_release);
    counter_.store(0, std::memory_order_release);
    if (continuous)
        traceInfo("%s; %s; acquisition started with flags %d", traceName().c_str(), operation, flags);
    else
        traceInfo("%s; StartAcquisition; started to acquire %llu images with flags %d", traceName().c_str(),
                  static_cast<unsigned long long>(count), flags);
    return Result::Success;
}

Result CDataStreamObj::StopAcquisition(ACQ_STOP_FLAGS flags) {
    const char* operation = flags != ACQ_STOP_FLAGS_DEFAULT ? "AbortAcquisition" : "StopAcquisition";
    if (const Result code = checkOpen(operation); code != Result::Success) return code;
    Lock guard(mutex_);
    const GC_ERROR result = getProducer()->DSStopAcquisition(handle_, flags);
    Result outcome = Result::Success;
    if (result == GC_ERR_SUCCESS) {
        traceInfo("%s; %s; acquisition stopped", traceName().c_str(), operation);
    } else if (result == GC_ERR_RESOURCE_IN_USE) {
        traceWarning("%s; %s; acquisition already stopped", traceName().c_str(), operation);
    } else {
        outcome =
            failed(Result::LowLevelError, operation, "failed to stop acquisition: %s", failureDetails(result).c_str());
    }
    const Result unlocked = lockTransportLayer(false, operation);
    return outcome != Result::Success ? outcome : unlocked;
}

Result CDataStreamObj::queueOperation(ACQ_QUEUE_TYPE mode) {
    const char* operation = queueOperationName(mode);
    if (const Result code = checkOpen(operation); code != Result::Success) return code;
    Lock guard(mutex_);
    if (const GC_ERROR result = getProducer()->DSFlushQueue(handle_, mode); result != GC_ERR_SUCCESS)
        return failed(Result::LowLevelError, operation, "failed to execute queue operation: %s",
                      failureDetails(result).c_str());
    traceInfo("%s; %s; queue operation successfully executed", traceName().c_str(), operation);
    // These two put the buffers back into the input pool, ready for a new delivery.
    if (mode == ACQ_QUEUE_ALL_TO_INPUT || mode == ACQ_QUEUE_UNQUEUED_TO_INPUT)
        for (CBufferObj* buffer : buffers_) buffer->markQueued();
    return Result::Success;
}

// ---- information ---------------------------------------------------------------------------------

Result CDataStreamObj::getInfo(STREAM_INFO_CMD command, INFO_DATATYPE* type, void* buffer, size_t* size) {
    {
        std::lock_guard<std::mutex> bypass(infoMutex_);
        if (infoBypass_ != nullptr) {
            const std::int32_t result = infoBypass_(command, type, buffer, size, infoContext_);
            if (result != toCode(Result::NotInitialized)) return fromCode(result);
        }
    }
    return ownInfo(command, type, buffer, size);
}

Result CDataStreamObj::ownInfo(STREAM_INFO_CMD command, INFO_DATATYPE* type, void* buffer, size_t* size) {
    static constexpr char kOperation[] = "getInfo";
    if (const Result code = checkOpen(kOperation); code != Result::Success) return code;
    if (size == nullptr) return nullArgument(kOperation, "iSize");
    if (type == nullptr) return nullArgument(kOperation, "iType");
    size_t handed = buffer != nullptr ? *size : 0;
    if (const GC_ERROR result = getProducer()->DSGetInfo(handle_, command, type, buffer, &handed);
        result != GC_ERR_SUCCESS)
        return failed(Result::LowLevelError, kOperation, "DSGetInfo failed with %s", failureDetails(result).c_str());
    *size = handed;
    return Result::Success;
}

template <class Value>
Result CDataStreamObj::infoValue(STREAM_INFO_CMD command, Value* value) {
    return queryInfoValue(
        [&](INFO_DATATYPE* type, void* buffer, size_t* size) { return getInfo(command, type, buffer, size); }, *value);
}

template Result CDataStreamObj::infoValue<std::uint64_t>(STREAM_INFO_CMD, std::uint64_t*);
template Result CDataStreamObj::infoValue<bool8_t>(STREAM_INFO_CMD, bool8_t*);

Result CDataStreamObj::infoText(STREAM_INFO_CMD command, std::string& text) {
    return queryInfoText(
        [&](INFO_DATATYPE* type, void* buffer, size_t* size) { return getInfo(command, type, buffer, size); }, text);
}

// The stream's own payload size when it defines one; otherwise the camera's "PayloadSize" (its
// maximum, so that a buffer survives a larger region, unless the maximum is absurd or the current
// value is asked for); then room for a filter driver's packet and the stream's alignment.
Result CDataStreamObj::getPayloadSize(std::uint64_t* size, bool useCurrentValue) {
    static constexpr char kOperation[] = "getPayloadSize";
    *size = 0;
    bool8_t defines = 0;
    if (const Result code = infoValue(STREAM_INFO_DEFINES_PAYLOADSIZE, &defines); code != Result::Success) {
        traceError("%s; GetPayloadSizeFromStream; getInfo STREAM_INFO_DEFINES_PAYLOADSIZE failed with %d",
                   traceName().c_str(), toCode(code));
        return code;
    }
    if (defines != 0) {
        if (const Result code = infoValue(STREAM_INFO_PAYLOAD_SIZE, size); code != Result::Success) return code;
    }
    if (*size == 0) {
        genapi::CIntegerPtr payload = cameraInteger(device_, "PayloadSize");
        if (!payload.IsValid()) return failed(Result::InvalidParameter, kOperation, "getNode 'PayloadSize' not found");
        try {
            const std::int64_t maximum = payload->GetMax();
            const bool useMaximum =
                !useCurrentValue && maximum > 0 && static_cast<std::uint64_t>(maximum) <= kLargestAllocatedPayload;
            *size = static_cast<std::uint64_t>(useMaximum ? maximum : payload->GetValue());
        } catch (const genapi::GenericException& error) {
            return failed(Result::Error, kOperation, "%s", error.GetDescription());
        }
    }
    std::uint64_t alignment = 0;
    if (infoValue(STREAM_INFO_BUF_ALIGNMENT, &alignment) == Result::Success && alignment >= 1 && alignment <= 65535)
        *size = (*size + alignment - 1) / alignment * alignment;
    return Result::Success;
}

Result CDataStreamObj::GetSegmentCount(std::uint32_t* count) {
    static constexpr char kOperation[] = "GetSegmentCount";
    if (count == nullptr) return nullArgument(kOperation, "segment_count");
    if (!isGenDCStreaming(device_)) {
        traceWarning("%s; GetSegmentCount; %s", traceName().c_str(), kNoMultipleSegments);
        *count = 1;
        return Result::Success;
    }
    CRemoteDeviceObj* remote = device_.remoteDevice();
    genapi::INodeMap* map = remote != nullptr ? remote->nodeMap() : nullptr;
    genapi::CRegisterPtr table = map != nullptr ? map->GetNode("GenDCFlowMappingTable") : nullptr;
    if (!table.IsValid()) return failed(Result::NotAvailable, kOperation, "getNode 'GenDCFlowMappingTable' not found");
    // The table starts with a 16-byte header whose last 32-bit word counts the flows, one segment each.
    std::uint8_t header[16] = {};
    try {
        if (table->GetLength() < static_cast<std::int64_t>(sizeof header))
            return failed(Result::NotAvailable, kOperation, "GenDCFlowMappingTable is shorter than its header");
        table->Get(header, sizeof header);
    } catch (const genapi::GenericException& error) {
        return failed(Result::AccessDenied, kOperation, "%s", error.GetDescription());
    }
    *count = static_cast<std::uint32_t>(header[12]) | static_cast<std::uint32_t>(header[13]) << 8 |
             static_cast<std::uint32_t>(header[14]) << 16 | static_cast<std::uint32_t>(header[15]) << 24;
    traceInfo("%s; GetSegmentCount; segment count %u", traceName().c_str(), *count);
    return Result::Success;
}

Result CDataStreamObj::GetSegmentSize(std::uint32_t index, std::uint64_t* size) {
    static constexpr char kOperation[] = "GetSegmentSize";
    if (size == nullptr) return nullArgument(kOperation, "segment_size");
    if (isGenDCStreaming(device_))
        return failed(Result::NotImplemented, kOperation, "GenDC segment sizes are not supported.");
    if (index != 0) return failed(Result::NotAvailable, kOperation, "Segment index not available");
    traceWarning("%s; GetSegmentSize; %s; using payload size for segment instead", traceName().c_str(),
                 kNoMultipleSegments);
    return getPayloadSize(size, true);
}

// ---- buffers -------------------------------------------------------------------------------------

Result CDataStreamObj::announceBuffer(CBufferObj* buffer) {
    static constexpr char kOperation[] = "announceBuffer";
    if (const Result code = checkOpen(kOperation); code != Result::Success) return code;
    if (buffer == nullptr)
        return failed(Result::InvalidParameter, kOperation, "Invalid parameter, buffer object pointer is NULL");
    Lock guard(mutex_);
    const char* step = buffer->hasUserSegments() ? "AnnounceCompositeBuffer_intern"
                       : buffer->hasUserMemory() ? "announceBuffer_intern"
                                                 : "AllocAndAnnounceBuffer_intern";
    if (!buffers_.insert(buffer).second) {
        traceInfo("%s; %s; buffer object %p already inserted", traceName().c_str(), step, static_cast<void*>(buffer));
        return Result::Success;
    }
    const auto refuse = [&](Result code) {
        buffers_.erase(buffer);
        return code;
    };
    BUFFER_HANDLE handle = nullptr;
    if (buffer->hasUserSegments()) {
        // The stream says how many segments its payload needs; segments the application added
        // beyond that go along. An application's segment keeps its own size (its memory ends
        // there); one it left out gets memory of the size the stream asks for.
        std::uint32_t needed = 0;
        if (const Result code = GetSegmentCount(&needed); code != Result::Success) return refuse(code);
        const std::uint32_t count = std::max(needed, buffer->segmentSlots());
        std::vector<void*> memories(count);
        std::vector<size_t> sizes(count);
        for (std::uint32_t index = 0; index < count; ++index) {
            std::uint64_t size = 0;
            const bool sized = buffer->isUserSegment(index) ? buffer->GetSegmentSize(index, &size) == Result::Success
                                                            : GetSegmentSize(index, &size) == Result::Success;
            if (!sized || buffer->ensureSegment(index, size, &memories[index]) != Result::Success)
                return refuse(failed(Result::InvalidParameter, step,
                                     "memory segment with index %u and size %llu could not be added", index,
                                     static_cast<unsigned long long>(size)));
            sizes[index] = static_cast<size_t>(size);
        }
        if (const GC_ERROR result = getProducer()->DSAnnounceCompositeBuffer(handle_, count, memories.data(),
                                                                             sizes.data(), nullptr, &handle);
            result != GC_ERR_SUCCESS)
            return refuse(failed(Result::LowLevelError, step,
                                 "DSAnnounceCompositeBuffer failed (number of memory segments %u): %s", count,
                                 failureDetails(result).c_str()));
        traceInfo("%s; %s; number of memory segments %u", traceName().c_str(), step, count);
    } else if (buffer->hasUserMemory()) {
        void* memory = buffer->userMemory();
        const std::uint64_t size = buffer->userMemorySize();
        if (size == 0) return refuse(failed(Result::InvalidParameter, step, "Invalid parameter, iSize is 0"));
        if (const GC_ERROR result =
                getProducer()->DSAnnounceBuffer(handle_, memory, static_cast<size_t>(size), nullptr, &handle);
            result != GC_ERR_SUCCESS)
            return refuse(failed(Result::LowLevelError, step,
                                 "DSAnnounceBuffer failed (memory pointer %p size %llu): %s", memory,
                                 static_cast<unsigned long long>(size), failureDetails(result).c_str()));
        traceInfo("%s; %s; memory pointer %p size %llu", traceName().c_str(), step, memory,
                  static_cast<unsigned long long>(size));
    } else {
        std::uint64_t size = 0;
        if (const Result code = getPayloadSize(&size, buffer->currentSize()); code != Result::Success)
            return refuse(code);
        if (buffer->currentSize()) size += kCurrentSizeMargin;
        if (const GC_ERROR result =
                getProducer()->DSAllocAndAnnounceBuffer(handle_, static_cast<size_t>(size), nullptr, &handle);
            result != GC_ERR_SUCCESS)
            return refuse(failed(Result::LowLevelError, step, "DSAllocAndAnnounceBuffer failed (PayloadSize %llu): %s",
                                 static_cast<unsigned long long>(size), failureDetails(result).c_str()));
        traceInfo("%s; %s; buffer object %p", traceName().c_str(), step, static_cast<void*>(buffer));
    }
    buffer->bind(getProducer(), this);
    byHandle_[handle] = buffer;
    if (const Result code = buffer->SetHandle(handle); code != Result::Success) {
        std::string text;
        GetLastErrorText(text);
        failed(code, step, "init node interface failed: '%s'", text.c_str());
    }
    return Result::Success;
}

Result CDataStreamObj::revokeOne(CBufferObj* buffer, void** privateData) {
    buffer->prepareRevoke();
    BUFFER_HANDLE handle = buffer->getHandle();
    void* memory = nullptr;
    if (const GC_ERROR result = getProducer()->DSRevokeBuffer(handle_, handle, &memory, privateData);
        result != GC_ERR_SUCCESS)
        return failed(Result::LowLevelError, "RevokeOneBuffer", "DSRevokeBuffer failed (buffer object %p): %s ",
                      static_cast<void*>(buffer), failureDetails(result).c_str());
    byHandle_.erase(handle);
    buffers_.erase(buffer);
    buffer->reset();
    traceInfo("%s; RevokeOneBuffer; buffer object %p revoked", traceName().c_str(), static_cast<void*>(buffer));
    return Result::Success;
}

Result CDataStreamObj::RevokeBuffer(CBufferObj* buffer, void** privateData) {
    static constexpr char kOperation[] = "RevokeBuffer";
    if (const Result code = checkOpen(kOperation); code != Result::Success) return code;
    if (buffer == nullptr)
        return failed(Result::InvalidParameter, kOperation, "Invalid parameter, buffer object pointer is NULL");
    Lock guard(mutex_);
    if (buffers_.count(buffer) == 0)
        return failed(Result::InvalidParameter, kOperation, "invalid buffer object %p", static_cast<void*>(buffer));
    return revokeOne(buffer, privateData);
}

Result CDataStreamObj::revokeAllBuffers() {
    if (const Result code = checkOpen("revokeAllBuffers"); code != Result::Success) return code;
    Lock guard(mutex_);
    while (!buffers_.empty())
        if (const Result code = revokeOne(*buffers_.begin(), nullptr); code != Result::Success) return code;
    return Result::Success;
}

Result CDataStreamObj::requeueBuffer(CBufferObj* buffer) {
    Lock guard(mutex_);
    // The binding changes only under this lock: no lookup needed, whatever the buffer count.
    if (buffer->stream() != this)
        return failed(Result::NotAvailable, "requeueBuffer",
                      "This function is not available. Please first add the buffer (%p) to the buffer list.",
                      static_cast<void*>(buffer));
    return buffer->QueueBuffer();
}

Result CDataStreamObj::GetBufferID(std::uint32_t index, CBufferObj** buffer) {
    static constexpr char kOperation[] = "GetBufferID";
    if (const Result code = checkOpen(kOperation); code != Result::Success) return code;
    if (buffer == nullptr) return nullArgument(kOperation, "phBuffer");
    Lock guard(mutex_);
    BUFFER_HANDLE handle = nullptr;
    if (const GC_ERROR result = getProducer()->DSGetBufferID(handle_, index, &handle); result != GC_ERR_SUCCESS)
        return producerFailed(kOperation, "DSGetBufferID", result);
    const auto it = byHandle_.find(handle);
    if (it == byHandle_.end())
        return failed(Result::Error, kOperation, "critical buffer management error - unknown buffer handle %p", handle);
    *buffer = it->second;
    traceInfo("%s; GetBufferID; buffer index %d buffer object %p", traceName().c_str(), static_cast<int>(index),
              static_cast<void*>(*buffer));
    return Result::Success;
}

void CDataStreamObj::keepUntilClose(CBufferObj* buffer) {
    Lock guard(mutex_);
    orphans_.emplace_back(buffer);
}

bool CDataStreamObj::holdsBuffer(const CBufferObj* buffer) {
    Lock guard(mutex_);
    return buffers_.count(const_cast<CBufferObj*>(buffer)) != 0;
}

// ---- the new-buffer event ------------------------------------------------------------------------

Result CDataStreamObj::RegisterNewBufferEvent(std::int32_t mode) {
    static constexpr char kOperation[] = "RegisterNewBufferEvent";
    if (const Result code = checkOpen(kOperation); code != Result::Success) return code;
    Lock guard(mutex_);
    if (mode == 0) {
        newBufferRegistered_.store(false, std::memory_order_release);
        if (const GC_ERROR result = getProducer()->GCUnregisterEvent(handle_, EVENT_NEW_BUFFER);
            result == GC_ERR_INVALID_HANDLE)
            return producerFailed(kOperation, "GCUnregisterEvent", result);
        newBufferMode_.store(0, std::memory_order_release);
        newBufferEvent_.store(nullptr, std::memory_order_release);
        return Result::Success;
    }
    EVENT_HANDLE event = nullptr;
    Result outcome = Result::Success;
    GC_ERROR result = getProducer()->GCRegisterEvent(handle_, EVENT_NEW_BUFFER, &event);
    if (result == GC_ERR_RESOURCE_IN_USE) {
        if (newBufferMode_.load(std::memory_order_acquire) == mode) {
            outcome = Result::ResourceInUse;
        } else if ((result = getProducer()->GCUnregisterEvent(handle_, EVENT_NEW_BUFFER)) != GC_ERR_SUCCESS) {
            outcome = producerFailed(kOperation, "GCUnregisterEvent", result);
        } else if ((result = getProducer()->GCRegisterEvent(handle_, EVENT_NEW_BUFFER, &event)) != GC_ERR_SUCCESS) {
            outcome = producerFailed(kOperation, "GCRegisterEvent", result);
        } else {
            newBufferMode_.store(mode, std::memory_order_release);
            newBufferEvent_.store(event, std::memory_order_release);
        }
    } else if (result != GC_ERR_SUCCESS) {
        outcome = producerFailed(kOperation, "GCRegisterEvent", result);
    } else {
        newBufferMode_.store(mode, std::memory_order_release);
        newBufferEvent_.store(event, std::memory_order_release);
    }
    newBufferRegistered_.store(true, std::memory_order_release);
    return outcome;
}

std::int32_t CDataStreamObj::newBufferEventMode() const { return newBufferMode_.load(std::memory_order_acquire); }

Result CDataStreamObj::registerEvent(EVENT_TYPE type, std::int32_t mode, bool internal) {
    if (type != EVENT_NEW_BUFFER)
        return failed(Result::NotAvailable, "registerEvent",
                      "GCRegisterEvent failed: EventId %d is not known in CDataStreamObj", type);
    if (isEventRegistered(type)) {
        if (const Result code = CGenTLModule::unregisterEvent(type, internal); code != Result::Success) {
            newBufferRegistered_.store(false, std::memory_order_release);
            return code;
        }
    }
    const Result code = CGenTLModule::registerEvent(type, mode, internal);
    newBufferRegistered_.store(code == Result::Success, std::memory_order_release);
    return code;
}

Result CDataStreamObj::unregisterEvent(EVENT_TYPE type, bool internal) {
    if (type != EVENT_NEW_BUFFER)
        return failed(Result::NotAvailable, "unregisterEvent",
                      "GCUnregisterEvent failed: EventId %d is not known in CDataStreamObj", type);
    if (!isEventRegistered(type)) return Result::Success;
    newBufferRegistered_.store(false, std::memory_order_release);
    return CGenTLModule::unregisterEvent(type, internal);
}

Result CDataStreamObj::takeCancel() {
    std::lock_guard<std::mutex> flag(cancelFlagMutex_);
    if (!cancelled_) return Result::Success;
    cancelled_ = false;
    traceWarning("%s; GetFilledBuffer; EventGetData aborted", traceName().c_str());
    return Result::Abort;
}

Result CDataStreamObj::GetFilledBuffer(CBufferObj** buffer, std::uint64_t timeout) {
    while (pauseState_.load(std::memory_order_acquire) == 1) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    {
        std::lock_guard<std::mutex> bypass(filledBufferMutex_);
        if (filledBufferBypass_ != nullptr) {
            void* delivered = nullptr;
            const std::int32_t result = filledBufferBypass_(&delivered, timeout, filledBufferContext_);
            if (result != toCode(Result::NotInitialized)) {
                if (buffer != nullptr) *buffer = static_cast<CBufferObj*>(delivered);
                return fromCode(result);
            }
        }
    }
    return waitForFilledBuffer(buffer, timeout);
}

// The wait runs in slices of 20 ms so that a cancel or a stop of the handler thread is seen
// within a slice without killing the producer's wait; the last slice takes the rest.
Result CDataStreamObj::waitForFilledBuffer(CBufferObj** buffer, std::uint64_t timeout) {
    static constexpr char kOperation[] = "GetFilledBuffer";
    if (const Result code = checkOpen(kOperation); code != Result::Success) return code;
    if (buffer == nullptr) return nullArgument(kOperation, "phBuffer");
    const EVENT_HANDLE event = newBufferEvent_.load(std::memory_order_acquire);
    if (event == nullptr) return failed(Result::NotInitialized, kOperation, "Buffer event not initialized");
    const std::uint64_t slices = timeout / kSliceMilliseconds;
    const std::uint64_t rest = timeout % kSliceMilliseconds;
    const std::uint64_t slice = std::min(timeout, kSliceMilliseconds);
    if (const Result code = takeCancel(); code != Result::Success) return code;

    EVENT_NEW_BUFFER_DATA data{};
    for (std::uint64_t turn = 1;; ++turn) {
        size_t size = sizeof data;
        const std::uint64_t wait = turn == slices ? slice + rest : slice;
        const GC_ERROR result = getProducer()->EventGetData(event, &data, &size, wait);
        if (result == GC_ERR_SUCCESS) break;
        if (result != GC_ERR_TIMEOUT) return producerFailed(kOperation, "EventGetData", result);
        if (stopRequested() || ending_.load(std::memory_order_acquire)) {
            traceWarning("%s; GetFilledBuffer; EventGetData aborted", traceName().c_str());
            return Result::Abort;
        }
        if (turn >= slices) {
            traceWarning("%s; GetFilledBuffer; EventGetData failed: GC_ERR_TIMEOUT - No filled buffer available",
                         traceName().c_str());
            return Result::Timeout;
        }
        if (const Result code = takeCancel(); code != Result::Success) return code;
    }

    {
        Lock guard(mutex_);
        const auto it = byHandle_.find(data.BufferHandle);
        if (it == byHandle_.end())
            return failed(Result::Error, kOperation, "critical buffer management error - unknown buffer handle %p",
                          data.BufferHandle);
        it->second->deliver();
        *buffer = it->second;
    }
    CORVID2_TRACE_INFO("%s; GetFilledBuffer; buffer object %p", traceName().c_str(), static_cast<void*>(*buffer));
    // Client threads waiting on the device for a buffer see this one before anyone else gets it.
    device_.bufferNotification().FilledBuffer(*buffer);
    return Result::Success;
}

void CDataStreamObj::cancelGetFilledBuffer() {
    {
        std::lock_guard<std::mutex> bypass(cancelMutex_);
        if (cancelBypass_ != nullptr && cancelBypass_(cancelContext_) != toCode(Result::NotInitialized)) return;
    }
    cancelOwnWait();
}

void CDataStreamObj::cancelOwnWait() {
    std::lock_guard<std::mutex> flag(cancelFlagMutex_);
    cancelled_ = true;
}

Result CDataStreamObj::installNewBufferHandler(void* context, NewBufferHandler handler) {
    static constexpr char kOperation[] = "installNewBufferHandler";
    if (handler == nullptr) return failed(Result::InvalidParameter, kOperation, "Invalid parameter, handler is NULL");
    if (!isOpen()) return failed(Result::NotInitialized, kOperation, "Data stream not initialized");
    {
        std::lock_guard<std::mutex> lock(handlerMutex_);
        handler_ = handler;
        handlerContext_ = context;
    }
    if (!start()) return failed(Result::Error, kOperation, "The handler thread could not be started");
    return Result::Success;
}

Result CDataStreamObj::UnregisterNewCBufferObjEventHandler() {
    if (!handlerInstalled()) return Result::Success;
    try {
        join();
    } catch (const std::exception& error) {
        return failed(Result::Error, "UnregisterNewCBufferObjEventHandler", "Shutdown Thread failed: %s", error.what());
    }
    queueOperation(ACQ_QUEUE_ALL_DISCARD);
    std::lock_guard<std::mutex> lock(handlerMutex_);
    handler_ = nullptr;
    handlerContext_ = nullptr;
    return Result::Success;
}

bool CDataStreamObj::handlerInstalled() const {
    std::lock_guard<std::mutex> lock(handlerMutex_);
    return handler_ != nullptr;
}

void CDataStreamObj::run() {
    NewBufferHandler handler = nullptr;
    void* context = nullptr;
    {
        std::lock_guard<std::mutex> lock(handlerMutex_);
        handler = handler_;
        context = handlerContext_;
    }
    if (handler == nullptr) return;
    while (!stopRequested()) {
        while (pauseState_.load(std::memory_order_acquire) == 1 && !stopRequested())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        CBufferObj* buffer = nullptr;
        if (GetFilledBuffer(&buffer, GENTL_INFINITE) == Result::Success && buffer != nullptr) handler(context, buffer);
    }
}

// ---- hooks ---------------------------------------------------------------------------------------

void CDataStreamObj::setInfoBypass(InfoBypass bypass, void* context) {
    std::lock_guard<std::mutex> lock(infoMutex_);
    infoBypass_ = bypass;
    infoContext_ = context;
}

void CDataStreamObj::setCancelBypass(CancelBypass bypass, void* context) {
    std::lock_guard<std::mutex> lock(cancelMutex_);
    cancelBypass_ = bypass;
    cancelContext_ = context;
}

// A bypass call in progress is cancelled and waited for, so that the new one starts cleanly.
void CDataStreamObj::setFilledBufferBypass(FilledBufferBypass bypass, void* context) {
    std::unique_lock<std::mutex> lock(filledBufferMutex_, std::try_to_lock);
    while (!lock.owns_lock()) {
        cancelOwnWait();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        pauseState_.store(1, std::memory_order_release);
        lock.try_lock();
    }
    pauseState_.store(0, std::memory_order_release);
    filledBufferBypass_ = bypass;
    filledBufferContext_ = context;
}

}  // namespace corvid2
