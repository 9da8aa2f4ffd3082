// SPDX-License-Identifier: BSD-3-Clause
// The serial-port hooks on the simulated serial camera: the lock around every operation, and the
// features of a port that a bridge drives hidden from write access.
#include <gtest/gtest.h>

#include <functional>
#include <future>
#include <set>

#include "features/wrapper_data.h"
#include "support/errors.h"
#include "support/node_fixtures.h"
#include "support/sim_producer.h"

using namespace corvid2;
using namespace corvid2::test;

namespace {

// Stands in for the device: its serial-port lock and the ports its bridges run on.
class FakeSerialOwner : public ISerialPortOwner {
public:
    std::recursive_mutex& serialPortLock() override { return lock_; }
    bool bridgeRunsOn(const std::string& portName) const override { return bridged_.count(portName) != 0; }

    // Whether another thread could take the lock at this moment.
    bool lockFree() {
        return std::async(std::launch::async,
                          [this] {
                              if (!lock_.try_lock()) return false;
                              lock_.unlock();
                              return true;
                          })
            .get();
    }

    std::set<std::string> bridged_;

private:
    std::recursive_mutex lock_;
};

constexpr char kBaudRate[] = "qxSerialConfigBaudRate";
constexpr char kBaudRateRefused[] = "access denied: setValue of qxSerialConfigBaudRate failed.";

class SerialPortHooks : public ::testing::Test {
protected:
    void SetUp() override {
        sim_.open(SimModules::kDevice, "CORVID2_SIM_INTERFACES=U3V:serial\n");
        remote_.open(sim_);
        CGenAPINode& selector = remote_.wrapper("qxSerialSelector");
        ASSERT_TRUE(selector.GetSelectedNodeList().find(kBaudRate) != nullptr);
        selector.setWrapperData(&selectorHook_);
        for (const auto& entry : selector.GetSelectedNodeList()) entry.second->setWrapperData(&featureHook_);
    }
    void select(const char* port) { remote_.wrapper("qxSerialSelector").SetValue(port); }
    CGenAPINode& baudRate() { return remote_.wrapper(kBaudRate); }
    // Runs `operation` and tells whether the serial-port lock was held while the engine wrote `node`.
    bool lockHeldWhileWriting(const char* node, const std::function<void()>& operation) {
        genapi::INode* engineNode = remote_.map().engineMap()->GetNode(node);
        int notices = 0;
        bool held = true;
        const auto callback = engineNode->RegisterCallback([&](genapi::INode*) {
            ++notices;
            held = held && !owner_.lockFree();
        });
        operation();
        engineNode->DeregisterCallback(callback);
        return notices > 0 && held;
    }

    SimModules sim_;
    FakeSerialOwner owner_;
    CWrapperDataSelector selectorHook_{owner_};
    CWrapperDataFeature featureHook_{owner_};
    RemoteDeviceMap remote_;
};

}  // namespace

TEST_F(SerialPortHooks, FeaturesOfABridgedPortRefuseEveryValueOperation) {
    owner_.bridged_ = {"Port1"};
    select("Port1");
    CGenAPINode& baud = baudRate();
    EXPECT_TRUE(baud.IsReadable()) << "readability is not what the hook narrows";
    EXPECT_FALSE(baud.IsWriteable());
    EXPECT_FALSE(baud.GetAvailable());
    EXPECT_EQ(baud.GetCurrentAccessMode(), "RO");
    EXPECT_EQ(baud.GetImposedAccessMode(), "RO");
    EXPECT_EQ(genAPIErrorText([&] { baud.GetValue(); }), kBaudRateRefused);
    EXPECT_EQ(genAPIErrorText([&] { baud.SetValue("Baudrate19200Hz"); }), kBaudRateRefused);
    EXPECT_EQ(genAPIErrorText([&] { baud.GetInt(); }), kBaudRateRefused);
    EXPECT_EQ(genAPIErrorText([&] { baud.SetInt(1); }), kBaudRateRefused);
    EXPECT_EQ(genAPIErrorText([&] { remote_.wrapper("qxSerialWrite").Execute(); }),
              "access denied: setValue of qxSerialWrite failed.");
    EXPECT_TRUE(owner_.lockFree()) << "a refused operation must not keep the lock";
    // Features the selector does not select stay as they are.
    EXPECT_TRUE(remote_.wrapper("Width").IsWriteable());
}

TEST_F(SerialPortHooks, SelectingAPortWithoutBridgeGivesItsFeaturesBack) {
    owner_.bridged_ = {"Port0"};
    select("Port0");
    ASSERT_FALSE(baudRate().IsWriteable());
    select("Port1");
    CGenAPINode& baud = baudRate();
    EXPECT_TRUE(baud.IsWriteable());
    EXPECT_TRUE(baud.GetAvailable());
    EXPECT_EQ(baud.GetCurrentAccessMode(), "RW");
    baud.SetValue("Baudrate19200Hz");
    EXPECT_EQ(baud.GetValue(), "Baudrate19200Hz");
    // And back onto the bridged port.
    select("Port0");
    EXPECT_EQ(genAPIErrorText([&] { baud.GetValue(); }), kBaudRateRefused);
}

TEST_F(SerialPortHooks, EveryOperationHoldsTheSerialPortLockUntilItEnds) {
    EXPECT_TRUE(lockHeldWhileWriting(kBaudRate, [&] { baudRate().SetValue("Baudrate19200Hz"); }));
    EXPECT_TRUE(lockHeldWhileWriting("qxSerialSelector", [&] { select("Port1"); }));
    EXPECT_TRUE(owner_.lockFree());
    // An operation that fails in the engine releases the lock as well.
    EXPECT_EQ(
        genAPIErrorText([&] { remote_.wrapper("qxSerialBytesToWrite").SetInt(100000); }).rfind("invalid parameter", 0),
        0u);
    EXPECT_TRUE(owner_.lockFree());
    // The bridge holds the lock around its own accesses, which pass through the same hooks.
    {
        std::lock_guard<std::recursive_mutex> bridge(owner_.serialPortLock());
        select("Port0");
        baudRate().SetValue("Baudrate9600Hz");
        EXPECT_EQ(baudRate().GetValue(), "Baudrate9600Hz");
    }
    EXPECT_TRUE(owner_.lockFree());
}

TEST(FeatureHookFilters, OnlyWriteAccessIsTakenAwayWhileLocked) {
    FakeSerialOwner owner;
    CWrapperDataFeature hook(owner);
    CGenAPINode node(nullptr, nullptr);
    const std::pair<const char*, const char*> lockedModes[] = {
        {"WO", "NA"}, {"RW", "RO"}, {"RO", "RO"}, {"NA", "NA"}, {"NI", "NI"}};
    for (const auto& [mode, locked] : lockedModes) {
        hook.setLocked(false);
        EXPECT_EQ(hook.filterAccessMode(node, mode), mode);
        hook.setLocked(true);
        EXPECT_EQ(hook.filterAccessMode(node, mode), locked) << mode;
    }
    hook.setLocked(false);
    EXPECT_TRUE(hook.filterBool(node, true));
    EXPECT_FALSE(hook.filterBool(node, false));
    hook.setLocked(true);
    EXPECT_FALSE(hook.filterBool(node, true));
}
