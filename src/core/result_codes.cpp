// SPDX-License-Identifier: BSD-3-Clause
// Tables joining result codes, their texts and their exception classes.
#include "core/result_codes.h"

#include <cstring>
#include <string>

#include "core/exceptions.h"
#include "core/last_error.h"

namespace corvid2 {
namespace {

struct CodeText {
    std::int32_t code;
    const char* text;
};

// Also the order in which ErrorCodeFromText looks for a description inside a message.
constexpr CodeText kRecognisedTexts[] = {
    {-1002, "not initialized"},   {-1003, "not implemented"}, {-1004, "resource in use"},
    {-1005, "access denied"},     {-1006, "invalid handle"},  {-1008, "no data"},
    {-1009, "invalid parameter"}, {-1012, "abort"},           {-1013, "invalid buffer"},
    {-1014, "not available"},     {-1098, "object invalid"},  {-1099, "low level error from GenTL producer"},
};

constexpr CodeText kOtherTexts[] = {{0, "success"}, {-1001, "internal error"}, {-1011, "timeout"}};

constexpr const char* kGenTLNames[] = {
    "GC_ERR_ERROR",
    "GC_ERR_NOT_INITIALIZED",
    "GC_ERR_NOT_IMPLEMENTED",
    "GC_ERR_RESOURCE_IN_USE",
    "GC_ERR_ACCESS_DENIED",
    "GC_ERR_INVALID_HANDLE",
    "GC_ERR_INVALID_ID",
    "GC_ERR_NO_DATA",
    "GC_ERR_INVALID_PARAMETER",
    "GC_ERR_IO",
    "GC_ERR_TIMEOUT",
    "GC_ERR_ABORT",
    "GC_ERR_INVALID_BUFFER",
    "GC_ERR_NOT_AVAILABLE",
    "GC_ERR_INVALID_ADDRESS",
};

constexpr std::int32_t kFirstCustomGenTLCode = -10000;

}  // namespace

const char* ErrorCodeDescription(std::int32_t code, bool successHasNoText) {
    if (code == 0 && successHasNoText) return nullptr;
    for (const auto& entry : kOtherTexts)
        if (entry.code == code) return entry.text;
    for (const auto& entry : kRecognisedTexts)
        if (entry.code == code) return entry.text;
    return "undefined error code";
}

std::int32_t ErrorCodeFromText(const char* text) {
    if (text == nullptr) return -1001;
    for (const auto& entry : kRecognisedTexts)
        if (std::strstr(text, entry.text) != nullptr) return entry.code;
    return -1001;
}

CORVID2::String GenTLErrorName(std::int32_t gcError) {
    if (gcError <= -1001 && gcError >= -1015) return kGenTLNames[-1001 - gcError];
    if (gcError <= kFirstCustomGenTLCode) return ("GC_ERR_CUSTOM_ID " + std::to_string(gcError)).c_str();
    return CORVID2::String();
}

void ThrowWithText(std::int32_t code, const char* file, unsigned line, const char* function, const char* description) {
    switch (code) {
#define CORVID2_THROW_CASE(Name, value) \
    case value:                         \
        throw Corvid_##Name(file, line, function, description);
        CORVID2_FOR_EACH_EXCEPTION(CORVID2_THROW_CASE)
#undef CORVID2_THROW_CASE
        default:
            // -1011 (timeout) and unknown codes have no class of their own.
            throw Corvid_ErrorException(file, line, function, description);
    }
}

void ThrowForCode(std::int32_t code, const char* file, unsigned line, const char* function) {
    if (code == 0) return;
    std::string description;
    GetLastErrorText(description);
    ThrowWithText(code, file, line, function, description.c_str());
}

}  // namespace corvid2
