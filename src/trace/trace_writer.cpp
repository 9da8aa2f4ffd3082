// SPDX-License-Identifier: BSD-3-Clause
// The trace writer thread: drains the line queue into the trace file and rotates it by size.
#include "trace/trace_writer.h"

#include <cstdio>
#include <system_error>
#include <thread>

#include "trace/trace_compressor.h"

namespace QXFramework::Debug {

namespace fs = std::filesystem;

// ---- folding of repeated lines ----------------------------------------------------------

void CRepeatedLineFolder::add(std::string_view line, const Sink& sink) {
    const std::size_t first = line.find(';');
    const std::size_t second = first == std::string_view::npos ? first : line.find(';', first + 1);
    if (second == std::string_view::npos) {
        sink(line);
        return;
    }
    const std::string_view comparison = line.substr(second + 1);
    if (haveComparison_ && comparison == comparison_) {
        lastSuppressed_.assign(line);
        const std::size_t third = line.find(';', second + 1);
        head_.assign(line.substr(0, third == std::string_view::npos ? line.size() : third + 1));
        ++suppressed_;
        return;
    }
    if (suppressed_ >= 2) {
        const std::string summary =
            head_ + " skip; previous message; " + std::to_string(suppressed_ - 1) + "; times before\n";
        sink(summary);
        sink(lastSuppressed_);
    } else if (suppressed_ == 1) {
        sink(lastSuppressed_);
    }
    suppressed_ = 0;
    comparison_.assign(comparison);
    haveComparison_ = true;
    sink(line);
}

// ---- writer -----------------------------------------------------------------------------

CDbgTraceThread::CDbgTraceThread(std::string filePath, std::int64_t maximumValue)
    : CWorkerThread("trace writer"),
      filePath_(std::move(filePath)),
      maxFileBytes_(kDefaultMaxFileMegabytes * 1024 * 1024),
      maxArchives_(kDefaultMaxArchives),
      maximumValue_(maximumValue),
      compressor_(std::make_unique<CDbgTraceCompressThread>()) {}

CDbgTraceThread::~CDbgTraceThread() {
    stop();
    compressor_.reset();
}

void CDbgTraceThread::queueLine(const char* text, std::size_t length) {
    if (skip_.load(std::memory_order_acquire)) {
        skipped_.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    std::string copy(text, length);  // allocated before the lock is taken
    {
        std::lock_guard<std::mutex> lock(queueMutex_);
        queue_.push_back(std::move(copy));
        ++queuedTotal_;
    }
    // Only the first line after the writer reset the event may need to wake it, and only when it
    // sleeps; everyone else returns without a system call.
    if (!lineEvent_.exchange(true) && writerSleeping_.load()) wake();
}

void CDbgTraceThread::setFileName(std::string path) {
    std::lock_guard<std::mutex> lock(stateMutex_);
    filePath_ = std::move(path);
}

std::string CDbgTraceThread::fileName() const {
    std::lock_guard<std::mutex> lock(stateMutex_);
    return filePath_;
}

void CDbgTraceThread::setLimits(std::uint64_t maxFileBytes, unsigned maxArchives) {
    std::lock_guard<std::mutex> lock(stateMutex_);
    maxFileBytes_ = maxFileBytes;
    maxArchives_ = maxArchives;
}

std::size_t CDbgTraceThread::queuedLines() const {
    std::lock_guard<std::mutex> lock(queueMutex_);
    return queue_.size();
}

bool CDbgTraceThread::waitUntilWritten(std::chrono::milliseconds limit) const {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    {
        std::unique_lock<std::mutex> lock(queueMutex_);
        const std::uint64_t target = queuedTotal_;
        if (!writtenCondition_.wait_until(lock, deadline, [&] { return writtenTotal_ >= target; })) return false;
    }
    // A rotation started by those lines counts as part of writing them.
    while (compressor_->isBusy()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

void CDbgTraceThread::waitForCompression() { compressor_->waitUntilIdle(); }

void CDbgTraceThread::run() {
    for (;;) {
        writerSleeping_.store(true);
        const bool stopSignalled = waitForStopEventOr(kWakeIntervalMs, [this] { return lineEvent_.load(); });
        writerSleeping_.store(false);
        if (stopSignalled || stopRequested()) break;
        lineEvent_.store(false);  // auto-reset
        runPass();
    }
}

std::size_t CDbgTraceThread::takeBatch(std::vector<std::string>& batch, std::size_t limit) {
    batch.clear();
    std::lock_guard<std::mutex> lock(queueMutex_);
    while (!queue_.empty() && batch.size() < limit) {
        batch.push_back(std::move(queue_.front()));
        queue_.pop_front();
    }
    return batch.size();
}

void CDbgTraceThread::markWritten(std::size_t lines) {
    {
        std::lock_guard<std::mutex> lock(queueMutex_);
        writtenTotal_ += lines;
    }
    writtenCondition_.notify_all();
}

void CDbgTraceThread::writeBatch(std::FILE* file, const std::vector<std::string>& batch) {
    const CRepeatedLineFolder::Sink sink = [file](std::string_view text) {
        std::fwrite(text.data(), 1, text.size(), file);
    };
    for (const std::string& line : batch) folder_.add(line, sink);
}

void CDbgTraceThread::reportOpenFailure(const std::string& path) {
    // Once per run of failures: the writer retries every pass and must not flood the error file.
    if (openFailureReported_) return;
    openFailureReported_ = true;
    appendTraceErrorFile(path, ".err", std::string(kOpenFailedText) + " " + path);
}

void CDbgTraceThread::runPass() {
    if (mode_.load(std::memory_order_relaxed) != kModeFile || queuedLines() == 0) return;
    std::string path;
    std::uint64_t maxFileBytes;
    unsigned maxArchives;
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        path = filePath_;
        maxFileBytes = maxFileBytes_;
        maxArchives = maxArchives_;
    }

    const bool backlog = queuedLines() >= kBacklogLimit;
    if (backlog && !skip_.exchange(true)) {
        if (backlogObserver_) backlogObserver_();
    }
    std::FILE* file = path.empty() ? nullptr : std::fopen(path.c_str(), "a");
    if (file == nullptr) {
        reportOpenFailure(path);
        // Lines keep being dropped and counted until the file can be written again.
        return;
    }
    openFailureReported_ = false;

    std::vector<std::string> batch;
    batch.reserve(kLinesPerPass);
    std::size_t written = 0;
    if (skip_.load()) {
        // Drain the whole backlog, then report how many lines were dropped meanwhile. A stop
        // request ends the drain: what is left is freed with the writer.
        while (!stopRequested()) {
            const std::size_t taken = takeBatch(batch, kLinesPerPass);
            if (taken == 0) break;
            writeBatch(file, batch);
            written += taken;
        }
        skip_.store(false);
        const std::uint64_t skipped = skipped_.exchange(0);
        queueLine("0; shared; Wrn; Trace; Thread; Skipped the last " + std::to_string(skipped) + " trace lines\n");
    } else {
        written = takeBatch(batch, kLinesPerPass);
        writeBatch(file, batch);
        if (written == kLinesPerPass) queueLine(kLoopAbortedLine);
    }
    std::fclose(file);

    std::error_code error;
    const std::uintmax_t size = fs::file_size(path, error);
    if (!error && size > maxFileBytes && !compressor_->isBusy()) rotate(path, maxArchives);
    markWritten(written);
}

void CDbgTraceThread::rotate(const std::string& path, unsigned maxArchives) {
    const CTraceArchiveNames names{fs::path(path)};
    std::uint64_t number = names.nextNumber();
    std::error_code error;
    while (fs::exists(names.rotatedPath(number), error)) ++number;  // a file left by a failed compression
    const fs::path rotated = names.rotatedPath(number);
    fs::rename(path, rotated, error);
    if (error) {
        queueLine(std::string(kRenameFailedLine) + " " + error.message() + "\n");
        return;
    }
    compressor_->compress(path, rotated, names.archivePath(number), maxArchives);
}

}  // namespace QXFramework::Debug
