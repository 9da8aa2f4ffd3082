// SPDX-License-Identifier: BSD-3-Clause
// An open simulated camera with its first data stream open: what every acquisition test starts from.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "support/sim_system.h"

namespace corvid2::test {

class AcquisitionTest : public OpenSystemTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // The simulator's settings: free run unless a test says otherwise.
    std::string settings() const override { return "CORVID2_SIM_FRAME_RATE=0\n"; }

    // The stream acquires without end, then the camera starts.
    void startContinuous();
    // The camera stops, then the stream.
    void stop();
    // `count` buffers of producer memory, added to the stream's list and queued.
    std::vector<CORVID2::Buffer*> addProducerBuffers(std::size_t count);
    // Adds and queues a Buffer the test made; the fixture deletes it after the stream closed.
    CORVID2::Buffer* own(CORVID2::Buffer* buffer, bool queue = true);
    // An integer or enumeration of the camera.
    void setCamera(const char* feature, std::int64_t value);
    void setCamera(const char* feature, const char* entry);
    // An integer feature of the simulator's system module (SimIncompleteEvery ...).
    void setSimulator(const char* feature, std::int64_t value);
    // The simulator's log of the producer's latest waits for an event ("20,25"), then cleared.
    std::string eventWaits();

    CORVID2::Device* device_ = nullptr;
    CORVID2::DataStream* stream_ = nullptr;
    CORVID2::BufferList* buffers_ = nullptr;
    std::vector<std::unique_ptr<CORVID2::Buffer>> owned_;
};

}  // namespace corvid2::test
