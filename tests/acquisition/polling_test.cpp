// SPDX-License-Identifier: BSD-3-Clause
// Polling for filled buffers: images as the camera makes them, the sliced wait, cancel.
#include <atomic>
#include <cstdint>
#include <thread>

#include "acquisition_fixture.h"
#include "support/errors.h"

using namespace corvid2::test;
using CORVID2::Buffer;
namespace X = CORVID2::Exceptions;

namespace {

// The frame id the simulator draws into rows 0 to 7: sixteen 8 x 8 blocks, most significant bit left.
std::uint32_t drawnFrameId(const std::uint8_t* image) {
    std::uint32_t id = 0;
    for (int bit = 0; bit < 16; ++bit) id = (id << 1) | (image[bit * 8 + 3 + 3 * 640] > 128 ? 1u : 0u);
    return id;
}

using PollingTest = AcquisitionTest;

}  // namespace

TEST_F(PollingTest, FramesArriveWithTheCamerasGeometryAndTheirOwnPixels) {
    addProducerBuffers(4);
    startContinuous();
    std::uint64_t previous = 0;
    for (int frame = 0; frame < 20; ++frame) {
        Buffer* buffer = stream_->GetFilledBuffer(5000);
        ASSERT_NE(buffer, nullptr);
        EXPECT_EQ(buffer->GetWidth(), 640u);
        EXPECT_EQ(buffer->GetHeight(), 480u);
        EXPECT_STREQ(buffer->GetPixelFormat().get(), "Mono8");
        EXPECT_STREQ(buffer->GetPayloadType().get(), "Image");
        EXPECT_EQ(buffer->GetImageCount(), 1u);
        EXPECT_FALSE(buffer->GetIsIncomplete());
        EXPECT_EQ(buffer->GetSizeFilled(), 640u * 480u);
        EXPECT_EQ(buffer->GetImageLength(), 640u * 480u);
        const std::uint64_t id = buffer->GetFrameID();
        if (frame > 0) {
            EXPECT_GT(id, previous);
        }
        previous = id;
        EXPECT_EQ(drawnFrameId(static_cast<const std::uint8_t*>(buffer->GetImageData())), id & 0xFFFF);
        buffer->QueueBuffer();
    }
    stop();
    EXPECT_GE(buffers_->GetDeliveredCount(), 20u);
    EXPECT_EQ(buffers_->GetAnnouncedCount(), 4u);
}

TEST_F(PollingTest, TheWaitRunsIn20MillisecondSlicesWithTheRestInTheLast) {
    EXPECT_EQ(stream_->GetFilledBuffer(0), nullptr);
    EXPECT_EQ(eventWaits(), "0");
    EXPECT_EQ(stream_->GetFilledBuffer(19), nullptr);
    EXPECT_EQ(eventWaits(), "19");
    EXPECT_EQ(stream_->GetFilledBuffer(45), nullptr);
    EXPECT_EQ(eventWaits(), "20,25");
    EXPECT_EQ(stream_->GetFilledBuffer(60), nullptr);
    EXPECT_EQ(eventWaits(), "20,20,20");
}

TEST_F(PollingTest, ACancelEndsTheWaitingCallOrTheNextOne) {
    stream_->CancelGetFilledBuffer();
    EXPECT_TRUE(thrownBy<X::AbortException>([&] { stream_->GetFilledBuffer(1000); }).caught);
    EXPECT_EQ(eventWaits(), "") << "the cancel was seen before the producer was asked";
    EXPECT_EQ(stream_->GetFilledBuffer(0), nullptr) << "one cancel ends one wait";

    std::atomic<bool> aborted{false};
    std::thread waiter(
        [&] { aborted = thrownBy<X::AbortException>([&] { stream_->GetFilledBuffer(GENTL_INFINITE); }).caught; });
    while (eventWaits().empty()) std::this_thread::yield();
    stream_->CancelGetFilledBuffer();
    waiter.join();
    EXPECT_TRUE(aborted);
}
