// SPDX-License-Identifier: BSD-3-Clause
// Pixel-format conversion of whole images into the target formats, split among threads.
#pragma once

#include <cstdint>

#include "corvid2_img/corvid2_img.h"
#include "demosaic.h"
#include "image_view.h"

namespace corvid2::img {

/// The processor settings a conversion uses.
struct ConversionSettings {
    DemosaicMethod demosaic = DemosaicMethod::Bilinear;
    bool colourMatrixEnabled = false;
    float colourMatrix[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    unsigned threads = 1;
};

/// Whether images of `source` can be converted into `target` (IMG_SUCCESS) or not (IMG_UNSUPPORTED_CONVERSION).
IMG_RESULT_CODES checkConversion(const PixelFormat& source, const PixelFormat& target);

/// Converts the source into `out`, which holds imageBytes(target, width, height) bytes and does not overlap the
/// source's pixels. The conversion must be supported (checkConversion).
void convertImage(const ImageView& source, const PixelFormat& target, uint8_t* out, const ConversionSettings& settings);

/// Rows per part below which splitting a loop over an image among threads costs more than it gains.
uint32_t minRowsPerPart(uint32_t width);

}  // namespace corvid2::img
