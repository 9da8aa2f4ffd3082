// SPDX-License-Identifier: BSD-3-Clause
// DeviceBufferNotification: hands the device's most recent filled buffer to every thread that
// waits for one, and holds the delivering thread until all of them are done with it.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace corvid2 {

// What a waiting client receives. The notification neither owns nor reads the buffer.
struct BufferNotice {
    void* buffer = nullptr;      // the data stream's internal buffer object, opaque here
    std::uint32_t state = 0;     // the state bits it was published with
    std::uint64_t sequence = 0;  // 1 for the first publication, one more for each next one
};

// Clients are bits of a 32-bit set, chosen by the callers (one bit per kind of client). A client
// enters, waits for a buffer, and leaves once it is done with it; a client that entered while a
// buffer was published becomes active with the next one. The delivering side publishes one
// buffer at a time and, through FilledBuffer, waits until every client that was active then has
// left: so a client that stays active without ever leaving (for instance one waiting for state
// bits that never come) holds the delivering thread; cancel it and let it leave.
//
// Locks: mutex_ (with changed_) over the client sets and the published buffer, then takenMutex_
// (with takenChanged_) over the set of clients done with the published buffer. mutex_ is taken
// before takenMutex_, never after. No other lock is taken under either, and no call waits with
// a time limit.
class DeviceBufferNotification {
public:
    static constexpr char kTraceName[] = "DeviceBufferNotification";
    // The state FilledBuffer publishes with.
    static constexpr std::uint32_t kStateFilled = 1;

    // Adds clients: to the active set, or, while a buffer is published, to the pending set that
    // becomes active after it. 0 does nothing.
    void Enter(std::uint32_t clients);
    // Removes clients from the active (and pending) set and counts them as done with the published
    // buffer.
    void Leave(std::uint32_t clients);
    // Publishes `buffer` with `state` (which should not be 0: 0 reads as nothing published) and
    // wakes every waiter. With `onlyIfWaited` and no active client, publishes nothing and returns
    // 0; otherwise returns the active set. One publisher at a time (the data stream's delivery).
    std::uint32_t Publish(void* buffer, std::uint32_t state, bool onlyIfWaited);
    // Blocks until `abort` is set, or until one of `clients` is active and a buffer is published
    // whose state holds every bit of `requiredState`; then copies it to `notice` and returns true.
    // `notice` is cleared first. Returns false at once without `notice` or `abort`, or when none
    // of `clients` has entered (active or pending), and false on abort.
    bool Wait(std::uint32_t clients, std::uint32_t requiredState, BufferNotice* notice, std::atomic<bool>* abort);
    // Sets `abort` (when given) and wakes every waiter, so that those waiting with that flag return.
    void Cancel(std::atomic<bool>* abort);
    // For each buffer the data stream delivers: returns at once when no client is active, else
    // publishes it, returns once every client active at publishing has left, and then ends the
    // publication (pending clients become active). One caller at a time.
    void FilledBuffer(void* buffer);

    // For diagnostics and tests.
    std::uint32_t ActiveClients() const;
    std::uint32_t PendingClients() const;

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::uint32_t active_ = 0;
    std::uint32_t pending_ = 0;
    BufferNotice published_;  // state 0 while nothing is published
    std::uint64_t sequence_ = 0;

    std::mutex takenMutex_;
    std::condition_variable takenChanged_;
    std::uint32_t taken_ = 0;  // clients that left since the last publication
};

}  // namespace corvid2
