// SPDX-License-Identifier: BSD-3-Clause
// The module base: event registration with the producer, the event buffer, the aborts of event
// waits and the module reset.
#include "modules/gentl_module.h"

#include <cstdarg>
#include <exception>
#include <new>

#include "core/last_error.h"
#include "features/xml_loader.h"
#include "gentl/gentl_errors.h"
#include "gentl/gentl_producer.h"
#include "trace/trace.h"

namespace corvid2 {

using namespace GenTL;

namespace {
constexpr std::int32_t kModePolling = 1;
constexpr std::int32_t kModeHandler = 2;
constexpr char kOwnVendor[] = "Velmor";
constexpr char kUnnamedModule[] = "GenTLModule";
}  // namespace

CGenTLModule::CGenTLModule(const char* moduleKind, CGenTLProducer* producer, const char* defaultVendor)
    : traceName_(kUnnamedModule),
      moduleKind_(moduleKind ? moduleKind : ""),
      producer_(producer),
      vendor_(defaultVendor ? defaultVendor : ""),
      port_(producer, std::string(), kUnnamedModule) {}

// The map goes before the port it is connected to.
CGenTLModule::~CGenTLModule() { IGenAPI::releaseNodeMap(); }

std::string CGenTLModule::traceName() const {
    std::lock_guard<std::mutex> guard(traceNameMutex_);
    return traceName_;
}

void CGenTLModule::setTraceName(std::string name) {
    std::lock_guard<std::mutex> guard(traceNameMutex_);
    traceName_.swap(name);
}

std::string CGenTLModule::failureDetails(GC_ERROR result) const {
    std::string text = producer_ ? producer_->lastErrorText() : std::string();
    // Values GenTL added after 1.0 have no name in the table; their number says what they are.
    std::string name = GenTLErrorName(result);
    if (name.empty()) name = std::to_string(result);
    return name + " - " + text;
}

Result CGenTLModule::failed(Result code, const char* operation, const char* format, ...) const {
    va_list arguments;
    va_start(arguments, format);
    SetLastErrorV(code, traceName().c_str(), operation, format, arguments);
    va_end(arguments);
    return code;
}

Result CGenTLModule::nullArgument(const char* operation, const char* argument) const {
    return failed(Result::InvalidParameter, operation, "Invalid parameter, %s is NULL", argument);
}

Result CGenTLModule::producerFailed(const char* operation, const char* call, GC_ERROR result) const {
    return failed(Result::LowLevelError, operation, "%s failed: %s", call, failureDetails(result).c_str());
}

GC_ERROR CGenTLModule::initPort(PORT_HANDLE port) {
    IPortIface& gentlPort = port_.port();
    gentlPort.setHandle(port);
    if (!gentlPort.portName().empty() || producer_ == nullptr) return GC_ERR_SUCCESS;
    // Asked directly rather than through the port's own text query, so that a producer's refusal
    // comes back as its GenTL result, as callers of initPort expect.
    INFO_DATATYPE type = 0;
    size_t size = 0;
    GC_ERROR result = producer_->GCGetPortInfo(port, PORT_INFO_PORTNAME, &type, nullptr, &size);
    if (result != GC_ERR_SUCCESS) return result;
    std::string name(size, '\0');
    result = producer_->GCGetPortInfo(port, PORT_INFO_PORTNAME, &type, name.data(), &size);
    if (result != GC_ERR_SUCCESS) return result;
    gentlPort.setPortName(name.c_str());
    return GC_ERR_SUCCESS;
}

Result CGenTLModule::initializeNodeInterface(const std::string* xml) {
    static constexpr char kOperation[] = "initializeNodeInterface";
    try {
        if (xml == nullptr) {
            std::unique_ptr<CXmlLoader> loader;
            if (const Result code = loadPortDescription(port_.port(), loader); code != Result::Success) return code;
            if (!loader) return Result::Success;
            const std::string text = loader->descriptionFor(moduleKind_);
            std::string current;
            getXML(current);
            // Reopening with the same description keeps the map, its wrappers and what holds them.
            if (nodeMapAvailable() && !current.empty() && current == text) return Result::Success;
            setXMLAndConnect(text, &port_, moduleKind_);
        } else {
            setXMLAndConnect(*xml, &port_, moduleKind_);
        }
        return Result::Success;
    } catch (const CGenAPIException& e) {
        return failed(Result::Error, kOperation, "%s", e.what());
    } catch (const std::exception& e) {
        return failed(Result::Error, kOperation, "%s", e.what());
    }
}

bool CGenTLModule::isOwnVendor() const { return vendor_ == kOwnVendor; }

std::int32_t CGenTLModule::eventMode(EVENT_TYPE type) const {
    auto it = eventModes_.find(type);
    return it == eventModes_.end() ? 0 : it->second;
}

EVENT_HANDLE CGenTLModule::getEventHandle() const {
    std::lock_guard<std::mutex> lock(eventStateMutex_);
    return eventHandle_;
}

std::size_t CGenTLModule::getEventBufferSize() const {
    std::lock_guard<std::mutex> lock(eventStateMutex_);
    return eventBuffer_.size();
}

std::uint8_t* CGenTLModule::getEventBuffer() {
    std::lock_guard<std::mutex> lock(eventStateMutex_);
    return eventBuffer_.empty() ? nullptr : eventBuffer_.data();
}

void CGenTLModule::currentEvent(EVENT_HANDLE* event, std::size_t* bufferSize) const {
    std::lock_guard<std::mutex> lock(eventStateMutex_);
    if (event != nullptr) *event = eventHandle_;
    if (bufferSize != nullptr) *bufferSize = eventBuffer_.size();
}

Result CGenTLModule::registerEvent(EVENT_TYPE type, std::int32_t mode, bool internal) {
    static constexpr char kOperation[] = "registerEvent";
    if (producer_ == nullptr) return failed(Result::Error, kOperation, "Producer handle not valid");
    if (getHandle() == nullptr) return failed(Result::NotInitialized, kOperation, "Device not initialized");
    if (internal && type != EVENT_REMOTE_DEVICE)
        return failed(Result::Error, kOperation, "use internal event only with GenTL::EVENT_REMOTE_DEVICE");
    if (mode != kModePolling && mode != kModeHandler) return failed(Result::Error, kOperation, "invalid eventmode");

    if (!internal) {
        // Registered with the producer already (by the user, or by the internal reception whose
        // queue the user then reads): the producer refuses a second registration of a type.
        if (eventModes_.count(type) != 0 || eventHandles_.count(type) != 0) {
            eventModes_[type] = mode;
            return Result::Success;
        }
    } else if (eventHandles_.count(type) != 0) {
        // The user's registration is taken over: from now on the module receives the events and
        // the user's fetches read its queue, rather than both competing at the producer.
        internalEventActive_.store(true, std::memory_order_release);
        return Result::Success;
    }

    clearCancelled();
    EVENT_HANDLE event = nullptr;
    const GC_ERROR result = producer_->GCRegisterEvent(getHandle(), type, &event);
    if (result == GC_ERR_NOT_IMPLEMENTED) {
        traceInfo("%s; registerEvent; Optional event %d not implemented.", traceName().c_str(), type);
        return Result::NotImplemented;
    }
    if (result != GC_ERR_SUCCESS)
        return failed(Result::LowLevelError, kOperation, "GCRegisterEvent Id %d failed: %s", type,
                      failureDetails(result).c_str());

    Result outcome = initializeEventBuffer(event);
    if (outcome != Result::Success)
        traceError("%s; registerEvent; initialize Event Buffer failed with %d", traceName().c_str(), toCode(outcome));
    if (internal)
        internalEventActive_.store(true, std::memory_order_release);
    else
        eventModes_[type] = mode;
    eventHandles_[type] = event;
    return outcome;
}

Result CGenTLModule::initializeEventBuffer(EVENT_HANDLE event) {
    static constexpr char kOperation[] = "initializeEventBuffer";
    INFO_DATATYPE type = 0;
    size_t size = 0;
    GC_ERROR result = producer_->EventGetInfo(event, EVENT_SIZE_MAX, &type, nullptr, &size);
    if (result != GC_ERR_SUCCESS)
        return failed(Result::LowLevelError, kOperation, "EventGetInfo EVENT_SIZE_MAX (size) failed: %s",
                      failureDetails(result).c_str());
    if (type != INFO_DATATYPE_SIZET || size != sizeof(size_t))
        return failed(Result::Error, kOperation, "EventGetInfo EVENT_SIZE_MAX unexpected error data type %d", type);
    size_t maxSize = 0;
    result = producer_->EventGetInfo(event, EVENT_SIZE_MAX, &type, &maxSize, &size);
    if (result != GC_ERR_SUCCESS)
        return failed(Result::LowLevelError, kOperation, "EventGetInfo EVENT_SIZE_MAX failed: '%s'",
                      failureDetails(result).c_str());
    std::vector<std::uint8_t> buffer;
    try {
        buffer.resize(maxSize);
    } catch (const std::bad_alloc&) {
        return failed(Result::Error, kOperation, "allocate event buffer - no memory");
    }
    std::lock_guard<std::mutex> lock(eventStateMutex_);
    eventBuffer_.swap(buffer);
    eventHandle_ = event;
    return Result::Success;
}

Result CGenTLModule::unregisterEvent(EVENT_TYPE type, bool internal) {
    if (internal) {
        if (eventHandles_.count(EVENT_REMOTE_DEVICE) == 0) return Result::Success;
        internalEventActive_.store(false, std::memory_order_release);
        // Nobody feeds the queue any more: fetches waiting on it look at the producer instead.
        releaseQueueWaits();
        // A user registration keeps the producer's; without one, it was the reception's alone.
        if (eventModes_.count(EVENT_REMOTE_DEVICE) != 0) return Result::Success;
        type = EVENT_REMOTE_DEVICE;
    } else if (internalEventActive() && type == EVENT_REMOTE_DEVICE) {
        eventModes_.erase(type);
        return Result::Success;
    }
    if (producer_ == nullptr) return Result::Success;
    const GC_ERROR result = producer_->GCUnregisterEvent(getHandle(), type);
    if (result == GC_ERR_INVALID_HANDLE) {
        traceWarning("%s unregisterEvent; GCUnregisterEvent failed: %s", traceName().c_str(),
                     failureDetails(result).c_str());
        return Result::LowLevelError;
    }
    eventModes_.erase(type);
    eventHandles_.erase(type);
    return Result::Success;
}

void CGenTLModule::cancelEventWait() { cancelQueueWaits(); }

Result CGenTLModule::abortGetCurrentEvent() {
    if (producer_ == nullptr) return Result::Success;
    const GC_ERROR result = producer_->EventKill(getEventHandle());
    if (result != GC_ERR_SUCCESS)
        return SetLastError(Result::LowLevelError, "Event", "abortGetCurrentEvent", "EventKill failed: %s",
                            failureDetails(result).c_str());
    return Result::Success;
}

Result CGenTLModule::abortEventWait() {
    if (internalEventActive()) {
        cancelEventWait();
        return Result::Success;
    }
    return abortGetCurrentEvent();
}

void CGenTLModule::setProducer(const char* moduleName, CGenTLProducer* producer) {
    producer_ = producer;
    moduleKind_ = moduleName ? moduleName : "";
    port_.port().setProducer(producer, port_.port().portName());
}

void CGenTLModule::releaseNodeMap() {
    // No call runs on the map any more when the port forgets it (the port's cache and stack are
    // what a call uses), and the port forgets it before it goes: a cancelled stack must not reach
    // nodes that are gone.
    stopCalls();
    port_.resetPort();
    IGenAPI::releaseNodeMap();
}

void CGenTLModule::forgetEvents() {
    eventModes_.clear();
    eventHandles_.clear();
    internalEventActive_.store(false, std::memory_order_release);
    clearQueue();
    clearCancelled();
    {
        std::lock_guard<std::mutex> lock(eventStateMutex_);
        eventBuffer_.clear();
        eventBuffer_.shrink_to_fit();
        eventHandle_ = nullptr;
    }
}

void CGenTLModule::resetModule() {
    forgetEvents();
    producer_ = nullptr;
    releaseNodeMap();
    port_.port().setProducer(nullptr, std::string());
}

}  // namespace corvid2
