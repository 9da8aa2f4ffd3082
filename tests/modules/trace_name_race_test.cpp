// SPDX-License-Identifier: BSD-3-Clause
// Module names read by other threads while an interface or device renames itself by opening and closing.
#include <atomic>
#include <functional>
#include <initializer_list>
#include <set>
#include <thread>

#include "modules/deviceobj.h"
#include "support/sim_system.h"
#include "support/trace_capture.h"

using namespace corvid2::test;
using CORVID2::Device;
using CORVID2::Interface;

namespace {

constexpr int kRounds = 30;
constexpr char kInterfaceName[] = "Simulated GEV interface 0";
constexpr char kDeviceName[] = "Velmor Corvid2SimMono (SN10000)";

class TraceNameRaceTest : public OpenSystemTest {
protected:
    void SetUp() override {
        OpenSystemTest::SetUp();
        iface_ = openInterface("SimGEV0");
        // The object stays with the system across closes; only the public wrapper lets go of it.
        interfaceObject_ = objectOf(iface_);
        ASSERT_NE(interfaceObject_, nullptr);
        CORVID2::DeviceList* devices = iface_->GetDevices();
        devices->Refresh(kRefreshMs);
        mono_ = (*devices)["SimMono0"];
        monoObject_ = objectOf(mono_);
        ASSERT_NE(monoObject_, nullptr);
    }

    void reopenInterface() {
        iface_->Close();
        iface_->Open();
    }
    void openAndCloseMono() {
        mono_->Open();
        mono_->Close();
    }

    // `toggle` runs kRounds times on its own thread; `read` runs on this one until the toggler is
    // done, and at least kRounds times. A read that fails with a library exception because the
    // module closed under it is counted, not fatal: closing concurrently is allowed.
    void alongside(const std::function<void()>& toggle, const std::function<void()>& read) {
        std::atomic<bool> done{false};
        std::thread toggler([&] {
            for (int round = 0; round < kRounds; ++round) toggle();
            done = true;
        });
        for (int round = 0; round < kRounds || !done; ++round) {
            try {
                read();
            } catch (const CORVID2::Exceptions::IException&) {
                ++refusedReads_;
            }
        }
        toggler.join();
    }

    // Every name read must be one of the module's whole names.
    static void expectWholeNames(const std::multiset<std::string>& seen, const std::set<std::string>& allowed) {
        EXPECT_FALSE(seen.empty());
        for (const std::string& name : seen) EXPECT_EQ(allowed.count(name), 1u) << '"' << name << '"';
    }

    // For each trace line that carries one of `markers`: the whole name just before it, or a note
    // that none is.
    static std::multiset<std::string> namesBefore(TraceCapture& trace, std::initializer_list<std::string> markers) {
        static const char* const kKnownNames[] = {kInterfaceName, kDeviceName, "DeviceObj", "InterfaceObj"};
        std::multiset<std::string> names;
        for (const std::string& line : trace.lines())
            for (const std::string& marker : markers) {
                const std::size_t at = line.find(marker);
                if (at == std::string::npos) continue;
                std::string found = "<no whole name before '" + marker + "'>";
                for (const std::string candidate : kKnownNames)
                    if (at >= candidate.size() && line.compare(at - candidate.size(), candidate.size(), candidate) == 0)
                        found = candidate;
                names.insert(found);
            }
        return names;
    }

    Interface* iface_ = nullptr;
    corvid2::CInterfaceObj* interfaceObject_ = nullptr;
    Device* mono_ = nullptr;
    corvid2::CDeviceObj* monoObject_ = nullptr;
    int refusedReads_ = 0;
};

}  // namespace

// The bare reads take no other lock between them, so that a thread checker sees each one
// against the renaming on the other thread.
TEST_F(TraceNameRaceTest, InterfaceNameStaysWholeWhileReopened) {
    std::multiset<std::string> seen;
    alongside([&] { reopenInterface(); }, [&] { seen.insert(interfaceObject_->traceName()); });
    // Once opened, the interface keeps its display name; a torn read would show anything else.
    expectWholeNames(seen, {kInterfaceName});
}

TEST_F(TraceNameRaceTest, DeviceNameIsOneOfItsTwoWhileOpenedAndClosed) {
    std::multiset<std::string> seen;
    alongside([&] { openAndCloseMono(); }, [&] { seen.insert(monoObject_->traceName()); });
    // Open devices go by their display name, closed ones by the default; nothing in between.
    expectWholeNames(seen, {kDeviceName, "DeviceObj"});
    EXPECT_EQ(monoObject_->traceName(), "DeviceObj");
}

TEST_F(TraceNameRaceTest, InterfaceGettersTraceWholeNamesWhileReopened) {
    TraceCapture trace;
    int answers = 0;
    alongside([&] { reopenInterface(); },
              [&] {
                  const std::string name = iface_->GetDisplayName().get();
                  const std::string type = iface_->GetTLType().get();
                  EXPECT_EQ(name, kInterfaceName);
                  EXPECT_EQ(type, "GEV");
                  ++answers;
              });
    EXPECT_GT(answers, 0) << refusedReads_ << " reads refused";
    // Lines of reads that found the interface closed carry the system's name instead; every reopening
    // writes its own.
    expectWholeNames(namesBefore(trace, {"; GetDisplayName; Interface DisplayName:", "; Open"}), {kInterfaceName});
}

TEST_F(TraceNameRaceTest, DeviceGettersTraceWholeNamesWhileOpenedAndClosed) {
    TraceCapture trace;
    int answers = 0;
    alongside([&] { openAndCloseMono(); },
              [&] {
                  const std::string name = mono_->GetDisplayName().get();
                  const std::string type = mono_->GetTLType().get();
                  EXPECT_EQ(name, kDeviceName);
                  EXPECT_EQ(type, "GEV");
                  ++answers;
              });
    EXPECT_GT(answers, 0) << refusedReads_ << " reads refused";
    // Each answer traces one line, from the open device or from its interface's list.
    expectWholeNames(namesBefore(trace, {"; GetDisplayName; Device DisplayName:", "; GetDeviceDisplayName; "}),
                     {kDeviceName, "DeviceObj"});
}
