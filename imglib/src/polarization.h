// SPDX-License-Identifier: BSD-3-Clause
// Polarization components of polarizer mosaics: Stokes parameters through a calibration matrix, and the images
// derived from them.
#pragma once

#include <cstdint>

#include "corvid2_img/corvid2_img.h"
#include "image_view.h"

namespace corvid2::img {

/// The calibration a processor holds for polarizer mosaics.
struct PolarizationCalibration {
    /// [colour channel][Stokes row S0, S1, S2][filter 0, 45, 90, 135 degrees]
    double matrix[3][3][4];
    double angleOffsetDegrees = 0;

    /// S0 = (I0 + I45 + I90 + I135) / 2, S1 = I0 - I90, S2 = I45 - I135 for every channel; no offset.
    static PolarizationCalibration defaults();
};

constexpr uint32_t kFirstComponent = IMG_COMPONENT_INTENSITY;
constexpr uint32_t kLastComponent = IMG_COMPONENT_PLANE_BLUE;

/// Cell position of each filter (0, 45, 90, 135 degrees) within a 2 x 2 polarizer cell: 90 and 45 degrees on the
/// first row, 135 and 0 on the second.
constexpr uint32_t kFilterColumn[4] = {1, 1, 0, 0};
constexpr uint32_t kFilterRow[4] = {1, 0, 0, 1};

/// What a component of a raw mosaic (format `raw`, size width x height) gives: its format and size. False when the
/// mosaic is too small for it (one cell, or one colour cell of 4 x 4 for the planes).
bool componentResult(uint32_t component, const ImageView& raw, bool interpolate, const PixelFormat** format,
                     uint32_t* width, uint32_t* height);

/// Computes the component into out (sized as componentResult says), with the calibration of `channel`.
void computeComponent(uint32_t component, const ImageView& raw, unsigned channel,
                      const PolarizationCalibration& calibration, bool interpolate, unsigned threads, uint8_t* out);

}  // namespace corvid2::img
