// SPDX-License-Identifier: BSD-3-Clause
// CPolarizerObj: the components of a polarizer mosaic, computed by the image library's processor
// that the object owns, with the camera's calibration.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include "core/result_codes.h"
#include "imaging/imageobj.h"

namespace CORVID2 {
class Buffer;
class Device;
}  // namespace CORVID2

namespace corvid2 {

// A format code's component (the library's component id, 1 to 12) and channel (0 to 3).
struct PolarizerFormat {
    std::uint32_t component = 0;
    std::uint32_t channel = 0;
};

// False for a low byte that names no component or a channel above 3.
bool decodePolarizerFormat(std::uint32_t format, PolarizerFormat* decoded);
// Whether the component exists on the channel for a colour or a monochrome sensor.
bool polarizerComponentAvailable(const PolarizerFormat& format, bool colour);
// "Intensity", "AOP", ...
const char* polarizerComponentName(std::uint32_t component);
// The processing format of a polarization camera's pixel format ("Mono8" -> "VelmorPolarized8"),
// null for a format the polarizer does not take; `colour` tells a colour sensor.
const char* polarizedFormatOf(const std::string& pixelFormat, bool* colour);

// Lock order: `processingMutex_` -> `enabledMutex_`; neither is held while anything but the image
// library runs.
class CPolarizerObj {
public:
    // A polarizer with a processor of its own; on failure `polarizer` stays empty and the
    // failure is recorded.
    static Result create(std::unique_ptr<CPolarizerObj>& polarizer);

    Result readCalibration(CORVID2::Device* device);
    // Adds or removes the format's channel among the enabled ones; `single` enables it alone.
    Result enable(std::uint32_t format, bool on, bool single);
    void setInterpolation(bool on) { interpolation_.store(on, std::memory_order_release); }
    // Computes every enabled component of the buffer's image; nothing when none is enabled.
    Result initialize(CORVID2::Buffer* buffer);
    // Delivers a computed component into `target`: as it is, or converted into the target's own
    // pixel format when `predefined` (the target then keeps its memory and must have its size).
    Result get(std::uint32_t format, CImageObj* target, bool predefined);
    Result setConcurrentThreads(unsigned int threads);

private:
    explicit CPolarizerObj(std::unique_ptr<CImageProcessorObj> processor) : processor_(std::move(processor)) {}
    Result newImage(std::unique_ptr<CImageObj>& image);
    // Computes `component` of the mosaic `source` (the raw image or a colour plane) into a new result.
    Result calculate(CImageObj& source, std::uint32_t component, std::unique_ptr<CImageObj>& result);
    Result calculateColour(const std::array<std::uint32_t, 13>& enabled, bool interpolate);

    std::unique_ptr<CImageProcessorObj> processor_;
    std::mutex enabledMutex_;
    std::array<std::uint32_t, 13> enabled_{};  // channel mask per component id
    std::atomic<bool> interpolation_{false};

    std::mutex processingMutex_;
    bool computed_ = false;
    bool colour_ = false;
    std::unique_ptr<CImageObj> raw_;
    std::array<std::unique_ptr<CImageObj>, 3> planes_;
    std::map<std::pair<std::uint32_t, std::uint32_t>, std::unique_ptr<CImageObj>> results_;  // (component, channel)
};

}  // namespace corvid2
