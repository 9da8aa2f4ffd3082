// SPDX-License-Identifier: BSD-3-Clause
// CBufferObj: one block of image memory behind a public Buffer, and what it knows of the image delivered into it.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <corvid2/genapi/adapters.h>

#include "core/result_codes.h"
#include "modules/gentl_module.h"

namespace corvid2 {

class CDataStreamObj;

// Made by the application (through its public Buffer), it becomes a GenTL buffer only while it is
// announced to an open stream. The stream's lock serialises announce, revoke, delivery and the
// flush marking; reading values of a delivered buffer takes no lock. Failures are recorded as
// "CBufferObj::<method>; <trace name>; <code>; <text>".
class CBufferObj : public CGenTLModule {
public:
    // Memory allocated by the producer: at the camera's largest size, or with `currentSize` at its
    // current size plus 1000 bytes.
    CBufferObj(void* userObject, bool currentSize, const std::string& publicId);
    // The application's memory.
    CBufferObj(void* memory, std::uint64_t size, void* userObject, const std::string& publicId);
    ~CBufferObj() override;

    void* getHandle() const override { return handle_; }

    // ---- what the buffer brings to its announcement
    bool currentSize() const { return currentSize_; }
    bool hasUserMemory() const { return userMemory_ != nullptr; }
    bool hasUserSegments() const { return userSegments_; }
    void* userMemory() const { return userMemory_; }
    std::uint64_t userMemorySize() const { return userMemorySize_; }
    void* userObject() const { return userObject_; }

    // ---- segments
    // The application's memory as segment `index` of a composite buffer; only while not announced.
    Result AddSegment(std::uint32_t index, void* memory, std::uint64_t size);
    // The memory of segment `index` for a composite announcement: the application's, or memory of
    // `size` bytes that the library allocates for an index the application left out.
    Result ensureSegment(std::uint32_t index, std::uint64_t size, void** memory);
    Result GetSegmentPtr(std::uint32_t index, void** memory);
    Result GetSegmentSize(std::uint32_t index, std::uint64_t* size);
    Result IsUserSegment(std::uint32_t index, bool* user);
    std::size_t segmentCount() const;
    // Quiet forms for the announcement: whether `index` is the application's memory, and one past
    // the highest segment index.
    bool isUserSegment(std::uint32_t index) const;
    std::uint32_t segmentSlots() const;

    // ---- announcement (by the stream, under its lock)
    void bind(CGenTLProducer* producer, CDataStreamObj* stream);
    // Stores the handle, reads the buffer module's port and description and the base address.
    Result SetHandle(GenTL::BUFFER_HANDLE handle);
    // Leaves the stream: unbound, the handle and the delivery state gone, the node map released.
    void reset();
    bool announced() const { return stream_.load(std::memory_order_acquire) != nullptr; }
    CDataStreamObj* stream() const { return stream_.load(std::memory_order_acquire); }
    // Keeps what the buffer should still answer once revoked (geometry, format of user memory).
    void prepareRevoke();

    // ---- queueing and delivery
    // DSQueueBuffer, then marked queued.
    Result QueueBuffer();
    // The delivered state cleared for the next image.
    void markQueued();
    // Reads and keeps the delivered image's payload type, incomplete flag, size filled, chunk
    // presence and image count.
    void deliver();

    // ---- information
    // The one generic query: the info cache while not announced, the producer (with the fallbacks
    // for image presence, offset and payload type) while announced. GenTL copy-out rules.
    Result GetBufferInfo(GenTL::BUFFER_INFO_CMD command, GenTL::INFO_DATATYPE* type, void* buffer, size_t* size);
    // A fixed-size value (booleans as one byte, numbers as wide as the producer answers) or a text.
    template <class Value>
    Result infoValue(GenTL::BUFFER_INFO_CMD command, Value* value);
    Result infoText(GenTL::BUFFER_INFO_CMD command, std::string& text);
    // Cached at delivery; InvalidBuffer while the buffer is not announced.
    Result isIncomplete(bool* incomplete);
    Result sizeFilled(std::uint64_t* size);
    std::uint32_t imageCount() const { return imageCount_.load(std::memory_order_acquire); }
    bool containsChunk() const { return containsChunk_.load(std::memory_order_acquire); }
    std::uint32_t payloadType() const { return payloadType_.load(std::memory_order_acquire); }
    // How many images a companion component averaged into this buffer; 1 at every delivery.
    std::uint32_t averageNumber() const { return averageNumber_.load(std::memory_order_acquire); }
    void setAverageNumber(std::uint32_t number) { averageNumber_.store(number, std::memory_order_release); }
    // "Image", "ChunkData", ... "CustomID_<n>" from 1000 on, "Unknown" for anything else.
    static std::string payloadTypeName(std::uint32_t type);

    // ---- per image (index below the image count)
    // A value of image `image` from `command` (width, height, offsets, paddings, delivered height,
    // image offset); `valueName` names it in the null-pointer message ("image_width").
    Result imageValue(std::uint32_t image, GenTL::BUFFER_INFO_CMD command, const char* method, const char* valueName,
                      std::uint64_t* value);
    Result GetImageLength(std::uint32_t image, std::uint64_t* length);
    Result GetImageData(std::uint32_t image, void** data);
    Result GetPixelformat(std::uint32_t image, std::string& name);
    // The segment that holds image `image`: 0 unless a GenDC payload spreads its parts over
    // segments.
    Result GetSegmentIndex(std::uint32_t image, std::uint32_t* segment);
    // The payload type name of image `image`.
    Result GetImageType(std::uint32_t image, std::string& name);
    // The source, region or group ID of image `image` (`what` names it: "SourceID"). Only the parts
    // of a GenDC container carry them.
    Result partIdentifier(std::uint32_t image, const char* method, const char* what, std::uint64_t* value);

    // The buffer module's "HostTimestamp", read at the call: the host's time of the delivery.
    Result hostTimestamp(std::uint64_t* value);

    // ---- chunks
    // The map of the camera's features over this buffer's chunk data: made at the first delivery
    // with chunks, made again when the chunk layout or the payload type changes, pointed at each
    // new delivery otherwise. Null before. Read it under the stream's lock.
    IGenAPI* chunkMap() const { return chunkMap_.get(); }
    // The value of chunk feature `name` ("ChunkWidth"); InvalidBuffer "ChunkNodeMap not
    // available." or "Feature <name> in ChunkNodeMap not found.".
    Result GetBufferInfoFromChunk(const char* name, std::int64_t* value);

private:
    struct Segment {
        void* memory = nullptr;
        std::uint64_t size = 0;
        bool userOwned = false;
    };
    struct CachedInfo {
        GenTL::INFO_DATATYPE type = 0;
        std::vector<std::uint8_t> bytes;
    };

    // Records "CBufferObj::<method>; <trace name>; <code>; <text>" and returns `code`.
    Result fail(Result code, const char* method, const char* format, ...) const __attribute__((format(printf, 4, 5)));
    Result notInList(const char* method) const;
    // DSGetBufferInfo of the announced buffer.
    GenTL::GC_ERROR producerInfo(GenTL::BUFFER_INFO_CMD command, GenTL::INFO_DATATYPE* type, void* buffer,
                                 size_t* size) const;
    Result checkImage(std::uint32_t image, const void* out, const char* method, const char* valueName);
    struct Delivery;
    void readDelivery(Delivery& delivery);
    std::uint32_t determinePayloadType();
    // The producer's payload type as this library reports it.
    std::uint32_t mapPayloadType(std::uint64_t value, bool containsChunk) const;
    static bool isImageLike(std::uint32_t type);

    void* const userObject_;
    const bool currentSize_;
    void* const userMemory_;
    const std::uint64_t userMemorySize_;
    bool userSegments_ = false;
    std::map<std::uint32_t, Segment> segments_;
    std::vector<std::unique_ptr<std::uint8_t[]>> ownedSegments_;

    std::atomic<CDataStreamObj*> stream_{nullptr};
    GenTL::BUFFER_HANDLE handle_ = nullptr;
    void* baseAddress_ = nullptr;
    std::uint32_t genTLMajor_ = 1, genTLMinor_ = 0;
    bool stackedInfo_ = true;  // until the producer says it has no stacked query

    // The delivered state: written by the stream under its lock, read by any thread.
    std::atomic<std::uint32_t> payloadType_{0};
    std::atomic<std::uint32_t> imageCount_{0};
    std::atomic<bool> incomplete_{true};
    std::atomic<bool> containsChunk_{false};
    std::atomic<std::uint64_t> sizeFilled_{0};
    std::atomic<std::uint32_t> averageNumber_{1};

    // The chunk side (see chunkMap): the layout and payload type the map was made for.
    void updateChunkLayout();
    std::unique_ptr<IGenAPI> chunkMap_;
    std::uint64_t chunkLayoutId_ = 0;
    bool chunkLayoutKnown_ = false;  // the producer reported chunkLayoutId_
    std::uint32_t chunkPayloadType_ = 0;
    std::vector<genapi::SingleChunkData_t> chunks_;

    std::map<std::int32_t, CachedInfo> infoCache_;
    std::vector<std::string> pixelFormats_;  // per image, kept at revoke
};

}  // namespace corvid2
