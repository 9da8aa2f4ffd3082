// SPDX-License-Identifier: BSD-3-Clause
// The trace calls that the whole library uses: one line per event, checked at the call site.
#pragma once

#include "trace/debug_trace.h"
#include "trace/library_trace.h"

// Each helper costs two relaxed loads when its level is off. Formats follow the library's line
// convention: "<object>; <operation>; <details>", e.g. traceInfo("%s; open", name).
#if CORVID2_TRACE_INLINE_FORWARDING
#define CORVID2_DEFINE_TRACE_HELPER(name, level)                                            \
    CORVID2_TRACE_FRONT_END void name(const char* format, ...) CORVID2_PRINTF_FORMAT(1, 2); \
    CORVID2_TRACE_FRONT_END void name(const char* format, ...) {                            \
        QXFramework::Debug::CDebugTrace& trace = CLibraryTrace::instance().trace();         \
        if (!trace.wouldTrace(level)) return;                                               \
        trace.traceFormatted(nullptr, 0, level, 0, format, __builtin_va_arg_pack());        \
    }
#else
#define CORVID2_DEFINE_TRACE_HELPER(name, level)                                    \
    inline void name(const char* format, ...) CORVID2_PRINTF_FORMAT(1, 2);          \
    inline void name(const char* format, ...) {                                     \
        QXFramework::Debug::CDebugTrace& trace = CLibraryTrace::instance().trace(); \
        if (!trace.wouldTrace(level)) return;                                       \
        va_list arguments;                                                          \
        va_start(arguments, format);                                                \
        trace.vtrace(nullptr, 0, level, 0, format, arguments);                      \
        va_end(arguments);                                                          \
    }
#endif

namespace corvid2 {

CORVID2_DEFINE_TRACE_HELPER(traceError, QXFramework::Debug::kLevelError)
CORVID2_DEFINE_TRACE_HELPER(traceWarning, QXFramework::Debug::kLevelWarning)
CORVID2_DEFINE_TRACE_HELPER(traceInfo, QXFramework::Debug::kLevelInformation)

// Whether a line of `level` would be produced; lets a caller skip building costly arguments.
inline bool traceActive(std::uint64_t level) { return CLibraryTrace::instance().trace().wouldTrace(level); }

// An information line whose arguments cost something to build (a trace name copied under its
// lock): they are built only when the line will be written. For the per-image paths.
#define CORVID2_TRACE_INFO(...) \
    (::corvid2::traceActive(::QXFramework::Debug::kLevelInformation) ? ::corvid2::traceInfo(__VA_ARGS__) : void())

// A line from a producer: its own prefix, channel, level and trace-level bits, text as given.
inline void traceProducerLine(const char* prefix, std::uint32_t channel, std::uint64_t level, std::uint64_t traceLevel,
                              const char* text) {
    CLibraryTrace::instance().trace().traceWithPrefix(prefix, channel, level, traceLevel, "%s",
                                                      text != nullptr ? text : "(null)");
}

}  // namespace corvid2

#undef CORVID2_DEFINE_TRACE_HELPER
