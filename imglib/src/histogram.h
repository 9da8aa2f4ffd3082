// SPDX-License-Identifier: BSD-3-Clause
// Histograms: counting an image's values per channel (CHistogramCounts), the IHistogram object over them, and the
// record set of ImageGetHistogram.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "corvid2_img/corvid2_img.h"
#include "image_view.h"

namespace corvid2::img {

/// A rectangle of an image.
struct Region {
    uint32_t x = 0, y = 0, width = 0, height = 0;
};

/// Weights of red, green and blue in channel 0 of colour images.
using ChannelWeights = std::array<double, 3>;
constexpr ChannelWeights kDefaultWeights{0.299, 0.587, 0.114};

/// Counts per channel: 0 the whole image, 1 red, 2 green, 3 blue (colour images only), 2^bits counters each.
struct CHistogramCounts {
    unsigned bits = 0;  ///< 0 while nothing was counted
    bool colour = false;
    std::array<std::vector<uint64_t>, 4> counts;

    /// Counts the region of the image (within the image) into these counts, replacing them. The weights must not
    /// all be 0.
    void count(const ImageView& image, const Region& region, const ChannelWeights& weights, unsigned threads);
    /// Adds another count of the same depth.
    void add(const CHistogramCounts& other);
    bool has(unsigned channel) const { return bits != 0 && (channel == 0 || colour); }
};

/// IHistogram over CHistogramCounts.
class CHistogram final : public IHistogram {
public:
    CHistogram();
    ~CHistogram();
    CHistogram(const CHistogram&) = delete;
    CHistogram& operator=(const CHistogram&) = delete;

    IMG_RESULT_CODES Initialize() override;
    IMG_RESULT_CODES SetNormalizedRange(double low, double high) override;
    IMG_RESULT_CODES Fill(IImage* image, uint32_t flags) override;
    IMG_RESULT_CODES GetAverage(double* average) const override;
    IMG_RESULT_CODES GetAverageInRange(double* average) const override;
    IMG_RESULT_CODES GetCountInRange(uint64_t* count) const override;
    IMG_RESULT_CODES GetCountOver(uint64_t* count) const override;
    IMG_RESULT_CODES GetCountUnder(uint64_t* count) const override;
    IMG_RESULT_CODES GetCountTotal(uint64_t* count) const override;
    IMG_RESULT_CODES SetChannelIndex(uint32_t channel) override;
    IMG_RESULT_CODES GetChannelIndex(uint32_t* channel) const override;
    IMG_RESULT_CODES SetChannelWeight(uint32_t channel, double weight) override;
    IMG_RESULT_CODES GetChannelWeight(uint32_t channel, double* weight) const override;

private:
    /// Statistics of the selected channel over the range.
    struct Statistics {
        uint64_t total = 0, inRange = 0, over = 0, under = 0;
        double average = 0, averageInRange = 0;
    };
    Statistics statistics() const;

    CHistogramCounts counts_;
    double low_ = 0, high_ = 1;
    uint32_t channel_ = 0;
    ChannelWeights weights_ = kDefaultWeights;
};

/// ImageGetHistogram: validates the records and the region (offsets and sizes of 0 as documented) and fills them.
IMG_RESULT_CODES fillHistogramRecords(const ImageView& image, const qx_tHistRecords& records, uint64_t offsetX,
                                      uint64_t offsetY, uint64_t width, uint64_t height, unsigned threads);

}  // namespace corvid2::img
