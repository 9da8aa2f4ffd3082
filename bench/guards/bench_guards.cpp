// SPDX-License-Identifier: BSD-3-Clause
// Measures what a guard costs a public method, against a bare locked hash lookup of the same run.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/object_guard.h"
#include "core/public_method.h"

using namespace corvid2;

namespace {

struct Holder {
    CorvidObjectAccessControl access_;
    int value_ = 0;
};
using CHolderGuard = CObjectGuard<RegistryKind::BufferData, Holder, RecordMember<Holder>>;

// One registered wrapper shared by every benchmark thread, among a realistic number of others.
struct Fixture {
    Fixture() {
        for (auto& other : others) CHolderGuard("bench").Register(&other, &other);
        CHolderGuard("bench").Register(&owner, holder);
        for (int i = 0; i < 200; ++i) baselineMap.emplace(&others[i], i);
        baselineMap.emplace(holder, 1);
    }
    Holder others[200];
    Holder storage;
    Holder* holder = &storage;
    int owner = 0;
    std::mutex baselineMutex;
    std::unordered_map<const void*, ObjectIdentity> baselineMap;
};
Fixture* fixture = nullptr;

// The floor of any registry design with a lock: take a mutex, one hash lookup, release.
void BM_Baseline_LockedHashLookup(benchmark::State& state) {
    for (auto _ : state) {
        std::lock_guard<std::mutex> hold(fixture->baselineMutex);
        benchmark::DoNotOptimize(fixture->baselineMap.find(fixture->holder));
    }
}

void BM_LookupOnlyGuard(benchmark::State& state) {
    for (auto _ : state) {
        CHolderGuard guard("CORVID2::Bench::Lookup", true);
        benchmark::DoNotOptimize(guard.Acquire(&fixture->owner, &fixture->holder));
    }
}

void BM_SharedGuard(benchmark::State& state) {
    for (auto _ : state) {
        CHolderGuard guard("CORVID2::Bench::Shared");
        benchmark::DoNotOptimize(guard.Acquire(&fixture->owner, &fixture->holder));
    }
}

void BM_ExclusiveGuard(benchmark::State& state) {
    for (auto _ : state) {
        CHolderGuard guard("CORVID2::Bench::Exclusive");
        benchmark::DoNotOptimize(guard.Acquire(&fixture->owner, &fixture->holder, AcquireMode::Exclusive));
    }
}

// The whole shape of a public method with a trivial operation: what remains beside the guard.
void BM_PublicMethodShape(benchmark::State& state) {
    for (auto _ : state) {
        int value = callGuarded<CHolderGuard>(
            CORVID2_METHOD(Bench, Get), kSharedChecked, &fixture->owner, &fixture->holder,
            [](Holder&) { return Result::Success; }, [](Holder& holder) { return holder.value_; });
        benchmark::DoNotOptimize(value);
    }
}

BENCHMARK(BM_Baseline_LockedHashLookup)->Threads(1)->Threads(2);
BENCHMARK(BM_LookupOnlyGuard)->Threads(1)->Threads(2);
BENCHMARK(BM_SharedGuard)->Threads(1)->Threads(2);
BENCHMARK(BM_ExclusiveGuard)->Threads(1)->Threads(2);
BENCHMARK(BM_PublicMethodShape)->Threads(1)->Threads(2);

// Prints the usual table, then every figure as a ratio to the baseline with the same thread count.
// With repetitions the median stands for a benchmark.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            const std::string name = run.run_name.str();
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (run.run_type != Run::RT_Iteration && !median) continue;
            if (!times_.count(name)) order_.push_back(name);
            if (median || !medians_.count(name)) times_[name] = run.GetAdjustedCPUTime();
            if (median) medians_.insert(name);
        }
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        std::map<std::string, double> baseline;
        for (const auto& [name, time] : times_)
            if (name.rfind("BM_Baseline_LockedHashLookup", 0) == 0) baseline[threadsOf(name)] = time;
        std::printf("\nCPU time per operation relative to a locked hash lookup with the same thread count:\n");
        for (const std::string& name : order_) {
            auto it = baseline.find(threadsOf(name));
            if (it != baseline.end() && it->second > 0)
                std::printf("  %-40s %8.2f ns  x%.2f\n", name.c_str(), times_[name], times_[name] / it->second);
        }
    }

private:
    static std::string threadsOf(const std::string& name) { return name.substr(name.rfind('/') + 1); }
    std::vector<std::string> order_;
    std::map<std::string, double> times_;
    std::set<std::string> medians_;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    Fixture shared;
    fixture = &shared;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
