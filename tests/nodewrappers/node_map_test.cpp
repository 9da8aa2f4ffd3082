// SPDX-License-Identifier: BSD-3-Clause
// The node-map side: building and replacing maps, the wrapper registry, event and chunk tables with
// their data, derived event maps, and a module's description loading and write stack.
#include "inline_descriptions.h"

#include "core/object_registry.h"
#include "support/errors.h"
#include "support/node_fixtures.h"
#include "support/sim_producer.h"
#include "support/trace_capture.h"

using namespace corvid2;
using namespace corvid2::test;

namespace {

bool registered(const void* wrapper) { return registryOf(RegistryKind::GenAPINode).isRegistered(wrapper); }

std::vector<std::uint8_t> le32(std::uint32_t value) {
    return {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
            static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
}

}  // namespace

TEST(NodeMapSide, WithoutMapViewsAreRefused) {
    IGenAPI map;
    EXPECT_FALSE(map.nodeMapAvailable());
    expectGenAPIError([&] { map.getNodeMap(); }, "getNodeMap - Parser not available/initialized", kGenAPIClassError);
    expectGenAPIError([&] { map.getNodeMapFlat(); }, "getNodeMapFlat - Parser not available/initialized",
                      kGenAPIClassError);
    expectGenAPIError([&] { map.connectPort(nullptr, "Device"); }, "connectPort failed", kGenAPIClassError);
    // Event data without a map is dropped.
    const auto data = le32(1);
    map.deliverEvent(data.data(), 4, 0x9001);
}

TEST_F(AllTypes, BuildingRegistersWrappersAndReplacingDropsThem) {
    std::string text;
    map_.getXML(text);
    EXPECT_EQ(text, allTypesDescription());
    EXPECT_TRUE(map_.takeReplacedFlag());
    EXPECT_FALSE(map_.takeReplacedFlag());
    CGenAPINode* offset = &node("Offset");
    CGenAPINode* entry = node("Mode").GetEnumNodeList().find("On");
    EXPECT_TRUE(registered(offset));
    EXPECT_TRUE(registered(entry));
    GenAPINodeGuard guard("NodeMapSide", true);
    EXPECT_EQ(guard.Acquire(nullptr, &offset), offset);

    const std::size_t before = registryOf(RegistryKind::GenAPINode).objectCount();
    map_.setXML(&text);
    EXPECT_TRUE(map_.takeReplacedFlag());
    EXPECT_EQ(registryOf(RegistryKind::GenAPINode).objectCount(), before);
    // A rebuilt map is still connected to the port.
    node("Offset").SetInt(6);
    EXPECT_EQ(port_.u32(kOffsetAddress), 6u);

    const void* rebuilt = &node("Offset");
    const std::size_t features = map_.nameTable().size();
    map_.setXML(nullptr);
    EXPECT_FALSE(map_.nodeMapAvailable());
    map_.getXML(text);
    EXPECT_TRUE(text.empty());
    EXPECT_FALSE(registered(rebuilt));
    EXPECT_LE(registryOf(RegistryKind::GenAPINode).objectCount() + features, before);
}

TEST_F(AllTypes, ABrokenDescriptionIsTracedRefusedAndKeepsTheMap) {
    TraceCapture trace;
    CGenAPINode* offset = &node("Offset");
    const std::string broken = description("<Integer Name=\"X\"><pValue>Missing</pValue></Integer>");
    EXPECT_EQ(genAPIClassOf([&] { map_.setXML(&broken); }), kGenAPIClassError);
    EXPECT_EQ(trace.count("IGenAPI::setXML; "), 1u);
    EXPECT_EQ(&node("Offset"), offset);
    std::string text;
    map_.getXML(text);
    EXPECT_EQ(text, allTypesDescription());

    // A map that cannot reach the connected port is refused too.
    std::string unreachable = allTypesDescription();
    unreachable.replace(unreachable.rfind("<Port Name=\"Device\"/>"), 21, "<Port Name=\"Other\"/>");
    EXPECT_EQ(genAPIClassOf([&] { map_.setXML(&unreachable); }), kGenAPIClassError);
    EXPECT_EQ(&node("Offset"), offset);
}

TEST_F(AllTypes, EventDataReachesTheEventsFeatures) {
    ASSERT_EQ(map_.eventNodes(0x9001).size(), 1u);
    EXPECT_EQ(map_.eventNodes(0x9001).front()->GetName(), "EventPort");
    EXPECT_EQ(node("EventValue").GetEventID(), 0x9001);
    expectGenAPIError([&] { map_.eventNodes(0x42); }, "getEventMap for event ID '42' not found!", kGenAPIClassError);

    const auto data = le32(1234);
    map_.deliverEvent(data.data(), 4, 0x9001);
    EXPECT_EQ(node("EventValue").GetInt(), 1234);
    const auto other = le32(99);
    map_.deliverEvent(other.data(), 4, 0x9002);  // another event leaves this one alone
    map_.deliverEvent(nullptr, 4, 0x9001);
    EXPECT_EQ(node("EventValue").GetInt(), 1234);
}

TEST_F(AllTypes, ChunkDataFollowsTheAttachedBuffer) {
    ASSERT_NE(map_.chunkNodes(0x1001), nullptr);
    EXPECT_EQ(map_.chunkNodes(0x1001)->front()->GetName(), "ChunkPort");
    EXPECT_EQ(map_.chunkNodes(0x1002), nullptr);

    std::vector<std::uint8_t> first{0, 0, 0, 0, 7, 0, 0, 0}, second{0, 0, 0, 0, 8, 0, 0, 0};
    const genapi::SingleChunkData_t chunk{0x1001, 4, 4};
    map_.attachChunkBuffer(first.data(), &chunk, 1);
    EXPECT_EQ(node("ChunkValue").GetInt(), 7);
    map_.updateChunkBuffer(second.data());
    EXPECT_EQ(node("ChunkValue").GetInt(), 8);
    map_.detachChunkBuffer();
    EXPECT_NE(genAPIClassOf([&] { node("ChunkValue").GetInt(); }), "(none)");
}

TEST_F(AllTypes, DerivedEventMapsAreBuiltOncePerSourceAndEvent) {
    IGenAPI derived;
    derived.attachEventMap(&map_, 0x9001);
    EXPECT_TRUE(derived.takeReplacedFlag());
    CGenAPINode* value = derived.getNode("EventValue");
    EXPECT_NE(value, &node("EventValue"));
    EXPECT_EQ(derived.eventNodes(0x9001).size(), 1u);

    const auto data = le32(55);
    derived.deliverEvent(data.data(), 4, 0x9001);
    EXPECT_EQ(value->GetInt(), 55);

    derived.attachEventMap(&map_, 0x9001);
    EXPECT_FALSE(derived.takeReplacedFlag());
    EXPECT_EQ(derived.getNode("EventValue"), value);

    const std::string text = allTypesDescription();
    map_.setXML(&text);  // the source changed
    derived.attachEventMap(&map_, 0x9001);
    EXPECT_TRUE(derived.takeReplacedFlag());
    expectGenAPIError([&] { derived.attachEventMap(&map_, 0x77); }, "getEventMap for event ID '77' not found!",
                      kGenAPIClassError);
}

TEST_F(AllTypes, DerivedChunkMapsReadTheirOwnBuffer) {
    IGenAPI derived;
    derived.attachChunkMap(&map_, 0x1001);
    ASSERT_NE(derived.chunkNodes(0x1001), nullptr);
    std::vector<std::uint8_t> data{3, 0, 0, 0};
    const genapi::SingleChunkData_t chunk{0x1001, 0, 4};
    derived.attachChunkBuffer(data.data(), &chunk, 1);
    EXPECT_EQ(derived.getNode("ChunkValue")->GetInt(), 3);
    EXPECT_NE(genAPIClassOf([&] { node("ChunkValue").GetInt(); }), "(none)");  // the source saw no buffer
    EXPECT_EQ(genAPIClassOf([&] { derived.attachChunkMap(&map_, 0x5); }), kGenAPIClassError);
    derived.detachChunkBuffer();
}

// ---- a module of the simulator --------------------------------------------------------------------
namespace {

class ModuleNodeMap : public SimSystemModule {};

}  // namespace

TEST_F(ModuleNodeMap, TheSameDescriptionKeepsTheWrappers) {
    CGenAPINode* tlid = system_->getNode("TLID");
    EXPECT_TRUE(system_->takeReplacedFlag());
    ASSERT_EQ(system_->initializeNodeInterface(), Result::Success);
    EXPECT_EQ(system_->getNode("TLID"), tlid);
    EXPECT_FALSE(system_->takeReplacedFlag());
    EXPECT_EQ(system_->nodeMap(), system_->engineMap());

    const std::string broken = "<RegisterDescription";
    EXPECT_EQ(system_->initializeNodeInterface(&broken), Result::Error);
    Result code = Result::Success;
    lastErrorText(&code);
    EXPECT_EQ(code, Result::Error);
    EXPECT_EQ(system_->getNode("TLID"), tlid);

    system_->releaseNodeMap();
    EXPECT_EQ(system_->nodeMap(), nullptr);
    expectGenAPIError([&] { system_->getNodeMap(); }, "getNodeMap - Parser not available/initialized",
                      kGenAPIClassError);
}

TEST_F(ModuleNodeMap, StackedWritesAreHeldAndCancelledOnes) {
    CGenAPINode& every = *system_->getNode("SimIncompleteEvery");
    every.SetInt(3);
    ASSERT_EQ(system_->port().startStacking(false), Result::Success);
    every.SetInt(5);
    EXPECT_EQ(every.GetInt(), 5);  // from the stack
    EXPECT_EQ(SimModules::readU32(*raw_, kIncompleteEveryAddress), 3u);
    EXPECT_EQ(system_->port().writtenFeatures(), std::vector<std::string>{"SimIncompleteEvery"});
    EXPECT_TRUE(system_->getNode("InterfaceUpdateList")->IsDone());
    ASSERT_EQ(system_->port().cancelStack(), Result::Success);
    EXPECT_EQ(every.GetInt(), 3);

    ASSERT_EQ(system_->port().startStacking(false), Result::Success);
    every.SetInt(6);
    ASSERT_EQ(system_->port().writeStack(), Result::Success);
    EXPECT_EQ(SimModules::readU32(*raw_, kIncompleteEveryAddress), 6u);
    EXPECT_EQ(every.GetInt(), 6);
}

TEST_F(ModuleNodeMap, NoLoadableLocationLeavesTheModuleWithoutMap) {
    SimModule other("TLPort", sim_.table_, sim_.system_);
    sim_.armFault("GCReadPort", GC_ERR_IO, 10);  // every device-memory location fails
    EXPECT_EQ(other.initializeNodeInterface(), Result::Success);
    EXPECT_FALSE(other.nodeMapAvailable());
    EXPECT_EQ(other.nodeMap(), nullptr);
    expectGenAPIError([&] { other.getNodeMapFlat(); }, "getNodeMapFlat - Parser not available/initialized",
                      kGenAPIClassError);
}
