// SPDX-License-Identifier: BSD-3-Clause
// Unpacking of the packed and 16-bit grey formats: the published byte examples, every vector kernel against the
// scalar one, and whole images through the processor.
#include <gtest/gtest.h>

#include <cstring>

#include "cpu_features.h"
#include "image_test_support.h"
#include "pixel_format.h"
#include "unpack.h"

namespace corvid2::img::test {
namespace {

std::vector<uint16_t> samplesOf(const char* format, const std::vector<uint8_t>& bytes, uint64_t first, uint32_t count) {
    std::vector<uint16_t> out(count, 0xDEAD);
    readSamples(*findPixelFormat(format), bytes.data(), bytes.size(), first, count, out.data());
    return out;
}

TEST(Unpacking, PublishedByteExamplesGiveTheirValues) {
    EXPECT_EQ(samplesOf("Mono10p", {0x23, 0xFD, 0x1F, 0x80, 0xAA}, 0, 4),
              (std::vector<uint16_t>{0x123, 0x3FF, 0x001, 0x2AA}));
    EXPECT_EQ(samplesOf("Mono10p", {0xAB, 0xCD, 0xEF, 0x0A, 0xBC}, 0, 4),
              (std::vector<uint16_t>{0x1AB, 0x3F3, 0x0AE, 0x2F0}));
    EXPECT_EQ(samplesOf("Mono12p", {0x23, 0xC1, 0xAB}, 0, 2), (std::vector<uint16_t>{0x123, 0xABC}));
    EXPECT_EQ(samplesOf("Mono12p", {0xBC, 0xFA, 0xDE}, 0, 2), (std::vector<uint16_t>{0xABC, 0xDEF}));
    EXPECT_EQ(samplesOf("Mono14p", {0x34, 0xD2, 0xFF, 0x1F, 0x00, 0xA8, 0xAA}, 0, 4),
              (std::vector<uint16_t>{0x1234, 0x3FFF, 0x0001, 0x2AAA}));
    EXPECT_EQ(samplesOf("Mono12Packed", {0xAB, 0xFC, 0xDE}, 0, 2), (std::vector<uint16_t>{0xABC, 0xDEF}));
    EXPECT_EQ(samplesOf("Mono10Packed", {0x48, 0x31, 0xFF}, 0, 2), (std::vector<uint16_t>{0x121, 0x3FF}));
    EXPECT_EQ(samplesOf("Mono12", {0xBC, 0x0A, 0x01, 0x00}, 0, 2), (std::vector<uint16_t>{0xABC, 0x001}));
}

// Rows of packed images start anywhere in the stream: every start and length must read exactly those samples.
TEST(Unpacking, AnyRunOfSamplesReadsExactlyThoseSamples) {
    struct Case {
        const char* format;
        unsigned bits;
        bool gigE;
    };
    for (const Case& c :
         {Case{"Mono10p", 10, false}, Case{"Mono12p", 12, false}, Case{"Mono14p", 14, false},
          Case{"BayerGB12p", 12, false}, Case{"Mono10Packed", 10, true}, Case{"Mono12Packed", 12, true}}) {
        const std::vector<uint16_t> values = randomValues(77, c.bits, c.bits);
        // The exact stream, no byte more, so that AddressSanitizer sees any read beyond it.
        const std::vector<uint8_t> packed = c.gigE ? packGigE(values, c.bits) : packLsb(values, c.bits);
        for (uint64_t first = 0; first < 9; ++first)
            for (uint32_t count : {0u, 1u, 2u, 3u, 5u, 8u, 31u, static_cast<uint32_t>(values.size() - first)}) {
                if (first + count > values.size()) continue;
                const std::vector<uint16_t> expected(values.begin() + first, values.begin() + first + count);
                EXPECT_EQ(samplesOf(c.format, packed, first, count), expected)
                    << c.format << " from " << first << " count " << count;
            }
    }
}

class Unpack12Kernels : public ::testing::TestWithParam<Isa> {};

TEST_P(Unpack12Kernels, GiveTheScalarResultsForEveryLengthAndAlignment) {
    const Isa isa = GetParam();
    if (isa > detectedIsa()) GTEST_SKIP() << isaName(isa) << " is not available on this processor";
    const std::vector<uint8_t> source = randomBytes(3 * 300 + 3, 12);
    for (Packing12 packing : {Packing12::Lsb, Packing12::GigE})
        for (bool msb : {false, true})
            for (size_t offset : {size_t{0}, size_t{1}, size_t{3}})
                for (size_t pairs :
                     {size_t{0}, size_t{1}, size_t{5}, size_t{6}, size_t{9}, size_t{10}, size_t{16}, size_t{31},
                      size_t{32}, size_t{33}, size_t{47}, size_t{64}, size_t{100}, size_t{300}}) {
                    // Exactly sized copies: a kernel that reads or writes a byte too many trips AddressSanitizer.
                    const std::vector<uint8_t> in(source.begin() + offset, source.begin() + offset + pairs * 3);
                    std::vector<uint8_t> expected(pairs * 4 + 1, 0x5A), got(pairs * 4 + 1, 0x5A);
                    unpack12Kernel(Isa::Scalar, packing, msb)(in.data(), expected.data(), pairs);
                    unpack12Kernel(isa, packing, msb)(in.data(), got.data() + 1, pairs);
                    ASSERT_EQ(std::vector<uint8_t>(got.begin() + 1, got.end()),
                              std::vector<uint8_t>(expected.begin(), expected.end() - 1))
                        << isaName(isa) << " pairs " << pairs << " offset " << offset << " msb " << msb;
                    EXPECT_EQ(got[0], 0x5A) << "wrote before its output";
                }
}

INSTANTIATE_TEST_SUITE_P(EveryInstructionSet, Unpack12Kernels, ::testing::Values(Isa::Sse42, Isa::Avx2, Isa::Avx512),
                         [](const ::testing::TestParamInfo<Isa>& info) {
                             return std::string(info.param == Isa::Sse42  ? "Sse42"
                                                : info.param == Isa::Avx2 ? "Avx2"
                                                                          : "Avx512");
                         });

TEST(Unpacking, PackedTwelveBitImagesBecomeMono16AlignedToTheTopWithOddPixelCounts) {
    auto processor = makeProcessor();
    for (const char* format : {"Mono12p", "Mono12Packed"}) {
        const uint32_t width = 37, height = 5;  // an odd number of pixels leaves half a pair at the end
        const std::vector<uint16_t> values = randomValues(size_t{width} * height, 12, 5);
        std::vector<uint8_t> packed = std::string(format) == "Mono12p" ? packLsb(values, 12) : packGigE(values, 12);
        auto image = makeImage(format, width, height, packed);
        const std::vector<uint8_t> mono16 = convert(processor.get(), image.get(), "Mono16");
        ASSERT_EQ(mono16.size(), values.size() * 2);
        for (size_t i = 0; i < values.size(); ++i) ASSERT_EQ(word(mono16, i), values[i] << 4) << format << " " << i;
        const std::vector<uint8_t> mono8 = convert(processor.get(), image.get(), "Mono8");
        for (size_t i = 0; i < values.size(); ++i) ASSERT_EQ(mono8[i], values[i] >> 4) << format << " " << i;
    }
}

TEST(Unpacking, EveryGreyDepthConvertsToMono8AndMono16) {
    auto processor = makeProcessor();
    struct Case {
        const char* format;
        unsigned bits;
        enum { Word, Lsb, GigE } storage;
    };
    for (const Case& c :
         {Case{"Mono10", 10, Case::Word}, Case{"Mono12", 12, Case::Word}, Case{"Mono14", 14, Case::Word},
          Case{"Mono16", 16, Case::Word}, Case{"Mono10p", 10, Case::Lsb}, Case{"Mono14p", 14, Case::Lsb},
          Case{"Mono10Packed", 10, Case::GigE}}) {
        const uint32_t width = 13, height = 3;
        const std::vector<uint16_t> values = randomValues(size_t{width} * height, c.bits, c.bits + 100);
        std::vector<uint8_t> bytes = c.storage == Case::Word  ? words(values)
                                     : c.storage == Case::Lsb ? packLsb(values, c.bits)
                                                              : packGigE(values, c.bits);
        auto image = makeImage(c.format, width, height, bytes);
        const std::vector<uint8_t> mono16 = convert(processor.get(), image.get(), "Mono16");
        const std::vector<uint8_t> mono8 = convert(processor.get(), image.get(), "Mono8");
        for (size_t i = 0; i < values.size(); ++i) {
            ASSERT_EQ(word(mono16, i), values[i] << (16 - c.bits)) << c.format << " " << i;
            ASSERT_EQ(mono8[i], values[i] >> (c.bits - 8)) << c.format << " " << i;
        }
    }
}

}  // namespace
}  // namespace corvid2::img::test
