// SPDX-License-Identifier: BSD-3-Clause
// A feature call racing its module's close: it completes on the map it started with or fails with
// the library's exception, whatever the other thread does to the module meanwhile.
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>

#include "support/sim_system.h"

using namespace corvid2::test;
using CORVID2::Device;
using CORVID2::Interface;
using CORVID2::Node;

namespace {

// How long each stress runs; CORVID2_STRESS_SECONDS makes it longer for a sanitizer soak.
std::chrono::milliseconds stressDuration() {
    const char* seconds = std::getenv("CORVID2_STRESS_SECONDS");
    return seconds != nullptr ? std::chrono::milliseconds(std::atoll(seconds) * 1000) : std::chrono::milliseconds(1500);
}

struct Outcome {
    long completed = 0;  // feature calls that ran to their end
    long refused = 0;    // feature calls that failed with one of the library's exceptions
    long reopened = 0;   // close/open rounds of the other thread
};

// `use` runs in a loop on one thread, `reopen` on another, for the stress duration. Only the
// library's exceptions may come out of `use`; anything else, or a crash, fails the test.
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

class CloseRaceTest : public OpenSystemTest {};

TEST_F(CloseRaceTest, SystemFeatureCallsSurviveTheSystemClosingAndReopening) {
    const Outcome outcome = race(
        [&] {
            Node* node = system_->GetNode("SimFrameDelay");
            node->SetInt(3);
            EXPECT_EQ(node->GetInt(), 3);
        },
        [&] {
            system_->Close();
            system_->Open();
        });
    EXPECT_GT(outcome.reopened, 0);
    EXPECT_GT(outcome.completed, 0);
    system_->Open();
    EXPECT_EQ(system_->GetNode("SimFrameDelay")->GetInt(), 3);
}

TEST_F(CloseRaceTest, InterfaceFeatureCallsSurviveTheInterfaceClosingAndReopening) {
    Interface* iface = openInterface("SimGEV0");
    const Outcome outcome = race(
        [&] {
            Node* node = iface->GetNode("DeviceSelector");
            node->SetInt(1);
            EXPECT_EQ(node->GetInt(), 1);
        },
        [&] {
            iface->Close();
            iface->Open();
        });
    EXPECT_GT(outcome.reopened, 0);
    EXPECT_GT(outcome.completed, 0);
}

TEST_F(CloseRaceTest, DeviceFeatureCallsSurviveTheDeviceClosingAndReopening) {
    Interface* iface = openInterface("SimGEV0");
    iface->GetDevices()->Refresh(kRefreshMs);
    Device* device = (*iface->GetDevices())["SimMono0"];
    device->Open();
    const Outcome outcome = race(
        [&] {
            Node* node = device->GetNode("DisableTLParamsLocked");
            node->SetBool(true);
            EXPECT_TRUE(node->GetBool());
        },
        [&] {
            device->Close();
            device->Open();
        });
    EXPECT_GT(outcome.reopened, 0);
    EXPECT_GT(outcome.completed, 0);
}

}  // namespace
