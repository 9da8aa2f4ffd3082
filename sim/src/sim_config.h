// SPDX-License-Identifier: BSD-3-Clause
// Settings read from CORVID2_SIM_* environment variables when the producer is initialised, and fault injection.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "sim_error.h"
#include "xml_catalog.h"

namespace corvid2::sim {

struct InterfacePlan {
    std::string tlType;
    std::vector<CameraKind> cameras;
};

struct SimConfig {
    std::string vendor = "Velmor";
    std::string systemId = "corvid2_sim";  // TL_INFO_ID of the system module
    std::vector<InterfacePlan> interfaces;
    double frameRate = 30;  // default AcquisitionFrameRate of the cameras; 0 free-runs
    std::string descriptionDir;
    std::string faults;
    uint32_t incompleteEvery = 0;
    uint32_t frameDelayUs = 0;

    static SimConfig fromEnvironment();
    // "GEV:mono,bayer;U3V:polarized,serial"
    static std::vector<InterfacePlan> parseInterfaces(const std::string& text);
};

// Makes a named GenTL function fail with a given code a number of times.
class FaultTable {
public:
    void arm(const std::string& function, GC_ERROR code, uint32_t count);
    // "Function:code[:count],..."
    void armFromText(const std::string& text);
    // The code to fail with when `function` is armed (and one use is spent), else GC_ERR_SUCCESS.
    GC_ERROR take(const char* function);
    void clear();

private:
    struct Fault {
        GC_ERROR code;
        uint32_t remaining;
    };
    std::mutex mutex_;
    std::map<std::string, Fault> faults_;
    std::atomic<bool> any_{false};
};

}  // namespace corvid2::sim
