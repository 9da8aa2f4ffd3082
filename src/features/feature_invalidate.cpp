// SPDX-License-Identifier: BSD-3-Clause
// The feature-invalidation thread: event buffer, event loop and invalidation of the named nodes.
#include "features/feature_invalidate.h"

#include <algorithm>
#include <new>

#include <corvid2/genapi/interfaces.h>

#include "core/last_error.h"
#include "features/igenapi.h"
#include "gentl/gentl_errors.h"
#include "gentl/gentl_producer.h"
#include "trace/trace.h"

namespace corvid2 {

namespace {
constexpr char kThreadName[] = "corvid2 invalid";
constexpr char kGetCurrentEvent[] = "GetCurrentEvent";
// An abort still pending after `end` is taken back within this many polls; more would mean the
// producer keeps queueing events, and those belong to nobody once the control has ended.
constexpr int kDrainAttempts = 16;
}  // namespace

CFeatureInvalidateControl::CFeatureInvalidateControl() : CIThread(kThreadName) {}

// The base joins too, but by then this part is gone: stop() would no longer abort the wait.
CFeatureInvalidateControl::~CFeatureInvalidateControl() { end(); }

std::string CFeatureInvalidateControl::resultName(GenTL::GC_ERROR result) const { return GenTLErrorName(result); }

std::string CFeatureInvalidateControl::producerText() const {
    return producer_ != nullptr ? producer_->lastErrorText() : std::string();
}

Result CFeatureInvalidateControl::start(CGenTLProducer* producer, GenTL::EVENT_HANDLE event, IGenAPI& nodeModule) {
    if (listening()) return Result::Success;
    // A thread that ended on a failure of the event source is reaped before a new one starts.
    end();
    producer_ = producer;
    event_ = event;
    nodeModule_ = &nodeModule;
    if (const Result code = prepareEvent(); code != Result::Success) {
        SetLastError(code, kTraceName, "Init", "Event Init failed with %d", toCode(code));
        end();
        return code;
    }
    abortSent_ = false;
    abortSeen_ = false;
    // Set before the thread exists, so that a successful start always reads as listening.
    listening_.store(true, std::memory_order_release);
    if (!CIThread::start()) {
        listening_.store(false, std::memory_order_release);
        end();
        return SetLastError(Result::Error, kTraceName, "Activate",
                            "Feature Invalidate Event not initialized. Event thread not started.");
    }
    traceInfo("%s; Feature Invalidate Event initialized", kTraceName);
    return Result::Success;
}

Result CFeatureInvalidateControl::prepareEvent() {
    static constexpr char kOperation[] = "initializeEventBuffer";
    if (producer_ == nullptr) return SetLastError(Result::Error, kTraceName, kOperation, "Producer handle not valid");
    GenTL::INFO_DATATYPE type = 0;
    size_t size = 0;
    GenTL::GC_ERROR result = producer_->EventGetInfo(event_, GenTL::EVENT_SIZE_MAX, &type, nullptr, &size);
    if (result != GenTL::GC_ERR_SUCCESS)
        return SetLastError(Result::LowLevelError, kTraceName, kOperation,
                            "EventGetInfo EVENT_SIZE_MAX (size) failed: %s - %s", resultName(result).c_str(),
                            producerText().c_str());
    if (type != GenTL::INFO_DATATYPE_SIZET || size != sizeof(size_t))
        return SetLastError(Result::Error, kTraceName, kOperation,
                            "EventGetInfo EVENT_SIZE_MAX unexpected error data type %d", type);
    size_t maxSize = 0;
    result = producer_->EventGetInfo(event_, GenTL::EVENT_SIZE_MAX, &type, &maxSize, &size);
    if (result != GenTL::GC_ERR_SUCCESS)
        return SetLastError(Result::LowLevelError, kTraceName, kOperation,
                            "EventGetInfo EVENT_SIZE_MAX failed: %s - '%s'", resultName(result).c_str(),
                            producerText().c_str());
    try {
        buffer_.assign(maxSize, 0);
    } catch (const std::bad_alloc&) {
        return SetLastError(Result::Error, kTraceName, kOperation, "allocate event buffer - no memory");
    }
    return Result::Success;
}

void CFeatureInvalidateControl::stop() {
    CIThread::stop();
    // Only a wait in progress (or about to begin) is aborted; the rare abort that arrives just
    // after the wait ended is taken back by end().
    if (waiting_.load(std::memory_order_acquire) && producer_ != nullptr &&
        producer_->EventKill(event_) == GenTL::GC_ERR_SUCCESS)
        abortSent_.store(true, std::memory_order_release);
}

void CFeatureInvalidateControl::end() {
    join();
    if (abortSent_.load(std::memory_order_acquire) && !abortSeen_.load(std::memory_order_acquire)) drainAbort();
    abortSent_ = false;
    abortSeen_ = false;
    buffer_.clear();
    buffer_.shrink_to_fit();
    producer_ = nullptr;
    event_ = nullptr;
    nodeModule_ = nullptr;
}

void CFeatureInvalidateControl::drainAbort() {
    for (int attempt = 0; attempt < kDrainAttempts; ++attempt) {
        size_t size = buffer_.size();
        if (producer_->EventGetData(event_, buffer_.data(), &size, 0) != GenTL::GC_ERR_SUCCESS) return;
    }
}

void CFeatureInvalidateControl::run() {
    std::string featureName;
    while (!stopRequested()) {
        const Fetch fetched = nextEvent(featureName);
        if (fetched == Fetch::kNothing) continue;
        if (fetched == Fetch::kFailed) {
            std::string text;
            Result code = Result::Success;
            GetLastErrorText(text, &code);
            SetLastError(code, kTraceName, "ThreadRoutine", "GetCurrentEvent failed, thread will closed");
            break;
        }
        traceInfo("%s; GetCurrentEvent; %s", kEventName, featureName.c_str());
        invalidate(featureName);
        handled_.fetch_add(1, std::memory_order_acq_rel);
    }
    listening_.store(false, std::memory_order_release);
}

CFeatureInvalidateControl::Fetch CFeatureInvalidateControl::nextEvent(std::string& featureName) {
    const auto failed = [](Result code, const char* message) {
        SetLastError(code, kTraceName, kGetCurrentEvent, "%s", message);
        return Fetch::kFailed;
    };
    const auto producerFailed = [this](const char* call, GenTL::GC_ERROR result) {
        SetLastError(Result::LowLevelError, kTraceName, kGetCurrentEvent, "%s failed: %s - %s", call,
                     resultName(result).c_str(), producerText().c_str());
        return Fetch::kFailed;
    };
    if (producer_ == nullptr) return failed(Result::Error, "Producer handle not valid");
    if (event_ == nullptr) return failed(Result::NotInitialized, "GenTL Module not initialized");
    if (buffer_.empty()) return failed(Result::Error, "Event buffer size is 0");

    size_t size = buffer_.size();
    waiting_.store(true, std::memory_order_release);
    GenTL::GC_ERROR result = producer_->EventGetData(event_, buffer_.data(), &size, kWaitMilliseconds);
    waiting_.store(false, std::memory_order_release);
    if (result == GenTL::GC_ERR_TIMEOUT) return Fetch::kNothing;
    if (result == GenTL::GC_ERR_ABORT) {
        abortSeen_.store(true, std::memory_order_release);
        // Our own stop: leave without a failure line.
        if (stopRequested()) return Fetch::kNothing;
    }
    if (result != GenTL::GC_ERR_SUCCESS) return producerFailed("EventGetData", result);

    GenTL::INFO_DATATYPE type = 0;
    size_t nameSize = 0;
    result = producer_->EventGetDataInfo(event_, buffer_.data(), size, GenTL::EVENT_DATA_ID, &type, nullptr, &nameSize);
    if (result != GenTL::GC_ERR_SUCCESS) return producerFailed("EventGetDataInfo DATA_ID (size)", result);
    std::string name(nameSize, '\0');
    result =
        producer_->EventGetDataInfo(event_, buffer_.data(), size, GenTL::EVENT_DATA_ID, &type, name.data(), &nameSize);
    if (result != GenTL::GC_ERR_SUCCESS) return producerFailed("EventGetDataInfo DATA_ID", result);
    // The producer counts the terminating zero.
    name.resize(std::min(name.find('\0'), name.size()));
    featureName = std::move(name);
    return Fetch::kEvent;
}

void CFeatureInvalidateControl::invalidate(const std::string& featureName) {
    try {
        if (nodeModule_ == nullptr || nodeModule_->getNodeMapFlat().find(featureName) == nullptr) return;
        nodeModule_->getNode(featureName)->invalidate();
        invalidated_.fetch_add(1, std::memory_order_acq_rel);
    } catch (...) {
        // A feature that cannot be invalidated keeps its cached value until the next write; nothing
        // the thread could do about it.
    }
}

}  // namespace corvid2
