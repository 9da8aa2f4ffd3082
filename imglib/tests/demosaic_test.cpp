// SPDX-License-Identifier: BSD-3-Clause
// Demosaicing: flat colours stay flat, edges stay within bounds, hand-computed pixels, the simulator's colour ramp,
// and the vector kernels equal to the scalar code.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "cpu_features.h"
#include "demosaic.h"
#include "image_test_support.h"
#include "pixel_format.h"

namespace corvid2::img::test {
namespace {

enum Colour { kRed, kGreen, kBlue };

// Colour of (x, y) for a phase named by its first row ("RG", "GR", "GB", "BG").
Colour colourAt(const std::string& phase, uint32_t x, uint32_t y) {
    const bool firstRowHasRed = phase == "RG" || phase == "GR";
    const bool greenFirst = phase == "GR" || phase == "GB";
    const bool green = ((x + y) % 2 == 0) == greenFirst;
    if (green) return kGreen;
    return (y % 2 == 0) == firstRowHasRed ? kRed : kBlue;
}

// A mosaic sampled from an RGB picture given per pixel.
template <class Picture>
std::vector<uint16_t> mosaic(const std::string& phase, uint32_t width, uint32_t height, const Picture& picture) {
    std::vector<uint16_t> values(size_t{width} * height);
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x) values[size_t{y} * width + x] = picture(x, y)[colourAt(phase, x, y)];
    return values;
}

std::vector<uint8_t> bytesOf(const std::vector<uint16_t>& values, unsigned bits) {
    if (bits == 8) return std::vector<uint8_t>(values.begin(), values.end());
    return words(values);
}

void setDemosaicing(IImageProcessor* processor, uint32_t method) {
    const uint64_t length = 4;
    ASSERT_EQ(WritePort(processor, IMG_REG_DEMOSAICING_METHOD, &method, &length), IMG_SUCCESS);
}

const char* const kPhases[] = {"RG", "GR", "GB", "BG"};

// Rows and columns beyond the edges are mirrored without repeating the edge, so they keep their Bayer colour.
TEST(Demosaicing, MirroredIndicesKeepTheirParityAndStayInside) {
    EXPECT_EQ(reflectIndex(-1, 5), 1u);
    EXPECT_EQ(reflectIndex(-2, 5), 2u);
    EXPECT_EQ(reflectIndex(5, 5), 3u);
    EXPECT_EQ(reflectIndex(6, 5), 2u);
    EXPECT_EQ(reflectIndex(-2, 2), 0u);
    EXPECT_EQ(reflectIndex(3, 1), 0u);
    for (uint32_t n = 2; n < 7; ++n)
        for (int64_t i = -20; i < 20; ++i) {
            const uint32_t r = reflectIndex(i, n);
            EXPECT_LT(r, n) << i << " of " << n;
            EXPECT_EQ((int64_t{r} - i) % 2, 0) << i << " of " << n;
            if (i >= 0 && i < n) {
                EXPECT_EQ(r, static_cast<uint32_t>(i));
            }
        }
}

TEST(Demosaicing, FlatColourStaysFlatForEveryPhaseMethodDepthAndSize) {
    auto processor = makeProcessor();
    const std::pair<uint32_t, uint32_t> sizes[] = {{2, 2}, {3, 5}, {4, 3}, {7, 4}, {66, 9}, {67, 10}, {131, 3}};
    for (uint32_t method : {0u, 1u}) {
        setDemosaicing(processor.get(), method);
        for (const char* phase : kPhases)
            for (unsigned bits : {8u, 12u, 16u})
                for (const auto& [width, height] : sizes) {
                    const uint16_t rgb[3] = {static_cast<uint16_t>(0xC8C8u >> (16 - bits)),
                                             static_cast<uint16_t>(0x5A5Au >> (16 - bits)),
                                             static_cast<uint16_t>(0x1E1Eu >> (16 - bits))};
                    std::vector<uint8_t> bytes =
                        bytesOf(mosaic(phase, width, height, [&](uint32_t, uint32_t) { return rgb; }), bits);
                    const std::string format = "Bayer" + std::string(phase) + std::to_string(bits);
                    auto image = makeImage(format.c_str(), width, height, bytes);
                    const std::vector<uint8_t> out =
                        convert(processor.get(), image.get(), bits == 8 ? "RGB8" : "RGB16");
                    for (size_t i = 0; i < size_t{width} * height * 3; ++i) {
                        const uint32_t got = bits == 8 ? out[i] : word(out, i);
                        ASSERT_EQ(got, uint32_t{rgb[i % 3]} << (bits == 8 ? 0 : 16 - bits))
                            << format << " method " << method << " " << width << "x" << height << " @" << i;
                    }
                }
    }
}

TEST(Demosaicing, BilinearPixelsAreTheRoundedMeansOfTheirNeighbours) {
    auto processor = makeProcessor();
    // BayerRG8, 4 x 4:  R G R G / G B G B / R G R G / G B G B
    std::vector<uint8_t> raw = {10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 110, 120, 130, 140, 150, 161};
    auto image = makeImage("BayerRG8", 4, 4, raw);
    const std::vector<uint8_t> out = convert(processor.get(), image.get(), "RGB8");
    auto pixel = [&](uint32_t x, uint32_t y) {
        return std::vector<uint8_t>(out.begin() + (y * 4 + x) * 3, out.begin() + (y * 4 + x) * 3 + 3);
    };
    // (1,1) is blue 60: red from the diagonals (10 + 30 + 90 + 110 + 2) / 4, green from the cross (20+50+70+100+2)/4.
    EXPECT_EQ(pixel(1, 1), (std::vector<uint8_t>{60, 60, 60}));
    // (2,1) is green 70 on a blue row: blue from left and right (60 + 80 + 1) / 2, red from above and below.
    EXPECT_EQ(pixel(2, 1), (std::vector<uint8_t>{(30 + 110 + 1) / 2, 70, (60 + 80 + 1) / 2}));
    // (2,2) is red 110: green (100 + 120 + 70 + 150 + 2) / 4, blue (60 + 80 + 140 + 161 + 2) / 4.
    EXPECT_EQ(pixel(2, 2), (std::vector<uint8_t>{110, (100 + 120 + 70 + 150 + 2) / 4, (60 + 80 + 140 + 161 + 2) / 4}));
    // (0,0) is red at the corner: the mirrored neighbours are the pixel's own across the edge.
    EXPECT_EQ(pixel(0, 0), (std::vector<uint8_t>{10, (20 + 50 + 1) / 2, 60}));
}

// A step from one flat colour to another: bilinear results lie between the two; the gradient-corrected method may
// overshoot near the edge but is clamped, never wraps, and both are exact where the filter does not reach the edge.
TEST(Demosaicing, EdgesStayWithinBounds) {
    auto processor = makeProcessor();
    const uint16_t dark[3] = {0, 0, 0}, bright[3] = {65535, 65535, 65535};
    const uint16_t darkTint[3] = {20, 40, 60}, brightTint[3] = {220, 200, 180};
    const uint32_t width = 24, height = 12;
    for (uint32_t method : {0u, 1u}) {
        setDemosaicing(processor.get(), method);
        for (const char* phase : kPhases)
            for (bool vertical : {true, false}) {
                const uint32_t edge = vertical ? width / 2 : height / 2;
                auto indexOf = [&](uint32_t x, uint32_t y) { return vertical ? x : y; };
                auto step = [&](const uint16_t* low, const uint16_t* high) {
                    return [=](uint32_t x, uint32_t y) { return indexOf(x, y) < edge ? low : high; };
                };
                std::vector<uint8_t> tinted = bytesOf(mosaic(phase, width, height, step(darkTint, brightTint)), 8);
                auto image8 = makeImage(("Bayer" + std::string(phase) + "8").c_str(), width, height, tinted);
                const std::vector<uint8_t> out8 = convert(processor.get(), image8.get(), "RGB8");
                std::vector<uint8_t> full = bytesOf(mosaic(phase, width, height, step(dark, bright)), 16);
                auto image16 = makeImage(("Bayer" + std::string(phase) + "16").c_str(), width, height, full);
                const std::vector<uint8_t> out16 = convert(processor.get(), image16.get(), "RGB16");
                for (uint32_t y = 0; y < height; ++y)
                    for (uint32_t x = 0; x < width; ++x) {
                        const uint32_t index = indexOf(x, y);
                        const bool darkSide = index < edge;
                        const bool untouched = index + 3 <= edge || index >= edge + 2;  // filters reach 2 pixels
                        for (int c = 0; c < 3; ++c) {
                            const size_t i = (size_t{y} * width + x) * 3 + c;
                            const auto where = [&] {
                                return std::string(phase) + " method " + std::to_string(method) + " at " +
                                       std::to_string(x) + "," + std::to_string(y) + " channel " + std::to_string(c);
                            };
                            if (method == 0) {
                                EXPECT_GE(out8[i], std::min(darkTint[c], brightTint[c])) << where();
                                EXPECT_LE(out8[i], std::max(darkTint[c], brightTint[c])) << where();
                            }
                            if (untouched) {
                                EXPECT_EQ(out8[i], (darkSide ? darkTint : brightTint)[c]) << where();
                            }
                            // A value that wrapped around would land near the other end of the scale.
                            if (darkSide)
                                EXPECT_LE(word(out16, i), 49152) << where();
                            else
                                EXPECT_GE(word(out16, i), 16384) << where();
                        }
                    }
            }
    }
}

// The simulator's colour sensor sees R = level, G = level / 2, B = full - level over a horizontal ramp.
TEST(Demosaicing, SimulatorColourRampIsRecoveredAwayFromTheBorders) {
    auto processor = makeProcessor();
    const uint32_t width = 256, height = 8;
    auto truth = [&](uint32_t x) {
        const uint32_t level = x * 65535 / (width - 1);
        return std::array<uint16_t, 3>{static_cast<uint16_t>(level >> 8), static_cast<uint16_t>((level / 2) >> 8),
                                       static_cast<uint16_t>((65535 - level) >> 8)};
    };
    std::vector<uint8_t> raw = bytesOf(mosaic("RG", width, height, [&](uint32_t x, uint32_t) { return truth(x); }), 8);
    auto image = makeImage("BayerRG8", width, height, raw);
    for (uint32_t method : {0u, 1u}) {
        setDemosaicing(processor.get(), method);
        const std::vector<uint8_t> out = convert(processor.get(), image.get(), "RGB8");
        for (uint32_t y = 0; y < height; ++y)
            for (uint32_t x = 2; x + 2 < width; ++x)
                for (int c = 0; c < 3; ++c)
                    ASSERT_LE(std::abs(out[(size_t{y} * width + x) * 3 + c] - truth(x)[c]), 1)
                        << "method " << method << " " << x << "," << y << " channel " << c;
    }
}

TEST(Demosaicing, VectorKernelsGiveTheScalarResultForEveryPhaseLayoutAndWidth) {
    auto processor = makeProcessor();
    for (const char* phase : kPhases)
        for (uint32_t width : {2u, 5u, 35u, 36u, 67u, 68u, 69u, 100u, 131u, 132u, 133u, 200u, 259u})
            for (const char* target : {"RGB8", "BGR8", "RGBa8", "BGRa8"}) {
                const uint32_t height = 5;
                std::vector<uint8_t> raw = randomBytes(size_t{width} * height, width);
                auto image = makeImage(("Bayer" + std::string(phase) + "8").c_str(), width, height, raw);
                limitIsa(Isa::Scalar);
                const std::vector<uint8_t> scalar = convert(processor.get(), image.get(), target);
                for (Isa isa : {Isa::Sse42, Isa::Avx2, Isa::Avx512}) {
                    if (isa > detectedIsa()) continue;
                    limitIsa(isa);
                    ASSERT_EQ(convert(processor.get(), image.get(), target), scalar)
                        << isaName(isa) << " " << phase << " width " << width << " " << target;
                }
                limitIsa(Isa::Avx512);
            }
}

TEST(Demosaicing, GradientCorrectedGivesTheSameResultOnEveryInstructionSet) {
    auto processor = makeProcessor();
    setDemosaicing(processor.get(), 1);
    for (unsigned bits : {8u, 16u})
        for (uint32_t width : {5u, 6u, 37u, 70u, 133u}) {
            const uint32_t height = 6;
            std::vector<uint8_t> raw = randomBytes(size_t{width} * height * (bits / 8), width + bits);
            const std::string format = "BayerGB" + std::to_string(bits);
            auto image = makeImage(format.c_str(), width, height, raw);
            limitIsa(Isa::Scalar);
            const std::vector<uint8_t> scalar = convert(processor.get(), image.get(), "RGB16");
            for (Isa isa : {Isa::Sse42, Isa::Avx2, Isa::Avx512}) {
                if (isa > detectedIsa()) continue;
                limitIsa(isa);
                ASSERT_EQ(convert(processor.get(), image.get(), "RGB16"), scalar)
                    << isaName(isa) << " " << format << " width " << width;
            }
            limitIsa(Isa::Avx512);
        }
}

}  // namespace
}  // namespace corvid2::img::test
