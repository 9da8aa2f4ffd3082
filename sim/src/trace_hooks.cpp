// SPDX-License-Identifier: BSD-3-Clause
// Trace hooks of the maker's own producers, exported only by the loader-test variants that ask for them:
// CORVID2_SIM_TRACE_HOOKS=11 exports all eleven, 10 leaves out the last output option.
#include "producer.h"

#if defined(CORVID2_SIM_TRACE_HOOKS)

#define CORVID2_SIM_TRACE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {
// The producer keeps no trace settings of its own: the consumer's trace facility decides what is shown.
int32_t acceptSetting(int32_t) { return 0; }
}  // namespace

CORVID2_SIM_TRACE_EXPORT int32_t QXTLTraceEnable(int32_t on) { return acceptSetting(on); }
CORVID2_SIM_TRACE_EXPORT int32_t QXTLTraceActivateOutputToFile(int32_t on) { return acceptSetting(on); }
CORVID2_SIM_TRACE_EXPORT int32_t QXTLTraceActivateOutputToDebugger(int32_t on) { return acceptSetting(on); }
CORVID2_SIM_TRACE_EXPORT int32_t QXTLTraceActivateMaskError(int32_t on) { return acceptSetting(on); }
CORVID2_SIM_TRACE_EXPORT int32_t QXTLTraceActivateMaskWarning(int32_t on) { return acceptSetting(on); }
CORVID2_SIM_TRACE_EXPORT int32_t QXTLTraceActivateMaskInformation(int32_t on) { return acceptSetting(on); }
CORVID2_SIM_TRACE_EXPORT int32_t QXTLTraceActivateOutputOptionTimestamp(int32_t on) { return acceptSetting(on); }
CORVID2_SIM_TRACE_EXPORT int32_t QXTLTraceActivateOutputOptionTimestampDiff(int32_t on) { return acceptSetting(on); }
CORVID2_SIM_TRACE_EXPORT int32_t QXTLTraceActivateOutputOptionThreadId(int32_t on) { return acceptSetting(on); }
#if CORVID2_SIM_TRACE_HOOKS >= 11
CORVID2_SIM_TRACE_EXPORT int32_t QXTLTraceActivateOutputOptionPrefix(int32_t on) { return acceptSetting(on); }
#endif
CORVID2_SIM_TRACE_EXPORT int32_t QXTLTraceRegisterCallback(corvid2::sim::TraceCallback callback) {
    corvid2::sim::Producer::instance().traceCallback = callback;
    if (callback != nullptr) corvid2::sim::Producer::instance().trace(2, "trace callback registered");
    return 0;
}

#endif
