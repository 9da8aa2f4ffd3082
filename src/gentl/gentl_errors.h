// SPDX-License-Identifier: BSD-3-Clause
// Names of GenTL's error values, for the messages of failed producer calls.
#pragma once

#include <string>

#include "gentl.h"

namespace corvid2 {

// "GC_ERR_..." for a GenTL error value, "GC_ERR_CUSTOM_ID <n>" for a producer's custom value, else
// empty (success and values GenTL does not define).
std::string GenTLErrorName(GenTL::GC_ERROR result);

}  // namespace corvid2
