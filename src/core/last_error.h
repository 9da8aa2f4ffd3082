// SPDX-License-Identifier: BSD-3-Clause
// The per-thread last error: what a failing internal operation leaves for the public layer to read.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>

#include "core/result_codes.h"

namespace corvid2 {

// One table for the whole process, keyed by thread id. Entries are never removed and success never
// clears one: an entry always holds the last failure its thread recorded. Lock: its own mutex only,
// held for one lookup and copy, never while tracing.
class CLastErrorStore {
public:
    struct Entry {
        Result code = Result::Success;
        std::string text;
    };

    // Thread-safe construction on first call, after the library's trace (which so outlives it).
    static CLastErrorStore& instance();

    void set(std::uint32_t threadId, Result code, std::string text);
    Entry get(std::uint32_t threadId);

private:
    CLastErrorStore();
    std::mutex mutex_;
    std::map<std::uint32_t, Entry> entries_;
};

constexpr std::size_t kMaxLastErrorLength = 1023;

// Records the calling thread's failure (message cut at 1023 characters) and traces one error
// line "object; operation; message". Returns `code` so that callers can `return SetLastError(...)`.
Result SetLastError(Result code, const char* className, const char* methodName, const char* format, ...)
    __attribute__((format(printf, 4, 5)));
// The same with the message's arguments already collected.
Result SetLastErrorV(Result code, const char* className, const char* methodName, const char* format, va_list arguments);
// Stores a text as it stands, without a trace line. Returns `code`, as SetLastError does.
Result SetLastErrorText(Result code, const std::string& text);
void GetLastErrorText(std::string& text, Result* code = nullptr);

}  // namespace corvid2
