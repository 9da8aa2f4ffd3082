// SPDX-License-Identifier: BSD-3-Clause
// The producer's process-wide state between GCInitLib and GCCloseLib.
#pragma once

#include <atomic>
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

    void requireInitialized() const {
        if (!initialized) fail(GC_ERR_NOT_INITIALIZED, "GCInitLib has not been called");
    }
    bool ownVendor() const { return config.vendor == "Velmor"; }
    // Writes one line through the registered trace callback, if any.
    void trace(int32_t level, const std::string& text) const;
};

}  // namespace corvid2::sim
