// SPDX-License-Identifier: BSD-3-Clause
// CEventIntern: the event queue every module carries, with its cancellation, for fetches that read
// events someone else received from the producer.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "core/result_codes.h"

namespace corvid2 {

// The queue is fed by whoever receives the module's events for its own purposes (the device's
// internal reception of EVENT_REMOTE_DEVICE) and read by the fetches of CEventObj. Every operation
// may be called from any thread.
//
// Lock order: queueMutex_ -> cancelMutex_; both are leaves beyond that, and neither is held while
// anything outside this class runs.
class CEventIntern {
public:
    // One event as the queue keeps it: the producer's EVENT_DATA_ID text and EVENT_DATA_VALUE bytes.
    struct EventItem {
        std::string id;
        std::vector<std::uint8_t> value;
    };

    // Beyond this many pending events the oldest is dropped: a feeder without a reader must not
    // grow the process without end.
    static constexpr std::size_t kQueueCapacity = 1024;

    CEventIntern() = default;
    virtual ~CEventIntern() = default;
    CEventIntern(const CEventIntern&) = delete;
    CEventIntern& operator=(const CEventIntern&) = delete;

    // The cancelled flag alone: set by a cancel, cleared by the queue fetch that reports it and by
    // every registration. Setting it here wakes nobody; cancelQueueWaits does.
    virtual bool isCancelled() const;
    virtual void clearCancelled();
    virtual void setCancelled();

    // Appends an event and wakes the waiting fetches. False when the queue was full and its oldest
    // event was dropped to make room (counted in droppedEvents); the feeder reports that.
    bool pushEvent(std::string id, std::vector<std::uint8_t> value);

    // Takes the oldest event, waiting up to `timeout` ms for one (0: no wait, GENTL_INFINITE:
    // without end). Abort when a cancel is pending at entry or arrives while waiting (the flag is
    // cleared and the events stay queued); Timeout when none came, also when releaseQueueWaits
    // ended the wait early. Records no error: both are ordinary outcomes of a wait.
    Result takeQueuedEvent(std::uint64_t timeout, EventItem& item);

    // Sets the cancelled flag and ends every wait in takeQueuedEvent with Abort. With nobody waiting
    // the flag makes the next fetch return Abort, once.
    void cancelQueueWaits();
    // Ends every wait in takeQueuedEvent with Timeout, leaving the cancelled flag alone: the events
    // stopped coming through the queue, and the fetch should look at its other source.
    void releaseQueueWaits();

    std::size_t queuedEvents() const;
    // How many fetches are blocked in takeQueuedEvent right now.
    std::uint32_t waitingFetches() const;
    bool isWaiting() const { return waitingFetches() != 0; }
    std::uint64_t droppedEvents() const;
    // Forgets every pending event (the module resets).
    void clearQueue();

private:
    mutable std::mutex queueMutex_;
    std::condition_variable queueChanged_;
    std::deque<EventItem> queue_;
    std::uint64_t cancelGeneration_ = 0;   // counts cancelQueueWaits; a waiter that sees it move aborts
    std::uint64_t releaseGeneration_ = 0;  // counts releaseQueueWaits; a waiter that sees it move times out
    std::uint32_t waiters_ = 0;
    std::uint64_t dropped_ = 0;

    mutable std::mutex cancelMutex_;
    bool cancelled_ = false;
};

}  // namespace corvid2
