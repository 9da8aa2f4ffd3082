// SPDX-License-Identifier: BSD-3-Clause
// Row readers and writers of the conversions.
#include "row_codec.h"

#include <cstring>
#include <type_traits>

#include "unpack.h"

namespace corvid2::img {

namespace {

inline uint16_t word(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

inline void putWord(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

inline uint8_t clampByte(int32_t v) { return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v)); }

// Full-range BT.601 (JFIF) YCbCr to RGB in 14-bit fixed point.
inline void yuvToRgb(int32_t y, int32_t cb, int32_t cr, int32_t* rgb) {
    constexpr int32_t kCrToR = 22970, kCbToG = 5638, kCrToG = 11700, kCbToB = 29032, kHalf = 1 << 13;
    cb -= 128;
    cr -= 128;
    rgb[0] = clampByte(y + ((kCrToR * cr + kHalf) >> 14));
    rgb[1] = clampByte(y - ((kCbToG * cb + kCrToG * cr + kHalf) >> 14));
    rgb[2] = clampByte(y + ((kCbToB * cb + kHalf) >> 14));
}

/// Target pixel layout: bytes per component (1 or 2), components per pixel and the offsets of red, green, blue.
struct TargetLayout {
    unsigned depth, channels, red, green, blue;
    bool alpha;
};

TargetLayout layoutOf(const PixelFormat& target) {
    if (target.family != Family::Rgb) return {target.bits == 8 ? 1u : 2u, 1, 0, 0, 0, false};
    return {target.bits == 8 ? 1u : 2u, target.channels, target.red, target.green, target.blue, target.alpha};
}

// Writes one pixel's three values (already at the target's depth) and its alpha.
inline void putPixel(uint8_t* px, const TargetLayout& l, uint32_t r, uint32_t g, uint32_t b) {
    if (l.depth == 1) {
        px[l.red] = static_cast<uint8_t>(r);
        px[l.green] = static_cast<uint8_t>(g);
        px[l.blue] = static_cast<uint8_t>(b);
        if (l.alpha) px[3] = 0xFF;
    } else {
        putWord(px + 2 * l.red, r);
        putWord(px + 2 * l.green, g);
        putWord(px + 2 * l.blue, b);
        if (l.alpha) putWord(px + 6, 0xFFFF);
    }
}

// Shifts a value of `bits` bits to the target's depth: down to 8 bits, or up to the top of 16 bits.
struct DepthChange {
    unsigned down, up;
    explicit DepthChange(unsigned bits, unsigned targetBits)
        : down(targetBits == 8 ? bits - 8 : 0), up(targetBits == 16 ? 16 - bits : 0) {}
    uint32_t operator()(uint32_t v) const { return (v >> down) << up; }
};

}  // namespace

template <class T>
const T* sampleRow(const ImageView& image, uint32_t y, T* scratch) {
    const uint64_t first = uint64_t{y} * image.width;
    if constexpr (std::is_same_v<T, uint8_t>) {
        (void)scratch;
        return image.data + first;  // 8-bit formats store one byte per sample
    } else {
        readSamples(*image.format, image.data, image.bytes, first, image.width, scratch);
        return scratch;
    }
}

template <class T>
void colourRow(const ImageView& image, uint32_t y, T* rgb) {
    const PixelFormat& f = *image.format;
    const uint32_t width = image.width;
    if (f.family == Family::Yuv422) {
        const uint8_t* p = image.data + uint64_t{y} * width * 2;
        const bool yuyv = f.yuvOrder == YuvOrder::YUYV;
        int32_t out[3];
        for (uint32_t x = 0; x + 1 < width; x += 2, p += 4) {
            const int32_t y0 = yuyv ? p[0] : p[1], y1 = yuyv ? p[2] : p[3];
            const int32_t cb = yuyv ? p[1] : p[0], cr = yuyv ? p[3] : p[2];
            yuvToRgb(y0, cb, cr, out);
            for (int c = 0; c < 3; ++c) rgb[3 * x + c] = static_cast<T>(out[c]);
            yuvToRgb(y1, cb, cr, out);
            for (int c = 0; c < 3; ++c) rgb[3 * x + 3 + c] = static_cast<T>(out[c]);
        }
        return;
    }
    const unsigned channels = f.channels;
    if (f.storage == Storage::Byte) {
        const uint8_t* p = image.data + uint64_t{y} * width * channels;
        for (uint32_t x = 0; x < width; ++x, p += channels) {
            rgb[3 * x] = p[f.red];
            rgb[3 * x + 1] = p[f.green];
            rgb[3 * x + 2] = p[f.blue];
        }
    } else if constexpr (!std::is_same_v<T, uint8_t>) {
        const uint8_t* p = image.data + uint64_t{y} * width * channels * 2;
        for (uint32_t x = 0; x < width; ++x, p += 2 * channels) {
            rgb[3 * x] = word(p + 2 * f.red);
            rgb[3 * x + 1] = word(p + 2 * f.green);
            rgb[3 * x + 2] = word(p + 2 * f.blue);
        }
    }
}

template <class T>
void encodeGrey(const T* grey, uint32_t width, unsigned bits, const PixelFormat& target, uint8_t* out) {
    const TargetLayout l = layoutOf(target);
    const DepthChange depth(bits, target.bits);
    if (l.channels == 1) {
        if (l.depth == 1) {
            if constexpr (std::is_same_v<T, uint8_t>) {
                if (depth.down == 0) {
                    std::memcpy(out, grey, width);
                    return;
                }
            }
            for (uint32_t x = 0; x < width; ++x) out[x] = static_cast<uint8_t>(grey[x] >> depth.down);
        } else {
            for (uint32_t x = 0; x < width; ++x) putWord(out + 2 * x, depth(grey[x]));
        }
        return;
    }
    const size_t pixelBytes = size_t{l.channels} * l.depth;
    for (uint32_t x = 0; x < width; ++x) {
        const uint32_t v = depth(grey[x]);
        putPixel(out + x * pixelBytes, l, v, v, v);
    }
}

template <class T>
void encodeColour(const T* rgb, uint32_t width, unsigned bits, const PixelFormat& target, uint8_t* out) {
    const TargetLayout l = layoutOf(target);
    const DepthChange depth(bits, target.bits);
    if (l.channels == 1) {
        for (uint32_t x = 0; x < width; ++x) {
            const uint32_t v = depth(greyOf(rgb[3 * x], rgb[3 * x + 1], rgb[3 * x + 2]));
            if (l.depth == 1)
                out[x] = static_cast<uint8_t>(v);
            else
                putWord(out + 2 * x, v);
        }
        return;
    }
    const size_t pixelBytes = size_t{l.channels} * l.depth;
    for (uint32_t x = 0; x < width; ++x)
        putPixel(out + x * pixelBytes, l, depth(rgb[3 * x]), depth(rgb[3 * x + 1]), depth(rgb[3 * x + 2]));
}

template <class T>
void applyColourMatrix(T* pixels, uint32_t width, unsigned stride, unsigned red, unsigned green, unsigned blue,
                       const float (&m)[3][3], uint32_t maxValue) {
    const float most = static_cast<float>(maxValue);
    auto clamp = [most](float v) { return static_cast<T>(v <= 0 ? 0.0f : (v >= most ? most : v + 0.5f)); };
    for (uint32_t x = 0; x < width; ++x, pixels += stride) {
        const float r = pixels[red], g = pixels[green], b = pixels[blue];
        pixels[red] = clamp(m[0][0] * r + m[0][1] * g + m[0][2] * b);
        pixels[green] = clamp(m[1][0] * r + m[1][1] * g + m[1][2] * b);
        pixels[blue] = clamp(m[2][0] * r + m[2][1] * g + m[2][2] * b);
    }
}

template <class T>
CRowCache<T>::CRowCache(const ImageView& image, unsigned slots)
    : image_(image), storage_(size_t{slots} * image.width), rowOfSlot_(slots, UINT32_MAX), lastUse_(slots, 0) {}

template <class T>
const T* CRowCache<T>::row(uint32_t y) {
    if constexpr (std::is_same_v<T, uint8_t>) return sampleRow<T>(image_, y, nullptr);
    const size_t width = image_.width;
    ++clock_;
    size_t victim = 0;
    for (size_t s = 0; s < rowOfSlot_.size(); ++s) {
        if (rowOfSlot_[s] == y) {
            lastUse_[s] = clock_;
            return storage_.data() + s * width;
        }
        if (lastUse_[s] < lastUse_[victim]) victim = s;
    }
    // The row used longest ago: a filter's window of neighbouring rows has moved past it.
    rowOfSlot_[victim] = y;
    lastUse_[victim] = clock_;
    return sampleRow<T>(image_, y, storage_.data() + victim * width);
}

template const uint8_t* sampleRow<uint8_t>(const ImageView&, uint32_t, uint8_t*);
template const uint16_t* sampleRow<uint16_t>(const ImageView&, uint32_t, uint16_t*);
template void colourRow<uint8_t>(const ImageView&, uint32_t, uint8_t*);
template void colourRow<uint16_t>(const ImageView&, uint32_t, uint16_t*);
template void encodeGrey<uint8_t>(const uint8_t*, uint32_t, unsigned, const PixelFormat&, uint8_t*);
template void encodeGrey<uint16_t>(const uint16_t*, uint32_t, unsigned, const PixelFormat&, uint8_t*);
template void encodeColour<uint8_t>(const uint8_t*, uint32_t, unsigned, const PixelFormat&, uint8_t*);
template void encodeColour<uint16_t>(const uint16_t*, uint32_t, unsigned, const PixelFormat&, uint8_t*);
template void applyColourMatrix<uint8_t>(uint8_t*, uint32_t, unsigned, unsigned, unsigned, unsigned,
                                         const float (&)[3][3], uint32_t);
template void applyColourMatrix<uint16_t>(uint16_t*, uint32_t, unsigned, unsigned, unsigned, unsigned,
                                          const float (&)[3][3], uint32_t);
template class CRowCache<uint8_t>;
template class CRowCache<uint16_t>;

}  // namespace corvid2::img
