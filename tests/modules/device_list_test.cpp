// SPDX-License-Identifier: BSD-3-Clause
// Devices of an open Interface: their information before and after opening, and the device list
// following cameras that are unplugged and plugged in.
#include <atomic>
#include <thread>

#include "modules/device_data.h"
#include "modules/deviceobj.h"
#include "support/errors.h"
#include "support/sim_system.h"
#include "support/trace_capture.h"

using namespace corvid2::test;
using CORVID2::Device;
using CORVID2::DeviceList;
using corvid2::Result;

namespace {

class DeviceListTest : public OpenSystemTest {
protected:
    void SetUp() override {
        OpenSystemTest::SetUp();
        iface_ = openInterface("SimGEV0");
        devices_ = iface_->GetDevices();
        devices_->Refresh(kRefreshMs);
    }
    CORVID2::Interface* iface_ = nullptr;
    DeviceList* devices_ = nullptr;
};

struct ExpectedDevice {
    const char* id;
    const char* model;
    const char* serial;
};

}  // namespace

TEST_F(DeviceListTest, ListIsOrderedByIdAndAnswersLookups) {
    ASSERT_EQ(ids(*devices_), (std::vector<std::string>{"SimBayer0", "SimMono0"}));
    Device* mono = (*devices_)["SimMono0"];
    EXPECT_EQ((*devices_)[1], mono);
    EXPECT_EQ(*devices_->find("SimMono0"), mono);
    EXPECT_TRUE(devices_->find("SimSerial0") == devices_->end());
    EXPECT_EQ(exceptionText([&] { (*devices_)["SimSerial0"]; }),
              "InvalidParameterException: The ID SimSerial0 is not in list.");
    EXPECT_EQ(exceptionText([&] { (*devices_)[2]; }), "InvalidParameterException: The index 2 is not in list.");
    EXPECT_EQ(mono->GetParent(), iface_);
    devices_->clear();
    EXPECT_EQ(devices_->size(), 0u);
    EXPECT_EQ(objectOf(iface_)->deviceCount(), 0u);
}

TEST_F(DeviceListTest, InformationOfClosedDevicesComesFromTheInterface) {
    // The first camera made gets the first serial number; the Bayer camera is made second.
    const ExpectedDevice expected[] = {{"SimMono0", "Corvid2SimMono", "SN10000"},
                                       {"SimBayer0", "Corvid2SimBayer", "SN10001"}};
    TraceCapture trace;
    for (const ExpectedDevice& e : expected) {
        Device* device = (*devices_)[e.id];
        EXPECT_FALSE(device->IsOpen());
        EXPECT_EQ(device->GetID(), e.id);
        EXPECT_EQ(device->GetVendor(), "Velmor");
        EXPECT_EQ(device->GetModel(), e.model);
        EXPECT_EQ(device->GetSerialNumber(), e.serial);
        EXPECT_EQ(device->GetTLType(), "GEV");
        EXPECT_EQ(std::string(device->GetDisplayName().get()),
                  std::string("Velmor ") + e.model + " (" + e.serial + ")");
        EXPECT_EQ(device->GetAccessStatus(), "RW");
        EXPECT_EQ(trace.count(std::string("; GetSerialNumber; Interface SerialNumber: ") + e.serial), 1u);
        EXPECT_EQ(trace.count(std::string("; GetDeviceModel; Interface DeviceModel: ") + e.model), 1u);
    }
}

TEST_F(DeviceListTest, DeviceWithoutItsObjectFailsUnderTheNameOfTheCalledMethod) {
    Device* mono = (*devices_)["SimMono0"];
    auto* data = static_cast<CORVID2::Internal::DeviceData*>(mono->GetReserved());
    corvid2::CDeviceObj* object = data->device_;
    data->device_ = nullptr;
    TraceCapture trace;
    for (const char* method : {"GetID", "GetAccessStatus", "Open"}) {
        const std::string name = method;
        try {
            if (name == "GetID") mono->GetID();
            if (name == "GetAccessStatus") mono->GetAccessStatus();
            if (name == "Open") mono->Open();
            ADD_FAILURE() << method << " succeeded without a device object";
        } catch (const CORVID2::Exceptions::NotInitializedException& e) {
            EXPECT_EQ(e.GetFunctionName(), ("CORVID2::Device::" + name).c_str());
            EXPECT_EQ(e.GetErrorDescription(), "The device is not available.");
        }
        EXPECT_EQ(trace.count("; Device; " + name + "; The device is not available."), 1u) << method;
    }
    EXPECT_EQ(trace.count("withDevice"), 0u);
    data->device_ = object;
    EXPECT_EQ(mono->GetID(), "SimMono0");
}

TEST_F(DeviceListTest, OpenDeviceAnswersItselfAndRefusesASecondOpen) {
    Device* mono = (*devices_)["SimMono0"];
    mono->Open();
    EXPECT_TRUE(mono->IsOpen());
    EXPECT_EQ(mono->GetAccessStatus(), "OpenRW");
    EXPECT_EQ(objectOf(mono)->accessStatus(), corvid2::DeviceAccess::ReadWrite);
    EXPECT_EQ(objectOf(mono)->traceName(), "Velmor Corvid2SimMono (SN10000)");
    EXPECT_EQ(objectOf(mono)->tlType(), "GEV");
    EXPECT_EQ(mono->GetNode("DeviceSerialNumber")->GetValue(), "SN10000");
    TraceCapture trace;
    EXPECT_EQ(mono->GetModel(), "Corvid2SimMono");
    EXPECT_EQ(trace.count("; GetModel; Device Model: Corvid2SimMono"), 1u);
    EXPECT_EQ(exceptionText([&] { mono->OpenReadOnly(); }),
              "ResourceInUseException: Device SimMono0 is already opened.");
    mono->Close();
    EXPECT_FALSE(mono->IsOpen());
    EXPECT_EQ(mono->GetAccessStatus(), "RW");
    EXPECT_EQ(exceptionText([&] { mono->GetNode("DeviceSerialNumber"); }),
              "InvalidParameterException: The node 'DeviceSerialNumber' does not exist.");
    mono->Close();
    EXPECT_EQ(trace.count("; Close; Device not opened"), 1u);

    mono->OpenReadOnly();
    EXPECT_EQ(mono->GetAccessStatus(), "OpenRO");
    EXPECT_EQ(objectOf(mono)->accessStatus(), corvid2::DeviceAccess::ReadOnly);
    // Closing the interface closes its devices first.
    iface_->Close();
    EXPECT_EQ(trace.count("; CloseDevice; Device SimMono0 closed"), 2u);
}

TEST_F(DeviceListTest, UnpluggedDeviceLeavesWhileClosedAndStaysWhileOpen) {
    Device* mono = (*devices_)["SimMono0"];
    Device* bayer = (*devices_)["SimBayer0"];
    mono->Open();
    simulate("SimUnplugDeviceID", "SimMono0");
    simulate("SimUnplugDeviceID", "SimBayer0");
    devices_->Refresh(kRefreshMs);
    EXPECT_EQ(ids(*devices_), std::vector<std::string>{"SimMono0"});
    EXPECT_EQ((*devices_)[0], mono);
    EXPECT_TRUE(mono->IsOpen());
    (void)bayer;

    mono->Close();
    devices_->Refresh(kRefreshMs);
    EXPECT_EQ(devices_->size(), 0u);
    EXPECT_EQ(objectOf(iface_)->deviceCount(), 0u);

    simulate("SimPlugDeviceID", "SimBayer0");
    devices_->Refresh(kRefreshMs);
    EXPECT_EQ(ids(*devices_), std::vector<std::string>{"SimBayer0"});
}

TEST_F(DeviceListTest, UpdateWithObjectSyncDeletesOnlyClosedDevices) {
    corvid2::CInterfaceObj& object = *objectOf(iface_);
    (*devices_)["SimMono0"]->Open();
    simulate("SimUnplugDeviceID", "SimMono0");
    simulate("SimUnplugDeviceID", "SimBayer0");
    simulate("SimPlugDeviceID", "SimExtra0");
    bool changed = false;
    TraceCapture trace;
    ASSERT_EQ(object.UpdateDeviceList(&changed, kRefreshMs, true), Result::Success);
    EXPECT_TRUE(changed);
    // SimBayer0 (closed) went, SimMono0 (open) stayed, SimExtra0 was added.
    EXPECT_EQ(object.deviceCount(), 2u);
    EXPECT_EQ(object.findDevice("SimBayer0"), nullptr);
    ASSERT_NE(object.findDevice("SimMono0"), nullptr);
    EXPECT_TRUE(object.findDevice("SimMono0")->isOpen());
    ASSERT_NE(object.findDevice("SimExtra0"), nullptr);
    // The public Device of the deleted object is refused instead of reaching freed memory.
    EXPECT_EQ(exceptionText([&] { (*devices_)["SimBayer0"]->GetModel(); }).rfind("ObjectInvalidException", 0), 0u);

    // The producer reports no change now, but it lists one device for two objects (the open one stays).
    ASSERT_EQ(object.UpdateDeviceList(&changed, kRefreshMs, false), Result::Success);
    EXPECT_TRUE(changed);
    EXPECT_EQ(trace.count("; UpdateDeviceList; List changed to true"), 1u);
    EXPECT_EQ(object.DeleteDevice(nullptr), Result::InvalidParameter);
    // The public list follows and drops the Device whose object is gone.
    devices_->Refresh(kRefreshMs);
    EXPECT_EQ(ids(*devices_), (std::vector<std::string>{"SimExtra0", "SimMono0"}));
}

TEST_F(DeviceListTest, RefreshesAndQueriesFromSeveralThreadsAgree) {
    // Readers refresh the list and read the Bayer camera while one thread opens and closes the
    // monochrome one; every reader must always see the same two devices and the same answers.
    constexpr int kRounds = 40;
    std::atomic<int> disagreements{0};
    std::vector<std::thread> threads;
    for (int reader = 0; reader < 3; ++reader)
        threads.emplace_back([&] {
            for (int round = 0; round < kRounds; ++round) {
                devices_->Refresh(kRefreshMs);
                if (ids(*devices_) != std::vector<std::string>{"SimBayer0", "SimMono0"}) ++disagreements;
                if (std::string((*devices_)["SimBayer0"]->GetSerialNumber().get()) != "SN10001") ++disagreements;
                if (std::string(iface_->GetTLType().get()) != "GEV") ++disagreements;
            }
        });
    threads.emplace_back([&] {
        Device* mono = (*devices_)["SimMono0"];
        for (int round = 0; round < kRounds; ++round) {
            mono->Open();
            if (std::string(mono->GetAccessStatus().get()) != "OpenRW") ++disagreements;
            mono->Close();
        }
    });
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(disagreements.load(), 0);
    EXPECT_EQ(objectOf(iface_)->deviceCount(), 2u);
}
