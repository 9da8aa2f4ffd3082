// SPDX-License-Identifier: BSD-3-Clause
// The chunk features of a delivered buffer: the map over its chunk data, made again when the
// layout changes, and the chunks standing in for geometry the producer does not report.
#include <cstdint>
#include <map>
#include <string>

#include "acquisition_fixture.h"
#include "corvid2/buffer.h"
#include "corvid2/node.h"
#include "modules/bufferobj.h"
#include "support/errors.h"

using namespace corvid2::test;
using CORVID2::Buffer;
namespace X = CORVID2::Exceptions;

namespace {

class ChunkTest : public AcquisitionTest {
protected:
    void enableChunk(const char* chunk) {
        setCamera("ChunkSelector", chunk);
        device_->GetRemoteNode("ChunkEnable")->SetBool(true);
    }
    static corvid2::CBufferObj* objectBehind(Buffer* buffer) {
        return *static_cast<corvid2::CBufferObj**>(buffer->GetReserved());
    }
    static std::int64_t chunkValue(Buffer* buffer, const char* name) {
        return buffer->GetChunkNodeList()->GetNode(name)->GetInt();
    }
};

}  // namespace

TEST_F(ChunkTest, ADeliveredBufferShowsItsChunksAndANewLayoutMakesANewMap) {
    addProducerBuffers(2);
    startContinuous();
    Buffer* plain = stream_->GetFilledBuffer(5000);
    ASSERT_NE(plain, nullptr);
    EXPECT_FALSE(plain->GetContainsChunk());
    EXPECT_TRUE(thrownBy<X::NotInitializedException>([&] { plain->GetChunkNodeList(); }).caught);
    plain->QueueBuffer();
    stop();

    device_->GetRemoteNode("ChunkModeActive")->SetBool(true);
    enableChunk("FrameID");
    enableChunk("Width");
    // The chunks make the payload larger than the buffers of before.
    buffers_->DiscardAllBuffers();
    buffers_->clear();
    addProducerBuffers(2);
    startContinuous();
    Buffer* first = stream_->GetFilledBuffer(5000);
    ASSERT_NE(first, nullptr);
    ASSERT_TRUE(first->GetContainsChunk());
    EXPECT_EQ(static_cast<std::uint64_t>(chunkValue(first, "ChunkFrameID")), first->GetFrameID());
    EXPECT_EQ(chunkValue(first, "ChunkWidth"), 640);
    // The image is one of the chunks: its length is that chunk's, not the whole payload's.
    EXPECT_EQ(first->GetImageLength(), 640u * 480u);
    EXPECT_GT(first->GetSizeFilled(), 640u * 480u);
    const std::uint64_t firstFrame = first->GetFrameID();
    first->QueueBuffer();
    Buffer* second = stream_->GetFilledBuffer(5000);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(static_cast<std::uint64_t>(chunkValue(second, "ChunkFrameID")), second->GetFrameID());
    EXPECT_GT(second->GetFrameID(), firstFrame);
    second->QueueBuffer();
    stop();

    // Another chunk: another layout, and the map is made again for it. The images of before are
    // left in the output queue: they go first.
    buffers_->FlushAllToInputQueue();
    enableChunk("OffsetX");
    setCamera("OffsetX", 16);
    setCamera("Width", 320);
    startContinuous();
    Buffer* relaid = stream_->GetFilledBuffer(5000);
    ASSERT_NE(relaid, nullptr);
    EXPECT_EQ(chunkValue(relaid, "ChunkOffsetX"), 16);
    EXPECT_EQ(chunkValue(relaid, "ChunkWidth"), 320);
    EXPECT_EQ(static_cast<std::uint64_t>(chunkValue(relaid, "ChunkFrameID")), relaid->GetFrameID());
    relaid->QueueBuffer();
    stop();
}

TEST_F(ChunkTest, EveryFramesChunksCarryWhatTheCameraPutInAndTheMapIsKeptWhileTheLayoutIs) {
    device_->GetRemoteNode("ExposureTime")->SetDouble(5000.0);
    device_->GetRemoteNode("Gain")->SetDouble(3.0);
    device_->GetRemoteNode("ChunkModeActive")->SetBool(true);
    for (const char* chunk : {"FrameID", "Timestamp", "ExposureTime", "Gain", "Width", "Height"}) enableChunk(chunk);
    addProducerBuffers(3);
    std::map<Buffer*, std::uint64_t> generations;  // of each buffer's chunk map
    startContinuous();
    for (int frame = 0; frame < 12; ++frame) {
        Buffer* buffer = stream_->GetFilledBuffer(5000);
        ASSERT_NE(buffer, nullptr);
        CORVID2::NodeMap* chunks = buffer->GetChunkNodeList();
        EXPECT_EQ(static_cast<std::uint64_t>(chunks->GetNode("ChunkFrameID")->GetInt()), buffer->GetFrameID());
        EXPECT_EQ(static_cast<std::uint64_t>(chunks->GetNode("ChunkTimestamp")->GetInt()), buffer->GetTimestamp());
        EXPECT_DOUBLE_EQ(chunks->GetNode("ChunkExposureTime")->GetDouble(), 5000.0);
        EXPECT_DOUBLE_EQ(chunks->GetNode("ChunkGain")->GetDouble(), 3.0);
        EXPECT_EQ(chunks->GetNode("ChunkWidth")->GetInt(), 640);
        EXPECT_EQ(chunks->GetNode("ChunkHeight")->GetInt(), 480);
        const std::uint64_t generation = objectBehind(buffer)->chunkMap()->generation();
        const auto known = generations.emplace(buffer, generation);
        EXPECT_EQ(known.first->second, generation) << "frame " << frame << ": the map was made again";
        buffer->QueueBuffer();
    }
    stop();
    EXPECT_EQ(generations.size(), 3u);
}

TEST_F(ChunkTest, TheChunksStandInForGeometryTheProducerDoesNotReport) {
    device_->GetRemoteNode("ChunkModeActive")->SetBool(true);
    enableChunk("Width");
    enableChunk("Height");
    setCamera("Width", 400);
    addProducerBuffers(2);
    startContinuous();
    Buffer* buffer = stream_->GetFilledBuffer(5000);
    stop();
    ASSERT_NE(buffer, nullptr);
    armFault("DSGetBufferInfo", GenTL::GC_ERR_NOT_AVAILABLE, 2);
    EXPECT_EQ(buffer->GetWidth(), 400u);
    EXPECT_EQ(buffer->GetHeight(), 480u);
    // Without the chunk, the producer's refusal stays.
    armFault("DSGetBufferInfo", GenTL::GC_ERR_NOT_AVAILABLE, 1);
    EXPECT_TRUE(thrownBy<X::InvalidBufferException>([&] { buffer->GetXOffset(); }).caught);
}
