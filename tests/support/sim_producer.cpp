// SPDX-License-Identifier: BSD-3-Clause
// Copies of the simulated producer, its module tree opened through raw GenTL calls, and its faults.
#include "support/sim_producer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

#include "support/errors.h"

namespace corvid2::test {

fs::path simFile() { return CORVID2_SIM_FILE; }

fs::path simVariant(const std::string& name) { return fs::path(CORVID2_SIM_VARIANT_DIR) / (name + ".cti"); }

fs::path ProducerFolder::add(const fs::path& source, const std::string& name, const std::string& settings) {
    const fs::path target = path() / name;
    fs::create_directories(target.parent_path());
    fs::copy_file(source, target, fs::copy_options::overwrite_existing);
    if (!settings.empty()) writeFile(target.string() + ".env", settings);
    return target;
}

namespace {

// The first ID of one of the producer's lists; `getId` is the list's GenTL call (TLGetInterfaceID ...).
template <class Handle>
void firstId(CGenTLProducer& table, GC_ERROR (CGenTLProducer::*getId)(Handle, std::uint32_t, char*, size_t*),
             Handle owner, std::string& id) {
    char text[256] = {};
    size_t size = sizeof text;
    ASSERT_EQ((table.*getId)(owner, 0, text, &size), GC_ERR_SUCCESS);
    id = text;
}

}  // namespace

void SimModules::open(Depth depth, const std::string& settings) {
    producer_ = std::make_unique<CProducerObj>(folder_.add(simFile(), "sim.cti", settings));
    ASSERT_TRUE(producer_->loadProducer());
    table_ = producer_->table();
    ASSERT_EQ(table_->TLOpen(&system_), GC_ERR_SUCCESS);
    bool8_t changed = false;
    if (depth >= kInterface) {
        ASSERT_EQ(table_->TLUpdateInterfaceList(system_, &changed, 1000), GC_ERR_SUCCESS);
        ASSERT_NO_FATAL_FAILURE(firstId(*table_, &CGenTLProducer::TLGetInterfaceID, system_, interfaceId_));
        ASSERT_EQ(table_->TLOpenInterface(system_, interfaceId_.c_str(), &interface_), GC_ERR_SUCCESS);
    }
    if (depth >= kDevice) {
        ASSERT_EQ(table_->IFUpdateDeviceList(interface_, &changed, 1000), GC_ERR_SUCCESS);
        ASSERT_NO_FATAL_FAILURE(firstId(*table_, &CGenTLProducer::IFGetDeviceID, interface_, deviceId_));
        ASSERT_EQ(table_->IFOpenDevice(interface_, deviceId_.c_str(), DEVICE_ACCESS_CONTROL, &device_), GC_ERR_SUCCESS);
        ASSERT_EQ(table_->DevGetPort(device_, &remote_), GC_ERR_SUCCESS);
    }
    if (depth >= kStream) {
        std::string streamId;
        ASSERT_NO_FATAL_FAILURE(firstId(*table_, &CGenTLProducer::DevGetDataStreamID, device_, streamId));
        ASSERT_EQ(table_->DevOpenDataStream(device_, streamId.c_str(), &stream_), GC_ERR_SUCCESS);
        ASSERT_EQ(table_->DSAllocAndAnnounceBuffer(stream_, 4096, nullptr, &buffer_), GC_ERR_SUCCESS);
    }
}

SimModules::~SimModules() {
    if (table_ == nullptr) return;
    if (buffer_) table_->DSRevokeBuffer(stream_, buffer_, nullptr, nullptr);
    if (stream_) table_->DSClose(stream_);
    if (device_) table_->DevClose(device_);
    if (interface_) table_->IFClose(interface_);
    if (system_) table_->TLClose(system_);
}

std::unique_ptr<CModulePort> SimModules::port(void* handle, const std::string& objectName) {
    auto modulePort = std::make_unique<CModulePort>(table_, "", objectName);
    modulePort->port().setHandle(handle);
    std::string name;
    EXPECT_EQ(modulePort->port().getPortInfoText(PORT_INFO_PORTNAME, name), Result::Success);
    modulePort->port().setPortName(name);
    return modulePort;
}

std::unique_ptr<IPortIface> SimModules::rawPort(void* handle, const std::string& name) {
    auto raw = std::make_unique<IPortIface>(table_, name);
    raw->setHandle(handle);
    return raw;
}

void SimModules::armFault(const std::string& function, std::int32_t code, std::uint32_t count) {
    const auto faults = rawPort(system_, "Faults");
    char name[64] = {};
    std::strncpy(name, function.c_str(), sizeof name - 1);
    writeValue(*faults, kFaultFunctionAddress, name, sizeof name);
    writeValue(*faults, kFaultCodeAddress, &code, sizeof code);
    writeU32(*faults, kFaultCountAddress, count);
    writeU32(*faults, kFaultArmAddress, 1);
}

void SimModules::writeValue(IPortIface& port, std::uint64_t address, const void* bytes, size_t length) {
    size_t size = length;
    ASSERT_EQ(port.WritePort(address, bytes, &size), Result::Success) << lastErrorText();
}

void SimModules::writeU32(IPortIface& port, std::uint64_t address, std::uint32_t value) {
    writeValue(port, address, &value, sizeof value);
}

std::uint32_t SimModules::readU32(IPortIface& port, std::uint64_t address) {
    std::uint32_t value = 0;
    size_t size = sizeof value;
    EXPECT_EQ(port.ReadPort(address, &value, &size), Result::Success) << lastErrorText();
    return value;
}

}  // namespace corvid2::test
