// SPDX-License-Identifier: BSD-3-Clause
// Opening and closing a System, its transport layer's node map, and its InterfaceList.
#include <corvid2_genicam.h>
#include <gtest/gtest.h>

#include <corvid2/genapi/interfaces.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "modules/producerobj.h"
#include "support/errors.h"
#include "support/genapi_maps.h"
#include "support/sim_system.h"
#include "support/trace_capture.h"

using namespace corvid2::test;
using CORVID2::Interface;
using CORVID2::InterfaceList;
using corvid2::Result;
using CORVID2::System;
namespace X = CORVID2::Exceptions;

namespace {

constexpr char kDisplayName[] = "Velmor simulated cameras (corvid2_sim)";

// A stand-alone System on its own copy of the simulator, with per-copy settings.
class SystemOpenTest : public ::testing::Test {
protected:
    void makeSystem(const std::string& settings = "") { system_ = simSystem(folder_, settings); }
    corvid2::CProducerObj& producer() { return producerOf(*system_); }
    std::vector<Interface*> interfaces(InterfaceList& list) { return {list.begin(), list.end()}; }

    ProducerFolder folder_;
    std::unique_ptr<System> system_;
};

}  // namespace

TEST_F(SystemOpenTest, OpenAndCloseTwiceOnlyWarnTheSecondTime) {
    makeSystem();
    TraceCapture trace;
    EXPECT_FALSE(system_->IsOpen());
    system_->Open();
    system_->Open();
    EXPECT_TRUE(system_->IsOpen());
    EXPECT_EQ(trace.count(std::string(kDisplayName) + "; open; Already opened"), 1u);

    system_->Close();
    system_->Close();
    EXPECT_FALSE(system_->IsOpen());
    EXPECT_EQ(trace.count("; close; Producer not opened"), 1u);
    // A closed system opens again with a new transport-layer handle and node map.
    system_->Open();
    EXPECT_NE(producer().getHandle(), nullptr);
    EXPECT_NE(producer().nodeMap(), nullptr);
}

TEST_F(SystemOpenTest, OpenNamesTheTraceAndReadsTheVersionFromTheNodeMap) {
    makeSystem();
    EXPECT_EQ(producer().traceName(), "ProducerObj");
    system_->Open();
    EXPECT_EQ(producer().traceName(), kDisplayName);
    EXPECT_EQ(producer().vendor(), "Velmor");
    ASSERT_NE(producer().nodeMap(), nullptr);
    corvid2::genapi::CIntegerPtr minor = producer().nodeMap()->GetNode("GenTLVersionMinor");
    ASSERT_TRUE(minor.IsValid());
    EXPECT_EQ(minor->GetValue(), 6);
    EXPECT_EQ(producer().genTLVersionMajor(), 1u);
    EXPECT_EQ(producer().genTLVersionMinor(), 6u);
    // The map reads through the port of the open transport layer; closing takes both away.
    system_->Close();
    EXPECT_EQ(producer().nodeMap(), nullptr);
    EXPECT_EQ(producer().getHandle(), nullptr);
}

TEST_F(SystemOpenTest, GivenDescriptionReplacesTheMapAndABrokenOneKeepsIt) {
    makeSystem();
    system_->Open();
    corvid2::genapi::INodeMap* loaded = producer().nodeMap();
    const std::string broken = "<RegisterDescription";
    EXPECT_EQ(producer().initializeNodeInterface(&broken), Result::Error);
    Result code = Result::Success;
    EXPECT_FALSE(lastErrorText(&code).empty());
    EXPECT_EQ(code, Result::Error);
    EXPECT_EQ(producer().nodeMap(), loaded);

    // A description without version features still makes a map, connected to the same port.
    const std::string own = description(
        "<Category Name=\"Root\"><pFeature>TLID</pFeature></Category>"
        "<StringReg Name=\"TLID\"><Address>0x80</Address><Length>64</Length><AccessMode>RO</AccessMode>"
        "<pPort>TLPort</pPort></StringReg>",
        "TLPort");
    ASSERT_EQ(producer().initializeNodeInterface(&own), Result::Success);
    ASSERT_NE(producer().nodeMap(), nullptr);
    EXPECT_EQ(producer().nodeMap()->GetNode("GenTLVersionMinor"), nullptr);
    corvid2::genapi::CStringPtr id = producer().nodeMap()->GetNode("TLID");
    ASSERT_TRUE(id.IsValid());
    EXPECT_EQ(std::string(id->GetValue().c_str()), system_->GetID().get());

    // A map that cannot reach the module's port is refused; the connected one stays.
    std::string unreachable = own;
    unreachable.replace(unreachable.find("TLPort"), 6, "XXPort");
    unreachable.replace(unreachable.find("\"TLPort\""), 8, "\"XXPort\"");
    loaded = producer().nodeMap();
    EXPECT_EQ(producer().initializeNodeInterface(&unreachable), Result::Error);
    EXPECT_EQ(producer().nodeMap(), loaded);
    EXPECT_EQ(producer().port().connectedNodeMap(), loaded);
}

TEST_F(SystemOpenTest, RefusedDisplayNameKeepsTheDefaultName) {
    // The display name's size query is the first TLGetInfo the producer sees after GCInitLib.
    makeSystem("CORVID2_SIM_FAIL=TLGetInfo:GC_ERR_ERROR:1\n");
    TraceCapture trace;
    system_->Open();
    EXPECT_EQ(producer().traceName(), "ProducerObj");
    EXPECT_EQ(trace.count("ProducerObj; open; No display name for trace output. Display name will set to "
                          "'ProducerObj'"),
              1u);
    EXPECT_EQ(trace.count("ProducerObj; open"), trace.count("ProducerObj; open;") + 1);
    EXPECT_EQ(producer().vendor(), "Velmor");
}

TEST_F(SystemOpenTest, RefusedTransportLayerLeavesTheSystemClosed) {
    makeSystem("CORVID2_SIM_FAIL=TLOpen:GC_ERR_ERROR:1\n");
    EXPECT_EQ(exceptionText([&] { system_->Open(); }).rfind("LowLevelException: TLOpen failed: ", 0), 0u);
    EXPECT_FALSE(system_->IsOpen());
    EXPECT_EQ(producer().getHandle(), nullptr);
    system_->Open();
    EXPECT_TRUE(system_->IsOpen());
}

TEST_F(SystemOpenTest, OpenThatFailsAfterTheTransportLayerOpenedIsUndoneAndOpensAgain) {
    // The description's location list is read after TLOpen succeeded.
    makeSystem("CORVID2_SIM_FAIL=GCGetPortURL:GC_ERR_IO:1\n");
    TraceCapture trace;
    try {
        system_->Open();
        ADD_FAILURE() << "the open succeeded without its location list";
    } catch (const X::LowLevelException& e) {
        EXPECT_EQ(e.GetFunctionName(), "CORVID2::System::Open");
    }
    EXPECT_EQ(trace.count("TLPort; createURLList; GC_ERR_IO"), 1u);
    EXPECT_FALSE(system_->IsOpen());
    EXPECT_EQ(producer().getHandle(), nullptr);
    EXPECT_EQ(producer().nodeMap(), nullptr);
    // The fault is spent: the next open starts from the beginning and succeeds.
    system_->Open();
    EXPECT_TRUE(system_->IsOpen());
    EXPECT_EQ(system_->GetNode("GenTLVersionMinor")->GetInt(), 6);
    system_->GetInterfaces()->Refresh(1000);
    EXPECT_EQ(system_->GetInterfaces()->size(), 2u);
}

TEST_F(SystemOpenTest, InterfaceAndDeviceOpensThatFailOpenAgain) {
    makeSystem("CORVID2_SIM_FAIL=TLOpenInterface:GC_ERR_IO:1,IFOpenDevice:GC_ERR_IO:1\n");
    system_->Open();
    InterfaceList* list = system_->GetInterfaces();
    list->Refresh(1000);
    Interface* iface = (*list)["SimGEV0"];
    EXPECT_EQ(exceptionText([&] { iface->Open(); }).rfind("LowLevelException: TLOpenInterface failed: ", 0), 0u);
    EXPECT_FALSE(iface->IsOpen());
    iface->Open();
    ASSERT_TRUE(iface->IsOpen());
    iface->GetDevices()->Refresh(1000);
    CORVID2::Device* device = (*iface->GetDevices())["SimMono0"];
    EXPECT_EQ(exceptionText([&] { device->Open(); }).rfind("LowLevelException: IFOpenDevice failed: ", 0), 0u);
    EXPECT_FALSE(device->IsOpen());
    device->Open();
    EXPECT_TRUE(device->IsOpen());
    EXPECT_EQ(device->GetNode("DeviceID")->GetValue(), "SimMono0");
}

TEST_F(SystemOpenTest, InterfacesOnlyWhileOpen) {
    makeSystem();
    EXPECT_EQ(exceptionText([&] { system_->GetInterfaces(); }), "NotInitializedException: System not opened.");
    system_->Open();
    InterfaceList* list = system_->GetInterfaces();
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->size(), 0u);
    list->Refresh(1000);
    EXPECT_EQ(producer().interfaceCount(), 2u);
    system_->Close();
    EXPECT_EQ(producer().interfaceCount(), 0u);
    EXPECT_EQ(exceptionText([&] { system_->GetInterfaces(); }), "NotInitializedException: System not opened.");
    system_->Open();
    EXPECT_EQ(system_->GetInterfaces()->size(), 0u);
}

TEST_F(SystemOpenTest, RefreshListsTheInterfacesAndKeepsTheirIdentity) {
    makeSystem();
    system_->Open();
    InterfaceList& list = *system_->GetInterfaces();
    list.Refresh(1000);
    const std::vector<Interface*> first = interfaces(list);
    ASSERT_EQ(first.size(), 2u);
    EXPECT_EQ(first[0]->GetID(), "SimGEV0");
    EXPECT_EQ(first[1]->GetID(), "SimU3V1");
    EXPECT_EQ(list["SimU3V1"], first[1]);
    EXPECT_EQ(list[0], first[0]);
    EXPECT_EQ(*list.find("SimGEV0"), first[0]);
    EXPECT_TRUE(list.find("SimCXP2") == list.end());
    EXPECT_EQ(exceptionText([&] { list["SimCXP2"]; }), "InvalidParameterException: The ID SimCXP2 is not in list.");
    EXPECT_EQ(exceptionText([&] { list[2]; }), "InvalidParameterException: The index 2 is not in list.");

    // The producer reports no change now: nothing is rebuilt.
    TraceCapture trace;
    list.Refresh(1000);
    EXPECT_EQ(interfaces(list), first);
    EXPECT_EQ(producer().interfaceCount(), 2u);
    EXPECT_EQ(trace.count("; UpdateInterfaceList; List changed false"), 1u);
    EXPECT_EQ(trace.count("InterfaceObj; ctor"), 0u);
    EXPECT_EQ(trace.count("InterfaceObj; dtor"), 0u);
}
