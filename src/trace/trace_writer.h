// SPDX-License-Identifier: BSD-3-Clause
// The trace writer thread: queue of lines, folding of repeats, file output and rotation.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "trace/debug_trace.h"
#include "trace/worker_thread.h"

namespace QXFramework::Debug {

class CDbgTraceCompressThread;

// Collapses runs of lines whose text after the second ";" repeats, so that a hot loop costs one
// line plus one summary. Lines go to `sink` in the order they must be written.
class CRepeatedLineFolder {
public:
    using Sink = std::function<void(std::string_view)>;
    void add(std::string_view line, const Sink& sink);

private:
    std::string comparison_;  // text after the second ";" of the last written line
    std::string lastSuppressed_;
    std::string head_;  // last suppressed line up to the first ";" of its comparison text
    std::uint64_t suppressed_ = 0;
    bool haveComparison_ = false;
};

// Writes queued lines to the trace file from its own thread. Producers of lines never touch the
// file; they only append to the queue.
//
// Lock order: stateMutex_ -> queueMutex_ (both leaves otherwise); no lock is held during file
// output, renaming or compression.
class CDbgTraceThread : public corvid2::CWorkerThread {
public:
    static constexpr int kModeFile = 4;
    static constexpr std::size_t kBacklogLimit = 100000;
    static constexpr std::size_t kLinesPerPass = 1000;
    static constexpr std::uint32_t kWakeIntervalMs = 50;
    static constexpr const char* kLoopAbortedLine = "0; shared; DBG; Trace; Thread; while loop aborted\n";
    static constexpr const char* kRenameFailedLine = "0; shared; DBG; Trace; Thread; Rename of trace file failed -";
    static constexpr const char* kOpenFailedText = "fopen() failed for file:";

    CDbgTraceThread(std::string filePath, std::int64_t maximumValue);
    ~CDbgTraceThread() override;

    // Any thread: appends a copy of the line, or drops and counts it while the backlog drains.
    void queueLine(const char* text, std::size_t length);
    void queueLine(std::string_view text) { queueLine(text.data(), text.size()); }

    void setFileName(std::string path);
    std::string fileName() const;
    void setMode(int mode) { mode_.store(mode, std::memory_order_relaxed); }
    void setLimits(std::uint64_t maxFileBytes, unsigned maxArchives);
    // The trace object's maximum value, kept as handed over (it does not steer the writer).
    std::int64_t maximumValue() const { return maximumValue_; }

    // One pass of the writer loop; the thread calls it, tests may call it while no thread runs.
    void runPass();

    std::size_t queuedLines() const;
    std::uint64_t skippedLines() const { return skipped_.load(std::memory_order_relaxed); }
    bool isSkipping() const { return skip_.load(std::memory_order_relaxed); }
    // Waits until every line queued before the call is written (or the limit passes).
    bool waitUntilWritten(std::chrono::milliseconds limit) const;
    // Called by the writer right after it starts dropping lines (lets tests feed that state).
    void setBacklogObserver(std::function<void()> observer) { backlogObserver_ = std::move(observer); }
    // Waits for a running compression to finish.
    void waitForCompression();

protected:
    void run() override;

private:
    std::size_t takeBatch(std::vector<std::string>& batch, std::size_t limit);
    void markWritten(std::size_t lines);
    void writeBatch(std::FILE* file, const std::vector<std::string>& batch);
    void reportOpenFailure(const std::string& path);
    void rotate(const std::string& path, unsigned maxArchives);

    // queue
    mutable std::mutex queueMutex_;
    mutable std::condition_variable writtenCondition_;
    std::deque<std::string> queue_;
    std::uint64_t queuedTotal_ = 0;
    std::uint64_t writtenTotal_ = 0;
    std::atomic<bool> lineEvent_{false};  // auto-reset: set by queueLine, cleared by the writer
    std::atomic<bool> writerSleeping_{false};
    std::atomic<bool> skip_{false};
    std::atomic<std::uint64_t> skipped_{0};

    // state read by the writer at the start of each pass
    mutable std::mutex stateMutex_;
    std::string filePath_;
    std::uint64_t maxFileBytes_;
    unsigned maxArchives_;
    std::atomic<int> mode_{kModeFile};
    const std::int64_t maximumValue_;

    // writer-thread only
    CRepeatedLineFolder folder_;
    bool openFailureReported_ = false;
    std::function<void()> backlogObserver_;
    std::unique_ptr<CDbgTraceCompressThread> compressor_;
};

}  // namespace QXFramework::Debug
