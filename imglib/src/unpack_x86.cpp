// SPDX-License-Identifier: BSD-3-Clause
// 12-bit unpacking with SSE4.2, AVX2 and AVX-512 VBMI, chosen at run time; each gives exactly the scalar results.
#include "unpack.h"

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

// Byte pairs that put both bytes of a sample into one 16-bit lane: for the "p" stream the even sample's low byte
// comes first, for GigE "Packed" its high byte is byte 0 of the group (see the lane arithmetic below).
// clang-format off
#define CORVID2_IMG_LSB_GATHER 0, 1, 1, 2, 3, 4, 4, 5, 6, 7, 7, 8, 9, 10, 10, 11
#define CORVID2_IMG_GIGE_GATHER 1, 0, 1, 2, 4, 3, 4, 5, 7, 6, 7, 8, 10, 9, 10, 11
// clang-format on

template <Packing12 packing, unsigned shift>
__attribute__((target("sse4.2,ssse3"))) inline __m128i lanes12Sse(__m128i x) {
    const __m128i odd = _mm_srli_epi16(x, 4);
    __m128i even;
    if (packing == Packing12::Lsb)
        even = _mm_and_si128(x, _mm_set1_epi16(0x0FFF));
    else
        even = _mm_or_si128(_mm_and_si128(odd, _mm_set1_epi16(0x0FF0)), _mm_and_si128(x, _mm_set1_epi16(0x000F)));
    return _mm_slli_epi16(_mm_blend_epi16(even, odd, 0xAA), shift);
}

template <Packing12 packing, unsigned shift>
__attribute__((target("sse4.2,ssse3"))) void unpackSse(const uint8_t* src, uint8_t* dst, size_t pairs) {
    const __m128i gather =
        packing == Packing12::Lsb ? _mm_setr_epi8(CORVID2_IMG_LSB_GATHER) : _mm_setr_epi8(CORVID2_IMG_GIGE_GATHER);
    size_t i = 0;
    // Four pairs per step from a 16-byte load, of which 12 bytes are used: stop while 16 bytes remain readable.
    for (; i + 6 <= pairs; i += 4) {
        const __m128i x = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i * 3)), gather);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i * 4), lanes12Sse<packing, shift>(x));
    }
    unpack12Kernel(Isa::Scalar, packing, shift != 0)(src + i * 3, dst + i * 4, pairs - i);
}

template <Packing12 packing, unsigned shift>
__attribute__((target("avx2"))) inline __m256i lanes12Avx2(__m256i x) {
    const __m256i odd = _mm256_srli_epi16(x, 4);
    __m256i even;
    if (packing == Packing12::Lsb)
        even = _mm256_and_si256(x, _mm256_set1_epi16(0x0FFF));
    else
        even = _mm256_or_si256(_mm256_and_si256(odd, _mm256_set1_epi16(0x0FF0)),
                               _mm256_and_si256(x, _mm256_set1_epi16(0x000F)));
    return _mm256_slli_epi16(_mm256_blend_epi16(even, odd, 0xAA), shift);
}

template <Packing12 packing, unsigned shift>
__attribute__((target("avx2"))) void unpackAvx2(const uint8_t* src, uint8_t* dst, size_t pairs) {
    const __m256i gather = packing == Packing12::Lsb
                               ? _mm256_setr_epi8(CORVID2_IMG_LSB_GATHER, CORVID2_IMG_LSB_GATHER)
                               : _mm256_setr_epi8(CORVID2_IMG_GIGE_GATHER, CORVID2_IMG_GIGE_GATHER);
    size_t i = 0;
    // Eight pairs per step: each 128-bit lane shuffles its own 12 bytes, loaded from offsets 0 and 12; the second
    // load reaches 28 bytes in, so the loop stops while that much remains.
    for (; i + 10 <= pairs; i += 8) {
        const uint8_t* p = src + i * 3;
        const __m256i bytes =
            _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))),
                                    _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 12)), 1);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + i * 4),
                            lanes12Avx2<packing, shift>(_mm256_shuffle_epi8(bytes, gather)));
    }
    unpack12Kernel(Isa::Scalar, packing, shift != 0)(src + i * 3, dst + i * 4, pairs - i);
}

#define CORVID2_IMG_AVX512_TARGET "avx512f,avx512bw,avx512vbmi"

template <Packing12 packing>
__attribute__((target(CORVID2_IMG_AVX512_TARGET))) inline __m512i gather512() {
    alignas(64) uint8_t index[64];
    for (int pair = 0; pair < 16; ++pair) {
        const uint8_t base = static_cast<uint8_t>(pair * 3);
        uint8_t* lane = index + pair * 4;
        lane[0] = packing == Packing12::Lsb ? base : base + 1;
        lane[1] = packing == Packing12::Lsb ? base + 1 : base;
        lane[2] = base + 1;
        lane[3] = base + 2;
    }
    return _mm512_load_si512(index);
}

template <Packing12 packing, unsigned shift>
__attribute__((target(CORVID2_IMG_AVX512_TARGET))) inline __m512i lanes12Avx512(__m512i x) {
    const __m512i odd = _mm512_srli_epi16(x, 4);
    __m512i even;
    if (packing == Packing12::Lsb)
        even = _mm512_and_si512(x, _mm512_set1_epi16(0x0FFF));
    else
        even = _mm512_ternarylogic_epi32(odd, _mm512_set1_epi16(0x0FF0), _mm512_and_si512(x, _mm512_set1_epi16(0x000F)),
                                         0xEA);  // (a & b) | c
    return _mm512_slli_epi16(_mm512_mask_blend_epi16(0xAAAAAAAAu, even, odd), shift);
}

template <Packing12 packing, unsigned shift>
__attribute__((target(CORVID2_IMG_AVX512_TARGET))) void unpackAvx512(const uint8_t* src, uint8_t* dst, size_t pairs) {
    const __m512i gather = gather512<packing>();
    size_t i = 0;
    // Sixteen pairs (48 bytes) per step through a masked load, which touches no byte beyond them.
    const __mmask64 load48 = (__mmask64{1} << 48) - 1;
    for (; i + 32 <= pairs; i += 32) {
        const __m512i a = _mm512_maskz_loadu_epi8(load48, src + i * 3);
        const __m512i b = _mm512_maskz_loadu_epi8(load48, src + i * 3 + 48);
        _mm512_storeu_si512(dst + i * 4, lanes12Avx512<packing, shift>(_mm512_permutexvar_epi8(gather, a)));
        _mm512_storeu_si512(dst + i * 4 + 64, lanes12Avx512<packing, shift>(_mm512_permutexvar_epi8(gather, b)));
    }
    for (; i < pairs; i += 16) {
        const size_t step = pairs - i < 16 ? pairs - i : 16;
        const __mmask64 load = (step == 16) ? load48 : (__mmask64{1} << (step * 3)) - 1;
        const __mmask32 store = (step == 16) ? ~__mmask32{0} : (__mmask32{1} << (step * 2)) - 1;
        const __m512i x = _mm512_permutexvar_epi8(gather, _mm512_maskz_loadu_epi8(load, src + i * 3));
        _mm512_mask_storeu_epi16(dst + i * 4, store, lanes12Avx512<packing, shift>(x));
    }
}

template <template <Packing12, unsigned> class Table>
Unpack12 pick(Packing12 packing, bool msb) {
    if (packing == Packing12::Lsb) return msb ? Table<Packing12::Lsb, 4>::kernel : Table<Packing12::Lsb, 0>::kernel;
    return msb ? Table<Packing12::GigE, 4>::kernel : Table<Packing12::GigE, 0>::kernel;
}

template <Packing12 packing, unsigned shift>
struct SseTable {
    static constexpr Unpack12 kernel = unpackSse<packing, shift>;
};
template <Packing12 packing, unsigned shift>
struct Avx2Table {
    static constexpr Unpack12 kernel = unpackAvx2<packing, shift>;
};
template <Packing12 packing, unsigned shift>
struct Avx512Table {
    static constexpr Unpack12 kernel = unpackAvx512<packing, shift>;
};

}  // namespace

Unpack12 unpack12(Isa isa, Packing12 packing, bool msb) {
    switch (isa) {
        case Isa::Sse42:
            return pick<SseTable>(packing, msb);
        case Isa::Avx2:
            return pick<Avx2Table>(packing, msb);
        case Isa::Avx512:
            return pick<Avx512Table>(packing, msb);
        default:
            return nullptr;
    }
}

#else

Unpack12 unpack12(Isa, Packing12, bool) { return nullptr; }

#endif

}  // namespace corvid2::img::x86
