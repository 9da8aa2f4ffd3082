// SPDX-License-Identifier: BSD-3-Clause
// A feature call racing its module's close: it completes on the map it started with or fails with
// the library's exception, whatever the other thread does to the module meanwhile.
#include "support/race.h"
#include "support/sim_system.h"

using namespace corvid2::test;
using CORVID2::Device;
using CORVID2::Interface;
using CORVID2::Node;

namespace {

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
