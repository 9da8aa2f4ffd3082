// SPDX-License-Identifier: BSD-3-Clause
// Loading corvid2_img: the one path tried, the missing library or function, the shared module and
// its unloading, result conversion and the image port.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "core/last_error.h"
#include "imaging/image_module.h"
#include "imaging/imageobj.h"
#include "imaging_fixture.h"
#include "support/errors.h"

namespace corvid2::test {
namespace {

namespace X = CORVID2::Exceptions;

// Runs a test with a library path, restoring the default after.
class LibraryPath {
public:
    explicit LibraryPath(const std::filesystem::path& path) { ImageProcessorModule::setLibraryPath(path); }
    ~LibraryPath() { ImageProcessorModule::setLibraryPath(std::nullopt); }
};

TEST(ImageProcessorModuleTest, DefaultPathIsTheImageLibraryBesideTheFileHoldingTheCode) {
    const std::filesystem::path path = ImageProcessorModule::libraryPath();
    EXPECT_EQ(path.filename().string(), std::string(CORVID2_IMG_LIBRARY_NAME) + ".so");
    EXPECT_EQ(path.parent_path(), platform::ownLibraryLocation().parent_path());
}

TEST(ImageProcessorModuleTest, MissingLibraryMakesTheProcessorNotAvailable) {
    LibraryPath missing(std::filesystem::path(CORVID2_IMG_FILE).parent_path() / "no_such_dir" / "corvid2_img.so");
    std::shared_ptr<ImageProcessorModule> module;
    Result code = Result::Success;
    EXPECT_EQ(ImageProcessorModule::getInstance(module), Result::Error);
    EXPECT_EQ(module, nullptr);
    EXPECT_EQ(lastErrorText(&code), "LoadLibrary failed");
    EXPECT_EQ(code, Result::Error);

    const Thrown thrown = thrownBy<X::NotAvailableException>([] { CORVID2::ImageProcessor processor; });
    EXPECT_TRUE(thrown.caught);
    EXPECT_EQ(thrown.description, "LoadLibrary failed");
}

TEST(ImageProcessorModuleTest, LibraryWithoutTheFunctionsNamesTheFirstMissingGroup) {
    // The simulated producer is a loadable library that exports none of the image functions.
    LibraryPath foreign{std::filesystem::path(CORVID2_SIM_FILE)};
    std::shared_ptr<ImageProcessorModule> module;
    EXPECT_EQ(ImageProcessorModule::getInstance(module), Result::Error);
    EXPECT_EQ(module, nullptr);
    EXPECT_EQ(lastErrorText(), "Base interface invalid");
    EXPECT_TRUE(thrownBy<X::NotAvailableException>([] { CORVID2::ImageProcessor processor; }).caught);
}

TEST(ImageProcessorModuleTest, ModuleIsSharedWhileReferencedAndGoesWithTheLastReference) {
    LibraryPath real{std::filesystem::path(CORVID2_IMG_FILE)};
    std::shared_ptr<ImageProcessorModule> first, second;
    ASSERT_EQ(ImageProcessorModule::getInstance(first), Result::Success);
    ASSERT_EQ(ImageProcessorModule::getInstance(second), Result::Success);
    EXPECT_EQ(first.get(), second.get());

    std::weak_ptr<ImageProcessorModule> watch = first;
    std::unique_ptr<CImageProcessorObj> processor;
    ASSERT_EQ(CImageProcessorObj::create(processor), Result::Success);
    first.reset();
    second.reset();
    EXPECT_FALSE(watch.expired()) << "the processor holds the module";
    processor.reset();
    EXPECT_TRUE(watch.expired());

    std::shared_ptr<ImageProcessorModule> again;
    ASSERT_EQ(ImageProcessorModule::getInstance(again), Result::Success);
    std::string version;
    EXPECT_EQ(again->GetVersion(version, "Test", "Test"), Result::Success);
    EXPECT_EQ(version.rfind("corvid2_img ", 0), 0u) << version;
}

TEST(ImgResultToCodeTest, KeepsTheLibraryCodeInTheLastErrorAndMapsInvalidParameter) {
    EXPECT_EQ(ImgResultToCode(IMG_SUCCESS, "C", "C::m", "F"), Result::Success);

    Result stored = Result::Success;
    EXPECT_EQ(ImgResultToCode(IMG_INVALID_PARAMETER, "CImageObj", "CImageObj::Init", "CreateImage"),
              Result::InvalidParameter);
    EXPECT_EQ(lastErrorText(&stored), "CreateImage failed: 1001");
    EXPECT_EQ(toCode(stored), 1001);

    EXPECT_EQ(ImgResultToCode(IMG_UNSUPPORTED_CONVERSION, "CImageObj", "CImageObj::Init", "ReleaseImage"),
              Result::Error);
    EXPECT_EQ(lastErrorText(&stored), "ReleaseImage failed: 1003");
    EXPECT_EQ(toCode(stored), 1003);
}

TEST_F(ImagingTest, ImagePortReadsTheLibraryRegistersAndServesADescriptionUrl) {
    std::unique_ptr<CImageProcessorObj> processor;
    ASSERT_EQ(CImageProcessorObj::create(processor), Result::Success);
    std::unique_ptr<CImageObj> image;
    ASSERT_EQ(processor->CreateImage(24, 10, "Mono8", nullptr, 0, &image), Result::Success);

    std::uint32_t width = 0;
    std::uint64_t length = sizeof width;
    ASSERT_EQ(image->Read(IMG_REG_IMAGE_WIDTH, &width, &length), Result::Success);
    EXPECT_EQ(length, sizeof width);
    EXPECT_EQ(width, 24u);
    EXPECT_EQ(image->Read(IMG_REG_IMAGE_WIDTH, nullptr, &length), Result::InvalidParameter);
    EXPECT_EQ(image->portName(), "ImagePort");

    // A register written through the processor's port is what the processor then reports.
    std::uint32_t method = 1;
    length = sizeof method;
    ASSERT_EQ(processor->Write(IMG_REG_DEMOSAICING_METHOD, &method, &length), Result::Success);
    std::uint32_t readBack = 0;
    ASSERT_EQ(processor->Read(IMG_REG_DEMOSAICING_METHOD, &readBack, &length), Result::Success);
    EXPECT_EQ(readBack, 1u);
    EXPECT_EQ(processor->portName(), "ImageProcessorPort");

    std::string url;
    ASSERT_EQ(processor->portUrl(url), Result::Success);
    EXPECT_EQ(url.rfind("Local:", 0), 0u) << url;
}

}  // namespace
}  // namespace corvid2::test
