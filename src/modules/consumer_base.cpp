// SPDX-License-Identifier: BSD-3-Clause
// Construction and destruction of the process-wide consumer context.
#include "modules/consumer_base.h"

#include "core/last_error.h"
#include "core/object_registry.h"
#include "platform/platform.h"
#include "trace/library_trace.h"

namespace corvid2 {

CConsumerBase& CConsumerBase::instance() {
    // A function-local static: C++ makes its construction thread-safe, and it is destroyed when the
    // library is unloaded, after every thread that could still reach it has been joined.
    static CConsumerBase context;
    return context;
}

CConsumerBase::CConsumerBase() {
    // Function-local statics are destroyed in the reverse order of their construction: built here
    // first, the trace (started from its enable file), the error store and the registries are
    // still there while the producer list closes what is left at unload.
    CLibraryTrace::instance();
    CLastErrorStore::instance();
    CObjectRegistries::instance();
    if (auto value = platform::getEnv(kSearchPathVariable)) {
        startupSearchPath_ = *value;
        hadStartupSearchPath_ = true;
    }
}

CConsumerBase::~CConsumerBase() = default;

}  // namespace corvid2
