// SPDX-License-Identifier: BSD-3-Clause
// An open stand-alone System on its own copy of the simulator, and the simulator's control features.
#pragma once

#include <corvid2_genicam.h>
#include <gtest/gtest.h>

#include <corvid2/genapi/interfaces.h>

#include <memory>
#include <string>
#include <vector>

#include "modules/interface_data.h"
#include "modules/interfaceobj.h"
#include "modules/producerobj.h"
#include "modules/system_data.h"
#include "producer_test_support.h"

namespace corvid2::test {

constexpr std::uint64_t kRefreshMs = 1000;

class OpenSystemTest : public ::testing::Test {
protected:
    // `settings`: KEY=VALUE lines for this copy of the simulator.
    void open(const std::string& settings = "") {
        system_ = std::make_unique<CORVID2::System>(folder_.add(simFile(), "sim.cti", settings).string().c_str());
        system_->Open();
        interfaces_ = system_->GetInterfaces();
        interfaces_->Refresh(kRefreshMs);
    }
    void SetUp() override { open(settings()); }
    // The simulator settings of a fixture's copy; none by default.
    virtual std::string settings() const { return ""; }

    CProducerObj& producer() { return *static_cast<CORVID2::Internal::SystemData*>(system_->GetReserved())->producer_; }
    static CInterfaceObj* objectOf(CORVID2::Interface* iface) {
        return static_cast<CORVID2::Internal::InterfaceData*>(iface->GetReserved())->interface_;
    }
    // Writes one of the simulator's own text features (SimUnplugDeviceID ...) on the system module.
    void simulate(const char* feature, const std::string& value) {
        genapi::CStringPtr node = producer().nodeMap()->GetNode(feature);
        ASSERT_TRUE(node.IsValid()) << feature;
        node->SetValue(value.c_str());
    }
    CORVID2::Interface* openInterface(const char* id) {
        CORVID2::Interface* iface = (*interfaces_)[id];
        iface->Open();
        return iface;
    }
    template <class List>
    static std::vector<std::string> ids(List& list) {
        std::vector<std::string> result;
        for (auto* item : list) result.push_back(item->GetID().get());
        return result;
    }

    ProducerFolder folder_;
    std::unique_ptr<CORVID2::System> system_;
    CORVID2::InterfaceList* interfaces_ = nullptr;
};

}  // namespace corvid2::test
