// SPDX-License-Identifier: BSD-3-Clause
// Sample readers for every storage; the scalar 12-bit kernels that the vector ones must equal.
#include "unpack.h"

#include <cstring>

namespace corvid2::img {

namespace {

template <Packing12 packing, unsigned shift>
void unpack12Scalar(const uint8_t* src, uint8_t* dst, size_t pairs) {
    for (size_t i = 0; i < pairs; ++i, src += 3, dst += 4) {
        uint32_t first, second;
        if (packing == Packing12::Lsb) {
            first = src[0] | (uint32_t{src[1]} & 0x0F) << 8;
            second = uint32_t{src[1]} >> 4 | uint32_t{src[2]} << 4;
        } else {
            first = uint32_t{src[0]} << 4 | (src[1] & 0x0Fu);
            second = uint32_t{src[2]} << 4 | uint32_t{src[1]} >> 4;
        }
        const uint16_t words[2] = {static_cast<uint16_t>(first << shift), static_cast<uint16_t>(second << shift)};
        std::memcpy(dst, words, sizeof words);  // little-endian host
    }
}

// One sample of an LSB-first bit stream, reading only the bytes that hold it.
uint16_t lsbSample(const uint8_t* data, uint64_t size, uint64_t index, unsigned bits) {
    const uint64_t bit = index * bits;
    const uint64_t byte = bit / 8;
    uint32_t window = 0;
    for (unsigned k = 0; k < 3 && byte + k < size; ++k) window |= uint32_t{data[byte + k]} << (8 * k);
    return static_cast<uint16_t>((window >> (bit % 8)) & ((1u << bits) - 1));
}

void readLsbPacked(unsigned bits, const uint8_t* data, uint64_t size, uint64_t first, uint32_t count, uint16_t* out) {
    uint32_t i = 0;
    if (bits == 12) {
        if (first % 2 != 0 && i < count) out[i++] = lsbSample(data, size, first, bits);
        const uint32_t pairs = (count - i) / 2;
        unpack12(Packing12::Lsb, false, data + (first + i) * 3 / 2, reinterpret_cast<uint8_t*>(out + i), pairs);
        i += pairs * 2;
    } else {
        // Four samples start on a byte boundary and fill bits / 2 bytes (10 and 14 bits: 5 and 7).
        while (i < count && ((first + i) * bits) % 8 != 0) {
            out[i] = lsbSample(data, size, first + i, bits);
            ++i;
        }
        const uint64_t mask = (uint64_t{1} << bits) - 1;
        for (; i + 4 <= count; i += 4) {
            uint64_t group = 0;
            std::memcpy(&group, data + (first + i) * bits / 8, bits / 2);  // little-endian host
            for (unsigned k = 0; k < 4; ++k) out[i + k] = static_cast<uint16_t>((group >> (k * bits)) & mask);
        }
    }
    for (; i < count; ++i) out[i] = lsbSample(data, size, first + i, bits);
}

uint16_t gigESample(const uint8_t* data, uint64_t index, unsigned bits) {
    const uint8_t* pair = data + index / 2 * 3;
    if (bits == 12)
        return static_cast<uint16_t>(index % 2 == 0 ? (pair[0] << 4) | (pair[1] & 0x0F)
                                                    : (pair[2] << 4) | (pair[1] >> 4));
    return static_cast<uint16_t>(index % 2 == 0 ? (pair[0] << 2) | (pair[1] & 0x03)
                                                : (pair[2] << 2) | ((pair[1] >> 4) & 0x03));
}

void readGigEPacked(unsigned bits, const uint8_t* data, uint64_t first, uint32_t count, uint16_t* out) {
    uint32_t i = 0;
    if (first % 2 != 0 && count > 0) out[i++] = gigESample(data, first, bits);
    const uint32_t pairs = (count - i) / 2;
    if (bits == 12) {
        unpack12(Packing12::GigE, false, data + (first + i) / 2 * 3, reinterpret_cast<uint8_t*>(out + i), pairs);
        i += pairs * 2;
    }
    // The last pair of an image with an odd pixel count is only half used, but its three bytes are there.
    for (; i < count; ++i) out[i] = gigESample(data, first + i, bits);
}

}  // namespace

void readSamples(const PixelFormat& format, const uint8_t* data, uint64_t size, uint64_t first, uint32_t count,
                 uint16_t* out) {
    switch (format.storage) {
        case Storage::Byte:
            for (uint32_t i = 0; i < count; ++i) out[i] = data[first + i];
            break;
        case Storage::Word:
            std::memcpy(out, data + first * 2, size_t{count} * 2);  // little-endian host
            break;
        case Storage::LsbPacked:
            readLsbPacked(format.bits, data, size, first, count, out);
            break;
        case Storage::GigEPacked:
            readGigEPacked(format.bits, data, first, count, out);
            break;
    }
}

Unpack12 unpack12Kernel(Isa isa, Packing12 packing, bool msb) {
    for (int level = static_cast<int>(isa); level > 0; --level)
        if (Unpack12 kernel = x86::unpack12(static_cast<Isa>(level), packing, msb)) return kernel;
    if (packing == Packing12::Lsb) return msb ? unpack12Scalar<Packing12::Lsb, 4> : unpack12Scalar<Packing12::Lsb, 0>;
    return msb ? unpack12Scalar<Packing12::GigE, 4> : unpack12Scalar<Packing12::GigE, 0>;
}

}  // namespace corvid2::img
