// SPDX-License-Identifier: BSD-3-Clause
// DeviceFeature on inline cameras: which node an entry takes, the write checks, selectors and
// enumerations, and what a failure records.
#include "addons/device_feature.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "inline_camera.h"
#include "support/errors.h"
#include "support/trace_capture.h"

using namespace corvid2;
using namespace corvid2::test;

namespace {

// Registers of the camera below.
constexpr std::size_t kExposureAddress = 0x00;
constexpr std::size_t kGainSelectorAddress = 0x0C;
constexpr std::size_t kGainAddress = 0x10;  // one 8-byte slot per gain selector entry: All, Red
constexpr std::size_t kNominalAddress = 0x20;
constexpr std::size_t kWidthAddress = 0x28;

const std::vector<std::string> kFeatures = {
    "ExposureTimeAbs", "ExposureAuto", "GainSelector", "Gain", "BrightnessAutoNominalValue", "Width"};

// An older camera: exposure only as "ExposureTimeAbs", one gain per selector entry, a nominal
// value that is a float with an increment, and a width whose minimum is not a multiple of its
// increment.
const char kCameraBody[] = R"(
<Float Name="ExposureTimeAbs"><pValue>ExposureReg</pValue><Min>10</Min><Max>100000</Max></Float>
<FloatReg Name="ExposureReg"><Address>0x00</Address><Length>8</Length><AccessMode>RW</AccessMode><pPort>Device</pPort>
  <Endianess>LittleEndian</Endianess></FloatReg>
<Enumeration Name="ExposureAuto"><pValue>ExposureAutoReg</pValue>
  <EnumEntry Name="ExposureAuto_Off"><Symbolic>Off</Symbolic><Value>0</Value></EnumEntry>
  <EnumEntry Name="ExposureAuto_Once"><Symbolic>Once</Symbolic><Value>1</Value></EnumEntry>
  <EnumEntry Name="ExposureAuto_Continuous"><Symbolic>Continuous</Symbolic><Value>2</Value></EnumEntry></Enumeration>
<IntReg Name="ExposureAutoReg"><Address>0x08</Address><Length>4</Length><AccessMode>RW</AccessMode><pPort>Device</pPort>
  <Sign>Unsigned</Sign><Endianess>LittleEndian</Endianess></IntReg>
<Enumeration Name="GainSelector"><pValue>GainSelectorReg</pValue><pSelected>Gain</pSelected>
  <EnumEntry Name="GainSelector_All"><Symbolic>All</Symbolic><Value>0</Value></EnumEntry>
  <EnumEntry Name="GainSelector_Red"><Symbolic>Red</Symbolic><Value>1</Value></EnumEntry></Enumeration>
<IntReg Name="GainSelectorReg"><Address>0x0C</Address><Length>4</Length><AccessMode>RW</AccessMode><pPort>Device</pPort>
  <Cachable>NoCache</Cachable><Sign>Unsigned</Sign><Endianess>LittleEndian</Endianess></IntReg>
<Float Name="Gain"><pValue>GainReg</pValue><Min>0</Min><Max>24</Max></Float>
<FloatReg Name="GainReg"><Address>0x10</Address><Length>8</Length><pIndex Offset="8">GainSelectorReg</pIndex>
  <AccessMode>RW</AccessMode><pPort>Device</pPort><Cachable>NoCache</Cachable><Endianess>LittleEndian</Endianess></FloatReg>
<Float Name="BrightnessAutoNominalValue"><pValue>NominalReg</pValue><Min>1</Min><Max>100</Max><Inc>4</Inc></Float>
<FloatReg Name="NominalReg"><Address>0x20</Address><Length>8</Length><AccessMode>RW</AccessMode><pPort>Device</pPort>
  <Endianess>LittleEndian</Endianess></FloatReg>
<Integer Name="Width"><pValue>WidthReg</pValue><Min>1</Min><Max>100</Max><Inc>4</Inc></Integer>
<IntReg Name="WidthReg"><Address>0x28</Address><Length>4</Length><AccessMode>RW</AccessMode><pPort>Device</pPort>
  <Sign>Unsigned</Sign><Endianess>LittleEndian</Endianess></IntReg>
)";

class DeviceFeatureTest : public ::testing::Test {
protected:
    void SetUp() override {
        camera_.port_.setU32(kWidthAddress, 40);
        camera_.setF64(kExposureAddress, 1000.0);
        camera_.setF64(kNominalAddress, 20.0);
        ASSERT_EQ(feature_.Init(camera_.view()), Result::Success);
    }
    void TearDown() override { feature_.Init(nullptr); }

    InlineCamera camera_{kFeatures, kCameraBody};
    DeviceFeature feature_;
};

// Exposure nodes for the fallback cases; `exposureTimeAvailable` is the text of a constant.
std::string exposureBody(const char* exposureTimeAvailable) {
    return std::string(R"(
<Integer Name="Available"><Value>)") +
           exposureTimeAvailable + R"(</Value></Integer>
<Float Name="ExposureTime"><pIsAvailable>Available</pIsAvailable><Value>500</Value></Float>
<Float Name="ExposureTimeAbs"><Value>700</Value></Float>
)";
}

}  // namespace

TEST(DeviceFeatureInit, ExposureFallsBackToExposureTimeAbsWhenExposureTimeIsMissingOrUnavailable) {
    DeviceFeature feature;
    {
        InlineCamera onlyAbs({"ExposureTimeAbs"}, R"(<Float Name="ExposureTimeAbs"><Value>700</Value></Float>)");
        ASSERT_EQ(feature.Init(onlyAbs.view()), Result::Success);
        EXPECT_EQ(feature.FeatureName(DeviceFeatureEntry::ExposureTime), "ExposureTimeAbs");
        double value = 0;
        ASSERT_EQ(feature.GetValueDouble(DeviceFeatureEntry::ExposureTime, value), Result::Success);
        EXPECT_EQ(value, 700.0);
    }
    {
        InlineCamera unavailable({"ExposureTime", "ExposureTimeAbs"}, exposureBody("0"));
        ASSERT_EQ(feature.Init(unavailable.view()), Result::Success);
        EXPECT_EQ(feature.FeatureName(DeviceFeatureEntry::ExposureTime), "ExposureTimeAbs");
    }
    {
        InlineCamera both({"ExposureTime", "ExposureTimeAbs"}, exposureBody("1"));
        ASSERT_EQ(feature.Init(both.view()), Result::Success);
        EXPECT_EQ(feature.FeatureName(DeviceFeatureEntry::ExposureTime), "ExposureTime");
        double value = 0;
        ASSERT_EQ(feature.GetValueDouble(DeviceFeatureEntry::ExposureTime, value), Result::Success);
        EXPECT_EQ(value, 500.0);
        feature.Init(nullptr);
    }
}

TEST_F(DeviceFeatureTest, InitTakesTheOfferedEntriesAndDeinitForgetsThem) {
    EXPECT_TRUE(feature_.IsAvailable(DeviceFeatureEntry::ExposureTime));
    EXPECT_TRUE(feature_.IsAvailable(DeviceFeatureEntry::Gain));
    EXPECT_TRUE(feature_.IsAvailable(DeviceFeatureEntry::GainSelector));
    EXPECT_TRUE(feature_.IsAvailable(DeviceFeatureEntry::Width));
    EXPECT_FALSE(feature_.IsAvailable(DeviceFeatureEntry::GainAuto));
    EXPECT_FALSE(feature_.IsAvailable(DeviceFeatureEntry::Height));
    EXPECT_EQ(feature_.FeatureName(DeviceFeatureEntry::Height), "");

    // A missing entry is refused without touching the output.
    std::int64_t height = -5;
    EXPECT_EQ(feature_.GetValueInt(DeviceFeatureEntry::Height, height), Result::NotAvailable);
    EXPECT_EQ(height, -5);
    EXPECT_EQ(lastErrorText(), "get int Height: feature not available;");
    EXPECT_EQ(feature_.SetValueInt(static_cast<DeviceFeatureEntry>(kDeviceFeatureEntryCount), 1),
              Result::InvalidParameter);

    TraceCapture trace;
    EXPECT_EQ(feature_.Init(nullptr), Result::Success);
    EXPECT_FALSE(feature_.IsAvailable(DeviceFeatureEntry::Width));
    std::int64_t width = 0;
    EXPECT_EQ(feature_.GetValueInt(DeviceFeatureEntry::Width, width), Result::NotAvailable);
    ASSERT_EQ(feature_.Init(camera_.view()), Result::Success);
    EXPECT_TRUE(feature_.IsAvailable(DeviceFeatureEntry::Width));
    EXPECT_EQ(trace.count("DeviceFeature; Init; called (deinit);"), 1u);
    EXPECT_EQ(trace.count("DeviceFeature; Init; called (init);"), 1u);
}

TEST_F(DeviceFeatureTest, IntegerWritesMustBeMultiplesOfTheIncrementCountedFromZero) {
    TraceCapture trace;
    constexpr auto kNominal = DeviceFeatureEntry::BrightnessAutoNominalValue;
    std::int64_t minimum = 0, maximum = 0, increment = 0;
    ASSERT_EQ(feature_.GetValueIntMin(kNominal, minimum), Result::Success);
    ASSERT_EQ(feature_.GetValueIntMax(kNominal, maximum), Result::Success);
    ASSERT_EQ(feature_.GetValueIntInc(kNominal, increment), Result::Success);
    EXPECT_EQ((std::vector<std::int64_t>{minimum, maximum, increment}), (std::vector<std::int64_t>{1, 100, 4}));

    // 13 is the minimum plus three increments but no multiple of 4.
    EXPECT_EQ(feature_.SetValueInt(kNominal, 13), Result::InvalidParameter);
    EXPECT_EQ(lastErrorText(), "BrightnessAutoNominalValue value 13 doesn't conform to increment 4;");
    EXPECT_EQ(camera_.f64(kNominalAddress), 20.0);
    // A float node has no increment rule of its own, so 12 shows what the check alone lets through.
    EXPECT_EQ(feature_.SetValueInt(kNominal, 12), Result::Success) << lastErrorText();
    EXPECT_EQ(camera_.f64(kNominalAddress), 12.0);

    // The range comes first: 104 is a multiple of 4 but above the maximum, 0 one below the minimum.
    EXPECT_EQ(feature_.SetValueInt(kNominal, 104), Result::InvalidParameter);
    EXPECT_EQ(lastErrorText(), "BrightnessAutoNominalValue value 104 out of range [1..100];");
    EXPECT_EQ(feature_.SetValueInt(kNominal, 0), Result::InvalidParameter);
    EXPECT_EQ(lastErrorText(), "BrightnessAutoNominalValue value 0 out of range [1..100];");
    EXPECT_EQ(camera_.f64(kNominalAddress), 12.0);

    // An integer node with the same limits: the helper refuses 13 before the node sees it.
    EXPECT_EQ(feature_.SetValueInt(DeviceFeatureEntry::Width, 13), Result::InvalidParameter);
    EXPECT_EQ(lastErrorText(), "Width value 13 doesn't conform to increment 4;");
    EXPECT_EQ(camera_.port_.u32(kWidthAddress), 40u);

    // Without an increment every value in range goes through.
    EXPECT_EQ(feature_.SetValueInt(DeviceFeatureEntry::ExposureTime, 777), Result::Success) << lastErrorText();
    EXPECT_EQ(camera_.f64(kExposureAddress), 777.0);

    EXPECT_EQ(trace.count("DeviceFeature; SetValueInt; BrightnessAutoNominalValue value 13 doesn't conform to "
                          "increment 4;"),
              1u);
    EXPECT_EQ(trace.count("DeviceFeature; SetValueInt; BrightnessAutoNominalValue value 104 out of range [1..100];"),
              1u);
    EXPECT_EQ(trace.count("DeviceFeature; SetValueInt; Width value 13 doesn't conform to increment 4;"), 1u);
    EXPECT_EQ(trace.count("value 12 "), 0u);
}

TEST_F(DeviceFeatureTest, FloatWritesMustLieInTheRange) {
    TraceCapture trace;
    constexpr auto kExposure = DeviceFeatureEntry::ExposureTime;
    double minimum = 0, maximum = 0, increment = -1;
    ASSERT_EQ(feature_.GetValueDoubleMin(kExposure, minimum), Result::Success);
    ASSERT_EQ(feature_.GetValueDoubleMax(kExposure, maximum), Result::Success);
    ASSERT_EQ(feature_.GetValueDoubleInc(kExposure, increment), Result::Success);
    EXPECT_EQ(minimum, 10.0);
    EXPECT_EQ(maximum, 100000.0);
    EXPECT_EQ(increment, 0.0);

    EXPECT_EQ(feature_.SetValueDouble(kExposure, 9.5), Result::InvalidParameter);
    EXPECT_EQ(lastErrorText(), "ExposureTimeAbs value 9.5 out of range [10..100000];");
    EXPECT_EQ(feature_.SetValueDouble(kExposure, 100000.5), Result::InvalidParameter);
    EXPECT_EQ(camera_.f64(kExposureAddress), 1000.0);
    EXPECT_EQ(trace.count("DeviceFeature; SetValueDouble; ExposureTimeAbs value 9.5 out of range [10..100000];"), 1u);

    EXPECT_EQ(feature_.SetValueDouble(kExposure, 2500.5), Result::Success) << lastErrorText();
    double value = 0;
    ASSERT_EQ(feature_.GetValueDouble(kExposure, value), Result::Success);
    EXPECT_EQ(value, 2500.5);
}

TEST_F(DeviceFeatureTest, GainIsAccessedUnderItsSelectionAndTheSelectorIsPutBack) {
    camera_.port_.setU32(kGainSelectorAddress, 1);  // "Red", as the application left it
    camera_.setF64(kGainAddress, 3.0);
    camera_.setF64(kGainAddress + 8, 9.0);

    EXPECT_EQ(feature_.GetSelection(DeviceFeatureSelector::Gain), "All");
    double gain = 0;
    ASSERT_EQ(feature_.GetValueDouble(DeviceFeatureEntry::Gain, gain), Result::Success);
    EXPECT_EQ(gain, 3.0);
    ASSERT_EQ(feature_.SetValueDouble(DeviceFeatureEntry::Gain, 6.0), Result::Success) << lastErrorText();
    EXPECT_EQ(camera_.f64(kGainAddress), 6.0);
    EXPECT_EQ(camera_.f64(kGainAddress + 8), 9.0);
    EXPECT_EQ(camera_.port_.u32(kGainSelectorAddress), 1u);

    feature_.SetSelection(DeviceFeatureSelector::Gain, "Red");
    camera_.port_.setU32(kGainSelectorAddress, 0);
    ASSERT_EQ(feature_.SetValueDouble(DeviceFeatureEntry::Gain, 12.0), Result::Success) << lastErrorText();
    EXPECT_EQ(camera_.f64(kGainAddress + 8), 12.0);
    EXPECT_EQ(camera_.port_.u32(kGainSelectorAddress), 0u);

    // An entry the selector does not offer leaves the current selection in force.
    feature_.SetSelection(DeviceFeatureSelector::Gain, "Blue");
    ASSERT_EQ(feature_.GetValueDouble(DeviceFeatureEntry::Gain, gain), Result::Success);
    EXPECT_EQ(gain, 6.0);
    EXPECT_EQ(camera_.port_.u32(kGainSelectorAddress), 0u);

    // The selector as an entry of its own is read without any selection.
    std::string selected;
    ASSERT_EQ(feature_.GetValueString(DeviceFeatureEntry::GainSelector, selected), Result::Success);
    EXPECT_EQ(selected, "All");
}

TEST_F(DeviceFeatureTest, EnumerationsAreRecognisedAndTakeTextAndNumbers) {
    EXPECT_TRUE(feature_.IsEnumeration(DeviceFeatureEntry::ExposureAuto));
    EXPECT_FALSE(feature_.IsEnumeration(DeviceFeatureEntry::ExposureTime));
    EXPECT_FALSE(feature_.IsEnumeration(DeviceFeatureEntry::GainAuto));

    ASSERT_EQ(feature_.SetValueString(DeviceFeatureEntry::ExposureAuto, "Continuous"), Result::Success)
        << lastErrorText();
    std::string text;
    ASSERT_EQ(feature_.GetValueString(DeviceFeatureEntry::ExposureAuto, text), Result::Success);
    EXPECT_EQ(text, "Continuous");
    // No limits to check on an enumeration: the node decides.
    ASSERT_EQ(feature_.SetValueInt(DeviceFeatureEntry::ExposureAuto, 1), Result::Success) << lastErrorText();
    ASSERT_EQ(feature_.GetValueString(DeviceFeatureEntry::ExposureAuto, text), Result::Success);
    EXPECT_EQ(text, "Once");

    // A failing node access records the kind of access, the node and the wrapper's text.
    Result code = Result::Success;
    EXPECT_NE(feature_.SetValueString(DeviceFeatureEntry::ExposureAuto, "Sometimes"), Result::Success);
    const std::string message = lastErrorText(&code);
    EXPECT_EQ(message.rfind("set string ExposureAuto failed (", 0), 0u) << message;
    EXPECT_EQ(code, Result::InvalidParameter);
    ASSERT_EQ(feature_.GetValueString(DeviceFeatureEntry::ExposureAuto, text), Result::Success);
    EXPECT_EQ(text, "Once");
}
