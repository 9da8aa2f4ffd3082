// SPDX-License-Identifier: BSD-3-Clause
// The internal image objects: every call into the library converts its code with the caller's
// class and method, so that a failure names where it happened.
#include "imaging/imageobj.h"

#include <string>
#include <vector>

#include "core/last_error.h"
#include "corvid2/buffer.h"
#include "corvid2/exceptions.h"
#include "trace/trace.h"

namespace corvid2 {
namespace {

constexpr const char* kProcessorClass = "CImageProcessorObj";
constexpr const char* kImageClass = "CImageObj";
constexpr const char* kHistogramClass = "CHistogramObj";
constexpr const char* kTransformClass = "GeoTransformObj";

std::string lastErrorText() {
    std::string text;
    GetLastErrorText(text);
    return text;
}

}  // namespace

// ---- CImageProcessorObj ----------------------------------------------------------------------

Result CImageProcessorObj::create(std::unique_ptr<CImageProcessorObj>& processor) {
    std::shared_ptr<ImageProcessorModule> module;
    Result code = ImageProcessorModule::getInstance(module);
    if (code != Result::Success) return code;
    IImageProcessor* handle = nullptr;
    code = module->ImageProcessorCreate(&handle, kProcessorClass, "ImageProcessorModule::ImageProcessorCreate");
    if (handle == nullptr) return code != Result::Success ? code : Result::Error;
    processor.reset(new CImageProcessorObj(std::move(module), handle));
    // Without its features the processor still converts: the views then show none.
    if (processor->buildNodeMap() != Result::Success)
        traceWarning("%s; CImageProcessorObj::CImageProcessorObj; no feature description", kProcessorClass);
    return code;
}

CImageProcessorObj::CImageProcessorObj(std::shared_ptr<ImageProcessorModule> module, IImageProcessor* processor)
    : CImageModule(std::move(module), processor, "ImageProcessorPort"), processor_(processor) {
    traceInfo("%s; %s called", kProcessorClass, "CImageProcessorObj::CImageProcessorObj");
}

CImageProcessorObj::~CImageProcessorObj() {
    releaseNodeMap();
    module_->ImageProcessorRelease(processor_, kProcessorClass, "CImageProcessorObj::~CImageProcessorObj");
}

Result CImageProcessorObj::GetVersion(std::string& version) {
    return module_->GetVersion(version, kProcessorClass, "CImageProcessorObj::GetVersion");
}

Result CImageProcessorObj::CreateImage(std::uint32_t width, std::uint32_t height, const char* pixelFormat, void* buffer,
                                       std::uint64_t bufferSize, std::unique_ptr<CImageObj>* image) {
    if (width < 1 || height < 1 || pixelFormat == nullptr || std::string(pixelFormat).size() < 2 || image == nullptr)
        return SetLastError(Result::InvalidParameter, kProcessorClass, "CImageProcessorObj::CreateImage",
                            "Could not create an image object because one or more parameter are out of range.");
    IImage* created = nullptr;
    const IMG_RESULT_CODES code = module_->ImageCreate(width, height, pixelFormat, buffer, bufferSize, &created);
    if (code != IMG_SUCCESS || created == nullptr) {
        SetLastError(fromCode(code), kImageClass, "CImageObj::Create", "%s failed", "CreateImage");
        return code == IMG_INVALID_PARAMETER ? Result::InvalidParameter : Result::Error;
    }
    image->reset(new CImageObj(module_, created));
    return Result::Success;
}

Result CImageProcessorObj::CreateTransformedImage(CImageObj* source, const char* pixelFormat,
                                                  std::unique_ptr<CImageObj>* image) {
    if (source == nullptr || pixelFormat == nullptr || image == nullptr)
        return SetLastError(Result::InvalidParameter, kProcessorClass, "CImageProcessorObj::CreateTransformedImage",
                            "missing parameter.");
    IImage* created = nullptr;
    const IMG_RESULT_CODES code = processor_->TransformImage(source->handle(), pixelFormat, &created);
    if (code != IMG_SUCCESS || created == nullptr) {
        SetLastError(fromCode(code), kProcessorClass, "CImageProcessorObj::CreateTransformedImage", "%s failed: %d",
                     "CImageProcessorObj::CreateTransformedImage", code);
        // An unknown target and an impossible conversion are both the caller's choice of format.
        return code == IMG_INVALID_PARAMETER || code == IMG_UNSUPPORTED_CONVERSION ? Result::InvalidParameter
                                                                                   : Result::Error;
    }
    image->reset(new CImageObj(module_, created));
    return Result::Success;
}

Result CImageProcessorObj::TransformImageToBuffer(CImageObj* source, const char* pixelFormat, void* buffer,
                                                  std::uint64_t bufferSize) {
    if (source == nullptr)
        return SetLastError(Result::InvalidParameter, kProcessorClass, "CImageProcessorObj::TransformImageToBuffer",
                            "missing parameter.");
    const IMG_RESULT_CODES code = processor_->TransformImageToBuffer(source->handle(), pixelFormat, buffer, bufferSize);
    if (code == IMG_SUCCESS) return Result::Success;
    SetLastError(fromCode(code), kProcessorClass, "CImageProcessorObj::TransformImageToBuffer", "%s failed: %d",
                 "CImageProcessorObj::TransformImageToBuffer", code);
    return code == IMG_INVALID_PARAMETER ? Result::InvalidParameter : Result::Error;
}

Result CImageProcessorObj::GetMatrixElement(std::uint32_t kind, std::uint32_t row, std::uint32_t column,
                                            double* value) {
    return ImgResultToCode(processor_->GetMatrixElement(kind, row, column, value), kProcessorClass,
                           "CImageProcessorObj::GetMatrixElement", "GetMatrixElement");
}

Result CImageProcessorObj::SetMatrixElement(std::uint32_t kind, std::uint32_t row, std::uint32_t column, double value) {
    return ImgResultToCode(processor_->SetMatrixElement(kind, row, column, value), kProcessorClass,
                           "CImageProcessorObj::SetMatrixElement", "SetMatrixElement");
}

// ---- CImageObj -------------------------------------------------------------------------------

namespace {
void* portHandleOf(IImage* image) {
    void* handle = nullptr;
    if (image != nullptr && image->GetPortHandle(&handle) != IMG_SUCCESS) handle = nullptr;
    return handle;
}
}  // namespace

CImageObj::CImageObj(std::shared_ptr<ImageProcessorModule> module, IImage* image)
    : CImageModule(std::move(module), portHandleOf(image), "ImagePort"), image_(image) {
    traceInfo("%s; %s called", kImageClass, "CImageObj::CImageObj");
    if (buildNodeMap() != Result::Success)
        traceWarning("%s; CImageObj::CImageObj; no feature description", kImageClass);
}

CImageObj::~CImageObj() {
    traceInfo("%s; %s called", kImageClass, "CImageObj::~CImageObj");
    releaseNodeMap();
    module_->ImageRelease(image_, kImageClass, "CImageObj::~CImageObj");
}

Result CImageObj::Init(std::uint32_t width, std::uint32_t height, const char* pixelFormat, void* buffer,
                       std::uint64_t bufferSize) {
    return ImgResultToCode(image_->Init(pixelFormat, width, height, buffer, bufferSize), kImageClass, "CImageObj::Init",
                           "Init");
}

Result CImageObj::CheckImagePresent(CORVID2::Buffer* buffer) {
    constexpr const char* kMethod = "CImageObj::CheckImagePresent";
    // The buffer's own failure is already the thread's last error; it is kept, under our code.
    try {
        if (buffer->GetIsIncomplete()) return SetLastError(Result::Error, kImageClass, kMethod, "buffer is incomplete");
        if (!buffer->GetImagePresent())
            return SetLastError(Result::Error, kImageClass, kMethod, "buffer doesn't contain image data");
    } catch (const CORVID2::Exceptions::IException&) {
        return SetLastError(Result::Error, kImageClass, kMethod, "%s", lastErrorText().c_str());
    }
    return Result::Success;
}

Result CImageObj::Init(CORVID2::Buffer* buffer) {
    constexpr const char* kMethod = "CImageObj::Init";
    if (buffer == nullptr)
        return SetLastError(Result::InvalidParameter, kImageClass, kMethod, "buffer parameter is missing");
    Result code = CheckImagePresent(buffer);
    if (code != Result::Success) return code;
    const std::string name = buffer->GetID().get();
    std::uint64_t length = 0, offset = 0, width = 0, height = 0;
    std::string pixelFormat;
    void* memory = nullptr;
    const char* step = "GetImageLength";
    try {
        length = buffer->GetImageLength();
        step = "GetImageOffset";
        offset = buffer->GetImageOffset();
        step = "GetPixelFormat";
        pixelFormat = buffer->GetPixelFormat().get();
        width = buffer->GetWidth();
        height = buffer->GetHeight();
        step = "GetMemPtr";
        memory = buffer->GetMemPtr(buffer->GetSegmentIndex());
    } catch (const CORVID2::Exceptions::IException&) {
        std::string text;
        Result failed = Result::Error;
        GetLastErrorText(text, &failed);
        return SetLastError(Result::Error, kImageClass, kMethod, "%s %s(): %u %s", name.c_str(), step,
                            static_cast<unsigned>(toCode(failed)), text.c_str());
    }
    return Init(static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height), pixelFormat.c_str(),
                static_cast<std::uint8_t*>(memory) + offset, length);
}

Result CImageObj::GetWidth(std::uint32_t* width) const {
    return ImgResultToCode(image_->GetWidth(width), kImageClass, "CImageObj::GetWidth", "GetWidth");
}

Result CImageObj::GetHeight(std::uint32_t* height) const {
    return ImgResultToCode(image_->GetHeight(height), kImageClass, "CImageObj::GetHeight", "GetHeight");
}

Result CImageObj::GetLength(std::uint64_t* length) const {
    return ImgResultToCode(image_->GetLength(length), kImageClass, "CImageObj::GetLength", "GetLength");
}

Result CImageObj::GetPixelFormat(std::string& name) const {
    std::uint64_t size = 0;
    IMG_RESULT_CODES code = image_->GetPixelFormat(nullptr, &size);
    if (code == IMG_SUCCESS) {
        std::vector<char> text(size + 1, '\0');
        code = image_->GetPixelFormat(text.data(), &size);
        if (code == IMG_SUCCESS) name = text.data();
    }
    return ImgResultToCode(code, kImageClass, "CImageObj::GetPixelFormat", "GetPixelFormat");
}

Result CImageObj::GetBuffer(void** buffer) const {
    return ImgResultToCode(image_->GetBuffer(buffer), kImageClass, "CImageObj::GetBuffer", "GetBuffer");
}

Result CImageObj::GetTransformedBufferSize(const char* pixelFormat, std::uint64_t* length) const {
    return ImgResultToCode(image_->GetTransformedBufferSize(pixelFormat, length), kImageClass,
                           "CImageObj::GetTransformedBufferSize", "GetTransformedBufferSize");
}

Result CImageObj::GetHistogram(qx_tHistRecords records, std::uint64_t offsetX, std::uint64_t offsetY,
                               std::uint64_t width, std::uint64_t height) {
    return module_->ImageGetHistogram(image_, records, offsetX, offsetY, width, height, kImageClass,
                                      "CImageObj::GetHistogram");
}

Result CImageObj::Scale(CImageObj* target, double sx, double sy) {
    constexpr const char* kMethod = "CImageObj::Scale";
    if (!(sx >= 0.5 && sx <= 2.0 && sy >= 0.5 && sy <= 2.0))
        return SetLastError(Result::InvalidParameter, kImageClass, kMethod, "sx or sy out of range");
    std::unique_ptr<GeoTransformObj> transform;
    Result code = GeoTransformObj::create(module_, transform);
    if (code != Result::Success) return code;
    code = transform->SetScale(sx, sy);
    if (code != Result::Success) return code;
    return transform->Process(*this, target != nullptr ? *target : *this);
}

// ---- CHistogramObj ---------------------------------------------------------------------------

Result CHistogramObj::create(std::shared_ptr<ImageProcessorModule> module, std::unique_ptr<CHistogramObj>& histogram) {
    IHistogram* handle = nullptr;
    const Result code = module->HistogramCreate(&handle, kHistogramClass, "CHistogramObj::create");
    if (code != Result::Success) return code;
    histogram.reset(new CHistogramObj(std::move(module), handle));
    return Result::Success;
}

CHistogramObj::~CHistogramObj() {
    module_->HistogramRelease(histogram_, kHistogramClass, "CHistogramObj::~CHistogramObj");
}

#define CORVID2_HISTOGRAM_CALL(Method, call) \
    ImgResultToCode(histogram_->call, kHistogramClass, "CHistogramObj::" #Method, #Method)

Result CHistogramObj::Initialize() { return CORVID2_HISTOGRAM_CALL(Initialize, Initialize()); }
Result CHistogramObj::SetNormalizedRange(double low, double high) {
    return CORVID2_HISTOGRAM_CALL(SetNormalizedRange, SetNormalizedRange(low, high));
}
Result CHistogramObj::Fill(CImageObj& image, std::uint32_t flags) {
    return CORVID2_HISTOGRAM_CALL(Fill, Fill(image.handle(), flags));
}
Result CHistogramObj::GetAverage(double* average) { return CORVID2_HISTOGRAM_CALL(GetAverage, GetAverage(average)); }
Result CHistogramObj::GetAverageInRange(double* average) {
    return CORVID2_HISTOGRAM_CALL(GetAverageInRange, GetAverageInRange(average));
}
Result CHistogramObj::GetCountInRange(std::uint64_t* count) {
    return CORVID2_HISTOGRAM_CALL(GetCountInRange, GetCountInRange(count));
}
Result CHistogramObj::GetCountOver(std::uint64_t* count) {
    return CORVID2_HISTOGRAM_CALL(GetCountOver, GetCountOver(count));
}
Result CHistogramObj::GetCountUnder(std::uint64_t* count) {
    return CORVID2_HISTOGRAM_CALL(GetCountUnder, GetCountUnder(count));
}
Result CHistogramObj::GetCountTotal(std::uint64_t* count) {
    return CORVID2_HISTOGRAM_CALL(GetCountTotal, GetCountTotal(count));
}
Result CHistogramObj::SetChannelIndex(std::uint32_t channel) {
    return CORVID2_HISTOGRAM_CALL(SetChannelIndex, SetChannelIndex(channel));
}
Result CHistogramObj::GetChannelIndex(std::uint32_t* channel) {
    return CORVID2_HISTOGRAM_CALL(GetChannelIndex, GetChannelIndex(channel));
}
Result CHistogramObj::SetChannelWeight(std::uint32_t channel, double weight) {
    return CORVID2_HISTOGRAM_CALL(SetChannelWeight, SetChannelWeight(channel, weight));
}
Result CHistogramObj::GetChannelWeight(std::uint32_t channel, double* weight) {
    return CORVID2_HISTOGRAM_CALL(GetChannelWeight, GetChannelWeight(channel, weight));
}

#undef CORVID2_HISTOGRAM_CALL

// ---- GeoTransformObj -------------------------------------------------------------------------

Result GeoTransformObj::create(std::shared_ptr<ImageProcessorModule> module,
                               std::unique_ptr<GeoTransformObj>& transform) {
    IGeoTransform* handle = nullptr;
    const Result code = module->GeoTransformCreate(&handle, kTransformClass, "GeoTransformObj::create");
    if (code != Result::Success) return code;
    transform.reset(new GeoTransformObj(std::move(module), handle));
    return Result::Success;
}

GeoTransformObj::~GeoTransformObj() {
    module_->GeoTransformRelease(transform_, kTransformClass, "GeoTransformObj::~GeoTransformObj");
}

Result GeoTransformObj::SetScale(double sx, double sy) {
    return ImgResultToCode(transform_->SetScale(sx, sy, 0.0), kTransformClass, "GeoTransformObj::SetScale", "SetScale");
}

Result GeoTransformObj::Process(CImageObj& source, CImageObj& target) {
    return ImgResultToCode(transform_->Process(source.handle(), target.handle()), kTransformClass,
                           "GeoTransformObj::Process", "Process");
}

}  // namespace corvid2
