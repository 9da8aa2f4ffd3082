// SPDX-License-Identifier: BSD-3-Clause
// Delivery of info values and the per-thread last error.
#include "info_value.h"

#include <map>
#include <mutex>
#include <thread>

namespace corvid2::sim {

namespace {
struct LastError {
    GC_ERROR code = GC_ERR_SUCCESS;
    std::string text = "No Error";
};

// One entry per calling thread, in a map rather than in thread-local storage: the producer is
// loaded with dlopen, and dynamic TLS blocks of such libraries confuse LeakSanitizer's thread scan
// at exit. Entries are never erased, so a reference to one stays valid; only its thread writes it.
LastError& threadLastError() {
    static std::mutex mutex;
    static std::map<std::thread::id, LastError>* const errors = new std::map<std::thread::id, LastError>();
    std::lock_guard<std::mutex> lock(mutex);
    return (*errors)[std::this_thread::get_id()];
}
}  // namespace

void setLastError(GC_ERROR code, const std::string& text) {
    LastError& error = threadLastError();
    error.code = code;
    error.text = text;
}
GC_ERROR lastErrorCode() { return threadLastError().code; }
const std::string& lastErrorText() { return threadLastError().text; }

void deliverInfo(const InfoValue& value, INFO_DATATYPE* piType, void* pBuffer, size_t* piSize) {
    requireOut(piSize, "piSize");
    requireOut(piType, "piType");
    if (pBuffer != nullptr) {
        if (*piSize < value.bytes.size()) fail(GC_ERR_BUFFER_TOO_SMALL, "buffer too small for the value");
        std::memcpy(pBuffer, value.bytes.data(), value.bytes.size());
    }
    *piType = value.type;
    *piSize = value.bytes.size();
}

void deliverText(const std::string& text, char* pBuffer, size_t* piSize) {
    requireOut(piSize, "piSize");
    const size_t needed = text.size() + 1;
    if (pBuffer != nullptr) {
        if (*piSize < needed) fail(GC_ERR_BUFFER_TOO_SMALL, "buffer too small for the text");
        std::memcpy(pBuffer, text.c_str(), needed);
    }
    *piSize = needed;
}

InfoValue lookupInfo(const InfoTable& table, int32_t command) {
    const auto it = table.find(command);
    if (it == table.end()) fail(GC_ERR_NOT_IMPLEMENTED, "info command " + std::to_string(command) + " not implemented");
    return it->second();
}

}  // namespace corvid2::sim
