// SPDX-License-Identifier: BSD-3-Clause
// What the public Node costs over the GenApi engine it wraps: a cached integer read and an integer
// write to the simulator's system module, each measured both ways in the same run.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>

#include <corvid2/genapi/genapi.h>

#include "corvid2/node.h"
#include "features/genapi_port.h"
#include "features/igenapi.h"
#include "features/xml_loader.h"
#include "modules/producerobj.h"
#include "nodes/node_views.h"

using namespace corvid2;

namespace {

constexpr char kFeature[] = "SimIncompleteEvery";  // cachable read-write integer without side effects

class Front : public CORVID2::INode {
public:
    Front() : INode(true) {}
    ~Front() = default;
};

// The simulator's system module with its node map, as a System holds it.
struct SystemModule {
    bool open() {
        producer = std::make_unique<CProducerObj>(CORVID2_SIM_FILE);
        if (!producer->loadProducer() || producer->table()->TLOpen(&handle) != GC_ERR_SUCCESS) return false;
        port = std::make_unique<CModulePort>(producer->table(), "", "SystemObj");
        port->port().setHandle(handle);
        std::string portName;
        if (port->port().getPortInfoText(PORT_INFO_PORTNAME, portName) != Result::Success) return false;
        port->port().setPortName(portName);
        std::unique_ptr<CXmlLoader> loader;
        if (loadPortDescription(port->port(), loader) != Result::Success) return false;
        genapi.setXML(&loader->text());
        genapi.connectPort(port.get(), portName);
        attachNodeSource(front, &genapi);
        engineNode = genapi::CIntegerPtr(genapi.engineMap()->GetNode(kFeature));
        node = front.GetNode(kFeature);
        return engineNode != nullptr;
    }
    ~SystemModule() {
        attachNodeSource(front, nullptr);
        genapi.releaseNodeMap();
        port.reset();
        if (handle != nullptr) producer->table()->TLClose(handle);
    }

    std::unique_ptr<CProducerObj> producer;
    TL_HANDLE handle = nullptr;
    std::unique_ptr<CModulePort> port;
    IGenAPI genapi;
    Front front;
    genapi::IInteger* engineNode = nullptr;
    CORVID2::Node* node = nullptr;
};

SystemModule* module = nullptr;

void BM_Baseline_EngineCachedRead(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(module->engineNode->GetValue());
}

void BM_NodeCachedRead(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(module->node->GetInt());
}

// The write path is the same for both: the wrapper asks the port whether to read back first.
void BM_Baseline_EngineWrite(benchmark::State& state) {
    std::int64_t value = 0;
    for (auto _ : state) {
        const bool verify = module->port->noteFeatureWrite(kFeature);
        module->engineNode->SetValue(++value & 0xFF, verify);
    }
}

void BM_NodeWrite(benchmark::State& state) {
    std::int64_t value = 0;
    for (auto _ : state) module->node->SetInt(++value & 0xFF);
}

BENCHMARK(BM_Baseline_EngineCachedRead);
BENCHMARK(BM_NodeCachedRead);
BENCHMARK(BM_Baseline_EngineWrite);
BENCHMARK(BM_NodeWrite);

// Prints the usual table, then each Node figure against its engine baseline (medians with repetitions).
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (run.run_type != Run::RT_Iteration && !median) continue;
            const std::string name = run.run_name.function_name;
            if (median || !medians_.count(name)) times_[name] = run.GetAdjustedCPUTime();
            if (median) medians_[name] = true;
        }
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        std::printf("\nPublic Node against the GenApi engine in the same run (traces off):\n");
        ratio("cached integer read", "BM_NodeCachedRead", "BM_Baseline_EngineCachedRead", 2.0);
        ratio("integer write to the simulator", "BM_NodeWrite", "BM_Baseline_EngineWrite", 0.0);
        // The measure: the layers added to a write, against the engine's own cached read.
        const double layers = times_["BM_NodeWrite"] - times_["BM_Baseline_EngineWrite"];
        const double read = times_["BM_Baseline_EngineCachedRead"];
        if (read > 0)
            std::printf("  layers on a write: %.1f ns = x%.2f of the engine's cached read (target <= 2)\n", layers,
                        layers / read);
    }

private:
    void ratio(const char* what, const char* name, const char* baseline, double target) {
        const double measured = times_[name], base = times_[baseline];
        if (base <= 0) return;
        std::printf("  %-32s Node %8.1f ns, engine %8.1f ns: x%.2f", what, measured, base, measured / base);
        if (target > 0) std::printf(" (target <= %.0f)", target);
        std::printf("\n");
    }
    std::map<std::string, double> times_;
    std::map<std::string, bool> medians_;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    SystemModule opened;
    if (!opened.open()) {
        std::fprintf(stderr, "the simulator's system module could not be opened from %s\n", CORVID2_SIM_FILE);
        return 1;
    }
    module = &opened;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
