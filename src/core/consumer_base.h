// SPDX-License-Identifier: BSD-3-Clause
// The one process-wide consumer context, built on first use by any entry point of the library.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "core/last_error.h"
#include "core/object_registry.h"
#include "gentl/producer_list.h"
#include "trace/debug_trace.h"

namespace corvid2 {

class CConsumerBase {
public:
    // Thread-safe construction on first call; lives until the library is unloaded.
    static CConsumerBase& instance();

    virtual ~CConsumerBase();
    CConsumerBase(const CConsumerBase&) = delete;
    CConsumerBase& operator=(const CConsumerBase&) = delete;

    QXFramework::Debug::CDebugTrace& trace() { return trace_; }
    CLastErrorStore& lastErrors() { return lastErrors_; }
    // The registry of live objects of one kind, used by the guards.
    CObjectRegistry& registry(RegistryKind kind) { return registries_[kind]; }
    CProducerList& producers() { return producers_; }

    // Value of the producer search-path variable when the context was built (restored at release).
    const std::string& startupSearchPath() const { return startupSearchPath_; }
    bool hadStartupSearchPath() const { return hadStartupSearchPath_; }
    static constexpr const char* kSearchPathVariable = "GENICAM_GENTL64_PATH";

    bool traceEnabledByEnableFile() const { return traceEnabledByEnableFile_; }
    bool systemInfoFlag() const { return systemInfoFlag_; }
    void setSystemInfoFlag(bool on) { systemInfoFlag_ = on; }

private:
    CConsumerBase();

    QXFramework::Debug::CDebugTrace trace_;
    bool traceEnabledByEnableFile_ = false;
    bool secondFlag_ = true;
    std::string startupSearchPath_;
    bool hadStartupSearchPath_ = false;
    CLastErrorStore lastErrors_;
    CObjectRegistries registries_;  // the 23 registries, in the order of RegistryKind
    CProducerList producers_;
    bool systemInfoFlag_ = true;
};

}  // namespace corvid2
