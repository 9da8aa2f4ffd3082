// SPDX-License-Identifier: BSD-3-Clause
// Result codes joined to their texts and their exception classes, all read from the one table.
#include "core/result_codes.h"

#include <cstring>
#include <ostream>
#include <string>

#include "core/exceptions.h"
#include "core/last_error.h"
#include "corvid2_genicam_c.h"

namespace corvid2 {

// The public C constants are written out in the C header; they must agree with the table.
#define CORVID2_CHECK_C_CONSTANT(name, cName, value, text, fromText) \
    static_assert(CORVID2_RESULT_##cName == toCode(Result::name),    \
                  "CORVID2_RESULT_" #cName " differs from the result code table");
CORVID2_FOR_EACH_RESULT(CORVID2_CHECK_C_CONSTANT)
#undef CORVID2_CHECK_C_CONSTANT

namespace {

struct ResultText {
    Result result;
    const char* text;
    bool fromText;
};

constexpr ResultText kTexts[] = {
#define CORVID2_RESULT_TEXT(name, cName, value, text, fromText) {Result::name, text, fromText},
    CORVID2_FOR_EACH_RESULT(CORVID2_RESULT_TEXT)
#undef CORVID2_RESULT_TEXT
};

const char* nameOf(Result result) {
    switch (result) {
#define CORVID2_RESULT_NAME(name, cName, value, text, fromText) \
    case Result::name:                                          \
        return #name;
        CORVID2_FOR_EACH_RESULT(CORVID2_RESULT_NAME)
#undef CORVID2_RESULT_NAME
    }
    return "Result";
}

}  // namespace

std::ostream& operator<<(std::ostream& out, Result result) {
    return out << nameOf(result) << " (" << toCode(result) << ")";
}

const char* ErrorCodeDescription(Result result, bool successHasNoText) {
    if (result == Result::Success && successHasNoText) return nullptr;
    for (const auto& entry : kTexts)
        if (entry.result == result) return entry.text;
    return "undefined error code";
}

Result ErrorCodeFromText(const char* text) {
    if (text == nullptr) return Result::Error;
    for (const auto& entry : kTexts)
        if (entry.fromText && std::strstr(text, entry.text) != nullptr) return entry.result;
    return Result::Error;
}

void ThrowWithText(Result result, const char* file, unsigned line, const char* function, const char* description) {
    switch (result) {
#define CORVID2_THROW_CASE(Name, resultName) \
    case Result::resultName:                 \
        throw Corvid_##Name(file, line, function, description);
        CORVID2_FOR_EACH_EXCEPTION(CORVID2_THROW_CASE)
#undef CORVID2_THROW_CASE
        default:
            // Timeout and values outside the table have no class of their own.
            throw Corvid_ErrorException(file, line, function, description);
    }
}

void ThrowForCode(Result result, const char* file, unsigned line, const char* function) {
    if (result == Result::Success) return;
    std::string description;
    GetLastErrorText(description);
    ThrowWithText(result, file, line, function, description.c_str());
}

}  // namespace corvid2
