// SPDX-License-Identifier: BSD-3-Clause
// The public Node over one feature of every type: values, limits and texts, the exception and
// last error of every failure kind, trace lines, write locks and wrappers that are gone.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <thread>

#include "nodes/node_data.h"
#include "support/errors.h"
#include "support/node_fixtures.h"
#include "support/trace_capture.h"

using namespace corvid2;
using namespace corvid2::test;
using CORVID2::Internal::NodeAccess;

namespace {

std::vector<std::string> names(CORVID2::NodeMap* map) {
    std::vector<std::string> result;
    for (CORVID2::Node* n : *map) result.emplace_back(n->GetName().get());
    return result;
}

// ---- what every type reports ------------------------------------------------------------------

TEST_F(TypesModule, InterfaceTextNamesTheTypeAndEntriesCountAsEnumerations) {
    const std::pair<const char*, const char*> expected[] = {
        {"Width", "IInteger"},    {"Gain", "IFloat"},   {"Reverse", "IBoolean"}, {"Trigger", "ICommand"},
        {"Mode", "IEnumeration"}, {"Label", "IString"}, {"Lut", "IRegister"},    {"Values", "ICategory"}};
    for (const auto& [name, interfaceText] : expected)
        EXPECT_STREQ(node(name).GetInterface().get(), interfaceText) << name;
    EXPECT_STREQ(node("Mode").GetEnumNodeList()->GetNode("On")->GetInterface().get(), "IEnumeration");
}

TEST_F(TypesModule, DescriptiveTextsAndAccessOfAFeature) {
    CORVID2::Node& width = node("Width");
    EXPECT_STREQ(width.GetName().get(), "Width");
    EXPECT_STREQ(width.GetToolTip().get(), "Width of the image.");
    EXPECT_STREQ(width.GetDescription().get(), "Width of the image in pixels.");
    EXPECT_STREQ(width.GetDisplayName().get(), "Image Width");
    EXPECT_STREQ(width.GetVisibility().get(), "Beginner");
    EXPECT_STREQ(node("Gain").GetVisibility().get(), "Expert");
    EXPECT_STREQ(node("Reverse").GetVisibility().get(), "Guru");
    EXPECT_TRUE(width.GetImplemented());
    EXPECT_TRUE(width.GetAvailable());
    EXPECT_FALSE(width.GetLocked());
    EXPECT_STREQ(width.GetCurrentAccessMode().get(), "RW");
    EXPECT_STREQ(width.GetImposedAccessMode().get(), "RW");
    EXPECT_TRUE(width.IsReadable());
    EXPECT_TRUE(width.IsWriteable());

    CORVID2::Node& fixed = node("Fixed");
    EXPECT_TRUE(fixed.GetLocked());
    EXPECT_STREQ(fixed.GetCurrentAccessMode().get(), "RO");
    EXPECT_TRUE(fixed.IsReadable());
    EXPECT_FALSE(fixed.IsWriteable());
    // A category without the property is read-only.
    EXPECT_STREQ(node("Values").GetImposedAccessMode().get(), "RO");
}

// ---- values of each type -----------------------------------------------------------------------

TEST_F(TypesModule, IntegerReadsLimitsAndWritesThroughToTheRegister) {
    CORVID2::Node& width = node("Width");
    EXPECT_EQ(width.GetInt(), 640);
    EXPECT_STREQ(width.GetValue().get(), "640");
    EXPECT_EQ(width.GetIntMin(), 16);
    EXPECT_EQ(width.GetIntMax(), 4096);
    EXPECT_EQ(width.GetIntInc(), 16);
    EXPECT_TRUE(width.HasInc());
    EXPECT_STREQ(width.GetUnit().get(), "px");
    EXPECT_TRUE(width.HasUnit());
    EXPECT_STREQ(width.GetRepresentation().get(), "Linear");
    EXPECT_DOUBLE_EQ(width.GetDouble(), 640.0);

    width.SetInt(1024);
    EXPECT_EQ(port_.u32(0x00), 1024u);
    EXPECT_EQ(width.GetInt(), 1024);
    width.SetValue("512");
    EXPECT_EQ(port_.u32(0x00), 512u);
    width.SetDouble(256.0);
    EXPECT_EQ(width.GetInt(), 256);
}

TEST_F(TypesModule, FloatReadsLimitsAndWrites) {
    CORVID2::Node& gain = node("Gain");
    gain.SetDouble(6.5);
    EXPECT_DOUBLE_EQ(gain.GetDouble(), 6.5);
    double stored = 0;
    std::memcpy(&stored, port_.bytes_.data() + 0x08, sizeof stored);
    EXPECT_DOUBLE_EQ(stored, 6.5);
    EXPECT_DOUBLE_EQ(gain.GetDoubleMin(), 0.0);
    EXPECT_DOUBLE_EQ(gain.GetDoubleMax(), 24.0);
    EXPECT_EQ(gain.GetDoublePrecision(), 3);
    EXPECT_STREQ(gain.GetUnit().get(), "dB");
    EXPECT_FALSE(gain.HasInc());
}

TEST_F(TypesModule, BooleanTakesBoolsAndIntegers) {
    CORVID2::Node& reverse = node("Reverse");
    reverse.SetBool(true);
    EXPECT_EQ(port_.u32(0x10), 1u);
    EXPECT_TRUE(reverse.GetBool());
    EXPECT_EQ(reverse.GetInt(), 1);
    reverse.SetInt(0);
    EXPECT_FALSE(reverse.GetBool());
    EXPECT_EQ(port_.u32(0x10), 0u);
}

TEST_F(TypesModule, EnumerationSelectsEntriesByNameAndByValue) {
    CORVID2::Node& mode = node("Mode");
    mode.SetValue("Auto");
    EXPECT_EQ(port_.u32(0x18), 2u);
    EXPECT_EQ(mode.GetInt(), 2);
    EXPECT_STREQ(mode.GetString().get(), "Auto");
    mode.SetInt(1);
    EXPECT_STREQ(mode.GetValue().get(), "On");

    CORVID2::NodeMap* entries = mode.GetEnumNodeList();
    // Keyed by symbolic name; the entry nodes keep the engine's own names.
    EXPECT_EQ(entries->size(), 3u);
    for (const char* symbolic : {"Auto", "Off", "On"}) EXPECT_TRUE(entries->GetNodePresent(symbolic)) << symbolic;
    EXPECT_STREQ(entries->GetNodeByIndex(0)->GetName().get(), "EnumEntry_Mode_Auto");
    EXPECT_EQ(entries->GetNode("Auto")->GetInt(), 2);
    EXPECT_STREQ(entries->GetNode("Auto")->GetValue().get(), "Auto");
    // The view is made once and kept.
    EXPECT_EQ(mode.GetEnumNodeList(), entries);
}

TEST_F(TypesModule, CommandExecutesAndReportsItsState) {
    CORVID2::Node& trigger = node("Trigger");
    trigger.Execute();
    EXPECT_EQ(port_.u32(0x14), 1u);
    const bool done = trigger.IsDone();
    EXPECT_STREQ(trigger.GetValue().get(), done ? "Done" : "InProgress");
    port_.setU32(0x14, 0);
    EXPECT_TRUE(trigger.IsDone());
    EXPECT_STREQ(trigger.GetValue().get(), "Done");
}

TEST_F(TypesModule, StringAndRegisterKeepTheirBytes) {
    CORVID2::Node& label = node("Label");
    label.SetString("camera-1");
    EXPECT_STREQ(label.GetString().get(), "camera-1");
    EXPECT_STREQ(reinterpret_cast<const char*>(port_.bytes_.data() + 0x40), "camera-1");
    EXPECT_EQ(label.GetMaxStringLength(), 16);

    CORVID2::Node& lut = node("Lut");
    const std::uint8_t written[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    lut.set(written, sizeof written);
    std::uint8_t read[8] = {};
    lut.get(read, sizeof read);
    EXPECT_EQ(std::memcmp(read, written, sizeof read), 0);
    EXPECT_EQ(std::memcmp(port_.bytes_.data() + 0x20, written, sizeof written), 0);
    EXPECT_EQ(lut.getAddress(), 0x20);
    EXPECT_EQ(lut.getLength(), 8);
}

TEST_F(TypesModule, CategoriesAndSelectorsShowTheirFeatures) {
    CORVID2::Node& values = node("Values");
    EXPECT_EQ(names(values.GetNodeTree()),
              (std::vector<std::string>{"Fixed", "Gain", "Label", "Mode", "Reverse", "Trigger", "Width"}));
    EXPECT_EQ(names(values.GetNodeList()), names(values.GetNodeTree()));
    EXPECT_TRUE(node("LutIndex").IsSelector());
    EXPECT_FALSE(node("Width").IsSelector());
    EXPECT_EQ(names(node("LutIndex").GetSelectedNodeList()), (std::vector<std::string>{"Lut"}));
}

// ---- failures ----------------------------------------------------------------------------------

TEST_F(TypesModule, OperationsATypeLacksAreNotAvailable) {
    struct Case {
        const char* node;
        std::function<void(CORVID2::Node&)> call;
        const char* prefix;
    };
    const Case cases[] = {
        {"Trigger", [](CORVID2::Node& n) { n.GetInt(); }, "getValueInt"},
        {"Label", [](CORVID2::Node& n) { n.SetDouble(1.0); }, "setValueDouble"},
        {"Width", [](CORVID2::Node& n) { n.GetBool(); }, "getValueBool"},
        {"Width", [](CORVID2::Node& n) { n.Execute(); }, "Execute"},
        {"Gain", [](CORVID2::Node& n) { n.GetMaxStringLength(); }, "getMaxStringLength"},
        {"Mode", [](CORVID2::Node& n) { n.GetIntMin(); }, "getMinInt"},
        {"Width",
         [](CORVID2::Node& n) {
             std::uint8_t b[4];
             n.get(b, 4);
         },
         "get"},
        {"Width", [](CORVID2::Node& n) { n.GetEnumNodeList(); }, "getEnumNodeMap"},
        {"Width", [](CORVID2::Node& n) { n.GetNodeTree(); }, "getNodeMap"},
    };
    for (const Case& c : cases) {
        const std::string message =
            std::string("'") + c.node + "' - " + c.prefix + " not supported for Node '" + c.node + "'";
        EXPECT_EQ(exceptionText([&] { c.call(node(c.node)); }), "NotAvailableException: " + message);
        Result code = Result::Success;
        EXPECT_EQ(lastErrorText(&code), message);
        EXPECT_EQ(code, Result::NotAvailable);
    }
    EXPECT_EQ(exceptionText([&] { node("Width").GetEventID(); }),
              "NotAvailableException: 'Width' - getEventID not available for Node 'Width'");
    EXPECT_EQ(exceptionText([&] { node("Width").GetAlias(); }),
              "NotAvailableException: 'Width' - getAliasNode not available for Node 'Width'");
}

TEST_F(TypesModule, RefusedWritesLeaveTheValue) {
    CORVID2::Node& width = node("Width");
    const std::string outOfRange = exceptionText([&] { width.SetInt(5000); });
    EXPECT_EQ(outOfRange.rfind("InvalidParameterException: 'Width' - ", 0), 0u) << outOfRange;
    EXPECT_EQ(width.GetInt(), 640);
    EXPECT_EQ(port_.u32(0x00), 640u);

    const std::string readOnly = exceptionText([&] { node("Fixed").SetInt(3); });
    EXPECT_EQ(readOnly.rfind("AccessDeniedException: 'Fixed' - ", 0), 0u) << readOnly;
    EXPECT_EQ(node("Fixed").GetInt(), 7);
    EXPECT_EQ(port_.u32(0x60), 7u);

    const std::string noEntry = exceptionText([&] { node("Mode").SetValue("Bogus"); });
    EXPECT_EQ(noEntry.rfind("InvalidParameterException: 'Mode' - ", 0), 0u) << noEntry;
    EXPECT_EQ(node("Mode").GetInt(), 0);
}

TEST_F(TypesModule, TraceLinesNameNodeOperationAndValue) {
    TraceCapture capture;
    node("Width").GetInt();
    node("Gain").SetDouble(6.5);
    node("Reverse").GetBool();
    node("Width").IsReadable();
    node("Fixed").IsWriteable();
    node("Trigger").Execute();
    std::uint8_t bytes[8];
    node("Lut").get(bytes, sizeof bytes);
    exceptionText([&] { node("Trigger").GetInt(); });
    for (const char* line :
         {"Node [Width]; GetInt; 640", "Node [Gain]; SetDouble; 6.500000", "Node [Reverse]; GetBool; false",
          "Node [Width]; IsReadable; True", "Node [Fixed]; IsWritable; False", "Node [Trigger]; Execute; called",
          "Node [Lut]; get", "Node; GetInt; 'Trigger' - getValueInt not supported for Node 'Trigger'"})
        EXPECT_EQ(capture.count(line), 1u) << line;
}

// ---- guards ------------------------------------------------------------------------------------

class NodeGuards : public TypesModule {
protected:
    // What `call` throws on another thread.
    static std::string thrownElsewhere(const std::function<void()>& call) {
        std::string text;
        std::thread([&] { text = exceptionText(call); }).join();
        return text;
    }
};

TEST_F(NodeGuards, WriteLockOfAnotherThreadRefusesSettersOnly) {
    CORVID2::Node& width = node("Width");
    CINodeGuard("test").ActivateWriteLock(&width, NodeAccess::slot(width));
    const char* denied = "AccessDeniedException: Access denied to an NodeControlData object.";
    EXPECT_EQ(thrownElsewhere([&] { width.SetInt(32); }), denied);
    EXPECT_EQ(thrownElsewhere([&] { width.SetValue("32"); }), denied);
    EXPECT_EQ(thrownElsewhere([&] { width.GetInt(); }), "no exception");
    EXPECT_EQ(port_.u32(0x00), 640u);
    // The holder of the lock writes.
    width.SetInt(32);
    EXPECT_EQ(port_.u32(0x00), 32u);
    CINodeGuard("test").ReleaseWriteLock(&width, NodeAccess::slot(width));
    EXPECT_EQ(thrownElsewhere([&] { width.SetInt(48); }), "no exception");
    EXPECT_EQ(port_.u32(0x00), 48u);
}

TEST_F(NodeGuards, WriteLockOnTheWrapperRefusesCommandsToo) {
    CGenAPINode* wrapper = genapi_.getNode("Trigger");
    GenAPINodeGuard("test").ActivateWriteLock(nullptr, &wrapper);
    EXPECT_EQ(thrownElsewhere([&] { node("Trigger").Execute(); }),
              "AccessDeniedException: Access denied to an GenAPINode object.");
    EXPECT_EQ(port_.u32(0x14), 0u);
    GenAPINodeGuard("test").ReleaseWriteLock(nullptr, &wrapper);
    EXPECT_EQ(thrownElsewhere([&] { node("Trigger").Execute(); }), "no exception");
}

TEST_F(NodeGuards, NodeWhoseWrapperIsGoneIsInvalidNotACrash) {
    CORVID2::Node& width = node("Width");
    CORVID2::NodeMap* tree = front_.GetNodeTree();
    genapi_.releaseNodeMap();
    const char* invalid = "ObjectInvalidException: Access to an invalid GenAPINode object.";
    EXPECT_EQ(exceptionText([&] { width.GetInt(); }), invalid);
    EXPECT_EQ(exceptionText([&] { width.SetInt(32); }), invalid);
    EXPECT_EQ(exceptionText([&] { width.GetName(); }), invalid);
    Result code = Result::Success;
    lastErrorText(&code);
    EXPECT_EQ(code, Result::ObjectInvalid);

    // A rebuilt map may put new wrappers at the old addresses: their identities differ.
    genapi_.setXML(&typesDescription());
    genapi_.connectPort(&port_, "Device");
    EXPECT_EQ(exceptionText([&] { width.GetInt(); }), invalid);
    EXPECT_EQ(exceptionText([&] { tree->GetNode("Values")->GetNodeTree(); }), invalid);
    // Attaching again makes new Node objects for the new wrappers.
    attachNodeSource(front_, &genapi_);
    EXPECT_EQ(node("Width").GetInt(), 640);
}

TEST_F(NodeGuards, ThreadsShareFirstUseAndReads) {
    attachNodeSource(front_, &genapi_);  // views not made yet
    CORVID2::NodeMap* lists[2] = {};
    CORVID2::NodeMap* entries[2] = {};
    std::int64_t sums[2] = {};
    std::string failures[2];
    auto worker = [&](int i) {
        lists[i] = front_.GetNodeList();
        entries[i] = front_.GetNode("Mode")->GetEnumNodeList();
        CORVID2::Node* width = front_.GetNode("Width");
        for (int n = 0; n < 200; ++n) sums[i] += width->GetInt();
        failures[i] = exceptionText([&] { width->GetBool(); });
    };
    std::thread other(worker, 1);
    worker(0);
    other.join();
    EXPECT_EQ(lists[0], lists[1]);
    EXPECT_EQ(entries[0], entries[1]);
    EXPECT_EQ(sums[0], 200 * 640);
    EXPECT_EQ(sums[1], 200 * 640);
    EXPECT_EQ(failures[0], failures[1]);
}

TEST_F(NodeGuards, NodeOfADetachedModuleIsInvalidNotACrash) {
    // The application still holds pointers that its module's close made stale.
    CORVID2::Node* width = front_.GetNode("Width");
    CORVID2::NodeMap* features = front_.GetNodeList();
    attachNodeSource(front_, nullptr);
    EXPECT_EQ(exceptionText([&] { width->SetInt(32); }),
              "ObjectInvalidException: Access to an invalid NodeControlData object.");
    EXPECT_EQ(exceptionText([&] { width->GetNodeTree(); }),
              "ObjectInvalidException: Access to an invalid NodeControlData object.");
    EXPECT_EQ(exceptionText([&] { features->size(); }), "ObjectInvalidException: Access to an invalid NodeMap object.");
    EXPECT_EQ(exceptionText([&] { features->GetNode("Width"); }),
              "ObjectInvalidException: Access to an invalid NodeMap object.");
    EXPECT_EQ(port_.u32(0x00), 640u);
}

TEST_F(NodeGuards, DetachingDestroysTheNodesAndTheirViews) {
    auto& nodes = registryOf(RegistryKind::NodeControlData);
    auto& maps = registryOf(RegistryKind::NodeMap);
    attachNodeSource(front_, nullptr);
    const std::size_t nodesBefore = nodes.objectCount(), mapsBefore = maps.objectCount();
    attachNodeSource(front_, &genapi_);
    node("Mode").GetEnumNodeList();
    node("Values").GetNodeTree();
    EXPECT_GT(nodes.objectCount(), nodesBefore);
    EXPECT_GT(maps.objectCount(), mapsBefore + 2);
    attachNodeSource(front_, nullptr);
    EXPECT_EQ(nodes.objectCount(), nodesBefore);
    EXPECT_EQ(maps.objectCount(), mapsBefore);
}

}  // namespace
