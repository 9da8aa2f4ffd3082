// SPDX-License-Identifier: BSD-3-Clause
// Library-level functions of the flat C interface.
#include "corvid2_genicam_c.h"

#include <cstring>
#include <string>

#include "core/last_error.h"

extern "C" {

CORVID2_API CORVID2_RESULT CORVID2_CALL CORVID2_GetLastError(CORVID2_RESULT* code, char* text, uint64_t* size) {
    if (size == nullptr) return CORVID2_RESULT_INVALID_PARAMETER;
    std::string message;
    std::int32_t lastCode = 0;
    corvid2::GetLastErrorText(message, &lastCode);
    if (code != nullptr) *code = lastCode;
    // A too-small buffer still answers 0: the size tells the caller what it would need.
    if (text == nullptr) {
        *size = message.size() + 1;
    } else if (*size > message.size()) {
        std::memcpy(text, message.c_str(), message.size() + 1);
        *size = message.size() + 1;
    }
    return CORVID2_RESULT_SUCCESS;
}

}  // extern "C"
