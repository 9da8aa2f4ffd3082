// SPDX-License-Identifier: BSD-3-Clause
// The image object: its memory, its polarization components, planes, downsampling and its registers.
#include "image.h"

#include <cstring>

#include "descriptions.h"
#include "guarded_call.h"
#include "image_processor.h"
#include "polarization.h"
#include "resample.h"
#include "row_codec.h"
#include "thread_pool.h"

namespace corvid2::img {

namespace {

constexpr uint64_t kRegisterSpace = IMG_REG_IMAGE_PIXEL_FORMAT + 64;

bool validComponent(uint32_t component) { return component >= kFirstComponent && component <= kLastComponent; }

bool overlaps(const uint8_t* a, uint64_t aBytes, const uint8_t* b, uint64_t bBytes) {
    const auto a0 = reinterpret_cast<uintptr_t>(a), b0 = reinterpret_cast<uintptr_t>(b);
    return a0 < b0 + bBytes && b0 < a0 + aBytes;
}

// Three grey planes into one colour row of the planes' depth.
void interleavePlanes(const ImageView (&planes)[3], const PixelFormat& format, uint8_t* out, uint32_t y0, uint32_t y1) {
    const uint32_t width = planes[0].width;
    const uint64_t outRow = rowBytes(format, width);
    std::vector<uint16_t> scratch(size_t{width} * 3);
    for (uint32_t y = y0; y < y1; ++y) {
        const uint16_t* rows[3];
        for (int c = 0; c < 3; ++c)
            rows[c] = sampleRow<uint16_t>(planes[c], y, scratch.data() + static_cast<size_t>(c) * width);
        uint8_t* o = out + y * outRow;
        for (uint32_t x = 0; x < width; ++x)
            for (int c = 0; c < 3; ++c) {
                const uint16_t v = rows[c][x];
                if (format.bits == 8) {
                    o[3 * size_t{x} + c] = static_cast<uint8_t>(v);
                } else {
                    o[6 * size_t{x} + 2 * c] = static_cast<uint8_t>(v);
                    o[6 * size_t{x} + 2 * c + 1] = static_cast<uint8_t>(v >> 8);
                }
            }
    }
}

}  // namespace

CImage::CImage() : format_(findPixelFormat("Mono8")), own_(1, 0) {
    data_ = own_.data();
    capacity_ = bytes_ = 1;
    CObjectRegistry::add(handle(), ObjectKind::Image, this);
}

CImage::~CImage() { CObjectRegistry::remove(handle()); }

CImage* CImage::fromInterface(IImage* image) {
    return CObjectRegistry::contains(image, ObjectKind::Image) ? static_cast<CImage*>(image) : nullptr;
}

const CImage* CImage::fromInterface(const IImage* image) {
    return CObjectRegistry::contains(image, ObjectKind::Image) ? static_cast<const CImage*>(image) : nullptr;
}

ImageView CImage::view() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return ImageView{format_, width_, height_, data_, bytes_};
}

bool CImage::enabled(uint32_t component) const { return (enabledComponents_ >> component) & 1; }

IMG_RESULT_CODES CImage::Init(const char* pixelFormat, uint32_t width, uint32_t height, void* buffer,
                              uint64_t bufferSize) {
    return guardedCall([&] {
        const PixelFormat* format = findPixelFormat(pixelFormat);
        uint64_t bytes = 0;
        if (format == nullptr || !imageBytes(*format, width, height, &bytes)) return IMG_INVALID_PARAMETER;
        if (buffer != nullptr && bufferSize < bytes) return IMG_INVALID_PARAMETER;
        std::vector<uint8_t> fresh;
        if (buffer == nullptr) fresh.assign(bytes, 0);
        std::lock_guard<std::mutex> lock(mutex_);
        format_ = format;
        width_ = width;
        height_ = height;
        bytes_ = bytes;
        polarizationChannel_ = 0;
        own_ = std::move(fresh);
        if (buffer != nullptr) {
            data_ = static_cast<uint8_t*>(buffer);
            capacity_ = bufferSize;
        } else {
            data_ = own_.data();
            capacity_ = bytes;
        }
        return IMG_SUCCESS;
    });
}

IMG_RESULT_CODES CImage::GetWidth(uint32_t* width) const {
    if (width == nullptr) return IMG_INVALID_PARAMETER;
    *width = view().width;
    return IMG_SUCCESS;
}

IMG_RESULT_CODES CImage::GetHeight(uint32_t* height) const {
    if (height == nullptr) return IMG_INVALID_PARAMETER;
    *height = view().height;
    return IMG_SUCCESS;
}

IMG_RESULT_CODES CImage::GetLength(uint64_t* length) const {
    if (length == nullptr) return IMG_INVALID_PARAMETER;
    *length = view().bytes;
    return IMG_SUCCESS;
}

IMG_RESULT_CODES CImage::GetPixelFormat(char* name, uint64_t* size) const {
    return guardedCall([&] { return copyText(view().format->name, name, size); });
}

IMG_RESULT_CODES CImage::GetBuffer(void** buffer) const {
    if (buffer == nullptr) return IMG_INVALID_PARAMETER;
    *buffer = const_cast<uint8_t*>(view().data);
    return IMG_SUCCESS;
}

IMG_RESULT_CODES CImage::GetTransformedBufferSize(const char* pixelFormat, uint64_t* length) const {
    const PixelFormat* target = findPixelFormat(pixelFormat);
    if (target == nullptr || length == nullptr) return IMG_INVALID_PARAMETER;
    const ImageView source = view();
    if (const IMG_RESULT_CODES check = checkConversion(*source.format, *target); check != IMG_SUCCESS) return check;
    uint64_t bytes = 0;
    if (!imageBytes(*target, source.width, source.height, &bytes)) return IMG_INVALID_PARAMETER;
    *length = bytes;
    return IMG_SUCCESS;
}

IMG_RESULT_CODES CImage::EnableInterpolation(bool enable) {
    std::lock_guard<std::mutex> lock(mutex_);
    interpolate_ = enable;
    return IMG_SUCCESS;
}

IMG_RESULT_CODES CImage::EnableComponent(uint32_t component, bool enable) {
    if (!validComponent(component)) return IMG_INVALID_PARAMETER;
    std::lock_guard<std::mutex> lock(mutex_);
    if (enable)
        enabledComponents_ |= 1u << component;
    else
        enabledComponents_ &= ~(1u << component);
    return IMG_SUCCESS;
}

IMG_RESULT_CODES CImage::GetComponent(uint32_t component, IImageProcessor* processor, IImage* target) {
    return guardedCall([&] {
        CImage* result = fromInterface(target);
        const CImageProcessor* settings = CImageProcessor::fromInterface(processor);
        if (!validComponent(component) || result == nullptr || (processor != nullptr && settings == nullptr))
            return IMG_INVALID_PARAMETER;
        bool interpolate;
        unsigned channel;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (!enabled(component)) return IMG_NOT_AVAILABLE;
            interpolate = interpolate_;
            channel = polarizationChannel_;
        }
        const ImageView raw = view();
        if (raw.format->family != Family::Polarized) return IMG_UNSUPPORTED_CONVERSION;
        const PixelFormat* format = nullptr;
        uint32_t width = 0, height = 0;
        if (!componentResult(component, raw, interpolate, &format, &width, &height)) return IMG_INVALID_PARAMETER;
        const PolarizationCalibration calibration =
            settings != nullptr ? settings->calibration() : PolarizationCalibration::defaults();
        const unsigned threads = settings != nullptr ? settings->threads() : defaultConcurrency();
        result->deliver(*format, width, height, {raw}, [&](uint8_t* out) {
            computeComponent(component, raw, channel, calibration, interpolate, threads, out);
        });
        if (component >= IMG_COMPONENT_PLANE_RED) {
            std::lock_guard<std::mutex> lock(result->mutex_);
            result->polarizationChannel_ = component - IMG_COMPONENT_PLANE_RED;
        }
        return IMG_SUCCESS;
    });
}

IMG_RESULT_CODES CImage::FromPlanes(IImage* red, IImage* green, IImage* blue) {
    return guardedCall([&] {
        const CImage* sources[3] = {fromInterface(red), fromInterface(green), fromInterface(blue)};
        if (sources[0] == nullptr || sources[1] == nullptr || sources[2] == nullptr) return IMG_INVALID_PARAMETER;
        const ImageView planes[3] = {sources[0]->view(), sources[1]->view(), sources[2]->view()};
        for (const ImageView& plane : planes)
            if (plane.format != planes[0].format || plane.width != planes[0].width || plane.height != planes[0].height)
                return IMG_INVALID_PARAMETER;
        if (planes[0].format->family != Family::Mono) return IMG_UNSUPPORTED_CONVERSION;
        const PixelFormat* format = unpackedFormat(Family::Rgb, planes[0].format->bits);
        if (format == nullptr) return IMG_UNSUPPORTED_CONVERSION;
        const uint32_t width = planes[0].width, height = planes[0].height;
        deliver(*format, width, height, {planes[0], planes[1], planes[2]}, [&](uint8_t* out) {
            parallelFor(height, defaultConcurrency(), minRowsPerPart(width), [&](size_t begin, size_t end) {
                interleavePlanes(planes, *format, out, static_cast<uint32_t>(begin), static_cast<uint32_t>(end));
            });
        });
        return IMG_SUCCESS;
    });
}

IMG_RESULT_CODES CImage::Downsample(uint32_t offsetX, uint32_t offsetY, uint32_t width, uint32_t height,
                                    IImage* target) {
    return guardedCall([&] {
        CImage* result = fromInterface(target);
        if (result == nullptr) return IMG_INVALID_PARAMETER;
        const ImageView source = view();
        const ImageView room = result->view();
        DownsamplePlan plan;
        const IMG_RESULT_CODES planned =
            planDownsample(source, offsetX, offsetY, width, height, room.width, room.height, &plan);
        if (planned != IMG_SUCCESS) return planned;
        result->deliver(*plan.format, plan.width, plan.height, {source},
                        [&](uint8_t* out) { downsampleImage(source, plan, defaultConcurrency(), out); });
        return IMG_SUCCESS;
    });
}

IMG_RESULT_CODES CImage::GetPortHandle(void** handle) const {
    if (handle == nullptr) return IMG_INVALID_PARAMETER;
    *handle = const_cast<void*>(this->handle());
    return IMG_SUCCESS;
}

void CImage::deliver(const PixelFormat& format, uint32_t width, uint32_t height, const std::vector<ImageView>& sources,
                     const std::function<void(uint8_t*)>& produce) {
    uint64_t bytes = 0;
    if (!imageBytes(format, width, height, &bytes)) throw std::invalid_argument("result size");
    uint8_t* memory;
    uint64_t capacity;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        memory = data_;
        capacity = capacity_;
    }
    bool shared = false;
    for (const ImageView& source : sources) shared = shared || overlaps(memory, capacity, source.data, source.bytes);
    const bool fits = capacity >= bytes;
    std::vector<uint8_t> fresh;
    if (fits && !shared) {
        produce(memory);
    } else {
        fresh.resize(bytes);
        produce(fresh.data());
        if (fits) std::memcpy(memory, fresh.data(), bytes);
    }
    std::lock_guard<std::mutex> lock(mutex_);
    format_ = &format;
    width_ = width;
    height_ = height;
    bytes_ = bytes;
    polarizationChannel_ = 0;
    if (!fits) {
        own_ = std::move(fresh);
        data_ = own_.data();
        capacity_ = bytes;
    }
}

const char* CImage::description() const { return kImageDescription; }
size_t CImage::descriptionSize() const { return kImageDescriptionSize; }

std::vector<uint8_t> CImage::registers() const {
    std::vector<uint8_t> bytes(kRegisterSpace, 0);
    std::lock_guard<std::mutex> lock(mutex_);
    putRegister32(bytes, IMG_REG_IMAGE_WIDTH, width_);
    putRegister32(bytes, IMG_REG_IMAGE_HEIGHT, height_);
    putRegister64(bytes, IMG_REG_IMAGE_LENGTH, bytes_);
    putRegister32(bytes, IMG_REG_IMAGE_INTERPOLATION, interpolate_ ? 1 : 0);
    putRegister32(bytes, IMG_REG_IMAGE_COMPONENT_SELECTOR, componentSelector_);
    putRegister32(bytes, IMG_REG_IMAGE_COMPONENT_ENABLE, enabled(componentSelector_) ? 1 : 0);
    putRegisterText(bytes, IMG_REG_IMAGE_PIXEL_FORMAT, 64, format_->name);
    return bytes;
}

IMG_RESULT_CODES CImage::writeRegister(uint64_t address, const uint8_t* bytes, uint64_t length) {
    struct Register {
        uint64_t address, length;
        bool writable;
    };
    static const Register kRegisters[] = {
        {IMG_REG_IMAGE_WIDTH, 4, false},
        {IMG_REG_IMAGE_HEIGHT, 4, false},
        {IMG_REG_IMAGE_LENGTH, 8, false},
        {IMG_REG_IMAGE_INTERPOLATION, 4, true},
        {IMG_REG_IMAGE_COMPONENT_SELECTOR, 4, true},
        {IMG_REG_IMAGE_COMPONENT_ENABLE, 4, true},
        {IMG_REG_IMAGE_PIXEL_FORMAT, 64, false},
    };
    const Register* hit = nullptr;
    for (const Register& r : kRegisters)
        if (r.address == address && r.length == length) hit = &r;
    if (hit == nullptr) return IMG_INVALID_ADDRESS;
    if (!hit->writable) return IMG_ACCESS_DENIED;
    const uint32_t value = registerValue32(bytes);
    std::lock_guard<std::mutex> lock(mutex_);
    switch (address) {
        case IMG_REG_IMAGE_INTERPOLATION:
            if (value > 1) return IMG_INVALID_PARAMETER;
            interpolate_ = value != 0;
            return IMG_SUCCESS;
        case IMG_REG_IMAGE_COMPONENT_SELECTOR:
            if (!validComponent(value)) return IMG_INVALID_PARAMETER;
            componentSelector_ = value;
            return IMG_SUCCESS;
        default:
            if (value > 1) return IMG_INVALID_PARAMETER;
            if (value != 0)
                enabledComponents_ |= 1u << componentSelector_;
            else
                enabledComponents_ &= ~(1u << componentSelector_);
            return IMG_SUCCESS;
    }
}

}  // namespace corvid2::img
