// SPDX-License-Identifier: BSD-3-Clause
// Library-level functions of the flat C interface.
#include "corvid2_genicam_c.h"

#include <cstring>
#include <string>

#include "core/last_error.h"

using namespace corvid2;

extern "C" {

CORVID2_API CORVID2_RESULT CORVID2_CALL CORVID2_GetLastError(CORVID2_RESULT* code, char* text, uint64_t* size) {
    if (size == nullptr) return toCode(Result::InvalidParameter);
    std::string message;
    Result last = Result::Success;
    GetLastErrorText(message, &last);
    if (code != nullptr) *code = toCode(last);
    // A too-small buffer still answers 0: the size tells the caller what it would need.
    if (text == nullptr) {
        *size = message.size() + 1;
    } else if (*size > message.size()) {
        std::memcpy(text, message.c_str(), message.size() + 1);
        *size = message.size() + 1;
    }
    return toCode(Result::Success);
}

}  // extern "C"
