// SPDX-License-Identifier: BSD-3-Clause
// The public event controls: camera events of a Device and plug-and-play events of an Interface,
// by polling and through handlers, with the refusals an application meets.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "corvid2/events.h"
#include "event_fixture.h"
#include "support/errors.h"

using namespace corvid2;
using namespace corvid2::test;
using CORVID2::Events::DeviceEvent;
using CORVID2::Events::EventMode;
using CORVID2::Events::PnPEvent;
using CORVID2::Events::PnPType;
namespace X = CORVID2::Exceptions;

namespace {

bool mentions(const Thrown& thrown, const std::string& text) {
    return thrown.caught && thrown.description.find(text) != std::string::npos;
}

std::uint64_t frameIdIn(DeviceEvent& event) {
    std::uint64_t frameId = 0;
    if (event.GetEventMemSize() >= 16)
        std::memcpy(&frameId, static_cast<const std::uint8_t*>(event.GetEventMemPtr()) + 8, sizeof frameId);
    return frameId;
}

// What a device-event handler saw.
struct Seen {
    std::mutex mutex;
    std::vector<std::string> names;
    std::atomic<std::size_t> count{0};
};

}  // namespace

TEST_F(DeviceEventTest, APolledCameraEventIsNamedAndUpdatesTheCamerasEventFeatures) {
    device_->RegisterDeviceEvent(EventMode::Polling);
    EXPECT_EQ(device_->GetEventMode(), EventMode::Polling);
    DeviceEvent event;
    EXPECT_TRUE(mentions(thrownBy<X::NotAvailableException>([&] { event.GetId(); }), "no event data present"));
    // Nothing pending and no wait: false, at once.
    EXPECT_FALSE(device_->GetDeviceEvent(&event, 0));

    notifyFrameStart(true);
    startAcquisition();
    ASSERT_TRUE(device_->GetDeviceEvent(&event, kPatienceMs));
    EXPECT_STREQ(event.GetId().get(), kFrameStartId);
    EXPECT_STREQ(event.GetName().get(), "EventFrameStart");
    EXPECT_FALSE(std::string(event.GetDisplayName().get()).empty());
    ASSERT_EQ(event.GetEventMemSize(), kFrameStartValueSize);
    // The event's data reached the camera's features: the timestamp reported is the feature's.
    const auto timestamp = static_cast<std::uint64_t>(device_->GetRemoteNode("EventFrameStartTimestamp")->GetInt());
    EXPECT_EQ(event.GetTimeStamp(), timestamp);
    EXPECT_NE(timestamp, 0u);
    EXPECT_EQ(static_cast<std::uint64_t>(device_->GetRemoteNode("EventFrameStartFrameID")->GetInt()), frameIdIn(event));

    // A copy keeps the event; the next fetch moves the original on.
    DeviceEvent copy(event);
    ASSERT_TRUE(device_->GetDeviceEvent(&event, kPatienceMs));
    EXPECT_GT(frameIdIn(event), frameIdIn(copy));
    EXPECT_EQ(copy.GetTimeStamp(), timestamp);
}

TEST_F(DeviceEventTest, ExposureEndEventsUpdateTheirFeaturesAndAreNamedByThem) {
    device_->RegisterDeviceEvent(EventMode::Polling);
    device_->GetRemoteNode("EventSelector")->SetString("ExposureEnd");
    device_->GetRemoteNode("EventNotification")->SetString("On");
    startAcquisition();
    DeviceEvent event;
    for (int round = 0; round < 3; ++round) {
        ASSERT_TRUE(device_->GetDeviceEvent(&event, kPatienceMs));
        EXPECT_STREQ(event.GetId().get(), "9002");
        EXPECT_STREQ(event.GetName().get(), "EventExposureEnd");
        EXPECT_EQ(event.GetTimeStamp(),
                  static_cast<std::uint64_t>(device_->GetRemoteNode("EventExposureEndTimestamp")->GetInt()));
        EXPECT_EQ(frameIdIn(event),
                  static_cast<std::uint64_t>(device_->GetRemoteNode("EventExposureEndFrameID")->GetInt()));
    }
}

TEST_F(DeviceEventTest, UnpluggingTheCameraEndsAWaitingFetchAndTheDeviceStillCloses) {
    startAcquisition();
    ASSERT_NE(stream_->GetFilledBuffer(kPatienceMs), nullptr);
    std::thread unplug([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        simulate("SimUnplugDeviceID", "SimMono0");
    });
    // The images stop: a fetch ends with its timeout (null) or the library's exception, never hangs.
    bool ended = false;
    for (int fetch = 0; fetch < 200 && !ended; ++fetch) {
        try {
            CORVID2::Buffer* buffer = stream_->GetFilledBuffer(200);
            if (buffer == nullptr)
                ended = true;
            else
                buffer->QueueBuffer();
        } catch (const X::IException&) {
            ended = true;
        }
    }
    unplug.join();
    EXPECT_TRUE(ended);
    acquiring_ = false;  // the camera is gone: nothing to stop
    EXPECT_NO_THROW(device_->Close());
    EXPECT_FALSE(device_->IsOpen());
}

TEST_F(DeviceEventTest, SwitchingBetweenHandlerAndPollingWhileEventsArriveLosesNoThreadAndNoLock) {
    std::atomic<std::size_t> handled{0};
    notifyFrameStart(true);
    startAcquisition(32);
    DeviceEvent event;
    for (int round = 0; round < 20; ++round) {
        device_->RegisterDeviceEventHandler(&handled, [](void* user, DeviceEvent* event) {
            EXPECT_STREQ(event->GetName().get(), "EventFrameStart");
            static_cast<std::atomic<std::size_t>*>(user)->fetch_add(1);
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        device_->RegisterDeviceEvent(EventMode::Polling);
        device_->GetDeviceEvent(&event, 50);
    }
    EXPECT_EQ(device_->GetEventMode(), EventMode::Polling);
    ASSERT_TRUE(device_->GetDeviceEvent(&event, kPatienceMs));
    EXPECT_STREQ(event.GetName().get(), "EventFrameStart");
    EXPECT_GT(handled.load(), 0u);
}

TEST_F(DeviceEventTest, RefusalsNameTheirReason) {
    DeviceEvent event;
    EXPECT_TRUE(mentions(
        thrownBy<X::InvalidParameterException>([&] { device_->RegisterDeviceEvent(static_cast<EventMode>(3)); }),
        "Invalid EventMode specified."));
    EXPECT_TRUE(
        mentions(thrownBy<X::InvalidParameterException>([&] { device_->RegisterDeviceEventHandler(nullptr, nullptr); }),
                 "Missing event handler."));
    // Unregistered: no polling.
    EXPECT_TRUE(mentions(thrownBy<X::NotInitializedException>([&] { device_->GetDeviceEvent(&event, 0); }),
                         "The current Event Mode does not support this function."));
    device_->RegisterDeviceEvent(EventMode::Polling);
    auto* deleted = new DeviceEvent();
    const StalePointer<DeviceEvent> gone(deleted);
    delete deleted;
    EXPECT_TRUE(mentions(thrownBy<X::InvalidParameterException>([&] { device_->GetDeviceEvent(gone.get(), 0); }),
                         "The passed device event object is not valid."));
    EXPECT_TRUE(mentions(thrownBy<X::InvalidParameterException>([&] { device_->GetDeviceEvent(nullptr, 0); }),
                         "The passed device event object is not valid."));
    device_->Close();
    EXPECT_TRUE(
        mentions(thrownBy<X::NotInitializedException>([&] { device_->RegisterDeviceEvent(EventMode::Polling); }),
                 "Event interface is not initialized. Open the object first"));
    EXPECT_TRUE(mentions(thrownBy<X::NotInitializedException>([&] { device_->CancelGetDeviceEvent(); }),
                         "Device is not open."));
    EXPECT_TRUE(mentions(thrownBy<X::NotInitializedException>([&] { device_->GetEventMode(); }),
                         "The corresponding CGenTLModule object is not open."));
    // Reopened, the device starts without the registration of before.
    device_->Open();
    EXPECT_EQ(device_->GetEventMode(), EventMode::Unregistered);
    // Each control hands a companion its own record.
    EXPECT_NE(device_->GetBase(), nullptr);
    EXPECT_NE(interface_->GetBase(), nullptr);
    EXPECT_NE(device_->GetBase(), interface_->GetBase());
}

TEST_F(DeviceEventTest, CancelEndsAWaitingFetchOrTheNextOne) {
    device_->RegisterDeviceEvent(EventMode::Polling);
    DeviceEvent event;
    device_->CancelGetDeviceEvent();
    EXPECT_FALSE(device_->GetDeviceEvent(&event, kPatienceMs)) << "the cancel with nobody waiting ends the next fetch";

    std::atomic<bool> done{false};
    bool fetched = true;
    std::thread waiter([&] {
        DeviceEvent own;
        fetched = device_->GetDeviceEvent(&own, GENTL_INFINITE);
        done.store(true);
    });
    ASSERT_TRUE(eventually([&] { return pendingAtProducer() == 0; }));
    // The waiter may not have begun its wait yet; a cancel before it is kept for it.
    device_->CancelGetDeviceEvent();
    const bool prompt = eventually([&] { return done.load(); });
    if (!prompt) device_->Close();
    waiter.join();
    EXPECT_TRUE(prompt);
    EXPECT_FALSE(fetched);
}

TEST_F(DeviceEventTest, ClosingTheDeviceEndsAnEndlessFetch) {
    device_->RegisterDeviceEvent(EventMode::Polling);
    std::atomic<bool> done{false};
    bool fetched = true;
    std::thread waiter([&] {
        DeviceEvent own;
        try {
            fetched = device_->GetDeviceEvent(&own, GENTL_INFINITE);
        } catch (const X::IException&) {
            fetched = false;  // the close may also come between the mode check and the wait
        }
        done.store(true);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    device_->Close();
    const bool prompt = eventually([&] { return done.load(); });
    if (!prompt) device_->CancelGetDeviceEvent();
    waiter.join();
    EXPECT_TRUE(prompt);
    EXPECT_FALSE(fetched);
}

TEST_F(DeviceEventTest, DestroyingTheDeviceEndsAnEndlessFetchAndItsHandler) {
    device_->RegisterDeviceEvent(EventMode::Polling);
    std::atomic<bool> done{false};
    std::thread waiter([&] {
        DeviceEvent own;
        try {
            device_->GetDeviceEvent(&own, GENTL_INFINITE);
        } catch (const X::IException&) {
            // the Device may be gone before the call reaches it
        }
        done.store(true);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::atomic<bool> destroyed{false};
    std::thread destroyer([&] {
        interface_->GetDevices()->clear();
        destroyed.store(true);
    });
    const bool prompt = eventually([&] { return destroyed.load() && done.load(); });
    destroyer.join();
    waiter.join();
    EXPECT_TRUE(prompt);
    device_ = nullptr;
    module_ = nullptr;
}

TEST_F(DeviceEventTest, DestroyingTheDeviceEndsAnEndlessFetchEvenWhenItsProducerRefusesAborts) {
    device_->RegisterDeviceEvent(EventMode::Polling);
    armFault("EventKill", GenTL::GC_ERR_ERROR, 1000000);
    std::atomic<bool> done{false};
    std::thread waiter([&] {
        DeviceEvent own;
        try {
            device_->GetDeviceEvent(&own, GENTL_INFINITE);
        } catch (const X::IException&) {
            // the wait may end with the event's unregistration as a failed fetch
        }
        done.store(true);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::atomic<bool> destroyed{false};
    std::thread destroyer([&] {
        interface_->GetDevices()->clear();
        destroyed.store(true);
    });
    const bool prompt = eventually([&] { return destroyed.load() && done.load(); });
    destroyer.join();
    waiter.join();
    EXPECT_TRUE(prompt);
    device_ = nullptr;
    module_ = nullptr;
}

TEST_F(DeviceEventTest, AHandlerReceivesNamedEventsUntilTheModeLeavesHandlerMode) {
    Seen seen;
    const CORVID2::Events::DeviceEventHandler handler = [](void* user, DeviceEvent* event) {
        auto* sink = static_cast<Seen*>(user);
        {
            std::lock_guard<std::mutex> lock(sink->mutex);
            sink->names.push_back(event->GetName().get());
        }
        sink->count.fetch_add(1);
    };
    device_->RegisterDeviceEventHandler(&seen, handler);
    EXPECT_EQ(device_->GetEventMode(), EventMode::EventHandler);
    DeviceEvent event;
    EXPECT_TRUE(mentions(thrownBy<X::NotInitializedException>([&] { device_->GetDeviceEvent(&event, 0); }),
                         "The current Event Mode does not support this function."));
    notifyFrameStart(true);
    startAcquisition();
    ASSERT_TRUE(eventually([&] { return seen.count.load() >= 3; }));

    // Polling again: the thread is gone before the call returns, and the events come to the fetch.
    device_->RegisterDeviceEvent(EventMode::Polling);
    const std::size_t handled = seen.count.load();
    ASSERT_TRUE(device_->GetDeviceEvent(&event, kPatienceMs));
    ASSERT_TRUE(device_->GetDeviceEvent(&event, kPatienceMs));
    EXPECT_EQ(seen.count.load(), handled);
    std::lock_guard<std::mutex> lock(seen.mutex);
    for (const std::string& name : seen.names) EXPECT_EQ(name, "EventFrameStart");
}

TEST_F(DeviceEventTest, ClosingTheDeviceFromItsEventHandlerIsRefusedAndTheOwnersCloseEndsTheThread) {
    struct Inside {
        CORVID2::Device* device = nullptr;
        std::atomic<bool> tried{false};
        bool refused = false;
    } inside{device_};
    device_->RegisterDeviceEventHandler(&inside, [](void* user, DeviceEvent*) {
        auto* self = static_cast<Inside*>(user);
        if (self->tried.load()) return;
        self->refused = thrownBy<X::ErrorException>([&] { self->device->Close(); }).caught;
        self->tried.store(true);
    });
    notifyFrameStart(true);
    startAcquisition();
    ASSERT_TRUE(eventually([&] { return inside.tried.load(); }));
    EXPECT_TRUE(inside.refused);
    EXPECT_TRUE(device_->IsOpen());
    // The owner's close ends the thread and the device.
    stopAcquisition();
    device_->Close();
    EXPECT_FALSE(device_->IsOpen());
}

TEST_F(DeviceEventTest, AnEventIdNoFeatureCarriesKeepsItsDataButHasNoName) {
    CEventDeviceEventObj event;
    event.setEvent("ABCD", {1, 2, 3, 4});
    ASSERT_TRUE(event.initializeEvent(module_));
    std::string text;
    EXPECT_EQ(event.GetName(&text), Result::NotAvailable);
    EXPECT_EQ(lastErrorText(), "event name not available");
    EXPECT_EQ(event.GetId(&text), Result::Success);
    EXPECT_EQ(text, "ABCD");
    EXPECT_EQ(event.valueSize(), 4u);
    std::uint64_t timestamp = 0;
    EXPECT_EQ(event.GetTimeStamp(&timestamp), Result::NotAvailable);
    EXPECT_EQ(lastErrorText(), "time stamp not available");
    // An ID that is no hexadecimal number is no camera event.
    event.setEvent("no id", {});
    EXPECT_FALSE(event.initializeEvent(module_));
}

// ---- plug-and-play --------------------------------------------------------------------------------

TEST_F(EventTest, UnpluggingAndPluggingACameraArePolledAsPlugAndPlayEvents) {
    PnPEvent event;
    EXPECT_TRUE(mentions(thrownBy<X::NotAvailableException>([&] { event.GetId(); }), "id not available"));
    interface_->RegisterPnPEvent(EventMode::Polling);
    EXPECT_EQ(interface_->GetEventMode(), EventMode::Polling);
    EXPECT_FALSE(interface_->GetPnPEvent(&event, 0));

    simulate("SimUnplugDeviceID", "SimMono0");
    ASSERT_TRUE(interface_->GetPnPEvent(&event, kPatienceMs));
    EXPECT_EQ(event.GetPnPType(), PnPType::DeviceRemoved);
    EXPECT_STREQ(event.GetId().get(), "SimMono0");
    EXPECT_FALSE(std::string(event.GetSerialNumber().get()).empty());

    simulate("SimPlugDeviceID", "SimMono0");
    ASSERT_TRUE(interface_->GetPnPEvent(&event, kPatienceMs));
    EXPECT_EQ(event.GetPnPType(), PnPType::DeviceAdded);
    EXPECT_STREQ(event.GetId().get(), "SimMono0");

    interface_->CancelGetPnPEvent();
    EXPECT_FALSE(interface_->GetPnPEvent(&event, kPatienceMs));
    interface_->UnregisterPnPEvent();
    EXPECT_EQ(interface_->GetEventMode(), EventMode::Unregistered);
}

TEST_F(EventTest, APlugAndPlayHandlerSeesEachChangeAndClosingTheInterfaceEndsIt) {
    struct Changes {
        std::mutex mutex;
        std::vector<std::pair<PnPType, std::string>> seen;
        std::size_t size() {
            std::lock_guard<std::mutex> lock(mutex);
            return seen.size();
        }
    } changes;
    interface_->RegisterPnPEventHandler(&changes, [](void* user, PnPEvent* event) {
        auto* sink = static_cast<Changes*>(user);
        std::lock_guard<std::mutex> lock(sink->mutex);
        sink->seen.emplace_back(event->GetPnPType(), event->GetId().get());
    });
    simulate("SimUnplugDeviceID", "SimBayer0");
    simulate("SimPlugDeviceID", "SimBayer0");
    ASSERT_TRUE(eventually([&] { return changes.size() == 2; }));
    {
        std::lock_guard<std::mutex> lock(changes.mutex);
        EXPECT_EQ(changes.seen[0], std::make_pair(PnPType::DeviceRemoved, std::string("SimBayer0")));
        EXPECT_EQ(changes.seen[1], std::make_pair(PnPType::DeviceAdded, std::string("SimBayer0")));
    }
    interface_->Close();
    simulate("SimUnplugDeviceID", "SimBayer0");
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(changes.size(), 2u);
    PnPEvent event;
    EXPECT_TRUE(mentions(thrownBy<X::NotInitializedException>([&] { interface_->GetPnPEvent(&event, 0); }),
                         "The corresponding CGenTLModule object is not open."));
}

namespace {

// A copy of the simulator that presents another vendor.
class ForeignVendorEventTest : public OpenSystemTest {
protected:
    std::string settings() const override { return "CORVID2_SIM_VENDOR=Acme\n"; }
};

}  // namespace

TEST_F(ForeignVendorEventTest, PlugAndPlayIsNotSupportedForAnotherVendorsProducer) {
    CORVID2::Interface* iface = openInterface("SimGEV0");
    EXPECT_TRUE(mentions(thrownBy<X::NotAvailableException>([&] { iface->RegisterPnPEvent(EventMode::Polling); }),
                         "Not supported"));
    EXPECT_EQ(iface->GetEventMode(), EventMode::Unregistered);
}
