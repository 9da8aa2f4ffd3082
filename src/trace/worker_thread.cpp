// SPDX-License-Identifier: BSD-3-Clause
// Start, stop and join of the library's two thread base classes.
#include "trace/worker_thread.h"

#include <chrono>
#include <limits>
#include <system_error>
#include <utility>

#include "platform/platform.h"

namespace corvid2 {

namespace {

constexpr int kStartChecks = 100;
constexpr auto kStartCheckInterval = std::chrono::milliseconds(1);
constexpr int kStopPolls = 10;
constexpr auto kStopPollInterval = std::chrono::milliseconds(10);

// The worker object whose body runs on this thread. Checked before any lock is taken, so that a
// body calling `start` or `stop` on itself cannot meet its owner waiting for it under that lock.
thread_local const CWorkerThread* tlsCurrentWorker = nullptr;

}  // namespace

// ---- CWorkerThread ----------------------------------------------------------------------

CWorkerThread::CWorkerThread(std::string threadName) : threadName_(std::move(threadName)) {}

CWorkerThread::~CWorkerThread() { stop(); }

void CWorkerThread::onThreadEntry() { platform::setCurrentThreadName(threadName_); }

void CWorkerThread::entry() {
    tlsCurrentWorker = this;
    onThreadEntry();
    running_.store(true, std::memory_order_release);
    {
        std::lock_guard<std::mutex> lock(eventMutex_);
        started_ = true;
    }
    eventCondition_.notify_all();
    beforeRun();
    run();
    afterRun();
    tlsCurrentWorker = nullptr;
    running_.store(false, std::memory_order_release);
    {
        std::lock_guard<std::mutex> lock(eventMutex_);
        active_.store(false, std::memory_order_release);
    }
    eventCondition_.notify_all();  // ends a stopper's 10 ms poll early
}

bool CWorkerThread::start() {
    if (tlsCurrentWorker == this) return true;
    std::lock_guard<std::mutex> control(controlMutex_);
    if (thread_.joinable()) {
        if (active_.load(std::memory_order_acquire)) return true;
        thread_.join();  // finished on its own: reap it before making a new one
    }
    stopFlag_.store(false, std::memory_order_release);
    {
        std::lock_guard<std::mutex> lock(eventMutex_);
        stopEvent_ = false;
        wakeEvent_ = false;
        started_ = false;
    }
    active_.store(true, std::memory_order_release);
    try {
        thread_ = std::thread(&CWorkerThread::entry, this);
    } catch (const std::system_error&) {
        active_.store(false, std::memory_order_release);
        return false;
    }
    std::unique_lock<std::mutex> lock(eventMutex_);
    for (int check = 0; check < kStartChecks; ++check) {
        if (started_) return true;
        eventCondition_.wait_for(lock, kStartCheckInterval);
    }
    return started_;
}

bool CWorkerThread::stop() {
    if (tlsCurrentWorker == this) {
        stopFlag_.store(true, std::memory_order_release);
        return false;
    }
    std::lock_guard<std::mutex> control(controlMutex_);
    if (!thread_.joinable()) return true;
    stopFlag_.store(true, std::memory_order_release);
    {
        std::unique_lock<std::mutex> lock(eventMutex_);
        stopEvent_ = true;
        eventCondition_.notify_all();
        for (int poll = 0; poll < kStopPolls && active_.load(std::memory_order_acquire); ++poll) {
            stopFlag_.store(true, std::memory_order_release);
            eventCondition_.wait_for(lock, kStopPollInterval);
        }
    }
    thread_.join();
    return true;
}

bool CWorkerThread::waitForStopEvent(std::uint32_t milliseconds) {
    return waitForStopEventOr(milliseconds, [] { return false; });
}

void CWorkerThread::wake() {
    {
        std::lock_guard<std::mutex> lock(eventMutex_);
        wakeEvent_ = true;
    }
    eventCondition_.notify_all();
}

// ---- CIThread ---------------------------------------------------------------------------

CIThread::CIThread(std::string threadName) : threadName_(std::move(threadName)) {}

CIThread::~CIThread() {
    try {
        join();
    } catch (const std::system_error&) {
        // Destroyed by its own thread: it cannot wait for itself, so it lets the thread go.
        std::lock_guard<std::mutex> lock(mutex_);
        if (thread_ && thread_->joinable()) thread_->detach();
        workerId_ = std::thread::id();
    }
}

void CIThread::entry() {
    platform::setCurrentThreadName(threadName_);
    beforeRun();
    run();
    afterRun();
}

bool CIThread::start() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (thread_) return true;
    stopFlag_ = false;
    try {
        thread_ = std::make_unique<std::thread>(&CIThread::entry, this);
        workerId_ = thread_->get_id();
    } catch (const std::system_error& error) {
        const std::string text = "thread resource error: " + std::string(error.what()) + "\n";
        platform::debuggerOutput(text.c_str());
        return false;
    }
    return true;
}

void CIThread::stop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopFlag_ = true;
    }
    condition_.notify_all();
}

bool CIThread::join() {
    std::unique_ptr<std::thread> thread;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (workerId_ == std::this_thread::get_id())
            throw std::system_error(std::make_error_code(std::errc::resource_deadlock_would_occur), kJoinItselfMessage);
    }
    stop();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        thread = std::move(thread_);
    }
    if (thread && thread->joinable()) {
        const std::thread::id joined = thread->get_id();
        thread->join();
        std::lock_guard<std::mutex> lock(mutex_);
        if (workerId_ == joined) workerId_ = std::thread::id();
    }
    return true;
}

bool CIThread::waitForStop(std::uint64_t milliseconds) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (stopFlag_ || milliseconds == 0) return stopFlag_;
    // Beyond a century counts as "no limit"; it also keeps the deadline from overflowing.
    constexpr std::uint64_t kNoLimit = 100ull * 365 * 24 * 3600 * 1000;
    if (milliseconds >= kNoLimit) {
        condition_.wait(lock, [this] { return stopFlag_; });
    } else {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
        condition_.wait_until(lock, deadline, [this] { return stopFlag_; });
    }
    return stopFlag_;
}

bool CIThread::stopRequested() {
    std::lock_guard<std::mutex> lock(mutex_);
    return stopFlag_;
}

bool CIThread::isWorkerThread() {
    std::lock_guard<std::mutex> lock(mutex_);
    return workerId_ == std::this_thread::get_id();
}

bool CIThread::hasThread() {
    std::lock_guard<std::mutex> lock(mutex_);
    return thread_ != nullptr;
}

}  // namespace corvid2
