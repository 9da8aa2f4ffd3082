// SPDX-License-Identifier: BSD-3-Clause
// Cost per frame of reading five chunk values (frame ID, timestamp, exposure time, gain, width) of a
// delivered buffer through the public interface (GetChunkNodeList and five Node reads), against a
// consumer that walks the buffer's chunk trailer itself and copies the same five values out of
// the bytes. Both read the same buffer in alternating blocks of one run; the ratio is the figure.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <corvid2/genapi/adapters.h>

#include "corvid2_genicam.h"

namespace {

constexpr int kRounds = 7;
constexpr int kFramesPerBlock = 20000;
// The chunk IDs of the simulated camera's five chunks, and where their value sits in the chunk.
constexpr std::uint64_t kChunkIds[] = {0x1001, 0x1002, 0x1003, 0x1004, 0x1005};
constexpr const char* kChunkFeatures[] = {"ChunkFrameID", "ChunkTimestamp", "ChunkExposureTime", "ChunkGain",
                                          "ChunkWidth"};

// Keeps the optimizer from dropping the reads.
volatile double sink = 0;

CORVID2::Device* openCamera() {
    CORVID2::SystemList* systems = CORVID2::SystemList::GetInstance();
    systems->Refresh();
    for (CORVID2::System* system : *systems) {
        if (std::string(system->GetFileName().get()) != "corvid2_sim.cti") continue;
        system->Open();
        CORVID2::InterfaceList* interfaces = system->GetInterfaces();
        interfaces->Refresh(1000);
        CORVID2::Interface* iface = (*interfaces)["SimGEV0"];
        iface->Open();
        iface->GetDevices()->Refresh(1000);
        CORVID2::Device* device = (*iface->GetDevices())["SimMono0"];
        device->Open();
        return device;
    }
    throw std::runtime_error("the library found no corvid2_sim.cti");
}

double throughNodes(CORVID2::Buffer& buffer) {
    CORVID2::NodeMap* chunks = buffer.GetChunkNodeList();
    double sum = static_cast<double>(chunks->GetNode(kChunkFeatures[0])->GetInt());
    sum += static_cast<double>(chunks->GetNode(kChunkFeatures[1])->GetInt());
    sum += chunks->GetNode(kChunkFeatures[2])->GetDouble();
    sum += chunks->GetNode(kChunkFeatures[3])->GetDouble();
    sum += static_cast<double>(chunks->GetNode(kChunkFeatures[4])->GetInt());
    return sum;
}

// The same with the five Nodes looked up once: they stay valid while the chunk layout does.
struct CachedNodes {
    CORVID2::Node* nodes[5] = {};
    explicit CachedNodes(CORVID2::Buffer& buffer) {
        CORVID2::NodeMap* chunks = buffer.GetChunkNodeList();
        for (std::size_t index = 0; index < 5; ++index) nodes[index] = chunks->GetNode(kChunkFeatures[index]);
    }
    double read() const {
        return static_cast<double>(nodes[0]->GetInt()) + static_cast<double>(nodes[1]->GetInt()) +
               nodes[2]->GetDouble() + nodes[3]->GetDouble() + static_cast<double>(nodes[4]->GetInt());
    }
};

// What a consumer without a node map does: walk the trailer to find the chunks, copy the values.
double fromBytes(const std::uint8_t* data, std::size_t filled) {
    const std::vector<corvid2::genapi::SingleChunkData_t> chunks = corvid2::genapi::ParseChunkTrailer(data, filled);
    double sum = 0;
    for (std::size_t index = 0; index < 5; ++index) {
        for (const auto& chunk : chunks) {
            if (chunk.ChunkID != kChunkIds[index]) continue;
            if (index == 2 || index == 3) {
                double value = 0;
                std::memcpy(&value, data + chunk.ChunkOffset, sizeof value);
                sum += value;
            } else {
                std::int64_t value = 0;
                std::memcpy(&value, data + chunk.ChunkOffset, sizeof value);
                sum += static_cast<double>(value);
            }
        }
    }
    return sum;
}

template <class Read>
double nanosecondsPerFrame(Read&& read) {
    const auto start = std::chrono::steady_clock::now();
    double sum = 0;
    for (int frame = 0; frame < kFramesPerBlock; ++frame) sum += read();
    const auto end = std::chrono::steady_clock::now();
    sink = sum;
    return std::chrono::duration<double, std::nano>(end - start).count() / kFramesPerBlock;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main() {
    try {
        CORVID2::Device* device = openCamera();
        device->GetRemoteNode("ChunkModeActive")->SetBool(true);
        for (const char* chunk : {"FrameID", "Timestamp", "ExposureTime", "Gain", "Width"}) {
            device->GetRemoteNode("ChunkSelector")->SetString(chunk);
            device->GetRemoteNode("ChunkEnable")->SetBool(true);
        }
        CORVID2::DataStream* stream = (*device->GetDataStreams())[std::size_t{0}];
        stream->Open();
        auto buffer = std::make_unique<CORVID2::Buffer>();
        stream->GetBufferList()->Add(buffer.get());
        buffer->QueueBuffer();
        stream->StartAcquisition(1);
        device->GetRemoteNode("AcquisitionStart")->Execute();
        CORVID2::Buffer* filled = stream->GetFilledBuffer(5000);
        if (filled == nullptr || !filled->GetContainsChunk()) throw std::runtime_error("no frame with chunks");
        const auto* bytes = static_cast<const std::uint8_t*>(filled->GetMemPtr());
        const std::size_t size = filled->GetSizeFilled();
        if (throughNodes(*filled) != fromBytes(bytes, size))
            throw std::runtime_error("the two ways read different values");

        const CachedNodes cached(*filled);
        std::vector<double> nodes, reused, raw;
        for (int round = 0; round < kRounds; ++round) {
            // The order alternates, so that neither way always runs on a warmer cache.
            if (round % 2 == 0) nodes.push_back(nanosecondsPerFrame([&] { return throughNodes(*filled); }));
            raw.push_back(nanosecondsPerFrame([&] { return fromBytes(bytes, size); }));
            reused.push_back(nanosecondsPerFrame([&] { return cached.read(); }));
            if (round % 2 != 0) nodes.push_back(nanosecondsPerFrame([&] { return throughNodes(*filled); }));
        }
        const double library = median(nodes), baseline = median(raw), kept = median(reused);
        std::printf("library traces %s\n", CORVID2::Trace::IsEnabled() ? "ON (figures include them)" : "off");
        std::printf("five chunk values per frame, median of %d blocks of %d frames:\n", kRounds, kFramesPerBlock);
        std::printf("  public Node (GetChunkNodeList + 5 reads): %8.1f ns\n", library);
        std::printf("  from the buffer bytes (trailer walk + 5 copies): %8.1f ns\n", baseline);
        std::printf("  Nodes looked up once per layout (5 reads):      %8.1f ns\n", kept);
        std::printf("  ratio %.2f (target <= 3); with the Nodes kept %.2f\n", library / baseline, kept / baseline);
        stream->StopAcquisition();
        device->Close();
        CORVID2::SystemList::ReleaseInstance();
    } catch (const CORVID2::Exceptions::IException& error) {
        std::fprintf(stderr, "bench_chunks: %s\n", error.GetErrorDescription().get());
        return 1;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bench_chunks: %s\n", error.what());
        return 1;
    }
    return 0;
}
