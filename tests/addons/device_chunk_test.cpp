// SPDX-License-Identifier: BSD-3-Clause
// Chunks requested and released by components of the library on the simulated camera: counted
// requests, the chunks the application enabled itself, a capture the application disturbed, and
// the device's chunk-auto switch.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "corvid2_genicam_c.h"
#include "support/sim_system.h"

using namespace corvid2;
using namespace corvid2::test;

namespace {

// ChunkSelector values of the simulated camera.
constexpr std::uint64_t kFrameId = 1, kWidth = 5, kHeight = 6;

class DeviceChunkTest : public OpenSystemTest {
protected:
    void SetUp() override {
        OpenSystemTest::SetUp();
        CORVID2::Interface* iface = openInterface("SimGEV0");
        iface->GetDevices()->Refresh(kRefreshMs);
        device_ = (*iface->GetDevices())["SimMono0"];
        device_->Open();
        chunks_ = &objectOf(device_)->chunks();
    }
    void TearDown() override {
        if (device_ != nullptr && device_->IsOpen()) device_->Close();
    }

    std::int32_t request(std::vector<std::uint64_t> ids) {
        return updateDeviceChunks(device_, ids.data(), ids.size(), 1);
    }
    std::int32_t release(std::vector<std::uint64_t> ids) {
        return updateDeviceChunks(device_, ids.data(), ids.size(), 0);
    }
    bool enabled(std::uint64_t id) {
        device_->GetRemoteNode("ChunkSelector")->SetInt(static_cast<std::int64_t>(id));
        return device_->GetRemoteNode("ChunkEnable")->GetBool();
    }
    void enableByUser(std::uint64_t id) {
        device_->GetRemoteNode("ChunkSelector")->SetInt(static_cast<std::int64_t>(id));
        device_->GetRemoteNode("ChunkEnable")->SetBool(true);
    }
    bool modeActive() { return device_->GetRemoteNode("ChunkModeActive")->GetBool(); }

    CORVID2::Device* device_ = nullptr;
    DeviceChunk* chunks_ = nullptr;
};

}  // namespace

TEST_F(DeviceChunkTest, AChunkRequestedTwiceStaysUntilItsLastRelease) {
    ASSERT_TRUE(chunks_->isAvailable());
    ASSERT_FALSE(modeActive());
    EXPECT_EQ(request({kWidth}), 0);
    EXPECT_EQ(request({kWidth}), 0);
    EXPECT_TRUE(modeActive());
    EXPECT_TRUE(enabled(kWidth));
    EXPECT_EQ(chunks_->references(kWidth), 2u);

    EXPECT_EQ(release({kWidth}), 0);
    EXPECT_TRUE(enabled(kWidth)) << "one request is still out";
    EXPECT_EQ(chunks_->references(kWidth), 1u);

    EXPECT_EQ(release({kWidth}), 0);
    EXPECT_FALSE(enabled(kWidth));
    EXPECT_FALSE(modeActive()) << "the chunk mode was off before the first request";
    EXPECT_FALSE(chunks_->captured());
}

TEST_F(DeviceChunkTest, AChunkTheApplicationEnabledIsNeverSwitchedOff) {
    device_->GetRemoteNode("ChunkModeActive")->SetBool(true);
    enableByUser(kFrameId);
    EXPECT_EQ(request({kFrameId, kHeight}), 0);
    EXPECT_EQ(release({kFrameId, kHeight}), 0);
    EXPECT_TRUE(enabled(kFrameId));
    EXPECT_FALSE(enabled(kHeight));
    EXPECT_TRUE(modeActive());
    // Releasing what was never requested only warns.
    EXPECT_EQ(release({kWidth}), 0);
}

TEST_F(DeviceChunkTest, AChunkTheApplicationEnablesMeanwhileLocksTheCapture) {
    EXPECT_EQ(request({kWidth}), 0);
    enableByUser(kHeight);
    EXPECT_EQ(release({kWidth}), 0);
    EXPECT_TRUE(enabled(kWidth)) << "nothing is switched off once the application changed the chunks";
    EXPECT_TRUE(enabled(kHeight));
    EXPECT_TRUE(modeActive());
}

TEST_F(DeviceChunkTest, ChunkAutoOffChangesNothingAndBadArgumentsAreRefused) {
    device_->EnableChunkAuto(false);
    EXPECT_EQ(request({kWidth}), 0);
    EXPECT_FALSE(enabled(kWidth));
    EXPECT_FALSE(modeActive());
    EXPECT_FALSE(chunks_->captured());
    EXPECT_EQ(updateDeviceChunks(nullptr, nullptr, 0, 1), toCode(Result::InvalidParameter));
    EXPECT_EQ(updateDeviceChunks(device_, nullptr, 1, 1), toCode(Result::InvalidParameter));
    // A closed device has no chunk features to switch.
    device_->EnableChunkAuto(true);
    device_->Close();
    EXPECT_EQ(request({kWidth}), toCode(Result::NotAvailable));
}
