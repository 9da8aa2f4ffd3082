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

}  // namespace corvid2::sim
