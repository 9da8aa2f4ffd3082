// SPDX-License-Identifier: BSD-3-Clause
// PNG output of one camera image through libpng: the pixels are brought into PNG's sample layout
// first, so that the function that libpng may leave by longjmp holds nothing with a destructor.
#include "png_writer.h"

#include <png.h>

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>

namespace corvid2::tool {
namespace {

// clang-format off
constexpr PngFormat kFormats[] = {
    {"Mono8",  1, 8,  "8-bit grey"},
    {"Mono10", 2, 10, "16-bit grey, scaled up from 10 bits"},
    {"Mono12", 2, 12, "16-bit grey, scaled up from 12 bits"},
    {"Mono16", 2, 16, "16-bit grey"},
    {"RGB8",   3, 8,  "8-bit RGB"},
    {"BGR8",   3, 8,  "8-bit RGB, converted from BGR"},
};
// clang-format on

constexpr std::size_t kMessageSize = 256;

struct PngLayout {
    int bitDepth;
    int colorType;
    std::size_t rowBytes;
};

PngLayout layoutOf(const PngFormat& format, std::uint32_t width) {
    const bool colour = format.bytesPerPixel == 3;
    const int bitDepth = format.bytesPerPixel == 2 ? 16 : 8;
    const std::size_t samples = colour ? 3 : 1;
    return {bitDepth, colour ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_GRAY, width * samples * (bitDepth / 8)};
}

// The image's rows in PNG's layout: 16-bit samples big-endian and using the full range (a 12-bit
// camera value of 4095 is white, not one sixteenth of it), colour as R, G, B.
std::vector<std::uint8_t> toPngRows(const Image& image, const PngFormat& format, const PngLayout& layout) {
    std::vector<std::uint8_t> rows(layout.rowBytes * image.height);
    const bool swapRedBlue = std::strcmp(format.pixelFormat, "BGR8") == 0;
    const std::uint32_t maxValue = (std::uint32_t{1} << format.significantBits) - 1;
    for (std::uint32_t y = 0; y < image.height; ++y) {
        const std::uint8_t* in = image.bytes.data() + y * image.stride;
        std::uint8_t* out = rows.data() + y * layout.rowBytes;
        if (format.bytesPerPixel == 2) {
            for (std::uint32_t x = 0; x < image.width; ++x) {
                // Bits above the significant ones are noise a camera may leave; they must not wrap.
                const std::uint32_t value = std::min<std::uint32_t>(in[2 * x] | in[2 * x + 1] << 8, maxValue);
                const std::uint32_t scaled = value * 65535u / maxValue;
                out[2 * x] = static_cast<std::uint8_t>(scaled >> 8);
                out[2 * x + 1] = static_cast<std::uint8_t>(scaled);
            }
        } else if (swapRedBlue) {
            for (std::uint32_t x = 0; x < image.width; ++x) {
                out[3 * x] = in[3 * x + 2];
                out[3 * x + 1] = in[3 * x + 1];
                out[3 * x + 2] = in[3 * x];
            }
        } else {
            std::memcpy(out, in, layout.rowBytes);
        }
    }
    return rows;
}

void onPngError(png_structp png, png_const_charp message) {
    std::snprintf(static_cast<char*>(png_get_error_ptr(png)), kMessageSize, "%s", message);
    png_longjmp(png, 1);
}

void onPngWarning(png_structp, png_const_charp) {}

// Only plain values live in this frame: libpng leaves it by longjmp on an error, which would skip
// any destructor.
bool writeRows(std::FILE* file, std::uint32_t width, std::uint32_t height, const PngLayout& layout,
               unsigned significantBits, png_bytepp rows, char* message) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, message, onPngError, onPngWarning);
    if (png == nullptr) {
        std::snprintf(message, kMessageSize, "libpng could not start");
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (info == nullptr) {
        png_destroy_write_struct(&png, nullptr);
        std::snprintf(message, kMessageSize, "libpng could not start");
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, width, height, layout.bitDepth, layout.colorType, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (significantBits != static_cast<unsigned>(layout.bitDepth)) {
        // Tells readers how many bits the camera measured before they were scaled up.
        png_color_8 bits{};
        bits.gray = static_cast<png_byte>(significantBits);
        png_set_sBIT(png, info, &bits);
    }
    png_write_info(png, info);
    png_write_image(png, rows);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

}  // namespace

const PngFormat* pngFormatOf(const std::string& pixelFormat) {
    for (const PngFormat& format : kFormats)
        if (pixelFormat == format.pixelFormat) return &format;
    return nullptr;
}

std::string pngPixelFormats() {
    std::string names;
    for (const PngFormat& format : kFormats) names += std::string(names.empty() ? "" : ", ") + format.pixelFormat;
    return names;
}

std::string writePng(const std::string& path, const Image& image) {
    const PngFormat* format = pngFormatOf(image.pixelFormat);
    if (format == nullptr)
        return "pixel format " + image.pixelFormat + " is not written as PNG (only " + pngPixelFormats() + ")";
    if (image.width == 0 || image.height == 0) return "the image is empty";
    const std::size_t lineBytes = image.width * format->bytesPerPixel;
    if (image.stride < lineBytes || image.bytes.size() < (image.height - 1) * image.stride + lineBytes)
        return "the image holds fewer bytes than " + std::to_string(image.width) + "x" + std::to_string(image.height) +
               " " + image.pixelFormat + " needs";

    const PngLayout layout = layoutOf(*format, image.width);
    std::vector<std::uint8_t> rows = toPngRows(image, *format, layout);
    std::vector<png_bytep> rowPointers(image.height);
    for (std::uint32_t y = 0; y < image.height; ++y) rowPointers[y] = rows.data() + y * layout.rowBytes;

    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return "cannot open " + path + ": " + std::strerror(errno);
    char message[kMessageSize] = "";
    const bool written =
        writeRows(file, image.width, image.height, layout, format->significantBits, rowPointers.data(), message);
    const bool closed = std::fclose(file) == 0;
    if (written && closed) return {};
    std::remove(path.c_str());
    return "writing " + path + " failed: " + (written ? std::string(std::strerror(errno)) : std::string(message));
}

}  // namespace corvid2::tool
