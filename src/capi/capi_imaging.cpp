// SPDX-License-Identifier: BSD-3-Clause
// The flat interface's image processors, images and polarizers.
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

#include "capi/capi_string.h"
#include "core/last_error.h"
#include "corvid2_genicam_c.h"
#include "imaging/imageobj.h"
#include "imaging/polarizerobj.h"
#include "trace/trace.h"

using namespace corvid2;

namespace {

// The objects the flat interface handed out, by handle. Only these are taken back, so a stale or
// foreign handle is refused instead of followed; an operation on one runs under the lock, so that
// a release on another thread cannot pull it away meanwhile.
template <class Object>
class HandedOut {
public:
    void* add(std::unique_ptr<Object> object) {
        std::lock_guard<std::mutex> lock(mutex_);
        Object* handle = object.get();
        objects_.emplace(handle, std::move(object));
        return handle;
    }
    CORVID2_RESULT release(void* handle) {
        std::unique_ptr<Object> gone;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            const auto it = objects_.find(static_cast<Object*>(handle));
            if (it == objects_.end()) return toCode(Result::InvalidParameter);
            gone = std::move(it->second);
            objects_.erase(it);
        }
        return toCode(Result::Success);
    }
    template <class Operation>
    CORVID2_RESULT with(void* handle, Operation&& operation) {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto it = objects_.find(static_cast<Object*>(handle));
        if (it == objects_.end()) return toCode(Result::InvalidParameter);
        return operation(*it->second);
    }

private:
    std::mutex mutex_;
    std::unordered_map<Object*, std::unique_ptr<Object>> objects_;
};

// Process-wide and never destroyed: handles may be released while the process ends.
HandedOut<CImageProcessorObj>& processors() {
    static auto* handed = new HandedOut<CImageProcessorObj>();
    return *handed;
}
HandedOut<CImageObj>& images() {
    static auto* handed = new HandedOut<CImageObj>();
    return *handed;
}
HandedOut<CPolarizerObj>& polarizers() {
    static auto* handed = new HandedOut<CPolarizerObj>();
    return *handed;
}

// "<class>; <function>; <last error>" at Error level, and the code.
CORVID2_RESULT failed(const char* className, const char* function, Result code) {
    std::string text;
    GetLastErrorText(text);
    traceError("%s; %s; %s", className, function, text.c_str());
    return toCode(code);
}

}  // namespace

extern "C" {

CORVID2_API CORVID2_RESULT CORVID2_CALL CORVID2_CreateImageProcessor(CORVID2_ImageProcessor* processor) {
    if (processor == nullptr) return toCode(Result::InvalidParameter);
    std::unique_ptr<CImageProcessorObj> made;
    if (CImageProcessorObj::create(made) != Result::Success)
        return failed("ImageProcessor", "CORVID2_CreateImageProcessor", Result::Error);
    *processor = processors().add(std::move(made));
    return toCode(Result::Success);
}

CORVID2_API CORVID2_RESULT CORVID2_CALL CORVID2_ReleaseImageProcessor(CORVID2_ImageProcessor processor) {
    if (processor == nullptr) return toCode(Result::InvalidParameter);
    return processors().release(processor);
}

CORVID2_API CORVID2_RESULT CORVID2_CALL CORVID2_ImageProcessor_GetVersion(CORVID2_ImageProcessor processor, char* text,
                                                                          uint64_t* size) {
    if (processor == nullptr || size == nullptr) return toCode(Result::InvalidParameter);
    return processors().with(processor, [&](CImageProcessorObj& object) {
        std::string version;
        if (const Result code = object.GetVersion(version); code != Result::Success)
            return failed("ImageProcessor", "CORVID2_ImageProcessor_GetVersion", code);
        return copyStringOut(version, text, size);
    });
}

CORVID2_API CORVID2_RESULT CORVID2_CALL CORVID2_ImageProcessor_CreateEmptyImage(CORVID2_ImageProcessor processor,
                                                                                CORVID2_Image* image) {
    if (processor == nullptr || image == nullptr) return toCode(Result::InvalidParameter);
    return processors().with(processor, [&](CImageProcessorObj& object) {
        std::unique_ptr<CImageObj> made;
        if (const Result code = object.CreateImage(1, 1, "Mono8", nullptr, 0, &made); code != Result::Success)
            return failed("ImageProcessor", "CORVID2_ImageProcessor_CreateEmptyImage", code);
        *image = images().add(std::move(made));
        return toCode(Result::Success);
    });
}

CORVID2_API CORVID2_RESULT CORVID2_CALL CORVID2_Image_Release(CORVID2_Image image) {
    if (image == nullptr) return toCode(Result::InvalidParameter);
    return images().release(image);
}

CORVID2_API CORVID2_RESULT CORVID2_CALL CORVID2_Polarizer_Create(CORVID2_Polarizer* polarizer) {
    if (polarizer == nullptr) return toCode(Result::InvalidParameter);
    *polarizer = nullptr;
    std::unique_ptr<CPolarizerObj> made;
    if (CPolarizerObj::create(made) != Result::Success)
        return failed("Polarizer", "CORVID2_Polarizer_Create", Result::Error);
    *polarizer = polarizers().add(std::move(made));
    return toCode(Result::Success);
}

CORVID2_API CORVID2_RESULT CORVID2_CALL CORVID2_Polarizer_Release(CORVID2_Polarizer polarizer) {
    if (polarizer == nullptr) return toCode(Result::InvalidParameter);
    return polarizers().release(polarizer);
}

}  // extern "C"
