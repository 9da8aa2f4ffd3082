// SPDX-License-Identifier: BSD-3-Clause
// Reading back what the trace writes: the library's trace captured as lines, and the clock and free
// space that a trace object under test is given instead of the real ones.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "support/scratch.h"
#include "trace/debug_trace.h"

namespace corvid2::test {

// Everything the library traces between construction and destruction, to a file of its own.
class TraceCapture {
public:
    TraceCapture();
    ~TraceCapture();
    TraceCapture(const TraceCapture&) = delete;
    TraceCapture& operator=(const TraceCapture&) = delete;

    // Every line traced so far, once the writer has put it in the file.
    std::vector<std::string> lines();
    // How many of those lines contain `text`.
    size_t count(const std::string& text);

private:
    ScratchFolder folder_;
};

// A clock whose every value the test chooses, so that trace lines can be compared as text.
struct FixedClock {
    static inline std::atomic<std::uint64_t> steadyMs{1000};
    static inline std::atomic<std::uint32_t> threadId{0x1A2B3};
    static inline platform::LocalTime localTime{2026, 12, 6, 13, 5, 9, 123};

    static QXFramework::Debug::TraceClock clock();
};

// Free space large enough that sizing keeps its defaults, whatever the disk of the test machine holds.
std::optional<std::uint64_t> plentyOfSpace(const std::filesystem::path&);

}  // namespace corvid2::test
