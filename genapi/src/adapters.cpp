// SPDX-License-Identifier: BSD-3-Clause
// Chunk and event adapters, and the walk over a chunk trailer that turns a buffer into chunk descriptors.
#include "corvid2/genapi/adapters.h"

#include <cstdlib>
#include <cstring>

namespace corvid2::genapi {

namespace {

uint32_t load32(const uint8_t* bytes, bool bigEndian) {
    return bigEndian ? (uint32_t{bytes[0]} << 24) | (uint32_t{bytes[1]} << 16) | (uint32_t{bytes[2]} << 8) | bytes[3]
                     : (uint32_t{bytes[3]} << 24) | (uint32_t{bytes[2]} << 16) | (uint32_t{bytes[1]} << 8) | bytes[0];
}

uint64_t parseHexId(const gcstring& text, bool& ok) {
    char* end = nullptr;
    uint64_t id = std::strtoull(text.c_str(), &end, 16);
    ok = !text.empty() && end == text.c_str() + text.size();
    return id;
}

template <class Binding, class Select>
std::vector<Binding> collectPorts(INodeMap* nodeMap, Select idOf) {
    std::vector<Binding> ports;
    if (!nodeMap) return ports;
    node_vector nodes;
    nodeMap->GetNodes(nodes);
    for (INode* node : nodes) {
        auto* port = dynamic_cast<IChunkPort*>(node);
        if (!port) continue;
        bool ok = false;
        uint64_t id = parseHexId(idOf(node, port), ok);
        if (ok) ports.push_back(Binding{port, id, {}});
    }
    return ports;
}

}  // namespace

std::vector<SingleChunkData_t> ParseChunkTrailer(const uint8_t* buffer, size_t validSize, bool bigEndianTags) {
    std::vector<SingleChunkData_t> chunks;
    if (!buffer) CORVID2_GENAPI_THROW(InvalidArgumentException, "chunk trailer: null buffer");
    size_t end = validSize;
    while (end > 0) {
        if (end < 8)
            CORVID2_GENAPI_THROW(InvalidArgumentException, "chunk trailer: a tag would start before the buffer");
        uint32_t id = load32(buffer + end - 8, bigEndianTags);
        uint32_t length = load32(buffer + end - 4, bigEndianTags);
        if (length > end - 8) {
            CORVID2_GENAPI_THROW(InvalidArgumentException, "chunk trailer: chunk " + std::to_string(id) + " of " +
                                                               std::to_string(length) +
                                                               " bytes starts before the buffer");
        }
        size_t start = end - 8 - length;
        chunks.push_back(SingleChunkData_t{id, static_cast<std::ptrdiff_t>(start), length});
        if (length == 0) break;
        end = start;
    }
    return chunks;
}

CChunkAdapterGeneric::CChunkAdapterGeneric(INodeMap* nodeMap, int64_t) { AttachNodeMap(nodeMap); }
CChunkAdapterGeneric::~CChunkAdapterGeneric() { DetachNodeMap(); }

void CChunkAdapterGeneric::AttachNodeMap(INodeMap* nodeMap) {
    DetachNodeMap();
    nodeMap_ = nodeMap;
    ports_ = collectPorts<Binding>(nodeMap, [](INode*, IChunkPort* port) { return port->GetChunkID(); });
}

void CChunkAdapterGeneric::DetachNodeMap() {
    DetachBuffer();
    ports_.clear();
    nodeMap_ = nullptr;
}

void CChunkAdapterGeneric::AttachBuffer(uint8_t* buffer, const SingleChunkData_t* chunks, int64_t numChunks,
                                        AttachStatistics_t* statistics) {
    if (!nodeMap_) CORVID2_GENAPI_THROW(LogicalErrorException, "chunk adapter: no node map attached");
    std::lock_guard<std::recursive_mutex> lock(nodeMap_->GetLock());
    int attached = 0;
    for (Binding& binding : ports_) {
        binding.offset = -1;
        for (int64_t k = 0; k < numChunks; ++k) {
            if (chunks[k].ChunkID == binding.id) {
                binding.offset = chunks[k].ChunkOffset;
                binding.length = chunks[k].ChunkLength;
            }
        }
        if (binding.offset >= 0 && buffer) {
            binding.port->AttachChunk(buffer + binding.offset, static_cast<int64_t>(binding.length));
            ++attached;
        } else if (binding.port->IsAttached()) {
            binding.port->DetachChunk();
        }
    }
    if (statistics) {
        statistics->NumChunkPorts = static_cast<int>(ports_.size());
        statistics->NumChunks = static_cast<int>(numChunks);
        statistics->NumAttachedChunks = attached;
    }
}

void CChunkAdapterGeneric::UpdateBuffer(uint8_t* baseAddress) {
    if (!nodeMap_) return;
    std::lock_guard<std::recursive_mutex> lock(nodeMap_->GetLock());
    for (Binding& binding : ports_) {
        if (binding.offset >= 0 && baseAddress) {
            binding.port->AttachChunk(baseAddress + binding.offset, static_cast<int64_t>(binding.length));
        }
    }
}

void CChunkAdapterGeneric::DetachBuffer() {
    if (!nodeMap_) return;
    std::lock_guard<std::recursive_mutex> lock(nodeMap_->GetLock());
    for (Binding& binding : ports_) {
        if (binding.port->IsAttached()) binding.port->DetachChunk();
        binding.offset = -1;
    }
}

CEventAdapterGeneric::CEventAdapterGeneric(INodeMap* nodeMap) { AttachNodeMap(nodeMap); }
CEventAdapterGeneric::~CEventAdapterGeneric() { DetachNodeMap(); }

void CEventAdapterGeneric::AttachNodeMap(INodeMap* nodeMap) {
    DetachNodeMap();
    nodeMap_ = nodeMap;
    ports_ = collectPorts<Binding>(nodeMap, [](INode* node, IChunkPort*) { return node->GetEventID(); });
}

void CEventAdapterGeneric::DetachNodeMap() {
    if (nodeMap_) {
        std::lock_guard<std::recursive_mutex> lock(nodeMap_->GetLock());
        for (Binding& binding : ports_) {
            if (binding.port->IsAttached()) binding.port->DetachChunk();
        }
    }
    ports_.clear();
    nodeMap_ = nullptr;
}

void CEventAdapterGeneric::DeliverMessage(const uint8_t* data, uint32_t size, uint64_t eventId) {
    if (!nodeMap_ || (!data && size)) return;
    std::lock_guard<std::recursive_mutex> lock(nodeMap_->GetLock());
    for (Binding& binding : ports_) {
        if (binding.id != eventId) continue;
        binding.data.assign(data, data + size);
        binding.port->AttachChunk(binding.data.data(), static_cast<int64_t>(binding.data.size()));
    }
}

}  // namespace corvid2::genapi
