// SPDX-License-Identifier: BSD-3-Clause
// Scaling with the geometric transform and downsampling of regions: values, sizes, formats and where results go.
#include <gtest/gtest.h>

#include <cmath>

#include "image_test_support.h"

namespace corvid2::img::test {
namespace {

struct TransformDeleter {
    void operator()(IGeoTransform* t) const { EXPECT_EQ(GeoTransformRelease(t), IMG_SUCCESS); }
};
using TransformPtr = std::unique_ptr<IGeoTransform, TransformDeleter>;

TransformPtr makeTransform(double sx, double sy) {
    IGeoTransform* t = nullptr;
    EXPECT_EQ(GeoTransformCreate(&t), IMG_SUCCESS);
    EXPECT_EQ(t->SetScale(sx, sy, 0), IMG_SUCCESS);
    return TransformPtr(t);
}

TEST(Scaling, HalfSizeIsTheMeanOfEachTwoByTwoBlock) {
    std::vector<uint8_t> pixels = randomBytes(8 * 6, 21);
    auto image = makeImage("Mono8", 8, 6, pixels);
    auto target = makeOwnImage("Mono8", 1, 1);
    ASSERT_EQ(makeTransform(0.5, 0.5)->Process(image.get(), target.get()), IMG_SUCCESS);
    ASSERT_EQ(sizeOf(target.get(), false), 4u);
    ASSERT_EQ(sizeOf(target.get(), true), 3u);
    const std::vector<uint8_t> half = pixelsOf(target.get());
    for (uint32_t y = 0; y < 3; ++y)
        for (uint32_t x = 0; x < 4; ++x) {
            const uint32_t sum = pixels[(2 * y) * 8 + 2 * x] + pixels[(2 * y) * 8 + 2 * x + 1] +
                                 pixels[(2 * y + 1) * 8 + 2 * x] + pixels[(2 * y + 1) * 8 + 2 * x + 1];
            EXPECT_EQ(half[y * 4 + x], (sum + 2) / 4) << x << "," << y;
        }
}

TEST(Scaling, DoubleSizeInterpolatesBetweenPixelCentres) {
    std::vector<uint8_t> pixels = {0, 100};
    auto image = makeImage("Mono8", 2, 1, pixels);
    auto target = makeOwnImage("Mono8", 1, 1);
    ASSERT_EQ(makeTransform(2.0, 2.0)->Process(image.get(), target.get()), IMG_SUCCESS);
    EXPECT_EQ(pixelsOf(target.get()), (std::vector<uint8_t>{0, 25, 75, 100, 0, 25, 75, 100}));

    std::vector<uint8_t> deep = words({0, 0, 0, 0xFFFF, 0x8000, 0x100});
    auto colour = makeImage("BGR16", 2, 1, deep);
    auto wide = makeOwnImage("Mono8", 1, 1);
    ASSERT_EQ(makeTransform(2.0, 1.0)->Process(colour.get(), wide.get()), IMG_SUCCESS);
    EXPECT_EQ(pixelFormatOf(wide.get()), "BGR16");
    const std::vector<uint8_t> out = pixelsOf(wide.get());
    EXPECT_EQ(word(out, 3), 0x4000) << "a quarter of the way: 0xFFFF / 4 = 16383.75, rounded";
    EXPECT_EQ(word(out, 9), 0xFFFF);
}

TEST(Scaling, SourcesOfOtherFormatsAreConvertedFirstAndScaledInPlace) {
    std::vector<uint8_t> bayer(8 * 8);
    for (uint32_t y = 0; y < 8; ++y)
        for (uint32_t x = 0; x < 8; ++x)
            bayer[y * 8 + x] = (y % 2 == 0) == (x % 2 == 0) ? ((y % 2 == 0) ? 200 : 20) : 90;
    auto image = makeImage("BayerRG8", 8, 8, bayer);
    auto target = makeOwnImage("Mono8", 1, 1);
    ASSERT_EQ(makeTransform(0.75, 1.5)->Process(image.get(), target.get()), IMG_SUCCESS);
    EXPECT_EQ(pixelFormatOf(target.get()), "RGB8");
    EXPECT_EQ(sizeOf(target.get(), false), 6u);
    EXPECT_EQ(sizeOf(target.get(), true), 12u);
    const std::vector<uint8_t> rgb = pixelsOf(target.get());
    for (size_t i = 0; i < rgb.size(); i += 3)
        EXPECT_EQ(std::vector<uint8_t>(rgb.begin() + i, rgb.begin() + i + 3), (std::vector<uint8_t>{200, 90, 20}));

    std::vector<uint16_t> values(4 * 2, 0x0ABC);
    std::vector<uint8_t> packed = packLsb(values, 12);
    auto twelve = makeImage("Mono12p", 4, 2, packed);
    ASSERT_EQ(makeTransform(0.5, 0.5)->Process(twelve.get(), nullptr), IMG_INVALID_PARAMETER);
    ASSERT_EQ(makeTransform(0.5, 0.5)->Process(twelve.get(), twelve.get()), IMG_SUCCESS) << "in place";
    EXPECT_EQ(pixelFormatOf(twelve.get()), "Mono16");
    EXPECT_EQ(pixelsOf(twelve.get()), words({0xABC0, 0xABC0}));

    // In place over the caller's memory: the result fits, so it stays in that memory.
    std::vector<uint8_t> mine = {10, 20, 30, 40, 0, 0, 0, 0};
    auto own = makeImage("Mono8", 2, 2, mine);
    ASSERT_EQ(makeTransform(1.0, 0.5)->Process(own.get(), own.get()), IMG_SUCCESS);
    void* data = nullptr;
    ASSERT_EQ(own->GetBuffer(&data), IMG_SUCCESS);
    EXPECT_EQ(data, mine.data());
    EXPECT_EQ(std::vector<uint8_t>(mine.begin(), mine.begin() + 2), (std::vector<uint8_t>{20, 30}));
    // Growing beyond the caller's memory moves the image to memory of its own.
    ASSERT_EQ(makeTransform(4.0, 4.0)->Process(own.get(), own.get()), IMG_SUCCESS);
    ASSERT_EQ(own->GetBuffer(&data), IMG_SUCCESS);
    EXPECT_NE(data, mine.data());
    EXPECT_EQ(sizeOf(own.get(), false), 8u);
}

TEST(Scaling, FactorsAndAnglesOutOfRangeAreRefused) {
    IGeoTransform* t = nullptr;
    ASSERT_EQ(GeoTransformCreate(&t), IMG_SUCCESS);
    TransformPtr owned(t);
    EXPECT_EQ(t->SetScale(0, 1, 0), IMG_INVALID_PARAMETER);
    EXPECT_EQ(t->SetScale(-1, 1, 0), IMG_INVALID_PARAMETER);
    EXPECT_EQ(t->SetScale(1, 65, 0), IMG_INVALID_PARAMETER);
    EXPECT_EQ(t->SetScale(std::nan(""), 1, 0), IMG_INVALID_PARAMETER);
    EXPECT_EQ(t->SetScale(1, 1, 90), IMG_INVALID_PARAMETER);
    EXPECT_EQ(t->SetScale(0.5, 2.0, 0), IMG_SUCCESS);
}

TEST(Downsampling, RegionsShrinkToFitTheTargetByBlockMeans) {
    std::vector<uint8_t> pixels = randomBytes(10 * 7, 31);
    auto image = makeImage("Mono8", 10, 7, pixels);
    auto target = makeOwnImage("Mono8", 3, 3);  // the room the result may take
    ASSERT_EQ(image->Downsample(1, 1, 9, 6, target.get()), IMG_SUCCESS);
    ASSERT_EQ(sizeOf(target.get(), false), 3u);  // 9 x 6 by a factor of 3
    ASSERT_EQ(sizeOf(target.get(), true), 2u);
    const std::vector<uint8_t> out = pixelsOf(target.get());
    for (uint32_t j = 0; j < 2; ++j)
        for (uint32_t i = 0; i < 3; ++i) {
            uint32_t sum = 0;
            for (uint32_t y = 0; y < 3; ++y)
                for (uint32_t x = 0; x < 3; ++x) sum += pixels[(1 + 3 * j + y) * 10 + 1 + 3 * i + x];
            EXPECT_EQ(out[j * 3 + i], (sum + 4) / 9) << i << "," << j;
        }
    // A target of one pixel receives the mean of the whole image.
    auto single = makeOwnImage("Mono8", 1, 1);
    ASSERT_EQ(image->Downsample(0, 0, 0, 0, single.get()), IMG_SUCCESS);
    uint32_t sum = 0;
    for (uint8_t v : pixels) sum += v;
    EXPECT_EQ(pixelsOf(single.get()), (std::vector<uint8_t>{static_cast<uint8_t>((sum + 35) / 70)}));

    EXPECT_EQ(image->Downsample(10, 0, 0, 0, target.get()), IMG_INVALID_PARAMETER);
    EXPECT_EQ(image->Downsample(2, 0, 9, 1, target.get()), IMG_INVALID_PARAMETER);
    EXPECT_EQ(image->Downsample(0, 0, 0, 0, nullptr), IMG_INVALID_PARAMETER);
}

TEST(Downsampling, MosaicsStayMosaicsAndPackedImagesComeOutUnpacked) {
    // BayerRG8 8 x 4 where each colour has its own constant: R 200, G 100 and 110, B 10.
    std::vector<uint8_t> bayer(8 * 4);
    for (uint32_t y = 0; y < 4; ++y)
        for (uint32_t x = 0; x < 8; ++x)
            bayer[y * 8 + x] = y % 2 == 0 ? (x % 2 == 0 ? 200 : 100) : (x % 2 == 0 ? 110 : 10);
    auto image = makeImage("BayerRG8", 8, 4, bayer);
    auto target = makeOwnImage("Mono8", 4, 2);
    ASSERT_EQ(image->Downsample(1, 0, 6, 4, target.get()), IMG_SUCCESS);
    EXPECT_EQ(pixelFormatOf(target.get()), "BayerGR8") << "starting one column in shifts the phase";
    EXPECT_EQ(pixelsOf(target.get()), (std::vector<uint8_t>{100, 200, 10, 110}));

    std::vector<uint8_t> polarized(16, 5);
    auto mosaic = makeImage("VelmorPolarized8", 4, 4, polarized);
    EXPECT_EQ(mosaic->Downsample(1, 0, 2, 2, target.get()), IMG_INVALID_PARAMETER) << "polarizer cells are whole";
    ASSERT_EQ(mosaic->Downsample(0, 0, 0, 0, target.get()), IMG_SUCCESS);
    EXPECT_EQ(pixelFormatOf(target.get()), "VelmorPolarized8");

    const std::vector<uint16_t> values = randomValues(6 * 2, 12, 8);
    std::vector<uint8_t> packed = packGigE(values, 12);
    auto twelve = makeImage("Mono12Packed", 6, 2, packed);
    auto room = makeOwnImage("Mono8", 6, 2);
    ASSERT_EQ(twelve->Downsample(0, 0, 0, 0, room.get()), IMG_SUCCESS);
    EXPECT_EQ(pixelFormatOf(room.get()), "Mono12");
    EXPECT_EQ(pixelsOf(room.get()), words(values)) << "a factor of 1 unpacks";

    std::vector<uint8_t> yuv = {100, 128, 200, 128};
    auto pair = makeImage("YUV422_8", 2, 1, yuv);
    ASSERT_EQ(pair->Downsample(0, 0, 0, 0, room.get()), IMG_SUCCESS);
    EXPECT_EQ(pixelFormatOf(room.get()), "RGB8");
    EXPECT_EQ(pixelsOf(room.get()), (std::vector<uint8_t>{100, 100, 100, 200, 200, 200}));
}

}  // namespace
}  // namespace corvid2::img::test
