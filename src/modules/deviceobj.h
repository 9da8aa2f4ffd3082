// SPDX-License-Identifier: BSD-3-Clause
// CDeviceObj: one device of an interface, the GenTL device module behind a public Device.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "addons/device_buffer_notification.h"
#include "addons/device_chunk.h"
#include "addons/device_color_matrix.h"
#include "addons/device_feature.h"
#include "core/access_control.h"
#include "core/object_guard.h"
#include "core/result_codes.h"
#include "features/feature_invalidate.h"
#include "modules/device_pause.h"
#include "modules/event_device.h"
#include "modules/gentl_module.h"
#include "modules/remotedeviceobj.h"

namespace corvid2 {

class CDataStreamObj;
class CGenAPINode;
class CInterfaceObj;

// Access status of an open device as the library keeps it (not the producer's numbering).
enum class DeviceAccess : std::int32_t { None = 0, ReadWrite = 1, ReadOnly = 2 };

// Exists from the moment its interface lists its id; opening gives it a GenTL handle and the
// device module's node map. Lock order: the interface's lock before the device's (operations that
// reach the interface take the interface's lock first).
class CDeviceObj : public CGenTLModule, private IChunkPause {
public:
    CDeviceObj(CInterfaceObj* iface, std::string id, const std::string& vendor);
    // Closes the device when it is still open.
    ~CDeviceObj() override;

    void* getHandle() const override { return devHandle_; }

    // IFOpenDevice with the interface's handle; ResourceInUse "Device %s is already opened." when open.
    Result open(GenTL::DEVICE_ACCESS_FLAGS access);
    // Takes over an opened device: access status, port, node map, trace name and TL type, the
    // remote device with the camera's node map, feature invalidation, the transport-layer
    // parameter lock's features, and a GEV camera's acquisition stopped. Only the device module's
    // own failures fail it; the optional parts are traced.
    Result setHandle(GenTL::DEV_HANDLE handle, GenTL::DEVICE_ACCESS_FLAGS access);
    // Closes the open streams, ends feature invalidation, destroys the remote device and closes: DevClose's refusal is
    // traced and does not fail the close; the result is that of unregistering the invalidation.
    Result close();

    // DevGetInfo while open; the interface's IFGetDeviceInfo otherwise.
    Result getInfo(GenTL::DEVICE_INFO_CMD command, GenTL::INFO_DATATYPE* type, void* buffer, size_t* size);
    Result getInfoString(GenTL::DEVICE_INFO_CMD command, std::string& text);
    // Rereads what the producer tells of a device that is not open (vendor, TL type).
    Result refreshInfo();

    const std::string& id() const { return id_; }
    CInterfaceObj* interfaceObj() const { return interface_; }
    bool isOpen() const { return opened_; }
    DeviceAccess accessStatus() const { return access_; }
    const std::string& tlType() const { return tlType_; }

    // The camera behind the open device; null while closed (or when its port could not be had).
    CRemoteDeviceObj* remoteDevice() const { return remote_.get(); }
    // A description (the text, not a path) that the next open gives the remote device instead of
    // loading one from its port; ResourceInUse "Device opened" while open. Empty: none.
    Result setRemoteConfiguration(const std::string& text);
    std::string remoteConfiguration() const;
    // Whether the feature-invalidation thread listens to the device's events.
    bool invalidationListening() const { return invalidation_.listening(); }
    // The remote feature "TLParamsLocked" and the device module's "DisableTLParamsLocked", found
    // at open; null when absent.
    CGenAPINode* tlParamsLocked() const { return tlParamsLocked_; }
    CGenAPINode* disableTLParamsLocked() const { return disableTLParamsLocked_; }

    // Feeds a camera event (`eventId`, its raw `value`) into the camera's node map, whose event
    // features then show it, and finds its names and timestamp there. False while no camera node
    // map is open. Under the device's lock, so that the map cannot close underneath.
    bool takeRemoteEvent(std::uint64_t eventId, const std::vector<std::uint8_t>& value, RemoteEventNames& names);

    // The camera's "PayloadSize" (current value).
    Result getPayloadSize(std::uint64_t* size);
    // Raw register access of the camera through the remote port: no write stack, no read cache.
    Result readMemory(std::uint64_t address, void* buffer, size_t* size);
    Result writeMemory(std::uint64_t address, const void* buffer, size_t* size);
    // The write stack of the camera's port.
    Result startStacking(bool replaceSameRegister);
    Result writeStack();
    Result cancelStack();

    // The data streams the producer offers on the open device.
    Result GetNumDataStreams(std::uint32_t* count);
    Result GetDataStreamID(std::uint32_t index, std::string* id);
    // The stream object of `id`, made on first request and kept, open or closed, until
    // deleteStream (its public DataStream goes) or the device object goes.
    CDataStreamObj* addStream(const std::string& id);
    Result deleteStream(CDataStreamObj* stream);
    bool holdsStream(const CDataStreamObj* stream) const;
    // DevOpenDataStream for a stream of this device; ResourceInUse "DataStream %s is already
    // opened." when open.
    Result OpenDataStream(CDataStreamObj* stream);
    Result CloseDataStream(CDataStreamObj* stream);

    // Executes a command of the camera when it has it and it may run now; failures are traced
    // with `operation`. True when it ran.
    bool executeCameraCommand(const char* name, const char* operation);
    // The streams open now, in order of first request.
    std::vector<CDataStreamObj*> openStreams() const;
    DevicePause& pause() { return pause_; }

    // The helpers over the camera's features, initialised while the device is open.
    DeviceFeature& features() { return features_; }
    DeviceColorMatrix& colorMatrix() { return colorMatrix_; }
    DeviceChunk& chunks() { return chunks_; }
    // DeviceChunk's update (`apply`) or restore under the device's lock, which it takes before its
    // own: the device cannot close under the chunk features meanwhile.
    Result updateChunks(const std::vector<std::uint64_t>& ids, bool apply);
    // Whether chunk requests of the library's components are carried out (true until the
    // application says otherwise).
    bool chunkAuto() const { return chunkAuto_.load(std::memory_order_acquire); }
    void setChunkAuto(bool on) { chunkAuto_.store(on, std::memory_order_release); }
    DeviceBufferNotification& bufferNotification() { return bufferNotification_; }

    // For the guards of the internal device registry: the identity and the users counted.
    const ObjectIdentity identity_ = nextObjectIdentity();
    std::atomic<std::uint32_t> useCount_{0};

private:
    // The open device's optional parts (see setHandle), each failure only traced.
    void openRemoteDevice();
    void startInvalidation();
    void findTransportLayerLock();
    void stopCameraAcquisition();
    // Hands the helpers the camera's flat feature view.
    void startAddons();
    // NotInitialized "Device not opened" with `operation` unless open with a remote device.
    Result checkRemote(const char* operation) const;

    CInterfaceObj* interface_;
    std::string id_;
    std::atomic<GenTL::DEV_HANDLE> devHandle_{nullptr};
    std::atomic<bool> opened_{false};  // also read without the lock, by the public layer
    DeviceAccess access_ = DeviceAccess::None;
    std::string tlType_;
    std::string remoteConfiguration_;
    std::unique_ptr<CRemoteDeviceObj> remote_;
    CFeatureInvalidateControl invalidation_;
    CGenAPINode* tlParamsLocked_ = nullptr;
    CGenAPINode* disableTLParamsLocked_ = nullptr;
    std::vector<std::unique_ptr<CDataStreamObj>> streams_;  // in order of first request
    DeviceFeature features_;
    DeviceColorMatrix colorMatrix_;
    DeviceBufferNotification bufferNotification_;
    DevicePause pause_{*this};
    // Chunk changes stop the camera and its streams with a pause of their own.
    Result pauseForChunks() override;
    Result resumeAfterChunks() override;
    DevicePause chunkPause_{*this};
    DeviceChunk chunks_{*this};
    std::atomic<bool> chunkAuto_{true};
    mutable std::recursive_mutex mutex_;
};

// Internal device objects are counted but never waited on: their interface decides when they go.
using CDeviceObjGuard = CObjectGuard<RegistryKind::CDeviceObjPtr, CDeviceObj,
                                     IdentityAndCounter<CDeviceObj, &CDeviceObj::identity_, &CDeviceObj::useCount_>>;

}  // namespace corvid2
