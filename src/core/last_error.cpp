// SPDX-License-Identifier: BSD-3-Clause
// The per-thread last-error store and the functions that record into it.
#include "core/last_error.h"

#include <cstdarg>
#include <cstdio>

#include "platform/platform.h"
#include "trace/trace.h"

namespace corvid2 {

CLastErrorStore& CLastErrorStore::instance() {
    static CLastErrorStore store;
    return store;
}

CLastErrorStore::CLastErrorStore() {
    // Recording an error writes a trace line, so the trace must be built first to be destroyed last.
    CLibraryTrace::instance();
}

void CLastErrorStore::set(std::uint32_t threadId, Result code, std::string text) {
    std::lock_guard<std::mutex> lock(mutex_);
    Entry& entry = entries_[threadId];
    entry.code = code;
    entry.text = std::move(text);
}

CLastErrorStore::Entry CLastErrorStore::get(std::uint32_t threadId) {
    std::lock_guard<std::mutex> lock(mutex_);
    return entries_[threadId];
}

Result SetLastError(Result code, const char* className, const char* methodName, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    SetLastErrorV(code, className, methodName, format, arguments);
    va_end(arguments);
    return code;
}

Result SetLastErrorV(Result code, const char* className, const char* methodName, const char* format,
                     va_list arguments) {
    char message[kMaxLastErrorLength + 1];
    message[0] = '\0';
    if (format != nullptr) std::vsnprintf(message, sizeof message, format, arguments);
    CLastErrorStore::instance().set(platform::currentThreadId(), code, message);
    // Traced only after the store's mutex is released.
    traceError("%s; %s; %s", className ? className : "", methodName ? methodName : "", message);
    return code;
}

Result SetLastErrorText(Result code, const std::string& text) {
    CLastErrorStore::instance().set(platform::currentThreadId(), code, text);
    return code;
}

void GetLastErrorText(std::string& text, Result* code) {
    auto entry = CLastErrorStore::instance().get(platform::currentThreadId());
    text = std::move(entry.text);
    if (code != nullptr) *code = entry.code;
}

}  // namespace corvid2
