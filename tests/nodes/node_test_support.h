// SPDX-License-Identifier: BSD-3-Clause
// What the public node tests share: a module front to attach node maps to, a description with one
// feature of every type over a memory port, and the simulator's system module as a node map.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "corvid2/node.h"
#include "features/features_test_support.h"
#include "features/igenapi.h"
#include "nodes/node_data.h"
#include "nodes/node_views.h"
#include "nodewrappers/nodewrappers_test_support.h"

namespace corvid2::test {

// The feature side of a module class, as System and Interface have it.
class TestFront : public CORVID2::INode {
public:
    explicit TestFront(bool nodeMapRequired) : INode(nodeMapRequired) {}
    ~TestFront() = default;
};

// One feature of every type. Addresses: Width 0x00, Gain 0x08 (float), Reverse 0x10, Trigger 0x14,
// Mode 0x18, Lut 0x20 (8 bytes), Label 0x40 (16 bytes), Fixed 0x60 (read-only), LutIndex 0x64.
inline const char* kTypesDescription = R"(<?xml version="1.0" encoding="utf-8"?>
<RegisterDescription ModelName="NodeTypes" VendorName="Corvid2" StandardNameSpace="None"
  SchemaMajorVersion="1" SchemaMinorVersion="1" SchemaSubMinorVersion="0" MajorVersion="1" MinorVersion="0"
  SubMinorVersion="0" ProductGuid="00000000-0000-0000-0000-000000000001" VersionGuid="00000000-0000-0000-0000-000000000002"
  xmlns="http://www.genicam.org/GenApi/Version_1_1">
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
<Port Name="Device"/>
</RegisterDescription>
)";

// A front attached to the node map of kTypesDescription over a memory port.
class TypesModule : public ::testing::Test {
protected:
    void SetUp() override {
        port_.setU32(0x00, 640);
        port_.setU32(0x60, 7);
        const std::string text = kTypesDescription;
        genapi_.setXML(&text);
        genapi_.connectPort(&port_, "Device");
        attachNodeSource(front_, &genapi_);
    }
    void TearDown() override { attachNodeSource(front_, nullptr); }

    CORVID2::Node& node(const char* name) { return *front_.GetNode(name); }

    MemoryPort port_{0x200};
    IGenAPI genapi_;
    TestFront front_{true};
};

// "<exception type>: <description>" of what `call` throws, or "no exception".
inline std::string thrown(const std::function<void()>& call) { return exceptionText(call); }

}  // namespace corvid2::test
