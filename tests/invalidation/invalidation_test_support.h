// SPDX-License-Identifier: BSD-3-Clause
// A simulated camera as the invalidation and hook tests need it: its device module with events,
// and the remote device's node map built from the camera's own description.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "features/features_test_support.h"
#include "features/igenapi.h"
#include "modules/gentl_module.h"

namespace corvid2::test {

// The device module as far as events go: a module base that answers with the device handle.
class TestDeviceModule : public CGenTLModule {
public:
    TestDeviceModule(CGenTLProducer* producer, DEV_HANDLE handle)
        : CGenTLModule("Device", producer, "Unknown"), handle_(handle) {}
    void* getHandle() const override { return handle_; }

private:
    DEV_HANDLE handle_;
};

// The remote device: its port and the node map on it, from `xml` or from the camera's description.
class RemoteDeviceMap {
public:
    void open(SimModules& sim, const std::string* xml = nullptr) {
        port_ = sim.port(sim.remote_, "RemoteDevice");
        std::string text;
        if (xml != nullptr) {
            text = *xml;
        } else {
            std::unique_ptr<CXmlLoader> loader;
            ASSERT_EQ(loadPortDescription(port_->port(), loader), Result::Success) << lastErrorText();
            ASSERT_TRUE(loader);
            text = loader->text();
        }
        map_.setXML(&text);
        map_.connectPort(port_.get(), port_->port().portName());
        ASSERT_TRUE(map_.nodeMapAvailable());
    }

    IGenAPI& map() { return map_; }
    CGenAPINode& wrapper(const std::string& name) { return *map_.getNode(name); }
    // The engine's answer, from its cache when it holds the value.
    std::int64_t cachedInt(const char* name) {
        return genapi::CIntegerPtr(map_.engineMap()->GetNode(name))->GetValue();
    }
    // Straight to the camera, past the node map, as another application would.
    void writeRegister(std::uint64_t address, std::uint32_t value) {
        SimModules::writeValue(port_->port(), address, &value, sizeof value);
    }
    std::uint32_t readRegister(std::uint64_t address) { return SimModules::readU32(port_->port(), address); }

private:
    std::unique_ptr<CModulePort> port_;
    IGenAPI map_;
};

// Polls `done` until it holds; the limit only keeps a broken build from hanging the run.
template <class Condition>
bool eventually(Condition done) {
    for (int poll = 0; poll < 20000 && !done(); ++poll) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return done();
}

}  // namespace corvid2::test
