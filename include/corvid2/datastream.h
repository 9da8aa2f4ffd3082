// SPDX-License-Identifier: BSD-3-Clause
// The data streams of an open Device: the channels through which images reach the host.
#ifndef CORVID2_DATASTREAM_H
#define CORVID2_DATASTREAM_H

#include <cstddef>
#include <cstdint>

#include "corvid2/events.h"
#include "corvid2/export.h"
#include "corvid2/list_iterator.h"
#include "corvid2/node.h"
#include "corvid2/string.h"

namespace CORVID2 {

class Buffer;
class BufferList;
class DataStream;
class Device;
namespace Internal {
struct AcquisitionAccess;
struct DataStreamData;
struct DataStreamListData;
}  // namespace Internal

// The data streams of one open Device, in the producer's order. A DataStream keeps its identity
// across refreshes for as long as its id stays listed.
class CORVID2_API DataStreamList {
public:
    // Makes the list follow the streams the producer offers.
    void Refresh();

    using iterator = ListIterator<DataStreamList, DataStream>;

    iterator begin();
    iterator end();
    iterator find(const String& id);
    // Throw InvalidParameterException when the id or index is not in the list.
    DataStream* operator[](const String& id);
    DataStream* operator[](std::size_t index);
    std::size_t size();
    // Destroys every DataStream of the list (closing the open ones).
    void clear();

    DataStreamList(const DataStreamList&) = delete;
    DataStreamList& operator=(const DataStreamList&) = delete;

private:
    friend class Device;
    explicit DataStreamList(Device* device);
    ~DataStreamList();
    Internal::DataStreamListData* data_;
};

// One data stream. Open, add Buffers to its BufferList, queue them, start, then fetch filled
// buffers with GetFilledBuffer (or receive them in a handler), queue each again, stop, close.
class CORVID2_API DataStream : public INode, public Events::DataStreamEventControl {
public:
    // Opens the stream with its new-buffer event in polling mode; ResourceInUseException when open.
    void Open();
    // Stops a handler, unregisters the event and closes; the Buffers stay and may be added again.
    void Close();
    bool IsOpen();
    String GetID();
    Device* GetParent();
    String GetTLType();
    std::uint64_t GetPayloadSize();
    bool GetDefinesPayloadSize();
    bool GetIsGrabbing();
    // The memory segments a composite buffer of this stream needs (1 unless the camera streams
    // GenDC containers).
    std::uint32_t GetSegmentCount();
    // Acquires `count` images, or without end; the camera's transport-layer parameters are locked
    // while the stream acquires.
    void StartAcquisition(std::uint64_t count);
    void StartAcquisitionContinuous();
    // Stops after the image in progress, or at once (Abort).
    void StopAcquisition();
    void AbortAcquisition();
    // The stream's buffers; NotInitializedException "DataStream not opened." while closed.
    BufferList* GetBufferList();
    // The Buffer the producer lists at `index` among the stream's announced buffers.
    Buffer* GetBufferByIndex(std::uint32_t index);
    // The record of the stream; its first field is the object behind it while open.
    void* GetReserved();

    DataStream(const DataStream&) = delete;
    DataStream& operator=(const DataStream&) = delete;

private:
    friend class DataStreamList;
    friend struct Internal::AcquisitionAccess;
    DataStream(Device* device, void* deviceObj, const String& id);
    ~DataStream();
    Internal::DataStreamData* data_;
};

}  // namespace CORVID2

#endif
