// SPDX-License-Identifier: BSD-3-Clause
// Conversion of whole images: a few direct paths for the common cases, otherwise rows through the common form.
#include "converter.h"

#include <algorithm>
#include <cstring>
#include <type_traits>
#include <vector>

#include "row_codec.h"
#include "thread_pool.h"
#include "unpack.h"

namespace corvid2::img {

namespace {

// Whole-image copies and unpacking are split into parts of at least this many bytes or pairs.
constexpr size_t kMinCopyPart = size_t{1} << 20;
constexpr size_t kMinPairsPart = size_t{1} << 15;

bool isPacked12Grey(const PixelFormat& f) {
    return (f.family == Family::Mono || f.family == Family::Polarized) && f.bits == 12 && isPacked(f);
}

void copyPixels(const ImageView& source, uint8_t* out, unsigned threads) {
    parallelFor(source.bytes, threads, kMinCopyPart,
                [&](size_t begin, size_t end) { std::memcpy(out + begin, source.data + begin, end - begin); });
}

// A packed 12-bit grey image is one stream of pairs, whatever its width: unpacked in one go, aligned to the top.
void unpackToMono16(const ImageView& source, uint8_t* out, unsigned threads) {
    const Packing12 packing = source.format->storage == Storage::LsbPacked ? Packing12::Lsb : Packing12::GigE;
    const uint64_t pixels = source.pixels();
    parallelFor(pixels / 2, threads, kMinPairsPart, [&](size_t begin, size_t end) {
        unpack12(packing, true, source.data + begin * 3, out + begin * 4, end - begin);
    });
    if (pixels % 2 != 0) {
        uint16_t last = 0;
        readSamples(*source.format, source.data, source.bytes, pixels - 1, 1, &last);
        last = static_cast<uint16_t>(last << 4);
        std::memcpy(out + (pixels - 1) * 2, &last, 2);  // little-endian host
    }
}

template <class T>
void convertGreyRows(const ImageView& source, const PixelFormat& target, uint8_t* out, uint32_t y0, uint32_t y1) {
    const uint64_t outRow = rowBytes(target, source.width);
    std::vector<T> scratch(source.width);
    for (uint32_t y = y0; y < y1; ++y)
        encodeGrey<T>(sampleRow<T>(source, y, scratch.data()), source.width, source.format->bits, target,
                      out + y * outRow);
}

template <class T>
void convertColourRows(const ImageView& source, const PixelFormat& target, uint8_t* out,
                       const ConversionSettings& settings, uint32_t y0, uint32_t y1) {
    const uint64_t outRow = rowBytes(target, source.width);
    const unsigned bits = source.format->bits;
    const bool matrix = settings.colourMatrixEnabled;
    std::vector<T> rgb(size_t{source.width} * 3);
    for (uint32_t y = y0; y < y1; ++y) {
        colourRow<T>(source, y, rgb.data());
        if (matrix) applyColourMatrix<T>(rgb.data(), source.width, 3, 0, 1, 2, settings.colourMatrix, (1u << bits) - 1);
        encodeColour<T>(rgb.data(), source.width, bits, target, out + y * outRow);
    }
}

template <class T>
void convertBayerRows(const ImageView& source, const PixelFormat& target, uint8_t* out,
                      const ConversionSettings& settings, uint32_t y0, uint32_t y1) {
    const PixelFormat& f = *source.format;
    const uint32_t width = source.width;
    const uint64_t outRow = rowBytes(target, width);
    const uint32_t maxValue = f.maxValue();
    const bool matrix = settings.colourMatrixEnabled;
    // 8-bit colour targets receive the demosaiced pixels directly, in their own component order.
    constexpr bool narrow = std::is_same_v<T, uint8_t>;
    const bool direct = narrow && target.family == Family::Rgb;
    const RgbLayout layout = direct ? RgbLayout{target.channels, target.red, target.green, target.blue} : kRgbLayout;
    const int reach = settings.demosaic == DemosaicMethod::Bilinear ? 1 : 2;
    CRowCache<T> cache(source, 5);
    std::vector<T> rgb(direct ? 0 : size_t{width} * 3);
    DemosaicContext context;
    for (uint32_t y = y0; y < y1; ++y) {
        const T* rows[5];
        for (int k = -reach; k <= reach; ++k) rows[2 + k] = cache.row(reflectIndex(int64_t{y} + k, source.height));
        if (reach == 1) {
            rows[0] = rows[1];
            rows[4] = rows[3];
        }
        T* pixels = rgb.data();
        if constexpr (narrow)
            if (direct) pixels = out + y * outRow;
        demosaicRow<T>(settings.demosaic, rows, width, shiftedPhase(f.phase, 0, y), maxValue, layout, pixels, context);
        if (matrix)
            applyColourMatrix<T>(pixels, width, layout.stride, layout.red, layout.green, layout.blue,
                                 settings.colourMatrix, maxValue);
        if (!direct)
            encodeColour<T>(pixels, width, f.bits, target, out + y * outRow);
        else if (target.alpha)
            for (uint32_t x = 0; x < width; ++x) pixels[size_t{x} * 4 + 3] = 0xFF;
    }
}

template <class T>
void convertRows(const ImageView& source, const PixelFormat& target, uint8_t* out, const ConversionSettings& settings,
                 uint32_t y0, uint32_t y1) {
    switch (source.format->family) {
        case Family::Mono:
        case Family::Polarized:
            convertGreyRows<T>(source, target, out, y0, y1);
            break;
        case Family::Bayer:
            convertBayerRows<T>(source, target, out, settings, y0, y1);
            break;
        case Family::Rgb:
        case Family::Yuv422:
            convertColourRows<T>(source, target, out, settings, y0, y1);
            break;
    }
}

}  // namespace

IMG_RESULT_CODES checkConversion(const PixelFormat&, const PixelFormat& target) {
    return target.target ? IMG_SUCCESS : IMG_UNSUPPORTED_CONVERSION;
}

uint32_t minRowsPerPart(uint32_t width) { return std::max<uint32_t>(1, (uint32_t{1} << 16) / std::max(width, 1u)); }

void convertImage(const ImageView& source, const PixelFormat& target, uint8_t* out,
                  const ConversionSettings& settings) {
    const PixelFormat& f = *source.format;
    const bool matrix = settings.colourMatrixEnabled && f.isColour();
    if (&f == &target && !matrix) {
        copyPixels(source, out, settings.threads);
        return;
    }
    if (isPacked12Grey(f) && target.family == Family::Mono && target.bits == 16) {
        unpackToMono16(source, out, settings.threads);
        return;
    }
    ConversionSettings effective = settings;
    effective.colourMatrixEnabled = matrix;
    const bool narrow = f.bits == 8 && target.bits == 8;
    parallelFor(source.height, settings.threads, minRowsPerPart(source.width), [&](size_t begin, size_t end) {
        const auto y0 = static_cast<uint32_t>(begin), y1 = static_cast<uint32_t>(end);
        if (narrow)
            convertRows<uint8_t>(source, target, out, effective, y0, y1);
        else
            convertRows<uint16_t>(source, target, out, effective, y0, y1);
    });
}

}  // namespace corvid2::img
