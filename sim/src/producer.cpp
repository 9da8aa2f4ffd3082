// SPDX-License-Identifier: BSD-3-Clause
// The process-wide producer state and its trace output.
#include "producer.h"

#include "system_module.h"

namespace corvid2::sim {

Producer& Producer::instance() {
    // Never destroyed: consumers may still call in from their own exit handlers.
    static Producer* const kProducer = new Producer();
    return *kProducer;
}

void Producer::trace(int32_t level, const std::string& text) const {
    const TraceCallback callback = traceCallback.load();
    if (callback != nullptr) callback("corvid2_sim", 0, level, 1u << level, "%s", text.c_str());
}

void Producer::logEventWait(uint64_t timeoutMs) {
    const uint64_t index = eventWaitCount_.fetch_add(1, std::memory_order_acq_rel);
    eventWaits_[index % kEventWaitLogSize].store(timeoutMs, std::memory_order_release);
}

std::string Producer::eventWaitLog() const {
    const uint64_t end = eventWaitCount_.load(std::memory_order_acquire);
    const uint64_t cleared = eventWaitsClearedAt_.load(std::memory_order_acquire);
    uint64_t begin = end > kEventWaitLogSize ? end - kEventWaitLogSize : 0;
    if (begin < cleared) begin = cleared;
    std::string text;
    for (uint64_t index = begin; index < end; ++index) {
        const uint64_t wait = eventWaits_[index % kEventWaitLogSize].load(std::memory_order_acquire);
        if (!text.empty()) text += ',';
        text += wait == GENTL_INFINITE ? std::string("infinite") : std::to_string(wait);
    }
    return text;
}

void Producer::clearEventWaitLog() {
    eventWaitsClearedAt_.store(eventWaitCount_.load(std::memory_order_acquire), std::memory_order_release);
}

}  // namespace corvid2::sim
