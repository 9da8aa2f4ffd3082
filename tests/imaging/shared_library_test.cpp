// SPDX-License-Identifier: BSD-3-Clause
// The installed layout: the shared library loads corvid2_img from its own folder, with no path set.
#include <corvid2_genicam.h>
#include <gtest/gtest.h>

#include <string>

namespace {

TEST(ImagingSharedLibraryTest, ProcessorLoadsTheImageLibraryBesideTheSharedLibrary) {
    CORVID2::ImageProcessor processor;
    const std::string version = processor.GetVersion().get();
    EXPECT_EQ(version.rfind("corvid2_img ", 0), 0u) << version;
    CORVID2::Image* image = processor.CreateImage(3, 2, "Mono8", nullptr, 0);
    EXPECT_EQ(image->GetLength(), 6u);
    EXPECT_EQ(image->GetTransformBufferLength("RGB16"), 36u);
    image->Release();
}

}  // namespace
