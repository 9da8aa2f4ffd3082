// SPDX-License-Identifier: BSD-3-Clause
// Pixel-format conversions against hand-made frames, every source into every target, and the colour matrix.
#include <gtest/gtest.h>

#include "image_test_support.h"
#include "pixel_format.h"

namespace corvid2::img::test {
namespace {

const char* const kTargets[] = {"Mono8", "Mono16", "RGB8", "BGR8", "RGBa8", "BGRa8", "RGB16", "BGR16"};

TEST(Conversion, RgbFrameGivesTheHandComputedBytesInEveryTarget) {
    auto processor = makeProcessor();
    std::vector<uint8_t> rgb = {10, 20, 30, 255, 0, 128, 0, 0, 0, 1, 2, 3};
    auto image = makeImage("RGB8", 2, 2, rgb);
    EXPECT_EQ(convert(processor.get(), image.get(), "BGR8"),
              (std::vector<uint8_t>{30, 20, 10, 128, 0, 255, 0, 0, 0, 3, 2, 1}));
    EXPECT_EQ(convert(processor.get(), image.get(), "RGBa8"),
              (std::vector<uint8_t>{10, 20, 30, 255, 255, 0, 128, 255, 0, 0, 0, 255, 1, 2, 3, 255}));
    EXPECT_EQ(convert(processor.get(), image.get(), "BGRa8"),
              (std::vector<uint8_t>{30, 20, 10, 255, 128, 0, 255, 255, 0, 0, 0, 255, 3, 2, 1, 255}));
    // (77 R + 150 G + 29 B + 128) / 256, truncated: 4768 / 256, 23475 / 256, 0, 592 / 256.
    EXPECT_EQ(convert(processor.get(), image.get(), "Mono8"), (std::vector<uint8_t>{18, 91, 0, 2}));
    EXPECT_EQ(convert(processor.get(), image.get(), "Mono16"), words({18 << 8, 91 << 8, 0, 2 << 8}));
    EXPECT_EQ(convert(processor.get(), image.get(), "RGB16"),
              words({10 << 8, 20 << 8, 30 << 8, 255 << 8, 0, 128 << 8, 0, 0, 0, 1 << 8, 2 << 8, 3 << 8}));
    EXPECT_EQ(convert(processor.get(), image.get(), "BGR16"),
              words({30 << 8, 20 << 8, 10 << 8, 128 << 8, 0, 255 << 8, 0, 0, 0, 3 << 8, 2 << 8, 1 << 8}));
    EXPECT_EQ(convert(processor.get(), image.get(), "RGB8"), rgb);
}

TEST(Conversion, DeepColourAndAlphaSourcesKeepTheirTopBits) {
    auto processor = makeProcessor();
    std::vector<uint8_t> bgr16 = words({0x1234, 0xABCD, 0xFFFF});  // B, G, R
    auto deep = makeImage("BGR16", 1, 1, bgr16);
    EXPECT_EQ(convert(processor.get(), deep.get(), "RGB8"), (std::vector<uint8_t>{0xFF, 0xAB, 0x12}));
    std::vector<uint8_t> rgb12 = words({0x0FFF, 0x0800, 0x0001});
    auto twelve = makeImage("RGB12", 1, 1, rgb12);
    EXPECT_EQ(convert(processor.get(), twelve.get(), "RGB8"), (std::vector<uint8_t>{0xFF, 0x80, 0x00}));
    EXPECT_EQ(convert(processor.get(), twelve.get(), "RGB16"), words({0xFFF0, 0x8000, 0x0010}));
    std::vector<uint8_t> bgra = {1, 2, 3, 0x40};  // the source's alpha is not carried over: targets are opaque
    auto alpha = makeImage("BGRa8", 1, 1, bgra);
    EXPECT_EQ(convert(processor.get(), alpha.get(), "RGBa8"), (std::vector<uint8_t>{3, 2, 1, 255}));
    std::vector<uint8_t> mono = {7, 200};
    auto grey = makeImage("Mono8", 2, 1, mono);
    EXPECT_EQ(convert(processor.get(), grey.get(), "BGRa8"), (std::vector<uint8_t>{7, 7, 7, 255, 200, 200, 200, 255}));
    EXPECT_EQ(convert(processor.get(), grey.get(), "RGB16"),
              words({7 << 8, 7 << 8, 7 << 8, 200 << 8, 200 << 8, 200 << 8}));
}

// Full-range BT.601: R = Y + 1.402 (Cr - 128), G = Y - 0.344136 (Cb - 128) - 0.714136 (Cr - 128),
// B = Y + 1.772 (Cb - 128), rounded and clamped.
TEST(Conversion, YuvPairsGiveTheHandComputedColours) {
    auto processor = makeProcessor();
    // Pair 1: grey 100 and 200. Pair 2: Y 128 with Cr 255: R 306 -> 255, G 37.3, B 128. Pair 3: Y 76, Cb 85,
    // Cr 255: R 254.05, G 0.10, B -0.20.
    const std::vector<uint8_t> expected = {100, 100, 100, 200, 200, 200, 255, 37, 128,
                                           255, 37,  128, 254, 0,   0,   254, 0,  0};
    std::vector<uint8_t> yuyv = {100, 128, 200, 128, 128, 128, 128, 255, 76, 85, 76, 255};
    std::vector<uint8_t> uyvy = {128, 100, 128, 200, 128, 128, 255, 128, 85, 76, 255, 76};
    for (const char* format : {"YUV422_8", "YCbCr422_8", "YUV422_YUYV_Packed"}) {
        auto image = makeImage(format, 6, 1, yuyv);
        EXPECT_EQ(convert(processor.get(), image.get(), "RGB8"), expected) << format;
    }
    for (const char* format : {"YUV422_8_UYVY", "YCbCr422_8_CbYCrY", "YUV422Packed"}) {
        auto image = makeImage(format, 6, 1, uyvy);
        EXPECT_EQ(convert(processor.get(), image.get(), "RGB8"), expected) << format;
    }
}

// A grey level whose top eight bits are 0xA5, in every source format, arrives as that level in every target.
TEST(Conversion, EverySourceFormatReachesEveryTargetWithTheSameGrey) {
    auto processor = makeProcessor();
    const uint32_t width = 6, height = 4;
    const size_t pixels = size_t{width} * height;
    const char* const grey[] = {"Mono8",
                                "Mono10",
                                "Mono12",
                                "Mono14",
                                "Mono16",
                                "Mono10p",
                                "Mono12p",
                                "Mono14p",
                                "Mono10Packed",
                                "Mono12Packed",
                                "BayerRG8",
                                "BayerGB10",
                                "BayerGR12",
                                "BayerBG16",
                                "BayerRG10p",
                                "BayerGB12p",
                                "BayerGR14p",
                                "BayerBG10Packed",
                                "BayerRG12Packed",
                                "BayerGR14",
                                "VelmorPolarized8",
                                "VelmorPolarized12",
                                "VelmorPolarized12p"};
    const char* const colour[] = {"RGB8",  "BGR8",  "RGBa8", "BGRa8",  "RGB10", "BGR12",
                                  "RGB14", "RGB16", "BGR16", "RGBa16", "BGRa12"};
    auto check = [&](const char* source, std::vector<uint8_t>& bytes, unsigned bits) {
        auto image = makeImage(source, width, height, bytes);
        const uint32_t level = 0xA5A5u >> (16 - bits);
        for (const char* target : kTargets) {
            const PixelFormat& t = *findPixelFormat(target);
            const std::vector<uint8_t> out = convert(processor.get(), image.get(), target);
            const unsigned components = t.family == Family::Rgb ? t.channels : 1;
            ASSERT_EQ(out.size(), pixels * components * (t.bits / 8)) << source << " -> " << target;
            const uint32_t want = t.bits == 8 ? 0xA5 : level << (16 - bits);
            // Conversions make opaque pixels, except into the source's own format, which copies.
            const bool copy = std::string(source) == target;
            for (size_t i = 0; i < pixels * components; ++i) {
                const bool alpha = t.alpha && i % 4 == 3 && !copy;
                const uint32_t got = t.bits == 8 ? out[i] : word(out, i);
                ASSERT_EQ(got, alpha ? (t.bits == 8 ? 0xFFu : 0xFFFFu) : want)
                    << source << " -> " << target << " @" << i;
            }
        }
    };
    for (const char* source : grey) {
        const PixelFormat& f = *findPixelFormat(source);
        const std::vector<uint16_t> values(pixels, static_cast<uint16_t>(0xA5A5u >> (16 - f.bits)));
        std::vector<uint8_t> bytes = f.storage == Storage::Byte        ? std::vector<uint8_t>(pixels, 0xA5)
                                     : f.storage == Storage::Word      ? words(values)
                                     : f.storage == Storage::LsbPacked ? packLsb(values, f.bits)
                                                                       : packGigE(values, f.bits);
        check(source, bytes, f.bits);
    }
    for (const char* source : colour) {
        const PixelFormat& f = *findPixelFormat(source);
        const std::vector<uint16_t> values(pixels * f.channels, static_cast<uint16_t>(0xA5A5u >> (16 - f.bits)));
        std::vector<uint8_t> bytes = f.bits == 8 ? std::vector<uint8_t>(pixels * f.channels, 0xA5) : words(values);
        check(source, bytes, f.bits);
    }
    std::vector<uint8_t> yuv;
    for (size_t i = 0; i < pixels / 2; ++i) yuv.insert(yuv.end(), {0xA5, 128, 0xA5, 128});
    check("YUV422_8", yuv, 8);
}

TEST(Conversion, TransformImageMakesAnImageOfItsOwnThatOutlivesTheSource) {
    auto processor = makeProcessor();
    IImage* converted = nullptr;
    {
        std::vector<uint8_t> mono = {1, 2, 3, 4, 5, 6};
        auto image = makeImage("Mono8", 3, 2, mono);
        ASSERT_EQ(processor->TransformImage(image.get(), "BGR8", &converted), IMG_SUCCESS);
    }
    ImagePtr owned(converted);
    EXPECT_EQ(pixelFormatOf(converted), "BGR8");
    EXPECT_EQ(sizeOf(converted, false), 3u);
    EXPECT_EQ(sizeOf(converted, true), 2u);
    EXPECT_EQ(pixelsOf(converted), (std::vector<uint8_t>{1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4, 5, 5, 5, 6, 6, 6}));
}

TEST(Conversion, BufferSizesFollowTheTargetAndRawTargetsAreRefused) {
    std::vector<uint8_t> bayer(6);
    auto image = makeImage("BayerRG8", 3, 2, bayer);
    const std::pair<const char*, uint64_t> sizes[] = {{"Mono8", 6},  {"Mono16", 12}, {"RGB8", 18},  {"BGR8", 18},
                                                      {"RGBa8", 24}, {"BGRa8", 24},  {"RGB16", 36}, {"BGR16", 36}};
    for (const auto& [format, bytes] : sizes) {
        uint64_t length = 0;
        EXPECT_EQ(image->GetTransformedBufferSize(format, &length), IMG_SUCCESS) << format;
        EXPECT_EQ(length, bytes) << format;
    }
    uint64_t length = 0;
    EXPECT_EQ(image->GetTransformedBufferSize("BayerRG8", &length), IMG_UNSUPPORTED_CONVERSION);
    EXPECT_EQ(image->GetTransformedBufferSize("Mono12p", &length), IMG_UNSUPPORTED_CONVERSION);
    EXPECT_EQ(image->GetTransformedBufferSize("Mono9", &length), IMG_INVALID_PARAMETER);
    auto processor = makeProcessor();
    std::vector<uint8_t> out(64);
    EXPECT_EQ(processor->TransformImageToBuffer(image.get(), "Mono10", out.data(), out.size()),
              IMG_UNSUPPORTED_CONVERSION);
    IImage* result = nullptr;
    EXPECT_EQ(processor->TransformImage(image.get(), "YUV422_8", &result), IMG_UNSUPPORTED_CONVERSION);
    EXPECT_EQ(result, nullptr);
}

void enableColourMatrix(IImageProcessor* processor, uint32_t on) {
    const uint64_t length = 4;
    ASSERT_EQ(WritePort(processor, IMG_REG_COLOR_TRANSFORMATION_ENABLE, &on, &length), IMG_SUCCESS);
}

TEST(Conversion, ColourMatrixAppliesToColourSourcesOnlyWhenEnabled) {
    auto processor = makeProcessor();
    const double swapRedBlue[3][3] = {{0, 0, 1}, {0, 1, 0}, {1, 0, 0}};
    for (uint32_t r = 0; r < 3; ++r)
        for (uint32_t c = 0; c < 3; ++c)
            ASSERT_EQ(processor->SetMatrixElement(IMG_MATRIX_COLOR, r, c, swapRedBlue[r][c]), IMG_SUCCESS);
    std::vector<uint8_t> rgb = {10, 20, 30, 200, 100, 0};
    auto image = makeImage("RGB8", 2, 1, rgb);
    EXPECT_EQ(convert(processor.get(), image.get(), "RGB8"), rgb) << "the matrix is off by default";
    enableColourMatrix(processor.get(), 1);
    EXPECT_EQ(convert(processor.get(), image.get(), "RGB8"), (std::vector<uint8_t>{30, 20, 10, 0, 100, 200}));
    EXPECT_EQ(convert(processor.get(), image.get(), "BGR8"), (std::vector<uint8_t>{10, 20, 30, 200, 100, 0}));

    // Gains beyond full scale clamp; negative results stop at 0.
    ASSERT_EQ(processor->SetMatrixElement(IMG_MATRIX_COLOR, 0, 0, 2.0), IMG_SUCCESS);
    ASSERT_EQ(processor->SetMatrixElement(IMG_MATRIX_COLOR, 0, 2, 0.0), IMG_SUCCESS);
    ASSERT_EQ(processor->SetMatrixElement(IMG_MATRIX_COLOR, 2, 0, 0.0), IMG_SUCCESS);
    ASSERT_EQ(processor->SetMatrixElement(IMG_MATRIX_COLOR, 2, 2, -1.0), IMG_SUCCESS);
    EXPECT_EQ(convert(processor.get(), image.get(), "RGB8"), (std::vector<uint8_t>{20, 20, 0, 255, 100, 0}));

    std::vector<uint8_t> mono = {10, 250};
    auto grey = makeImage("Mono8", 2, 1, mono);
    EXPECT_EQ(convert(processor.get(), grey.get(), "RGB8"), (std::vector<uint8_t>{10, 10, 10, 250, 250, 250}))
        << "grey sources have no colours to mix";
    double value = 0;
    EXPECT_EQ(processor->GetMatrixElement(IMG_MATRIX_COLOR, 2, 2, &value), IMG_SUCCESS);
    EXPECT_EQ(value, -1.0);
    EXPECT_EQ(processor->SetMatrixElement(IMG_MATRIX_COLOR, 3, 0, 1.0), IMG_INVALID_PARAMETER);
    EXPECT_EQ(processor->SetMatrixElement(IMG_MATRIX_COLOR, 0, 0, 65.0), IMG_INVALID_PARAMETER);
    EXPECT_EQ(processor->SetMatrixElement(7, 0, 0, 1.0), IMG_INVALID_PARAMETER);
}

}  // namespace
}  // namespace corvid2::img::test
