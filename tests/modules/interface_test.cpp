// SPDX-License-Identifier: BSD-3-Clause
// Interfaces of an open System: opening and closing, their information, and their list following the producer.
#include "support/errors.h"
#include "support/sim_system.h"
#include "support/trace_capture.h"

using namespace corvid2::test;
using CORVID2::Interface;

namespace {

class InterfaceTest : public OpenSystemTest {};

}  // namespace

TEST_F(InterfaceTest, OpenAndCloseOnlyOnceEach) {
    Interface* iface = (*interfaces_)["SimGEV0"];
    EXPECT_FALSE(iface->IsOpen());
    EXPECT_EQ(exceptionText([&] { iface->Close(); }), "InvalidParameterException: Interface already closed");
    iface->Open();
    EXPECT_TRUE(iface->IsOpen());
    EXPECT_EQ(exceptionText([&] { iface->Open(); }), "ResourceInUseException: Interface SimGEV0 is already opened.");
    EXPECT_TRUE(iface->IsOpen());
    // The opened interface names its trace lines and has its own node map.
    corvid2::CInterfaceObj* object = objectOf(iface);
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(object->traceName(), "Simulated GEV interface 0");
    EXPECT_NE(object->nodeMap(), nullptr);
    EXPECT_EQ(object->genTLVersionMinor(), 6u);
    EXPECT_EQ(iface->GetNode("InterfaceID")->GetValue(), "SimGEV0");

    iface->Close();
    EXPECT_FALSE(iface->IsOpen());
    EXPECT_EQ(objectOf(iface), nullptr);
    EXPECT_EQ(exceptionText([&] { iface->Close(); }), "InvalidParameterException: Interface already closed");
    // Its features went with the interface module.
    EXPECT_EQ(exceptionText([&] { iface->GetNode("InterfaceID"); }),
              "InvalidParameterException: The node 'InterfaceID' does not exist.");
    // Closed interfaces open again.
    iface->Open();
    EXPECT_TRUE(iface->IsOpen());
}

TEST_F(InterfaceTest, ReservedRecordsStartWithTheObjectBehindTheWrapper) {
    const auto front = [](auto* wrapper) { return static_cast<void**>(wrapper->GetReserved())[0]; };
    EXPECT_EQ(front(system_.get()), &producer());
    Interface* iface = (*interfaces_)["SimGEV0"];
    EXPECT_EQ(front(iface), nullptr);  // no object while closed
    iface->Open();
    ASSERT_NE(objectOf(iface), nullptr);
    EXPECT_EQ(front(iface), objectOf(iface));
    iface->GetDevices()->Refresh(kRefreshMs);
    CORVID2::Device* device = (*iface->GetDevices())["SimMono0"];
    ASSERT_NE(objectOf(device), nullptr);
    EXPECT_EQ(front(device), objectOf(device));
}

TEST_F(InterfaceTest, InformationWhetherOpenOrNot) {
    Interface* iface = (*interfaces_)["SimU3V1"];
    TraceCapture trace;
    EXPECT_EQ(iface->GetDisplayName(), "Simulated U3V interface 1");
    EXPECT_EQ(iface->GetTLType(), "U3V");
    EXPECT_EQ(trace.count("; GetInterfaceDisplayName; TLProducer InterfaceDisplayName: Simulated U3V interface 1"), 1u);
    iface->Open();
    EXPECT_EQ(iface->GetDisplayName(), "Simulated U3V interface 1");
    EXPECT_EQ(iface->GetTLType(), "U3V");
    EXPECT_EQ(trace.count("Simulated U3V interface 1; GetTLType; Interface TLType: U3V"), 1u);
    EXPECT_EQ(iface->GetID(), "SimU3V1");
    EXPECT_EQ(iface->GetParent(), system_.get());
}

TEST_F(InterfaceTest, DevicesOnlyWhileOpen) {
    Interface* iface = (*interfaces_)["SimGEV0"];
    EXPECT_EQ(exceptionText([&] { iface->GetDevices(); }), "NotInitializedException: Interface not opened.");
    iface->Open();
    CORVID2::DeviceList* devices = iface->GetDevices();
    devices->Refresh(kRefreshMs);
    EXPECT_EQ(ids(*devices), (std::vector<std::string>{"SimBayer0", "SimMono0"}));
    EXPECT_EQ(objectOf(iface)->deviceCount(), 2u);
    iface->Close();
    EXPECT_EQ(exceptionText([&] { iface->GetDevices(); }), "NotInitializedException: Interface not opened.");
    // Reopened, the list starts empty and fills again.
    iface->Open();
    EXPECT_EQ(iface->GetDevices()->size(), 0u);
    EXPECT_EQ(objectOf(iface)->deviceCount(), 0u);
}

TEST_F(InterfaceTest, RefreshWithoutChangeKeepsEveryObject) {
    const std::vector<Interface*> before(interfaces_->begin(), interfaces_->end());
    Interface* open = openInterface("SimGEV0");
    CORVID2::DeviceList& devices = *open->GetDevices();
    devices.Refresh(kRefreshMs);
    const std::vector<CORVID2::Device*> devicesBefore(devices.begin(), devices.end());
    TraceCapture trace;
    interfaces_->Refresh(kRefreshMs);
    devices.Refresh(kRefreshMs);
    EXPECT_EQ(std::vector<Interface*>(interfaces_->begin(), interfaces_->end()), before);
    EXPECT_EQ(std::vector<CORVID2::Device*>(devices.begin(), devices.end()), devicesBefore);
    EXPECT_EQ(objectOf(open), objectOf((*interfaces_)["SimGEV0"]));
    EXPECT_EQ(trace.count("; UpdateInterfaceList; List changed false"), 1u);
    EXPECT_EQ(trace.count("; UpdateDeviceList; List changed false"), 1u);
    EXPECT_EQ(trace.count("; ctor;"), 0u);
    EXPECT_EQ(trace.count("; dtor;"), 0u);
}

TEST_F(InterfaceTest, VanishedInterfaceStaysWhileOpenAndGoesOnceClosed) {
    Interface* open = openInterface("SimGEV0");
    corvid2::CInterfaceObj* object = objectOf(open);
    Interface* closed = (*interfaces_)["SimU3V1"];
    simulate("SimRemoveInterfaceID", "SimGEV0");
    simulate("SimRemoveInterfaceID", "SimU3V1");
    TraceCapture trace;
    interfaces_->Refresh(kRefreshMs);
    // The open one keeps its public and internal object; the closed one is gone.
    EXPECT_EQ(ids(*interfaces_), std::vector<std::string>{"SimGEV0"});
    EXPECT_EQ((*interfaces_)[0], open);
    EXPECT_EQ(producer().interfaceCount(), 1u);
    EXPECT_TRUE(open->IsOpen());
    EXPECT_EQ(objectOf(open), object);
    EXPECT_EQ(open->GetTLType(), "GEV");
    EXPECT_EQ(trace.count("; updateInterfaceList; missing open interface SimGEV0"), 1u);
    EXPECT_EQ(exceptionText([&] { (*interfaces_)["SimU3V1"]; }),
              "InvalidParameterException: The ID SimU3V1 is not in list.");
    (void)closed;

    open->Close();
    interfaces_->Refresh(kRefreshMs);
    EXPECT_EQ(interfaces_->size(), 0u);
    EXPECT_EQ(producer().interfaceCount(), 0u);

    simulate("SimAddInterfaceID", "SimU3V1");
    interfaces_->Refresh(kRefreshMs);
    EXPECT_EQ(ids(*interfaces_), std::vector<std::string>{"SimU3V1"});
}

TEST_F(InterfaceTest, ClosingTheSystemClosesItsInterfaces) {
    openInterface("SimGEV0");
    openInterface("SimU3V1")->GetDevices()->Refresh(kRefreshMs);
    EXPECT_EQ(system_->GetNode("TLID")->GetValue(), "corvid2_sim");
    TraceCapture trace;
    system_->Close();
    EXPECT_EQ(exceptionText([&] { system_->GetNode("TLID"); }),
              "InvalidParameterException: The node 'TLID' does not exist.");
    EXPECT_EQ(trace.count("; CloseInterface; Interface SimGEV0 closed"), 1u);
    EXPECT_EQ(trace.count("; CloseInterface; Interface SimU3V1 closed"), 1u);
    EXPECT_EQ(producer().interfaceCount(), 0u);
    // The System opens again with a fresh list.
    system_->Open();
    EXPECT_EQ(system_->GetInterfaces()->size(), 0u);
}

namespace {

// The interface's display name query is refused once, so opening keeps the default trace name.
class RefusedInterfaceNameTest : public OpenSystemTest {
    std::string settings() const override { return "CORVID2_SIM_FAIL=IFGetInfo:GC_ERR_ERROR:1\n"; }
};

// The system's display name query is refused once, so the system keeps its default trace name.
class RefusedSystemNameTest : public OpenSystemTest {
    std::string settings() const override { return "CORVID2_SIM_FAIL=TLGetInfo:GC_ERR_ERROR:1\n"; }
};

// The system refuses its first interface information query.
class RefusedInterfaceInfoTest : public OpenSystemTest {
    std::string settings() const override { return "CORVID2_SIM_FAIL=TLGetInterfaceInfo:GC_ERR_INVALID_ID:1\n"; }
};

// Interfaces without cameras.
class EmptyInterfaceTest : public OpenSystemTest {
    std::string settings() const override { return "CORVID2_SIM_INTERFACES=GEV;U3V\n"; }
};

}  // namespace

TEST_F(RefusedInterfaceNameTest, OpenKeepsTheDefaultTraceName) {
    TraceCapture trace;
    Interface* iface = openInterface("SimGEV0");
    EXPECT_TRUE(iface->IsOpen());
    EXPECT_EQ(objectOf(iface)->traceName(), "InterfaceObj");
    EXPECT_EQ(trace.count("InterfaceObj; setHandle; No display name for trace output. Display name will set to "
                          "'InterfaceObj'"),
              1u);
    EXPECT_EQ(trace.count("InterfaceObj; OpenInterface; interface SimGEV0 opened"), 1u);
}

TEST_F(RefusedSystemNameTest, LinesOfTheSystemKeepTheDefaultName) {
    EXPECT_EQ(producer().traceName(), "ProducerObj");
    openInterface("SimU3V1");
    simulate("SimRemoveInterfaceID", "SimU3V1");
    TraceCapture trace;
    interfaces_->Refresh(kRefreshMs);
    interfaces_->Refresh(kRefreshMs);
    // Reported at every update for as long as the interface stays open.
    EXPECT_EQ(trace.count("ProducerObj; updateInterfaceList; missing open interface SimU3V1"), 2u);
    EXPECT_EQ(trace.count("ProducerObj; UpdateInterfaceList; List changed true"), 1u);
}

TEST_F(RefusedInterfaceInfoTest, FailedQueryOfAClosedInterfaceThrowsWithItsLine) {
    Interface* iface = (*interfaces_)["SimGEV0"];
    TraceCapture trace;
    const std::string failure = exceptionText([&] { iface->GetTLType(); });
    EXPECT_EQ(failure.rfind("LowLevelException: TLGetInterfaceInfo failed: GC_ERR_INVALID_ID - ", 0), 0u) << failure;
    EXPECT_EQ(trace.count("; GetInterfaceTLType; TLGetInterfaceInfo failed: GC_ERR_INVALID_ID"), 1u);
    // The fault was spent: the next query answers.
    EXPECT_EQ(iface->GetTLType(), "GEV");
}

TEST_F(EmptyInterfaceTest, NoDevicesIsAWarningNotAFailure) {
    Interface* iface = openInterface("SimGEV0");
    TraceCapture trace;
    iface->GetDevices()->Refresh(kRefreshMs);
    EXPECT_EQ(iface->GetDevices()->size(), 0u);
    const auto lines = trace.lines();
    const auto warning = std::find_if(lines.begin(), lines.end(), [](const std::string& line) {
        return line.find("; GetNumDevices; No devices") != std::string::npos;
    });
    ASSERT_NE(warning, lines.end());
    EXPECT_NE(warning->find("; Wrn; "), std::string::npos);
}
