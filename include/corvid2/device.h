// SPDX-License-Identifier: BSD-3-Clause
// The device list of an open Interface and the Device of one camera.
#ifndef CORVID2_DEVICE_H
#define CORVID2_DEVICE_H

#include <cstddef>
#include <cstdint>

#include "corvid2/events.h"
#include "corvid2/export.h"
#include "corvid2/list_iterator.h"
#include "corvid2/node.h"
#include "corvid2/string.h"

namespace CORVID2 {

class DataStreamList;
class Device;
class Interface;
namespace Internal {
struct AcquisitionAccess;
struct DeviceData;
struct DeviceListData;
}  // namespace Internal

// The devices of one open Interface, ordered by id. A Device keeps its identity across refreshes
// for as long as its id stays listed; an open Device whose id is no longer listed stays until it
// is closed and the list refreshed again.
class CORVID2_API DeviceList {
public:
    // Asks the producer to update its list (waiting at most `timeout` ms) and follows it.
    void Refresh(std::uint64_t timeout);

    using iterator = ListIterator<DeviceList, Device>;

    iterator begin();
    iterator end();
    iterator find(const String& id);
    // Throws InvalidParameterException when the id or index is not in the list.
    Device* operator[](const String& id);
    Device* operator[](std::size_t index);
    std::size_t size();
    // Destroys every Device of the list (closing the open ones).
    void clear();

    DeviceList(const DeviceList&) = delete;
    DeviceList& operator=(const DeviceList&) = delete;

private:
    friend class Interface;
    explicit DeviceList(Interface* iface);
    ~DeviceList();
    Internal::DeviceListData* data_;
};

// One camera found on an Interface. Its information is available before it is opened (the
// interface answers for it) and after (the device answers itself). Its features are the device
// module's, while it is open.
class CORVID2_API Device : public INode, public Events::DeviceEventControl {
public:
    // Open with control access, exclusively, or read-only; ResourceInUseException when open.
    void Open();
    void OpenExclusive();
    void OpenReadOnly();
    // Closing a closed Device only leaves a warning line.
    void Close();
    bool IsOpen();

    String GetID();
    String GetVendor();
    String GetModel();
    // Empty when the device has no serial number.
    String GetSerialNumber();
    String GetTLType();
    String GetDisplayName();
    // "Unknown", "RW", "RO", "NA", "Busy", "OpenRW" or "OpenRO".
    String GetAccessStatus();
    Interface* GetParent();
    // The Device's record; its first field is the object behind it (for the C interface).
    void* GetReserved();

    // The camera's own features (the remote device), while the device is open: one by name, the
    // categories from the root down, every feature. NotInitializedException "Device not opened"
    // while closed.
    Node* GetRemoteNode(const String& name);
    NodeMap* GetRemoteNodeTree();
    NodeMap* GetRemoteNodeList();
    // A description (XML text, not a path) that the next Open gives the camera instead of the one
    // the camera offers; ResourceInUseException while open. The getter returns that text when set,
    // else the camera's current description while open.
    String GetRemoteConfigurationFile();
    void SetRemoteConfigurationFile(const String& description);
    // The camera's "PayloadSize": the bytes one image needs.
    std::uint64_t GetPayloadSize();
    // The device's data streams; NotInitializedException "Device not opened." while closed.
    // Closing the device destroys its DataStreams.
    DataStreamList* GetDataStreams();
    // The camera's 3x3 colour transformation (its "ColorTransformationValue" entries Gain00 to
    // Gain22), read or written row by row; a written value outside a gain's range is limited to it.
    // NotAvailableException "Color matrix not supported." for a camera without all nine entries.
    void GetColorMatrix(double matrix[3][3]);
    void SetColorMatrix(const double matrix[3][3]);
    // Whether components of the library may switch on the chunks they need (and off again
    // afterwards, leaving the chunks the application enabled); on by default.
    void EnableChunkAuto(bool on);
    // Raw register access of the camera, without write stack and read cache.
    void ReadMemory(std::uint64_t address, std::uint64_t length, void* buffer);
    void WriteMemory(std::uint64_t address, std::uint64_t length, const void* buffer);
    // Holds the camera's register writes and sends them in one stacked call (or drops them).
    void StartStacking(bool replaceSameRegister);
    void WriteStack();
    void CancelStack();

    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

private:
    friend class DeviceList;
    friend struct Internal::EventAccess;
    friend struct Internal::AcquisitionAccess;
    struct FromList {};
    Device(FromList, Interface* parent, void* interfaceObj, const String& id);
    ~Device();
    Internal::DeviceData* data_;
};

}  // namespace CORVID2

#endif
