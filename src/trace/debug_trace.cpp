// SPDX-License-Identifier: BSD-3-Clause
// Formatting of trace lines, the output switches, and the hand-over of lines to the writer.
#include "trace/debug_trace.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "trace/trace_compressor.h"
#include "trace/trace_writer.h"

namespace QXFramework::Debug {

namespace fs = std::filesystem;

namespace {

constexpr std::uint64_t kMegabyte = 1024 * 1024;
constexpr std::uint64_t kMinimumFreeMegabytes = 15;
constexpr std::uint64_t kFileSizeStepMegabytes = 10;
constexpr const char* kNotEnoughSpaceText = "Not enough available space on volume to enable trace to file: ";

std::uint32_t cachedThreadId() {
    thread_local const std::uint32_t id = corvid2::platform::currentThreadId();
    return id;
}

// One line under construction, never longer than kMaxLineChars.
class LineBuffer {
public:
    LineBuffer() { text_[0] = '\0'; }
    void vappend(const char* format, va_list arguments) {
        if (size_ >= kMaxLineChars) return;
        const int added = std::vsnprintf(text_ + size_, kMaxLineChars + 1 - size_, format, arguments);
        if (added > 0) size_ = std::min(size_ + static_cast<std::size_t>(added), kMaxLineChars);
    }
    void append(const char* format, ...) CORVID2_PRINTF_FORMAT(2, 3) {
        va_list arguments;
        va_start(arguments, format);
        vappend(format, arguments);
        va_end(arguments);
    }
    // A line cut at the limit still ends with its line end.
    void appendLineEnd() {
        if (size_ < kMaxLineChars) ++size_;
        text_[size_ - 1] = '\n';
        text_[size_] = '\0';
    }
    const char* text() const { return text_; }
    std::size_t size() const { return size_; }

private:
    // Deliberately not zero-filled: clearing 8 KiB per line would dominate the cost of a call.
    char text_[kMaxLineChars + 1];
    std::size_t size_ = 0;
};

struct LevelTag {
    std::uint64_t bit;
    const char* text;
};
constexpr LevelTag kLevelTags[] = {{kLevelError, "Err; "}, {kLevelWarning, "Wrn; "}, {kLevelInformation, "Inf; "}};

}  // namespace

TraceClock TraceClock::system() {
    return {&corvid2::platform::steadyMilliseconds, &corvid2::platform::localTimeNow, &cachedThreadId};
}

FileSizing sizeForFreeSpace(std::uint64_t freeMegabytes) {
    FileSizing sizing;
    if (freeMegabytes < kMinimumFreeMegabytes) {
        sizing.refused = true;
        return sizing;
    }
    std::uint64_t size = kDefaultMaxFileMegabytes;
    if (freeMegabytes < kDefaultMaxFileMegabytes) {
        while (size >= kFileSizeStepMegabytes && size > freeMegabytes) size -= kFileSizeStepMegabytes;
    }
    // Archives are reckoned at a quarter of the file size each, for the default 400 of them.
    if ((size / 4) * kDefaultMaxArchives + size > freeMegabytes) {
        std::uint64_t fitting = (freeMegabytes - freeMegabytes / 100) / 100;
        if (fitting < 10) {
            fitting = 10;
            sizing.maxArchives = static_cast<unsigned>(static_cast<double>(freeMegabytes - 10) / 2.5);
        }
        if (size > fitting) size = fitting;
    }
    sizing.maxFileMegabytes = size;
    return sizing;
}

CDebugTrace::CDebugTrace(const char* moduleName, std::uint64_t targets, bool keepFileOnSetName)
    : targets_(targets),
      keepFileOnSetName_(keepFileOnSetName),
      clock_(TraceClock::system()),
      freeSpaceSource_(&corvid2::platform::freeDiskSpace) {
    std::snprintf(prefix_, sizeof prefix_, "%s", moduleName != nullptr ? moduleName : "undef");
}

CDebugTrace::~CDebugTrace() {
    std::shared_ptr<CDbgTraceThread> writer;
    {
        std::lock_guard<std::mutex> lock(writerMutex_);
        writer.swap(writer_);
    }
}

void CDebugTrace::traceFormatted(const char* prefix, std::uint32_t channel, std::uint64_t level,
                                 std::uint64_t traceLevel, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    vtrace(prefix, channel, level, traceLevel, format, arguments);
    va_end(arguments);
}

void CDebugTrace::vtrace(const char* prefix, std::uint32_t channel, std::uint64_t level, std::uint64_t traceLevel,
                         const char* format, va_list arguments) {
    if (!wouldTrace(level)) return;
    const std::uint64_t targets = targets_.load(std::memory_order_relaxed);
    const std::uint64_t options = options_.load(std::memory_order_relaxed);
    const std::uint64_t traceLevelValue = traceLevelValue_.load(std::memory_order_relaxed);
    const bool traceLevelMatches = (traceLevel & traceLevelValue) != 0;

    LineBuffer line;
    if ((targets & (kTargetDebugger | kTargetFile)) != 0) {
        if ((options & kOptionTimestamp) != 0) {
            const corvid2::platform::LocalTime now = clock_.localTime();
            line.append("%02u.%02u.%02u %02u:%02u:%02u,%06u; ", now.day, now.month, now.year, now.hour, now.minute,
                        now.second, now.millisecond * 1000);
            if ((options & kOptionTimestampDiff) != 0) {
                const std::uint64_t tick = clock_.steadyMilliseconds();
                const std::uint64_t previous = previousTick_.exchange(tick + 1);
                const std::uint64_t difference = (previous == 0 || tick + 1 < previous) ? 0 : tick + 1 - previous;
                line.append("%lld,%06lld; ", static_cast<long long>(difference / 1000),
                            static_cast<long long>(difference % 1000 * 1000));
            }
        }
        if ((options & kOptionPrefix) != 0) line.append("%s; ", prefix != nullptr ? prefix : prefix_);
        if (channel != 0) line.append("%u; ", channel);
        if ((options & kOptionTraceLevelFilter) != 0) {
            if (traceLevelMatches) line.append("TraceLevel: 0x%01llx; ", static_cast<unsigned long long>(traceLevel));
        } else if ((options & kOptionNumberedTraceLevel) != 0 && level == 0) {
            line.append("%03d; ", static_cast<int>(traceLevelValue));
        }
        if (level != 0) {
            for (const LevelTag& tag : kLevelTags) {
                if ((level & tag.bit) != 0) {
                    line.append("%s", tag.text);
                    break;
                }
            }
        }
    }
    if ((options & kOptionThreadId) != 0) line.append("%04X; ", clock_.threadId());
    line.vappend(format != nullptr ? format : "(null)", arguments);
    if ((options & kOptionLineEnd) != 0) line.appendLineEnd();
    if ((options & kOptionTraceLevelFilter) != 0 && !traceLevelMatches) return;
    emit(line.text(), line.size(), targets);
}

void CDebugTrace::emit(const char* line, std::size_t length, std::uint64_t targets) {
    if ((targets & kTargetDebugger) != 0) corvid2::platform::debuggerOutput(line);
    if ((targets & kTargetFile) != 0) queueToWriter(line, length);
}

void CDebugTrace::queueToWriter(const char* line, std::size_t length) {
    std::lock_guard<std::mutex> lock(writerMutex_);
    if (!writer_) {
        // A line that raced with switching off must not bring the writer back.
        if (!enabled_.load(std::memory_order_relaxed)) return;
        writer_ = std::make_shared<CDbgTraceThread>(fileName(), maximumValue_);
        writer_->setMode(CDbgTraceThread::kModeFile);
        writer_->setLimits(maxFileSizeBytes_, maxArchives_);
        writer_->start();
    }
    writer_->queueLine(line, length);
}

namespace {
constexpr std::chrono::milliseconds kDrainOnDisable{2000};
}  // namespace

void CDebugTrace::setEnabled(bool enabled) {
    if (enabled) {
        previousTick_.store(0);
        enabled_.store(true);
        return;
    }
    enabled_.store(false);
    // No new line can be queued now; give the writer a bounded moment to put the backlog on
    // disk, so that switching tracing off at the end of a program does not lose its last lines.
    waitUntilWritten(kDrainOnDisable);
    std::shared_ptr<CDbgTraceThread> writer;
    {
        std::lock_guard<std::mutex> lock(writerMutex_);
        writer.swap(writer_);
    }
    // Joined here, outside every lock.
}

void CDebugTrace::changeLevelMask(std::uint64_t bits, bool set) {
    if (set)
        levelMask_.fetch_or(bits, std::memory_order_relaxed);
    else
        levelMask_.fetch_and(~bits, std::memory_order_relaxed);
}

void CDebugTrace::setTargets(std::uint64_t set, std::uint64_t clear) {
    targets_.fetch_or(set, std::memory_order_relaxed);
    targets_.fetch_and(~clear, std::memory_order_relaxed);
}

void CDebugTrace::changeOptions(std::uint64_t bits, bool set) {
    if (set)
        options_.fetch_or(bits, std::memory_order_relaxed);
    else
        options_.fetch_and(~bits, std::memory_order_relaxed);
}

std::string CDebugTrace::fileName() const {
    std::lock_guard<std::mutex> lock(fileMutex_);
    return fileName_;
}

void CDebugTrace::writeErrorFile(const std::string& tracePath, const std::string& text) const {
    appendTraceErrorFile(fs::path(tracePath), ".err", text);
}

bool CDebugTrace::setFileName(const std::string& requestedPath) {
    const std::string path = requestedPath.substr(0, kMaxPathChars);
    FreeSpaceSource freeSpace;
    {
        std::lock_guard<std::mutex> lock(fileMutex_);
        fileName_ = path;
        freeSpace = freeSpaceSource_;
    }

    FileSizing sizing;
    fs::path folder = fs::path(path).parent_path();
    if (folder.empty()) folder = ".";
    if (const auto freeBytes = freeSpace ? freeSpace(folder) : std::nullopt)
        sizing = sizeForFreeSpace(*freeBytes / kMegabyte);
    if (sizing.refused) {
        const std::string message = kNotEnoughSpaceText + path;
        std::printf("%s\n", message.c_str());
        std::fflush(stdout);
        writeErrorFile(path, message);
        setTargets(0, kTargetFile);
        return false;
    }

    if (!keepFileOnSetName_) {
        if (std::FILE* file = std::fopen(path.c_str(), "w"))
            std::fclose(file);
        else
            writeErrorFile(path, std::string(CDbgTraceThread::kOpenFailedText) + " " + path);
    }

    std::lock_guard<std::mutex> lock(writerMutex_);
    maxFileSizeBytes_ = sizing.maxFileMegabytes * kMegabyte;
    maxArchives_ = sizing.maxArchives;
    if (writer_) {
        writer_->setFileName(path);
        writer_->setLimits(maxFileSizeBytes_, maxArchives_);
    }
    return true;
}

void CDebugTrace::setMaximumFileSizeBytes(std::uint64_t bytes) {
    std::lock_guard<std::mutex> lock(writerMutex_);
    maxFileSizeBytes_ = bytes;
    if (writer_) writer_->setLimits(maxFileSizeBytes_, maxArchives_);
}

void CDebugTrace::setMaximumArchives(unsigned count) {
    std::lock_guard<std::mutex> lock(writerMutex_);
    maxArchives_ = count;
    if (writer_) writer_->setLimits(maxFileSizeBytes_, maxArchives_);
}

std::uint64_t CDebugTrace::maximumFileSizeBytes() const {
    std::lock_guard<std::mutex> lock(writerMutex_);
    return maxFileSizeBytes_;
}

unsigned CDebugTrace::maximumArchives() const {
    std::lock_guard<std::mutex> lock(writerMutex_);
    return maxArchives_;
}

void CDebugTrace::setFreeSpaceSource(FreeSpaceSource source) {
    std::lock_guard<std::mutex> lock(fileMutex_);
    freeSpaceSource_ = std::move(source);
}

void CDebugTrace::setClock(const TraceClock& clock) { clock_ = clock; }

bool CDebugTrace::hasWriter() const {
    std::lock_guard<std::mutex> lock(writerMutex_);
    return writer_ != nullptr;
}

bool CDebugTrace::waitUntilWritten(std::chrono::milliseconds limit) const {
    std::shared_ptr<CDbgTraceThread> writer;
    {
        std::lock_guard<std::mutex> lock(writerMutex_);
        writer = writer_;
    }
    return !writer || writer->waitUntilWritten(limit);
}

}  // namespace QXFramework::Debug
