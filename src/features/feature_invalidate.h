// SPDX-License-Identifier: BSD-3-Clause
// CFeatureInvalidateControl: a thread that listens to a device's feature-invalidation events and
// makes the named features of the remote device's node map read from the camera again.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "core/result_codes.h"
#include "gentl.h"
#include "trace/worker_thread.h"

namespace corvid2 {

class CGenTLProducer;
class IGenAPI;

// Started by the device once EVENT_FEATURE_INVALIDATE is registered on it, ended before that
// registration goes. The thread never raises: a failure of the event source ends it, once recorded.
// The node map's own lock serialises the invalidation with the application's feature access.
class CFeatureInvalidateControl : public CIThread {
public:
    static constexpr char kTraceName[] = "FeatureInvalidateControl";
    static constexpr char kEventName[] = "FeatureInvalidateEvent";
    // How long one wait for an event lasts before the stop flag is looked at again.
    static constexpr std::uint64_t kWaitMilliseconds = 50;

    CFeatureInvalidateControl();
    ~CFeatureInvalidateControl() override;

    // `producer` and `event` are the device module's, right after it registered
    // EVENT_FEATURE_INVALIDATE (its current event is that one); `nodeModule` is the remote device's
    // node map. 0, or the code of the failure (recorded as the thread's last error). Starting a
    // listening control does nothing; one whose thread ended on a failure starts afresh.
    Result start(CGenTLProducer* producer, GenTL::EVENT_HANDLE event, IGenAPI& nodeModule);
    // Ends the thread, without waiting for a pending event wait to run out, and releases the
    // event buffer. Harmless when nothing runs.
    void end();

    // Raises the stop flag and aborts a wait in progress (so that `join` returns promptly too).
    void stop() override;

    // For the owner's diagnostics and for tests: whether the thread reads events (from a successful
    // start until its loop ends), how many
    // events it has dealt with and how many of those named a feature of the node map.
    bool listening() const { return listening_.load(std::memory_order_acquire); }
    std::uint64_t eventsHandled() const { return handled_.load(std::memory_order_acquire); }
    std::uint64_t featuresInvalidated() const { return invalidated_.load(std::memory_order_acquire); }

protected:
    void run() override;

private:
    enum class Fetch { kEvent, kNothing, kFailed };

    using CIThread::start;
    Result prepareEvent();
    Fetch nextEvent(std::string& featureName);
    void invalidate(const std::string& featureName);
    // Takes back an abort that `stop` sent but the thread never consumed, so that a later start
    // does not find its first wait aborted.
    void drainAbort();
    // "<GenTL name> - <producer's last error>" as two texts for the failure lines.
    std::string resultName(GenTL::GC_ERROR result) const;
    std::string producerText() const;

    CGenTLProducer* producer_ = nullptr;
    IGenAPI* nodeModule_ = nullptr;
    GenTL::EVENT_HANDLE event_ = nullptr;
    std::vector<std::uint8_t> buffer_;

    std::atomic<bool> waiting_{false};
    std::atomic<bool> abortSent_{false};
    std::atomic<bool> abortSeen_{false};
    std::atomic<bool> listening_{false};
    std::atomic<std::uint64_t> handled_{0};
    std::atomic<std::uint64_t> invalidated_{0};
};

}  // namespace corvid2
