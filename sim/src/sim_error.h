// SPDX-License-Identifier: BSD-3-Clause
// The producer's internal failure type: a GenTL code and a text, thrown inside and turned into a result at the export.
#pragma once

#include <stdexcept>
#include <string>

#include "gentl.h"

namespace corvid2::sim {

using namespace GenTL;

class SimError : public std::runtime_error {
public:
    SimError(GC_ERROR code, const std::string& text) : std::runtime_error(text), code_(code) {}
    GC_ERROR code() const { return code_; }

private:
    GC_ERROR code_;
};

[[noreturn]] inline void fail(GC_ERROR code, const std::string& text) { throw SimError(code, text); }

inline void require(bool condition, GC_ERROR code, const char* text) {
    if (!condition) fail(code, text);
}

template <typename T>
T* requireOut(T* pointer, const char* name) {
    if (pointer == nullptr) fail(GC_ERR_INVALID_PARAMETER, std::string(name) + " is null");
    return pointer;
}

// Per-thread record of the last failure, as GCGetLastError reports it.
void setLastError(GC_ERROR code, const std::string& text);
GC_ERROR lastErrorCode();
const std::string& lastErrorText();

}  // namespace corvid2::sim
