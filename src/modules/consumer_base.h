// SPDX-License-Identifier: BSD-3-Clause
// The one process-wide consumer context, built on first use by any entry point that reaches producers.
#pragma once

#include <string>

#include "modules/producer_list.h"

namespace corvid2 {

// Owns the producer list and remembers the producer search path as the process started. The
// library's trace, the last-error store and the registries of live objects stand on their own in
// the layers below; the context touches them while it is built, so that they outlive it and the
// producers it still closes at unload can trace, record errors and unregister.
class CConsumerBase {
public:
    // Thread-safe construction on first call; lives until the library is unloaded.
    static CConsumerBase& instance();

    virtual ~CConsumerBase();
    CConsumerBase(const CConsumerBase&) = delete;
    CConsumerBase& operator=(const CConsumerBase&) = delete;

    CProducerList& producers() { return producers_; }

    // Value of the producer search-path variable when the context was built (restored at release).
    const std::string& startupSearchPath() const { return startupSearchPath_; }
    bool hadStartupSearchPath() const { return hadStartupSearchPath_; }
    static constexpr const char* kSearchPathVariable = "GENICAM_GENTL64_PATH";

private:
    CConsumerBase();

    std::string startupSearchPath_;
    bool hadStartupSearchPath_ = false;
    CProducerList producers_;
};

}  // namespace corvid2
