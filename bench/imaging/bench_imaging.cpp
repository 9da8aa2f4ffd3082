// SPDX-License-Identifier: BSD-3-Clause
// Benchmark of the image library on a 2448 x 2048 frame: BayerRG8 to RGB8 bilinear on one and two threads, Mono12p
// and Mono12Packed to Mono16 against a memcpy of the output, and a Mono8 histogram; OpenCV is the baseline when
// the build found it. Prints the figures, the ratios and the goals.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "corvid2_img/corvid2_img.h"
#include "cpu_features.h"
#include "histogram.h"
#include "image_view.h"
#include "pixel_format.h"
#include "thread_pool.h"
#include "unpack.h"

#ifdef CORVID2_HAVE_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/core/utility.hpp>
#include <opencv2/imgproc.hpp>
#endif

namespace {

using namespace corvid2::img;

constexpr uint32_t kWidth = 2448, kHeight = 2048;

double fastest(const std::vector<double>& runs) { return *std::min_element(runs.begin(), runs.end()); }

// Wall time (the two-thread runs are about elapsed time), repeated; the machine is shared, so the fastest repetition
// is the figure least disturbed by other work.
#define CORVID2_BENCH_FRAME(function)   \
    BENCHMARK(function)                 \
        ->UseRealTime()                 \
        ->Unit(benchmark::kMillisecond) \
        ->Repetitions(7)                \
        ->DisplayAggregatesOnly(true)   \
        ->ComputeStatistics("min", fastest)
constexpr size_t kPixels = size_t{kWidth} * kHeight;

std::vector<uint8_t> randomBytes(size_t count) {
    std::mt19937 random(2448);
    std::vector<uint8_t> bytes(count);
    for (uint8_t& b : bytes) b = static_cast<uint8_t>(random());
    return bytes;
}

/// The frames and output buffers, made once and touched before any measurement.
struct Frames {
    std::vector<uint8_t> raw8 = randomBytes(kPixels);
    std::vector<uint8_t> packed12 = randomBytes(kPixels * 3 / 2);
    std::vector<uint8_t> rgb = std::vector<uint8_t>(kPixels * 3, 1);
    std::vector<uint8_t> mono16 = std::vector<uint8_t>(kPixels * 2, 1);
    std::vector<uint8_t> copySource = std::vector<uint8_t>(kPixels * 2, 2);
};

Frames& frames() {
    static Frames f;
    return f;
}

/// A processor with its thread count and demosaicing method set through its port.
class Processor {
public:
    Processor(uint32_t threads, uint32_t method = 0) {
        ImageProcessorCreate(&processor_);
        const uint64_t length = 4;
        WritePort(processor_, IMG_REG_CONCURRENT_THREADS, &threads, &length);
        WritePort(processor_, IMG_REG_DEMOSAICING_METHOD, &method, &length);
    }
    ~Processor() { ImageProcessorRelease(processor_); }
    IImageProcessor* operator->() const { return processor_; }

private:
    IImageProcessor* processor_ = nullptr;
};

class Image {
public:
    Image(const char* format, std::vector<uint8_t>& pixels) {
        ImageCreate(kWidth, kHeight, format, pixels.data(), pixels.size(), &image_);
    }
    ~Image() { ImageRelease(image_); }
    IImage* get() const { return image_; }

private:
    IImage* image_ = nullptr;
};

void BM_BayerToRgb(benchmark::State& state) {
    const auto threads = static_cast<uint32_t>(state.range(0));
    const auto method = static_cast<uint32_t>(state.range(1));
    const bool scalar = state.range(2) != 0;
    Frames& f = frames();
    Processor processor(threads, method);
    Image image("BayerRG8", f.raw8);
    limitIsa(scalar ? Isa::Scalar : Isa::Avx512);
    for (auto _ : state) {
        if (processor->TransformImageToBuffer(image.get(), "RGB8", f.rgb.data(), f.rgb.size()) != IMG_SUCCESS)
            state.SkipWithError("conversion failed");
        benchmark::ClobberMemory();
    }
    limitIsa(Isa::Avx512);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kPixels * 4));
}
// threads, method (0 bilinear, 1 gradient-corrected), scalar kernels only
CORVID2_BENCH_FRAME(BM_BayerToRgb)->Args({1, 0, 0})->Args({2, 0, 0})->Args({1, 0, 1})->Args({1, 1, 0})->Args({2, 1, 0});

void BM_Unpack12ToMono16(benchmark::State& state) {
    const bool gigE = state.range(0) != 0;
    const auto isa = static_cast<Isa>(state.range(1));
    const auto threads = static_cast<uint32_t>(state.range(2));
    if (isa > detectedIsa()) {
        state.SkipWithError("instruction set not available");
        return;
    }
    Frames& f = frames();
    Processor processor(threads);
    Image image(gigE ? "Mono12Packed" : "Mono12p", f.packed12);
    limitIsa(isa);
    for (auto _ : state) {
        processor->TransformImageToBuffer(image.get(), "Mono16", f.mono16.data(), f.mono16.size());
        benchmark::ClobberMemory();
    }
    limitIsa(Isa::Avx512);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kPixels * 2));
}
// packing (0 "p", 1 GigE "Packed"), instruction set, threads
CORVID2_BENCH_FRAME(BM_Unpack12ToMono16)
    ->Args({0, 0, 1})
    ->Args({0, 1, 1})
    ->Args({0, 2, 1})
    ->Args({0, 3, 1})
    ->Args({0, 3, 2})
    ->Args({1, 0, 1})
    ->Args({1, 1, 1})
    ->Args({1, 2, 1})
    ->Args({1, 3, 1})
    ->Args({1, 3, 2});

// The baseline of unpacking: copying the 10 MB of Mono16 output.
void BM_MemcpyMono16(benchmark::State& state) {
    Frames& f = frames();
    for (auto _ : state) {
        std::memcpy(f.mono16.data(), f.copySource.data(), f.mono16.size());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kPixels * 2));
}
CORVID2_BENCH_FRAME(BM_MemcpyMono16);

void BM_HistogramMono8(benchmark::State& state) {
    const auto threads = static_cast<unsigned>(state.range(0));
    Frames& f = frames();
    const ImageView view{findPixelFormat("Mono8"), kWidth, kHeight, f.raw8.data(), kPixels};
    CHistogramCounts counts;
    for (auto _ : state) {
        counts.count(view, Region{0, 0, kWidth, kHeight}, kDefaultWeights, threads);
        benchmark::DoNotOptimize(counts.counts[0].data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kPixels));
}
CORVID2_BENCH_FRAME(BM_HistogramMono8)->Arg(1)->Arg(2);

// The same through the exported function, with its record set.
void BM_ImageGetHistogramMono8(benchmark::State& state) {
    Frames& f = frames();
    Image image("Mono8", f.raw8);
    std::vector<uint64_t> counts(256);
    qx_tHistRecord record{};
    record.counts = counts.data();
    record.binCount = 256;
    setDefaultConcurrency(1);
    for (auto _ : state) {
        ImageGetHistogram(image.get(), qx_tHistRecords{&record, 1, 0}, 0, 0, 0, 0);
        benchmark::DoNotOptimize(counts.data());
    }
    setDefaultConcurrency(0);
}
CORVID2_BENCH_FRAME(BM_ImageGetHistogramMono8);

#ifdef CORVID2_HAVE_OPENCV
// PFNC BayerRG (R G / G B from the top left) is what OpenCV calls BayerBG.
void BM_OpenCvBayerToRgb(benchmark::State& state) {
    Frames& f = frames();
    cv::setNumThreads(static_cast<int>(state.range(0)));
    const cv::Mat raw(kHeight, kWidth, CV_8UC1, f.raw8.data());
    cv::Mat rgb(kHeight, kWidth, CV_8UC3, f.rgb.data());
    for (auto _ : state) {
        cv::cvtColor(raw, rgb, cv::COLOR_BayerBG2RGB);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kPixels * 4));
}
CORVID2_BENCH_FRAME(BM_OpenCvBayerToRgb)->Arg(1)->Arg(2);

void BM_OpenCvCalcHist(benchmark::State& state) {
    Frames& f = frames();
    cv::setNumThreads(1);
    const cv::Mat raw(kHeight, kWidth, CV_8UC1, f.raw8.data());
    const int channels[] = {0};
    const int bins[] = {256};
    const float range[] = {0, 256};
    const float* ranges[] = {range};
    cv::Mat histogram;
    for (auto _ : state) {
        cv::calcHist(&raw, 1, channels, cv::Mat(), histogram, 1, bins, ranges);
        benchmark::DoNotOptimize(histogram.data);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kPixels));
}
CORVID2_BENCH_FRAME(BM_OpenCvCalcHist);
#endif

/// Keeps the "min" aggregate of every benchmark for the summary.
class RecordingReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs)
            if (!run.error_occurred && run.run_type == Run::RT_Aggregate && run.aggregate_name == "min")
                best_[run.run_name.function_name + "/" + run.run_name.args] =
                    run.GetAdjustedRealTime() * multiplier(run.time_unit) / 1e6;
        ConsoleReporter::ReportRuns(runs);
    }
    /// Milliseconds of the fastest run, 0 when it did not run.
    double ms(const std::string& name) const {
        auto it = best_.find(name);
        return it == best_.end() ? 0 : it->second;
    }

private:
    static double multiplier(benchmark::TimeUnit unit) {
        switch (unit) {
            case benchmark::kSecond:
                return 1e9;
            case benchmark::kMillisecond:
                return 1e6;
            case benchmark::kMicrosecond:
                return 1e3;
            default:
                return 1;
        }
    }
    std::map<std::string, double> best_;
};

// One line of the summary: the figure, and its ratio to the baseline with the goal when there is a baseline.
void line(const char* what, double ms, double baseline = 0, const char* baselineName = "", const char* goal = "") {
    if (ms <= 0) return;
    if (baseline > 0)
        std::printf("  %-46s %7.3f ms  %5.2f x %s (goal %s)\n", what, ms, ms / baseline, baselineName, goal);
    else
        std::printf("  %-46s %7.3f ms\n", what, ms);
}

std::string cpuFlags() {
    std::string flags;
#if defined(__x86_64__) || defined(__i386__)
    const std::pair<bool, const char*> features[] = {{__builtin_cpu_supports("sse4.2"), "sse4.2"},
                                                     {__builtin_cpu_supports("avx2"), "avx2"},
                                                     {__builtin_cpu_supports("avx512f"), "avx512f"},
                                                     {__builtin_cpu_supports("avx512bw"), "avx512bw"},
                                                     {__builtin_cpu_supports("avx512vbmi"), "avx512vbmi"}};
    for (const auto& [present, name] : features)
        if (present) flags += std::string(flags.empty() ? "" : " ") + name;
#endif
    return flags.empty() ? "none of SSE4.2, AVX2, AVX-512" : flags;
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    std::printf("corvid2_img on a %u x %u frame; processor features: %s; hardware threads: %u\n", kWidth, kHeight,
                cpuFlags().c_str(), defaultConcurrency());
    frames();  // allocated and touched before any timing
    std::fflush(stdout);
    RecordingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    const double memcpyMs = reporter.ms("BM_MemcpyMono16/");
    double openCv1 = 0, openCv2 = 0, calcHist = 0;
#ifdef CORVID2_HAVE_OPENCV
    openCv1 = reporter.ms("BM_OpenCvBayerToRgb/1");
    openCv2 = reporter.ms("BM_OpenCvBayerToRgb/2");
    calcHist = reporter.ms("BM_OpenCvCalcHist/");
    std::printf("\nOpenCV %s: BayerBG2RGB %.3f ms on 1 thread, %.3f ms on 2; calcHist %.3f ms\n", CV_VERSION, openCv1,
                openCv2, calcHist);
#else
    std::printf("\nOpenCV not found at configure time (Debian: libopencv-dev): figures without the baseline\n");
#endif
    std::printf("Fastest of 7 repetitions, wall time:\n");
    line("BayerRG8 -> RGB8 bilinear, 1 thread", reporter.ms("BM_BayerToRgb/1/0/0"), openCv1, "OpenCV 1 thread", "<= 1");
    line("BayerRG8 -> RGB8 bilinear, 2 threads", reporter.ms("BM_BayerToRgb/2/0/0"), openCv1, "OpenCV 1 thread",
         "<= 0.5");
    line("  (against OpenCV on 2 threads)", reporter.ms("BM_BayerToRgb/2/0/0"), openCv2, "OpenCV 2 threads", "-");
    line("BayerRG8 -> RGB8 bilinear, scalar kernels, 1 thread", reporter.ms("BM_BayerToRgb/1/0/1"), openCv1,
         "OpenCV 1 thread", "-");
    line("BayerRG8 -> RGB8 gradient-corrected, 1 thread", reporter.ms("BM_BayerToRgb/1/1/0"));
    line("BayerRG8 -> RGB8 gradient-corrected, 2 threads", reporter.ms("BM_BayerToRgb/2/1/0"));
    const char* const isaNames[] = {"scalar", "SSE4.2", "AVX2", "AVX-512"};
    for (int gigE = 0; gigE < 2; ++gigE) {
        for (int isa = 0; isa < 4; ++isa) {
            const std::string name =
                std::string(gigE ? "Mono12Packed" : "Mono12p") + " -> Mono16, " + isaNames[isa] + ", 1 thread";
            line(name.c_str(),
                 reporter.ms("BM_Unpack12ToMono16/" + std::to_string(gigE) + "/" + std::to_string(isa) + "/1"),
                 memcpyMs, "memcpy", "<= 1.5");
        }
        const std::string name = std::string(gigE ? "Mono12Packed" : "Mono12p") + " -> Mono16, best, 2 threads";
        line(name.c_str(), reporter.ms("BM_Unpack12ToMono16/" + std::to_string(gigE) + "/3/2"), memcpyMs, "memcpy",
             "-");
    }
    line("memcpy of the Mono16 output (10 MB)", memcpyMs);
    line("Mono8 histogram, 1 thread", reporter.ms("BM_HistogramMono8/1"), calcHist, "calcHist", "< 1");
    line("Mono8 histogram, 2 threads", reporter.ms("BM_HistogramMono8/2"), calcHist, "calcHist", "-");
    line("ImageGetHistogram Mono8, 1 thread", reporter.ms("BM_ImageGetHistogramMono8/"), calcHist, "calcHist", "< 1");
    benchmark::Shutdown();
    return 0;
}
