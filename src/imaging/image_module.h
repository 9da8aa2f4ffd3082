// SPDX-License-Identifier: BSD-3-Clause
// The loaded image-processing library: one module per process while any image object lives, the
// conversion of its result codes, and the port through which its feature descriptions are read.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "core/result_codes.h"
#include "corvid2_img/corvid2_img.h"
#include "features/genapi_port.h"
#include "features/igenapi.h"
#include "platform/platform.h"

namespace corvid2 {

// 0 gives Success; any other code records "<function> failed: <code>" with the library's own code
// as the last-error code and gives InvalidParameter for IMG_INVALID_PARAMETER, Error otherwise.
Result ImgResultToCode(std::int32_t imgCode, const char* className, const char* methodName, const char* functionName);

// The three port functions of the library, with their own hold on the loaded file.
class CImagePort {
public:
    CImagePort(std::shared_ptr<platform::SharedLibrary> library, PGetPortURL getPortUrl, PReadPort readPort,
               PWritePort writePort)
        : library_(std::move(library)), getPortUrl_(getPortUrl), readPort_(readPort), writePort_(writePort) {}

    IMG_RESULT_CODES GetPortURL(void* port, char* url, std::uint64_t* size) const {
        return getPortUrl_(port, url, size);
    }
    IMG_RESULT_CODES ReadPort(void* port, std::uint64_t address, void* buffer, std::uint64_t* length) const {
        return readPort_(port, address, buffer, length);
    }
    IMG_RESULT_CODES WritePort(void* port, std::uint64_t address, const void* buffer,
                               const std::uint64_t* length) const {
        return writePort_(port, address, buffer, length);
    }

private:
    std::shared_ptr<platform::SharedLibrary> library_;
    PGetPortURL getPortUrl_;
    PReadPort readPort_;
    PWritePort writePort_;
};

// The loaded corvid2_img. Everything that holds an object of the library holds a reference to the
// module, so the library is unloaded (after DeinitLib) only once the last of them is gone, and
// loaded again by the next getInstance.
class ImageProcessorModule {
public:
    // The live module, or a newly loaded one. On failure (file missing or not loadable, a function
    // missing) the failure is recorded as the thread's last error (Error) and `module` stays empty.
    // Serialised by a process-wide mutex.
    static Result getInstance(std::shared_ptr<ImageProcessorModule>& module);

    // Where the library is looked for: the folder of the file that holds this code, unless a path
    // was set; only that one path is tried. The set path is for programs that link the library's
    // code statically (its tests) and takes effect at the next load.
    static std::filesystem::path libraryPath();
    static void setLibraryPath(const std::optional<std::filesystem::path>& path);

    ~ImageProcessorModule();
    ImageProcessorModule(const ImageProcessorModule&) = delete;
    ImageProcessorModule& operator=(const ImageProcessorModule&) = delete;

    // One forwarding operation per function of the library; `className` and `methodName` name the
    // caller in the recorded failure.
    Result GetVersion(std::string& version, const char* className, const char* methodName);
    Result ImageProcessorCreate(IImageProcessor** processor, const char* className, const char* methodName);
    Result ImageProcessorRelease(IImageProcessor* processor, const char* className, const char* methodName);
    // The raw code: image creation records its failure in its own words.
    IMG_RESULT_CODES ImageCreate(std::uint32_t width, std::uint32_t height, const char* pixelFormat, void* buffer,
                                 std::uint64_t bufferSize, IImage** image);
    Result ImageRelease(IImage* image, const char* className, const char* methodName);
    Result ImageGetHistogram(IImage* image, qx_tHistRecords records, std::uint64_t offsetX, std::uint64_t offsetY,
                             std::uint64_t width, std::uint64_t height, const char* className, const char* methodName);
    Result HistogramCreate(IHistogram** histogram, const char* className, const char* methodName);
    Result HistogramRelease(IHistogram* histogram, const char* className, const char* methodName);
    Result GeoTransformCreate(IGeoTransform** transform, const char* className, const char* methodName);
    Result GeoTransformRelease(IGeoTransform* transform, const char* className, const char* methodName);

    CImagePort* port() const { return port_.get(); }

private:
    ImageProcessorModule() = default;
    // Loads the file and resolves every function; the module is usable only when this succeeds.
    Result load(const std::filesystem::path& path);

    std::shared_ptr<platform::SharedLibrary> library_;
    PInitLib initLib_ = nullptr;
    PDeinitLib deinitLib_ = nullptr;
    PGetImgProcVersion getImgProcVersion_ = nullptr;
    PImageProcessorCreate imageProcessorCreate_ = nullptr;
    PImageProcessorRelease imageProcessorRelease_ = nullptr;
    PImageCreate imageCreate_ = nullptr;
    PImageRelease imageRelease_ = nullptr;
    PImageGetHistogram imageGetHistogram_ = nullptr;
    PHistogramCreate histogramCreate_ = nullptr;
    PHistogramRelease histogramRelease_ = nullptr;
    PGeoTransformCreate geoTransformCreate_ = nullptr;
    PGeoTransformRelease geoTransformRelease_ = nullptr;
    std::unique_ptr<CImagePort> port_;
    bool initialised_ = false;
};

// The GenApi side of an image object: a node map over the description that the library serves
// through its port for the object's handle. Read and Write are serialised by the object's port
// mutex (a leaf: GenApi's map lock may be held when it is taken, never the other way round).
class CImageModule : public IGenAPI, public IGenAPIPort {
public:
    CImageModule(std::shared_ptr<ImageProcessorModule> module, void* portHandle, const char* portName);
    ~CImageModule() override;

    // Loads the description from the port and connects the new map to this port under the
    // object's port name. NotAvailable without port or handle; Error when the description cannot
    // be read or does not make a map (the text of the cause is the last error).
    Result buildNodeMap();

    // The GenApi port: the text of the failure's code, null on success.
    const char* portRead(void* buffer, std::int64_t address, std::int64_t length, const void* owner) override;
    const char* portWrite(const void* buffer, std::int64_t address, std::int64_t length, const void* owner) override;

    // NotAvailable without port, else the description's location "Local:<file>;<address>;<length>".
    Result portUrl(std::string& url);
    // Error without image port, NotInitialized without handle, InvalidParameter for a null buffer
    // or length; on success `length` is what the library delivered.
    Result Read(std::uint64_t address, void* buffer, std::uint64_t* length);
    Result Write(std::uint64_t address, const void* buffer, std::uint64_t* length);

    const std::string& portName() const { return portName_; }
    ImageProcessorModule& module() const { return *module_; }
    const std::shared_ptr<ImageProcessorModule>& moduleRef() const { return module_; }

protected:
    std::shared_ptr<ImageProcessorModule> module_;

private:
    CImagePort* port_;
    void* portHandle_;
    std::mutex portMutex_;  // leaf
    std::string portName_;
};

}  // namespace corvid2
