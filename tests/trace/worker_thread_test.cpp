// SPDX-License-Identifier: BSD-3-Clause
// Start handshake, stopping and joining of the two thread base classes.
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <string>
#include <system_error>

#include "trace/worker_thread.h"

namespace corvid2 {
namespace {

// A worker whose body polls the stop flag between short waits on the stop event.
class PollingWorker : public CWorkerThread {
public:
    ~PollingWorker() override { stop(); }
    std::atomic<int> entries{0};
    std::atomic<bool> sawStop{false};
    std::atomic<bool> stopFromInside{false};
    std::atomic<bool> insideStopResult{true};

protected:
    void beforeRun() override { ++entries; }
    void run() override {
        if (stopFromInside) insideStopResult = stop();
        while (!stopRequested()) waitForStopEvent(1);
        sawStop = true;
    }
};

// A worker that only wakes through the stop event (it never looks at the flag on its own).
class EventWorker : public CWorkerThread {
public:
    ~EventWorker() override { stop(); }
    std::atomic<bool> woken{false};

protected:
    void run() override { woken = waitForStopEvent(600000); }
};

// A worker held at its very first step until the test lets it go.
class GatedWorker : public PollingWorker {
public:
    std::promise<void> gate;

protected:
    void onThreadEntry() override { gate.get_future().wait(); }
};

TEST(WorkerThread, StopReturnsAfterTheBodySawTheFlag) {
    PollingWorker worker;
    ASSERT_TRUE(worker.start());
    EXPECT_TRUE(worker.isRunning());
    EXPECT_TRUE(worker.stop());
    EXPECT_TRUE(worker.sawStop);
    EXPECT_FALSE(worker.isActive());
}

TEST(WorkerThread, StopEventWakesABodyWaitingForIt) {
    EventWorker worker;
    ASSERT_TRUE(worker.start());
    EXPECT_TRUE(worker.stop());
    EXPECT_TRUE(worker.woken);
}

TEST(WorkerThread, StartOnARunningThreadCreatesNoSecondOne) {
    PollingWorker worker;
    ASSERT_TRUE(worker.start());
    EXPECT_TRUE(worker.start());
    EXPECT_TRUE(worker.stop());
    EXPECT_EQ(worker.entries, 1);
}

TEST(WorkerThread, StoppedWorkerStartsAgain) {
    PollingWorker worker;
    ASSERT_TRUE(worker.start());
    ASSERT_TRUE(worker.stop());
    worker.sawStop = false;
    ASSERT_TRUE(worker.start());
    EXPECT_TRUE(worker.stop());
    EXPECT_EQ(worker.entries, 2);
    EXPECT_TRUE(worker.sawStop);
}

TEST(WorkerThread, StopWithoutThreadSucceeds) {
    PollingWorker worker;
    EXPECT_TRUE(worker.stop());
    EXPECT_EQ(worker.entries, 0);
}

TEST(WorkerThread, BodyNotStartedInTimeMakesStartFalse) {
    GatedWorker worker;
    EXPECT_FALSE(worker.start());
    EXPECT_TRUE(worker.isActive());  // the thread exists, it only has not begun its body
    EXPECT_EQ(worker.entries, 0);
    worker.gate.set_value();
    EXPECT_TRUE(worker.stop());
    EXPECT_EQ(worker.entries, 1);
}

TEST(WorkerThread, StopFromTheWorkerItselfRefusesWithoutHanging) {
    PollingWorker worker;
    worker.stopFromInside = true;
    ASSERT_TRUE(worker.start());
    EXPECT_TRUE(worker.stop());
    EXPECT_FALSE(worker.insideStopResult);
    EXPECT_TRUE(worker.sawStop);
}

// ---- CIThread ---------------------------------------------------------------------------

class WaitingThread : public CIThread {
public:
    explicit WaitingThread(std::uint64_t waitMs) : waitMs_(waitMs) {}
    ~WaitingThread() override { join(); }
    std::atomic<int> entries{0};
    std::atomic<int> afterRuns{0};
    std::atomic<bool> result{false};
    std::atomic<bool> joinFromInside{false};
    std::string joinError;

protected:
    void beforeRun() override { ++entries; }
    void run() override {
        if (joinFromInside) {
            try {
                join();
            } catch (const std::system_error& error) {
                joinError = error.what();
            }
        }
        result = waitForStop(waitMs_);
    }
    void afterRun() override { ++afterRuns; }

private:
    const std::uint64_t waitMs_;
};

TEST(IThread, WaitForStopZeroAnswersTheFlagAtOnce) {
    WaitingThread thread(0);
    EXPECT_FALSE(thread.waitForStop(0));
    thread.stop();
    EXPECT_TRUE(thread.waitForStop(0));
}

TEST(IThread, WaitForStopGivesUpWithoutStop) {
    WaitingThread thread(0);
    EXPECT_FALSE(thread.waitForStop(5));
}

TEST(IThread, StopWakesABodyBlockedInWaitForStop) {
    WaitingThread thread(600000);
    ASSERT_TRUE(thread.start());
    EXPECT_TRUE(thread.join());
    EXPECT_TRUE(thread.result);
    EXPECT_EQ(thread.afterRuns, 1);
    EXPECT_FALSE(thread.hasThread());
}

TEST(IThread, WaitWithoutLimitEndsOnStop) {
    WaitingThread thread(~std::uint64_t{0});
    ASSERT_TRUE(thread.start());
    EXPECT_TRUE(thread.join());
    EXPECT_TRUE(thread.result);
}

TEST(IThread, StartWithAThreadPresentCreatesNoSecondOne) {
    WaitingThread thread(600000);
    ASSERT_TRUE(thread.start());
    EXPECT_TRUE(thread.start());
    ASSERT_TRUE(thread.join());
    EXPECT_EQ(thread.entries, 1);
}

TEST(IThread, JoinedThreadStartsAgainWithTheFlagCleared) {
    WaitingThread thread(600000);
    ASSERT_TRUE(thread.start());
    ASSERT_TRUE(thread.join());
    EXPECT_TRUE(thread.stopRequested());
    ASSERT_TRUE(thread.start());
    ASSERT_TRUE(thread.join());
    EXPECT_EQ(thread.entries, 2);
}

TEST(IThread, JoinFromTheThreadItselfIsRefused) {
    WaitingThread thread(600000);
    thread.joinFromInside = true;
    ASSERT_TRUE(thread.start());
    ASSERT_TRUE(thread.join());
    EXPECT_NE(thread.joinError.find(CIThread::kJoinItselfMessage), std::string::npos) << thread.joinError;
}

}  // namespace
}  // namespace corvid2
