// SPDX-License-Identifier: BSD-3-Clause
// The module's event queue: feeding, the waiting fetch, and cancellation.
#include "modules/event_intern.h"

#include <chrono>
#include <utility>

#include "gentl.h"

namespace corvid2 {

namespace {
// Beyond a century a wait counts as "no limit"; this also keeps the deadline from overflowing.
constexpr std::uint64_t kNoLimitMilliseconds = 100ull * 365 * 24 * 3600 * 1000;
}  // namespace

bool CEventIntern::isCancelled() const {
    std::lock_guard<std::mutex> lock(cancelMutex_);
    return cancelled_;
}

void CEventIntern::clearCancelled() {
    std::lock_guard<std::mutex> lock(cancelMutex_);
    cancelled_ = false;
}

void CEventIntern::setCancelled() {
    std::lock_guard<std::mutex> lock(cancelMutex_);
    cancelled_ = true;
}

bool CEventIntern::pushEvent(std::string id, std::vector<std::uint8_t> value) {
    bool kept = true;
    {
        std::lock_guard<std::mutex> lock(queueMutex_);
        if (queue_.size() >= kQueueCapacity) {
            queue_.pop_front();
            ++dropped_;
            kept = false;
        }
        queue_.push_back(EventItem{std::move(id), std::move(value)});
    }
    queueChanged_.notify_all();
    return kept;
}

Result CEventIntern::takeQueuedEvent(std::uint64_t timeout, EventItem& item) {
    std::unique_lock<std::mutex> lock(queueMutex_);
    // A cancel that found nobody waiting is meant for this fetch; the events stay for the next one.
    {
        std::lock_guard<std::mutex> flag(cancelMutex_);
        if (cancelled_) {
            cancelled_ = false;
            return Result::Abort;
        }
    }
    const std::uint64_t cancelAtStart = cancelGeneration_;
    const std::uint64_t releaseAtStart = releaseGeneration_;
    const auto ended = [&] {
        return !queue_.empty() || cancelGeneration_ != cancelAtStart || releaseGeneration_ != releaseAtStart;
    };
    if (!ended() && timeout != 0) {
        ++waiters_;
        if (timeout == GENTL_INFINITE || timeout >= kNoLimitMilliseconds) {
            queueChanged_.wait(lock, ended);
        } else {
            queueChanged_.wait_until(lock, std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout),
                                     ended);
        }
        --waiters_;
    }
    if (cancelGeneration_ != cancelAtStart) {
        // Every fetch that waited through the cancel reports it; the flag is spent.
        std::lock_guard<std::mutex> flag(cancelMutex_);
        cancelled_ = false;
        return Result::Abort;
    }
    if (queue_.empty()) return Result::Timeout;
    item = std::move(queue_.front());
    queue_.pop_front();
    return Result::Success;
}

void CEventIntern::cancelQueueWaits() {
    {
        // Under the queue's lock, so that a fetch between its look at the queue and its wait
        // cannot miss the wake-up.
        std::lock_guard<std::mutex> lock(queueMutex_);
        std::lock_guard<std::mutex> flag(cancelMutex_);
        cancelled_ = true;
        ++cancelGeneration_;
    }
    queueChanged_.notify_all();
}

void CEventIntern::releaseQueueWaits() {
    {
        std::lock_guard<std::mutex> lock(queueMutex_);
        ++releaseGeneration_;
    }
    queueChanged_.notify_all();
}

std::size_t CEventIntern::queuedEvents() const {
    std::lock_guard<std::mutex> lock(queueMutex_);
    return queue_.size();
}

std::uint32_t CEventIntern::waitingFetches() const {
    std::lock_guard<std::mutex> lock(queueMutex_);
    return waiters_;
}

std::uint64_t CEventIntern::droppedEvents() const {
    std::lock_guard<std::mutex> lock(queueMutex_);
    return dropped_;
}

void CEventIntern::clearQueue() {
    std::lock_guard<std::mutex> lock(queueMutex_);
    queue_.clear();
}

}  // namespace corvid2
