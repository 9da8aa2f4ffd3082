// SPDX-License-Identifier: BSD-3-Clause
// Shared helpers of the trace tests: scratch folders and reading back what was written.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "trace/debug_trace.h"

namespace corvid2::test {

// A fresh folder under the system's temporary folder, removed with everything in it.
class ScratchFolder {
public:
    ScratchFolder() {
        std::random_device seed;
        path_ = std::filesystem::temp_directory_path() /
                ("corvid2_trace_test_" + std::to_string(seed()) + "_" + std::to_string(seed()));
        std::filesystem::create_directories(path_);
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

inline std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline void writeFile(const std::filesystem::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// Lines without their line ends.
inline std::vector<std::string> readLines(const std::filesystem::path& path) {
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// A limit for waits on background work; reaching it is a failure, never a measurement.
inline constexpr std::chrono::milliseconds kPatience{20000};

// A clock whose every value the test chooses.
struct FixedClock {
    static inline std::atomic<std::uint64_t> steadyMs{1000};
    static inline std::atomic<std::uint32_t> threadId{0x1A2B3};
    static inline platform::LocalTime localTime{2026, 12, 6, 13, 5, 9, 123};

    static QXFramework::Debug::TraceClock clock() {
        return {[] { return steadyMs.load(); }, [] { return localTime; }, [] { return threadId.load(); }};
    }
};

// Free space large enough that sizing keeps its defaults.
inline std::optional<std::uint64_t> plentyOfSpace(const std::filesystem::path&) { return std::uint64_t{1} << 40; }

}  // namespace corvid2::test
