// SPDX-License-Identifier: BSD-3-Clause
// The module base against a real interface module of the simulated producer: event registration,
// the event buffer, the port name and the reset.
#include <gtest/gtest.h>

#include <algorithm>

#include "support/errors.h"
#include "support/node_fixtures.h"
#include "support/sim_producer.h"
#include "support/trace_capture.h"

using namespace corvid2;
using namespace corvid2::test;

namespace {

// An open interface of a freshly loaded producer; faults for the producer are given up front.
class ModuleBase : public ::testing::Test {
protected:
    void open(const std::string& faults = "") {
        sim_.open(SimModules::kInterface, "CORVID2_SIM_FAIL=" + faults + "\n");
        module_ = std::make_unique<TestModule>("TLInterface", sim_.table_, sim_.interface_);
    }
    // The module goes before the handles it speaks for are closed.
    void TearDown() override { module_.reset(); }

    SimModules sim_;
    std::unique_ptr<TestModule> module_;
};

}  // namespace

TEST_F(ModuleBase, RegistrationSizesTheBufferAndASecondOneOnlyChangesTheMode) {
    open();
    ASSERT_EQ(module_->registerEvent(EVENT_MODULE, 1, false), Result::Success);
    EXPECT_TRUE(module_->isEventRegistered(EVENT_MODULE));
    EXPECT_EQ(module_->eventMode(EVENT_MODULE), 1);
    EXPECT_GT(module_->getEventBufferSize(), 0u);
    EXPECT_NE(module_->getEventHandle(), nullptr);
    // The producer refuses a second registration of a type; the mode change must not ask it again.
    EXPECT_EQ(module_->registerEvent(EVENT_MODULE, 2, false), Result::Success);
    EXPECT_EQ(module_->eventMode(EVENT_MODULE), 2);

    EXPECT_EQ(module_->unregisterEvent(EVENT_MODULE, false), Result::Success);
    EXPECT_FALSE(module_->isEventRegistered(EVENT_MODULE));
    EXPECT_EQ(module_->eventMode(EVENT_MODULE), 0);
}

TEST_F(ModuleBase, RefusalsAndOptionalEvents) {
    open();
    EXPECT_EQ(module_->registerEvent(EVENT_MODULE, 3, false), Result::Error);
    EXPECT_EQ(lastErrorText(), "invalid eventmode");
    EXPECT_EQ(module_->registerEvent(EVENT_MODULE, 1, true), Result::Error);
    EXPECT_EQ(lastErrorText(), "use internal event only with GenTL::EVENT_REMOTE_DEVICE");

    TraceCapture trace;
    EXPECT_EQ(module_->registerEvent(EVENT_NEW_BUFFER, 1, false), Result::NotImplemented);
    EXPECT_FALSE(module_->isEventRegistered(EVENT_NEW_BUFFER));
    const auto lines = trace.lines();
    const auto line = std::find_if(lines.begin(), lines.end(), [](const std::string& l) {
        return l.find("GenTLModule; registerEvent; Optional event 1 not implemented.") != std::string::npos;
    });
    ASSERT_NE(line, lines.end());
    EXPECT_NE(line->find("; Inf; "), std::string::npos);

    TestModule noProducer("TLInterface", nullptr, sim_.interface_);
    EXPECT_EQ(noProducer.registerEvent(EVENT_MODULE, 1, false), Result::Error);
    EXPECT_EQ(lastErrorText(), "Producer handle not valid");
    TestModule noHandle("TLInterface", sim_.table_, nullptr);
    EXPECT_EQ(noHandle.registerEvent(EVENT_MODULE, 1, false), Result::NotInitialized);
    EXPECT_EQ(lastErrorText(), "Device not initialized");
}

TEST_F(ModuleBase, UnregisterCountsOnlyAnInvalidHandleAsFailure) {
    open("GCUnregisterEvent:GC_ERR_IO:1");
    ASSERT_EQ(module_->registerEvent(EVENT_MODULE, 1, false), Result::Success);
    EXPECT_EQ(module_->unregisterEvent(EVENT_MODULE, false), Result::Success);  // GC_ERR_IO: done all the same
    EXPECT_FALSE(module_->isEventRegistered(EVENT_MODULE));
    // The injected failure left the registration in the producer; clear it there before reuse.
    ASSERT_EQ(sim_.table_->GCUnregisterEvent(sim_.interface_, EVENT_MODULE), GC_ERR_SUCCESS);

    ASSERT_EQ(module_->registerEvent(EVENT_MODULE, 1, false), Result::Success);
    int foreign = 0;
    module_->handle_ = &foreign;
    TraceCapture trace;
    EXPECT_EQ(module_->unregisterEvent(EVENT_MODULE, false), Result::LowLevelError);
    EXPECT_TRUE(module_->isEventRegistered(EVENT_MODULE));
    EXPECT_EQ(trace.count("GenTLModule unregisterEvent; GCUnregisterEvent failed: GC_ERR_INVALID_HANDLE - "), 1u);
    module_->handle_ = sim_.interface_;
    EXPECT_EQ(module_->unregisterEvent(EVENT_MODULE, false), Result::Success);
}

TEST_F(ModuleBase, PortNameVendorAndReset) {
    open();
    EXPECT_EQ(module_->initPort(sim_.interface_), GC_ERR_SUCCESS);
    EXPECT_FALSE(module_->portName().empty());

    for (const char* vendor : {"VELMOR", "Velmor ", "Velmo", "", "Unknown"}) {
        module_->setVendor(vendor);
        EXPECT_FALSE(module_->isOwnVendor()) << '"' << vendor << '"';
    }
    module_->setVendor("Velmor");
    EXPECT_TRUE(module_->isOwnVendor());

    ASSERT_EQ(module_->registerEvent(EVENT_MODULE, 2, false), Result::Success);
    ASSERT_EQ(module_->port().startStacking(false), Result::Success);
    const std::uint8_t bytes[4] = {1, 2, 3, 4};
    EXPECT_EQ(module_->port().portWrite(bytes, 0x10, sizeof bytes, nullptr), nullptr);
    EXPECT_EQ(module_->port().heldWrites().size(), 1u);
    module_->resetModule();
    EXPECT_EQ(module_->getProducer(), nullptr);
    EXPECT_FALSE(module_->isEventRegistered(EVENT_MODULE));
    EXPECT_EQ(module_->getEventBufferSize(), 0u);
    EXPECT_EQ(module_->getEventHandle(), nullptr);
    EXPECT_TRUE(module_->portName().empty());
    EXPECT_TRUE(module_->port().heldWrites().empty());
    EXPECT_FALSE(module_->port().isStacking());
    // Released by the reset, so the producer must let the type be registered afresh.
    sim_.table_->GCUnregisterEvent(sim_.interface_, EVENT_MODULE);
}
