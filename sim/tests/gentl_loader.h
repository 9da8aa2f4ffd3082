// SPDX-License-Identifier: BSD-3-Clause
// Loads a GenTL producer file at run time for the tests and resolves its functions by name.
#pragma once

#include <string>
#include <vector>

#include "gentl.h"

namespace corvid2::sim::test {

struct GenTLFunctions {
#define CORVID2_SIM_TEST_MEMBER(name, since_major, since_minor, params, args) GenTL::P##name name = nullptr;
    GENTL_FUNCTION_LIST(CORVID2_SIM_TEST_MEMBER)
#undef CORVID2_SIM_TEST_MEMBER
};

class ProducerLibrary {
public:
    // Throws std::runtime_error when the file cannot be loaded.
    explicit ProducerLibrary(const std::string& path);
    ~ProducerLibrary();
    ProducerLibrary(const ProducerLibrary&) = delete;
    ProducerLibrary& operator=(const ProducerLibrary&) = delete;

    void* symbol(const char* name) const;
    const GenTLFunctions& functions() const { return functions_; }
    // Names of the GenTL functions the file does not export.
    std::vector<std::string> missingFunctions() const;

private:
    void* handle_ = nullptr;
    GenTLFunctions functions_;
};

// The producer under test and the folder of its loader-test variants (fixed by the build).
std::string simProducerPath();
std::string simVariantPath(const std::string& name);

}  // namespace corvid2::sim::test
