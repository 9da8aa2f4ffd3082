// SPDX-License-Identifier: BSD-3-Clause
// Changing an image's size: bilinear scaling of displayable formats, and block-mean downsampling of any format.
#pragma once

#include <cstdint>

#include "corvid2_img/corvid2_img.h"
#include "image_view.h"

namespace corvid2::img {

/// The format that scaling works in for a source format: the source's own when it is a conversion target,
/// otherwise RGB8 / RGB16 (colour) or Mono8 / Mono16 (grey), 16 bits for sources deeper than 8.
const PixelFormat& scalingFormat(const PixelFormat& source);

/// Size of a scaled image: round(size * factor), at least 1; false when it would exceed the pixel limit.
bool scaledSize(uint32_t width, uint32_t height, double sx, double sy, uint32_t* outWidth, uint32_t* outHeight);

/// Scales a source of a target format (scalingFormat(f) == f) to outWidth x outHeight into out.
void scaleImage(const ImageView& source, uint32_t outWidth, uint32_t outHeight, unsigned threads, uint8_t* out);

/// What Downsample delivers: the result's format and size, the region and the reduction factor.
struct DownsamplePlan {
    const PixelFormat* format = nullptr;
    uint32_t width = 0, height = 0;
    uint32_t x = 0, y = 0, regionWidth = 0, regionHeight = 0;
    uint32_t factor = 1;
};

/// Plans Downsample of the region (a width or height of 0 reaches the image's edge) into at most
/// maxWidth x maxHeight pixels. IMG_INVALID_PARAMETER for a region outside the image or too small, or a polarizer
/// region that does not start on a cell.
IMG_RESULT_CODES planDownsample(const ImageView& source, uint32_t x, uint32_t y, uint32_t width, uint32_t height,
                                uint32_t maxWidth, uint32_t maxHeight, DownsamplePlan* plan);

/// Each result pixel (mosaics: each sample of a result cell) is the rounded mean of the factor x factor pixels (or
/// same-position samples of cells) it stands for.
void downsampleImage(const ImageView& source, const DownsamplePlan& plan, unsigned threads, uint8_t* out);

}  // namespace corvid2::img
