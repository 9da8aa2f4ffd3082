// SPDX-License-Identifier: BSD-3-Clause
// Polarization components of the simulator's mosaic against values computed by hand for known angles and degrees,
// the calibration matrices and angle offset, interpolation, the colour planes and the failures.
#include <gtest/gtest.h>

#include <cmath>

#include "image_test_support.h"

namespace corvid2::img::test {
namespace {

constexpr double kPi = 3.14159265358979323846;

/// Light of one polarizer cell.
struct Light {
    double intensity, angleDegrees, degree;
};

// Filters of a cell as the simulator arranges them: 90 and 45 degrees on the first row, 135 and 0 on the second.
const double kFilterDegrees[2][2] = {{90, 45}, {135, 0}};

/// The simulator's polarization scene: pixel = intensity / 2 * (1 + degree * cos(2 (angle - filter))), in full scale.
std::vector<uint16_t> polarizedMosaic(const std::vector<Light>& cells, uint32_t cellsWide, unsigned bits) {
    const uint32_t width = cellsWide * 2, height = static_cast<uint32_t>(cells.size() / cellsWide) * 2;
    const double full = (1u << bits) - 1;
    std::vector<uint16_t> values(size_t{width} * height);
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x) {
            const Light& l = cells[(y / 2) * cellsWide + x / 2];
            const double filter = kFilterDegrees[y % 2][x % 2] * kPi / 180;
            const double level = l.intensity / 2 * (1 + l.degree * std::cos(2 * (l.angleDegrees * kPi / 180 - filter)));
            values[size_t{y} * width + x] = static_cast<uint16_t>(std::lround(level * full));
        }
    return values;
}

ImagePtr component(IImage* raw, uint32_t which, IImageProcessor* processor = nullptr) {
    auto result = makeOwnImage("Mono8", 1, 1);
    EXPECT_EQ(raw->EnableComponent(which, true), IMG_SUCCESS);
    EXPECT_EQ(raw->GetComponent(which, processor, result.get()), IMG_SUCCESS) << which;
    return result;
}

// Distance of two angles in steps of a range that wraps at `steps`.
double angleDistance(double a, double b, double steps) {
    const double d = std::fabs(a - b);
    return std::min(d, steps - d);
}

uint32_t valueAt(const IImage* image, size_t index) {
    const std::vector<uint8_t> pixels = pixelsOf(image);
    return pixelFormatOf(image) == "Mono8" ? pixels[index] : word(pixels, index);
}

const std::vector<Light> kKnownLights = {
    {0.8, 0, 0.2},    {0.8, 22.5, 0.5}, {0.8, 45, 1.0},  {0.6, 90, 0.7},
    {0.5, 135, 0.35}, {0.9, 170, 0.9},  {0.4, 60, 0.25}, {0.7, 112.5, 0.6},
};

TEST(Polarization, IntensityAngleAndDegreeMatchTheHandComputedValuesOfKnownCells) {
    std::vector<uint8_t> raw = words(polarizedMosaic(kKnownLights, 4, 12));
    auto mosaic = makeImage("VelmorPolarized12", 8, 4, raw);
    auto intensity = component(mosaic.get(), IMG_COMPONENT_INTENSITY);
    auto aop = component(mosaic.get(), IMG_COMPONENT_AOP);
    auto dolp = component(mosaic.get(), IMG_COMPONENT_DOLP);
    auto pol = component(mosaic.get(), IMG_COMPONENT_POL);
    auto polMax = component(mosaic.get(), IMG_COMPONENT_POLMAX);
    EXPECT_EQ(pixelFormatOf(intensity.get()), "Mono12");
    EXPECT_EQ(sizeOf(intensity.get(), false), 4u);
    EXPECT_EQ(sizeOf(intensity.get(), true), 2u);
    for (size_t cell = 0; cell < kKnownLights.size(); ++cell) {
        const Light& l = kKnownLights[cell];
        // Rounding each sample to 12 bits moves the results by at most a few steps.
        EXPECT_NEAR(valueAt(intensity.get(), cell), l.intensity * 4095, 1.0) << "cell " << cell;
        EXPECT_NEAR(valueAt(dolp.get(), cell), l.degree * 4095, 3.0) << "cell " << cell;
        EXPECT_NEAR(valueAt(pol.get(), cell), l.degree * l.intensity * 4095, 2.0) << "cell " << cell;
        EXPECT_NEAR(valueAt(polMax.get(), cell), (1 + l.degree) * l.intensity / 2 * 4095, 2.0) << "cell " << cell;
        // Angles: 4096 steps over 180 degrees.
        EXPECT_LE(angleDistance(valueAt(aop.get(), cell), l.angleDegrees / 180 * 4096, 4096), 4.0) << "cell " << cell;
    }
}

TEST(Polarization, AngleImagesAreTheRawSamplesBehindEachFilter) {
    const std::vector<uint16_t> values = randomValues(8 * 6, 8, 4);
    std::vector<uint8_t> raw(values.begin(), values.end());
    auto mosaic = makeImage("VelmorPolarized8", 8, 6, raw);
    // Filter positions within a cell: 0 degrees at (1, 1), 45 at (1, 0), 90 at (0, 0), 135 at (0, 1).
    const std::pair<uint32_t, std::pair<uint32_t, uint32_t>> filters[] = {{IMG_COMPONENT_POL0, {1, 1}},
                                                                          {IMG_COMPONENT_POL45, {1, 0}},
                                                                          {IMG_COMPONENT_POL90, {0, 0}},
                                                                          {IMG_COMPONENT_POL135, {0, 1}}};
    for (const auto& [which, at] : filters) {
        auto image = component(mosaic.get(), which);
        const std::vector<uint8_t> got = pixelsOf(image.get());
        ASSERT_EQ(got.size(), 12u);
        for (uint32_t cy = 0; cy < 3; ++cy)
            for (uint32_t cx = 0; cx < 4; ++cx)
                EXPECT_EQ(got[cy * 4 + cx], raw[(2 * cy + at.second) * 8 + 2 * cx + at.first]) << which;
    }
}

TEST(Polarization, CalibrationMatrixAndAngleOffsetOfTheProcessorApply) {
    std::vector<uint8_t> raw = words(polarizedMosaic({{0.4, 30, 0.8}}, 1, 12));
    auto mosaic = makeImage("VelmorPolarized12", 2, 2, raw);
    auto processor = makeProcessor();
    // S0 from the sum of all four instead of half of it: twice the intensity.
    for (uint32_t column = 0; column < 4; ++column)
        ASSERT_EQ(processor->SetMatrixElement(IMG_MATRIX_POLARIZATION, 0, column, 1.0), IMG_SUCCESS);
    ASSERT_EQ(processor->SetMatrixElement(IMG_MATRIX_POLARIZATION_ANGLE_OFFSET, 0, 0, 160.0), IMG_SUCCESS);
    EXPECT_NEAR(valueAt(component(mosaic.get(), IMG_COMPONENT_INTENSITY, processor.get()).get(), 0), 0.8 * 4095, 1);
    // 30 + 160 = 190 degrees, which is 10 degrees.
    EXPECT_LE(angleDistance(valueAt(component(mosaic.get(), IMG_COMPONENT_AOP, processor.get()).get(), 0),
                            10.0 / 180 * 4096, 4096),
              4.0);
    // Without a processor the default calibration holds.
    EXPECT_NEAR(valueAt(component(mosaic.get(), IMG_COMPONENT_INTENSITY).get(), 0), 0.4 * 4095, 1);
    double value = 0;
    EXPECT_EQ(processor->GetMatrixElement(IMG_MATRIX_POLARIZATION, 1, 2, &value), IMG_SUCCESS);
    EXPECT_EQ(value, -1.0) << "S1 = I0 - I90 by default";
    EXPECT_EQ(processor->SetMatrixElement(IMG_MATRIX_POLARIZATION, 9, 0, 1.0), IMG_INVALID_PARAMETER);
    EXPECT_EQ(processor->SetMatrixElement(IMG_MATRIX_POLARIZATION, 0, 4, 1.0), IMG_INVALID_PARAMETER);
    EXPECT_EQ(processor->SetMatrixElement(IMG_MATRIX_POLARIZATION_ANGLE_OFFSET, 0, 0, 400.0), IMG_INVALID_PARAMETER);
    EXPECT_EQ(processor->SetMatrixElement(IMG_MATRIX_POLARIZATION_ANGLE_OFFSET, 0, 1, 1.0), IMG_INVALID_PARAMETER);
}

TEST(Polarization, InterpolatedComponentsHaveFullResolutionAndAgreeOnAUniformScene) {
    std::vector<uint8_t> raw = words(polarizedMosaic(std::vector<Light>(12, {0.6, 75, 0.5}), 4, 12));
    auto mosaic = makeImage("VelmorPolarized12", 8, 6, raw);
    const uint32_t cellValue = valueAt(component(mosaic.get(), IMG_COMPONENT_DOLP).get(), 0);
    ASSERT_EQ(mosaic->EnableInterpolation(true), IMG_SUCCESS);
    auto dolp = component(mosaic.get(), IMG_COMPONENT_DOLP);
    ASSERT_EQ(sizeOf(dolp.get(), false), 8u);
    ASSERT_EQ(sizeOf(dolp.get(), true), 6u);
    for (size_t i = 0; i < 48; ++i) EXPECT_EQ(valueAt(dolp.get(), i), cellValue) << i;
}

TEST(Polarization, AdolpShowsTheAngleAsHueAndTheDegreeAsBrightness) {
    std::vector<uint8_t> raw = words(polarizedMosaic({{0.8, 0, 1.0}, {0.8, 60, 1.0}, {0.8, 120, 0.5}}, 3, 12));
    auto mosaic = makeImage("VelmorPolarized12", 6, 2, raw);
    auto adolp = component(mosaic.get(), IMG_COMPONENT_ADOLP);
    EXPECT_EQ(pixelFormatOf(adolp.get()), "RGB8");
    const std::vector<uint8_t> rgb = pixelsOf(adolp.get());
    auto near = [](std::vector<uint8_t> got, std::vector<int> want) {
        for (int c = 0; c < 3; ++c) EXPECT_NEAR(got[c], want[c], 2) << "component " << c;
    };
    near({rgb.begin(), rgb.begin() + 3}, {255, 0, 0});      // 0 degrees: red
    near({rgb.begin() + 3, rgb.begin() + 6}, {0, 255, 0});  // 60 degrees: hue 120, green
    near({rgb.begin() + 6, rgb.begin() + 9}, {0, 0, 128});  // 120 degrees: hue 240, blue at half brightness
}

// A colour sensor: 2 x 2 polarizer cells under a Bayer RG arrangement of cells (4 x 4 super-cells).
TEST(Polarization, ColourPlanesCarryTheirCellsAndTheirChannelsCalibration) {
    std::vector<uint8_t> raw(8 * 8);
    for (uint32_t y = 0; y < 8; ++y)
        for (uint32_t x = 0; x < 8; ++x) {
            const uint32_t cellColour = (y / 2 % 2) * 2 + (x / 2 % 2);  // 0 red, 1 and 2 green, 3 blue
            raw[y * 8 + x] = static_cast<uint8_t>(cellColour * 20 + (y % 2) * 2 + (x % 2) + (y / 4) * 8 + (x / 4) * 4);
        }
    auto mosaic = makeImage("VelmorPolarized8", 8, 8, raw);
    auto red = component(mosaic.get(), IMG_COMPONENT_PLANE_RED);
    auto green = component(mosaic.get(), IMG_COMPONENT_PLANE_GREEN);
    auto blue = component(mosaic.get(), IMG_COMPONENT_PLANE_BLUE);
    EXPECT_EQ(pixelFormatOf(red.get()), "VelmorPolarized8");
    ASSERT_EQ(sizeOf(red.get(), false), 4u);
    for (uint32_t y = 0; y < 4; ++y)
        for (uint32_t x = 0; x < 4; ++x) {
            const uint32_t base = (y % 2) * 2 + (x % 2) + (y / 2) * 8 + (x / 2) * 4;
            EXPECT_EQ(pixelsOf(red.get())[y * 4 + x], base);
            EXPECT_EQ(pixelsOf(green.get())[y * 4 + x], base + 30) << "the mean of 20 and 40 above the base";
            EXPECT_EQ(pixelsOf(blue.get())[y * 4 + x], base + 60);
        }

    // The green plane uses the green channel's matrix: make only that one double the intensity.
    auto processor = makeProcessor();
    for (uint32_t column = 0; column < 4; ++column)
        ASSERT_EQ(processor->SetMatrixElement(IMG_MATRIX_POLARIZATION, 3, column, 1.0), IMG_SUCCESS);
    const uint32_t redIntensity = valueAt(component(red.get(), IMG_COMPONENT_INTENSITY, processor.get()).get(), 0);
    const uint32_t greenIntensity = valueAt(component(green.get(), IMG_COMPONENT_INTENSITY, processor.get()).get(), 0);
    EXPECT_EQ(redIntensity, 3u);                         // half the sum of the red cell's 0, 1, 2, 3
    EXPECT_EQ(greenIntensity, 30u * 4 + 0 + 1 + 2 + 3);  // the whole sum of the green cell's 30 to 33
}

TEST(Polarization, PlanesBecomeOneColourImage) {
    std::vector<uint8_t> r = {1, 2, 3, 4}, g = {10, 20, 30, 40}, b = {100, 110, 120, 130};
    auto red = makeImage("Mono8", 2, 2, r), green = makeImage("Mono8", 2, 2, g), blue = makeImage("Mono8", 2, 2, b);
    auto colour = makeOwnImage("Mono8", 1, 1);
    ASSERT_EQ(colour->FromPlanes(red.get(), green.get(), blue.get()), IMG_SUCCESS);
    EXPECT_EQ(pixelFormatOf(colour.get()), "RGB8");
    EXPECT_EQ(pixelsOf(colour.get()), (std::vector<uint8_t>{1, 10, 100, 2, 20, 110, 3, 30, 120, 4, 40, 130}));
    std::vector<uint8_t> deep = words({0x0FFF, 1});
    auto twelve = makeImage("Mono12", 2, 1, deep);
    auto deepColour = makeOwnImage("Mono8", 1, 1);
    ASSERT_EQ(deepColour->FromPlanes(twelve.get(), twelve.get(), twelve.get()), IMG_SUCCESS);
    EXPECT_EQ(pixelFormatOf(deepColour.get()), "RGB12");
    std::vector<uint8_t> small = {1, 2};
    auto odd = makeImage("Mono8", 2, 1, small);
    EXPECT_EQ(colour->FromPlanes(red.get(), odd.get(), blue.get()), IMG_INVALID_PARAMETER);
    EXPECT_EQ(colour->FromPlanes(red.get(), nullptr, blue.get()), IMG_INVALID_PARAMETER);
    EXPECT_EQ(colour->FromPlanes(colour.get(), colour.get(), colour.get()), IMG_UNSUPPORTED_CONVERSION);
}

TEST(Polarization, ComponentsThatCannotBeComputedAreRefused) {
    std::vector<uint8_t> raw(16, 100);
    auto mosaic = makeImage("VelmorPolarized8", 4, 4, raw);
    auto target = makeOwnImage("Mono8", 1, 1);
    EXPECT_EQ(mosaic->GetComponent(IMG_COMPONENT_DOLP, nullptr, target.get()), IMG_NOT_AVAILABLE);
    ASSERT_EQ(mosaic->EnableComponent(IMG_COMPONENT_DOLP, true), IMG_SUCCESS);
    EXPECT_EQ(mosaic->GetComponent(IMG_COMPONENT_DOLP, nullptr, target.get()), IMG_SUCCESS);
    ASSERT_EQ(mosaic->EnableComponent(IMG_COMPONENT_DOLP, false), IMG_SUCCESS);
    EXPECT_EQ(mosaic->GetComponent(IMG_COMPONENT_DOLP, nullptr, target.get()), IMG_NOT_AVAILABLE);
    EXPECT_EQ(mosaic->EnableComponent(0, true), IMG_INVALID_PARAMETER);
    EXPECT_EQ(mosaic->EnableComponent(16, true), IMG_INVALID_PARAMETER);
    ASSERT_EQ(mosaic->EnableComponent(IMG_COMPONENT_AOP, true), IMG_SUCCESS);
    EXPECT_EQ(mosaic->GetComponent(IMG_COMPONENT_AOP, nullptr, nullptr), IMG_INVALID_PARAMETER);

    std::vector<uint8_t> grey(16, 100);
    auto plain = makeImage("Mono8", 4, 4, grey);
    ASSERT_EQ(plain->EnableComponent(IMG_COMPONENT_AOP, true), IMG_SUCCESS);
    EXPECT_EQ(plain->GetComponent(IMG_COMPONENT_AOP, nullptr, target.get()), IMG_UNSUPPORTED_CONVERSION);

    std::vector<uint8_t> one(2, 100);
    auto thin = makeImage("VelmorPolarized8", 2, 1, one);
    ASSERT_EQ(thin->EnableComponent(IMG_COMPONENT_AOP, true), IMG_SUCCESS);
    EXPECT_EQ(thin->GetComponent(IMG_COMPONENT_AOP, nullptr, target.get()), IMG_INVALID_PARAMETER);
    std::vector<uint8_t> three(9, 1);
    auto small = makeImage("VelmorPolarized8", 3, 3, three);
    ASSERT_EQ(small->EnableComponent(IMG_COMPONENT_PLANE_RED, true), IMG_SUCCESS);
    EXPECT_EQ(small->GetComponent(IMG_COMPONENT_PLANE_RED, nullptr, target.get()), IMG_INVALID_PARAMETER);
}

}  // namespace
}  // namespace corvid2::img::test
