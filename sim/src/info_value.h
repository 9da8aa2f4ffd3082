// SPDX-License-Identifier: BSD-3-Clause
// Typed values of the *GetInfo commands and their delivery with the two-step size convention.
#pragma once

#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "sim_error.h"

namespace corvid2::sim {

struct InfoValue {
    INFO_DATATYPE type = INFO_DATATYPE_UNKNOWN;
    std::vector<uint8_t> bytes;

    template <typename T>
    static InfoValue of(INFO_DATATYPE type, T value) {
        InfoValue v;
        v.type = type;
        v.bytes.resize(sizeof(T));
        std::memcpy(v.bytes.data(), &value, sizeof(T));
        return v;
    }
    static InfoValue text(const std::string& s) {
        InfoValue v;
        v.type = INFO_DATATYPE_STRING;
        v.bytes.assign(s.begin(), s.end());
        v.bytes.push_back(0);
        return v;
    }
    static InfoValue raw(const std::vector<uint8_t>& data) {
        InfoValue v;
        v.type = INFO_DATATYPE_BUFFER;
        v.bytes = data;
        return v;
    }
    static InfoValue i32(int32_t x) { return of(INFO_DATATYPE_INT32, x); }
    static InfoValue u32(uint32_t x) { return of(INFO_DATATYPE_UINT32, x); }
    static InfoValue u64(uint64_t x) { return of(INFO_DATATYPE_UINT64, x); }
    static InfoValue f64(double x) { return of(INFO_DATATYPE_FLOAT64, x); }
    static InfoValue sizet(size_t x) { return of(INFO_DATATYPE_SIZET, x); }
    static InfoValue ptr(const void* x) { return of(INFO_DATATYPE_PTR, x); }
    static InfoValue boolean(bool x) { return of(INFO_DATATYPE_BOOL8, static_cast<uint8_t>(x ? 1 : 0)); }
};

// Writes a value the GenTL way: a null buffer asks for the size, a small buffer is refused.
void deliverInfo(const InfoValue& value, INFO_DATATYPE* piType, void* pBuffer, size_t* piSize);

// Copies a text into a caller's buffer with the same convention (used by the *GetID functions).
void deliverText(const std::string& text, char* pBuffer, size_t* piSize);

// Command -> value producer; unknown commands answer GC_ERR_NOT_IMPLEMENTED.
using InfoTable = std::map<int32_t, std::function<InfoValue()>>;
InfoValue lookupInfo(const InfoTable& table, int32_t command);

}  // namespace corvid2::sim
