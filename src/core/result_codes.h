// SPDX-License-Identifier: BSD-3-Clause
// Result codes: their texts, their exception classes and the names of GenTL's own error values.
#pragma once

#include <cstdint>

#include "corvid2/string.h"

namespace corvid2 {

// Description of a result code; for 0 a null pointer when `successHasNoText`, else "success".
const char* ErrorCodeDescription(std::int32_t code, bool successHasNoText);
// The first code whose description occurs in `text`, in a fixed order of preference; else -1001.
std::int32_t ErrorCodeFromText(const char* text);
// "GC_ERR_..." for a GenTL error value, "GC_ERR_CUSTOM_ID <n>" for custom codes, else empty.
CORVID2::String GenTLErrorName(std::int32_t gcError);

// Throws the exception class of a non-zero `code` with the thread's last-error text; returns on 0.
void ThrowForCode(std::int32_t code, const char* file, unsigned line, const char* function);
// Throws the exception class of `code` with an explicit description.
[[noreturn]] void ThrowWithText(std::int32_t code, const char* file, unsigned line, const char* function,
                                const char* description);

}  // namespace corvid2
