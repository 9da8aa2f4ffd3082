// SPDX-License-Identifier: BSD-3-Clause
// Switches and targets of the library's diagnostic trace, for applications.
#ifndef CORVID2_TRACE_H
#define CORVID2_TRACE_H

#include "corvid2/export.h"
#include "corvid2/string.h"

namespace CORVID2 {

// All members are static: the trace is one facility per process.
class CORVID2_API Trace {
public:
    static void Enable(bool enable);
    static bool IsEnabled();
    static void ActivateOutputToDebugger(bool activate);
    static void ActivateOutputToFile(bool activate, const String& path = String());
    static void ActivateMaskError(bool activate);
    static void ActivateMaskWarning(bool activate);
    static void ActivateMaskInformation(bool activate);
    static void ActivateOutputOptionTimestamp(bool activate);
    static void ActivateOutputOptionTimestampDiff(bool activate);
    static void ActivateOutputOptionThreadId(bool activate);
    static void ActivateOutputOptionPrefix(bool activate);

    Trace() = delete;
};

}  // namespace CORVID2

#endif
