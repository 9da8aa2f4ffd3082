// SPDX-License-Identifier: BSD-3-Clause
// The simulator opened module by module through raw GenTL calls, with one port object per module,
// and the helpers the feature tests share (fault arming, last error, small register access).
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include <corvid2/genapi/genapi.h>

#include "core/last_error.h"
#include "core/result_codes.h"
#include "features/genapi_port.h"
#include "features/port_iface.h"
#include "features/xml_loader.h"
#include "modules/producerobj.h"
#include "producers/producer_test_support.h"

namespace corvid2::test {

// Register of the system module's own description: the simulator's fault switches and a free register.
constexpr std::uint64_t kGenTLVersionMajorAddress = 0x204;
constexpr std::uint64_t kGenTLVersionMinorAddress = 0x208;
constexpr std::uint64_t kFaultFunctionAddress = 0x1000;
constexpr std::uint64_t kFaultCodeAddress = 0x1040;
constexpr std::uint64_t kFaultCountAddress = 0x1044;
constexpr std::uint64_t kFaultArmAddress = 0x1048;
constexpr std::uint64_t kIncompleteEveryAddress = 0x104C;  // plain RW register without side effects
constexpr std::uint64_t kDeviceSelectorAddress = 0x104;    // of the interface module

inline std::string lastErrorText(Result* code = nullptr) {
    std::string text;
    GetLastErrorText(text, code);
    return text;
}

// The module's first loadable description as a node map connected to `port` under its port name.
inline std::unique_ptr<genapi::INodeMap> connectedNodeMap(CModulePort& port, std::string* text = nullptr) {
    std::unique_ptr<CXmlLoader> loader;
    EXPECT_EQ(loadPortDescription(port.port(), loader), Result::Success);
    if (!loader) return nullptr;
    genapi::CNodeMapFactory factory(genapi::ContentType_Xml, loader->text().data(), loader->text().size());
    factory.Preprocess();
    auto nodeMap = factory.CreateNodeMap("Device", false);
    EXPECT_TRUE(port.connectNodeMap(nodeMap.get(), port.port().portName()));
    if (text) *text = loader->text();
    return nodeMap;
}

// The simulator's module tree opened as far as `depth` asks: system, interface, device with remote
// port, data stream with one announced buffer. `settings` go into the producer's ".env" file.
class SimModules {
public:
    enum Depth { kSystem, kInterface, kDevice, kStream };

    void open(Depth depth, const std::string& settings = "") {
        producer_ = std::make_unique<CProducerObj>(folder_.add(simFile(), "features.cti", settings));
        ASSERT_TRUE(producer_->loadProducer());
        table_ = producer_->table();
        ASSERT_EQ(table_->TLOpen(&system_), GC_ERR_SUCCESS);
        if (depth >= kInterface) {
            bool8_t changed = false;
            ASSERT_EQ(table_->TLUpdateInterfaceList(system_, &changed, 1000), GC_ERR_SUCCESS);
            char id[256] = {};
            size_t size = sizeof id;
            ASSERT_EQ(table_->TLGetInterfaceID(system_, 0, id, &size), GC_ERR_SUCCESS);
            interfaceId_ = id;
            ASSERT_EQ(table_->TLOpenInterface(system_, id, &interface_), GC_ERR_SUCCESS);
        }
        if (depth >= kDevice) {
            bool8_t changed = false;
            ASSERT_EQ(table_->IFUpdateDeviceList(interface_, &changed, 1000), GC_ERR_SUCCESS);
            char id[256] = {};
            size_t size = sizeof id;
            ASSERT_EQ(table_->IFGetDeviceID(interface_, 0, id, &size), GC_ERR_SUCCESS);
            deviceId_ = id;
            ASSERT_EQ(table_->IFOpenDevice(interface_, id, DEVICE_ACCESS_CONTROL, &device_), GC_ERR_SUCCESS);
            ASSERT_EQ(table_->DevGetPort(device_, &remote_), GC_ERR_SUCCESS);
        }
        if (depth >= kStream) {
            char id[256] = {};
            size_t size = sizeof id;
            ASSERT_EQ(table_->DevGetDataStreamID(device_, 0, id, &size), GC_ERR_SUCCESS);
            ASSERT_EQ(table_->DevOpenDataStream(device_, id, &stream_), GC_ERR_SUCCESS);
            ASSERT_EQ(table_->DSAllocAndAnnounceBuffer(stream_, 4096, nullptr, &buffer_), GC_ERR_SUCCESS);
        }
    }

    ~SimModules() {
        if (table_ == nullptr) return;
        if (buffer_) table_->DSRevokeBuffer(stream_, buffer_, nullptr, nullptr);
        if (stream_) table_->DSClose(stream_);
        if (device_) table_->DevClose(device_);
        if (interface_) table_->IFClose(interface_);
        if (system_) table_->TLClose(system_);
    }

    // A port object for one module handle, named after the port as the producer names it.
    std::unique_ptr<CModulePort> port(void* handle, const std::string& objectName = "TestModule") {
        auto modulePort = std::make_unique<CModulePort>(table_, "", objectName);
        modulePort->port().setHandle(handle);
        std::string name;
        EXPECT_EQ(modulePort->port().getPortInfoText(PORT_INFO_PORTNAME, name), Result::Success);
        modulePort->port().setPortName(name);
        return modulePort;
    }

    // The next `count` calls of `function` fail with `code` (set through the system port's registers).
    void armFault(const std::string& function, std::int32_t code, std::uint32_t count = 1) {
        IPortIface faults(table_, "Faults");
        faults.setHandle(system_);
        char name[64] = {};
        std::strncpy(name, function.c_str(), sizeof name - 1);
        const std::uint32_t arm = 1;
        writeValue(faults, kFaultFunctionAddress, name, sizeof name);
        writeValue(faults, kFaultCodeAddress, &code, sizeof code);
        writeValue(faults, kFaultCountAddress, &count, sizeof count);
        writeValue(faults, kFaultArmAddress, &arm, sizeof arm);
    }

    static void writeValue(IPortIface& port, std::uint64_t address, const void* bytes, size_t length) {
        size_t size = length;
        ASSERT_EQ(port.WritePort(address, bytes, &size), Result::Success) << lastErrorText();
    }
    static std::uint32_t readU32(IPortIface& port, std::uint64_t address) {
        std::uint32_t value = 0;
        size_t size = sizeof value;
        EXPECT_EQ(port.ReadPort(address, &value, &size), Result::Success) << lastErrorText();
        return value;
    }

    ProducerFolder folder_;
    std::unique_ptr<CProducerObj> producer_;
    CGenTLProducer* table_ = nullptr;
    TL_HANDLE system_ = nullptr;
    IF_HANDLE interface_ = nullptr;
    DEV_HANDLE device_ = nullptr;
    PORT_HANDLE remote_ = nullptr;
    DS_HANDLE stream_ = nullptr;
    BUFFER_HANDLE buffer_ = nullptr;
    std::string interfaceId_, deviceId_;
};

}  // namespace corvid2::test
