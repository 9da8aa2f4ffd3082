// SPDX-License-Identifier: BSD-3-Clause
// Behaviour of each node type on small hand-written descriptions connected to a memory port.
#include <limits>

#include "test_support.h"

namespace corvid2::genapi::test {
namespace {

TEST(GenApiIntegerNodes, ConstantValueHonoursLimitsAndIncrement) {
    SnippetMap s(R"(<Integer Name="Gain"><Value>10</Value><Min>4</Min><Max>20</Max><Inc>2</Inc></Integer>)");
    auto& gain = s.get<IInteger>("Gain");
    EXPECT_EQ(gain.GetValue(), 10);
    EXPECT_EQ(gain.GetMin(), 4);
    EXPECT_EQ(gain.GetMax(), 20);
    EXPECT_EQ(gain.GetInc(), 2);
    gain.SetValue(16);
    EXPECT_EQ(gain.ToString(), "16");
    EXPECT_THROW(gain.SetValue(22), OutOfRangeException);
    EXPECT_THROW(gain.SetValue(2), OutOfRangeException);
    EXPECT_THROW(gain.SetValue(7), OutOfRangeException);  // not 4 + k*2
    gain.FromString("0x8");
    EXPECT_EQ(gain.GetValue(), 8);
    EXPECT_THROW(gain.FromString("eight"), InvalidArgumentException);
    EXPECT_EQ(gain.GetAccessMode(), RW);
}

TEST(GenApiIntegerNodes, IntRegDecodesEndiannessAndSign) {
    SnippetMap s(R"(
    <IntReg Name="Big"><Address>0x100</Address><Length>4</Length><AccessMode>RW</AccessMode><pPort>Device</pPort>
      <Sign>Unsigned</Sign><Endianess>BigEndian</Endianess></IntReg>
    <IntReg Name="Little"><Address>0x100</Address><Length>4</Length><AccessMode>RO</AccessMode><pPort>Device</pPort>
      <Endianess>LittleEndian</Endianess></IntReg>
    <IntReg Name="Signed16"><Address>0x200</Address><Length>2</Length><AccessMode>RW</AccessMode><pPort>Device</pPort>
      <Sign>Signed</Sign><Endianess>BigEndian</Endianess></IntReg>)");
    s.port.poke(0x100, {0x12, 0x34, 0x56, 0x78});
    s.port.poke(0x200, {0xff, 0xfe});
    EXPECT_EQ(s.get<IInteger>("Big").GetValue(), 0x12345678);
    EXPECT_EQ(s.get<IInteger>("Little").GetValue(), 0x78563412);
    EXPECT_EQ(s.get<IInteger>("Signed16").GetValue(), -2);
    EXPECT_EQ(s.get<IInteger>("Signed16").GetMin(), -32768);
    EXPECT_EQ(s.get<IInteger>("Big").GetMax(), 0xffffffffLL);
    s.get<IInteger>("Signed16").SetValue(-300);
    EXPECT_EQ(s.port.peek(0x200), 0xfe);
    EXPECT_EQ(s.port.peek(0x201), 0xd4);
    EXPECT_EQ(s.get<IInteger>("Little").GetAccessMode(), RO);
    EXPECT_THROW(s.get<IInteger>("Little").SetValue(1), AccessException);
    auto& reg = s.get<IRegister>("Big");
    EXPECT_EQ(reg.GetAddress(), 0x100);
    EXPECT_EQ(reg.GetLength(), 4);
}

TEST(GenApiIntegerNodes, MaskedIntRegNumbersBitsByEndianness) {
    // BigEndian: bit 0 is the most significant bit of the register, so LSB 31 / MSB 16 is the low half.
    SnippetMap s(R"(
    <MaskedIntReg Name="LowHalfBE"><Address>0x10</Address><Length>4</Length><AccessMode>RW</AccessMode>
      <pPort>Device</pPort><LSB>31</LSB><MSB>16</MSB><Endianess>BigEndian</Endianess></MaskedIntReg>
    <MaskedIntReg Name="TopBitBE"><Address>0x10</Address><Length>4</Length><AccessMode>RW</AccessMode>
      <pPort>Device</pPort><Bit>0</Bit><Endianess>BigEndian</Endianess></MaskedIntReg>
    <MaskedIntReg Name="NibbleLE"><Address>0x20</Address><Length>2</Length><AccessMode>RW</AccessMode>
      <pPort>Device</pPort><LSB>4</LSB><MSB>7</MSB><Sign>Signed</Sign><Endianess>LittleEndian</Endianess></MaskedIntReg>)");
    s.port.poke(0x10, {0x80, 0x00, 0xab, 0xcd});
    s.port.poke(0x20, {0xa5, 0x0f});
    EXPECT_EQ(s.get<IInteger>("LowHalfBE").GetValue(), 0xabcd);
    EXPECT_EQ(s.get<IInteger>("TopBitBE").GetValue(), 1);
    EXPECT_EQ(s.get<IInteger>("NibbleLE").GetValue(), -6);  // 0xa as a signed 4-bit field
    EXPECT_EQ(s.get<IInteger>("NibbleLE").GetMax(), 7);
    s.get<IInteger>("LowHalfBE").SetValue(0x1234);
    EXPECT_EQ(s.port.peek(0x10), 0x80);  // other bits kept
    EXPECT_EQ(s.port.peek(0x12), 0x12);
    EXPECT_EQ(s.port.peek(0x13), 0x34);
    s.get<IInteger>("NibbleLE").SetValue(3);
    EXPECT_EQ(s.port.peek(0x20), 0x35);
    EXPECT_EQ(s.port.peek(0x21), 0x0f);
    EXPECT_THROW(s.get<IInteger>("NibbleLE").SetValue(8), OutOfRangeException);
}

TEST(GenApiIntegerNodes, StructEntriesShareTheirStructRegister) {
    SnippetMap s(R"(
    <StructReg Comment="Control"><Address>0x40</Address><Length>4</Length><AccessMode>RW</AccessMode>
      <pPort>Device</pPort><Endianess>BigEndian</Endianess>
      <StructEntry Name="Enable"><Bit>31</Bit></StructEntry>
      <StructEntry Name="Mode"><AccessMode>RO</AccessMode><LSB>27</LSB><MSB>24</MSB></StructEntry>
    </StructReg>)");
    s.port.poke(0x40, {0x00, 0x00, 0x00, 0x51});
    EXPECT_EQ(s.get<IInteger>("Enable").GetValue(), 1);
    EXPECT_EQ(s.get<IInteger>("Mode").GetValue(), 5);
    EXPECT_EQ(s.get<IInteger>("Mode").GetAccessMode(), RO);
    EXPECT_EQ(s.map->GetNode("Enable")->GetNodeType(), "StructEntry");
    s.get<IInteger>("Enable").SetValue(0);
    EXPECT_EQ(s.port.peek(0x43), 0x50);
    // Same register: the write is seen by the other entry without a stale cache.
    EXPECT_EQ(s.get<IInteger>("Mode").GetValue(), 5);
}

TEST(GenApiIntegerNodes, LinkedValueTakesLimitsFromItsTarget) {
    SnippetMap s(R"(
    <Integer Name="Width"><pValue>WidthReg</pValue><pMax>WidthMax</pMax><Inc>4</Inc></Integer>
    <IntReg Name="WidthReg"><Address>0x0</Address><Length>2</Length><AccessMode>RW</AccessMode>
      <pPort>Device</pPort><Endianess>BigEndian</Endianess></IntReg>
    <Integer Name="WidthMax"><Value>1000</Value></Integer>)");
    auto& width = s.get<IInteger>("Width");
    EXPECT_EQ(width.GetMin(), 0);
    EXPECT_EQ(width.GetMax(), 1000);
    width.SetValue(640);
    EXPECT_EQ(s.port.peek(0), 0x02);
    EXPECT_EQ(s.port.peek(1), 0x80);
    EXPECT_THROW(width.SetValue(1004), OutOfRangeException);
}

TEST(GenApiIntegerNodes, IndexedValueFollowsItsIndex) {
    SnippetMap s(R"(
    <Integer Name="Sel"><Value>1</Value></Integer>
    <Integer Name="Table"><pIndex>Sel</pIndex><ValueIndexed Index="0">10</ValueIndexed>
      <pValueIndexed Index="1">Other</pValueIndexed><ValueDefault>99</ValueDefault></Integer>
    <Integer Name="Other"><Value>42</Value></Integer>)");
    EXPECT_EQ(s.get<IInteger>("Table").GetValue(), 42);
    s.get<IInteger>("Sel").SetValue(0);
    EXPECT_EQ(s.get<IInteger>("Table").GetValue(), 10);
    s.get<IInteger>("Sel").SetValue(7);
    EXPECT_EQ(s.get<IInteger>("Table").GetValue(), 99);
    s.get<IInteger>("Sel").SetValue(1);
    s.get<IInteger>("Table").SetValue(5);
    EXPECT_EQ(s.get<IInteger>("Other").GetValue(), 5);
}

TEST(GenApiRegisterAddressing, AddressSumsConstantsNodesIndexesAndInlineFormulas) {
    SnippetMap s(R"(
    <Integer Name="Base"><Value>0x1000</Value></Integer>
    <Integer Name="Idx"><Value>2</Value></Integer>
    <IntReg Name="Reg"><Address>0x10</Address><pAddress>Base</pAddress>
      <IntSwissKnife Name="RegExtra"><Formula>0x100</Formula></IntSwissKnife>
      <pIndex Offset="0x20">Idx</pIndex><Length>1</Length><AccessMode>RO</AccessMode><pPort>Device</pPort></IntReg>
    <IntReg Name="Default"><Address>0x0</Address><pIndex>Idx</pIndex><Length>4</Length><AccessMode>RO</AccessMode>
      <pPort>Device</pPort></IntReg>)");
    EXPECT_EQ(s.get<IRegister>("Reg").GetAddress(), 0x10 + 0x1000 + 0x100 + 2 * 0x20);
    EXPECT_EQ(s.get<IRegister>("Default").GetAddress(), 8);  // offset defaults to the length
    s.port.poke(0x1150, {0x7f});
    EXPECT_EQ(s.get<IInteger>("Reg").GetValue(), 0x7f);
}

TEST(GenApiFloatNodes, FloatRegistersInBothByteOrders) {
    SnippetMap s(R"(
    <FloatReg Name="F4"><Address>0x0</Address><Length>4</Length><AccessMode>RW</AccessMode><pPort>Device</pPort>
      <Endianess>BigEndian</Endianess></FloatReg>
    <FloatReg Name="F8"><Address>0x8</Address><Length>8</Length><AccessMode>RW</AccessMode><pPort>Device</pPort>
      <Endianess>LittleEndian</Endianess></FloatReg>
    <Float Name="Exposure"><pValue>F8</pValue><Min>1</Min><Max>1000</Max><Unit>us</Unit>
      <DisplayNotation>Fixed</DisplayNotation><DisplayPrecision>2</DisplayPrecision></Float>)");
    s.port.poke(0x0, {0x3f, 0xc0, 0x00, 0x00});  // 1.5f
    EXPECT_DOUBLE_EQ(s.get<IFloat>("F4").GetValue(), 1.5);
    s.get<IFloat>("Exposure").SetValue(0.25 + 100);
    EXPECT_EQ(s.port.peek(0x8 + 7), 0x40);  // 100.25 = 0x40591000...
    EXPECT_EQ(s.port.peek(0x8 + 6), 0x59);
    EXPECT_DOUBLE_EQ(s.get<IFloat>("F8").GetValue(), 100.25);
    auto& exposure = s.get<IFloat>("Exposure");
    EXPECT_EQ(exposure.GetUnit(), "us");
    EXPECT_EQ(exposure.GetDisplayNotation(), fnFixed);
    EXPECT_EQ(exposure.GetDisplayPrecision(), 2);
    EXPECT_FALSE(exposure.HasInc());
    EXPECT_THROW(exposure.SetValue(1001), OutOfRangeException);
}

TEST(GenApiFloatNodes, ConvertersWorkBothWays) {
    SnippetMap s(R"(
    <IntReg Name="Raw"><Address>0x0</Address><Length>4</Length><AccessMode>RW</AccessMode><pPort>Device</pPort>
      <Endianess>BigEndian</Endianess></IntReg>
    <Converter Name="Gain"><pVariable Name="SCALE">Scale</pVariable><FormulaTo>ROUND(FROM*SCALE)</FormulaTo>
      <FormulaFrom>TO/SCALE</FormulaFrom><pValue>Raw</pValue></Converter>
    <Integer Name="Scale"><Value>8</Value></Integer>
    <IntConverter Name="Half"><FormulaTo>FROM*2</FormulaTo><FormulaFrom>TO/2</FormulaFrom><pValue>Raw</pValue>
      <Slope>Increasing</Slope></IntConverter>)");
    s.port.pokeBigEndian32(0, 20);
    EXPECT_DOUBLE_EQ(s.get<IFloat>("Gain").GetValue(), 2.5);
    s.get<IFloat>("Gain").SetValue(3.3);  // ROUND(26.4) = 26
    EXPECT_EQ(s.port.peek(3), 26);
    EXPECT_DOUBLE_EQ(s.get<IFloat>("Gain").GetValue(), 3.25);
    EXPECT_EQ(s.get<IInteger>("Half").GetValue(), 13);
    s.get<IInteger>("Half").SetValue(50);
    EXPECT_EQ(s.port.peek(3), 100);
    EXPECT_EQ(s.get<IInteger>("Half").GetMax(), 0x7fffffff);  // converted maximum of the register
}

TEST(GenApiOtherNodes, BooleanUsesOnAndOffValues) {
    SnippetMap s(R"(
    <Boolean Name="Flag"><pValue>FlagReg</pValue><OnValue>5</OnValue><OffValue>2</OffValue></Boolean>
    <IntReg Name="FlagReg"><Address>0x0</Address><Length>1</Length><AccessMode>RW</AccessMode><pPort>Device</pPort>
    </IntReg>
    <Boolean Name="Plain"><Value>true</Value></Boolean>)");
    auto& flag = s.get<IBoolean>("Flag");
    flag.SetValue(true);
    EXPECT_EQ(s.port.peek(0), 5);
    EXPECT_TRUE(flag.GetValue());
    flag.SetValue(false);
    EXPECT_EQ(s.port.peek(0), 2);
    EXPECT_EQ(flag.ToString(), "false");
    s.port.poke(0, {7});
    s.map->InvalidateNodes();
    EXPECT_THROW(flag.GetValue(), OutOfRangeException);
    EXPECT_TRUE(s.get<IBoolean>("Plain").GetValue());
}

TEST(GenApiOtherNodes, CommandWritesItsValueAndPollsForDone) {
    SnippetMap s(R"(
    <Command Name="Start"><pValue>StartReg</pValue><CommandValue>1</CommandValue><PollingTime>100</PollingTime></Command>
    <IntReg Name="StartReg"><Address>0x4</Address><Length>4</Length><AccessMode>RW</AccessMode><pPort>Device</pPort>
      <Endianess>BigEndian</Endianess></IntReg>)");
    auto& start = s.get<ICommand>("Start");
    EXPECT_TRUE(start.IsDone());
    start.Execute();
    EXPECT_EQ(s.port.peek(7), 1);
    EXPECT_FALSE(start.IsDone());
    s.port.poke(4, {0, 0, 0, 0});  // the device clears the command
    EXPECT_TRUE(start.IsDone());
    EXPECT_EQ(s.map->GetNode("Start")->GetPollingTime(), 100);
}

TEST(GenApiOtherNodes, EnumerationEntriesAreScopedToTheirEnumeration) {
    SnippetMap s(R"(
    <Enumeration Name="Chunk"><EnumEntry Name="Width"><Value>1</Value></EnumEntry>
      <EnumEntry Name="Height"><Value>2</Value><pIsAvailable>Never</pIsAvailable></EnumEntry>
      <EnumEntry Name="Ghost"><pIsImplemented>Never</pIsImplemented><Value>3</Value></EnumEntry>
      <pValue>ChunkReg</pValue></Enumeration>
    <Enumeration Name="Other"><EnumEntry Name="Width"><Value>7</Value></EnumEntry><Value>7</Value></Enumeration>
    <Integer Name="Width"><Value>640</Value></Integer>
    <Integer Name="Never"><Value>0</Value></Integer>
    <IntReg Name="ChunkReg"><Address>0x0</Address><Length>4</Length><AccessMode>RW</AccessMode><pPort>Device</pPort>
    </IntReg>)");
    auto& chunk = s.get<IEnumeration>("Chunk");
    EXPECT_EQ(s.get<IInteger>("Width").GetValue(), 640);
    ASSERT_NE(s.map->GetNode("EnumEntry_Chunk_Width"), nullptr);
    ASSERT_NE(s.map->GetNode("EnumEntry_Other_Width"), nullptr);
    chunk.FromString("Width");
    EXPECT_EQ(s.port.peek(0), 1);
    EXPECT_EQ(chunk.ToString(), "Width");
    EXPECT_EQ(chunk.GetCurrentEntry()->GetValue(), 1);
    EXPECT_THROW(chunk.FromString("Height"), AccessException);
    EXPECT_THROW(chunk.FromString("Depth"), InvalidArgumentException);
    EXPECT_THROW(chunk.SetIntValue(9), OutOfRangeException);
    gcstring_vector symbolics;
    chunk.GetSymbolics(symbolics);
    EXPECT_EQ(symbolics, gcstring_vector{"Width"});
    node_vector entries;
    chunk.GetEntries(entries);
    EXPECT_EQ(entries.size(), 3u);
    EXPECT_EQ(s.get<IEnumeration>("Other").ToString(), "Width");
    EXPECT_EQ(s.get<IEnumeration>("Other").GetEntryByName("Width")->GetValue(), 7);
}

TEST(GenApiOtherNodes, FreeStandingEntriesOfSchemaOneZero) {
    SnippetMap s(R"(
    <EnumEntry Name="Fast"><Value>1</Value></EnumEntry>
    <EnumEntry Name="Slow"><Value>2</Value></EnumEntry>
    <Enumeration Name="Speed"><pEnumEntry>Fast</pEnumEntry><pEnumEntry>Slow</pEnumEntry><Value>2</Value></Enumeration>)");
    EXPECT_EQ(s.get<IEnumeration>("Speed").ToString(), "Slow");
    s.get<IEnumeration>("Speed").FromString("Fast");
    EXPECT_EQ(s.get<IEnumeration>("Speed").GetIntValue(), 1);
}

TEST(GenApiOtherNodes, StringsHaveFixedLengthRegisters) {
    SnippetMap s(R"(
    <StringReg Name="UserID"><Address>0x100</Address><Length>8</Length><AccessMode>RW</AccessMode>
      <pPort>Device</pPort></StringReg>
    <String Name="Label"><Value>Température 25 °C</Value></String>)");
    auto& user = s.get<IString>("UserID");
    EXPECT_EQ(user.GetMaxLength(), 8);
    user.SetValue("cam");
    EXPECT_EQ(user.GetValue(), "cam");
    EXPECT_EQ(s.port.peek(0x103), 0);
    EXPECT_THROW(user.SetValue("too long text"), OutOfRangeException);
    s.port.poke(0x100, {'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h'});
    EXPECT_EQ(user.GetValue(false, true), "abcdefgh");
    EXPECT_EQ(s.get<IString>("Label").GetValue(), "Température 25 °C");
    s.get<IString>("Label").SetValue("x");
    EXPECT_EQ(s.get<IString>("Label").GetValue(), "x");
}

TEST(GenApiOtherNodes, RawRegisterAndCategory) {
    SnippetMap s(R"(
    <Category Name="Root"><pFeature>Blob</pFeature><pFeature>Sub</pFeature></Category>
    <Category Name="Sub"/>
    <Register Name="Blob"><Address>0x0</Address><Length>3</Length><AccessMode>RW</AccessMode><pPort>Device</pPort>
    </Register>)");
    auto& blob = s.get<IRegister>("Blob");
    uint8_t data[3] = {1, 2, 0xff};
    blob.Set(data, 3);
    uint8_t back[3] = {};
    blob.Get(back, 3);
    EXPECT_EQ(std::memcmp(data, back, 3), 0);
    EXPECT_EQ(blob.ToString(), "0x0102ff");
    EXPECT_THROW(blob.Get(back, 2), OutOfRangeException);
    value_vector features;
    s.get<ICategory>("Root").GetFeatures(features);
    ASSERT_EQ(features.size(), 2u);
    EXPECT_EQ(features[0]->GetNode()->GetName(), "Blob");
    EXPECT_EQ(s.map->GetNode("Root")->GetAccessMode(), RO);
    EXPECT_EQ(s.map->GetNode("Root")->GetPrincipalInterfaceType(), intfICategory);
    EXPECT_TRUE(s.map->GetNode("Blob")->IsFeature());     // under Root
    EXPECT_FALSE(s.map->GetNode("Device")->IsFeature());  // not in the category tree
}

TEST(GenApiOtherNodes, ConfigurationRomNodesLoad) {
    SnippetMap s(R"(
    <ConfRom Name="Rom"><Unit>4</Unit><Address>0x400</Address><Length>16</Length><pPort>Device</pPort>
      <TextDesc>0x81</TextDesc><IntKey>0x0C</IntKey></ConfRom>
    <IntKey Name="VendorId"><p1212Parser>Rom</p1212Parser><Key>0x03</Key></IntKey>
    <TextDesc Name="VendorText"><p1212Parser>Rom</p1212Parser><Key>0x03</Key></TextDesc>)");
    s.port.poke(0x400, {0x04, 0x04, 0x12, 0x34});
    uint8_t rom[16];
    s.get<IRegister>("Rom").Get(rom, 16);
    EXPECT_EQ(rom[2], 0x12);
    EXPECT_EQ(s.map->GetNode("VendorId")->GetAccessMode(), NA);  // the root directory is empty
    EXPECT_EQ(s.map->GetNode("VendorText")->GetPrincipalInterfaceType(), intfIString);
}

TEST(GenApiOtherNodes, PlainNodeAndIidcRegisterKinds) {
    SnippetMap s(R"(
    <Node Name="Helper"><ToolTip>structure only</ToolTip></Node>
    <AdvFeatureLock Name="Lock"><Address>0x10</Address><AccessMode>RW</AccessMode><pPort>Device</pPort>
      <FeatureID>0030533B73C3</FeatureID><Timeout>1000</Timeout></AdvFeatureLock>
    <SmartFeature Name="Smart"><FeatureID>01234567-89AB-CDEF-0123-456789ABCDEF</FeatureID><Address>0x20</Address>
      <pPort>Device</pPort></SmartFeature>)");
    INode* helper = s.map->GetNode("Helper");
    EXPECT_EQ(helper->GetPrincipalInterfaceType(), intfIBase);
    EXPECT_EQ(helper->GetToolTip(), "structure only");
    EXPECT_EQ(CastNode<IValue>(helper), nullptr);
    s.port.poke(0x10, {0x78, 0x56, 0x34, 0x12});
    EXPECT_EQ(s.get<IInteger>("Lock").GetValue(), 0x12345678);  // 4 bytes when no length is given
    EXPECT_EQ(s.get<IRegister>("Smart").GetAddress(), 0x20);
    EXPECT_EQ(s.map->GetNode("Smart")->GetAccessMode(), RO);
}

TEST(GenApiAccessModes, ConditionsImposedModesAndPortCombine) {
    SnippetMap s(R"(
    <Integer Name="Impl"><Value>1</Value></Integer>
    <Integer Name="Avail"><Value>1</Value></Integer>
    <Integer Name="Lock"><Value>0</Value></Integer>
    <Integer Name="Feature"><pIsImplemented>Impl</pIsImplemented><pIsAvailable>Avail</pIsAvailable>
      <pIsLocked>Lock</pIsLocked><pValue>Reg</pValue></Integer>
    <Integer Name="Imposed"><ImposedAccessMode>RO</ImposedAccessMode><pValue>Reg</pValue></Integer>
    <IntReg Name="Reg"><Address>0x0</Address><Length>4</Length><AccessMode>RW</AccessMode><pPort>Device</pPort></IntReg>
    <IntReg Name="WriteOnly"><Address>0x4</Address><Length>4</Length><AccessMode>WO</AccessMode><pPort>Device</pPort>
    </IntReg>)");
    INode* feature = s.map->GetNode("Feature");
    EXPECT_EQ(feature->GetAccessMode(), RW);
    s.get<IInteger>("Lock").SetValue(1);
    EXPECT_EQ(feature->GetAccessMode(), RO);
    s.get<IInteger>("Avail").SetValue(0);
    EXPECT_EQ(feature->GetAccessMode(), NA);
    s.get<IInteger>("Impl").SetValue(0);
    EXPECT_EQ(feature->GetAccessMode(), NI);
    EXPECT_EQ(s.map->GetNode("Imposed")->GetAccessMode(), RO);
    EXPECT_EQ(s.map->GetNode("WriteOnly")->GetAccessMode(), WO);
    EXPECT_THROW(s.get<IInteger>("WriteOnly").GetValue(), AccessException);
    // A read-only port leaves write-only registers with nothing.
    s.port.mode_ = RO;
    s.map->InvalidateNodes();
    EXPECT_EQ(s.map->GetNode("Reg")->GetAccessMode(), RO);
    EXPECT_EQ(s.map->GetNode("WriteOnly")->GetAccessMode(), NA);
}

TEST(GenApiAccessModes, UnconnectedPortMakesRegistersUnavailable) {
    auto map = loadText(describe(
        R"(<IntReg Name="Reg"><Address>0</Address><Length>4</Length><AccessMode>RW</AccessMode><pPort>Device</pPort></IntReg>)"));
    EXPECT_EQ(map->GetNode("Reg")->GetAccessMode(), NA);
    EXPECT_THROW(CastNode<IInteger>(map->GetNode("Reg"))->GetValue(), AccessException);
}

class GenApiCaching : public ::testing::Test {
protected:
    GenApiCaching()
        : s(R"(
    <IntReg Name="Cached"><Address>0x0</Address><Length>4</Length><AccessMode>RW</AccessMode><pPort>Device</pPort>
      <pInvalidator>Trigger</pInvalidator></IntReg>
    <IntReg Name="Around"><Address>0x10</Address><Length>4</Length><AccessMode>RW</AccessMode><pPort>Device</pPort>
      <Cachable>WriteAround</Cachable></IntReg>
    <IntReg Name="Uncached"><Address>0x20</Address><Length>4</Length><AccessMode>RW</AccessMode><pPort>Device</pPort>
      <Cachable>NoCache</Cachable></IntReg>
    <IntReg Name="Polled"><Address>0x30</Address><Length>4</Length><AccessMode>RO</AccessMode><pPort>Device</pPort>
      <pBlockPolling>Block</pBlockPolling><PollingTime>50</PollingTime></IntReg>
    <Integer Name="Block"><Value>0</Value></Integer>
    <Integer Name="Trigger"><Value>0</Value></Integer>
    <Integer Name="View"><pValue>Cached</pValue></Integer>)") {}
    IInteger& node(const char* name) { return s.get<IInteger>(name); }
    SnippetMap s;
};

TEST_F(GenApiCaching, WriteThroughKeepsTheWrittenValue) {
    node("Cached").GetValue();
    node("Cached").GetValue();
    EXPECT_EQ(s.port.reads_, 1);
    node("Cached").SetValue(9);
    EXPECT_EQ(node("Cached").GetValue(), 9);
    EXPECT_EQ(s.port.reads_, 1);
    EXPECT_EQ(node("Cached").GetValue(false, true), 9);  // ignoreCache goes to the port
    EXPECT_EQ(s.port.reads_, 2);
}

TEST_F(GenApiCaching, WriteAroundAndNoCacheReadTheDevice) {
    node("Around").SetValue(3);
    EXPECT_EQ(node("Around").GetValue(), 3);
    EXPECT_EQ(node("Around").GetValue(), 3);
    EXPECT_EQ(s.port.reads_, 1);
    node("Uncached").GetValue();
    node("Uncached").GetValue();
    EXPECT_EQ(s.port.reads_, 3);
}

TEST_F(GenApiCaching, InvalidatorsPollingAndExplicitInvalidation) {
    int calls = 0;
    CallbackHandleType handle = Register(s.map->GetNode("View"), [&](INode*) { ++calls; });
    node("Cached").GetValue();
    node("Trigger").SetValue(1);  // pInvalidator: the next read goes to the device
    s.port.pokeLittleEndian32(0, 77);
    EXPECT_EQ(node("View").GetValue(), 77);
    EXPECT_EQ(s.port.reads_, 2);
    EXPECT_GE(calls, 1);
    node("Polled").GetValue();
    s.map->Poll(20);
    node("Polled").GetValue();
    EXPECT_EQ(s.port.reads_, 3);
    s.map->Poll(40);  // 60 ms in total: time is up
    node("Polled").GetValue();
    EXPECT_EQ(s.port.reads_, 4);
    node("Block").SetValue(1);  // pBlockPolling holds the cached value
    s.map->Poll(100);
    node("Polled").GetValue();
    EXPECT_EQ(s.port.reads_, 4);
    s.map->GetNode("Cached")->InvalidateNode();
    node("Cached").GetValue();
    EXPECT_EQ(s.port.reads_, 5);
    int before = calls;
    EXPECT_TRUE(Deregister(s.map->GetNode("View"), handle));
    node("Cached").SetValue(1);
    EXPECT_EQ(calls, before);
}

TEST_F(GenApiCaching, CanBeSwitchedOffForTheWholeMap) {
    s.map->SetCachingEnabled(false);
    node("Cached").GetValue();
    node("Cached").GetValue();
    EXPECT_EQ(s.port.reads_, 2);
    EXPECT_FALSE(s.map->IsCachingEnabled());
}

TEST(GenApiSelectors, SelectedAndSelectingFeatures) {
    SnippetMap s(R"(
    <Integer Name="GainSelector"><Value>0</Value><pSelected>Gain</pSelected></Integer>
    <Integer Name="Gain"><pIndex>GainSelector</pIndex><ValueIndexed Index="0">1</ValueIndexed>
      <ValueIndexed Index="1">2</ValueIndexed></Integer>)");
    auto& selector = s.get<ISelector>("GainSelector");
    EXPECT_TRUE(selector.IsSelector());
    value_vector selected;
    selector.GetSelectedFeatures(selected);
    ASSERT_EQ(selected.size(), 1u);
    EXPECT_EQ(selected[0]->GetNode()->GetName(), "Gain");
    s.get<ISelector>("Gain").GetSelectingFeatures(selected);
    ASSERT_EQ(selected.size(), 1u);
    EXPECT_EQ(selected[0]->GetNode()->GetName(), "GainSelector");
    s.get<IInteger>("GainSelector").SetValue(1);
    EXPECT_EQ(s.get<IInteger>("Gain").GetValue(), 2);
}

TEST(GenApiProperties, DescriptionTextsAndTypes) {
    SnippetMap s(R"(
    <Integer Name="Gain" NameSpace="Standard"><ToolTip>Gain of the sensor</ToolTip>
      <Description>Analog gain ® µ</Description><DisplayName>Gain (dB)</DisplayName><Visibility>Expert</Visibility>
      <EventID>9001</EventID><pAlias>Other</pAlias><Value>1</Value><Representation>HexNumber</Representation>
    </Integer>
    <Integer Name="Other"><Value>0</Value></Integer>)");
    INode* gain = s.map->GetNode("Gain");
    EXPECT_EQ(gain->GetToolTip(), "Gain of the sensor");
    EXPECT_EQ(gain->GetDescription(), "Analog gain ® µ");
    EXPECT_EQ(gain->GetDisplayName(), "Gain (dB)");
    EXPECT_EQ(gain->GetVisibility(), Expert);
    EXPECT_EQ(gain->GetNameSpace(), Standard);
    EXPECT_EQ(gain->GetEventID(), "9001");
    EXPECT_EQ(gain->GetAlias(), s.map->GetNode("Other"));
    EXPECT_EQ(gain->GetNodeType(), "Integer");
    EXPECT_EQ(s.get<IInteger>("Gain").ToString(), "0x1");
    gcstring value, attributes;
    EXPECT_TRUE(gain->GetProperty("Visibility", value, attributes));
    EXPECT_EQ(value, "Expert");
    EXPECT_FALSE(gain->GetProperty("Unit", value, attributes));
    CIntegerPtr typed(gain);
    EXPECT_TRUE(typed.IsValid());
    CFloatPtr wrong(gain);
    EXPECT_FALSE(wrong.IsValid());
    EXPECT_THROW(wrong->GetValue(), LogicalErrorException);
}

TEST(GenApiLinks, CopiesErrorsAliasesAndTerminals) {
    SnippetMap s(R"(
    <Integer Name="Width"><pValue>WidthReg</pValue><pValueCopy>WidthCopy</pValueCopy><pError>ErrorCode</pError>
      <pCastAlias>WidthFloat</pCastAlias></Integer>
    <Float Name="WidthFloat"><pValue>WidthReg</pValue></Float>
    <IntReg Name="WidthReg"><Address>0x0</Address><Length>4</Length><AccessMode>RW</AccessMode><pPort>Device</pPort>
    </IntReg>
    <IntReg Name="WidthCopy"><Address>0x4</Address><Length>4</Length><AccessMode>RW</AccessMode><pPort>Device</pPort>
    </IntReg>
    <Enumeration Name="ErrorCode"><EnumEntry Name="None"><Value>0</Value></EnumEntry>
      <EnumEntry Name="TooWide"><Value>3</Value></EnumEntry><pValue>ErrorReg</pValue></Enumeration>
    <IntReg Name="ErrorReg"><Address>0x8</Address><Length>4</Length><AccessMode>RO</AccessMode><pPort>Device</pPort>
      <Cachable>NoCache</Cachable></IntReg>)");
    auto& width = s.get<IInteger>("Width");
    width.SetValue(100);
    EXPECT_EQ(s.port.peek(0), 100);
    EXPECT_EQ(s.port.peek(4), 100);  // pValueCopy receives the same value
    EXPECT_EQ(s.map->GetNode("Width")->GetCastAlias(), s.map->GetNode("WidthFloat"));
    EXPECT_DOUBLE_EQ(s.get<IFloat>("WidthFloat").GetValue(), 100);
    s.port.poke(8, {3});
    try {
        width.SetValue(200);
        FAIL() << "pError ignored";
    } catch (const RuntimeException& e) {
        EXPECT_NE(std::string(e.GetDescription()).find("TooWide"), std::string::npos);
    }
    EXPECT_NO_THROW(width.SetValue(300, false));  // no verification, no error check
    node_vector terminals;
    s.map->GetNode("Width")->GetChildren(terminals, ctTerminalNodes);
    ASSERT_EQ(terminals.size(), 2u);
    EXPECT_TRUE(terminals[0]->GetName() == "WidthReg" || terminals[1]->GetName() == "WidthReg");
    EXPECT_FALSE(s.map->GetNode("EnumEntry_ErrorCode_None")->IsFeature());
}

TEST(GenApiLinks, ErrorIsCheckedAfterEveryValueRead) {
    SnippetMap s(R"(
    <Integer Name="Gain"><pValue>GainReg</pValue><pError>ErrorCode</pError></Integer>
    <IntReg Name="GainReg"><Address>0x0</Address><Length>4</Length><AccessMode>RW</AccessMode><pPort>Device</pPort>
      <Endianess>LittleEndian</Endianess></IntReg>
    <Enumeration Name="Mode"><EnumEntry Name="Low"><Value>1</Value></EnumEntry><EnumEntry Name="High">
      <Value>2</Value></EnumEntry><pValue>GainReg</pValue><pError>ErrorCode</pError></Enumeration>
    <StringReg Name="Label"><Address>0x10</Address><Length>8</Length><AccessMode>RO</AccessMode>
      <pPort>Device</pPort><pError>ErrorCode</pError></StringReg>
    <Register Name="Raw"><Address>0x10</Address><Length>2</Length><AccessMode>RO</AccessMode><pPort>Device</pPort>
      <pError>ErrorCode</pError></Register>
    <Integer Name="Plain"><pValue>GainReg</pValue></Integer>
    <Enumeration Name="ErrorCode"><EnumEntry Name="None"><Value>0</Value></EnumEntry>
      <EnumEntry Name="Overheated"><Description>Sensor too hot</Description><Value>5</Value></EnumEntry>
      <pValue>ErrorReg</pValue></Enumeration>
    <IntReg Name="ErrorReg"><Address>0x8</Address><Length>4</Length><AccessMode>RO</AccessMode><pPort>Device</pPort>
      <Endianess>LittleEndian</Endianess><Cachable>NoCache</Cachable></IntReg>)");
    s.port.pokeLittleEndian32(0, 2);
    s.port.poke(0x10, {'o', 'k'});
    EXPECT_EQ(s.get<IInteger>("Gain").GetValue(), 2);
    EXPECT_EQ(s.get<IEnumeration>("Mode").GetCurrentEntry()->GetSymbolic(), "High");
    EXPECT_EQ(s.get<IString>("Label").GetValue(), "ok");

    s.port.pokeLittleEndian32(8, 5);
    auto expectError = [](auto read, const char* what) {
        try {
            read();
            ADD_FAILURE() << what << ": read ignored the error";
        } catch (const RuntimeException& e) {
            std::string text = e.GetDescription();
            EXPECT_NE(text.find("Overheated"), std::string::npos) << what << ": " << text;
            EXPECT_NE(text.find("Sensor too hot"), std::string::npos) << what << ": " << text;
        }
    };
    expectError([&] { s.get<IInteger>("Gain").GetValue(); }, "integer");
    expectError([&] { s.get<IEnumeration>("Mode").GetIntValue(); }, "enumeration");
    expectError([&] { s.get<IString>("Label").GetValue(); }, "string register");
    expectError(
        [&] {
            uint8_t bytes[2];
            s.get<IRegister>("Raw").Get(bytes, 2);
        },
        "raw register");
    EXPECT_EQ(s.get<IInteger>("Plain").GetValue(), 2) << "a node without pError reads on";

    s.port.pokeLittleEndian32(8, 0);
    EXPECT_EQ(s.get<IInteger>("Gain").GetValue(), 2) << "the error register is not cached, so clearing it counts";
}

TEST(GenApiLinks, FloatTablesFollowTheirIndex) {
    SnippetMap s(R"(
    <Integer Name="Sel"><Value>2</Value></Integer>
    <Float Name="Rate"><pIndex>Sel</pIndex><ValueIndexed Index="1">0.5</ValueIndexed>
      <ValueIndexed Index="2">1.25</ValueIndexed><ValueDefault>9.5</ValueDefault><Min>0</Min><Max>10</Max></Float>)");
    EXPECT_DOUBLE_EQ(s.get<IFloat>("Rate").GetValue(), 1.25);
    s.get<IInteger>("Sel").SetValue(5);
    EXPECT_DOUBLE_EQ(s.get<IFloat>("Rate").GetValue(), 9.5);
}

TEST(GenApiChunkPorts, SwappedChunkPortReversesBytes) {
    SnippetMap s(R"(
    <Port Name="ChunkPort"><ChunkID>1234</ChunkID><SwapEndianess>Yes</SwapEndianess></Port>
    <IntReg Name="Counter"><Address>0x0</Address><Length>4</Length><AccessMode>RO</AccessMode><pPort>ChunkPort</pPort>
      <Endianess>LittleEndian</Endianess></IntReg>)");
    auto& port = s.get<IChunkPort>("ChunkPort");
    EXPECT_EQ(port.GetChunkID(), "1234");
    uint8_t data[4] = {0x01, 0x02, 0x03, 0x04};
    port.AttachChunk(data, 4);
    EXPECT_EQ(s.get<IInteger>("Counter").GetValue(), 0x01020304);  // little-endian after the swap
    uint8_t small[2] = {};
    port.AttachChunk(small, 2);
    EXPECT_THROW(s.get<IInteger>("Counter").GetValue(), AccessException);  // outside the chunk
    port.DetachChunk();
    EXPECT_EQ(s.map->GetNode("Counter")->GetAccessMode(), NA);
}

// A multiplexer (pIndex with pValueIndexed/pValueDefault) and the same node written with pValue; the register is
// one unsigned byte, Stepped limits it to 10..90 in steps of 5, and a write-only register sits behind MuxWriteOnly.
const char* kMultiplexers = R"(
    <Integer Name="Index"><Value>0</Value></Integer>
    <IntReg Name="SmallReg"><Address>0x100</Address><Length>1</Length><AccessMode>RW</AccessMode><pPort>Device</pPort>
      <Sign>Unsigned</Sign><Endianess>LittleEndian</Endianess></IntReg>
    <Integer Name="Stepped"><pValue>SmallReg</pValue><Min>10</Min><Max>90</Max><Inc>5</Inc></Integer>
    <IntReg Name="WriteOnlyReg"><Address>0x200</Address><Length>4</Length><AccessMode>WO</AccessMode>
      <pPort>Device</pPort><Sign>Unsigned</Sign><Endianess>LittleEndian</Endianess></IntReg>
    <Integer Name="MuxRegister"><pIndex>Index</pIndex><pValueIndexed Index="0">SmallReg</pValueIndexed>
      <pValueDefault>SmallReg</pValueDefault></Integer>
    <Integer Name="MuxInteger"><pIndex>Index</pIndex><pValueIndexed Index="0">Stepped</pValueIndexed>
      <pValueDefault>Stepped</pValueDefault></Integer>
    <Integer Name="MuxWriteOnly"><pIndex>Index</pIndex><pValueIndexed Index="0">WriteOnlyReg</pValueIndexed>
      <pValueDefault>WriteOnlyReg</pValueDefault></Integer>
    <Integer Name="ViaPValue"><pValue>Stepped</pValue></Integer>
    <Float Name="MuxFloat"><pIndex>Index</pIndex><pValueIndexed Index="0">Stepped</pValueIndexed>
      <pValueDefault>Stepped</pValueDefault></Float>)";

TEST(GenApiMultiplexers, TakeLimitsIncrementAndAccessFromTheSelectedNode) {
    SnippetMap s(kMultiplexers);
    struct Expected {
        const char* name;
        int64_t min, max, inc;
        EAccessMode mode;
    };
    for (const Expected& expected :
         {Expected{"MuxRegister", 0, 255, 1, RW}, Expected{"MuxInteger", 10, 90, 5, RW},
          Expected{"MuxWriteOnly", 0, 4294967295, 1, WO}, Expected{"ViaPValue", 10, 90, 5, RW}}) {
        SCOPED_TRACE(expected.name);
        auto& node = s.get<IInteger>(expected.name);
        EXPECT_EQ(node.GetMin(), expected.min);
        EXPECT_EQ(node.GetMax(), expected.max);
        EXPECT_EQ(node.GetInc(), expected.inc);
        EXPECT_EQ(node.GetIncMode(), fixedIncrement);
        EXPECT_EQ(s.map->GetNode(expected.name)->GetAccessMode(), expected.mode);
    }
    auto& muxFloat = s.get<IFloat>("MuxFloat");
    EXPECT_DOUBLE_EQ(muxFloat.GetMin(), 10);
    EXPECT_DOUBLE_EQ(muxFloat.GetMax(), 90);
    EXPECT_TRUE(muxFloat.HasInc());
    EXPECT_DOUBLE_EQ(muxFloat.GetInc(), 5);
    EXPECT_EQ(muxFloat.GetIncMode(), fixedIncrement);

    s.port.resetCounters();
    EXPECT_THROW(s.get<IInteger>("MuxWriteOnly").GetValue(), AccessException);
    EXPECT_EQ(s.port.reads_, 0) << "a write-only selection is refused before the device is asked";
    s.get<IInteger>("MuxWriteOnly").SetValue(7);
    EXPECT_EQ(s.port.peek(0x200), 7);
    auto& muxInteger = s.get<IInteger>("MuxInteger");
    muxInteger.SetValue(35);
    EXPECT_EQ(s.port.peek(0x100), 35);
    EXPECT_THROW(muxInteger.SetValue(36), OutOfRangeException);  // not 10 + k*5
    EXPECT_THROW(muxInteger.SetValue(95), OutOfRangeException);
    muxFloat.SetValue(40);
    EXPECT_EQ(s.port.peek(0x100), 40);
    EXPECT_THROW(muxFloat.SetValue(5), OutOfRangeException);
}

TEST(GenApiMultiplexers, FollowTheIndexBetweenReads) {
    SnippetMap s(R"(
    <IntReg Name="IndexReg"><Address>0x0</Address><Length>1</Length><AccessMode>RW</AccessMode><pPort>Device</pPort>
    </IntReg>
    <IntReg Name="SmallReg"><Address>0x100</Address><Length>1</Length><AccessMode>RW</AccessMode><pPort>Device</pPort>
    </IntReg>
    <IntReg Name="WriteOnlyReg"><Address>0x200</Address><Length>2</Length><AccessMode>WO</AccessMode>
      <pPort>Device</pPort></IntReg>
    <Integer Name="Stepped"><pValue>SmallReg</pValue><Min>10</Min><Max>90</Max><Inc>5</Inc></Integer>
    <Integer Name="Listed"><pValue>SmallReg</pValue><ValidValueSet>1;2;4;8;300</ValidValueSet></Integer>
    <Integer Name="Mux"><pIndex>IndexReg</pIndex><pValueIndexed Index="0">Stepped</pValueIndexed>
      <pValueIndexed Index="1">WriteOnlyReg</pValueIndexed><pValueIndexed Index="2">Listed</pValueIndexed>
      <ValueIndexed Index="3">-7</ValueIndexed><ValueDefault>12</ValueDefault></Integer>)");
    auto& mux = s.get<IInteger>("Mux");
    auto& index = s.get<IInteger>("IndexReg");
    INode* muxNode = s.map->GetNode("Mux");
    s.port.poke(0x100, {20});
    EXPECT_EQ(mux.GetValue(), 20);
    EXPECT_EQ(mux.GetMin(), 10);
    EXPECT_EQ(mux.GetInc(), 5);
    EXPECT_EQ(muxNode->GetAccessMode(), RW);

    int changes = 0;
    Register(muxNode, [&](INode*) { ++changes; });
    index.SetValue(1);
    EXPECT_GE(changes, 1) << "selecting another index changes the multiplexer";
    EXPECT_EQ(muxNode->GetAccessMode(), WO) << "the access mode cached for the previous selection is dropped";
    EXPECT_EQ(mux.GetMin(), 0);
    EXPECT_EQ(mux.GetMax(), 65535);
    EXPECT_EQ(mux.GetInc(), 1);
    EXPECT_THROW(mux.GetValue(), AccessException);
    s.port.mode_ = WO;  // an index that cannot be read selects nothing
    s.map->InvalidateNodes();
    EXPECT_EQ(muxNode->GetAccessMode(), NA);
    EXPECT_THROW(mux.GetMin(), AccessException);
    s.port.mode_ = RW;
    s.map->InvalidateNodes();

    index.SetValue(2);
    EXPECT_EQ(muxNode->GetAccessMode(), RW);
    EXPECT_EQ(mux.GetIncMode(), listIncrement);
    EXPECT_EQ(mux.GetListOfValidValues(false), (int64_autovector_t{1, 2, 4, 8, 300}));
    EXPECT_EQ(mux.GetListOfValidValues(true), (int64_autovector_t{1, 2, 4, 8}));  // the register ends at 255

    index.SetValue(3);  // a constant has no node: the multiplexer's own limits, which it does not narrow
    EXPECT_EQ(mux.GetValue(), -7);
    EXPECT_EQ(mux.GetMin(), INT64_MIN);
    EXPECT_EQ(mux.GetMax(), INT64_MAX);
    EXPECT_EQ(mux.GetInc(), 1);
    EXPECT_EQ(mux.GetIncMode(), fixedIncrement);
    EXPECT_EQ(muxNode->GetAccessMode(), RW);

    s.port.poke(0x0, {9});  // the device moves the index; after invalidation the default is selected
    s.map->InvalidateNodes();
    EXPECT_EQ(mux.GetValue(), 12);
    s.port.poke(0x0, {0});
    s.get<IInteger>("IndexReg").GetValue(false, true);  // a fresh read of the index reaches the multiplexer too
    s.map->GetNode("IndexReg")->InvalidateNode();
    EXPECT_EQ(mux.GetValue(), 20);
    EXPECT_EQ(mux.GetMax(), 90);
}

TEST(GenApiMultiplexers, FloatOverConverterOverMultiplexer) {
    SnippetMap s(R"(
    <Integer Name="Index"><Value>0</Value></Integer>
    <IntReg Name="SmallReg"><Address>0x100</Address><Length>1</Length><AccessMode>RW</AccessMode><pPort>Device</pPort>
    </IntReg>
    <Integer Name="Stepped"><pValue>SmallReg</pValue><Min>10</Min><Max>90</Max><Inc>5</Inc></Integer>
    <Integer Name="Coarse"><pValue>SmallReg</pValue><Min>0</Min><Max>100</Max><Inc>25</Inc></Integer>
    <Integer Name="Mux"><pIndex>Index</pIndex><pValueIndexed Index="0">Stepped</pValueIndexed>
      <pValueIndexed Index="1">Coarse</pValueIndexed><ValueIndexed Index="2">3</ValueIndexed>
      <pValueDefault>Stepped</pValueDefault></Integer>
    <Converter Name="Doubled"><FormulaTo>FROM/2</FormulaTo><FormulaFrom>TO*2</FormulaFrom><pValue>Mux</pValue>
      <Slope>Increasing</Slope><IsLinear>Yes</IsLinear></Converter>
    <Float Name="Gain"><pValue>Doubled</pValue></Float>
    <Converter Name="Squared"><FormulaTo>SQRT(FROM)</FormulaTo><FormulaFrom>TO*TO</FormulaFrom><pValue>Mux</pValue>
    </Converter>
    <Float Name="Power"><pValue>Squared</pValue></Float>)");
    auto& gain = s.get<IFloat>("Gain");
    EXPECT_DOUBLE_EQ(gain.GetMin(), 20);
    EXPECT_DOUBLE_EQ(gain.GetMax(), 180);
    ASSERT_TRUE(gain.HasInc());
    EXPECT_DOUBLE_EQ(gain.GetInc(), 10);
    EXPECT_EQ(s.map->GetNode("Gain")->GetAccessMode(), RW);
    gain.SetValue(70);
    EXPECT_EQ(s.port.peek(0x100), 35);
    EXPECT_DOUBLE_EQ(gain.GetValue(), 70);
    EXPECT_THROW(gain.SetValue(190), OutOfRangeException);

    s.get<IInteger>("Index").SetValue(1);
    EXPECT_DOUBLE_EQ(gain.GetMin(), 0);
    EXPECT_DOUBLE_EQ(gain.GetMax(), 200);
    EXPECT_DOUBLE_EQ(gain.GetInc(), 50);
    s.get<IInteger>("Index").SetValue(2);  // a constant: the multiplexer is unbounded, and so is the converter
    EXPECT_DOUBLE_EQ(gain.GetValue(), 6);
    EXPECT_EQ(gain.GetMin(), -std::numeric_limits<double>::max());
    EXPECT_EQ(gain.GetMax(), std::numeric_limits<double>::max());
    EXPECT_DOUBLE_EQ(gain.GetInc(), 2);
    s.get<IInteger>("Index").SetValue(1);

    // A converter not declared linear has no constant step, so neither has the Float above it.
    auto& power = s.get<IFloat>("Power");
    EXPECT_DOUBLE_EQ(power.GetMin(), 0);
    EXPECT_DOUBLE_EQ(power.GetMax(), 10000);
    EXPECT_FALSE(power.HasInc());
    EXPECT_EQ(power.GetIncMode(), noIncrement);
    EXPECT_THROW(power.GetInc(), AccessException);
    EXPECT_FALSE(s.get<IFloat>("Squared").HasInc());
}

TEST(GenApiMultiplexers, EnumerationTakesAccessAndCacheFromTheSelectedRegister) {
    SnippetMap s(R"(
    <Integer Name="Index"><Value>0</Value></Integer>
    <IntReg Name="ModeReg"><Address>0x10</Address><Length>4</Length><AccessMode>RW</AccessMode><pPort>Device</pPort>
    </IntReg>
    <IntReg Name="ModeWriteOnly"><Address>0x20</Address><Length>4</Length><AccessMode>WO</AccessMode>
      <pPort>Device</pPort></IntReg>
    <Enumeration Name="Mode"><EnumEntry Name="Off"><Value>0</Value></EnumEntry><EnumEntry Name="On"><Value>1</Value>
      </EnumEntry><pIndex>Index</pIndex><pValueIndexed Index="0">ModeReg</pValueIndexed>
      <pValueIndexed Index="1">ModeWriteOnly</pValueIndexed></Enumeration>)");
    auto& mode = s.get<IEnumeration>("Mode");
    INode* modeNode = s.map->GetNode("Mode");
    EXPECT_EQ(modeNode->GetAccessMode(), RW);
    EXPECT_FALSE(mode.IsValueCacheValid());
    EXPECT_EQ(mode.ToString(), "Off");
    EXPECT_TRUE(mode.IsValueCacheValid()) << "the selected register now holds the value";

    s.get<IInteger>("Index").SetValue(1);
    EXPECT_EQ(modeNode->GetAccessMode(), WO);
    EXPECT_FALSE(mode.IsValueCacheValid());
    EXPECT_THROW(mode.ToString(), AccessException);
    mode.FromString("On");
    EXPECT_EQ(s.port.peek(0x20), 1);
    EXPECT_EQ(s.port.peek(0x10), 0);

    s.get<IInteger>("Index").SetValue(0);
    EXPECT_EQ(modeNode->GetAccessMode(), RW);
    EXPECT_TRUE(mode.IsValueCacheValid()) << "the first register kept its cache";
}

TEST(GenApiMultiplexers, CacheValidityAsksNoDeviceRead) {
    SnippetMap s(R"(
    <IntReg Name="IndexReg"><Address>0x0</Address><Length>1</Length><AccessMode>RW</AccessMode><pPort>Device</pPort>
    </IntReg>
    <IntReg Name="A"><Address>0x10</Address><Length>4</Length><AccessMode>RW</AccessMode><pPort>Device</pPort></IntReg>
    <IntReg Name="B"><Address>0x14</Address><Length>4</Length><AccessMode>RW</AccessMode><pPort>Device</pPort></IntReg>
    <Integer Name="Mux"><pIndex>IndexReg</pIndex><pValueIndexed Index="0">A</pValueIndexed>
      <pValueIndexed Index="1">B</pValueIndexed></Integer>)");
    auto& mux = s.get<IInteger>("Mux");
    EXPECT_FALSE(mux.IsValueCacheValid());
    EXPECT_EQ(s.port.reads_, 0) << "an index without a valid cache is not read to answer";
    mux.GetValue();
    EXPECT_EQ(s.port.reads_, 2);  // index and A
    EXPECT_TRUE(mux.IsValueCacheValid());
    s.get<IInteger>("IndexReg").SetValue(1);  // the written index is cached, B is not yet
    EXPECT_FALSE(mux.IsValueCacheValid());
    mux.GetValue();
    EXPECT_EQ(s.port.reads_, 3);
    EXPECT_TRUE(mux.IsValueCacheValid());
    s.map->GetNode("IndexReg")->InvalidateNode();
    EXPECT_FALSE(mux.IsValueCacheValid());
    EXPECT_EQ(s.port.reads_, 3);
}

TEST(GenApiFloatNodes, IncrementComesFromTheValueNodeUnlessTheFloatHasItsOwn) {
    SnippetMap s(R"(
    <IntReg Name="IntRegister"><Address>0x0</Address><Length>2</Length><AccessMode>RW</AccessMode>
      <pPort>Device</pPort></IntReg>
    <FloatReg Name="FloatRegister"><Address>0x8</Address><Length>8</Length><AccessMode>RW</AccessMode>
      <pPort>Device</pPort></FloatReg>
    <Integer Name="Listed"><pValue>IntRegister</pValue><ValidValueSet>2;4;6</ValidValueSet></Integer>
    <Float Name="OverInteger"><pValue>IntRegister</pValue></Float>
    <Float Name="OverFloat"><pValue>FloatRegister</pValue></Float>
    <Float Name="OwnStep"><pValue>IntRegister</pValue><Inc>0.5</Inc></Float>
    <Float Name="OverList"><pValue>Listed</pValue></Float>
    <Float Name="Constant"><Value>1.5</Value></Float>
    <Converter Name="Quarter"><FormulaTo>FROM*4</FormulaTo><FormulaFrom>TO/4</FormulaFrom><pValue>IntRegister</pValue>
      <IsLinear>Yes</IsLinear></Converter>
    <Float Name="OverQuarter"><pValue>Quarter</pValue></Float>
    <Integer Name="IntegerOverList"><pValue>Listed</pValue></Integer>
    <Integer Name="IntegerOwnStep"><pValue>Listed</pValue><Inc>3</Inc></Integer>)");
    struct Expected {
        const char* name;
        bool hasInc;
        double inc;
        EIncMode mode;
    };
    for (const Expected& expected :
         {Expected{"OverInteger", true, 1, fixedIncrement}, Expected{"OverFloat", false, 0, noIncrement},
          Expected{"OwnStep", true, 0.5, fixedIncrement}, Expected{"OverList", true, 1, listIncrement},
          Expected{"Constant", false, 0, noIncrement}, Expected{"Quarter", true, 0.25, fixedIncrement},
          Expected{"OverQuarter", true, 0.25, fixedIncrement}}) {
        SCOPED_TRACE(expected.name);
        auto& node = s.get<IFloat>(expected.name);
        EXPECT_EQ(node.HasInc(), expected.hasInc);
        EXPECT_EQ(node.GetIncMode(), expected.mode);
        if (expected.hasInc) {
            EXPECT_DOUBLE_EQ(node.GetInc(), expected.inc);
        } else {
            EXPECT_THROW(node.GetInc(), AccessException);
        }
    }
    EXPECT_EQ(s.get<IFloat>("OverList").GetListOfValidValues(), (double_autovector_t{2, 4, 6}));
    EXPECT_EQ(s.get<IInteger>("IntegerOverList").GetIncMode(), listIncrement);
    EXPECT_EQ(s.get<IInteger>("IntegerOverList").GetListOfValidValues(), (int64_autovector_t{2, 4, 6}));
    EXPECT_EQ(s.get<IInteger>("IntegerOwnStep").GetIncMode(), fixedIncrement) << "its own Inc replaces the list";
    EXPECT_EQ(s.get<IInteger>("IntegerOwnStep").GetInc(), 3);
    EXPECT_TRUE(s.get<IInteger>("IntegerOwnStep").GetListOfValidValues().empty());
    EXPECT_DOUBLE_EQ(s.get<IFloat>("OverQuarter").GetMax(), 65535 / 4.0);
}

TEST(GenApiIntegerNodes, IntegerOverFloatSeesTheIntegersInsideTheFloatRange) {
    SnippetMap s(R"(
    <Float Name="Ratio"><Value>2.5</Value><Min>-10.5</Min><Max>10.5</Max><Inc>2</Inc></Float>
    <Integer Name="Rounded"><pValue>Ratio</pValue></Integer>
    <FloatReg Name="Wide"><Address>0x0</Address><Length>4</Length><AccessMode>RW</AccessMode><pPort>Device</pPort>
    </FloatReg>
    <Integer Name="WideInteger"><pValue>Wide</pValue></Integer>)");
    auto& rounded = s.get<IInteger>("Rounded");
    EXPECT_EQ(rounded.GetValue(), 3);  // half away from zero
    s.get<IFloat>("Ratio").SetValue(-2.5, false);
    EXPECT_EQ(rounded.GetValue(), -3);
    EXPECT_EQ(rounded.GetMin(), -10);
    EXPECT_EQ(rounded.GetMax(), 10);
    EXPECT_EQ(rounded.GetInc(), 2);
    auto& wide = s.get<IInteger>("WideInteger");
    EXPECT_EQ(wide.GetMin(), INT64_MIN) << "+-3.4e38 saturates";
    EXPECT_EQ(wide.GetMax(), INT64_MAX);
}

TEST(GenApiOpenChoices, UnreadableLimitRaisesAndUnreadableConditionCountsAsFalse) {
    SnippetMap s(R"(
    <IntReg Name="WriteOnly"><Address>0x0</Address><Length>4</Length><AccessMode>WO</AccessMode><pPort>Device</pPort>
    </IntReg>
    <Integer Name="Limited"><Value>5</Value><pMax>WriteOnly</pMax></Integer>
    <Integer Name="Guarded"><Value>5</Value><pIsAvailable>WriteOnly</pIsAvailable></Integer>
    <Integer Name="Hidden"><Value>5</Value><pIsImplemented>WriteOnly</pIsImplemented></Integer>
    <Integer Name="Unlocked"><Value>5</Value><pIsLocked>WriteOnly</pIsLocked></Integer>
    <Integer Name="Checked"><Value>5</Value><pError>WriteOnly</pError></Integer>)");
    try {
        s.get<IInteger>("Limited").GetMax();
        ADD_FAILURE() << "an unreadable maximum was replaced by a guess";
    } catch (const AccessException& e) {
        EXPECT_NE(std::string(e.GetDescription()).find("'WriteOnly'"), std::string::npos) << e.GetDescription();
    }
    EXPECT_THROW(s.get<IInteger>("Limited").SetValue(6), AccessException);
    EXPECT_EQ(s.get<IInteger>("Limited").GetValue(), 5) << "the value itself does not need the limit";
    EXPECT_EQ(s.map->GetNode("Guarded")->GetAccessMode(), NA);
    EXPECT_EQ(s.map->GetNode("Hidden")->GetAccessMode(), NI);
    EXPECT_EQ(s.map->GetNode("Unlocked")->GetAccessMode(), RW) << "a lock that cannot be read locks nothing";
    EXPECT_EQ(s.get<IInteger>("Checked").GetValue(), 5) << "an error node that cannot be read is skipped";
}

TEST(GenApiOpenChoices, OneEvaluationReadsEachNodeOnce) {
    SnippetMap s(R"(
    <IntReg Name="Counter"><Address>0x0</Address><Length>4</Length><AccessMode>RO</AccessMode><pPort>Device</pPort>
      <Cachable>NoCache</Cachable></IntReg>
    <IntSwissKnife Name="Twice"><pVariable Name="A">Counter</pVariable><pVariable Name="B">Counter</pVariable>
      <Formula>A - B</Formula></IntSwissKnife>)");
    class CountingPort : public MemoryPort {
        void Read(void* buffer, int64_t address, int64_t length) override {
            pokeLittleEndian32(0, static_cast<uint32_t>(++reads_));  // every read sees a new value
            MemoryPort::Read(buffer, address, length);
            --reads_;
        }
    } counting;
    ASSERT_TRUE(s.map->Connect(&counting, "Device"));
    EXPECT_EQ(s.get<IInteger>("Twice").GetValue(), 0) << "both variables see the same state of the register";
    EXPECT_EQ(counting.reads_, 1);
    EXPECT_NE(s.get<IInteger>("Counter").GetValue(), s.get<IInteger>("Counter").GetValue())
        << "separate calls are separate evaluations";
}

}  // namespace
}  // namespace corvid2::genapi::test
