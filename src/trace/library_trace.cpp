// SPDX-License-Identifier: BSD-3-Clause
// Construction of the library's trace object.
#include "trace/library_trace.h"

namespace corvid2 {

namespace dbg = QXFramework::Debug;

CLibraryTrace& CLibraryTrace::instance() {
    // A function-local static: C++ makes its construction thread-safe, and it is destroyed when the
    // library is unloaded, after everything built later (the consumer context) is gone.
    static CLibraryTrace trace;
    return trace;
}

CLibraryTrace::CLibraryTrace() : trace_("corvid2_genicam", dbg::kTargetDebugger) {
    trace_.setLevelMask(dbg::kLevelError | dbg::kLevelWarning | dbg::kLevelInformation);
    trace_.setOptions(dbg::kOptionTimestamp | dbg::kOptionThreadId | dbg::kOptionPrefix | dbg::kOptionLineEnd);
    enabledByEnableFile_ = trace_.startFromEnableFile(systemInfoFlag_);
}

}  // namespace corvid2
