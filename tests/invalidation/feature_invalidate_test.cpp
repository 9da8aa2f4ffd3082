// SPDX-License-Identifier: BSD-3-Clause
// The feature-invalidation thread against a simulated camera: invalidation of named features,
// names it must ignore, start failures, failing event sources and stopping.
#include <gtest/gtest.h>

#include "features/feature_invalidate.h"
#include "support/errors.h"
#include "support/node_fixtures.h"
#include "support/sim_producer.h"
#include "support/trace_capture.h"
#include "support/waiting.h"

using namespace corvid2;
using namespace corvid2::test;

namespace {

constexpr std::uint64_t kWidthAddress = 0x1008;
constexpr std::uint64_t kHeightAddress = 0x100C;
constexpr std::uint64_t kBinningHorizontalAddress = 0x1018;
// A binning change makes the camera announce its whole region: Width, Height, OffsetX, OffsetY,
// PayloadSize.
constexpr std::uint64_t kRegionEvents = 5;

class FeatureInvalidation : public ::testing::Test {
protected:
    void SetUp() override { openCamera(); }

    void openCamera(const std::string* xml = nullptr) {
        sim_.open(SimModules::kDevice);
        device_ = std::make_unique<TestModule>("Device", sim_.table_, sim_.device_);
        remote_.open(sim_, xml);
    }
    Result registerInvalidation() { return device_->registerEvent(EVENT_FEATURE_INVALIDATE, 1, false); }
    Result startControl() { return control_.start(device_->getProducer(), device_->getEventHandle(), remote_.map()); }
    // Changed behind the node map's back, so that only the camera's events can tell the map.
    void changeBinningBehindTheMap() { remote_.writeRegister(kBinningHorizontalAddress, 4); }
    bool eventsArrive(std::uint64_t count) {
        return eventually([&] { return control_.eventsHandled() >= count; });
    }

    SimModules sim_;
    RemoteDeviceMap remote_;
    std::unique_ptr<TestModule> device_;
    CFeatureInvalidateControl control_;
};

}  // namespace

TEST_F(FeatureInvalidation, NamedFeaturesAreReadFromTheCameraAgain) {
    TraceCapture trace;
    ASSERT_EQ(registerInvalidation(), Result::Success) << lastErrorText();
    const std::int64_t cached = remote_.cachedInt("Width");
    changeBinningBehindTheMap();
    const std::int64_t current = remote_.readRegister(kWidthAddress);
    ASSERT_NE(current, cached) << "the binning change must narrow the region for this test to mean anything";
    // The events wait in the producer while nobody listens: the map still holds the old width.
    EXPECT_EQ(remote_.cachedInt("Width"), cached);

    ASSERT_EQ(startControl(), Result::Success) << lastErrorText();
    ASSERT_TRUE(eventsArrive(kRegionEvents));
    EXPECT_EQ(remote_.cachedInt("Width"), current);
    EXPECT_EQ(control_.featuresInvalidated(), kRegionEvents);
    EXPECT_TRUE(control_.listening());

    control_.end();
    EXPECT_EQ(trace.count("FeatureInvalidateControl; Feature Invalidate Event initialized"), 1u);
    EXPECT_EQ(trace.count("FeatureInvalidateEvent; GetCurrentEvent; Width"), 1u);
    EXPECT_EQ(trace.count("thread will closed"), 0u);
}

TEST_F(FeatureInvalidation, EndReturnsPromptlyAndTheControlStartsAgain) {
    control_.end();  // nothing running: harmless
    ASSERT_EQ(registerInvalidation(), Result::Success);
    for (std::uint32_t round = 1; round <= 3; ++round) {
        ASSERT_EQ(startControl(), Result::Success) << lastErrorText();
        // Once it has dealt with these events the thread waits for the next one; ended during that
        // wait, it must not leave the abort behind for the next start.
        remote_.writeRegister(kBinningHorizontalAddress, 1 + round % 2);
        ASSERT_TRUE(eventsArrive(round * kRegionEvents));
        control_.end();
        EXPECT_FALSE(control_.hasThread());
        EXPECT_FALSE(control_.listening());
    }
    ASSERT_EQ(startControl(), Result::Success);
    EXPECT_EQ(startControl(), Result::Success) << "a second start of a running control does nothing";
    changeBinningBehindTheMap();
    EXPECT_TRUE(eventsArrive(4 * kRegionEvents));
    EXPECT_EQ(remote_.cachedInt("Width"), remote_.readRegister(kWidthAddress));
}

TEST_F(FeatureInvalidation, StartFailuresAreRecordedAndStartNoThread) {
    ASSERT_EQ(registerInvalidation(), Result::Success);
    sim_.armFault("EventGetInfo", GC_ERR_INVALID_HANDLE);
    EXPECT_EQ(startControl(), Result::LowLevelError);
    EXPECT_EQ(lastErrorText(), "Event Init failed with " + std::to_string(toCode(Result::LowLevelError)));
    EXPECT_FALSE(control_.hasThread());

    // The same control starts once the producer answers.
    EXPECT_EQ(startControl(), Result::Success) << lastErrorText();
    EXPECT_TRUE(control_.hasThread());
}

TEST_F(FeatureInvalidation, ProducerWithoutTheEventLeavesTheMapUsable) {
    sim_.armFault("GCRegisterEvent", GC_ERR_NOT_IMPLEMENTED);
    EXPECT_EQ(registerInvalidation(), Result::NotImplemented);
    EXPECT_NE(startControl(), Result::Success);
    EXPECT_FALSE(control_.hasThread());
    control_.end();

    genapi::CIntegerPtr(remote_.map().engineMap()->GetNode("Width"))->SetValue(320);
    EXPECT_EQ(remote_.readRegister(kWidthAddress), 320u);
    EXPECT_EQ(remote_.cachedInt("Width"), 320);
}

// Each failure of the event source ends the thread with one record; a later start reaps that
// thread and listens again.
class FailingEventSource : public FeatureInvalidation,
                           public ::testing::WithParamInterface<std::pair<const char*, const char*>> {};

TEST_P(FailingEventSource, EndsTheThreadOnce) {
    const auto [function, failureText] = GetParam();
    TraceCapture trace;
    ASSERT_EQ(registerInvalidation(), Result::Success);
    ASSERT_EQ(startControl(), Result::Success) << lastErrorText();
    sim_.armFault(function, GC_ERR_IO);
    changeBinningBehindTheMap();  // something to read for EventGetDataInfo
    ASSERT_TRUE(eventually([&] { return !control_.listening(); }));
    EXPECT_EQ(trace.count("FeatureInvalidateControl; ThreadRoutine; GetCurrentEvent failed, thread will closed"), 1u);
    EXPECT_EQ(trace.count(failureText), 1u);

    const std::uint64_t handled = control_.eventsHandled();
    ASSERT_EQ(startControl(), Result::Success);
    remote_.writeRegister(kBinningHorizontalAddress, 1);
    EXPECT_TRUE(eventsArrive(handled + kRegionEvents));
}

INSTANTIATE_TEST_SUITE_P(
    Producer, FailingEventSource,
    ::testing::Values(std::make_pair("EventGetData", "GetCurrentEvent; EventGetData failed: GC_ERR_IO - "),
                      std::make_pair("EventGetDataInfo",
                                     "GetCurrentEvent; EventGetDataInfo DATA_ID (size) failed: GC_ERR_IO")));

namespace {

// A remote map that knows Width as a feature and Height only as a register outside the feature
// tree: the camera's events about Height and the rest of the region name nothing it can invalidate.
const std::string kReducedDescription = R"(<?xml version="1.0" encoding="utf-8"?>
<RegisterDescription ModelName="Reduced" VendorName="Corvid2" StandardNameSpace="GEV" SchemaMajorVersion="1" SchemaMinorVersion="1" SchemaSubMinorVersion="0" MajorVersion="1" MinorVersion="0" SubMinorVersion="0" ProductGuid="0f0e3c52-7a61-4d2e-9b0c-5a7e2d1c4b30" VersionGuid="7d2c1b0a-3e4f-4a5b-8c6d-9e0f1a2b3c4d" xmlns="http://www.genicam.org/GenApi/Version_1_1">
<Category Name="Root" NameSpace="Standard"><pFeature>Width</pFeature></Category>
<Integer Name="Width" NameSpace="Standard"><pValue>WidthReg</pValue></Integer>
<IntReg Name="WidthReg"><Address>0x1008</Address><Length>4</Length><AccessMode>RW</AccessMode><pPort>Device</pPort><Sign>Unsigned</Sign><Endianess>LittleEndian</Endianess></IntReg>
<IntReg Name="Height"><Address>0x100C</Address><Length>4</Length><AccessMode>RW</AccessMode><pPort>Device</pPort><Sign>Unsigned</Sign><Endianess>LittleEndian</Endianess></IntReg>
<Port Name="Device" NameSpace="Standard"/>
</RegisterDescription>
)";

class ReducedMapInvalidation : public FeatureInvalidation {
protected:
    void SetUp() override { openCamera(&kReducedDescription); }
};

}  // namespace

TEST_F(ReducedMapInvalidation, NamesOutsideTheFlatViewAreIgnored) {
    ASSERT_EQ(registerInvalidation(), Result::Success);
    ASSERT_EQ(startControl(), Result::Success) << lastErrorText();
    const std::int64_t height = remote_.cachedInt("Height");
    remote_.writeRegister(kHeightAddress, static_cast<std::uint32_t>(height / 2));
    changeBinningBehindTheMap();

    ASSERT_TRUE(eventsArrive(kRegionEvents));
    EXPECT_EQ(control_.featuresInvalidated(), 1u);
    EXPECT_EQ(remote_.cachedInt("Width"), remote_.readRegister(kWidthAddress));
    EXPECT_EQ(remote_.cachedInt("Height"), height) << "a node that is no feature keeps its cache";
    EXPECT_TRUE(control_.listening());

    // Still listening after the names it ignored.
    remote_.writeRegister(kBinningHorizontalAddress, 2);
    EXPECT_TRUE(eventsArrive(2 * kRegionEvents));
    EXPECT_EQ(control_.featuresInvalidated(), 2u);
}
