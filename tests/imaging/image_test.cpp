// SPDX-License-Identifier: BSD-3-Clause
// ImageProcessor and Image over the application's own memory.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <functional>
#include <vector>

#include "imaging_fixture.h"
#include "support/errors.h"

namespace corvid2::test {
namespace {

namespace X = CORVID2::Exceptions;
using CORVID2::Image;

constexpr const char* kOutOfRange = "Could not create an image object because one or more parameter are out of range.";

TEST_F(ImagingTest, VersionIsTheImageLibrarysText) {
    const std::string version = processor_->GetVersion().get();
    EXPECT_EQ(version.rfind("corvid2_img ", 0), 0u) << version;
}

TEST_F(ImagingTest, DefaultImageIsOneMono8Pixel) {
    Image* made = image(processor_->CreateImage());
    EXPECT_EQ(made->GetWidth(), 1u);
    EXPECT_EQ(made->GetHeight(), 1u);
    EXPECT_STREQ(made->GetPixelformat().get(), "Mono8");
    EXPECT_EQ(made->GetLength(), 1u);
    EXPECT_NE(made->GetBuffer(), nullptr);
}

TEST_F(ImagingTest, ZeroSizeOrShortFormatNameIsOutOfRange) {
    std::vector<std::uint8_t> memory(640 * 480);
    for (auto call :
         {std::function<void()>([&] { processor_->CreateImage(0, 480, "Mono8", memory.data(), memory.size()); }),
          std::function<void()>([&] { processor_->CreateImage(640, 0, "Mono8", memory.data(), memory.size()); }),
          std::function<void()>([&] { processor_->CreateImage(640, 480, "M", memory.data(), memory.size()); })}) {
        const Thrown thrown = thrownBy<X::InvalidParameterException>(call);
        EXPECT_TRUE(thrown.caught);
        EXPECT_EQ(thrown.description, kOutOfRange);
    }
}

TEST_F(ImagingTest, LibraryRefusalOfAnImageIsInvalidParameterWithItsCode) {
    std::vector<std::uint8_t> memory(16);
    const Thrown thrown = thrownBy<X::InvalidParameterException>(
        [&] { processor_->CreateImage(640, 480, "Mono8", memory.data(), memory.size()); });
    EXPECT_TRUE(thrown.caught);
    EXPECT_EQ(thrown.description, "CreateImage failed");
    Result code = Result::Success;
    lastErrorText(&code);
    EXPECT_EQ(toCode(code), IMG_INVALID_PARAMETER);
}

TEST_F(ImagingTest, ImageOverOwnMemoryReportsItsValuesAndConvertsToColour) {
    constexpr std::uint32_t kWidth = 16, kHeight = 6;
    std::vector<std::uint8_t> frame = monoPattern(kWidth, kHeight);
    Image* mono = image(processor_->CreateImage(kWidth, kHeight, "Mono8", frame.data(), frame.size()));
    EXPECT_EQ(mono->GetWidth(), kWidth);
    EXPECT_EQ(mono->GetHeight(), kHeight);
    EXPECT_EQ(mono->GetLength(), frame.size());
    EXPECT_EQ(mono->GetBuffer(), frame.data());
    EXPECT_EQ(mono->GetTransformBufferLength("RGB8"), frame.size() * 3);
    EXPECT_EQ(mono->GetTransformBufferLength("Mono16"), frame.size() * 2);

    Image* rgb = image(processor_->CreateTransformedImage(mono, "RGB8"));
    EXPECT_STREQ(rgb->GetPixelformat().get(), "RGB8");
    ASSERT_EQ(rgb->GetLength(), frame.size() * 3);
    const auto* pixels = static_cast<const std::uint8_t*>(rgb->GetBuffer());
    for (std::size_t i = 0; i < frame.size(); ++i) {
        ASSERT_EQ(pixels[3 * i], frame[i]) << i;
        ASSERT_EQ(pixels[3 * i + 1], frame[i]) << i;
        ASSERT_EQ(pixels[3 * i + 2], frame[i]) << i;
    }

    std::vector<std::uint8_t> bgra(mono->GetTransformBufferLength("BGRa8"));
    processor_->TransformImageToBuffer(mono, "BGRa8", bgra.data(), bgra.size());
    for (std::size_t i = 0; i < frame.size(); ++i) {
        ASSERT_EQ(bgra[4 * i], frame[i]) << i;
        ASSERT_EQ(bgra[4 * i + 3], 255) << i;
    }

    // Re-initialised over other memory, the image reports the new frame.
    std::vector<std::uint8_t> other(8 * 2, 9);
    mono->Init(8, 2, "Mono8", other.data(), other.size());
    EXPECT_EQ(mono->GetWidth(), 8u);
    EXPECT_EQ(mono->GetBuffer(), other.data());
}

TEST_F(ImagingTest, TransformFailuresNameTheirCause) {
    std::vector<std::uint8_t> frame = monoPattern(4, 4);
    Image* mono = image(processor_->CreateImage(4, 4, "Mono8", frame.data(), frame.size()));

    const Thrown noImage = thrownBy<X::InvalidParameterException>(
        [&] { processor_->TransformImageToBuffer(nullptr, "RGB8", frame.data(), frame.size()); });
    EXPECT_TRUE(noImage.caught);
    EXPECT_EQ(noImage.description, "ImageProcessor; TransformImageToBuffer; invalid input Image object");

    std::vector<std::uint8_t> tooSmall(4 * 4 * 3 - 1);
    const Thrown small = thrownBy<X::ErrorException>(
        [&] { processor_->TransformImageToBuffer(mono, "RGB8", tooSmall.data(), tooSmall.size()); });
    EXPECT_TRUE(small.caught);
    EXPECT_EQ(small.description, "The image was not transformed.");

    const Thrown unknown =
        thrownBy<X::InvalidParameterException>([&] { processor_->CreateTransformedImage(mono, "NoSuchFormat"); });
    EXPECT_TRUE(unknown.caught);
    EXPECT_EQ(unknown.description, "CImageProcessorObj::CreateTransformedImage failed: 1001");
    // A raw Bayer target is a conversion the library does not offer: still the caller's parameter.
    EXPECT_TRUE(
        thrownBy<X::InvalidParameterException>([&] { processor_->CreateTransformedImage(mono, "BayerRG8"); }).caught);
}

TEST_F(ImagingTest, ScaleAcceptsFactorsFromHalfToDouble) {
    std::vector<std::uint8_t> frame = monoPattern(8, 6);
    Image* source = image(processor_->CreateImage(8, 6, "Mono8", frame.data(), frame.size()));
    Image* target = image(processor_->CreateImage());

    source->Scale(target, 0.5, 0.5);
    EXPECT_EQ(target->GetWidth(), 4u);
    EXPECT_EQ(target->GetHeight(), 3u);
    source->Scale(target, 2.0, 2.0);
    EXPECT_EQ(target->GetWidth(), 16u);
    EXPECT_EQ(target->GetHeight(), 12u);

    for (auto factors : {std::array<double, 2>{0.49, 1.0}, std::array<double, 2>{1.0, 2.01}}) {
        const Thrown thrown =
            thrownBy<X::InvalidParameterException>([&] { source->Scale(target, factors[0], factors[1]); });
        EXPECT_TRUE(thrown.caught);
        EXPECT_EQ(thrown.description, "sx or sy out of range");
    }
    EXPECT_EQ(target->GetWidth(), 16u) << "a refused scale leaves the target as it was";

    // Without a target the image scales itself.
    Image* own = image(processor_->CreateImage(8, 6, "Mono8", nullptr, 0));
    own->Scale(nullptr, 1.5, 0.5);
    EXPECT_EQ(own->GetWidth(), 12u);
    EXPECT_EQ(own->GetHeight(), 3u);
}

TEST_F(ImagingTest, HistogramEqualsADirectCount) {
    constexpr std::uint32_t kWidth = 20, kHeight = 10;
    std::vector<std::uint8_t> frame = monoPattern(kWidth, kHeight);
    Image* mono = image(processor_->CreateImage(kWidth, kHeight, "Mono8", frame.data(), frame.size()));

    std::vector<std::uint64_t> expected(256, 0);
    double sum = 0;
    for (std::uint8_t value : frame) {
        ++expected[value];
        sum += value;
    }
    std::vector<std::uint64_t> counts(256, 0);
    qx_tHistRecord record{};
    record.counts = counts.data();
    record.binCount = 256;
    qx_tHistRecords records{&record, 1, 0};
    mono->GetHistogram(records);
    EXPECT_EQ(counts, expected);
    EXPECT_EQ(record.total, frame.size());
    EXPECT_EQ(record.valid, 1u);
    EXPECT_EQ(record.bits, 8u);
    EXPECT_NEAR(record.average, sum / frame.size(), 1e-9);
    EXPECT_EQ(record.minimum, *std::min_element(frame.begin(), frame.end()));
    EXPECT_EQ(record.maximum, *std::max_element(frame.begin(), frame.end()));

    // A region: columns 2 to 5 of rows 3 to 4.
    std::fill(expected.begin(), expected.end(), 0);
    for (std::uint32_t y = 3; y < 5; ++y)
        for (std::uint32_t x = 2; x < 6; ++x) ++expected[frame[y * kWidth + x]];
    std::fill(counts.begin(), counts.end(), 0);
    mono->GetHistogram(records, 2, 3, 4, 2);
    EXPECT_EQ(counts, expected);
    EXPECT_EQ(record.total, 8u);

    const Thrown outside = thrownBy<X::ErrorException>([&] { mono->GetHistogram(records, kWidth, 0, 4, 2); });
    EXPECT_TRUE(outside.caught);
    EXPECT_EQ(outside.description, "function failed with error");
}

TEST_F(ImagingTest, ColorMatrixRoundTripsAndStartsAsIdentity) {
    double matrix[3][3];
    processor_->GetColorMatrix(matrix);
    for (int row = 0; row < 3; ++row)
        for (int column = 0; column < 3; ++column) EXPECT_EQ(matrix[row][column], row == column ? 1.0 : 0.0);

    const double set[3][3] = {{1.5, -0.25, 0.0}, {0.125, 0.75, 0.5}, {-1.0, 2.0, 3.0}};
    processor_->SetColorMatrix(set);
    processor_->GetColorMatrix(matrix);
    for (int row = 0; row < 3; ++row)
        for (int column = 0; column < 3; ++column) EXPECT_EQ(matrix[row][column], set[row][column]);

    const Thrown missing = thrownBy<X::InvalidParameterException>([&] { processor_->SetColorMatrix(nullptr); });
    EXPECT_TRUE(missing.caught);
    EXPECT_EQ(missing.description, "missing parameter.");
    const double outOfRange[3][3] = {{100.0, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    EXPECT_TRUE(thrownBy<X::InvalidParameterException>([&] { processor_->SetColorMatrix(outOfRange); }).caught);
}

TEST_F(ImagingTest, ImagesOutliveTheirProcessorAndAreGoneAfterRelease) {
    std::vector<std::uint8_t> frame = monoPattern(4, 2);
    Image* kept = processor_->CreateImage(4, 2, "Mono8", frame.data(), frame.size());
    processor_.reset();
    EXPECT_EQ(kept->GetWidth(), 4u);
    EXPECT_EQ(kept->GetTransformBufferLength("RGB8"), 24u);
    StalePointer<Image> stale(kept);
    kept->Release();
    EXPECT_TRUE(thrownBy<X::ObjectInvalidException>([&] { stale->GetWidth(); }).caught);
}

}  // namespace
}  // namespace corvid2::test

namespace corvid2::test {
namespace {

TEST_F(ImagingTest, ProcessorAndImageFeaturesComeFromTheLibrarysDescription) {
    CORVID2::Node* method = processor_->GetNode("DemosaicingMethod");
    EXPECT_STREQ(method->GetValue().get(), "Bilinear");
    method->SetValue("GradientCorrected");
    EXPECT_STREQ(processor_->GetNode("DemosaicingMethod")->GetValue().get(), "GradientCorrected");

    // The colour matrix written through its features is the matrix the processor then applies.
    processor_->GetNode("ColorTransformationValueSelector")->SetValue("Gain01");
    processor_->GetNode("ColorTransformationValue")->SetDouble(0.375);
    double matrix[3][3];
    processor_->GetColorMatrix(matrix);
    EXPECT_EQ(matrix[0][1], 0.375);
    EXPECT_GT(processor_->GetNodeList()->size(), 0u);

    std::vector<std::uint8_t> frame = monoPattern(12, 5);
    CORVID2::Image* mono = image(processor_->CreateImage(12, 5, "Mono8", frame.data(), frame.size()));
    EXPECT_EQ(mono->GetNode("ImageWidth")->GetInt(), 12);
    EXPECT_EQ(mono->GetNode("ImageHeight")->GetInt(), 5);
    EXPECT_TRUE(
        thrownBy<CORVID2::Exceptions::InvalidParameterException>([&] { mono->GetNode("NoSuchFeature"); }).caught);
}

}  // namespace
}  // namespace corvid2::test
