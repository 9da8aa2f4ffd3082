// SPDX-License-Identifier: BSD-3-Clause
// The one boundary to the operating system: everything above this header is portable C++17.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// Thread-local variables of the library that hot paths read: constant-initialised and in the
// initial-exec model, a read is one load with no wrapper call.
#if defined(__GNUC__)
#define CORVID2_INITIAL_EXEC_TLS __attribute__((tls_model("initial-exec")))
#else
#define CORVID2_INITIAL_EXEC_TLS
#endif

namespace corvid2::platform {

// ---- dynamic libraries -------------------------------------------------------------------

// A loaded shared library (producer ".cti", run-time library). Move-only; unloads on destruction.
class SharedLibrary {
public:
    SharedLibrary();
    ~SharedLibrary();
    SharedLibrary(SharedLibrary&&) noexcept;
    SharedLibrary& operator=(SharedLibrary&&) noexcept;
    SharedLibrary(const SharedLibrary&) = delete;
    SharedLibrary& operator=(const SharedLibrary&) = delete;

    // Loads `path`; on failure returns false and fills `error` with the loader's text.
    bool load(const std::filesystem::path& path, std::string& error);
    void unload();
    bool isLoaded() const;
    // Address of an exported symbol, or null when the library does not export it.
    void* symbol(const char* name) const;
    const std::filesystem::path& path() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// ---- environment -------------------------------------------------------------------------

std::optional<std::string> getEnv(const char* name);
bool setEnv(const char* name, const std::string& value);
bool unsetEnv(const char* name);

// Sets (or removes) a variable for the life of the object and restores the previous state after.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::optional<std::string>& value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name_;
    std::optional<std::string> previous_;
};

// Separator characters of a search-path variable such as "GENICAM_GENTL64_PATH".
const char* searchPathSeparators();
// Separator of the executable search path ("PATH").
char executablePathSeparator();

// ---- locations ---------------------------------------------------------------------------

std::filesystem::path programLocation();                 // the running executable
std::filesystem::path ownLibraryLocation();              // the shared object that holds this code
std::string programFileName();                           // file name of the running program, extension kept
std::optional<std::filesystem::path> userStateFolder();  // per-user folder for logs (XDG state)
// Free space of the volume holding `path` in bytes, or nothing when it cannot be told.
std::optional<std::uint64_t> freeDiskSpace(const std::filesystem::path& path);

// ---- threads and time --------------------------------------------------------------------

std::uint32_t currentThreadId();
// Names the calling thread for debuggers; the name is cut to what the system accepts.
void setCurrentThreadName(const std::string& name);

// Milliseconds of a monotonic clock, for intervals only.
std::uint64_t steadyMilliseconds();
std::uint64_t steadyNanoseconds();

struct LocalTime {
    unsigned year, month, day, hour, minute, second, millisecond;
};
LocalTime localTimeNow();

// ---- diagnostics -------------------------------------------------------------------------

// The debugger output channel: standard error here.
void debuggerOutput(const char* text);

// Facts about the machine for the trace's system information block, in a fixed order of keys.
struct SystemFacts {
    std::string computerName;
    std::string userName;
    bool admin = false;
    std::string operatingSystem;
    std::string platform;
    std::string workingDirectory;
    std::optional<std::uint64_t> physicalMemoryTotal, physicalMemoryAvailable;
    std::optional<std::uint64_t> pageMemoryTotal, pageMemoryAvailable;
    std::optional<std::uint64_t> virtualMemoryTotal, virtualMemoryAvailable;
    std::vector<std::string> libraryFiles;  // ".so"/".cti" files beside the library
};
SystemFacts collectSystemFacts();

}  // namespace corvid2::platform
