// SPDX-License-Identifier: BSD-3-Clause
// What the image-library tests share: owning handles of library objects, conversions in one call, and packers that
// write the PFNC and GigE Vision layouts independently of the library's readers.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "corvid2_img/corvid2_img.h"

namespace corvid2::img::test {

struct ImageDeleter {
    void operator()(IImage* image) const { EXPECT_EQ(ImageRelease(image), IMG_SUCCESS); }
};
struct ProcessorDeleter {
    void operator()(IImageProcessor* processor) const { EXPECT_EQ(ImageProcessorRelease(processor), IMG_SUCCESS); }
};
using ImagePtr = std::unique_ptr<IImage, ImageDeleter>;
using ProcessorPtr = std::unique_ptr<IImageProcessor, ProcessorDeleter>;

/// An image over `pixels` (which must outlive it); fails the test when the library refuses it.
inline ImagePtr makeImage(const char* format, uint32_t width, uint32_t height, std::vector<uint8_t>& pixels) {
    IImage* image = nullptr;
    EXPECT_EQ(ImageCreate(width, height, format, pixels.data(), pixels.size(), &image), IMG_SUCCESS) << format;
    return ImagePtr(image);
}

/// An image with memory of its own.
inline ImagePtr makeOwnImage(const char* format, uint32_t width, uint32_t height) {
    IImage* image = nullptr;
    EXPECT_EQ(ImageCreate(width, height, format, nullptr, 0, &image), IMG_SUCCESS) << format;
    return ImagePtr(image);
}

inline ProcessorPtr makeProcessor() {
    IImageProcessor* processor = nullptr;
    EXPECT_EQ(ImageProcessorCreate(&processor), IMG_SUCCESS);
    return ProcessorPtr(processor);
}

/// The converted pixels of the image in `format`, through TransformImageToBuffer.
inline std::vector<uint8_t> convert(IImageProcessor* processor, IImage* image, const char* format) {
    uint64_t length = 0;
    EXPECT_EQ(image->GetTransformedBufferSize(format, &length), IMG_SUCCESS) << format;
    std::vector<uint8_t> out(length);
    EXPECT_EQ(processor->TransformImageToBuffer(image, format, out.data(), out.size()), IMG_SUCCESS) << format;
    return out;
}

inline std::string pixelFormatOf(const IImage* image) {
    char name[64] = {};
    uint64_t size = sizeof name;
    EXPECT_EQ(image->GetPixelFormat(name, &size), IMG_SUCCESS);
    return name;
}

inline std::vector<uint8_t> pixelsOf(const IImage* image) {
    void* data = nullptr;
    uint64_t length = 0;
    EXPECT_EQ(image->GetBuffer(&data), IMG_SUCCESS);
    EXPECT_EQ(image->GetLength(&length), IMG_SUCCESS);
    const auto* bytes = static_cast<const uint8_t*>(data);
    return std::vector<uint8_t>(bytes, bytes + length);
}

inline uint32_t sizeOf(const IImage* image, bool height) {
    uint32_t value = 0;
    EXPECT_EQ(height ? image->GetHeight(&value) : image->GetWidth(&value), IMG_SUCCESS);
    return value;
}

inline uint16_t word(const std::vector<uint8_t>& bytes, size_t index) {
    return static_cast<uint16_t>(bytes[2 * index] | bytes[2 * index + 1] << 8);
}

inline std::vector<uint8_t> words(const std::vector<uint16_t>& values) {
    std::vector<uint8_t> bytes;
    for (uint16_t v : values) {
        bytes.push_back(static_cast<uint8_t>(v));
        bytes.push_back(static_cast<uint8_t>(v >> 8));
    }
    return bytes;
}

/// PFNC "p" packing: one LSB-first bit stream.
inline std::vector<uint8_t> packLsb(const std::vector<uint16_t>& values, unsigned bits) {
    std::vector<uint8_t> bytes((values.size() * bits + 7) / 8, 0);
    for (size_t i = 0; i < values.size(); ++i)
        for (unsigned b = 0; b < bits; ++b)
            if ((values[i] >> b) & 1) {
                const size_t bit = i * bits + b;
                bytes[bit / 8] |= static_cast<uint8_t>(1u << (bit % 8));
            }
    return bytes;
}

/// GigE Vision 10Packed / 12Packed: two pixels in three bytes, high bits in the outer bytes.
inline std::vector<uint8_t> packGigE(const std::vector<uint16_t>& values, unsigned bits) {
    std::vector<uint8_t> bytes((values.size() + 1) / 2 * 3, 0);
    const unsigned low = bits - 8;
    for (size_t i = 0; i < values.size(); ++i) {
        uint8_t* pair = &bytes[i / 2 * 3];
        const uint16_t v = values[i];
        const auto lowBits = static_cast<uint8_t>(v & ((1u << low) - 1));
        if (i % 2 == 0) {
            pair[0] = static_cast<uint8_t>(v >> low);
            pair[1] |= lowBits;
        } else {
            pair[2] = static_cast<uint8_t>(v >> low);
            pair[1] |= static_cast<uint8_t>(lowBits << 4);
        }
    }
    return bytes;
}

inline std::vector<uint16_t> randomValues(size_t count, unsigned bits, uint32_t seed) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<uint32_t> value(0, (1u << bits) - 1);
    std::vector<uint16_t> values(count);
    for (uint16_t& v : values) v = static_cast<uint16_t>(value(random));
    return values;
}

inline std::vector<uint8_t> randomBytes(size_t count, uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<uint8_t> bytes(count);
    for (uint8_t& b : bytes) b = static_cast<uint8_t>(random());
    return bytes;
}

}  // namespace corvid2::img::test
