// SPDX-License-Identifier: BSD-3-Clause
// The polarizer's vocabulary (format codes, components, source formats), the camera's calibration
// and the computation of the components through the image library.
#include "imaging/polarizerobj.h"

#include <corvid2/genapi/interfaces.h>

#include <cinttypes>
#include <cstring>
#include <vector>

#include "core/last_error.h"
#include "corvid2/buffer.h"
#include "corvid2/device.h"
#include "corvid2/exceptions.h"
#include "corvid2/node.h"
#include "trace/trace.h"

namespace corvid2 {

namespace {

constexpr char kClass[] = "CPolarizerObj";
constexpr std::uint32_t kAdolp = IMG_COMPONENT_ADOLP;
constexpr std::uint32_t kComponentCount = 12;

// The component of each low byte of a format code.
constexpr std::uint32_t kComponentOfCode[] = {IMG_COMPONENT_AOP,       IMG_COMPONENT_DOLP,   IMG_COMPONENT_ADOLP,
                                              IMG_COMPONENT_INTENSITY, IMG_COMPONENT_POL0,   IMG_COMPONENT_POL45,
                                              IMG_COMPONENT_POL90,     IMG_COMPONENT_POL135, IMG_COMPONENT_POLMIN,
                                              IMG_COMPONENT_POLMAX,    IMG_COMPONENT_POL,    IMG_COMPONENT_UNPOL};

constexpr const char* kComponentNames[kComponentCount + 1] = {
    "", "Intensity", "AOP", "DOLP", "POL", "UNPOL", "ADOLP", "POL0", "POL45", "POL90", "POL135", "POLMIN", "POLMAX"};

struct SourceFormat {
    const char* pixelFormat;
    const char* polarized;
    bool colour;
};
// BayerRG12p arrives packed like Mono12p: it is read as the packed mosaic, which its buffer holds.
constexpr SourceFormat kSources[] = {
    {"Mono8", "VelmorPolarized8", false},     {"Mono10", "VelmorPolarized10", false},
    {"Mono12", "VelmorPolarized12", false},   {"Mono12p", "VelmorPolarized12p", false},
    {"BayerRG8", "VelmorPolarized8", true},   {"BayerRG10", "VelmorPolarized10", true},
    {"BayerRG12", "VelmorPolarized12", true}, {"BayerRG12p", "VelmorPolarized12p", true}};

Result fail(Result code, const char* method, const char* text) {
    return SetLastError(code, kClass, method, "%s", text);
}

// The library's answer as a code, recorded as `text` of `method` when it failed.
Result library(IMG_RESULT_CODES answer, const char* method, const char* text) {
    if (answer == IMG_SUCCESS) return Result::Success;
    return SetLastError(answer == IMG_INVALID_PARAMETER ? Result::InvalidParameter : Result::Error, kClass, method,
                        "%s (%d)", text, static_cast<int>(answer));
}

// The failure of the public call that just threw, under `method`, with its own code.
Result failedRead(const char* method) {
    std::string text;
    Result code = Result::Error;
    GetLastErrorText(text, &code);
    return SetLastError(code, kClass, method, "%s", text.c_str());
}

bool hasRemoteNode(CORVID2::Device& device, const char* name) {
    try {
        device.GetRemoteNode(name);
        return true;
    } catch (const CORVID2::Exceptions::IException&) {
        return false;
    }
}

}  // namespace

bool decodePolarizerFormat(std::uint32_t format, PolarizerFormat* decoded) {
    const std::uint32_t low = format & 0xFF, channel = format >> 8;
    if (low >= sizeof kComponentOfCode / sizeof kComponentOfCode[0] || channel > 3) return false;
    decoded->component = kComponentOfCode[low];
    decoded->channel = channel;
    return true;
}

bool polarizerComponentAvailable(const PolarizerFormat& format, bool colour) {
    if (!colour) return format.channel == 0;
    return format.component != kAdolp || format.channel != 0;
}

const char* polarizerComponentName(std::uint32_t component) {
    return component >= 1 && component <= kComponentCount ? kComponentNames[component] : "";
}

const char* polarizedFormatOf(const std::string& pixelFormat, bool* colour) {
    for (const SourceFormat& source : kSources) {
        if (pixelFormat != source.pixelFormat) continue;
        if (colour != nullptr) *colour = source.colour;
        return source.polarized;
    }
    return nullptr;
}

Result CPolarizerObj::create(std::unique_ptr<CPolarizerObj>& polarizer) {
    std::unique_ptr<CImageProcessorObj> processor;
    if (const Result code = CImageProcessorObj::create(processor); code != Result::Success) return code;
    polarizer.reset(new CPolarizerObj(std::move(processor)));
    return Result::Success;
}

Result CPolarizerObj::readCalibration(CORVID2::Device* device) {
    traceInfo("%s; %s called;", kClass, "CPolarizerObj::ReadDeviceCalibration");
    constexpr const char* kMethod = "CPolarizerObj::ReadDeviceCalibration";
    if (device == nullptr) return fail(Result::InvalidParameter, kMethod, "device missing");
    double matrices[3][3][4] = {};
    double offset = 0;
    try {
        if (!device->IsOpen()) return fail(Result::InvalidParameter, kMethod, "invalid device");
        if (!hasRemoteNode(*device, "CalibrationMatrixValueSelector") ||
            !hasRemoteNode(*device, "CalibrationMatrixValue"))
            return fail(Result::NotAvailable, "CPolarizerObj::GetDeviceCalibration",
                        "device have no calibration matrix");
        CORVID2::Node* selector = device->GetRemoteNode("CalibrationMatrixValueSelector");
        CORVID2::Node* value = device->GetRemoteNode("CalibrationMatrixValue");
        const bool perColour = hasRemoteNode(*device, "CalibrationMatrixColorSelector");
        static constexpr const char* kColours[] = {"Red", "Green", "Blue"};
        for (int colour = 0; colour < 3; ++colour) {
            if (!perColour && colour > 0) {
                std::memcpy(matrices[colour], matrices[0], sizeof matrices[0]);
                continue;
            }
            if (perColour) device->GetRemoteNode("CalibrationMatrixColorSelector")->SetString(kColours[colour]);
            for (int row = 0; row < 3; ++row) {
                for (int column = 0; column < 4; ++column) {
                    const std::string entry = "Gain" + std::to_string(row) + std::to_string(column);
                    selector->SetString(entry.c_str());
                    matrices[colour][row][column] = value->GetDouble();
                }
            }
        }
        if (!hasRemoteNode(*device, "CalibrationAngleOfPolarizationOffset"))
            return fail(Result::NotAvailable, "CPolarizerObj::GetDeviceAopOffset", "device have no aop offset");
        offset = device->GetRemoteNode("CalibrationAngleOfPolarizationOffset")->GetDouble();
    } catch (const CORVID2::Exceptions::IException&) {
        std::string text;
        GetLastErrorText(text);
        return SetLastError(Result::Error, kClass, kMethod, "%s", text.c_str());
    }
    for (std::uint32_t colour = 0; colour < 3; ++colour)
        for (std::uint32_t row = 0; row < 3; ++row)
            for (std::uint32_t column = 0; column < 4; ++column)
                if (const Result code = processor_->SetMatrixElement(IMG_MATRIX_POLARIZATION, 3 * colour + row, column,
                                                                     matrices[colour][row][column]);
                    code != Result::Success)
                    return code;
    return processor_->SetMatrixElement(IMG_MATRIX_POLARIZATION_ANGLE_OFFSET, 0, 0, offset);
}

Result CPolarizerObj::enable(std::uint32_t format, bool on, bool single) {
    PolarizerFormat decoded;
    if (!decodePolarizerFormat(format, &decoded))
        return fail(Result::InvalidParameter, single ? "CPolarizerObj::EnableSingle" : "CPolarizerObj::Enable",
                    "format invalid");
    std::lock_guard<std::mutex> lock(enabledMutex_);
    if (single) enabled_.fill(0);
    const std::uint32_t bit = 1u << decoded.channel;
    std::uint32_t& mask = enabled_[decoded.component];
    mask = on ? mask | bit : mask & ~bit;
    return Result::Success;
}

Result CPolarizerObj::newImage(std::unique_ptr<CImageObj>& image) {
    return processor_->CreateImage(1, 1, "Mono8", nullptr, 0, &image);
}

Result CPolarizerObj::calculate(CImageObj& source, std::uint32_t component, std::unique_ptr<CImageObj>& result) {
    if (const Result code = newImage(result); code != Result::Success)
        return fail(code, "CPolarizerObj::Calculate", "create polarization data failed");
    if (const Result code = library(source.handle()->EnableComponent(component, true), "CPolarizerObj::Calculate",
                                    "calculate polarization data failed");
        code != Result::Success)
        return code;
    return library(source.handle()->GetComponent(component, processor_->handle(), result->handle()),
                   "CPolarizerObj::Calculate", "calculate polarization data failed");
}

Result CPolarizerObj::calculateColour(const std::array<std::uint32_t, 13>& enabled, bool interpolate) {
    static constexpr std::uint32_t kPlanes[] = {IMG_COMPONENT_PLANE_RED, IMG_COMPONENT_PLANE_GREEN,
                                                IMG_COMPONENT_PLANE_BLUE};
    for (std::size_t colour = 0; colour < 3; ++colour) {
        if (!planes_[colour]) {
            if (const Result code = newImage(planes_[colour]); code != Result::Success)
                return fail(code, "CPolarizerObj::InitProcessingContext", "init plane raw image container failed");
        }
        IImage* raw = raw_->handle();
        if (library(raw->EnableComponent(kPlanes[colour], true), "CPolarizerObj::CalculatePlane",
                    "plane separation failed") != Result::Success ||
            library(raw->GetComponent(kPlanes[colour], processor_->handle(), planes_[colour]->handle()),
                    "CPolarizerObj::CalculatePlane", "plane separation failed") != Result::Success)
            return Result::Error;
        planes_[colour]->handle()->EnableInterpolation(interpolate);
    }
    for (std::uint32_t component = 1; component <= kComponentCount; ++component) {
        const std::uint32_t mask = enabled[component];
        if (mask == 0) continue;
        // Channel 0 of a colour sensor is the colour image of the three planes' results.
        const bool whole = (mask & 1) != 0 && component != kAdolp;
        std::array<std::unique_ptr<CImageObj>, 3> perPlane;
        for (std::uint32_t colour = 0; colour < 3; ++colour) {
            if ((mask & (2u << colour)) == 0 && !whole) continue;
            if (const Result code = calculate(*planes_[colour], component, perPlane[colour]); code != Result::Success)
                return code;
        }
        if (whole) {
            std::unique_ptr<CImageObj> combined;
            if (const Result code = newImage(combined); code != Result::Success)
                return fail(code, "CPolarizerObj::Calculate", "create polarization data failed");
            if (const Result code = library(
                    combined->handle()->FromPlanes(perPlane[0]->handle(), perPlane[1]->handle(), perPlane[2]->handle()),
                    "CPolarizerObj::Calculate", "calculate polarization data failed");
                code != Result::Success)
                return code;
            results_[{component, 0}] = std::move(combined);
        }
        for (std::uint32_t colour = 0; colour < 3; ++colour)
            if ((mask & (2u << colour)) != 0) results_[{component, colour + 1}] = std::move(perPlane[colour]);
    }
    return Result::Success;
}

Result CPolarizerObj::initialize(CORVID2::Buffer* buffer) {
    traceInfo("%s; %s(%p) called;", kClass, "CPolarizerObj::Initialize", static_cast<void*>(buffer));
    std::lock_guard<std::mutex> lock(processingMutex_);
    computed_ = false;
    results_.clear();
    if (buffer == nullptr) return fail(Result::InvalidParameter, "CPolarizerObj::Initialize", "buffer missing");

    constexpr const char* kCollect = "CPolarizerObj::CollectBufferInfo";
    std::uint64_t offset = 0, size = 0, width = 0, height = 0;
    void* base = nullptr;
    std::string pixelFormat;
    try {
        if (buffer->GetIsIncomplete()) return fail(Result::InvalidParameter, kCollect, "incomplete buffer");
        if (!buffer->GetImagePresent()) return fail(Result::InvalidParameter, kCollect, "image not present");
        offset = buffer->GetImageOffset();
        size = buffer->GetMemSize();
        base = buffer->GetMemPtr();
        width = buffer->GetWidth();
        height = buffer->GetHeight();
    } catch (const CORVID2::Exceptions::IException&) {
        return failedRead(kCollect);
    }
    try {
        pixelFormat = buffer->GetPixelFormat().get();
    } catch (const CORVID2::Exceptions::IException&) {
        std::string text;
        Result code = Result::Error;
        GetLastErrorText(text, &code);
        traceError("CPolarizerObj; GetPixelFormat; %s; %s", buffer->GetID().get(), text.c_str());
        return code;
    }
    constexpr const char* kCheck = "CPolarizerObj::CheckBuffer";
    if (width == 0 || height == 0) return fail(Result::Error, kCheck, "source image size invalid");
    if (base == nullptr || offset >= size) {
        traceError("CPolarizerObj; %s; invalid %p/%llu/%llu", kCheck, base, static_cast<unsigned long long>(size),
                   static_cast<unsigned long long>(offset));
        return fail(Result::Error, kCheck, "image buffer not valid");
    }
    bool colour = false;
    const char* polarized = polarizedFormatOf(pixelFormat, &colour);
    if (polarized == nullptr)
        return fail(Result::Error, "CPolarizerObj::InitProcessingContext", "source image not supported");

    std::array<std::uint32_t, 13> enabled{};
    {
        std::lock_guard<std::mutex> enabledLock(enabledMutex_);
        enabled = enabled_;
    }
    bool any = false;
    for (std::uint32_t mask : enabled) any = any || mask != 0;
    if (!any) {
        traceWarning("CPolarizerObj; %s; no component enabled", "CPolarizerObj::RawEnableComponents");
        return Result::Success;
    }
    if (!raw_) {
        if (const Result code = newImage(raw_); code != Result::Success)
            return fail(code, "CPolarizerObj::InitProcessingContext", "init raw image container failed");
    }
    if (raw_->Init(static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height), polarized,
                   static_cast<std::uint8_t*>(base) + offset, size - offset) != Result::Success)
        return fail(Result::Error, "CPolarizerObj::InitProcessingContext", "init raw image container failed");
    const bool interpolate = interpolation_.load(std::memory_order_acquire);
    raw_->handle()->EnableInterpolation(interpolate);
    colour_ = colour;
    if (colour) {
        if (const Result code = calculateColour(enabled, interpolate); code != Result::Success) return code;
    } else {
        for (std::uint32_t component = 1; component <= kComponentCount; ++component) {
            if ((enabled[component] & 1) == 0) continue;
            if (const Result code = calculate(*raw_, component, results_[{component, 0}]); code != Result::Success)
                return code;
        }
    }
    computed_ = true;
    return Result::Success;
}

Result CPolarizerObj::get(std::uint32_t format, CImageObj* target, bool predefined) {
    constexpr const char* kMethod = "CPolarizerObj::CollectResult";
    if (target == nullptr) return fail(Result::InvalidParameter, kMethod, "image missing");
    PolarizerFormat decoded;
    if (!decodePolarizerFormat(format, &decoded)) return fail(Result::InvalidParameter, kMethod, "format invalid");
    std::lock_guard<std::mutex> lock(processingMutex_);
    if (!computed_) return fail(Result::NotAvailable, kMethod, "not available");
    if (!polarizerComponentAvailable(decoded, colour_))
        return fail(Result::InvalidParameter, kMethod, "component not available");
    const auto found = results_.find({decoded.component, decoded.channel});
    if (found == results_.end() || !found->second)
        return fail(Result::InvalidParameter, kMethod, "component not enabled");
    CImageObj& result = *found->second;
    std::uint32_t width = 0, height = 0;
    std::uint64_t length = 0;
    std::string pixelFormat;
    void* pixels = nullptr;
    if (result.GetWidth(&width) != Result::Success || result.GetHeight(&height) != Result::Success ||
        result.GetLength(&length) != Result::Success || result.GetPixelFormat(pixelFormat) != Result::Success ||
        result.GetBuffer(&pixels) != Result::Success)
        return Result::Error;
    if (predefined) {
        // The application's image keeps its memory and format: the result is converted into it.
        std::uint32_t targetWidth = 0, targetHeight = 0;
        std::uint64_t targetLength = 0;
        std::string targetFormat;
        void* memory = nullptr;
        if (target->GetWidth(&targetWidth) != Result::Success || target->GetHeight(&targetHeight) != Result::Success ||
            target->GetLength(&targetLength) != Result::Success ||
            target->GetPixelFormat(targetFormat) != Result::Success || target->GetBuffer(&memory) != Result::Success)
            return Result::Error;
        if (targetWidth != width || targetHeight != height)
            return fail(Result::InvalidParameter, kMethod, "predefined image size does not match the result");
        return processor_->TransformImageToBuffer(&result, targetFormat.c_str(), memory, targetLength);
    }
    if (const Result code = target->Init(width, height, pixelFormat.c_str(), nullptr, 0); code != Result::Success)
        return code;
    void* memory = nullptr;
    if (const Result code = target->GetBuffer(&memory); code != Result::Success) return code;
    std::memcpy(memory, pixels, static_cast<std::size_t>(length));
    return Result::Success;
}

Result CPolarizerObj::setConcurrentThreads(unsigned int threads) {
    constexpr const char* kMethod = "CPolarizerObj::SetConcurrentThreads";
    genapi::INodeMap* map = processor_->engineMap();
    genapi::CIntegerPtr feature = map != nullptr ? map->GetNode("ConcurrentThreads") : nullptr;
    if (!feature.IsValid()) return fail(Result::NotAvailable, kMethod, "ConcurrentThreads not available");
    try {
        feature->SetValue(static_cast<std::int64_t>(threads));
    } catch (const genapi::GenericException& error) {
        return SetLastError(Result::InvalidParameter, kClass, kMethod, "%s", error.GetDescription());
    }
    return Result::Success;
}

}  // namespace corvid2
