// SPDX-License-Identifier: BSD-3-Clause
// Test helper around one data stream: buffers, the new-buffer event and typed buffer information.
#pragma once

#include <vector>

#include "sim_test_support.h"

namespace corvid2::sim::test {

class Acquisition {
public:
    Acquisition(SimSession& session, const std::string& deviceId);
    ~Acquisition();

    Features& camera() { return *camera_; }
    DEV_HANDLE device() const { return device_; }
    DS_HANDLE stream() const { return stream_; }
    EVENT_HANDLE newBufferEvent() const { return event_; }
    size_t payloadSize();

    // User memory (owned here) or producer memory, announced and queued.
    std::vector<BUFFER_HANDLE> announceUserBuffers(size_t count, size_t size = 0);
    std::vector<BUFFER_HANDLE> announceProducerBuffers(size_t count, size_t size = 0);
    void queue(BUFFER_HANDLE buffer);
    // Locks the transport-layer parameters, starts the stream and the camera.
    void start(uint64_t count = GENTL_INFINITE);
    void stop();
    // The next delivered buffer, or null on timeout (the GenTL code goes to *result).
    BUFFER_HANDLE next(uint64_t timeoutMs, GC_ERROR* result = nullptr);

    template <typename T>
    T info(BUFFER_HANDLE buffer, BUFFER_INFO_CMD command, INFO_DATATYPE type) {
        return infoValue<T>([=](INFO_DATATYPE* t, void* b,
                                size_t* s) { return gentl().DSGetBufferInfo(stream_, buffer, command, t, b, s); },
                            type);
    }
    size_t sizeInfo(BUFFER_HANDLE buffer, BUFFER_INFO_CMD command) {
        return info<size_t>(buffer, command, INFO_DATATYPE_SIZET);
    }
    bool boolInfo(BUFFER_HANDLE buffer, BUFFER_INFO_CMD command) {
        return info<bool8_t>(buffer, command, INFO_DATATYPE_BOOL8);
    }
    const uint8_t* data(BUFFER_HANDLE buffer) {
        return static_cast<const uint8_t*>(info<void*>(buffer, BUFFER_INFO_BASE, INFO_DATATYPE_PTR));
    }
    template <typename T>
    T streamInfo(STREAM_INFO_CMD command, INFO_DATATYPE type) {
        return infoValue<T>(
            [=](INFO_DATATYPE* t, void* b, size_t* s) { return gentl().DSGetInfo(stream_, command, t, b, s); }, type);
    }

private:
    DEV_HANDLE device_;
    DS_HANDLE stream_;
    EVENT_HANDLE event_ = nullptr;
    std::unique_ptr<Features> camera_;
    std::vector<std::vector<uint8_t>> memory_;
};

// Low 16 bits of the frame counter drawn into the first row of 8x8 blocks of a Mono8 image.
uint16_t drawnFrameCounter(const uint8_t* image, size_t width);

}  // namespace corvid2::sim::test
