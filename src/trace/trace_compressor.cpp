// SPDX-License-Identifier: BSD-3-Clause
// Archive naming and pruning, and ZIP compression of rotated trace files through libzip.
#include "trace/trace_compressor.h"

#include <zip.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <system_error>

#include "platform/platform.h"

namespace QXFramework::Debug {

namespace fs = std::filesystem;

// ---- names ------------------------------------------------------------------------------

CTraceArchiveNames::CTraceArchiveNames(const fs::path& traceFile)
    : folder_(traceFile.parent_path()), stem_(traceFile.stem().string()) {}

std::string CTraceArchiveNames::numbered(std::uint64_t number, const char* extension) const {
    char digits[32];
    std::snprintf(digits, sizeof digits, "_%06llu", static_cast<unsigned long long>(number));
    return stem_ + digits + extension;
}

fs::path CTraceArchiveNames::archivePath(std::uint64_t number) const { return folder_ / numbered(number, ".zip"); }

fs::path CTraceArchiveNames::rotatedPath(std::uint64_t number) const { return folder_ / numbered(number, ".log"); }

std::vector<CTraceArchiveNames::Archive> CTraceArchiveNames::existing() const {
    std::vector<Archive> archives;
    std::error_code error;
    const fs::path folder = folder_.empty() ? fs::path(".") : folder_;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        const std::string head = stem_ + "_";
        if (name.size() <= head.size() + 4 || name.compare(0, head.size(), head) != 0) continue;
        if (name.compare(name.size() - 4, 4, ".zip") != 0) continue;
        const std::string digits = name.substr(head.size(), name.size() - head.size() - 4);
        if (digits.size() > 18 ||
            !std::all_of(digits.begin(), digits.end(), [](unsigned char c) { return std::isdigit(c) != 0; }))
            continue;
        archives.push_back({std::stoull(digits), it->path()});
    }
    std::sort(archives.begin(), archives.end(), [](const Archive& a, const Archive& b) { return a.number < b.number; });
    return archives;
}

std::uint64_t CTraceArchiveNames::nextNumber() const {
    const auto archives = existing();
    return archives.empty() ? 1 : archives.back().number + 1;
}

void CTraceArchiveNames::makeRoom(unsigned maxArchives) const {
    const auto archives = existing();
    const std::size_t keep = maxArchives == 0 ? 0 : maxArchives - 1;
    for (std::size_t i = 0; i + keep < archives.size(); ++i) {
        std::error_code ignored;
        fs::remove(archives[i].path, ignored);
    }
}

// ---- error files ------------------------------------------------------------------------

void appendTraceErrorFile(const fs::path& traceFile, const char* extension, const std::string& text) {
    fs::path errorFile = traceFile;
    errorFile.replace_extension(extension);
    if (std::FILE* file = std::fopen(errorFile.string().c_str(), "a")) {
        std::fprintf(file, "%s\n", text.c_str());
        std::fclose(file);
        return;
    }
    const std::string message =
        "corvid2 trace: " + text + " (error file " + errorFile.string() + " cannot be written either)\n";
    corvid2::platform::debuggerOutput(message.c_str());
}

// ---- compression ------------------------------------------------------------------------

namespace {

std::string zipErrorName(zip_t* archive) {
    const char* text = zip_strerror(archive);
    return text != nullptr ? text : "unknown";
}

std::string compressionTimeSuffix() {
    const auto now = corvid2::platform::localTimeNow();
    char text[32];
    std::snprintf(text, sizeof text, "_%04u%02u%02u_%02u%02u%02u", now.year, now.month, now.day, now.hour, now.minute,
                  now.second);
    return text;
}

}  // namespace

std::string CDbgTraceCompressThread::writeArchive(const fs::path& rotatedFile, const fs::path& archivePath,
                                                  const std::string& entryName,
                                                  const std::function<bool()>& cancelled) {
    if (!std::ifstream(rotatedFile, std::ios::binary).is_open())
        return std::string("fopen() failed for file:") + rotatedFile.string();

    int openError = 0;
    zip_t* archive = zip_open(archivePath.string().c_str(), ZIP_CREATE | ZIP_TRUNCATE, &openError);
    if (archive == nullptr) {
        zip_error_t error;
        zip_error_init_with_code(&error, openError);
        std::string text = std::string(kZipErrorText) + zip_error_strerror(&error);
        zip_error_fini(&error);
        return text;
    }
    if (cancelled) {
        zip_register_cancel_callback_with_state(
            archive,
            [](zip_t*, void* state) -> int { return (*static_cast<const std::function<bool()>*>(state))() ? 1 : 0; },
            nullptr, const_cast<std::function<bool()>*>(&cancelled));
    }
    zip_source_t* source = zip_source_file(archive, rotatedFile.string().c_str(), 0, -1);
    zip_int64_t index = -1;
    if (source != nullptr) {
        index = zip_file_add(archive, entryName.c_str(), source, ZIP_FL_ENC_UTF_8 | ZIP_FL_OVERWRITE);
        if (index < 0) zip_source_free(source);
    }
    if (index < 0 || zip_set_file_compression(archive, static_cast<zip_uint64_t>(index), ZIP_CM_DEFLATE, 0) != 0) {
        std::string text = kZipErrorText + zipErrorName(archive);
        zip_discard(archive);
        std::error_code ignored;
        fs::remove(archivePath, ignored);
        return text;
    }
    if (zip_close(archive) != 0) {
        std::string text = kZipErrorText + zipErrorName(archive);
        zip_discard(archive);
        std::error_code ignored;
        fs::remove(archivePath, ignored);
        return text;
    }
    return {};
}

CDbgTraceCompressThread::CDbgTraceCompressThread() : CWorkerThread("trace compress") {}

CDbgTraceCompressThread::~CDbgTraceCompressThread() { stop(); }

bool CDbgTraceCompressThread::compress(const fs::path& traceFile, const fs::path& rotatedFile, const fs::path& archive,
                                       unsigned maxArchives) {
    bool idle = false;
    if (!busy_.compare_exchange_strong(idle, true)) return false;
    stop();  // the previous job's thread has cleared busy_ and is about to leave: reap it
    {
        std::lock_guard<std::mutex> lock(jobMutex_);
        traceFile_ = traceFile;
        rotatedFile_ = rotatedFile;
        archive_ = archive;
        maxArchives_ = maxArchives;
    }
    if (!start()) {
        busy_.store(false, std::memory_order_release);
        return false;
    }
    return true;
}

void CDbgTraceCompressThread::waitUntilIdle() {
    while (isBusy()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    stop();
}

void CDbgTraceCompressThread::run() {
    fs::path traceFile, rotatedFile, archive;
    unsigned maxArchives;
    {
        std::lock_guard<std::mutex> lock(jobMutex_);
        traceFile = traceFile_;
        rotatedFile = rotatedFile_;
        archive = archive_;
        maxArchives = maxArchives_;
    }
    CTraceArchiveNames(traceFile).makeRoom(maxArchives);
    const std::string entryName = rotatedFile.stem().string() + compressionTimeSuffix() + ".log";
    const std::string failure = writeArchive(rotatedFile, archive, entryName, [this] { return stopRequested(); });
    if (failure.empty()) {
        std::error_code ignored;
        fs::remove(rotatedFile, ignored);
    } else if (!stopRequested()) {
        appendTraceErrorFile(traceFile, ".cerr", failure);
    }
    busy_.store(false, std::memory_order_release);
}

}  // namespace QXFramework::Debug
