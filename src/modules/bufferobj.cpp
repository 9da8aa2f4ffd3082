// SPDX-License-Identifier: BSD-3-Clause
// A buffer: its memory and segments, its announcement, and the delivered image's values.
#include "modules/bufferobj.h"

#include <corvid2/genapi/interfaces.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "core/last_error.h"
#include "core/pixel_formats.h"
#include "features/genapi_node.h"
#include "gentl/gentl_producer.h"
#include "modules/datastreamobj.h"
#include "modules/deviceobj.h"
#include "trace/trace.h"

namespace corvid2 {

using namespace GenTL;

namespace {

constexpr char kNotInList[] =
    "Function not available, Buffer is not in BufferList. Please first add the Buffer to the BufferList.";

std::string publicTraceName(const std::string& publicId) { return publicId; }

// The commands a revoked user-memory buffer still answers: those that do not describe the live
// queue state, a text or variable data.
bool keptAtRevoke(std::int32_t command) {
    if (command >= BUFFER_INFO_NEW_DATA && command <= BUFFER_INFO_SIZE_FILLED) return false;
    if (command == BUFFER_INFO_PIXELFORMAT_NAMESPACE) return false;
    return command < BUFFER_INFO_FILENAME || command > BUFFER_INFO_DATA_LARGER_THAN_BUFFER;
}

// GenTL's copy-out: with no buffer only the size needed, otherwise at most the caller's size.
void copyOut(const std::vector<std::uint8_t>& bytes, void* buffer, size_t* size) {
    if (buffer != nullptr) std::memcpy(buffer, bytes.data(), std::min(*size, bytes.size()));
    *size = bytes.size();
}

}  // namespace

CBufferObj::CBufferObj(void* userObject, bool currentSize, const std::string& publicId)
    : CGenTLModule("BufferPort", nullptr, "Unknown"),
      userObject_(userObject),
      currentSize_(currentSize),
      userMemory_(nullptr),
      userMemorySize_(0) {
    setTraceName(publicTraceName(publicId));
}

CBufferObj::CBufferObj(void* memory, std::uint64_t size, void* userObject, const std::string& publicId)
    : CGenTLModule("BufferPort", nullptr, "Unknown"),
      userObject_(userObject),
      currentSize_(false),
      userMemory_(memory),
      userMemorySize_(size) {
    setTraceName(publicTraceName(publicId));
    segments_[0] = Segment{memory, size, true};
}

CBufferObj::~CBufferObj() { releaseNodeMap(); }

Result CBufferObj::fail(Result code, const char* method, const char* format, ...) const {
    char text[kMaxLastErrorLength + 1];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    const std::string message =
        std::string("CBufferObj::") + method + "; " + traceName() + "; " + std::to_string(toCode(code)) + "; " + text;
    SetLastErrorText(code, message);
    traceError("%s", message.c_str());
    return code;
}

Result CBufferObj::notInList(const char* method) const { return fail(Result::NotAvailable, method, kNotInList); }

// ---- segments ------------------------------------------------------------------------------------

Result CBufferObj::AddSegment(std::uint32_t index, void* memory, std::uint64_t size) {
    if (memory == nullptr || size == 0)
        return fail(Result::InvalidParameter, "AddSegment", "Invalid parameter. Invalid pointer or size.");
    if (announced())
        return fail(Result::InvalidBuffer, "AddSegment",
                    "Buffer layout modifications forbidden when added to buffer list.");
    segments_[index] = Segment{memory, size, true};
    userSegments_ = true;
    return Result::Success;
}

Result CBufferObj::ensureSegment(std::uint32_t index, std::uint64_t size, void** memory) {
    auto it = segments_.find(index);
    if (it != segments_.end() && !it->second.userOwned && it->second.size < size) {
        // Memory of an earlier announcement that the stream's payload has outgrown.
        void* old = it->second.memory;
        segments_.erase(it);
        it = segments_.end();
        ownedSegments_.erase(std::find_if(ownedSegments_.begin(), ownedSegments_.end(),
                                          [old](const auto& owned) { return owned.get() == old; }));
    }
    if (it == segments_.end()) {
        ownedSegments_.emplace_back(new (std::nothrow) std::uint8_t[size]);
        if (!ownedSegments_.back()) {
            ownedSegments_.pop_back();
            return fail(Result::Error, "ensureSegment", "memory segment with index %u and size %llu could not be added",
                        index, static_cast<unsigned long long>(size));
        }
        it = segments_.emplace(index, Segment{ownedSegments_.back().get(), size, false}).first;
    }
    *memory = it->second.memory;
    return Result::Success;
}

Result CBufferObj::GetSegmentPtr(std::uint32_t index, void** memory) {
    if (memory == nullptr)
        return fail(Result::InvalidParameter, "GetSegmentPtr", "Invalid parameter, segment_ptr is NULL.");
    const auto it = segments_.find(index);
    if (it != segments_.end()) {
        *memory = it->second.memory;
        return Result::Success;
    }
    // Producer memory has one segment, its base address, once announced.
    if (index == 0 && baseAddress_ != nullptr && segments_.empty()) {
        *memory = baseAddress_;
        return Result::Success;
    }
    return fail(Result::NotAvailable, "GetSegmentPtr", "Given segment index %u is not availabe.", index);
}

Result CBufferObj::GetSegmentSize(std::uint32_t index, std::uint64_t* size) {
    if (size == nullptr)
        return fail(Result::InvalidParameter, "GetSegmentSize", "Invalid parameter, segment_size is NULL.");
    const auto it = segments_.find(index);
    if (it != segments_.end()) {
        *size = it->second.size;
        return Result::Success;
    }
    if (index == 0 && baseAddress_ != nullptr && segments_.empty()) return infoValue(BUFFER_INFO_SIZE, size);
    return fail(Result::NotAvailable, "GetSegmentSize", "Given segment index %u is not availabe.", index);
}

Result CBufferObj::IsUserSegment(std::uint32_t index, bool* user) {
    const auto it = segments_.find(index);
    if (it == segments_.end())
        return fail(Result::NotAvailable, "IsUserSegment", "Given segment index %u is not availabe.", index);
    *user = it->second.userOwned;
    return Result::Success;
}

bool CBufferObj::isUserSegment(std::uint32_t index) const {
    const auto it = segments_.find(index);
    return it != segments_.end() && it->second.userOwned;
}

std::uint32_t CBufferObj::segmentSlots() const { return segments_.empty() ? 0 : segments_.rbegin()->first + 1; }

std::size_t CBufferObj::segmentCount() const {
    if (!segments_.empty()) return segments_.size();
    return baseAddress_ != nullptr ? 1 : 0;
}

// ---- announcement --------------------------------------------------------------------------------

void CBufferObj::bind(CGenTLProducer* producer, CDataStreamObj* stream) {
    setProducer("BufferPort", producer);
    genTLMajor_ = stream->genTLVersionMajor();
    genTLMinor_ = stream->genTLVersionMinor();
    stream_.store(stream, std::memory_order_release);
}

Result CBufferObj::SetHandle(BUFFER_HANDLE handle) {
    static constexpr char kMethod[] = "SetHandle";
    if (handle == nullptr) return fail(Result::InvalidParameter, kMethod, "Invalid parameter, buffer handle is NULL");
    handle_ = handle;
    char name[48];
    std::snprintf(name, sizeof name, "BufferObj_%p", static_cast<void*>(this));
    setTraceName(name);
    if (const GC_ERROR code = initPort(handle); code != GC_ERR_SUCCESS) {
        traceWarning(
            "%s; SetHandle; Port interface not initialized (%d). Maybe the access to GenICam nodes not possible.",
            traceName().c_str(), code);
        return fail(Result::LowLevelError, kMethod, "Port interface not initialized (%d)", code);
    }
    if (const Result code = initializeNodeInterface(); code != Result::Success) {
        traceWarning(
            "%s; SetHandle; Node interface not initialized (%d). Maybe the access to GenICam nodes not possible.",
            traceName().c_str(), toCode(code));
        return code;
    }
    if (userMemory_ == nullptr && !userSegments_) {
        void* base = nullptr;
        size_t size = sizeof base;
        INFO_DATATYPE type = 0;
        if (producerInfo(BUFFER_INFO_BASE, &type, &base, &size) != GC_ERR_SUCCESS)
            return fail(Result::LowLevelError, kMethod, "Could not get buffer address from producer.");
        baseAddress_ = base;
    }
    return Result::Success;
}

void CBufferObj::reset() {
    // The memory the chunk features read goes with the announcement.
    if (chunkMap_) chunkMap_->detachChunkBuffer();
    stream_.store(nullptr, std::memory_order_release);
    handle_ = nullptr;
    baseAddress_ = nullptr;
    imageCount_.store(0, std::memory_order_release);
    containsChunk_.store(false, std::memory_order_release);
    releaseNodeMap();
    resetModule();
}

void CBufferObj::prepareRevoke() {
    infoCache_.clear();
    pixelFormats_.clear();
    if (userMemory_ != nullptr && payloadType() != PAYLOAD_TYPE_GENDC) {
        for (std::int32_t command = BUFFER_INFO_BASE; command <= BUFFER_INFO_CONTAINS_CHUNKDATA; ++command) {
            if (!keptAtRevoke(command)) continue;
            INFO_DATATYPE type = 0;
            size_t size = 0;
            if (producerInfo(command, &type, nullptr, &size) != GC_ERR_SUCCESS) continue;
            CachedInfo cached;
            cached.bytes.resize(size);
            if (producerInfo(command, &cached.type, cached.bytes.data(), &size) != GC_ERR_SUCCESS) continue;
            cached.bytes.resize(size);
            infoCache_[command] = std::move(cached);
        }
    }
    for (std::uint32_t image = 0; image < imageCount(); ++image) {
        std::string name;
        if (GetPixelformat(image, name) == Result::Success) pixelFormats_.push_back(name);
    }
}

// ---- queueing and delivery -----------------------------------------------------------------------

Result CBufferObj::QueueBuffer() {
    static constexpr char kMethod[] = "QueueBuffer";
    CDataStreamObj* stream = this->stream();
    if (stream == nullptr) return fail(Result::NotAvailable, kMethod, kNotInList);
    if (handle_ == nullptr) return fail(Result::Error, kMethod, "Buffer handle not valid");
    if (getProducer() == nullptr) return fail(Result::Error, kMethod, "Producer handle not valid");
    if (const GC_ERROR result = getProducer()->DSQueueBuffer(stream->getHandle(), handle_); result != GC_ERR_SUCCESS)
        return fail(Result::LowLevelError, kMethod, "DSQueueBuffer failed (buffer object %p): %s",
                    static_cast<void*>(this), failureDetails(result).c_str());
    CORVID2_TRACE_INFO("%s; QueueBuffer; buffer object %p queued", traceName().c_str(), static_cast<void*>(this));
    markQueued();
    return Result::Success;
}

void CBufferObj::markQueued() {
    if (CDataStreamObj* stream = this->stream()) {
        genTLMajor_ = stream->genTLVersionMajor();
        genTLMinor_ = stream->genTLVersionMinor();
    }
    payloadType_.store(0, std::memory_order_release);
    imageCount_.store(0, std::memory_order_release);
    sizeFilled_.store(0, std::memory_order_release);
    incomplete_.store(true, std::memory_order_release);
    containsChunk_.store(false, std::memory_order_release);
}

// What a delivery needs to know, read with one stacked query where the producer offers it: that is
// one producer call (and one lock inside it) per image instead of five.
struct CBufferObj::Delivery {
    std::uint64_t payloadType = 0;
    std::uint64_t sizeFilled = 0;
    std::uint8_t incomplete = 0, containsChunk = 0, imagePresent = 0;
    GC_ERROR payloadResult = GC_ERR_ERROR, incompleteResult = GC_ERR_ERROR, filledResult = GC_ERR_ERROR,
             chunkResult = GC_ERR_ERROR, presentResult = GC_ERR_ERROR;
};

void CBufferObj::readDelivery(Delivery& d) {
    struct Query {
        BUFFER_INFO_CMD command;
        void* value;
        size_t size;
        GC_ERROR* result;
    };
    const Query queries[] = {
        {BUFFER_INFO_PAYLOADTYPE, &d.payloadType, sizeof d.payloadType, &d.payloadResult},
        {BUFFER_INFO_IS_INCOMPLETE, &d.incomplete, sizeof d.incomplete, &d.incompleteResult},
        {BUFFER_INFO_SIZE_FILLED, &d.sizeFilled, sizeof d.sizeFilled, &d.filledResult},
        {BUFFER_INFO_CONTAINS_CHUNKDATA, &d.containsChunk, sizeof d.containsChunk, &d.chunkResult},
        {BUFFER_INFO_IMAGEPRESENT, &d.imagePresent, sizeof d.imagePresent, &d.presentResult},
    };
    constexpr std::size_t kCount = sizeof queries / sizeof queries[0];
    CDataStreamObj* stream = this->stream();
    if (stackedInfo_ && stream != nullptr && getProducer() != nullptr) {
        DS_BUFFER_INFO_STACKED stacked[kCount];
        for (std::size_t index = 0; index < kCount; ++index)
            stacked[index] = DS_BUFFER_INFO_STACKED{queries[index].command, 0, queries[index].value,
                                                    queries[index].size, GC_ERR_ERROR};
        const GC_ERROR result = getProducer()->DSGetBufferInfoStacked(stream->getHandle(), handle_, stacked, kCount);
        if (result == GC_ERR_SUCCESS) {
            for (std::size_t index = 0; index < kCount; ++index) *queries[index].result = stacked[index].iResult;
            return;
        }
        // A producer before GenTL 1.6 has no stacked query; it is not asked again.
        if (result == GC_ERR_NOT_IMPLEMENTED) stackedInfo_ = false;
    }
    for (const Query& query : queries) {
        INFO_DATATYPE type = 0;
        size_t size = query.size;
        *query.result = producerInfo(query.command, &type, query.value, &size);
    }
}

void CBufferObj::deliver() {
    averageNumber_.store(1, std::memory_order_release);
    Delivery d;
    readDelivery(d);
    std::uint32_t payload = PAYLOAD_TYPE_UNKNOWN;
    if (d.payloadResult == GC_ERR_SUCCESS)
        payload = mapPayloadType(d.payloadType, d.chunkResult == GC_ERR_SUCCESS && d.containsChunk != 0);
    else
        fail(Result::Error, "DeterminePayloadType", "DeterminePayloadType failed with an unexpected error.");
    payloadType_.store(payload, std::memory_order_release);
    const bool incomplete = d.incompleteResult == GC_ERR_SUCCESS && d.incomplete != 0;
    incomplete_.store(incomplete, std::memory_order_release);
    sizeFilled_.store(d.filledResult == GC_ERR_SUCCESS ? d.sizeFilled : 0, std::memory_order_release);
    if (incomplete) return;

    const bool containsChunk = d.chunkResult == GC_ERR_SUCCESS
                                   ? d.containsChunk != 0
                                   : payload == PAYLOAD_TYPE_CHUNK_DATA || payload >= PAYLOAD_TYPE_CUSTOM_ID;
    containsChunk_.store(containsChunk, std::memory_order_release);
    if (containsChunk) updateChunkLayout();

    // A producer that cannot tell whether an image is present leaves it to the payload type.
    bool present = d.presentResult == GC_ERR_SUCCESS && d.imagePresent != 0;
    if (d.presentResult != GC_ERR_SUCCESS && infoValue(BUFFER_INFO_IMAGEPRESENT, &present) != Result::Success) {
        fail(Result::Error, "DetermineImageCount", "DetermineImageCount failed with an unexpected error.");
        present = false;
    }
    imageCount_.store(present ? 1 : 0, std::memory_order_release);
}

std::uint32_t CBufferObj::determinePayloadType() {
    std::uint64_t value = 0;
    INFO_DATATYPE type = 0;
    size_t size = sizeof value;
    if (producerInfo(BUFFER_INFO_PAYLOADTYPE, &type, &value, &size) != GC_ERR_SUCCESS) {
        fail(Result::Error, "DeterminePayloadType", "DeterminePayloadType failed with an unexpected error.");
        return PAYLOAD_TYPE_UNKNOWN;
    }
    std::uint8_t chunk = 0;
    size = sizeof chunk;
    const bool containsChunk = value == PAYLOAD_TYPE_JPEG &&
                               producerInfo(BUFFER_INFO_CONTAINS_CHUNKDATA, &type, &chunk, &size) == GC_ERR_SUCCESS &&
                               chunk != 0;
    return mapPayloadType(value, containsChunk);
}

std::uint32_t CBufferObj::mapPayloadType(std::uint64_t value, bool containsChunk) const {
    if (value == PAYLOAD_TYPE_JPEG && containsChunk) return PAYLOAD_TYPE_CHUNK_DATA;
    // GenTL 1.5 named chunk-only payloads apart; older consumers know them as chunk data.
    const bool genTL15 = genTLMajor_ > 1 || (genTLMajor_ == 1 && genTLMinor_ >= 5);
    if (value == PAYLOAD_TYPE_CHUNK_ONLY && genTL15) return PAYLOAD_TYPE_CHUNK_DATA;
    return static_cast<std::uint32_t>(value);
}

bool CBufferObj::isImageLike(std::uint32_t type) { return type == PAYLOAD_TYPE_IMAGE || type == PAYLOAD_TYPE_JPEG; }

std::string CBufferObj::payloadTypeName(std::uint32_t type) {
    static constexpr const char* kNames[] = {"Unknown",  "Image", "RawData",   "File",           "ChunkData", "Jpeg",
                                             "Jpeg2000", "H264",  "ChunkOnly", "DeviceSpecific", "Multipart", "GenDC"};
    if (type < sizeof kNames / sizeof kNames[0]) return kNames[type];
    if (type >= PAYLOAD_TYPE_CUSTOM_ID) return "CustomID_" + std::to_string(type);
    return "Unknown";
}

// ---- information ---------------------------------------------------------------------------------

GC_ERROR CBufferObj::producerInfo(BUFFER_INFO_CMD command, INFO_DATATYPE* type, void* buffer, size_t* size) const {
    CDataStreamObj* stream = this->stream();
    if (stream == nullptr || getProducer() == nullptr || handle_ == nullptr) return GC_ERR_NOT_INITIALIZED;
    size_t handed = buffer != nullptr ? *size : 0;
    const GC_ERROR result =
        getProducer()->DSGetBufferInfo(stream->getHandle(), handle_, command, type, buffer, &handed);
    if (result == GC_ERR_SUCCESS) *size = handed;
    return result;
}

namespace {

// The chunk feature that stands in for a geometry command the producer cannot answer.
const char* chunkGeometryFeature(BUFFER_INFO_CMD command) {
    switch (command) {
        case BUFFER_INFO_WIDTH:
            return "ChunkWidth";
        case BUFFER_INFO_HEIGHT:
            return "ChunkHeight";
        case BUFFER_INFO_XOFFSET:
            return "ChunkOffsetX";
        case BUFFER_INFO_YOFFSET:
            return "ChunkOffsetY";
        default:
            return nullptr;
    }
}

}  // namespace

Result CBufferObj::GetBufferInfo(BUFFER_INFO_CMD command, INFO_DATATYPE* type, void* buffer, size_t* size) {
    static constexpr char kMethod[] = "GetBufferInfo";
    if (type == nullptr || size == nullptr)
        return fail(Result::InvalidParameter, kMethod, "Invalid parameter, iType or iSize is NULL");
    if (buffer != nullptr && *size == 0)
        return fail(Result::InvalidParameter, kMethod, "Invalid parameter, iSize is 0");
    const bool userBase = userMemory_ != nullptr && (command == BUFFER_INFO_BASE || command == BUFFER_INFO_SIZE);
    if (userBase) {
        std::vector<std::uint8_t> bytes(sizeof(std::uint64_t));
        if (command == BUFFER_INFO_BASE) {
            *type = INFO_DATATYPE_PTR;
            std::memcpy(bytes.data(), &userMemory_, sizeof userMemory_);
            bytes.resize(sizeof userMemory_);
        } else {
            *type = INFO_DATATYPE_SIZET;
            const size_t memorySize = static_cast<size_t>(userMemorySize_);
            std::memcpy(bytes.data(), &memorySize, sizeof memorySize);
            bytes.resize(sizeof memorySize);
        }
        copyOut(bytes, buffer, size);
        return Result::Success;
    }
    if (!announced()) {
        const auto cached = infoCache_.find(command);
        if (cached == infoCache_.end()) return notInList(kMethod);
        *type = cached->second.type;
        copyOut(cached->second.bytes, buffer, size);
        return Result::Success;
    }
    GC_ERROR result = producerInfo(command, type, buffer, size);
    if (result == GC_ERR_SUCCESS) {
        if (command == BUFFER_INFO_PAYLOADTYPE && buffer != nullptr && *size >= sizeof(std::uint64_t)) {
            const std::uint64_t mapped = payloadType() != 0 ? payloadType() : determinePayloadType();
            std::memcpy(buffer, &mapped, sizeof mapped);
        }
        return Result::Success;
    }
    // The geometry of an image whose producer does not report it comes with its chunks.
    if (const char* feature = chunkGeometryFeature(command)) {
        std::int64_t value = 0;
        if (const Result code = GetBufferInfoFromChunk(feature, &value); code != Result::Success) return code;
        const size_t number = static_cast<size_t>(value);
        std::vector<std::uint8_t> bytes(sizeof number);
        std::memcpy(bytes.data(), &number, sizeof number);
        *type = INFO_DATATYPE_SIZET;
        copyOut(bytes, buffer, size);
        return Result::Success;
    }
    // A chunk-only payload says in its chunks whether it carries an image.
    if (command == BUFFER_INFO_IMAGEPRESENT &&
        (payloadType() == PAYLOAD_TYPE_CHUNK_ONLY || payloadType() == PAYLOAD_TYPE_CHUNK_DATA)) {
        std::int64_t value = 0;
        std::vector<std::uint8_t> bytes{
            static_cast<std::uint8_t>(GetBufferInfoFromChunk("ChunkImage", &value) == Result::Success && value != 0)};
        *type = INFO_DATATYPE_BOOL8;
        copyOut(bytes, buffer, size);
        return Result::Success;
    }
    // The image-like payloads answer what a producer may leave out.
    if (command == BUFFER_INFO_IMAGEPRESENT && isImageLike(payloadType())) {
        std::vector<std::uint8_t> bytes{1};
        *type = INFO_DATATYPE_BOOL8;
        copyOut(bytes, buffer, size);
        return Result::Success;
    }
    if (command == BUFFER_INFO_IMAGEOFFSET && isImageLike(payloadType())) {
        std::vector<std::uint8_t> bytes(sizeof(size_t), 0);
        *type = INFO_DATATYPE_SIZET;
        copyOut(bytes, buffer, size);
        return Result::Success;
    }
    if (result == GC_ERR_NOT_AVAILABLE || result == GC_ERR_NOT_IMPLEMENTED)
        return fail(Result::NotAvailable, kMethod, "DSGetBufferInfo command %d is not available: %s",
                    static_cast<int>(command), failureDetails(result).c_str());
    return fail(Result::LowLevelError, kMethod, "DSGetBufferInfo command %d failed: %s", static_cast<int>(command),
                failureDetails(result).c_str());
}

template <class Value>
Result CBufferObj::infoValue(BUFFER_INFO_CMD command, Value* value) {
    INFO_DATATYPE type = 0;
    std::uint8_t bytes[sizeof(std::uint64_t)] = {};
    size_t handed = sizeof bytes;
    if (const Result code = GetBufferInfo(command, &type, bytes, &handed); code != Result::Success) return code;
    // Producers answer booleans in one byte and numbers in the width of their data type.
    if (handed == 1) {
        *value = static_cast<Value>(bytes[0]);
    } else {
        std::uint64_t wide = 0;
        std::memcpy(&wide, bytes, std::min(handed, sizeof wide));
        *value = static_cast<Value>(wide);
    }
    return Result::Success;
}

template Result CBufferObj::infoValue<bool>(BUFFER_INFO_CMD, bool*);
template Result CBufferObj::infoValue<std::uint64_t>(BUFFER_INFO_CMD, std::uint64_t*);

Result CBufferObj::infoText(BUFFER_INFO_CMD command, std::string& text) {
    INFO_DATATYPE type = 0;
    size_t size = 0;
    if (const Result code = GetBufferInfo(command, &type, nullptr, &size); code != Result::Success) return code;
    std::string value(size, '\0');
    if (size > 0) {
        if (const Result code = GetBufferInfo(command, &type, value.data(), &size); code != Result::Success)
            return code;
    }
    text = value.c_str();
    return Result::Success;
}

Result CBufferObj::isIncomplete(bool* incomplete) {
    if (!announced()) return fail(Result::InvalidBuffer, "IsIncomplete", kNotInList);
    *incomplete = incomplete_.load(std::memory_order_acquire);
    return Result::Success;
}

Result CBufferObj::sizeFilled(std::uint64_t* size) {
    if (!announced()) return fail(Result::InvalidBuffer, "SizeFilled", kNotInList);
    *size = sizeFilled_.load(std::memory_order_acquire);
    return Result::Success;
}

// ---- per image -----------------------------------------------------------------------------------

Result CBufferObj::checkImage(std::uint32_t image, const void* out, const char* method, const char* valueName) {
    if (out == nullptr) return fail(Result::InvalidParameter, method, "Invalid parameter, %s is NULL.", valueName);
    // A revoked user-memory buffer still answers its snapshot for the images it had; one that was
    // never in a stream has nothing to tell.
    if (!announced() && infoCache_.empty() && pixelFormats_.empty()) return notInList(method);
    const std::uint32_t count = announced() ? imageCount() : static_cast<std::uint32_t>(pixelFormats_.size());
    if (image >= count) return fail(Result::NotAvailable, method, "Given image index %u is not available.", image);
    return Result::Success;
}

Result CBufferObj::imageValue(std::uint32_t image, BUFFER_INFO_CMD command, const char* method, const char* valueName,
                              std::uint64_t* value) {
    if (const Result code = checkImage(image, value, method, valueName); code != Result::Success) return code;
    const Result code = infoValue(command, value);
    if (code == Result::Success || code == Result::NotAvailable) return code;
    return fail(code, method, "%s failed with an unexpected error.", method);
}

Result CBufferObj::GetImageLength(std::uint32_t image, std::uint64_t* length) {
    static constexpr char kMethod[] = "GetImageLength";
    if (const Result code = checkImage(image, length, kMethod, "image_length"); code != Result::Success) return code;
    std::uint64_t offset = 0;
    if (!isImageLike(payloadType())) {
        // An image among chunks is the chunk that starts where the image does.
        if (containsChunk() && infoValue(BUFFER_INFO_IMAGEOFFSET, &offset) == Result::Success) {
            for (const genapi::SingleChunkData_t& chunk : chunks_) {
                if (chunk.ChunkOffset != static_cast<std::ptrdiff_t>(offset)) continue;
                *length = chunk.ChunkLength;
                return Result::Success;
            }
        }
        return fail(Result::NotAvailable, kMethod, "Image length is only available for image and jpeg payload types.");
    }
    // The image fills the delivered bytes after its offset.
    if (const Result code = infoValue(BUFFER_INFO_IMAGEOFFSET, &offset); code != Result::Success) return code;
    const std::uint64_t filled = sizeFilled_.load(std::memory_order_acquire);
    *length = filled > offset ? filled - offset : 0;
    return Result::Success;
}

Result CBufferObj::GetImageData(std::uint32_t image, void** data) {
    static constexpr char kMethod[] = "GetImageData";
    if (const Result code = checkImage(image, data, kMethod, "image_data"); code != Result::Success) return code;
    void* base = nullptr;
    if (const Result code = GetSegmentPtr(0, &base); code != Result::Success) return code;
    std::uint64_t offset = 0;
    if (infoValue(BUFFER_INFO_IMAGEOFFSET, &offset) != Result::Success) offset = 0;
    *data = static_cast<std::uint8_t*>(base) + offset;
    return Result::Success;
}

Result CBufferObj::GetPixelformat(std::uint32_t image, std::string& name) {
    static constexpr char kMethod[] = "GetPixelformat";
    if (const Result code = checkImage(image, &name, kMethod, "pixelformat"); code != Result::Success) return code;
    if (!announced()) {
        name = pixelFormats_[image];
        return Result::Success;
    }
    std::uint64_t value = 0;
    if (const Result code = infoValue(BUFFER_INFO_PIXELFORMAT, &value); code != Result::Success) return code;
    if (const char* known = pixelFormatName(value)) {
        name = known;
        return Result::Success;
    }
    return fail(Result::NotAvailable, kMethod, "pixelformat: %llu index: %u (0x%llx) buffer object %p",
                static_cast<unsigned long long>(value), image, static_cast<unsigned long long>(value),
                static_cast<const void*>(this));
}

Result CBufferObj::GetSegmentIndex(std::uint32_t image, std::uint32_t* segment) {
    static constexpr char kMethod[] = "GetSegmentIndex";
    if (const Result code = checkImage(image, segment, kMethod, "segment_index"); code != Result::Success) return code;
    if (payloadType() == PAYLOAD_TYPE_GENDC)
        return fail(Result::NotImplemented, kMethod, "GenDC part descriptions are not supported.");
    *segment = 0;
    return Result::Success;
}

Result CBufferObj::GetImageType(std::uint32_t image, std::string& name) {
    static constexpr char kMethod[] = "GetImageType";
    if (const Result code = checkImage(image, &name, kMethod, "image_type"); code != Result::Success) return code;
    if (payloadType() == PAYLOAD_TYPE_GENDC)
        return fail(Result::NotImplemented, kMethod, "GenDC part descriptions are not supported.");
    name = payloadTypeName(payloadType());
    return Result::Success;
}

Result CBufferObj::partIdentifier(std::uint32_t image, const char* method, const char* what, std::uint64_t* value) {
    if (const Result code = checkImage(image, value, method, what); code != Result::Success) return code;
    if (payloadType() == PAYLOAD_TYPE_GENDC)
        return fail(Result::NotImplemented, method, "GenDC part descriptions are not supported.");
    return fail(Result::NotAvailable, method, "%s is only available for GenDC payloads.", what);
}

Result CBufferObj::hostTimestamp(std::uint64_t* value) {
    static constexpr char kMethod[] = "GetHostTimestamp";
    static constexpr char kFeature[] = "HostTimestamp";
    if (value == nullptr) return fail(Result::InvalidParameter, kMethod, "Invalid parameter, host_timestamp is NULL.");
    if (!announced()) return notInList(kMethod);
    genapi::INodeMap* map = engineMap();
    if (map == nullptr) return fail(Result::NotAvailable, kMethod, "Feature %s, no buffer node map.", kFeature);
    genapi::CIntegerPtr node = map->GetNode(kFeature);
    if (!node.IsValid())
        return fail(Result::NotAvailable, kMethod, "Feature %s not supported by producer buffer xml.", kFeature);
    try {
        *value = static_cast<std::uint64_t>(node->GetValue());
    } catch (const genapi::GenericException& error) {
        return fail(Result::Error, kMethod, "%s", error.GetDescription());
    }
    return Result::Success;
}

// ---- chunks --------------------------------------------------------------------------------------

void CBufferObj::updateChunkLayout() {
    static constexpr char kWarning[] =
        "%s; GetFilledBuffer; buffer management warning - creating new chunk layout failed for buffer handle %p. "
        "Chunk not available for this buffer.";
    CDataStreamObj* stream = this->stream();
    CRemoteDeviceObj* remote = stream != nullptr ? stream->device().remoteDevice() : nullptr;
    void* base = nullptr;
    if (remote == nullptr || GetSegmentPtr(0, &base) != Result::Success) {
        traceWarning(kWarning, traceName().c_str(), handle_);
        return;
    }
    auto* data = static_cast<std::uint8_t*>(base);
    // A layout ID stands for the places of the chunks: while it and the payload type stay, only the
    // data is new, and the producer is not asked for the descriptors of every image.
    std::uint64_t layout = 0;
    const bool layoutKnown = infoValue(BUFFER_INFO_CHUNKLAYOUTID, &layout) == Result::Success;
    const bool samePayload = chunkMap_ != nullptr && payloadType() == chunkPayloadType_;
    if (samePayload && layoutKnown && chunkLayoutKnown_ && layout == chunkLayoutId_) {
        chunkMap_->updateChunkBuffer(data);
        return;
    }
    size_t count = 0;
    std::vector<SINGLE_CHUNK_DATA> raw;
    GC_ERROR result = getProducer()->DSGetBufferChunkData(stream->getHandle(), handle_, nullptr, &count);
    if (result == GC_ERR_SUCCESS && count != 0) {
        raw.resize(count);
        result = getProducer()->DSGetBufferChunkData(stream->getHandle(), handle_, raw.data(), &count);
    }
    if (result != GC_ERR_SUCCESS) {
        traceWarning(kWarning, traceName().c_str(), handle_);
        return;
    }
    std::vector<genapi::SingleChunkData_t> chunks;
    for (std::size_t index = 0; index < count && index < raw.size(); ++index)
        chunks.push_back(genapi::SingleChunkData_t{raw[index].ChunkID, raw[index].ChunkOffset, raw[index].ChunkLength});
    // Without a layout ID the descriptors themselves tell whether the layout changed.
    const auto sameChunk = [](const genapi::SingleChunkData_t& a, const genapi::SingleChunkData_t& b) {
        return a.ChunkID == b.ChunkID && a.ChunkOffset == b.ChunkOffset && a.ChunkLength == b.ChunkLength;
    };
    if (samePayload && !layoutKnown &&
        std::equal(chunks.begin(), chunks.end(), chunks_.begin(), chunks_.end(), sameChunk)) {
        chunkMap_->updateChunkBuffer(data);
        return;
    }
    try {
        if (chunkMap_ == nullptr) chunkMap_ = std::make_unique<IGenAPI>();
        chunkMap_->detachChunkBuffer();
        chunkMap_->attachChunkMap(remote);
        chunks_ = std::move(chunks);
        chunkMap_->attachChunkBuffer(data, chunks_.data(), static_cast<std::int64_t>(chunks_.size()));
        chunkLayoutId_ = layout;
        chunkLayoutKnown_ = layoutKnown;
        chunkPayloadType_ = payloadType();
    } catch (const CGenAPIException&) {
        traceWarning(kWarning, traceName().c_str(), handle_);
    }
}

Result CBufferObj::GetBufferInfoFromChunk(const char* name, std::int64_t* value) {
    static constexpr char kMethod[] = "GetBufferInfoFromChunk";
    genapi::INodeMap* map = chunkMap_ != nullptr ? chunkMap_->engineMap() : nullptr;
    if (map == nullptr || !containsChunk()) return fail(Result::InvalidBuffer, kMethod, "ChunkNodeMap not available.");
    genapi::CIntegerPtr feature = map->GetNode(name);
    if (!feature.IsValid()) return fail(Result::InvalidBuffer, kMethod, "Feature %s in ChunkNodeMap not found.", name);
    try {
        *value = feature->GetValue();
    } catch (const genapi::GenericException& error) {
        return fail(Result::InvalidBuffer, kMethod, "%s", error.GetDescription());
    }
    return Result::Success;
}

}  // namespace corvid2
