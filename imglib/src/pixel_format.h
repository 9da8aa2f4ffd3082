// SPDX-License-Identifier: BSD-3-Clause
// The pixel formats the library knows: how each stores its components, its depth and colour arrangement.
#pragma once

#include <cstdint>
#include <string_view>

namespace corvid2::img {

enum class Family : uint8_t {
    Mono,       ///< one grey value per pixel
    Bayer,      ///< one colour sample per pixel, 2 x 2 colour filter cells
    Rgb,        ///< interleaved R, G, B (and alpha) in some order
    Yuv422,     ///< pairs of pixels sharing their chroma, 8 bits
    Polarized,  ///< one sample per pixel, 2 x 2 polarizer cells
};

enum class Storage : uint8_t {
    Byte,        ///< 8-bit components
    Word,        ///< little-endian 16-bit words, value in the low bits
    LsbPacked,   ///< PFNC "p": one LSB-first bit stream over the whole image
    GigEPacked,  ///< GigE Vision "Packed": two pixels in three bytes
};

/// Colour of the first two samples of the first and second row of a Bayer cell.
enum class BayerPhase : uint8_t { RG, GR, GB, BG };

enum class YuvOrder : uint8_t { YUYV, UYVY };

struct PixelFormat {
    const char* name;
    uint32_t code;  ///< PFNC value
    Family family;
    Storage storage;
    uint8_t bits;              ///< depth of one component
    uint8_t bitsPerPixel;      ///< occupied bits per pixel (average for packed and 4:2:2 formats)
    uint8_t channels;          ///< components per pixel in memory for Mono, Bayer, Polarized, Rgb (1, 3 or 4)
    uint8_t red, green, blue;  ///< component offsets within an Rgb pixel
    bool alpha;                ///< an Rgb pixel's fourth component is alpha
    BayerPhase phase;
    YuvOrder yuvOrder;
    bool target;  ///< a conversion target

    bool isColour() const { return family == Family::Bayer || family == Family::Rgb || family == Family::Yuv422; }
    bool isMosaic() const { return family == Family::Bayer || family == Family::Polarized; }
    /// Single-sample formats whose rows are addressed through the pixel index (packed) or a row stride.
    bool isSingleComponent() const { return family != Family::Rgb && family != Family::Yuv422; }
    uint32_t maxValue() const { return (1u << bits) - 1; }
};

/// The format of that name (PFNC names and the GigE Vision 1.x aliases), or null.
const PixelFormat* findPixelFormat(std::string_view name);
/// The format of that name, or null when the pointer is null or the name unknown.
const PixelFormat* findPixelFormat(const char* name);
/// The format with these properties, or null: Mono / Bayer (phase) / Polarized / Rgb in RGB order, unpacked storage.
const PixelFormat* unpackedFormat(Family family, uint8_t bits, BayerPhase phase = BayerPhase::RG);

/// Pixels of an image above this are refused: no machine holds them, and byte counts cannot overflow below it.
constexpr uint64_t kMaxPixels = uint64_t{1} << 40;

/// Bytes of a width x height image of the format; false when the size is refused (0, too large, odd width of 4:2:2).
bool imageBytes(const PixelFormat& format, uint32_t width, uint32_t height, uint64_t* bytes);

/// Bytes of one row of a format with a row stride (not packed).
inline uint64_t rowBytes(const PixelFormat& format, uint32_t width) {
    return uint64_t{width} * format.bitsPerPixel / 8;
}

inline bool isPacked(const PixelFormat& format) {
    return format.storage == Storage::LsbPacked || format.storage == Storage::GigEPacked;
}

/// Bayer phase of the cell that starts at (x, y) of an image whose cell at (0, 0) has `phase`.
BayerPhase shiftedPhase(BayerPhase phase, uint32_t x, uint32_t y);

}  // namespace corvid2::img
