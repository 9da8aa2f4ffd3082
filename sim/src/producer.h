// SPDX-License-Identifier: BSD-3-Clause
// The producer's process-wide state between GCInitLib and GCCloseLib.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "handle_registry.h"
#include "sim_config.h"
#include "world.h"

namespace corvid2::sim {

class SystemModule;

// Receives the producer's own trace lines (registered through QXTLTraceRegisterCallback).
using TraceCallback = void (*)(const char* prefix, int32_t channel, int32_t level, uint32_t levelBits,
                               const char* format, ...);

struct Producer {
    static Producer& instance();

    std::mutex lifecycle;  // initialisation, TLOpen and TLClose
    std::atomic<bool> initialized{false};
    SimConfig config;
    std::unique_ptr<World> world;
    FaultTable faults;
    HandleRegistry registry;
    std::shared_ptr<SystemModule> system;
    std::atomic<uint32_t> incompleteEvery{0};
    std::atomic<uint32_t> frameDelayUs{0};
    std::atomic<TraceCallback> traceCallback{nullptr};

    // The timeouts of the latest EventGetData calls for new buffers, oldest first, so that a test
    // can tell how a consumer slices its waits without measuring time (feature SimEventWaitLog).
    void logEventWait(uint64_t timeoutMs);
    std::string eventWaitLog() const;
    void clearEventWaitLog();

    void requireInitialized() const {
        if (!initialized) fail(GC_ERR_NOT_INITIALIZED, "GCInitLib has not been called");
    }
    bool ownVendor() const { return config.vendor == "Velmor"; }
    // Writes one line through the registered trace callback, if any.
    void trace(int32_t level, const std::string& text) const;

private:
    // A ring without a lock: the log sits on every wait of every consumer.
    static constexpr uint64_t kEventWaitLogSize = 16;
    std::array<std::atomic<uint64_t>, kEventWaitLogSize> eventWaits_{};
    std::atomic<uint64_t> eventWaitCount_{0};
    std::atomic<uint64_t> eventWaitsClearedAt_{0};
};

}  // namespace corvid2::sim
