// SPDX-License-Identifier: BSD-3-Clause
// Names of the pixel formats of the Pixel Format Naming Convention (PFNC), by their 32-bit values.
#pragma once

#include <cstdint>

namespace corvid2 {

// The PFNC name of `value` ("Mono8", "BayerRG12p", ...), or null for a value PFNC does not define.
const char* pixelFormatName(std::uint64_t value);

}  // namespace corvid2
