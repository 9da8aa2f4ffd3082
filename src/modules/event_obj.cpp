// SPDX-License-Identifier: BSD-3-Clause
// Fetching events from a module's producer or queue, and the handler thread with its removal.
#include "modules/event_obj.h"

#include <algorithm>
#include <chrono>
#include <new>
#include <system_error>
#include <utility>

#include "core/last_error.h"
#include "gentl.h"
#include "gentl/gentl_errors.h"
#include "gentl/gentl_producer.h"
#include "modules/gentl_module.h"
#include "trace/trace.h"

namespace corvid2 {

using namespace GenTL;

namespace {

constexpr char kEventName[] = "Event";
constexpr char kGetCurrentEvent[] = "GetCurrentEvent";

std::string objectName(const CGenTLModule* module) { return module != nullptr ? module->traceName() : kEventName; }

// The GenTL name of a result, or its number for values newer than the table.
std::string resultName(GC_ERROR result) {
    std::string name = GenTLErrorName(result);
    return name.empty() ? std::to_string(result) : name;
}

// The time a fetch that started at `start` has left of `timeout`; GENTL_INFINITE stays infinite.
std::uint64_t remainingTime(std::uint64_t timeout, std::chrono::steady_clock::time_point start) {
    if (timeout == GENTL_INFINITE) return timeout;
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    const auto spent = static_cast<std::uint64_t>(std::max<std::chrono::milliseconds::rep>(elapsed.count(), 0));
    return spent >= timeout ? 0 : timeout - spent;
}

}  // namespace

// ---- CEventData ---------------------------------------------------------------------------

void CEventData::clear() {
    id_.clear();
    value_.clear();
}

void CEventData::setEvent(std::string id, std::vector<std::uint8_t> value) {
    id_ = std::move(id);
    value_ = std::move(value);
}

// ---- CEventObj ----------------------------------------------------------------------------

CEventObj::CEventObj(void* owner) : CIThread(kThreadName), owner_(owner) {}

CEventObj::~CEventObj() { removeHandler(); }

bool CEventObj::handlerInstalled() const {
    std::lock_guard<std::mutex> lock(stateMutex_);
    return installed_.handler != nullptr;
}

bool CEventObj::handlerWaiting() const {
    std::lock_guard<std::mutex> lock(stateMutex_);
    return waitSource_ != Source::kNone;
}

Result CEventObj::installHandler(void* context, void* context2, Handler handler, CGenTLModule* module,
                                 CEventObj* target, std::uint64_t timeout) {
    static constexpr char kOperation[] = "installHandler";
    const char* missing = handler == nullptr  ? "handler"
                          : module == nullptr ? "module"
                          : target == nullptr ? "parameter"
                                              : nullptr;
    if (missing != nullptr)
        return SetLastError(Result::InvalidParameter, objectName(module).c_str(), kOperation,
                            "Invalid parameter, %s is NULL", missing);
    if (const Result code = removeHandler(); code != Result::Success) return code;
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        installed_ = Installation{handler, context, context2, module, target, timeout};
        abortedSource_ = Source::kNone;
        abortSent_ = false;
        abortSeen_ = false;
    }
    if (!start()) {
        std::lock_guard<std::mutex> lock(stateMutex_);
        installed_ = Installation{};
        return SetLastError(Result::Error, objectName(module).c_str(), kOperation, "Event thread not started");
    }
    return Result::Success;
}

Result CEventObj::removeHandler() {
    CGenTLModule* module = nullptr;
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        if (installed_.handler == nullptr) return Result::Success;
        module = installed_.module;
    }
    // The stop flag goes first: a thread that has not begun its next wait sees it under
    // stateMutex_ and does not begin; one that has is named in waitSource_ and aborted here.
    stop();
    Source source = Source::kNone;
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        source = waitSource_;
        if (source != Source::kNone) {
            abortedSource_ = source;
            abortSent_ = true;
            abortSeen_ = false;
        }
    }
    if (source != Source::kNone) abortWait(module, source);
    try {
        join();
    } catch (const std::system_error& error) {
        return SetLastError(Result::Error, objectName(module).c_str(), "removeHandler", "%s", error.what());
    }
    bool drain = false;
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        drain = abortSent_ && !abortSeen_;
        source = abortedSource_;
        abortedSource_ = Source::kNone;
        abortSent_ = false;
        abortSeen_ = false;
        installed_ = Installation{};
    }
    if (drain) drainAbort(module, source);
    return Result::Success;
}

void CEventObj::abortWait(CGenTLModule* module, Source source) {
    // The module's own abort (which a module may refine) where it aims at the source the thread
    // waits on; the module can have switched its reception since the thread began that wait.
    const Source moduleSource = module->internalEventActive() ? Source::kQueue : Source::kProducer;
    if (source == moduleSource)
        module->abortEventWait();
    else if (source == Source::kQueue)
        module->cancelEventWait();
    else
        module->abortGetCurrentEvent();
}

void CEventObj::drainAbort(CGenTLModule* module, Source source) {
    if (source == Source::kQueue) {
        module->clearCancelled();
        return;
    }
    CGenTLProducer* producer = module->getProducer();
    EVENT_HANDLE event = nullptr;
    module->currentEvent(&event, nullptr);
    if (producer == nullptr || buffer_.empty()) return;
    // A producer that keeps a kill for the next fetch answers this one with GC_ERR_ABORT. One that
    // does not may hand out a real event instead: it goes to the module's queue, where the next
    // fetch finds it, rather than being lost.
    size_t size = buffer_.size();
    if (producer->EventGetData(event, buffer_.data(), &size, 0) != GC_ERR_SUCCESS) return;
    clear();
    if (readEventData(module, event, size) == Result::Success) module->pushEvent(id_, value_);
    clear();
}

bool CEventObj::initializeEvent(CGenTLModule*) { return false; }

bool CEventObj::copyEventTo(CEventObj* target) {
    if (target == nullptr || target == this) return false;
    target->setEvent(id_, value_);
    return true;
}

Result CEventObj::GetEvent(CGenTLModule* module, std::uint64_t timeout, CEventObj* target) {
    if (module == nullptr) return SetLastError(Result::Error, kEventName, "GetEvent", "GenTLModule handle not valid");
    const auto currentSource = [module] {
        return module->internalEventActive() || module->queuedEvents() != 0 ? Source::kQueue : Source::kProducer;
    };
    const auto start = std::chrono::steady_clock::now();
    const Source source = currentSource();
    Result result = fetchFrom(source, module, timeout);
    if (result == Result::Timeout) {
        const Source now = currentSource();
        if (now != source) result = fetchFrom(now, module, remainingTime(timeout, start));
    }
    if (result == Result::Success && target != nullptr) copyEventTo(target);
    return result;
}

Result CEventObj::fetchFrom(Source source, CGenTLModule* module, std::uint64_t timeout) {
    const bool worker = isWorkerThread();
    if (worker) {
        std::lock_guard<std::mutex> lock(stateMutex_);
        if (stopRequested()) return Result::Abort;
        waitSource_ = source;
    }
    const Result result =
        source == Source::kQueue ? getCurrentEventFromQueue(module, timeout) : getCurrentEventIntern(module, timeout);
    if (worker) {
        std::lock_guard<std::mutex> lock(stateMutex_);
        waitSource_ = Source::kNone;
        if (result == Result::Abort && abortSent_ && abortedSource_ == source) abortSeen_ = true;
    }
    return result;
}

Result CEventObj::getCurrentEventFromQueue(CGenTLModule* module, std::uint64_t timeout) {
    if (module == nullptr)
        return SetLastError(Result::Error, kEventName, kGetCurrentEvent, "GenTLModule handle not valid");
    clear();
    CEventIntern::EventItem item;
    if (const Result result = module->takeQueuedEvent(timeout, item); result != Result::Success) return result;
    setEvent(std::move(item.id), std::move(item.value));
    finishFetch(module);
    return Result::Success;
}

Result CEventObj::getCurrentEventIntern(CGenTLModule* module, std::uint64_t timeout) {
    if (module == nullptr)
        return SetLastError(Result::Error, kEventName, kGetCurrentEvent, "GenTLModule handle not valid");
    const std::string name = module->traceName();
    CGenTLProducer* producer = module->getProducer();
    if (producer == nullptr)
        return SetLastError(Result::Error, name.c_str(), kGetCurrentEvent, "Producer handle not valid");
    EVENT_HANDLE event = nullptr;
    std::size_t bufferSize = 0;
    module->currentEvent(&event, &bufferSize);
    if (bufferSize == 0) return SetLastError(Result::Error, name.c_str(), kGetCurrentEvent, "Event buffer size is 0");
    // A buffer of this object's own: the module's is replaced by a registration on another thread,
    // and two event objects of one module may fetch at the same time.
    try {
        if (buffer_.size() != bufferSize) buffer_.assign(bufferSize, 0);
    } catch (const std::bad_alloc&) {
        buffer_.clear();
        return SetLastError(Result::Error, name.c_str(), kGetCurrentEvent, "Event buffer not allocated");
    }
    clear();
    size_t size = buffer_.size();
    const GC_ERROR result = producer->EventGetData(event, buffer_.data(), &size, timeout);
    if (result == GC_ERR_TIMEOUT) return Result::Timeout;
    if (result == GC_ERR_ABORT) return Result::Abort;
    if (result == GC_ERR_INVALID_HANDLE)
        return SetLastError(Result::LowLevelError, name.c_str(), kGetCurrentEvent,
                            "EventGetData GC_ERR_INVALID_HANDLE; consider to re-initialize Event transfer");
    if (result != GC_ERR_SUCCESS)
        return SetLastError(Result::LowLevelError, name.c_str(), kGetCurrentEvent, "EventGetData failed: %s",
                            module->failureDetails(result).c_str());
    if (const Result code = readEventData(module, event, size); code != Result::Success) return code;
    finishFetch(module);
    return Result::Success;
}

Result CEventObj::readEventData(CGenTLModule* module, EVENT_HANDLE event, std::size_t size) {
    CGenTLProducer* producer = module->getProducer();
    const std::string name = module->traceName();
    const auto failed = [&](const char* format, GC_ERROR result) {
        return SetLastError(Result::LowLevelError, name.c_str(), kGetCurrentEvent, format,
                            module->failureDetails(result).c_str());
    };
    INFO_DATATYPE type = 0;
    size_t idSize = 0;
    GC_ERROR result = producer->EventGetDataInfo(event, buffer_.data(), size, EVENT_DATA_ID, &type, nullptr, &idSize);
    if (result != GC_ERR_SUCCESS) return failed("EventGetDataInfo DATA_ID (size) failed: %s", result);
    std::string id(idSize, '\0');
    result = producer->EventGetDataInfo(event, buffer_.data(), size, EVENT_DATA_ID, &type, id.data(), &idSize);
    if (result != GC_ERR_SUCCESS) return failed("EventGetDataInfo DATA_ID failed: %s", result);
    // A text comes with its terminating zero, which is not part of the ID.
    id.resize(std::min(idSize, id.size()));
    if (type == INFO_DATATYPE_STRING) id.resize(std::min(id.find('\0'), id.size()));

    size_t valueSize = 0;
    result = producer->EventGetDataInfo(event, buffer_.data(), size, EVENT_DATA_VALUE, &type, nullptr, &valueSize);
    if (result != GC_ERR_SUCCESS) {
        // The producer's text in quotes, as this line has always carried it.
        return SetLastError(Result::LowLevelError, name.c_str(), kGetCurrentEvent,
                            "EventGetDataInfo DATA_VALUE (size) failed: %s - '%s'", resultName(result).c_str(),
                            producer->lastErrorText().c_str());
    }
    std::vector<std::uint8_t> value(valueSize);
    result = producer->EventGetDataInfo(event, buffer_.data(), size, EVENT_DATA_VALUE, &type,
                                        value.empty() ? nullptr : value.data(), &valueSize);
    if (result != GC_ERR_SUCCESS) return failed("EventGetDataInfo DATA_VALUE failed: %s", result);
    value.resize(std::min(valueSize, value.size()));
    setEvent(std::move(id), std::move(value));
    return Result::Success;
}

void CEventObj::finishFetch(CGenTLModule* module) {
    const std::string name = module->traceName();
    if (!initializeEvent(module)) traceError("%s; GetCurrentEvent; initializeEvent failed with false", name.c_str());
    traceInfo("%s; %s; %s", name.c_str(), kGetCurrentEvent, id_.c_str());
}

void CEventObj::run() {
    Installation installed;
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        installed = installed_;
    }
    if (installed.handler == nullptr || installed.module == nullptr) return;
    while (!stopRequested()) {
        const Result result = GetEvent(installed.module, installed.timeout, installed.target);
        if (result == Result::Success) {
            // An event fetched while the handler is being removed is not delivered any more.
            if (stopRequested()) break;
            installed.handler(installed.context, installed.context2);
            continue;
        }
        // Failures are not the application's to see; the thread keeps fetching, at a pace that
        // does not spin on a source that keeps failing (or on a wait of no time at all).
        if (result != Result::Timeout || installed.timeout == 0) waitForStop(kRetryPauseMilliseconds);
    }
}

}  // namespace corvid2
