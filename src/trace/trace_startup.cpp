// SPDX-License-Identifier: BSD-3-Clause
// Trace file locations, start-up through the enable file, and the system information block.
#include <cstdio>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "trace/debug_trace.h"

namespace QXFramework::Debug {

namespace fs = std::filesystem;

namespace {

constexpr const char* kVendorFolder = "Velmor";
constexpr const char* kTraceFileStem = "corvid2_trace";
constexpr const char* kEnableFileName = "corvid2_trace_enable.ini";
constexpr const char* kNotAvailable = "information not available";
constexpr const char* kNoVersion = "No Version Information";

fs::path cut(const fs::path& path) { return fs::path(path.string().substr(0, kMaxPathChars)); }

std::string textOrNotAvailable(const std::string& text) { return text.empty() ? kNotAvailable : text; }

std::string megabytesOrNotAvailable(const std::optional<std::uint64_t>& bytes) {
    if (!bytes) return kNotAvailable;
    return std::to_string(*bytes / (1024 * 1024)) + " MB";
}

}  // namespace

TraceFileLocations traceFileLocationsIn(const fs::path& folder, const std::string& programName) {
    TraceFileLocations locations;
    locations.folder = cut(folder);
    locations.traceFile = cut(folder / (std::string(kTraceFileStem) + "_" + programName + ".log"));
    locations.enableFile = cut(folder / kEnableFileName);
    return locations;
}

const std::optional<TraceFileLocations>& defaultTraceFileLocations() {
    static const std::optional<TraceFileLocations> locations = []() -> std::optional<TraceFileLocations> {
        const auto stateFolder = corvid2::platform::userStateFolder();
        if (!stateFolder) return std::nullopt;
        return traceFileLocationsIn(*stateFolder / kVendorFolder, corvid2::platform::programFileName());
    }();
    return locations;
}

bool CDebugTrace::startFromEnableFile(bool systemInfo, const std::optional<TraceFileLocations>& locations) {
    if (!locations || !std::ifstream(locations->enableFile).is_open()) return false;
    setTargets(kTargetFile, kTargetDebugger);
    setSecondLimit(5000);
    setFileName(locations->traceFile.string());
    setEnabled(true);
    if (systemInfo) traceSystemInformation();
    return true;
}

void CDebugTrace::traceSystemInformation() {
    if (!wouldTrace(kLevelInformation)) return;
    const corvid2::platform::SystemFacts facts = corvid2::platform::collectSystemFacts();
    const std::pair<const char*, std::string> items[] = {
        {"Computername; ", textOrNotAvailable(facts.computerName)},
        {"Username; ", textOrNotAvailable(facts.userName)},
        {"Adminrights; ", facts.admin ? "Admin" : "No Admin"},
        {"Operatingsystem; ", textOrNotAvailable(facts.operatingSystem)},
        {"Platform; ", textOrNotAvailable(facts.platform)},
        {"Working directory; ", textOrNotAvailable(facts.workingDirectory)},
        {"PhysicalMemoryTotal; ", megabytesOrNotAvailable(facts.physicalMemoryTotal)},
        {"PhysicalMemoryAvailable; ", megabytesOrNotAvailable(facts.physicalMemoryAvailable)},
        {"PageMemoryTotal; ", megabytesOrNotAvailable(facts.pageMemoryTotal)},
        {"PageMemoryAvailable; ", megabytesOrNotAvailable(facts.pageMemoryAvailable)},
        {"VirtualMemoryTotal; ", megabytesOrNotAvailable(facts.virtualMemoryTotal)},
        {"VirtualMemoryAvailable; ", megabytesOrNotAvailable(facts.virtualMemoryAvailable)},
    };
    for (const auto& [key, value] : items)
        trace(0, kLevelInformation, 0, "%s; TraceEnable; SystemInfo; %s%s", "base", key, value.c_str());
    // Shared objects carry no version resource; the file name is what identifies them here.
    for (const std::string& file : facts.libraryFiles)
        trace(0, kLevelInformation, 0, "%s; TraceEnable; SystemInfo; %s; %s", "base", file.c_str(), kNoVersion);
}

}  // namespace QXFramework::Debug
