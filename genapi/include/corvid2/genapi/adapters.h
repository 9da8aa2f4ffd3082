// SPDX-License-Identifier: BSD-3-Clause
// Chunk and event adapters: connect the description's chunk and event ports to delivered data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "corvid2/genapi/interfaces.h"

namespace corvid2::genapi {

/// One chunk of a buffer: numeric ID, offset of its data from the buffer start, length of its data.
struct SingleChunkData_t {
    uint64_t ChunkID;
    std::ptrdiff_t ChunkOffset;
    size_t ChunkLength;
};

/// Statistics of the last attach or update.
struct AttachStatistics_t {
    int NumChunkPorts = 0;
    int NumChunks = 0;
    int NumAttachedChunks = 0;
};

/// Walks the chunk trailer of a buffer (data followed by {ID, length} tags, last tag at the end) into descriptors.
/// bigEndianTags is true for GigE Vision. Raises InvalidArgumentException on a malformed trailer.
std::vector<SingleChunkData_t> ParseChunkTrailer(const uint8_t* buffer, size_t validSize, bool bigEndianTags = true);

/// Connects the chunk ports of a node map (by ChunkID) to chunks described by the caller.
class CChunkAdapterGeneric {
public:
    /// maxChunkCacheSize is accepted for interface compatibility (-1: no limit); data is never copied.
    explicit CChunkAdapterGeneric(INodeMap* nodeMap = nullptr, int64_t maxChunkCacheSize = -1);
    ~CChunkAdapterGeneric();
    CChunkAdapterGeneric(const CChunkAdapterGeneric&) = delete;
    CChunkAdapterGeneric& operator=(const CChunkAdapterGeneric&) = delete;

    void AttachNodeMap(INodeMap* nodeMap);
    void DetachNodeMap();
    /// Attaches every chunk port whose ChunkID matches a descriptor; unmatched ports are detached.
    void AttachBuffer(uint8_t* buffer, const SingleChunkData_t* chunks, int64_t numChunks,
                      AttachStatistics_t* statistics = nullptr);
    /// Same layout, new buffer: the ports move to the new bytes and their nodes are invalidated.
    void UpdateBuffer(uint8_t* baseAddress);
    void DetachBuffer();

private:
    void invalidateAttached();
    struct Binding {
        IChunkPort* port;
        uint64_t id;
        std::ptrdiff_t offset = -1;
        size_t length = 0;
    };
    INodeMap* nodeMap_ = nullptr;
    std::vector<Binding> ports_;
};

/// Delivers device or module events to the event ports of a node map (by EventID).
class CEventAdapterGeneric {
public:
    explicit CEventAdapterGeneric(INodeMap* nodeMap = nullptr);
    ~CEventAdapterGeneric();
    CEventAdapterGeneric(const CEventAdapterGeneric&) = delete;
    CEventAdapterGeneric& operator=(const CEventAdapterGeneric&) = delete;

    void AttachNodeMap(INodeMap* nodeMap);
    void DetachNodeMap();
    /// Makes the ports with this event ID read the data (copied) and invalidates their nodes.
    void DeliverMessage(const uint8_t* data, uint32_t size, uint64_t eventId);

private:
    struct Binding {
        IChunkPort* port;
        uint64_t id;
        std::vector<uint8_t> data;
    };
    INodeMap* nodeMap_ = nullptr;
    std::vector<Binding> ports_;
};

}  // namespace corvid2::genapi
