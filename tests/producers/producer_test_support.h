// SPDX-License-Identifier: BSD-3-Clause
// Scratch folders of producer files, and the trace read back as lines, for the producer tests.
#pragma once

#include <corvid2_genicam.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "modules/consumer_base.h"
#include "platform/platform.h"
#include "trace/library_trace.h"

namespace corvid2::test {

namespace fs = std::filesystem;

inline fs::path simFile() { return CORVID2_SIM_FILE; }
inline fs::path simVariant(const std::string& name) { return fs::path(CORVID2_SIM_VARIANT_DIR) / (name + ".cti"); }

// A fresh folder that producer files are copied into; removed with its contents.
class ProducerFolder {
public:
    ProducerFolder() {
        std::random_device seed;
        path_ = fs::temp_directory_path() / ("corvid2_producers_" + std::to_string(seed()) + std::to_string(seed()));
        fs::create_directories(path_);
    }
    ~ProducerFolder() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    ProducerFolder(const ProducerFolder&) = delete;
    ProducerFolder& operator=(const ProducerFolder&) = delete;

    // Copies `source` in as `name`; `settings` (KEY=VALUE lines) go beside it for the simulator.
    fs::path add(const fs::path& source, const std::string& name, const std::string& settings = "") {
        const fs::path target = path_ / name;
        fs::create_directories(target.parent_path());
        fs::copy_file(source, target, fs::copy_options::overwrite_existing);
        if (!settings.empty()) std::ofstream(target.string() + ".env") << settings;
        return target;
    }
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

// "<exception type>: <description>" of what `call` throws, or "no exception".
inline std::string exceptionText(const std::function<void()>& call) {
    try {
        call();
    } catch (const CORVID2::Exceptions::IException& e) {
        return std::string(e.GetType().get()) + ": " + e.GetErrorDescription().get();
    }
    return "no exception";
}

// Everything the library traces between construction and destruction, as lines.
class TraceCapture {
public:
    TraceCapture()
        : file_(fs::temp_directory_path() / ("corvid2_trace_" + std::to_string(std::random_device()()) + ".log")) {
        CORVID2::Trace::ActivateOutputToDebugger(false);
        CORVID2::Trace::ActivateOutputToFile(true, file_.string().c_str());
        CORVID2::Trace::Enable(true);
    }
    ~TraceCapture() {
        CORVID2::Trace::Enable(false);
        CORVID2::Trace::ActivateOutputToFile(false);
        std::error_code ignored;
        fs::remove(file_, ignored);
    }
    // Every line traced so far, once the writer has put it in the file.
    std::vector<std::string> lines() {
        CLibraryTrace::instance().trace().waitUntilWritten(std::chrono::seconds(10));
        std::vector<std::string> result;
        std::ifstream in(file_);
        for (std::string line; std::getline(in, line);) result.push_back(line);
        return result;
    }
    size_t count(const std::string& text) {
        const auto all = lines();
        return static_cast<size_t>(std::count_if(
            all.begin(), all.end(), [&](const std::string& l) { return l.find(text) != std::string::npos; }));
    }

private:
    fs::path file_;
};

}  // namespace corvid2::test
