// SPDX-License-Identifier: BSD-3-Clause
// The library's trace captured to a scratch file, and the fixed clock of trace objects under test.
#include "support/trace_capture.h"

#include <corvid2_genicam.h>

#include <algorithm>

#include "support/waiting.h"
#include "trace/library_trace.h"

namespace corvid2::test {

namespace {

constexpr char kCaptureFile[] = "capture.log";

}  // namespace

TraceCapture::TraceCapture() {
    // Output to the debugger would only slow the tests down; the file is what they read.
    CORVID2::Trace::ActivateOutputToDebugger(false);
    CORVID2::Trace::ActivateOutputToFile(true, folder_.file(kCaptureFile).c_str());
    CORVID2::Trace::Enable(true);
}

TraceCapture::~TraceCapture() {
    // Off before the folder goes, so that no late line recreates the file.
    CORVID2::Trace::Enable(false);
    CORVID2::Trace::ActivateOutputToFile(false);
}

std::vector<std::string> TraceCapture::lines() {
    CLibraryTrace::instance().trace().waitUntilWritten(kPatience);
    return readLines(folder_.file(kCaptureFile));
}

size_t TraceCapture::count(const std::string& text) {
    const auto all = lines();
    return static_cast<size_t>(
        std::count_if(all.begin(), all.end(), [&](const std::string& l) { return l.find(text) != std::string::npos; }));
}

QXFramework::Debug::TraceClock FixedClock::clock() {
    return {[] { return steadyMs.load(); }, [] { return localTime; }, [] { return threadId.load(); }};
}

std::optional<std::uint64_t> plentyOfSpace(const std::filesystem::path&) { return std::uint64_t{1} << 40; }

}  // namespace corvid2::test
