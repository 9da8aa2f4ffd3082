// SPDX-License-Identifier: BSD-3-Clause
// The trace object: level filter, line decoration and the debugger and file targets.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/platform.h"

// The disabled check must stay at the call site: a variadic function is never inlined, so on GCC
// the arguments are forwarded with __builtin_va_arg_pack from an always-inline front end. Other
// compilers take the out-of-line path, which checks first as well.
#if defined(__GNUC__) && !defined(__clang__)
#define CORVID2_TRACE_INLINE_FORWARDING 1
#define CORVID2_TRACE_FRONT_END inline __attribute__((always_inline))
#else
#define CORVID2_TRACE_INLINE_FORWARDING 0
#define CORVID2_TRACE_FRONT_END inline
#endif
#if defined(__GNUC__)
#define CORVID2_PRINTF_FORMAT(fmt, first) __attribute__((format(printf, fmt, first)))
#else
#define CORVID2_PRINTF_FORMAT(fmt, first)
#endif

namespace QXFramework::Debug {

class CDbgTraceThread;

// Level bits of a trace call and of the level mask.
inline constexpr std::uint64_t kLevelError = 0x1;
inline constexpr std::uint64_t kLevelWarning = 0x2;
inline constexpr std::uint64_t kLevelInformation = 0x4;

// Output targets.
inline constexpr std::uint64_t kTargetDebugger = 0x2;
inline constexpr std::uint64_t kTargetFile = 0x4;

// Output options: fields written in front of every message.
inline constexpr std::uint64_t kOptionTimestamp = 0x1;
inline constexpr std::uint64_t kOptionTimestampDiff = 0x2;
inline constexpr std::uint64_t kOptionThreadId = 0x4;
inline constexpr std::uint64_t kOptionPrefix = 0x100;
inline constexpr std::uint64_t kOptionLineEnd = 0x200;
inline constexpr std::uint64_t kOptionTraceLevelFilter = 0x400;
inline constexpr std::uint64_t kOptionNumberedTraceLevel = 0x800;

// One formatted line holds at most this many characters (line end included).
inline constexpr std::size_t kMaxLineChars = 8191;
// Paths and the prefix are cut to these lengths.
inline constexpr std::size_t kMaxPathChars = 259;
inline constexpr std::size_t kMaxPrefixChars = 15;
// Sizes used until free-space sizing says otherwise.
inline constexpr std::uint64_t kDefaultMaxFileMegabytes = 100;
inline constexpr unsigned kDefaultMaxArchives = 400;

// Sources of time and thread identity; replaceable so that line layouts can be checked exactly.
struct TraceClock {
    std::uint64_t (*steadyMilliseconds)();
    corvid2::platform::LocalTime (*localTime)();
    std::uint32_t (*threadId)();
    static TraceClock system();
};

// Free bytes of the volume holding a folder; nothing when it cannot be told.
using FreeSpaceSource = std::function<std::optional<std::uint64_t>(const std::filesystem::path&)>;

// What free-space sizing decided for a trace file.
struct FileSizing {
    bool refused = false;
    std::uint64_t maxFileMegabytes = kDefaultMaxFileMegabytes;
    unsigned maxArchives = kDefaultMaxArchives;
};
// Fits the maximum file size and archive count to `freeMegabytes` of free space.
FileSizing sizeForFreeSpace(std::uint64_t freeMegabytes);

// Where file tracing goes when the enable file switches it on.
struct TraceFileLocations {
    std::filesystem::path folder;      // the per-user "Velmor" folder
    std::filesystem::path traceFile;   // "corvid2_trace_<program file name>.log" in it
    std::filesystem::path enableFile;  // "corvid2_trace_enable.ini" in it; only its existence counts
};
// The locations inside `folder` for the program file name `programName`.
TraceFileLocations traceFileLocationsIn(const std::filesystem::path& folder, const std::string& programName);
// The locations of this process, computed once; nothing when no per-user folder is known.
const std::optional<TraceFileLocations>& defaultTraceFileLocations();

// The process-wide trace object (one instance, owned by the consumer context).
//
// Any thread may trace. The calling thread only filters, formats, copies and queues; the writer
// thread does all file work. Settings are atomics, read relaxed: a switch takes effect for
// lines that start after it.
//
// Lock order (outer to inner); no lock is held while a file is written or a thread is joined:
//   writerMutex_ -> CDbgTraceThread::stateMutex_ -> CDbgTraceThread::queueMutex_
//   fileMutex_ is a leaf.
class CDebugTrace {
public:
    // `moduleName` becomes the prefix (cut to 15 characters, "undef" when null). When
    // `keepFileOnSetName` is false, naming a trace file creates or empties it at once.
    CDebugTrace(const char* moduleName, std::uint64_t targets, bool keepFileOnSetName = false);
    virtual ~CDebugTrace();
    CDebugTrace(const CDebugTrace&) = delete;
    CDebugTrace& operator=(const CDebugTrace&) = delete;

    // ---- the hot path ----
    // Whether a line of `level` (0: the whole mask) would be produced at all.
    bool wouldTrace(std::uint64_t level) const noexcept {
        if (!enabled_.load(std::memory_order_relaxed)) return false;
        const std::uint64_t mask = levelMask_.load(std::memory_order_relaxed);
        return ((level != 0 ? level : mask) & mask) != 0;
    }

    // The trace call: channel (0 in this library), level bits, trace-level bits, printf format.
    CORVID2_TRACE_FRONT_END void trace(std::uint32_t channel, std::uint64_t level, std::uint64_t traceLevel,
                                       const char* format, ...) CORVID2_PRINTF_FORMAT(5, 6);
    // The same with an explicit prefix (producer lines).
    CORVID2_TRACE_FRONT_END void traceWithPrefix(const char* prefix, std::uint32_t channel, std::uint64_t level,
                                                 std::uint64_t traceLevel, const char* format, ...)
        CORVID2_PRINTF_FORMAT(6, 7);

    // Out-of-line workers of the front ends; `prefix` null means the object's own prefix.
    void traceFormatted(const char* prefix, std::uint32_t channel, std::uint64_t level, std::uint64_t traceLevel,
                        const char* format, ...) CORVID2_PRINTF_FORMAT(6, 7);
    void vtrace(const char* prefix, std::uint32_t channel, std::uint64_t level, std::uint64_t traceLevel,
                const char* format, va_list arguments);

    // ---- switches ----
    void setEnabled(bool enabled);
    bool isEnabled() const { return enabled_.load(std::memory_order_relaxed); }
    void setLevelMask(std::uint64_t mask) { levelMask_.store(mask, std::memory_order_relaxed); }
    void changeLevelMask(std::uint64_t bits, bool set);
    std::uint64_t levelMask() const { return levelMask_.load(std::memory_order_relaxed); }
    void setTargets(std::uint64_t set, std::uint64_t clear);
    std::uint64_t targets() const { return targets_.load(std::memory_order_relaxed); }
    void setOptions(std::uint64_t options) { options_.store(options, std::memory_order_relaxed); }
    void changeOptions(std::uint64_t bits, bool set);
    std::uint64_t options() const { return options_.load(std::memory_order_relaxed); }
    void setTraceLevelValue(std::uint64_t value) { traceLevelValue_.store(value, std::memory_order_relaxed); }
    void setSecondLimit(std::int64_t limit) { secondLimit_.store(limit, std::memory_order_relaxed); }
    std::int64_t secondLimit() const { return secondLimit_.load(std::memory_order_relaxed); }

    // Takes `path` as the trace file: sizes the file limits against the volume's free space
    // (refusing file output below 15 MB, which also clears the file target), creates or empties
    // the file unless constructed to keep it, and hands the name to a running writer.
    // False when file output was refused.
    bool setFileName(const std::string& path);
    std::string fileName() const;

    // Start-up through the enable file: when `locations.enableFile` exists, switches debugger
    // output off and file output on into `locations.traceFile`, enables tracing and, with
    // `systemInfo`, traces the system information block. True when the file switched tracing on.
    bool startFromEnableFile(bool systemInfo, const std::optional<TraceFileLocations>& locations);
    bool startFromEnableFile(bool systemInfo) { return startFromEnableFile(systemInfo, defaultTraceFileLocations()); }
    // The system information block as information lines of the object "base".
    void traceSystemInformation();

    // ---- tuning and observation (tests, benchmarks, the writer's owner) ----
    void setMaximumFileSizeBytes(std::uint64_t bytes);
    void setMaximumArchives(unsigned count);
    std::uint64_t maximumFileSizeBytes() const;
    unsigned maximumArchives() const;
    void setFreeSpaceSource(FreeSpaceSource source);
    // Not synchronised with tracing threads: set it before the first line.
    void setClock(const TraceClock& clock);
    const char* prefix() const { return prefix_; }
    bool hasWriter() const;
    // Waits until every line queued before the call is written (or the limit passes).
    bool waitUntilWritten(std::chrono::milliseconds limit) const;

private:
    void emit(const char* line, std::size_t length, std::uint64_t targets);
    void queueToWriter(const char* line, std::size_t length);
    void writeErrorFile(const std::string& tracePath, const std::string& text) const;

    std::atomic<std::uint64_t> levelMask_{kLevelError};
    std::atomic<std::uint64_t> targets_;
    mutable std::mutex fileMutex_;  // guards fileName_, freeSpaceSource_
    std::string fileName_;
    std::atomic<std::uint64_t> options_{kOptionPrefix};
    std::uint64_t channelMask_ = 0;
    std::uint32_t channelCount_ = 0;
    std::atomic<std::uint64_t> traceLevelValue_{0};
    std::int64_t maximumValue_ = -1;
    std::atomic<std::int64_t> secondLimit_{5000};
    char prefix_[kMaxPrefixChars + 1] = {};
    std::atomic<std::uint64_t> previousTick_{0};  // 0: no line yet (ticks are stored plus one)
    std::atomic<bool> enabled_{false};
    const bool keepFileOnSetName_;
    TraceClock clock_;
    FreeSpaceSource freeSpaceSource_;

    mutable std::mutex writerMutex_;  // guards writer_ and the limits handed to it
    std::shared_ptr<CDbgTraceThread> writer_;
    std::uint64_t maxFileSizeBytes_ = kDefaultMaxFileMegabytes * 1024 * 1024;
    unsigned maxArchives_ = kDefaultMaxArchives;
};

CORVID2_TRACE_FRONT_END void CDebugTrace::trace(std::uint32_t channel, std::uint64_t level, std::uint64_t traceLevel,
                                                const char* format, ...) {
    if (!wouldTrace(level)) return;
#if CORVID2_TRACE_INLINE_FORWARDING
    traceFormatted(nullptr, channel, level, traceLevel, format, __builtin_va_arg_pack());
#else
    va_list arguments;
    va_start(arguments, format);
    vtrace(nullptr, channel, level, traceLevel, format, arguments);
    va_end(arguments);
#endif
}

CORVID2_TRACE_FRONT_END void CDebugTrace::traceWithPrefix(const char* prefix, std::uint32_t channel,
                                                          std::uint64_t level, std::uint64_t traceLevel,
                                                          const char* format, ...) {
    if (!wouldTrace(level)) return;
#if CORVID2_TRACE_INLINE_FORWARDING
    traceFormatted(prefix, channel, level, traceLevel, format, __builtin_va_arg_pack());
#else
    va_list arguments;
    va_start(arguments, format);
    vtrace(prefix, channel, level, traceLevel, format, arguments);
    va_end(arguments);
#endif
}

}  // namespace QXFramework::Debug
