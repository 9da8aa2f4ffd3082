// SPDX-License-Identifier: BSD-3-Clause
// The simulator behind the public interface: a stand-alone System on its own copy of it, the
// internal objects behind the public wrappers, and a fixture with the System open.
#pragma once

#include <corvid2_genicam.h>
#include <gtest/gtest.h>

#include <corvid2/genapi/interfaces.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "modules/deviceobj.h"
#include "modules/interfaceobj.h"
#include "modules/producerobj.h"
#include "support/sim_producer.h"

namespace corvid2::test {

constexpr std::uint64_t kRefreshMs = 1000;

// A System on a copy of the simulator in `folder`; `settings`: KEY=VALUE lines for that copy.
std::unique_ptr<CORVID2::System> simSystem(ProducerFolder& folder, const std::string& settings = "");

// The internal objects behind public wrappers; null where the wrapper holds none (a closed module).
CProducerObj& producerOf(CORVID2::System& system);
CInterfaceObj* objectOf(CORVID2::Interface* iface);
CDeviceObj* objectOf(CORVID2::Device* device);

// An open System with its interface list refreshed.
class OpenSystemTest : public ::testing::Test {
protected:
    void open(const std::string& settings = "");
    void SetUp() override { open(settings()); }
    // The simulator settings of a fixture's copy; none by default.
    virtual std::string settings() const { return ""; }

    CProducerObj& producer() { return producerOf(*system_); }
    // Writes one of the simulator's own text features (SimUnplugDeviceID ...) on the system module.
    void simulate(const char* feature, const std::string& value);
    // The next `count` calls of the producer's `function` fail with `code`.
    void armFault(const char* function, GenTL::GC_ERROR code, std::int64_t count = 1);
    CORVID2::Interface* openInterface(const char* id);
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
