// SPDX-License-Identifier: BSD-3-Clause
// The system list (every GenTL producer found on the machine) and the System of one producer.
#ifndef CORVID2_SYSTEM_H
#define CORVID2_SYSTEM_H

#include <cstddef>
#include <cstdint>

#include "corvid2/export.h"
#include "corvid2/list_iterator.h"
#include "corvid2/node.h"
#include "corvid2/string.h"

namespace CORVID2 {

class InterfaceList;
class System;
namespace Internal {
struct SystemData;
struct SystemListData;
}  // namespace Internal

// One instance per process. Producers are found in the program's folder, in the library's folder
// and in the folders of "GENICAM_GENTL64_PATH"; the list keeps each System's identity across
// refreshes for as long as its producer is found.
class CORVID2_API SystemList {
public:
    // The instance, created on first call (the search runs at Refresh, not here).
    static SystemList* GetInstance();
    // An instance that searches only `path`; throws ResourceInUseException when one exists.
    static SystemList* CreateInstanceFromPath(const String& path);
    // Destroys the instance and every producer binding and restores "GENICAM_GENTL64_PATH".
    static void ReleaseInstance();

    void Refresh();
    // Takes a System made from a path into the list (it sorts after the found producers).
    void Add(System* system);

    using iterator = ListIterator<SystemList, System>;

    iterator begin();
    iterator end();
    iterator find(const String& id);
    // Throws InvalidParameterException when the id or index is not in the list.
    System* operator[](const String& id);
    System* operator[](std::size_t index);
    std::size_t size();
    void clear();

    SystemList(const SystemList&) = delete;
    SystemList& operator=(const SystemList&) = delete;

private:
    SystemList();
    ~SystemList();
    friend class System;
    Internal::SystemListData* data_;
};

// One producer. Made by SystemList::Refresh, or by the application from a producer file's path.
// Its features are the transport layer's, while it is open.
class CORVID2_API System : public INode {
public:
    // Loads the producer at `path` on its own, outside the search.
    explicit System(const String& path);
    ~System();
    System(const System&) = delete;
    System& operator=(const System&) = delete;

    // Opens the transport layer; opening an open System only leaves a warning line.
    void Open();
    // Destroys the System's Interfaces and closes the transport layer.
    void Close();
    bool IsOpen();
    // Throws NotInitializedException while the System is not open.
    InterfaceList* GetInterfaces();

    String GetID();
    String GetVendor();
    String GetModel();
    String GetVersion();
    String GetTLType();
    String GetDisplayName();
    // The producer's file name; its path's last part when the producer does not tell.
    String GetFileName();
    String GetPathName();
    // The System's record; its first field is the object behind it (for the C interface).
    void* GetReserved();

private:
    friend class SystemList;
    friend class InterfaceList;
    friend class Interface;
    struct FromList {};
    System(FromList, void* producer, const String& id);
    Internal::SystemData* data_;
};

}  // namespace CORVID2

#endif
