// SPDX-License-Identifier: BSD-3-Clause
// Scalar demosaicing; the 8-bit bilinear rows go to the vector kernels, which give the same values.
#include "demosaic.h"

#include <algorithm>
#include <type_traits>

namespace corvid2::img {

namespace {

constexpr int kRed = 0, kGreen = 1, kBlue = 2;

/// The colours of one row: whether its even samples are green, and its colour that is not green.
struct RowColours {
    bool greenFirst;
    int key;
};

RowColours rowColours(BayerPhase phase) {
    switch (phase) {
        case BayerPhase::RG:
            return {false, kRed};
        case BayerPhase::GR:
            return {true, kRed};
        case BayerPhase::GB:
            return {true, kBlue};
        default:
            return {false, kBlue};
    }
}

/// The offsets of the key colour, green and the third colour within a pixel.
struct Slots {
    uint8_t key, green, other;
};

template <class T>
inline T clampedSixteenth(int32_t sum, int32_t maxValue) {
    // Rounded division by 16 of a sum that overshoots at edges in either direction.
    const int32_t v = (sum + 8) >> 4;
    return static_cast<T>(v < 0 ? 0 : (v > maxValue ? maxValue : v));
}

// at(dy, dx) is the sample at that offset from the pixel.
template <class T, class At>
inline void bilinearPixel(const At& at, bool green, const Slots& s, T* px) {
    if (!green) {
        px[s.key] = static_cast<T>(at(0, 0));
        px[s.green] = static_cast<T>((at(-1, 0) + at(1, 0) + at(0, -1) + at(0, 1) + 2) >> 2);
        px[s.other] = static_cast<T>((at(-1, -1) + at(-1, 1) + at(1, -1) + at(1, 1) + 2) >> 2);
    } else {
        // A green sample has the row's key colour left and right, the other colour above and below.
        px[s.green] = static_cast<T>(at(0, 0));
        px[s.key] = static_cast<T>((at(0, -1) + at(0, 1) + 1) >> 1);
        px[s.other] = static_cast<T>((at(-1, 0) + at(1, 0) + 1) >> 1);
    }
}

// Malvar, He and Cutler's 5 x 5 filters, scaled by 16 so that every weight is an integer.
template <class T, class At>
inline void gradientPixel(const At& at, bool green, const Slots& s, int32_t maxValue, T* px) {
    const int32_t c = at(0, 0);
    const int32_t diagonal = at(-1, -1) + at(-1, 1) + at(1, -1) + at(1, 1);
    const int32_t farVertical = at(-2, 0) + at(2, 0);
    const int32_t farHorizontal = at(0, -2) + at(0, 2);
    if (!green) {
        const int32_t cross = at(-1, 0) + at(1, 0) + at(0, -1) + at(0, 1);
        const int32_t far = farVertical + farHorizontal;
        px[s.key] = static_cast<T>(c);
        px[s.green] = clampedSixteenth<T>(8 * c + 4 * cross - 2 * far, maxValue);
        px[s.other] = clampedSixteenth<T>(12 * c + 4 * diagonal - 3 * far, maxValue);
    } else {
        const int32_t horizontal = at(0, -1) + at(0, 1);
        const int32_t vertical = at(-1, 0) + at(1, 0);
        px[s.green] = static_cast<T>(c);
        px[s.key] =
            clampedSixteenth<T>(10 * c + 8 * horizontal - 2 * farHorizontal - 2 * diagonal + farVertical, maxValue);
        px[s.other] =
            clampedSixteenth<T>(10 * c + 8 * vertical - 2 * farVertical - 2 * diagonal + farHorizontal, maxValue);
    }
}

// Calls pixel(x, green) for x in [begin, end) in pairs whose green flag is a constant.
template <class Pixel>
inline void forPairs(uint32_t begin, uint32_t end, bool greenFirst, const Pixel& pixel) {
    uint32_t x = begin;
    if (x < end && (x & 1)) pixel(x++, !greenFirst);
    if (greenFirst) {
        for (; x + 1 < end; x += 2) {
            pixel(x, std::true_type());
            pixel(x + 1, std::false_type());
        }
    } else {
        for (; x + 1 < end; x += 2) {
            pixel(x, std::false_type());
            pixel(x + 1, std::true_type());
        }
    }
    if (x < end) pixel(x, (x & 1) ? !greenFirst : greenFirst);
}

// Both missing values of pixels [0, n) of a row from the widened rows around it, rounded and clamped. The
// restrict-qualified parameters tell the compiler that the rows and the results do not overlap, so that it
// vectorises the loop; it is compiled once per instruction set below.
__attribute__((always_inline)) inline void gradientEstimatesBody(
    const int32_t* __restrict up2, const int32_t* __restrict up, const int32_t* __restrict row,
    const int32_t* __restrict down, const int32_t* __restrict down2, uint32_t n, uint32_t greenParity, int32_t maxValue,
    int32_t* __restrict first, int32_t* __restrict second) {
    // A 32-bit signed index: its parity test vectorises where a 64-bit one does not (SSE2 has no 64-bit compare),
    // and i - 1 stays -1 at the start.
    for (int32_t i = 0; i < static_cast<int32_t>(n); ++i) {
        const int32_t c = row[i];
        const int32_t horizontal = row[i - 1] + row[i + 1], farHorizontal = row[i - 2] + row[i + 2];
        const int32_t vertical = up[i] + down[i], farVertical = up2[i] + down2[i];
        const int32_t diagonal = up[i - 1] + up[i + 1] + down[i - 1] + down[i + 1];
        const int32_t far = farVertical + farHorizontal;
        const bool green = static_cast<uint32_t>(i & 1) == greenParity;
        // Green pixel: the key colour from its left and right, the other from above and below. Otherwise: green,
        // and the other colour from the diagonals.
        const int32_t a = green ? 10 * c + 8 * horizontal - 2 * farHorizontal - 2 * diagonal + farVertical
                                : 8 * c + 4 * (horizontal + vertical) - 2 * far;
        const int32_t b = green ? 10 * c + 8 * vertical - 2 * farVertical - 2 * diagonal + farHorizontal
                                : 12 * c + 4 * diagonal - 3 * far;
        first[i] = std::clamp((a + 8) >> 4, 0, maxValue);
        second[i] = std::clamp((b + 8) >> 4, 0, maxValue);
    }
}

using GradientEstimates = void (*)(const int32_t*, const int32_t*, const int32_t*, const int32_t*, const int32_t*,
                                   uint32_t, uint32_t, int32_t, int32_t*, int32_t*);

#define CORVID2_IMG_GRADIENT_ESTIMATES(name, attributes)                                                             \
    attributes void name(const int32_t* __restrict up2, const int32_t* __restrict up, const int32_t* __restrict row, \
                         const int32_t* __restrict down, const int32_t* __restrict down2, uint32_t n,                \
                         uint32_t greenParity, int32_t maxValue, int32_t* __restrict first,                          \
                         int32_t* __restrict second) {                                                               \
        gradientEstimatesBody(up2, up, row, down, down2, n, greenParity, maxValue, first, second);                   \
    }
CORVID2_IMG_GRADIENT_ESTIMATES(gradientEstimatesScalar, )
#if defined(__x86_64__) || defined(__i386__)
CORVID2_IMG_GRADIENT_ESTIMATES(gradientEstimatesAvx2, __attribute__((target("avx2"))))
CORVID2_IMG_GRADIENT_ESTIMATES(gradientEstimatesAvx512, __attribute__((target("avx512f"))))
#endif
#undef CORVID2_IMG_GRADIENT_ESTIMATES

GradientEstimates gradientEstimates() {
#if defined(__x86_64__) || defined(__i386__)
    switch (activeIsa()) {
        case Isa::Avx512:
            return gradientEstimatesAvx512;
        case Isa::Avx2:
            return gradientEstimatesAvx2;
        default:
            break;
    }
#endif
    return gradientEstimatesScalar;
}

// The interior of a gradient-corrected row in passes that the compiler can vectorise: the five rows widened to
// 32 bits, both missing values of every pixel with the filters of its kind (green or not), then the pixels in the
// target's layout.
template <class T>
void gradientInterior(const T* const rows[5], uint32_t begin, uint32_t end, bool greenFirst, const Slots& s,
                      uint32_t stride, int32_t maxValue, T* out, DemosaicContext& context) {
    if (begin >= end) return;
    const size_t n = end - begin, span = n + 4;  // the filters reach two pixels to either side
    context.rows.resize(5 * span);
    context.first.resize(n);
    context.second.resize(n);
    for (int k = 0; k < 5; ++k) {
        const T* __restrict from = rows[k] + begin - 2;
        int32_t* __restrict to = context.rows.data() + k * span;
        for (size_t i = 0; i < span; ++i) to[i] = from[i];
    }
    const int32_t* widened = context.rows.data() + 2;
    const uint32_t greenParity = (begin & 1) ^ (greenFirst ? 0 : 1);  // i with (i & 1) == greenParity is green
    gradientEstimates()(widened, widened + span, widened + 2 * span, widened + 3 * span, widened + 4 * span,
                        static_cast<uint32_t>(n), greenParity, maxValue, context.first.data(), context.second.data());
    const int32_t* row = widened + 2 * span;
    const int32_t* first = context.first.data();
    const int32_t* second = context.second.data();
    const uint8_t keySlot = s.key, greenSlot = s.green, otherSlot = s.other;
    T* __restrict px = out + size_t{begin} * stride;
    // Pairs of a green and a non-green pixel (or the other way round), so that no pixel needs a choice.
    auto put = [&](size_t i, bool green) {
        T* p = px + i * stride;
        const auto c = static_cast<T>(row[i]), estimated = static_cast<T>(first[i]);
        p[keySlot] = green ? estimated : c;
        p[greenSlot] = green ? c : estimated;
        p[otherSlot] = static_cast<T>(second[i]);
    };
    size_t i = 0;
    if (greenParity == 0) {
        for (; i + 1 < n; i += 2) {
            put(i, true);
            put(i + 1, false);
        }
    } else {
        for (; i + 1 < n; i += 2) {
            put(i, false);
            put(i + 1, true);
        }
    }
    if (i < n) put(i, greenParity == 0);
}

}  // namespace

template <class T>
void demosaicRow(DemosaicMethod method, const T* const rows[5], uint32_t width, BayerPhase rowPhase, uint32_t maxValue,
                 const RgbLayout& layout, T* out, DemosaicContext& context) {
    const RowColours colours = rowColours(rowPhase);
    const uint8_t keySlot = colours.key == kRed ? layout.red : layout.blue;
    const uint8_t otherSlot = colours.key == kRed ? layout.blue : layout.red;
    const Slots slots{keySlot, layout.green, otherSlot};
    const uint32_t stride = layout.stride;
    const int32_t most = static_cast<int32_t>(maxValue);
    const bool bilinear = method == DemosaicMethod::Bilinear;
    const uint32_t margin = bilinear ? 1 : 2;

    auto edgePixel = [&](uint32_t x) {
        auto at = [&](int dy, int dx) -> int32_t { return rows[2 + dy][reflectIndex(int64_t{x} + dx, width)]; };
        const bool green = ((x & 1) != 0) != colours.greenFirst;
        if (bilinear)
            bilinearPixel(at, green, slots, out + size_t{x} * stride);
        else
            gradientPixel(at, green, slots, most, out + size_t{x} * stride);
    };
    if (width <= 2 * margin) {
        for (uint32_t x = 0; x < width; ++x) edgePixel(x);
        return;
    }

    uint32_t begin = margin;
    const uint32_t end = width - margin;
    if (bilinear) {
        const T* up = rows[1];
        const T* row = rows[2];
        const T* down = rows[3];
        if constexpr (std::is_same_v<T, uint8_t>) {
            const bool standard = layout.green == 1 && (stride == 3 || stride == 4) &&
                                  ((layout.red == 0 && layout.blue == 2) || (layout.red == 2 && layout.blue == 0));
            if (standard) {
                const bool keyFirst = keySlot == 0;
                if (BilinearRow8 kernel = bilinearRow8Kernel(activeIsa(), colours.greenFirst, keyFirst, stride)) {
                    edgePixel(1);
                    begin = kernel(up, row, down, 2, width, out);
                }
            }
        }
        forPairs(begin, end, colours.greenFirst, [&](uint32_t x, auto green) {
            auto at = [&](int dy, int dx) -> int32_t { return (dy < 0 ? up : (dy > 0 ? down : row))[x + dx]; };
            bilinearPixel(at, green, slots, out + size_t{x} * stride);
        });
    } else {
        gradientInterior(rows, begin, end, colours.greenFirst, slots, stride, most, out, context);
    }
    for (uint32_t x = 0; x < margin; ++x) edgePixel(x);
    for (uint32_t x = end; x < width; ++x) edgePixel(x);
}

template void demosaicRow<uint8_t>(DemosaicMethod, const uint8_t* const[5], uint32_t, BayerPhase, uint32_t,
                                   const RgbLayout&, uint8_t*, DemosaicContext&);
template void demosaicRow<uint16_t>(DemosaicMethod, const uint16_t* const[5], uint32_t, BayerPhase, uint32_t,
                                    const RgbLayout&, uint16_t*, DemosaicContext&);

BilinearRow8 bilinearRow8Kernel(Isa isa, bool greenFirst, bool keyFirst, unsigned channels) {
    for (int level = static_cast<int>(isa); level > 0; --level)
        if (BilinearRow8 kernel = x86::bilinearRow8(static_cast<Isa>(level), greenFirst, keyFirst, channels))
            return kernel;
    return nullptr;
}

}  // namespace corvid2::img
