// SPDX-License-Identifier: BSD-3-Clause
// The public Buffer and BufferList: image memory that the application owns and a stream fills, and
// the list that announces it to the stream.
#include <cinttypes>
#include <cstdio>
#include <string>

#include "core/public_method.h"
#include "corvid2/buffer.h"
#include "corvid2/exceptions.h"
#include "modules/bufferobj.h"
#include "modules/datastreamobj.h"
#include "modules/info_query.h"
#include "modules/stream_data.h"
#include "nodes/node_views.h"
#include "trace/trace.h"

using namespace corvid2;
using CORVID2::Internal::AcquisitionAccess;
using CORVID2::Internal::BufferData;
using CORVID2::Internal::BufferListData;

namespace corvid2 {

// The Buffer of a delivered buffer object in `list`; null when the list no longer has one for it.
CORVID2::Buffer* publicBufferOf(const MethodSite& site, CORVID2::BufferList* list, const CBufferObj* object) {
    CPublicCall<CBufferListGuard> call(site, kShared, list, AcquisitionAccess::slot(list));
    std::lock_guard<std::recursive_mutex> lock(call->mutex_);
    const auto it = call->byObject_.find(object);
    return it == call->byObject_.end() ? nullptr : it->second;
}

}  // namespace corvid2

namespace CORVID2 {
namespace {

using BufferListCall = CListCall<CBufferListGuard, BufferEntryTraits>;

// Runs `operation(object)` on the object behind a Buffer. While the buffer is announced its stream
// is counted and locked, so that neither a revoke nor the stream's end pulls the handle away
// underneath; a stream on its way out refuses.
template <class Operation>
Result withBuffer(const MethodSite& site, BufferData& data, Operation&& operation) {
    CBufferObj& object = *data.buffer_;
    CDataStreamObj* stream = object.stream();
    if (stream == nullptr) return operation(object);
    CDataStreamObjGuard guard(site.name);
    try {
        guard.Acquire(nullptr, &stream);
    } catch (const Exceptions::ObjectInvalidException&) {
        return recordFailure(site, Result::NotAvailable, "The buffer's data stream is being closed.");
    }
    std::lock_guard<std::recursive_mutex> lock(stream->lock());
    return operation(object);
}

// One getter of a Buffer: the value from `get(object, value)`; a failure is traced as
// "<trace name>; <method>; <last error>" and thrown, success as `format` (trace name, value).
template <class Value, class Get>
Value bufferValue(Buffer* self, BufferData* const* slot, const MethodSite& site, Get&& get) {
    Value value{};
    callGuarded<CBufferGuard>(site, kShared, self, slot, [&](BufferData& data) {
        return withBuffer(site, data, [&](CBufferObj& object) {
            const Result code = get(object, value);
            return code == Result::Success ? code : traceFailedGetter(code, object.traceName(), site.label);
        });
    });
    return value;
}

const char* yesNo(bool value) { return value ? "true" : "false"; }

// A boolean or 64-bit number of the buffer's information, traced as "<name>; <method>; Buffer <label>: <value>".
bool boolInfo(Buffer* self, BufferData* const* slot, const MethodSite& site, GenTL::BUFFER_INFO_CMD command,
              const char* label) {
    return bufferValue<bool>(self, slot, site, [&](CBufferObj& object, bool& value) {
        const Result code = object.infoValue(command, &value);
        if (code == Result::Success)
            CORVID2_TRACE_INFO("%s; %s; Buffer %s: %s", object.traceName().c_str(), site.label, label, yesNo(value));
        return code;
    });
}

std::uint64_t numberInfo(Buffer* self, BufferData* const* slot, const MethodSite& site, GenTL::BUFFER_INFO_CMD command,
                         const char* label) {
    return bufferValue<std::uint64_t>(self, slot, site, [&](CBufferObj& object, std::uint64_t& value) {
        const Result code = object.infoValue(command, &value);
        if (code == Result::Success)
            CORVID2_TRACE_INFO("%s; %s; Buffer %s: %" PRIu64, object.traceName().c_str(), site.label, label, value);
        return code;
    });
}

// A value of image `image`, traced as "<name>; <method>; Buffer <label>: <value> Index: <image>".
std::uint64_t imageInfo(Buffer* self, BufferData* const* slot, const MethodSite& site, std::uint32_t image,
                        GenTL::BUFFER_INFO_CMD command, const char* label, const char* valueName) {
    return bufferValue<std::uint64_t>(self, slot, site, [&](CBufferObj& object, std::uint64_t& value) {
        const Result code = object.imageValue(image, command, site.label, valueName, &value);
        if (code == Result::Success)
            CORVID2_TRACE_INFO("%s; %s; Buffer %s: %" PRIu64 " Index: %u", object.traceName().c_str(), site.label,
                               label, value, image);
        return code;
    });
}

// A GenDC part's identifier, traced as "<name>; <method>; Buffer <what>: <value> Index: <image>".
std::uint64_t partIdentifier(Buffer* self, BufferData* const* slot, const MethodSite& site, std::uint32_t image,
                             const char* what) {
    return bufferValue<std::uint64_t>(self, slot, site, [&](CBufferObj& object, std::uint64_t& value) {
        const Result code = object.partIdentifier(image, site.label, what, &value);
        if (code == Result::Success)
            CORVID2_TRACE_INFO("%s; %s; Buffer %s: %" PRIu64 " Index: %u", object.traceName().c_str(), site.label, what,
                               value, image);
        return code;
    });
}

std::string bufferId(const void* buffer) {
    char id[32];
    std::snprintf(id, sizeof id, "Buffer_%016llx",
                  static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(buffer)));
    return id;
}

// Takes `buffer` out of the maps of its list (the list may be gone already).
void leaveList(const MethodSite& site, BufferList* list, const std::string& id, const CBufferObj* object) {
    if (list == nullptr) return;
    try {
        CPublicCall<CBufferListGuard> call(site, kShared, list, AcquisitionAccess::slot(list));
        std::lock_guard<std::recursive_mutex> lock(call->mutex_);
        call->entries_.erase(id);
        call->byObject_.erase(object);
    } catch (const Exceptions::ObjectInvalidException&) {
    }
}

// A Buffer that goes while announced is revoked first. When the stream refuses (the producer
// still holds the buffer for an image), the stream keeps the object until it closes; a stream
// that is closing unbinds it itself, and is waited for.
void releaseObject(const MethodSite& site, CBufferObj* object) {
    while (CDataStreamObj* stream = object->stream()) {
        CDataStreamObjGuard guard(site.name);
        try {
            guard.Acquire(nullptr, &stream);
        } catch (const Exceptions::ObjectInvalidException&) {
            CSpinWait spin;
            while (object->stream() == stream) spin.once();
            continue;
        }
        if (stream->RevokeBuffer(object, nullptr) != Result::Success && object->stream() == stream) {
            stream->keepUntilClose(object);
            return;
        }
    }
    delete object;
}

}  // namespace

// ---- Buffer --------------------------------------------------------------------------------------

Buffer::Buffer() : Buffer(false, nullptr) {}

Buffer::Buffer(void* userObj) : Buffer(false, userObj) {}

Buffer::Buffer(bool currentSize, void* userObj) : INode(false), data_(new BufferData()) {
    data_->id_ = bufferId(this);
    data_->buffer_ = new CBufferObj(userObj, currentSize, data_->id_);
    registerHolder<CBufferGuard>(CORVID2_METHOD(Buffer, Buffer), this, data_);
}

Buffer::Buffer(void* memory, std::uint64_t size, void* userObj) : INode(false), data_(new BufferData()) {
    data_->id_ = bufferId(this);
    data_->buffer_ = new CBufferObj(memory, size, userObj, data_->id_);
    data_->userMemory_ = true;
    registerHolder<CBufferGuard>(CORVID2_METHOD(Buffer, Buffer), this, data_);
}

Buffer::~Buffer() {
    const MethodSite site = CORVID2_METHOD(Buffer, ~Buffer);
    unregisterHolder<CBufferGuard>(site, this, &data_, [this, &site](BufferData* data) {
        attachNodeSource(*this, nullptr);
        attachNodeSource(data->chunkNodes_, nullptr);
        leaveList(site, data->list_.load(), data->id_, data->buffer_);
        releaseObject(site, data->buffer_);
        delete data;
    });
}

String Buffer::GetID() {
    CPublicCall<CBufferGuard> call(CORVID2_METHOD(Buffer, GetID), kShared, this, &data_);
    return call->id_.c_str();
}

DataStream* Buffer::GetParent() {
    CPublicCall<CBufferGuard> call(CORVID2_METHOD(Buffer, GetParent), kShared, this, &data_);
    DataStream* parent = call->parent_.load();
    CORVID2_TRACE_INFO("%s; GetParent; DataStream* %p", call->id_.c_str(), static_cast<void*>(parent));
    return parent;
}

void* Buffer::GetUserObj() {
    return bufferValue<void*>(this, &data_, CORVID2_METHOD(Buffer, GetUserObj), [](CBufferObj& object, void*& value) {
        value = object.userObject();
        if (value == nullptr) {
            traceError("%s; GetUserObj; The buffer object was not created with a user pointer.",
                       object.traceName().c_str());
            return recordFailure(CORVID2_METHOD(Buffer, GetUserObj), Result::InvalidBuffer,
                                 "The buffer object was not created with a user pointer.");
        }
        CORVID2_TRACE_INFO("%s; GetUserObj; Buffer UserObj: %p", object.traceName().c_str(), value);
        return Result::Success;
    });
}

void* Buffer::GetMemPtr(std::uint32_t segment) {
    return bufferValue<void*>(this, &data_, CORVID2_METHOD(Buffer, GetMemPtr), [&](CBufferObj& object, void*& value) {
        const Result code = object.GetSegmentPtr(segment, &value);
        if (code == Result::Success)
            CORVID2_TRACE_INFO("%s; GetMemPtr; Index: %u; Buffer Segment Ptr: %p", object.traceName().c_str(), segment,
                               value);
        return code;
    });
}

std::uint64_t Buffer::GetMemSize(std::uint32_t segment) {
    return bufferValue<std::uint64_t>(
        this, &data_, CORVID2_METHOD(Buffer, GetMemSize), [&](CBufferObj& object, std::uint64_t& value) {
            const Result code = object.GetSegmentSize(segment, &value);
            if (code == Result::Success)
                CORVID2_TRACE_INFO("%s; GetMemSize; Index: %u; Buffer Segment MemSize: %" PRIu64,
                                   object.traceName().c_str(), segment, value);
            return code;
        });
}

std::size_t Buffer::GetSegmentCount() {
    return bufferValue<std::size_t>(
        this, &data_, CORVID2_METHOD(Buffer, GetSegmentCount), [](CBufferObj& object, std::size_t& value) {
            value = object.segmentCount();
            CORVID2_TRACE_INFO("%s; GetSegmentCount; Segment count %zu", object.traceName().c_str(), value);
            return Result::Success;
        });
}

bool Buffer::IsUserSegment(std::uint32_t segment) {
    return bufferValue<bool>(this, &data_, CORVID2_METHOD(Buffer, IsUserSegment), [&](CBufferObj& object, bool& value) {
        const Result code = object.IsUserSegment(segment, &value);
        if (code == Result::Success)
            CORVID2_TRACE_INFO("%s; IsUserSegment; Segment %u is %sa user segment", object.traceName().c_str(), segment,
                               value ? "" : "not ");
        return code;
    });
}

void Buffer::AddSegment(std::uint32_t segment, void* memory, std::uint64_t size) {
    bufferValue<bool>(this, &data_, CORVID2_METHOD(Buffer, AddSegment), [&](CBufferObj& object, bool&) {
        const Result code = object.AddSegment(segment, memory, size);
        if (code == Result::Success) CORVID2_TRACE_INFO("%s; AddSegment; OK", object.traceName().c_str());
        return code;
    });
}

void Buffer::QueueBuffer() {
    bufferValue<bool>(this, &data_, CORVID2_METHOD(Buffer, QueueBuffer), [](CBufferObj& object, bool&) {
        CDataStreamObj* stream = object.stream();
        // The stream is locked by withBuffer when bound; unbound, the buffer answers for itself.
        const Result code = stream != nullptr ? stream->requeueBuffer(&object) : object.QueueBuffer();
        if (code == Result::Success) CORVID2_TRACE_INFO("%s; QueueBuffer; OK", object.traceName().c_str());
        return code;
    });
}

bool Buffer::GetNewData() {
    return boolInfo(this, &data_, CORVID2_METHOD(Buffer, GetNewData), GenTL::BUFFER_INFO_NEW_DATA, "NewData");
}

bool Buffer::GetIsQueued() {
    return boolInfo(this, &data_, CORVID2_METHOD(Buffer, GetIsQueued), GenTL::BUFFER_INFO_IS_QUEUED, "IsQueued");
}

bool Buffer::GetIsAcquiring() {
    return boolInfo(this, &data_, CORVID2_METHOD(Buffer, GetIsAcquiring), GenTL::BUFFER_INFO_IS_ACQUIRING,
                    "IsAcquiring");
}

bool Buffer::GetIsIncomplete() {
    return bufferValue<bool>(this, &data_, CORVID2_METHOD(Buffer, GetIsIncomplete),
                             [](CBufferObj& object, bool& value) {
                                 const Result code = object.isIncomplete(&value);
                                 if (code == Result::Success)
                                     CORVID2_TRACE_INFO("%s; GetIsIncomplete; Buffer IsIncomplete: %s",
                                                        object.traceName().c_str(), yesNo(value));
                                 return code;
                             });
}

String Buffer::GetTLType() {
    const std::string text = bufferValue<std::string>(
        this, &data_, CORVID2_METHOD(Buffer, GetTLType), [](CBufferObj& object, std::string& value) {
            const Result code = object.infoText(GenTL::BUFFER_INFO_TLTYPE, value);
            if (code == Result::Success)
                CORVID2_TRACE_INFO("%s; GetTLType; Buffer TLType: %s", object.traceName().c_str(), value.c_str());
            return code;
        });
    return text.c_str();
}

std::uint64_t Buffer::GetSizeFilled() {
    return bufferValue<std::uint64_t>(
        this, &data_, CORVID2_METHOD(Buffer, GetSizeFilled), [](CBufferObj& object, std::uint64_t& value) {
            const Result code = object.sizeFilled(&value);
            if (code == Result::Success)
                CORVID2_TRACE_INFO("%s; GetSizeFilled; Buffer SizeFilled: %" PRIu64, object.traceName().c_str(), value);
            return code;
        });
}

std::uint64_t Buffer::GetFrameID() {
    return numberInfo(this, &data_, CORVID2_METHOD(Buffer, GetFrameID), GenTL::BUFFER_INFO_FRAMEID, "FrameID");
}

std::uint64_t Buffer::GetTimestamp() {
    return numberInfo(this, &data_, CORVID2_METHOD(Buffer, GetTimestamp), GenTL::BUFFER_INFO_TIMESTAMP, "Timestamp");
}

std::uint64_t Buffer::GetHostTimestamp() {
    return bufferValue<std::uint64_t>(
        this, &data_, CORVID2_METHOD(Buffer, GetHostTimestamp), [](CBufferObj& object, std::uint64_t& value) {
            const Result code = object.hostTimestamp(&value);
            if (code == Result::Success)
                CORVID2_TRACE_INFO("%s; GetHostTimestamp; Buffer Host Timestamp: %" PRIu64, object.traceName().c_str(),
                                   value);
            return code;
        });
}

String Buffer::GetFileName() {
    const std::string text = bufferValue<std::string>(
        this, &data_, CORVID2_METHOD(Buffer, GetFileName), [](CBufferObj& object, std::string& value) {
            const Result code = object.infoText(GenTL::BUFFER_INFO_FILENAME, value);
            if (code == Result::Success)
                CORVID2_TRACE_INFO("%s; GetFileName; Buffer FileName: %s", object.traceName().c_str(), value.c_str());
            return code;
        });
    return text.c_str();
}

bool Buffer::GetImagePresent() {
    return boolInfo(this, &data_, CORVID2_METHOD(Buffer, GetImagePresent), GenTL::BUFFER_INFO_IMAGEPRESENT,
                    "ImagePresent");
}

std::uint32_t Buffer::GetImageCount() {
    return bufferValue<std::uint32_t>(
        this, &data_, CORVID2_METHOD(Buffer, GetImageCount), [](CBufferObj& object, std::uint32_t& value) {
            value = object.imageCount();
            CORVID2_TRACE_INFO("%s; GetImageCount; Buffer ImageCount: %u", object.traceName().c_str(), value);
            return Result::Success;
        });
}

String Buffer::GetPayloadType() {
    const std::string name = bufferValue<std::string>(
        this, &data_, CORVID2_METHOD(Buffer, GetPayloadType), [](CBufferObj& object, std::string& value) {
            value = CBufferObj::payloadTypeName(object.payloadType());
            CORVID2_TRACE_INFO("%s; GetPayloadType; Buffer PayloadType: %s", object.traceName().c_str(), value.c_str());
            return Result::Success;
        });
    return name.c_str();
}

bool Buffer::GetContainsChunk() {
    return bufferValue<bool>(
        this, &data_, CORVID2_METHOD(Buffer, GetContainsChunk), [](CBufferObj& object, bool& value) {
            value = object.containsChunk();
            CORVID2_TRACE_INFO("%s; GetContainsChunk; contains chunk: %s", object.traceName().c_str(), yesNo(value));
            return Result::Success;
        });
}

std::uint64_t Buffer::GetChunkLayoutID() {
    return numberInfo(this, &data_, CORVID2_METHOD(Buffer, GetChunkLayoutID), GenTL::BUFFER_INFO_CHUNKLAYOUTID,
                      "ChunkLayoutID");
}

std::uint64_t Buffer::GetDeliveredChunkPayloadSize() {
    return numberInfo(this, &data_, CORVID2_METHOD(Buffer, GetDeliveredChunkPayloadSize),
                      GenTL::BUFFER_INFO_DELIVERED_CHUNKPAYLOADSIZE, "DeliveredChunkPayloadSize");
}

NodeMap* Buffer::GetChunkNodeList() {
    const MethodSite site = CORVID2_METHOD(Buffer, GetChunkNodeList);
    CPublicCall<CBufferGuard> call(site, kShared, this, &data_);
    BufferData& data = *call;
    NodeMap* map = nullptr;
    std::string name;
    call.check(withBuffer(site, data, [&](CBufferObj& object) {
        if (!object.announced())
            return recordFailure(site, Result::NotAvailable,
                                 "Function not available, Please add the Buffer to the BufferList.");
        IGenAPI* chunks = object.chunkMap();
        if (chunks == nullptr || !object.containsChunk())
            return recordFailure(site, Result::NotInitialized, "Chunk Interface is not initialized.");
        // Views of an older map name wrappers that are gone: they are made again.
        if (data.chunkSource_ != chunks || data.chunkGeneration_ != chunks->generation()) {
            attachNodeSource(data.chunkNodes_, chunks);
            data.chunkSource_ = chunks;
            data.chunkGeneration_ = chunks->generation();
        }
        traceInfo("%s; GetChunkNodeMapFlat", object.traceName().c_str());
        name = object.traceName();
        map = viewList(data.chunkNodes_, site);
        return Result::Success;
    }));
    CORVID2_TRACE_INFO("Node [%s]; GetChunkNodeList; %p", name.c_str(), static_cast<void*>(map));
    return map;
}

std::uint64_t Buffer::GetWidth(std::uint32_t image) {
    return imageInfo(this, &data_, CORVID2_METHOD(Buffer, GetWidth), image, GenTL::BUFFER_INFO_WIDTH, "Width",
                     "image_width");
}

std::uint64_t Buffer::GetHeight(std::uint32_t image) {
    return imageInfo(this, &data_, CORVID2_METHOD(Buffer, GetHeight), image, GenTL::BUFFER_INFO_HEIGHT, "Height",
                     "image_height");
}

std::uint64_t Buffer::GetXOffset(std::uint32_t image) {
    return imageInfo(this, &data_, CORVID2_METHOD(Buffer, GetXOffset), image, GenTL::BUFFER_INFO_XOFFSET, "XOffset",
                     "image_xoffset");
}

std::uint64_t Buffer::GetYOffset(std::uint32_t image) {
    return imageInfo(this, &data_, CORVID2_METHOD(Buffer, GetYOffset), image, GenTL::BUFFER_INFO_YOFFSET, "YOffset",
                     "image_yoffset");
}

std::uint64_t Buffer::GetXPadding(std::uint32_t image) {
    return imageInfo(this, &data_, CORVID2_METHOD(Buffer, GetXPadding), image, GenTL::BUFFER_INFO_XPADDING, "XPadding",
                     "image_xpadding");
}

std::uint64_t Buffer::GetYPadding(std::uint32_t image) {
    return imageInfo(this, &data_, CORVID2_METHOD(Buffer, GetYPadding), image, GenTL::BUFFER_INFO_YPADDING, "YPadding",
                     "image_ypadding");
}

std::uint64_t Buffer::GetDeliveredImageHeight(std::uint32_t image) {
    return imageInfo(this, &data_, CORVID2_METHOD(Buffer, GetDeliveredImageHeight), image,
                     GenTL::BUFFER_INFO_DELIVERED_IMAGEHEIGHT, "DeliveredImageHeight", "image_height");
}

std::uint64_t Buffer::GetImageOffset(std::uint32_t image) {
    return imageInfo(this, &data_, CORVID2_METHOD(Buffer, GetImageOffset), image, GenTL::BUFFER_INFO_IMAGEOFFSET,
                     "ImageOffset", "image_offset");
}

std::uint64_t Buffer::GetImageLength(std::uint32_t image) {
    return bufferValue<std::uint64_t>(
        this, &data_, CORVID2_METHOD(Buffer, GetImageLength), [&](CBufferObj& object, std::uint64_t& value) {
            const Result code = object.GetImageLength(image, &value);
            if (code == Result::Success)
                CORVID2_TRACE_INFO("%s; GetImageLength; Buffer ImageLength: %" PRIu64 " Index: %u",
                                   object.traceName().c_str(), value, image);
            return code;
        });
}

void* Buffer::GetImageData(std::uint32_t image) {
    return bufferValue<void*>(this, &data_, CORVID2_METHOD(Buffer, GetImageData),
                              [&](CBufferObj& object, void*& value) {
                                  const Result code = object.GetImageData(image, &value);
                                  if (code == Result::Success)
                                      CORVID2_TRACE_INFO("%s; GetImageData; Buffer ImageData %p Index: %u",
                                                         object.traceName().c_str(), value, image);
                                  return code;
                              });
}

String Buffer::GetPixelFormat(std::uint32_t image) {
    const std::string name = bufferValue<std::string>(
        this, &data_, CORVID2_METHOD(Buffer, GetPixelFormat), [&](CBufferObj& object, std::string& value) {
            const Result code = object.GetPixelformat(image, value);
            if (code == Result::Success)
                CORVID2_TRACE_INFO("%s; GetPixelFormat; Buffer PixelFormat: %s Index: %u", object.traceName().c_str(),
                                   value.c_str(), image);
            return code;
        });
    return name.c_str();
}

String Buffer::GetImageType(std::uint32_t image) {
    const std::string name = bufferValue<std::string>(
        this, &data_, CORVID2_METHOD(Buffer, GetImageType), [&](CBufferObj& object, std::string& value) {
            const Result code = object.GetImageType(image, value);
            if (code == Result::Success)
                CORVID2_TRACE_INFO("%s; GetImageType; Image PayloadType: %s Index: %u", object.traceName().c_str(),
                                   value.c_str(), image);
            return code;
        });
    return name.c_str();
}

std::uint32_t Buffer::GetSegmentIndex(std::uint32_t image) {
    return bufferValue<std::uint32_t>(
        this, &data_, CORVID2_METHOD(Buffer, GetSegmentIndex), [&](CBufferObj& object, std::uint32_t& value) {
            const Result code = object.GetSegmentIndex(image, &value);
            if (code == Result::Success)
                CORVID2_TRACE_INFO("%s; GetSegmentIndex; Segment index %u", object.traceName().c_str(), value);
            return code;
        });
}

std::uint64_t Buffer::GetSourceID(std::uint32_t image) {
    return partIdentifier(this, &data_, CORVID2_METHOD(Buffer, GetSourceID), image, "SourceID");
}

std::uint64_t Buffer::GetRegionID(std::uint32_t image) {
    return partIdentifier(this, &data_, CORVID2_METHOD(Buffer, GetRegionID), image, "RegionID");
}

std::uint64_t Buffer::GetGroupID(std::uint32_t image) {
    return partIdentifier(this, &data_, CORVID2_METHOD(Buffer, GetGroupID), image, "GroupID");
}

void* Buffer::GetReserved() {
    CPublicCall<CBufferGuard> call(CORVID2_METHOD(Buffer, GetReserved), kShared, this, &data_);
    return &*call;
}

// ---- BufferList ----------------------------------------------------------------------------------

namespace {

// The list's stream object, counted; NotInitialized "DataStream not opened." while it is closed.
template <class Operation>
Result withListStream(const MethodSite& site, BufferListData& data, Operation&& operation) {
    return withInternal<CDataStreamObjGuard>(
        site, &data.streamObj_,
        [&](CDataStreamObj& stream) {
            if (!stream.isOpen()) return recordFailure(site, Result::NotInitialized, "DataStream not opened.");
            return operation(stream);
        },
        [&site] { return recordFailure(site, Result::NotInitialized, "DataStream not opened."); });
}

// The Buffer `buffer`, acquired for the rest of a list method; "Access to an invalid Buffer
// object." as an invalid parameter when it is unknown (also for null).
class ListedBuffer {
public:
    ListedBuffer(const MethodSite& site, Buffer* buffer) : guard_(site.name) {
        try {
            data_ = guard_.Acquire(buffer, AcquisitionAccess::slot(buffer));
        } catch (const Exceptions::ObjectInvalidException&) {
            failAt(site, Result::InvalidParameter, "Access to an invalid Buffer object.");
        }
    }
    BufferData* operator->() const { return data_; }
    BufferData& operator*() const { return *data_; }

private:
    CBufferGuard guard_;
    BufferData* data_ = nullptr;
};

void queueOperation(BufferList* self, BufferListData* const* slot, const MethodSite& site, GenTL::ACQ_QUEUE_TYPE mode) {
    callGuarded<CBufferListGuard>(site, kSharedChecked, self, slot, [&](BufferListData& data) {
        return withListStream(site, data, [mode](CDataStreamObj& stream) { return stream.queueOperation(mode); });
    });
}

std::uint64_t counter(BufferList* self, BufferListData* const* slot, const MethodSite& site,
                      GenTL::STREAM_INFO_CMD command, const char* label) {
    std::uint64_t value = 0;
    callGuarded<CBufferListGuard>(site, kShared, self, slot, [&](BufferListData& data) {
        return withListStream(site, data, [&](CDataStreamObj& stream) {
            const Result code = traceFailedGetter(stream.infoValue(command, &value), stream.traceName(), site.label);
            if (code == Result::Success)
                CORVID2_TRACE_INFO("%s; %s; DataStream %s: %" PRIu64, stream.traceName().c_str(), site.label, label,
                                   value);
            return code;
        });
    });
    return value;
}

// The Buffers stay with the application; they only forget the list (its mutex is held).
void forgetBuffers(const MethodSite& site, BufferListData& data) {
    for (const auto& entry : data.entries_) {
        try {
            ListedBuffer buffer(site, entry.second);
            buffer->parent_.store(nullptr);
            buffer->list_.store(nullptr);
        } catch (const Exceptions::IException&) {
        }
    }
    data.entries_.clear();
    data.byObject_.clear();
}

// Revokes one listed buffer from `stream` and takes it out of the list; the list's mutex is held.
Result revokeListed(const MethodSite& site, BufferListData& list, CDataStreamObj& stream, BufferData& data,
                    void** privateData) {
    DataStream* parent = data.parent_.exchange(nullptr);
    if (const Result code = stream.RevokeBuffer(data.buffer_, privateData); code != Result::Success) {
        data.parent_.store(parent);
        return code;
    }
    data.list_.store(nullptr);
    list.entries_.erase(data.id_);
    list.byObject_.erase(data.buffer_);
    CORVID2_TRACE_INFO("%s; RevokeBuffer; %s revoked", site.className, data.id_.c_str());
    return Result::Success;
}

}  // namespace

}  // namespace CORVID2

namespace CORVID2::Internal {

void AcquisitionAccess::forgetAll(BufferList* list) {
    const MethodSite site = CORVID2_METHOD(BufferList, clear);
    CPublicCall<CBufferListGuard> call(site, kShared, list, &list->data_);
    std::lock_guard<std::recursive_mutex> lock(call->mutex_);
    forgetBuffers(site, *call);
}

}  // namespace CORVID2::Internal

namespace CORVID2 {

BufferList::BufferList(DataStream* stream) : data_(new BufferListData()) {
    data_->stream_ = stream;
    data_->streamObj_ = *static_cast<CDataStreamObj* const*>(stream->GetReserved());
    registerHolder<CBufferListGuard>(CORVID2_METHOD(BufferList, BufferList), this, data_);
}

BufferList::~BufferList() {
    const MethodSite site = CORVID2_METHOD(BufferList, ~BufferList);
    unregisterHolder<CBufferListGuard>(site, this, &data_, [&site](BufferListData* data) {
        forgetBuffers(site, *data);
        delete data;
    });
}

void BufferList::Add(Buffer* buffer) {
    const MethodSite site = CORVID2_METHOD(BufferList, Add);
    CPublicCall<CBufferListGuard> list(site, kSharedChecked, this, &data_);
    ListedBuffer listed(site, buffer);
    std::lock_guard<std::recursive_mutex> lock(list->mutex_);
    BufferList* previous = nullptr;
    if (!listed->list_.compare_exchange_strong(previous, this) && previous != this)
        failAt(site, Result::InvalidBuffer, "The buffer %s is in the list of another data stream.",
               listed->id_.c_str());
    listed->parent_.store(list->stream_);
    const Result code =
        withListStream(site, *list, [&](CDataStreamObj& stream) { return stream.announceBuffer(listed->buffer_); });
    if (code != Result::Success) {
        if (previous == nullptr) {
            listed->list_.store(nullptr);
            listed->parent_.store(nullptr);
        }
        list.check(code);
    }
    list->entries_[listed->id_] = buffer;
    list->byObject_[listed->buffer_] = buffer;
    CORVID2_TRACE_INFO("%s; Add; %s added", site.className, listed->id_.c_str());
}

void* BufferList::RevokeBuffer(Buffer* buffer) {
    const MethodSite site = CORVID2_METHOD(BufferList, RevokeBuffer);
    if (buffer == nullptr) failAt(site, Result::InvalidParameter, "Invalid Buffer passed");
    CPublicCall<CBufferListGuard> list(site, kSharedChecked, this, &data_);
    ListedBuffer listed(site, buffer);
    std::lock_guard<std::recursive_mutex> lock(list->mutex_);
    if (listed->list_.load() != this)
        failAt(site, Result::InvalidParameter, "The buffer %s is not in this list.", listed->id_.c_str());
    void* privateData = nullptr;
    list.check(withListStream(
        site, *list, [&](CDataStreamObj& stream) { return revokeListed(site, *list, stream, *listed, &privateData); }));
    return privateData;
}

void BufferList::clear() {
    const MethodSite site = CORVID2_METHOD(BufferList, clear);
    CPublicCall<CBufferListGuard> list(site, kSharedChecked, this, &data_);
    std::lock_guard<std::recursive_mutex> lock(list->mutex_);
    while (!list->entries_.empty()) {
        Buffer* buffer = list->entries_.begin()->second;
        ListedBuffer listed(site, buffer);
        list.check(withListStream(
            site, *list, [&](CDataStreamObj& stream) { return revokeListed(site, *list, stream, *listed, nullptr); }));
    }
    list->byObject_.clear();
}

std::size_t BufferList::size() { return BufferListCall(CORVID2_METHOD(BufferList, size), this, &data_).size(); }
BufferList::iterator BufferList::begin() { return iterator(this, 0); }
BufferList::iterator BufferList::end() { return iterator(this, size()); }
BufferList::iterator BufferList::find(const String& id) {
    return iterator(this, BufferListCall(CORVID2_METHOD(BufferList, find), this, &data_).position(id));
}
Buffer* BufferList::operator[](const String& id) {
    return BufferListCall(CORVID2_METHOD(BufferList, operator[]), this, &data_).byId(id);
}
Buffer* BufferList::operator[](std::size_t index) {
    return BufferListCall(CORVID2_METHOD(BufferList, operator[]), this, &data_).byIndex(index);
}

void BufferList::FlushInputToOutputQueue() {
    queueOperation(this, &data_, CORVID2_METHOD(BufferList, FlushInputToOutputQueue), GenTL::ACQ_QUEUE_INPUT_TO_OUTPUT);
}
void BufferList::DiscardOutputBuffers() {
    queueOperation(this, &data_, CORVID2_METHOD(BufferList, DiscardOutputBuffers), GenTL::ACQ_QUEUE_OUTPUT_DISCARD);
}
void BufferList::FlushAllToInputQueue() {
    queueOperation(this, &data_, CORVID2_METHOD(BufferList, FlushAllToInputQueue), GenTL::ACQ_QUEUE_ALL_TO_INPUT);
}
void BufferList::FlushUnqueuedToInputQueue() {
    queueOperation(this, &data_, CORVID2_METHOD(BufferList, FlushUnqueuedToInputQueue),
                   GenTL::ACQ_QUEUE_UNQUEUED_TO_INPUT);
}
void BufferList::DiscardAllBuffers() {
    queueOperation(this, &data_, CORVID2_METHOD(BufferList, DiscardAllBuffers), GenTL::ACQ_QUEUE_ALL_DISCARD);
}

std::uint64_t BufferList::GetDeliveredCount() {
    return counter(this, &data_, CORVID2_METHOD(BufferList, GetDeliveredCount), GenTL::STREAM_INFO_NUM_DELIVERED,
                   "NumDelivered");
}
std::uint64_t BufferList::GetUnderrunCount() {
    return counter(this, &data_, CORVID2_METHOD(BufferList, GetUnderrunCount), GenTL::STREAM_INFO_NUM_UNDERRUN,
                   "NumUnderrun");
}
std::uint64_t BufferList::GetAnnouncedCount() {
    return counter(this, &data_, CORVID2_METHOD(BufferList, GetAnnouncedCount), GenTL::STREAM_INFO_NUM_ANNOUNCED,
                   "NumAnnounced");
}
std::uint64_t BufferList::GetQueuedCount() {
    return counter(this, &data_, CORVID2_METHOD(BufferList, GetQueuedCount), GenTL::STREAM_INFO_NUM_QUEUED,
                   "NumQueued");
}
std::uint64_t BufferList::GetAwaitDeliveryCount() {
    return counter(this, &data_, CORVID2_METHOD(BufferList, GetAwaitDeliveryCount),
                   GenTL::STREAM_INFO_NUM_AWAIT_DELIVERY, "NumAwaitDelivery");
}
std::uint64_t BufferList::GetStartedCount() {
    return counter(this, &data_, CORVID2_METHOD(BufferList, GetStartedCount), GenTL::STREAM_INFO_NUM_STARTED,
                   "NumStarted");
}

}  // namespace CORVID2
