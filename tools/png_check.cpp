// SPDX-License-Identifier: BSD-3-Clause
// Test helper: checks that a PNG saved by `corvid2 grab` from a simulated monochrome camera shows
// what the simulator draws, as the tool converts it: the grey ramp across the sensor and the frame
// counter blocks, 8-bit for Mono8, scaled to 16 bits for Mono10, Mono12 and Mono16.
// usage: corvid2_png_check FILE WIDTH HEIGHT FORMAT [FRAME_ID]; exit code 0 when everything matches.
#include <png.h>

#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// The simulator's sensor is this wide; its ramp reaches full scale at the last sensor column.
constexpr std::uint32_t kSensorWidth = 2448;
constexpr std::uint32_t kCounterBits = 16, kCounterBlock = 8;

struct Png {
    std::uint32_t width = 0, height = 0;
    int bitDepth = 0, colorType = 0;
    std::vector<std::uint16_t> pixels;  // grey samples, row after row
};

// Plain data only in this frame: libpng leaves it by longjmp on an error.
bool readRows(std::FILE* file, Png* out, std::uint8_t** rows, bool sizeOnly) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (png == nullptr) return false;
    png_infop info = png_create_info_struct(png);
    if (info == nullptr) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    png_init_io(png, file);
    png_read_info(png, info);
    out->width = png_get_image_width(png, info);
    out->height = png_get_image_height(png, info);
    out->bitDepth = png_get_bit_depth(png, info);
    out->colorType = png_get_color_type(png, info);
    if (!sizeOnly) {
        png_read_image(png, rows);
        png_read_end(png, nullptr);
    }
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}

bool load(const char* path, Png& png) {
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) return false;
    bool ok = readRows(file, &png, nullptr, true);
    if (ok && (png.bitDepth == 8 || png.bitDepth == 16) && png.colorType == PNG_COLOR_TYPE_GRAY) {
        const std::size_t rowBytes = std::size_t{png.width} * png.bitDepth / 8;
        std::vector<std::uint8_t> bytes(rowBytes * png.height);
        std::vector<std::uint8_t*> rows(png.height);
        for (std::uint32_t y = 0; y < png.height; ++y) rows[y] = bytes.data() + y * rowBytes;
        std::rewind(file);
        ok = readRows(file, &png, rows.data(), false);
        png.pixels.resize(std::size_t{png.width} * png.height);
        for (std::size_t i = 0; i < png.pixels.size(); ++i)
            png.pixels[i] =
                png.bitDepth == 8 ? bytes[i] : static_cast<std::uint16_t>(bytes[2 * i] << 8 | bytes[2 * i + 1]);
    }
    std::fclose(file);
    return ok;
}

// The simulator's 16-bit level at sensor column x, as the camera delivers it in `bits` bits and
// the tool writes it: 8 bits as they are, more bits scaled up to the full 16-bit range.
std::uint16_t expectedSample(std::uint32_t level, unsigned bits) {
    const std::uint32_t value = level >> (16 - bits);
    if (bits == 8) return static_cast<std::uint16_t>(value);
    return static_cast<std::uint16_t>(value * 65535u / ((1u << bits) - 1));
}

std::uint32_t rampLevel(std::uint32_t x) {
    return static_cast<std::uint32_t>(std::uint64_t{x} * 65535 / (kSensorWidth - 1));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5 && argc != 6) {
        std::fprintf(stderr, "usage: corvid2_png_check FILE WIDTH HEIGHT Mono8|Mono10|Mono12|Mono16 [FRAME_ID]\n");
        return 2;
    }
    const char* path = argv[1];
    const auto width = static_cast<std::uint32_t>(std::strtoul(argv[2], nullptr, 10));
    const auto height = static_cast<std::uint32_t>(std::strtoul(argv[3], nullptr, 10));
    const unsigned bits = std::strncmp(argv[4], "Mono", 4) == 0 ? std::strtoul(argv[4] + 4, nullptr, 10) : 0;
    if (bits != 8 && bits != 10 && bits != 12 && bits != 16) {
        std::fprintf(stderr, "corvid2_png_check: unknown format %s\n", argv[4]);
        return 2;
    }
    const int bitDepth = bits == 8 ? 8 : 16;
    const std::uint16_t white = expectedSample(65535, bits);
    Png png;
    if (!load(path, png)) {
        std::fprintf(stderr, "%s: not a readable PNG file\n", path);
        return 1;
    }
    if (png.width != width || png.height != height || png.bitDepth != bitDepth ||
        png.colorType != PNG_COLOR_TYPE_GRAY) {
        std::fprintf(stderr, "%s: %ux%u, bit depth %d, colour type %d; expected %ux%u %d-bit grey (type %d)\n", path,
                     png.width, png.height, png.bitDepth, png.colorType, width, height, bitDepth, PNG_COLOR_TYPE_GRAY);
        return 1;
    }

    int mismatches = 0;
    auto expect = [&](std::uint32_t x, std::uint32_t y, std::uint16_t wanted) {
        const std::uint16_t seen = png.pixels[std::size_t{y} * png.width + x];
        if (seen == wanted) return;
        if (++mismatches <= 10)
            std::fprintf(stderr, "%s: pixel (%u, %u) is %u, expected %u\n", path, x, y, seen, wanted);
    };
    const bool counterDrawn = width >= kCounterBits * kCounterBlock && height >= kCounterBlock;
    std::uint32_t counter = 0;
    for (std::uint32_t block = 0; counterDrawn && block < kCounterBits; ++block) {
        const std::uint32_t bit = png.pixels[std::size_t{block} * kCounterBlock] == white ? 1 : 0;
        counter = counter << 1 | bit;
        for (std::uint32_t y = 0; y < kCounterBlock; ++y)
            for (std::uint32_t x = block * kCounterBlock; x < (block + 1) * kCounterBlock; ++x)
                expect(x, y, bit ? white : 0);
    }
    for (std::uint32_t y = 0; y < height; ++y)
        for (std::uint32_t x = 0; x < width; ++x)
            if (!counterDrawn || y >= kCounterBlock || x >= kCounterBits * kCounterBlock)
                expect(x, y, expectedSample(rampLevel(x), bits));
    if (mismatches > 0) {
        std::fprintf(stderr, "%s: %d pixels differ from the simulator's grey ramp\n", path, mismatches);
        return 1;
    }
    if (argc == 6 && counterDrawn) {
        const unsigned long frameId = std::strtoul(argv[5], nullptr, 10);
        if (counter != (frameId & 0xFFFF)) {
            std::fprintf(stderr, "%s: the counter blocks show frame %u, expected frame %lu\n", path, counter, frameId);
            return 1;
        }
    }
    std::printf("%s: %ux%u %d-bit grey from %s, grey ramp as expected, counter blocks show frame %u\n", path, width,
                height, bitDepth, argv[4], counter);
    return 0;
}
