// SPDX-License-Identifier: BSD-3-Clause
// CInterfaceObj: one GenTL interface of a system, the object behind a public Interface.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <set>
#include <string>

#include "core/result_codes.h"
#include "modules/gentl_module.h"

namespace corvid2 {

class CDeviceObj;
class CProducerObj;

// Every operation holds the object's recursive lock for its whole run, GenTL calls included.
// Lock order: a system's lock before its interfaces', an interface's before its devices'.
class CInterfaceObj : public CGenTLModule {
public:
    // Our own producers raise plug-and-play events as this custom event type.
    static constexpr GenTL::EVENT_TYPE kPnPEventType = GenTL::EVENT_CUSTOM_ID;

    // Made by its system for one listed id; the interface is opened later, on demand.
    CInterfaceObj(CProducerObj* system, CGenTLProducer* producer, GenTL::TL_HANDLE tlHandle, std::string id,
                  const std::string& vendor);
    // Deletes its device objects and closes the interface when it is still open.
    ~CInterfaceObj() override;

    void* getHandle() const override { return ifHandle_; }

    // TLOpenInterface, then the port, node map and display name of the opened interface.
    Result OpenInterface();
    // With a handle: take over the opened interface; with null: IFClose and forget the node map.
    Result setHandle(GenTL::IF_HANDLE handle);
    // Deletes the device objects and closes; InvalidParameter "Interface already closed" when not open.
    Result CloseInterface();

    Result getInfo(GenTL::INTERFACE_INFO_CMD command, GenTL::INFO_DATATYPE* type, void* buffer, size_t* size);
    Result getInfoString(GenTL::INTERFACE_INFO_CMD command, std::string& text);
    Result GetNumDevices(std::uint32_t* count);
    Result GetDeviceID(std::uint32_t index, std::string* id);
    // Information of a device by id, open or not (IFGetDeviceInfo).
    Result getDeviceInfo(const std::string& id, GenTL::DEVICE_INFO_CMD command, GenTL::INFO_DATATYPE* type,
                         void* buffer, size_t* size);
    Result getDeviceInfoString(const std::string& id, GenTL::DEVICE_INFO_CMD command, std::string& text);

    // Asks the producer to update its device list. `changed` is also set when the producer keeps
    // quiet but the device count no longer matches the device objects. With `syncObjects` the device
    // objects follow the list: new ids get an object, closed objects of vanished ids go; open ones stay.
    Result UpdateDeviceList(bool* changed, std::uint64_t timeout, bool syncObjects);

    // The device object of that id opens itself; Error "The device with ID %s is not in list." when none.
    Result OpenDevice(const std::string& id, GenTL::DEVICE_ACCESS_FLAGS access, CDeviceObj** device);
    Result CloseDevice(CDeviceObj* device);
    // Removes the device object from the set and destroys it.
    Result DeleteDevice(CDeviceObj* device);
    // The device object of that id; null (with the failure recorded) when there is none.
    CDeviceObj* findDevice(const std::string& id);
    // The device object of that id, made when missing.
    CDeviceObj* addDevice(const std::string& id);
    std::size_t deviceCount() const;
    // Whether the object is one of this interface's devices (it may have been deleted by an update).
    bool holdsDevice(const CDeviceObj* device) const;

    const std::string& id() const { return id_; }
    CProducerObj* system() const { return system_; }
    GenTL::TL_HANDLE tlHandle() const { return tlHandle_; }
    bool isOpen() const { return ifHandle_ != nullptr; }
    // The GenTL version its system read from the producer (0.0 without system).
    std::uint32_t genTLVersionMajor() const;
    std::uint32_t genTLVersionMinor() const;

    std::recursive_mutex& lock() const { return mutex_; }

private:
    // The table and an open interface, which every device operation needs.
    Result checkOpen(const char* operation);
    CDeviceObj* deviceWithId(const std::string& id) const;
    void destroyDevices();

    CProducerObj* system_;
    GenTL::TL_HANDLE tlHandle_;
    std::atomic<GenTL::IF_HANDLE> ifHandle_{nullptr};  // isOpen() is asked without the lock
    std::string id_;
    std::set<std::unique_ptr<CDeviceObj>> devices_;
    mutable std::recursive_mutex mutex_;
};

}  // namespace corvid2
