// SPDX-License-Identifier: BSD-3-Clause
// The public ImageProcessor and Image: guarded calls into their internal objects.
#include <memory>
#include <string>

#include "core/public_method.h"
#include "corvid2/buffer.h"
#include "corvid2/exceptions.h"
#include "corvid2/image.h"
#include "imaging/image_data.h"
#include "imaging/imageobj.h"
#include "nodes/node_views.h"
#include "trace/trace.h"

using namespace corvid2;
using CORVID2::Internal::ImageData;
using CORVID2::Internal::ImageProcessorData;
using CORVID2::Internal::ImagingAccess;

namespace CORVID2 {

Image* Internal::ImagingAccess::makeImage(CImageObj* image) {
    auto* data = new ImageData();
    data->image_ = image;
    return new Image(data);
}

// ---- Image -----------------------------------------------------------------------------------

Image::Image(ImageData* data) : INode(false), data_(data) {
    attachNodeSource(*this, data_->image_);
    registerHolder<CImageGuard>(CORVID2_METHOD(Image, Image), this, data_);
}

Image::~Image() = default;

void Image::Init(std::uint32_t width, std::uint32_t height, const String& pixelFormat, void* buffer,
                 std::uint64_t bufferSize) {
    callGuarded<CImageGuard>(CORVID2_METHOD(Image, Init), kExclusive, this, &data_, [&](ImageData& data) {
        return data.image_->Init(width, height, pixelFormat.get(), buffer, bufferSize);
    });
}

void Image::Init(Buffer* buffer) {
    callGuarded<CImageGuard>(CORVID2_METHOD(Image, Init), kExclusive, this, &data_,
                             [&](ImageData& data) { return data.image_->Init(buffer); });
}

void Image::Release() {
    const MethodSite site = CORVID2_METHOD(Image, Release);
    unregisterHolder<CImageGuard>(site, this, &data_, [this](ImageData* data) {
        attachNodeSource(*this, nullptr);
        delete data->image_;
        delete data;
        delete this;
    });
}

std::uint32_t Image::GetWidth() {
    std::uint32_t value = 0;
    callGuarded<CImageGuard>(CORVID2_METHOD(Image, GetWidth), kShared, this, &data_,
                             [&](ImageData& data) { return data.image_->GetWidth(&value); });
    return value;
}

std::uint32_t Image::GetHeight() {
    std::uint32_t value = 0;
    callGuarded<CImageGuard>(CORVID2_METHOD(Image, GetHeight), kShared, this, &data_,
                             [&](ImageData& data) { return data.image_->GetHeight(&value); });
    return value;
}

std::uint64_t Image::GetLength() {
    std::uint64_t value = 0;
    callGuarded<CImageGuard>(CORVID2_METHOD(Image, GetLength), kShared, this, &data_,
                             [&](ImageData& data) { return data.image_->GetLength(&value); });
    return value;
}

String Image::GetPixelformat() {
    std::string value;
    callGuarded<CImageGuard>(CORVID2_METHOD(Image, GetPixelformat), kShared, this, &data_,
                             [&](ImageData& data) { return data.image_->GetPixelFormat(value); });
    return value.c_str();
}

void* Image::GetBuffer() {
    void* value = nullptr;
    callGuarded<CImageGuard>(CORVID2_METHOD(Image, GetBuffer), kShared, this, &data_,
                             [&](ImageData& data) { return data.image_->GetBuffer(&value); });
    return value;
}

std::uint64_t Image::GetTransformBufferLength(const String& pixelFormat) {
    std::uint64_t value = 0;
    callGuarded<CImageGuard>(
        CORVID2_METHOD(Image, GetTransformBufferLength), kShared, this, &data_,
        [&](ImageData& data) { return data.image_->GetTransformedBufferSize(pixelFormat.get(), &value); });
    return value;
}

void Image::GetHistogram(qx_tHistRecords records) { GetHistogram(records, 0, 0, 0, 0); }

void Image::GetHistogram(qx_tHistRecords records, std::uint64_t offsetX, std::uint64_t offsetY, std::uint64_t width,
                         std::uint64_t height) {
    const MethodSite site = CORVID2_METHOD(Image, GetHistogram);
    CPublicCall<CImageGuard> call(site, kExclusive, this, &data_);
    if (call->image_->GetHistogram(records, offsetX, offsetY, width, height) != Result::Success)
        failAt(site, Result::Error, "function failed with error");
}

void Image::Scale(Image* target, double sx, double sy) {
    const MethodSite site = CORVID2_METHOD(Image, Scale);
    CPublicCall<CImageGuard> call(site, kExclusive, this, &data_);
    CImageObj* targetObj = nullptr;
    std::unique_ptr<CPublicCall<CImageGuard>> targetCall;
    if (target != nullptr && target != this) {
        targetCall = std::make_unique<CPublicCall<CImageGuard>>(site, kExclusive, target, ImagingAccess::slot(target));
        targetObj = (*targetCall)->image_;
    }
    call.check(call->image_->Scale(targetObj, sx, sy));
}

// ---- ImageProcessor --------------------------------------------------------------------------

ImageProcessor::ImageProcessor() : INode(false), data_(new ImageProcessorData()) {
    const MethodSite site = CORVID2_METHOD(ImageProcessor, ImageProcessor);
    std::unique_ptr<CImageProcessorObj> processor;
    if (CImageProcessorObj::create(processor) != Result::Success) {
        delete data_;
        data_ = nullptr;
        throwRecorded(site, Result::NotAvailable);
    }
    data_->processor_ = processor.release();
    attachNodeSource(*this, data_->processor_);
    registerHolder<CImageProcessorGuard>(site, this, data_);
}

ImageProcessor::~ImageProcessor() {
    unregisterHolder<CImageProcessorGuard>(CORVID2_METHOD(ImageProcessor, ~ImageProcessor), this, &data_,
                                           [this](ImageProcessorData* data) {
                                               attachNodeSource(*this, nullptr);
                                               delete data->processor_;
                                               delete data;
                                           });
}

String ImageProcessor::GetVersion() {
    std::string version;
    callGuarded<CImageProcessorGuard>(CORVID2_METHOD(ImageProcessor, GetVersion), kShared, this, &data_,
                                      [&](ImageProcessorData& data) { return data.processor_->GetVersion(version); });
    return version.c_str();
}

Image* ImageProcessor::CreateImage() { return CreateImage(1, 1, "Mono8", nullptr, 0); }

Image* ImageProcessor::CreateImage(std::uint32_t width, std::uint32_t height, const String& pixelFormat, void* buffer,
                                   std::uint64_t bufferSize) {
    std::unique_ptr<CImageObj> image;
    callGuarded<CImageProcessorGuard>(
        CORVID2_METHOD(ImageProcessor, CreateImage), kShared, this, &data_, [&](ImageProcessorData& data) {
            return data.processor_->CreateImage(width, height, pixelFormat.get(), buffer, bufferSize, &image);
        });
    return ImagingAccess::makeImage(image.release());
}

Image* ImageProcessor::CreateTransformedImage(Image* image, const String& pixelFormat) {
    const MethodSite site = CORVID2_METHOD(ImageProcessor, CreateTransformedImage);
    CPublicCall<CImageProcessorGuard> call(site, kShared, this, &data_);
    if (image == nullptr) failAt(site, Result::InvalidParameter, "missing parameter.");
    CPublicCall<CImageGuard> source(site, kShared, image, ImagingAccess::slot(image));
    std::unique_ptr<CImageObj> result;
    call.check(call->processor_->CreateTransformedImage(source->image_, pixelFormat.get(), &result));
    return ImagingAccess::makeImage(result.release());
}

void ImageProcessor::TransformImageToBuffer(Image* image, const String& pixelFormat, void* buffer,
                                            std::uint64_t bufferSize) {
    const MethodSite site = CORVID2_METHOD(ImageProcessor, TransformImageToBuffer);
    if (image == nullptr)
        ThrowWithText(Result::InvalidParameter, site.file, site.line, site.name,
                      "ImageProcessor; TransformImageToBuffer; invalid input Image object");
    CPublicCall<CImageProcessorGuard> call(site, kExclusive, this, &data_);
    CPublicCall<CImageGuard> source(site, kExclusive, image, ImagingAccess::slot(image));
    const Result code = call->processor_->TransformImageToBuffer(source->image_, pixelFormat.get(), buffer, bufferSize);
    if (code != Result::Success) {
        recordFailure(site, code, "The image was not transformed.");
        throwRecorded(site, Result::Error);
    }
}

void ImageProcessor::GetColorMatrix(double matrix[3][3]) {
    const MethodSite site = CORVID2_METHOD(ImageProcessor, GetColorMatrix);
    CPublicCall<CImageProcessorGuard> call(site, kShared, this, &data_);
    if (matrix == nullptr) failAt(site, Result::InvalidParameter, "missing parameter.");
    for (std::uint32_t row = 0; row < 3; ++row)
        for (std::uint32_t column = 0; column < 3; ++column)
            call.check(call->processor_->GetMatrixElement(IMG_MATRIX_COLOR, row, column, &matrix[row][column]));
}

void ImageProcessor::SetColorMatrix(const double matrix[3][3]) {
    const MethodSite site = CORVID2_METHOD(ImageProcessor, SetColorMatrix);
    CPublicCall<CImageProcessorGuard> call(site, kExclusive, this, &data_);
    if (matrix == nullptr) failAt(site, Result::InvalidParameter, "missing parameter.");
    for (std::uint32_t row = 0; row < 3; ++row)
        for (std::uint32_t column = 0; column < 3; ++column)
            call.check(call->processor_->SetMatrixElement(IMG_MATRIX_COLOR, row, column, matrix[row][column]));
}

}  // namespace CORVID2
