// SPDX-License-Identifier: BSD-3-Clause
// The public PnPEvent and the plug-and-play event control of an Interface.
#include "corvid2/exceptions.h"
#include "modules/event_data.h"
#include "modules/interfaceobj.h"
#include "trace/trace.h"

using namespace corvid2;
using CORVID2::Internal::EventAccess;
using CORVID2::Internal::InterfaceEventControlData;
using CORVID2::Internal::PnPEventData;

namespace CORVID2::Events {

// ---- PnPEvent ------------------------------------------------------------------------------------

PnPEvent::PnPEvent() : data_(new PnPEventData()) {
    registerHolder<CPnPEventGuard>(CORVID2_METHOD(PnPEvent, PnPEvent), this, data_);
}

PnPEvent::~PnPEvent() {
    unregisterHolder<CPnPEventGuard>(CORVID2_METHOD(PnPEvent, ~PnPEvent), this, &data_,
                                     [](PnPEventData* data) { delete data; });
}

PnPType PnPEvent::GetPnPType() {
    CPublicCall<CPnPEventGuard> call(CORVID2_METHOD(PnPEvent, GetPnPType), kShared, this, &data_);
    const std::uint32_t type = call->event_.pnpType();
    traceInfo("CEventPnPObj; getPnPType; %s", type == CEventPnPObj::kDeviceAdded ? "DeviceAdd" : "DeviceRemoved");
    return static_cast<PnPType>(type);
}

String PnPEvent::GetId() {
    CPublicCall<CPnPEventGuard> call(CORVID2_METHOD(PnPEvent, GetId), kShared, this, &data_);
    const std::string id = call->event_.deviceId();
    if (id.empty()) failAt(call.site(), Result::NotAvailable, "id not available");
    traceInfo("CEventPnPObj; getId; %s", id.c_str());
    return id.c_str();
}

String PnPEvent::GetSerialNumber() {
    CPublicCall<CPnPEventGuard> call(CORVID2_METHOD(PnPEvent, GetSerialNumber), kShared, this, &data_);
    const std::string serial = call->event_.serialNumber();
    if (serial.empty()) failAt(call.site(), Result::NotAvailable, "serial number not available");
    traceInfo("CEventPnPObj; getSerialNumber; %s", serial.c_str());
    return serial.c_str();
}

// ---- InterfaceEventControl -----------------------------------------------------------------------

namespace {

using ControlCall = CPublicCall<CInterfaceEventControlGuard>;
constexpr GenTL::EVENT_TYPE kPnP = CInterfaceObj::kPnPEventType;

// The open interface object behind `control` for the length of `operation(record, module)`.
template <class Operation>
Result withInterface(ControlCall& control, InterfaceEventControl* self, Operation&& operation) {
    auto* owner = static_cast<Interface*>(self);
    CPublicCall<CInterfaceGuard> iface(control.site(), kShared, owner, EventAccess::slot(owner));
    CInterfaceObj* module = iface->interface_.load(std::memory_order_acquire);
    if (module == nullptr) return recordFailure(control.site(), Result::NotInitialized, kModuleNotOpen);
    return operation(*control, *module);
}

// Our own producers raise plug-and-play events; others are told so at registration.
Result requireOwnVendor(const MethodSite& site, CInterfaceObj& module) {
    return module.isOwnVendor() ? Result::Success : recordFailure(site, Result::NotAvailable, "Not supported");
}

void checkMode(const MethodSite& site, EventMode mode) {
    const auto value = static_cast<std::int32_t>(mode);
    if (value < 0 || value > static_cast<std::int32_t>(EventMode::EventHandler))
        failAt(site, Result::InvalidParameter, "Invalid EventMode specified.");
}

}  // namespace

void InterfaceEventControl::RegisterPnPEvent(EventMode mode) {
    const MethodSite site = CORVID2_METHOD(InterfaceEventControl, RegisterPnPEvent);
    checkMode(site, mode);
    ControlCall call(site, kSharedChecked, this, &events_);
    call.check(withInterface(call, this, [&](InterfaceEventControlData& record, CInterfaceObj& module) {
        if (const Result code = requireOwnVendor(site, module); code != Result::Success) return code;
        return InterfaceEventOps::setMode(site, record, module, kPnP, mode);
    }));
}

void InterfaceEventControl::RegisterPnPEventHandler(void* userObj, PnPEventHandler handler) {
    const MethodSite site = CORVID2_METHOD(InterfaceEventControl, RegisterPnPEventHandler);
    if (handler == nullptr) failAt(site, Result::InvalidParameter, "Invalid parameter, handler is NULL");
    ControlCall call(site, kSharedChecked, this, &events_);
    // Runs on the interface's event thread after each event; no library lock is held.
    const CEventObj::Handler trampoline = [](void* context, void*) {
        auto& record = *static_cast<InterfaceEventControlData*>(context);
        const auto [user, userObject] = InterfaceEventOps::handler(record);
        if (user != nullptr) user(userObject, record.handed_.get());
    };
    call.check(withInterface(call, this, [&](InterfaceEventControlData& record, CInterfaceObj& module) {
        if (const Result code = requireOwnVendor(site, module); code != Result::Success) return code;
        return InterfaceEventOps::installHandler(site, record, module, kPnP, userObj, handler, trampoline,
                                                 [](PnPEvent& event) { return &EventAccess::data(event)->event_; });
    }));
}

void InterfaceEventControl::UnregisterPnPEvent() {
    const MethodSite site = CORVID2_METHOD(InterfaceEventControl, UnregisterPnPEvent);
    ControlCall call(site, kSharedChecked, this, &events_);
    call.check(withInterface(call, this, [&](InterfaceEventControlData& record, CInterfaceObj& module) {
        return InterfaceEventOps::setMode(site, record, module, kPnP, EventMode::Unregistered);
    }));
}

EventMode InterfaceEventControl::GetEventMode() {
    const MethodSite site = CORVID2_METHOD(InterfaceEventControl, GetEventMode);
    ControlCall call(site, kShared, this, &events_);
    EventMode mode = EventMode::Unregistered;
    call.check(withInterface(call, this, [&](InterfaceEventControlData&, CInterfaceObj& module) {
        mode = static_cast<EventMode>(module.eventMode(kPnP));
        return Result::Success;
    }));
    return mode;
}

bool InterfaceEventControl::GetPnPEvent(PnPEvent* event, std::uint64_t timeout) {
    const MethodSite site = CORVID2_METHOD(InterfaceEventControl, GetPnPEvent);
    ControlCall call(site, kShared, this, &events_);
    CPnPEventGuard eventGuard(site.name);
    PnPEventData* target =
        acquireTarget(site, eventGuard, event, EventAccess::slot(event), "The passed pnp event object is not valid.");
    Result fetched = Result::Success;
    call.check(withInterface(call, this, [&](InterfaceEventControlData& record, CInterfaceObj& module) {
        fetched = InterfaceEventOps::fetch(site, record, module, kPnP, timeout, target->event_);
        return unlessOrdinary(fetched);
    }));
    return polled(site, fetched);
}

void InterfaceEventControl::CancelGetPnPEvent() {
    const MethodSite site = CORVID2_METHOD(InterfaceEventControl, CancelGetPnPEvent);
    ControlCall call(site, kShared, this, &events_);
    call.check(withInterface(
        call, this, [&](InterfaceEventControlData&, CInterfaceObj& module) { return module.abortEventWait(); }));
}

}  // namespace CORVID2::Events
