// SPDX-License-Identifier: BSD-3-Clause
// Buffers (blocks of image memory that a data stream fills) and the BufferList of a stream.
#ifndef CORVID2_BUFFER_H
#define CORVID2_BUFFER_H

#include <cstddef>
#include <cstdint>

#include "corvid2/export.h"
#include "corvid2/list_iterator.h"
#include "corvid2/node.h"
#include "corvid2/string.h"

namespace CORVID2 {

class Buffer;
class DataStream;
namespace Internal {
struct AcquisitionAccess;
struct BufferData;
struct BufferListData;
}  // namespace Internal

// One buffer. The application makes and destroys it; it becomes part of a stream when it is
// added to the stream's BufferList (which announces it) and leaves when it is revoked or the
// stream closes. The image getters answer for the last delivered image; indices name the images
// (parts) of one buffer, 0 for an ordinary image.
class CORVID2_API Buffer : public INode {
public:
    // Memory allocated by the producer at the size of the camera's largest image.
    Buffer();
    explicit Buffer(void* userObj);
    // With `currentSize`, memory for the camera's current image size plus 1000 bytes instead.
    Buffer(bool currentSize, void* userObj);
    // The application's own memory, which must outlive the buffer's time in a stream.
    Buffer(void* memory, std::uint64_t size, void* userObj);
    // A buffer still in a BufferList must be revoked first; destroying it leaves its pointer stale.
    ~Buffer();

    String GetID();
    DataStream* GetParent();
    // InvalidBufferException when the buffer was made without a user object.
    void* GetUserObj();
    void* GetMemPtr(std::uint32_t segment = 0);
    std::uint64_t GetMemSize(std::uint32_t segment = 0);
    std::size_t GetSegmentCount();
    bool IsUserSegment(std::uint32_t segment);
    // Adds the application's memory as a segment of a composite buffer; only before the buffer
    // is added to a list.
    void AddSegment(std::uint32_t segment, void* memory, std::uint64_t size);
    // Hands the buffer back to the stream for the next image.
    void QueueBuffer();

    bool GetNewData();
    bool GetIsQueued();
    bool GetIsAcquiring();
    bool GetIsIncomplete();
    String GetTLType();
    std::uint64_t GetSizeFilled();
    std::uint64_t GetFrameID();
    std::uint64_t GetTimestamp();
    // The host's time of the delivery in ns, from the buffer module's "HostTimestamp" feature;
    // NotAvailableException when the producer's buffer description has none.
    std::uint64_t GetHostTimestamp();
    // The name of the file a File payload carries; NotAvailableException for other payloads.
    String GetFileName();
    bool GetImagePresent();
    std::uint32_t GetImageCount();
    // "Image", "ChunkData", "Multipart", ... ("Unknown" for none).
    String GetPayloadType();
    bool GetContainsChunk();
    std::uint64_t GetChunkLayoutID();
    std::uint64_t GetDeliveredChunkPayloadSize();
    // The camera's chunk features (ChunkTimestamp, ChunkExposureTime, ...) over this buffer's
    // chunk data; NotInitializedException "Chunk Interface is not initialized." for a buffer
    // delivered without chunks. A new chunk layout makes a new map: ask again after each delivery.
    NodeMap* GetChunkNodeList();

    std::uint64_t GetWidth(std::uint32_t image = 0);
    std::uint64_t GetHeight(std::uint32_t image = 0);
    std::uint64_t GetXOffset(std::uint32_t image = 0);
    std::uint64_t GetYOffset(std::uint32_t image = 0);
    std::uint64_t GetXPadding(std::uint32_t image = 0);
    std::uint64_t GetYPadding(std::uint32_t image = 0);
    std::uint64_t GetDeliveredImageHeight(std::uint32_t image = 0);
    std::uint64_t GetImageOffset(std::uint32_t image = 0);
    std::uint64_t GetImageLength(std::uint32_t image = 0);
    void* GetImageData(std::uint32_t image = 0);
    // The PFNC name of the image's pixel format ("Mono8", "BayerRG8", ...).
    String GetPixelFormat(std::uint32_t image = 0);
    // The payload type name of the image ("Image", "Jpeg", ...).
    String GetImageType(std::uint32_t image = 0);
    // The memory segment that holds the image.
    std::uint32_t GetSegmentIndex(std::uint32_t image = 0);
    // The identifiers of a GenDC container's part; NotAvailableException for other payloads.
    std::uint64_t GetSourceID(std::uint32_t image = 0);
    std::uint64_t GetRegionID(std::uint32_t image = 0);
    std::uint64_t GetGroupID(std::uint32_t image = 0);

    // The buffer's record; its first field is the object behind it.
    void* GetReserved();

    Buffer(const Buffer&) = delete;
    Buffer& operator=(const Buffer&) = delete;

private:
    friend struct Internal::AcquisitionAccess;
    Internal::BufferData* data_;
};

// The buffers announced to one data stream, ordered by their ids. The list does not own them.
class CORVID2_API BufferList {
public:
    // Announces the buffer to the stream; a buffer announced already is accepted once more.
    void Add(Buffer* buffer);
    // Revokes the buffer from the stream; returns the private pointer the producer hands back
    // (null). InvalidParameterException "Invalid Buffer passed" for null.
    void* RevokeBuffer(Buffer* buffer);
    // Revokes every buffer, in list order.
    void clear();
    std::size_t size();

    using iterator = ListIterator<BufferList, Buffer>;

    iterator begin();
    iterator end();
    iterator find(const String& id);
    // Throw InvalidParameterException when the id or index is not in the list.
    Buffer* operator[](const String& id);
    Buffer* operator[](std::size_t index);

    // The stream's queue operations.
    void FlushInputToOutputQueue();
    void DiscardOutputBuffers();
    void FlushAllToInputQueue();
    void FlushUnqueuedToInputQueue();
    void DiscardAllBuffers();
    // The stream's counters, read from the producer at each call.
    std::uint64_t GetDeliveredCount();
    std::uint64_t GetUnderrunCount();
    std::uint64_t GetAnnouncedCount();
    std::uint64_t GetQueuedCount();
    std::uint64_t GetAwaitDeliveryCount();
    std::uint64_t GetStartedCount();

    BufferList(const BufferList&) = delete;
    BufferList& operator=(const BufferList&) = delete;

private:
    friend struct Internal::AcquisitionAccess;
    explicit BufferList(DataStream* stream);
    ~BufferList();
    Internal::BufferListData* data_;
};

}  // namespace CORVID2

#endif
