// SPDX-License-Identifier: BSD-3-Clause
// The application's trace switches: the static CORVID2::Trace class over the library's trace.
#include <cstdint>
#include <string>

#include "corvid2/trace.h"
#include "trace/debug_trace.h"
#include "trace/library_trace.h"

namespace {

using QXFramework::Debug::CDebugTrace;
namespace dbg = QXFramework::Debug;

constexpr std::int64_t kOutputLimit = 5000;

corvid2::CLibraryTrace& base() { return corvid2::CLibraryTrace::instance(); }
CDebugTrace& traceObject() { return base().trace(); }

// Switching tracing or a target on announces the machine, while the consumer allows it.
void announceSystem() {
    corvid2::CLibraryTrace& library = base();
    if (library.trace().isEnabled() && library.systemInfoFlag()) library.trace().traceSystemInformation();
}

void enable(bool on) {
    traceObject().setEnabled(on);
    if (on) announceSystem();
}

void outputToDebugger(bool on) {
    CDebugTrace& trace = traceObject();
    if (!on) {
        trace.setTargets(0, dbg::kTargetDebugger);
        return;
    }
    trace.setTargets(dbg::kTargetDebugger, 0);
    trace.setSecondLimit(kOutputLimit);
    announceSystem();
}

void outputToFile(bool on, const char* path) {
    CDebugTrace& trace = traceObject();
    if (!on) {
        trace.setTargets(0, dbg::kTargetFile);
        return;
    }
    std::string file = path != nullptr ? path : "";
    if (file.empty()) {
        // No path given: the same file that the enable file would have chosen.
        const auto& locations = dbg::defaultTraceFileLocations();
        if (!locations) return;
        file = locations->traceFile.string();
    }
    trace.setTargets(dbg::kTargetFile, 0);
    trace.setSecondLimit(kOutputLimit);
    if (trace.setFileName(file)) announceSystem();
}

void levelBit(std::uint64_t bit, bool on) { traceObject().changeLevelMask(bit, on); }
void optionBit(std::uint64_t bit, bool on) { traceObject().changeOptions(bit, on); }

}  // namespace

namespace CORVID2 {

void Trace::Enable(bool on) { enable(on); }
bool Trace::IsEnabled() { return traceObject().isEnabled(); }
void Trace::ActivateOutputToDebugger(bool on) { outputToDebugger(on); }
void Trace::ActivateOutputToFile(bool on, const String& path) { outputToFile(on, path.get()); }
void Trace::ActivateMaskError(bool on) { levelBit(dbg::kLevelError, on); }
void Trace::ActivateMaskWarning(bool on) { levelBit(dbg::kLevelWarning, on); }
void Trace::ActivateMaskInformation(bool on) { levelBit(dbg::kLevelInformation, on); }
void Trace::ActivateOutputOptionTimestamp(bool on) { optionBit(dbg::kOptionTimestamp, on); }
void Trace::ActivateOutputOptionTimestampDiff(bool on) { optionBit(dbg::kOptionTimestampDiff, on); }
void Trace::ActivateOutputOptionThreadId(bool on) { optionBit(dbg::kOptionThreadId, on); }
void Trace::ActivateOutputOptionPrefix(bool on) { optionBit(dbg::kOptionPrefix, on); }

}  // namespace CORVID2
