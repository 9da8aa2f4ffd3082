// SPDX-License-Identifier: BSD-3-Clause
// DeviceBufferNotification with real threads: waiters receive the published buffer, the delivering
// thread waits for every active client, Cancel wakes waiters, and nobody waiting means no wait.
#include "addons/device_buffer_notification.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "support/trace_capture.h"
#include "support/waiting.h"

using namespace corvid2;
using namespace corvid2::test;

namespace {

constexpr std::uint32_t kFirst = 1;
constexpr std::uint32_t kSecond = 2;
constexpr std::uint32_t kLate = 4;
constexpr std::uint32_t kFilled = DeviceBufferNotification::kStateFilled;

// What a waiting client saw, kept for the test thread to read once the client has ended.
struct WaitOutcome {
    bool received = false;
    BufferNotice notice;
};

}  // namespace

TEST(DeviceBufferNotificationTest, WithoutWaitingClientsNothingIsPublishedOrAwaited) {
    TraceCapture trace;
    DeviceBufferNotification notification;
    int buffer = 0;
    notification.FilledBuffer(&buffer);
    EXPECT_EQ(notification.Publish(&buffer, kFilled, true), 0u);
    // Nothing published: a client entering now is active at once.
    notification.Enter(kFirst);
    EXPECT_EQ(notification.ActiveClients(), kFirst);
    EXPECT_EQ(notification.PendingClients(), 0u);
    notification.Enter(0);
    EXPECT_EQ(notification.ActiveClients(), kFirst);
    notification.Leave(kFirst);
    EXPECT_EQ(notification.ActiveClients(), 0u);

    std::atomic<bool> abort{false};
    BufferNotice notice{&buffer, 3, 9};
    EXPECT_FALSE(notification.Wait(kFirst, kFilled, &notice, &abort));  // never entered
    EXPECT_EQ(notice.buffer, nullptr);
    notification.Enter(kFirst);
    EXPECT_FALSE(notification.Wait(kFirst, kFilled, nullptr, &abort));
    EXPECT_FALSE(notification.Wait(kFirst, kFilled, &notice, nullptr));
    notification.Leave(kFirst);

    EXPECT_EQ(trace.count("DeviceBufferNotification; FilledBuffer; called;"), 1u);
    EXPECT_EQ(trace.count("DeviceBufferNotification; FilledBuffer; no waiting thread;"), 1u);
    EXPECT_EQ(trace.count("DeviceBufferNotification; FilledBuffer; all done;"), 0u);
    EXPECT_EQ(trace.count("DeviceBufferNotification; NotifyState; 1"), 2u);
    EXPECT_EQ(trace.count("DeviceBufferNotification; Enter; 1;"), 2u);
    EXPECT_EQ(trace.count("DeviceBufferNotification; Leave; 1;"), 2u);
    EXPECT_EQ(trace.count("DeviceBufferNotification; Wait; 1 1;"), 3u);
}

TEST(DeviceBufferNotificationTest, AWaiterReceivesThePublishedBuffer) {
    TraceCapture trace;
    DeviceBufferNotification notification;
    std::atomic<bool> abort{false};
    int first = 0, second = 0;
    WaitOutcome outcomes[2];
    notification.Enter(kFirst);
    std::thread client([&] {
        for (WaitOutcome& outcome : outcomes) {
            outcome.received = notification.Wait(kFirst, kFilled, &outcome.notice, &abort);
            notification.Leave(kFirst);
            notification.Enter(kFirst);
        }
        notification.Leave(kFirst);
    });
    notification.FilledBuffer(&first);
    // The client entered again while the first buffer was out; the second one waits for it.
    ASSERT_TRUE(eventually([&] { return notification.ActiveClients() == kFirst; }));
    notification.FilledBuffer(&second);
    client.join();

    EXPECT_TRUE(outcomes[0].received);
    EXPECT_EQ(outcomes[0].notice.buffer, &first);
    EXPECT_EQ(outcomes[0].notice.state, kFilled);
    EXPECT_EQ(outcomes[0].notice.sequence, 1u);
    EXPECT_TRUE(outcomes[1].received);
    EXPECT_EQ(outcomes[1].notice.buffer, &second);
    EXPECT_EQ(outcomes[1].notice.sequence, 2u);
    EXPECT_EQ(notification.ActiveClients(), 0u);
    EXPECT_EQ(trace.count("DeviceBufferNotification; Wait; done;"), 2u);
    EXPECT_EQ(trace.count("DeviceBufferNotification; FilledBuffer; all done;"), 2u);
    EXPECT_EQ(trace.count("DeviceBufferNotification; FilledBuffer; done;"), 2u);
    EXPECT_EQ(trace.count("DeviceBufferNotification; FilledBuffer; no waiting thread;"), 0u);
}

TEST(DeviceBufferNotificationTest, FilledBufferReturnsOnlyOnceEveryActiveClientTookItOrLeft) {
    DeviceBufferNotification notification;
    std::atomic<bool> abort{false};
    int buffer = 0;
    WaitOutcome outcome;
    Signal received, release, delivered;
    notification.Enter(kFirst | kSecond);
    std::thread client([&] {
        outcome.received = notification.Wait(kFirst, kFilled, &outcome.notice, &abort);
        received.raise();
        release.wait();
        notification.Leave(kFirst);
    });
    std::thread delivery([&] {
        notification.FilledBuffer(&buffer);
        delivered.raise();
    });

    received.wait();
    EXPECT_TRUE(outcome.received);
    EXPECT_EQ(outcome.notice.buffer, &buffer);
    // The buffer is out until both clients have left: one entering now waits for the next one.
    notification.Enter(kLate);
    EXPECT_EQ(notification.PendingClients(), kLate);
    EXPECT_EQ(notification.ActiveClients(), kFirst | kSecond);
    EXPECT_FALSE(delivered.raised());

    release.raise();
    client.join();
    ASSERT_TRUE(eventually([&] { return notification.ActiveClients() == kSecond; }));
    EXPECT_FALSE(delivered.raised());

    // The second client never waited; leaving is enough.
    notification.Leave(kSecond);
    delivered.wait();
    delivery.join();
    EXPECT_EQ(notification.ActiveClients(), kLate);
    EXPECT_EQ(notification.PendingClients(), 0u);
    notification.Leave(kLate);
}

TEST(DeviceBufferNotificationTest, CancelWakesAWaiterWhoseStateNeverComes) {
    TraceCapture trace;
    DeviceBufferNotification notification;
    std::atomic<bool> abort{false};
    int buffer = 0;
    WaitOutcome outcome;
    Signal waiting, delivered;
    constexpr std::uint32_t kOtherState = 2;
    notification.Enter(kFirst);
    std::thread client([&] {
        waiting.raise();
        outcome.received = notification.Wait(kFirst, kOtherState, &outcome.notice, &abort);
        notification.Leave(kFirst);
    });
    // A filled buffer does not satisfy the client, which so holds the delivery.
    std::thread delivery([&] {
        notification.FilledBuffer(&buffer);
        delivered.raise();
    });
    waiting.wait();
    ASSERT_TRUE(eventually([&] { return trace.count("DeviceBufferNotification; NotifyState; 1") == 1; }));
    EXPECT_FALSE(delivered.raised());

    notification.Cancel(&abort);
    client.join();
    delivered.wait();
    delivery.join();
    EXPECT_FALSE(outcome.received);
    EXPECT_EQ(outcome.notice.buffer, nullptr);
    EXPECT_TRUE(abort.load());
    EXPECT_EQ(trace.count("DeviceBufferNotification; Cancel;"), 1u);
    EXPECT_EQ(trace.count("DeviceBufferNotification; Wait; 1 2;"), 1u);
    EXPECT_EQ(trace.count("DeviceBufferNotification; Wait; abort;"), 1u);
    EXPECT_EQ(trace.count("DeviceBufferNotification; Wait; done;"), 0u);

    // A raised flag ends the next wait at once too.
    notification.Enter(kFirst);
    BufferNotice notice;
    EXPECT_FALSE(notification.Wait(kFirst, kFilled, &notice, &abort));
    notification.Leave(kFirst);
}
