// SPDX-License-Identifier: BSD-3-Clause
// The new-buffer handler: buffers on the stream's own thread, mode changes, what polling calls
// meet in handler mode and after it.
#include <algorithm>
#include <atomic>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "acquisition_fixture.h"
#include "support/errors.h"
#include "support/waiting.h"

using namespace corvid2::test;
using CORVID2::Buffer;
using CORVID2::Events::EventMode;
namespace X = CORVID2::Exceptions;

namespace {

// What the handler saw: the buffers, their frame ids and the thread it ran on.
struct Received {
    std::mutex mutex;
    std::vector<Buffer*> buffers;
    std::vector<std::uint64_t> frames;
    std::set<std::thread::id> threads;
    std::atomic<int> count{0};
    bool requeue = true;
};

void onBuffer(void* user, Buffer* buffer) {
    auto* received = static_cast<Received*>(user);
    {
        std::lock_guard<std::mutex> lock(received->mutex);
        received->buffers.push_back(buffer);
        received->threads.insert(std::this_thread::get_id());
        if (buffer != nullptr) received->frames.push_back(buffer->GetFrameID());
    }
    if (buffer != nullptr && received->requeue) buffer->QueueBuffer();
    ++received->count;
}

// The record outlives the stream's handler thread: the fixture closes the device first.
class HandlerTest : public AcquisitionTest {
protected:
    Received received;
};

}  // namespace

TEST_F(HandlerTest, TheHandlerReceivesEveryBufferInOrderOnTheStreamsThread) {
    const std::vector<Buffer*> added = addProducerBuffers(4);
    stream_->RegisterNewBufferEventHandler(&received, &onBuffer);
    EXPECT_EQ(stream_->GetEventMode(), EventMode::EventHandler);
    startContinuous();
    ASSERT_TRUE(eventually([&] { return received.count >= 50; }));
    stop();
    std::lock_guard<std::mutex> lock(received.mutex);
    EXPECT_EQ(received.threads.size(), 1u);
    EXPECT_EQ(received.threads.count(std::this_thread::get_id()), 0u);
    for (std::size_t index = 1; index < received.frames.size(); ++index)
        EXPECT_EQ(received.frames[index], received.frames[index - 1] + 1) << "no frame lost while requeued at once";
    for (Buffer* buffer : received.buffers) EXPECT_NE(std::find(added.begin(), added.end(), buffer), added.end());
}

TEST_F(HandlerTest, PollingCallsRefuseInHandlerModeAndLeavingItDiscardsAndStopsTheThread) {
    addProducerBuffers(4);
    received.requeue = false;
    stream_->RegisterNewBufferEventHandler(&received, &onBuffer);
    const char* refused = "The current Event Mode does not support this function.";
    EXPECT_EQ(thrownBy<X::NotInitializedException>([&] { stream_->GetFilledBuffer(0); }).description, refused);
    EXPECT_EQ(thrownBy<X::NotInitializedException>([&] { stream_->CancelGetFilledBuffer(); }).description, refused);

    // The handler keeps two buffers; the other two wait in the producer's output queue.
    startContinuous();
    ASSERT_TRUE(eventually([&] { return received.count >= 1; }));
    device_->GetRemoteNode("AcquisitionStop")->Execute();
    stream_->StopAcquisition();
    stream_->RegisterNewBufferEvent(EventMode::Polling);
    EXPECT_EQ(stream_->GetEventMode(), EventMode::Polling);
    EXPECT_EQ(buffers_->GetAwaitDeliveryCount(), 0u) << "leaving the handler discards the output queue";
    EXPECT_EQ(buffers_->GetQueuedCount(), 0u);
    // The handler thread was once stopped: a wait that sees no buffer in its first slice ends.
    eventWaits();
    EXPECT_TRUE(thrownBy<X::AbortException>([&] { stream_->GetFilledBuffer(1000); }).caught);
    EXPECT_EQ(eventWaits(), "20");
    // Images still arrive, to polling only.
    const int handled = received.count;
    for (Buffer* buffer : *buffers_) buffer->QueueBuffer();
    startContinuous();
    EXPECT_NE(stream_->GetFilledBuffer(5000), nullptr);
    EXPECT_EQ(received.count, handled);
}

TEST_F(HandlerTest, ModesAreCheckedAndTheModeInUseIsReported) {
    EXPECT_EQ(stream_->GetEventMode(), EventMode::Polling) << "an open stream polls";
    EXPECT_TRUE(
        thrownBy<X::ResourceInUseException>([&] { stream_->RegisterNewBufferEvent(EventMode::Polling); }).caught);
    EXPECT_EQ(thrownBy<X::InvalidParameterException>([&] {
                  stream_->RegisterNewBufferEvent(static_cast<EventMode>(3));
              }).description,
              "Invalid EventMode specified.");
    EXPECT_TRUE(thrownBy<X::InvalidParameterException>([&] {
                    stream_->RegisterNewBufferEventHandler(nullptr, nullptr);
                }).caught);
    stream_->UnregisterNewBufferEvent();
    EXPECT_EQ(stream_->GetEventMode(), EventMode::Unregistered);
    stream_->RegisterNewBufferEvent(EventMode::Polling);
    EXPECT_EQ(stream_->GetFilledBuffer(0), nullptr);
}

TEST_F(HandlerTest, ClosingTheStreamEndsTheHandlerThreadAndABufferLeftBehindIsNoLongerDelivered) {
    addProducerBuffers(4);
    stream_->RegisterNewBufferEventHandler(&received, &onBuffer);
    startContinuous();
    ASSERT_TRUE(eventually([&] { return received.count >= 10; }));
    EXPECT_EQ(exceptionText([&] { stream_->Close(); }), "no exception");
    const int handled = received.count;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(received.count, handled);
    EXPECT_FALSE(stream_->IsOpen());
    EXPECT_EQ(thrownBy<X::NotInitializedException>([&] { stream_->GetBufferList(); }).description,
              "DataStream not opened.");
    EXPECT_EQ(thrownBy<X::NotInitializedException>([&] { stream_->GetEventMode(); }).description,
              "The corresponding CGenTLModule object is not open.");
}
