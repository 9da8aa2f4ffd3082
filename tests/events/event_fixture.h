// SPDX-License-Identifier: BSD-3-Clause
// An open simulated camera whose device module the event tests fetch from, the camera's FrameStart
// events and an acquisition that raises them, and the simulator's fault switches.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "gentl.h"
#include "modules/deviceobj.h"
#include "modules/event_obj.h"
#include "modules/interfaceobj.h"
#include "support/sim_system.h"
#include "support/waiting.h"

namespace corvid2::test {

// A fetch timeout that only a broken build runs out of.
constexpr std::uint64_t kPatienceMs = static_cast<std::uint64_t>(kPatience.count());
// The camera's FrameStart event as the producer names it, and the size of its value (timestamp and
// frame ID).
constexpr char kFrameStartId[] = "9001";
constexpr std::size_t kFrameStartValueSize = 16;

// The simulated GEV interface open, no device: no thread of the library fetches events, so a fault
// injected into the producer's event calls reaches the test's own fetch.
class EventTest : public OpenSystemTest {
protected:
    void SetUp() override;

    CORVID2::Interface* interface_ = nullptr;
    CInterfaceObj* interfaceModule_ = nullptr;
};

// Its monochrome camera open as well (whose feature-invalidation thread fetches from the device
// module's producer events of another type).
class DeviceEventTest : public EventTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // The camera's FrameStart notification on or off.
    void notifyFrameStart(bool on);
    // Opens the device's first stream with `buffers` buffers queued and starts the camera; every
    // frame raises a FrameStart while the notification is on.
    void startAcquisition(std::size_t buffers = 16);
    void stopAcquisition();
    // Events the producer holds for the device module's current event.
    std::size_t pendingAtProducer();
    // The frame ID in the value of a FrameStart event.
    static std::uint64_t frameIdOf(const CEventData& event);

    CORVID2::Device* device_ = nullptr;
    CDeviceObj* module_ = nullptr;
    CORVID2::DataStream* stream_ = nullptr;
    std::vector<std::unique_ptr<CORVID2::Buffer>> buffers_;
    bool acquiring_ = false;
};

}  // namespace corvid2::test
