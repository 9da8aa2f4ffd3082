// SPDX-License-Identifier: BSD-3-Clause
// Pattern generation and pixel packing (LSB-first bit stream for the "p" formats, little-endian words otherwise).
#include "image_pattern.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace corvid2::sim {

namespace {
const PixelFormatInfo kFormats[] = {
    {pfnc::kMono8, 8, 8, PixelEncoding::Byte, false, false},
    {pfnc::kMono10, 16, 10, PixelEncoding::Word, false, false},
    {pfnc::kMono12, 16, 12, PixelEncoding::Word, false, false},
    {pfnc::kMono12p, 12, 12, PixelEncoding::Packed12, false, false},
    {pfnc::kMono16, 16, 16, PixelEncoding::Word, false, false},
    {pfnc::kBayerRG8, 8, 8, PixelEncoding::Byte, true, true},
    {pfnc::kBayerRG12, 16, 12, PixelEncoding::Word, true, true},
    {pfnc::kBayerRG12p, 12, 12, PixelEncoding::Packed12, true, true},
    {pfnc::kRGB8, 24, 8, PixelEncoding::RGB, false, true},
    {pfnc::kBGR8, 24, 8, PixelEncoding::BGR, false, true},
};

constexpr uint32_t kCounterBits = 16, kCounterBlock = 8;
constexpr double kPi = 3.14159265358979323846;

bool drawsCounter(const ImageSettings& s) {
    return s.width >= kCounterBits * kCounterBlock && s.height >= kCounterBlock;
}

bool isColourSensor(CameraKind kind) { return kind == CameraKind::Bayer; }

// Levels of the first `columns` pixels of one output row (three channels per pixel), brightness applied, counter
// drawn when asked.
void rowLevels(const ImageSettings& s, uint32_t y, uint64_t frameId, bool counter, std::vector<uint16_t>& out,
               uint32_t columns) {
    out.resize(size_t{s.width} * 3);
    const uint32_t yy = s.reverseY ? s.height - 1 - y : y;
    const uint32_t sensorY = (s.offsetY + yy) * s.binningV;
    const bool drawCounter = counter && y < kCounterBlock && drawsCounter(s);
    for (uint32_t x = 0; x < columns; ++x) {
        const uint32_t xx = s.reverseX ? s.width - 1 - x : x;
        const uint32_t sensorX = (s.offsetX + xx) * s.binningH;
        if (drawCounter && x < kCounterBits * kCounterBlock) {
            const uint16_t level = ((frameId >> (kCounterBits - 1 - x / kCounterBlock)) & 1) ? 65535 : 0;
            out[size_t{x} * 3] = out[size_t{x} * 3 + 1] = out[size_t{x} * 3 + 2] = level;
            continue;
        }
        for (int c = 0; c < 3; ++c) {
            const double level = sceneLevel(s, sensorX, sensorY, frameId, c) * s.brightness;
            out[size_t{x} * 3 + c] = static_cast<uint16_t>(std::min(65535.0, level));
        }
    }
}

uint16_t monoOf(const ImageSettings& s, const uint16_t* rgb) {
    return isColourSensor(s.kind) ? static_cast<uint16_t>((rgb[0] + 2u * rgb[1] + rgb[2]) / 4u) : rgb[0];
}

// Channel seen by the pixel of an RG/GB colour filter mosaic.
int bayerChannel(uint32_t x, uint32_t y) { return (y & 1) == 0 ? ((x & 1) == 0 ? 0 : 1) : ((x & 1) == 0 ? 1 : 2); }

// Encodes the first `columns` pixels (an even number) of one row.
void encodeRow(const ImageSettings& s, const PixelFormatInfo& f, uint32_t y, const std::vector<uint16_t>& levels,
               uint8_t* out, uint32_t columns) {
    const uint32_t shift = 16 - f.componentBits;
    auto component = [&](uint32_t x) -> uint16_t {
        const uint16_t* rgb = &levels[size_t{x} * 3];
        const uint16_t v = f.bayer ? rgb[bayerChannel(x, y)] : monoOf(s, rgb);
        return static_cast<uint16_t>(v >> shift);
    };
    switch (f.encoding) {
        case PixelEncoding::Byte:
            for (uint32_t x = 0; x < columns; ++x) out[x] = static_cast<uint8_t>(component(x));
            break;
        case PixelEncoding::Word:
            for (uint32_t x = 0; x < columns; ++x) {
                const uint16_t v = component(x);
                out[2 * x] = static_cast<uint8_t>(v);
                out[2 * x + 1] = static_cast<uint8_t>(v >> 8);
            }
            break;
        case PixelEncoding::Packed12:
            for (uint32_t x = 0; x + 1 < columns; x += 2) {
                const uint16_t a = component(x), b = component(x + 1);
                uint8_t* p = out + size_t{x} / 2 * 3;
                p[0] = static_cast<uint8_t>(a);
                p[1] = static_cast<uint8_t>((a >> 8) | ((b & 0xF) << 4));
                p[2] = static_cast<uint8_t>(b >> 4);
            }
            break;
        case PixelEncoding::RGB:
        case PixelEncoding::BGR:
            for (uint32_t x = 0; x < columns; ++x)
                for (int c = 0; c < 3; ++c) {
                    const int channel = f.encoding == PixelEncoding::RGB ? c : 2 - c;
                    out[size_t{x} * 3 + c] = static_cast<uint8_t>(levels[size_t{x} * 3 + channel] >> 8);
                }
            break;
    }
}

bool isMoving(const ImageSettings& s) { return s.pattern == TestPattern::VerticalLineMoving; }
}  // namespace

const PixelFormatInfo* findPixelFormat(uint32_t code) {
    for (const auto& f : kFormats)
        if (f.code == code) return &f;
    return nullptr;
}

bool ImageSettings::operator==(const ImageSettings& o) const {
    return kind == o.kind && pattern == o.pattern && sensorWidth == o.sensorWidth && sensorHeight == o.sensorHeight &&
           width == o.width && height == o.height && offsetX == o.offsetX && offsetY == o.offsetY &&
           binningH == o.binningH && binningV == o.binningV && pixelFormat == o.pixelFormat && reverseX == o.reverseX &&
           reverseY == o.reverseY && brightness == o.brightness;
}

size_t ImageSettings::rowBytes() const {
    const PixelFormatInfo* f = findPixelFormat(pixelFormat);
    return f == nullptr ? 0 : size_t{width} * f->bitsPerPixel / 8;
}

uint16_t sceneLevel(const ImageSettings& s, uint32_t sx, uint32_t sy, uint64_t frameId, int channel) {
    TestPattern pattern = s.pattern;
    if (pattern == TestPattern::Scene && s.kind != CameraKind::Polarized) pattern = TestPattern::GreyHorizontalRamp;
    const uint32_t w = std::max<uint32_t>(s.sensorWidth, 2);
    switch (pattern) {
        case TestPattern::GreyHorizontalRamp: {
            const uint32_t level = static_cast<uint32_t>(uint64_t{std::min(sx, w - 1)} * 65535 / (w - 1));
            if (!isColourSensor(s.kind) || channel == 0) return static_cast<uint16_t>(level);
            return static_cast<uint16_t>(channel == 1 ? level / 2 : 65535 - level);
        }
        case TestPattern::VerticalLineMoving: {
            const uint32_t bar = static_cast<uint32_t>((frameId * 16) % w);
            return sx >= bar && sx < bar + 32 ? 65535 : 8192;
        }
        case TestPattern::Checkerboard:
            return ((sx / 64 + sy / 64) & 1) ? 65535 : 0;
        case TestPattern::Scene: {
            // Polarizer mosaic: 90 and 45 degrees on even rows, 135 and 0 on odd rows; light of intensity 0.8 whose
            // angle of polarization grows from 0 to 180 degrees across the sensor and whose degree of polarization
            // grows from 0.2 to 1 down the sensor.
            static const double kFilterDegrees[2][2] = {{90, 45}, {135, 0}};
            const double filter = kFilterDegrees[sy & 1][sx & 1] * kPi / 180;
            const double angle = kPi * (sx & ~1u) / w;
            const double degree = 0.2 + 0.8 * (sy & ~1u) / std::max<uint32_t>(s.sensorHeight, 2);
            const double level = 0.8 / 2 * (1 + degree * std::cos(2 * (angle - filter)));
            return static_cast<uint16_t>(std::lround(std::min(1.0, level) * 65535));
        }
    }
    return 0;
}

std::shared_ptr<const ImageRenderer::Cache> ImageRenderer::cacheFor(const ImageSettings& s, const PixelFormatInfo& f) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (cache_ && cachedSettings_ == s) return cache_;
    auto fresh = std::make_shared<Cache>();
    std::vector<uint16_t> levels;
    const size_t rowBytes = s.rowBytes();
    if (!isMoving(s)) {
        auto image = std::make_shared<std::vector<uint8_t>>(s.imageBytes());
        for (uint32_t y = 0; y < s.height; ++y) {
            rowLevels(s, y, 0, false, levels, s.width);
            encodeRow(s, f, y, levels, image->data() + y * rowBytes, s.width);
        }
        fresh->image = std::move(image);
    }
    // A block's pixels depend only on its bit and the mosaic phase of row and column, and every block starts on
    // an even column, so the first block of a frame whose counter is all ones (or all zeros) stands for all.
    const size_t blockBytes = drawsCounter(s) ? size_t{kCounterBlock} * f.bitsPerPixel / 8 : 0;
    fresh->counterBlocks.resize(4 * blockBytes);
    for (uint32_t parity = 0; parity < 2 && blockBytes > 0; ++parity)
        for (uint64_t bit = 0; bit < 2; ++bit) {
            rowLevels(s, parity, bit == 0 ? 0 : ~uint64_t{0}, true, levels, kCounterBlock);
            encodeRow(s, f, parity, levels, fresh->counterBlocks.data() + (parity * 2 + bit) * blockBytes,
                      kCounterBlock);
        }
    cachedSettings_ = s;
    cache_ = std::move(fresh);
    return cache_;
}

void ImageRenderer::render(const ImageSettings& s, uint64_t frameId, uint8_t* destination) {
    const PixelFormatInfo* f = findPixelFormat(s.pixelFormat);
    if (f == nullptr || s.width == 0 || s.height == 0) return;
    const size_t rowBytes = s.rowBytes();
    const std::shared_ptr<const Cache> cache = cacheFor(s, *f);
    if (cache->image) {
        std::memcpy(destination, cache->image->data(), cache->image->size());
    } else {
        // Every row of the moving bar is the same apart from the mosaic phase: encode two rows and repeat them.
        std::vector<uint16_t> levels;
        std::vector<uint8_t> rows(rowBytes * 2);
        for (uint32_t phase = 0; phase < 2 && phase < s.height; ++phase) {
            rowLevels(s, phase, frameId, false, levels, s.width);
            encodeRow(s, *f, phase, levels, rows.data() + phase * rowBytes, s.width);
        }
        for (uint32_t y = 0; y < s.height; ++y)
            std::memcpy(destination + y * rowBytes, rows.data() + (y & 1) * rowBytes, rowBytes);
    }
    if (!drawsCounter(s)) return;
    // Only the counter's own pixels differ from the pattern.
    const size_t blockBytes = size_t{kCounterBlock} * f->bitsPerPixel / 8;
    for (uint32_t y = 0; y < kCounterBlock; ++y) {
        uint8_t* row = destination + y * rowBytes;
        for (uint32_t block = 0; block < kCounterBits; ++block) {
            const uint64_t bit = (frameId >> (kCounterBits - 1 - block)) & 1;
            std::memcpy(row + block * blockBytes, cache->counterBlocks.data() + ((y & 1) * 2 + bit) * blockBytes,
                        blockBytes);
        }
    }
}

double ImageRenderer::meanLevel(const ImageSettings& s, uint32_t x, uint32_t y, uint32_t width, uint32_t height) {
    double sum = 0;
    size_t count = 0;
    const uint32_t step = 16;
    for (uint32_t sy = y; sy < y + height; sy += step)
        for (uint32_t sx = x; sx < x + width; sx += step) {
            sum += std::min(65535.0, sceneLevel(s, sx, sy, 0, 1) * s.brightness);
            ++count;
        }
    return count == 0 ? 0 : sum / count / 65535.0;
}

}  // namespace corvid2::sim
