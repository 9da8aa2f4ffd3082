// SPDX-License-Identifier: BSD-3-Clause
// The wrappers over the simulator's system and interface descriptions: every node type there, the
// fixed texts, values agreeing with the device, refused writes leaving the device alone, and the
// "not supported" answers of each operation on the wrong type.
#include <gtest/gtest.h>

#include <functional>

#include "support/errors.h"
#include "support/genapi_maps.h"
#include "support/node_fixtures.h"
#include "support/sim_producer.h"

using namespace corvid2;
using namespace corvid2::test;

namespace {

class SimFeatures : public SimSystemModule {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(open(SimModules::kInterface));
        interface_ = std::make_unique<SimModule>("InterfacePort", sim_.table_, sim_.interface_);
        ASSERT_EQ(interface_->initializeNodeInterface(), Result::Success) << lastErrorText();
    }
    CGenAPINode& feature(const char* name) { return *system_->getNode(name); }
    std::uint32_t rawU32(std::uint64_t address) { return SimModules::readU32(*raw_, address); }

    std::unique_ptr<SimModule> interface_;
};

}  // namespace

TEST_F(SimFeatures, FeaturesHaveWrappersOfTheirTypeAndHelperRegistersHaveNone) {
    const std::pair<const char*, const char*> types[] = {
        {"TLVendorName", "IString"},         {"TLType", "IEnumeration"},         {"GenTLVersionMajor", "IInteger"},
        {"InterfaceUpdateList", "ICommand"}, {"SystemInformation", "ICategory"}, {"Root", "ICategory"}};
    for (const auto& [name, type] : types) EXPECT_EQ(feature(name).GetInterface(), type) << name;
    for (const auto& [name, entry] : feature("TLType").GetEnumNodeList())
        EXPECT_EQ(entry->GetInterface(), "IEnumeration") << name;
    EXPECT_EQ(system_->nameTable().find("TLTypeReg"), nullptr);
    expectGenAPIError([&] { system_->getNode("TLTypeReg"); }, "getNode 'TLTypeReg' not found!", kGenAPIClassError);
}

TEST_F(SimFeatures, TheRootsViewsFollowTheCategoryTree) {
    EXPECT_EQ(namesOf(system_->getNodeMap()),
              (std::vector<std::string>{"InterfaceEnumeration", "SimulationControl", "SystemInformation"}));
    const genAPINodeMap& flat = system_->getNodeMapFlat();
    for (const char* name : {"TLID", "GenTLVersionMinor", "InterfaceSelector", "SimFaultArm", "SimFramesGenerated"})
        EXPECT_EQ(flat.find(name), system_->nameTable().find(name)) << name;
    for (const auto& [name, node] : flat) EXPECT_NE(node->GetInterface(), "ICategory") << name;
    // A category's flat view holds what lies below it, and nothing from beside it.
    const genAPINodeMap& information = feature("SystemInformation").GetNodeList();
    EXPECT_NE(information.find("TLPath"), nullptr);
    EXPECT_EQ(information.find("SimFaultArm"), nullptr);
}

TEST_F(SimFeatures, ValuesAgreeWithTheDevice) {
    char id[256] = {};
    size_t size = sizeof id;
    INFO_DATATYPE type = 0;
    ASSERT_EQ(sim_.table_->TLGetInfo(sim_.system_, TL_INFO_ID, &type, id, &size), GC_ERR_SUCCESS);
    EXPECT_EQ(feature("TLID").GetValue(), id);
    EXPECT_EQ(feature("TLID").GetMaxStringLength(), 64);

    CGenAPINode& major = feature("GenTLVersionMajor");
    EXPECT_EQ(major.GetInt(), static_cast<std::int64_t>(rawU32(kGenTLVersionMajorAddress)));
    EXPECT_EQ(major.GetValue(), std::to_string(major.GetInt()));
    EXPECT_EQ(major.GetDouble(), static_cast<double>(major.GetInt()));

    // The enumeration reads as the symbolic name of the entry whose value the register holds.
    CGenAPINode& tlType = feature("TLType");
    CGenAPINode* entry = tlType.GetEnumNodeList().find(tlType.GetValue());
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->GetValue(), tlType.GetValue());
    EXPECT_EQ(entry->GetInt(), tlType.GetInt());
    EXPECT_EQ(namesOf(tlType.GetEnumNodeList()), (std::vector<std::string>{"Custom", "GEV", "Mixed", "U3V"}));

    EXPECT_EQ(interface_->getNode("InterfaceID")->GetValue(), sim_.interfaceId_);
}

TEST_F(SimFeatures, AccessModesVisibilityAndTexts) {
    CGenAPINode& vendor = feature("TLVendorName");
    EXPECT_EQ(vendor.GetCurrentAccessMode(), "RO");
    EXPECT_TRUE(vendor.IsReadable());
    EXPECT_FALSE(vendor.IsWriteable());
    EXPECT_TRUE(vendor.GetLocked());
    EXPECT_TRUE(vendor.GetImplemented());
    EXPECT_TRUE(vendor.GetAvailable());
    EXPECT_EQ(vendor.GetVisibility(), "Beginner");
    EXPECT_EQ(vendor.GetToolTip(), "Name of the vendor of the producer.");

    CGenAPINode& count = feature("SimFaultCount");
    EXPECT_EQ(count.GetCurrentAccessMode(), "RW");
    EXPECT_FALSE(count.GetLocked());
    EXPECT_TRUE(count.IsWriteable());
    EXPECT_EQ(count.GetVisibility(), "Expert");
    EXPECT_EQ(count.GetImposedAccessMode(), "RW");
    EXPECT_EQ(feature("SystemInformation").GetImposedAccessMode(), "RO");

    expectGenAPIError([&] { vendor.GetEventID(); }, "getEventID not available for Node 'TLVendorName'",
                      kGenAPIClassNotAvailable);
    expectGenAPIError([&] { vendor.GetAlias(); }, "getAliasNode not available for Node 'TLVendorName'",
                      kGenAPIClassNotAvailable);
}

TEST_F(SimFeatures, LimitsAndUnits) {
    CGenAPINode& count = feature("SimFaultCount");
    EXPECT_EQ(count.GetIntMin(), 1);
    EXPECT_EQ(count.GetIntMax(), 1000000);
    EXPECT_EQ(count.GetIntInc(), 1);
    EXPECT_TRUE(count.HasInc());
    EXPECT_EQ(count.GetDoubleMax(), 1000000.0);
    EXPECT_FALSE(count.HasUnit());
    EXPECT_EQ(feature("SimFrameDelay").GetUnit(), "us");
    EXPECT_TRUE(feature("SimFrameDelay").HasUnit());
}

TEST_F(SimFeatures, WritesReachTheDeviceInEveryForm) {
    CGenAPINode& every = feature("SimIncompleteEvery");
    every.SetInt(7);
    EXPECT_EQ(rawU32(kIncompleteEveryAddress), 7u);
    every.SetDouble(3.4);
    EXPECT_EQ(rawU32(kIncompleteEveryAddress), 3u);
    every.SetValue("12");
    EXPECT_EQ(rawU32(kIncompleteEveryAddress), 12u);
    EXPECT_EQ(every.GetInt(), 12);
}

TEST_F(SimFeatures, RefusedWritesLeaveTheDeviceAlone) {
    CGenAPINode& every = feature("SimIncompleteEvery");
    every.SetInt(9);
    EXPECT_EQ(genAPIClassOf([&] { every.SetInt(2000000); }), kGenAPIClassInvalidParameter);
    EXPECT_EQ(genAPIClassOf([&] { every.SetDouble(-1.0); }), kGenAPIClassInvalidParameter);
    EXPECT_EQ(rawU32(kIncompleteEveryAddress), 9u);

    const std::uint32_t major = rawU32(kGenTLVersionMajorAddress);
    EXPECT_EQ(genAPIClassOf([&] { feature("GenTLVersionMajor").SetInt(major + 1); }), kGenAPIClassAccessDenied);
    EXPECT_EQ(genAPIClassOf([&] { feature("TLVendorName").SetValue("other"); }), kGenAPIClassAccessDenied);
    EXPECT_EQ(rawU32(kGenTLVersionMajorAddress), major);
}

TEST_F(SimFeatures, SettingACommandsValueExecutesIt) {
    CGenAPINode& arm = feature("SimFaultArm");
    EXPECT_EQ(arm.GetValue(), "Done");
    feature("SimFaultFunction").SetValue("TLGetInfo");
    feature("SimFaultCode").SetInt(GC_ERR_IO);
    feature("SimFaultCount").SetInt(1);
    arm.SetValue("any text");
    char text[256] = {};
    size_t size = sizeof text;
    INFO_DATATYPE type = 0;
    EXPECT_EQ(sim_.table_->TLGetInfo(sim_.system_, TL_INFO_ID, &type, text, &size), GC_ERR_IO);
    EXPECT_EQ(sim_.table_->TLGetInfo(sim_.system_, TL_INFO_ID, &type, text, &size), GC_ERR_SUCCESS);
    arm.Execute();
    EXPECT_TRUE(arm.IsDone());
}

TEST_F(SimFeatures, SelectorsListWhatTheySelect) {
    EXPECT_TRUE(feature("InterfaceSelector").IsSelector());
    EXPECT_EQ(namesOf(feature("InterfaceSelector").GetSelectedNodeList()),
              (std::vector<std::string>{"InterfaceID", "InterfaceType"}));
    CGenAPINode& devices = *interface_->getNode("DeviceSelector");
    EXPECT_EQ(devices.GetSelectedNodeList().size(), 5u);
    EXPECT_EQ(devices.GetSelectedNodeList().find("DeviceID"), interface_->getNode("DeviceID"));
    EXPECT_FALSE(feature("TLID").IsSelector());
    expectGenAPIError([&] { feature("TLID").GetSelectedNodeList(); },
                      "getSelectedFeatures not supported for Node 'TLID'", kGenAPIClassNotAvailable);
}

// Each operation on a node type it does not accept names itself and the node.
TEST_F(SimFeatures, OperationsOnTheWrongTypeAreNotSupported) {
    std::uint8_t bytes[4] = {};
    struct Case {
        const char* node;
        const char* prefix;
        std::function<void(CGenAPINode&)> operation;
    };
    const Case cases[] = {
        {"SystemInformation", "getValue", [](CGenAPINode& n) { n.GetValue(); }},
        {"SystemInformation", "setValue", [](CGenAPINode& n) { n.SetValue("1"); }},
        {"TLVendorName", "getValueInt", [](CGenAPINode& n) { n.GetInt(); }},
        {"TLVendorName", "setValueInt", [](CGenAPINode& n) { n.SetInt(1); }},
        {"TLVendorName", "getValueDouble", [](CGenAPINode& n) { n.GetDouble(); }},
        {"InterfaceUpdateList", "setValueDouble", [](CGenAPINode& n) { n.SetDouble(1); }},
        {"GenTLVersionMajor", "getValueBool", [](CGenAPINode& n) { n.GetBool(); }},
        {"GenTLVersionMajor", "setValueBool", [](CGenAPINode& n) { n.SetBool(true); }},
        {"TLType", "getMinInt", [](CGenAPINode& n) { n.GetIntMin(); }},
        {"TLType", "getMaxInt", [](CGenAPINode& n) { n.GetIntMax(); }},
        {"TLType", "getIncInt", [](CGenAPINode& n) { n.GetIntInc(); }},
        {"TLID", "getMinDouble", [](CGenAPINode& n) { n.GetDoubleMin(); }},
        {"TLID", "getMaxDouble", [](CGenAPINode& n) { n.GetDoubleMax(); }},
        {"TLID", "getIncDouble", [](CGenAPINode& n) { n.GetDoubleInc(); }},
        {"GenTLVersionMajor", "getPrecisionDouble", [](CGenAPINode& n) { n.GetDoublePrecision(); }},
        {"TLID", "getUnit", [](CGenAPINode& n) { n.GetUnit(); }},
        {"TLType", "getRepresentation", [](CGenAPINode& n) { n.GetRepresentation(); }},
        {"GenTLVersionMajor", "getMaxStringLength", [](CGenAPINode& n) { n.GetMaxStringLength(); }},
        {"GenTLVersionMajor", "Execute", [](CGenAPINode& n) { n.Execute(); }},
        {"GenTLVersionMajor", "IsDone", [](CGenAPINode& n) { n.IsDone(); }},
        {"GenTLVersionMajor", "get", [&](CGenAPINode& n) { n.get(bytes, sizeof bytes); }},
        {"GenTLVersionMajor", "set", [&](CGenAPINode& n) { n.set(bytes, sizeof bytes); }},
        {"GenTLVersionMajor", "getAddress", [](CGenAPINode& n) { n.getAddress(); }},
        {"GenTLVersionMajor", "getLength", [](CGenAPINode& n) { n.getLength(); }},
        {"GenTLVersionMajor", "getEnumNodeMap", [](CGenAPINode& n) { n.GetEnumNodeList(); }},
        {"TLType", "getNodeMap", [](CGenAPINode& n) { n.GetNodeTree(); }},
        {"TLType", "getNodeMapFlat", [](CGenAPINode& n) { n.GetNodeList(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.prefix) + " on " + c.node);
        CGenAPINode& node = feature(c.node);
        expectGenAPIError([&] { c.operation(node); },
                          std::string(c.prefix) + " not supported for Node '" + c.node + "'", kGenAPIClassNotAvailable);
    }
}

TEST(NodeWithoutNode, EveryOperationSaysItIsNotInitialized) {
    CGenAPINode empty(nullptr, nullptr);
    for (const std::function<void()>& operation : std::initializer_list<std::function<void()>>{
             [&] { empty.GetInt(); }, [&] { empty.SetValue("1"); }, [&] { empty.GetCurrentAccessMode(); },
             [&] { empty.GetNodeTree(); }, [&] { empty.GetToolTip(); }})
        expectGenAPIError(operation, "node is not initialized.", kGenAPIClassError);
}
