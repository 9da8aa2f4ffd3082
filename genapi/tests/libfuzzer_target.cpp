// SPDX-License-Identifier: BSD-3-Clause
// libFuzzer entry point (clang only): the same load-and-walk step as the mutation test.
#include <cstddef>
#include <cstdint>

#include "fuzz_walk.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    corvid2::genapi::test::fuzzLoadAndWalk(std::string(reinterpret_cast<const char*>(data), size));
    return 0;
}
