// SPDX-License-Identifier: BSD-3-Clause
// Conversion of camera images for the PNG writer with ImageProcessor.
#include "image_convert.h"

#include <corvid2_genicam.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace corvid2::tool {
namespace {

// The sample depth of a monochrome format ("Mono12p" -> 12), 0 for any other format.
unsigned monoDepth(const std::string& pixelFormat) {
    if (pixelFormat.rfind("Mono", 0) != 0) return 0;
    return static_cast<unsigned>(std::strtoul(pixelFormat.c_str() + 4, nullptr, 10));
}

}  // namespace

bool convertForPng(Image& image, std::string& why) {
    const unsigned depth = monoDepth(image.pixelFormat);
    const std::string target = depth == 0 ? "RGB8" : depth <= 8 ? "Mono8" : "Mono16";
    std::vector<std::uint8_t> converted;
    try {
        CORVID2::ImageProcessor processor;
        CORVID2::Image* source = processor.CreateImage(image.width, image.height, image.pixelFormat.c_str(),
                                                       image.bytes.data(), image.bytes.size());
        try {
            converted.resize(source->GetTransformBufferLength(target.c_str()));
            processor.TransformImageToBuffer(source, target.c_str(), converted.data(), converted.size());
        } catch (...) {
            source->Release();
            throw;
        }
        source->Release();
    } catch (const CORVID2::Exceptions::IException& error) {
        why = std::string(error.GetType().get()) + ": " + error.GetErrorDescription().get();
        return false;
    }
    image.bytes = std::move(converted);
    image.pixelFormat = target;
    if (depth > 8 && depth < 16) {
        // The library puts deep samples at the top of 16 bits; back at the bottom they are the
        // plain MonoN whose scaling to the PNG's 16 bits the writer knows.
        for (std::size_t at = 0; at + 1 < image.bytes.size(); at += 2) {
            std::uint16_t sample = 0;
            std::memcpy(&sample, image.bytes.data() + at, sizeof sample);
            sample = static_cast<std::uint16_t>(sample >> (16 - depth));
            std::memcpy(image.bytes.data() + at, &sample, sizeof sample);
        }
        image.pixelFormat = "Mono" + std::to_string(depth);
    }
    const PngFormat* format = pngFormatOf(image.pixelFormat);
    if (format == nullptr) {
        why = "no PNG form for " + image.pixelFormat;
        return false;
    }
    image.stride = image.width * format->bytesPerPixel;
    return true;
}

}  // namespace corvid2::tool
