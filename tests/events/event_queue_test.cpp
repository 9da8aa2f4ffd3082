// SPDX-License-Identifier: BSD-3-Clause
// The module's event queue: its bound, the device's own reception feeding it, the user's fetches
// reading it, and cancellation of those fetches.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "event_fixture.h"

using namespace corvid2;
using namespace corvid2::test;
using GenTL::EVENT_MODULE;
using GenTL::EVENT_REMOTE_DEVICE;

namespace {

// A fetch of one event on a thread of its own, for tests that act while it waits.
class BackgroundFetch {
public:
    BackgroundFetch(CGenTLModule* module, std::uint64_t timeout)
        : thread_([this, module, timeout] {
              result_ = event_.GetEvent(module, timeout, nullptr);
              done_.store(true, std::memory_order_release);
          }) {}
    ~BackgroundFetch() {
        if (thread_.joinable()) thread_.join();
    }
    bool done() const { return done_.load(std::memory_order_acquire); }
    // Waits for the fetch to return; reads the results only then.
    void join() { thread_.join(); }
    Result result() const { return result_; }
    const CEventObj& event() const { return event_; }

private:
    CEventObj event_;
    Result result_ = Result::Success;
    std::atomic<bool> done_{false};
    std::thread thread_;
};

}  // namespace

TEST(EventQueue, KeepsOrderAndDropsTheOldestBeyondItsBound) {
    CEventIntern queue;
    for (std::size_t index = 0; index < CEventIntern::kQueueCapacity; ++index)
        EXPECT_TRUE(queue.pushEvent(std::to_string(index), {static_cast<std::uint8_t>(index)}));
    EXPECT_EQ(queue.droppedEvents(), 0u);
    EXPECT_FALSE(queue.pushEvent("last", {}));
    EXPECT_EQ(queue.droppedEvents(), 1u);
    EXPECT_EQ(queue.queuedEvents(), CEventIntern::kQueueCapacity);

    CEventIntern::EventItem item;
    ASSERT_EQ(queue.takeQueuedEvent(0, item), Result::Success);
    EXPECT_EQ(item.id, "1");
    EXPECT_EQ(item.value, std::vector<std::uint8_t>{1});
    queue.clearQueue();
    EXPECT_EQ(queue.takeQueuedEvent(0, item), Result::Timeout);
    EXPECT_EQ(queue.takeQueuedEvent(1, item), Result::Timeout);
}

TEST_F(DeviceEventTest, UserFetchesReadTheQueueWhileTheDeviceReceivesItself) {
    ASSERT_EQ(module_->registerEvent(EVENT_REMOTE_DEVICE, 2, true), Result::Success);
    EXPECT_TRUE(module_->internalEventActive());
    EXPECT_EQ(module_->eventMode(EVENT_REMOTE_DEVICE), 0);
    // The producer refuses a second registration of the type: the user's only records its mode.
    ASSERT_EQ(module_->registerEvent(EVENT_REMOTE_DEVICE, 1, false), Result::Success);
    EXPECT_EQ(module_->eventMode(EVENT_REMOTE_DEVICE), 1);

    notifyFrameStart(true);
    startAcquisition();
    ASSERT_TRUE(eventually([&] { return pendingAtProducer() > 0; }));

    // The producer holds camera events, but the user's fetch reads what the device queued.
    module_->pushEvent("ABCD", {1, 2, 3});
    CEventObj fetch;
    ASSERT_EQ(fetch.GetEvent(module_, kPatienceMs, nullptr), Result::Success);
    EXPECT_EQ(fetch.id(), "ABCD");
    EXPECT_EQ(fetch.value(), (std::vector<std::uint8_t>{1, 2, 3}));
    EXPECT_EQ(fetch.GetEvent(module_, 0, nullptr), Result::Timeout);
    EXPECT_GT(pendingAtProducer(), 0u);

    // The device's reception as it will feed the queue: fetch from the producer, push.
    std::atomic<bool> stopFeeding{false};
    std::thread feeder([&] {
        CEventObj receiver;
        while (!stopFeeding.load(std::memory_order_acquire))
            if (receiver.getCurrentEventIntern(module_, 20) == Result::Success)
                module_->pushEvent(receiver.id(), receiver.value());
    });
    const Result fed = fetch.GetEvent(module_, kPatienceMs, nullptr);
    stopFeeding.store(true, std::memory_order_release);
    feeder.join();
    ASSERT_EQ(fed, Result::Success);
    EXPECT_EQ(fetch.id(), kFrameStartId);
    EXPECT_EQ(fetch.valueSize(), kFrameStartValueSize);

    // The reception ends; the user's registration and with it the producer's stays.
    EXPECT_EQ(module_->unregisterEvent(EVENT_REMOTE_DEVICE, true), Result::Success);
    EXPECT_FALSE(module_->internalEventActive());
    EXPECT_TRUE(module_->isEventRegistered(EVENT_REMOTE_DEVICE));
    module_->clearQueue();
    ASSERT_EQ(fetch.GetEvent(module_, kPatienceMs, nullptr), Result::Success);
    EXPECT_EQ(fetch.id(), kFrameStartId);
}

TEST_F(DeviceEventTest, CancelEndsEveryWaitingQueueFetchWithAbort) {
    ASSERT_EQ(module_->registerEvent(EVENT_REMOTE_DEVICE, 1, true), Result::Success);
    BackgroundFetch first(module_, GENTL_INFINITE);
    BackgroundFetch second(module_, GENTL_INFINITE);
    ASSERT_TRUE(eventually([&] { return module_->waitingFetches() == 2; }));

    // The internal reception is active, so the module's abort is the queue's cancel.
    EXPECT_EQ(module_->abortEventWait(), Result::Success);
    const bool ended = eventually([&] { return first.done() && second.done(); });
    if (!ended) {
        // Let a broken cancel fail the test rather than hang it.
        module_->pushEvent("stuck", {});
        module_->pushEvent("stuck", {});
    }
    first.join();
    second.join();
    EXPECT_TRUE(ended);
    EXPECT_EQ(first.result(), Result::Abort);
    EXPECT_EQ(second.result(), Result::Abort);
    EXPECT_FALSE(module_->isWaiting());

    // Both waits took the cancel: nothing is left for the next fetch.
    EXPECT_FALSE(module_->isCancelled());
    CEventObj fetch;
    EXPECT_EQ(fetch.GetEvent(module_, 0, nullptr), Result::Timeout);
}

TEST_F(DeviceEventTest, CancelWithoutWaiterAbortsOnlyTheNextQueueFetch) {
    ASSERT_EQ(module_->registerEvent(EVENT_REMOTE_DEVICE, 1, true), Result::Success);
    module_->pushEvent("0001", {7});
    EXPECT_EQ(module_->abortEventWait(), Result::Success);
    EXPECT_TRUE(module_->isCancelled());

    CEventObj fetch;
    EXPECT_EQ(fetch.GetEvent(module_, kPatienceMs, nullptr), Result::Abort);
    EXPECT_FALSE(module_->isCancelled());
    // The cancel took no event with it.
    ASSERT_EQ(fetch.GetEvent(module_, 0, nullptr), Result::Success);
    EXPECT_EQ(fetch.id(), "0001");
    EXPECT_EQ(fetch.value(), std::vector<std::uint8_t>{7});
    EXPECT_EQ(fetch.GetEvent(module_, 0, nullptr), Result::Timeout);

    // A registration starts without a cancel left over from before.
    module_->cancelEventWait();
    ASSERT_TRUE(module_->isCancelled());
    ASSERT_EQ(module_->registerEvent(EVENT_MODULE, 1, false), Result::Success);
    EXPECT_FALSE(module_->isCancelled());
    EXPECT_EQ(fetch.GetEvent(module_, 0, nullptr), Result::Timeout);
    EXPECT_EQ(module_->unregisterEvent(EVENT_MODULE, false), Result::Success);
}

TEST_F(DeviceEventTest, EndOfInternalReceptionSendsAWaitingFetchToTheProducer) {
    ASSERT_EQ(module_->registerEvent(EVENT_REMOTE_DEVICE, 1, false), Result::Success);
    // The reception takes over the user's registration.
    ASSERT_EQ(module_->registerEvent(EVENT_REMOTE_DEVICE, 2, true), Result::Success);
    ASSERT_TRUE(module_->internalEventActive());

    BackgroundFetch fetch(module_, GENTL_INFINITE);
    ASSERT_TRUE(eventually([&] { return module_->isWaiting(); }));
    EXPECT_EQ(module_->unregisterEvent(EVENT_REMOTE_DEVICE, true), Result::Success);
    EXPECT_TRUE(module_->isEventRegistered(EVENT_REMOTE_DEVICE));

    // Nobody feeds the queue now; the camera's next event must reach the fetch from the producer.
    notifyFrameStart(true);
    startAcquisition();
    const bool ended = eventually([&] { return fetch.done(); });
    if (!ended) {
        module_->cancelEventWait();
        module_->abortGetCurrentEvent();
    }
    fetch.join();
    EXPECT_TRUE(ended);
    ASSERT_EQ(fetch.result(), Result::Success);
    EXPECT_EQ(fetch.event().id(), kFrameStartId);
}
