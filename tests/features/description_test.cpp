// SPDX-License-Identifier: BSD-3-Clause
// The simulator's own descriptions: every module's loads and drives a node map through its port,
// the camera's archive, fallback from failing locations, the stream's "File:" description, and the
// repair hook of our own remote devices.
#include <gtest/gtest.h>

#include <pugixml.hpp>

#include "features/xml_loader.h"
#include "support/genapi_maps.h"
#include "support/scratch.h"
#include "support/sim_producer.h"

using namespace corvid2;
using namespace corvid2::test;

namespace {

class SimDescriptions : public ::testing::Test {
protected:
    std::unique_ptr<CXmlLoader> loadFrom(IPortIface& port, std::uint32_t index) {
        std::string url;
        EXPECT_EQ(port.GetPortURL(index, &url), Result::Success);
        auto loader = std::make_unique<CXmlLoader>();
        EXPECT_TRUE(loader->load(url, &port)) << url;
        return loader;
    }
    SimModules sim_;
};

std::string stringFeature(genapi::INodeMap& map, const char* name) {
    return genapi::CStringPtr(map.GetNode(name))->GetValue();
}
std::int64_t intFeature(genapi::INodeMap& map, const char* name) {
    return genapi::CIntegerPtr(map.GetNode(name))->GetValue();
}

constexpr char kRepairMark[] = "mended for the test";

void markWidth(pugi::xml_node& node) {
    if (std::string(node.attribute("Name").value()) == "Width") node.child("ToolTip").text() = kRepairMark;
}

}  // namespace

TEST_F(SimDescriptions, EveryModulesDescriptionBuildsANodeMapThatReadsThroughItsPort) {
    sim_.open(SimModules::kStream);
    struct Module {
        const char* name;
        void* handle;
        std::function<void(genapi::INodeMap&)> check;
    };
    const Module modules[] = {
        {"system", sim_.system_, [](genapi::INodeMap& map) { EXPECT_EQ(intFeature(map, "GenTLVersionMajor"), 1); }},
        {"interface", sim_.interface_,
         [&](genapi::INodeMap& map) { EXPECT_EQ(stringFeature(map, "InterfaceID"), sim_.interfaceId_); }},
        {"device", sim_.device_,
         [&](genapi::INodeMap& map) { EXPECT_EQ(stringFeature(map, "DeviceID"), sim_.deviceId_); }},
        {"remote device", sim_.remote_, [](genapi::INodeMap& map) { EXPECT_EQ(intFeature(map, "Width"), 640); }},
        {"data stream", sim_.stream_,
         [](genapi::INodeMap& map) { EXPECT_EQ(intFeature(map, "StreamAnnouncedBufferCount"), 1); }},
        {"buffer", sim_.buffer_,
         [&](genapi::INodeMap& map) {
             std::uint64_t frameId = 0;
             size_t size = sizeof frameId;
             INFO_DATATYPE type = 0;
             ASSERT_EQ(
                 sim_.table_->DSGetBufferInfo(sim_.stream_, sim_.buffer_, BUFFER_INFO_FRAMEID, &type, &frameId, &size),
                 GC_ERR_SUCCESS);
             EXPECT_EQ(intFeature(map, "BufferFrameID"), static_cast<std::int64_t>(frameId));
         }},
    };
    for (const Module& module : modules) {
        SCOPED_TRACE(module.name);
        auto port = sim_.port(module.handle);
        auto map = connectedNodeMap(*port);
        ASSERT_TRUE(map);
        module.check(*map);
    }
}

TEST_F(SimDescriptions, TheCamerasArchiveInflatesToItsPlainDescription) {
    sim_.open(SimModules::kDevice);
    auto camera = sim_.port(sim_.remote_);
    auto zipped = loadFrom(camera->port(), 0);
    auto plain = loadFrom(camera->port(), 1);
    EXPECT_TRUE(zipped->fromDeviceMemory());
    EXPECT_GT(plain->text().size(), 1000u);
    EXPECT_EQ(zipped->text(), plain->text());
}

TEST_F(SimDescriptions, AFailingLocationGivesWayToTheNext) {
    sim_.open(SimModules::kDevice);
    auto camera = sim_.port(sim_.remote_);
    std::unique_ptr<CXmlLoader> loaded;
    sim_.armFault("GCReadPort", GC_ERR_IO, 1);  // the archive at location 0 cannot be read
    ASSERT_EQ(loadPortDescription(camera->port(), loaded), Result::Success);
    ASSERT_TRUE(loaded);
    EXPECT_NE(loaded->text().find("<RegisterDescription"), std::string::npos);

    sim_.armFault("GCReadPort", GC_ERR_IO, 2);  // neither location
    EXPECT_EQ(loadPortDescription(camera->port(), loaded), Result::Success);
    EXPECT_FALSE(loaded);
}

TEST_F(SimDescriptions, TheStreamsFileDescriptionAndItsDeviceMemoryFallback) {
    ScratchFolder xmlFolder;
    sim_.open(SimModules::kStream, "CORVID2_SIM_XML_DIR=" + xmlFolder.path().string() + "\n");
    auto stream = sim_.port(sim_.stream_);
    std::string url;
    ASSERT_EQ(stream->port().GetPortURL(0, &url), Result::Success);
    const auto location = parseDescriptionLocation(url);
    ASSERT_TRUE(location);
    ASSERT_EQ(location->scheme, DescriptionLocation::Scheme::File);
    EXPECT_EQ(fs::path(location->fileName).parent_path(), xmlFolder.path());

    std::unique_ptr<CXmlLoader> loaded;
    ASSERT_EQ(loadPortDescription(stream->port(), loaded), Result::Success);
    ASSERT_TRUE(loaded);
    EXPECT_FALSE(loaded->fromDeviceMemory());
    const std::string fromFile = loaded->text();

    fs::remove(location->fileName);
    ASSERT_EQ(loadPortDescription(stream->port(), loaded), Result::Success);
    ASSERT_TRUE(loaded);
    EXPECT_TRUE(loaded->fromDeviceMemory());
    EXPECT_EQ(loaded->text(), fromFile);
}

TEST_F(SimDescriptions, RepairsApplyToOurOwnVendorsRemoteDevicesOnly) {
    sim_.open(SimModules::kDevice);
    auto camera = sim_.port(sim_.remote_);
    std::string model;
    ASSERT_EQ(camera->port().getPortInfoText(PORT_INFO_MODEL, model), Result::Success);
    const DescriptionRepairs repairs = {{model, &markWidth}};

    auto loader = loadFrom(camera->port(), 1);
    EXPECT_EQ(loader->descriptionFor("TLPort"), loader->text());
    EXPECT_TRUE(loader->vendor().empty());                        // other module kinds do not even ask
    EXPECT_EQ(loader->descriptionFor("Device"), loader->text());  // the shipped table mends nothing
    EXPECT_EQ(loader->vendor(), "Velmor");
    EXPECT_EQ(loader->model(), model);
    const std::string repaired = loader->repairedText(repairs);
    ASSERT_NE(repaired, loader->text());
    EXPECT_EQ(repaired.rfind(R"(<?xml version="1.0" encoding="utf-8"?>)", 0), 0u);
    genapi::CNodeMapFactory factory(genapi::ContentType_Xml, repaired.data(), repaired.size());
    auto map = factory.CreateNodeMap("Device", false);
    EXPECT_EQ(map->GetNode("Width")->GetToolTip(), kRepairMark);

    const DescriptionRepairs otherModel = {{model + "X", &markWidth}};
    EXPECT_EQ(loader->repairedText(otherModel), loader->text());

    // A description not read from device memory is never repaired.
    ScratchFolder xmlFolder;
    CXmlLoader fromFile;
    const fs::path file = xmlFolder.write("camera.xml", loader->text());
    ASSERT_TRUE(fromFile.load("File:" + file.string(), &camera->port()));
    EXPECT_EQ(fromFile.repairedText(repairs), loader->text());
    EXPECT_TRUE(fromFile.vendor().empty());
}

TEST_F(SimDescriptions, OtherVendorsDescriptionsStayAsLoaded) {
    sim_.open(SimModules::kDevice, "CORVID2_SIM_VENDOR=Acme\n");
    auto camera = sim_.port(sim_.remote_);
    std::string model;
    ASSERT_EQ(camera->port().getPortInfoText(PORT_INFO_MODEL, model), Result::Success);
    auto loader = loadFrom(camera->port(), 1);
    EXPECT_EQ(loader->repairedText({{model, &markWidth}}), loader->text());
    EXPECT_EQ(loader->vendor(), "Acme");
}
