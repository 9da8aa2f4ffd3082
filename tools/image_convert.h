// SPDX-License-Identifier: BSD-3-Clause
// Turns a camera image of a format PNG has no form for (Bayer mosaics, packed and colour formats)
// into one the PNG writer takes, through the library's image processing.
#pragma once

#include <string>

#include "png_writer.h"

namespace corvid2::tool {

// Converts `image` in place: monochrome formats into the plain MonoN of their depth, everything else
// into RGB8. False with the reason in `why` when the image-processing library is missing or cannot
// convert the format.
bool convertForPng(Image& image, std::string& why);

}  // namespace corvid2::tool
