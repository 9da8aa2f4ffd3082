// SPDX-License-Identifier: BSD-3-Clause
// Which vector instruction set the processing kernels use: the best the processor offers, or a lower one on request.
#pragma once

#include <cstdint>

namespace corvid2::img {

/// Instruction sets with kernels of their own, each including those before it.
enum class Isa : uint8_t {
    Scalar = 0,
    Sse42 = 1,   ///< SSE4.2 with SSSE3
    Avx2 = 2,    ///< AVX2
    Avx512 = 3,  ///< AVX-512 F, BW and VBMI
};

/// The best instruction set of this processor.
Isa detectedIsa();
/// The instruction set the kernels use now: the detected one, or a lower limit set with limitIsa.
Isa activeIsa();
/// Keeps the kernels at or below `isa` (tests compare every level with the scalar code; benchmarks measure them).
void limitIsa(Isa isa);

const char* isaName(Isa isa);

}  // namespace corvid2::img
