// SPDX-License-Identifier: BSD-3-Clause
// Buffers in every kind of memory, what they answer before, during and after their time in a
// stream, and the BufferList that announces them.
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "acquisition_fixture.h"
#include "support/errors.h"

using namespace corvid2::test;
using CORVID2::Buffer;
namespace X = CORVID2::Exceptions;

namespace {

constexpr std::uint64_t kImageBytes = 640 * 480;
constexpr char kNotInList[] =
    "Function not available, Buffer is not in BufferList. Please first add the Buffer to the BufferList.";

// The text of the library's exception after the "<method>; <trace name>; <code>; " part.
std::string reason(const std::string& description) {
    std::size_t at = 0;
    for (int field = 0; field < 3 && at != std::string::npos; ++field) at = description.find("; ", at + 1);
    return at == std::string::npos ? description : description.substr(at + 2);
}

using BufferTest = AcquisitionTest;

}  // namespace

TEST_F(BufferTest, UserMemoryIsFilledAndKeepsItsGeometryAfterRevoke) {
    std::vector<std::uint8_t> memory(kImageBytes + 4096, 0xAB);
    int user = 7;
    Buffer* buffer = own(new Buffer(memory.data(), memory.size(), &user));
    EXPECT_EQ(buffer->GetMemPtr(), memory.data());
    EXPECT_EQ(buffer->GetMemSize(), memory.size());
    EXPECT_EQ(buffer->GetUserObj(), &user);
    EXPECT_FALSE(buffer->IsUserSegment(1 - 1) == false) << "user memory is segment 0 of the user";
    startContinuous();
    Buffer* filled = stream_->GetFilledBuffer(5000);
    stop();
    ASSERT_EQ(filled, buffer);
    EXPECT_EQ(filled->GetImageData(), memory.data());
    EXPECT_NE(memory[640 * 100 + 600], 0xAB) << "the camera wrote into the application's memory";

    EXPECT_EQ(buffers_->RevokeBuffer(buffer), nullptr);
    EXPECT_EQ(buffers_->size(), 0u);
    EXPECT_EQ(buffer->GetParent(), nullptr);
    // The snapshot answers the image's description, not the live queue state.
    EXPECT_EQ(buffer->GetWidth(), 640u);
    EXPECT_EQ(buffer->GetHeight(), 480u);
    EXPECT_STREQ(buffer->GetPixelFormat().get(), "Mono8");
    EXPECT_EQ(reason(thrownBy<X::NotAvailableException>([&] { buffer->GetIsQueued(); }).description), kNotInList);
    EXPECT_EQ(buffer->GetMemPtr(), memory.data());
}

TEST_F(BufferTest, ProducerMemoryIsSizedByTheCameraAndAnswersNothingBeforeItIsAnnounced) {
    auto largest = std::make_unique<Buffer>();
    auto current = std::make_unique<Buffer>(true, nullptr);
    EXPECT_EQ(reason(thrownBy<X::NotAvailableException>([&] { largest->GetWidth(); }).description), kNotInList);
    EXPECT_EQ(reason(thrownBy<X::NotAvailableException>([&] { largest->GetMemSize(); }).description),
              "Given segment index 0 is not availabe.");
    EXPECT_EQ(largest->GetSegmentCount(), 0u);
    EXPECT_TRUE(thrownBy<X::InvalidBufferException>([&] { largest->GetUserObj(); }).caught);
    own(largest.release());
    own(current.release());
    Buffer* byLargest = owned_[0].get();
    Buffer* byCurrent = owned_[1].get();
    // The simulator's stream defines the payload size; a buffer of the current size gets a margin.
    ASSERT_TRUE(stream_->GetDefinesPayloadSize());
    EXPECT_EQ(byLargest->GetMemSize(), stream_->GetPayloadSize());
    EXPECT_EQ(byCurrent->GetMemSize(), stream_->GetPayloadSize() + 1000u);
    EXPECT_EQ(byLargest->GetSegmentCount(), 1u);
    EXPECT_EQ(byLargest->GetParent(), stream_);
}

TEST_F(BufferTest, SegmentsMakeACompositeBufferAndAreFrozenOnceAnnounced) {
    std::vector<std::uint8_t> first(kImageBytes);
    auto buffer = std::make_unique<Buffer>();
    EXPECT_EQ(reason(thrownBy<X::InvalidParameterException>([&] { buffer->AddSegment(0, nullptr, 10); }).description),
              "Invalid parameter. Invalid pointer or size.");
    buffer->AddSegment(0, first.data(), first.size());
    EXPECT_TRUE(buffer->IsUserSegment(0));
    Buffer* composite = own(buffer.release());
    EXPECT_EQ(composite->GetSegmentCount(), 1u);
    EXPECT_EQ(composite->GetMemPtr(0), first.data());
    std::vector<std::uint8_t> second(64);
    EXPECT_EQ(
        reason(thrownBy<X::InvalidBufferException>([&] { composite->AddSegment(1, second.data(), 64); }).description),
        "Buffer layout modifications forbidden when added to buffer list.");
    startContinuous();
    Buffer* filled = stream_->GetFilledBuffer(5000);
    stop();
    ASSERT_EQ(filled, composite);
    EXPECT_EQ(filled->GetImageData(), first.data());
}

TEST_F(BufferTest, ASegmentTheApplicationLeftOutGetsTheStreamsSizeAndAGapIsRefused) {
    EXPECT_EQ(stream_->GetSegmentCount(), 1u) << "no GenDC: one segment carries the payload";
    std::vector<std::uint8_t> tail(256);
    auto gapless = std::make_unique<Buffer>();
    gapless->AddSegment(1, tail.data(), tail.size());
    Buffer* composite = own(gapless.release());
    EXPECT_FALSE(composite->IsUserSegment(0));
    EXPECT_EQ(composite->GetMemSize(0), stream_->GetPayloadSize());
    EXPECT_EQ(composite->GetMemPtr(1), tail.data());
    EXPECT_EQ(composite->GetMemSize(1), tail.size());
    startContinuous();
    Buffer* filled = stream_->GetFilledBuffer(5000);
    stop();
    ASSERT_EQ(filled, composite);
    EXPECT_EQ(filled->GetImageData(), filled->GetMemPtr(0));

    // Segment 1 of a payload that has only one: the stream cannot say how large it should be.
    auto gap = std::make_unique<Buffer>();
    gap->AddSegment(2, tail.data(), tail.size());
    Buffer* refused = gap.get();
    EXPECT_TRUE(thrownBy<X::InvalidParameterException>([&] { buffers_->Add(refused); }).caught);
    EXPECT_EQ(refused->GetParent(), nullptr);
}

TEST_F(BufferTest, AnIncompleteFrameHasNoImage) {
    setSimulator("SimIncompleteEvery", 1);
    addProducerBuffers(2);
    startContinuous();
    Buffer* buffer = stream_->GetFilledBuffer(5000);
    stop();
    ASSERT_NE(buffer, nullptr);
    EXPECT_TRUE(buffer->GetIsIncomplete());
    EXPECT_EQ(buffer->GetImageCount(), 0u);
    EXPECT_LT(buffer->GetSizeFilled(), kImageBytes);
    EXPECT_EQ(reason(thrownBy<X::NotAvailableException>([&] { buffer->GetWidth(0); }).description),
              "Given image index 0 is not available.");
}

TEST_F(BufferTest, ADeliveredImageNamesItsTypeSegmentAndHostTimeButNoGenDCIdentifiers) {
    addProducerBuffers(2);
    const auto hostNow = [] {
        return static_cast<std::uint64_t>(
            std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch())
                .count());
    };
    const std::uint64_t before = hostNow();
    startContinuous();
    Buffer* first = stream_->GetFilledBuffer(5000);
    ASSERT_NE(first, nullptr);
    const std::uint64_t firstHost = first->GetHostTimestamp();
    first->QueueBuffer();
    Buffer* second = stream_->GetFilledBuffer(5000);
    ASSERT_NE(second, nullptr);
    const std::uint64_t secondHost = second->GetHostTimestamp();
    const std::uint64_t after = hostNow();
    stop();
    // Read from the buffer module's own node map at the call: each delivery has its own time.
    EXPECT_GE(firstHost, before);
    EXPECT_LT(firstHost, secondHost);
    EXPECT_LE(secondHost, after);

    EXPECT_STREQ(second->GetImageType().get(), "Image");
    EXPECT_EQ(second->GetSegmentIndex(), 0u);
    EXPECT_EQ(reason(thrownBy<X::NotAvailableException>([&] { second->GetImageType(1); }).description),
              "Given image index 1 is not available.");
    EXPECT_EQ(reason(thrownBy<X::NotAvailableException>([&] { second->GetSourceID(); }).description),
              "SourceID is only available for GenDC payloads.");
    EXPECT_EQ(reason(thrownBy<X::NotAvailableException>([&] { second->GetGroupID(); }).description),
              "GroupID is only available for GenDC payloads.");
    // An image is no file: the producer's refusal reaches the application.
    EXPECT_TRUE(thrownBy<X::NotAvailableException>([&] { second->GetFileName(); }).caught);

    // Once revoked the buffer has no node map to read the host time from.
    buffers_->RevokeBuffer(second);
    EXPECT_EQ(reason(thrownBy<X::NotAvailableException>([&] { second->GetHostTimestamp(); }).description), kNotInList);
}

TEST_F(BufferTest, ACountedAcquisitionEndsByItself) {
    addProducerBuffers(8);
    stream_->StartAcquisition(5);
    device_->GetRemoteNode("AcquisitionStart")->Execute();
    std::vector<std::uint64_t> frames;
    while (Buffer* buffer = stream_->GetFilledBuffer(500)) {
        frames.push_back(buffer->GetFrameID());
        buffer->QueueBuffer();
    }
    EXPECT_EQ(frames.size(), 5u);
    EXPECT_FALSE(stream_->GetIsGrabbing());
    EXPECT_EQ(buffers_->GetDeliveredCount(), 5u);
    stream_->StopAcquisition();  // already ended: no error
}

TEST_F(BufferTest, QueueOperationsMoveBuffersAndTheCountersFollow) {
    const std::vector<Buffer*> added = addProducerBuffers(4);
    EXPECT_EQ(buffers_->GetAnnouncedCount(), 4u);
    EXPECT_EQ(buffers_->GetQueuedCount(), 4u);
    buffers_->FlushInputToOutputQueue();
    EXPECT_EQ(buffers_->GetQueuedCount(), 0u);
    EXPECT_EQ(buffers_->GetAwaitDeliveryCount(), 4u);
    Buffer* flushed = stream_->GetFilledBuffer(0);
    ASSERT_NE(flushed, nullptr);
    EXPECT_TRUE(flushed->GetNewData() == false) << "a flushed buffer carries no new image";
    buffers_->DiscardOutputBuffers();
    EXPECT_EQ(buffers_->GetAwaitDeliveryCount(), 0u);
    buffers_->FlushUnqueuedToInputQueue();
    EXPECT_EQ(buffers_->GetQueuedCount(), 4u);
    EXPECT_TRUE(flushed->GetIsIncomplete()) << "back in the input pool, the delivered state is cleared";
    buffers_->DiscardAllBuffers();
    EXPECT_EQ(buffers_->GetQueuedCount(), 0u);
    buffers_->FlushAllToInputQueue();
    EXPECT_EQ(buffers_->GetQueuedCount(), 4u);
    startContinuous();
    ASSERT_NE(stream_->GetFilledBuffer(5000), nullptr);
    stop();
    EXPECT_GE(buffers_->GetDeliveredCount(), 1u);
    EXPECT_GE(buffers_->GetStartedCount(), 1u);
    EXPECT_EQ(buffers_->GetUnderrunCount(), 0u);
}

TEST_F(BufferTest, TheListIsOrderedByIdAndAnnouncesEachBufferOnce) {
    const std::vector<Buffer*> added = addProducerBuffers(3);
    buffers_->Add(added[1]);
    EXPECT_EQ(buffers_->size(), 3u);
    EXPECT_EQ(buffers_->GetAnnouncedCount(), 3u);
    std::vector<std::string> ids;
    for (Buffer* buffer : *buffers_) ids.push_back(buffer->GetID().get());
    EXPECT_TRUE(std::is_sorted(ids.begin(), ids.end()));
    EXPECT_EQ((*buffers_)[ids[1].c_str()]->GetID().get(), ids[1]);
    EXPECT_EQ(buffers_->find("Buffer_none"), buffers_->end());
    EXPECT_EQ(thrownBy<X::InvalidParameterException>([&] { (*buffers_)[std::size_t{3}]; }).description,
              "The index 3 is not in list.");
    EXPECT_EQ(thrownBy<X::InvalidParameterException>([&] { buffers_->RevokeBuffer(nullptr); }).description,
              "Invalid Buffer passed");
    // The producer lists the same buffers by index.
    for (std::uint32_t index = 0; index < 3; ++index) {
        Buffer* listed = stream_->GetBufferByIndex(index);
        EXPECT_NE(std::find(added.begin(), added.end(), listed), added.end());
    }
    // The producer gives back only buffers that are in no queue.
    EXPECT_EQ(exceptionText([&] { buffers_->clear(); }).rfind("LowLevelException: DSRevokeBuffer failed", 0), 0u);
    EXPECT_EQ(buffers_->size(), 3u) << "a refused revoke leaves the buffers listed";
    buffers_->DiscardAllBuffers();
    buffers_->clear();
    EXPECT_EQ(buffers_->size(), 0u);
    EXPECT_EQ(buffers_->GetAnnouncedCount(), 0u);
}

TEST_F(BufferTest, ADeletedBufferIsInvalidEvenWhenANewOneTakesItsPlace) {
    Buffer* buffer = new Buffer();
    const StalePointer<Buffer> stale(buffer);
    buffers_->Add(buffer);
    buffers_->RevokeBuffer(buffer);
    delete buffer;
    EXPECT_EQ(thrownBy<X::ObjectInvalidException>([&] { stale->GetID(); }).description,
              "Access to an invalid BufferData object.");
    // A Buffer made at the same address is another object: the stale pointer stays stale... and
    // calls through it reach the new one only if it is the same address, which is then the new
    // Buffer in its own right.
    // A buffer deleted while still listed leaves the list and the producer.
    Buffer* listed = new Buffer();
    const StalePointer<Buffer> staleListed(listed);
    buffers_->Add(listed);
    delete listed;
    EXPECT_EQ(buffers_->size(), 0u);
    EXPECT_EQ(buffers_->GetAnnouncedCount(), 0u);
    EXPECT_EQ(thrownBy<X::InvalidParameterException>([&] { buffers_->Add(staleListed.get()); }).description,
              "Access to an invalid Buffer object.");
}
