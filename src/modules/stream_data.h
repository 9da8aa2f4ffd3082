// SPDX-License-Identifier: BSD-3-Clause
// The records behind the public DataStreamList, DataStream (with its event control), BufferList and
// Buffer, and their guards.
#pragma once

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <unordered_map>

#include "core/access_control.h"
#include "core/object_guard.h"
#include "corvid2/buffer.h"
#include "corvid2/datastream.h"
#include "corvid2/device.h"
#include "modules/object_list.h"
#include "nodes/node_data.h"

namespace corvid2 {
class CBufferObj;
class CDataStreamObj;
class CDeviceObj;
}  // namespace corvid2

namespace CORVID2::Internal {

struct DeviceData;

struct DataStreamListData : corvid2::CListData<Device, DataStream> {
    corvid2::CDeviceObj* device_ = nullptr;
};

// The new-buffer event of one DataStream: registered apart (its own write lock), with the user's
// handler. Lock order: `handlerMutex_` is a leaf.
struct DataStreamEventData {
    corvid2::CorvidObjectAccessControl access_;
    corvid2::CDataStreamObj* stream_ = nullptr;
    DataStream* owner_ = nullptr;
    std::mutex handlerMutex_;
    Events::NewBufferEventHandler handler_ = nullptr;
    void* userObj_ = nullptr;
};

// GetReserved hands out the record: its first field is the object behind the DataStream, which
// lives as long as the DataStream (open or closed).
struct DataStreamData {
    corvid2::CDataStreamObj* stream_ = nullptr;
    corvid2::CorvidObjectAccessControl access_;
    Device* parent_ = nullptr;
    corvid2::CDeviceObj* device_ = nullptr;
    std::atomic<bool> open_{false};
    std::string id_;
    BufferList* buffers_ = nullptr;          // made and destroyed with the DataStream
    DataStreamEventData* events_ = nullptr;  // likewise
};

// The buffers of one stream by id, and by the object behind them for the delivery paths. The list
// does not own its Buffers. Lock order: the list's guard, then `mutex_`, then a Buffer's guard.
struct BufferListData {
    corvid2::CorvidObjectAccessControl access_;
    DataStream* stream_ = nullptr;
    corvid2::CDataStreamObj* streamObj_ = nullptr;
    std::recursive_mutex mutex_;
    std::map<std::string, Buffer*> entries_;
    std::unordered_map<const corvid2::CBufferObj*, Buffer*> byObject_;
};

// GetReserved hands out the record: its first field is the object behind the Buffer.
struct BufferData {
    corvid2::CBufferObj* buffer_ = nullptr;
    corvid2::CorvidObjectAccessControl access_;
    std::atomic<DataStream*> parent_{nullptr};
    std::atomic<BufferList*> list_{nullptr};
    std::string id_;
    bool userMemory_ = false;
    // The views of the chunk map, and the map generation they were made from; used under the
    // stream's lock while the buffer is announced.
    INodeData chunkNodes_{true};
    corvid2::IGenAPI* chunkSource_ = nullptr;
    std::uint64_t chunkGeneration_ = 0;
};

}  // namespace CORVID2::Internal

namespace corvid2 {

using CDataStreamListGuard = CHolderGuard<RegistryKind::DataStreamListData, CORVID2::Internal::DataStreamListData>;
using CDataStreamGuard = CHolderGuard<RegistryKind::DataStreamData, CORVID2::Internal::DataStreamData>;
using CDataStreamEventControlGuard =
    CHolderGuard<RegistryKind::StreamEventControl, CORVID2::Internal::DataStreamEventData>;
using CBufferListGuard = CHolderGuard<RegistryKind::BufferList, CORVID2::Internal::BufferListData>;
using CBufferGuard = CHolderGuard<RegistryKind::BufferData, CORVID2::Internal::BufferData>;

// Buffers are listed, not owned.
struct BufferEntryTraits : MapEntryTraits<CORVID2::Buffer> {
    static bool owned(const Entries::value_type&) { return false; }
};

}  // namespace corvid2

namespace CORVID2::Internal {

// The library's way into the private parts of the acquisition classes.
struct AcquisitionAccess {
    // The slots of null objects are null: the guards refuse them as invalid objects.
    static DeviceData* const* slot(Device* device) { return device != nullptr ? &device->data_ : nullptr; }
    static DataStreamData* const* slot(DataStream* stream) { return stream != nullptr ? &stream->data_ : nullptr; }
    static DataStreamEventData* const* slot(Events::DataStreamEventControl* control) {
        return control != nullptr ? &control->events_ : nullptr;
    }
    static DataStreamEventData*& events(Events::DataStreamEventControl* control) { return control->events_; }
    static void*& base(Events::EventControl* control) { return control->base_; }
    static BufferListData* const* slot(BufferList* list) { return list != nullptr ? &list->data_ : nullptr; }
    static BufferData* const* slot(Buffer* buffer) { return buffer != nullptr ? &buffer->data_ : nullptr; }
    static BufferList* makeBufferList(DataStream* stream) { return new BufferList(stream); }
    static void destroy(BufferList* list) { delete list; }
    // Empties the list without asking the producer: for a stream that closes, which lets go of
    // every buffer itself. The Buffers forget the list and their stream.
    static void forgetAll(BufferList* list);
};

}  // namespace CORVID2::Internal
