// SPDX-License-Identifier: BSD-3-Clause
#include "imaging_fixture.h"

#include "imaging/image_module.h"

namespace corvid2::test {

void ImagingTest::SetUp() {
    ImageProcessorModule::setLibraryPath(std::filesystem::path(CORVID2_IMG_FILE));
    processor_ = std::make_unique<CORVID2::ImageProcessor>();
}

void ImagingTest::TearDown() {
    for (CORVID2::Image* made : images_) made->Release();
    images_.clear();
    processor_.reset();
    ImageProcessorModule::setLibraryPath(std::nullopt);
}

CORVID2::Image* ImagingTest::image(CORVID2::Image* made) {
    images_.push_back(made);
    return made;
}

std::vector<std::uint8_t> monoPattern(std::uint32_t width, std::uint32_t height) {
    std::vector<std::uint8_t> frame(std::size_t{width} * height);
    for (std::uint32_t y = 0; y < height; ++y)
        for (std::uint32_t x = 0; x < width; ++x) frame[std::size_t{y} * width + x] = (x * 7 + y * 13) % 256;
    return frame;
}

}  // namespace corvid2::test
