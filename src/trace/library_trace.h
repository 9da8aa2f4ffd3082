// SPDX-License-Identifier: BSD-3-Clause
// The library's own trace object: one per process, built by the first trace line or entry point.
#pragma once

#include "trace/debug_trace.h"

namespace corvid2 {

// Built with the library's prefix, levels and line options, and started from the trace enable
// file when that file exists. It stands alone so that every layer can trace without knowing the
// consumer context; that context touches it while being built, so the trace outlives it.
class CLibraryTrace {
public:
    // Thread-safe construction on first call; lives until the library is unloaded.
    static CLibraryTrace& instance();

    CLibraryTrace(const CLibraryTrace&) = delete;
    CLibraryTrace& operator=(const CLibraryTrace&) = delete;

    QXFramework::Debug::CDebugTrace& trace() { return trace_; }

    // Whether the enable file switched file tracing on when the trace was built.
    bool enabledByEnableFile() const { return enabledByEnableFile_; }
    // Whether switching tracing or a target on writes the system information block.
    bool systemInfoFlag() const { return systemInfoFlag_; }
    void setSystemInfoFlag(bool on) { systemInfoFlag_ = on; }

private:
    CLibraryTrace();

    QXFramework::Debug::CDebugTrace trace_;
    bool systemInfoFlag_ = true;
    bool enabledByEnableFile_ = false;
};

}  // namespace corvid2
