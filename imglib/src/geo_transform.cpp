// SPDX-License-Identifier: BSD-3-Clause
// Scaling through the image's target format, converting sources of other formats first.
#include "geo_transform.h"

#include <cmath>
#include <vector>

#include "converter.h"
#include "guarded_call.h"
#include "image.h"
#include "resample.h"
#include "thread_pool.h"

namespace corvid2::img {

namespace {
constexpr double kLeastFactor = 1.0 / 64, kMostFactor = 64;
bool validFactor(double f) { return std::isfinite(f) && f >= kLeastFactor && f <= kMostFactor; }
}  // namespace

IMG_RESULT_CODES CGeoTransform::SetScale(double sx, double sy, double angle) {
    if (!validFactor(sx) || !validFactor(sy) || angle != 0) return IMG_INVALID_PARAMETER;
    sx_ = sx;
    sy_ = sy;
    return IMG_SUCCESS;
}

IMG_RESULT_CODES CGeoTransform::Process(IImage* source, IImage* target) {
    return guardedCall([&] {
        const CImage* from = CImage::fromInterface(source);
        CImage* to = CImage::fromInterface(target);
        if (from == nullptr || to == nullptr) return IMG_INVALID_PARAMETER;
        const ImageView original = from->view();
        uint32_t width = 0, height = 0;
        if (!scaledSize(original.width, original.height, sx_, sy_, &width, &height)) return IMG_INVALID_PARAMETER;
        const PixelFormat& format = scalingFormat(*original.format);
        const unsigned threads = defaultConcurrency();
        // Formats that cannot be interpolated sample by sample (mosaics, packed, 4:2:2) are converted first.
        std::vector<uint8_t> converted;
        ImageView scaled = original;
        if (&format != original.format) {
            uint64_t bytes = 0;
            if (!imageBytes(format, original.width, original.height, &bytes)) return IMG_INVALID_PARAMETER;
            converted.resize(bytes);
            ConversionSettings settings;
            settings.threads = threads;
            convertImage(original, format, converted.data(), settings);
            scaled = ImageView{&format, original.width, original.height, converted.data(), bytes};
        }
        to->deliver(format, width, height, {original},
                    [&](uint8_t* out) { scaleImage(scaled, width, height, threads, out); });
        return IMG_SUCCESS;
    });
}

}  // namespace corvid2::img
