// SPDX-License-Identifier: BSD-3-Clause
// The interface list of an open System and the Interface of one transport-layer interface.
#ifndef CORVID2_INTERFACE_H
#define CORVID2_INTERFACE_H

#include <cstddef>
#include <cstdint>

#include "corvid2/events.h"
#include "corvid2/export.h"
#include "corvid2/list_iterator.h"
#include "corvid2/node.h"
#include "corvid2/string.h"

namespace CORVID2 {

class DeviceList;
class Interface;
class System;
namespace Internal {
struct InterfaceData;
struct InterfaceListData;
}  // namespace Internal

// The interfaces of one open System, ordered by id. An Interface keeps its identity across
// refreshes for as long as its id stays listed; an open Interface whose id is no longer listed
// stays in the list until it is closed and the list refreshed again.
class CORVID2_API InterfaceList {
public:
    // Asks the producer to update its list (waiting at most `timeout` ms) and follows its changes.
    void Refresh(std::uint64_t timeout);

    using iterator = ListIterator<InterfaceList, Interface>;

    iterator begin();
    iterator end();
    iterator find(const String& id);
    // Throws InvalidParameterException when the id or index is not in the list.
    Interface* operator[](const String& id);
    Interface* operator[](std::size_t index);
    std::size_t size();
    // Destroys every Interface of the list (closing the open ones).
    void clear();

    InterfaceList(const InterfaceList&) = delete;
    InterfaceList& operator=(const InterfaceList&) = delete;

private:
    friend class System;
    explicit InterfaceList(System* system);
    ~InterfaceList();
    Internal::InterfaceListData* data_;
};

// One interface (network card, USB host controller, frame grabber port) of a System. Its
// features are the interface module's, while it is open.
class CORVID2_API Interface : public INode, public Events::InterfaceEventControl {
public:
    // Throws ResourceInUseException "Interface <id> is already opened." when open.
    void Open();
    // Destroys the Interface's Devices (closing the open ones) and closes the interface; throws
    // InvalidParameterException "Interface already closed" when it is not open.
    void Close();
    bool IsOpen();
    String GetID();
    System* GetParent();
    // Answered by the interface while open, by its System while closed.
    String GetDisplayName();
    String GetTLType();
    // Throws NotInitializedException "Interface not opened." while the Interface is not open.
    DeviceList* GetDevices();
    // The Interface's record; its first field is the object behind it while open (for the C interface).
    void* GetReserved();

    Interface(const Interface&) = delete;
    Interface& operator=(const Interface&) = delete;

private:
    friend class InterfaceList;
    friend struct Internal::EventAccess;
    friend class DeviceList;
    Interface(System* system, const String& id);
    ~Interface();
    Internal::InterfaceData* data_;
};

}  // namespace CORVID2

#endif
