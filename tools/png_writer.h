// SPDX-License-Identifier: BSD-3-Clause
// Writes one camera image as a PNG file, for the pixel formats that map onto PNG without
// interpretation (grey and RGB); everything else (Bayer mosaics, packed formats) is refused.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace corvid2::tool {

// An image as the camera delivered it: `height` rows of `stride` bytes, the first
// width x bytesPerPixel of each being pixels.
struct Image {
    std::vector<std::uint8_t> bytes;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::size_t stride = 0;
    std::string pixelFormat;  // the PFNC name, "Mono8", "RGB8", ...
};

// How a pixel format is stored in memory and in the PNG file; nullptr for a format that is not
// written as PNG.
struct PngFormat {
    const char* pixelFormat;
    std::size_t bytesPerPixel;  // in the camera's image
    unsigned significantBits;   // of each sample; the PNG scales them up to its bit depth
    const char* description;    // what the PNG file holds, for messages
};
const PngFormat* pngFormatOf(const std::string& pixelFormat);

// The pixel formats pngFormatOf knows, comma separated, for messages.
std::string pngPixelFormats();

// Writes `image` to `path`; returns an empty string on success, else why nothing usable was
// written (a partly written file is removed).
std::string writePng(const std::string& path, const Image& image);

}  // namespace corvid2::tool
