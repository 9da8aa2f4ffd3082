// SPDX-License-Identifier: BSD-3-Clause
// DevicePause: stops a device's camera and streams for a while and resumes them where they were.
#pragma once

#include <cstdint>
#include <vector>

#include "core/result_codes.h"

namespace corvid2 {

class CDataStreamObj;
class CDeviceObj;

// A finite acquisition keeps its count across a pause: the resumed streams acquire only the images
// that the interrupted start still owed. Used by one thread at a time (the brightness controller or
// a companion component); the streams are those open when Pause runs.
class DevicePause {
public:
    // Bit 0: stop the camera with "AcquisitionStop"; bit 1: with "AcquisitionAbort"; bit 2: stop
    // and restart the device's streams too.
    static constexpr std::uint32_t kStopCommand = 1, kAbortCommand = 2, kStreams = 4;

    explicit DevicePause(CDeviceObj& device) : device_(device) {}

    void setFlags(std::uint32_t flags) { flags_ = flags; }
    std::uint32_t flags() const { return flags_; }

    Result Pause();
    Result Resume();

private:
    Result restart(CDataStreamObj& stream);

    CDeviceObj& device_;
    std::uint32_t flags_ = kStopCommand | kStreams;
    std::vector<CDataStreamObj*> streams_;
};

}  // namespace corvid2
