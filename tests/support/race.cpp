// SPDX-License-Identifier: BSD-3-Clause
#include "support/race.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>

#include "corvid2/exceptions.h"

namespace corvid2::test {

std::chrono::milliseconds stressDuration() {
    const char* seconds = std::getenv("CORVID2_STRESS_SECONDS");
    return seconds != nullptr ? std::chrono::milliseconds(std::atoll(seconds) * 1000) : std::chrono::milliseconds(1500);
}

Outcome race(const std::function<void()>& use, const std::function<void()>& reopen) {
    Outcome outcome;
    std::atomic<bool> stop{false};
    std::atomic<int> completed{0};
    std::thread user([&] {
        while (!stop.load()) {
            try {
                use();
                completed.fetch_add(1);
            } catch (const CORVID2::Exceptions::IException&) {
                ++outcome.refused;
            }
        }
    });
    // On a loaded machine the user may lose every round of the set time; it is given longer, so
    // that the race shows calls completing as well as refused, never only the one or the other.
    const auto start = std::chrono::steady_clock::now();
    const auto end = start + stressDuration();
    const auto limit = end + std::chrono::seconds(20);
    for (auto now = start; now < limit && (now < end || completed.load() == 0);
         now = std::chrono::steady_clock::now()) {
        reopen();
        ++outcome.reopened;
    }
    stop = true;
    user.join();
    outcome.completed = completed.load();
    ::testing::Test::RecordProperty("completed", std::to_string(outcome.completed));
    ::testing::Test::RecordProperty("refused", std::to_string(outcome.refused));
    ::testing::Test::RecordProperty("reopened", std::to_string(outcome.reopened));
    return outcome;
}

}  // namespace corvid2::test
