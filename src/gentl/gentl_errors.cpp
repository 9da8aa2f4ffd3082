// SPDX-License-Identifier: BSD-3-Clause
// The names of GenTL's error values.
#include "gentl/gentl_errors.h"

namespace corvid2 {
namespace {

using namespace GenTL;

// Indexed by GC_ERR_ERROR - value: the contiguous run of values GenTL 1.0 defined.
constexpr const char* kNames[] = {
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
static_assert(GC_ERR_ERROR - GC_ERR_INVALID_ADDRESS + 1 == sizeof kNames / sizeof kNames[0]);

}  // namespace

std::string GenTLErrorName(GC_ERROR result) {
    if (result <= GC_ERR_ERROR && result >= GC_ERR_INVALID_ADDRESS) return kNames[GC_ERR_ERROR - result];
    if (result <= GC_ERR_CUSTOM_ID) return "GC_ERR_CUSTOM_ID " + std::to_string(result);
    return std::string();
}

}  // namespace corvid2
