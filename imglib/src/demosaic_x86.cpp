// SPDX-License-Identifier: BSD-3-Clause
// The 8-bit bilinear demosaicing kernel for SSE4.2, AVX2 and AVX-512 VBMI: one kernel body, compiled once per
// instruction set over that set's vector operations.
#include "demosaic.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

// GCC 12 warns inside its own AVX-512 intrinsics, whose unused pass-through operand it leaves uninitialised on purpose.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

namespace corvid2::img::x86 {

#if defined(__x86_64__) || defined(__i386__)

namespace {

/// Byte indices that interleave three planes (first, green, third) into pixels of `channels` bytes: for output
/// chunk k of `bytes` bytes, byte j comes from plane (16k + j) % channels at pixel (16k + j) / channels, counted
/// within a `bytes`-pixel step. Entries of other planes are 0x80 (zero for a byte shuffle) and masks say which
/// bytes belong to the third plane or to alpha.
template <unsigned channels, unsigned bytes>
struct InterleaveTable {
    alignas(64) uint8_t plane[channels][3][bytes] = {};  // chunk, plane: shuffle index or 0x80
    alignas(64) uint8_t pair[channels][bytes] = {};      // chunk: first plane i, green 64 + i (two-source permute)
    alignas(64) uint8_t third[channels][bytes] = {};     // chunk: third plane's pixel
    uint64_t thirdMask[channels] = {};
    uint64_t alphaMask[channels] = {};

    constexpr InterleaveTable() {
        for (unsigned chunk = 0; chunk < channels; ++chunk)
            for (unsigned j = 0; j < bytes; ++j) {
                const unsigned position = chunk * bytes + j;
                const unsigned pixel = position / channels, component = position % channels;
                for (unsigned p = 0; p < 3; ++p) plane[chunk][p][j] = component == p ? pixel % 16 : 0x80;
                pair[chunk][j] = static_cast<uint8_t>(component == 1 ? 64 + pixel : pixel);
                third[chunk][j] = static_cast<uint8_t>(pixel);
                if (component == 2) thirdMask[chunk] |= uint64_t{1} << j;
                if (component == 3) alphaMask[chunk] |= uint64_t{1} << j;
            }
    }
};

// The 16-byte tables serve SSE and AVX2 (whose byte shuffle works within 16-byte lanes); the 64-byte ones AVX-512.
constexpr InterleaveTable<3, 16> kInterleave3x16;
constexpr InterleaveTable<3, 64> kInterleave3x64;

}  // namespace

// ---- SSE4.2 -----------------------------------------------------------------------------------------------------
#pragma GCC push_options
#pragma GCC target("sse4.2,ssse3")
namespace sse {
namespace {
struct V {
    using Reg = __m128i;
    static constexpr uint32_t kBytes = 16;
    static Reg load(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
    static Reg splat16(int16_t v) { return _mm_set1_epi16(v); }
    static Reg even(Reg v) { return _mm_and_si128(v, _mm_set1_epi16(0x00FF)); }
    static Reg odd(Reg v) { return _mm_srli_epi16(v, 8); }
    static Reg add16(Reg a, Reg b) { return _mm_add_epi16(a, b); }
    static Reg shr16(Reg a, int n) { return _mm_srli_epi16(a, n); }
    static Reg join(Reg evenBytes, Reg oddBytes) { return _mm_or_si128(evenBytes, _mm_slli_epi16(oddBytes, 8)); }
    static Reg mask(unsigned chunk, unsigned plane) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(kInterleave3x16.plane[chunk][plane]));
    }
    static Reg chunk3(unsigned k, Reg a, Reg g, Reg b) {
        return _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(a, mask(k, 0)), _mm_shuffle_epi8(g, mask(k, 1))),
                            _mm_shuffle_epi8(b, mask(k, 2)));
    }
    static void store3(uint8_t* out, Reg a, Reg g, Reg b) {
        for (unsigned k = 0; k < 3; ++k) _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16 * k), chunk3(k, a, g, b));
    }
    static void store4(uint8_t* out, Reg a, Reg g, Reg b) {
        const Reg alpha = _mm_set1_epi8(-1);
        const Reg agLow = _mm_unpacklo_epi8(a, g), agHigh = _mm_unpackhi_epi8(a, g);
        const Reg bxLow = _mm_unpacklo_epi8(b, alpha), bxHigh = _mm_unpackhi_epi8(b, alpha);
        auto* o = reinterpret_cast<__m128i*>(out);
        _mm_storeu_si128(o + 0, _mm_unpacklo_epi16(agLow, bxLow));
        _mm_storeu_si128(o + 1, _mm_unpackhi_epi16(agLow, bxLow));
        _mm_storeu_si128(o + 2, _mm_unpacklo_epi16(agHigh, bxHigh));
        _mm_storeu_si128(o + 3, _mm_unpackhi_epi16(agHigh, bxHigh));
    }
};
#include "bilinear8_kernel.inc"
}  // namespace
}  // namespace sse
#pragma GCC pop_options

// ---- AVX2 -------------------------------------------------------------------------------------------------------
#pragma GCC push_options
#pragma GCC target("avx2")
namespace avx2 {
namespace {
struct V {
    using Reg = __m256i;
    static constexpr uint32_t kBytes = 32;
    static Reg load(const uint8_t* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }
    static Reg splat16(int16_t v) { return _mm256_set1_epi16(v); }
    static Reg even(Reg v) { return _mm256_and_si256(v, _mm256_set1_epi16(0x00FF)); }
    static Reg odd(Reg v) { return _mm256_srli_epi16(v, 8); }
    static Reg add16(Reg a, Reg b) { return _mm256_add_epi16(a, b); }
    static Reg shr16(Reg a, int n) { return _mm256_srli_epi16(a, n); }
    static Reg join(Reg evenBytes, Reg oddBytes) { return _mm256_or_si256(evenBytes, _mm256_slli_epi16(oddBytes, 8)); }
    static Reg mask(unsigned chunk, unsigned plane) {
        return _mm256_broadcastsi128_si256(
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(kInterleave3x16.plane[chunk][plane])));
    }
    static Reg chunk3(unsigned k, Reg a, Reg g, Reg b) {
        return _mm256_or_si256(_mm256_or_si256(_mm256_shuffle_epi8(a, mask(k, 0)), _mm256_shuffle_epi8(g, mask(k, 1))),
                               _mm256_shuffle_epi8(b, mask(k, 2)));
    }
    // Each 16-byte lane interleaves its own 16 pixels; the lanes' 48-byte results are then put in order.
    static void store3(uint8_t* out, Reg a, Reg g, Reg b) {
        const Reg c0 = chunk3(0, a, g, b), c1 = chunk3(1, a, g, b), c2 = chunk3(2, a, g, b);
        auto* o = reinterpret_cast<__m256i*>(out);
        _mm256_storeu_si256(o + 0, _mm256_permute2x128_si256(c0, c1, 0x20));
        _mm256_storeu_si256(o + 1, _mm256_permute2x128_si256(c2, c0, 0x30));
        _mm256_storeu_si256(o + 2, _mm256_permute2x128_si256(c1, c2, 0x31));
    }
    static void store4(uint8_t* out, Reg a, Reg g, Reg b) {
        const Reg alpha = _mm256_set1_epi8(-1);
        const Reg agLow = _mm256_unpacklo_epi8(a, g), agHigh = _mm256_unpackhi_epi8(a, g);
        const Reg bxLow = _mm256_unpacklo_epi8(b, alpha), bxHigh = _mm256_unpackhi_epi8(b, alpha);
        const Reg p0 = _mm256_unpacklo_epi16(agLow, bxLow), p1 = _mm256_unpackhi_epi16(agLow, bxLow);
        const Reg p2 = _mm256_unpacklo_epi16(agHigh, bxHigh), p3 = _mm256_unpackhi_epi16(agHigh, bxHigh);
        auto* o = reinterpret_cast<__m256i*>(out);
        _mm256_storeu_si256(o + 0, _mm256_permute2x128_si256(p0, p1, 0x20));
        _mm256_storeu_si256(o + 1, _mm256_permute2x128_si256(p2, p3, 0x20));
        _mm256_storeu_si256(o + 2, _mm256_permute2x128_si256(p0, p1, 0x31));
        _mm256_storeu_si256(o + 3, _mm256_permute2x128_si256(p2, p3, 0x31));
    }
};
#include "bilinear8_kernel.inc"
}  // namespace
}  // namespace avx2
#pragma GCC pop_options

// ---- AVX-512 ----------------------------------------------------------------------------------------------------
#pragma GCC push_options
#pragma GCC target("avx512f,avx512bw,avx512vbmi")
namespace avx512 {
namespace {
struct V {
    using Reg = __m512i;
    static constexpr uint32_t kBytes = 64;
    static Reg load(const uint8_t* p) { return _mm512_loadu_si512(p); }
    static Reg splat16(int16_t v) { return _mm512_set1_epi16(v); }
    static Reg even(Reg v) { return _mm512_and_si512(v, _mm512_set1_epi16(0x00FF)); }
    static Reg odd(Reg v) { return _mm512_srli_epi16(v, 8); }
    static Reg add16(Reg a, Reg b) { return _mm512_add_epi16(a, b); }
    static Reg shr16(Reg a, int n) { return _mm512_srli_epi16(a, static_cast<unsigned>(n)); }
    static Reg join(Reg evenBytes, Reg oddBytes) { return _mm512_or_si512(evenBytes, _mm512_slli_epi16(oddBytes, 8)); }
    static void store3(uint8_t* out, Reg a, Reg g, Reg b) {
        for (unsigned k = 0; k < 3; ++k) {
            Reg chunk = _mm512_permutex2var_epi8(a, _mm512_load_si512(kInterleave3x64.pair[k]), g);
            chunk = _mm512_mask_permutexvar_epi8(chunk, kInterleave3x64.thirdMask[k],
                                                 _mm512_load_si512(kInterleave3x64.third[k]), b);
            _mm512_storeu_si512(out + 64 * k, chunk);
        }
    }
    static void store4(uint8_t* out, Reg a, Reg g, Reg b) {
        const Reg alpha = _mm512_set1_epi8(-1);
        const Reg agLow = _mm512_unpacklo_epi8(a, g), agHigh = _mm512_unpackhi_epi8(a, g);
        const Reg bxLow = _mm512_unpacklo_epi8(b, alpha), bxHigh = _mm512_unpackhi_epi8(b, alpha);
        // Within each 16-byte lane L these hold pixels 16L + 0..3, 4..7, 8..11, 12..15.
        const Reg p0 = _mm512_unpacklo_epi16(agLow, bxLow), p1 = _mm512_unpackhi_epi16(agLow, bxLow);
        const Reg p2 = _mm512_unpacklo_epi16(agHigh, bxHigh), p3 = _mm512_unpackhi_epi16(agHigh, bxHigh);
        // Gather the lanes of pixels 16L .. 16L + 15 into output vector L.
        const Reg q01lo = _mm512_shuffle_i64x2(p0, p1, 0x44), q23lo = _mm512_shuffle_i64x2(p2, p3, 0x44);
        const Reg q01hi = _mm512_shuffle_i64x2(p0, p1, 0xEE), q23hi = _mm512_shuffle_i64x2(p2, p3, 0xEE);
        _mm512_storeu_si512(out + 0, _mm512_shuffle_i64x2(q01lo, q23lo, 0x88));
        _mm512_storeu_si512(out + 64, _mm512_shuffle_i64x2(q01lo, q23lo, 0xDD));
        _mm512_storeu_si512(out + 128, _mm512_shuffle_i64x2(q01hi, q23hi, 0x88));
        _mm512_storeu_si512(out + 192, _mm512_shuffle_i64x2(q01hi, q23hi, 0xDD));
    }
};
#include "bilinear8_kernel.inc"
}  // namespace
}  // namespace avx512
#pragma GCC pop_options

BilinearRow8 bilinearRow8(Isa isa, bool greenFirst, bool keyFirst, unsigned channels) {
    switch (isa) {
        case Isa::Sse42:
            return sse::pickBilinear(greenFirst, keyFirst, channels);
        case Isa::Avx2:
            return avx2::pickBilinear(greenFirst, keyFirst, channels);
        case Isa::Avx512:
            return avx512::pickBilinear(greenFirst, keyFirst, channels);
        default:
            return nullptr;
    }
}

#else

BilinearRow8 bilinearRow8(Isa, bool, bool, unsigned) { return nullptr; }

#endif

}  // namespace corvid2::img::x86
