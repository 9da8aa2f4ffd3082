// SPDX-License-Identifier: BSD-3-Clause
// The tests' only use of the system loader.
#include "gentl_loader.h"
#include "gentl_loader_c.h"

#include <dlfcn.h>

#include <stdexcept>

namespace corvid2::sim::test {

ProducerLibrary::ProducerLibrary(const std::string& path) {
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) throw std::runtime_error(std::string("cannot load ") + path + ": " + dlerror());
#define CORVID2_SIM_TEST_RESOLVE(name, since_major, since_minor, params, args) \
    functions_.name = reinterpret_cast<GenTL::P##name>(symbol(#name));
    GENTL_FUNCTION_LIST(CORVID2_SIM_TEST_RESOLVE)
#undef CORVID2_SIM_TEST_RESOLVE
}

ProducerLibrary::~ProducerLibrary() {
    if (handle_ != nullptr) dlclose(handle_);
}

void* ProducerLibrary::symbol(const char* name) const { return dlsym(handle_, name); }

std::vector<std::string> ProducerLibrary::missingFunctions() const {
    std::vector<std::string> missing;
#define CORVID2_SIM_TEST_MISSING(name, since_major, since_minor, params, args) \
    if (functions_.name == nullptr) missing.push_back(#name);
    GENTL_FUNCTION_LIST(CORVID2_SIM_TEST_MISSING)
#undef CORVID2_SIM_TEST_MISSING
    return missing;
}

std::string simProducerPath() { return CORVID2_SIM_CTI_PATH; }
std::string simVariantPath(const std::string& name) {
    return std::string(CORVID2_SIM_VARIANT_DIR) + "/" + name + ".cti";
}

}  // namespace corvid2::sim::test

extern "C" void* corvid2_sim_test_function(const char* name) {
    static const corvid2::sim::test::ProducerLibrary* const kLibrary =
        new corvid2::sim::test::ProducerLibrary(corvid2::sim::test::simProducerPath());
    return kLibrary->symbol(name);
}
