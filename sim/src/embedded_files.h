// SPDX-License-Identifier: BSD-3-Clause
// The description files compiled into the producer (generated at build time from sim/xml).
#pragma once

#include <cstddef>

namespace corvid2::sim {

struct EmbeddedFile {
    const char* name;
    const char* data;  // zero-terminated
    size_t size;
};

extern const EmbeddedFile kEmbeddedFiles[];
extern const size_t kEmbeddedFileCount;

}  // namespace corvid2::sim
