// SPDX-License-Identifier: BSD-3-Clause
// The public DeviceEvent and the camera-event control of a Device.
#include <cinttypes>

#include "corvid2/exceptions.h"
#include "modules/event_data.h"
#include "trace/trace.h"

using namespace corvid2;
using CORVID2::Internal::DeviceEventControlData;
using CORVID2::Internal::DeviceEventData;
using CORVID2::Internal::EventAccess;

namespace CORVID2::Events {

// ---- DeviceEvent ---------------------------------------------------------------------------------

DeviceEvent::DeviceEvent() : data_(new DeviceEventData()) {
    registerHolder<CDeviceEventGuard>(CORVID2_METHOD(DeviceEvent, DeviceEvent), this, data_);
}

DeviceEvent::DeviceEvent(const DeviceEvent& other) : DeviceEvent() { *this = other; }

DeviceEvent& DeviceEvent::operator=(const DeviceEvent& other) {
    if (&other == this) return *this;
    const MethodSite site = CORVID2_METHOD(DeviceEvent, operator=);
    CPublicCall<CDeviceEventGuard> source(site, kShared, &other, &other.data_);
    CPublicCall<CDeviceEventGuard> target(site, kExclusive, this, &data_);
    target->event_.assign(source->event_);
    return *this;
}

DeviceEvent::~DeviceEvent() {
    unregisterHolder<CDeviceEventGuard>(CORVID2_METHOD(DeviceEvent, ~DeviceEvent), this, &data_,
                                        [](DeviceEventData* data) { delete data; });
}

namespace {

// A text of the event: `get(event, &text)` on its internal object; failures thrown.
template <class Get>
String eventText(DeviceEvent* self, DeviceEventData* const* slot, const MethodSite& site, Get&& get) {
    CPublicCall<CDeviceEventGuard> call(site, kShared, self, slot);
    std::string text;
    call.check(get(call->event_, &text));
    return text.c_str();
}

}  // namespace

String DeviceEvent::GetName() {
    return eventText(this, &data_, CORVID2_METHOD(DeviceEvent, GetName),
                     [](CEventDeviceEventObj& event, std::string* text) { return event.GetName(text); });
}

String DeviceEvent::GetDisplayName() {
    return eventText(this, &data_, CORVID2_METHOD(DeviceEvent, GetDisplayName),
                     [](CEventDeviceEventObj& event, std::string* text) { return event.GetDisplayName(text); });
}

String DeviceEvent::GetId() {
    return eventText(this, &data_, CORVID2_METHOD(DeviceEvent, GetId),
                     [](CEventDeviceEventObj& event, std::string* text) { return event.GetId(text); });
}

std::uint64_t DeviceEvent::GetTimeStamp() {
    CPublicCall<CDeviceEventGuard> call(CORVID2_METHOD(DeviceEvent, GetTimeStamp), kShared, this, &data_);
    std::uint64_t timestamp = 0;
    call.check(call->event_.GetTimeStamp(&timestamp));
    return timestamp;
}

const void* DeviceEvent::GetEventMemPtr() {
    CPublicCall<CDeviceEventGuard> call(CORVID2_METHOD(DeviceEvent, GetEventMemPtr), kShared, this, &data_);
    return call->event_.valuePointer();
}

std::uint64_t DeviceEvent::GetEventMemSize() {
    CPublicCall<CDeviceEventGuard> call(CORVID2_METHOD(DeviceEvent, GetEventMemSize), kShared, this, &data_);
    return call->event_.valueSize();
}

// ---- DeviceEventControl --------------------------------------------------------------------------

namespace {

using ControlCall = CPublicCall<CDeviceEventControlGuard>;
constexpr GenTL::EVENT_TYPE kCameraEvent = GenTL::EVENT_REMOTE_DEVICE;

// The device object behind `control`, open, for the length of `operation(record, device)`;
// `closedText` is the refusal while the device is closed.
template <class Operation>
Result withOpenDevice(ControlCall& control, DeviceEventControl* self, const char* closedText, Operation&& operation) {
    auto* owner = static_cast<Device*>(self);
    CPublicCall<CDeviceGuard> device(control.site(), kShared, owner, EventAccess::slot(owner));
    CDeviceObj* module = device->device_;
    if (module == nullptr || !module->isOpen())
        return recordFailure(control.site(), Result::NotInitialized, "%s", closedText);
    return operation(*control, *module);
}

constexpr char kNotInitialized[] = "Event interface is not initialized. Open the object first";
constexpr char kDeviceNotOpen[] = "Device is not open.";

}  // namespace

void DeviceEventControl::RegisterDeviceEvent(EventMode mode) {
    const MethodSite site = CORVID2_METHOD(DeviceEventControl, RegisterDeviceEvent);
    const auto value = static_cast<std::int32_t>(mode);
    if (value < 0 || value > static_cast<std::int32_t>(EventMode::EventHandler))
        failAt(site, Result::InvalidParameter, "Invalid EventMode specified.");
    ControlCall call(site, kSharedChecked, this, &events_);
    call.check(withOpenDevice(call, this, kNotInitialized, [&](DeviceEventControlData& record, CDeviceObj& device) {
        return DeviceEventOps::setMode(site, record, device, kCameraEvent, mode);
    }));
}

void DeviceEventControl::RegisterDeviceEventHandler(void* userObj, DeviceEventHandler handler) {
    const MethodSite site = CORVID2_METHOD(DeviceEventControl, RegisterDeviceEventHandler);
    if (handler == nullptr) failAt(site, Result::InvalidParameter, "Missing event handler.");
    ControlCall call(site, kSharedChecked, this, &events_);
    // Runs on the device's event thread after each event; no library lock is held.
    const CEventObj::Handler trampoline = [](void* context, void*) {
        auto& record = *static_cast<DeviceEventControlData*>(context);
        const auto [user, userObject] = DeviceEventOps::handler(record);
        if (user != nullptr) user(userObject, record.handed_.get());
    };
    call.check(withOpenDevice(call, this, kNotInitialized, [&](DeviceEventControlData& record, CDeviceObj& device) {
        return DeviceEventOps::installHandler(site, record, device, kCameraEvent, userObj, handler, trampoline,
                                              [](DeviceEvent& event) { return &EventAccess::data(event)->event_; });
    }));
}

void DeviceEventControl::UnregisterDeviceEvent() {
    const MethodSite site = CORVID2_METHOD(DeviceEventControl, UnregisterDeviceEvent);
    ControlCall call(site, kSharedChecked, this, &events_);
    call.check(withOpenDevice(call, this, kDeviceNotOpen, [&](DeviceEventControlData& record, CDeviceObj& device) {
        const Result code = DeviceEventOps::setMode(site, record, device, kCameraEvent, EventMode::Unregistered);
        if (code == Result::Success)
            traceInfo("%s; %s; %s", device.traceName().c_str(), site.label, "Device events unregistered");
        return code;
    }));
}

EventMode DeviceEventControl::GetEventMode() {
    const MethodSite site = CORVID2_METHOD(DeviceEventControl, GetEventMode);
    ControlCall call(site, kShared, this, &events_);
    EventMode mode = EventMode::Unregistered;
    call.check(withOpenDevice(call, this, kModuleNotOpen, [&](DeviceEventControlData&, CDeviceObj& device) {
        mode = static_cast<EventMode>(device.eventMode(kCameraEvent));
        return Result::Success;
    }));
    return mode;
}

bool DeviceEventControl::GetDeviceEvent(DeviceEvent* event, std::uint64_t timeout) {
    const MethodSite site = CORVID2_METHOD(DeviceEventControl, GetDeviceEvent);
    ControlCall call(site, kShared, this, &events_);
    CDeviceEventGuard eventGuard(site.name);
    DeviceEventData* target = acquireTarget(site, eventGuard, event, EventAccess::slot(event),
                                            "The passed device event object is not valid.");
    Result fetched = Result::Success;
    call.check(withOpenDevice(call, this, kModuleNotOpen, [&](DeviceEventControlData& record, CDeviceObj& device) {
        fetched = DeviceEventOps::fetch(site, record, device, kCameraEvent, timeout, target->event_);
        return unlessOrdinary(fetched);
    }));
    return polled(site, fetched);
}

void DeviceEventControl::CancelGetDeviceEvent() {
    const MethodSite site = CORVID2_METHOD(DeviceEventControl, CancelGetDeviceEvent);
    ControlCall call(site, kShared, this, &events_);
    call.check(withOpenDevice(call, this, kDeviceNotOpen,
                              [&](DeviceEventControlData&, CDeviceObj& device) { return device.abortEventWait(); }));
}

}  // namespace CORVID2::Events
