// SPDX-License-Identifier: BSD-3-Clause
// CImage: the library's image, over the caller's memory or its own, with its polarization settings and its port.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "corvid2_img/corvid2_img.h"
#include "image_view.h"
#include "object_registry.h"

namespace corvid2::img {

class CImage final : public IImage, public CPortTarget {
public:
    /// A 1 x 1 Mono8 image with memory of its own; registered as live until destroyed.
    CImage();
    ~CImage() override;
    CImage(const CImage&) = delete;
    CImage& operator=(const CImage&) = delete;

    /// The image behind an interface pointer, or null when it is not a live image of this library.
    static CImage* fromInterface(IImage* image);
    static const CImage* fromInterface(const IImage* image);

    IMG_RESULT_CODES Init(const char* pixelFormat, uint32_t width, uint32_t height, void* buffer,
                          uint64_t bufferSize) override;
    IMG_RESULT_CODES GetWidth(uint32_t* width) const override;
    IMG_RESULT_CODES GetHeight(uint32_t* height) const override;
    IMG_RESULT_CODES GetLength(uint64_t* length) const override;
    IMG_RESULT_CODES GetPixelFormat(char* name, uint64_t* size) const override;
    IMG_RESULT_CODES GetBuffer(void** buffer) const override;
    IMG_RESULT_CODES GetTransformedBufferSize(const char* pixelFormat, uint64_t* length) const override;
    IMG_RESULT_CODES EnableInterpolation(bool enable) override;
    IMG_RESULT_CODES EnableComponent(uint32_t component, bool enable) override;
    IMG_RESULT_CODES GetComponent(uint32_t component, IImageProcessor* processor, IImage* target) override;
    IMG_RESULT_CODES FromPlanes(IImage* red, IImage* green, IImage* blue) override;
    IMG_RESULT_CODES Downsample(uint32_t offsetX, uint32_t offsetY, uint32_t width, uint32_t height,
                                IImage* target) override;
    IMG_RESULT_CODES GetPortHandle(void** handle) const override;

    /// The pixels as they are now. Valid until the image is changed.
    ImageView view() const;

    /// Makes this image a result of that format and size: `produce` writes its pixels. Produces into this image's
    /// memory when it is large enough and does not hold any of the sources' pixels; otherwise into fresh memory
    /// first. Throws std::bad_alloc.
    void deliver(const PixelFormat& format, uint32_t width, uint32_t height, const std::vector<ImageView>& sources,
                 const std::function<void(uint8_t*)>& produce);

    // CPortTarget
    const char* descriptionName() const override { return "corvid2_img_image.xml"; }
    const char* description() const override;
    size_t descriptionSize() const override;
    std::vector<uint8_t> registers() const override;
    IMG_RESULT_CODES writeRegister(uint64_t address, const uint8_t* bytes, uint64_t length) override;

private:
    const void* handle() const { return static_cast<const IImage*>(this); }
    bool enabled(uint32_t component) const;

    mutable std::mutex mutex_;  // guards what the port reads against the image's changes; taken last
    const PixelFormat* format_;
    uint32_t width_ = 1, height_ = 1;
    uint8_t* data_ = nullptr;
    uint64_t capacity_ = 0;  ///< bytes available at data_
    uint64_t bytes_ = 0;     ///< bytes of pixel data
    std::vector<uint8_t> own_;
    bool interpolate_ = false;
    uint32_t enabledComponents_ = 0;  ///< bit per IMG_COMPONENT
    uint32_t componentSelector_ = IMG_COMPONENT_INTENSITY;
    unsigned polarizationChannel_ = 0;  ///< calibration channel of a polarizer mosaic: its colour plane
};

}  // namespace corvid2::img
