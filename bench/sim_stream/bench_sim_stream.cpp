// SPDX-License-Identifier: BSD-3-Clause
// Frames and bytes per second of a raw GenTL acquisition loop (16 buffers, free run, Mono8) from the simulated
// producer, their ratio to memcpy bandwidth over the same working set measured in the same run, and the
// process CPU time spent while streaming at 30 frames per second.
#include <benchmark/benchmark.h>

#include <time.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "gentl_loader.h"

namespace {

using namespace GenTL;
using corvid2::sim::test::GenTLFunctions;
using corvid2::sim::test::ProducerLibrary;

constexpr size_t kBuffers = 16;

const GenTLFunctions& gentl() {
    static const ProducerLibrary* const kLibrary = new ProducerLibrary(corvid2::sim::test::simProducerPath());
    return kLibrary->functions();
}

void check(GC_ERROR result, const char* what) {
    if (result != GC_ERR_SUCCESS) throw std::runtime_error(std::string(what) + " failed: " + std::to_string(result));
}

// Register addresses of the simulated camera (as its description maps them).
constexpr uint64_t kWidth = 0x1008, kHeight = 0x100C, kPixelFormat = 0x1020, kTLParamsLocked = 0x1034,
                   kAcquisitionStart = 0x2004, kAcquisitionStop = 0x2008, kFrameRateEnable = 0x2014,
                   kFrameRateMilliHz = 0x2018;

// One opened camera streaming into 16 user buffers.
class Stream {
public:
    Stream(uint32_t width, uint32_t height, double frameRate) : gt_(gentl()) {
        check(gt_.GCInitLib(), "GCInitLib");
        check(gt_.TLOpen(&system_), "TLOpen");
        bool8_t changed = false;
        gt_.TLUpdateInterfaceList(system_, &changed, 0);
        check(gt_.TLOpenInterface(system_, "SimGEV0", &iface_), "TLOpenInterface");
        gt_.IFUpdateDeviceList(iface_, &changed, 0);
        check(gt_.IFOpenDevice(iface_, "SimMono0", DEVICE_ACCESS_EXCLUSIVE, &device_), "IFOpenDevice");
        check(gt_.DevGetPort(device_, &port_), "DevGetPort");
        write(kPixelFormat, 0x01080001);
        write(kWidth, width);
        write(kHeight, height);
        write(kFrameRateEnable, frameRate > 0 ? 1 : 0);
        if (frameRate > 0) write(kFrameRateMilliHz, static_cast<uint32_t>(frameRate * 1000));
        check(gt_.DevOpenDataStream(device_, "Stream0", &stream_), "DevOpenDataStream");
        frameBytes_ = size_t{width} * height;
        memory_.assign(kBuffers, std::vector<uint8_t>(frameBytes_));
        for (auto& m : memory_) {
            BUFFER_HANDLE buffer = nullptr;
            check(gt_.DSAnnounceBuffer(stream_, m.data(), m.size(), nullptr, &buffer), "DSAnnounceBuffer");
            check(gt_.DSQueueBuffer(stream_, buffer), "DSQueueBuffer");
        }
        check(gt_.GCRegisterEvent(stream_, EVENT_NEW_BUFFER, &event_), "GCRegisterEvent");
        write(kTLParamsLocked, 1);
        check(gt_.DSStartAcquisition(stream_, ACQ_START_FLAGS_DEFAULT, GENTL_INFINITE), "DSStartAcquisition");
        write(kAcquisitionStart, 1);
    }
    ~Stream() {
        write(kAcquisitionStop, 1);
        gt_.DSStopAcquisition(stream_, ACQ_STOP_FLAGS_KILL);
        gt_.TLClose(system_);
        gt_.GCCloseLib();
    }
    // Waits for one filled buffer and queues it again.
    void frame() {
        EVENT_NEW_BUFFER_DATA data{};
        size_t size = sizeof data;
        check(gt_.EventGetData(event_, &data, &size, 5000), "EventGetData");
        check(gt_.DSQueueBuffer(stream_, data.BufferHandle), "DSQueueBuffer");
    }
    size_t frameBytes() const { return frameBytes_; }

private:
    void write(uint64_t address, uint32_t value) {
        size_t size = 4;
        check(gt_.GCWritePort(port_, address, &value, &size), "GCWritePort");
    }

    const GenTLFunctions& gt_;
    TL_HANDLE system_ = nullptr;
    IF_HANDLE iface_ = nullptr;
    DEV_HANDLE device_ = nullptr;
    PORT_HANDLE port_ = nullptr;
    DS_HANDLE stream_ = nullptr;
    EVENT_HANDLE event_ = nullptr;
    size_t frameBytes_ = 0;
    std::vector<std::vector<uint8_t>> memory_;
};

// Baseline: one frame copied into 16 rotating destinations, the same working set as the stream's buffers.
void BM_MemcpyFrame(benchmark::State& state) {
    const size_t bytes = static_cast<size_t>(state.range(0)) * static_cast<size_t>(state.range(1));
    std::vector<uint8_t> source(bytes, 0x5A);
    std::vector<std::vector<uint8_t>> destinations(kBuffers, std::vector<uint8_t>(bytes));
    size_t next = 0;
    for (auto _ : state) {
        std::memcpy(destinations[next].data(), source.data(), bytes);
        benchmark::DoNotOptimize(destinations[next].data());
        next = (next + 1) % kBuffers;
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}

void BM_SimStreamFreeRun(benchmark::State& state) {
    Stream stream(static_cast<uint32_t>(state.range(0)), static_cast<uint32_t>(state.range(1)), 0);
    for (int i = 0; i < 16; ++i) stream.frame();  // the first frames also render the pattern once
    for (auto _ : state) stream.frame();
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * stream.frameBytes()));
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}

double processCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// CPU time of the whole process (producer threads and the waiting consumer) per wall-clock second at 30 fps.
void BM_SimStreamCpuAt30Fps(benchmark::State& state) {
    Stream stream(static_cast<uint32_t>(state.range(0)), static_cast<uint32_t>(state.range(1)), 30);
    for (int i = 0; i < 3; ++i) stream.frame();
    double cpu = 0, wall = 0;
    for (auto _ : state) {
        const double cpuStart = processCpuSeconds();
        const auto wallStart = std::chrono::steady_clock::now();
        for (int i = 0; i < 60; ++i) stream.frame();
        cpu += processCpuSeconds() - cpuStart;
        wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count());
    }
    state.counters["cpu_percent_of_one_core"] = 100.0 * cpu / wall;
    state.counters["fps"] = 60.0 * static_cast<double>(state.iterations()) / wall;
}

// Both sides in wall-clock time: the stream works in the producer thread, and on a shared machine CPU time
// would flatter the copy.
BENCHMARK(BM_MemcpyFrame)->Args({640, 480})->Args({2448, 2048})->UseRealTime();
BENCHMARK(BM_SimStreamFreeRun)->Args({640, 480})->Args({2448, 2048})->UseRealTime();
BENCHMARK(BM_SimStreamCpuAt30Fps)->Args({640, 480})->Args({2448, 2048})->Iterations(1)->UseManualTime();

// Keeps each run's bytes per second so that the ratios can be printed after the table.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        // With repetitions the median stands for the run; without, the single run does.
        for (const Run& run : runs) {
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            const auto it = run.counters.find("bytes_per_second");
            if (it == run.counters.end() || (run.run_type == Run::RT_Aggregate && !median)) continue;
            if (median || bandwidth_.count(run.run_name.str()) == 0 || !medians_.count(run.run_name.str())) {
                bandwidth_[run.run_name.str()] = it->second.value;
                if (median) medians_.insert(run.run_name.str());
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    void PrintRatios() const {
        for (const char* size : {"640/480", "2448/2048"}) {
            const auto stream = bandwidth_.find(std::string("BM_SimStreamFreeRun/") + size + "/real_time");
            const auto copy = bandwidth_.find(std::string("BM_MemcpyFrame/") + size + "/real_time");
            if (stream == bandwidth_.end() || copy == bandwidth_.end() || copy->second <= 0) continue;
            std::printf("ratio stream/memcpy bandwidth %-10s %.2f (target >= 0.5)\n", size,
                        stream->second / copy->second);
        }
    }

private:
    std::map<std::string, double> bandwidth_;
    std::set<std::string> medians_;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatios();
    benchmark::Shutdown();
    return 0;
}
