// SPDX-License-Identifier: BSD-3-Clause
// The internal objects over the image library's objects: processor, image, histogram, geometric
// transform. Each holds the module, so the library stays loaded until its object is released.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "core/result_codes.h"
#include "imaging/image_module.h"

namespace CORVID2 {
class Buffer;
}

namespace corvid2 {

class CImageObj;

// The library's processor. Created only by create(); released with the object.
class CImageProcessorObj : public CImageModule {
public:
    // The module (loaded on first use) and a new library processor; on failure `processor` stays
    // null and the failure is recorded.
    static Result create(std::unique_ptr<CImageProcessorObj>& processor);
    ~CImageProcessorObj() override;

    Result GetVersion(std::string& version);
    // A new image over `buffer` (the caller's memory, or the library's own when null).
    Result CreateImage(std::uint32_t width, std::uint32_t height, const char* pixelFormat, void* buffer,
                       std::uint64_t bufferSize, std::unique_ptr<CImageObj>* image);
    Result CreateTransformedImage(CImageObj* source, const char* pixelFormat, std::unique_ptr<CImageObj>* image);
    Result TransformImageToBuffer(CImageObj* source, const char* pixelFormat, void* buffer, std::uint64_t bufferSize);
    Result GetMatrixElement(std::uint32_t kind, std::uint32_t row, std::uint32_t column, double* value);
    Result SetMatrixElement(std::uint32_t kind, std::uint32_t row, std::uint32_t column, double value);

    IImageProcessor* handle() const { return processor_; }

private:
    CImageProcessorObj(std::shared_ptr<ImageProcessorModule> module, IImageProcessor* processor);
    IImageProcessor* processor_;
};

// The library's image. Owns it: destruction releases it.
class CImageObj : public CImageModule {
public:
    // Takes over `image`, which `module` created.
    CImageObj(std::shared_ptr<ImageProcessorModule> module, IImage* image);
    ~CImageObj() override;

    Result Init(std::uint32_t width, std::uint32_t height, const char* pixelFormat, void* buffer,
                std::uint64_t bufferSize);
    // Over the image of a delivered buffer, without copying: the buffer must stay as it is while
    // the image refers to it.
    Result Init(CORVID2::Buffer* buffer);
    Result GetWidth(std::uint32_t* width) const;
    Result GetHeight(std::uint32_t* height) const;
    Result GetLength(std::uint64_t* length) const;
    Result GetPixelFormat(std::string& name) const;
    Result GetBuffer(void** buffer) const;
    Result GetTransformedBufferSize(const char* pixelFormat, std::uint64_t* length) const;
    Result GetHistogram(qx_tHistRecords records, std::uint64_t offsetX, std::uint64_t offsetY, std::uint64_t width,
                        std::uint64_t height);
    // Both factors within [0.5, 2.0]; `target` null scales this image in place.
    Result Scale(CImageObj* target, double sx, double sy);

    IImage* handle() const { return image_; }

private:
    Result CheckImagePresent(CORVID2::Buffer* buffer);
    IImage* image_;
};

// The library's histogram, for the brightness controller.
class CHistogramObj {
public:
    static Result create(std::shared_ptr<ImageProcessorModule> module, std::unique_ptr<CHistogramObj>& histogram);
    ~CHistogramObj();
    CHistogramObj(const CHistogramObj&) = delete;
    CHistogramObj& operator=(const CHistogramObj&) = delete;

    Result Initialize();
    Result SetNormalizedRange(double low, double high);
    Result Fill(CImageObj& image, std::uint32_t flags);
    Result GetAverage(double* average);
    Result GetAverageInRange(double* average);
    Result GetCountInRange(std::uint64_t* count);
    Result GetCountOver(std::uint64_t* count);
    Result GetCountUnder(std::uint64_t* count);
    Result GetCountTotal(std::uint64_t* count);
    Result SetChannelIndex(std::uint32_t channel);
    Result GetChannelIndex(std::uint32_t* channel);
    Result SetChannelWeight(std::uint32_t channel, double weight);
    Result GetChannelWeight(std::uint32_t channel, double* weight);

private:
    CHistogramObj(std::shared_ptr<ImageProcessorModule> module, IHistogram* histogram)
        : module_(std::move(module)), histogram_(histogram) {}
    std::shared_ptr<ImageProcessorModule> module_;
    IHistogram* histogram_;
};

// The library's geometric transform: a scale applied from one image into another.
class GeoTransformObj {
public:
    static Result create(std::shared_ptr<ImageProcessorModule> module, std::unique_ptr<GeoTransformObj>& transform);
    ~GeoTransformObj();
    GeoTransformObj(const GeoTransformObj&) = delete;
    GeoTransformObj& operator=(const GeoTransformObj&) = delete;

    Result SetScale(double sx, double sy);
    Result Process(CImageObj& source, CImageObj& target);

private:
    GeoTransformObj(std::shared_ptr<ImageProcessorModule> module, IGeoTransform* transform)
        : module_(std::move(module)), transform_(transform) {}
    std::shared_ptr<ImageProcessorModule> module_;
    IGeoTransform* transform_;
};

}  // namespace corvid2
