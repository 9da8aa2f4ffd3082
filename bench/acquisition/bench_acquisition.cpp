// SPDX-License-Identifier: BSD-3-Clause
// Frame rate and time per frame of the library's acquisition paths (GetFilledBuffer polling, the new-buffer
// handler, polling with 1024 buffers) against a raw GenTL loop on the same simulated camera, both measured in
// alternating blocks of one run, with the library's ratio to the raw loop and its overhead per frame.
#include <benchmark/benchmark.h>

#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "corvid2_genicam.h"
#include "gentl_loader.h"

namespace {

using namespace GenTL;
using corvid2::sim::test::GenTLFunctions;
using corvid2::sim::test::ProducerLibrary;

constexpr std::uint64_t kTimeoutMs = 5000;
constexpr std::uint64_t kRefreshMs = 1000;
constexpr int kRounds = 4;  // each round measures one block of each path; the order alternates between rounds
constexpr char kInterfaceId[] = "SimGEV0";
constexpr char kCameraId[] = "SimMono0";

// Register addresses of the simulated camera (as its description maps them), for the raw loop.
constexpr std::uint64_t kWidth = 0x1008, kHeight = 0x100C, kOffsetX = 0x1010, kOffsetY = 0x1014, kPixelFormat = 0x1020,
                        kTLParamsLocked = 0x1034, kAcquisitionStart = 0x2004, kAcquisitionStop = 0x2008;
constexpr std::uint32_t kMono8 = 0x01080001;

// Several thousand frames per block, so that the start and end of a block weigh little.
std::size_t framesPerBlock(std::uint32_t width, std::uint32_t height) {
    return std::uint64_t{width} * height <= 1000000 ? 20000 : 3000;
}

// Set up in main: the raw loop's own copy of the simulator, and the library's simulated interface.
const GenTLFunctions* rawProducer = nullptr;
CORVID2::Interface* libraryInterface = nullptr;

void check(GC_ERROR result, const char* what) {
    if (result != GC_ERR_SUCCESS) throw std::runtime_error(std::string(what) + " failed: " + std::to_string(result));
}

struct Clocks {
    double wall = 0;
    double cpu = 0;  // of the whole process: each path also works in its producer's thread, a handler in its own
};

Clocks readClocks() {
    timespec cpu{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu);
    return {std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count(),
            static_cast<double>(cpu.tv_sec) + static_cast<double>(cpu.tv_nsec) * 1e-9};
}

struct Tally {
    double wall = 0, cpu = 0, frames = 0;

    template <class Block>
    void measure(std::size_t count, Block&& block) {
        const Clocks start = readClocks();
        block();
        const Clocks end = readClocks();
        wall += end.wall - start.wall;
        cpu += end.cpu - start.cpu;
        frames += static_cast<double>(count);
    }
    double wallPerFrame() const { return frames > 0 ? wall / frames : 0; }
    double cpuPerFrame() const { return frames > 0 ? cpu / frames : 0; }
};

// Every block starts with all buffers held by the consumer and queues them, takes `frames` images, queues each
// again except the last ones, and so ends with every buffer held again: each path does the same number of
// queue calls per frame, and between its blocks its producer thread sleeps instead of filling its buffers.

// The raw loop: GenTL calls on a copy of the simulator of its own, so that it and the library each have a
// producer in the process while they take turns.
class RawStream {
public:
    RawStream(const GenTLFunctions& gentl, std::uint32_t width, std::uint32_t height, std::size_t buffers)
        : gt_(gentl), buffers_(buffers) {
        try {
            open(width, height);
        } catch (...) {
            close();
            throw;
        }
    }
    ~RawStream() { close(); }
    RawStream(const RawStream&) = delete;
    RawStream& operator=(const RawStream&) = delete;

    void run(std::size_t frames) {
        for (BUFFER_HANDLE buffer : held_) check(gt_.DSQueueBuffer(stream_, buffer), "DSQueueBuffer");
        held_.clear();
        const std::size_t requeued = frames - buffers_;
        for (std::size_t frame = 0; frame < frames; ++frame) {
            EVENT_NEW_BUFFER_DATA data{};
            size_t size = sizeof data;
            check(gt_.EventGetData(event_, &data, &size, kTimeoutMs), "EventGetData");
            if (frame < requeued)
                check(gt_.DSQueueBuffer(stream_, data.BufferHandle), "DSQueueBuffer");
            else
                held_.push_back(data.BufferHandle);
        }
    }

private:
    void open(std::uint32_t width, std::uint32_t height) {
        check(gt_.GCInitLib(), "GCInitLib");
        initialized_ = true;
        check(gt_.TLOpen(&system_), "TLOpen");
        bool8_t changed = 0;
        check(gt_.TLUpdateInterfaceList(system_, &changed, kRefreshMs), "TLUpdateInterfaceList");
        check(gt_.TLOpenInterface(system_, kInterfaceId, &iface_), "TLOpenInterface");
        check(gt_.IFUpdateDeviceList(iface_, &changed, kRefreshMs), "IFUpdateDeviceList");
        check(gt_.IFOpenDevice(iface_, kCameraId, DEVICE_ACCESS_EXCLUSIVE, &device_), "IFOpenDevice");
        check(gt_.DevGetPort(device_, &port_), "DevGetPort");
        // Offsets first, so that the new size always fits the sensor.
        write(kOffsetX, 0);
        write(kOffsetY, 0);
        write(kPixelFormat, kMono8);
        write(kWidth, width);
        write(kHeight, height);
        char streamId[256] = {};
        size_t idSize = sizeof streamId;
        check(gt_.DevGetDataStreamID(device_, 0, streamId, &idSize), "DevGetDataStreamID");
        check(gt_.DevOpenDataStream(device_, streamId, &stream_), "DevOpenDataStream");
        size_t payload = 0, payloadSize = sizeof payload;
        INFO_DATATYPE type = INFO_DATATYPE_UNKNOWN;
        check(gt_.DSGetInfo(stream_, STREAM_INFO_PAYLOAD_SIZE, &type, &payload, &payloadSize), "DSGetInfo");
        held_.reserve(buffers_);
        for (std::size_t index = 0; index < buffers_; ++index) {
            BUFFER_HANDLE buffer = nullptr;
            check(gt_.DSAllocAndAnnounceBuffer(stream_, payload, nullptr, &buffer), "DSAllocAndAnnounceBuffer");
            check(gt_.DSQueueBuffer(stream_, buffer), "DSQueueBuffer");
        }
        check(gt_.GCRegisterEvent(stream_, EVENT_NEW_BUFFER, &event_), "GCRegisterEvent");
        write(kTLParamsLocked, 1);
        check(gt_.DSStartAcquisition(stream_, ACQ_START_FLAGS_DEFAULT, GENTL_INFINITE), "DSStartAcquisition");
        write(kAcquisitionStart, 1);
    }

    // Closing the system module closes everything below it in the simulator.
    void close() noexcept {
        if (port_ != nullptr) {
            tryWrite(kAcquisitionStop, 1);
            if (stream_ != nullptr) gt_.DSStopAcquisition(stream_, ACQ_STOP_FLAGS_KILL);
            tryWrite(kTLParamsLocked, 0);
        }
        if (system_ != nullptr) gt_.TLClose(system_);
        if (initialized_) gt_.GCCloseLib();
        port_ = nullptr;
        stream_ = nullptr;
        system_ = nullptr;
        initialized_ = false;
    }

    GC_ERROR tryWrite(std::uint64_t address, std::uint32_t value) {
        size_t size = sizeof value;
        return gt_.GCWritePort(port_, address, &value, &size);
    }
    void write(std::uint64_t address, std::uint32_t value) { check(tryWrite(address, value), "GCWritePort"); }

    const GenTLFunctions& gt_;
    const std::size_t buffers_;
    bool initialized_ = false;
    TL_HANDLE system_ = nullptr;
    IF_HANDLE iface_ = nullptr;
    DEV_HANDLE device_ = nullptr;
    PORT_HANDLE port_ = nullptr;
    DS_HANDLE stream_ = nullptr;
    EVENT_HANDLE event_ = nullptr;
    std::vector<BUFFER_HANDLE> held_;
};

// The library's path: the public interface only, polling with GetFilledBuffer or receiving in a handler.
class LibraryStream {
public:
    LibraryStream(CORVID2::Interface* iface, std::uint32_t width, std::uint32_t height, std::size_t buffers,
                  bool handler)
        : buffers_(buffers), handler_(handler) {
        try {
            open(iface, width, height);
        } catch (...) {
            close();
            throw;
        }
    }
    ~LibraryStream() { close(); }
    LibraryStream(const LibraryStream&) = delete;
    LibraryStream& operator=(const LibraryStream&) = delete;

    void run(std::size_t frames) {
        if (handler_)
            receive(frames);
        else
            poll(frames);
    }

private:
    void open(CORVID2::Interface* iface, std::uint32_t width, std::uint32_t height) {
        device_ = (*iface->GetDevices())[kCameraId];
        device_->Open();
        device_->GetRemoteNode("OffsetX")->SetInt(0);
        device_->GetRemoteNode("OffsetY")->SetInt(0);
        device_->GetRemoteNode("PixelFormat")->SetString("Mono8");
        device_->GetRemoteNode("Width")->SetInt(width);
        device_->GetRemoteNode("Height")->SetInt(height);
        stream_ = (*device_->GetDataStreams())[std::size_t{0}];
        stream_->Open();
        CORVID2::BufferList* list = stream_->GetBufferList();
        owned_.reserve(buffers_);
        held_.reserve(buffers_);
        parked_.reserve(buffers_);
        for (std::size_t index = 0; index < buffers_; ++index) {
            owned_.emplace_back(new CORVID2::Buffer());
            list->Add(owned_.back().get());
            owned_.back()->QueueBuffer();
        }
        // Until the first block raises the limit, the handler parks every buffer it receives.
        if (handler_) stream_->RegisterNewBufferEventHandler(this, &LibraryStream::onNewBuffer);
        stream_->StartAcquisitionContinuous();
        device_->GetRemoteNode("AcquisitionStart")->Execute();
    }

    // The device destroys its streams as it closes; only then may the buffers go.
    void close() noexcept {
        try {
            if (device_ != nullptr && device_->IsOpen()) {
                device_->GetRemoteNode("AcquisitionStop")->Execute();
                if (stream_ != nullptr) stream_->StopAcquisition();
            }
        } catch (...) {
        }
        try {
            if (device_ != nullptr && device_->IsOpen()) device_->Close();
        } catch (...) {
        }
        stream_ = nullptr;
        device_ = nullptr;
        owned_.clear();
    }

    void poll(std::size_t frames) {
        for (CORVID2::Buffer* buffer : held_) buffer->QueueBuffer();
        held_.clear();
        const std::size_t requeued = frames - buffers_;
        for (std::size_t frame = 0; frame < frames; ++frame) {
            CORVID2::Buffer* buffer = stream_->GetFilledBuffer(kTimeoutMs);
            if (buffer == nullptr) throw std::runtime_error("GetFilledBuffer timed out");
            if (frame < requeued)
                buffer->QueueBuffer();
            else
                held_.push_back(buffer);
        }
    }

    // The handler thread requeues up to the block's limit and parks the rest; the block ends when every buffer
    // is parked, which the handler signals once per block.
    void receive(std::size_t frames) {
        std::unique_lock<std::mutex> lock(mutex_);
        waitAllParked(lock);
        requeueUpTo_.store(counted_.load(std::memory_order_acquire) + frames - buffers_, std::memory_order_release);
        held_.swap(parked_);
        lock.unlock();
        for (CORVID2::Buffer* buffer : held_) buffer->QueueBuffer();
        held_.clear();
        lock.lock();
        waitAllParked(lock);
    }

    void waitAllParked(std::unique_lock<std::mutex>& lock) {
        const bool done = allParked_.wait_for(lock, std::chrono::milliseconds(kTimeoutMs) * 4,
                                              [&] { return parked_.size() == buffers_ || !failure_.empty(); });
        if (!failure_.empty()) throw std::runtime_error("handler: " + failure_);
        if (!done) throw std::runtime_error("the handler did not receive the block's frames in time");
    }

    static void onNewBuffer(void* userObj, CORVID2::Buffer* buffer) {
        auto& self = *static_cast<LibraryStream*>(userObj);
        if (buffer == nullptr) return;
        // Only this thread counts, so a plain increment suffices.
        const std::uint64_t count = self.counted_.load(std::memory_order_relaxed) + 1;
        self.counted_.store(count, std::memory_order_release);
        if (count <= self.requeueUpTo_.load(std::memory_order_acquire)) {
            try {
                buffer->QueueBuffer();
                return;
            } catch (const CORVID2::Exceptions::IException& error) {
                std::lock_guard<std::mutex> lock(self.mutex_);
                self.failure_ = error.GetErrorDescription().get();
            }
        }
        std::lock_guard<std::mutex> lock(self.mutex_);
        self.parked_.push_back(buffer);
        if (self.parked_.size() == self.buffers_ || !self.failure_.empty()) self.allParked_.notify_one();
    }

    const std::size_t buffers_;
    const bool handler_;
    CORVID2::Device* device_ = nullptr;
    CORVID2::DataStream* stream_ = nullptr;
    std::vector<std::unique_ptr<CORVID2::Buffer>> owned_;
    std::vector<CORVID2::Buffer*> held_;  // by the benchmark thread between blocks
    std::atomic<std::uint64_t> counted_{0};
    std::atomic<std::uint64_t> requeueUpTo_{0};
    std::mutex mutex_;  // guards parked_ and failure_
    std::condition_variable allParked_;
    std::vector<CORVID2::Buffer*> parked_;  // by the handler
    std::string failure_;
};

enum class Path { Polling, Handler };

// Raw and library blocks alternate (raw first in even rounds, library first in odd ones), so that a change of
// the machine's load meets both alike. The benchmark's own time covers the library blocks only: its Time column
// is the library's wall time per frame, its CPU column the process CPU time per library frame.
void compare(benchmark::State& state, Path path) {
    const auto width = static_cast<std::uint32_t>(state.range(0));
    const auto height = static_cast<std::uint32_t>(state.range(1));
    const auto buffers = static_cast<std::size_t>(state.range(2));
    const std::size_t frames = framesPerBlock(width, height);
    Tally raw, library;
    try {
        RawStream rawStream(*rawProducer, width, height, buffers);
        LibraryStream libraryStream(libraryInterface, width, height, buffers, path == Path::Handler);
        // The first frames also render the test pattern once and bring both paths' code and data in.
        const std::size_t warmUp = std::max(buffers + 64, frames / 10);
        rawStream.run(warmUp);
        libraryStream.run(warmUp);
        int round = 0;
        while (state.KeepRunningBatch(static_cast<benchmark::IterationCount>(frames))) {
            const bool rawFirst = round++ % 2 == 0;
            if (rawFirst) {
                state.PauseTiming();
                raw.measure(frames, [&] { rawStream.run(frames); });
                state.ResumeTiming();
            }
            library.measure(frames, [&] { libraryStream.run(frames); });
            if (!rawFirst) {
                state.PauseTiming();
                raw.measure(frames, [&] { rawStream.run(frames); });
                state.ResumeTiming();
            }
        }
    } catch (const CORVID2::Exceptions::IException& error) {
        state.SkipWithError((std::string(error.GetType().get()) + ": " + error.GetErrorDescription().get()).c_str());
        return;
    } catch (const std::exception& error) {
        state.SkipWithError(error.what());
        return;
    }
    state.SetItemsProcessed(state.iterations());
    // Times per frame in seconds (shown with SI prefixes: 7.9u is 7.9 us), ratios in percent.
    state.counters["raw_fps"] = raw.frames / raw.wall;
    state.counters["lib_wall"] = library.wallPerFrame();
    state.counters["raw_wall"] = raw.wallPerFrame();
    state.counters["lib_cpu"] = library.cpuPerFrame();
    state.counters["raw_cpu"] = raw.cpuPerFrame();
    state.counters["ratio_cpu%"] = 100 * raw.cpuPerFrame() / library.cpuPerFrame();
    state.counters["ratio_wall%"] = 100 * raw.wallPerFrame() / library.wallPerFrame();
    state.counters["overhead_cpu"] = library.cpuPerFrame() - raw.cpuPerFrame();
    state.counters["overhead_wall"] = library.wallPerFrame() - raw.wallPerFrame();
}

void BM_Polling(benchmark::State& state) { compare(state, Path::Polling); }
void BM_Handler(benchmark::State& state) { compare(state, Path::Handler); }

struct Case {
    const char* label;
    void (*function)(benchmark::State&);
    const char* name;
    std::int64_t buffers;
};
constexpr Case kCases[] = {{"polling, 16 buffers", BM_Polling, "BM_Polling", 16},
                           {"handler, 16 buffers", BM_Handler, "BM_Handler", 16},
                           {"polling, 1024 buffers", BM_Polling, "BM_Polling", 1024}};
constexpr std::int64_t kSizes[][2] = {{640, 480}, {2448, 2048}};

// Iterations depend on the image size, so every case is registered on its own.
void registerCases() {
    for (const auto& size : kSizes)
        for (const Case& c : kCases) {
            // 1024 full-sensor buffers for each path would take 10 GB; the buffer count's cost is
            // per image, not per byte, so the small image shows it.
            if (size[0] > 640 && c.buffers > 16) continue;
            benchmark::RegisterBenchmark(c.name, c.function)
                ->Args({size[0], size[1], c.buffers})
                ->Iterations(static_cast<benchmark::IterationCount>(
                    framesPerBlock(static_cast<std::uint32_t>(size[0]), static_cast<std::uint32_t>(size[1])) * kRounds))
                ->UseRealTime()
                ->MeasureProcessCPUTime()
                ->Unit(benchmark::kMicrosecond);
        }
}

// Prints the usual table, then one summary line per case and the 1024-buffer overhead against the 16-buffer one,
// from the medians when repeated.
class SummaryReporter : public benchmark::ConsoleReporter {
public:
    // A reporter of its own does not see the colour flag; colours only on a terminal.
    SummaryReporter() : ConsoleReporter(isatty(fileno(stdout)) != 0 ? OO_ColorTabular : OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.error_occurred) continue;
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (run.run_type != Run::RT_Iteration && !median) continue;
            const std::string key = run.run_name.function_name + "/" + run.run_name.args;
            if (!median && medians_.count(key) != 0) continue;
            if (median) medians_[key] = true;
            auto& figures = figures_[key];
            for (const auto& counter : run.counters) figures[counter.first] = counter.second.value;
        }
    }

    void Finalize() override {
        ConsoleReporter::Finalize();
        std::printf(
            "\nLibrary against the raw GenTL loop on the simulated camera, alternating blocks in one run%s.\n"
            "Ratio (frames per CPU second, library / raw) and overhead (library - raw time per frame) from the\n"
            "process CPU time, which other programs' load sways less than the wall clock; wall-clock figures in "
            "brackets.\n",
            medians_.empty() ? "" : " (medians of the repetitions)");
        for (const auto& size : kSizes) {
            const std::string dims = std::to_string(size[0]) + "/" + std::to_string(size[1]) + "/";
            const std::string shown = std::to_string(size[0]) + "x" + std::to_string(size[1]);
            for (const Case& c : kCases) {
                const auto it = figures_.find(std::string(c.name) + "/" + dims + std::to_string(c.buffers));
                if (it == figures_.end()) continue;
                auto& f = it->second;
                const double ratio = f["ratio_cpu%"] / 100, overhead = f["overhead_cpu"] * 1e6;
                std::printf(
                    "  %-9s %-21s library %7.2f us/frame, raw %7.2f us: ratio %.3f (target >= 0.95: %s), "
                    "overhead %+.2f us (target < 2 us: %s)  [wall: %.0f vs %.0f fps, %.2f vs %.2f us, ratio %.3f, "
                    "overhead %+.2f us]\n",
                    shown.c_str(), c.label, f["lib_cpu"] * 1e6, f["raw_cpu"] * 1e6, ratio, verdict(ratio >= 0.95),
                    overhead, verdict(overhead < 2), 1 / f["lib_wall"], f["raw_fps"], f["lib_wall"] * 1e6,
                    f["raw_wall"] * 1e6, f["ratio_wall%"] / 100, f["overhead_wall"] * 1e6);
            }
            const auto few = figures_.find("BM_Polling/" + dims + "16");
            const auto many = figures_.find("BM_Polling/" + dims + "1024");
            if (few == figures_.end() || many == figures_.end()) continue;
            const double small = few->second["overhead_cpu"] * 1e6, large = many->second["overhead_cpu"] * 1e6;
            std::printf("  %-9s overhead with 1024 buffers %+.2f us, with 16 %+.2f us: %+.2f us", shown.c_str(), large,
                        small, large - small);
            // A percentage of an overhead near zero says nothing.
            if (small >= 0.1)
                std::printf(", %+.1f %% (target within 10 %%: %s)", 100 * (large - small) / small,
                            verdict(large <= small * 1.1));
            std::printf("  [wall: %+.2f us vs %+.2f us]\n", many->second["overhead_wall"] * 1e6,
                        few->second["overhead_wall"] * 1e6);
        }
    }

private:
    static const char* verdict(bool met) { return met ? "met" : "MISSED"; }

    std::map<std::string, std::map<std::string, double>> figures_;
    std::map<std::string, bool> medians_;
};

// The raw loop's producer: a copy of the simulator file, which the system loader keeps apart from the library's
// (a process shares one loaded file, and the simulator's state is process-wide).
std::unique_ptr<ProducerLibrary> loadRawProducer() {
    namespace fs = std::filesystem;
    const fs::path folder =
        fs::temp_directory_path() / ("corvid2_bench_acquisition_" + std::to_string(std::random_device{}()));
    fs::create_directories(folder);
    const fs::path copy = folder / "corvid2_sim_raw.cti";
    fs::copy_file(CORVID2_SIM_FILE, copy, fs::copy_options::overwrite_existing);
    std::unique_ptr<ProducerLibrary> library;
    try {
        library = std::make_unique<ProducerLibrary>(copy.string());
    } catch (...) {
        fs::remove_all(folder);
        throw;
    }
    // The loaded image no longer needs its file.
    fs::remove_all(folder);
    return library;
}

CORVID2::Interface* openLibraryInterface() {
    CORVID2::SystemList* systems = CORVID2::SystemList::GetInstance();
    systems->Refresh();
    for (CORVID2::System* system : *systems) {
        if (std::string(system->GetFileName().get()) != "corvid2_sim.cti") continue;
        if (!system->IsOpen()) system->Open();
        CORVID2::InterfaceList* interfaces = system->GetInterfaces();
        interfaces->Refresh(kRefreshMs);
        CORVID2::Interface* iface = (*interfaces)[kInterfaceId];
        if (!iface->IsOpen()) iface->Open();
        iface->GetDevices()->Refresh(kRefreshMs);
        return iface;
    }
    throw std::runtime_error("the library found no corvid2_sim.cti");
}

// Three repetitions unless the command line asks otherwise.
std::vector<char*> withDefaultRepetitions(int argc, char** argv) {
    static char repetitions[] = "--benchmark_repetitions=3";
    std::vector<char*> args(argv, argv + argc);
    bool given = false;
    for (int index = 1; index < argc; ++index)
        given = given || std::string(argv[index]).rfind("--benchmark_repetitions", 0) == 0;
    if (!given) args.insert(args.begin() + 1, repetitions);
    args.push_back(nullptr);
    return args;
}

}  // namespace

int main(int argc, char** argv) {
    // Both simulators read this when initialised: the cameras run as fast as buffers come back.
    setenv("CORVID2_SIM_FRAME_RATE", "0", 1);
    std::vector<char*> args = withDefaultRepetitions(argc, argv);
    int count = static_cast<int>(args.size()) - 1;
    benchmark::Initialize(&count, args.data());
    if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 1;

    std::unique_ptr<ProducerLibrary> raw;
    try {
        raw = loadRawProducer();
        rawProducer = &raw->functions();
        libraryInterface = openLibraryInterface();
    } catch (const CORVID2::Exceptions::IException& error) {
        std::fprintf(stderr, "set-up failed: %s\n", error.GetErrorDescription().get());
        return 1;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "set-up failed: %s\n", error.what());
        return 1;
    }
    std::printf("library traces %s\n", CORVID2::Trace::IsEnabled() ? "ON (figures include them)" : "off");

    registerCases();
    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    libraryInterface = nullptr;
    CORVID2::SystemList::ReleaseInstance();
    return 0;
}
