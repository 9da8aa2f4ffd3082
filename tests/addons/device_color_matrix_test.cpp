// SPDX-License-Identifier: BSD-3-Clause
// DeviceColorMatrix on inline cameras: the entries it finds, the round trip of a full matrix with
// limiting, and what it refuses.
#include "addons/device_color_matrix.h"

#include <gtest/gtest.h>

#include <string>

#include "inline_camera.h"
#include "support/errors.h"
#include "support/trace_capture.h"

using namespace corvid2;
using namespace corvid2::test;

namespace {

constexpr std::size_t kSelectorAddress = 0x00;
constexpr std::size_t kValueAddress = 0xB8;  // one 8-byte slot per selector value

const std::vector<std::string> kFeatures = {"ColorTransformationValueSelector", "ColorTransformationValue",
                                            "ColorTransformationResetToFactoryList"};

// The selector with the named entries (symbolic name and value), the value in [-4, 4] at one slot
// per selector value.
std::string matrixBody(const std::vector<std::pair<std::string, int>>& entries) {
    std::string body = R"(<Enumeration Name="ColorTransformationValueSelector"><pValue>SelectorReg</pValue>
<pSelected>ColorTransformationValue</pSelected>)";
    for (const auto& [symbolic, value] : entries) {
        body += "<EnumEntry Name=\"Selector_" + symbolic + "\"><Symbolic>" + symbolic + "</Symbolic><Value>" +
                std::to_string(value) + "</Value></EnumEntry>";
    }
    body += R"(</Enumeration>
<IntReg Name="SelectorReg"><Address>0x00</Address><Length>4</Length><AccessMode>RW</AccessMode><pPort>Device</pPort>
  <Cachable>NoCache</Cachable><Sign>Unsigned</Sign><Endianess>LittleEndian</Endianess></IntReg>
<Float Name="ColorTransformationValue"><pValue>ValueReg</pValue><Min>-4</Min><Max>4</Max></Float>
<FloatReg Name="ValueReg"><Address>0xB8</Address><Length>8</Length><pIndex Offset="8">SelectorReg</pIndex>
  <AccessMode>RW</AccessMode><pPort>Device</pPort><Cachable>NoCache</Cachable><Endianess>LittleEndian</Endianess></FloatReg>
<Command Name="ColorTransformationResetToFactoryList"><pValue>ResetReg</pValue><CommandValue>1</CommandValue></Command>
<IntReg Name="ResetReg"><Address>0x04</Address><Length>4</Length><AccessMode>RW</AccessMode><pPort>Device</pPort>
  <Cachable>NoCache</Cachable><Sign>Unsigned</Sign><Endianess>LittleEndian</Endianess></IntReg>
)";
    return body;
}

// "Gain00" to "Gain22" as values 0 to 8, with `count` of them, plus entries that only look alike.
std::vector<std::pair<std::string, int>> gainEntries(int count) {
    std::vector<std::pair<std::string, int>> entries;
    for (int i = 0; i < count; ++i) entries.emplace_back("Gain" + std::to_string(i / 3) + std::to_string(i % 3), i);
    entries.emplace_back("Gain30", 9);
    entries.emplace_back("Gain0", 10);
    entries.emplace_back("Offset00", 11);
    return entries;
}

}  // namespace

TEST(DeviceColorMatrixTest, AFullMatrixRoundTripsWithOutOfRangeValuesLimited) {
    InlineCamera camera(kFeatures, matrixBody(gainEntries(9)));
    camera.port_.setU32(kSelectorAddress, 4);  // "Gain11", as the application left it
    DeviceColorMatrix matrix;
    ASSERT_EQ(matrix.Init(camera.view()), Result::Success);
    EXPECT_EQ(matrix.Mask(), DeviceColorMatrix::kAllEntries);
    EXPECT_TRUE(matrix.Supported());

    TraceCapture trace;
    const double written[3][3] = {{1.5, -0.25, 7.5}, {0.0, 1.0, 0.125}, {-9.0, 0.5, 2.0}};
    ASSERT_EQ(matrix.Set(written), Result::Success) << lastErrorText();
    EXPECT_EQ(camera.port_.u32(kSelectorAddress), 4u);
    // Row 0, column 2 (7.5) and row 2, column 0 (-9) go beyond [-4, 4].
    EXPECT_EQ(camera.f64(kValueAddress + 2 * 8), 4.0);
    EXPECT_EQ(camera.f64(kValueAddress + 6 * 8), -4.0);
    EXPECT_EQ(trace.count("DeviceColorMatrix; Set/2; ColorGain value out of range and will be limited;"), 1u);
    EXPECT_EQ(trace.count("DeviceColorMatrix; Set/6; ColorGain value out of range and will be limited;"), 1u);
    EXPECT_EQ(trace.count("ColorGain value out of range"), 2u);

    double read[3][3] = {};
    ASSERT_EQ(matrix.Get(read), Result::Success) << lastErrorText();
    const double expected[3][3] = {{1.5, -0.25, 4.0}, {0.0, 1.0, 0.125}, {-4.0, 0.5, 2.0}};
    for (int row = 0; row < 3; ++row) {
        for (int column = 0; column < 3; ++column) EXPECT_EQ(read[row][column], expected[row][column]) << row << column;
    }
    EXPECT_EQ(camera.port_.u32(kSelectorAddress), 4u);
    matrix.Init(nullptr);
    EXPECT_FALSE(matrix.Supported());
}

TEST(DeviceColorMatrixTest, ASelectorWithOnlyEightGainEntriesLeavesTheMatrixUnsupported) {
    InlineCamera camera(kFeatures, matrixBody(gainEntries(8)));
    DeviceColorMatrix matrix;
    TraceCapture trace;
    ASSERT_EQ(matrix.Init(camera.view()), Result::Success);
    EXPECT_EQ(trace.count("DeviceColorMatrix; Init; called;"), 1u);
    EXPECT_EQ(matrix.Mask(), 0xFFu);
    EXPECT_FALSE(matrix.Supported());

    double read[3][3] = {{7.0}};
    Result code = Result::Success;
    EXPECT_EQ(matrix.Get(read), Result::NotAvailable);
    EXPECT_EQ(lastErrorText(&code), "Color matrix not supported.");
    EXPECT_EQ(code, Result::NotAvailable);
    EXPECT_EQ(read[0][0], 7.0);
    const double written[3][3] = {};
    EXPECT_EQ(matrix.Set(written), Result::NotAvailable);
    EXPECT_EQ(trace.count("DeviceColorMatrix; Set; Color matrix not supported."), 1u);
    matrix.Init(nullptr);
}

TEST(DeviceColorMatrixTest, MissingMatrixOrNodesAreRefused) {
    DeviceColorMatrix matrix;
    ASSERT_EQ(matrix.Init(nullptr), Result::Success);
    double read[3][3] = {};
    EXPECT_EQ(matrix.Get(read), Result::NotAvailable);

    InlineCamera camera(kFeatures, matrixBody(gainEntries(9)));
    ASSERT_EQ(matrix.Init(camera.view()), Result::Success);
    TraceCapture trace;
    Result code = Result::Success;
    EXPECT_EQ(matrix.Get(nullptr), Result::InvalidParameter);
    EXPECT_EQ(lastErrorText(&code), "missing parameter.");
    EXPECT_EQ(code, Result::InvalidParameter);
    EXPECT_EQ(matrix.Set(nullptr), Result::InvalidParameter);
    EXPECT_EQ(trace.count("DeviceColorMatrix; Get; missing parameter."), 1u);
    EXPECT_EQ(trace.count("DeviceColorMatrix; Set; missing parameter."), 1u);

    // The selector alone is not enough.
    InlineCamera selectorOnly({"ColorTransformationValueSelector"}, matrixBody(gainEntries(9)));
    ASSERT_EQ(matrix.Init(selectorOnly.view()), Result::Success);
    EXPECT_EQ(matrix.Mask(), DeviceColorMatrix::kAllEntries);
    EXPECT_FALSE(matrix.Supported());
    EXPECT_EQ(matrix.Get(read), Result::NotAvailable);
    matrix.Init(nullptr);
}

TEST(DeviceColorMatrixTest, AFailingAccessRecordsFailedAndPutsTheSelectorBack) {
    // The last slot, Gain22's, lies beyond the memory the port has.
    InlineCamera camera(kFeatures, matrixBody(gainEntries(9)), kValueAddress + 8 * 8);
    camera.port_.setU32(kSelectorAddress, 1);
    DeviceColorMatrix matrix;
    ASSERT_EQ(matrix.Init(camera.view()), Result::Success);
    ASSERT_TRUE(matrix.Supported());

    double read[3][3] = {{7.0}};
    EXPECT_NE(matrix.Get(read), Result::Success);
    EXPECT_EQ(lastErrorText(), "failed.");
    EXPECT_EQ(read[0][0], 7.0);
    EXPECT_EQ(camera.port_.u32(kSelectorAddress), 1u);

    const double written[3][3] = {{0.5, 0.5, 0.5}, {0.5, 0.5, 0.5}, {0.5, 0.5, 0.5}};
    EXPECT_NE(matrix.Set(written), Result::Success);
    EXPECT_EQ(lastErrorText(), "failed.");
    EXPECT_EQ(camera.f64(kValueAddress), 0.5);
    EXPECT_EQ(camera.port_.u32(kSelectorAddress), 1u);
    matrix.Init(nullptr);
}
