// SPDX-License-Identifier: BSD-3-Clause
// Construction and destruction of the process-wide consumer context.
#include "core/consumer_base.h"

#include "platform/platform.h"

namespace corvid2 {

CConsumerBase& CConsumerBase::instance() {
    // A function-local static: C++ makes its construction thread-safe, and it is destroyed when the
    // library is unloaded, after every thread that could still reach it has been joined.
    static CConsumerBase context;
    return context;
}

CConsumerBase::CConsumerBase() : trace_("corvid2_genicam", QXFramework::Debug::kTargetDebugger) {
    if (auto value = platform::getEnv(kSearchPathVariable)) {
        startupSearchPath_ = *value;
        hadStartupSearchPath_ = true;
    }
    trace_.setLevelMask(QXFramework::Debug::kLevelError | QXFramework::Debug::kLevelWarning |
                        QXFramework::Debug::kLevelInformation);
    trace_.setOptions(QXFramework::Debug::kOptionTimestamp | QXFramework::Debug::kOptionThreadId |
                      QXFramework::Debug::kOptionPrefix | QXFramework::Debug::kOptionLineEnd);
    traceEnabledByEnableFile_ = trace_.startFromEnableFile(systemInfoFlag_);
}

CConsumerBase::~CConsumerBase() = default;

}  // namespace corvid2
