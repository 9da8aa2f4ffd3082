// SPDX-License-Identifier: BSD-3-Clause
// Waiting on work of other threads: the one time limit, polling for a condition, a one-way signal.
#pragma once

#include <atomic>
#include <chrono>
#include <thread>

namespace corvid2::test {

// A limit for waits on background work; reaching it is a failure, never a measurement.
inline constexpr std::chrono::milliseconds kPatience{20000};

// Polls `done` until it holds or kPatience has passed; the limit only keeps a broken build from
// hanging the run.
template <class Condition>
bool eventually(Condition done) {
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (!done() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return done();
}

// Raised once by one thread, awaited by another. Waiting yields and has no limit: the tests that use
// it check orderings, which a timeout would turn into a guess.
class Signal {
public:
    void raise() { raised_.store(true, std::memory_order_release); }
    bool raised() const { return raised_.load(std::memory_order_acquire); }
    void wait() const {
        while (!raised()) std::this_thread::yield();
    }

private:
    std::atomic<bool> raised_{false};
};

}  // namespace corvid2::test
