// SPDX-License-Identifier: BSD-3-Clause
// CGenTLModule: what every object standing for a GenTL module shares (producer, handle, names,
// event registrations, the event buffer, its port with the write stack and read cache, and its
// node-map side with the feature wrappers).
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/result_codes.h"
#include "features/genapi_port.h"
#include "features/igenapi.h"
#include "gentl.h"
#include "modules/event_intern.h"
#include "trace/debug_trace.h"

namespace corvid2 {

class CGenTLProducer;

// Event side: registrations (the maps, the internal-reception flag) are changed only by the
// owner's registration calls, which the derived object serialises under its own lock. The current
// event (handle and buffer) is read by fetching and aborting threads as well and has its own small
// lock, eventStateMutex_, a leaf that is never held across a producer call. The queue and its
// cancellation are CEventIntern's.
class CGenTLModule : public IGenAPI, public CEventIntern {
public:
    CGenTLModule(const char* moduleKind, CGenTLProducer* producer, const char* defaultVendor);
    virtual ~CGenTLModule();
    CGenTLModule(const CGenTLModule&) = delete;
    CGenTLModule& operator=(const CGenTLModule&) = delete;

    // The module's own GenTL handle (transport layer, interface, device ...).
    virtual void* getHandle() const = 0;

    // Builds the module's node map from `xml`, or with none from the first description the port's
    // locations give, and connects it to the port under the module kind's name. 0 (also when no
    // location loads: the module then has no node map), the failure code of the location list, or
    // Error when the description could not be made into a connected node map; the map in use
    // then stays. The same description again keeps the map and its wrappers.
    virtual Result initializeNodeInterface(const std::string* xml = nullptr);
    // The engine's map; null until initializeNodeInterface built one.
    genapi::INodeMap* nodeMap() const { return engineMap(); }
    // Drops the node map and its wrappers, and the port's handle, locations, stack and cache
    // (closing the module). The description stays.
    void releaseNodeMap();

    // Learns the port's name (PORT_INFO_PORTNAME) unless it is known already; 0 or the GenTL result.
    virtual GenTL::GC_ERROR initPort(GenTL::PORT_HANDLE port);
    // True only for the six characters "Velmor": our own producers get extra treatment.
    virtual bool isOwnVendor() const;

    // Registers `type` with the producer in `mode` (1 polling, 2 handler); `internal` only for
    // EVENT_REMOTE_DEVICE, received by the module itself, which then feeds its event queue and
    // makes the user's fetches of that type read the queue. A type already registered only takes
    // the new mode. The newly registered event becomes the module's current event.
    virtual Result registerEvent(GenTL::EVENT_TYPE type, std::int32_t mode, bool internal);
    // Ends a registration. The internal one also ends the producer's registration when the user
    // holds no mode for the type, and sends waiting queue fetches back to the producer.
    virtual Result unregisterEvent(GenTL::EVENT_TYPE type, bool internal);
    // Ends every fetch waiting on the event queue with Abort; with none waiting, the next one.
    virtual void cancelEventWait();
    // EventKill on the current event: a fetch waiting at the producer returns GC_ERR_ABORT (a
    // producer may keep the kill for the next fetch when none waits).
    virtual Result abortGetCurrentEvent();
    // Ends the wait of a fetch on the source it reads: the queue while the internal reception is
    // active, else the producer.
    virtual Result abortEventWait();

    GenTL::EVENT_HANDLE getEventHandle() const;
    std::size_t getEventBufferSize() const;
    // Valid until the next registration replaces the buffer; fetches on other threads use
    // currentEvent and a buffer of their own.
    std::uint8_t* getEventBuffer();
    // Handle and buffer size of the current event, read together.
    void currentEvent(GenTL::EVENT_HANDLE* event, std::size_t* bufferSize) const;
    CGenTLProducer* getProducer() const { return producer_; }
    virtual void setProducer(const char* moduleName, CGenTLProducer* producer);

    // Event registration state, for the event machinery and for tests.
    bool isEventRegistered(GenTL::EVENT_TYPE type) const { return eventHandles_.count(type) != 0; }
    std::int32_t eventMode(GenTL::EVENT_TYPE type) const;
    bool internalEventActive() const { return internalEventActive_.load(std::memory_order_acquire); }

    // The name that starts the module's trace and error lines. A copy, taken under its own small
    // lock: the module renames itself when it opens and closes, while other threads (public
    // wrappers, list refreshes) write lines about it without holding the module's lock.
    std::string traceName() const;
    const std::string& vendor() const { return vendor_; }
    void setVendor(const std::string& vendor) { vendor_ = vendor; }
    const std::string& moduleKind() const { return moduleKind_; }
    const std::string& portName() const { return port_.port().portName(); }

    // The module's port: GenTL port calls, the GenApi side, the write stack and the read cache.
    CModulePort& port() { return port_; }
    const CModulePort& port() const { return port_; }

    // Back to "no producer, no events, no port": used by unloading and by the close operations.
    virtual void resetModule();
    // The event registrations' bookkeeping only, for a module that closed its handle but keeps
    // its producer.
    void forgetEvents();

    // "<result name> - <producer's last error>" for the message of a failed GenTL call.
    std::string failureDetails(GenTL::GC_ERROR result) const;

protected:
    Result initializeEventBuffer(GenTL::EVENT_HANDLE event);

    // Records a failure of `operation` as "<trace name>; <operation>; <message>" and returns `code`.
    Result failed(Result code, const char* operation, const char* format, ...) const CORVID2_PRINTF_FORMAT(4, 5);
    // InvalidParameter "Invalid parameter, <argument> is NULL".
    Result nullArgument(const char* operation, const char* argument) const;
    // LowLevelError "<call> failed: <result name> - <producer's last error>".
    Result producerFailed(const char* operation, const char* call, GenTL::GC_ERROR result) const;
    // Renames under the same small lock; the module calls it while holding its own lock.
    void setTraceName(std::string name);

private:
    mutable std::mutex traceNameMutex_;
    std::string traceName_;
    std::string moduleKind_;
    CGenTLProducer* producer_;
    std::string vendor_;
    CModulePort port_;

    mutable std::mutex eventStateMutex_;  // leaf: eventBuffer_ and eventHandle_
    std::vector<std::uint8_t> eventBuffer_;
    GenTL::EVENT_HANDLE eventHandle_ = nullptr;
    std::map<GenTL::EVENT_TYPE, std::int32_t> eventModes_;
    std::map<GenTL::EVENT_TYPE, GenTL::EVENT_HANDLE> eventHandles_;
    std::atomic<bool> internalEventActive_{false};
};

}  // namespace corvid2
