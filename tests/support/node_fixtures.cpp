// SPDX-License-Identifier: BSD-3-Clause
// Module objects over simulator handles, the remote device's node map and the every-type module front.
#include "support/node_fixtures.h"

#include "features/xml_loader.h"
#include "support/errors.h"

namespace corvid2::test {

SimModule::SimModule(const char* kind, CGenTLProducer* producer, void* handle)
    : TestModule(kind, producer, handle, "Velmor") {
    EXPECT_EQ(initPort(handle), GC_ERR_SUCCESS);
}

void SimSystemModule::open(SimModules::Depth depth) {
    ASSERT_NO_FATAL_FAILURE(sim_.open(depth));
    system_ = std::make_unique<SimModule>("TLPort", sim_.table_, sim_.system_);
    ASSERT_EQ(system_->initializeNodeInterface(), Result::Success) << lastErrorText();
    raw_ = sim_.rawPort(sim_.system_);
}

void RemoteDeviceMap::open(SimModules& sim, const std::string* xml) {
    port_ = sim.port(sim.remote_, "RemoteDevice");
    const std::string text = xml != nullptr ? *xml : portDescription(*port_);
    ASSERT_FALSE(text.empty());
    connectToModulePort(map_, text, *port_);
    ASSERT_TRUE(map_.nodeMapAvailable());
}

std::int64_t RemoteDeviceMap::cachedInt(const char* name) {
    return genapi::CIntegerPtr(map_.engineMap()->GetNode(name))->GetValue();
}

const std::string& typesDescription() {
    static const std::string text = description(R"(
<Category Name="Root"><pFeature>Values</pFeature><pFeature>Raw</pFeature></Category>
<Category Name="Values"><ToolTip>Numbers and texts.</ToolTip><pFeature>Width</pFeature><pFeature>Gain</pFeature>
  <pFeature>Reverse</pFeature><pFeature>Trigger</pFeature><pFeature>Mode</pFeature><pFeature>Label</pFeature>
  <pFeature>Fixed</pFeature></Category>
<Category Name="Raw"><pFeature>LutIndex</pFeature><pFeature>Lut</pFeature></Category>
<Integer Name="Width"><ToolTip>Width of the image.</ToolTip><Description>Width of the image in pixels.</Description>
  <DisplayName>Image Width</DisplayName><Visibility>Beginner</Visibility><pValue>WidthReg</pValue>
  <Min>16</Min><Max>4096</Max><Inc>16</Inc><Unit>px</Unit><Representation>Linear</Representation></Integer>
<IntReg Name="WidthReg"><Address>0x0</Address><Length>4</Length><AccessMode>RW</AccessMode><pPort>Device</pPort>
  <Sign>Unsigned</Sign><Endianess>LittleEndian</Endianess></IntReg>
<Float Name="Gain"><Visibility>Expert</Visibility><pValue>GainReg</pValue><Min>0</Min><Max>24</Max><Unit>dB</Unit>
  <Representation>Linear</Representation><DisplayPrecision>3</DisplayPrecision></Float>
<FloatReg Name="GainReg"><Address>0x8</Address><Length>8</Length><AccessMode>RW</AccessMode><pPort>Device</pPort>
  <Endianess>LittleEndian</Endianess></FloatReg>
<Boolean Name="Reverse"><Visibility>Guru</Visibility><pValue>ReverseReg</pValue><OnValue>1</OnValue><OffValue>0</OffValue></Boolean>
<IntReg Name="ReverseReg"><Address>0x10</Address><Length>4</Length><AccessMode>RW</AccessMode><pPort>Device</pPort>
  <Sign>Unsigned</Sign><Endianess>LittleEndian</Endianess></IntReg>
<Command Name="Trigger"><pValue>TriggerReg</pValue><CommandValue>1</CommandValue></Command>
<IntReg Name="TriggerReg"><Address>0x14</Address><Length>4</Length><AccessMode>RW</AccessMode><pPort>Device</pPort>
  <Cachable>NoCache</Cachable><Sign>Unsigned</Sign><Endianess>LittleEndian</Endianess></IntReg>
<Enumeration Name="Mode"><EnumEntry Name="Off"><Value>0</Value></EnumEntry><EnumEntry Name="On"><Value>1</Value></EnumEntry>
  <EnumEntry Name="Auto"><Value>2</Value></EnumEntry><pValue>ModeReg</pValue></Enumeration>
<IntReg Name="ModeReg"><Address>0x18</Address><Length>4</Length><AccessMode>RW</AccessMode><pPort>Device</pPort>
  <Sign>Unsigned</Sign><Endianess>LittleEndian</Endianess></IntReg>
<StringReg Name="Label"><Address>0x40</Address><Length>16</Length><AccessMode>RW</AccessMode><pPort>Device</pPort></StringReg>
<Integer Name="Fixed"><pValue>FixedReg</pValue></Integer>
<IntReg Name="FixedReg"><Address>0x60</Address><Length>4</Length><AccessMode>RO</AccessMode><pPort>Device</pPort>
  <Sign>Unsigned</Sign><Endianess>LittleEndian</Endianess></IntReg>
<Integer Name="LutIndex"><pValue>LutIndexReg</pValue><Min>0</Min><Max>3</Max><pSelected>Lut</pSelected></Integer>
<IntReg Name="LutIndexReg"><Address>0x64</Address><Length>4</Length><AccessMode>RW</AccessMode><pPort>Device</pPort>
  <Sign>Unsigned</Sign><Endianess>LittleEndian</Endianess></IntReg>
<Register Name="Lut"><Address>0x20</Address><Length>8</Length><AccessMode>RW</AccessMode><pPort>Device</pPort></Register>
)");
    return text;
}

void TypesModule::SetUp() {
    // Width starts inside its limits and Fixed, read-only, has a value to read.
    port_.setU32(0x00, 640);
    port_.setU32(0x60, 7);
    genapi_.setXMLAndConnect(typesDescription(), &port_, "Device");
    attachNodeSource(front_, &genapi_);
}

void TypesModule::TearDown() { attachNodeSource(front_, nullptr); }

}  // namespace corvid2::test
