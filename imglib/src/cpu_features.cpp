// SPDX-License-Identifier: BSD-3-Clause
// Processor feature detection, done once.
#include "cpu_features.h"

#include <algorithm>
#include <atomic>

namespace corvid2::img {

namespace {

Isa detect() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vbmi"))
        return Isa::Avx512;
    if (__builtin_cpu_supports("avx2")) return Isa::Avx2;
    if (__builtin_cpu_supports("sse4.2") && __builtin_cpu_supports("ssse3")) return Isa::Sse42;
#endif
    return Isa::Scalar;
}

std::atomic<uint8_t> gLimit{static_cast<uint8_t>(Isa::Avx512)};

}  // namespace

Isa detectedIsa() {
    static const Isa detected = detect();
    return detected;
}

Isa activeIsa() {
    return static_cast<Isa>(std::min(static_cast<uint8_t>(detectedIsa()), gLimit.load(std::memory_order_relaxed)));
}

void limitIsa(Isa isa) { gLimit.store(static_cast<uint8_t>(isa), std::memory_order_relaxed); }

const char* isaName(Isa isa) {
    switch (isa) {
        case Isa::Sse42:
            return "SSE4.2";
        case Isa::Avx2:
            return "AVX2";
        case Isa::Avx512:
            return "AVX-512";
        default:
            return "scalar";
    }
}

}  // namespace corvid2::img
