// SPDX-License-Identifier: BSD-3-Clause
// Process environment and the locations of the program and of this library.
#include "platform/platform.h"

#include <boost/dll/runtime_symbol_info.hpp>

#include <cstdlib>
#include <mutex>

namespace corvid2::platform {
namespace {
// getenv/setenv are not safe against each other; the library serialises its own uses.
std::mutex& envMutex() {
    static std::mutex m;
    return m;
}
}  // namespace

std::optional<std::string> getEnv(const char* name) {
    if (name == nullptr || *name == '\0') return std::nullopt;
    std::lock_guard<std::mutex> lock(envMutex());
    const char* value = std::getenv(name);
    if (value == nullptr) return std::nullopt;
    return std::string(value);
}

bool setEnv(const char* name, const std::string& value) {
    if (name == nullptr || *name == '\0') return false;
    std::lock_guard<std::mutex> lock(envMutex());
    return ::setenv(name, value.c_str(), 1) == 0;
}

bool unsetEnv(const char* name) {
    if (name == nullptr || *name == '\0') return false;
    std::lock_guard<std::mutex> lock(envMutex());
    return ::unsetenv(name) == 0;
}

ScopedEnv::ScopedEnv(const char* name, const std::optional<std::string>& value)
    : name_(name ? name : ""), previous_(getEnv(name)) {
    if (value)
        setEnv(name, *value);
    else
        unsetEnv(name);
}

ScopedEnv::~ScopedEnv() {
    if (previous_)
        setEnv(name_.c_str(), *previous_);
    else
        unsetEnv(name_.c_str());
}

const char* searchPathSeparators() { return ";:"; }
char executablePathSeparator() { return ':'; }

std::filesystem::path programLocation() {
    boost::dll::fs::error_code ec;
    auto p = boost::dll::program_location(ec);
    return ec ? std::filesystem::path() : std::filesystem::path(p.string());
}

std::filesystem::path ownLibraryLocation() {
    boost::dll::fs::error_code ec;
    auto p = boost::dll::this_line_location(ec);
    return ec ? std::filesystem::path() : std::filesystem::path(p.string());
}

std::string programFileName() { return programLocation().filename().string(); }

std::optional<std::filesystem::path> userStateFolder() {
    if (auto state = getEnv("XDG_STATE_HOME"); state && !state->empty()) return std::filesystem::path(*state);
    if (auto home = getEnv("HOME"); home && !home->empty()) return std::filesystem::path(*home) / ".local" / "state";
    return std::nullopt;
}

std::optional<std::uint64_t> freeDiskSpace(const std::filesystem::path& path) {
    std::error_code ec;
    // The file itself may not exist yet: ask about the nearest existing folder.
    std::filesystem::path probe = path;
    while (!probe.empty() && !std::filesystem::exists(probe, ec)) {
        auto parent = probe.parent_path();
        if (parent == probe) break;
        probe = parent;
    }
    if (probe.empty()) probe = ".";
    auto info = std::filesystem::space(probe, ec);
    if (ec) return std::nullopt;
    return static_cast<std::uint64_t>(info.available);
}

}  // namespace corvid2::platform
