// SPDX-License-Identifier: BSD-3-Clause
// Loading corvid2_img beside the library, its singleton lifetime and the forwarding of its functions.
#include "imaging/image_module.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/last_error.h"
#include "features/genapi_node.h"
#include "features/xml_loader.h"
#include "trace/trace.h"

namespace corvid2 {
namespace {

#if defined(_WIN32)
constexpr const char* kLibraryExtension = ".dll";
#else
constexpr const char* kLibraryExtension = ".so";
#endif

constexpr const char* kModuleClass = "ImageProcessorModule";

std::mutex& instanceMutex() {
    static std::mutex mutex;
    return mutex;
}

// Guarded by instanceMutex().
std::weak_ptr<ImageProcessorModule>& instanceSlot() {
    static std::weak_ptr<ImageProcessorModule> slot;
    return slot;
}

std::optional<std::filesystem::path>& pathOverride() {
    static std::optional<std::filesystem::path> path;
    return path;
}

template <class Function>
bool resolve(const platform::SharedLibrary& library, const char* name, Function& function) {
    function = reinterpret_cast<Function>(library.symbol(name));
    return function != nullptr;
}

}  // namespace

Result ImgResultToCode(std::int32_t imgCode, const char* className, const char* methodName, const char* functionName) {
    if (imgCode == IMG_SUCCESS) return Result::Success;
    // The library's own code is what a caller of GetLastError needs to tell its failures apart.
    SetLastError(fromCode(imgCode), className, methodName, "%s failed: %d", functionName, imgCode);
    return imgCode == IMG_INVALID_PARAMETER ? Result::InvalidParameter : Result::Error;
}

std::filesystem::path ImageProcessorModule::libraryPath() {
    std::lock_guard<std::mutex> lock(instanceMutex());
    if (pathOverride()) return *pathOverride();
    return platform::ownLibraryLocation().parent_path() / (std::string(CORVID2_IMG_LIBRARY_NAME) + kLibraryExtension);
}

void ImageProcessorModule::setLibraryPath(const std::optional<std::filesystem::path>& path) {
    std::lock_guard<std::mutex> lock(instanceMutex());
    pathOverride() = path;
}

Result ImageProcessorModule::getInstance(std::shared_ptr<ImageProcessorModule>& module) {
    const std::filesystem::path path = libraryPath();
    std::lock_guard<std::mutex> lock(instanceMutex());
    module = instanceSlot().lock();
    if (module) return Result::Success;
    std::shared_ptr<ImageProcessorModule> loaded(new ImageProcessorModule());
    const Result code = loaded->load(path);
    if (code != Result::Success) return code;
    instanceSlot() = loaded;
    module = std::move(loaded);
    return Result::Success;
}

Result ImageProcessorModule::load(const std::filesystem::path& path) {
    library_ = std::make_shared<platform::SharedLibrary>();
    std::string error;
    if (!library_->load(path, error)) {
        traceError("%s; LoadLibrary failed: %s", kModuleClass, error.c_str());
        return SetLastError(Result::Error, kModuleClass, kModuleClass, "LoadLibrary failed");
    }
    const platform::SharedLibrary& lib = *library_;
    // Group by group, so that the message names the part of the interface that is missing.
    const char* missing = nullptr;
    if (!resolve(lib, "InitLib", initLib_) || !resolve(lib, "DeinitLib", deinitLib_) ||
        !resolve(lib, "GetImgProcVersion", getImgProcVersion_))
        missing = "Base";
    else if (!resolve(lib, "ImageProcessorCreate", imageProcessorCreate_) ||
             !resolve(lib, "ImageProcessorRelease", imageProcessorRelease_))
        missing = "ImageProcessor";
    else if (!resolve(lib, "ImageCreate", imageCreate_) || !resolve(lib, "ImageRelease", imageRelease_) ||
             !resolve(lib, "ImageGetHistogram", imageGetHistogram_))
        missing = "Image";
    else if (!resolve(lib, "HistogramCreate", histogramCreate_) || !resolve(lib, "HistogramRelease", histogramRelease_))
        missing = "Histogram";
    else if (!resolve(lib, "GeoTransformCreate", geoTransformCreate_) ||
             !resolve(lib, "GeoTransformRelease", geoTransformRelease_))
        missing = "GeoTransform";
    if (missing == nullptr) {
        PGetPortURL getPortUrl = nullptr;
        PReadPort readPort = nullptr;
        PWritePort writePort = nullptr;
        if (resolve(lib, "ReadPort", readPort) && resolve(lib, "WritePort", writePort) &&
            resolve(lib, "GetPortURL", getPortUrl))
            port_ = std::make_unique<CImagePort>(library_, getPortUrl, readPort, writePort);
        else
            missing = "ImagePort";
    }
    if (missing != nullptr)
        return SetLastError(Result::Error, kModuleClass, kModuleClass, "%s interface invalid", missing);
    initLib_();
    initialised_ = true;
    return Result::Success;
}

ImageProcessorModule::~ImageProcessorModule() {
    if (!initialised_) return;
    traceInfo("%s; %s called", kModuleClass, "ImageProcessorModule::~ImageProcessorModule");
    deinitLib_();
    port_.reset();
    library_.reset();
}

Result ImageProcessorModule::GetVersion(std::string& version, const char* className, const char* methodName) {
    std::uint64_t size = 0;
    IMG_RESULT_CODES code = getImgProcVersion_(nullptr, &size);
    if (code == IMG_SUCCESS) {
        std::vector<char> text(size + 1, '\0');
        code = getImgProcVersion_(text.data(), &size);
        if (code == IMG_SUCCESS) version = text.data();
    }
    return ImgResultToCode(code, className, methodName, "GetImgProcVersion");
}

Result ImageProcessorModule::ImageProcessorCreate(IImageProcessor** processor, const char* className,
                                                  const char* methodName) {
    return ImgResultToCode(imageProcessorCreate_(processor), className, methodName, "CreateImgProcessorHandle");
}

Result ImageProcessorModule::ImageProcessorRelease(IImageProcessor* processor, const char* className,
                                                   const char* methodName) {
    return ImgResultToCode(imageProcessorRelease_(processor), className, methodName, "ReleaseImgProcessorHandle");
}

IMG_RESULT_CODES ImageProcessorModule::ImageCreate(std::uint32_t width, std::uint32_t height, const char* pixelFormat,
                                                   void* buffer, std::uint64_t bufferSize, IImage** image) {
    return imageCreate_(width, height, pixelFormat, buffer, bufferSize, image);
}

Result ImageProcessorModule::ImageRelease(IImage* image, const char* className, const char* methodName) {
    return ImgResultToCode(imageRelease_(image), className, methodName, "ReleaseImage");
}

Result ImageProcessorModule::ImageGetHistogram(IImage* image, qx_tHistRecords records, std::uint64_t offsetX,
                                               std::uint64_t offsetY, std::uint64_t width, std::uint64_t height,
                                               const char* className, const char* methodName) {
    return ImgResultToCode(imageGetHistogram_(image, records, offsetX, offsetY, width, height), className, methodName,
                           "ImageGetHistogram");
}

Result ImageProcessorModule::HistogramCreate(IHistogram** histogram, const char* className, const char* methodName) {
    return ImgResultToCode(histogramCreate_(histogram), className, methodName, "HistogramCreate");
}

Result ImageProcessorModule::HistogramRelease(IHistogram* histogram, const char* className, const char* methodName) {
    return ImgResultToCode(histogramRelease_(histogram), className, methodName, "HistogramRelease");
}

Result ImageProcessorModule::GeoTransformCreate(IGeoTransform** transform, const char* className,
                                                const char* methodName) {
    return ImgResultToCode(geoTransformCreate_(transform), className, methodName, "GeoTransformCreate");
}

Result ImageProcessorModule::GeoTransformRelease(IGeoTransform* transform, const char* className,
                                                 const char* methodName) {
    return ImgResultToCode(geoTransformRelease_(transform), className, methodName, "GeoTransformRelease");
}

// ---- CImageModule ----------------------------------------------------------------------------

CImageModule::CImageModule(std::shared_ptr<ImageProcessorModule> module, void* portHandle, const char* portName)
    : module_(std::move(module)),
      port_(module_ ? module_->port() : nullptr),
      portHandle_(portHandle),
      portName_(portName) {}

CImageModule::~CImageModule() = default;

Result CImageModule::portUrl(std::string& url) {
    if (port_ == nullptr || portHandle_ == nullptr)
        return SetLastError(Result::NotAvailable, "CImageModule", "CImageModule::portUrl", "image port not available");
    std::lock_guard<std::mutex> lock(portMutex_);
    std::uint64_t size = 0;
    IMG_RESULT_CODES code = port_->GetPortURL(portHandle_, nullptr, &size);
    if (code == IMG_SUCCESS) {
        std::vector<char> text(size + 1, '\0');
        code = port_->GetPortURL(portHandle_, text.data(), &size);
        if (code == IMG_SUCCESS) url = text.data();
    }
    return ImgResultToCode(code, "CImageModule", "CImageModule::portUrl", "GetPortURL");
}

Result CImageModule::buildNodeMap() {
    constexpr const char* kMethod = "CImageModule::buildNodeMap";
    std::string url;
    Result code = portUrl(url);
    if (code != Result::Success) return code;
    const std::optional<DescriptionLocation> location = parseDescriptionLocation(url);
    if (!location || location->scheme != DescriptionLocation::Scheme::Local || location->zipped)
        return SetLastError(Result::Error, "CImageModule", kMethod, "unusable description location %s", url.c_str());
    std::string text(location->length, '\0');
    std::uint64_t length = location->length;
    code = Read(location->address, text.data(), &length);
    if (code != Result::Success) return SetLastError(code, "CImageModule", kMethod, "reading the description failed");
    text.resize(std::min<std::uint64_t>(length, text.size()));
    // A description padded with NULs up to its register length ends at the first of them.
    text.resize(std::strlen(text.c_str()));
    try {
        setXMLAndConnect(text, this, portName_);
    } catch (const CGenAPIException& error) {
        return SetLastError(Result::Error, "CImageModule", kMethod, "%s", error.description().c_str());
    }
    return Result::Success;
}

const char* CImageModule::portRead(void* buffer, std::int64_t address, std::int64_t length, const void*) {
    std::uint64_t size = static_cast<std::uint64_t>(length);
    return ErrorCodeDescription(Read(static_cast<std::uint64_t>(address), buffer, &size), true);
}

const char* CImageModule::portWrite(const void* buffer, std::int64_t address, std::int64_t length, const void*) {
    std::uint64_t size = static_cast<std::uint64_t>(length);
    return ErrorCodeDescription(Write(static_cast<std::uint64_t>(address), buffer, &size), true);
}

Result CImageModule::Read(std::uint64_t address, void* buffer, std::uint64_t* length) {
    if (port_ == nullptr) return Result::Error;
    if (portHandle_ == nullptr) return Result::NotInitialized;
    if (buffer == nullptr || length == nullptr) return Result::InvalidParameter;
    std::lock_guard<std::mutex> lock(portMutex_);
    std::uint64_t delivered = *length;
    if (port_->ReadPort(portHandle_, address, buffer, &delivered) != IMG_SUCCESS) return Result::Error;
    *length = delivered;
    return Result::Success;
}

Result CImageModule::Write(std::uint64_t address, const void* buffer, std::uint64_t* length) {
    if (port_ == nullptr) return Result::Error;
    if (portHandle_ == nullptr) return Result::NotInitialized;
    if (buffer == nullptr || length == nullptr) return Result::InvalidParameter;
    std::lock_guard<std::mutex> lock(portMutex_);
    const std::uint64_t written = *length;
    if (port_->WritePort(portHandle_, address, buffer, &written) != IMG_SUCCESS) return Result::Error;
    return Result::Success;
}

}  // namespace corvid2
