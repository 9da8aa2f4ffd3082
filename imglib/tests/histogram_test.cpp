// SPDX-License-Identifier: BSD-3-Clause
// Histograms equal a direct count: the record set of ImageGetHistogram and the histogram object's statistics, over
// grey, packed, colour and Bayer images, whole and in regions, on one and several threads.
#include <gtest/gtest.h>

#include <cmath>
#include <map>

#include "image_test_support.h"
#include "thread_pool.h"

namespace corvid2::img::test {
namespace {

struct HistogramDeleter {
    void operator()(IHistogram* h) const { EXPECT_EQ(HistogramRelease(h), IMG_SUCCESS); }
};
using HistogramPtr = std::unique_ptr<IHistogram, HistogramDeleter>;

HistogramPtr makeHistogram() {
    IHistogram* h = nullptr;
    EXPECT_EQ(HistogramCreate(&h), IMG_SUCCESS);
    return HistogramPtr(h);
}

/// Four records with counters of `bins` each.
struct Records {
    explicit Records(uint32_t bins) : counts(4, std::vector<uint64_t>(bins, 7)) {
        for (int c = 0; c < 4; ++c) {
            records[c] = qx_tHistRecord{};
            records[c].counts = counts[c].data();
            records[c].binCount = bins;
        }
    }
    qx_tHistRecords set(uint32_t count = 4) { return qx_tHistRecords{records, count, 0}; }
    std::vector<std::vector<uint64_t>> counts;
    qx_tHistRecord records[4];
};

std::vector<uint64_t> directCount(const std::vector<uint16_t>& values, unsigned bins) {
    std::vector<uint64_t> h(bins, 0);
    for (uint16_t v : values) ++h[v];
    return h;
}

TEST(Histogram, GreyRecordsEqualADirectCountWholeAndInARegion) {
    const uint32_t width = 301, height = 203;
    std::vector<uint8_t> pixels = randomBytes(size_t{width} * height, 1);
    auto image = makeImage("Mono8", width, height, pixels);
    for (unsigned threads : {1u, 2u, 3u}) {
        setDefaultConcurrency(threads);
        Records whole(256);
        ASSERT_EQ(ImageGetHistogram(image.get(), whole.set(), 0, 0, 0, 0), IMG_SUCCESS);
        EXPECT_EQ(whole.counts[0], directCount(std::vector<uint16_t>(pixels.begin(), pixels.end()), 256));
        EXPECT_EQ(whole.records[0].valid, 1u);
        EXPECT_EQ(whole.records[0].bits, 8u);
        EXPECT_EQ(whole.records[0].total, uint64_t{width} * height);
        for (int c = 1; c < 4; ++c) {
            EXPECT_EQ(whole.records[c].valid, 0u) << "grey images have no colour channels";
            EXPECT_EQ(whole.counts[c], std::vector<uint64_t>(256, 0));
        }

        const uint32_t x = 17, y = 9, w = 101, h = 57;
        std::vector<uint16_t> region;
        double sum = 0;
        for (uint32_t r = y; r < y + h; ++r)
            for (uint32_t c = x; c < x + w; ++c) {
                region.push_back(pixels[size_t{r} * width + c]);
                sum += pixels[size_t{r} * width + c];
            }
        Records part(256);
        ASSERT_EQ(ImageGetHistogram(image.get(), part.set(1), x, y, w, h), IMG_SUCCESS);
        EXPECT_EQ(part.counts[0], directCount(region, 256));
        EXPECT_NEAR(part.records[0].average, sum / region.size(), 1e-9);
        EXPECT_EQ(part.records[0].minimum, *std::min_element(region.begin(), region.end()));
        EXPECT_EQ(part.records[0].maximum, *std::max_element(region.begin(), region.end()));
        EXPECT_EQ(part.counts[1], std::vector<uint64_t>(256, 7)) << "records beyond the count stay untouched";
    }
    setDefaultConcurrency(0);
}

TEST(Histogram, PackedAndDeepImagesCountAtTheirDepthAndRebin) {
    const uint32_t width = 64, height = 31;
    const std::vector<uint16_t> values = randomValues(size_t{width} * height, 12, 3);
    std::vector<uint8_t> packed = packLsb(values, 12);
    auto image = makeImage("Mono12p", width, height, packed);
    Records full(4096);
    ASSERT_EQ(ImageGetHistogram(image.get(), full.set(1), 0, 0, 0, 0), IMG_SUCCESS);
    EXPECT_EQ(full.records[0].bits, 12u);
    EXPECT_EQ(full.counts[0], directCount(values, 4096));
    Records coarse(16);  // value v lands in counter v * 16 >> 12
    ASSERT_EQ(ImageGetHistogram(image.get(), coarse.set(1), 0, 0, 0, 0), IMG_SUCCESS);
    std::vector<uint64_t> expected(16, 0);
    for (uint16_t v : values) ++expected[v >> 8];
    EXPECT_EQ(coarse.counts[0], expected);
}

TEST(Histogram, ColourAndBayerImagesCountEachChannelAndTheirLuminance) {
    // RGB: each channel directly, channel 0 the weighted luminance.
    std::vector<uint8_t> rgb = {255, 0, 0, 0, 255, 0, 0, 0, 255, 100, 100, 100};
    auto colour = makeImage("RGB8", 4, 1, rgb);
    Records r(256);
    ASSERT_EQ(ImageGetHistogram(colour.get(), r.set(), 0, 0, 0, 0), IMG_SUCCESS);
    for (int c = 0; c < 4; ++c) EXPECT_EQ(r.records[c].valid, 1u);
    EXPECT_EQ(r.counts[1][255], 1u);
    EXPECT_EQ(r.counts[1][0], 2u);
    EXPECT_EQ(r.counts[1][100], 1u);
    // 0.299, 0.587, 0.114 of 255, and grey 100 itself.
    EXPECT_EQ(r.counts[0][76], 1u);
    EXPECT_EQ(r.counts[0][150], 1u);
    EXPECT_EQ(r.counts[0][29], 1u);
    EXPECT_EQ(r.counts[0][100], 1u);

    // BayerGR8 4 x 2: two cells  G R / B G.
    std::vector<uint8_t> bayer = {10, 200, 12, 210, 100, 30, 110, 34};
    auto raw = makeImage("BayerGR8", 4, 2, bayer);
    Records b(256);
    ASSERT_EQ(ImageGetHistogram(raw.get(), b.set(), 0, 0, 0, 0), IMG_SUCCESS);
    EXPECT_EQ(b.records[1].total, 2u);
    EXPECT_EQ(b.counts[1][200], 1u);
    EXPECT_EQ(b.counts[1][210], 1u);
    EXPECT_EQ(b.records[2].total, 4u);
    EXPECT_EQ(b.counts[2][10] + b.counts[2][30] + b.counts[2][12] + b.counts[2][34], 4u);
    EXPECT_EQ(b.counts[3][100] + b.counts[3][110], 2u);
    EXPECT_EQ(b.records[0].total, 2u);
    // Luminance of cell 1: 0.299 * 200 + 0.587 * 20 + 0.114 * 100 = 82.9.
    EXPECT_EQ(b.counts[0][83], 1u);

    // A region starting at an odd column sees the other phase: cell R G / G B from (1, 0).
    Records shifted(256);
    ASSERT_EQ(ImageGetHistogram(raw.get(), shifted.set(), 1, 0, 2, 2), IMG_SUCCESS);
    EXPECT_EQ(shifted.counts[1][200], 1u);
    EXPECT_EQ(shifted.counts[3][110], 1u);
    EXPECT_EQ(shifted.counts[2][12] + shifted.counts[2][30], 2u);
}

TEST(Histogram, ObjectStatisticsFollowTheRangeChannelAndAccumulation) {
    const uint32_t width = 97, height = 61;
    std::vector<uint8_t> pixels = randomBytes(size_t{width} * height, 9);
    auto image = makeImage("Mono8", width, height, pixels);
    auto h = makeHistogram();
    ASSERT_EQ(h->SetNormalizedRange(0.25, 0.75), IMG_SUCCESS);
    ASSERT_EQ(h->Fill(image.get(), IMG_HISTOGRAM_REPLACE), IMG_SUCCESS);
    // In range: 0.25 * 255 = 63.75 <= v <= 191.25.
    uint64_t under = 0, over = 0, in = 0;
    double sum = 0, sumIn = 0;
    for (uint8_t v : pixels) {
        sum += v;
        if (v < 64) {
            ++under;
        } else if (v > 191) {
            ++over;
        } else {
            ++in;
            sumIn += v;
        }
    }
    uint64_t count = 0;
    double average = 0;
    EXPECT_EQ(h->GetCountTotal(&count), IMG_SUCCESS);
    EXPECT_EQ(count, pixels.size());
    EXPECT_EQ(h->GetCountUnder(&count), IMG_SUCCESS);
    EXPECT_EQ(count, under);
    EXPECT_EQ(h->GetCountOver(&count), IMG_SUCCESS);
    EXPECT_EQ(count, over);
    EXPECT_EQ(h->GetCountInRange(&count), IMG_SUCCESS);
    EXPECT_EQ(count, in);
    EXPECT_EQ(h->GetAverage(&average), IMG_SUCCESS);
    EXPECT_NEAR(average, sum / pixels.size() / 255, 1e-12);
    EXPECT_EQ(h->GetAverageInRange(&average), IMG_SUCCESS);
    EXPECT_NEAR(average, sumIn / in / 255, 1e-12);

    ASSERT_EQ(h->Fill(image.get(), IMG_HISTOGRAM_ACCUMULATE), IMG_SUCCESS);
    EXPECT_EQ(h->GetCountTotal(&count), IMG_SUCCESS);
    EXPECT_EQ(count, 2 * pixels.size());
    std::vector<uint8_t> deep(8, 0);
    auto mono16 = makeImage("Mono16", 2, 2, deep);
    EXPECT_EQ(h->Fill(mono16.get(), IMG_HISTOGRAM_ACCUMULATE), IMG_INVALID_PARAMETER) << "depths differ";
    EXPECT_EQ(h->Fill(image.get(), 2), IMG_INVALID_PARAMETER);

    ASSERT_EQ(h->SetChannelIndex(2), IMG_SUCCESS);
    EXPECT_EQ(h->GetCountTotal(&count), IMG_SUCCESS);
    EXPECT_EQ(count, 0u) << "a grey image has no green channel";
    uint32_t channel = 0;
    EXPECT_EQ(h->GetChannelIndex(&channel), IMG_SUCCESS);
    EXPECT_EQ(channel, 2u);

    ASSERT_EQ(h->Initialize(), IMG_SUCCESS);
    EXPECT_EQ(h->GetChannelIndex(&channel), IMG_SUCCESS);
    EXPECT_EQ(channel, 0u);
    EXPECT_EQ(h->GetCountTotal(&count), IMG_SUCCESS);
    EXPECT_EQ(count, 0u);
}

TEST(Histogram, ChannelWeightsMakeTheLuminanceOfColourImages) {
    std::vector<uint8_t> rgb = {200, 100, 40};
    auto image = makeImage("BGR8", 1, 1, rgb);  // blue 200, green 100, red 40
    auto h = makeHistogram();
    ASSERT_EQ(h->SetChannelWeight(1, 0), IMG_SUCCESS);
    ASSERT_EQ(h->SetChannelWeight(2, 0), IMG_SUCCESS);
    ASSERT_EQ(h->SetChannelWeight(3, 1), IMG_SUCCESS);
    ASSERT_EQ(h->Fill(image.get(), 0), IMG_SUCCESS);
    double average = 0;
    ASSERT_EQ(h->GetAverage(&average), IMG_SUCCESS);
    EXPECT_NEAR(average, 200.0 / 255, 1e-12) << "channel 0 is blue alone";
    ASSERT_EQ(h->SetChannelIndex(1), IMG_SUCCESS);
    ASSERT_EQ(h->GetAverage(&average), IMG_SUCCESS);
    EXPECT_NEAR(average, 40.0 / 255, 1e-12);
    double weight = 0;
    EXPECT_EQ(h->GetChannelWeight(3, &weight), IMG_SUCCESS);
    EXPECT_EQ(weight, 1.0);
    EXPECT_EQ(h->SetChannelWeight(0, 0.5), IMG_INVALID_PARAMETER);
    EXPECT_EQ(h->SetChannelWeight(2, 1.5), IMG_INVALID_PARAMETER);
    ASSERT_EQ(h->SetChannelWeight(3, 0), IMG_SUCCESS);
    EXPECT_EQ(h->Fill(image.get(), 0), IMG_INVALID_PARAMETER) << "all weights 0";
}

}  // namespace
}  // namespace corvid2::img::test
