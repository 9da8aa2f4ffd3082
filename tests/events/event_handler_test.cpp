// SPDX-License-Identifier: BSD-3-Clause
// The handler thread of an event object: delivery of the camera's events, its name, installing over
// a handler, and removal that neither waits for a further event nor leaves an abort behind.
#include <gtest/gtest.h>
#include <pthread.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "event_fixture.h"
#include "support/errors.h"

using namespace corvid2;
using namespace corvid2::test;
using GenTL::EVENT_REMOTE_DEVICE;

namespace {

// What a handler saw; `context` of the handler. Its second context is the event object whose data
// is the event just fetched (read on the handler's own thread, as a handler does).
struct Received {
    std::mutex mutex;
    std::vector<std::string> ids;
    std::vector<std::uint64_t> frames;
    std::string threadName;
    std::atomic<std::size_t> count{0};

    std::size_t size() const { return count.load(std::memory_order_acquire); }
};

void record(void* context, void* context2) {
    auto* received = static_cast<Received*>(context);
    const auto* event = static_cast<const CEventObj*>(context2);
    char name[16] = {};
    pthread_getname_np(pthread_self(), name, sizeof name);
    {
        std::lock_guard<std::mutex> lock(received->mutex);
        received->ids.push_back(event->id());
        std::uint64_t frame = 0;
        if (event->valueSize() >= 16) std::memcpy(&frame, event->valuePointer() + 8, sizeof frame);
        received->frames.push_back(frame);
        received->threadName = name;
    }
    received->count.fetch_add(1, std::memory_order_acq_rel);
}

// removeHandler on a thread of its own, so that a removal that waits for an event that never comes
// fails the test instead of hanging it; `unblock` then ends the wait.
template <class Unblock>
bool removesPromptly(CEventObj& events, Result& result, Unblock unblock) {
    std::atomic<bool> done{false};
    std::thread remover([&] {
        result = events.removeHandler();
        done.store(true, std::memory_order_release);
    });
    const bool prompt = eventually([&] { return done.load(std::memory_order_acquire); });
    if (!prompt) unblock();
    remover.join();
    return prompt;
}

}  // namespace

TEST_F(DeviceEventTest, HandlerThreadDeliversEventsAndRemovalDoesNotWaitForTheNext) {
    ASSERT_EQ(module_->registerEvent(EVENT_REMOTE_DEVICE, 2, false), Result::Success);
    Received received;
    CEventObj events;
    CEventObj target;
    ASSERT_EQ(events.installHandler(&received, &events, &record, module_, &target, GENTL_INFINITE), Result::Success);
    EXPECT_TRUE(events.handlerInstalled());

    notifyFrameStart(true);
    startAcquisition();
    ASSERT_TRUE(eventually([&] { return received.size() >= 3; }));

    // No event comes any more, and the thread waits for one at the producer without limit.
    notifyFrameStart(false);
    stopAcquisition();
    ASSERT_TRUE(eventually([&] { return events.handlerWaiting() && pendingAtProducer() == 0; }));
    const std::size_t delivered = received.size();

    Result removed = Result::Error;
    EXPECT_TRUE(removesPromptly(events, removed, [&] { module_->abortGetCurrentEvent(); }));
    EXPECT_EQ(removed, Result::Success);
    EXPECT_FALSE(events.handlerInstalled());
    EXPECT_EQ(received.size(), delivered);
    {
        std::lock_guard<std::mutex> lock(received.mutex);
        EXPECT_EQ(received.threadName, CEventObj::kThreadName);
        for (const std::string& id : received.ids) EXPECT_EQ(id, kFrameStartId);
        for (std::size_t index = 1; index < received.frames.size(); ++index)
            EXPECT_GT(received.frames[index], received.frames[index - 1]);
        // The target holds the last event the thread fetched.
        EXPECT_EQ(target.id(), kFrameStartId);
        ASSERT_EQ(target.valueSize(), kFrameStartValueSize);
        EXPECT_EQ(DeviceEventTest::frameIdOf(target), received.frames.back());
    }

    // The abort of the removal was taken by the thread's wait: the next fetch waits normally.
    CEventObj fetch;
    EXPECT_EQ(fetch.GetEvent(module_, 0, nullptr), Result::Timeout);
    // Removing again, with no handler, does nothing.
    EXPECT_EQ(events.removeHandler(), Result::Success);
}

TEST_F(DeviceEventTest, InstallRefusesMissingArgumentsAndReplacesAPreviousHandler) {
    ASSERT_EQ(module_->registerEvent(EVENT_REMOTE_DEVICE, 2, false), Result::Success);
    Received first, second;
    CEventObj events;
    CEventObj target;
    EXPECT_EQ(events.installHandler(&first, &events, nullptr, module_, &target, GENTL_INFINITE),
              Result::InvalidParameter);
    EXPECT_EQ(lastErrorText(), "Invalid parameter, handler is NULL");
    EXPECT_EQ(events.installHandler(&first, &events, &record, nullptr, &target, GENTL_INFINITE),
              Result::InvalidParameter);
    EXPECT_EQ(lastErrorText(), "Invalid parameter, module is NULL");
    EXPECT_EQ(events.installHandler(&first, &events, &record, module_, nullptr, GENTL_INFINITE),
              Result::InvalidParameter);
    EXPECT_EQ(lastErrorText(), "Invalid parameter, parameter is NULL");
    EXPECT_FALSE(events.handlerInstalled());

    // The second installation ends the first thread before its own starts: only it sees events.
    ASSERT_EQ(events.installHandler(&first, &events, &record, module_, &target, GENTL_INFINITE), Result::Success);
    ASSERT_TRUE(eventually([&] { return events.handlerWaiting(); }));
    ASSERT_EQ(events.installHandler(&second, &events, &record, module_, &target, GENTL_INFINITE), Result::Success);
    notifyFrameStart(true);
    startAcquisition();
    ASSERT_TRUE(eventually([&] { return second.size() >= 2; }));
    EXPECT_EQ(events.removeHandler(), Result::Success);
    EXPECT_EQ(first.size(), 0u);
}

TEST_F(DeviceEventTest, RemovalFromInsideTheHandlerFailsAndTheOwnerStillEndsTheThread) {
    ASSERT_EQ(module_->registerEvent(EVENT_REMOTE_DEVICE, 2, false), Result::Success);
    struct Inside {
        CEventObj events;
        std::atomic<bool> tried{false};
        Result result = Result::Success;
        std::string text;
    } inside;
    const CEventObj::Handler removeItself = [](void* context, void*) {
        auto* self = static_cast<Inside*>(context);
        if (self->tried.load(std::memory_order_acquire)) return;
        self->result = self->events.removeHandler();
        self->text = lastErrorText();
        self->tried.store(true, std::memory_order_release);
    };
    CEventObj target;
    ASSERT_EQ(inside.events.installHandler(&inside, nullptr, removeItself, module_, &target, GENTL_INFINITE),
              Result::Success);
    notifyFrameStart(true);
    startAcquisition();
    ASSERT_TRUE(eventually([&] { return inside.tried.load(std::memory_order_acquire); }));
    EXPECT_EQ(inside.result, Result::Error);
    EXPECT_EQ(inside.text.rfind(CIThread::kJoinItselfMessage, 0), 0u) << inside.text;
    // The thread was asked to stop all the same; the owner joins it.
    EXPECT_TRUE(inside.events.handlerInstalled());
    Result removed = Result::Error;
    EXPECT_TRUE(removesPromptly(inside.events, removed, [&] { module_->abortGetCurrentEvent(); }));
    EXPECT_EQ(removed, Result::Success);
    EXPECT_FALSE(inside.events.handlerInstalled());
}

TEST_F(DeviceEventTest, RemovalWhileEventsArriveLeavesNoAbortBehind) {
    ASSERT_EQ(module_->registerEvent(EVENT_REMOTE_DEVICE, 2, false), Result::Success);
    notifyFrameStart(true);
    startAcquisition(64);
    CEventObj target;
    CEventObj fetch;
    for (int round = 0; round < 8; ++round) {
        Received received;
        CEventObj events;
        ASSERT_EQ(events.installHandler(&received, &events, &record, module_, &target, GENTL_INFINITE),
                  Result::Success);
        ASSERT_TRUE(eventually([&] { return received.size() >= 1; })) << round;
        Result removed = Result::Error;
        ASSERT_TRUE(removesPromptly(events, removed, [&] { module_->abortGetCurrentEvent(); })) << round;
        EXPECT_EQ(removed, Result::Success);
        // Whether the removal caught the thread waiting or between two events, no kill is left at
        // the producer for the next fetch.
        const Result next = fetch.GetEvent(module_, 0, nullptr);
        EXPECT_TRUE(next == Result::Success || next == Result::Timeout) << round << ": " << next;
    }
}

TEST_F(DeviceEventTest, HandlerOnTheQueueIsRemovedThroughTheQueuesCancel) {
    ASSERT_EQ(module_->registerEvent(EVENT_REMOTE_DEVICE, 2, true), Result::Success);
    ASSERT_EQ(module_->registerEvent(EVENT_REMOTE_DEVICE, 2, false), Result::Success);
    Received received;
    CEventObj events;
    CEventObj target;
    ASSERT_EQ(events.installHandler(&received, &events, &record, module_, &target, GENTL_INFINITE), Result::Success);
    module_->pushEvent("0A0B", {1});
    module_->pushEvent("0C0D", {2});
    ASSERT_TRUE(eventually([&] { return received.size() == 2 && module_->isWaiting(); }));

    Result removed = Result::Error;
    EXPECT_TRUE(removesPromptly(events, removed, [&] { module_->pushEvent("stuck", {}); }));
    EXPECT_EQ(removed, Result::Success);
    {
        std::lock_guard<std::mutex> lock(received.mutex);
        EXPECT_EQ(received.ids, (std::vector<std::string>{"0A0B", "0C0D"}));
    }
    EXPECT_EQ(target.id(), "0C0D");
    // The thread's wait took the cancel; none is left for the user's next fetch.
    EXPECT_FALSE(module_->isCancelled());
    CEventObj fetch;
    EXPECT_EQ(fetch.GetEvent(module_, 0, nullptr), Result::Timeout);
}
