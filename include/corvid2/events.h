// SPDX-License-Identifier: BSD-3-Clause
// Event modes and the new-buffer event of a data stream: polling for filled buffers or a handler
// that receives them.
#ifndef CORVID2_EVENTS_H
#define CORVID2_EVENTS_H

#include <cstdint>

#include "corvid2/export.h"

namespace CORVID2 {

class Buffer;
class DataStream;
namespace Internal {
struct AcquisitionAccess;
struct DataStreamEventData;
}  // namespace Internal

namespace Events {

// How an application receives the events of one kind: not at all, by fetching them itself with a
// timeout, or through a handler that a library thread calls.
enum class EventMode : std::int32_t { Unregistered = 0, Polling = 1, EventHandler = 2 };

// Receives one filled buffer on the stream's own thread, one buffer at a time; the next delivery
// waits until it returns. `buffer` is null when the delivered buffer is no longer in the list.
using NewBufferEventHandler = void (*)(void* userObj, Buffer* buffer);

// The new-buffer event of a DataStream (its base). An open stream starts in polling mode.
class CORVID2_API DataStreamEventControl {
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

    DataStreamEventControl(const DataStreamEventControl&) = delete;
    DataStreamEventControl& operator=(const DataStreamEventControl&) = delete;

protected:
    DataStreamEventControl() = default;
    ~DataStreamEventControl() = default;

private:
    friend struct Internal::AcquisitionAccess;
    Internal::DataStreamEventData* events_ = nullptr;
};

}  // namespace Events
}  // namespace CORVID2

#endif
