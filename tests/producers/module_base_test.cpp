// SPDX-License-Identifier: BSD-3-Clause
// The module base against a real interface module of the simulated producer: event registration,
// the event buffer, the port name and the reset.
#include <gtest/gtest.h>

#include "core/last_error.h"
#include "modules/gentl_module.h"
#include "modules/producerobj.h"
#include "producer_test_support.h"

using namespace corvid2;
using namespace corvid2::test;

namespace {

class TestModule : public CGenTLModule {
public:
    TestModule(CGenTLProducer* producer, void* handle)
        : CGenTLModule("TLInterface", producer, "Unknown"), handle_(handle) {}
    void* getHandle() const override { return handle_; }
    void* handle_;
};

// An open interface of a freshly loaded producer; faults for the producer are given up front.
class ModuleBase : public ::testing::Test {
protected:
    void open(const std::string& faults = "") {
        platform::ScopedEnv fault("CORVID2_SIM_FAIL", faults);
        producer_ = std::make_unique<CProducerObj>(folder_.add(simFile(), "modules.cti"));
        ASSERT_TRUE(producer_->loadProducer());
        auto* table = producer_->table();
        ASSERT_EQ(table->TLOpen(&tl_), GC_ERR_SUCCESS);
        bool8_t changed = false;
        ASSERT_EQ(table->TLUpdateInterfaceList(tl_, &changed, 1000), GC_ERR_SUCCESS);
        char id[256] = {};
        size_t size = sizeof id;
        ASSERT_EQ(table->TLGetInterfaceID(tl_, 0, id, &size), GC_ERR_SUCCESS);
        ASSERT_EQ(table->TLOpenInterface(tl_, id, &interface_), GC_ERR_SUCCESS);
        module_ = std::make_unique<TestModule>(table, interface_);
    }
    void TearDown() override {
        module_.reset();
        if (producer_ && producer_->table()) {
            producer_->table()->IFClose(interface_);
            producer_->table()->TLClose(tl_);
        }
        producer_.reset();
    }
    static std::string lastError() {
        std::string text;
        GetLastErrorText(text);
        return text;
    }

    ProducerFolder folder_;
    std::unique_ptr<CProducerObj> producer_;
    TL_HANDLE tl_ = nullptr;
    IF_HANDLE interface_ = nullptr;
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
    EXPECT_EQ(lastError(), "invalid eventmode");
    EXPECT_EQ(module_->registerEvent(EVENT_MODULE, 1, true), Result::Error);
    EXPECT_EQ(lastError(), "use internal event only with GenTL::EVENT_REMOTE_DEVICE");

    TraceCapture trace;
    EXPECT_EQ(module_->registerEvent(EVENT_NEW_BUFFER, 1, false), Result::NotImplemented);
    EXPECT_FALSE(module_->isEventRegistered(EVENT_NEW_BUFFER));
    const auto lines = trace.lines();
    const auto line = std::find_if(lines.begin(), lines.end(), [](const std::string& l) {
        return l.find("GenTLModule; registerEvent; Optional event 1 not implemented.") != std::string::npos;
    });
    ASSERT_NE(line, lines.end());
    EXPECT_NE(line->find("; Inf; "), std::string::npos);

    TestModule noProducer(nullptr, interface_);
    EXPECT_EQ(noProducer.registerEvent(EVENT_MODULE, 1, false), Result::Error);
    EXPECT_EQ(lastError(), "Producer handle not valid");
    TestModule noHandle(producer_->table(), nullptr);
    EXPECT_EQ(noHandle.registerEvent(EVENT_MODULE, 1, false), Result::NotInitialized);
    EXPECT_EQ(lastError(), "Device not initialized");
}

TEST_F(ModuleBase, UnregisterCountsOnlyAnInvalidHandleAsFailure) {
    open("GCUnregisterEvent:GC_ERR_IO:1");
    ASSERT_EQ(module_->registerEvent(EVENT_MODULE, 1, false), Result::Success);
    EXPECT_EQ(module_->unregisterEvent(EVENT_MODULE, false), Result::Success);  // GC_ERR_IO: done all the same
    EXPECT_FALSE(module_->isEventRegistered(EVENT_MODULE));
    // The injected failure left the registration in the producer; clear it there before reuse.
    ASSERT_EQ(producer_->table()->GCUnregisterEvent(interface_, EVENT_MODULE), GC_ERR_SUCCESS);

    ASSERT_EQ(module_->registerEvent(EVENT_MODULE, 1, false), Result::Success);
    int foreign = 0;
    module_->handle_ = &foreign;
    TraceCapture trace;
    EXPECT_EQ(module_->unregisterEvent(EVENT_MODULE, false), Result::LowLevelError);
    EXPECT_TRUE(module_->isEventRegistered(EVENT_MODULE));
    EXPECT_EQ(trace.count("GenTLModule unregisterEvent; GCUnregisterEvent failed: GC_ERR_INVALID_HANDLE - "), 1u);
    module_->handle_ = interface_;
    EXPECT_EQ(module_->unregisterEvent(EVENT_MODULE, false), Result::Success);
}

TEST_F(ModuleBase, PortNameVendorAndReset) {
    open();
    EXPECT_EQ(module_->initPort(interface_), 0);
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
    producer_->table()->GCUnregisterEvent(interface_, EVENT_MODULE);
}
