// SPDX-License-Identifier: BSD-3-Clause
// The records behind the public PnPEvent, DeviceEvent and the event controls of Interface and
// Device, and their guards.
#pragma once

#include "core/access_control.h"
#include "core/object_guard.h"
#include "corvid2/device.h"
#include "corvid2/events.h"
#include "corvid2/interface.h"
#include "modules/device_data.h"
#include "modules/event_control.h"
#include "modules/event_device.h"
#include "modules/event_pnp.h"
#include "modules/interface_data.h"

namespace CORVID2::Internal {

struct PnPEventData {
    corvid2::CorvidObjectAccessControl access_;
    corvid2::CEventPnPObj event_;
};

struct DeviceEventData {
    corvid2::CorvidObjectAccessControl access_;
    corvid2::CEventDeviceEventObj event_;
};

struct InterfaceEventControlData
    : corvid2::CEventControlRecord<corvid2::CEventPnPObj, Events::PnPEvent, Events::PnPEventHandler> {};

struct DeviceEventControlData
    : corvid2::CEventControlRecord<corvid2::CEventDeviceEventObj, Events::DeviceEvent, Events::DeviceEventHandler> {};

// The library's way into the private parts of the event classes and their modules. The slots of
// null objects are null: the guards refuse them as invalid objects.
struct EventAccess {
    static PnPEventData* const* slot(Events::PnPEvent* event) { return event != nullptr ? &event->data_ : nullptr; }
    static DeviceEventData* const* slot(Events::DeviceEvent* event) {
        return event != nullptr ? &event->data_ : nullptr;
    }
    static PnPEventData* data(Events::PnPEvent& event) { return event.data_; }
    static DeviceEventData* data(Events::DeviceEvent& event) { return event.data_; }
    static InterfaceEventControlData*& control(Events::InterfaceEventControl* control) { return control->events_; }
    static DeviceEventControlData*& control(Events::DeviceEventControl* control) { return control->events_; }
    static void*& base(Events::EventControl* control) { return control->base_; }
    static InterfaceData* const* slot(Interface* iface) { return &iface->data_; }
    static DeviceData* const* slot(Device* device) { return &device->data_; }
};

}  // namespace CORVID2::Internal

namespace corvid2 {

using CPnPEventGuard = CHolderGuard<RegistryKind::EventControl, CORVID2::Internal::PnPEventData>;
using CDeviceEventGuard = CHolderGuard<RegistryKind::DeviceEvent, CORVID2::Internal::DeviceEventData>;
// Both controls live in the registry of event controls.
using CInterfaceEventControlGuard =
    CHolderGuard<RegistryKind::InterfaceEventControl, CORVID2::Internal::InterfaceEventControlData>;
using CDeviceEventControlGuard =
    CHolderGuard<RegistryKind::InterfaceEventControl, CORVID2::Internal::DeviceEventControlData>;

using InterfaceEventOps = CEventControlOps<CORVID2::Internal::InterfaceEventControlData>;
using DeviceEventOps = CEventControlOps<CORVID2::Internal::DeviceEventControlData>;

}  // namespace corvid2
