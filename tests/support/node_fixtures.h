// SPDX-License-Identifier: BSD-3-Clause
// Module objects and node maps as the node-wrapper and public Node tests set them up: a module
// object over a handle of the simulator, the remote device's node map, and a module front over a
// description with one feature of every type.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>

#include "corvid2/node.h"
#include "features/genapi_node.h"
#include "features/igenapi.h"
#include "modules/gentl_module.h"
#include "nodes/node_views.h"
#include "support/genapi_maps.h"
#include "support/sim_producer.h"

namespace corvid2::test {

// A module object that answers with the handle it was given. `handle_` is open to the test, so that
// it can make the module speak for a handle the producer never gave out.
class TestModule : public CGenTLModule {
public:
    TestModule(const char* kind, CGenTLProducer* producer, void* handle, const char* vendor = "Unknown")
        : CGenTLModule(kind, producer, vendor), handle_(handle) {}
    void* getHandle() const override { return handle_; }

    void* handle_;
};

// A module of the simulator as the library's module objects hold one: handle, named port, node map
// (once initializeNodeInterface builds it). It is of our own vendor, as the simulator is.
class SimModule : public TestModule {
public:
    SimModule(const char* kind, CGenTLProducer* producer, void* handle);
};

// The simulator opened to `depth`, its system module as a module object with its node map built,
// and a bare port beside it that shows the device as it is, past every cache.
class SimSystemModule : public ::testing::Test {
protected:
    void SetUp() override { open(SimModules::kSystem); }
    void open(SimModules::Depth depth);

    SimModules sim_;
    std::unique_ptr<SimModule> system_;
    std::unique_ptr<IPortIface> raw_;
};

// The remote device: its port and the node map on it, from `xml` or from the camera's description.
class RemoteDeviceMap {
public:
    void open(SimModules& sim, const std::string* xml = nullptr);

    IGenAPI& map() { return map_; }
    CGenAPINode& wrapper(const std::string& name) { return *map_.getNode(name); }
    // The engine's answer, from its cache when it holds the value.
    std::int64_t cachedInt(const char* name);
    // Straight to the camera, past the node map, as another application would.
    void writeRegister(std::uint64_t address, std::uint32_t value) {
        SimModules::writeU32(port_->port(), address, value);
    }
    std::uint32_t readRegister(std::uint64_t address) { return SimModules::readU32(port_->port(), address); }

private:
    std::unique_ptr<CModulePort> port_;
    IGenAPI map_;
};

// The feature side of a module class, as System and Interface have it.
class TestFront : public CORVID2::INode {
public:
    explicit TestFront(bool nodeMapRequired) : INode(nodeMapRequired) {}
    ~TestFront() = default;
};

// One feature of every type. Addresses: Width 0x00, Gain 0x08 (float), Reverse 0x10, Trigger 0x14,
// Mode 0x18, Lut 0x20 (8 bytes), Label 0x40 (16 bytes), Fixed 0x60 (read-only), LutIndex 0x64.
const std::string& typesDescription();

// A front attached to the node map of typesDescription() over a memory port.
class TypesModule : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    CORVID2::Node& node(const char* name) { return *front_.GetNode(name); }

    MemoryPort port_{0x200};
    IGenAPI genapi_;
    TestFront front_{true};
};

}  // namespace corvid2::test
