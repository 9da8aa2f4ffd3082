// SPDX-License-Identifier: BSD-3-Clause
// The module's GenApi port against the simulator's system module: owner token, write stack (held,
// replaced, flushed in one call, cancelled with invalidation) and the read cache.
#include <gtest/gtest.h>

#include "support/errors.h"
#include "support/genapi_maps.h"
#include "support/sim_producer.h"
#include "support/trace_capture.h"

using namespace corvid2;
using namespace corvid2::test;

namespace {

class ModulePort : public ::testing::Test {
protected:
    void SetUp() override {
        sim_.open(SimModules::kSystem);
        port_ = sim_.port(sim_.system_, "SystemObj");
        nodeMap_ = connectedNodeMap(*port_);
        ASSERT_TRUE(nodeMap_);
    }
    void TearDown() override {
        nodeMap_.reset();
        port_.reset();
    }
    std::uint32_t deviceValue(std::uint64_t address) { return SimModules::readU32(port_->port(), address); }
    void setDevice(std::uint64_t address, std::uint32_t value) { SimModules::writeU32(port_->port(), address, value); }
    const char* read(std::uint64_t address, std::uint32_t& value, const void* owner = nullptr) {
        return port_->portRead(&value, static_cast<std::int64_t>(address), sizeof value, owner);
    }
    const char* write(std::uint64_t address, std::uint32_t value, const void* owner = nullptr) {
        return port_->portWrite(&value, static_cast<std::int64_t>(address), sizeof value, owner);
    }
    // As the node wrappers do: announce the write, then set the value through GenApi.
    void setFeature(const char* name, std::int64_t value) {
        const bool verify = port_->noteFeatureWrite(name);
        genapi::CIntegerPtr(nodeMap_->GetNode(name))->SetValue(value, verify);
    }
    std::int64_t feature(const char* name) { return genapi::CIntegerPtr(nodeMap_->GetNode(name))->GetValue(); }

    SimModules sim_;
    std::unique_ptr<CModulePort> port_;
    std::unique_ptr<genapi::INodeMap> nodeMap_;
};

constexpr std::uint64_t kFrameDelayAddress = 0x1050;

}  // namespace

TEST_F(ModulePort, GenApiReadsAndWritesThroughThePort) {
    EXPECT_EQ(feature("GenTLVersionMajor"), 1);
    EXPECT_EQ(feature("GenTLVersionMinor"), 6);
    setFeature("SimIncompleteEvery", 12);
    EXPECT_EQ(deviceValue(kIncompleteEveryAddress), 12u);
    EXPECT_EQ(port_->GetAccessMode(), genapi::RW);
}

TEST_F(ModulePort, PortFailuresReachGenApiAsRuntimeExceptionWithTheCodesText) {
    sim_.armFault("GCReadPort", GC_ERR_TIMEOUT);
    std::uint32_t value = 0;
    try {
        port_->Read(&value, kFrameDelayAddress, sizeof value);
        FAIL() << "no exception";
    } catch (const genapi::RuntimeException& e) {
        EXPECT_STREQ(e.GetDescription(), "low level error from GenTL producer");
        EXPECT_STREQ(e.GetSourceFileName(), "igenapi");
        EXPECT_STREQ(e.GetExceptionType(), "RuntimeException");
    }
    // A node operation in progress hands the failure on.
    sim_.armFault("GCReadPort", GC_ERR_ACCESS_DENIED);
    try {
        genapi::CIntegerPtr(nodeMap_->GetNode("SimFrameDelay"))->GetValue(false, true);
        FAIL() << "no exception";
    } catch (const genapi::GenericException& e) {
        EXPECT_NE(std::string(e.GetDescription()).find("access denied"), std::string::npos) << e.GetDescription();
    }
    sim_.armFault("GCWritePort", GC_ERR_ACCESS_DENIED);
    EXPECT_THROW(port_->Write(&value, kFrameDelayAddress, sizeof value), genapi::RuntimeException);
    EXPECT_STREQ(write(kFrameDelayAddress, 1), nullptr);
}

TEST_F(ModulePort, ReadWhileStackingReturnsTheLastHeldWriteNotTheDevice) {
    setDevice(kIncompleteEveryAddress, 4);
    ASSERT_EQ(port_->startStacking(false), Result::Success);
    EXPECT_STREQ(write(kIncompleteEveryAddress, 5), nullptr);
    EXPECT_STREQ(write(kIncompleteEveryAddress, 6), nullptr);
    std::uint32_t value = 0;
    EXPECT_STREQ(read(kIncompleteEveryAddress, value), nullptr);
    EXPECT_EQ(value, 6u);
    EXPECT_EQ(deviceValue(kIncompleteEveryAddress), 4u);
    ASSERT_EQ(port_->heldWrites().size(), 2u);  // no replace flag: both kept
}

TEST_F(ModulePort, ReplaceFlagOverwritesAHeldWriteOfTheSameAddressAndSize) {
    ASSERT_EQ(port_->startStacking(true), Result::Success);
    EXPECT_STREQ(write(kIncompleteEveryAddress, 5), nullptr);
    EXPECT_STREQ(write(kIncompleteEveryAddress, 6), nullptr);
    ASSERT_EQ(port_->heldWrites().size(), 1u);
    std::uint16_t narrow = 9;
    EXPECT_STREQ(port_->portWrite(&narrow, kIncompleteEveryAddress, sizeof narrow, nullptr), nullptr);
    EXPECT_EQ(port_->heldWrites().size(), 2u);  // another size is another write
    std::uint32_t value = 0;
    EXPECT_STREQ(read(kIncompleteEveryAddress, value), nullptr);
    EXPECT_EQ(value, 6u);  // the shorter entry cannot serve four bytes
}

TEST_F(ModulePort, WriteStackSendsEverythingInOneStackedCall) {
    ASSERT_EQ(port_->startStacking(false), Result::Success);
    setFeature("SimIncompleteEvery", 21);
    setFeature("SimFrameDelay", 22);
    EXPECT_EQ(deviceValue(kIncompleteEveryAddress), 0u);
    EXPECT_EQ(feature("SimIncompleteEvery"), 21);
    // Single writes would fail from here on: only the stacked call may carry the values.
    sim_.armFault("GCWritePort", GC_ERR_IO, 100);
    ASSERT_EQ(port_->writeStack(), Result::Success) << lastErrorText();
    EXPECT_FALSE(port_->isStacking());
    EXPECT_TRUE(port_->heldWrites().empty());
    EXPECT_TRUE(port_->writtenFeatures().empty());
    EXPECT_EQ(deviceValue(kIncompleteEveryAddress), 21u);
    EXPECT_EQ(deviceValue(kFrameDelayAddress), 22u);
    EXPECT_EQ(feature("SimFrameDelay"), 22);
}

TEST_F(ModulePort, WriteStackWithNothingHeldReportsNoDataAndStopsStacking) {
    ASSERT_EQ(port_->startStacking(false), Result::Success);
    EXPECT_EQ(port_->writeStack(), Result::NoData);
    EXPECT_EQ(lastErrorText(), "No items in stack.");
    EXPECT_FALSE(port_->isStacking());
}

TEST_F(ModulePort, FailedWriteStackReportsItsCodeAndDropsTheStack) {
    setDevice(kIncompleteEveryAddress, 3);
    ASSERT_EQ(port_->startStacking(false), Result::Success);
    setFeature("SimIncompleteEvery", 30);
    sim_.armFault("GCWritePortStacked", GC_ERR_ACCESS_DENIED);
    TraceCapture trace;
    EXPECT_EQ(port_->writeStack(), Result::AccessDenied);
    EXPECT_EQ(trace.count("SystemObj; WriteStack; access denied"), 1u);
    EXPECT_FALSE(port_->isStacking());
    EXPECT_TRUE(port_->heldWrites().empty());
    EXPECT_EQ(feature("SimIncompleteEvery"), 3);  // what the device really holds
}

TEST_F(ModulePort, CancelStackInvalidatesTheFeaturesWrittenMeanwhile) {
    setDevice(kIncompleteEveryAddress, 2);
    EXPECT_EQ(feature("SimIncompleteEvery"), 2);
    ASSERT_EQ(port_->startStacking(false), Result::Success);
    setFeature("SimIncompleteEvery", 40);
    EXPECT_EQ(feature("SimIncompleteEvery"), 40);
    ASSERT_EQ(port_->writtenFeatures().size(), 1u);
    EXPECT_EQ(port_->cancelStack(), Result::Success);
    EXPECT_FALSE(port_->isStacking());
    EXPECT_TRUE(port_->heldWrites().empty());
    EXPECT_EQ(deviceValue(kIncompleteEveryAddress), 2u);
    EXPECT_EQ(feature("SimIncompleteEvery"), 2);
}

TEST_F(ModulePort, WritesAreVerifiedOnlyWhileNotStacking) {
    EXPECT_TRUE(port_->noteFeatureWrite("SimFrameDelay"));
    EXPECT_TRUE(port_->writtenFeatures().empty());
    ASSERT_EQ(port_->startStacking(false), Result::Success);
    EXPECT_FALSE(port_->noteFeatureWrite("SimFrameDelay"));
    EXPECT_EQ(port_->writtenFeatures(), std::vector<std::string>{"SimFrameDelay"});
}

TEST_F(ModulePort, ReadsWhileStackingAreServedFromTheCacheWithoutDeviceTraffic) {
    std::uint32_t before = 0;
    ASSERT_STREQ(read(kGenTLVersionMinorAddress, before), nullptr);
    EXPECT_EQ(port_->cachedRegisterCount(), 1u);
    ASSERT_EQ(port_->startStacking(false), Result::Success);
    sim_.armFault("GCReadPort", GC_ERR_IO, 100);
    std::uint32_t cached = 0;
    EXPECT_STREQ(read(kGenTLVersionMinorAddress, cached), nullptr);
    EXPECT_EQ(cached, before);
    std::uint32_t uncached = 0;
    EXPECT_STREQ(read(kGenTLVersionMajorAddress, uncached), "low level error from GenTL producer");
}

TEST_F(ModulePort, ADirectWriteIsNotHiddenByAnOlderCacheEntry) {
    setDevice(kIncompleteEveryAddress, 1);
    std::uint32_t value = 0;
    ASSERT_STREQ(read(kIncompleteEveryAddress, value), nullptr);
    EXPECT_STREQ(write(kIncompleteEveryAddress, 8), nullptr);
    ASSERT_EQ(port_->startStacking(false), Result::Success);
    ASSERT_STREQ(read(kIncompleteEveryAddress, value), nullptr);
    EXPECT_EQ(value, 8u);
}

TEST_F(ModulePort, AnOwnedPortRefusesOtherTokensAndStacking) {
    ASSERT_EQ(port_->startStacking(false), Result::Success);
    EXPECT_STREQ(write(kIncompleteEveryAddress, 5), nullptr);
    const int token = 0;
    port_->setPortOwner(&token);
    EXPECT_FALSE(port_->isStacking());  // taking the port drops the stack
    EXPECT_TRUE(port_->heldWrites().empty());

    std::uint32_t value = 0;
    EXPECT_STREQ(read(kGenTLVersionMajorAddress, value), "access denied");
    EXPECT_STREQ(write(kIncompleteEveryAddress, 5), "access denied");
    EXPECT_THROW(genapi::CIntegerPtr(nodeMap_->GetNode("SimFrameDelay"))->GetValue(false, true),
                 genapi::RuntimeException);
    EXPECT_EQ(port_->startStacking(false), Result::NotAvailable);

    EXPECT_STREQ(read(kGenTLVersionMajorAddress, value, &token), nullptr);
    EXPECT_EQ(value, 1u);
    EXPECT_STREQ(write(kIncompleteEveryAddress, 6, &token), nullptr);
    port_->setPortOwner(nullptr);
    EXPECT_EQ(deviceValue(kIncompleteEveryAddress), 6u);
}

TEST_F(ModulePort, ResetEmptiesStackAndCacheAndForgetsThePort) {
    std::uint32_t value = 0;
    ASSERT_STREQ(read(kGenTLVersionMajorAddress, value), nullptr);
    ASSERT_EQ(port_->startStacking(false), Result::Success);
    EXPECT_STREQ(write(kIncompleteEveryAddress, 5), nullptr);
    port_->resetPort();
    EXPECT_FALSE(port_->isStacking());
    EXPECT_TRUE(port_->heldWrites().empty());
    EXPECT_EQ(port_->cachedRegisterCount(), 0u);
    EXPECT_EQ(port_->port().handle(), nullptr);
    EXPECT_TRUE(port_->port().portName().empty());
    EXPECT_EQ(port_->connectedNodeMap(), nullptr);
    EXPECT_STREQ(read(kGenTLVersionMajorAddress, value), "not initialized");
}
