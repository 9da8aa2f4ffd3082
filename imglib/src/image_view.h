// SPDX-License-Identifier: BSD-3-Clause
// A read-only look at an image's pixels, what the processing functions take.
#pragma once

#include <cstdint>

#include "pixel_format.h"

namespace corvid2::img {

/// An image's format, size and pixel memory; `bytes` is what the format needs for that size (the memory may be
/// larger). Processing reads nothing beyond data + bytes.
struct ImageView {
    const PixelFormat* format = nullptr;
    uint32_t width = 0;
    uint32_t height = 0;
    const uint8_t* data = nullptr;
    uint64_t bytes = 0;

    uint64_t pixels() const { return uint64_t{width} * height; }
};

}  // namespace corvid2::img
