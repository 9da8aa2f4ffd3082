// SPDX-License-Identifier: BSD-3-Clause
// The public DataStreamList, DataStream and the stream's new-buffer event: opening a stream,
// acquisition, and filled buffers by polling or through a handler.
#include <cinttypes>
#include <string>
#include <vector>

#include "core/public_method.h"
#include "corvid2/datastream.h"
#include "corvid2/device.h"
#include "corvid2/exceptions.h"
#include "modules/bufferobj.h"
#include "modules/datastreamobj.h"
#include "modules/device_data.h"
#include "modules/deviceobj.h"
#include "modules/info_query.h"
#include "modules/stream_data.h"
#include "nodes/node_views.h"
#include "trace/trace.h"

using namespace corvid2;
using CORVID2::Internal::AcquisitionAccess;
using CORVID2::Internal::DataStreamData;
using CORVID2::Internal::DataStreamEventData;
using CORVID2::Internal::DataStreamListData;

namespace corvid2 {
CORVID2::Buffer* publicBufferOf(const MethodSite& site, CORVID2::BufferList* list, const CBufferObj* object);
}  // namespace corvid2

namespace CORVID2 {
namespace {

// Streams go with their entries; a stream's own handler thread cannot wait for itself.
struct StreamEntryTraits : MapEntryTraits<DataStream> {};
using DataStreamListCall = CListCall<CDataStreamListGuard, StreamEntryTraits>;

constexpr char kNotOpen[] = "The corresponding CGenTLModule object is not open.";

// The stream object behind a DataStream, counted for the length of `operation`.
template <class Operation>
Result withStream(const MethodSite& site, DataStreamData& data, Operation&& operation) {
    return withInternal<CDataStreamObjGuard>(site, &data.stream_, std::forward<Operation>(operation), [&site] {
        return recordFailure(site, Result::NotInitialized, "DataStream not opened.");
    });
}

// The same for an open stream; `notOpen` is the text of the refusal otherwise.
template <class Operation>
Result withOpenStream(const MethodSite& site, CDataStreamObj* const* slot, const char* notOpen, Operation&& operation) {
    return withInternal<CDataStreamObjGuard>(
        site, slot,
        [&](CDataStreamObj& stream) {
            if (!stream.isOpen()) return recordFailure(site, Result::NotInitialized, "%s", notOpen);
            return operation(stream);
        },
        [&] { return recordFailure(site, Result::NotInitialized, "%s", notOpen); });
}

// A new DataStreamList or DataStream destroyed from a handler thread of one of its streams would
// wait for that very thread.
Result refuseOnHandler(const MethodSite& site, const DataStreamListData& data) {
    for (const auto& entry : data.entries_) {
        auto* record = static_cast<DataStreamData*>(entry.second->GetReserved());
        if (record->stream_->isWorkerThread())
            return recordFailure(site, Result::Error,
                                 "A data stream cannot be destroyed from its own new-buffer handler.");
    }
    return Result::Success;
}

}  // namespace

// ---- DataStreamList ------------------------------------------------------------------------------

DataStreamList::DataStreamList(Device* device) : data_(nullptr) {
    const MethodSite site = CORVID2_METHOD(DataStreamList, DataStreamList);
    data_ = makeList<DataStreamListCall>(site, this, device);
    data_->device_ = static_cast<Internal::DeviceData*>(device->GetReserved())->device_;
}

DataStreamList::~DataStreamList() {
    destroyList<DataStreamListCall>(CORVID2_METHOD(DataStreamList, ~DataStreamList), this, &data_,
                                    [](DataStream* stream) { delete stream; });
}

void DataStreamList::Refresh() {
    const MethodSite site = CORVID2_METHOD(DataStreamList, Refresh);
    DataStreamListCall list(site, this, &data_);
    CDeviceObj* device = list.data().device_;
    Device* parent = list.data().parent_;
    if (!device->isOpen()) failAt(site, Result::NotInitialized, "Device not opened.");
    std::vector<std::string> ids;
    list.call().check(
        listedIds([&](std::uint32_t* count) { return device->GetNumDataStreams(count); },
                  [&](std::uint32_t index, std::string* id) { return device->GetDataStreamID(index, id); }, ids));
    const auto gone = followIds(
        list.entries(), ids, [&](const std::string& id) { return new DataStream(parent, device, id.c_str()); },
        [](DataStream*) {}, [](DataStream* stream) { return stream->data_->open_.load(); });
    for (DataStream* stream : gone) delete stream;
}

DataStreamList::iterator DataStreamList::begin() { return iterator(this, 0); }
DataStreamList::iterator DataStreamList::end() { return iterator(this, size()); }
DataStreamList::iterator DataStreamList::find(const String& id) {
    return iterator(this, DataStreamListCall(CORVID2_METHOD(DataStreamList, find), this, &data_).position(id));
}
DataStream* DataStreamList::operator[](const String& id) {
    return DataStreamListCall(CORVID2_METHOD(DataStreamList, operator[]), this, &data_).byId(id);
}
DataStream* DataStreamList::operator[](std::size_t index) {
    return DataStreamListCall(CORVID2_METHOD(DataStreamList, operator[]), this, &data_).byIndex(index);
}
std::size_t DataStreamList::size() {
    return DataStreamListCall(CORVID2_METHOD(DataStreamList, size), this, &data_).size();
}
void DataStreamList::clear() {
    const MethodSite site = CORVID2_METHOD(DataStreamList, clear);
    DataStreamListCall list(site, this, &data_);
    list.call().check(refuseOnHandler(site, list.data()));
    list.clear([](DataStream* stream) { delete stream; });
}

// ---- DataStream ----------------------------------------------------------------------------------

DataStream::DataStream(Device* device, void* deviceObj, const String& id) : INode(false), data_(new DataStreamData()) {
    const MethodSite site = CORVID2_METHOD(DataStream, DataStream);
    data_->parent_ = device;
    data_->device_ = static_cast<CDeviceObj*>(deviceObj);
    data_->id_ = id.get();
    data_->stream_ = data_->device_->addStream(data_->id_);
    auto* events = new DataStreamEventData();
    events->stream_ = data_->stream_;
    events->owner_ = this;
    AcquisitionAccess::events(this) = events;
    AcquisitionAccess::base(this) = events;
    data_->events_ = events;
    registerHolder<CDataStreamGuard>(site, this, data_);
    registerHolder<CDataStreamEventControlGuard>(site, static_cast<Events::DataStreamEventControl*>(this), events);
    data_->buffers_ = AcquisitionAccess::makeBufferList(this);
}

DataStream::~DataStream() {
    const MethodSite site = CORVID2_METHOD(DataStream, ~DataStream);
    // A thread waiting for a filled buffer holds the event control: its wait ends first, then the
    // handler thread (never under a lock: a handler may be calling into the library).
    CDataStreamObj* stream = data_->stream_;
    stream->UnregisterNewCBufferObjEventHandler();
    stream->endWaits();
    unregisterHolder<CDataStreamEventControlGuard>(
        site, static_cast<Events::DataStreamEventControl*>(this),
        AcquisitionAccess::slot(static_cast<Events::DataStreamEventControl*>(this)),
        [](DataStreamEventData* events) { delete events; });
    unregisterHolder<CDataStreamGuard>(site, this, &data_, [this](DataStreamData* data) {
        AcquisitionAccess::destroy(data->buffers_);
        attachNodeSource(*this, nullptr);
        data->device_->deleteStream(data->stream_);
        delete data;
    });
}

void DataStream::Open() {
    const MethodSite site = CORVID2_METHOD(DataStream, Open);
    callGuarded<CDataStreamGuard>(
        site, kSharedChecked, this, &data_,
        [&](DataStreamData& data) { return data.device_->OpenDataStream(data.stream_); },
        [this](DataStreamData& data) {
            data.open_ = true;
            attachNodeSource(*this, data.stream_);
            traceInfo("%s; Open", data.stream_->traceName().c_str());
        });
}

void DataStream::Close() {
    const MethodSite site = CORVID2_METHOD(DataStream, Close);
    CPublicCall<CDataStreamGuard> call(site, kSharedChecked, this, &data_);
    CDataStreamObj* stream = call->stream_;
    if (!stream->isOpen()) {
        traceWarning("%s; Close; DataStream not opened", stream->traceName().c_str());
        return;
    }
    if (stream->isWorkerThread())
        failAt(site, Result::Error, "A data stream cannot be closed from its own new-buffer handler.");
    // The handler thread ends before any lock is taken; the Buffers leave the list, unbound.
    stream->UnregisterNewCBufferObjEventHandler();
    AcquisitionAccess::forgetAll(call->buffers_);
    attachNodeSource(*this, nullptr);
    call.check(call->device_->CloseDataStream(stream));
    call->open_ = false;
    {
        std::lock_guard<std::mutex> lock(call->events_->handlerMutex_);
        call->events_->handler_ = nullptr;
        call->events_->userObj_ = nullptr;
    }
    traceInfo("%s; Close", stream->traceName().c_str());
}

bool DataStream::IsOpen() {
    CPublicCall<CDataStreamGuard> call(CORVID2_METHOD(DataStream, IsOpen), kShared, this, &data_);
    return call->open_;
}

String DataStream::GetID() {
    CPublicCall<CDataStreamGuard> call(CORVID2_METHOD(DataStream, GetID), kShared, this, &data_);
    if (call->id_.empty()) failAt(call.site(), Result::NotAvailable, "ID not available.");
    return call->id_.c_str();
}

Device* DataStream::GetParent() {
    CPublicCall<CDataStreamGuard> call(CORVID2_METHOD(DataStream, GetParent), kShared, this, &data_);
    traceInfo("%s; GetParent; Device* %p", call->stream_->traceName().c_str(), static_cast<void*>(call->parent_));
    return call->parent_;
}

std::uint32_t DataStream::GetSegmentCount() {
    const MethodSite site = CORVID2_METHOD(DataStream, GetSegmentCount);
    std::uint32_t count = 0;
    callGuarded<CDataStreamGuard>(site, kShared, this, &data_, [&](DataStreamData& data) {
        return withStream(site, data, [&](CDataStreamObj& stream) {
            const Result code = traceFailedGetter(stream.GetSegmentCount(&count), stream.traceName(), site.label);
            if (code == Result::Success)
                traceInfo("%s; GetSegmentCount; Datastream Segment Count: %u", stream.traceName().c_str(), count);
            return code;
        });
    });
    return count;
}

namespace {

// One value of the stream's information, traced as "<name>; <method>; DataStream <label>: <value>".
template <class Value, class Print>
Value streamInfo(DataStream* self, DataStreamData* const* slot, const MethodSite& site, GenTL::STREAM_INFO_CMD command,
                 Print&& print) {
    Value value{};
    callGuarded<CDataStreamGuard>(site, kShared, self, slot, [&](DataStreamData& data) {
        return withStream(site, data, [&](CDataStreamObj& stream) {
            const Result code = traceFailedGetter(stream.infoValue(command, &value), stream.traceName(), site.label);
            if (code == Result::Success) print(stream.traceName().c_str(), value);
            return code;
        });
    });
    return value;
}

}  // namespace

String DataStream::GetTLType() {
    const MethodSite site = CORVID2_METHOD(DataStream, GetTLType);
    std::string text;
    callGuarded<CDataStreamGuard>(site, kShared, this, &data_, [&](DataStreamData& data) {
        return withStream(site, data, [&](CDataStreamObj& stream) {
            const Result code =
                traceFailedGetter(stream.infoText(GenTL::STREAM_INFO_TLTYPE, text), stream.traceName(), site.label);
            if (code == Result::Success)
                traceInfo("%s; GetTLType; DataStream TLType: %s", stream.traceName().c_str(), text.c_str());
            return code;
        });
    });
    return text.c_str();
}

std::uint64_t DataStream::GetPayloadSize() {
    return streamInfo<std::uint64_t>(this, &data_, CORVID2_METHOD(DataStream, GetPayloadSize),
                                     GenTL::STREAM_INFO_PAYLOAD_SIZE, [](const char* name, std::uint64_t value) {
                                         traceInfo("%s; GetPayloadSize; DataStream PayloadSize: %" PRIu64, name, value);
                                     });
}

bool DataStream::GetDefinesPayloadSize() {
    return streamInfo<GenTL::bool8_t>(this, &data_, CORVID2_METHOD(DataStream, GetDefinesPayloadSize),
                                      GenTL::STREAM_INFO_DEFINES_PAYLOADSIZE,
                                      [](const char* name, GenTL::bool8_t value) {
                                          traceInfo("%s; GetDefinesPayloadSize; DataStream DefinesPayloadSize: %s",
                                                    name, value != 0 ? "true" : "false");
                                      }) != 0;
}

bool DataStream::GetIsGrabbing() {
    return streamInfo<GenTL::bool8_t>(this, &data_, CORVID2_METHOD(DataStream, GetIsGrabbing),
                                      GenTL::STREAM_INFO_IS_GRABBING, [](const char* name, GenTL::bool8_t value) {
                                          traceInfo("%s; GetIsGrabbing; DataStream IsGrabbing: %s", name,
                                                    value != 0 ? "true" : "false");
                                      }) != 0;
}

namespace {

template <class Operation>
void streamCall(DataStream* self, DataStreamData* const* slot, const MethodSite& site, Operation&& operation) {
    callGuarded<CDataStreamGuard>(site, kSharedChecked, self, slot,
                                  [&](DataStreamData& data) { return withStream(site, data, operation); });
}

}  // namespace

void DataStream::StartAcquisition(std::uint64_t count) {
    streamCall(this, &data_, CORVID2_METHOD(DataStream, StartAcquisition), [count](CDataStreamObj& stream) {
        return stream.StartAcquisition(GenTL::ACQ_START_FLAGS_DEFAULT, count, false);
    });
}

void DataStream::StartAcquisitionContinuous() {
    streamCall(this, &data_, CORVID2_METHOD(DataStream, StartAcquisitionContinuous), [](CDataStreamObj& stream) {
        return stream.StartAcquisition(GenTL::ACQ_START_FLAGS_DEFAULT, GENTL_INFINITE, true);
    });
}

void DataStream::StopAcquisition() {
    streamCall(this, &data_, CORVID2_METHOD(DataStream, StopAcquisition),
               [](CDataStreamObj& stream) { return stream.StopAcquisition(GenTL::ACQ_STOP_FLAGS_DEFAULT); });
}

void DataStream::AbortAcquisition() {
    streamCall(this, &data_, CORVID2_METHOD(DataStream, AbortAcquisition),
               [](CDataStreamObj& stream) { return stream.StopAcquisition(GenTL::ACQ_STOP_FLAGS_KILL); });
}

BufferList* DataStream::GetBufferList() {
    CPublicCall<CDataStreamGuard> call(CORVID2_METHOD(DataStream, GetBufferList), kShared, this, &data_);
    if (!call->open_) failAt(call.site(), Result::NotInitialized, "DataStream not opened.");
    return call->buffers_;
}

Buffer* DataStream::GetBufferByIndex(std::uint32_t index) {
    const MethodSite site = CORVID2_METHOD(DataStream, GetBufferByIndex);
    CBufferObj* object = nullptr;
    BufferList* list = nullptr;
    callGuarded<CDataStreamGuard>(site, kShared, this, &data_, [&](DataStreamData& data) {
        list = data.buffers_;
        return withStream(site, data, [&](CDataStreamObj& stream) { return stream.GetBufferID(index, &object); });
    });
    Buffer* buffer = publicBufferOf(site, list, object);
    if (buffer == nullptr)
        failAt(site, Result::InvalidBuffer, "The buffer at index %u is not in the buffer list.", index);
    return buffer;
}

void* DataStream::GetReserved() {
    CPublicCall<CDataStreamGuard> call(CORVID2_METHOD(DataStream, GetReserved), kShared, this, &data_);
    return &*call;
}

// ---- the new-buffer event ------------------------------------------------------------------------

namespace Events {
namespace {

using EventCall = CPublicCall<CDataStreamEventControlGuard>;

// The event control's stream, open, counted for the length of `operation`.
template <class Operation>
void withEventStream(EventCall& call, Operation&& operation) {
    call.check(withOpenStream(call.site(), &call->stream_, kNotOpen, std::forward<Operation>(operation)));
}

// Polling calls refuse while a handler receives the buffers.
Result requirePolling(const MethodSite& site, CDataStreamObj& stream) {
    if (stream.newBufferEventMode() != static_cast<std::int32_t>(EventMode::Polling))
        return recordFailure(site, Result::NotInitialized, "The current Event Mode does not support this function.");
    return Result::Success;
}

void forgetHandler(DataStreamEventData& events) {
    std::lock_guard<std::mutex> lock(events.handlerMutex_);
    events.handler_ = nullptr;
    events.userObj_ = nullptr;
}

// A registration that finds the event registered already with that mode reports it; a timeout
// of the producer counts as done.
Result registered(Result code) { return code == Result::Timeout ? Result::Success : code; }

}  // namespace

void DataStreamEventControl::RegisterNewBufferEvent(EventMode mode) {
    const MethodSite site = CORVID2_METHOD(DataStreamEventControl, RegisterNewBufferEvent);
    const auto value = static_cast<std::int32_t>(mode);
    if (value < 0 || value > static_cast<std::int32_t>(EventMode::EventHandler))
        failAt(site, Result::InvalidParameter, "Invalid EventMode specified.");
    EventCall call(site, kSharedChecked, this, &events_);
    withEventStream(call, [&](CDataStreamObj& stream) {
        if (stream.newBufferEventMode() == static_cast<std::int32_t>(EventMode::EventHandler) &&
            mode != EventMode::EventHandler) {
            if (const Result code = stream.UnregisterNewCBufferObjEventHandler(); code != Result::Success) return code;
            forgetHandler(*call);
        }
        return registered(stream.RegisterNewBufferEvent(value));
    });
}

void DataStreamEventControl::RegisterNewBufferEventHandler(void* userObj, NewBufferEventHandler handler) {
    const MethodSite site = CORVID2_METHOD(DataStreamEventControl, RegisterNewBufferEventHandler);
    if (handler == nullptr) failAt(site, Result::InvalidParameter, "Invalid parameter, handler is NULL");
    EventCall call(site, kSharedChecked, this, &events_);
    // Runs on the stream's thread for every filled buffer: the Buffer of the delivered object, or
    // null when the list no longer has one; no guard is held while the user's handler runs.
    CDataStreamObj::NewBufferHandler trampoline = [](void* context, CBufferObj* object) {
        static const MethodSite kTrampoline =
            CORVID2_METHOD_AS(DataStreamEventControl, NewCBufObjEventHandler, "NewCBufObjEventHandler");
        auto* control = static_cast<DataStreamEventControl*>(context);
        NewBufferEventHandler user = nullptr;
        void* userObject = nullptr;
        Buffer* buffer = nullptr;
        try {
            EventCall events(kTrampoline, kShared, control, &control->events_);
            {
                std::lock_guard<std::mutex> lock(events->handlerMutex_);
                user = events->handler_;
                userObject = events->userObj_;
            }
            auto* stream = static_cast<DataStreamData*>(events->owner_->GetReserved());
            buffer = publicBufferOf(kTrampoline, stream->buffers_, object);
        } catch (const Exceptions::IException&) {
            if (user == nullptr) return;  // the DataStream is going
        }
        if (user != nullptr) user(userObject, buffer);
    };
    withEventStream(call, [&](CDataStreamObj& stream) {
        // A handler in place is replaced: its thread ends first.
        if (const Result code = stream.UnregisterNewCBufferObjEventHandler(); code != Result::Success) return code;
        if (stream.newBufferEventMode() != static_cast<std::int32_t>(EventMode::EventHandler)) {
            if (const Result code =
                    registered(stream.RegisterNewBufferEvent(static_cast<std::int32_t>(EventMode::EventHandler)));
                code != Result::Success)
                return code;
        }
        {
            std::lock_guard<std::mutex> lock(call->handlerMutex_);
            call->handler_ = handler;
            call->userObj_ = userObj;
        }
        return stream.installNewBufferHandler(this, trampoline);
    });
}

void DataStreamEventControl::UnregisterNewBufferEvent() {
    const MethodSite site = CORVID2_METHOD(DataStreamEventControl, UnregisterNewBufferEvent);
    EventCall call(site, kSharedChecked, this, &events_);
    withEventStream(call, [&](CDataStreamObj& stream) {
        if (const Result code = stream.UnregisterNewCBufferObjEventHandler(); code != Result::Success) return code;
        forgetHandler(*call);
        if (stream.newBufferEventMode() == static_cast<std::int32_t>(EventMode::Unregistered)) return Result::Success;
        return registered(stream.RegisterNewBufferEvent(static_cast<std::int32_t>(EventMode::Unregistered)));
    });
}

EventMode DataStreamEventControl::GetEventMode() {
    const MethodSite site = CORVID2_METHOD(DataStreamEventControl, GetEventMode);
    EventCall call(site, kShared, this, &events_);
    EventMode mode = EventMode::Unregistered;
    withEventStream(call, [&](CDataStreamObj& stream) {
        mode = static_cast<EventMode>(stream.newBufferEventMode());
        return Result::Success;
    });
    return mode;
}

Buffer* DataStreamEventControl::GetFilledBuffer(std::uint64_t timeout) {
    const MethodSite site = CORVID2_METHOD(DataStreamEventControl, GetFilledBuffer);
    EventCall call(site, kShared, this, &events_);
    CBufferObj* object = nullptr;
    bool timedOut = false;
    withEventStream(call, [&](CDataStreamObj& stream) {
        if (const Result code = requirePolling(site, stream); code != Result::Success) return code;
        const Result code = stream.GetFilledBuffer(&object, timeout);
        timedOut = code == Result::Timeout;
        return timedOut ? Result::Success : code;
    });
    if (timedOut) return nullptr;
    auto* stream = static_cast<DataStreamData*>(call->owner_->GetReserved());
    Buffer* buffer = publicBufferOf(site, stream->buffers_, object);
    if (buffer == nullptr)
        failAt(site, Result::InvalidBuffer, "The delivered buffer %p is not in the buffer list.",
               static_cast<void*>(object));
    return buffer;
}

void DataStreamEventControl::CancelGetFilledBuffer() {
    const MethodSite site = CORVID2_METHOD(DataStreamEventControl, CancelGetFilledBuffer);
    EventCall call(site, kShared, this, &events_);
    withEventStream(call, [&](CDataStreamObj& stream) {
        if (const Result code = requirePolling(site, stream); code != Result::Success) return code;
        stream.cancelGetFilledBuffer();
        return Result::Success;
    });
}

}  // namespace Events
}  // namespace CORVID2
