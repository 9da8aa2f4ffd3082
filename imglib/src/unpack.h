// SPDX-License-Identifier: BSD-3-Clause
// Reading the samples of single-component images (mono, Bayer, polarizer mosaics) in every storage, and the
// vectorised 12-bit unpacking kernels.
#pragma once

#include <cstddef>
#include <cstdint>

#include "cpu_features.h"
#include "pixel_format.h"

namespace corvid2::img {

/// Samples [first, first + count) of the image's sample stream (row after row) as 16-bit values in the low bits.
/// Reads nothing outside data[0, size).
void readSamples(const PixelFormat& format, const uint8_t* data, uint64_t size, uint64_t first, uint32_t count,
                 uint16_t* out);

/// A 12-bit kernel: `pairs` pairs of samples from 3 * pairs bytes into 2 * pairs little-endian words (dst need not be
/// aligned); reads and writes nothing else.
using Unpack12 = void (*)(const uint8_t* src, uint8_t* dst, size_t pairs);

enum class Packing12 : uint8_t { Lsb, GigE };  ///< PFNC "p" / GigE Vision "Packed"

/// The kernel of that instruction set (or the best one below it that has one). `msb` aligns the values to the top
/// of the word (value << 4), as Mono16 wants; otherwise they stay in the low 12 bits.
Unpack12 unpack12Kernel(Isa isa, Packing12 packing, bool msb);

/// Unpacks with the kernel of the active instruction set.
inline void unpack12(Packing12 packing, bool msb, const uint8_t* src, uint8_t* dst, size_t pairs) {
    unpack12Kernel(activeIsa(), packing, msb)(src, dst, pairs);
}

namespace x86 {
/// The vector kernels, null where the build has none.
Unpack12 unpack12(Isa isa, Packing12 packing, bool msb);
}  // namespace x86

}  // namespace corvid2::img
