// SPDX-License-Identifier: BSD-3-Clause
// The two base classes that carry every background thread of the library.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace corvid2 {

// A thread with a stop flag and a manual-reset stop event. The derived class supplies `run`,
// which returns once `stopRequested()` is true or `waitForStopEvent` reports the event.
//
// Derived classes whose `run` touches their own members must call `stop()` in their own
// destructor: by the time the base destructor runs, the derived part is already gone.
//
// Lock order: controlMutex_ -> eventMutex_. No lock is held while the body runs.
class CWorkerThread {
public:
    explicit CWorkerThread(std::string threadName = "corvid2 worker");
    virtual ~CWorkerThread();
    CWorkerThread(const CWorkerThread&) = delete;
    CWorkerThread& operator=(const CWorkerThread&) = delete;

    // Starts the thread and waits (100 checks, 1 ms apart) until its body has begun.
    // True at once when a thread is already active.
    virtual bool start();

    // Raises the stop flag, signals the stop event, polls every 10 ms (at most 10 times),
    // then waits for the thread without limit. True when there was nothing to stop or the
    // thread ended; false when called from the worker itself (it cannot wait for itself).
    bool stop();

    // True while the body (before-run hook, run, after-run hook) executes.
    bool isRunning() const { return running_.load(std::memory_order_acquire); }
    // True from `start` until the thread has left its entry function.
    bool isActive() const { return active_.load(std::memory_order_acquire); }

protected:
    // First thing on the new thread, before the body counts as running: names the thread.
    virtual void onThreadEntry();
    virtual void beforeRun() {}
    virtual void run() = 0;
    // The thread handle itself is reaped by the owner (next `start`, `stop` or destruction).
    virtual void afterRun() {}

    bool stopRequested() const { return stopFlag_.load(std::memory_order_acquire); }

    // Waits up to `milliseconds` for the stop event; true when it is signalled.
    bool waitForStopEvent(std::uint32_t milliseconds);

    // Waits up to `milliseconds` for the stop event or `ready()` (evaluated under the event
    // mutex); true when the stop event is signalled. `wake()` makes the wait look again.
    template <class Ready>
    bool waitForStopEventOr(std::uint32_t milliseconds, Ready ready);
    void wake();

    const std::string& threadName() const { return threadName_; }

private:
    void entry();

    const std::string threadName_;
    std::mutex controlMutex_;
    std::thread thread_;
    std::atomic<bool> stopFlag_{false};
    std::atomic<bool> running_{false};
    std::atomic<bool> active_{false};

    // The start handshake and the manual-reset stop event share one mutex and condition.
    std::mutex eventMutex_;
    std::condition_variable eventCondition_;
    bool stopEvent_ = false;
    bool wakeEvent_ = false;
    bool started_ = false;
};

template <class Ready>
bool CWorkerThread::waitForStopEventOr(std::uint32_t milliseconds, Ready ready) {
    std::unique_lock<std::mutex> lock(eventMutex_);
    eventCondition_.wait_for(lock, std::chrono::milliseconds(milliseconds),
                             [&] { return stopEvent_ || wakeEvent_ || ready(); });
    wakeEvent_ = false;
    return stopEvent_;
}

// A thread with a mutex-guarded stop flag and a condition that the body waits on through
// `waitForStop`, which `stop` interrupts.
//
// Lock order: mutex_ is a leaf; `join` never holds it while waiting for the thread.
class CIThread {
public:
    explicit CIThread(std::string threadName = "corvid2 thread");
    virtual ~CIThread();
    CIThread(const CIThread&) = delete;
    CIThread& operator=(const CIThread&) = delete;

    // Creates the thread unless one exists (a finished but not yet joined thread still exists).
    // False only when the system refuses a new thread.
    virtual bool start();
    // Raises the stop flag and wakes every `waitForStop`.
    virtual void stop();
    // Stops, then waits for the thread and releases it. Throws std::system_error
    // ("boost thread: trying joining itself") when called from the thread itself.
    virtual bool join();
    // Waits until the stop flag is set or `milliseconds` (steady clock) have passed; 0 does not
    // wait, all bits set waits without limit. Returns the stop flag.
    virtual bool waitForStop(std::uint64_t milliseconds);

    bool stopRequested();
    bool hasThread();
    // True on the thread this object runs (until it is joined).
    bool isWorkerThread();

    static constexpr const char* kJoinItselfMessage = "boost thread: trying joining itself";

protected:
    virtual void beforeRun() {}
    virtual void run() = 0;
    virtual void afterRun() {}

private:
    void entry();

    const std::string threadName_;
    std::condition_variable condition_;
    std::unique_ptr<std::thread> thread_;
    std::thread::id workerId_;  // kept until joined, so that the worker is recognised meanwhile
    bool stopFlag_ = false;
    std::mutex mutex_;
};

}  // namespace corvid2
