// SPDX-License-Identifier: BSD-3-Clause
// Thousands of open/start/stop/close cycles and hundreds of thousands of frames leave the process's
// memory and threads as they were: nothing is kept per cycle or per frame.
#include <dirent.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "support/sim_system.h"

using namespace corvid2::test;
using CORVID2::Buffer;

namespace {

// Resident memory in KiB, from the kernel's account of this process.
std::uint64_t residentKiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0) return std::strtoull(line.c_str() + 6, nullptr, 10);
    return 0;
}

std::size_t threadCount() {
    std::size_t count = 0;
    if (DIR* tasks = opendir("/proc/self/task")) {
        while (const dirent* entry = readdir(tasks))
            if (entry->d_name[0] != '.') ++count;
        closedir(tasks);
    }
    return count;
}

// Sanitizers hold freed memory back on purpose (and check for leaks themselves at exit), so the
// process's size says nothing under them.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kMemoryIsMeasurable = false;
#else
constexpr bool kMemoryIsMeasurable = true;
#endif

// The runs are long on purpose; CORVID2_SOAK_SCALE (percent) shortens them for a quick look.
std::uint64_t scaled(std::uint64_t count) {
    const char* scale = std::getenv("CORVID2_SOAK_SCALE");
    const std::uint64_t percent = scale != nullptr ? std::strtoull(scale, nullptr, 10) : 100;
    return std::max<std::uint64_t>(1, count * percent / 100);
}

class Soak : public OpenSystemTest {
protected:
    std::string settings() const override { return "CORVID2_SIM_FRAME_RATE=0\n"; }

    void SetUp() override {
        OpenSystemTest::SetUp();
        CORVID2::Interface* iface = openInterface("SimGEV0");
        iface->GetDevices()->Refresh(kRefreshMs);
        device_ = (*iface->GetDevices())["SimMono0"];
        for (int index = 0; index < 4; ++index) buffers_.push_back(std::make_unique<Buffer>());
    }

    // Open, announce, start, take `frames` images, stop, close: the device and its stream.
    void cycle(std::uint64_t frames, bool smallImage) {
        device_->Open();
        if (smallImage) {
            device_->GetRemoteNode("Width")->SetInt(128);
            device_->GetRemoteNode("Height")->SetInt(16);
        }
        CORVID2::DataStream* stream = (*device_->GetDataStreams())[std::size_t{0}];
        stream->Open();
        CORVID2::BufferList* list = stream->GetBufferList();
        for (const auto& buffer : buffers_) {
            list->Add(buffer.get());
            buffer->QueueBuffer();
        }
        stream->StartAcquisitionContinuous();
        device_->GetRemoteNode("AcquisitionStart")->Execute();
        for (std::uint64_t frame = 0; frame < frames; ++frame) {
            Buffer* buffer = stream->GetFilledBuffer(5000);
            ASSERT_NE(buffer, nullptr);
            buffer->QueueBuffer();
        }
        device_->GetRemoteNode("AcquisitionStop")->Execute();
        stream->StopAcquisition();
        device_->Close();
    }

    CORVID2::Device* device_ = nullptr;
    std::vector<std::unique_ptr<Buffer>> buffers_;
};

}  // namespace

TEST_F(Soak, CyclesAndFramesLeaveMemoryAndThreadsAsTheyWere) {
    // Warm up: caches, the allocator's pools and the descriptions settle first.
    for (int index = 0; index < 20; ++index) cycle(2, false);
    const std::uint64_t memoryBefore = residentKiB();
    const std::size_t threadsBefore = threadCount();

    const std::uint64_t cycles = scaled(2000);
    for (std::uint64_t index = 0; index < cycles; ++index) {
        cycle(1, false);
        if (HasFatalFailure()) return;
    }
    const std::uint64_t memoryAfterCycles = residentKiB();
    EXPECT_EQ(threadCount(), threadsBefore) << "no thread left behind by " << cycles << " cycles";

    cycle(scaled(200000), true);
    const std::uint64_t memoryAfterFrames = residentKiB();
    EXPECT_EQ(threadCount(), threadsBefore);

    // Noise: the allocator keeps what it once had; a leak of even 1 KiB per cycle or 50 bytes per
    // frame would show as megabytes.
    constexpr std::uint64_t kNoiseKiB = 1024;
    std::printf("resident memory: %llu KiB before, %llu KiB after %llu cycles, %llu KiB after the frames\n",
                static_cast<unsigned long long>(memoryBefore), static_cast<unsigned long long>(memoryAfterCycles),
                static_cast<unsigned long long>(cycles), static_cast<unsigned long long>(memoryAfterFrames));
    if (!kMemoryIsMeasurable) return;
    EXPECT_LE(memoryAfterCycles, memoryBefore + kNoiseKiB) << memoryBefore << " KiB before the cycles";
    EXPECT_LE(memoryAfterFrames, memoryAfterCycles + kNoiseKiB) << memoryAfterCycles << " KiB before the frames";
}
