// SPDX-License-Identifier: BSD-3-Clause
// Flat C functions of the trace: the C twins of CORVID2::Trace, and extT for companion components.
#include <cstdint>

#include "core/result_codes.h"
#include "corvid2/trace.h"
#include "corvid2_genicam_c.h"
#include "trace/library_trace.h"

using namespace corvid2;
using CORVID2::Trace;
namespace dbg = QXFramework::Debug;

namespace {

// The switches cannot fail: every one answers success.
template <class Operation>
CORVID2_RESULT succeed(Operation operation) {
    operation();
    return toCode(Result::Success);
}

}  // namespace

extern "C" {

CORVID2_RESULT CORVID2_TraceEnable(uint8_t on) {
    return succeed([=] { Trace::Enable(on != 0); });
}

CORVID2_RESULT CORVID2_TraceIsEnabled(uint8_t* enabled) {
    if (enabled == nullptr) return toCode(Result::InvalidParameter);
    *enabled = Trace::IsEnabled() ? 1 : 0;
    return toCode(Result::Success);
}

CORVID2_RESULT CORVID2_TraceActivateOutputToFile(uint8_t on, const char* path) {
    return succeed([=] { Trace::ActivateOutputToFile(on != 0, CORVID2::String(path)); });
}
CORVID2_RESULT CORVID2_TraceActivateOutputToDebugger(uint8_t on) {
    return succeed([=] { Trace::ActivateOutputToDebugger(on != 0); });
}
CORVID2_RESULT CORVID2_TraceActivateMaskError(uint8_t on) {
    return succeed([=] { Trace::ActivateMaskError(on != 0); });
}
CORVID2_RESULT CORVID2_TraceActivateMaskWarning(uint8_t on) {
    return succeed([=] { Trace::ActivateMaskWarning(on != 0); });
}
CORVID2_RESULT CORVID2_TraceActivateMaskInformation(uint8_t on) {
    return succeed([=] { Trace::ActivateMaskInformation(on != 0); });
}
CORVID2_RESULT CORVID2_TraceActivateOutputOptionPrefix(uint8_t on) {
    return succeed([=] { Trace::ActivateOutputOptionPrefix(on != 0); });
}
CORVID2_RESULT CORVID2_TraceActivateOutputOptionThreadID(uint8_t on) {
    return succeed([=] { Trace::ActivateOutputOptionThreadId(on != 0); });
}
CORVID2_RESULT CORVID2_TraceActivateOutputOptionTimestamp(uint8_t on) {
    return succeed([=] { Trace::ActivateOutputOptionTimestamp(on != 0); });
}
CORVID2_RESULT CORVID2_TraceActivateOutputOptionTimestampDiff(uint8_t on) {
    return succeed([=] { Trace::ActivateOutputOptionTimestampDiff(on != 0); });
}

// A line from a companion component at its own level, while tracing is on.
int extT(const int* level, const char* text) {
    dbg::CDebugTrace& trace = CLibraryTrace::instance().trace();
    if (!trace.isEnabled()) return 0;
    // Index = the caller's level: 0 information, 1 warning, 2 error.
    static constexpr std::uint64_t kLevels[] = {dbg::kLevelInformation, dbg::kLevelWarning, dbg::kLevelError};
    const char* message = text != nullptr ? text : "(null)";
    if (level != nullptr && *level >= 0 && *level < 3)
        trace.trace(0, kLevels[*level], 0, "ExtendedTrace; %s", message);
    else
        trace.trace(0, dbg::kLevelError, 0, "ExtendedTrace; Default Error Level; %s", message);
    return 0;
}

}  // extern "C"
