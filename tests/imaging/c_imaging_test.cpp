// SPDX-License-Identifier: BSD-3-Clause
// The flat interface's image processors, images and polarizers: made and released, texts by the
// string convention, foreign and released handles refused, and the image library missing.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "corvid2_genicam_c.h"
#include "imaging/image_module.h"
#include "support/errors.h"
#include "support/sim_system.h"

namespace corvid2::test {
namespace {

constexpr CORVID2_RESULT kSuccess = 0;

class CImagingTest : public ::testing::Test {
protected:
    void SetUp() override { ImageProcessorModule::setLibraryPath(std::filesystem::path(CORVID2_IMG_FILE)); }
    void TearDown() override { ImageProcessorModule::setLibraryPath(std::nullopt); }
};

TEST_F(CImagingTest, ObjectsAreMadeReleasedOnceAndTheirHandlesCheckedWhenTakenBack) {
    CORVID2_ImageProcessor processor = nullptr;
    ASSERT_EQ(CORVID2_CreateImageProcessor(&processor), kSuccess);
    ASSERT_NE(processor, nullptr);

    std::uint64_t size = 0;
    ASSERT_EQ(CORVID2_ImageProcessor_GetVersion(processor, nullptr, &size), kSuccess);
    std::string version(size, '\0');
    std::uint64_t tooSmall = 3;
    EXPECT_EQ(CORVID2_ImageProcessor_GetVersion(processor, version.data(), &tooSmall), toCode(Result::InvalidBuffer));
    EXPECT_EQ(tooSmall, 3u);
    ASSERT_EQ(CORVID2_ImageProcessor_GetVersion(processor, version.data(), &size), kSuccess);
    EXPECT_EQ(std::string(version.c_str()).rfind("corvid2_img ", 0), 0u) << version;

    CORVID2_Image image = nullptr;
    ASSERT_EQ(CORVID2_ImageProcessor_CreateEmptyImage(processor, &image), kSuccess);
    EXPECT_EQ(CORVID2_Image_Release(image), kSuccess);
    EXPECT_EQ(CORVID2_Image_Release(image), toCode(Result::InvalidParameter)) << "released already";
    int foreign = 0;
    EXPECT_EQ(CORVID2_Image_Release(&foreign), toCode(Result::InvalidParameter));
    EXPECT_EQ(CORVID2_ImageProcessor_GetVersion(&foreign, nullptr, &size), toCode(Result::InvalidParameter));
    EXPECT_EQ(CORVID2_ImageProcessor_CreateEmptyImage(processor, nullptr), toCode(Result::InvalidParameter));
    EXPECT_EQ(CORVID2_ReleaseImageProcessor(processor), kSuccess);
    EXPECT_EQ(CORVID2_ReleaseImageProcessor(processor), toCode(Result::InvalidParameter));

    CORVID2_Polarizer polarizer = nullptr;
    ASSERT_EQ(CORVID2_Polarizer_Create(&polarizer), kSuccess);
    EXPECT_EQ(CORVID2_Polarizer_Release(polarizer), kSuccess);
    EXPECT_EQ(CORVID2_Polarizer_Create(nullptr), toCode(Result::InvalidParameter));
}

TEST_F(CImagingTest, WithoutTheImageLibraryImageProcessingFailsAndEverythingElseWorks) {
    ImageProcessorModule::setLibraryPath(std::filesystem::path("/nonexistent/corvid2_img.so"));
    CORVID2_ImageProcessor processor = &processor;
    EXPECT_EQ(CORVID2_CreateImageProcessor(&processor), toCode(Result::Error));
    EXPECT_EQ(processor, &processor) << "nothing written on failure";
    CORVID2_Polarizer polarizer = &polarizer;
    EXPECT_EQ(CORVID2_Polarizer_Create(&polarizer), toCode(Result::Error));
    EXPECT_EQ(polarizer, nullptr);
    EXPECT_TRUE(thrownBy<CORVID2::Exceptions::NotAvailableException>([] { CORVID2::ImageProcessor processor; }).caught);

    // The rest of the library does not need it: the simulated camera opens and its features read.
    ProducerFolder folder;
    std::unique_ptr<CORVID2::System> system = simSystem(folder, "");
    system->Open();
    EXPECT_EQ(system->GetNode("GenTLVersionMajor")->GetInt(), 1);
    system->Close();
}

}  // namespace
}  // namespace corvid2::test
