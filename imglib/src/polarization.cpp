// SPDX-License-Identifier: BSD-3-Clause
// Polarization components, computed cell by cell or, interpolated, pixel by pixel.
#include "polarization.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "converter.h"
#include "demosaic.h"
#include "row_codec.h"
#include "thread_pool.h"

namespace corvid2::img {

namespace {

constexpr double kPi = 3.14159265358979323846;

bool isPlane(uint32_t component) { return component >= IMG_COMPONENT_PLANE_RED; }

/// Writes component values of one output row in the result's storage.
class CRowWriter {
public:
    CRowWriter(uint8_t* row, unsigned bits) : row_(row), bits_(bits) {}
    void put(uint32_t x, uint32_t value) const {
        if (bits_ == 8) {
            row_[x] = static_cast<uint8_t>(value);
        } else {
            row_[2 * x] = static_cast<uint8_t>(value);
            row_[2 * x + 1] = static_cast<uint8_t>(value >> 8);
        }
    }
    void putRgb(uint32_t x, const uint8_t* rgb) const { std::memcpy(row_ + 3 * size_t{x}, rgb, 3); }

private:
    uint8_t* row_;
    unsigned bits_;
};

/// Turns the four filter intensities of one position into a component value.
class CComponentValue {
public:
    CComponentValue(uint32_t component, unsigned bits, const double (&matrix)[3][4], double angleOffsetDegrees)
        : component_(component),
          maxValue_((1u << bits) - 1),
          matrix_(matrix),
          offset_(angleOffsetDegrees * kPi / 180) {}

    uint32_t operator()(const double (&intensity)[4]) const {
        if (component_ >= IMG_COMPONENT_POL0 && component_ <= IMG_COMPONENT_POL135)
            return level(intensity[component_ - IMG_COMPONENT_POL0]);
        double s[3];
        for (int row = 0; row < 3; ++row)
            s[row] = matrix_[row][0] * intensity[0] + matrix_[row][1] * intensity[1] + matrix_[row][2] * intensity[2] +
                     matrix_[row][3] * intensity[3];
        const double linear = std::sqrt(s[1] * s[1] + s[2] * s[2]);
        const double polarized = std::min(linear, std::max(s[0], 0.0));  // no more polarized light than light
        switch (component_) {
            case IMG_COMPONENT_INTENSITY:
                return level(s[0]);
            case IMG_COMPONENT_POL:
                return level(polarized);
            case IMG_COMPONENT_UNPOL:
                return level(s[0] - polarized);
            case IMG_COMPONENT_POLMIN:
                return level((s[0] - polarized) / 2);
            case IMG_COMPONENT_POLMAX:
                return level((s[0] + polarized) / 2);
            case IMG_COMPONENT_DOLP:
                return level(degree(s, linear) * maxValue_);
            case IMG_COMPONENT_AOP: {
                // 180 degrees wrap onto 0: the range is divided into maxValue + 1 steps.
                const double steps = static_cast<double>(maxValue_) + 1;
                return static_cast<uint32_t>(std::llround(angle(s) / kPi * steps)) % (maxValue_ + 1);
            }
            default:
                return 0;
        }
    }

    /// The ADOLP picture: hue from the angle, brightness from the degree, full saturation.
    void adolp(const double (&intensity)[4], uint8_t* rgb) const {
        double s[3];
        for (int row = 0; row < 3; ++row)
            s[row] = matrix_[row][0] * intensity[0] + matrix_[row][1] * intensity[1] + matrix_[row][2] * intensity[2] +
                     matrix_[row][3] * intensity[3];
        const double value = degree(s, std::sqrt(s[1] * s[1] + s[2] * s[2])) * 255;
        const double hue = angle(s) / kPi * 6;  // six sectors of 60 degrees of hue over 180 degrees of angle
        const int sector = std::min(5, static_cast<int>(hue));
        const double rising = value * (hue - sector), falling = value - rising;
        double r = 0, g = 0, b = 0;
        switch (sector) {
            case 0:
                r = value, g = rising;
                break;
            case 1:
                r = falling, g = value;
                break;
            case 2:
                g = value, b = rising;
                break;
            case 3:
                g = falling, b = value;
                break;
            case 4:
                r = rising, b = value;
                break;
            default:
                r = value, b = falling;
                break;
        }
        rgb[0] = static_cast<uint8_t>(std::lround(r));
        rgb[1] = static_cast<uint8_t>(std::lround(g));
        rgb[2] = static_cast<uint8_t>(std::lround(b));
    }

private:
    uint32_t level(double v) const {
        if (!(v > 0)) return 0;
        return static_cast<uint32_t>(std::min<double>(maxValue_, std::floor(v + 0.5)));
    }
    static double degree(const double (&s)[3], double linear) { return s[0] > 0 ? std::min(1.0, linear / s[0]) : 0; }
    // In [0, pi).
    double angle(const double (&s)[3]) const {
        double a = 0.5 * std::atan2(s[2], s[1]) + offset_;
        a = std::fmod(a, kPi);
        if (a < 0) a += kPi;
        return a >= kPi ? 0 : a;
    }

    uint32_t component_;
    uint32_t maxValue_;
    const double (&matrix_)[3][4];
    double offset_;
};

// One value per cell: output row j comes from raw rows 2j and 2j + 1.
void cellRows(const ImageView& raw, const CComponentValue& value, bool adolp, uint8_t* out, uint32_t outWidth,
              uint64_t outRowBytes, uint32_t j0, uint32_t j1) {
    std::vector<uint16_t> scratch(size_t{raw.width} * 2);
    for (uint32_t j = j0; j < j1; ++j) {
        const uint16_t* rows[2] = {sampleRow<uint16_t>(raw, 2 * j, scratch.data()),
                                   sampleRow<uint16_t>(raw, 2 * j + 1, scratch.data() + raw.width)};
        const CRowWriter writer(out + j * outRowBytes, raw.format->bits);
        double intensity[4];
        uint8_t rgb[3];
        for (uint32_t i = 0; i < outWidth; ++i) {
            for (int a = 0; a < 4; ++a) intensity[a] = rows[kFilterRow[a]][2 * i + kFilterColumn[a]];
            if (adolp) {
                value.adolp(intensity, rgb);
                writer.putRgb(i, rgb);
            } else {
                writer.put(i, value(intensity));
            }
        }
    }
}

// Every pixel: each filter's intensity is its own sample or the mean of its nearest two or four samples.
void interpolatedRows(const ImageView& raw, const CComponentValue& value, bool adolp, uint8_t* out,
                      uint64_t outRowBytes, uint32_t y0, uint32_t y1) {
    const uint32_t width = raw.width, height = raw.height;
    CRowCache<uint16_t> cache(raw, 4);
    for (uint32_t y = y0; y < y1; ++y) {
        const uint16_t* rows[3];
        for (int k = -1; k <= 1; ++k) rows[k + 1] = cache.row(reflectIndex(int64_t{y} + k, height));
        const CRowWriter writer(out + y * outRowBytes, raw.format->bits);
        double intensity[4];
        uint8_t rgb[3];
        for (uint32_t x = 0; x < width; ++x) {
            const uint32_t left = reflectIndex(int64_t{x} - 1, width), right = reflectIndex(int64_t{x} + 1, width);
            for (int a = 0; a < 4; ++a) {
                const bool ownColumn = (x & 1) == kFilterColumn[a], ownRow = (y & 1) == kFilterRow[a];
                auto across = [&](const uint16_t* r) { return ownColumn ? r[x] : (r[left] + r[right]) / 2.0; };
                intensity[a] = ownRow ? across(rows[1]) : (across(rows[0]) + across(rows[2])) / 2;
            }
            if (adolp) {
                value.adolp(intensity, rgb);
                writer.putRgb(x, rgb);
            } else {
                writer.put(x, value(intensity));
            }
        }
    }
}

// The mosaic of one colour: polarizer cells under a Bayer RG arrangement of cells; green is the mean of the two.
void planeRows(const ImageView& raw, uint32_t component, uint8_t* out, uint32_t outWidth, uint64_t outRowBytes,
               uint32_t y0, uint32_t y1) {
    std::vector<uint16_t> scratch(size_t{raw.width} * 2);
    for (uint32_t y = y0; y < y1; ++y) {
        const uint32_t superRow = y / 2 * 4 + y % 2;
        const uint16_t* upper = sampleRow<uint16_t>(raw, superRow, scratch.data());
        const uint16_t* lower = sampleRow<uint16_t>(raw, superRow + 2, scratch.data() + raw.width);
        const CRowWriter writer(out + y * outRowBytes, raw.format->bits);
        for (uint32_t x = 0; x < outWidth; ++x) {
            const uint32_t column = x / 2 * 4 + x % 2;
            uint32_t v;
            if (component == IMG_COMPONENT_PLANE_RED)
                v = upper[column];
            else if (component == IMG_COMPONENT_PLANE_BLUE)
                v = lower[column + 2];
            else
                v = (uint32_t{upper[column + 2]} + lower[column] + 1) / 2;
            writer.put(x, v);
        }
    }
}

}  // namespace

PolarizationCalibration PolarizationCalibration::defaults() {
    PolarizationCalibration c{};
    static const double kStokes[3][4] = {{0.5, 0.5, 0.5, 0.5}, {1, 0, -1, 0}, {0, 1, 0, -1}};
    for (auto& channel : c.matrix)
        for (int row = 0; row < 3; ++row)
            for (int column = 0; column < 4; ++column) channel[row][column] = kStokes[row][column];
    return c;
}

bool componentResult(uint32_t component, const ImageView& raw, bool interpolate, const PixelFormat** format,
                     uint32_t* width, uint32_t* height) {
    const unsigned bits = raw.format->bits;
    if (isPlane(component)) {
        if (raw.width < 4 || raw.height < 4) return false;
        *format = unpackedFormat(Family::Polarized, static_cast<uint8_t>(bits));
        *width = raw.width / 4 * 2;
        *height = raw.height / 4 * 2;
        return *format != nullptr;
    }
    if (raw.width < 2 || raw.height < 2) return false;
    *format = component == IMG_COMPONENT_ADOLP ? findPixelFormat("RGB8")
                                               : unpackedFormat(Family::Mono, static_cast<uint8_t>(bits));
    *width = interpolate ? raw.width : raw.width / 2;
    *height = interpolate ? raw.height : raw.height / 2;
    return *format != nullptr;
}

void computeComponent(uint32_t component, const ImageView& raw, unsigned channel,
                      const PolarizationCalibration& calibration, bool interpolate, unsigned threads, uint8_t* out) {
    const PixelFormat* format = nullptr;
    uint32_t width = 0, height = 0;
    if (!componentResult(component, raw, interpolate, &format, &width, &height)) return;
    const uint64_t outRowBytes = rowBytes(*format, width);
    const CComponentValue value(component, raw.format->bits, calibration.matrix[std::min(channel, 2u)],
                                calibration.angleOffsetDegrees);
    const bool adolp = component == IMG_COMPONENT_ADOLP;
    parallelFor(height, threads, minRowsPerPart(width), [&](size_t begin, size_t end) {
        const auto y0 = static_cast<uint32_t>(begin), y1 = static_cast<uint32_t>(end);
        if (isPlane(component))
            planeRows(raw, component, out, width, outRowBytes, y0, y1);
        else if (interpolate)
            interpolatedRows(raw, value, adolp, out, outRowBytes, y0, y1);
        else
            cellRows(raw, value, adolp, out, width, outRowBytes, y0, y1);
    });
}

}  // namespace corvid2::img
