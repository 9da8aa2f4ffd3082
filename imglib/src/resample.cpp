// SPDX-License-Identifier: BSD-3-Clause
// Bilinear scaling and block-mean downsampling.
#include "resample.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "converter.h"
#include "row_codec.h"
#include "thread_pool.h"

namespace corvid2::img {

namespace {

template <class T>
inline float load(const uint8_t* p) {
    T v;
    std::memcpy(&v, p, sizeof v);  // little-endian host
    return v;
}

template <class T>
inline void store(uint8_t* p, float v) {
    const T t = static_cast<T>(v + 0.5f);
    std::memcpy(p, &t, sizeof t);
}

/// Source positions and weights of one output coordinate: pixel centres onto pixel centres.
struct Tap {
    uint32_t near, far;
    float weight;  // of far
};

std::vector<Tap> taps(uint32_t sourceSize, uint32_t outSize) {
    std::vector<Tap> result(outSize);
    const double step = static_cast<double>(sourceSize) / outSize;
    for (uint32_t i = 0; i < outSize; ++i) {
        const double at = std::clamp((i + 0.5) * step - 0.5, 0.0, static_cast<double>(sourceSize - 1));
        const auto near = static_cast<uint32_t>(at);
        result[i] = {near, std::min(near + 1, sourceSize - 1), static_cast<float>(at - near)};
    }
    return result;
}

template <class T>
void scaleRows(const ImageView& source, uint32_t outWidth, const std::vector<Tap>& columns,
               const std::vector<Tap>& rows, uint8_t* out, uint32_t y0, uint32_t y1) {
    const unsigned components = source.format->channels;
    const size_t pixelBytes = components * sizeof(T);
    const uint64_t inRow = uint64_t{source.width} * pixelBytes, outRow = uint64_t{outWidth} * pixelBytes;
    for (uint32_t y = y0; y < y1; ++y) {
        const uint8_t* upper = source.data + rows[y].near * inRow;
        const uint8_t* lower = source.data + rows[y].far * inRow;
        const float fy = rows[y].weight;
        uint8_t* o = out + y * outRow;
        for (uint32_t x = 0; x < outWidth; ++x, o += pixelBytes) {
            const size_t left = columns[x].near * pixelBytes, right = columns[x].far * pixelBytes;
            const float fx = columns[x].weight;
            for (unsigned c = 0; c < components; ++c) {
                const size_t at = c * sizeof(T);
                const float top = load<T>(upper + left + at) * (1 - fx) + load<T>(upper + right + at) * fx;
                const float bottom = load<T>(lower + left + at) * (1 - fx) + load<T>(lower + right + at) * fx;
                store<T>(o + at, top * (1 - fy) + bottom * fy);
            }
        }
    }
}

/// Writes one result sample in the result's storage (bytes or little-endian words).
inline void putSample(uint8_t* row, size_t index, unsigned bytesPerSample, uint32_t v) {
    if (bytesPerSample == 1) {
        row[index] = static_cast<uint8_t>(v);
    } else {
        row[2 * index] = static_cast<uint8_t>(v);
        row[2 * index + 1] = static_cast<uint8_t>(v >> 8);
    }
}

// Block [i * factor, min(i * factor + factor, units)) of a dimension.
struct Block {
    uint32_t begin, end;
};
inline Block block(uint32_t i, uint32_t factor, uint32_t units) {
    const uint64_t begin = uint64_t{i} * factor;
    return {static_cast<uint32_t>(begin), static_cast<uint32_t>(std::min<uint64_t>(begin + factor, units))};
}

void downsampleSingle(const ImageView& source, const DownsamplePlan& plan, uint8_t* out, uint32_t j0, uint32_t j1) {
    const bool mosaic = source.format->isMosaic();
    const unsigned cell = mosaic ? 2 : 1;
    const uint32_t unitsWide = plan.regionWidth / cell, unitsHigh = plan.regionHeight / cell;
    const uint32_t outUnits = plan.width / cell;
    const unsigned bytesPerSample = plan.format->bits == 8 ? 1 : 2;
    const uint64_t outRow = rowBytes(*plan.format, plan.width);
    std::vector<uint16_t> scratch(source.width);
    std::vector<uint64_t> sums(plan.width);
    for (uint32_t j = j0; j < j1; ++j) {
        const Block rows = block(j, plan.factor, unitsHigh);
        for (unsigned py = 0; py < cell; ++py) {
            std::fill(sums.begin(), sums.end(), 0);
            for (uint32_t r = rows.begin; r < rows.end; ++r) {
                const uint16_t* samples = sampleRow<uint16_t>(source, plan.y + r * cell + py, scratch.data());
                const uint16_t* region = samples + plan.x;
                for (uint32_t i = 0; i < outUnits; ++i) {
                    const Block columns = block(i, plan.factor, unitsWide);
                    for (unsigned px = 0; px < cell; ++px) {
                        uint64_t sum = 0;
                        for (uint32_t c = columns.begin; c < columns.end; ++c) sum += region[c * cell + px];
                        sums[i * cell + px] += sum;
                    }
                }
            }
            uint8_t* o = out + (uint64_t{j} * cell + py) * outRow;
            for (uint32_t i = 0; i < outUnits; ++i) {
                const Block columns = block(i, plan.factor, unitsWide);
                const uint64_t n = uint64_t{rows.end - rows.begin} * (columns.end - columns.begin);
                for (unsigned px = 0; px < cell; ++px)
                    putSample(o, i * cell + px, bytesPerSample,
                              static_cast<uint32_t>((sums[i * cell + px] + n / 2) / n));
            }
        }
    }
}

void downsampleColour(const ImageView& source, const DownsamplePlan& plan, uint8_t* out, uint32_t j0, uint32_t j1) {
    const unsigned bytesPerSample = plan.format->bits == 8 ? 1 : 2;
    const uint64_t outRow = rowBytes(*plan.format, plan.width);
    std::vector<uint16_t> rgb(size_t{source.width} * 3);
    std::vector<uint64_t> sums(size_t{plan.width} * 3);
    for (uint32_t j = j0; j < j1; ++j) {
        const Block rows = block(j, plan.factor, plan.regionHeight);
        std::fill(sums.begin(), sums.end(), 0);
        for (uint32_t r = rows.begin; r < rows.end; ++r) {
            colourRow<uint16_t>(source, plan.y + r, rgb.data());
            const uint16_t* region = rgb.data() + size_t{plan.x} * 3;
            for (uint32_t i = 0; i < plan.width; ++i) {
                const Block columns = block(i, plan.factor, plan.regionWidth);
                for (uint32_t c = columns.begin; c < columns.end; ++c)
                    for (unsigned k = 0; k < 3; ++k) sums[size_t{i} * 3 + k] += region[size_t{c} * 3 + k];
            }
        }
        uint8_t* o = out + uint64_t{j} * outRow;
        for (uint32_t i = 0; i < plan.width; ++i) {
            const Block columns = block(i, plan.factor, plan.regionWidth);
            const uint64_t n = uint64_t{rows.end - rows.begin} * (columns.end - columns.begin);
            for (unsigned k = 0; k < 3; ++k)
                putSample(o, size_t{i} * 3 + k, bytesPerSample,
                          static_cast<uint32_t>((sums[size_t{i} * 3 + k] + n / 2) / n));
        }
    }
}

inline uint32_t ceilDiv(uint32_t a, uint32_t b) { return static_cast<uint32_t>((uint64_t{a} + b - 1) / b); }

}  // namespace

const PixelFormat& scalingFormat(const PixelFormat& source) {
    if (source.target) return source;
    const bool deep = source.bits > 8;
    if (source.isColour()) return *findPixelFormat(deep ? "RGB16" : "RGB8");
    return *findPixelFormat(deep ? "Mono16" : "Mono8");
}

bool scaledSize(uint32_t width, uint32_t height, double sx, double sy, uint32_t* outWidth, uint32_t* outHeight) {
    const double w = std::max(1.0, std::round(width * sx)), h = std::max(1.0, std::round(height * sy));
    if (!(w <= UINT32_MAX && h <= UINT32_MAX) || w * h > static_cast<double>(kMaxPixels)) return false;
    *outWidth = static_cast<uint32_t>(w);
    *outHeight = static_cast<uint32_t>(h);
    return true;
}

void scaleImage(const ImageView& source, uint32_t outWidth, uint32_t outHeight, unsigned threads, uint8_t* out) {
    const std::vector<Tap> columns = taps(source.width, outWidth), rows = taps(source.height, outHeight);
    const bool wide = source.format->bits > 8;
    parallelFor(outHeight, threads, minRowsPerPart(outWidth), [&](size_t begin, size_t end) {
        const auto y0 = static_cast<uint32_t>(begin), y1 = static_cast<uint32_t>(end);
        if (wide)
            scaleRows<uint16_t>(source, outWidth, columns, rows, out, y0, y1);
        else
            scaleRows<uint8_t>(source, outWidth, columns, rows, out, y0, y1);
    });
}

IMG_RESULT_CODES planDownsample(const ImageView& source, uint32_t x, uint32_t y, uint32_t width, uint32_t height,
                                uint32_t maxWidth, uint32_t maxHeight, DownsamplePlan* plan) {
    const PixelFormat& f = *source.format;
    if (x >= source.width || y >= source.height) return IMG_INVALID_PARAMETER;
    const uint32_t regionWidth = width != 0 ? width : source.width - x;
    const uint32_t regionHeight = height != 0 ? height : source.height - y;
    if (uint64_t{x} + regionWidth > source.width || uint64_t{y} + regionHeight > source.height)
        return IMG_INVALID_PARAMETER;
    const bool mosaic = f.isMosaic();
    if (f.family == Family::Polarized && (x % 2 != 0 || y % 2 != 0)) return IMG_INVALID_PARAMETER;
    // 4:2:2 chroma is shared by pixel pairs: a region starting between them has no chroma for its first pixel.
    if (f.family == Family::Yuv422 && x % 2 != 0) return IMG_INVALID_PARAMETER;
    const unsigned cell = mosaic ? 2 : 1;
    const uint32_t unitsWide = regionWidth / cell, unitsHigh = regionHeight / cell;
    if (unitsWide == 0 || unitsHigh == 0) return IMG_INVALID_PARAMETER;
    const uint32_t roomWide = std::max(1u, maxWidth / cell), roomHigh = std::max(1u, maxHeight / cell);
    const uint32_t factor = std::max({1u, ceilDiv(unitsWide, roomWide), ceilDiv(unitsHigh, roomHigh)});

    DownsamplePlan p;
    switch (f.family) {
        case Family::Bayer:
            p.format = unpackedFormat(Family::Bayer, f.bits, shiftedPhase(f.phase, x, y));
            break;
        case Family::Yuv422:
            p.format = findPixelFormat("RGB8");
            break;
        default:
            p.format = unpackedFormat(f.family, f.bits);
            break;
    }
    p.width = std::max(1u, unitsWide / factor) * cell;
    p.height = std::max(1u, unitsHigh / factor) * cell;
    p.x = x;
    p.y = y;
    p.regionWidth = regionWidth;
    p.regionHeight = regionHeight;
    p.factor = factor;
    if (p.format == nullptr) return IMG_UNSUPPORTED_CONVERSION;
    *plan = p;
    return IMG_SUCCESS;
}

void downsampleImage(const ImageView& source, const DownsamplePlan& plan, unsigned threads, uint8_t* out) {
    const bool colour = !source.format->isSingleComponent();
    const uint32_t unitRows = colour || !source.format->isMosaic() ? plan.height : plan.height / 2;
    parallelFor(unitRows, threads, std::max(1u, minRowsPerPart(source.width) / plan.factor), [&](size_t b, size_t e) {
        const auto j0 = static_cast<uint32_t>(b), j1 = static_cast<uint32_t>(e);
        if (colour)
            downsampleColour(source, plan, out, j0, j1);
        else
            downsampleSingle(source, plan, out, j0, j1);
    });
}

}  // namespace corvid2::img
