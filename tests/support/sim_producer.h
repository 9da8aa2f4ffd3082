// SPDX-License-Identifier: BSD-3-Clause
// The simulated producer: where its file is, copies of it with settings of their own, its module tree
// opened through raw GenTL calls, its register map and its fault switches.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "features/genapi_port.h"
#include "features/port_iface.h"
#include "gentl/gentl_producer.h"
#include "modules/producerobj.h"
#include "support/scratch.h"

namespace corvid2::test {

// The simulator built with this tree, and its loader-test variants ("corvid2_sim_no_optional" ...).
fs::path simFile();
fs::path simVariant(const std::string& name);

// A scratch folder that producer files are copied into. A copy of its own lets a test give the
// simulator settings that no other test in the process sees.
class ProducerFolder : public ScratchFolder {
public:
    // Copies `source` in as `name`; `settings` (KEY=VALUE lines) go beside it for the simulator.
    fs::path add(const fs::path& source, const std::string& name, const std::string& settings = "");
};

// Registers of the system module's own description: the simulator's fault switches and a free register.
constexpr std::uint64_t kGenTLVersionMajorAddress = 0x204;
constexpr std::uint64_t kGenTLVersionMinorAddress = 0x208;
constexpr std::uint64_t kFaultFunctionAddress = 0x1000;
constexpr std::uint64_t kFaultCodeAddress = 0x1040;
constexpr std::uint64_t kFaultCountAddress = 0x1044;
constexpr std::uint64_t kFaultArmAddress = 0x1048;
constexpr std::uint64_t kIncompleteEveryAddress = 0x104C;  // plain RW register without side effects
constexpr std::uint64_t kDeviceSelectorAddress = 0x104;    // of the interface module

// The simulator's module tree opened as far as `depth` asks: system, interface, device with remote
// port, data stream with one announced buffer. Closed again in reverse order.
class SimModules {
public:
    enum Depth { kSystem, kInterface, kDevice, kStream };

    SimModules() = default;
    ~SimModules();
    SimModules(const SimModules&) = delete;
    SimModules& operator=(const SimModules&) = delete;

    // `settings` go into the copy's ".env" file.
    void open(Depth depth, const std::string& settings = "");

    // A port object for one module handle, named after the port as the producer names it.
    std::unique_ptr<CModulePort> port(void* handle, const std::string& objectName = "TestModule");
    // A bare port on `handle`: the device as it is, past every cache and node map.
    std::unique_ptr<IPortIface> rawPort(void* handle, const std::string& name = "Raw");

    // The next `count` calls of `function` fail with `code` (set through the system port's registers).
    void armFault(const std::string& function, std::int32_t code, std::uint32_t count = 1);

    static void writeValue(IPortIface& port, std::uint64_t address, const void* bytes, size_t length);
    static void writeU32(IPortIface& port, std::uint64_t address, std::uint32_t value);
    static std::uint32_t readU32(IPortIface& port, std::uint64_t address);

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
