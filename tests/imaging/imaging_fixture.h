// SPDX-License-Identifier: BSD-3-Clause
// Every imaging test loads the image library that the build made, by its path.
#pragma once

#include <corvid2_genicam.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "corvid2_img/corvid2_img.h"

namespace corvid2::test {

class ImagingTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Releases every image the test made through image().
    CORVID2::Image* image(CORVID2::Image* made);

    std::unique_ptr<CORVID2::ImageProcessor> processor_;
    std::vector<CORVID2::Image*> images_;
};

// A width x height Mono8 frame whose bytes follow (x * 7 + y * 13) % 256.
std::vector<std::uint8_t> monoPattern(std::uint32_t width, std::uint32_t height);

}  // namespace corvid2::test
