// SPDX-License-Identifier: BSD-3-Clause
// Measures the trace call while tracing is off, the calling thread's cost with file output on
// against fprintf + fflush of the same line, and the writer thread's sustained line rate.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "trace/debug_trace.h"
#include "trace/trace.h"
#include "trace/trace_writer.h"

namespace {

namespace dbg = QXFramework::Debug;
namespace fs = std::filesystem;

// Lines are drained before the queue could reach the writer's backlog limit, so that every
// measured call is a real queued line and never a cheap dropped one.
constexpr std::int64_t kDrainEvery = 20000;
constexpr auto kPatience = std::chrono::seconds(60);
constexpr std::size_t kWriterBatch = 90000;

fs::path scratchFolder() {
    static const fs::path folder = [] {
        std::random_device seed;
        fs::path path = fs::temp_directory_path() / ("corvid2_bench_trace_" + std::to_string(seed()));
        fs::create_directories(path);
        return path;
    }();
    return folder;
}

// A trace object with the consumer's settings and file output into the scratch folder.
std::unique_ptr<dbg::CDebugTrace> fileTrace(const char* name) {
    auto trace = std::make_unique<dbg::CDebugTrace>("corvid2_genicam", dbg::kTargetFile);
    trace->setLevelMask(dbg::kLevelError | dbg::kLevelWarning | dbg::kLevelInformation);
    trace->setOptions(dbg::kOptionTimestamp | dbg::kOptionThreadId | dbg::kOptionPrefix | dbg::kOptionLineEnd);
    trace->setFileName((scratchFolder() / name).string());
    trace->setMaximumFileSizeBytes(std::uint64_t{1} << 40);  // rotation is not what is measured here
    trace->setEnabled(true);
    return trace;
}

// The baseline: the same line, formatted the same way, written and flushed by the caller.
void writeWithFprintf(std::FILE* file, std::int64_t i) {
    const auto now = corvid2::platform::localTimeNow();
    std::fprintf(file, "%02u.%02u.%02u %02u:%02u:%02u,%06u; %s; Inf; %04X; %s; %s; %lld\n", now.day, now.month,
                 now.year, now.hour, now.minute, now.second, now.millisecond * 1000, "corvid2_genicam",
                 corvid2::platform::currentThreadId(), "DeviceObj", "GetInfo", static_cast<long long>(i));
    std::fflush(file);
}

void BM_DisabledLibraryHelper(benchmark::State& state) {
    corvid2::CLibraryTrace::instance().trace().setEnabled(false);
    std::int64_t i = 0;
    for (auto _ : state) {
        corvid2::traceInfo("%s; %s; %lld", "DeviceObj", "GetInfo", static_cast<long long>(++i));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_DisabledLibraryHelper);

void BM_MaskedLevel(benchmark::State& state) {
    auto trace = fileTrace("masked.log");
    trace->setLevelMask(dbg::kLevelError);
    std::int64_t i = 0;
    for (auto _ : state) {
        trace->trace(0, dbg::kLevelInformation, 0, "%s; %s; %lld", "DeviceObj", "GetInfo", static_cast<long long>(++i));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_MaskedLevel);

void BM_FileOutputCaller(benchmark::State& state) {
    auto trace = fileTrace("caller.log");
    std::int64_t i = 0;
    for (auto _ : state) {
        trace->trace(0, dbg::kLevelInformation, 0, "%s; %s; %lld", "DeviceObj", "GetInfo", static_cast<long long>(++i));
        if (i % kDrainEvery == 0) {
            state.PauseTiming();
            trace->waitUntilWritten(kPatience);
            state.ResumeTiming();
        }
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FileOutputCaller);

void BM_FprintfFflushBaseline(benchmark::State& state) {
    std::FILE* file = std::fopen((scratchFolder() / "fprintf.log").string().c_str(), "w");
    std::int64_t i = 0;
    for (auto _ : state) writeWithFprintf(file, ++i);
    std::fclose(file);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FprintfFflushBaseline);

// The writer thread alone: a queue of distinct lines, timed from the thread's start until the
// last one is in the file.
void BM_WriterThroughput(benchmark::State& state) {
    const std::string path = (scratchFolder() / "writer.log").string();
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < kWriterBatch; ++i)
        lines.push_back("06.12.2026 13:05:09,123000; corvid2_genicam; Inf; 1A2B; DeviceObj; GetInfo; " +
                        std::to_string(i) + "\n");
    for (auto _ : state) {
        std::remove(path.c_str());
        dbg::CDbgTraceThread writer(path, -1);
        for (const std::string& line : lines) writer.queueLine(line);
        const auto begin = std::chrono::steady_clock::now();
        writer.start();
        writer.waitUntilWritten(kPatience);
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(kWriterBatch));
}
BENCHMARK(BM_WriterThroughput)->UseManualTime()->Unit(benchmark::kMillisecond);

// Per-call latency distribution, for the median that the targets speak of.
template <class Call>
std::vector<double> sampleCalls(std::size_t count, Call call, const std::function<void()>& drain) {
    std::vector<double> nanoseconds;
    nanoseconds.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        const auto begin = std::chrono::steady_clock::now();
        call(static_cast<std::int64_t>(i));
        nanoseconds.push_back(
            std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - begin).count());
        if ((i + 1) % kDrainEvery == 0) drain();
    }
    std::sort(nanoseconds.begin(), nanoseconds.end());
    return nanoseconds;
}

double percentile(const std::vector<double>& sorted, double p) {
    return sorted[std::min(sorted.size() - 1, static_cast<std::size_t>(p * static_cast<double>(sorted.size())))];
}

// Remembers each benchmark's time per iteration and rate for the summary.
class SummaryReporter : public benchmark::ConsoleReporter {
public:
    SummaryReporter() : ConsoleReporter(OO_Tabular) {}  // plain text: the figures end up in logs
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            const double toNanoseconds = benchmark::GetTimeUnitMultiplier(benchmark::kNanosecond) /
                                         benchmark::GetTimeUnitMultiplier(run.time_unit);
            nanosecondsPerIteration[run.benchmark_name()] = run.GetAdjustedRealTime() * toNanoseconds;
            cpuNanosecondsPerIteration[run.benchmark_name()] = run.GetAdjustedCPUTime() * toNanoseconds;
            const auto rate = run.counters.find("items_per_second");
            if (rate != run.counters.end()) itemsPerSecond[run.benchmark_name()] = rate->second.value;
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> nanosecondsPerIteration;
    std::map<std::string, double> cpuNanosecondsPerIteration;
    std::map<std::string, double> itemsPerSecond;
};

void printSummary(const SummaryReporter& reporter) {
    constexpr std::size_t kSamples = 200000;
    auto trace = fileTrace("sampled.log");
    const auto traced = sampleCalls(
        kSamples,
        [&](std::int64_t i) {
            trace->trace(0, dbg::kLevelInformation, 0, "%s; %s; %lld", "DeviceObj", "GetInfo",
                         static_cast<long long>(i));
        },
        [&] { trace->waitUntilWritten(kPatience); });
    std::FILE* file = std::fopen((scratchFolder() / "fprintf_sampled.log").string().c_str(), "w");
    const auto printed = sampleCalls(
        kSamples, [&](std::int64_t i) { writeWithFprintf(file, i); }, [] {});
    std::fclose(file);

    auto at = [](const std::map<std::string, double>& values, const char* name) {
        const auto it = values.find(name);
        return it == values.end() ? 0.0 : it->second;
    };
    // Wall time and the calling thread's processor time: on a shared machine the wall time also
    // holds whatever else ran meanwhile, the processor time only this thread's own work.
    auto both = [&](const char* label, const char* name, const char* target) {
        std::printf("%-36s wall %8.2f ns, cpu %8.2f ns %s\n", label, at(reporter.nanosecondsPerIteration, name),
                    at(reporter.cpuNanosecondsPerIteration, name), target);
    };
    auto ratio = [&](const std::map<std::string, double>& values) {
        const double baseline = at(values, "BM_FprintfFflushBaseline");
        return baseline > 0 ? at(values, "BM_FileOutputCaller") / baseline : 0.0;
    };
    const double writerRate = at(reporter.itemsPerSecond, "BM_WriterThroughput/manual_time");
    std::printf("\n---- trace summary ----\n");
    both("disabled call (library helper):", "BM_DisabledLibraryHelper", "(target < 5 ns)");
    both("masked level (trace object):", "BM_MaskedLevel", "");
    both("file output, caller, mean:", "BM_FileOutputCaller", "");
    both("fprintf + fflush, mean:", "BM_FprintfFflushBaseline", "");
    std::printf("ratio caller / fprintf+fflush mean:  wall %8.3f, cpu %8.3f (target <= 0.5)\n",
                ratio(reporter.nanosecondsPerIteration), ratio(reporter.cpuNanosecondsPerIteration));
    std::printf(
        "file output, caller, per call:      median %7.1f ns, p90 %7.1f ns, p99 %8.1f ns (target median < 1000 ns)\n",
        percentile(traced, 0.5), percentile(traced, 0.9), percentile(traced, 0.99));
    std::printf("fprintf + fflush, per call:         median %7.1f ns, p90 %7.1f ns, p99 %8.1f ns\n",
                percentile(printed, 0.5), percentile(printed, 0.9), percentile(printed, 0.99));
    std::printf("ratio of medians:                   %8.3f      (target <= 0.5)\n",
                percentile(traced, 0.5) / percentile(printed, 0.5));
    std::printf("writer thread:                      %8.0f lines/s (target >= 500000)\n", writerRate);
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    printSummary(reporter);
    benchmark::Shutdown();
    std::error_code ignored;
    fs::remove_all(scratchFolder(), ignored);
    return 0;
}
