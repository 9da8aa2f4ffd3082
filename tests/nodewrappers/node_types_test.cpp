// SPDX-License-Identifier: BSD-3-Clause
// Node types beyond the simulator's module descriptions: float, boolean, register, writable string
// and enumeration, alias and extension, conversions between types, and the verify argument of writes.
#include <cstring>

#include "inline_descriptions.h"
#include "support/errors.h"

using namespace corvid2;
using namespace corvid2::test;

TEST_F(AllTypes, InterfaceTexts) {
    const std::pair<const char*, const char*> types[] = {
        {"Gain", "IFloat"},  {"Offset", "IInteger"},   {"Flag", "IBoolean"}, {"Raw", "IRegister"},
        {"Name", "IString"}, {"Mode", "IEnumeration"}, {"Go", "ICommand"},   {"Numbers", "ICategory"}};
    for (const auto& [name, type] : types) EXPECT_EQ(node(name).GetInterface(), type) << name;
    EXPECT_EQ(map_.eventNodes(0x9001).front()->GetInterface(), "IPort");
}

TEST_F(AllTypes, FloatLimitsPresentationAndConversions) {
    CGenAPINode& gain = node("Gain");
    EXPECT_EQ(gain.GetDoubleMin(), 0.0);
    EXPECT_EQ(gain.GetDoubleMax(), 48.0);
    EXPECT_EQ(gain.GetDoubleInc(), 0.5);
    EXPECT_TRUE(gain.HasInc());
    EXPECT_EQ(gain.GetIntMax(), 48);
    EXPECT_EQ(gain.GetUnit(), "dB");
    EXPECT_EQ(gain.GetRepresentation(), "Logarithmic");
    EXPECT_EQ(gain.GetDoublePrecision(), 3);
    EXPECT_EQ(gain.GetVisibility(), "Invisible");

    gain.SetDouble(12.5);
    double stored = 0;
    std::memcpy(&stored, port_.bytes_.data() + kGainAddress, sizeof stored);
    EXPECT_EQ(stored, 12.5);
    EXPECT_EQ(gain.GetInt(), 13);  // rounded, not cut
    gain.SetInt(7);
    EXPECT_EQ(gain.GetDouble(), 7.0);
    EXPECT_EQ(genAPIClassOf([&] { gain.SetDouble(100.0); }), kGenAPIClassInvalidParameter);
    EXPECT_EQ(gain.GetDouble(), 7.0);
}

TEST_F(AllTypes, IntegerRepresentationIncrementAliasAndExtension) {
    CGenAPINode& offset = node("Offset");
    EXPECT_EQ(offset.GetRepresentation(), "HexNumber");
    EXPECT_EQ(offset.GetIntInc(), 2);
    EXPECT_EQ(offset.GetVisibility(), "Guru");
    EXPECT_EQ(offset.GetAlias(), "Gain");
    EXPECT_EQ(offset.GetExtension(), "vendor note");
    offset.SetDouble(10.4);
    EXPECT_EQ(port_.u32(kOffsetAddress), 10u);
    EXPECT_EQ(genAPIClassOf([&] { offset.SetInt(11); }), kGenAPIClassInvalidParameter);
    EXPECT_EQ(port_.u32(kOffsetAddress), 10u);

    CGenAPINode& fixed = node("Fixed");
    EXPECT_EQ(fixed.GetImposedAccessMode(), "RO");
    EXPECT_EQ(offset.GetImposedAccessMode(), "RW");
    EXPECT_EQ(node("Numbers").GetImposedAccessMode(), "RO");
}

TEST_F(AllTypes, BooleanTakesNumbersAndText) {
    CGenAPINode& flag = node("Flag");
    flag.SetInt(5);
    EXPECT_EQ(port_.u32(kFlagAddress), 1u);
    EXPECT_TRUE(flag.GetBool());
    EXPECT_EQ(flag.GetInt(), 1);
    flag.SetBool(false);
    EXPECT_EQ(port_.u32(kFlagAddress), 0u);
    EXPECT_EQ(flag.GetDouble(), 0.0);
    flag.SetValue("true");
    EXPECT_EQ(flag.GetValue(), "true");
    expectGenAPIError([&] { flag.GetIntMin(); }, "getMinInt not supported for Node 'Flag'", kGenAPIClassNotAvailable);
}

TEST_F(AllTypes, EnumerationSelectsEntriesByValueAndName) {
    CGenAPINode& mode = node("Mode");
    EXPECT_EQ(namesOf(mode.GetEnumNodeList()), (std::vector<std::string>{"Auto", "Off", "On"}));
    mode.SetInt(2);
    EXPECT_EQ(mode.GetValue(), "Auto");
    mode.SetValue("On");
    EXPECT_EQ(port_.u32(kModeAddress), 1u);
    EXPECT_EQ(mode.GetDouble(), 1.0);
    EXPECT_EQ(genAPIClassOf([&] { mode.SetInt(7); }), kGenAPIClassInvalidParameter);
    EXPECT_EQ(port_.u32(kModeAddress), 1u);

    CGenAPINode& autoEntry = *mode.GetEnumNodeList().find("Auto");
    EXPECT_EQ(autoEntry.GetValue(), "Auto");
    EXPECT_EQ(autoEntry.GetInt(), 2);
    EXPECT_EQ(autoEntry.GetInterface(), "IEnumeration");
    expectGenAPIError([&] { autoEntry.SetInt(2); }, "setValueInt not supported for Node '" + autoEntry.GetName() + "'",
                      kGenAPIClassNotAvailable);
}

TEST_F(AllTypes, RegisterAndStringBytes) {
    CGenAPINode& raw = node("Raw");
    EXPECT_EQ(raw.getAddress(), static_cast<std::int64_t>(kRawAddress));
    EXPECT_EQ(raw.getLength(), 8);
    const std::uint8_t written[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    raw.set(written, sizeof written);
    EXPECT_EQ(0, std::memcmp(port_.bytes_.data() + kRawAddress, written, sizeof written));
    std::uint8_t read[8] = {};
    raw.get(read, sizeof read);
    EXPECT_EQ(0, std::memcmp(read, written, sizeof read));
    expectGenAPIError([&] { raw.GetValue(); }, "getValue not supported for Node 'Raw'", kGenAPIClassNotAvailable);

    CGenAPINode& name = node("Name");
    EXPECT_EQ(name.GetMaxStringLength(), 16);
    name.SetValue("camera one");
    EXPECT_STREQ(reinterpret_cast<const char*>(port_.bytes_.data() + kNameAddress), "camera one");
    EXPECT_EQ(name.GetValue(), "camera one");
}

TEST_F(AllTypes, CommandReportsItsState) {
    CGenAPINode& go = node("Go");
    EXPECT_EQ(go.GetValue(), "Done");
    go.Execute();
    EXPECT_EQ(port_.u32(kGoAddress), 1u);
    // The register still holds the command value: the device has not finished.
    EXPECT_EQ(go.GetValue(), "InProgress");
    EXPECT_FALSE(go.IsDone());
    port_.setU32(kGoAddress, 0);
    EXPECT_TRUE(go.IsDone());
}

TEST_F(AllTypes, WritesPassThePortsAnswerAsVerify) {
    map_.engineMap()->SetReadBackVerification(true);
    port_.dropWrites_ = true;  // a read-back would notice
    CGenAPINode& offset = node("Offset");
    EXPECT_EQ(genAPIClassOf([&] { offset.SetInt(4); }), kGenAPIClassError);
    port_.verify_ = false;  // as while stacking: no read-back
    const int reads = port_.reads_;
    offset.SetInt(6);
    EXPECT_EQ(port_.reads_, reads);
    EXPECT_EQ(port_.noted_, (std::vector<std::string>{"Offset", "Offset"}));

    // Every kind of write announces its feature.
    port_.noted_.clear();
    const std::uint8_t bytes[8] = {};
    node("Gain").SetDouble(1.0);
    node("Flag").SetBool(true);
    node("Name").SetValue("x");
    node("Raw").set(bytes, sizeof bytes);
    EXPECT_EQ(port_.noted_, (std::vector<std::string>{"Gain", "Flag", "Name", "Raw"}));
}
