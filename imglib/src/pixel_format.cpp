// SPDX-License-Identifier: BSD-3-Clause
// The table of pixel formats and the byte counts they imply.
#include "pixel_format.h"

#include <cstring>
#include <iterator>

namespace corvid2::img {

namespace {

constexpr PixelFormat mono(const char* name, uint32_t code, Storage storage, uint8_t bits, uint8_t bpp,
                           bool target = false, Family family = Family::Mono) {
    return {name, code, family, storage, bits, bpp, 1, 0, 0, 0, false, BayerPhase::RG, YuvOrder::YUYV, target};
}

constexpr PixelFormat bayer(const char* name, uint32_t code, BayerPhase phase, Storage storage, uint8_t bits,
                            uint8_t bpp) {
    return {name, code, Family::Bayer, storage, bits, bpp, 1, 0, 0, 0, false, phase, YuvOrder::YUYV, false};
}

constexpr PixelFormat rgb(const char* name, uint32_t code, bool bgr, bool alpha, uint8_t bits, bool target = false) {
    const uint8_t channels = alpha ? 4 : 3;
    const uint8_t bpp = static_cast<uint8_t>(channels * (bits == 8 ? 8 : 16));
    return {name,
            code,
            Family::Rgb,
            bits == 8 ? Storage::Byte : Storage::Word,
            bits,
            bpp,
            channels,
            static_cast<uint8_t>(bgr ? 2 : 0),
            1,
            static_cast<uint8_t>(bgr ? 0 : 2),
            alpha,
            BayerPhase::RG,
            YuvOrder::YUYV,
            target};
}

constexpr PixelFormat yuv(const char* name, uint32_t code, YuvOrder order) {
    return {name, code, Family::Yuv422, Storage::Byte, 8, 16, 2, 0, 0, 0, false, BayerPhase::RG, order, false};
}

constexpr Storage B = Storage::Byte, W = Storage::Word, P = Storage::LsbPacked, G = Storage::GigEPacked;
constexpr BayerPhase RG = BayerPhase::RG, GR = BayerPhase::GR, GB = BayerPhase::GB, BG = BayerPhase::BG;

// clang-format off
const PixelFormat kFormats[] = {
    mono("Mono8", 0x01080001, B, 8, 8, true),
    mono("Mono10", 0x01100003, W, 10, 16),
    mono("Mono12", 0x01100005, W, 12, 16),
    mono("Mono14", 0x01100025, W, 14, 16),
    mono("Mono16", 0x01100007, W, 16, 16, true),
    mono("Mono10p", 0x010A0046, P, 10, 10),
    mono("Mono12p", 0x010C0047, P, 12, 12),
    mono("Mono14p", 0x010E0104, P, 14, 14),
    mono("Mono10Packed", 0x010C0004, G, 10, 12),
    mono("Mono12Packed", 0x010C0006, G, 12, 12),

    bayer("BayerRG8", 0x01080009, RG, B, 8, 8),   bayer("BayerGR8", 0x01080008, GR, B, 8, 8),
    bayer("BayerGB8", 0x0108000A, GB, B, 8, 8),   bayer("BayerBG8", 0x0108000B, BG, B, 8, 8),
    bayer("BayerRG10", 0x0110000D, RG, W, 10, 16), bayer("BayerGR10", 0x0110000C, GR, W, 10, 16),
    bayer("BayerGB10", 0x0110000E, GB, W, 10, 16), bayer("BayerBG10", 0x0110000F, BG, W, 10, 16),
    bayer("BayerRG12", 0x01100011, RG, W, 12, 16), bayer("BayerGR12", 0x01100010, GR, W, 12, 16),
    bayer("BayerGB12", 0x01100012, GB, W, 12, 16), bayer("BayerBG12", 0x01100013, BG, W, 12, 16),
    bayer("BayerRG14", 0x0110010A, RG, W, 14, 16), bayer("BayerGR14", 0x01100109, GR, W, 14, 16),
    bayer("BayerGB14", 0x0110010B, GB, W, 14, 16), bayer("BayerBG14", 0x0110010C, BG, W, 14, 16),
    bayer("BayerRG16", 0x0110002F, RG, W, 16, 16), bayer("BayerGR16", 0x0110002E, GR, W, 16, 16),
    bayer("BayerGB16", 0x01100030, GB, W, 16, 16), bayer("BayerBG16", 0x01100031, BG, W, 16, 16),
    bayer("BayerRG10p", 0x010A0058, RG, P, 10, 10), bayer("BayerGR10p", 0x010A0056, GR, P, 10, 10),
    bayer("BayerGB10p", 0x010A0054, GB, P, 10, 10), bayer("BayerBG10p", 0x010A0052, BG, P, 10, 10),
    bayer("BayerRG12p", 0x010C0059, RG, P, 12, 12), bayer("BayerGR12p", 0x010C0057, GR, P, 12, 12),
    bayer("BayerGB12p", 0x010C0055, GB, P, 12, 12), bayer("BayerBG12p", 0x010C0053, BG, P, 12, 12),
    bayer("BayerRG14p", 0x010E0106, RG, P, 14, 14), bayer("BayerGR14p", 0x010E0105, GR, P, 14, 14),
    bayer("BayerGB14p", 0x010E0107, GB, P, 14, 14), bayer("BayerBG14p", 0x010E0108, BG, P, 14, 14),
    bayer("BayerRG10Packed", 0x010C0027, RG, G, 10, 12), bayer("BayerGR10Packed", 0x010C0026, GR, G, 10, 12),
    bayer("BayerGB10Packed", 0x010C0028, GB, G, 10, 12), bayer("BayerBG10Packed", 0x010C0029, BG, G, 10, 12),
    bayer("BayerRG12Packed", 0x010C002B, RG, G, 12, 12), bayer("BayerGR12Packed", 0x010C002A, GR, G, 12, 12),
    bayer("BayerGB12Packed", 0x010C002C, GB, G, 12, 12), bayer("BayerBG12Packed", 0x010C002D, BG, G, 12, 12),

    rgb("RGB8", 0x02180014, false, false, 8, true),    rgb("BGR8", 0x02180015, true, false, 8, true),
    rgb("RGBa8", 0x02200016, false, true, 8, true),    rgb("BGRa8", 0x02200017, true, true, 8, true),
    rgb("RGB10", 0x02300018, false, false, 10),        rgb("BGR10", 0x02300019, true, false, 10),
    rgb("RGB12", 0x0230001A, false, false, 12),        rgb("BGR12", 0x0230001B, true, false, 12),
    rgb("RGB14", 0x0230005E, false, false, 14),        rgb("BGR14", 0x0230004A, true, false, 14),
    rgb("RGB16", 0x02300033, false, false, 16, true),  rgb("BGR16", 0x0230004B, true, false, 16, true),
    rgb("RGBa10", 0x0240005F, false, true, 10),        rgb("BGRa10", 0x0240004C, true, true, 10),
    rgb("RGBa12", 0x02400061, false, true, 12),        rgb("BGRa12", 0x0240004E, true, true, 12),
    rgb("RGBa14", 0x02400063, false, true, 14),        rgb("BGRa14", 0x02400050, true, true, 14),
    rgb("RGBa16", 0x02400064, false, true, 16),        rgb("BGRa16", 0x02400051, true, true, 16),

    yuv("YUV422_8", 0x02100032, YuvOrder::YUYV),       yuv("YUV422_8_UYVY", 0x0210001F, YuvOrder::UYVY),
    yuv("YCbCr422_8", 0x0210003B, YuvOrder::YUYV),     yuv("YCbCr422_8_CbYCrY", 0x02100043, YuvOrder::UYVY),

    // Raw polarizer mosaics: vendor formats (custom bit set), named by what the polarizer hands over.
    mono("VelmorPolarized8", 0x81080001, B, 8, 8, false, Family::Polarized),
    mono("VelmorPolarized10", 0x81100003, W, 10, 16, false, Family::Polarized),
    mono("VelmorPolarized12", 0x81100005, W, 12, 16, false, Family::Polarized),
    mono("VelmorPolarized12p", 0x810C0047, P, 12, 12, false, Family::Polarized),
    mono("VelmorPolarized16", 0x81100007, W, 16, 16, false, Family::Polarized),
};

// GigE Vision 1.x names of the same formats.
const struct Alias { const char* alias; const char* name; } kAliases[] = {
    {"RGB8Packed", "RGB8"}, {"BGR8Packed", "BGR8"}, {"RGBA8Packed", "RGBa8"}, {"BGRA8Packed", "BGRa8"},
    {"RGB10Packed", "RGB10"}, {"BGR10Packed", "BGR10"}, {"RGB12Packed", "RGB12"}, {"BGR12Packed", "BGR12"},
    {"YUV422Packed", "YUV422_8_UYVY"}, {"YUV422_YUYV_Packed", "YUV422_8"},
};
// clang-format on

}  // namespace

const PixelFormat* findPixelFormat(std::string_view name) {
    for (const PixelFormat& format : kFormats)
        if (name == format.name) return &format;
    for (const Alias& alias : kAliases)
        if (name == alias.alias) return findPixelFormat(std::string_view(alias.name));
    return nullptr;
}

const PixelFormat* findPixelFormat(const char* name) {
    // Names are short; a missing terminator must not make the search run through memory.
    if (name == nullptr) return nullptr;
    const void* end = std::memchr(name, 0, 64);
    if (end == nullptr) return nullptr;
    return findPixelFormat(std::string_view(name, static_cast<size_t>(static_cast<const char*>(end) - name)));
}

const PixelFormat* unpackedFormat(Family family, uint8_t bits, BayerPhase phase) {
    for (const PixelFormat& format : kFormats) {
        if (format.family != family || format.bits != bits || isPacked(format)) continue;
        if (family == Family::Bayer && format.phase != phase) continue;
        if (family == Family::Rgb && (format.red != 0 || format.alpha)) continue;
        return &format;
    }
    return nullptr;
}

bool imageBytes(const PixelFormat& format, uint32_t width, uint32_t height, uint64_t* bytes) {
    const uint64_t pixels = uint64_t{width} * height;
    if (pixels == 0 || pixels > kMaxPixels) return false;
    if (format.family == Family::Yuv422 && width % 2 != 0) return false;
    switch (format.storage) {
        case Storage::LsbPacked:
            *bytes = (pixels * format.bits + 7) / 8;
            return true;
        case Storage::GigEPacked:
            *bytes = (pixels + 1) / 2 * 3;
            return true;
        default:
            *bytes = pixels * format.bitsPerPixel / 8;
            return true;
    }
}

BayerPhase shiftedPhase(BayerPhase phase, uint32_t x, uint32_t y) {
    // Index bits: 1 = the first sample of the first row is green, 2 = the first row is the blue row.
    static const BayerPhase kByIndex[4] = {BayerPhase::RG, BayerPhase::GR, BayerPhase::BG, BayerPhase::GB};
    static const uint8_t kIndex[4] = {0, 1, 3, 2};  // RG, GR, GB, BG
    uint8_t index = kIndex[static_cast<int>(phase)];
    if (x & 1) index ^= 1;
    if (y & 1) index ^= 3;  // the next row swaps green with the other colour and red rows with blue rows
    return kByIndex[index];
}

}  // namespace corvid2::img
