// SPDX-License-Identifier: BSD-3-Clause
// The producer's implementation of every GenTL function: same parameters, failures thrown as SimError.
#pragma once

#include "gentl.h"

namespace corvid2::sim::api {

using namespace GenTL;

#define CORVID2_SIM_DECLARE_IMPL(name, since_major, since_minor, params, args) void name params;
GENTL_FUNCTION_LIST(CORVID2_SIM_DECLARE_IMPL)
#undef CORVID2_SIM_DECLARE_IMPL

}  // namespace corvid2::sim::api
