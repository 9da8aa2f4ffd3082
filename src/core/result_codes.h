// SPDX-License-Identifier: BSD-3-Clause
// Result codes: the one table of their names, values and texts, the Result type made from it, and
// the exception class of each.
#pragma once

#include <cstdint>
#include <iosfwd>

#include "corvid2/string.h"

// Every result code of the library: its name, the suffix of its C constant (CORVID2_RESULT_...),
// its value, its description, and whether ErrorCodeFromText finds it in a message. The values
// -1001 to -1014 mean what GenTL's error values of the same number mean. Rows are in the order in
// which ErrorCodeFromText looks for a description inside a message.
#define CORVID2_FOR_EACH_RESULT(X)                                           \
    X(Success, SUCCESS, 0, "success", false)                                 \
    X(Error, ERROR, -1001, "internal error", false)                          \
    X(NotInitialized, NOT_INITIALIZED, -1002, "not initialized", true)       \
    X(NotImplemented, NOT_IMPLEMENTED, -1003, "not implemented", true)       \
    X(ResourceInUse, RESOURCE_IN_USE, -1004, "resource in use", true)        \
    X(AccessDenied, ACCESS_DENIED, -1005, "access denied", true)             \
    X(InvalidHandle, INVALID_HANDLE, -1006, "invalid handle", true)          \
    X(NoData, NO_DATA, -1008, "no data", true)                               \
    X(InvalidParameter, INVALID_PARAMETER, -1009, "invalid parameter", true) \
    X(Timeout, TIMEOUT, -1011, "timeout", false)                             \
    X(Abort, ABORT, -1012, "abort", true)                                    \
    X(InvalidBuffer, INVALID_BUFFER, -1013, "invalid buffer", true)          \
    X(NotAvailable, NOT_AVAILABLE, -1014, "not available", true)             \
    X(ObjectInvalid, OBJECT_INVALID, -1098, "object invalid", true)          \
    X(LowLevelError, LOWLEVEL_ERROR, -1099, "low level error from GenTL producer", true)

namespace corvid2 {

// What every internal operation returns: Success, or the code of the failure it recorded as the
// thread's last error.
enum class Result : std::int32_t {
#define CORVID2_RESULT_ENUMERATOR(name, cName, value, text, fromText) name = value,
    CORVID2_FOR_EACH_RESULT(CORVID2_RESULT_ENUMERATOR)
#undef CORVID2_RESULT_ENUMERATOR
};

// The number that crosses the C interface and the exported hooks.
constexpr std::int32_t toCode(Result result) { return static_cast<std::int32_t>(result); }
// A number that came back through the C interface, seen as a result again.
constexpr Result fromCode(std::int32_t code) { return static_cast<Result>(code); }

// "InvalidParameter (-1009)": for logs and test failures.
std::ostream& operator<<(std::ostream& out, Result result);

// Description of a result; for Success a null pointer when `successHasNoText`, else "success";
// "undefined error code" for a value outside the table.
const char* ErrorCodeDescription(Result result, bool successHasNoText);
// The first result whose description occurs in `text`, in the order of the table; else Error.
Result ErrorCodeFromText(const char* text);

// Throws the exception class of a failed `result` with the thread's last-error text; returns on
// Success.
void ThrowForCode(Result result, const char* file, unsigned line, const char* function);
// Throws the exception class of `result` with an explicit description.
[[noreturn]] void ThrowWithText(Result result, const char* file, unsigned line, const char* function,
                                const char* description);

}  // namespace corvid2
