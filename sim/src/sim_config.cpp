// SPDX-License-Identifier: BSD-3-Clause
// Environment parsing and the fault table.
#include "sim_config.h"

#include <dlfcn.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace corvid2::sim {

namespace {

// Settings that belong to one producer file: KEY=VALUE lines in "<file>.env" beside the ".cti".
// They let several copies of the simulator in one process present themselves differently (vendor,
// interfaces, id), which a process-wide environment cannot do.
std::map<std::string, std::string> fileSettings() {
    std::map<std::string, std::string> settings;
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&SimConfig::fromEnvironment), &info) == 0 || info.dli_fname == nullptr)
        return settings;
    std::ifstream in(std::string(info.dli_fname) + ".env");
    for (std::string line; std::getline(in, line);) {
        const size_t equals = line.find('=');
        if (equals != std::string::npos && line[0] != '#') settings[line.substr(0, equals)] = line.substr(equals + 1);
    }
    return settings;
}

// The file's own setting first, then the environment, then the fallback.
std::string env(const char* name, const std::string& fallback = "") {
    const char* value = std::getenv(name);
    return value != nullptr ? value : fallback;
}

std::string setting(const std::map<std::string, std::string>& file, const char* name,
                    const std::string& fallback = "") {
    const auto it = file.find(name);
    return it != file.end() ? it->second : env(name, fallback);
}

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::stringstream stream(text);
    std::string part;
    while (std::getline(stream, part, separator))
        if (!part.empty()) parts.push_back(part);
    return parts;
}

CameraKind parseKind(const std::string& name) {
    static const std::map<std::string, CameraKind> kKinds = {{"mono", CameraKind::Mono},
                                                             {"bayer", CameraKind::Bayer},
                                                             {"polarized", CameraKind::Polarized},
                                                             {"serial", CameraKind::Serial}};
    const auto it = kKinds.find(name);
    if (it == kKinds.end()) fail(GC_ERR_INVALID_PARAMETER, "unknown camera kind " + name);
    return it->second;
}
}  // namespace

std::vector<InterfacePlan> SimConfig::parseInterfaces(const std::string& text) {
    std::vector<InterfacePlan> plans;
    for (const std::string& item : split(text, ';')) {
        InterfacePlan plan;
        const size_t colon = item.find(':');
        plan.tlType = item.substr(0, colon);
        if (colon != std::string::npos)
            for (const std::string& kind : split(item.substr(colon + 1), ',')) plan.cameras.push_back(parseKind(kind));
        plans.push_back(plan);
    }
    return plans;
}

SimConfig SimConfig::fromEnvironment() {
    SimConfig config;
    const auto file = fileSettings();
    config.vendor = setting(file, "CORVID2_SIM_VENDOR", config.vendor);
    config.systemId = setting(file, "CORVID2_SIM_SYSTEM_ID", config.systemId);
    config.interfaces = parseInterfaces(setting(file, "CORVID2_SIM_INTERFACES", "GEV:mono,bayer;U3V:polarized,serial"));
    config.frameRate = std::strtod(setting(file, "CORVID2_SIM_FRAME_RATE", "30").c_str(), nullptr);
    config.descriptionDir = setting(file, "CORVID2_SIM_XML_DIR", env("TMPDIR", "/tmp"));
    config.faults = setting(file, "CORVID2_SIM_FAIL");
    config.incompleteEvery =
        static_cast<uint32_t>(std::strtoul(setting(file, "CORVID2_SIM_INCOMPLETE_EVERY", "0").c_str(), nullptr, 10));
    config.frameDelayUs =
        static_cast<uint32_t>(std::strtoul(setting(file, "CORVID2_SIM_FRAME_DELAY_US", "0").c_str(), nullptr, 10));
    return config;
}

void FaultTable::arm(const std::string& function, GC_ERROR code, uint32_t count) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (count == 0 || code == GC_ERR_SUCCESS)
        faults_.erase(function);
    else
        faults_[function] = Fault{code, count};
    any_ = !faults_.empty();
}

namespace {

// A fault's code: a GenTL error name (GC_ERR_IO) or its number (-1010).
GC_ERROR parseFaultCode(const std::string& text) {
#define CORVID2_SIM_NAMED(code) \
    { #code, code }
    static const std::pair<const char*, GC_ERROR> kNames[] = {
        CORVID2_SIM_NAMED(GC_ERR_ERROR),
        CORVID2_SIM_NAMED(GC_ERR_NOT_INITIALIZED),
        CORVID2_SIM_NAMED(GC_ERR_NOT_IMPLEMENTED),
        CORVID2_SIM_NAMED(GC_ERR_RESOURCE_IN_USE),
        CORVID2_SIM_NAMED(GC_ERR_ACCESS_DENIED),
        CORVID2_SIM_NAMED(GC_ERR_INVALID_HANDLE),
        CORVID2_SIM_NAMED(GC_ERR_INVALID_ID),
        CORVID2_SIM_NAMED(GC_ERR_NO_DATA),
        CORVID2_SIM_NAMED(GC_ERR_INVALID_PARAMETER),
        CORVID2_SIM_NAMED(GC_ERR_IO),
        CORVID2_SIM_NAMED(GC_ERR_TIMEOUT),
        CORVID2_SIM_NAMED(GC_ERR_ABORT),
        CORVID2_SIM_NAMED(GC_ERR_INVALID_BUFFER),
        CORVID2_SIM_NAMED(GC_ERR_NOT_AVAILABLE),
        CORVID2_SIM_NAMED(GC_ERR_INVALID_ADDRESS),
        CORVID2_SIM_NAMED(GC_ERR_BUFFER_TOO_SMALL),
        CORVID2_SIM_NAMED(GC_ERR_INVALID_INDEX),
        CORVID2_SIM_NAMED(GC_ERR_PARSING_CHUNK_DATA),
        CORVID2_SIM_NAMED(GC_ERR_INVALID_VALUE),
        CORVID2_SIM_NAMED(GC_ERR_RESOURCE_EXHAUSTED),
        CORVID2_SIM_NAMED(GC_ERR_OUT_OF_MEMORY),
        CORVID2_SIM_NAMED(GC_ERR_BUSY),
        CORVID2_SIM_NAMED(GC_ERR_AMBIGUOUS),
    };
#undef CORVID2_SIM_NAMED
    for (const auto& [name, code] : kNames)
        if (text == name) return code;
    return static_cast<GC_ERROR>(std::strtol(text.c_str(), nullptr, 10));
}

}  // namespace

void FaultTable::armFromText(const std::string& text) {
    for (const std::string& item : split(text, ',')) {
        const std::vector<std::string> fields = split(item, ':');
        if (fields.size() < 2) continue;
        const uint32_t count =
            fields.size() > 2 ? static_cast<uint32_t>(std::strtoul(fields[2].c_str(), nullptr, 10)) : 1;
        arm(fields[0], parseFaultCode(fields[1]), count);
    }
}

GC_ERROR FaultTable::take(const char* function) {
    if (!any_) return GC_ERR_SUCCESS;
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = faults_.find(function);
    if (it == faults_.end()) return GC_ERR_SUCCESS;
    const GC_ERROR code = it->second.code;
    if (--it->second.remaining == 0) faults_.erase(it);
    any_ = !faults_.empty();
    return code;
}

void FaultTable::clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    faults_.clear();
    any_ = false;
}

}  // namespace corvid2::sim
