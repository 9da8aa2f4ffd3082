// SPDX-License-Identifier: BSD-3-Clause
// The exported functions of corvid2_img: argument checks, object creation and release, and the port functions.
#include <memory>
#include <mutex>

#include "corvid2_img/corvid2_img.h"
#include "geo_transform.h"
#include "guarded_call.h"
#include "histogram.h"
#include "image.h"
#include "image_processor.h"
#include "library_version.h"
#include "object_registry.h"
#include "thread_pool.h"

using namespace corvid2::img;

namespace {

std::mutex gInitMutex;
unsigned gInitCount = 0;  // guarded by gInitMutex

// Creates an object of a kind that the registry learns about here (histograms, transforms).
template <class Object, class Interface>
IMG_RESULT_CODES createTracked(Interface** out, ObjectKind kind) {
    if (out == nullptr) return IMG_INVALID_PARAMETER;
    return guardedCall([&] {
        auto object = std::make_unique<Object>();
        Interface* handle = object.get();
        CObjectRegistry::add(handle, kind);
        *out = object.release();
        return IMG_SUCCESS;
    });
}

template <class Object, class Interface>
IMG_RESULT_CODES releaseTracked(Interface* handle, ObjectKind kind) {
    if (!CObjectRegistry::contains(handle, kind)) return IMG_INVALID_PARAMETER;
    CObjectRegistry::remove(handle);
    delete static_cast<Object*>(handle);
    return IMG_SUCCESS;
}

}  // namespace

extern "C" {

IMG_RESULT_CODES InitLib() {
    std::lock_guard<std::mutex> lock(gInitMutex);
    ++gInitCount;
    return IMG_SUCCESS;
}

IMG_RESULT_CODES DeinitLib() {
    std::lock_guard<std::mutex> lock(gInitMutex);
    if (gInitCount > 0) --gInitCount;
    if (gInitCount == 0) CThreadPool::instance().stop();
    return IMG_SUCCESS;
}

IMG_RESULT_CODES GetImgProcVersion(char* text, uint64_t* size) {
    return guardedCall([&] { return copyText(libraryVersion(), text, size); });
}

IMG_RESULT_CODES ImageProcessorCreate(IImageProcessor** processor) {
    if (processor == nullptr) return IMG_INVALID_PARAMETER;
    return guardedCall([&] {
        *processor = new CImageProcessor();  // registers itself
        return IMG_SUCCESS;
    });
}

IMG_RESULT_CODES ImageProcessorRelease(IImageProcessor* processor) {
    CImageProcessor* object = CImageProcessor::fromInterface(processor);
    if (object == nullptr) return IMG_INVALID_PARAMETER;
    delete object;
    return IMG_SUCCESS;
}

IMG_RESULT_CODES ImageCreate(uint32_t width, uint32_t height, const char* pixelFormat, void* buffer,
                             uint64_t bufferSize, IImage** image) {
    if (image == nullptr) return IMG_INVALID_PARAMETER;
    return guardedCall([&] {
        auto created = std::make_unique<CImage>();
        const IMG_RESULT_CODES result = created->Init(pixelFormat, width, height, buffer, bufferSize);
        if (result != IMG_SUCCESS) return result;
        *image = created.release();
        return IMG_SUCCESS;
    });
}

IMG_RESULT_CODES ImageRelease(IImage* image) {
    CImage* object = CImage::fromInterface(image);
    if (object == nullptr) return IMG_INVALID_PARAMETER;
    delete object;
    return IMG_SUCCESS;
}

IMG_RESULT_CODES ImageGetHistogram(IImage* image, qx_tHistRecords records, uint64_t offsetX, uint64_t offsetY,
                                   uint64_t width, uint64_t height) {
    const CImage* object = CImage::fromInterface(image);
    if (object == nullptr) return IMG_INVALID_PARAMETER;
    return guardedCall([&] {
        return fillHistogramRecords(object->view(), records, offsetX, offsetY, width, height, defaultConcurrency());
    });
}

IMG_RESULT_CODES HistogramCreate(IHistogram** histogram) {
    return createTracked<CHistogram>(histogram, ObjectKind::Histogram);
}

IMG_RESULT_CODES HistogramRelease(IHistogram* histogram) {
    return releaseTracked<CHistogram>(histogram, ObjectKind::Histogram);
}

IMG_RESULT_CODES GeoTransformCreate(IGeoTransform** transform) {
    return createTracked<CGeoTransform>(transform, ObjectKind::GeoTransform);
}

IMG_RESULT_CODES GeoTransformRelease(IGeoTransform* transform) {
    return releaseTracked<CGeoTransform>(transform, ObjectKind::GeoTransform);
}

IMG_RESULT_CODES GetPortURL(void* port, char* url, uint64_t* size) {
    return guardedCall([&] { return CObjectRegistry::portUrl(port, url, size); });
}

IMG_RESULT_CODES ReadPort(void* port, uint64_t address, void* buffer, uint64_t* length) {
    return guardedCall([&] { return CObjectRegistry::readPort(port, address, buffer, length); });
}

IMG_RESULT_CODES WritePort(void* port, uint64_t address, const void* buffer, const uint64_t* length) {
    return guardedCall([&] { return CObjectRegistry::writePort(port, address, buffer, length); });
}

}  // extern "C"
