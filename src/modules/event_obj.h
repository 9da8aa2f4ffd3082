// SPDX-License-Identifier: BSD-3-Clause
// CEventData and CEventObj: one fetched event, and the object that fetches events of a module,
// by polling or on a thread that calls a handler for each.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "core/result_codes.h"
#include "gentl.h"
#include "trace/worker_thread.h"

namespace corvid2 {

class CGenTLModule;

// The current event of an event object: the producer's EVENT_DATA_ID as text and its
// EVENT_DATA_VALUE bytes. Cleared before every fetch. Not locked: it belongs to the thread that
// fetches into it, and others read it only once that fetch has returned.
class CEventData {
public:
    CEventData() = default;
    virtual ~CEventData() = default;
    CEventData(const CEventData&) = default;
    CEventData& operator=(const CEventData&) = default;

    virtual void clear();
    virtual std::size_t valueSize() const { return value_.size(); }
    // Null when the event carried no value.
    virtual const std::uint8_t* valuePointer() const { return value_.empty() ? nullptr : value_.data(); }

    const std::string& id() const { return id_; }
    const std::vector<std::uint8_t>& value() const { return value_; }
    void setEvent(std::string id, std::vector<std::uint8_t> value);

protected:
    std::string id_;
    std::vector<std::uint8_t> value_;
};

// Fetches events of one module: from the producer (EventGetData on the module's current event)
// or, while the module receives them itself, from the module's queue. In handler mode its thread
// fetches without end and calls the handler after each event; otherwise the application's thread
// calls GetEvent.
//
// Derived classes (the plug-and-play and device event objects) override initializeEvent to decode
// the event; they must call removeHandler in their own destructor, since the thread calls that
// override.
//
// Lock order: stateMutex_ -> CIThread's mutex. No lock of this object is held while the handler
// runs, while a fetch waits, while the module's wait is aborted or while the thread is joined.
// installHandler and removeHandler are serialised by the owner and never called from the handler
// (removeHandler there fails: the thread cannot join itself).
class CEventObj : public CIThread, public CEventData {
public:
    // Called on the event thread after each fetched event, with the two context values given to
    // installHandler; no library lock is held.
    using Handler = void (*)(void* context, void* context2);

    // The debugger-visible name of every event thread.
    static constexpr char kThreadName[] = "dev/pnp events";
    // After a failed fetch the thread waits this long (or until stopped) before the next, so that
    // a producer that keeps failing does not keep a core busy.
    static constexpr std::uint64_t kRetryPauseMilliseconds = 50;

    // `owner`: the object this event object serves (a public event or control); not used here.
    explicit CEventObj(void* owner = nullptr);
    // Removes the handler; a derived class has done so already (see above).
    ~CEventObj() override;

    // Starts the thread that fetches from `module` with `timeout` (GENTL_INFINITE as a rule) into
    // `target` and calls `handler(context, context2)` after each event. A handler installed before
    // is removed first. InvalidParameter for a null handler, module or target; Error when the
    // thread cannot start.
    virtual Result installHandler(void* context, void* context2, Handler handler, CGenTLModule* module,
                                  CEventObj* target, std::uint64_t timeout);
    // Stops the thread: raises its stop flag, aborts the wait it is blocked in, joins it and clears
    // the handler. Returns without waiting for a further event. An abort the thread did not take
    // back is drained, so that the next fetch does not see it. Success without a handler; Error
    // when the thread cannot be joined (called from the handler itself).
    virtual Result removeHandler();
    // Turns the fetched ID and value into the object's own fields; false when they cannot be
    // decoded. The base decodes nothing.
    virtual bool initializeEvent(CGenTLModule* module);
    // Fetches one event of `module` within `timeout` ms (GENTL_INFINITE: without end): from the
    // module's queue while its internal reception is active or it holds events, else from the
    // producer. A timeout on one source is tried once more on the other when the module switched
    // meanwhile, with the time left. On success the event is handed to `target` (may be null).
    // Success, Timeout or Abort (nothing recorded), or a failure recorded as the thread's last error.
    virtual Result GetEvent(CGenTLModule* module, std::uint64_t timeout, CEventObj* target);
    // One event from the module's queue; Abort when the wait is cancelled.
    virtual Result getCurrentEventFromQueue(CGenTLModule* module, std::uint64_t timeout);
    // One event from the producer: EventGetData on the module's current event into a buffer of this
    // object, then its ID and value.
    virtual Result getCurrentEventIntern(CGenTLModule* module, std::uint64_t timeout);
    virtual void* owner() const { return owner_; }
    // Hands the event just fetched to `target`: the base copies ID and value into it. A derived
    // target that accepts only its own kind refuses others with false.
    virtual bool copyEventTo(CEventObj* target);

    bool handlerInstalled() const;
    // True while the handler thread is blocked in a fetch (for the owner's diagnostics and tests).
    bool handlerWaiting() const;

protected:
    void run() override;

private:
    enum class Source { kNone, kQueue, kProducer };

    // One fetch from `source`, with the bookkeeping that lets removeHandler abort it.
    Result fetchFrom(Source source, CGenTLModule* module, std::uint64_t timeout);
    // Aborts the handler thread's wait on `source`, through the module's own abort where that
    // aims at the same source.
    void abortWait(CGenTLModule* module, Source source);
    // Takes back an abort that reached `source` after the thread had left its wait.
    void drainAbort(CGenTLModule* module, Source source);
    // ID and value of the raw event of `size` bytes in buffer_, into the event data.
    Result readEventData(CGenTLModule* module, GenTL::EVENT_HANDLE event, std::size_t size);
    // initializeEvent and the trace lines after a successful fetch.
    void finishFetch(CGenTLModule* module);

    void* const owner_;
    std::vector<std::uint8_t> buffer_;  // the raw event of a producer fetch

    mutable std::mutex stateMutex_;
    // What installHandler was given; taken as a whole by the thread and cleared by removeHandler.
    struct Installation {
        Handler handler = nullptr;
        void* context = nullptr;
        void* context2 = nullptr;
        CGenTLModule* module = nullptr;
        CEventObj* target = nullptr;
        std::uint64_t timeout = 0;
    };
    Installation installed_;
    Source waitSource_ = Source::kNone;  // where the handler thread waits right now
    Source abortedSource_ = Source::kNone;
    bool abortSent_ = false;  // removeHandler aborted abortedSource_ ...
    bool abortSeen_ = false;  // ... and the thread's wait came back aborted after that
};

}  // namespace corvid2
