// SPDX-License-Identifier: BSD-3-Clause
// How the flat interface hands texts back: a caller's buffer and an in/out size counting the NUL.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

#include "core/result_codes.h"
#include "corvid2_genicam_c.h"

namespace corvid2 {

// Null buffer: the size needed. Room enough: the text and its NUL. Too small: nothing, InvalidBuffer.
inline CORVID2_RESULT copyStringOut(const std::string& text, char* buffer, uint64_t* size) {
    if (buffer == nullptr) {
        *size = text.size() + 1;
        return toCode(Result::Success);
    }
    if (*size <= text.size()) return toCode(Result::InvalidBuffer);
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    *size = text.size() + 1;
    return toCode(Result::Success);
}

}  // namespace corvid2
