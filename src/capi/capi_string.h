// SPDX-License-Identifier: BSD-3-Clause
// How the flat interface hands texts back: a caller's buffer and an in/out size counting the NUL.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

#include "corvid2_genicam_c.h"

namespace corvid2 {

// Null buffer: the size needed. Room enough: the text and its NUL. Too small: nothing, -1013.
inline CORVID2_RESULT copyStringOut(const std::string& text, char* buffer, uint64_t* size) {
    if (buffer == nullptr) {
        *size = text.size() + 1;
        return CORVID2_RESULT_SUCCESS;
    }
    if (*size <= text.size()) return CORVID2_RESULT_INVALID_BUFFER;
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    *size = text.size() + 1;
    return CORVID2_RESULT_SUCCESS;
}

}  // namespace corvid2
