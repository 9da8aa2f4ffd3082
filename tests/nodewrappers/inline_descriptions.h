// SPDX-License-Identifier: BSD-3-Clause
// A small description with the node types the simulator's module descriptions lack, plus event and
// chunk ports, over a MemoryPort: an IGenAPI connected to it as a module's would be.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <string>

#include "features/igenapi.h"
#include "support/genapi_maps.h"

namespace corvid2::test {

// Register addresses of the description below.
constexpr std::size_t kOffsetAddress = 0x00;
constexpr std::size_t kGainAddress = 0x10;
constexpr std::size_t kFlagAddress = 0x20;
constexpr std::size_t kModeAddress = 0x30;
constexpr std::size_t kGoAddress = 0x34;
constexpr std::size_t kRawAddress = 0x40;
constexpr std::size_t kNameAddress = 0x50;

inline const std::string& allTypesDescription() {
    static const std::string text = description(R"(
<Category Name="Root"><pFeature>Numbers</pFeature><pFeature>Flag</pFeature><pFeature>Raw</pFeature>
  <pFeature>Name</pFeature><pFeature>Mode</pFeature><pFeature>Go</pFeature><pFeature>Events</pFeature></Category>
<Category Name="Numbers"><pFeature>Gain</pFeature><pFeature>Offset</pFeature><pFeature>Fixed</pFeature></Category>
<Category Name="Events"><pFeature>EventValue</pFeature><pFeature>ChunkValue</pFeature></Category>
<Integer Name="Offset"><ToolTip>Offset of the signal.</ToolTip><Visibility>Guru</Visibility><Extension>vendor note</Extension>
  <pAlias>Gain</pAlias><pValue>OffsetReg</pValue><Min>0</Min><Max>1000</Max><Inc>2</Inc><Representation>HexNumber</Representation></Integer>
<IntReg Name="OffsetReg"><Address>0x00</Address><Length>4</Length><AccessMode>RW</AccessMode><pPort>Device</pPort>
  <Sign>Unsigned</Sign><Endianess>LittleEndian</Endianess></IntReg>
<Integer Name="Fixed"><ImposedAccessMode>RO</ImposedAccessMode><Value>5</Value></Integer>
<Float Name="Gain"><Visibility>Invisible</Visibility><pValue>GainReg</pValue><Min>0</Min><Max>48</Max><Inc>0.5</Inc><Unit>dB</Unit>
  <Representation>Logarithmic</Representation><DisplayPrecision>3</DisplayPrecision></Float>
<FloatReg Name="GainReg"><Address>0x10</Address><Length>8</Length><AccessMode>RW</AccessMode><pPort>Device</pPort>
  <Endianess>LittleEndian</Endianess></FloatReg>
<Boolean Name="Flag"><pValue>FlagReg</pValue><OnValue>1</OnValue><OffValue>0</OffValue></Boolean>
<IntReg Name="FlagReg"><Address>0x20</Address><Length>4</Length><AccessMode>RW</AccessMode><pPort>Device</pPort>
  <Sign>Unsigned</Sign><Endianess>LittleEndian</Endianess></IntReg>
<Enumeration Name="Mode"><EnumEntry Name="Off"><Value>0</Value></EnumEntry><EnumEntry Name="On"><Value>1</Value></EnumEntry>
  <EnumEntry Name="Auto"><Value>2</Value></EnumEntry><pValue>ModeReg</pValue></Enumeration>
<IntReg Name="ModeReg"><Address>0x30</Address><Length>4</Length><AccessMode>RW</AccessMode><pPort>Device</pPort>
  <Sign>Unsigned</Sign><Endianess>LittleEndian</Endianess></IntReg>
<Command Name="Go"><pValue>GoReg</pValue><CommandValue>1</CommandValue></Command>
<IntReg Name="GoReg"><Address>0x34</Address><Length>4</Length><AccessMode>RW</AccessMode><pPort>Device</pPort>
  <Cachable>NoCache</Cachable><Sign>Unsigned</Sign><Endianess>LittleEndian</Endianess></IntReg>
<Register Name="Raw"><Address>0x40</Address><Length>8</Length><AccessMode>RW</AccessMode><pPort>Device</pPort></Register>
<StringReg Name="Name"><Address>0x50</Address><Length>16</Length><AccessMode>RW</AccessMode><pPort>Device</pPort></StringReg>
<Port Name="EventPort"><EventID>9001</EventID></Port>
<Integer Name="EventValue"><EventID>9001</EventID><pValue>EventValueReg</pValue></Integer>
<IntReg Name="EventValueReg"><Address>0x0</Address><Length>4</Length><AccessMode>RO</AccessMode><pPort>EventPort</pPort>
  <Cachable>NoCache</Cachable><Sign>Unsigned</Sign><Endianess>LittleEndian</Endianess></IntReg>
<Port Name="ChunkPort"><ChunkID>1001</ChunkID></Port>
<Integer Name="ChunkValue"><pValue>ChunkValueReg</pValue></Integer>
<IntReg Name="ChunkValueReg"><Address>0x0</Address><Length>4</Length><AccessMode>RO</AccessMode><pPort>ChunkPort</pPort>
  <Cachable>NoCache</Cachable><Sign>Unsigned</Sign><Endianess>LittleEndian</Endianess></IntReg>
)");
    return text;
}

// The description above, built and connected.
class AllTypes : public ::testing::Test {
protected:
    void SetUp() override { map_.setXMLAndConnect(allTypesDescription(), &port_, "Device"); }
    CGenAPINode& node(const char* name) { return *map_.getNode(name); }

    MemoryPort port_;
    IGenAPI map_;
};

}  // namespace corvid2::test
