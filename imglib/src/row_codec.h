// SPDX-License-Identifier: BSD-3-Clause
// Rows in the common form the conversions work in (samples or R, G, B triples at the source's depth, in 8 or 16 bit),
// read from any source format and written to any target format.
#pragma once

#include <cstdint>
#include <vector>

#include "image_view.h"

namespace corvid2::img {

/// Row y of a single-component image (mono, Bayer, polarizer) as samples at the format's depth: a pointer into the
/// image where its storage already is that, else decoded into scratch (width entries). T = uint8_t needs 8 bits.
template <class T>
const T* sampleRow(const ImageView& image, uint32_t y, T* scratch);

/// Row y of an Rgb or Yuv422 image as R, G, B triples at the format's depth (4:2:2 images: 8 bits).
template <class T>
void colourRow(const ImageView& image, uint32_t y, T* rgb);

/// Writes `width` pixels of a grey row (values of `bits` bits) in the target format.
template <class T>
void encodeGrey(const T* grey, uint32_t width, unsigned bits, const PixelFormat& target, uint8_t* out);

/// Writes `width` pixels of an R, G, B row (values of `bits` bits) in the target format.
template <class T>
void encodeColour(const T* rgb, uint32_t width, unsigned bits, const PixelFormat& target, uint8_t* out);

/// Applies a 3 x 3 matrix to `width` pixels of `stride` components with red, green, blue at the given offsets,
/// clamping to 0 .. maxValue.
template <class T>
void applyColourMatrix(T* pixels, uint32_t width, unsigned stride, unsigned red, unsigned green, unsigned blue,
                       const float (&matrix)[3][3], uint32_t maxValue);

/// Grey value of an R, G, B triple: (77 R + 150 G + 29 B) / 256, rounded.
inline uint32_t greyOf(uint32_t r, uint32_t g, uint32_t b) { return (77 * r + 150 * g + 29 * b + 128) >> 8; }

/// Rows of a single-component image with the last few decoded kept, for filters that read neighbouring rows. A
/// pointer from row() stays valid while no more than `slots` other rows are asked for.
template <class T>
class CRowCache {
public:
    CRowCache(const ImageView& image, unsigned slots);
    const T* row(uint32_t y);

private:
    const ImageView& image_;
    std::vector<T> storage_;
    std::vector<uint32_t> rowOfSlot_;
    std::vector<uint64_t> lastUse_;
    uint64_t clock_ = 0;
};

}  // namespace corvid2::img
