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
    std::thread user([&] {
        while (!stop.load()) {
            try {
                use();
                ++outcome.completed;
            } catch (const CORVID2::Exceptions::IException&) {
                ++outcome.refused;
            }
        }
    });
    const auto end = std::chrono::steady_clock::now() + stressDuration();
    while (std::chrono::steady_clock::now() < end) {
        reopen();
        ++outcome.reopened;
    }
    stop = true;
    user.join();
    ::testing::Test::RecordProperty("completed", std::to_string(outcome.completed));
    ::testing::Test::RecordProperty("refused", std::to_string(outcome.refused));
    ::testing::Test::RecordProperty("reopened", std::to_string(outcome.reopened));
    return outcome;
}

}  // namespace corvid2::test
