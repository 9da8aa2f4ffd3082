// SPDX-License-Identifier: BSD-3-Clause
// Event modes and the events of the modules: the new-buffer event of a data stream, the
// plug-and-play events of an interface and the camera events of a device, each by polling or
// through a handler that a library thread calls.
#ifndef CORVID2_EVENTS_H
#define CORVID2_EVENTS_H

#include <cstdint>

#include "corvid2/export.h"
#include "corvid2/string.h"

namespace CORVID2 {

class Buffer;
class DataStream;
class Device;
class Interface;
namespace Internal {
struct AcquisitionAccess;
struct DataStreamEventData;
struct EventAccess;
struct DeviceEventControlData;
struct DeviceEventData;
struct InterfaceEventControlData;
struct PnPEventData;
}  // namespace Internal

namespace Events {

// How an application receives the events of one kind: not at all, by fetching them itself with a
// timeout, or through a handler that a library thread calls.
enum class EventMode : std::int32_t { Unregistered = 0, Polling = 1, EventHandler = 2 };

// What the event controls of DataStream, Interface and Device have in common: the record behind
// the control (its handler, user object and event object), for a companion component.
class CORVID2_API EventControl {
public:
    void* GetBase() { return base_; }

    EventControl(const EventControl&) = delete;
    EventControl& operator=(const EventControl&) = delete;

protected:
    EventControl() = default;
    ~EventControl() = default;

private:
    friend struct Internal::AcquisitionAccess;
    friend struct Internal::EventAccess;
    void* base_ = nullptr;
};

// Receives one filled buffer on the stream's own thread, one buffer at a time; the next delivery
// waits until it returns. `buffer` is null when the delivered buffer is no longer in the list.
using NewBufferEventHandler = void (*)(void* userObj, Buffer* buffer);

// The new-buffer event of a DataStream (its base). An open stream starts in polling mode.
class CORVID2_API DataStreamEventControl : public EventControl {
public:
    // Unregistered, Polling or EventHandler; InvalidParameterException "Invalid EventMode
    // specified." for any other value, ResourceInUseException for the mode already in use.
    // Leaving EventHandler stops the handler thread and discards every queued buffer.
    void RegisterNewBufferEvent(EventMode mode);
    // Switches to EventHandler with `handler`, which must not be null.
    void RegisterNewBufferEventHandler(void* userObj, NewBufferEventHandler handler);
    // Stops a handler thread and unregisters the event.
    void UnregisterNewBufferEvent();
    EventMode GetEventMode();
    // Polling mode only: the next filled buffer, waiting at most `timeout` ms (0xFFFFFFFFFFFFFFFF
    // without end); null on timeout, AbortException when cancelled.
    Buffer* GetFilledBuffer(std::uint64_t timeout);
    // Polling mode only: ends a waiting GetFilledBuffer, or the next one at once when none waits.
    void CancelGetFilledBuffer();

protected:
    DataStreamEventControl() = default;
    ~DataStreamEventControl() = default;

private:
    friend struct Internal::AcquisitionAccess;
    Internal::DataStreamEventData* events_ = nullptr;
};

// ---- plug-and-play events of an interface -------------------------------------------------------

// What happened to the device named in a plug-and-play event. The library treats every value
// other than DeviceAdded as a removal; DeviceRemoved is the value producers send for it.
enum class PnPType : std::uint32_t { DeviceAdded = 1, DeviceRemoved = 2 };

// One plug-and-play event; keeps the values of the last event fetched into it.
class CORVID2_API PnPEvent {
public:
    PnPEvent();
    ~PnPEvent();
    PnPType GetPnPType();
    // NotAvailableException "id not available" before an event was fetched into it.
    String GetId();
    // NotAvailableException "serial number not available" when the event named none.
    String GetSerialNumber();

    PnPEvent(const PnPEvent&) = delete;
    PnPEvent& operator=(const PnPEvent&) = delete;

private:
    friend struct Internal::EventAccess;
    Internal::PnPEventData* data_;
};

// Receives one plug-and-play event on the interface's event thread.
using PnPEventHandler = void (*)(void* userObj, PnPEvent* event);

// The plug-and-play events of an Interface (its base); offered by the producers of the library's
// own vendor only ("Not supported" otherwise). Every method needs the Interface open.
class CORVID2_API InterfaceEventControl : public EventControl {
public:
    // Unregistered, Polling or EventHandler; InvalidParameterException "Invalid EventMode
    // specified." for any other value. Leaving EventHandler stops the handler thread first.
    void RegisterPnPEvent(EventMode mode);
    // Switches to EventHandler with `handler`, which must not be null.
    void RegisterPnPEventHandler(void* userObj, PnPEventHandler handler);
    void UnregisterPnPEvent();
    EventMode GetEventMode();
    // Polling mode only: fetches the next event into `event`, waiting at most `timeout` ms; false
    // when none came in time or the wait was cancelled.
    bool GetPnPEvent(PnPEvent* event, std::uint64_t timeout);
    // Ends a waiting GetPnPEvent (or the next one at once).
    void CancelGetPnPEvent();

protected:
    InterfaceEventControl() = default;
    ~InterfaceEventControl() = default;

private:
    friend struct Internal::EventAccess;
    Internal::InterfaceEventControlData* events_ = nullptr;
};

// ---- camera events of a device ------------------------------------------------------------------

// One camera event; keeps the values of the last event fetched into it. Fetching an event also
// updates the camera's event features (Event<Name>Timestamp, ...) in the device's node map.
class CORVID2_API DeviceEvent {
public:
    DeviceEvent();
    DeviceEvent(const DeviceEvent& other);
    DeviceEvent& operator=(const DeviceEvent& other);
    ~DeviceEvent();
    // The camera's feature that carries the event's ID ("EventFrameStart") and its display name;
    // NotAvailableException "event name not available" when the description has none.
    String GetName();
    String GetDisplayName();
    // The event ID as the producer sent it (hexadecimal digits); "no event data present" before
    // an event was fetched.
    String GetId();
    // The value of Event<Name>Timestamp; "time stamp not available" without that feature.
    std::uint64_t GetTimeStamp();
    // The event's raw data as the producer delivered it (null and 0 without data).
    const void* GetEventMemPtr();
    std::uint64_t GetEventMemSize();

private:
    friend struct Internal::EventAccess;
    Internal::DeviceEventData* data_;
};

// Receives one camera event on the device's event thread.
using DeviceEventHandler = void (*)(void* userObj, DeviceEvent* event);

// The camera events of a Device (its base). Every method needs the Device open.
class CORVID2_API DeviceEventControl : public EventControl {
public:
    // Unregistered, Polling or EventHandler; InvalidParameterException "Invalid EventMode
    // specified." for any other value. Leaving EventHandler stops the handler thread first.
    void RegisterDeviceEvent(EventMode mode);
    // Switches to EventHandler with `handler`; InvalidParameterException "Missing event handler."
    // for null.
    void RegisterDeviceEventHandler(void* userObj, DeviceEventHandler handler);
    void UnregisterDeviceEvent();
    EventMode GetEventMode();
    // Polling mode only: fetches the next event into `event`, waiting at most `timeout` ms; false
    // when none came in time or the wait was cancelled.
    bool GetDeviceEvent(DeviceEvent* event, std::uint64_t timeout);
    // Ends a waiting GetDeviceEvent (or the next one at once).
    void CancelGetDeviceEvent();

protected:
    DeviceEventControl() = default;
    ~DeviceEventControl() = default;

private:
    friend struct Internal::EventAccess;
    Internal::DeviceEventControlData* events_ = nullptr;
};

}  // namespace Events
}  // namespace CORVID2

#endif
