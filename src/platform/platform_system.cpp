// SPDX-License-Identifier: BSD-3-Clause
// Threads, clocks, debugger output and the machine facts of the trace's system information block.
#include "platform/platform.h"

#include <pthread.h>
#include <sys/syscall.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <map>
#include <sstream>

namespace corvid2::platform {

std::uint32_t currentThreadId() {
    // The kernel id is stable for the thread's life and is what debuggers and `top -H` show.
    thread_local const std::uint32_t id = static_cast<std::uint32_t>(::syscall(SYS_gettid));
    return id;
}

void setCurrentThreadName(const std::string& name) {
    // Linux accepts 15 characters plus the terminator.
    std::string cut = name.substr(0, 15);
    ::pthread_setname_np(::pthread_self(), cut.c_str());
}

std::uint64_t steadyMilliseconds() {
    using namespace std::chrono;
    return static_cast<std::uint64_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

std::uint64_t steadyNanoseconds() {
    using namespace std::chrono;
    return static_cast<std::uint64_t>(duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count());
}

LocalTime localTimeNow() {
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t seconds = system_clock::to_time_t(now);
    std::tm parts{};
    ::localtime_r(&seconds, &parts);
    const auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
    return LocalTime{static_cast<unsigned>(parts.tm_year + 1900),
                     static_cast<unsigned>(parts.tm_mon + 1),
                     static_cast<unsigned>(parts.tm_mday),
                     static_cast<unsigned>(parts.tm_hour),
                     static_cast<unsigned>(parts.tm_min),
                     static_cast<unsigned>(parts.tm_sec),
                     static_cast<unsigned>(ms)};
}

void debuggerOutput(const char* text) {
    if (text == nullptr) return;
    std::fputs(text, stderr);
}

namespace {

// Values of /proc/meminfo in bytes, keyed by their field name.
std::map<std::string, std::uint64_t> readMemInfo() {
    std::map<std::string, std::uint64_t> values;
    std::ifstream in("/proc/meminfo");
    std::string key;
    std::uint64_t kib = 0;
    std::string unit;
    while (in >> key >> kib) {
        std::getline(in, unit);
        if (!key.empty() && key.back() == ':') key.pop_back();
        values[key] = kib * 1024u;
    }
    return values;
}

std::optional<std::uint64_t> lookup(const std::map<std::string, std::uint64_t>& m, const char* key) {
    auto it = m.find(key);
    if (it == m.end()) return std::nullopt;
    return it->second;
}

}  // namespace

SystemFacts collectSystemFacts() {
    SystemFacts facts;
    char host[256] = {};
    if (::gethostname(host, sizeof host - 1) == 0) facts.computerName = host;
    if (auto user = getEnv("USER"))
        facts.userName = *user;
    else if (auto logname = getEnv("LOGNAME"))
        facts.userName = *logname;
    facts.admin = ::geteuid() == 0;
    struct utsname names {};
    if (::uname(&names) == 0) {
        facts.operatingSystem = std::string(names.sysname) + " " + names.release + " " + names.version;
        facts.platform = names.machine;
    }
    std::error_code ec;
    auto cwd = std::filesystem::current_path(ec);
    if (!ec) facts.workingDirectory = cwd.string();

    const auto mem = readMemInfo();
    facts.physicalMemoryTotal = lookup(mem, "MemTotal");
    facts.physicalMemoryAvailable = lookup(mem, "MemAvailable");
    facts.pageMemoryTotal = lookup(mem, "SwapTotal");
    facts.pageMemoryAvailable = lookup(mem, "SwapFree");
    facts.virtualMemoryTotal = lookup(mem, "CommitLimit");
    if (auto limit = lookup(mem, "CommitLimit"), used = lookup(mem, "Committed_AS"); limit && used)
        facts.virtualMemoryAvailable = *limit > *used ? *limit - *used : 0;

    const auto folder = ownLibraryLocation().parent_path();
    if (!folder.empty()) {
        for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
            const auto ext = entry.path().extension().string();
            const auto name = entry.path().filename().string();
            if (ext == ".cti" || ext == ".so" || name.find(".so.") != std::string::npos)
                facts.libraryFiles.push_back(name);
        }
        std::sort(facts.libraryFiles.begin(), facts.libraryFiles.end());
    }
    return facts;
}

}  // namespace corvid2::platform
