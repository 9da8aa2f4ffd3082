// SPDX-License-Identifier: BSD-3-Clause
// Rotated trace files: archive naming, pruning of old archives and the compress thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "trace/worker_thread.h"

namespace QXFramework::Debug {

// Archives of a trace file "<folder>/<stem>.log" are "<folder>/<stem>_<number>.zip", numbered
// upwards; a rotated file waiting for compression is "<folder>/<stem>_<number>.log".
class CTraceArchiveNames {
public:
    explicit CTraceArchiveNames(const std::filesystem::path& traceFile);

    struct Archive {
        std::uint64_t number;
        std::filesystem::path path;
    };
    // Existing archives, oldest (lowest number) first.
    std::vector<Archive> existing() const;
    std::uint64_t nextNumber() const;
    std::filesystem::path archivePath(std::uint64_t number) const;
    std::filesystem::path rotatedPath(std::uint64_t number) const;
    // Removes the oldest archives until fewer than `maxArchives` remain, making room for one.
    void makeRoom(unsigned maxArchives) const;

private:
    std::string numbered(std::uint64_t number, const char* extension) const;

    std::filesystem::path folder_;
    std::string stem_;
};

// Compresses one rotated file into a ZIP archive on its own thread, then deletes the file.
class CDbgTraceCompressThread : public corvid2::CWorkerThread {
public:
    static constexpr const char* kZipErrorText = " ZipAdd with error: ";

    CDbgTraceCompressThread();
    ~CDbgTraceCompressThread() override;

    // Starts compressing `rotatedFile` into `archive`, after pruning the archives of `traceFile`
    // to make room within `maxArchives`. False while a compression is still busy or the thread
    // cannot start.
    bool compress(const std::filesystem::path& traceFile, const std::filesystem::path& rotatedFile,
                  const std::filesystem::path& archive, unsigned maxArchives);
    bool isBusy() const { return busy_.load(std::memory_order_acquire); }
    void waitUntilIdle();

    // Creates `archive` with `rotatedFile` as its one deflated entry named `entryName`.
    // Empty on success, otherwise the text for the ".cerr" file. `cancelled` aborts the write.
    static std::string writeArchive(const std::filesystem::path& rotatedFile, const std::filesystem::path& archive,
                                    const std::string& entryName, const std::function<bool()>& cancelled);

protected:
    void run() override;

private:
    std::mutex jobMutex_;
    std::filesystem::path traceFile_;
    std::filesystem::path rotatedFile_;
    std::filesystem::path archive_;
    unsigned maxArchives_ = 0;
    std::atomic<bool> busy_{false};
};

// Appends one line to the error file beside `traceFile` (its extension replaced by
// `extension`); when that fails too, the text goes to the debugger output.
void appendTraceErrorFile(const std::filesystem::path& traceFile, const char* extension, const std::string& text);

}  // namespace QXFramework::Debug
