// SPDX-License-Identifier: BSD-3-Clause
// Counting values per channel, split among threads, and the statistics of the histogram object.
#include "histogram.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "converter.h"
#include "image.h"
#include "row_codec.h"
#include "thread_pool.h"

namespace corvid2::img {

namespace {

/// Luminance weights in 16-bit fixed point, summing to exactly 65536 so that a luminance never exceeds full scale.
struct LumaWeights {
    uint32_t red, green, blue;
};

LumaWeights lumaWeights(const ChannelWeights& w) {
    const double sum = w[0] + w[1] + w[2];
    const auto red = static_cast<uint32_t>(std::lround(w[0] / sum * 65536));
    const auto blue = std::min<uint32_t>(65536 - red, static_cast<uint32_t>(std::lround(w[2] / sum * 65536)));
    return {red, 65536 - red - blue, blue};
}

// 8-bit grey rows. Each count is a load and a store to the same table, so runs of equal values would wait on their
// own previous store: eight sub-histograms, one per position modulo 8, keep neighbouring pixels apart.
void countGrey8(const ImageView& image, const Region& region, uint32_t y0, uint32_t y1, std::vector<uint64_t>& out) {
    constexpr int kTables = 8;
    uint32_t sub[kTables][256] = {};
    uint64_t pending = 0;
    auto flush = [&] {
        for (int v = 0; v < 256; ++v) {
            uint64_t sum = 0;
            for (int t = 0; t < kTables; ++t) {
                sum += sub[t][v];
                sub[t][v] = 0;
            }
            out[v] += sum;
        }
        pending = 0;
    };
    for (uint32_t y = y0; y < y1; ++y) {
        const uint8_t* p = image.data + uint64_t{y} * image.width + region.x;
        uint32_t x = 0;
        for (; x + 2 * kTables <= region.width; x += 2 * kTables)
            for (int k = 0; k < 2 * kTables; ++k) ++sub[k % kTables][p[x + k]];
        for (; x < region.width; ++x) ++sub[0][p[x]];
        pending += region.width;
        if (pending > (uint64_t{1} << 31)) flush();  // before a 32-bit counter could overflow
    }
    flush();
}

void countGrey(const ImageView& image, const Region& region, uint32_t y0, uint32_t y1, std::vector<uint64_t>& out) {
    std::vector<uint16_t> scratch(image.width);
    for (uint32_t y = y0; y < y1; ++y) {
        const uint16_t* row = sampleRow<uint16_t>(image, y, scratch.data()) + region.x;
        for (uint32_t x = 0; x < region.width; ++x) ++out[row[x]];
    }
}

void countColour(const ImageView& image, const Region& region, const LumaWeights& w, uint32_t y0, uint32_t y1,
                 std::array<std::vector<uint64_t>, 4>& out) {
    std::vector<uint16_t> rgb(size_t{image.width} * 3);
    for (uint32_t y = y0; y < y1; ++y) {
        colourRow<uint16_t>(image, y, rgb.data());
        const uint16_t* p = rgb.data() + size_t{region.x} * 3;
        for (uint32_t x = 0; x < region.width; ++x, p += 3) {
            ++out[1][p[0]];
            ++out[2][p[1]];
            ++out[3][p[2]];
            ++out[0][(w.red * p[0] + w.green * p[1] + w.blue * p[2] + 32768) >> 16];
        }
    }
}

// Bayer images by 2 x 2 cell from the region's corner; cellRows are rows of cells.
void countBayer(const ImageView& image, const Region& region, const LumaWeights& w, uint32_t c0, uint32_t c1,
                std::array<std::vector<uint64_t>, 4>& out) {
    // Where red and blue sit in a cell of the region's phase; the greens take the other two places.
    const BayerPhase phase = shiftedPhase(image.format->phase, region.x, region.y);
    const unsigned redAt = phase == BayerPhase::RG ? 0 : phase == BayerPhase::GR ? 1 : phase == BayerPhase::GB ? 2 : 3;
    const unsigned blueAt = 3 - redAt;
    std::vector<uint16_t> scratch(size_t{image.width} * 2);
    const uint32_t cellsWide = region.width / 2;
    for (uint32_t c = c0; c < c1; ++c) {
        const uint32_t y = region.y + 2 * c;
        const uint16_t* rows[2] = {sampleRow<uint16_t>(image, y, scratch.data()) + region.x,
                                   sampleRow<uint16_t>(image, y + 1, scratch.data() + image.width) + region.x};
        for (uint32_t i = 0; i < cellsWide; ++i) {
            const uint32_t cell[4] = {rows[0][2 * i], rows[0][2 * i + 1], rows[1][2 * i], rows[1][2 * i + 1]};
            const uint32_t red = cell[redAt], blue = cell[blueAt];
            const uint32_t greens = cell[0] + cell[1] + cell[2] + cell[3] - red - blue;
            ++out[1][red];
            ++out[3][blue];
            ++out[2][cell[redAt ^ 1]];
            ++out[2][cell[redAt ^ 2]];
            ++out[0][(2 * w.red * red + w.green * greens + 2 * w.blue * blue + 65536) >> 17];
        }
    }
}

}  // namespace

void CHistogramCounts::count(const ImageView& image, const Region& region, const ChannelWeights& weights,
                             unsigned threads) {
    const PixelFormat& f = *image.format;
    bits = f.bits;
    colour = f.isColour();
    const size_t bins = size_t{1} << bits;
    for (unsigned c = 0; c < 4; ++c) counts[c].assign(c == 0 || colour ? bins : 0, 0);
    const LumaWeights luma = lumaWeights(weights);
    const bool bayer = f.family == Family::Bayer;
    const uint32_t units = bayer ? region.height / 2 : region.height;
    const uint32_t minUnits = std::max(1u, minRowsPerPart(region.width) / (bayer ? 2 : 1));
    const size_t parts = std::clamp<size_t>(units / minUnits, 1, std::max(1u, threads));
    std::vector<CHistogramCounts> partial(parts);
    parallelFor(parts, threads, 1, [&](size_t begin, size_t end) {
        for (size_t part = begin; part < end; ++part) {
            CHistogramCounts& mine = partial[part];
            for (unsigned c = 0; c < 4; ++c) mine.counts[c].assign(counts[c].size(), 0);
            const auto u0 = static_cast<uint32_t>(units * part / parts);
            const auto u1 = static_cast<uint32_t>(units * (part + 1) / parts);
            if (bayer)
                countBayer(image, region, luma, u0, u1, mine.counts);
            else if (colour)
                countColour(image, region, luma, region.y + u0, region.y + u1, mine.counts);
            else if (f.bits == 8)
                countGrey8(image, region, region.y + u0, region.y + u1, mine.counts[0]);
            else
                countGrey(image, region, region.y + u0, region.y + u1, mine.counts[0]);
        }
    });
    for (const CHistogramCounts& p : partial)
        for (unsigned c = 0; c < 4; ++c)
            for (size_t v = 0; v < counts[c].size(); ++v) counts[c][v] += p.counts[c][v];
}

void CHistogramCounts::add(const CHistogramCounts& other) {
    colour = colour || other.colour;
    for (unsigned c = 0; c < 4; ++c) {
        if (counts[c].size() < other.counts[c].size()) counts[c].resize(other.counts[c].size(), 0);
        for (size_t v = 0; v < other.counts[c].size(); ++v) counts[c][v] += other.counts[c][v];
    }
}

CHistogram::CHistogram() = default;
CHistogram::~CHistogram() = default;

IMG_RESULT_CODES CHistogram::Initialize() {
    counts_ = CHistogramCounts();
    low_ = 0;
    high_ = 1;
    channel_ = 0;
    weights_ = kDefaultWeights;
    return IMG_SUCCESS;
}

IMG_RESULT_CODES CHistogram::SetNormalizedRange(double low, double high) {
    if (!(low >= 0 && low <= high && high <= 1)) return IMG_INVALID_PARAMETER;
    low_ = low;
    high_ = high;
    return IMG_SUCCESS;
}

IMG_RESULT_CODES CHistogram::Fill(IImage* image, uint32_t flags) {
    const CImage* source = CImage::fromInterface(image);
    if (source == nullptr || (flags & ~uint32_t{IMG_HISTOGRAM_ACCUMULATE}) != 0) return IMG_INVALID_PARAMETER;
    if (weights_[0] + weights_[1] + weights_[2] <= 0) return IMG_INVALID_PARAMETER;
    const ImageView view = source->view();
    const bool accumulate = (flags & IMG_HISTOGRAM_ACCUMULATE) != 0 && counts_.bits != 0;
    if (accumulate && counts_.bits != view.format->bits) return IMG_INVALID_PARAMETER;
    CHistogramCounts fresh;
    fresh.count(view, Region{0, 0, view.width, view.height}, weights_, defaultConcurrency());
    if (accumulate)
        counts_.add(fresh);
    else
        counts_ = std::move(fresh);
    return IMG_SUCCESS;
}

CHistogram::Statistics CHistogram::statistics() const {
    Statistics s;
    if (!counts_.has(channel_)) return s;
    const std::vector<uint64_t>& h = counts_.counts[channel_];
    const double most = static_cast<double>(h.size() - 1);
    // A value is in the range when low * full scale <= value <= high * full scale.
    const auto lowest = static_cast<uint64_t>(std::ceil(low_ * most - 1e-9));
    const auto highest = static_cast<uint64_t>(std::floor(high_ * most + 1e-9));
    double sum = 0, sumInRange = 0;
    for (size_t v = 0; v < h.size(); ++v) {
        if (h[v] == 0) continue;
        s.total += h[v];
        sum += static_cast<double>(v) * h[v];
        if (v < lowest) {
            s.under += h[v];
        } else if (v > highest) {
            s.over += h[v];
        } else {
            s.inRange += h[v];
            sumInRange += static_cast<double>(v) * h[v];
        }
    }
    if (s.total != 0) s.average = sum / s.total / most;
    if (s.inRange != 0) s.averageInRange = sumInRange / s.inRange / most;
    return s;
}

IMG_RESULT_CODES CHistogram::GetAverage(double* average) const {
    if (average == nullptr) return IMG_INVALID_PARAMETER;
    *average = statistics().average;
    return IMG_SUCCESS;
}

IMG_RESULT_CODES CHistogram::GetAverageInRange(double* average) const {
    if (average == nullptr) return IMG_INVALID_PARAMETER;
    *average = statistics().averageInRange;
    return IMG_SUCCESS;
}

IMG_RESULT_CODES CHistogram::GetCountInRange(uint64_t* count) const {
    if (count == nullptr) return IMG_INVALID_PARAMETER;
    *count = statistics().inRange;
    return IMG_SUCCESS;
}

IMG_RESULT_CODES CHistogram::GetCountOver(uint64_t* count) const {
    if (count == nullptr) return IMG_INVALID_PARAMETER;
    *count = statistics().over;
    return IMG_SUCCESS;
}

IMG_RESULT_CODES CHistogram::GetCountUnder(uint64_t* count) const {
    if (count == nullptr) return IMG_INVALID_PARAMETER;
    *count = statistics().under;
    return IMG_SUCCESS;
}

IMG_RESULT_CODES CHistogram::GetCountTotal(uint64_t* count) const {
    if (count == nullptr) return IMG_INVALID_PARAMETER;
    *count = statistics().total;
    return IMG_SUCCESS;
}

IMG_RESULT_CODES CHistogram::SetChannelIndex(uint32_t channel) {
    if (channel > 3) return IMG_INVALID_PARAMETER;
    channel_ = channel;
    return IMG_SUCCESS;
}

IMG_RESULT_CODES CHistogram::GetChannelIndex(uint32_t* channel) const {
    if (channel == nullptr) return IMG_INVALID_PARAMETER;
    *channel = channel_;
    return IMG_SUCCESS;
}

IMG_RESULT_CODES CHistogram::SetChannelWeight(uint32_t channel, double weight) {
    if (channel < 1 || channel > 3 || !(weight >= 0 && weight <= 1)) return IMG_INVALID_PARAMETER;
    weights_[channel - 1] = weight;
    return IMG_SUCCESS;
}

IMG_RESULT_CODES CHistogram::GetChannelWeight(uint32_t channel, double* weight) const {
    if (channel < 1 || channel > 3 || weight == nullptr) return IMG_INVALID_PARAMETER;
    *weight = weights_[channel - 1];
    return IMG_SUCCESS;
}

IMG_RESULT_CODES fillHistogramRecords(const ImageView& image, const qx_tHistRecords& records, uint64_t offsetX,
                                      uint64_t offsetY, uint64_t width, uint64_t height, unsigned threads) {
    if (records.records == nullptr || records.count < 1 || records.count > 4) return IMG_INVALID_PARAMETER;
    for (uint32_t i = 0; i < records.count; ++i) {
        const qx_tHistRecord& r = records.records[i];
        if (r.counts != nullptr && (r.binCount < 1 || r.binCount > 65536)) return IMG_INVALID_PARAMETER;
    }
    if (offsetX >= image.width || offsetY >= image.height) return IMG_INVALID_PARAMETER;
    const uint64_t regionWidth = width != 0 ? width : image.width - offsetX;
    const uint64_t regionHeight = height != 0 ? height : image.height - offsetY;
    if (regionWidth > image.width - offsetX || regionHeight > image.height - offsetY) return IMG_INVALID_PARAMETER;

    CHistogramCounts counts;
    const Region region{static_cast<uint32_t>(offsetX), static_cast<uint32_t>(offsetY),
                        static_cast<uint32_t>(regionWidth), static_cast<uint32_t>(regionHeight)};
    counts.count(image, region, kDefaultWeights, threads);
    for (uint32_t channel = 0; channel < records.count; ++channel) {
        qx_tHistRecord& r = records.records[channel];
        if (r.counts != nullptr) std::fill(r.counts, r.counts + r.binCount, 0);
        r.bits = 0;
        r.total = 0;
        r.average = 0;
        r.minimum = r.maximum = 0;
        r.valid = counts.has(channel) ? 1 : 0;
        if (r.valid == 0) continue;
        r.bits = counts.bits;
        const std::vector<uint64_t>& h = counts.counts[channel];
        double sum = 0;
        bool first = true;
        for (size_t v = 0; v < h.size(); ++v) {
            if (h[v] == 0) continue;
            r.total += h[v];
            sum += static_cast<double>(v) * h[v];
            if (first) r.minimum = static_cast<uint32_t>(v);
            r.maximum = static_cast<uint32_t>(v);
            first = false;
            if (r.counts != nullptr) r.counts[(uint64_t{v} * r.binCount) >> counts.bits] += h[v];
        }
        if (r.total != 0) r.average = sum / r.total;
    }
    return IMG_SUCCESS;
}

}  // namespace corvid2::img
