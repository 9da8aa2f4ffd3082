// SPDX-License-Identifier: BSD-3-Clause
// What the public event controls of interfaces and devices share: the record behind a control, and
// registration, handler installation, polling fetch, cancel and shutdown on a module.
#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <thread>

#include "core/access_control.h"
#include "core/public_method.h"
#include "corvid2/events.h"
#include "corvid2/exceptions.h"
#include "gentl.h"
#include "modules/event_obj.h"
#include "modules/gentl_module.h"
#include "trace/trace.h"

namespace corvid2 {

inline constexpr char kModuleNotOpen[] = "The corresponding CGenTLModule object is not open.";
inline constexpr char kWrongMode[] = "The current Event Mode does not support this function.";

// The record behind one event control. `EventObject` fetches on the handler thread; `PublicEvent`
// is the application's event object handed to its handler.
//
// Lock order: `registrationMutex_` -> the event object's locks; `handlerMutex_` is a leaf. The
// registration mutex is held while a handler thread is removed (joined), so a registration from
// that thread itself is refused before it takes the mutex.
template <class EventObject, class PublicEvent, class Handler>
struct CEventControlRecord {
    using EventObjectType = EventObject;
    using PublicEventType = PublicEvent;
    using HandlerType = Handler;

    CorvidObjectAccessControl access_;
    std::mutex registrationMutex_;
    std::unique_ptr<EventObject> thread_;  // the handler thread's event object, in handler mode
    std::unique_ptr<PublicEvent> handed_;  // the application's event given to its handler
    // The handler thread, known from its first event on (only a handler can call from there).
    std::atomic<std::thread::id> handlerThread_{};

    std::mutex handlerMutex_;
    Handler handler_ = nullptr;
    void* userObj_ = nullptr;

    // Polling fetches inside the module's wait, and whether the control is going away.
    std::atomic<std::uint32_t> fetching_{0};
    std::atomic<bool> ending_{false};

    bool onHandlerThread() const {
        return handlerThread_.load(std::memory_order_acquire) == std::this_thread::get_id();
    }
};

// The application's event object `event`, held exclusively for a polling fetch into it (nobody
// else fills it meanwhile); InvalidParameter `invalid` when it is no live event object.
template <class Guard, class Event>
typename Guard::ObjectType* acquireTarget(const MethodSite& site, Guard& guard, Event* event,
                                          typename Guard::ObjectType* const* slot, const char* invalid) {
    try {
        return guard.Acquire(event, slot, AcquireMode::Exclusive);
    } catch (const CORVID2::Exceptions::ObjectInvalidException&) {
        failAt(site, Result::InvalidParameter, "%s", invalid);
    }
}

// A timeout or a cancel ends a polling fetch without failing it.
inline Result unlessOrdinary(Result fetched) {
    return fetched == Result::Timeout || fetched == Result::Abort ? Result::Success : fetched;
}

// The answer of a polling fetch: true for an event, false (with a warning line
// "<class>; <method>; Timeout" or "...; Aborted") when none came.
inline bool polled(const MethodSite& site, Result fetched) {
    if (fetched == Result::Timeout) traceWarning("%s; %s; Timeout", site.className, site.label);
    if (fetched == Result::Abort) traceWarning("%s; %s; Aborted", site.className, site.label);
    return fetched == Result::Success;
}

// The operations, for a record type `Record` and the module the control serves.
template <class Record>
class CEventControlOps {
public:
    // Stops and forgets the handler thread (under the registration mutex).
    static Result stopHandler(const MethodSite& site, Record& record) {
        if (record.thread_ == nullptr) return Result::Success;
        if (const Result code = record.thread_->removeHandler(); code != Result::Success) return code;
        record.handlerThread_.store(std::thread::id(), std::memory_order_release);
        record.thread_.reset();
        record.handed_.reset();
        std::lock_guard<std::mutex> lock(record.handlerMutex_);
        record.handler_ = nullptr;
        record.userObj_ = nullptr;
        (void)site;
        return Result::Success;
    }

    // Stops the handler thread before its module closes; refused on that thread itself.
    static Result stop(const MethodSite& site, Record& record) {
        if (record.onHandlerThread()) return refuseOnHandler(site);
        std::lock_guard<std::mutex> lock(record.registrationMutex_);
        return stopHandler(site, record);
    }

    // Mode 0 unregisters `type`, 1 and 2 register it; leaving handler mode stops the thread first.
    static Result setMode(const MethodSite& site, Record& record, CGenTLModule& module, GenTL::EVENT_TYPE type,
                          CORVID2::Events::EventMode mode) {
        if (record.onHandlerThread()) return refuseOnHandler(site);
        std::lock_guard<std::mutex> lock(record.registrationMutex_);
        const auto value = static_cast<std::int32_t>(mode);
        if (value != kHandler) {
            if (const Result code = stopHandler(site, record); code != Result::Success) return code;
        }
        if (value == 0) return module.eventMode(type) == 0 ? Result::Success : module.unregisterEvent(type, false);
        return module.registerEvent(type, value, false);
    }

    // Handler mode with `handler`: a thread fetches every event of `type` into its event object,
    // hands it to a fresh PublicEvent and calls `trampoline(&record, nullptr)`.
    template <class MakeTarget>
    static Result installHandler(const MethodSite& site, Record& record, CGenTLModule& module, GenTL::EVENT_TYPE type,
                                 void* userObj, typename Record::HandlerType handler, CEventObj::Handler trampoline,
                                 MakeTarget&& makeTarget) {
        if (record.onHandlerThread()) return refuseOnHandler(site);
        std::lock_guard<std::mutex> lock(record.registrationMutex_);
        if (const Result code = stopHandler(site, record); code != Result::Success) return code;
        if (module.eventMode(type) != kHandler) {
            if (const Result code = module.registerEvent(type, kHandler, false); code != Result::Success) return code;
        }
        {
            std::lock_guard<std::mutex> handlerLock(record.handlerMutex_);
            record.handler_ = handler;
            record.userObj_ = userObj;
        }
        record.handed_ = std::make_unique<typename Record::PublicEventType>();
        record.thread_ = std::make_unique<typename Record::EventObjectType>(&record);
        CEventObj* target = makeTarget(*record.handed_);
        const Result code =
            record.thread_->installHandler(&record, nullptr, trampoline, &module, target, GENTL_INFINITE);
        if (code != Result::Success) {
            record.thread_.reset();
            record.handed_.reset();
        }
        return code;
    }

    // The handler and its user object, read together on the handler thread (which it marks).
    static std::pair<typename Record::HandlerType, void*> handler(Record& record) {
        record.handlerThread_.store(std::this_thread::get_id(), std::memory_order_release);
        std::lock_guard<std::mutex> lock(record.handlerMutex_);
        return {record.handler_, record.userObj_};
    }

    // One polling fetch of `type` into `target` within `timeout` ms. Timeout and Abort are
    // ordinary outcomes and returned as they are.
    static Result fetch(const MethodSite& site, Record& record, CGenTLModule& module, GenTL::EVENT_TYPE type,
                        std::uint64_t timeout, CEventObj& target) {
        if (module.eventMode(type) != kPolling) return recordFailure(site, Result::NotInitialized, kWrongMode);
        record.fetching_.fetch_add(1, std::memory_order_acq_rel);
        Result code = Result::Abort;
        if (!record.ending_.load(std::memory_order_acquire)) code = target.GetEvent(&module, timeout, nullptr);
        record.fetching_.fetch_sub(1, std::memory_order_acq_rel);
        return code;
    }

    // Before the control goes: its handler thread ends, polling fetches are aborted (again while
    // one is still inside: an abort reaches only the wait of its moment) and new ones refused. A
    // producer whose aborts do not arrive has the event type unregistered, which ends every wait.
    static void end(const MethodSite& site, Record& record, CGenTLModule* module, GenTL::EVENT_TYPE type) {
        record.ending_.store(true, std::memory_order_release);
        {
            std::lock_guard<std::mutex> lock(record.registrationMutex_);
            stopHandler(site, record);
        }
        const auto unregisterAfter = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
        bool unregistered = false;
        while (module != nullptr && record.fetching_.load(std::memory_order_acquire) != 0) {
            if (!unregistered && std::chrono::steady_clock::now() > unregisterAfter) {
                std::lock_guard<std::mutex> lock(record.registrationMutex_);
                if (module->eventMode(type) != 0) module->unregisterEvent(type, false);
                unregistered = true;
            }
            module->abortEventWait();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }

private:
    static constexpr std::int32_t kPolling = static_cast<std::int32_t>(CORVID2::Events::EventMode::Polling);
    static constexpr std::int32_t kHandler = static_cast<std::int32_t>(CORVID2::Events::EventMode::EventHandler);

    static Result refuseOnHandler(const MethodSite& site) {
        return recordFailure(site, Result::Error,
                             "The event registration cannot be changed from its own event handler.");
    }
};

}  // namespace corvid2
