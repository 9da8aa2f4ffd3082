// SPDX-License-Identifier: BSD-3-Clause
// Demosaicing of Bayer rows: bilinear and gradient-corrected (Malvar-He-Cutler) interpolation.
#pragma once

#include <cstdint>
#include <vector>

#include "cpu_features.h"
#include "pixel_format.h"

namespace corvid2::img {

enum class DemosaicMethod : uint32_t {
    Bilinear = 0,           ///< mean of the nearest samples of the missing colour (3 x 3)
    GradientCorrected = 1,  ///< bilinear corrected by the local gradient of the sampled colour (5 x 5)
};

/// Where the components of a colour row go: pixel stride and offsets of red, green and blue.
struct RgbLayout {
    uint8_t stride, red, green, blue;
};

constexpr RgbLayout kRgbLayout{3, 0, 1, 2};

/// Row index y + dy of an image of n rows (or columns), mirrored at the edges without repeating the edge
/// (-1 becomes 1, n becomes n - 2), which keeps the colour of a Bayer position.
inline uint32_t reflectIndex(int64_t i, uint32_t n) {
    if (i >= 0 && i < n) return static_cast<uint32_t>(i);
    if (n <= 1) return 0;
    // Within one reflection (all a filter reaches unless the image is tiny) without dividing.
    if (i < 0 && -i < n) return static_cast<uint32_t>(-i);
    if (i >= n && i < 2 * int64_t{n} - 1) return static_cast<uint32_t>(2 * (int64_t{n} - 1) - i);
    const int64_t period = 2 * (int64_t{n} - 1);
    i %= period;
    if (i < 0) i += period;
    return static_cast<uint32_t>(i < n ? i : period - i);
}

/// Working memory of demosaicRow, kept by the caller from row to row.
struct DemosaicContext {
    std::vector<int32_t> rows, first, second;
};

/// Demosaics one row of `width` samples. rows[0..4] are the rows y - 2 .. y + 2 (already mirrored at the image's
/// top and bottom; the bilinear method reads rows[1..3] only); rowPhase is the Bayer phase of row y's first two
/// samples. Writes red, green and blue of every pixel into out as layout says (other bytes of a pixel untouched);
/// values are clamped to maxValue.
template <class T>
void demosaicRow(DemosaicMethod method, const T* const rows[5], uint32_t width, BayerPhase rowPhase, uint32_t maxValue,
                 const RgbLayout& layout, T* out, DemosaicContext& context);

/// 8-bit bilinear row kernel with vector instructions. Demosaics whole vectors of pixels from x (even, at least 2)
/// on while a vector's reads stay below `width`, and returns the first pixel it did not do. greenFirst: the row's
/// even pixels are green; keyFirst: the row's own non-green colour goes to the first component of a pixel.
/// channels 3 writes three bytes per pixel, 4 also an alpha byte of 255.
using BilinearRow8 = uint32_t (*)(const uint8_t* up, const uint8_t* row, const uint8_t* down, uint32_t x,
                                  uint32_t width, uint8_t* out);

/// The kernel of that instruction set or the best below it; null for scalar.
BilinearRow8 bilinearRow8Kernel(Isa isa, bool greenFirst, bool keyFirst, unsigned channels);

namespace x86 {
BilinearRow8 bilinearRow8(Isa isa, bool greenFirst, bool keyFirst, unsigned channels);
}  // namespace x86

}  // namespace corvid2::img
