// SPDX-License-Identifier: BSD-3-Clause
// The camera behind an open Device: its node map and views, raw register access, the write stack,
// the description an application gives it, feature invalidation and the device's data streams.
#include <cstdint>
#include <string>

#include "modules/deviceobj.h"
#include "support/errors.h"
#include "support/sim_system.h"
#include "support/trace_capture.h"

using namespace corvid2::test;
using CORVID2::Device;
using CORVID2::Interface;
using corvid2::Result;
namespace X = CORVID2::Exceptions;

namespace {

constexpr std::uint64_t kWidthRegister = 0x1008;

// A description of one camera feature, enough to stand for the camera's own.
constexpr char kOwnDescription[] = R"(<?xml version="1.0" encoding="utf-8"?>
<RegisterDescription ModelName="Own" VendorName="Test" StandardNameSpace="None" SchemaMajorVersion="1"
  SchemaMinorVersion="1" SchemaSubMinorVersion="0" MajorVersion="1" MinorVersion="0" SubMinorVersion="0"
  ProductGuid="00000000-0000-0000-0000-000000000001" VersionGuid="00000000-0000-0000-0000-000000000002"
  xmlns="http://www.genicam.org/GenApi/Version_1_1">
  <Category Name="Root"><pFeature>OwnWidth</pFeature></Category>
  <Integer Name="OwnWidth"><pValue>OwnWidthReg</pValue></Integer>
  <IntReg Name="OwnWidthReg"><Address>0x1008</Address><Length>4</Length><AccessMode>RW</AccessMode>
    <pPort>Device</pPort><Sign>Unsigned</Sign><Endianess>LittleEndian</Endianess></IntReg>
  <Port Name="Device"/>
</RegisterDescription>
)";

class RemoteDeviceTest : public OpenSystemTest {
protected:
    Device* device(const char* interfaceId, const char* deviceId) {
        Interface* iface = openInterface(interfaceId);
        iface->GetDevices()->Refresh(kRefreshMs);
        return (*iface->GetDevices())[deviceId];
    }
    Device* mono() { return device("SimGEV0", "SimMono0"); }
};

std::uint32_t readU32(Device& device, std::uint64_t address) {
    std::uint32_t value = 0;
    device.ReadMemory(address, sizeof value, &value);
    return value;
}

}  // namespace

TEST_F(RemoteDeviceTest, CameraFeaturesOnlyWhileOpen) {
    Device* camera = mono();
    for (const auto& call : std::initializer_list<std::function<void()>>{
             [&] { camera->GetRemoteNode("Width"); }, [&] { camera->GetRemoteNodeList(); },
             [&] { camera->GetRemoteNodeTree(); }, [&] { camera->StartStacking(false); }, [&] { camera->WriteStack(); },
             [&] { camera->CancelStack(); }, [&] { camera->GetPayloadSize(); },
             [&] { camera->GetRemoteConfigurationFile(); }}) {
        EXPECT_EQ(exceptionText(call), "NotInitializedException: Device not opened");
    }
    camera->Open();
    EXPECT_EQ(camera->GetRemoteNode("Width")->GetInt(), 640);
    EXPECT_EQ(camera->GetRemoteNode("DeviceModelName")->GetValue(), "Corvid2SimMono");
    EXPECT_GT(camera->GetRemoteNodeList()->size(), 50u);
    EXPECT_EQ((*camera->GetRemoteNodeTree())[std::size_t{0}]->GetInterface(), "ICategory");
    // The device module's own features stay apart from the camera's.
    EXPECT_EQ(exceptionText([&] { camera->GetNode("Width"); }),
              "InvalidParameterException: The node 'Width' does not exist.");
    EXPECT_EQ(exceptionText([&] { camera->GetRemoteNode("Nothing"); }),
              "InvalidParameterException: The node 'Nothing' does not exist.");

    CORVID2::Node* width = camera->GetRemoteNode("Width");
    camera->Close();
    EXPECT_EQ(exceptionText([&] { camera->GetRemoteNode("Width"); }), "NotInitializedException: Device not opened");
    EXPECT_THROW(width->GetInt(), X::ObjectInvalidException);
    camera->Open();
    EXPECT_EQ(camera->GetRemoteNode("Width")->GetInt(), 640);
}

TEST_F(RemoteDeviceTest, PayloadSizeRawRegistersAndTheWriteStack) {
    Device* camera = mono();
    camera->Open();
    EXPECT_EQ(camera->GetPayloadSize(), 640u * 480u);
    EXPECT_EQ(readU32(*camera, kWidthRegister), 640u);

    // Raw writes bypass the node map's cache: the feature reads the new value only once told.
    std::uint32_t narrower = 320;
    camera->WriteMemory(kWidthRegister, sizeof narrower, &narrower);
    EXPECT_EQ(readU32(*camera, kWidthRegister), 320u);
    CORVID2::Node* width = camera->GetRemoteNode("Width");
    width->SetInt(320);
    EXPECT_EQ(camera->GetPayloadSize(), 320u * 480u);

    // Stacked writes reach the camera when the stack is written, and not at all when it is dropped.
    camera->StartStacking(false);
    width->SetInt(480);
    EXPECT_EQ(readU32(*camera, kWidthRegister), 320u);
    camera->WriteStack();
    EXPECT_EQ(readU32(*camera, kWidthRegister), 480u);
    camera->StartStacking(true);
    width->SetInt(160);
    camera->CancelStack();
    EXPECT_EQ(readU32(*camera, kWidthRegister), 480u);
    EXPECT_EQ(width->GetInt(), 480);

    EXPECT_EQ(exceptionText([&] { camera->ReadMemory(kWidthRegister, 4, nullptr); }),
              "InvalidParameterException: Invalid parameter, buffer is NULL");
}

TEST_F(RemoteDeviceTest, DescriptionGivenByTheApplicationReplacesTheCamerasOwn) {
    Device* camera = mono();
    camera->Open();
    const std::string offered = camera->GetRemoteConfigurationFile().get();
    EXPECT_NE(offered.find("ModelName=\"Corvid2SimCamera\""), std::string::npos);
    EXPECT_EQ(exceptionText([&] { camera->SetRemoteConfigurationFile(kOwnDescription); }),
              "ResourceInUseException: Device opened");
    camera->Close();

    camera->SetRemoteConfigurationFile(kOwnDescription);
    EXPECT_EQ(camera->GetRemoteConfigurationFile(), kOwnDescription);
    camera->Open();
    EXPECT_EQ(camera->GetRemoteNode("OwnWidth")->GetInt(), 640);
    EXPECT_THROW(camera->GetRemoteNode("Width"), X::InvalidParameterException);
    camera->Close();

    // An empty text goes back to the camera's own description.
    camera->SetRemoteConfigurationFile("");
    camera->Open();
    EXPECT_EQ(camera->GetRemoteNode("Width")->GetInt(), 640);
}

TEST_F(RemoteDeviceTest, OpenStartsInvalidationFindsTheParameterLockAndAccessFollowsTheOpenMode) {
    Device* camera = mono();
    camera->OpenReadOnly();
    corvid2::CDeviceObj* object = objectOf(camera);
    ASSERT_NE(object->remoteDevice(), nullptr);
    EXPECT_EQ(camera->GetAccessStatus(), "OpenRO");
    EXPECT_FALSE(object->remoteDevice()->writable());
    EXPECT_TRUE(object->invalidationListening());
    EXPECT_NE(object->tlParamsLocked(), nullptr);
    EXPECT_NE(object->disableTLParamsLocked(), nullptr);
    camera->Close();
    EXPECT_EQ(object->remoteDevice(), nullptr);
    EXPECT_FALSE(object->invalidationListening());
    EXPECT_EQ(object->tlParamsLocked(), nullptr);

    camera->Open();
    EXPECT_EQ(camera->GetAccessStatus(), "OpenRW");
    EXPECT_TRUE(object->remoteDevice()->writable());
    EXPECT_TRUE(object->invalidationListening());
}

TEST_F(RemoteDeviceTest, GigECamerasAreStoppedWhenOpenedOthersAreNot) {
    TraceCapture trace;
    mono()->Open();
    EXPECT_EQ(trace.count("; setHandle; AcquisitionStop executed"), 1u);
    EXPECT_EQ(trace.count("; setHandle; AcquisitionAbort executed"), 1u);
    device("SimU3V1", "SimPolarized0")->Open();
    EXPECT_EQ(trace.count("; setHandle; AcquisitionStop executed"), 1u);
}

TEST_F(RemoteDeviceTest, DataStreamsOfTheOpenDevice) {
    Device* camera = mono();
    corvid2::CDeviceObj* object = objectOf(camera);
    std::uint32_t count = 0;
    EXPECT_EQ(object->GetNumDataStreams(&count), Result::NotInitialized);
    camera->Open();
    ASSERT_EQ(object->GetNumDataStreams(&count), Result::Success);
    EXPECT_EQ(count, 1u);
    std::string id;
    ASSERT_EQ(object->GetDataStreamID(0, &id), Result::Success);
    EXPECT_EQ(id, "Stream0");
    EXPECT_EQ(object->GetDataStreamID(1, &id), Result::LowLevelError);
    EXPECT_EQ(object->GetDataStreamID(0, nullptr), Result::InvalidParameter);
}
