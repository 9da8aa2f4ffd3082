// SPDX-License-Identifier: BSD-3-Clause
// The views of a module (INode) and the NodeMap lookups: by name, by index, iteration, missing
// names and indices, modules without node map, and the simulator's system module end to end.
#include <gtest/gtest.h>

#include "support/errors.h"
#include "support/genapi_maps.h"
#include "support/node_fixtures.h"
#include "support/sim_producer.h"
#include "support/trace_capture.h"

using namespace corvid2;
using namespace corvid2::test;

namespace {

std::vector<std::string> names(CORVID2::NodeMap& map) {
    std::vector<std::string> result;
    for (auto it = map.begin(); it != map.end(); ++it) result.emplace_back(it->GetName().get());
    return result;
}

const std::vector<std::string> kFeatures = {"Fixed", "Gain",    "Label",   "Lut",  "LutIndex",
                                            "Mode",  "Reverse", "Trigger", "Width"};

// ---- INode ------------------------------------------------------------------------------------

TEST_F(TypesModule, TreeHoldsTheRootsCategoriesAndListEveryFeature) {
    EXPECT_EQ(names(*front_.GetNodeTree()), (std::vector<std::string>{"Raw", "Values"}));
    EXPECT_EQ(names(*front_.GetNodeList()), kFeatures);
    // The same objects on every call.
    EXPECT_EQ(front_.GetNodeTree(), front_.GetNodeTree());
    EXPECT_EQ(front_.GetNode("Width"), front_.GetNodeList()->GetNode("Width"));
    EXPECT_EQ(front_.GetNode("Values"), front_.GetNodeTree()->GetNode("Values"));
}

TEST_F(TypesModule, UnknownNameIsAnInvalidParameterAndChangesNoView) {
    CORVID2::NodeMap* list = front_.GetNodeList();
    CORVID2::Node* width = front_.GetNode("Width");
    EXPECT_EQ(exceptionText([&] { front_.GetNode("Height"); }),
              "InvalidParameterException: The node 'Height' does not exist.");
    Result code = Result::Success;
    EXPECT_EQ(lastErrorText(&code), "The node 'Height' does not exist.");
    EXPECT_EQ(code, Result::InvalidParameter);
    // Registers behind features are no features.
    EXPECT_EQ(exceptionText([&] { front_.GetNode("WidthReg"); }),
              "InvalidParameterException: The node 'WidthReg' does not exist.");
    EXPECT_EQ(front_.GetNodeList(), list);
    EXPECT_EQ(names(*list), kFeatures);
    EXPECT_EQ(front_.GetNode("Width"), width);
}

TEST(INodeWithoutNodeMap, OptionalMapGivesEmptyViewsThatRefuseToBeListed) {
    TraceCapture capture;
    TestFront front(false);
    EXPECT_EQ(exceptionText([&] { front.GetNode("Width"); }),
              "InvalidParameterException: The node 'Width' does not exist.");
    EXPECT_EQ(
        exceptionText([&] { front.GetNodeTree(); }).rfind("NotInitializedException: base_modul is not initialized", 0),
        0u);
    EXPECT_EQ(
        exceptionText([&] { front.GetNodeList(); }).rfind("NotInitializedException: base_modul is not initialized", 0),
        0u);
    EXPECT_EQ(capture.count("INode: CreateNodeMap; Node interface not available"), 1u);

    // A source attached later is used from then on.
    MemoryPort port{0x200};
    IGenAPI genapi;
    genapi.setXMLAndConnect(typesDescription(), &port, "Device");
    attachNodeSource(front, &genapi);
    EXPECT_EQ(names(*front.GetNodeList()), kFeatures);
    attachNodeSource(front, nullptr);
}

TEST(INodeWithoutNodeMap, RequiredMapRefusesEveryViewEveryTime) {
    TestFront front(true);
    IGenAPI empty;  // a source whose module has no description
    attachNodeSource(front, &empty);
    for (int attempt = 0; attempt < 2; ++attempt) {
        EXPECT_EQ(exceptionText([&] { front.GetNodeTree(); }),
                  "NotInitializedException: Node interface not initialized");
        EXPECT_EQ(exceptionText([&] { front.GetNode("Width"); }),
                  "NotInitializedException: Node interface not initialized");
    }
    attachNodeSource(front, nullptr);
    EXPECT_EQ(exceptionText([&] { front.GetNodeList(); }), "NotInitializedException: Node interface not initialized");
}

// ---- NodeMap ----------------------------------------------------------------------------------

TEST_F(TypesModule, NodeMapFindsByNameAndIndexInNameOrder) {
    CORVID2::NodeMap& list = *front_.GetNodeList();
    ASSERT_EQ(list.size(), kFeatures.size());
    EXPECT_EQ(list.GetNodeCount(), kFeatures.size());
    for (std::size_t i = 0; i < kFeatures.size(); ++i) {
        CORVID2::Node* byIndex = list.GetNodeByIndex(i);
        EXPECT_EQ(byIndex, list[i]);
        EXPECT_EQ(byIndex, list.GetNode(kFeatures[i].c_str()));
        EXPECT_EQ(byIndex, list[CORVID2::String(kFeatures[i].c_str())]);
        EXPECT_EQ(*list.find(kFeatures[i].c_str()), byIndex);
        EXPECT_TRUE(list.GetNodePresent(kFeatures[i].c_str()));
    }
    EXPECT_TRUE(list.find("Height") == list.end());
    EXPECT_FALSE(list.GetNodePresent("Height"));
    auto it = list.find("Width");
    EXPECT_TRUE(++it == list.end());
    EXPECT_EQ(*it, nullptr);
}

TEST_F(TypesModule, NodeMapRefusesMissingNamesAndIndices) {
    CORVID2::NodeMap& tree = *front_.GetNodeTree();
    EXPECT_EQ(exceptionText([&] { tree.GetNode("Width"); }),
              "InvalidParameterException: The node 'Width' does not exist.");
    EXPECT_EQ(exceptionText([&] { tree[CORVID2::String("Height")]; }),
              "InvalidParameterException: The node 'Height' does not exist.");
    EXPECT_EQ(exceptionText([&] { tree.GetNodeByIndex(2); }), "InvalidParameterException: invalid index 2");
    Result code = Result::Success;
    EXPECT_EQ(lastErrorText(&code), "invalid index 2");
    EXPECT_EQ(code, Result::InvalidParameter);
    EXPECT_EQ(exceptionText([&] { tree[std::size_t{7}]; }), "InvalidParameterException: invalid index 7");
    EXPECT_EQ(tree.size(), 2u);
}

TEST_F(TypesModule, NodeMapTracesItsAnswers) {
    CORVID2::NodeMap& tree = *front_.GetNodeTree();
    TraceCapture capture;
    tree.GetNodePresent("Raw");
    tree.GetNodePresent("Height");
    tree.GetNodeCount();
    tree.size();
    exceptionText([&] { tree.GetNode("Gone"); });
    for (const char* line : {"NodeMap; GetNodePresent; The node 'Raw' exists.",
                             "NodeMap; GetNodePresent; The node 'Height' does not exist.", "NodeMap; GetNodeCount; 2",
                             "NodeMap; size; 2", "NodeMap; GetNode; The node 'Gone' does not exist."})
        EXPECT_EQ(capture.count(line), 1u) << line;
}

// ---- the simulator's system module --------------------------------------------------------------

class SimSystemNodes : public ::testing::Test {
protected:
    void SetUp() override {
        sim_.open(SimModules::kSystem);
        port_ = sim_.port(sim_.system_, "SystemObj");
        const std::string text = portDescription(*port_);
        ASSERT_FALSE(text.empty());
        connectToModulePort(genapi_, text, *port_);
        attachNodeSource(front_, &genapi_);
    }
    void TearDown() override { attachNodeSource(front_, nullptr); }

    SimModules sim_;
    std::unique_ptr<CModulePort> port_;
    IGenAPI genapi_;
    TestFront front_{false};
};

TEST_F(SimSystemNodes, ReadsAndWritesReachTheProducer) {
    EXPECT_EQ(front_.GetNode("GenTLVersionMajor")->GetInt(), 1);
    EXPECT_EQ(front_.GetNode("GenTLVersionMinor")->GetInt(), 6);
    front_.GetNode("SimIncompleteEvery")->SetInt(12);
    EXPECT_EQ(SimModules::readU32(port_->port(), kIncompleteEveryAddress), 12u);
    EXPECT_STREQ(front_.GetNode("SimFrameDelay")->GetUnit().get(), "us");
    EXPECT_EQ(names(*front_.GetNodeTree()),
              (std::vector<std::string>{"InterfaceEnumeration", "SimulationControl", "SystemInformation"}));
    std::vector<std::string> selected;
    for (CORVID2::Node* n : *front_.GetNode("InterfaceSelector")->GetSelectedNodeList())
        selected.emplace_back(n->GetName().get());
    EXPECT_EQ(selected, (std::vector<std::string>{"InterfaceID", "InterfaceType"}));
}

TEST_F(SimSystemNodes, ProducerFailuresAndRangeErrorsArriveAsTheirExceptions) {
    CORVID2::Node& count = *front_.GetNode("SimFaultCount");
    const std::int64_t before = count.GetInt();
    const std::string belowMin = exceptionText([&] { count.SetInt(0); });
    EXPECT_EQ(belowMin.rfind("InvalidParameterException: 'SimFaultCount' - ", 0), 0u) << belowMin;
    EXPECT_EQ(count.GetInt(), before);

    // A failed port read is no access or parameter fault: the general error.
    sim_.armFault("GCReadPort", GC_ERR_TIMEOUT);
    const std::string failed = exceptionText([&] { front_.GetNode("InterfaceID")->GetValue(); });
    EXPECT_EQ(failed.rfind("ErrorException: 'InterfaceID' - ", 0), 0u) << failed;
    Result code = Result::Success;
    lastErrorText(&code);
    EXPECT_EQ(code, Result::Error);
}

}  // namespace
