// SPDX-License-Identifier: BSD-3-Clause
// Hooks for a companion component: write locks on the acquisition objects, the bypasses of a
// stream's information, wait and cancel, functions on buffer objects, the device's feature helper.
#include <cstring>
#include <string>
#include <vector>

#include "core/last_error.h"
#include "core/public_method.h"
#include "core/result_codes.h"
#include "corvid2/exceptions.h"
#include "corvid2_genicam.h"
#include "corvid2_genicam_c.h"
#include "features/genapi_node.h"
#include "modules/bufferobj.h"
#include "modules/datastreamobj.h"
#include "modules/device_data.h"
#include "modules/stream_data.h"

using namespace corvid2;
using CORVID2::Internal::AcquisitionAccess;

namespace {

// A C hook's answer: the code of a library exception, or of the operation.
template <class Operation>
std::int32_t hookResult(Operation&& operation) {
    try {
        return toCode(operation());
    } catch (const CORVID2::Exceptions::IException&) {
        Result code = Result::Error;
        std::string text;
        GetLastErrorText(text, &code);
        return toCode(code);
    }
}

// Every feature wrapper of a module's node map, for its write lock.
template <class Apply>
void eachFeature(const IGenAPI& module, Apply&& apply) {
    for (const auto& entry : module.nameTable()) {
        CGenAPINode* wrapper = entry.second;
        try {
            apply(wrapper);
        } catch (const CORVID2::Exceptions::IException&) {
            // A feature locked by another thread keeps its lock; the others are locked.
        }
    }
}

void lockFeatures(const IGenAPI* module, bool lock) {
    if (module == nullptr) return;
    eachFeature(*module, [lock](CGenAPINode* wrapper) {
        GenAPINodeGuard guard("writeLock");
        if (lock)
            guard.ActivateWriteLock(nullptr, &wrapper);
        else
            guard.ReleaseWriteLock(nullptr, &wrapper);
    });
}

// The holder's lock (or its release) then the locks of the modules' features.
template <class Guard, class Holder, class Modules>
std::uint32_t writeLock(const void* owner, Holder* const* slot, bool lock, Modules&& modules) {
    if (owner == nullptr) return static_cast<std::uint32_t>(toCode(Result::InvalidParameter));
    return static_cast<std::uint32_t>(hookResult([&] {
        Guard guard("writeLock");
        Holder* holder = lock ? guard.ActivateWriteLock(owner, slot) : guard.Acquire(owner, slot);
        if (!lock) guard.ReleaseWriteLock(owner, slot);
        for (const IGenAPI* module : modules(*holder)) lockFeatures(module, lock);
        return Result::Success;
    }));
}

std::uint32_t deviceLock(void* device, bool lock) {
    auto* public_ = static_cast<CORVID2::Device*>(device);
    return writeLock<CDeviceGuard>(device, device ? AcquisitionAccess::slot(public_) : nullptr, lock,
                                   [](CORVID2::Internal::DeviceData& data) {
                                       CDeviceObj* object = data.device_;
                                       return std::vector<const IGenAPI*>{object, object->remoteDevice()};
                                   });
}

std::uint32_t streamLock(void* stream, bool lock) {
    auto* public_ = static_cast<CORVID2::DataStream*>(stream);
    return writeLock<CDataStreamGuard>(
        stream, stream ? AcquisitionAccess::slot(public_) : nullptr, lock,
        [](CORVID2::Internal::DataStreamData& data) { return std::vector<const IGenAPI*>{data.stream_}; });
}

std::uint32_t bufferListLock(void* list, bool lock) {
    auto* public_ = static_cast<CORVID2::BufferList*>(list);
    return writeLock<CBufferListGuard>(
        list, list ? AcquisitionAccess::slot(public_) : nullptr, lock,
        [](CORVID2::Internal::BufferListData&) { return std::vector<const IGenAPI*>{}; });
}

std::uint32_t streamEventsLock(void* stream, bool lock) {
    auto* control =
        stream ? static_cast<CORVID2::Events::DataStreamEventControl*>(static_cast<CORVID2::DataStream*>(stream))
               : nullptr;
    return writeLock<CDataStreamEventControlGuard>(
        control, control ? AcquisitionAccess::slot(control) : nullptr, lock,
        [](CORVID2::Internal::DataStreamEventData&) { return std::vector<const IGenAPI*>{}; });
}

// The stream object a companion names, proven alive and counted for the length of `operation`.
template <class Operation>
std::int32_t withStreamObject(void* streamObject, Operation&& operation) {
    if (streamObject == nullptr) return toCode(Result::InvalidParameter);
    return hookResult([&] {
        auto* stream = static_cast<CDataStreamObj*>(streamObject);
        CDataStreamObjGuard guard("registerBypass");
        return operation(*guard.Acquire(nullptr, &stream));
    });
}

// The library's own operations handed to a companion: the stream or buffer object is their last
// or only argument.
std::int32_t CORVID2_CALL ownStreamInfo(std::int32_t command, std::int32_t* type, void* buffer, size_t* size,
                                        void* stream) {
    if (stream == nullptr) return toCode(Result::InvalidParameter);
    return toCode(static_cast<CDataStreamObj*>(stream)->ownInfo(command, type, buffer, size));
}

std::int32_t CORVID2_CALL ownFilledBuffer(void** buffer, std::uint64_t timeout, void* stream) {
    if (stream == nullptr) return toCode(Result::InvalidParameter);
    if (buffer == nullptr) return toCode(Result::InvalidParameter);
    CBufferObj* delivered = nullptr;
    const Result code = static_cast<CDataStreamObj*>(stream)->waitForFilledBuffer(&delivered, timeout);
    *buffer = delivered;
    return toCode(code);
}

std::int32_t CORVID2_CALL ownCancel(void* stream) {
    if (stream == nullptr) return toCode(Result::InvalidParameter);
    static_cast<CDataStreamObj*>(stream)->cancelOwnWait();
    return toCode(Result::Success);
}

std::int32_t CORVID2_CALL bufferInfo(std::int32_t command, std::int32_t* type, void* buffer, size_t* size,
                                     void* object) {
    if (object == nullptr) return toCode(Result::InvalidParameter);
    return toCode(static_cast<CBufferObj*>(object)->GetBufferInfo(command, type, buffer, size));
}

std::int32_t CORVID2_CALL bufferQueue(void* object) {
    if (object == nullptr) return toCode(Result::InvalidParameter);
    auto* buffer = static_cast<CBufferObj*>(object);
    CDataStreamObj* stream = buffer->stream();
    return toCode(stream != nullptr ? stream->requeueBuffer(buffer) : buffer->QueueBuffer());
}

std::int32_t CORVID2_CALL bufferPixelFormat(void* object, char* name, size_t* size) {
    if (object == nullptr || size == nullptr) return toCode(Result::InvalidParameter);
    std::string format;
    if (const Result code = static_cast<CBufferObj*>(object)->GetPixelformat(0, format); code != Result::Success)
        return toCode(code);
    if (name != nullptr) {
        if (*size < format.size() + 1) return toCode(Result::InvalidParameter);
        std::memcpy(name, format.c_str(), format.size() + 1);
    }
    *size = format.size() + 1;
    return toCode(Result::Success);
}

std::int32_t CORVID2_CALL bufferAverage(void* object, std::uint32_t number) {
    if (object == nullptr) return toCode(Result::InvalidParameter);
    static_cast<CBufferObj*>(object)->setAverageNumber(number);
    return toCode(Result::Success);
}

std::int32_t CORVID2_CALL bufferChunkNodes(void* object, const void** nodeMap) {
    if (object == nullptr || nodeMap == nullptr) return toCode(Result::InvalidParameter);
    auto* buffer = static_cast<CBufferObj*>(object);
    IGenAPI* chunks = buffer->chunkMap();
    *nodeMap = chunks != nullptr && buffer->containsChunk() && chunks->nodeMapAvailable()
                   ? static_cast<const void*>(&chunks->getNodeMapFlat())
                   : nullptr;
    return toCode(Result::Success);
}

template <class Function>
std::uint8_t handOut(void* object, Function* slot, Function function) {
    if (object == nullptr || slot == nullptr) return 0;
    *slot = function;
    return 1;
}

}  // namespace

extern "C" {

uint32_t activateWriteLockDevice(void* device) { return deviceLock(device, true); }
uint32_t releaseWriteLockDevice(void* device) { return deviceLock(device, false); }
uint32_t activateWriteLockStream(void* stream) { return streamLock(stream, true); }
uint32_t releaseWriteLockStream(void* stream) { return streamLock(stream, false); }
uint32_t activateWriteLockBufferList(void* list) { return bufferListLock(list, true); }
uint32_t releaseWriteLockBufferList(void* list) { return bufferListLock(list, false); }
uint32_t activateWriteLockStreamEvents(void* stream) { return streamEventsLock(stream, true); }
uint32_t releaseWriteLockStreamEvents(void* stream) { return streamEventsLock(stream, false); }

int32_t getNumToCapture(void* stream, uint64_t* count) {
    if (stream == nullptr || count == nullptr) return toCode(Result::InvalidParameter);
    CDataStreamObj* object = nullptr;
    try {
        object =
            static_cast<CORVID2::Internal::DataStreamData*>(static_cast<CORVID2::DataStream*>(stream)->GetReserved())
                ->stream_;
    } catch (const CORVID2::Exceptions::IException&) {
        object = static_cast<CDataStreamObj*>(stream);
    }
    return withStreamObject(object, [count](CDataStreamObj& counted) {
        *count = counted.getStartCount();
        return Result::Success;
    });
}

int32_t registerBypass_DataStreamGetInfo(void* streamObject, CORVID2_StreamInfoFunction bypass, void* context,
                                         CORVID2_StreamInfoFunction* own) {
    return withStreamObject(streamObject, [&](CDataStreamObj& stream) {
        stream.setInfoBypass(bypass, context);
        if (own != nullptr) *own = &ownStreamInfo;
        return Result::Success;
    });
}

int32_t registerBypass_DataStreamEventControlGetFilledBuffer(void* streamObject, CORVID2_FilledBufferFunction bypass,
                                                             void* context, CORVID2_FilledBufferFunction* own) {
    return withStreamObject(streamObject, [&](CDataStreamObj& stream) {
        stream.setFilledBufferBypass(bypass, context);
        if (own != nullptr) *own = &ownFilledBuffer;
        return Result::Success;
    });
}

int32_t registerBypass_DataStreamEventControlCancelGetFilledBuffer(void* streamObject, CORVID2_CancelFunction bypass,
                                                                   void* context, CORVID2_CancelFunction* own) {
    return withStreamObject(streamObject, [&](CDataStreamObj& stream) {
        stream.setCancelBypass(bypass, context);
        if (own != nullptr) *own = &ownCancel;
        return Result::Success;
    });
}

uint8_t getFuncPtr_BufferInfo(void* bufferObject, CORVID2_BufferInfoFunction* function) {
    return handOut(bufferObject, function, &bufferInfo);
}
uint8_t getFuncPtr_BufferQueueBuffer(void* bufferObject, CORVID2_BufferQueueFunction* function) {
    return handOut(bufferObject, function, &bufferQueue);
}
uint8_t getFuncPtr_BufferGetPixelFormat(void* bufferObject, CORVID2_BufferPixelFormatFunction* function) {
    return handOut(bufferObject, function, &bufferPixelFormat);
}
uint8_t getFuncPtr_BufferSetAverageNumber(void* bufferObject, CORVID2_BufferAverageFunction* function) {
    return handOut(bufferObject, function, &bufferAverage);
}

uint8_t getFuncPtr_BufferGetChunkNodeList(void* bufferObject, CORVID2_BufferChunkNodesFunction* function) {
    return handOut(bufferObject, function, &bufferChunkNodes);
}

int32_t updateDeviceChunks(void* device, const uint64_t* chunkIds, size_t count, uint8_t apply) {
    if (device == nullptr || (chunkIds == nullptr && count != 0)) return toCode(Result::InvalidParameter);
    return hookResult([&] {
        auto* public_ = static_cast<CORVID2::Device*>(device);
        CPublicCall<CDeviceGuard> call(CORVID2_METHOD_AS(Device, updateDeviceChunks, "updateDeviceChunks"), kShared,
                                       public_, AcquisitionAccess::slot(public_));
        CDeviceObj& object = *call->device_;
        if (!object.chunkAuto()) return Result::Success;
        const std::vector<std::uint64_t> ids(chunkIds, chunkIds + count);
        return object.updateChunks(ids, apply != 0);
    });
}

int32_t getDeviceFeatureObject(void* device, void** feature) {
    if (device == nullptr || feature == nullptr) return toCode(Result::InvalidParameter);
    return hookResult([&] {
        auto* public_ = static_cast<CORVID2::Device*>(device);
        CPublicCall<CDeviceGuard> call(CORVID2_METHOD_AS(Device, deviceParamOperation, "deviceParamOperation"), kShared,
                                       public_, AcquisitionAccess::slot(public_));
        *feature = static_cast<IDeviceFeature*>(&call->device_->features());
        return Result::Success;
    });
}

}  // extern "C"
