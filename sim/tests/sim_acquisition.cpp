// SPDX-License-Identifier: BSD-3-Clause
// Data stream helper of the simulator tests.
#include "sim_acquisition.h"

namespace corvid2::sim::test {

Acquisition::Acquisition(SimSession& session, const std::string& deviceId)
    : device_(session.openDevice(deviceId)),
      stream_(session.openStream(device_)),
      camera_(std::make_unique<Features>(session.remotePort(device_))) {
    if (gentl().GCRegisterEvent(stream_, EVENT_NEW_BUFFER, &event_) != GC_ERR_SUCCESS)
        throw std::runtime_error("GCRegisterEvent failed");
}

Acquisition::~Acquisition() {
    gentl().DSStopAcquisition(stream_, ACQ_STOP_FLAGS_KILL);
    gentl().DSClose(stream_);
}

size_t Acquisition::payloadSize() {
    return infoValue<size_t>([=](INFO_DATATYPE* t, void* b,
                                 size_t* s) { return gentl().DSGetInfo(stream_, STREAM_INFO_PAYLOAD_SIZE, t, b, s); },
                             INFO_DATATYPE_SIZET);
}

std::vector<BUFFER_HANDLE> Acquisition::announceUserBuffers(size_t count, size_t size) {
    std::vector<BUFFER_HANDLE> buffers;
    for (size_t i = 0; i < count; ++i) {
        memory_.emplace_back(size != 0 ? size : payloadSize());
        BUFFER_HANDLE buffer = nullptr;
        if (gentl().DSAnnounceBuffer(stream_, memory_.back().data(), memory_.back().size(), &memory_.back(), &buffer) !=
            GC_ERR_SUCCESS)
            throw std::runtime_error("DSAnnounceBuffer failed");
        queue(buffer);
        buffers.push_back(buffer);
    }
    return buffers;
}

std::vector<BUFFER_HANDLE> Acquisition::announceProducerBuffers(size_t count, size_t size) {
    std::vector<BUFFER_HANDLE> buffers;
    for (size_t i = 0; i < count; ++i) {
        BUFFER_HANDLE buffer = nullptr;
        if (gentl().DSAllocAndAnnounceBuffer(stream_, size != 0 ? size : payloadSize(), reinterpret_cast<void*>(i + 1),
                                             &buffer) != GC_ERR_SUCCESS)
            throw std::runtime_error("DSAllocAndAnnounceBuffer failed");
        queue(buffer);
        buffers.push_back(buffer);
    }
    return buffers;
}

void Acquisition::queue(BUFFER_HANDLE buffer) {
    if (gentl().DSQueueBuffer(stream_, buffer) != GC_ERR_SUCCESS) throw std::runtime_error("DSQueueBuffer failed");
}

void Acquisition::start(uint64_t count) {
    camera_->setInt("TLParamsLocked", 1);
    if (gentl().DSStartAcquisition(stream_, ACQ_START_FLAGS_DEFAULT, count) != GC_ERR_SUCCESS)
        throw std::runtime_error("DSStartAcquisition failed");
    camera_->execute("AcquisitionStart");
}

void Acquisition::stop() {
    camera_->execute("AcquisitionStop");
    gentl().DSStopAcquisition(stream_, ACQ_STOP_FLAGS_DEFAULT);
    camera_->setInt("TLParamsLocked", 0);
}

BUFFER_HANDLE Acquisition::next(uint64_t timeoutMs, GC_ERROR* result) {
    EVENT_NEW_BUFFER_DATA data{};
    size_t size = sizeof data;
    const GC_ERROR code = gentl().EventGetData(event_, &data, &size, timeoutMs);
    if (result != nullptr) *result = code;
    return code == GC_ERR_SUCCESS ? data.BufferHandle : nullptr;
}

uint16_t drawnFrameCounter(const uint8_t* image, size_t width) {
    uint16_t value = 0;
    for (size_t bit = 0; bit < 16; ++bit)
        value = static_cast<uint16_t>((value << 1) | (image[width * 4 + bit * 8 + 4] > 127 ? 1 : 0));
    return value;
}

}  // namespace corvid2::sim::test
